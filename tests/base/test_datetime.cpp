#include "base/datetime.h"

#include <gtest/gtest.h>

using namespace morwick;

TEST(DateTime, EpochAndUnixEpoch) {
    EXPECT_EQ(tDateTime::Encode(1899, 12, 30).ms, 0);
    EXPECT_EQ(tDateTime::Encode(1970, 1, 1).DayNumber(), tDateTime::UnixEpochDays);
    EXPECT_EQ(tDateTime::FromUnixSeconds(0), tDateTime::Encode(1970, 1, 1));
    EXPECT_EQ(tDateTime::Encode(2020, 2, 15, 1, 2, 3).ToUnixSeconds(), 1581728523);
}

TEST(DateTime, DecodeRoundTripsIncludingBefore1899) {
    for (auto [y, m, d] : {std::tuple{2020, 2, 29}, {1899, 12, 29}, {1600, 3, 1}, {9999, 12, 31}}) {
        const auto p = tDateTime::Encode(y, m, d, 23, 59, 58, 999).Decode();
        EXPECT_EQ(p.Year, y);
        EXPECT_EQ(p.Month, m);
        EXPECT_EQ(p.Day, d);
        EXPECT_EQ(p.Hour, 23);
        EXPECT_EQ(p.Minute, 59);
        EXPECT_EQ(p.Second, 58);
        EXPECT_EQ(p.Millisecond, 999);
    }
}

TEST(DateTime, DaysConversionIsExactToTheMillisecond) {
    const auto t = tDateTime::Encode(2021, 7, 4, 12, 30, 15, 250);
    EXPECT_EQ(tDateTime::FromDays(t.ToDays()), t);
    EXPECT_EQ(tDateTime::FromDays(1.5).ms, tDateTime::MsPerDay * 3 / 2);
}

TEST(DateTime, DatabaseText) {
    struct Case { tDateTime value; const char* text; };
    const Case cases[] = {
        {tDateTime::Encode(2020, 2, 15, 1, 2, 3, 45), "2020-02-15 01:02:03.045"},
        {tDateTime::Encode(2020, 2, 15), "2020-02-15"},
        {tDateTime::Encode(2020, 2, 15, 0, 0, 0, 1), "2020-02-15 00:00:00.001"},
        {tDateTime{}, "1899-12-30"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DateTimeToDBText(c.value), c.text);
        tDateTime back;
        ASSERT_TRUE(DBTextToDateTime(c.text, back)) << c.text;
        EXPECT_EQ(back, c.value) << c.text;
    }
}

TEST(DateTime, DatabaseTextRejectsMalformed) {
    tDateTime out;
    for (const char* bad : {"", "2020-2-15", "2020-02-30", "2020-02-15 25:00:00", "2020-02-15T01:02:03",
                            "2020-02-15 01:02:03.", "abcd-ef-gh", "2020-02-15 01:02"})
        EXPECT_FALSE(DBTextToDateTime(bad, out)) << bad;
    ASSERT_TRUE(DBTextToDateTime("2020-02-15 01:02:03", out));
    EXPECT_EQ(out, tDateTime::Encode(2020, 2, 15, 1, 2, 3));
    ASSERT_TRUE(DBTextToDateTime("2020-02-15 01:02:03.5", out));
    EXPECT_EQ(out.MsOfDay() % 1000, 500);
}
