// Drives StationWindow with fake window fields from a script of fuzzer bytes: arrivals of byte
// chunks of any length, ticks, Start (succeeding or failing) and Stop. The hex field only ever
// shows the period's bytes as they grew; a decoded reply shows exactly its own verdicts, and a
// verdict field may only ever hold "", "OK" or "Error".

#include "fakes.h"
#include "status.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using station::Field;

const auto &verdicts = station::lineTestFields;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Told after the window shows a frame: a decoded one is on display, verdict for verdict.
class Watcher : public station::StationListener
{
public:
    explicit Watcher(const fakes::FakeWindow &window) : m_window(window) {}
    void frameHandled(const station::FrameHandled &frame) override
    {
        if (frame.reading != station::FrameReading::Decoded)
            return;
        check(frame.status && station::DecodeEscapes(frame.bytes).size() >= 11);
        for (std::size_t i = 0; i < station::lineTestCount; ++i)
            check(m_window.shown(verdicts[i]) == station::lineTestText(frame.status->linesOk[i]));
    }

private:
    const fakes::FakeWindow &m_window;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fakes::FakeStation s;
    s.window.recording = false;
    Watcher watcher(s.window);
    s.station.setListener(&watcher);
    std::size_t at = 0;
    const auto next = [&]() -> std::uint8_t {
        return at < size ? data[at++] : 0;
    };

    while (at < size) {
        switch (next() % 6) {
        case 0:
        case 1: { // an arrival; lengths past 255 come from a second length byte
            std::size_t length = next();
            if (length == 255)
                length += static_cast<std::size_t>(next()) * 32;
            const std::size_t available = std::min(length, size - at);
            s.arrive(station::Bytes(data + at, data + at + available));
            at += available;
            const auto &buffer = s.station.receiveBuffer();
            check(buffer.size() <= station::receiveBufferLimitBytes);
            const std::string &shown = s.window.shown(Field::lblRxDataResult);
            check(shown == station::noReplyText || shown == station::openFailureText ||
                  station::hexText(buffer).starts_with(shown));
            break;
        }
        case 2:
            s.station.onTimer();
            s.port.sent.clear();
            break;
        case 3:
            s.port.openFailure = (next() & 1) ? "Device or resource busy" : "";
            s.station.onStartClick();
            break;
        case 4:
            s.station.onStopClick();
            break;
        case 5: // an arrival of nothing, as a spurious notification gives
            s.arrive({});
            break;
        }
        for (const Field field : verdicts) {
            const std::string &verdict = s.window.shown(field);
            check(verdict.empty() || verdict == "OK" || verdict == "Error");
        }
    }
    return 0;
}
