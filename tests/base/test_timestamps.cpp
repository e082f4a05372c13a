#include "base/timestamps.h"

#include <gtest/gtest.h>

using namespace morwick;

namespace {

tFrameTimeStamp At(int h, int m, int s, int32_t ns, int day = 15) {
    return tFrameTimeStamp{tDateTime::Encode(2020, 2, day, h, m, s), ns};
}

}  // namespace

TEST(FrameTimeStamp, OrderingByDateTimeThenNanoseconds) {
    struct Case { tFrameTimeStamp a, b; int order; };  // sign of a - b
    const Case cases[] = {
        {At(12, 0, 0, 1), At(12, 0, 0, 2), -1},
        {At(12, 0, 0, 2), At(12, 0, 0, 2), 0},
        {At(12, 0, 1, 0), At(12, 0, 0, 999'999'999), 1},
        {At(0, 0, 0, 0, 16), At(23, 59, 59, 999'999'999, 15), 1},
        {At(12, 0, 0, 5), At(12, 0, 0, 3), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case with order " << c.order);
        EXPECT_EQ(c.a == c.b, c.order == 0);
        EXPECT_EQ(c.a != c.b, c.order != 0);
        EXPECT_EQ(c.a < c.b, c.order < 0);
        EXPECT_EQ(c.a <= c.b, c.order <= 0);
        EXPECT_EQ(c.a > c.b, c.order > 0);
        EXPECT_EQ(c.a >= c.b, c.order >= 0);
    }
}

TEST(FrameTimeStamp, SubtractionIsFieldWise) {
    const tFrameTimeStamp d = At(12, 0, 1, 100) - At(12, 0, 0, 900);
    EXPECT_EQ(d.datetime.ms, 1000);
    EXPECT_EQ(d.nanoseconds, -800);
    tFrameTimeStamp t = At(1, 1, 1, 1);
    t.initialize();
    EXPECT_EQ(t.datetime.ms, 0);
    EXPECT_EQ(t.nanoseconds, 0);
}

TEST(FrameTimeStamp, NanosecondsBetween) {
    struct Case { tFrameTimeStamp a, b; int64_t ns; };
    const Case cases[] = {
        {At(12, 0, 1, 100), At(12, 0, 0, 900), 999'999'200},
        {At(12, 0, 0, 900), At(12, 0, 0, 100), 800},
        {At(12, 0, 0, 0), At(12, 0, 0, 0), 0},
        {At(12, 0, 0, 0, 16), At(12, 0, 0, 0, 15), 86'400'000'000'000},
        // An earlier A gives the negative elapsed time.
        {At(12, 0, 0, 900), At(12, 0, 1, 100), -999'999'200},
        {At(12, 0, 0, 0), At(12, 0, 3, 0), -3'000'000'000},
    };
    for (const auto& c : cases) EXPECT_EQ(NanosecondsBetween(c.a, c.b), c.ns);
}

TEST(FrameTimeStamp, ElapsedText) {
    struct Case { int64_t ns; const char* text; };
    const Case cases[] = {
        {360'000'000'000'000, "100:00:00.000000000"},
        {0, "00:00:00.000000000"},
        {3'723'000'000'123, "01:02:03.000000123"},
        {86'399'999'999'999, "23:59:59.999999999"},
        {-1'500'000'000, "-00:00:01.500000000"},
    };
    for (const auto& c : cases) EXPECT_EQ(ElapsedTimeAsString(c.ns), c.text);
    EXPECT_EQ(ElapsedTimeAsString(At(13, 2, 3, 5) - At(12, 0, 0, 0)), "01:02:03.000000005");
    EXPECT_EQ(ElapsedTimeAsString(At(12, 0, 1, 100) - At(12, 0, 0, 900)), "00:00:00.999999200");
}

TEST(NTPTime, TimeStampConversion) {
    struct Case { uint64_t ntp; tDateTime datetime; int32_t ns; };
    const Case cases[] = {
        {0x0000000080000000ull, tDateTime::Encode(1900, 1, 1), 500'000'000},
        {0, tDateTime::Encode(1900, 1, 1), 0},
        // 2,208,988,800 seconds separate 1900 and the Unix epoch.
        {uint64_t{2'208'988'800} << 32 | 0x40000000, tDateTime::Encode(1970, 1, 1), 250'000'000},
        {uint64_t{0xFFFFFFFF} << 32 | 0xFFFFFFFF, tDateTime::Encode(2036, 2, 7, 6, 28, 15), 999'999'999},
        {uint64_t{3'790'000'000} << 32 | 1, tDateTime::Encode(2020, 2, 6, 17, 46, 40), 0},
    };
    for (const auto& c : cases) {
        const tFrameTimeStamp t = NTPTimeStampToFrameTimeStamp(c.ntp);
        EXPECT_EQ(DateTimeToDBText(t.datetime), DateTimeToDBText(c.datetime)) << std::hex << c.ntp;
        EXPECT_EQ(t.nanoseconds, c.ns) << std::hex << c.ntp;
    }
}

TEST(NTPTime, ShortFormat) {
    const tNTPShortFormat s = tNTPShortFormat::FromLongWord(0x00038000);
    EXPECT_EQ(s.Seconds, 3);
    EXPECT_EQ(s.Fraction, 0x8000);
    EXPECT_DOUBLE_EQ(s.asDouble(), 3.5);
    EXPECT_DOUBLE_EQ(tNTPShortFormat::FromLongWord(0x00000001).asDouble(), 1.0 / 65536);
    EXPECT_DOUBLE_EQ(tNTPShortFormat::FromLongWord(0xFFFF0000).asDouble(), 65535.0);
}

TEST(FileFrameLocation, ComparisonIgnoresOffset) {
    tFileFrameLocation a, b;
    a.initialize(1, 42, 9876);
    b.initialize(1, 42, 100);
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a < b);
    EXPECT_TRUE(a >= b);
    struct Case { tFileFrameLocation x, y; int order; };
    const Case cases[] = {
        {{1, 42, 0}, {1, 43, 0}, -1},
        {{2, 1, 0}, {1, 99, 0}, 1},
        {{0, 5, 7}, {0, 5, 8}, 0},
        {{0, 6, 0}, {1, 5, 0}, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.x == c.y, c.order == 0);
        EXPECT_EQ(c.x < c.y, c.order < 0);
        EXPECT_EQ(c.x > c.y, c.order > 0);
        EXPECT_EQ(c.x <= c.y, c.order <= 0);
    }
}

TEST(FileFrameLocation, DictionaryKey) {
    tFileFrameLocation l;
    l.initialize(1, 42, 9876);
    EXPECT_EQ(l.DictionaryKey(), "1:42:9876");
    l.initialize(-1, 9'000'000'000, 0);
    EXPECT_EQ(l.DictionaryKey(), "-1:9000000000:0");
    l.initialize();
    EXPECT_EQ(l.DictionaryKey(), "0:0:0");
}

TEST(GeneralTraceStats, InitialValues) {
    tGeneralTraceStats s;
    s.MinFrameSize = 1;
    s.SliceSizeConstant = false;
    s.TimeOrderCorrect = false;
    s.FrameCount = 5;
    s.initialize();
    EXPECT_EQ(s.MinFrameSize, 10000);
    EXPECT_EQ(s.MaxFrameSize, 0);
    EXPECT_EQ(s.FrameCount, 0);
    EXPECT_TRUE(s.SliceSizeConstant);
    EXPECT_TRUE(s.TimeOrderCorrect);
    EXPECT_FALSE(s.isSliced);
    EXPECT_EQ(s.FirstFrameTime, tFrameTimeStamp{});
    EXPECT_EQ(s.OutOfTimeFrames, 0);
}
