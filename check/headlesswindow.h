#pragma once

// The station's window without a display: it keeps what the window would show, answers the
// start-up message as told, and notes which fields each reply wrote.

#include "window.h"

#include <array>
#include <bitset>
#include <string>

namespace check {

class HeadlessWindow : public station::ResultFields,
                       public station::Controls,
                       public station::Desktop
{
public:
    // `goOnWithoutProtocols`: the answer to "Error loading protocol description file" is OK
    // (every protocol "Unknown Protocol") rather than Cancel (end the program).
    HeadlessWindow(std::string portName, bool goOnWithoutProtocols);

    void setText(station::Field field, std::string_view text) override;
    std::string text(station::Field field) const override;
    void setBackground(station::Field field, station::Colour colour) override;
    void repaintNow(station::Field) override {}
    void setToolTip(station::Field field, std::string_view hint) override;

    void setEnabled(station::Control control, bool enabled) override;
    std::string comPortText() const override { return m_portName; }

    station::MessageButton askOkCancel(std::string_view text) override;
    void beep() override {}
    void endProgram() override { m_ended = true; }
    void pause(std::chrono::milliseconds length) override;

    // Forgets which fields were written, before the next piece of a reply is handled.
    void forgetWrites() { m_written.reset(); }
    bool wasWritten(station::Field field) const { return m_written[index(field)]; }
    station::Colour background(station::Field field) const { return m_colours[index(field)]; }
    const std::string &toolTip(station::Field field) const { return m_toolTips[index(field)]; }
    bool isEnabled(station::Control control) const
    {
        return m_enabled[static_cast<std::size_t>(control)];
    }
    bool hasEnded() const { return m_ended; }

    const std::array<std::string, station::fieldCount> &texts() const { return m_texts; }
    const std::array<station::Colour, station::fieldCount> &backgrounds() const
    {
        return m_colours;
    }
    const std::bitset<station::fieldCount> &writes() const { return m_written; }

private:
    static std::size_t index(station::Field field) { return static_cast<std::size_t>(field); }

    std::string m_portName;
    bool m_goOnWithoutProtocols;
    bool m_ended = false;
    std::array<std::string, station::fieldCount> m_texts{};
    std::array<station::Colour, station::fieldCount> m_colours{};
    std::array<std::string, station::fieldCount> m_toolTips{};
    std::array<bool, station::controlCount> m_enabled{};
    std::bitset<station::fieldCount> m_written;
};

} // namespace check
