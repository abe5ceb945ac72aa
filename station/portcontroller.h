#pragma once

#include "frames.h"

#include <string>
#include <utility>

namespace station {

// What went wrong with a port, as a kind the station can act on. The system's own text goes beside
// it, in whatever language the desktop speaks, and is only ever shown, never matched.
enum class PortError {
    None,
    BadName,          // not a name a port can have
    NotFound,         // no such device (an adapter unplugged, a typing error)
    PermissionDenied, // the account may not open it
    Busy,             // another program holds it
    NotSerialDevice,  // something other than a serial line
    SystemConsole,    // the kernel's console runs on it
    TooManyFiles,     // the program, or the system, may open no more files
    Other,
};

class PortResult
{
public:
    static PortResult success() { return PortResult(PortError::None, {}); }
    static PortResult failure(PortError error, std::string reason)
    {
        return PortResult(error, std::move(reason));
    }

    bool isOk() const { return m_error == PortError::None; }
    PortError error() const { return m_error; }
    // A short human reason, such as "Permission denied"; empty on success.
    const std::string &reason() const { return m_reason; }

    // For Busy: the program that holds the port, as the system names it ("brltty"), and the USB
    // adapter's vendor and product ids ("0403", "6001"), as far as they are known.
    PortResult &withHolder(std::string program, std::string usbVendor, std::string usbProduct)
    {
        m_holder = std::move(program);
        m_usbVendor = std::move(usbVendor);
        m_usbProduct = std::move(usbProduct);
        return *this;
    }
    const std::string &holder() const { return m_holder; }
    const std::string &usbVendor() const { return m_usbVendor; }
    const std::string &usbProduct() const { return m_usbProduct; }

private:
    PortResult(PortError error, std::string reason) : m_error(error), m_reason(std::move(reason)) {}
    PortError m_error;
    std::string m_reason;
    std::string m_holder;
    std::string m_usbVendor;
    std::string m_usbProduct;
};

// The serial link as the station uses it. Bytes arrive through a notification that the window
// forwards to StationWindow::onDataArrived; each notification is answered by one ReadData.
class PortController
{
public:
    virtual ~PortController() = default;
    virtual PortResult SetSpeed(int bitsPerSecond) = 0;
    virtual PortResult OpenPort(const std::string &name) = 0;
    virtual PortResult ClosePort() = 0;
    virtual PortResult SendData(ByteView bytes) = 0;
    // Replaces `received` with every byte that arrived since the previous call, in order.
    virtual PortResult ReadData(Bytes &received) = 0;
};

} // namespace station
