#include "headlesswindow.h"

#include <thread>

namespace check {

using station::Field;

HeadlessWindow::HeadlessWindow(std::string portName, bool goOnWithoutProtocols)
    : m_portName(std::move(portName)), m_goOnWithoutProtocols(goOnWithoutProtocols)
{
    // As the window starts: every field blank on the button face, only Stop disabled.
    m_colours.fill(station::ColourButtonFace);
    m_enabled.fill(true);
    m_enabled[static_cast<std::size_t>(station::Control::cmdStop)] = false;
}

void HeadlessWindow::setText(Field field, std::string_view text)
{
    m_texts[index(field)] = std::string(text);
    m_written.set(index(field));
}

std::string HeadlessWindow::text(Field field) const
{
    return m_texts[index(field)];
}

void HeadlessWindow::setBackground(Field field, station::Colour colour)
{
    m_colours[index(field)] = colour;
    m_written.set(index(field));
}

void HeadlessWindow::setToolTip(Field field, std::string_view hint)
{
    m_toolTips[index(field)] = std::string(hint);
}

void HeadlessWindow::setEnabled(station::Control control, bool enabled)
{
    m_enabled[static_cast<std::size_t>(control)] = enabled;
}

station::MessageButton HeadlessWindow::askOkCancel(std::string_view)
{
    return m_goOnWithoutProtocols ? station::MessageButton::Ok : station::MessageButton::Cancel;
}

// The window holds its thread for the pause without handling events; so does the check, so bytes
// that arrive meanwhile are read after the poll, as the station reads them.
void HeadlessWindow::pause(std::chrono::milliseconds length)
{
    std::this_thread::sleep_for(length);
}

} // namespace check
