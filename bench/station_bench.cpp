// The full handling of one complete 27-byte reply: the tick that clears the buffer and sends the
// poll, then the end test, the hex line, status and time tags, written into in-memory fields.

#include "fakes.h"
#include "replies.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

namespace {

void completeReply(benchmark::State &state)
{
    fakes::FakeStation s;
    s.window.recording = false;
    const station::Bytes reply = support::healthyReply();
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
    const station::Bytes reply = support::healthyReply();
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

// Start-up with a ten-megabyte "Protocol.txt": setting the speed, reading and applying the file.
void startupWithTenMegabyteFile(benchmark::State &state)
{
    const auto path = std::filesystem::temp_directory_path() / "station-bench-Protocol.txt";
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; out.tellp() < 10 * 1024 * 1024; ++i)
            out << (i % 64) << ",\"Protocol " << i << ", long name\"\r\n";
    }
    for (auto _ : state) {
        fakes::FakeStation s;
        s.station.setProtocolFilePath(path);
        s.station.onLoad();
        if (!s.window.messages.empty())
            state.SkipWithError("the file was refused");
        benchmark::DoNotOptimize(s.station.protocolNames());
    }
    std::filesystem::remove(path);
}
BENCHMARK(startupWithTenMegabyteFile)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
