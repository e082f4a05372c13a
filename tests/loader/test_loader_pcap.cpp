#include "loader/loader_pcap.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/errors.h"
#include "loader/pcapfixture.h"

namespace morwick {
namespace {

using testing::tPcapBuilder;
using testing::tPcapLayout;
using testing::tTempDir;
using testing::tZoneScope;

// 2020-02-15 01:02:03 UTC
constexpr uint32_t Feb15 = 1'581'728'523;

struct tLoaded {
    std::unique_ptr<tPCAPLoader> Loader;
    std::vector<tRawFrame> Frames;
};

std::unique_ptr<tPCAPLoader> OpenPcap(const std::string& path) {
    auto loader = std::make_unique<tPCAPLoader>(path, 0, true);
    loader->openFile();
    loader->readTraceFileheader();
    return loader;
}

// Reads every batch until one comes back empty.
tLoaded ReadAll(const std::string& path, int32_t batchLimit = 65'536) {
    tLoaded result;
    result.Loader = std::make_unique<tPCAPLoader>(path, 0, true);
    result.Loader->SetMaxFramesInMem(batchLimit);
    result.Loader->openFile();
    result.Loader->readTraceFileheader();
    for (;;) {
        result.Loader->readBatchFromDisk();
        const int32_t n = result.Loader->FramesAvailable();
        if (n == 0) break;
        for (int32_t i = 1; i <= n; ++i) result.Frames.push_back(result.Loader->getRawFrame(i));
    }
    return result;
}

std::string TimeText(const tRawFrame& frame) {
    return DateTimeToDBText(frame.Timestamp().datetime) + "+" + std::to_string(frame.Timestamp().nanoseconds);
}

std::vector<uint8_t> FrameBytes(const tRawFrame& frame) {
    return std::vector<uint8_t>(frame.Bytes().begin(), frame.Bytes().end());
}

std::string LastMessage(const tTraceLoader& loader) {
    return loader.MessageCount() == 0 ? std::string() : loader.MessageList()[loader.MessageCount() - 1].MessageText;
}

class PcapLoaderTest : public ::testing::Test {
protected:
    tZoneScope priv_zone{"UTC"};
    tTempDir dir;
};

struct tLayoutCase {
    tPcapLayout Layout;
    const char* Message;
};

TEST_F(PcapLoaderTest, ReadsEveryLayoutAndByteOrder) {
    const std::vector<tLayoutCase> cases = {
        {{false, false, false}, "PCAP Format found: Standard"},
        {{true, false, false}, "PCAP Format found: Standard Byte Swapped"},
        {{false, true, false}, "PCAP Format found: Modified Standard"},
        {{true, true, false}, "PCAP Format found: Modified Byte Swapped"},
        {{false, false, true}, "PCAP Format found: NanoSecond Standard"},
        {{true, false, true}, "PCAP Format found: NanoSecond Byte Swapped"},
    };
    for (const tLayoutCase& c : cases) {
        SCOPED_TRACE(c.Message);
        const bool nano = c.Layout.Nanoseconds;
        tPcapBuilder builder(c.Layout);
        builder.Record(Feb15, nano ? 123'456'789 : 123'456, tPcapBuilder::Counting(60))
            .Record(Feb15 + 86'400, 0, tPcapBuilder::Counting(1, 9))
            .Record(Feb15 + 1, nano ? 999'999'999 : 999'999, tPcapBuilder::Counting(300, 5), -1, 1514);
        const std::string path = dir.Write("layout.pcap", builder.bytes);
        ASSERT_EQ(getCaptureFileType(path), cfPCAP);

        tLoaded loaded = ReadAll(path);
        const tPCAPLoader& loader = *loaded.Loader;
        ASSERT_EQ(loader.MessageCount(), 1);
        EXPECT_EQ(loader.MessageList()[0].MessageText, c.Message);
        EXPECT_EQ(loader.MessageList()[0].Severity, msInfo);
        EXPECT_EQ(loader.MessageList()[0].CodeLocation, "tPCAPLoader.readTraceFileheader");
        EXPECT_EQ(loader.ByteSwappedFile(), c.Layout.BigEndian);
        EXPECT_EQ(loader.ModifiedFileFormat(), c.Layout.Modified);
        EXPECT_EQ(loader.Precision(), nano ? 3 : 2);
        EXPECT_EQ(loader.MajorVersion(), 2);
        EXPECT_EQ(loader.MinorVersion(), 4);
        EXPECT_EQ(loader.SnapLength(), 65535u);
        EXPECT_EQ(loader.LinkType(), 1u);
        EXPECT_EQ(loader.Channels(), 1);
        EXPECT_EQ(loader.Status(), lsSuccess);
        EXPECT_TRUE(loader.EndOfFile());
        EXPECT_FALSE(loader.ReadFailed());
        EXPECT_EQ(loader.TotalFramesRead(), 3);
        EXPECT_EQ(loader.Position(), loader.Filesize());

        ASSERT_EQ(loaded.Frames.size(), 3u);
        const int64_t header = c.Layout.Modified ? 24 : 16;
        const std::vector<int64_t> offsets = {24, 24 + header + 60, 24 + 2 * header + 61};
        const std::vector<uint32_t> sizes = {60, 1, 300};
        const std::vector<uint32_t> wires = {60, 1, 1514};
        const std::vector<std::string> times = {"2020-02-15 01:02:03.000+" + std::string(nano ? "123456789" : "123456000"),
                                                "2020-02-16 01:02:03.000+0",
                                                "2020-02-15 01:02:04.000+" + std::string(nano ? "999999999" : "999999000")};
        for (size_t i = 0; i < 3; ++i) {
            const tRawFrame& f = loaded.Frames[i];
            EXPECT_EQ(f.FileFrameID(), i + 1);
            EXPECT_EQ(f.FileOffset(), offsets[i]);
            EXPECT_EQ(f.FrameSize(), sizes[i]);
            EXPECT_EQ(f.WireSize(), wires[i]);
            EXPECT_EQ(TimeText(f), times[i]);
            EXPECT_EQ(f.LinkType(), 1u);
            EXPECT_EQ(f.InterfaceID(), 0u);
            EXPECT_EQ(f.FrameFileType(), tftPCAP);
            EXPECT_EQ(f.InterfaceLinkID(), loader.PacketLinkID());
        }
        EXPECT_EQ(FrameBytes(loaded.Frames[0]), tPcapBuilder::Counting(60));
        EXPECT_EQ(FrameBytes(loaded.Frames[2]), tPcapBuilder::Counting(300, 5));
        EXPECT_EQ(loaded.Frames[2].Ticks(), 3'724'000'000 + 999'999);

        ASSERT_EQ(loader.CaptureInterfaces().GetCount(), 1);
        const tCaptureInterface* iface = loader.CaptureInterfaces().getInterfaceByIndex(0);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->Name(), "Unknown");
        EXPECT_EQ(iface->Description(), "Generic Interface from PCAP File");
        EXPECT_EQ(iface->SpeedBPS(), 100'000'000u);
        EXPECT_EQ(iface->LinkType(), 1u);
        EXPECT_EQ(iface->Origin(), ioFromFile);
        EXPECT_EQ(iface->PacketLinkID(), loader.PacketLinkID());
    }
}

TEST_F(PcapLoaderTest, MapsNetworkTypesToLinkTypes) {
    struct tCase {
        uint32_t Network;
        bool AIX;
        uint32_t LinkType;
    };
    const std::vector<tCase> cases = {
        {1, false, 1},     {6, false, 6},     {7, false, 7},   {8, false, 102}, {9, false, 51},
        {10, false, 10},   {12, false, 101},  {101, false, 101}, {113, false, 113}, {178, false, 178},
        {127, false, 0},   {105, false, 0},   {0, false, 0},   {6, true, 1},    {7, true, 101},
        {9, true, 6},      {15, true, 10},    {1, true, 0},    {101, true, 0},
    };
    for (const tCase& c : cases)
        EXPECT_EQ(tPCAPLoader::LinkTypeOfNetworkType(c.Network, c.AIX), c.LinkType) << c.Network << " " << c.AIX;

    // In a file: the header's network type 127 passes as link type 0 to frames.
    tPcapLayout layout;
    layout.Network = 127;
    const std::string path = dir.Write("radiotap.pcap", tPcapBuilder(layout).Record(0, 0, {1, 2, 3}).bytes);
    tLoaded loaded = ReadAll(path);
    EXPECT_EQ(loaded.Loader->NetworkType(), 127u);
    EXPECT_EQ(loaded.Loader->LinkType(), 0u);
    ASSERT_EQ(loaded.Frames.size(), 1u);
    EXPECT_EQ(loaded.Frames[0].LinkType(), 0u);
}

TEST_F(PcapLoaderTest, ReadsVersion22FilesWithNanosecondsAndTheirLinkTypes) {
    for (bool bigEndian : {false, true}) {
        tPcapLayout layout;
        layout.BigEndian = bigEndian;
        layout.Minor = 2;
        layout.Network = 6;
        const std::string path =
            dir.Write("aix.pcap", tPcapBuilder(layout).Record(Feb15, 123'456'789, tPcapBuilder::Counting(20)).bytes);
        tLoaded loaded = ReadAll(path);
        EXPECT_TRUE(loaded.Loader->AIXFile());
        EXPECT_EQ(loaded.Loader->Precision(), 3);
        EXPECT_EQ(loaded.Loader->LinkType(), 1u);
        ASSERT_EQ(loaded.Frames.size(), 1u);
        EXPECT_EQ(TimeText(loaded.Frames[0]), "2020-02-15 01:02:03.000+123456789");
        EXPECT_EQ(loaded.Frames[0].LinkType(), 1u);
    }
}

TEST_F(PcapLoaderTest, RejectsBadHeadersWithTheirTexts) {
    std::vector<uint8_t> valid = tPcapBuilder().bytes;
    std::vector<uint8_t> version1 = valid;
    version1[4] = 1;
    version1[5] = 0;
    std::vector<uint8_t> badMagic = valid;
    badMagic[0] = 0xD5;
    const std::string tooShort = "Error: PCAP file too short (PCAPLoader.readTraceFileheader).";
    const std::vector<std::pair<std::vector<uint8_t>, std::string>> cases = {
        {{}, tooShort},
        {{0xD4, 0xC3, 0xB2}, tooShort},
        {std::vector<uint8_t>(valid.begin(), valid.begin() + 20), tooShort},
        {std::vector<uint8_t>(valid.begin(), valid.begin() + 4), tooShort},
        {badMagic, "Error: PCAP file format unknown (PCAPLoader.readTraceFileheader)."},
        {version1, "Error: Unsupported PCAP version (PCAPLoader.readTraceFileheader)."},
    };
    for (const auto& [content, text] : cases) {
        const std::string path = dir.Write("bad.pcap", content);
        tPCAPLoader loader(path, 0, true);
        loader.openFile();
        try {
            loader.readTraceFileheader();
            ADD_FAILURE() << "accepted a header of " << content.size() << " bytes";
        } catch (const tInOutError& e) {
            EXPECT_EQ(e.what(), text) << content.size();
        }
        EXPECT_FALSE(loader.HeaderRead());
    }
    // Nothing is read before the header.
    tPCAPLoader unread(dir.Write("ok.pcap", valid), 0, true);
    unread.openFile();
    EXPECT_THROW(unread.readBatchFromDisk(), tInOutError);
    EXPECT_THROW(unread.readSingleFrameFromDisk(1), tInOutError);
}

TEST_F(PcapLoaderTest, HeaderOnlyFileHasNoFrames) {
    auto loader = OpenPcap(dir.Write("empty.pcap", tPcapBuilder().bytes));
    EXPECT_TRUE(loader->HeaderRead());
    EXPECT_TRUE(loader->EndOfFile());
    loader->readBatchFromDisk();
    EXPECT_EQ(loader->FramesAvailable(), 0);
    EXPECT_EQ(loader->Status(), lsSuccess);
    EXPECT_EQ(loader->readSingleFrameFromDisk(1), std::nullopt);
}

TEST_F(PcapLoaderTest, CutsCapturedSizeToWireSizeAndKeepsReadingBehindIt) {
    tPcapBuilder builder;
    builder.Record(Feb15, 0, tPcapBuilder::Counting(1600), 1600, 1514).Record(Feb15, 1, tPcapBuilder::Counting(40, 7));
    const std::string path = dir.Write("fix.pcap", builder.bytes);

    tLoaded fixed = ReadAll(path);
    ASSERT_EQ(fixed.Frames.size(), 2u);
    EXPECT_EQ(fixed.Frames[0].FrameSize(), 1514u);
    EXPECT_EQ(fixed.Frames[0].WireSize(), 1514u);
    EXPECT_EQ(FrameBytes(fixed.Frames[0]), tPcapBuilder::Counting(1514));
    EXPECT_EQ(LastMessage(*fixed.Loader),
              "Fixing bad Capture size of 1600 bytes larger than wire size (1514 bytes) detected for frame #1");
    EXPECT_EQ(fixed.Loader->MessageList()[1].Severity, msMajor);
    EXPECT_EQ(fixed.Loader->MessageList()[1].FrameIndex, 1);
    // The record still stores 1600 bytes: the next record starts behind them.
    EXPECT_EQ(fixed.Frames[1].FileOffset(), 24 + 16 + 1600);
    EXPECT_EQ(FrameBytes(fixed.Frames[1]), tPcapBuilder::Counting(40, 7));
    EXPECT_EQ(fixed.Loader->Status(), lsSuccess);

    auto loader = std::make_unique<tPCAPLoader>(path, 0, true);
    loader->SetFixLoadErrors(false);
    loader->openFile();
    loader->readTraceFileheader();
    loader->readBatchFromDisk();
    ASSERT_EQ(loader->FramesAvailable(), 2);
    EXPECT_EQ(loader->FrameAt(1).FrameSize(), 1600u);
    EXPECT_EQ(loader->FrameAt(1).WireSize(), 1514u);
    EXPECT_EQ(loader->MessageCount(), 1);
}

TEST_F(PcapLoaderTest, OversizedRecordEndsTheFileAsReadFailure) {
    tPcapBuilder builder;
    builder.Record(Feb15, 0, tPcapBuilder::Counting(10))
        .Record(Feb15, 0, std::vector<uint8_t>(70'000, 1))
        .Record(Feb15, 0, tPcapBuilder::Counting(10));
    tLoaded loaded = ReadAll(dir.Write("big.pcap", builder.bytes));
    ASSERT_EQ(loaded.Frames.size(), 1u);
    EXPECT_EQ(loaded.Loader->Status(), lsReadFailed);
    EXPECT_TRUE(loaded.Loader->ReadFailed());
    EXPECT_TRUE(loaded.Loader->EndOfFile());
    EXPECT_EQ(LastMessage(*loaded.Loader), "capture size exceeds maximum in frame #2, aborting");
    EXPECT_EQ(loaded.Loader->MessageList()[1].Severity, msCritical);
}

TEST_F(PcapLoaderTest, TruncatedTailKeepsTheFramesBeforeIt) {
    tPcapBuilder builder;
    builder.Record(Feb15, 0, tPcapBuilder::Counting(1500)).Record(Feb15, 1, tPcapBuilder::Counting(100));
    const std::vector<uint8_t> full = builder.bytes;
    struct tCase {
        const char* Name;
        size_t CutBytes;
        std::string Message;
    };
    const std::vector<tCase> cases = {
        {"record header cut short", 100 + 6, "Error: unexpected end of PCAP file (PCAPLoader.readBatchFromDisk)."},
        {"record data cut short", 1, "Error while reading frame #2 from PCAP at offset 1,540"},
        {"only the record header left", 100, "Error while reading frame #2 from PCAP at offset 1,540"},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<uint8_t> cut(full.begin(), full.end() - static_cast<std::ptrdiff_t>(c.CutBytes));
        tLoaded loaded = ReadAll(dir.Write("cut.pcap", cut));
        ASSERT_EQ(loaded.Frames.size(), 1u);
        EXPECT_EQ(FrameBytes(loaded.Frames[0]), tPcapBuilder::Counting(1500));
        EXPECT_EQ(LastMessage(*loaded.Loader), c.Message);
        EXPECT_EQ(loaded.Loader->MessageList()[1].FrameIndex, 2);
        EXPECT_EQ(loaded.Loader->Status(), lsIncompleteFile);
        EXPECT_TRUE(loaded.Loader->EndOfFile());
        EXPECT_FALSE(loaded.Loader->ReadFailed());
        EXPECT_EQ(loaded.Loader->TotalFramesRead(), 1);
    }
}

TEST_F(PcapLoaderTest, HonoursTheBatchBoundAndReportsItsBytePosition) {
    tPcapBuilder builder;
    for (uint8_t i = 0; i < 10; ++i) builder.Record(Feb15 + i, 0, tPcapBuilder::Counting(10 + i, i));
    const std::string path = dir.Write("ten.pcap", builder.bytes);
    tPCAPLoader loader(path, 0, true);
    loader.SetMaxFramesInMem(3);
    loader.openFile();
    loader.readTraceFileheader();
    EXPECT_EQ(loader.Position(), 24);

    std::vector<int32_t> batchSizes;
    std::vector<uint32_t> seen;
    for (;;) {
        loader.readBatchFromDisk();
        const int32_t n = loader.FramesAvailable();
        batchSizes.push_back(n);
        if (n == 0) break;
        const tRawFrame& last = loader.FrameAt(n);
        // The read position stands right behind the batch's last record.
        EXPECT_EQ(loader.Position(), last.FileOffset() + 16 + last.FrameSize());
        for (int32_t i = 1; i <= n; ++i) seen.push_back(loader.getRawFrame(i).FrameSize());
    }
    EXPECT_EQ(batchSizes, (std::vector<int32_t>{3, 3, 3, 1, 0}));
    EXPECT_EQ(seen, (std::vector<uint32_t>{10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
    EXPECT_EQ(loader.Position(), loader.Filesize());
    EXPECT_EQ(loader.TotalFramesRead(), 10);
    EXPECT_GE(loader.FPS(), 0);
    loader.readBatchFromDisk();
    EXPECT_EQ(loader.FramesAvailable(), 0);
}

TEST_F(PcapLoaderTest, BoundsABatchOfLargeFramesByItsBytes) {
    // Frames of 60,000 bytes: far fewer of them than the frame bound fill a batch.
    constexpr uint32_t kSize = 60'000;
    constexpr int32_t kPerBatch = static_cast<int32_t>((tTraceLoader::MaxBatchBytes + kSize - 1) / kSize);
    constexpr int32_t kFrames = 2 * kPerBatch + 10;
    tPcapBuilder builder;
    const std::vector<uint8_t> payload(kSize, 0x5A);
    for (int32_t i = 0; i < kFrames; ++i) builder.Record(Feb15 + static_cast<uint32_t>(i), 0, payload);
    const std::string path = dir.Write("large.pcap", builder.bytes);
    tPCAPLoader loader(path, 0, true);
    loader.SetMaxFramesInMem(65'536);
    loader.openFile();
    loader.readTraceFileheader();
    std::vector<int32_t> batchSizes;
    for (;;) {
        loader.readBatchFromDisk();
        const int32_t n = loader.FramesAvailable();
        if (n == 0) break;
        batchSizes.push_back(n);
        int64_t bytes = 0;
        for (int32_t i = 1; i <= n; ++i) bytes += loader.FrameAt(i).FrameSize();
        // Full at the first frame that reaches the byte bound.
        EXPECT_LT(bytes - kSize, tTraceLoader::MaxBatchBytes);
        EXPECT_EQ(loader.FrameAt(n).Bytes()[kSize - 1], 0x5A);
    }
    EXPECT_EQ(batchSizes, (std::vector<int32_t>{kPerBatch, kPerBatch, 10}));
    EXPECT_EQ(loader.TotalFramesRead(), kFrames);
}

TEST_F(PcapLoaderTest, ReadsSingleFramesByNumberAndOffset) {
    tPcapBuilder builder;
    for (uint8_t i = 0; i < 4; ++i) builder.Record(Feb15 + i, 0, tPcapBuilder::Counting(20 + i, i));
    auto loader = OpenPcap(dir.Write("four.pcap", builder.bytes));

    auto third = loader->readSingleFrameFromDisk(3);
    ASSERT_TRUE(third.has_value());
    EXPECT_EQ(third->FileFrameID(), 3u);
    EXPECT_EQ(third->FileOffset(), 24 + 16 * 2 + 20 + 21);
    EXPECT_EQ(FrameBytes(*third), tPcapBuilder::Counting(22, 2));

    auto byOffset = loader->readSingleFrameByOffset(third->FileOffset(), 9);
    ASSERT_TRUE(byOffset.has_value());
    EXPECT_EQ(byOffset->FileFrameID(), 9u);
    EXPECT_EQ(FrameBytes(*byOffset), FrameBytes(*third));

    EXPECT_EQ(loader->readSingleFrameFromDisk(5), std::nullopt);
    try {
        (void)loader->readSingleFrameFromDisk(0);
        ADD_FAILURE();
    } catch (const tInOutError& e) {
        EXPECT_STREQ(e.what(), "Error: invalid frame index of 0 (PCAPLoader.readSingleFrameFromDisk).");
    }
    try {
        (void)loader->readSingleFrameByOffset(loader->Filesize() - 10, 1);
        ADD_FAILURE();
    } catch (const tInOutError& e) {
        EXPECT_STREQ(e.what(), "Error: unexpected end of PCAP file (PCAPLoader.readBatchFromDisk).");
    }

    // A walk that meets a record header cut short fails the same way.
    std::vector<uint8_t> cut = builder.bytes;
    cut.resize(24 + 16 + 20 + 6);
    auto cutLoader = OpenPcap(dir.Write("cut.pcap", cut));
    EXPECT_TRUE(cutLoader->readSingleFrameFromDisk(1).has_value());
    try {
        (void)cutLoader->readSingleFrameFromDisk(3);
        ADD_FAILURE();
    } catch (const tInOutError& e) {
        EXPECT_STREQ(e.what(), "Error: unexpected end of PCAP file (PCAPLoader.readBatchFromDisk).");
    }
}

TEST_F(PcapLoaderTest, DropsDuplicatesOnlyWhenAsked) {
    tPcapBuilder builder;
    builder.Record(Feb15, 100, tPcapBuilder::Counting(64)).Record(Feb15, 400, tPcapBuilder::Counting(64));
    const std::string path = dir.Write("dupes.pcap", builder.bytes);
    EXPECT_EQ(ReadAll(path).Frames.size(), 2u);

    tPCAPLoader loader(path, 0, true);
    loader.SetDupeCheckMethod(dcFrameCRC);
    loader.openFile();
    loader.readTraceFileheader();
    loader.readBatchFromDisk();
    EXPECT_EQ(loader.FramesAvailable(), 1);
    EXPECT_EQ(loader.FrameDuplicatesFound(), 1);
    EXPECT_EQ(loader.TotalFrameDuplicatesFound(), 1);
    EXPECT_EQ(loader.TotalFramesRead(), 2);
}

struct tZoneCase {
    const char* Zone;
    uint32_t Seconds;
    const char* Expected;
};

TEST_F(PcapLoaderTest, ConvertsRecordTimesToLocalTime) {
    const std::vector<tZoneCase> cases = {
        {"UTC", 0, "1970-01-01+5"},
        {"Asia/Kolkata", 0, "1970-01-01 05:30:00.000+5"},
        {"Asia/Kolkata", Feb15, "2020-02-15 06:32:03.000+5"},
        // 23:59:59 UTC is the next morning in India.
        {"Asia/Kolkata", 1'581'811'199, "2020-02-16 05:29:59.000+5"},
        // Sydney keeps daylight saving time in the southern summer (UTC+11), not in July (UTC+10).
        {"Australia/Sydney", Feb15, "2020-02-15 12:02:03.000+5"},
        {"Australia/Sydney", 1'594'774'923, "2020-07-15 11:02:03.000+5"},
        {"Europe/Berlin", Feb15, "2020-02-15 02:02:03.000+5"},
        {"Europe/Berlin", 1'594'774'923, "2020-07-15 03:02:03.000+5"},
        // West of UTC the date goes back.
        {"America/St_Johns", Feb15, "2020-02-14 21:32:03.000+5"},
    };
    for (const tZoneCase& c : cases) {
        tZoneScope zone(c.Zone);
        tPcapLayout layout;
        layout.Nanoseconds = true;
        const std::string path = dir.Write("zone.pcap", tPcapBuilder(layout).Record(c.Seconds, 5, {1, 2}).bytes);
        tLoaded loaded = ReadAll(path);
        ASSERT_EQ(loaded.Frames.size(), 1u);
        EXPECT_EQ(TimeText(loaded.Frames[0]), c.Expected) << c.Zone << " " << c.Seconds;
    }
}

TEST_F(PcapLoaderTest, UTCDeltaReplacesTheZone) {
    tZoneScope zone("Asia/Kolkata");
    const std::string path = dir.Write("delta.pcap", tPcapBuilder().Record(Feb15, 7, {1}).bytes);
    tPCAPLoader loader(path, 0, true);
    loader.SetUTCDelta(-3);
    loader.openFile();
    loader.readTraceFileheader();
    loader.readBatchFromDisk();
    ASSERT_EQ(loader.FramesAvailable(), 1);
    EXPECT_EQ(TimeText(loader.FrameAt(1)), "2020-02-14 22:02:03.000+7000");
}

TEST_F(PcapLoaderTest, ReadsRecordsBeyondTwoGibibytes) {
    // A sparse file of 3 GiB: the header, one record at the start and one far behind.
    const std::string path = dir.File("huge.pcap");
    const int64_t farOffset = (int64_t{1} << 31) + 1000;
    const int64_t size = int64_t{3} << 30;
    tPcapBuilder head;
    head.Record(Feb15, 0, tPcapBuilder::Counting(8));
    tPcapBuilder far;
    far.Record(Feb15 + 60, 0, tPcapBuilder::Counting(32, 3));
    const std::vector<uint8_t> farRecord(far.bytes.begin() + 24, far.bytes.end());
    {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        bool ok = ::pwrite(fd, head.bytes.data(), head.bytes.size(), 0) == static_cast<ssize_t>(head.bytes.size());
        ok = ok && ::pwrite(fd, farRecord.data(), farRecord.size(), farOffset) == static_cast<ssize_t>(farRecord.size());
        ok = ok && ::ftruncate(fd, size) == 0;
        ::close(fd);
        if (!ok) GTEST_SKIP() << "no room for a sparse file";
    }
    auto loader = OpenPcap(path);
    EXPECT_EQ(loader->Filesize(), size);
    auto frame = loader->readSingleFrameByOffset(farOffset, 2);
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->FileOffset(), farOffset);
    EXPECT_EQ(FrameBytes(*frame), tPcapBuilder::Counting(32, 3));
    EXPECT_EQ(TimeText(*frame), "2020-02-15 01:03:03.000+0");
}

// Every public pcap sample is read to its end or stops with one of the loader's texts.
TEST(PcapLoaderSweep, ReadsEveryPublicPcapSafely) {
    const std::filesystem::path folder = std::filesystem::path(MORWICK_CAPTURES) / "public";
    if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no capture collection at " << folder;
    tZoneScope zone("UTC");
    const std::vector<std::string> knownErrors = {
        "Error: PCAP file too short (PCAPLoader.readTraceFileheader).",
        "Error: PCAP file format unknown (PCAPLoader.readTraceFileheader).",
        "Error: Unsupported PCAP version (PCAPLoader.readTraceFileheader).",
    };
    int files = 0;
    int64_t frames = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".pcap") continue;
        const std::string path = entry.path().string();
        SCOPED_TRACE(path);
        ++files;
        if (getCaptureFileType(path) != cfPCAP) continue;  // another format under a .pcap name
        auto loader = createTraceLoader(path, 0, cfPCAP);
        ASSERT_NE(loader, nullptr);
        loader->SetMaxFramesInMem(4096);
        try {
            loader->openFile();
            loader->readTraceFileheader();
        } catch (const tInOutError& e) {
            EXPECT_NE(std::find(knownErrors.begin(), knownErrors.end(), e.what()), knownErrors.end()) << e.what();
            continue;
        }
        int64_t lastOffset = 0;
        for (;;) {
            loader->readBatchFromDisk();
            const int32_t n = loader->FramesAvailable();
            if (n == 0) break;
            for (int32_t i = 1; i <= n; ++i) {
                const tRawFrame frame = loader->getRawFrame(i);
                ASSERT_GT(frame.FileOffset(), lastOffset);
                lastOffset = frame.FileOffset();
                ASSERT_LE(frame.FrameSize(), MaxFrameCaptureSize);
                ASSERT_LE(static_cast<int64_t>(frame.FileOffset() + frame.FrameSize()), loader->Filesize());
                ++frames;
            }
            ASSERT_LE(loader->Position(), loader->Filesize());
        }
        EXPECT_TRUE(loader->EndOfFile());
        if (loader->Status() == lsSuccess) {
            EXPECT_EQ(loader->Position(), loader->Filesize());
        }
    }
    EXPECT_GT(files, 0);
    EXPECT_GT(frames, 0);
}

}  // namespace
}  // namespace morwick
