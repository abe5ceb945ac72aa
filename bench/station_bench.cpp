// The full handling of one complete 27-byte reply: the tick that clears the buffer and sends the
// poll, then the end test, the hex line, status and time tags, written into in-memory fields.

#include "fakes.h"
#include "replies.h"

#include <benchmark/benchmark.h>

namespace {

void completeReply(benchmark::State &state)
{
    fakes::FakeStation s;
    s.window.recording = false;
    const station::Bytes reply = fakes::healthyReply();
    for (auto _ : state) {
        s.station.onTimer();
        s.port.pending.push_back(reply);
        s.station.onDataArrived();
        benchmark::DoNotOptimize(s.window.texts);
        s.port.sent.clear();
    }
}
BENCHMARK(completeReply);

void completeReplyInThreePieces(benchmark::State &state)
{
    fakes::FakeStation s;
    s.window.recording = false;
    const station::Bytes reply = fakes::healthyReply();
    const station::Bytes first(reply.begin(), reply.begin() + 9);
    const station::Bytes second(reply.begin() + 9, reply.begin() + 18);
    const station::Bytes third(reply.begin() + 18, reply.end());
    for (auto _ : state) {
        s.station.onTimer();
        for (const auto *piece : {&first, &second, &third}) {
            s.port.pending.push_back(*piece);
            s.station.onDataArrived();
        }
        benchmark::DoNotOptimize(s.window.texts);
        s.port.sent.clear();
    }
}
BENCHMARK(completeReplyInThreePieces);

} // namespace

BENCHMARK_MAIN();
