#include "framesplitter.h"

#include <algorithm>

namespace station {

bool FrameSplitter::advance(std::uint8_t byte)
{
    m_frame.push_back(byte);
    const std::size_t position = m_frame.size();
    if (byte == endByte && position >= 3 && m_endMarkOpen)
        return true;
    const bool data = m_escapeNext;
    m_escapeNext = !data && position >= 3 && byte == escapeByte;
    m_endMarkOpen = !data && byte == escapeByte;
    return false;
}

std::vector<FrameSplitter::Piece> FrameSplitter::add(ByteView bytes)
{
    std::vector<Piece> pieces;
    for (const std::uint8_t byte : bytes) {
        if (!advance(byte))
            continue;
        const auto from = m_frame.begin() + static_cast<std::ptrdiff_t>(m_tail ? m_periodStart : 0);
        pieces.push_back({Bytes(from, m_frame.end()), m_tail});
        reset();
    }
    return pieces;
}

FrameSplitter::PeriodEnd FrameSplitter::endPeriod()
{
    PeriodEnd end;
    if (!m_frame.empty() && m_frame.front() == escapeByte) {
        // The usual case: a reply cut by the tick, its head first; its state stays as it is.
        m_tail = end.underWay = true;
        m_periodStart = m_frame.size();
        return end;
    }
    // Noise first. The frame under way starts at the first 0x80 after it, and is read again
    // from there, since its head and so its escapes now stand elsewhere. Should that reading
    // complete a frame, those bytes were no reply either.
    const Bytes rest = std::move(m_frame);
    reset();
    auto at = rest.begin();
    while (at != rest.end()) {
        const auto head = std::find(at, rest.end(), escapeByte);
        end.noise.insert(end.noise.end(), at, head);
        at = head;
        while (at != rest.end() && !advance(*at))
            ++at;
        if (at == rest.end())
            break;
        end.noise.insert(end.noise.end(), m_frame.begin(), m_frame.end());
        reset();
        ++at;
    }
    end.underWay = !m_frame.empty();
    m_tail = end.underWay;
    m_periodStart = m_frame.size();
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
}

} // namespace station
