#include "stationwindow.h"

#include "status.h"
#include "timetags.h"

#include <utility>

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
    case PortError::TooManyFiles:
        hint += "\nRaise the limit (ulimit -n) or test fewer ports at once.";
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
    if (m_desktop.askOkCancel(startupFailureText, m_startupProblem) == MessageButton::Cancel)
        m_desktop.endProgram();
}

// One failure path: the first step that fails ends start-up, and what was already written to the
// table stays there.
bool StationWindow::loadProtocolNames()
{
    if (!m_port.SetSpeed(lineSpeedBitsPerSecond).isOk()) {
        m_startupProblem = "The serial port component refused the line speed of 19200 bit/s.";
        return false;
    }
    ProtocolNameTable.fill(std::string(unknownProtocol));
    std::string why;
    if (readProtocolFile(m_protocolFilePath, ProtocolNameTable, &why))
        return true;
    // From the menu the folder is a hidden one: the full path tells where the list belongs.
    std::error_code error;
    m_startupProblem = std::filesystem::absolute(m_protocolFilePath, error).string() + ": " + why;
    return false;
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
    // The port starts with its input emptied: a frame under way before can never be completed.
    m_frames.reset();
    m_pollOpen = false;
    m_firstPoll = true;
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
    (void)closePollPeriod();
    sendPoll();
}

Bytes StationWindow::closePollPeriod()
{
    m_fields.setText(Field::lblRxDataResult, "");
    m_fields.repaintNow(Field::lblRxDataResult);
    m_desktop.pause(tickPause);

    // The period ends when the next poll leaves, after the pause: what the line delivered during
    // the pause is the poll's too, though the event loop has not seen it yet.
    Bytes received;
    if (m_port.ReadData(received).isOk())
        handleArrival(received);

    m_unanswered = AwaitingReply;
    if (m_unanswered)
        blankResults();
    else
        m_fields.setText(Field::lblRxDataResult, "");
    m_fields.setToolTip(Field::lblRxDataResult,
                        m_unanswered ? std::string(noReplyHint) : std::string());

    const FrameSplitter::PeriodEnd end = m_frames.endPeriod();
    if (!end.noise.empty()) {
        ++m_noiseFrames;
        FrameHandled noise;
        noise.bytes = end.noise;
        tell(noise);
    }
    if (std::exchange(m_pollOpen, false) && m_listener)
        m_listener->pollEnded(periodOutcome(end.underWay));
    m_overflowed = false;
    m_decodedFrames = m_shortFrames = m_noiseFrames = 0;
    return std::exchange(ReceiveBuffer, {});
}

PollOutcome StationWindow::periodOutcome(bool frameUnderWay) const
{
    if (m_overflowed)
        return PollOutcome::Flood;
    if (frameUnderWay)
        return PollOutcome::Late;
    if (m_noiseFrames > 0)
        return PollOutcome::NoHead;
    if (m_decodedFrames + m_shortFrames > 1)
        return PollOutcome::TwoFrames;
    if (m_decodedFrames == 1)
        return PollOutcome::Measured;
    return m_shortFrames == 1 ? PollOutcome::TooShort : PollOutcome::Unanswered;
}

void StationWindow::sendPoll()
{
    m_fields.repaintNow(Field::lblRxDataResult);
    // Whatever the line held before the first poll answers none of ours, a reply under way
    // included: the first period starts clean.
    if (std::exchange(m_firstPoll, false))
        m_frames.reset();
    AwaitingReply = true;
    m_pollOpen = true;
    // A failed send leaves AwaitingReply set, so the next tick shows "No Reply"; its tooltip
    // says why, for instance why a unit that was unplugged does not come back.
    const PortResult sent = m_port.SendData(PollRequest);
    if (!sent.isOk())
        m_fields.setToolTip(Field::lblRxDataResult, portFailureHint(sent));
    if (m_listener)
        m_listener->pollSent(sent);
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
    if (m_port.ReadData(received).isOk())
        handleArrival(received);
}

void StationWindow::handleArrival(const Bytes &received)
{
    // A unit that sends more in one poll period than the line can carry is flooding: the rest of
    // the period's bytes are read and dropped and nothing more is decoded, so unless a reply ended
    // before the flood, the next tick shows "No Reply". Without the bound the buffer and its hex
    // text would grow without limit.
    if (m_overflowed || received.empty())
        return;
    if (ReceiveBuffer.size() + received.size() > receiveBufferLimitBytes) {
        // What fits is kept, as evidence of what the unit sent.
        ReceiveBuffer.insert(
            ReceiveBuffer.end(), received.begin(),
            received.begin() +
                static_cast<std::ptrdiff_t>(receiveBufferLimitBytes - ReceiveBuffer.size()));
        m_overflowed = true;
        m_frames.reset();
        FrameHandled flood;
        flood.reading = FrameReading::Flood;
        tell(flood);
        return;
    }
    ReceiveBuffer.insert(ReceiveBuffer.end(), received.begin(), received.end());

    std::vector<FrameSplitter::Piece> pieces = m_frames.add(received);
    if (!pieces.empty()) {
        // The period's bytes, as they came; the results are those of its last decoded reply.
        m_fields.setText(Field::lblRxDataResult, hexText(ReceiveBuffer));
        m_fields.setToolTip(Field::lblRxDataResult, ""); // "No Reply" and its hint are gone
    }
    for (FrameSplitter::Piece &piece : pieces)
        handleFrame(std::move(piece));
    // A data byte 0xFF at the end of what came so far ends the wait for a reply, though nothing
    // is shown: the end byte alone.
    if (m_frames.endsInDataEndByte())
        AwaitingReply = false;
}

void StationWindow::handleFrame(FrameSplitter::Piece piece)
{
    FrameHandled told;
    told.bytes = std::move(piece.bytes);
    if (piece.tail) {
        // It answers the poll before, which has been given up on: it ends no wait.
        told.reading = FrameReading::Tail;
    } else if (piece.cut) {
        // Part of a reply at most, which may have said "Error": no reading, and no answer.
        told.reading = FrameReading::NoFrameHead;
    } else {
        told.reading = statusReading(told.bytes);
        AwaitingReply = false;
    }
    switch (told.reading) {
    case FrameReading::Decoded: {
        ++m_decodedFrames;
        told.status = readStatus(told.bytes);
        showStatus(*told.status, ProtocolNameTable, m_fields);
        // Tags are read from replies as long as one that carries them both; a tag such a reply
        // does not carry whole, after its escapes, is blank.
        const TimeTags tags = DecodeEscapes(told.bytes).size() >= unescapedReplyBytes
                                  ? readTimeTags(told.bytes)
                                  : TimeTags{};
        showTimeTags(tags, m_fields);
        told.startTag = tags.start;
        told.endTag = tags.end;
        told.protocolName = ProtocolNameTable[static_cast<std::size_t>(told.status->protocol)];
        // One beep per reply, however many tests failed; each failing reply beeps.
        told.beeped = told.status->anyLineFailed();
        if (told.beeped)
            m_desktop.beep();
        break;
    }
    case FrameReading::TooShort:
        ++m_shortFrames;
        break;
    case FrameReading::NoFrameHead:
        ++m_noiseFrames;
        break;
    case FrameReading::Tail:
    case FrameReading::Flood:
        break;
    }
    if (m_decodedFrames == 0) {
        // Nothing of this period was decoded: the last reply's verdicts, beside these bytes,
        // would be a lie, and a guess from them would be another.
        blankStatus(m_fields);
        blankTimeTags(m_fields);
    }
    tell(told);
}

void StationWindow::tell(const FrameHandled &frame)
{
    if (m_listener)
        m_listener->frameHandled(frame);
}

} // namespace station
