#include "loader/traceloader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/errors.h"
#include "loader/loader_pcap.h"
#include "loader/pcapfixture.h"

namespace morwick {
namespace {

using testing::tPcapBuilder;
using testing::tTempDir;
using testing::tZoneScope;

std::vector<uint8_t> Bytes(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// A loader without a format, to reach the framework's own behaviour.
class tProbeLoader : public tTraceLoader {
public:
    using tTraceLoader::tTraceLoader;
    tCaptureFileType FileFormat() const override { return cfNone; }
    std::optional<tRawFrame> ParseFrameFromOffset(int64_t, int64_t&) override { return std::nullopt; }
    void readTraceFileheader() override {}
    void readBatchFromDisk() override {}
    std::optional<tRawFrame> readSingleFrameFromDisk(int64_t) override { return std::nullopt; }
    std::optional<tRawFrame> readSingleFrameByOffset(int64_t, int64_t) override { return std::nullopt; }

    void SetCaptureModuleCode(int8_t value) { iCaptureModule = value; }
    void AddSecrets(tSecretsRecord record) { SecretsRecords.push_back(std::move(record)); }
    void AddFrame(uint32_t interfaceID, uint8_t firstByte) {
        tWireDetails wire;
        wire.CaptureSize = 4;
        wire.WireSize = 4;
        wire.InterfaceID = interfaceID;
        const uint8_t data[4] = {firstByte, 2, 3, 4};
        addRawFrame(tRawFrame(tTimingDetails{}, wire, tFileFrameLocation{}, data, true));
    }
};

struct tDetectCase {
    const char* Name;
    std::vector<uint8_t> Content;
    tCaptureFileType Expected;
};

TEST(FormatDetection, ClassifiesFilesByTheirFirstBytes) {
    const std::vector<uint8_t> pcapBody(20, 0);
    auto withBody = [&](std::vector<uint8_t> head) {
        head.insert(head.end(), pcapBody.begin(), pcapBody.end());
        return head;
    };
    std::vector<uint8_t> enc = Bytes("TRSNIFF data    ");
    enc.push_back(0x1A);
    enc.push_back(0x00);
    const std::vector<tDetectCase> cases = {
        {"empty file", {}, cfENC},
        {"TRS", Bytes("TRS"), cfENC},
        {"abc", Bytes("abc"), cfUnknown},
        {"ENC signature", enc, cfENC},
        {"ENC signature without its final byte", Bytes("TRSNIFF data    "), cfENC},
        {"ENC with one blank less", Bytes("TRSNIFF data   x1234"), cfUnknown},
        {"XCP and zero", {'X', 'C', 'P', 0, 1, 2, 3, 4}, cfCAP},
        {"XCP and a digit", Bytes("XCP1abcd"), cfUnknown},
        {"XC", Bytes("XC"), cfCAP},
        {"pcapng", withBody({0x0A, 0x0D, 0x0D, 0x0A}), cfPCAPng},
        {"pcap standard", withBody({0xD4, 0xC3, 0xB2, 0xA1}), cfPCAP},
        {"pcap swapped", withBody({0xA1, 0xB2, 0xC3, 0xD4}), cfPCAP},
        {"pcap modified", withBody({0x34, 0xCD, 0xB2, 0xA1}), cfPCAP},
        {"pcap modified swapped", withBody({0xA1, 0xB2, 0xCD, 0x34}), cfPCAP},
        {"pcap nanoseconds", withBody({0x4D, 0x3C, 0xB2, 0xA1}), cfPCAP},
        {"pcap nanoseconds swapped", withBody({0xA1, 0xB2, 0x3C, 0x4D}), cfPCAP},
        {"pcap magic cut to 3 bytes", {0xD4, 0xC3, 0xB2}, cfUnknown},
        {"pcap magic alone", {0xD4, 0xC3, 0xB2, 0xA1}, cfPCAP},
        {"other magic", withBody({0xD4, 0xC3, 0xB2, 0xA2}), cfUnknown},
    };
    tTempDir dir;
    for (const tDetectCase& c : cases) {
        const std::string path = dir.Write("capture", c.Content);
        EXPECT_EQ(getCaptureFileType(path), c.Expected) << c.Name;
        EXPECT_EQ(CaptureFileTypeOfBytes(c.Content), c.Expected) << c.Name;
    }
    EXPECT_EQ(getCaptureFileType(dir.File("missing")), cfUnknown);
    EXPECT_EQ(getCaptureFileType(dir.File("")), cfUnknown) << "a folder is not a capture";
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    EXPECT_EQ(getCaptureFileType(dir.File("pipe")), cfUnknown) << "a named pipe is not read";
    // A link to a capture is read like the capture.
    const std::string target = dir.Write("target.pcap", tPcapBuilder().bytes);
    ASSERT_EQ(::symlink(target.c_str(), dir.File("link.pcap").c_str()), 0);
    EXPECT_EQ(getCaptureFileType(dir.File("link.pcap")), cfPCAP);
}

TEST(LoaderFactory, CreatesTheLoaderOfTheDetectedFormat) {
    tTempDir dir;
    const std::string pcap = dir.Write("a.pcap", tPcapBuilder().bytes);
    const std::string pcapng = dir.Write("a.pcapng", {0x0A, 0x0D, 0x0D, 0x0A, 0, 0, 0, 0});
    const std::string cap = dir.Write("a.cap", {'X', 'C', 'P', 0, 0, 0, 0, 0});
    const std::string enc = dir.Write("a.enc", Bytes("TRSNIFF data    "));
    const std::string text = dir.Write("a.txt", Bytes("hello world"));

    auto loader = createTraceLoader(pcap, 7);
    ASSERT_NE(loader, nullptr);
    EXPECT_EQ(loader->FileFormat(), cfPCAP);
    EXPECT_NE(dynamic_cast<tPCAPLoader*>(loader.get()), nullptr);
    EXPECT_EQ(loader->Filename(), pcap);
    EXPECT_EQ(loader->FileNumber(), 7);

    auto ngLoader = createTraceLoader(pcapng, 0);
    ASSERT_NE(ngLoader, nullptr);
    EXPECT_EQ(ngLoader->FileFormat(), cfPCAPng);

    // Sniffer CAP and ENC have no loader yet.
    for (const std::string& other : {cap, enc, text, dir.File("missing")})
        EXPECT_EQ(createTraceLoader(other, 0, cfUnknown), nullptr) << other;
    // A stated type is taken as given.
    auto forced = createTraceLoader(text, 0, cfPCAP);
    ASSERT_NE(forced, nullptr);
    EXPECT_EQ(forced->FileFormat(), cfPCAP);
    EXPECT_EQ(createTraceLoader(pcap, 0, cfNone), nullptr);
}

TEST(TraceLoader, StartsWithItsDefaults) {
    tProbeLoader loader("x", 3, true);
    EXPECT_TRUE(loader.FramesInMemLimited());
    EXPECT_EQ(loader.MaxFramesInMem(), 10'000);
    EXPECT_EQ(loader.Status(), lsSuccess);
    EXPECT_EQ(loader.UTCDelta(), 0);
    EXPECT_EQ(loader.DupeCheckMethod(), dcNone);
    EXPECT_EQ(loader.DupeHistoryFrameLimit(), 20);
    EXPECT_EQ(loader.DupeHistoryTimeLimit(), 1000);
    EXPECT_TRUE(loader.FixLoadErrors());
    EXPECT_EQ(loader.CaptureModule(), "Unknown");
    EXPECT_EQ(loader.MessageCount(), 0);
    EXPECT_EQ(loader.MessageList().size(), 100u);
    EXPECT_EQ(loader.FramesAvailable(), 0);
    EXPECT_FALSE(loader.EndOfFile());
    EXPECT_EQ(loader.SecretsCount(), 0);
    EXPECT_EQ(loader.CaptureInterfaces().GetCount(), 0);
}

TEST(TraceLoader, BoundsTheFramesPerBatch) {
    const std::vector<std::pair<int32_t, int32_t>> cases = {
        {0, 1}, {-5, 1}, {1, 1}, {65'536, 65'536}, {10'000'000, 10'000'000}, {20'000'000, 10'000'000}};
    tProbeLoader loader("x", 0, true);
    for (auto [given, stored] : cases) {
        loader.SetMaxFramesInMem(given);
        EXPECT_EQ(loader.MaxFramesInMem(), stored) << given;
    }
}

TEST(TraceLoader, NamesTheCaptureModule) {
    const std::vector<std::pair<int8_t, std::string>> cases = {
        {0, "NDIS"}, {2, "GigPod"}, {3, "OtherPod"}, {5, "OtherPod2"}, {6, "GE10/GE20"},
        {-1, "Unknown"}, {4, "Unknown (4)"}, {1, "Unknown (1)"}, {-7, "Unknown (-7)"}};
    tProbeLoader loader("x", 0, true);
    for (const auto& [code, name] : cases) {
        loader.SetCaptureModuleCode(code);
        EXPECT_EQ(loader.CaptureModule(), name) << int(code);
    }
}

TEST(TraceLoader, HandsOutBatchFramesByOneBasedIndex) {
    tProbeLoader loader("x", 0, true);
    auto iface = std::make_unique<tCaptureInterface>(1, 1, ioFromFile, true);
    tCaptureInterface* second = iface.get();
    loader.CaptureInterfaces().Add(std::move(iface));
    loader.AddFrame(0, 10);
    loader.AddFrame(1, 20);
    ASSERT_EQ(loader.FramesAvailable(), 2);
    EXPECT_EQ(loader.getInterfaceForFrameByFrameIndex(2), second);
    EXPECT_EQ(loader.getInterfaceForFrameByFrameIndex(1), nullptr);
    EXPECT_EQ(loader.FrameAt(2).getByte(0), 20);

    tRawFrame taken = loader.getRawFrame(2);
    EXPECT_EQ(taken.getByte(0), 20);
    EXPECT_EQ(taken.FrameSize(), 4u);

    for (int32_t index : {0, 3, -1}) {
        try {
            (void)loader.getRawFrame(index);
            ADD_FAILURE() << "no error for index " << index;
        } catch (const tInOutError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Error: frame index out of bounds: " + std::to_string(index) +
                          " (max: 2) (traceloader.getRawFrame).");
        }
    }
    loader.clearFramelist();
    EXPECT_EQ(loader.FramesAvailable(), 0);
}

TEST(TraceLoader, CollectsMessagesAndGrowsTheListByHundreds) {
    tProbeLoader loader("x", 0, true);
    int events = 0;
    loader.SetOnLoadMessage([&](tTraceLoader& sender, const tTraceLoaderMessage& message) {
        EXPECT_EQ(&sender, &loader);
        EXPECT_EQ(message.MessageText, "note " + std::to_string(events + 1));
        ++events;
    });
    for (int i = 1; i <= 100; ++i) loader.addLoaderMessage(msWarning, "note " + std::to_string(i), "here.there", i);
    EXPECT_EQ(loader.MessageList().size(), 100u);
    loader.addLoaderMessage(msMajor, "note 101", "tX.Y", 42);
    EXPECT_EQ(events, 101);
    EXPECT_EQ(loader.MessageCount(), 101);
    EXPECT_EQ(loader.MessageList().size(), 200u);
    const tTraceLoaderMessage& last = loader.MessageList()[100];
    EXPECT_EQ(last.Severity, msMajor);
    EXPECT_EQ(last.MessageText, "note 101");
    EXPECT_EQ(last.CodeLocation, "tX.Y");
    EXPECT_EQ(last.FrameIndex, 42);
}

TEST(TraceLoader, RejectsSecretsIndexesOutsideTheList) {
    tProbeLoader loader("x", 0, true);
    loader.AddSecrets({pngstTLS, "CLIENT_RANDOM 00"});
    EXPECT_EQ(loader.SecretsCount(), 1);
    EXPECT_EQ(loader.getSecretsRecord(1).KeyLogFile, "CLIENT_RANDOM 00");
    for (int32_t index : {0, 2}) {
        try {
            (void)loader.getSecretsRecord(index);
            ADD_FAILURE() << index;
        } catch (const tAssertionError& e) {
            EXPECT_STREQ(e.what(), "Invalid Index (tTraceLoader.getSecretsRecord)");
        }
    }
}

TEST(TraceLoader, OpensOnlyFilesThatCanBeMapped) {
    tTempDir dir;
    {
        tProbeLoader missing(dir.File("missing.pcap"), 0, true);
        EXPECT_FALSE(missing.openFile());
        ASSERT_EQ(missing.MessageCount(), 1);
        EXPECT_EQ(missing.MessageList()[0].MessageText, "file not found");
        EXPECT_EQ(missing.MessageList()[0].CodeLocation, "tTraceLoader.OpenFile");
        EXPECT_EQ(missing.MessageList()[0].Severity, msCritical);
    }
    {
        tProbeLoader empty(dir.Write("empty.pcap", {}), 0, true);
        EXPECT_FALSE(empty.openFile());
        EXPECT_EQ(empty.Filesize(), 0);
        EXPECT_EQ(empty.MessageCount(), 0);
    }
    {
        tProbeLoader folder(dir.File(""), 0, true);
        try {
            folder.openFile();
            ADD_FAILURE() << "a folder was mapped";
        } catch (const tInOutError& e) {
            EXPECT_STREQ(e.what(), "Error: File mapping failed (traceloader.openFile).");
        }
    }
    {
        // The file's last-write time is given in local time.
        tZoneScope zone("Asia/Kolkata");
        const std::string path = dir.Write("some.pcap", std::vector<uint8_t>(100, 7));
        struct timespec times[2] = {{1'600'000'000, 250'000'000}, {1'600'000'000, 250'000'000}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        tProbeLoader loader(path, 0, true);
        EXPECT_TRUE(loader.openFile());
        EXPECT_EQ(loader.Filesize(), 100);
        // 2020-09-13 12:26:40.250 UTC is 17:56:40.250 in India.
        EXPECT_EQ(DateTimeToDBText(loader.FileTimeStamp()), "2020-09-13 17:56:40.250");
        EXPECT_TRUE(loader.openFile()) << "reopening maps the file again";
        loader.closeFile();
    }
}

}  // namespace
}  // namespace morwick
