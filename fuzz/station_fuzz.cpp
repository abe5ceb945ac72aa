// Drives StationWindow with fake window fields from a script of fuzzer bytes: arrivals of byte
// chunks of any length, ticks, Start (succeeding or failing) and Stop. After every arrival that
// leaves a complete reply in the buffer, the hex field must show exactly that buffer and, when
// the buffer has no readable status, no verdict; a verdict field may only ever hold "", "OK" or
// "Error".

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fakes::FakeStation s;
    s.window.recording = false;
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
            if (station::replyEnd(buffer) != station::ReplyEnd::Complete)
                break;
            check(s.window.shown(Field::lblRxDataResult) == station::hexText(buffer));
            // A reply without a readable status leaves no verdict, neither its own nor an
            // earlier one's.
            if (const auto reading = station::statusReading(buffer);
                reading == station::StatusReading::NoFrameHead ||
                reading == station::StatusReading::CutByEscapes)
                for (const Field field : verdicts)
                    check(s.window.shown(field).empty());
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
