#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

namespace sim {

// What the simulated converter reports. The reply is built from the unit's byte map on its own,
// without the station's decoders, so a misreading on one side cannot hide behind the same
// misreading on the other.
struct TimeTag
{
    std::uint8_t source = 0x82; // 0x82 GPS, 0x84 IRIG-B, anything else the internal clock
    std::uint8_t hours = 0;
    std::uint8_t minutes = 0;
    std::uint8_t seconds = 0;
    std::uint16_t milliseconds = 0;
};

enum LineTest { CdDtrCpu, CtsRtsCpu, RtsCtsRtu, DtrCdRtu, TxRxRtu, lineTestCount };

struct UnitState
{
    int protocol = 5;
    int version = 1;
    bool softwareTs = false;
    bool hardwareTs = false;
    std::array<bool, lineTestCount> linePasses{true, true, true, true, true};
    TimeTag start{0x82, 0, 0, 0, 0};
    TimeTag end{0x84, 0, 0, 0, 0};
};

// Head 80 01, body bytes 3-25 with every 0x80 escaped, end mark 80 FF.
std::vector<std::uint8_t> encodeReply(const UnitState &unit);

// The UTC time of day `offset` from now, as a time tag carries it.
TimeTag utcNow(std::chrono::milliseconds offset);

} // namespace sim
