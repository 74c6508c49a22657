// Download protocol benchmarks, run by hand (not part of ctest):
//   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build build-release --target bench_download
//   build-release/bench/bench_download
// A maximal download (identification, then a data frame of a 65,536-byte image: about 131,000
// characters) goes through the protocol session in 44-character chunks, what each 50 ms poll
// brings at 9600 baud. The same characters take about 150 s on the wire; the counter
// wire_ratio says how many times faster than the line the session is. The baseline copies the
// same chunks into a buffer and does nothing else: the least any receiver has to do. The
// series over image sizes shows that the cost grows with the frame, not faster.

#include "device/download_session.h"
#include "tools/emulator/instrument_frames.h"
#include "tools/emulator/penetrometer_records.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using device::DownloadResults;
using device::DownloadSession;

constexpr std::size_t kChunk = 44;
// 9600 baud, 8 data bits, no parity, 2 stop bits: 11 bits a character.
constexpr double kCharSeconds = 11.0 / 9600.0;
constexpr std::size_t kChecksumBytes = 4;

struct Download {
    std::string identification;
    std::string data;
    std::size_t characters() const { return identification.size() + data.size(); }
};

// As many penetrometer records as fit into an image of `imageBytes` (checksum included),
// the rest of the memory filled up, as a full instrument would send it.
Download makeDownload(std::size_t imageBytes)
{
    const std::size_t memoryBytes = imageBytes - kChecksumBytes;
    const auto records = std::uint16_t((memoryBytes - 2) / instrument::kRecordBytes);
    std::vector<std::uint8_t> memory = instrument::penetrometerMemory(records, 1);
    memory.resize(memoryBytes, 0xFF);
    return {instrument::identificationFrame({}), instrument::dataFrame(memory)};
}

template <typename Receive>
void feed(const std::string& chars, Receive&& receive)
{
    for (std::size_t at = 0; at < chars.size(); at += kChunk)
        receive(chars.data() + at, std::min(kChunk, chars.size() - at));
}

void report(benchmark::State& state, const Download& download)
{
    const double wire = double(download.characters()) * kCharSeconds;
    state.counters["wire_s"] = wire;
    state.counters["wire_ratio"] = benchmark::Counter(wire * double(state.iterations()),
                                                      benchmark::Counter::kIsRate);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(download.characters()));
    state.SetComplexityN(std::int64_t(download.characters()));
}

void BM_Download(benchmark::State& state)
{
    const Download download = makeDownload(std::size_t(state.range(0)));
    const auto results = std::make_unique<DownloadResults>();
    DownloadSession session(*results);
    for (auto _ : state) {
        session.start();
        feed(download.identification, [&](const char* c, std::size_t n) { session.receive(c, n); });
        feed(download.data, [&](const char* c, std::size_t n) { session.receive(c, n); });
        if (session.state() != DownloadSession::State::Done) {
            state.SkipWithError("the download did not succeed");
            break;
        }
        benchmark::DoNotOptimize(results->flash_image.data());
    }
    report(state, download);
}
BENCHMARK(BM_Download)->Name("BM_Download/maximal")->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Download)->RangeMultiplier(4)->Range(1024, 65536)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

void BM_Baseline_CopyChunks(benchmark::State& state)
{
    const Download download = makeDownload(std::size_t(state.range(0)));
    const auto buffer = std::make_unique<char[]>(DownloadSession::kReceiveBufferSize);
    for (auto _ : state) {
        std::size_t at = 0;
        auto copy = [&](const char* c, std::size_t n) {
            std::memcpy(buffer.get() + at, c, n);
            at += n;
        };
        feed(download.identification, copy);
        at = 0;
        feed(download.data, copy);
        benchmark::DoNotOptimize(buffer.get());
        benchmark::ClobberMemory();
    }
    report(state, download);
}
BENCHMARK(BM_Baseline_CopyChunks)->Arg(65536)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
