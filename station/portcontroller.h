#pragma once

#include "frames.h"

#include <string>
#include <utility>

namespace station {

class PortResult
{
public:
    static PortResult success() { return PortResult(true, {}); }
    static PortResult failure(std::string reason) { return PortResult(false, std::move(reason)); }

    bool isOk() const { return m_ok; }
    // A short human reason, such as "Permission denied"; empty on success.
    const std::string &reason() const { return m_reason; }

private:
    PortResult(bool ok, std::string reason) : m_ok(ok), m_reason(std::move(reason)) {}
    bool m_ok;
    std::string m_reason;
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
