#include "base/rawframe.h"

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include <functional>
#include <numeric>
#include <sstream>
#include <vector>

#include "base/checksums.h"
#include "base/errors.h"
#include "platform/md5.h"

using namespace morwick;

namespace {

using tBytes = std::vector<uint8_t>;

tBytes Sequence(size_t n) {
    tBytes b(n);
    std::iota(b.begin(), b.end(), uint8_t{0});
    return b;
}

tWireDetails Wire(uint32_t captured, uint32_t wire = 0) {
    tWireDetails w;
    w.LinkType = 1;
    w.CaptureSize = captured;
    w.WireSize = wire ? wire : captured;
    w.InterfaceID = 2;
    w.LinkID = tGUID{0x11223344, 0x5566, 0x7788, {1, 2, 3, 4, 5, 6, 7, 8}};
    w.Dropped = 3;
    w.FrameFlags.Value = 0x01000000;
    w.FrameFlags.Present = true;
    w.FrameType = tftPCAPngEnhanced;
    return w;
}

tTimingDetails Timing(tDateTime absolute, int64_t ticks, uint16_t nano = 0) {
    return tTimingDetails{absolute, ticks, nano};
}

const tDateTime Day = tDateTime::Encode(2020, 2, 15, 1, 2, 3);

tRawFrame MakeFrame(const tBytes& bytes, uint32_t captured = 0) {
    return tRawFrame(Timing(Day, 3'723'000'123, 7), Wire(captured ? captured : static_cast<uint32_t>(bytes.size())),
                     tFileFrameLocation{4, 17, 1234}, bytes);
}

// Routes the default logger into a string for the duration of a test.
class tCapturedLog {
public:
    tCapturedLog() : priv_previous(spdlog::default_logger()) {
        auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(priv_text);
        sink->set_pattern("%l %v");
        auto logger = std::make_shared<spdlog::logger>("capture", sink);
        logger->set_level(spdlog::level::debug);
        spdlog::set_default_logger(logger);
    }
    ~tCapturedLog() { spdlog::set_default_logger(priv_previous); }
    std::string text() const { return priv_text.str(); }

private:
    std::shared_ptr<spdlog::logger> priv_previous;
    std::ostringstream priv_text;
};

}  // namespace

TEST(RawFrame, TickSplitting) {
    struct Case { int64_t ticks; tDeltaTickTime parts; };
    const Case cases[] = {
        {3'723'000'123, {0, 1, 2, 3, 123}},
        {86'400'000'000 + 5, {1, 0, 0, 0, 5}},
        {0, {0, 0, 0, 0, 0}},
        {86'399'999'999, {0, 23, 59, 59, 999'999}},
        {3 * 86'400'000'000 + 61'000'001, {3, 0, 1, 1, 1}},
        {-1, {0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitTicks(c.ticks), c.parts) << c.ticks;
}

TEST(RawFrame, TimeStampFromDateAndTicks) {
    struct Case { tDateTime absolute; int64_t ticks; uint16_t nano; tDateTime expected; int32_t ns; };
    const Case cases[] = {
        {Day, 3'723'000'123, 7, tDateTime::Encode(2020, 2, 15, 1, 2, 3), 123'007},
        {Day, 86'400'000'000 + 5, 0, tDateTime::Encode(2020, 2, 16), 5'000},
        {Day, -42, 9, tDateTime::Encode(2020, 2, 15), 9},
        // The time of day of AbsoluteTime is replaced, not added to.
        {tDateTime::Encode(2020, 2, 15, 23, 59, 59, 500), 1'000'000, 0, tDateTime::Encode(2020, 2, 15, 0, 0, 1), 0},
        {tDateTime::Encode(2020, 12, 31, 12), 2 * 86'400'000'000 + 999'999, 999, tDateTime::Encode(2021, 1, 2),
         999'999'999},
    };
    for (const auto& c : cases) {
        const tRawFrame f(Timing(c.absolute, c.ticks, c.nano), Wire(4), tFileFrameLocation{}, Sequence(4));
        EXPECT_EQ(DateTimeToDBText(f.Timestamp().datetime), DateTimeToDBText(c.expected)) << c.ticks;
        EXPECT_EQ(f.Timestamp().nanoseconds, c.ns) << c.ticks;
        EXPECT_EQ(f.Ticks(), c.ticks);
    }
}

TEST(RawFrame, DebugLogLines) {
    tCapturedLog log;
    tRawFrame f(Timing(Day, -5), Wire(4), tFileFrameLocation{}, Sequence(4));
    EXPECT_NE(log.text().find("debug Encountered negative i64Ticks value: -5"), std::string::npos) << log.text();
    EXPECT_EQ(f.TickTime(), tDeltaTickTime{});
    const tFrameTimeStamp later{tDateTime::Encode(2021, 1, 1), 5};
    f.UpdateTimestamp(later);
    EXPECT_EQ(f.Timestamp(), later);
    EXPECT_NE(log.text().find("debug Updating Frametime"), std::string::npos) << log.text();
}

TEST(RawFrame, ConstructionTakesTheRecordDetails) {
    const tBytes bytes = Sequence(60);
    tRawFrame f = MakeFrame(bytes);
    EXPECT_EQ(f.TracefileID(), 4);
    EXPECT_EQ(f.OriginalTracefileID(), 4);
    EXPECT_EQ(f.FileFrameID(), 17u);
    EXPECT_EQ(f.FileOffset(), 1234);
    EXPECT_EQ(f.FilePosition().DictionaryKey(), "4:17:1234");
    EXPECT_EQ(f.LinkType(), 1u);
    EXPECT_EQ(f.FrameSize(), 60u);
    EXPECT_EQ(f.WireSize(), 60u);
    EXPECT_EQ(f.InterfaceID(), 2u);
    EXPECT_EQ(f.InterfaceLinkID().asString(), "{11223344-5566-7788-0102-030405060708}");
    EXPECT_EQ(f.DropCount(), 3u);
    EXPECT_EQ(f.FrameFlags().Value, 0x01000000u);
    EXPECT_EQ(f.FrameFileType(), tftPCAPngEnhanced);
    EXPECT_EQ(f.BufferFlags(), 0);
    EXPECT_TRUE(f.FilterLabel().empty());
    EXPECT_TRUE(f.Commentlist().empty());
    ASSERT_NE(f.Data(), nullptr);
    EXPECT_NE(f.Data(), bytes.data()) << "the frame keeps its own copy";
    EXPECT_TRUE(std::equal(f.Bytes().begin(), f.Bytes().end(), bytes.begin(), bytes.end()));
}

TEST(RawFrame, CapturedBytesAreCutAndPadded) {
    // More than 65,535 captured bytes are cut; a source shorter than the captured size
    // leaves zeros, never reads past the source.
    const tBytes big(70'000, 0xAB);
    const tRawFrame cut = MakeFrame(big, 70'000);
    EXPECT_EQ(cut.FrameSize(), 65'535u);
    EXPECT_EQ(cut.Bytes().size(), 65'535u);
    EXPECT_EQ(cut.getByte(65'534), 0xAB);

    const tBytes shortSource = {1, 2, 3};
    const tRawFrame padded = MakeFrame(shortSource, 8);
    ASSERT_EQ(padded.FrameSize(), 8u);
    EXPECT_EQ(padded.getLongWord(0), 0x00030201u);
    EXPECT_EQ(padded.getLongWord(4), 0u);

    const tRawFrame empty = MakeFrame({}, 0);
    EXPECT_EQ(empty.FrameSize(), 0u);
    EXPECT_EQ(empty.Data(), nullptr);
    EXPECT_TRUE(empty.Bytes().empty());
}

TEST(RawFrame, BoundedReadsAtTheirLimits) {
    const tRawFrame f = MakeFrame(Sequence(60));
    EXPECT_EQ(f.getByte(0), 0);
    EXPECT_EQ(f.getByte(59), 59);
    EXPECT_EQ(f.getWord(58), 0x3B3A);      // bytes 58, 59 little-endian
    EXPECT_EQ(f.getLongWord(56), 0x3B3A3938u);
    EXPECT_EQ(f.getLongWord(0), 0x03020100u);

    struct Bad { const char* routine; int32_t offset; };
    const Bad bad[] = {{"getByte", 60}, {"getByte", -1}, {"getWord", 59}, {"getWord", -1}, {"getWord", 60},
                       {"getLongWord", 57}, {"getLongWord", -4}, {"getLongWord", 0x7FFFFFFF}};
    for (const auto& b : bad) {
        const std::string routine = b.routine;
        try {
            if (routine == "getByte") f.getByte(b.offset);
            if (routine == "getWord") f.getWord(b.offset);
            if (routine == "getLongWord") f.getLongWord(b.offset);
            ADD_FAILURE() << routine << " accepted " << b.offset;
        } catch (const tAssertionError& e) {
            EXPECT_EQ(std::string(e.what()), "Invalid offset " + std::to_string(b.offset) +
                                                 ", frame only has 60 captured bytes (tRawFrame." + routine + ")");
        }
    }
}

TEST(RawFrame, FrameDataAsChunk) {
    const tRawFrame f = MakeFrame(Sequence(60));
    struct Case { int32_t from, length; int32_t expectedLen; uint8_t firstByte; };
    const Case cases[] = {
        {0, 0, 60, 0}, {10, 5, 5, 10}, {55, 10, 5, 55}, {59, 0, 1, 59},
        {60, 0, 0, 0}, {60, 4, 0, 0}, {70, 0, 0, 0}, {-1, 4, 0, 0}, {10, -3, 0, 0},
    };
    for (const auto& c : cases) {
        const tFrameChunk chunk = f.FrameDataAsChunk(c.from, c.length);
        ASSERT_EQ(chunk.Len(), c.expectedLen) << c.from << "," << c.length;
        if (c.expectedLen > 0) {
            EXPECT_EQ(chunk.getByte(0), c.firstByte);
            EXPECT_EQ(chunk.getByte(c.expectedLen - 1), c.firstByte + c.expectedLen - 1);
            EXPECT_NE(chunk.Data(), f.Data() + c.from) << "a chunk holds a copy";
        } else {
            EXPECT_EQ(chunk.Data(), nullptr);
        }
    }
}

TEST(RawFrame, CRC32ComparesWithTheFrameCheckSequence) {
    // An Ethernet frame carries its FCS least significant byte first; read big-endian it
    // equals the frame's CRC32.
    tBytes frame = Sequence(60);
    const uint32_t fcs = CalculateCRC32(frame);
    for (int i = 0; i < 4; ++i) frame.push_back(static_cast<uint8_t>(fcs >> (8 * i)));
    tRawFrame f = MakeFrame(frame);
    const uint32_t trailerBE = static_cast<uint32_t>(frame[60]) << 24 | static_cast<uint32_t>(frame[61]) << 16 |
                               static_cast<uint32_t>(frame[62]) << 8 | frame[63];
    EXPECT_EQ(f.CRC32(), trailerBE);
    EXPECT_NE(f.CRC32(), fcs);  // the byte order matters

    f.SetCRC32(0xDEADBEEF);
    EXPECT_EQ(f.CRC32(), 0xDEADBEEFu);

    for (size_t n : {size_t{0}, size_t{3}, size_t{4}}) EXPECT_EQ(MakeFrame(Sequence(n)).CRC32(), 0u) << n;
}

TEST(RawFrame, MD5HashIsUpperCaseAndCached) {
    const tBytes abc = {'a', 'b', 'c'};
    const tRawFrame f = MakeFrame(abc);
    const std::string_view first = f.MD5Hash();
    EXPECT_EQ(first, "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(f.MD5Hash().data(), first.data()) << "computed once";
    EXPECT_EQ(MakeFrame({}, 0).MD5Hash(), "D41D8CD98F00B204E9800998ECF8427E");
}

TEST(RawFrame, CopyConstruction) {
    tRawFrame src = MakeFrame(Sequence(60), 0);
    src.SetFilterLabel("web");
    src.SetCRC32(0x12345678);
    src.Commentlist() = {"first", "second"};
    (void)src.MD5Hash();

    const tRawFrame same(src);
    EXPECT_TRUE(same.isEqualTo(src));
    EXPECT_TRUE(same == src);
    EXPECT_NE(same.Data(), src.Data());
    EXPECT_EQ(same.Commentlist(), src.Commentlist());
    EXPECT_EQ(same.Timestamp(), src.Timestamp());
    EXPECT_EQ(same.InterfaceLinkID(), src.InterfaceLinkID());
    // Not copied: filter label and stored CRC (the hash is recomputed from the bytes).
    EXPECT_TRUE(same.FilterLabel().empty());
    EXPECT_EQ(same.CRC32(), MakeFrame(Sequence(60)).CRC32());
    EXPECT_EQ(same.MD5Hash(), src.MD5Hash());

    struct Case { uint32_t forceWire, forceCapture; uint32_t wire, captured; };
    const Case cases[] = {{0, 0, 60, 60}, {1500, 0, 1500, 60}, {0, 20, 60, 20}, {0, 100, 60, 60}, {9000, 1, 9000, 1}};
    for (const auto& c : cases) {
        const tRawFrame copy(src, c.forceWire, c.forceCapture);
        EXPECT_EQ(copy.WireSize(), c.wire);
        ASSERT_EQ(copy.FrameSize(), c.captured);
        EXPECT_EQ(copy.getByte(static_cast<int32_t>(c.captured) - 1), c.captured - 1);
        EXPECT_THROW(copy.getByte(static_cast<int32_t>(c.captured)), tAssertionError);
        EXPECT_EQ(copy.isEqualTo(src), c.wire == 60 && c.captured == 60);
    }
}

TEST(RawFrame, EqualityLooksAtEveryRecordField) {
    const tRawFrame base = MakeFrame(Sequence(60));
    using tChange = std::function<void(tRawFrame&)>;
    struct Case { const char* what; tChange change; bool stillEqual; };
    const Case cases[] = {
        {"wire size", [](tRawFrame& f) { f.SetWireSize(61); }, false},
        {"interface", [](tRawFrame& f) { f.SetInterfaceID(9); }, false},
        {"frame type", [](tRawFrame& f) { f.SetFrameFileType(tftPCAP); }, false},
        {"link id", [](tRawFrame& f) { f.SetInterfaceLinkID(NullGUID); }, false},
        {"time stamp", [](tRawFrame& f) { f.UpdateTimestamp(tFrameTimeStamp{f.Timestamp().datetime, 1}); }, false},
        {"filter label", [](tRawFrame& f) { f.SetFilterLabel("x"); }, true},
        {"stored CRC", [](tRawFrame& f) { f.SetCRC32(1); }, true},
        {"comments", [](tRawFrame& f) { f.Commentlist().push_back("c"); }, true},
        {"no data", [](tRawFrame& f) { f.DiscardFrameData(); }, false},
    };
    for (const auto& c : cases) {
        tRawFrame other(base);
        c.change(other);
        EXPECT_EQ(other.isEqualTo(base), c.stillEqual) << c.what;
    }

    tBytes changed = Sequence(60);
    changed[59] ^= 1;
    const tRawFrame differentBytes = MakeFrame(changed);
    EXPECT_FALSE(differentBytes.FrameDataIsEqualTo(base));
    EXPECT_FALSE(differentBytes.isEqualTo(base));
    const tRawFrame otherPosition(Timing(Day, 3'723'000'123, 7), Wire(60), tFileFrameLocation{4, 18, 1234}, Sequence(60));
    EXPECT_TRUE(otherPosition.FrameDataIsEqualTo(base));
    EXPECT_FALSE(otherPosition.isEqualTo(base));
}

TEST(RawFrame, DiscardedDataIsNoLongerReadable) {
    tRawFrame f = MakeFrame(Sequence(60));
    f.DiscardFrameData();
    EXPECT_EQ(f.Data(), nullptr);
    EXPECT_TRUE(f.Bytes().empty());
    EXPECT_EQ(f.FrameSize(), 60u);
    EXPECT_THROW(f.getByte(0), tAssertionError);
    EXPECT_EQ(f.FrameDataAsChunk(0, 0).Len(), 0);
    // A copy of a discarded frame is safe and holds zeros.
    const tRawFrame copy(f);
    EXPECT_EQ(copy.FrameSize(), 60u);
    EXPECT_EQ(copy.getByte(59), 0);
}

TEST(RawFrame, BufferCopy) {
    auto buffer = std::make_unique<tRawBuffer>();
    buffer->fill(0xEE);
    const tRawFrame keep(Timing(Day, 0), Wire(3), tFileFrameLocation{}, Sequence(3), true);
    keep.Buffer(*buffer);
    EXPECT_EQ((*buffer)[2], 2);
    EXPECT_EQ((*buffer)[3], 0xEE);

    const tRawFrame zeroed(Timing(Day, 0), Wire(3), tFileFrameLocation{}, Sequence(3), false);
    zeroed.Buffer(*buffer);
    EXPECT_EQ((*buffer)[2], 2);
    EXPECT_EQ((*buffer)[3], 0);
    EXPECT_EQ((*buffer)[65'535], 0);
}
