#pragma once

// Which adapter a serial port is: its name under /dev/serial/by-id and the USB vendor, product
// and serial number the kernel read from it. Read from the file system without opening the port;
// a pseudo-terminal or a built-in port has none of it.

#include <string>

namespace cli {

struct AdapterIdentity
{
    std::string byId;    // "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"; empty: none
    std::string vendor;  // "0403"
    std::string product; // "6001"
    std::string serial;  // "A50285BI"; empty: the adapter has none

    bool known() const { return !byId.empty() || !vendor.empty(); }
    // What tells this adapter from others: its by-id name, else vendor:product:serial.
    std::string key() const;
};

// {"byId", "vendor", "product", "serial"}, each null where unknown; null for no adapter known.
std::string adapterJson(const AdapterIdentity &adapter);

// `byIdFolder` and `ttyClassFolder` are the system's unless a test gives its own.
AdapterIdentity adapterOf(const std::string &port,
                          const std::string &byIdFolder = "/dev/serial/by-id",
                          const std::string &ttyClassFolder = "/sys/class/tty");

} // namespace cli
