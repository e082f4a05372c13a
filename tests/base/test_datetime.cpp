#include "base/datetime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string_view>

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

// The text is written digit by digit; every field must carry its leading zeros, and the
// stack-buffer form must give the same text as the string form.
TEST(DateTime, DatabaseTextFieldsAndBufferForm) {
    struct Case { tDateTime value; const char* text; };
    const Case cases[] = {
        {tDateTime::Encode(2009, 10, 5, 9, 8, 7, 6), "2009-10-05 09:08:07.006"},
        {tDateTime::Encode(1999, 12, 31, 23, 59, 59, 999), "1999-12-31 23:59:59.999"},
        {tDateTime::Encode(1, 1, 1, 0, 0, 0, 10), "0001-01-01 00:00:00.010"},
        {tDateTime::Encode(1, 1, 1), "0001-01-01"},
        {tDateTime::Encode(9999, 12, 31, 12, 0, 0, 100), "9999-12-31 12:00:00.100"},
        {tDateTime::Encode(2024, 3, 1, 0, 0, 1), "2024-03-01 00:00:01.000"},
        {tDateTime::Encode(2024, 3, 1, 0, 1), "2024-03-01 00:01:00.000"},
        {tDateTime::Encode(2024, 3, 1).AddMs(-1), "2024-02-29 23:59:59.999"},
        // Outside the four-digit years (a corrupt time stamp): as printf's "%.4d" writes them.
        {tDateTime::Encode(12345, 6, 7, 8, 9, 10, 11), "12345-06-07 08:09:10.011"},
        {tDateTime::Encode(10000, 1, 1), "10000-01-01"},
        {tDateTime::Encode(-5, 3, 4, 1, 2, 3, 4), "-0005-03-04 01:02:03.004"},
        {tDateTime::Encode(0, 2, 29), "0000-02-29"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DateTimeToDBText(c.value), c.text);
        char buf[DBTextBufferSize + 1];
        std::fill(std::begin(buf), std::end(buf), '#');
        const size_t n = DateTimeToDBText(c.value, buf);
        EXPECT_EQ(std::string_view(buf, n), c.text);
        EXPECT_EQ(buf[n], '\0') << c.text;
        EXPECT_EQ(buf[DBTextBufferSize], '#') << "wrote past the buffer for " << c.text;
    }
}
