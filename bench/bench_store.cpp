// Writing a conversation store into a new meta database: one million TCP conversations
// (IPv4, distinct socket pairs, every column filled), reported as rows per second. Each
// run writes into a fresh database file in the system's temporary folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "parser/parser_tcp.h"
#include "storage/conversationstorage.h"
#include "storage/inteldb_manager.h"

using namespace morwick;

namespace {

constexpr int kConversations = 1'000'000;
const std::string kTrace = "/captures/bench.pcap";
const tDateTime kFileDate = tDateTime::Encode(2024, 3, 1, 9, 0, 0);
const tFrameTimeStamp kFirst{tDateTime::Encode(2024, 3, 1, 12, 0, 0), 1};
const tFrameTimeStamp kLast{tDateTime::Encode(2024, 3, 1, 13, 0, 0), 2};

void FillStore(tConversationStorage& store, int count) {
    for (int i = 0; i < count; ++i) {
        tTCPConversation c;
        c.initialize(0);
        tIPAddress client, server;
        client.initialize(static_cast<uint32_t>(0x0A000000u + (static_cast<uint32_t>(i) >> 10)));
        server.initialize(static_cast<uint32_t>(0xC0A80000u + (static_cast<uint32_t>(i) & 0x3FF)));
        tIPSocket a, b;
        a.initialize(client, static_cast<uint16_t>(1024 + (i % 60000)));
        b.initialize(server, 443);
        c.SocketPair.initialize(a, b);
        c.SocketPair.normalize();
        c.ClientIP = client;
        c.FramesSrcToDst = 10 + i % 7;
        c.FramesDstToSrc = 12 + i % 5;
        c.BytesSrcToDst = 1000 + i;
        c.BytesDstToSrc = 50'000 + i;
        c.ClientPayloadBytes = i % 3 == 0 ? 0 : 500;
        c.ServerPayloadBytes = i % 3 == 0 ? 0 : 40'000;
        c.FirstFrame = 2 * i + 1;
        c.LastFrame = 2 * i + 500;
        c.FirstFrameOffset = 24 + 100LL * i;
        c.LastFrameOffset = 24 + 100LL * i + 50'000;
        c.FirstFrameTime = tFrameTimeStamp{kFirst.datetime.AddSeconds(i % 3600), i % 1'000'000'000};
        c.LastFrameTime = tFrameTimeStamp{kFirst.datetime.AddSeconds(i % 3600 + 2), (i * 7) % 1'000'000'000};
        c.SessionStatus = 9;
        c.SynSeen = c.FinSeen = true;
        c.Flags = tTCPFlagSet{tcpSYN, tcpACK, tcpPSH, tcpFIN};
        c.InitialRTTns = 250'000 + i;
        c.Markers = {mFoundByIPv4};
        c.Attributes = {caOneSidedCommunication};
        tInterfaceFileIDEntry e;
        e.initialize(0, static_cast<uint32_t>(i % 2));
        c.InterfaceList = tInterfaceFileIDList{e};
        store.AddTCPConversation(c);
    }
}

void BM_StoreTCPConversations(benchmark::State& state) {
    tConversationStorage store;
    FillStore(store, kConversations);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("morwick_bench_store_" + std::to_string(::getpid()) + ".db"))
                                 .string();
    int64_t rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(path);
        auto manager = std::make_unique<tIntelDBManager>(path, kTrace, 3LL << 30, kFileDate, kFirst, kLast);
        state.ResumeTiming();

        if (!store.StoreConversationsToDatabase(manager->Database(), kTrace, 3LL << 30, kFileDate, kFirst, kLast))
            state.SkipWithError("file not found in its database");
        manager.reset();  // closes the file: its last pages reach the disk
        rows += static_cast<int64_t>(store.TCPConversations().size());
    }
    std::filesystem::remove(path);
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StoreTCPConversations)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
