#include "window.h"

#include <array>

namespace station {

std::string_view fieldName(Field field)
{
    static constexpr std::array<std::string_view, fieldCount> names{
        "lblProtocolResult",   "lblVersionResult",  "lblDtrCdResult",       "lblRtsCtsResult",
        "lblCtsRtsResult",     "lblCdDtrResult",    "lblTxRxResult",        "lblRxDataResult",
        "lblTimeTagStartData", "lblTimeTagEndData", "lblHardwareTs",        "lblSoftwareTs",
        "lblHardwareNoTs",     "lblSoftwareNoTs",   "lblCommPortAvailable",
    };
    return names[static_cast<std::size_t>(field)];
}

} // namespace station
