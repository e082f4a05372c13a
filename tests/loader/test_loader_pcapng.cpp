#include "loader/loader_pcapng.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/errors.h"
#include "loader/pcapfixture.h"
#include "loader/pcapngbuilder.h"

namespace morwick {
namespace {

using testing::tNgOption;
using testing::tPcapngBuilder;
using testing::tTempDir;
using testing::TextBytes;
using testing::tZoneScope;

// 2020-02-15 12:07:01 UTC
constexpr uint64_t Feb15 = 1'581'768'421;

struct tLoaded {
    std::unique_ptr<tPCAPNGLoader> Loader;
    std::vector<tRawFrame> Frames;
    std::vector<int32_t> BatchSizes;
};

std::unique_ptr<tPCAPNGLoader> Open(const std::string& path) {
    auto loader = std::make_unique<tPCAPNGLoader>(path, 3, true);
    loader->openFile();
    loader->readTraceFileheader();
    return loader;
}

// Reads every batch until one comes back empty.
tLoaded ReadAll(const std::string& path, int32_t batchLimit = 65'536) {
    tLoaded result;
    result.Loader = std::make_unique<tPCAPNGLoader>(path, 3, true);
    result.Loader->SetMaxFramesInMem(batchLimit);
    result.Loader->openFile();
    result.Loader->readTraceFileheader();
    for (;;) {
        result.Loader->readBatchFromDisk();
        const int32_t n = result.Loader->FramesAvailable();
        if (n == 0) break;
        result.BatchSizes.push_back(n);
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

std::vector<std::string> Messages(const tTraceLoader& loader) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < loader.MessageCount(); ++i) out.push_back(loader.MessageList()[i].MessageText);
    return out;
}

bool HasMessage(const tTraceLoader& loader, const std::string& text) {
    const auto all = Messages(loader);
    return std::find(all.begin(), all.end(), text) != all.end();
}

std::vector<uint8_t> Counting(size_t length, uint8_t start = 0) {
    std::vector<uint8_t> data(length);
    for (size_t i = 0; i < length; ++i) data[i] = static_cast<uint8_t>(start + i);
    return data;
}

class PcapngLoaderTest : public ::testing::Test {
protected:
    tZoneScope priv_zone{"UTC"};
    tTempDir dir;
};

TEST_F(PcapngLoaderTest, ReadsOneSectionWithHeaderOptionsAndPackets) {
    tPcapngBuilder b;
    b.SHB({{1, TextBytes("first comment")},
           {1, TextBytes("second")},
           {2, TextBytes("x86 box")},
           {3, TextBytes("Linux 6.1")},
           {4, TextBytes("dumpcap")}});
    b.IDB(1, 262144, {{9, {6}}});
    const size_t firstOffset = b.Size();
    b.EPB(0, Feb15 * 1'000'000 + 250'000, Counting(60));
    b.EPB(0, Feb15 * 1'000'000 + 500'001, Counting(61, 9));
    tLoaded loaded = ReadAll(dir.Write("one.pcapng", b.bytes));

    const tPCAPNGLoader& loader = *loaded.Loader;
    EXPECT_TRUE(loader.HeaderRead());
    EXPECT_EQ(loader.FileFormat(), cfPCAPng);
    EXPECT_EQ(loader.SectionCount(), 1);
    EXPECT_EQ(loader.MajorVersion(), 1);
    EXPECT_EQ(loader.MinorVersion(), 0);
    EXPECT_EQ(loader.ByteOrderMagic(), 0x1A2B3C4Du);
    EXPECT_EQ(loader.SectionLength(), ~uint64_t{0});
    EXPECT_FALSE(loader.ByteSwappedFile());
    EXPECT_EQ(loaded.Loader->HeaderComments(), (std::vector<std::string>{"first comment", "second"}));
    EXPECT_EQ(loader.Hardware(), std::vector<std::string>{"x86 box"});
    EXPECT_EQ(loader.OperatingSystem(), std::vector<std::string>{"Linux 6.1"});
    EXPECT_EQ(loader.Userapplication(), std::vector<std::string>{"dumpcap"});
    EXPECT_EQ(loader.Status(), lsSuccess);
    EXPECT_TRUE(loader.EndOfFile());
    EXPECT_EQ(loader.TotalFramesRead(), 2);

    ASSERT_EQ(loaded.Frames.size(), 2u);
    const tRawFrame& f1 = loaded.Frames[0];
    EXPECT_EQ(FrameBytes(f1), Counting(60));
    EXPECT_EQ(f1.WireSize(), 60u);
    EXPECT_EQ(f1.FrameFileType(), tftPCAPngEnhanced);
    EXPECT_EQ(f1.FilePosition().FileIndex, 3);
    EXPECT_EQ(f1.FileFrameID(), 1u);
    EXPECT_EQ(f1.FileOffset(), static_cast<int64_t>(firstOffset));
    EXPECT_EQ(f1.LinkType(), 1u);
    EXPECT_EQ(f1.InterfaceID(), 0u);
    ASSERT_EQ(loader.CaptureInterfaces().GetCount(), 1);
    EXPECT_EQ(f1.InterfaceLinkID(), loader.CaptureInterfaces()[0].PacketLinkID());
    EXPECT_EQ(TimeText(f1), "2020-02-15 12:07:01.000+250000000");
    EXPECT_EQ(loaded.Frames[1].FileFrameID(), 2u);
    EXPECT_EQ(FrameBytes(loaded.Frames[1]), Counting(61, 9));
    EXPECT_EQ(TimeText(loaded.Frames[1]), "2020-02-15 12:07:01.000+500001000");
}

TEST_F(PcapngLoaderTest, NumbersInterfacesOverSections) {
    tPcapngBuilder b;
    b.SHB().IDB(1).EPB(0, Feb15 * 1'000'000, Counting(60));
    b.SHB({{1, TextBytes("second section")}}).IDB(105).EPB(0, Feb15 * 1'000'000, Counting(70));
    tLoaded loaded = ReadAll(dir.Write("two.pcapng", b.bytes));

    const tPCAPNGLoader& loader = *loaded.Loader;
    EXPECT_EQ(loader.SectionCount(), 2);
    EXPECT_EQ(loader.InterfaceModifier(), 1);
    ASSERT_EQ(loader.CaptureInterfaces().GetCount(), 2);
    EXPECT_EQ(loader.CaptureInterfaces()[1].Index(), 1);
    EXPECT_EQ(loader.CaptureInterfaces()[1].OriginalIndex(), 0);
    EXPECT_EQ(loaded.Loader->HeaderComments(), std::vector<std::string>{"second section"});
    ASSERT_EQ(loaded.Frames.size(), 2u);
    EXPECT_EQ(loaded.Frames[0].LinkType(), 1u);
    // The second section's interface 0 is the file's interface 1.
    EXPECT_EQ(loaded.Frames[1].LinkType(), 105u);
    EXPECT_EQ(loaded.Frames[1].InterfaceID(), 0u);
    EXPECT_EQ(loaded.Frames[1].InterfaceLinkID(), loader.CaptureInterfaces()[1].PacketLinkID());
    EXPECT_TRUE(HasMessage(loader, "found additional Section Block Header at offset " +
                                       std::to_string(loaded.Frames[0].FileOffset() + 92)));
}

TEST_F(PcapngLoaderTest, ReadsEveryInterfaceOption) {
    tPcapngBuilder b;
    b.SHB();
    b.IDB(127, 1500,
          {{2, TextBytes("eth0")},
           {3, TextBytes("uplink port")},
           {4, {192, 168, 1, 7, 255, 255, 255, 0}},
           {5, {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 64}},
           {6, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}},
           {7, {1, 2, 3, 4, 5, 6, 7, 8}},
           {8, b.U64Value(10'000'000'000)},
           {9, {9}},
           {10, b.U32Value(3600)},
           {11, {0, 't', 'c', 'p'}},
           {12, TextBytes("FreeBSD")},
           {13, {4}},
           {14, b.U64Value(1000)},
           {1, TextBytes("comments are not kept")}});
    b.IDB(1, 65535, {{11, {1, 0x28, 0x00}}});
    auto loader = Open(dir.Write("idb.pcapng", b.bytes));

    ASSERT_EQ(loader->CaptureInterfaces().GetCount(), 2);
    const tCaptureInterface& ci = loader->CaptureInterfaces()[0];
    EXPECT_EQ(ci.Name(), "eth0");
    EXPECT_EQ(ci.Description(), "uplink port");
    EXPECT_EQ(ci.LinkType(), 127u);
    EXPECT_EQ(ci.SnapLength(), 1500u);
    EXPECT_EQ(ci.Origin(), ioFromFile);
    auto& v4 = loader->CaptureInterfaces()[0].IPv4AddressList();
    ASSERT_EQ(v4.size(), 1u);
    EXPECT_EQ(v4[0].Address, (std::array<uint8_t, 4>{192, 168, 1, 7}));
    EXPECT_EQ(v4[0].Netmask, (std::array<uint8_t, 4>{255, 255, 255, 0}));
    auto& v6 = loader->CaptureInterfaces()[0].IPv6AddressList();
    ASSERT_EQ(v6.size(), 1u);
    EXPECT_EQ(v6[0].Address[1], 0x01);
    EXPECT_EQ(v6[0].Address[15], 1);
    EXPECT_EQ(v6[0].PrefixLength, 64);
    EXPECT_EQ(ci.MACAddress(), (std::array<uint8_t, 6>{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
    EXPECT_EQ(ci.EUIAddress(), (std::array<uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(ci.SpeedBPS(), 10'000'000'000u);
    EXPECT_EQ(ci.TimeStampResolution(), 9);
    EXPECT_EQ(ci.Timezone(), 3600u);
    EXPECT_EQ(ci.CaptureFilter().FilterType, cftLibPCAP);
    EXPECT_EQ(ci.CaptureFilter().FilterString, "tcp");
    EXPECT_EQ(ci.OperatingSystem(), "FreeBSD");
    EXPECT_EQ(ci.FCSLength(), 4);
    EXPECT_EQ(ci.TimestampOffset(), 1000);
    EXPECT_EQ(loader->InterfaceResolutions().Get(0), 9);

    const tCaptureInterface& second = loader->CaptureInterfaces()[1];
    EXPECT_EQ(second.Index(), 1);
    EXPECT_EQ(second.TimeStampResolution(), 6);
    EXPECT_EQ(second.CaptureFilter().FilterType, cftBPFByteCode);
    EXPECT_EQ(second.CaptureFilter().FilterString, std::string("\x28\x00", 2));
    EXPECT_EQ(loader->SectionInterfaceCount(), 1);
}

TEST_F(PcapngLoaderTest, ReportsAnOptionRunningPastItsBlock) {
    tPcapngBuilder b;
    b.SHB();
    // Name option claims 40 bytes in a block with room for 8.
    std::vector<uint8_t> body = {1, 0, 0, 0, 0xFF, 0xFF, 0, 0, 2, 0, 40, 0, 'e', 't', 'h', '0'};
    b.Block(1, body);
    auto loader = Open(dir.Write("damaged.pcapng", b.bytes));
    ASSERT_EQ(loader->CaptureInterfaces().GetCount(), 1);
    EXPECT_EQ(loader->CaptureInterfaces()[0].Name(), "");
    EXPECT_TRUE(HasMessage(*loader, "Damaged pcapng file, option size is longer than the option block (Option Code #2)"));
}

struct tTimingCase {
    uint8_t Resolution;
    uint64_t Timestamp;
    const char* Expected;  // date-time text + "+" + nanoseconds
};

TEST_F(PcapngLoaderTest, ConvertsTimeStampsOfEveryResolution) {
    const std::vector<tTimingCase> cases = {
        {6, Feb15 * 1'000'000 + 123'456, "2020-02-15 12:07:01.000+123456000"},
        {9, 1'581'768'421'123'456'789, "2020-02-15 12:07:01.000+123456789"},
        {3, Feb15 * 1000 + 999, "2020-02-15 12:07:01.000+999000000"},
        {0, Feb15, "2020-02-15 12:07:01.000+0"},
        // 2^-6 seconds: 17/64 s = 0.265625 s.
        {0x86, (Feb15 << 6) + 17, "2020-02-15 12:07:01.000+265625000"},
        // 2^-30 seconds: one tick is 0.931 ns.
        {0x9E, (Feb15 << 30) + 3, "2020-02-15 12:07:01.000+2"},
        {6, 0, "1970-01-01+0"},
    };
    tPCAPNGLoader loader("none.pcapng", 0, true);
    for (const tTimingCase& c : cases) {
        const tTimingDetails timing = loader.getPCAPNGTiming(c.Resolution, c.Timestamp);
        tWireDetails wire;
        tRawFrame frame(timing, wire, tFileFrameLocation{}, {}, true);
        EXPECT_EQ(TimeText(frame), c.Expected) << int(c.Resolution);
    }
    EXPECT_THROW(
        {
            try {
                loader.getPCAPNGTiming(5, 1);
            } catch (const tInOutError& e) {
                EXPECT_STREQ(e.what(),
                             "Error: Unknown timestamp resolution encountered (PCAPNGLoader.readEnhancedPacketBlock).");
                throw;
            }
        },
        tInOutError);
    EXPECT_THROW(
        {
            try {
                loader.getPCAPNGTiming(0, ~uint64_t{0});
            } catch (const tInOutError& e) {
                EXPECT_STREQ(e.what(),
                             "Error: cannot convert UnixToDateTime for 18446744073709551615 units  "
                             "(PCAPNGLoader.getPCAPNGTiming).");
                throw;
            }
        },
        tInOutError);
}

TEST_F(PcapngLoaderTest, FrameTimesFollowTheZoneTheDeltaAndKeepUTC) {
    tPcapngBuilder b;
    b.SHB().IDB(1, 65535, {{9, {9}}}).EPB(0, 1'581'768'421'123'456'789, Counting(60));
    const std::string path = dir.Write("zone.pcapng", b.bytes);
    {
        tZoneScope zone("Asia/Kolkata");
        EXPECT_EQ(TimeText(ReadAll(path).Frames.at(0)), "2020-02-15 17:37:01.000+123456789");
        tPCAPNGLoader keep(path, 0, true);
        keep.SetKeepUTCTime(true);
        keep.openFile();
        keep.readTraceFileheader();
        keep.readBatchFromDisk();
        ASSERT_EQ(keep.FramesAvailable(), 1);
        EXPECT_EQ(TimeText(keep.FrameAt(1)), "2020-02-15 12:07:01.000+123456789");
    }
    tPCAPNGLoader delta(path, 0, true);
    delta.SetUTCDelta(-13);
    delta.openFile();
    delta.readTraceFileheader();
    delta.readBatchFromDisk();
    ASSERT_EQ(delta.FramesAvailable(), 1);
    EXPECT_EQ(TimeText(delta.FrameAt(1)), "2020-02-14 23:07:01.000+123456789");
}

TEST_F(PcapngLoaderTest, UnknownResolutionLeavesZeroTimes) {
    tPcapngBuilder b;
    b.SHB().IDB(1, 65535, {{9, {5}}}).EPB(0, Feb15, Counting(60));
    tLoaded loaded = ReadAll(dir.Write("res5.pcapng", b.bytes));
    ASSERT_EQ(loaded.Frames.size(), 1u);
    EXPECT_EQ(TimeText(loaded.Frames[0]), "1899-12-30+0");
}

TEST_F(PcapngLoaderTest, ReadsEnhancedPacketOptions) {
    tPcapngBuilder b;
    b.SHB().IDB();
    std::vector<uint8_t> hash = {2, 1, 2, 3, 4};
    b.EPB(0, Feb15 * 1'000'000, Counting(64),
          {{1, TextBytes("look here")},
           {1, TextBytes("and here")},
           {2, b.U32Value(0x01000002)},
           {3, hash},
           {4, b.U64Value(77)}});
    b.EPB(0, Feb15 * 1'000'000, Counting(64));
    tLoaded loaded = ReadAll(dir.Write("opts.pcapng", b.bytes));
    ASSERT_EQ(loaded.Frames.size(), 2u);
    const tRawFrame& f = loaded.Frames[0];
    EXPECT_EQ(f.Commentlist(), (std::vector<std::string>{"look here", "and here"}));
    EXPECT_TRUE(f.FrameFlags().Present);
    EXPECT_EQ(f.FrameFlags().Value, 0x01000002u);
    EXPECT_EQ(f.DropCount(), 77u);
    EXPECT_TRUE(HasMessage(*loaded.Loader, "enhanced packet hash option found in frame #1 - cannot parse option"));
    EXPECT_TRUE(loaded.Frames[1].Commentlist().empty());
    EXPECT_FALSE(loaded.Frames[1].FrameFlags().Present);
    EXPECT_EQ(loaded.Frames[1].DropCount(), 0u);
}

TEST_F(PcapngLoaderTest, ChecksEnhancedPacketHeaders) {
    tPcapngBuilder b;
    b.SHB().IDB();
    // Sliced frame: 100 of 1514 bytes in a 132-byte block.
    b.EPB(0, 0, Counting(100), {}, 100, 1514);
    // Captured more than on the wire.
    b.EPB(0, 0, Counting(80), {}, 80, 70);
    // A short frame.
    b.EPB(0, 0, Counting(42));
    // An option that runs past the block.
    std::vector<uint8_t> body = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 60, 0, 0, 0, 1, 2, 3, 4,
                                 1, 0, 99, 0};
    b.Block(6, body);
    tLoaded loaded = ReadAll(dir.Write("checks.pcapng", b.bytes));
    ASSERT_EQ(loaded.Frames.size(), 4u);
    EXPECT_EQ(loaded.Frames[0].FrameSize(), 100u);
    EXPECT_EQ(loaded.Frames[0].WireSize(), 1514u);
    EXPECT_EQ(loaded.Frames[1].FrameSize(), 70u);
    EXPECT_EQ(FrameBytes(loaded.Frames[1]), Counting(70));
    const tTraceLoader& loader = *loaded.Loader;
    for (const char* text : {
             "invalid header values found in frame #1 - total length shorter than packet length",
             "Fixing bad Capture size of 80 bytes larger than wire size (70 bytes) detected for frame #2",
             "Bad Wiresize of 42 bytes detected for frame #3",
             "Damaged pcapng file, option size is longer than the option block (Option Code #1) for enhanced "
             "frame #4",
         })
        EXPECT_TRUE(HasMessage(loader, text)) << text;

    tPCAPNGLoader strict(loaded.Loader->Filename(), 0, true);
    strict.SetFixLoadErrors(false);
    strict.openFile();
    strict.readTraceFileheader();
    strict.readBatchFromDisk();
    ASSERT_EQ(strict.FramesAvailable(), 4);
    EXPECT_EQ(strict.FrameAt(2).FrameSize(), 80u);
    EXPECT_TRUE(HasMessage(strict, "Bad Capture size of 80 bytes larger than wire size (70 bytes) detected for frame #2"));
}

TEST_F(PcapngLoaderTest, UnknownInterfaceFallsBackToTheFirst) {
    tPcapngBuilder b;
    b.SHB().IDB(113).EPB(5, 0, Counting(60));
    tLoaded loaded = ReadAll(dir.Write("if5.pcapng", b.bytes));
    ASSERT_EQ(loaded.Frames.size(), 1u);
    EXPECT_EQ(loaded.Frames[0].LinkType(), 113u);
    EXPECT_EQ(loaded.Frames[0].InterfaceID(), 5u);
    EXPECT_TRUE(HasMessage(*loaded.Loader, "Index 5 points to unknown interface in frame #1, using first interface instead"));

    tPcapngBuilder none;
    none.SHB().EPB(0, 0, Counting(60)).EPB(0, 0, Counting(60));
    tLoaded without = ReadAll(dir.Write("noif.pcapng", none.bytes));
    EXPECT_TRUE(without.Frames.empty());
    EXPECT_TRUE(HasMessage(*without.Loader,
                           "Index 0 points to unknown interface in frame #1, cannot read Enhanced Packet Block"));
    EXPECT_TRUE(without.Loader->EndOfFile());
}

TEST_F(PcapngLoaderTest, ReadsSimpleAndObsoletePacketBlocks) {
    tPcapngBuilder b;
    b.SHB().IDB(1, 65535, {{9, {3}}});
    b.SPB(Counting(60));
    // A simple packet cut to 64 bytes of 1514 by the snapshot length.
    b.SPB(Counting(64), 1514);
    b.PB(0, 3, Feb15 * 1000 + 5, Counting(62));
    b.PB(0, 0xFFFF, Feb15 * 1000, Counting(62), {{1, TextBytes("ignored")}});
    tLoaded loaded = ReadAll(dir.Write("spb.pcapng", b.bytes));
    ASSERT_EQ(loaded.Frames.size(), 4u);

    const tRawFrame& s = loaded.Frames[0];
    EXPECT_EQ(s.FrameFileType(), tftPCAPngSimple);
    EXPECT_EQ(FrameBytes(s), Counting(60));
    EXPECT_EQ(s.WireSize(), 60u);
    EXPECT_EQ(TimeText(s), "1899-12-30+0");
    EXPECT_EQ(s.LinkType(), 1u);
    EXPECT_EQ(loaded.Frames[1].FrameSize(), 64u);
    EXPECT_EQ(loaded.Frames[1].WireSize(), 1514u);
    EXPECT_EQ(FrameBytes(loaded.Frames[1]), Counting(64));

    const tRawFrame& p = loaded.Frames[2];
    EXPECT_EQ(p.FrameFileType(), tftPCAPngDeprecated);
    EXPECT_EQ(FrameBytes(p), Counting(62));
    EXPECT_EQ(p.DropCount(), 3u);
    EXPECT_EQ(TimeText(p), "2020-02-15 12:07:01.000+5000000");
    EXPECT_EQ(loaded.Frames[3].DropCount(), 0u);
    EXPECT_EQ(loaded.Loader->TotalFramesDropped(), 3);
    EXPECT_TRUE(HasMessage(*loaded.Loader, "options encountered but not parsed in frame #4"));
}

TEST_F(PcapngLoaderTest, ObsoletePacketOfAMissingInterfaceIsPassedOver) {
    tPcapngBuilder b;
    b.SHB().IDB().PB(4, 0, 0, Counting(60)).EPB(0, 0, Counting(61));
    tLoaded loaded = ReadAll(dir.Write("pb4.pcapng", b.bytes));
    ASSERT_EQ(loaded.Frames.size(), 1u);
    EXPECT_EQ(loaded.Frames[0].FrameSize(), 61u);
    EXPECT_EQ(loaded.Frames[0].FileFrameID(), 1u);
    EXPECT_TRUE(HasMessage(*loaded.Loader, "Index 4 points to unknown interface in frame #1, cannot read Packet Block"));
}

std::vector<uint8_t> NameRecordV4(std::array<uint8_t, 4> address, std::string_view name) {
    std::vector<uint8_t> value(address.begin(), address.end());
    for (char c : name) value.push_back(static_cast<uint8_t>(c));
    value.push_back(0);
    return value;
}

TEST_F(PcapngLoaderTest, ReadsNameResolutionBlocks) {
    std::vector<uint8_t> v6 = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    for (char c : std::string_view("six.example")) v6.push_back(static_cast<uint8_t>(c));
    v6.push_back(0);
    tPcapngBuilder b;
    b.SHB().IDB();
    b.NRB({{1, NameRecordV4({192, 168, 0, 1}, "router.example")}, {2, v6}, {7, {1, 2, 3}}});
    b.EPB(0, 0, Counting(60));
    // Between packets the block is read and its entries are dropped.
    b.NRB({{1, NameRecordV4({10, 0, 0, 1}, "later.example")}});
    b.EPB(0, 0, Counting(60));
    tLoaded loaded = ReadAll(dir.Write("nrb.pcapng", b.bytes));
    EXPECT_EQ(loaded.Frames.size(), 2u);
    const auto& names4 = loaded.Loader->NameResolutionManagerIPv4();
    const auto& names6 = loaded.Loader->NameResolutionManagerIPv6();
    ASSERT_EQ(names4.count(), 1);
    EXPECT_EQ(names4.GetEntry(1).IPv4Address.ValueAsString(), "192.168.0.1");
    EXPECT_EQ(names4.GetEntry(1).IPv4Address.MaskBitCount, 32);
    EXPECT_EQ(names4.GetEntry(1).FQDN, "router.example");
    ASSERT_EQ(names6.count(), 1);
    EXPECT_EQ(names6.GetEntry(1).IPv6Address.ValueAsString(), "2001:db8::1");
    EXPECT_EQ(names6.GetEntry(1).IPv6Address.MaskBitCount, 128);
    EXPECT_EQ(names6.GetEntry(1).FQDN, "six.example");
}

TEST_F(PcapngLoaderTest, NameResolutionBlockWithOptionsIsAnError) {
    tPcapngBuilder b;
    b.SHB().IDB();
    b.NRB({{1, NameRecordV4({192, 168, 0, 1}, "a")}}, {{2, TextBytes("dns.example")}});
    tPCAPNGLoader loader(dir.Write("nrbopt.pcapng", b.bytes), 0, true);
    loader.openFile();
    try {
        loader.readTraceFileheader();
        FAIL() << "no error";
    } catch (const tInOutError& e) {
        EXPECT_STREQ(e.what(),
                     "PCAP-ng file has unparsed options in Name Resolution Header Block "
                     "(PCAPNGLoader.readNameResolutionBlockHeader).");
    }
}

TEST_F(PcapngLoaderTest, AttachesInterfaceStatistics) {
    tPcapngBuilder b;
    b.SHB().IDB().IDB(1, 65535, {{9, {3}}});
    b.EPB(0, 0, Counting(60));
    b.ISB(0, Feb15 * 1'000'000 + 7,
          {{1, TextBytes("counters")},
           {2, b.U64Value(((Feb15 * 1'000'000) >> 32 << 32) | ((Feb15 * 1'000'000) & 0xFFFFFFFF))},
           {3, b.U64Value(0)},
           {4, b.U64Value(1000)},
           {5, b.U64Value(2)},
           {6, b.U64Value(900)},
           {7, b.U64Value(3)},
           {8, b.U64Value(897)}});
    // Interface 1 counts milliseconds.
    b.ISB(1, Feb15 * 1000 + 5);
    // No such interface in this file.
    b.ISB(9, 0);
    b.EPB(1, 0, Counting(60));
    tLoaded loaded = ReadAll(dir.Write("isb.pcapng", b.bytes));
    ASSERT_EQ(loaded.Frames.size(), 2u);
    const tCaptureInterfaceList& list = loaded.Loader->CaptureInterfaces();
    ASSERT_EQ(list[0].InterfaceStatistics().Count(), 1);
    const tStatisticsRecord& r = list[0].InterfaceStatistics()[0];
    EXPECT_EQ(r.priv_interfaceID, 0u);
    EXPECT_EQ(r.priv_comment, "counters");
    EXPECT_EQ(r.priv_packetsreceived, 1000u);
    EXPECT_EQ(r.priv_packetsdropped, 2u);
    EXPECT_EQ(r.priv_filteraccepted, 900u);
    EXPECT_EQ(r.priv_osdropped, 3u);
    EXPECT_EQ(r.priv_usrdelivered, 897u);
    EXPECT_EQ(DateTimeToDBText(r.priv_referencetime.AbsoluteTime), "2020-02-15 12:07:01.000");
    EXPECT_EQ(r.priv_referencetime.TraceTicks, (12 * 3600 + 7 * 60 + 1) * int64_t{1'000'000} + 7);
    EXPECT_EQ(DateTimeToDBText(r.priv_starttime.AbsoluteTime), "2020-02-15 12:07:01.000");
    EXPECT_EQ(DateTimeToDBText(r.priv_endtime.AbsoluteTime), "1970-01-01");

    ASSERT_EQ(list[1].InterfaceStatistics().Count(), 1);
    const tStatisticsRecord& ms = list[1].InterfaceStatistics()[0];
    EXPECT_EQ(ms.priv_referencetime.TraceTicks, (12 * 3600 + 7 * 60 + 1) * int64_t{1'000'000} + 5000);
    EXPECT_TRUE(HasMessage(*loaded.Loader, "Index 9 of interface statistics at offset " +
                                               std::to_string(loaded.Frames[1].FileOffset() - 24) +
                                               " points to unknown interface, block ignored"));
}

TEST_F(PcapngLoaderTest, KeepsDecryptionSecretsAndReadsOn) {
    std::string keylog(120, 'k');
    keylog.replace(0, 13, "CLIENT_RANDOM");
    tPcapngBuilder b;
    b.SHB().IDB().EPB(0, 0, Counting(60)).DSB(0x544C534B, keylog).DSB(0x57474B4C, "wg").DSB(0x1234, "x");
    b.EPB(0, 0, Counting(61));
    tLoaded loaded = ReadAll(dir.Write("dsb.pcapng", b.bytes));
    EXPECT_EQ(loaded.Frames.size(), 2u);
    EXPECT_EQ(loaded.BatchSizes, std::vector<int32_t>{2});
    ASSERT_EQ(loaded.Loader->SecretsCount(), 3);
    EXPECT_EQ(loaded.Loader->getSecretsRecord(1).SecretsType, pngstTLS);
    EXPECT_EQ(loaded.Loader->getSecretsRecord(1).KeyLogFile, keylog);
    EXPECT_EQ(loaded.Loader->getSecretsRecord(2).SecretsType, pngstWireGuard);
    EXPECT_EQ(loaded.Loader->getSecretsRecord(2).KeyLogFile, "wg");
    EXPECT_EQ(loaded.Loader->getSecretsRecord(3).SecretsType, pngstUnknown);
}

TEST_F(PcapngLoaderTest, PassesOverUncommonAndUnknownBlocksBeforeThePackets) {
    tPcapngBuilder b;
    b.SHB();
    const size_t uncommonAt = b.Size();
    b.Block(0x204, {1, 2, 3, 4});
    const size_t unknownAt = b.Size();
    b.Block(0x0BAD, {});
    b.IDB().EPB(0, 0, Counting(60));
    tLoaded loaded = ReadAll(dir.Write("uncommon.pcapng", b.bytes));
    EXPECT_EQ(loaded.Frames.size(), 1u);
    EXPECT_TRUE(HasMessage(*loaded.Loader, "Uncommon BlockType \"BLOCKTYPE_SYSDIG_EVENT\" found at offset " +
                                               std::to_string(uncommonAt)));
    EXPECT_TRUE(
        HasMessage(*loaded.Loader, "Unknown BlockType $00000BAD found at offset " + std::to_string(unknownAt)));
}

TEST_F(PcapngLoaderTest, TenthUnknownBlockInARowIsAnAssertion) {
    for (int count : {9, 10}) {
        tPcapngBuilder b;
        b.SHB();
        for (int i = 0; i < count; ++i) b.Block(0x7000 + i, {});
        b.IDB().EPB(0, 0, Counting(60));
        const std::string path = dir.Write("unknown.pcapng", b.bytes);
        if (count == 9) {
            tLoaded loaded = ReadAll(path);
            EXPECT_EQ(loaded.Frames.size(), 1u);
        } else {
            tPCAPNGLoader loader(path, 0, true);
            loader.openFile();
            try {
                loader.readTraceFileheader();
                FAIL() << "no error";
            } catch (const tAssertionError& e) {
                EXPECT_STREQ(e.what(), "Assertion failure");
            }
        }
    }
}

TEST_F(PcapngLoaderTest, UnhandledBlockAfterThePacketsEndsTheScanAfterItsFrames) {
    tPcapngBuilder b;
    b.SHB().IDB().EPB(0, 0, Counting(60)).Block(0x0BAD, {1, 2, 3, 4}).EPB(0, 0, Counting(60));
    auto loader = Open(dir.Write("custom.pcapng", b.bytes));
    loader->readBatchFromDisk();
    EXPECT_EQ(loader->FramesAvailable(), 1);
    try {
        loader->readBatchFromDisk();
        FAIL() << "no error";
    } catch (const tInOutError& e) {
        EXPECT_STREQ(e.what(), "Warning: found unhandled blocktype 2989, cannot process.");
    }
}

TEST_F(PcapngLoaderTest, TinyFileIsIncomplete) {
    tPcapngBuilder b;
    b.SHB();
    b.bytes.resize(23);
    auto loader = Open(dir.Write("tiny.pcapng", b.bytes));
    EXPECT_EQ(loader->Status(), lsIncompleteFile);
    EXPECT_TRUE(HasMessage(*loader, "incomplete pcapng file, cannot read Section Block Header"));
    try {
        loader->readBatchFromDisk();
        FAIL() << "no error";
    } catch (const tInOutError& e) {
        EXPECT_STREQ(e.what(), "Error: invalid file offset - file header not read? (PCAPNGLoader.readbatchfromdisk).");
    }
}

struct tTruncationCase {
    size_t CutBytes;  // taken off the end of the file
    size_t Frames;
    const char* Message;
};

TEST_F(PcapngLoaderTest, TruncatedFilesKeepTheFramesBefore) {
    tPcapngBuilder b;
    b.SHB().IDB().EPB(0, 0, Counting(60)).EPB(0, 0, Counting(60));
    const std::vector<tTruncationCase> cases = {
        {10, 1, "incomplete pcapng file, cannot read Enhanced Packet Block"},
        {92 - 20, 1, "incomplete pcapng file, cannot read Enhanced Packet Block"},
        {92 - 2, 1, "Error: unexpected end of file (PCAPNGLoader.readbatchfromdisk)."},
    };
    for (const tTruncationCase& c : cases) {
        std::vector<uint8_t> bytes = b.bytes;
        bytes.resize(bytes.size() - c.CutBytes);
        tLoaded loaded = ReadAll(dir.Write("cut.pcapng", bytes));
        EXPECT_EQ(loaded.Frames.size(), c.Frames) << c.CutBytes;
        EXPECT_EQ(loaded.Loader->Status(), lsIncompleteFile) << c.CutBytes;
        EXPECT_TRUE(HasMessage(*loaded.Loader, c.Message)) << c.CutBytes;
    }
}

// A file cut inside the header of a following section: the block cannot be framed, so
// the file ends there (this used to loop forever, adding a message on every pass).
TEST_F(PcapngLoaderTest, FileCutInsideASectionHeaderTypeEnds) {
    for (const std::vector<uint8_t>& tail :
         {std::vector<uint8_t>{0x0A, 0x0D, 0x0D, 0x0A}, std::vector<uint8_t>{0x0A, 0x0D, 0x0D, 0x0A, 0x00},
          std::vector<uint8_t>{0x0A, 0x0D, 0x0D, 0x0A, 0x1C, 0x00, 0x00}}) {
        tPcapngBuilder b;
        b.SHB().IDB().EPB(0, 0, Counting(60));
        b.bytes.insert(b.bytes.end(), tail.begin(), tail.end());
        tLoaded loaded = ReadAll(dir.Write("cutshb.pcapng", b.bytes));
        EXPECT_EQ(loaded.Frames.size(), 1u) << tail.size();
        EXPECT_EQ(loaded.Loader->Status(), lsIncompleteFile) << tail.size();
        EXPECT_TRUE(loaded.Loader->EndOfFile()) << tail.size();
        EXPECT_LT(loaded.Loader->MessageCount(), 5) << tail.size();
    }
}

TEST_F(PcapngLoaderTest, BlockRunningPastTheEndBeforeThePacketsEndsTheFile) {
    tPcapngBuilder b;
    b.SHB().IDB();
    const size_t at = b.Size();
    b.Block(0x204, std::vector<uint8_t>(40, 7));
    b.bytes.resize(b.bytes.size() - 8);
    tLoaded loaded = ReadAll(dir.Write("pastend.pcapng", b.bytes));
    EXPECT_TRUE(loaded.Frames.empty());
    EXPECT_EQ(loaded.Loader->Status(), lsIncompleteFile);
    EXPECT_EQ(loaded.Loader->Position(), loaded.Loader->Filesize());
    EXPECT_TRUE(HasMessage(*loaded.Loader, "incomplete pcapng file, block at offset " + std::to_string(at) +
                                               " runs past the end of the file"));
}

TEST_F(PcapngLoaderTest, ZeroBlockLengthEndsTheFile) {
    tPcapngBuilder b;
    b.SHB().IDB().EPB(0, 0, Counting(60));
    const size_t at = b.Size();
    b.Block(6, std::vector<uint8_t>(40, 0));
    b.bytes[at + 4] = 0;  // total length 0
    tLoaded loaded = ReadAll(dir.Write("zero.pcapng", b.bytes));
    EXPECT_EQ(loaded.Frames.size(), 1u);
    EXPECT_EQ(loaded.Loader->Status(), lsGeneralError);
    EXPECT_TRUE(HasMessage(*loaded.Loader,
                           "Damaged pcapng file, invalid block length 0 found at offset " + std::to_string(at)));
}

TEST_F(PcapngLoaderTest, DecodesBigEndianSections) {
    auto build = [](bool big) {
        tPcapngBuilder b;
        b.SHB({{4, TextBytes("writer")}}, big).IDB(1, 65535, {{9, {9}}});
        b.EPB(0, 1'581'768'421'123'456'789, Counting(60), {{2, b.U32Value(3)}});
        b.SPB(Counting(61));
        b.ISB(0, 1, {{4, b.U64Value(5)}});
        b.EPB(0, 1'581'768'421'000'000'001, Counting(62));
        return b.bytes;
    };
    tLoaded little = ReadAll(dir.Write("le.pcapng", build(false)));
    tLoaded big = ReadAll(dir.Write("be.pcapng", build(true)));
    EXPECT_TRUE(big.Loader->ByteSwappedFile());
    EXPECT_EQ(big.Loader->ByteOrderMagic(), 0x4D3C2B1Au);
    EXPECT_EQ(big.Loader->Userapplication(), std::vector<std::string>{"writer"});
    EXPECT_EQ(big.Loader->MessageCount(), little.Loader->MessageCount());
    ASSERT_EQ(big.Frames.size(), 3u);
    ASSERT_EQ(little.Frames.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(FrameBytes(big.Frames[i]), FrameBytes(little.Frames[i]));
        EXPECT_EQ(TimeText(big.Frames[i]), TimeText(little.Frames[i]));
        EXPECT_EQ(big.Frames[i].WireSize(), little.Frames[i].WireSize());
    }
    EXPECT_EQ(TimeText(big.Frames[0]), "2020-02-15 12:07:01.000+123456789");
    EXPECT_EQ(big.Frames[0].FrameFlags().Value, 3u);
    ASSERT_EQ(big.Loader->CaptureInterfaces()[0].InterfaceStatistics().Count(), 1);
    EXPECT_EQ(big.Loader->CaptureInterfaces()[0].InterfaceStatistics()[0].priv_packetsreceived, 5u);
}

TEST_F(PcapngLoaderTest, SkipsSectionsOfUnknownVersionOrMagic) {
    tPcapngBuilder b;
    b.SHB({}, false, 2, 0).IDB().EPB(0, 0, Counting(60));
    b.SHB({}, false, 1, 0, 0x11223344).IDB().EPB(0, 0, Counting(60));
    b.SHB().IDB(105).EPB(0, 0, Counting(64));
    tLoaded loaded = ReadAll(dir.Write("skip.pcapng", b.bytes));
    ASSERT_EQ(loaded.Frames.size(), 1u);
    EXPECT_EQ(loaded.Frames[0].FrameSize(), 64u);
    EXPECT_EQ(loaded.Frames[0].LinkType(), 105u);
    EXPECT_EQ(loaded.Loader->CaptureInterfaces().GetCount(), 1);
    EXPECT_TRUE(HasMessage(*loaded.Loader, "Unknown PCAP-ng SHB version encoutered: 2.0, skipping section"));
    EXPECT_TRUE(HasMessage(*loaded.Loader,
                           "Unknown PCAP-ng ByteOrderMagic value encountered: 287454020, skipping section"));
}

TEST_F(PcapngLoaderTest, HonoursTheBatchBound) {
    tPcapngBuilder b;
    b.SHB().IDB();
    for (int i = 0; i < 7; ++i) b.EPB(0, 0, Counting(60, static_cast<uint8_t>(i)));
    tLoaded loaded = ReadAll(dir.Write("batches.pcapng", b.bytes), 3);
    EXPECT_EQ(loaded.BatchSizes, (std::vector<int32_t>{3, 3, 1}));
    ASSERT_EQ(loaded.Frames.size(), 7u);
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(loaded.Frames[i].FileFrameID(), i + 1);
        EXPECT_EQ(loaded.Frames[i].getByte(0), i);
    }
}

TEST_F(PcapngLoaderTest, ReadsSingleFramesByNumberOffsetAndFromTheEnd) {
    tPcapngBuilder b;
    b.SHB().IDB(1);
    b.EPB(0, 0, Counting(60, 1));
    b.SHB().IDB(105);
    const size_t secondAt = b.Size();
    b.EPB(0, 0, Counting(60, 2));
    b.SPB(Counting(60, 3));
    b.ISB(0, 0);
    auto loader = Open(dir.Write("single.pcapng", b.bytes));
    while (true) {
        loader->readBatchFromDisk();
        if (loader->FramesAvailable() == 0) break;
    }
    std::optional<tRawFrame> second = loader->readSingleFrameFromDisk(2);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->getByte(0), 2);
    EXPECT_EQ(second->LinkType(), 105u);
    std::optional<tRawFrame> first = loader->readSingleFrameFromDisk(1);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->LinkType(), 1u);
    EXPECT_EQ(loader->readSingleFrameFromDisk(3)->FrameFileType(), tftPCAPngSimple);
    EXPECT_FALSE(loader->readSingleFrameFromDisk(4).has_value());

    std::optional<tRawFrame> byOffset = loader->readSingleFrameByOffset(static_cast<int64_t>(secondAt), 9);
    ASSERT_TRUE(byOffset.has_value());
    EXPECT_EQ(byOffset->getByte(0), 2);
    EXPECT_EQ(byOffset->FileFrameID(), 9u);
    try {
        loader->readSingleFrameByOffset(0, 1);
        FAIL() << "no error";
    } catch (const tInOutError& e) {
        EXPECT_STREQ(e.what(),
                     "Warning: found unhandled blocktype 168627466, cannot process "
                     "(PCAPNGLoader.readSingleFrameByOffset).");
    }

    std::optional<tRawFrame> last = loader->readLastFrameFromDisk();
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->getByte(0), 2);
    EXPECT_EQ(last->FileFrameID(), 1u);
}

}  // namespace
}  // namespace morwick
