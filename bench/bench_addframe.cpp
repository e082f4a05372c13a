// Frame intake of the conversation store: AddFrame over the frames of the real captures
// (every little-endian classic pcap file of the capture folder, one after the other, so
// the store fills with many conversations), reported as frames per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "base/rawframe.h"
#include "storage/conversationstorage.h"

using namespace morwick;

namespace {

#ifndef MORWICK_BENCH_CAPTURES
#define MORWICK_BENCH_CAPTURES "/work/shared/captures"
#endif

uint32_t LE32(const std::vector<uint8_t>& d, size_t at) {
    return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (uint32_t{d[at + 3]} << 24);
}

std::vector<tRawFrame> LoadFrames() {
    namespace fs = std::filesystem;
    std::vector<tRawFrame> frames;
    const fs::path folder = MORWICK_BENCH_CAPTURES;
    if (!fs::is_directory(folder)) return frames;
    int64_t number = 0;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (!item.is_regular_file()) continue;
        std::ifstream in(item.path(), std::ios::binary);
        std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (d.size() < 24) continue;
        const uint32_t magic = LE32(d, 0);
        const bool nano = magic == 0xA1B23C4Du;
        if (magic != 0xA1B2C3D4u && !nano) continue;
        const uint32_t link = LE32(d, 20);
        for (size_t pos = 24; pos + 16 <= d.size();) {
            const uint32_t incl = LE32(d, pos + 8);
            if (incl > MaxFrameCaptureSize || pos + 16 + incl > d.size()) break;
            tTimingDetails timing;
            timing.AbsoluteTime = tDateTime::FromUnixSeconds(LE32(d, pos));
            const uint32_t sub = LE32(d, pos + 4);
            timing.TraceTicks = nano ? sub / 1000 : sub;
            tWireDetails wire;
            wire.LinkType = link;
            wire.CaptureSize = incl;
            wire.WireSize = LE32(d, pos + 12);
            tFileFrameLocation where;
            where.initialize(0, ++number, static_cast<int64_t>(pos));
            frames.emplace_back(timing, wire, where, std::span<const uint8_t>(d.data() + pos + 16, incl));
            pos += 16 + incl;
        }
    }
    return frames;
}

void BM_AddFrame(benchmark::State& state) {
    static const std::vector<tRawFrame> frames = LoadFrames();
    if (frames.empty()) {
        state.SkipWithError("no classic pcap captures found");
        return;
    }
    size_t conversations = 0;
    for (auto _ : state) {
        tConversationStorage store;
        for (const tRawFrame& frame : frames) store.AddFrame(frame);
        conversations = store.MACConversations().size() + store.IPv4Conversations().size() +
                        store.IPv6Conversations().size() + store.TCPConversations().size() +
                        store.UDPConversations().size();
        benchmark::DoNotOptimize(conversations);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * frames.size()));
    state.counters["frames"] = static_cast<double>(frames.size());
    state.counters["conversations"] = static_cast<double>(conversations);
}
BENCHMARK(BM_AddFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
