#include "serialportcontroller.h"

#include "portname.h"
#include "stationwindow.h"

#include <QMetaObject>
#include <QSignalBlocker>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <variant>

namespace port {

namespace {

constexpr std::array<int, 8> supportedSpeeds{1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

} // namespace

SerialPortController::SerialPortController(QObject *parent) : QObject(parent)
{
    connect(&m_serialPort, &QSerialPort::readyRead, this, &SerialPortController::dataArrived);
    connect(&m_serialPort, &QSerialPort::errorOccurred, this,
            &SerialPortController::onErrorOccurred);
}

SerialPortController::~SerialPortController()
{
    closeDevice();
}

station::PortResult SerialPortController::SetSpeed(int bitsPerSecond)
{
    if (std::find(supportedSpeeds.begin(), supportedSpeeds.end(), bitsPerSecond) ==
        supportedSpeeds.end())
        return station::PortResult::failure(station::PortError::Other, "unsupported speed");
    m_speed = bitsPerSecond;
    if (m_serialPort.isOpen() && !m_serialPort.setBaudRate(m_speed))
        return serialPortFailure();
    return station::PortResult::success();
}

station::PortResult SerialPortController::OpenPort(const std::string &name)
{
    closeDevice();
    m_state = State::Closed;
    m_portName = name;
    m_lossCount = 0;
    auto opened = openDevice();
    if (opened.isOk())
        m_state = State::Open;
    return opened;
}

station::PortResult SerialPortController::openDevice()
{
    const auto mapped = devicePathForPortName(m_portName);
    if (const auto *refused = std::get_if<NameRefused>(&mapped))
        return station::PortResult::failure(station::PortError::BadName, refused->reason);

    if (auto locked = m_lock.acquire(std::get<DevicePath>(mapped).path); !locked.isOk())
        return locked;

    // The resolved device, so that a symlink and its target share QSerialPort's lock file too.
    m_serialPort.setPortName(QString::fromStdString(m_lock.devicePath()));
    if (!m_serialPort.open(QIODevice::ReadWrite)) {
        const auto failure = serialPortFailure(errno);
        m_lock.release();
        return failure;
    }
    m_lock.refuseOtherOpens();
    const bool configured = (m_speed == 0 || m_serialPort.setBaudRate(m_speed)) &&
                            m_serialPort.setDataBits(QSerialPort::Data8) &&
                            m_serialPort.setParity(QSerialPort::NoParity) &&
                            m_serialPort.setStopBits(QSerialPort::OneStop) &&
                            m_serialPort.setFlowControl(QSerialPort::NoFlowControl) &&
                            // What waits in the driver was sent before this open: by an earlier
                            // unit, or while nobody polled. Read after the first poll, it would be
                            // taken for this unit's answer.
                            m_serialPort.clear(QSerialPort::Input);
    if (!configured) {
        const auto failure = serialPortFailure();
        closeDevice();
        return failure;
    }
    return station::PortResult::success();
}

station::PortResult SerialPortController::serialPortFailure(int cause) const
{
    // QSerialPort calls a lock file it cannot open for want of descriptors a permission error,
    // which would send an operator to the dialout group for nothing.
    if (cause == EMFILE || cause == ENFILE)
        return station::PortResult::failure(station::PortError::TooManyFiles, std::strerror(cause));
    station::PortError kind = station::PortError::Other;
    switch (m_serialPort.error()) {
    case QSerialPort::DeviceNotFoundError:
        kind = station::PortError::NotFound;
        break;
    case QSerialPort::PermissionError:
        kind = station::PortError::PermissionDenied;
        break;
    default:
        break;
    }
    return station::PortResult::failure(kind, m_serialPort.errorString().toStdString());
}

void SerialPortController::closeDevice()
{
    if (m_serialPort.isOpen())
        m_serialPort.close();
    m_lock.release();
}

station::PortResult SerialPortController::ClosePort()
{
    closeDevice();
    m_state = State::Closed;
    return station::PortResult::success();
}

station::PortResult SerialPortController::SendData(station::ByteView bytes)
{
    if (m_state == State::Lost) {
        // One attempt per poll: cheap, and the operator sees "No Reply", with the reason the
        // device cannot be had, until it succeeds.
        closeDevice();
        if (auto reopened = openDevice(); !reopened.isOk())
            return reopened;
        m_state = State::Open;
    }
    if (m_state != State::Open)
        return station::PortResult::failure(station::PortError::Other, "the port is not open");

    const auto size = static_cast<qint64>(bytes.size());
    if (m_serialPort.write(reinterpret_cast<const char *>(bytes.data()), size) != size)
        return serialPortFailure();
    // Put the poll on the wire now rather than at the next turn of the event loop.
    m_serialPort.flush();
    return station::PortResult::success();
}

station::PortResult SerialPortController::ReadData(station::Bytes &received)
{
    if (m_serialPort.isOpen()) {
        // readAll() returns only what the event loop has moved out of the driver, and at the
        // tick the station has held the thread through its pause: bytes that came meanwhile wait
        // in the driver. They are moved now, up to what one poll period may hold, without telling
        // of them again while the station is still handling this read.
        const QSignalBlocker quiet(this);
        while (m_serialPort.bytesAvailable() <= qint64(station::receiveBufferLimitBytes) &&
               m_serialPort.waitForReadyRead(0)) {
        }
        // Nothing more waiting ends the loop as a time-out, which is no fault of the port.
        if (m_serialPort.error() == QSerialPort::TimeoutError)
            m_serialPort.clearError();
    }
    const QByteArray data = m_serialPort.isOpen() ? m_serialPort.readAll() : QByteArray();
    received.assign(reinterpret_cast<const std::uint8_t *>(data.constData()),
                    reinterpret_cast<const std::uint8_t *>(data.constData()) + data.size());
    return station::PortResult::success();
}

// A hang-up makes QSerialPort report the same error again at every turn of the event loop while
// the port stays open, which would burn a whole core. The first fatal error closes the device;
// the rest are of no interest to anyone.
void SerialPortController::onErrorOccurred(QSerialPort::SerialPortError error)
{
    const bool fatal = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!fatal || m_state != State::Open)
        return;
    m_state = State::Lost;
    ++m_lossCount;
    // Closed from the event loop, not from inside QSerialPort's own notifier handler.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_state == State::Lost)
                closeDevice();
        },
        Qt::QueuedConnection);
}

} // namespace port
