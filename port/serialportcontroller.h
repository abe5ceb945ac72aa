#pragma once

#include "portcontroller.h"
#include "ttylock.h"

#include <QObject>
#include <QSerialPort>

#include <string>

namespace port {

// The station's serial link on QSerialPort: 8 data bits, no parity, 1 stop bit, no flow control.
// Every open, the first and each reopen, starts with the driver's input queue emptied.
//
// When the device goes away (a USB adapter unplugged, the far end of a pty closed), the port is
// closed once and the controller waits: each SendData tries to open the same port name again, so
// polling resumes on its own when the device comes back.
class SerialPortController : public QObject, public station::PortController
{
    Q_OBJECT

public:
    enum class State { Closed, Open, Lost };

    explicit SerialPortController(QObject *parent = nullptr);
    ~SerialPortController() override;

    station::PortResult SetSpeed(int bitsPerSecond) override;
    station::PortResult OpenPort(const std::string &name) override;
    station::PortResult ClosePort() override;
    station::PortResult SendData(station::ByteView bytes) override;
    station::PortResult ReadData(station::Bytes &received) override;

    State state() const { return m_state; }
    // The device behind the open port, symlinks resolved; empty when not open.
    std::string devicePath() const { return m_lock.devicePath(); }
    // How many times the device was found gone since the last OpenPort.
    int lossCount() const { return m_lossCount; }

signals:
    void dataArrived();

private:
    station::PortResult openDevice();
    // `cause`: errno right after the failing call, where it may tell more than QSerialPort does.
    station::PortResult serialPortFailure(int cause = 0) const;
    void closeDevice();
    void onErrorOccurred(QSerialPort::SerialPortError error);

    QSerialPort m_serialPort;
    TtyLock m_lock;
    State m_state = State::Closed;
    std::string m_portName;
    int m_speed = 0;
    int m_lossCount = 0;
};

} // namespace port
