#include "unitreply.h"

namespace sim {

namespace {

constexpr std::uint8_t tsOn = 0x80;

void appendTag(std::vector<std::uint8_t> &body, const TimeTag &tag)
{
    body.insert(body.end(), {tag.source, 0x00, 0x00, tag.hours, tag.minutes, tag.seconds,
                             static_cast<std::uint8_t>(tag.milliseconds >> 8),
                             static_cast<std::uint8_t>(tag.milliseconds & 0xFF)});
}

} // namespace

std::vector<std::uint8_t> encodeReply(const UnitState &unit)
{
    const auto &pass = unit.linePasses;
    // The unit samples each signal line while it toggles the opposite one. A healthy line shows
    // its bit in exactly the sample taken while it was driven; a broken line never shows it.
    const std::uint8_t cpuFirst = (pass[CdDtrCpu] ? 0x10 : 0x00);
    const std::uint8_t cpuSecond = (pass[CtsRtsCpu] ? 0x08 : 0x00);
    const std::uint8_t rtuFirst = (pass[RtsCtsRtu] ? 0x02 : 0x00);
    const std::uint8_t rtuSecond = (pass[DtrCdRtu] ? 0x01 : 0x00);
    const std::uint8_t rtuThird = (pass[TxRxRtu] ? 0x20 : 0x00);

    std::vector<std::uint8_t> body{
        static_cast<std::uint8_t>((unit.protocol & 0x3F) | (unit.softwareTs ? tsOn : 0)),
        static_cast<std::uint8_t>((unit.version & 0x3F) | (unit.hardwareTs ? tsOn : 0)),
        cpuFirst,
        cpuSecond,
        rtuFirst,
        rtuSecond,
        rtuThird,
    };
    appendTag(body, unit.start);
    appendTag(body, unit.end);

    std::vector<std::uint8_t> reply{0x80, 0x01};
    for (const std::uint8_t byte : body) {
        if (byte == 0x80)
            reply.push_back(0x80);
        reply.push_back(byte);
    }
    reply.push_back(0x80);
    reply.push_back(0xFF);
    return reply;
}

TimeTag utcNow(std::chrono::milliseconds offset)
{
    const auto now = std::chrono::system_clock::now() + offset;
    const auto sinceMidnight = now.time_since_epoch() % std::chrono::hours(24);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceMidnight).count();
    return {0, static_cast<std::uint8_t>(ms / 3600000), static_cast<std::uint8_t>(ms / 60000 % 60),
            static_cast<std::uint8_t>(ms / 1000 % 60), static_cast<std::uint16_t>(ms % 1000)};
}

} // namespace sim
