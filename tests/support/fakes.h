#pragma once

// Hand-written stand-ins for the window, the timer, the desktop and the port. They record what an
// operator would see (field texts and colours, enabled controls, beeps) and the order of the
// display writes, so tests assert outcomes rather than call sequences.

#include "portcontroller.h"
#include "stationwindow.h"
#include "window.h"

#include <array>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace fakes {

using namespace station;

class FakeWindow : public ResultFields, public Controls, public PollTimer, public Desktop
{
public:
    FakeWindow()
    {
        backgrounds.fill(ColourButtonFace);
        enabled.fill(true);
        enabled[static_cast<std::size_t>(Control::cmdStop)] = false;
    }

    void setText(Field field, std::string_view text) override
    {
        texts[index(field)] = std::string(text);
        if (recording)
            log.push_back(std::string(fieldName(field)) + "=" + std::string(text));
    }
    std::string text(Field field) const override { return texts[index(field)]; }
    void setBackground(Field field, Colour colour) override
    {
        backgrounds[index(field)] = colour;
        if (recording)
            log.push_back(std::string(fieldName(field)) + " bg " + colourName(colour));
    }
    void repaintNow(Field field) override
    {
        if (recording)
            log.push_back("repaint " + std::string(fieldName(field)));
    }
    void setToolTip(Field field, std::string_view hint) override
    {
        toolTips[index(field)] = std::string(hint);
    }

    void setEnabled(Control control, bool enabled) override
    {
        this->enabled[static_cast<std::size_t>(control)] = enabled;
    }
    std::string comPortText() const override { return comPort; }
    void setActive(bool active) override { timerActive = active; }

    MessageButton askOkCancel(std::string_view text, std::string_view detail) override
    {
        messages.push_back(std::string(text));
        details.push_back(std::string(detail));
        return answer;
    }
    void beep() override { ++beeps; }
    void endProgram() override { ended = true; }
    void pause(std::chrono::milliseconds length) override
    {
        pauses.push_back(length);
        if (recording)
            log.push_back("pause");
        if (duringPause)
            duringPause();
    }

    const std::string &shown(Field field) const { return texts[index(field)]; }
    Colour background(Field field) const { return backgrounds[index(field)]; }
    const std::string &toolTip(Field field) const { return toolTips[index(field)]; }
    bool isEnabled(Control control) const { return enabled[static_cast<std::size_t>(control)]; }

    static std::string colourName(Colour colour)
    {
        switch (colour) {
        case ColourGreen:
            return "green";
        case ColourRed:
            return "red";
        case ColourButtonFace:
            return "face";
        default:
            return std::to_string(colour);
        }
    }

    std::array<std::string, fieldCount> texts{};
    std::array<Colour, fieldCount> backgrounds{};
    std::array<std::string, fieldCount> toolTips{};
    std::array<bool, controlCount> enabled{}; // as the window starts: only Stop disabled
    std::string comPort = "COM1";
    bool timerActive = false;
    MessageButton answer = MessageButton::Ok;
    std::vector<std::string> messages;
    std::vector<std::string> details;
    int beeps = 0;
    bool ended = false;
    std::vector<std::chrono::milliseconds> pauses;
    // Runs inside the tick's pause: what the line delivers while the window cannot handle it.
    std::function<void()> duringPause;
    bool recording = true;
    std::vector<std::string> log;

private:
    static std::size_t index(Field field) { return static_cast<std::size_t>(field); }
};

class FakePort : public PortController
{
public:
    PortResult SetSpeed(int bitsPerSecond) override
    {
        speed = bitsPerSecond;
        return speedRefused ? PortResult::failure(PortError::Other, "speed refused")
                            : PortResult::success();
    }
    PortResult OpenPort(const std::string &name) override
    {
        openedNames.push_back(name);
        if (!openFailure.empty())
            return PortResult::failure(openFailureKind, openFailure)
                .withHolder(openFailureHolder, "0403", "6001");
        return PortResult::success();
    }
    PortResult ClosePort() override
    {
        ++closeCount;
        return closeFails ? PortResult::failure(PortError::Other, "close failed")
                          : PortResult::success();
    }
    PortResult SendData(ByteView bytes) override
    {
        if (sendFailure.error() != PortError::None)
            return sendFailure;
        sent.emplace_back(bytes.begin(), bytes.end());
        return PortResult::success();
    }
    PortResult ReadData(Bytes &received) override
    {
        received.clear();
        if (!pending.empty()) {
            received = std::move(pending.front());
            pending.pop_front();
        }
        return PortResult::success();
    }

    int speed = 0;
    bool speedRefused = false;
    std::string openFailure;
    PortError openFailureKind = PortError::Other;
    std::string openFailureHolder; // the program that holds a busy port
    PortResult sendFailure = PortResult::success();
    bool closeFails = false;
    int closeCount = 0;
    std::vector<std::string> openedNames;
    std::vector<Bytes> sent;
    std::deque<Bytes> pending;
};

// A station wired to fakes. Start-up has not run: call station.onLoad() where a test needs it.
struct FakeStation
{
    FakeWindow window;
    FakePort port;
    StationWindow station{window, window, window, window, port};

    // Hands `bytes` to the station as one arrival.
    void arrive(Bytes bytes)
    {
        port.pending.push_back(std::move(bytes));
        station.onDataArrived();
    }
};

} // namespace fakes
