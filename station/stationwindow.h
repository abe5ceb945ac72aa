#pragma once

#include "decisions.h"
#include "frames.h"
#include "portcontroller.h"
#include "protocolfile.h"
#include "window.h"

#include <bitset>
#include <chrono>
#include <filesystem>
#include <string>

namespace station {

inline constexpr auto pollPeriod = std::chrono::milliseconds(500);
inline constexpr int lineSpeedBitsPerSecond = 19200;
// How long the reply field stays blank at each tick before the next poll goes out, so that the
// operator sees every poll even when the replies are identical.
inline constexpr auto tickPause = std::chrono::milliseconds(30);

// Real replies are under 64 bytes and the line carries at most 960 bytes in a poll period; more
// than this between two ticks is a flood, not a reply.
inline constexpr std::size_t receiveBufferLimitBytes = 4096;

inline constexpr std::string_view startupFailureText = "Error loading protocol description file";
inline constexpr std::string_view openFailureText = "Error opening port";
inline constexpr std::string_view noReplyText = "No Reply";
// The tooltip of "No Reply" when the poll went out and nothing came back.
inline constexpr std::string_view noReplyHint =
    "The unit did not answer the last poll.\nCheck the cable, that the unit is powered, the port "
    "name, and that the unit is set to 19200 bit/s.";

// The tooltip for a port that would not open, or that went away and cannot be reopened: the
// system's reason, and what an operator can do about it, chosen by the kind of failure.
std::string portFailureHint(const PortResult &failure);

// The logic behind the station's window: start-up, the two buttons, the poll tick and the
// arrival of bytes. Every handler runs on the user-interface thread, one at a time.
class StationWindow
{
public:
    StationWindow(ResultFields &fields, Controls &controls, PollTimer &timer, Desktop &desktop,
                  PortController &port);

    // Where "Protocol.txt" is looked for; the current directory unless a test says otherwise.
    void setProtocolFilePath(std::filesystem::path path) { m_protocolFilePath = std::move(path); }
    // Told what the station decided, after the window shows it; none by default.
    void setListener(StationListener *listener) { m_listener = listener; }

    void onLoad();
    void onStartClick();
    void onStopClick();
    void onTimer();
    void onDataArrived();

    const Bytes &receiveBuffer() const { return ReceiveBuffer; }
    bool isAwaitingReply() const { return AwaitingReply; }
    const ProtocolNames &protocolNames() const { return ProtocolNameTable; }

private:
    // Passes every write on to the window and notes which fields were written.
    class WriteLog : public ResultFields
    {
    public:
        explicit WriteLog(ResultFields &fields) : m_fields(fields) {}
        void setText(Field field, std::string_view text) override;
        std::string text(Field field) const override { return m_fields.text(field); }
        void setBackground(Field field, Colour colour) override;
        void repaintNow(Field field) override { m_fields.repaintNow(field); }
        void setToolTip(Field field, std::string_view hint) override;

        std::bitset<fieldCount> written;

    private:
        ResultFields &m_fields;
    };

    bool loadProtocolNames();
    void blankResults();

    WriteLog m_log;
    ResultFields &m_fields;
    Controls &m_controls;
    PollTimer &m_timer;
    Desktop &m_desktop;
    PortController &m_port;
    StationListener *m_listener = nullptr;
    std::filesystem::path m_protocolFilePath{protocolFileName};

    // ReceiveBuffer, AwaitingReply and ProtocolNameTable are the system's own names for this state
    // and stay so on purpose, beside our m_ members: the behaviour is searched for by them. Do not
    // rename them to our style.
    Bytes ReceiveBuffer;
    bool AwaitingReply = false;
    ProtocolNames ProtocolNameTable;
    bool m_overflowed = false;
};

} // namespace station
