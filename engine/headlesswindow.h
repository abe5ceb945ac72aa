#pragma once

// The station's window without a display: a sink that keeps the texts the station reads back,
// names the port, and answers the start-up message as told. What the station decided reaches the
// check through its listener, never through this window.

#include "window.h"

#include <array>
#include <chrono>
#include <string>

namespace engine {

class HeadlessWindow : public station::ResultFields,
                       public station::Controls,
                       public station::Desktop
{
public:
    // `goOnWithoutProtocols`: the answer to "Error loading protocol description file" is OK
    // (every protocol "Unknown Protocol") rather than Cancel (end the program).
    HeadlessWindow(std::string portName, bool goOnWithoutProtocols)
        : m_portName(std::move(portName)), m_goOnWithoutProtocols(goOnWithoutProtocols)
    {}

    void setText(station::Field field, std::string_view text) override
    {
        m_texts[static_cast<std::size_t>(field)] = std::string(text);
    }
    std::string text(station::Field field) const override
    {
        return m_texts[static_cast<std::size_t>(field)];
    }
    void setBackground(station::Field, station::Colour) override {}
    void repaintNow(station::Field) override {}
    void setToolTip(station::Field, std::string_view) override {}

    void setEnabled(station::Control, bool) override {}
    std::string comPortText() const override { return m_portName; }

    station::MessageButton askOkCancel(std::string_view, std::string_view) override
    {
        return m_goOnWithoutProtocols ? station::MessageButton::Ok : station::MessageButton::Cancel;
    }
    void beep() override {}
    void endProgram() override { m_ended = true; }
    // The pause lets an operator see each poll in the window; with no one watching it would only
    // hold the thread, delay every other port's poll and date the bytes that came meanwhile by
    // when they were read. The poll leaves at the tick.
    void pause(std::chrono::milliseconds) override {}

    bool hasEnded() const { return m_ended; }

private:
    std::string m_portName;
    bool m_goOnWithoutProtocols;
    bool m_ended = false;
    std::array<std::string, station::fieldCount> m_texts{};
};

} // namespace engine
