#include "window.h"

#include <algorithm>
#include <iterator>

namespace station {

namespace {

struct FieldEntry
{
    std::string_view name;
    std::string_view caption;
};

// In the enum's order.
constexpr FieldEntry fieldTable[] = {
    {"lblProtocolResult", "Protocol"},
    {"lblVersionResult", "Version"},
    {"lblDtrCdResult", "DTR - CD RTU"},
    {"lblRtsCtsResult", "RTS - CTS RTU"},
    {"lblCtsRtsResult", "CTS - RTS CPU"},
    {"lblCdDtrResult", "CD - DTR CPU"},
    {"lblTxRxResult", "TX - RX RTU"},
    {"lblRxDataResult", "RX Data"},
    {"lblTimeTagStartData", "Test Start"},
    {"lblTimeTagEndData", "Test End"},
    {"lblHardwareTs", "Hardware TS"},
    {"lblSoftwareTs", "Software TS"},
    {"lblHardwareNoTs", "Hardware No TS"},
    {"lblSoftwareNoTs", "Software No TS"},
    {"lblCommPortAvailable", "Comm Port available"},
};
static_assert(std::size(fieldTable) == fieldCount,
              "every field needs its entry, in the enum's order");

} // namespace

std::string_view fieldName(Field field)
{
    return fieldTable[static_cast<std::size_t>(field)].name;
}

std::string_view fieldCaption(Field field)
{
    return fieldTable[static_cast<std::size_t>(field)].caption;
}

bool isTsSquare(Field field)
{
    return std::find(std::begin(tsSquareFields), std::end(tsSquareFields), field) !=
           std::end(tsSquareFields);
}

} // namespace station
