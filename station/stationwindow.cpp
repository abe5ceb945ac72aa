#include "stationwindow.h"

#include "status.h"
#include "timetags.h"

namespace station {

namespace {

// Two system services take USB serial adapters on their own. Neither may be removed: people who
// read the screen with a braille display rely on the one, and the other serves the machine's
// modems. Each can be kept off one adapter, by its vendor and product id.
std::string busyHint(const PortResult &failure)
{
    const bool known = !failure.usbVendor().empty() && !failure.usbProduct().empty();
    const std::string adapter =
        known ? " (vendor " + failure.usbVendor() + ", product " + failure.usbProduct() + ")" : "";
    const std::string match = known ? "ATTRS{idVendor}==\"" + failure.usbVendor() +
                                          "\", ATTRS{idProduct}==\"" + failure.usbProduct() + "\", "
                                    : "ATTRS{idVendor}==\"VVVV\", ATTRS{idProduct}==\"PPPP\", ";
    if (failure.holder() == "brltty")
        return "\nBRLTTY, the braille display service, took this adapter" + adapter +
               ": some braille displays use the same chip. Do not uninstall it: people who read "
               "the screen with a braille display rely on it. Ask the administrator to keep it "
               "off this adapter with a udev rule that overrides BRLTTY's own rule for this "
               "vendor and product id, then plug the adapter in again.";
    if (failure.holder() == "ModemManager")
        return "\nModemManager, the modem service, is probing this adapter" + adapter +
               " for a modem. Keep it off this adapter with a udev rule in "
               "/etc/udev/rules.d/, such as:\n" +
               match + "ENV{ID_MM_DEVICE_IGNORE}=\"1\"\nthen plug the adapter in again.";
    return "\nClose the other program, or pick another port.";
}

} // namespace

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
        hint += busyHint(failure);
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

void StationWindow::WriteLog::setText(Field field, std::string_view text)
{
    m_fields.setText(field, text);
    written.set(static_cast<std::size_t>(field));
}

void StationWindow::WriteLog::setBackground(Field field, Colour colour)
{
    m_fields.setBackground(field, colour);
    written.set(static_cast<std::size_t>(field));
}

void StationWindow::WriteLog::setToolTip(Field field, std::string_view hint)
{
    m_fields.setToolTip(field, hint);
}

StationWindow::StationWindow(ResultFields &fields, Controls &controls, PollTimer &timer,
                             Desktop &desktop, PortController &port)
    : m_log(fields), m_fields(m_log), m_controls(controls), m_timer(timer), m_desktop(desktop),
      m_port(port)
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
        if (m_listener)
            m_listener->startHandled(opened);
        return;
    }
    m_fields.setToolTip(Field::lblRxDataResult, "");
    m_timer.setActive(true);
    m_controls.setEnabled(Control::cmbComPort, false);
    m_controls.setEnabled(Control::cmdStart, false);
    m_controls.setEnabled(Control::cmdStop, true);
    if (m_listener)
        m_listener->startHandled(opened);
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

    const bool unanswered = AwaitingReply;
    if (unanswered) {
        blankResults();
    } else {
        m_fields.setText(Field::lblRxDataResult, "");
    }
    ReceiveBuffer.clear();
    m_overflowed = false;
    m_fields.repaintNow(Field::lblRxDataResult);
    AwaitingReply = true;
    // A failed send leaves AwaitingReply set, so the next tick shows "No Reply"; its tooltip
    // says why, for instance why a unit that was unplugged does not come back. A poll that went
    // out unanswered gets what to check.
    const PortResult sent = m_port.SendData(PollRequest);
    m_fields.setToolTip(Field::lblRxDataResult, !sent.isOk() ? portFailureHint(sent)
                                                : unanswered ? std::string(noReplyHint)
                                                             : std::string());
    if (m_listener) {
        if (unanswered)
            m_listener->pollUnanswered();
        m_listener->pollSent(sent);
    }
}

void StationWindow::blankResults()
{
    m_fields.setText(Field::lblVersionResult, "");
    m_fields.setText(Field::lblProtocolResult, "");
    m_fields.setText(Field::lblRxDataResult, noReplyText);
    for (const Field field : lineTestFields)
        m_fields.setText(field, "");
    m_fields.setText(Field::lblTimeTagStartData, "");
    m_fields.setText(Field::lblTimeTagEndData, "");
    for (const Field field : tsSquareFields)
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

    m_log.written.reset();
    ReplyHandled told;
    if (end == ReplyEnd::Complete) {
        m_fields.setText(Field::lblRxDataResult, hexText(ReceiveBuffer));
        m_fields.setToolTip(Field::lblRxDataResult, ""); // "No Reply" and its hint are gone
        told.reading = statusReading(ReceiveBuffer);
        switch (told.reading) {
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
            told.status = readStatus(ReceiveBuffer);
            if (told.status)
                showStatus(*told.status, ProtocolNameTable, m_fields);
            else
                // Showing the previous reply's verdicts, or guessing, would both be lies.
                blankStatus(m_fields);
            if (ReceiveBuffer.size() > timeTagThresholdBytes) {
                const TimeTags tags = readTimeTags(ReceiveBuffer);
                showTimeTags(tags, m_fields);
                told.startTag = tags.start;
                told.endTag = tags.end;
            }
            break;
        }
    }
    // One beep per reply, however many tests failed.
    told.beeped = told.status && told.status->anyLineFailed();
    if (told.beeped)
        m_desktop.beep();
    AwaitingReply = false;

    if (m_listener) {
        told.end = end;
        told.bytes = ReceiveBuffer;
        if (told.status)
            told.protocolName = ProtocolNameTable[static_cast<std::size_t>(told.status->protocol)];
        told.written = m_log.written;
        m_listener->replyHandled(told);
    }
}

} // namespace station
