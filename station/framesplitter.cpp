#include "framesplitter.h"

#include <algorithm>

namespace station {

namespace {

// The longest reply, escapes removed, less its head and end mark.
constexpr std::size_t longestBodyBytes = unescapedReplyBytes - 4;

bool isHeadByte(std::uint8_t byte)
{
    return byte != escapeByte && byte != endByte;
}

} // namespace

void FrameSplitter::take(std::uint8_t byte, std::vector<Piece> &pieces)
{
    if (m_endMarkOpen && isHeadByte(byte)) {
        // The open 0x80 was another reply's head.
        endFrame(m_frame.size() - 1, true, pieces);
        m_frame = {escapeByte, byte};
        return;
    }
    m_frame.push_back(byte);
    const std::size_t position = m_frame.size();
    if (byte == endByte && position >= 3 && m_endMarkOpen) {
        endFrame(position, false, pieces);
        return;
    }
    const bool data = m_escapeNext;
    if (data)
        m_escaped.push_back(position - 1);
    m_escapeNext = !data && position >= 3 && byte == escapeByte;
    m_endMarkOpen = !data && position >= 2 && byte == escapeByte;
    if (position >= 3 && !m_escapeNext && ++m_bodyBytes > longestBodyBytes && hasFrameHead(m_frame))
        cutOverlong(pieces);
}

// Too long for one reply: another began at an escaped 0x80 whose escape was the cut reply's last
// byte. The first such place that a reply's head follows is taken; the rest is read again from
// there. Without one, the whole frame is cut.
void FrameSplitter::cutOverlong(std::vector<Piece> &pieces)
{
    for (const std::size_t at : m_escaped) {
        if (at + 1 >= m_frame.size() || !isHeadByte(m_frame[at + 1]) ||
            (m_tail && at < m_periodStart))
            continue;
        const Bytes rest(m_frame.begin() + static_cast<std::ptrdiff_t>(at), m_frame.end());
        endFrame(at, true, pieces);
        for (const std::uint8_t byte : rest)
            take(byte, pieces);
        return;
    }
    endFrame(m_frame.size(), true, pieces);
}

void FrameSplitter::endFrame(std::size_t length, bool cut, std::vector<Piece> &pieces)
{
    const auto begin = m_frame.begin();
    const auto from = begin + static_cast<std::ptrdiff_t>(m_tail ? m_periodStart : 0);
    const auto to = begin + static_cast<std::ptrdiff_t>(length);
    // A tail that another reply's head cuts before any byte of this period came was told whole.
    if (from < to || !m_tail)
        pieces.push_back({Bytes(from, std::max(from, to)), m_tail, cut});
    reset();
}

std::vector<FrameSplitter::Piece> FrameSplitter::add(ByteView bytes)
{
    std::vector<Piece> pieces;
    for (const std::uint8_t byte : bytes)
        take(byte, pieces);
    return pieces;
}

FrameSplitter::PeriodEnd FrameSplitter::endPeriod()
{
    PeriodEnd end;
    if (hasFrameHead(m_frame)) {
        // A reply cut by the tick; its state stays as it is.
        m_tail = end.underWay = true;
        m_periodStart = m_frame.size();
        return end;
    }
    end.noise = std::move(m_frame);
    reset();
    return end;
}

bool FrameSplitter::endsInDataEndByte() const
{
    return !m_tail && m_frame.size() > 2 && m_frame.back() == endByte;
}

void FrameSplitter::reset()
{
    m_frame.clear();
    m_periodStart = 0;
    m_tail = false;
    m_escapeNext = false;
    m_endMarkOpen = false;
    m_bodyBytes = 0;
    m_escaped.clear();
}

} // namespace station
