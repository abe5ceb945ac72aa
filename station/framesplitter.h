#pragma once

#include "frames.h"

#include <vector>

namespace station {

// Cuts the bytes of poll periods into frames as they arrive. A frame runs from the byte after the
// previous frame's end to the first end mark that completes it, read as the station reads a
// reply: positions 1 and 2 are the head, and from position 3 on a 0x80 escapes the byte after it,
// unless that byte is 0xFF, when the two are the end mark.
//
// At the tick a frame may still be under way: it answers the poll before, so it is carried into
// the next period as a tail, its escape state and all, and ends there at the first end mark that
// completes it, even a lone 0xFF.
class FrameSplitter
{
public:
    struct Piece
    {
        Bytes bytes; // for a tail, only the bytes that came in this period
        bool tail = false;
    };

    // Takes the next bytes of the period; returns the frames they completed, in order.
    std::vector<Piece> add(ByteView bytes);

    struct PeriodEnd
    {
        Bytes noise;           // bytes that started no frame: what came before any 0x80
        bool underWay = false; // a frame was still arriving, carried over as a tail
    };
    // The tick: what the period left unfinished.
    PeriodEnd endPeriod();

    // The frame not yet complete ends in a 0xFF that is no end mark (a data byte 0xFF).
    bool endsInDataEndByte() const;
    bool isInTail() const { return m_tail; }
    // Forgets any frame under way.
    void reset();

private:
    // Reads one more byte of the frame; true when it completes the frame.
    bool advance(std::uint8_t byte);

    Bytes m_frame;
    std::size_t m_periodStart = 0; // where this period's bytes of a tail begin in m_frame
    bool m_tail = false;
    bool m_escapeNext = false;  // the next byte is an escape's data byte
    bool m_endMarkOpen = false; // the last byte was a 0x80 that a 0xFF after it would make the end
};

} // namespace station
