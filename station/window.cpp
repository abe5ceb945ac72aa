#include "window.h"

#include <iterator>

namespace station {

std::string_view fieldName(Field field)
{
    static constexpr std::string_view names[]{
        "lblProtocolResult",   "lblVersionResult",  "lblDtrCdResult",       "lblRtsCtsResult",
        "lblCtsRtsResult",     "lblCdDtrResult",    "lblTxRxResult",        "lblRxDataResult",
        "lblTimeTagStartData", "lblTimeTagEndData", "lblHardwareTs",        "lblSoftwareTs",
        "lblHardwareNoTs",     "lblSoftwareNoTs",   "lblCommPortAvailable",
    };
    static_assert(std::size(names) == fieldCount,
                  "every field needs its name, in the enum's order");
    return names[static_cast<std::size_t>(field)];
}

} // namespace station
