#include "stationwindow.h"

#include "status.h"
#include "timetags.h"

namespace station {

std::string portFailureHint(const PortResult &failure)
{
    std::string hint =
        failure.reason().empty() ? std::string("The port could not be opened.") : failure.reason();
    switch (failure.error()) {
    case PortError::PermissionDenied:
        hint += "\nAdd your user to the dialout group (uucp on some distributions), then log out "
                "and in again.";
        break;
    case PortError::NotFound:
        hint += "\nCheck the port name, and that the adapter is plugged in.";
        break;
    case PortError::Busy:
        hint += "\nClose the other program, or pick another port.";
        break;
    case PortError::NotSerialDevice:
        hint += "\nGive a serial port: COM1 to COM256, a device name such as ttyUSB0, or a full "
                "path.";
        break;
    case PortError::SystemConsole:
        hint += "\nThe system console runs on this port, and polling it would disturb the "
                "machine. Pick another port.";
        break;
    case PortError::None:
    case PortError::BadName:
    case PortError::Other:
        break;
    }
    return hint;
}

StationWindow::StationWindow(ResultFields &fields, Controls &controls, PollTimer &timer,
                             Desktop &desktop, PortController &port)
    : m_fields(fields), m_controls(controls), m_timer(timer), m_desktop(desktop), m_port(port)
{}

void StationWindow::onLoad()
{
    if (loadProtocolNames())
        return;
    if (m_desktop.askOkCancel(startupFailureText) == MessageButton::Cancel)
        m_desktop.endProgram();
}

// One failure path: the first step that fails ends start-up, and what was already written to the
// table stays there.
bool StationWindow::loadProtocolNames()
{
    if (!m_port.SetSpeed(lineSpeedBitsPerSecond).isOk())
        return false;
    ProtocolNameTable.fill(std::string(unknownProtocol));
    return readProtocolFile(m_protocolFilePath, ProtocolNameTable);
}

void StationWindow::onStartClick()
{
    const std::string portName = m_controls.comPortText();
    const PortResult opened = m_port.OpenPort(portName);
    if (!opened.isOk()) {
        // The controls stay as they were, so the operator can pick another port and try again.
        m_fields.setText(Field::lblRxDataResult, openFailureText);
        m_fields.setToolTip(Field::lblRxDataResult, portFailureHint(opened));
        return;
    }
    m_fields.setToolTip(Field::lblRxDataResult, "");
    m_timer.setActive(true);
    m_controls.setEnabled(Control::cmbComPort, false);
    m_controls.setEnabled(Control::cmdStart, false);
    m_controls.setEnabled(Control::cmdStop, true);
}

// Stop leaves the display, the buffer and AwaitingReply alone: a poll that was unanswered before
// Stop shows "No Reply" at the first tick after the next Start.
void StationWindow::onStopClick()
{
    m_port.ClosePort();
    m_timer.setActive(false);
    m_controls.setEnabled(Control::cmbComPort, true);
    m_controls.setEnabled(Control::cmdStart, true);
    m_controls.setEnabled(Control::cmdStop, false);
}

void StationWindow::onTimer()
{
    m_fields.setText(Field::lblRxDataResult, "");
    m_fields.repaintNow(Field::lblRxDataResult);
    m_desktop.pause(tickPause);

    if (AwaitingReply) {
        blankResults();
    } else {
        m_fields.setText(Field::lblRxDataResult, "");
    }
    ReceiveBuffer.clear();
    m_overflowed = false;
    m_fields.repaintNow(Field::lblRxDataResult);
    AwaitingReply = true;
    // A failed send leaves AwaitingReply set, so the next tick shows "No Reply"; its tooltip
    // says why, for instance why a unit that was unplugged does not come back.
    const PortResult sent = m_port.SendData(PollRequest);
    m_fields.setToolTip(Field::lblRxDataResult, sent.isOk() ? "" : portFailureHint(sent));
}

void StationWindow::blankResults()
{
    m_fields.setText(Field::lblVersionResult, "");
    m_fields.setText(Field::lblProtocolResult, "");
    m_fields.setText(Field::lblRxDataResult, noReplyText);
    for (const Field field : {Field::lblDtrCdResult, Field::lblRtsCtsResult, Field::lblCtsRtsResult,
                              Field::lblCdDtrResult, Field::lblTxRxResult,
                              Field::lblTimeTagStartData, Field::lblTimeTagEndData})
        m_fields.setText(field, "");
    for (const Field field : {Field::lblHardwareTs, Field::lblSoftwareTs, Field::lblHardwareNoTs,
                              Field::lblSoftwareNoTs})
        m_fields.setBackground(field, ColourButtonFace);
}

// Handled the same way whether or not a test is running.
void StationWindow::onDataArrived()
{
    Bytes received;
    if (!m_port.ReadData(received).isOk())
        return;
    // A unit that sends more in one poll period than the line can carry is flooding: the rest of
    // the period's bytes are read and dropped and nothing more is decoded, so unless a reply ended
    // before the flood, the next tick shows "No Reply". Without the bound the buffer and its hex
    // text would grow without limit.
    if (m_overflowed)
        return;
    if (ReceiveBuffer.size() + received.size() > receiveBufferLimitBytes) {
        m_overflowed = true;
        return;
    }
    ReceiveBuffer.insert(ReceiveBuffer.end(), received.begin(), received.end());

    const ReplyEnd end = replyEnd(ReceiveBuffer);
    if (end == ReplyEnd::NoEnd)
        return;

    bool testFailed = false;
    if (end == ReplyEnd::Complete) {
        m_fields.setText(Field::lblRxDataResult, hexText(ReceiveBuffer));
        switch (statusReading(ReceiveBuffer)) {
        case StatusReading::TooShort:
            break;
        case StatusReading::NoFrameHead:
            // Noise before the reply, or the tail of one that the tick cut off: every field read
            // from it would be a guess, so the bytes are shown and nothing else is.
            blankStatus(m_fields);
            blankTimeTags(m_fields);
            break;
        case StatusReading::CutByEscapes:
        case StatusReading::Decoded:
            testFailed = decodeStatus(ReceiveBuffer, ProtocolNameTable, m_fields);
            if (ReceiveBuffer.size() > timeTagThresholdBytes)
                decodeTimeTags(ReceiveBuffer, m_fields);
            break;
        }
    }
    // One beep per reply, however many tests failed.
    if (testFailed)
        m_desktop.beep();
    AwaitingReply = false;
}

} // namespace station
