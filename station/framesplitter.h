#pragma once

#include "frames.h"

#include <vector>

namespace station {

// Cuts the bytes of poll periods into frames as they arrive. A frame runs from the byte after the
// previous frame's end to the first end mark that completes it, read as the station reads a
// reply: positions 1 and 2 are the head, and from position 3 on a 0x80 pairs with the byte after
// it: 0x80 0x80 is a data byte 0x80, 0x80 0xFF the end mark.
//
// The unit escapes nothing but 0x80, so a 0x80 followed by any other byte is the head of another
// reply: the bytes before it are a cut frame of their own, never read as one reply with what
// follows (that once read a reply cut short together with the next as one reply, with the cut
// one's status). So is a frame that grows longer than the longest reply, as when a reply is cut
// right after a 0x80 and another's head completes that escape: it is cut where the other reply
// can begin.
//
// At the tick a frame with a reply's head may still be under way: it answers the poll before, so
// it is carried into the next period as a tail, its escape state and all, and ends there at the
// first end mark that completes it, even a lone 0xFF. Anything else left at the tick (a lone 0x80,
// a stray end mark, bytes without a head) is noise of the period that ended.
class FrameSplitter
{
public:
    struct Piece
    {
        Bytes bytes; // for a tail, only the bytes that came in this period
        bool tail = false;
        bool cut = false; // ended by another reply's head or by its length: no whole reply
    };

    // Takes the next bytes of the period; returns the frames they completed, in order.
    std::vector<Piece> add(ByteView bytes);

    struct PeriodEnd
    {
        Bytes noise;           // what was left that no reply could have become
        bool underWay = false; // a reply was still arriving, carried over as a tail
    };
    // The tick: what the period left unfinished.
    PeriodEnd endPeriod();

    // The frame not yet complete ends in a 0xFF that is no end mark (a data byte 0xFF).
    bool endsInDataEndByte() const;
    bool isInTail() const { return m_tail; }
    // Forgets any frame under way.
    void reset();

private:
    void take(std::uint8_t byte, std::vector<Piece> &pieces);
    // The first `length` bytes of the frame become a piece, and the frame starts afresh.
    void endFrame(std::size_t length, bool cut, std::vector<Piece> &pieces);
    void cutOverlong(std::vector<Piece> &pieces);

    Bytes m_frame;
    std::size_t m_periodStart = 0; // where this period's bytes of a tail begin in m_frame
    bool m_tail = false;
    bool m_escapeNext = false;   // the last byte was a 0x80 of the body, still unpaired
    bool m_endMarkOpen = false;  // the last byte was a 0x80 that a 0xFF after it would make the end
    std::size_t m_bodyBytes = 0; // body bytes with escapes removed
    std::vector<std::size_t> m_escaped; // where in m_frame escaped data bytes 0x80 stand
};

} // namespace station
