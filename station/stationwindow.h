#pragma once

#include "decisions.h"
#include "frames.h"
#include "framesplitter.h"
#include "portcontroller.h"
#include "protocolfile.h"
#include "window.h"

#include <chrono>
#include <filesystem>
#include <string>

namespace station {

inline constexpr auto pollPeriod = std::chrono::milliseconds(500);
inline constexpr int lineSpeedBitsPerSecond = 19200;
// How long the reply field stays blank at each tick before the next poll goes out, so that the
// operator sees every poll even when the replies are identical.
inline constexpr auto tickPause = std::chrono::milliseconds(30);

// 19200 bit/s at ten bits a byte carries 960 bytes in a poll period; more than that and a tenth in
// one period is a flood, not a reply.
inline constexpr std::size_t receiveBufferLimitBytes = 960 + 96;

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
    // The tick: closePollPeriod, then sendPoll.
    void onTimer();
    void onDataArrived();

    // The tick's first half: the reply field blanked for a moment, what arrived meanwhile read,
    // and the period of the poll before decided, "No Reply" if it went unanswered. Alone, it ends
    // the last period of a run that sends no further poll. Returns every byte the period held, as
    // received (a flood's first ones).
    Bytes closePollPeriod();
    // The tick's second half: a new period begins, and the poll goes out.
    void sendPoll();

    const Bytes &receiveBuffer() const { return ReceiveBuffer; }
    bool isAwaitingReply() const { return AwaitingReply; }
    const ProtocolNames &protocolNames() const { return ProtocolNameTable; }
    // Why start-up failed: what was refused, or which file and why; empty when it did not.
    const std::string &startupProblem() const { return m_startupProblem; }

private:
    void handleArrival(const Bytes &received);
    void handleFrame(FrameSplitter::Piece piece);
    void tell(const FrameHandled &frame);
    PollOutcome periodOutcome(bool frameUnderWay) const;
    bool loadProtocolNames();
    void blankResults();

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
    std::string m_startupProblem;

    // The period of the last poll sent: its frames as they were cut, by reading.
    FrameSplitter m_frames;
    bool m_pollOpen = false;
    bool m_firstPoll = false;  // the next poll is the first since Start
    bool m_unanswered = false; // the tick found the poll before unanswered
    int m_decodedFrames = 0;
    int m_shortFrames = 0;
    int m_noiseFrames = 0;
};

} // namespace station
