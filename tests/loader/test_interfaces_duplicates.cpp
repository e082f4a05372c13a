#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/errors.h"
#include "loader/duplicates.h"
#include "loader/interfacelist.h"

namespace morwick {
namespace {

TEST(CaptureInterface, StartsWithItsDefaultsAndAFreshGUID) {
    tCaptureInterface a(3, 105, ioFromFile, true);
    tCaptureInterface b(3, 105, ioFromFile, true);
    EXPECT_NE(a.PacketLinkID(), b.PacketLinkID());
    EXPECT_FALSE(a.PacketLinkID().isNull());
    EXPECT_EQ(a.Index(), 3);
    EXPECT_EQ(a.OriginalIndex(), 3);
    EXPECT_EQ(a.LinkType(), 105u);
    EXPECT_EQ(a.SnapLength(), 65535u);
    EXPECT_EQ(a.TimeStampResolution(), 6);
    EXPECT_EQ(a.SpeedBPS(), 0u);
    EXPECT_EQ(a.Timezone(), 0u);
    EXPECT_EQ(a.FCSLength(), 0);
    EXPECT_EQ(a.TimestampOffset(), 0);
    EXPECT_EQ(a.CaptureFilter().FilterType, cftUnknown);
    EXPECT_EQ(a.CaptureFilter().FilterString, "");
    EXPECT_EQ(a.OperatingSystem(), "");
    EXPECT_EQ(a.Origin(), ioFromFile);
    EXPECT_EQ(a.MappedToInterface(), nullptr);
    EXPECT_EQ(a.InterfaceStatistics().Count(), 0);
    EXPECT_TRUE(a.IPv4AddressList().empty());
    EXPECT_EQ(a.MACAddress(), (std::array<uint8_t, 6>{}));

    a.InterfaceStatistics().addEntry(std::make_unique<tStatisticsRecord>(3));
    ASSERT_EQ(a.InterfaceStatistics().Count(), 1);
    EXPECT_EQ(a.InterfaceStatistics()[0].priv_interfaceID, 3u);
    EXPECT_EQ(a.InterfaceStatistics()[0].priv_packetsreceived, 0u);
}

TEST(CaptureFilter, NamesItsType) {
    const std::vector<std::pair<tPCAPNGCaptureFilterType, std::string>> cases = {
        {cftUnknown, "Unknown"}, {cftLibPCAP, "LibPCAP"}, {cftBPFByteCode, "BPFByteCode"}};
    for (const auto& [type, name] : cases) EXPECT_EQ((tPCAPNGCaptureFilter{type, "x"}.FilterTypeName()), name);
}

TEST(CaptureInterfaceList, FilesInterfacesByIndexUpTo255) {
    tCaptureInterfaceList list(true);
    auto* first = &list.Add(std::make_unique<tCaptureInterface>(0, 1, ioFromFile, true));
    auto* last = &list.Add(std::make_unique<tCaptureInterface>(255, 1, ioFromFile, true));
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.getInterfaceByIndex(0), first);
    EXPECT_EQ(list.getInterfaceByIndex(255), last);
    EXPECT_EQ(&list[1], last);
    for (int64_t empty : {1, 254, 256, -1}) EXPECT_EQ(list.getInterfaceByIndex(empty), nullptr) << empty;

    for (int32_t bad : {256, 1000, -1}) {
        try {
            list.Add(std::make_unique<tCaptureInterface>(bad, 1, ioFromFile, true));
            ADD_FAILURE() << bad;
        } catch (const tAssertionError& e) {
            EXPECT_STREQ(e.what(), "Assertion failure");
        }
    }
    EXPECT_THROW(list.Add(nullptr), tAssertionError);
    EXPECT_EQ(list.GetCount(), 2);
}

tRawFrame Frame(uint32_t interfaceID, int64_t ticks, std::vector<uint8_t> bytes) {
    tTimingDetails timing;
    timing.TraceTicks = ticks;
    tWireDetails wire;
    wire.InterfaceID = interfaceID;
    wire.CaptureSize = static_cast<uint32_t>(bytes.size());
    wire.WireSize = wire.CaptureSize;
    return tRawFrame(timing, wire, tFileFrameLocation{}, bytes, true);
}

struct tDupeCase {
    const char* Name;
    tDupeCheckMethod Method;
    std::vector<tRawFrame> Frames;
    std::vector<bool> Duplicate;
};

TEST(DupeChecker, RecognisesRepeatsOfTheSameInterfaceWithinTheWindow) {
    const std::vector<uint8_t> a(64, 0xAA), b(64, 0xBB), c(64, 0xCC), d(64, 0xDD);
    std::vector<tDupeCase> cases;
    auto add = [&](const char* name, tDupeCheckMethod method, std::vector<tRawFrame> frames,
                   std::vector<bool> duplicate) {
        cases.push_back({name, method, std::move(frames), std::move(duplicate)});
    };
    {
        std::vector<tRawFrame> f;
        f.push_back(Frame(0, 1000, a));
        f.push_back(Frame(0, 1500, a));
        add("repeat on interface 0", dcFrameCRC, std::move(f), {false, true});
    }
    {
        std::vector<tRawFrame> f;
        f.push_back(Frame(0, 1000, a));
        f.push_back(Frame(1, 1500, a));
        add("same bytes on another interface", dcFrameCRC, std::move(f), {false, false});
    }
    {
        std::vector<tRawFrame> f;
        f.push_back(Frame(0, 1000, a));
        f.push_back(Frame(0, 2001, a));
        add("repeat after the time window", dcFrameCRC, std::move(f), {false, false});
    }
    {
        std::vector<tRawFrame> f;
        f.push_back(Frame(0, 1000, a));
        f.push_back(Frame(0, 1100, b));
        f.push_back(Frame(0, 1200, c));
        f.push_back(Frame(0, 1300, a));
        add("repeat behind other frames", dcFullFrame, std::move(f), {false, false, false, true});
    }
    {
        std::vector<tRawFrame> f;
        f.push_back(Frame(0, 1000, a));
        f.push_back(Frame(0, 1100, b));
        f.push_back(Frame(0, 1200, c));
        f.push_back(Frame(0, 1250, d));
        f.push_back(Frame(0, 1300, a));
        add("evicted from a history of three", dcFrameCRC, std::move(f), {false, false, false, false, false});
    }
    {
        std::vector<tRawFrame> f;
        f.push_back(Frame(40, 1000, a));
        f.push_back(Frame(40, 1000, a));
        add("interfaces past 31 keep no history", dcFrameCRC, std::move(f), {false, false});
    }
    {
        std::vector<tRawFrame> f;
        f.push_back(Frame(0, 1000, {}));
        f.push_back(Frame(0, 1000, {}));
        add("frames without bytes", dcFrameCRC, std::move(f), {false, false});
    }
    for (const tDupeCase& c : cases) {
        tDupeChecker checker(c.Method, 3, 1000);
        std::vector<bool> found;
        for (const tRawFrame& frame : c.Frames) found.push_back(checker.FrameIsDuplicate(frame));
        EXPECT_EQ(found, c.Duplicate) << c.Name;
    }
}

TEST(DupeChecker, FullFrameModeComparesBytesAndOutlivesTheFrames) {
    tDupeChecker checker(dcFullFrame, 20, 1000);
    {
        tRawFrame first = Frame(2, 10, {1, 2, 3, 4, 5, 6});
        EXPECT_FALSE(checker.FrameIsDuplicate(first));
    }  // the first frame is gone; its bytes stay in the history
    EXPECT_TRUE(checker.FrameIsDuplicate(Frame(2, 20, {1, 2, 3, 4, 5, 6})));
    EXPECT_FALSE(checker.FrameIsDuplicate(Frame(2, 30, {1, 2, 3, 4, 5, 7})));
}

}  // namespace
}  // namespace morwick
