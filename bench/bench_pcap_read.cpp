// Reading speed of the pcap loader: a generated capture of mixed frame sizes is read
// batch by batch, every frame taken out of the batch and released, as the scan does.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "loader/traceloader.h"

namespace {

using namespace morwick;

constexpr int64_t FrameCount = 400'000;

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A pcap of FrameCount frames of 60 to 1514 bytes, written once per process.
const std::string& CapturePath() {
    static const std::string path = [] {
        const std::string file =
            (std::filesystem::temp_directory_path() / ("morwick-bench-" + std::to_string(::getpid()) + ".pcap"))
                .string();
        std::vector<uint8_t> bytes;
        Put32(bytes, 0xA1B2C3D4);
        Put32(bytes, 0x00040002);
        Put32(bytes, 0);
        Put32(bytes, 0);
        Put32(bytes, 65535);
        Put32(bytes, 1);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        std::vector<uint8_t> record;
        uint32_t seed = 12345;
        for (int64_t i = 0; i < FrameCount; ++i) {
            seed = seed * 1'103'515'245u + 12'345u;
            const uint32_t size = (seed >> 8) % 4 == 0 ? 1514 : 60 + (seed >> 12) % 600;
            record.clear();
            Put32(record, 1'600'000'000u + static_cast<uint32_t>(i / 1000));
            Put32(record, static_cast<uint32_t>(i % 1000) * 1000);
            Put32(record, size);
            Put32(record, size);
            record.resize(record.size() + size, static_cast<uint8_t>(i));
            out.write(reinterpret_cast<const char*>(record.data()), static_cast<std::streamsize>(record.size()));
        }
        std::atexit([] { std::remove(CapturePath().c_str()); });
        return file;
    }();
    return path;
}

void BM_PcapRead(benchmark::State& state) {
    const std::string& path = CapturePath();
    int64_t frames = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        auto loader = createTraceLoader(path, 0, cfUnknown);
        loader->SetMaxFramesInMem(static_cast<int32_t>(state.range(0)));
        loader->openFile();
        loader->readTraceFileheader();
        for (;;) {
            loader->readBatchFromDisk();
            const int32_t n = loader->FramesAvailable();
            if (n == 0) break;
            for (int32_t i = 1; i <= n; ++i) {
                tRawFrame frame = loader->getRawFrame(i);
                benchmark::DoNotOptimize(frame.Data());
            }
            frames += n;
        }
        bytes += loader->Filesize();
    }
    state.SetItemsProcessed(frames);
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_PcapRead)->Arg(65'536)->Arg(1'024)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
