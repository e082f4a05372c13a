// Frames per second of the parse master over the frames of a real capture, and over the
// frames of a capture named by the environment variable MORWICK_BENCH_CAPTURE (for
// example one written by gencapture).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "loader/traceloader.h"
#include "parser/parsemaster.h"


namespace morwick {
namespace {

std::vector<tRawFrame> LoadFrames(const std::string& file) {
    std::vector<tRawFrame> frames;
    try {
        auto loader = createTraceLoader(file, 0, cfUnknown);
        if (!loader || !loader->openFile()) return frames;
        loader->readTraceFileheader();
        for (;;) {
            loader->readBatchFromDisk();
            const int32_t n = loader->FramesAvailable();
            if (n == 0) break;
            for (int32_t i = 1; i <= n; ++i) frames.push_back(loader->getRawFrame(i));
        }
    } catch (const std::exception&) {
    }
    return frames;
}

void RunOver(benchmark::State& state, const std::vector<tRawFrame>& frames, tParseProcessMode mode) {
    if (frames.empty()) {
        state.SkipWithError("capture not found");
        return;
    }
    int64_t layers = 0;
    for (auto _ : state) {
        for (const tRawFrame& frame : frames) {
            tParseMaster pm(frame, mode);
            layers += pm.ParserCount();
            benchmark::DoNotOptimize(pm.RemainingPayloadLen());
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(frames.size()));
    state.counters["layers/frame"] =
        static_cast<double>(layers) / static_cast<double>(state.iterations() * frames.size());
}

const std::vector<tRawFrame>& CaptureFrames() {
    // The sample captures live beside the source tree.
    static const std::vector<tRawFrame> frames = LoadFrames(
        (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() /
         "shared/captures/public/afs.pcap").string());
    return frames;
}

void BM_ParseMasterCapture(benchmark::State& state) {
    RunOver(state, CaptureFrames(), ppmParseAll);
}
BENCHMARK(BM_ParseMasterCapture);

void BM_ParseMasterCaptureUpToLayer4(benchmark::State& state) {
    RunOver(state, CaptureFrames(), ppmUpToLayer4);
}
BENCHMARK(BM_ParseMasterCaptureUpToLayer4);

const std::vector<tRawFrame>& GeneratedFrames() {
    static const std::vector<tRawFrame> frames = [] {
        const char* path = std::getenv("MORWICK_BENCH_CAPTURE");
        return path ? LoadFrames(path) : std::vector<tRawFrame>{};
    }();
    return frames;
}

void BM_ParseMasterGenerated(benchmark::State& state) {
    RunOver(state, GeneratedFrames(), ppmParseAll);
}
BENCHMARK(BM_ParseMasterGenerated);

void BM_ParseMasterGeneratedUpToLayer4(benchmark::State& state) {
    RunOver(state, GeneratedFrames(), ppmUpToLayer4);
}
BENCHMARK(BM_ParseMasterGeneratedUpToLayer4);

}  // namespace
}  // namespace morwick

BENCHMARK_MAIN();
