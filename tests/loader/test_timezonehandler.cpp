#include "loader/timezonehandler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "loader/pcapfixture.h"

namespace morwick {
namespace {

using testing::tZoneScope;

tDateTime UTC(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return tDateTime::Encode(y, mo, d, h, mi, s); }

struct tBiasCase {
    const char* Zone;
    tDateTime When;  // UTC
    int32_t BiasMinutes;
};

TEST(TimeZoneHandler, GivesTheBiasInForceAtEachInstant) {
    const std::vector<tBiasCase> cases = {
        {"UTC", UTC(2020, 1, 15), 0},
        {"UTC", UTC(2020, 7, 15), 0},
        {"Europe/Berlin", UTC(2020, 1, 15), -60},
        {"Europe/Berlin", UTC(2020, 7, 15), -120},
        // Daylight time starts at 01:00 UTC on the last Sunday of March.
        {"Europe/Berlin", UTC(2020, 3, 29, 0, 59, 59), -60},
        {"Europe/Berlin", UTC(2020, 3, 29, 1, 0, 0), -120},
        {"Europe/Berlin", UTC(2020, 10, 25, 0, 59, 59), -120},
        {"Europe/Berlin", UTC(2020, 10, 25, 1, 0, 0), -60},
        {"Asia/Kolkata", UTC(2020, 1, 15), -330},
        {"Asia/Kolkata", UTC(2020, 7, 15), -330},
        {"Asia/Kathmandu", UTC(2021, 3, 1), -345},
        {"Australia/Sydney", UTC(2020, 1, 15), -660},
        {"Australia/Sydney", UTC(2020, 7, 15), -600},
        {"Australia/Sydney", UTC(2020, 12, 31, 23, 59, 59), -660},
        {"America/St_Johns", UTC(2020, 1, 15), 210},
        {"America/St_Johns", UTC(2020, 7, 15), 150},
        {"America/Sao_Paulo", UTC(2021, 1, 15), 180},
    };
    for (const tBiasCase& c : cases) {
        tZoneScope zone(c.Zone);
        tTimeZoneHandler handler;
        EXPECT_EQ(handler.GetBiasForDate(c.When), c.BiasMinutes) << c.Zone << " " << DateTimeToDBText(c.When);
        EXPECT_EQ(handler.GetBiasSecondsForUnixTime(c.When.ToUnixSeconds()), c.BiasMinutes * 60) << c.Zone;
    }
}

struct tRulesCase {
    const char* Zone;
    int32_t Bias;
    int32_t DaylightBias;
    bool NoDST;
    bool SystemIsUTC;
    std::string DaylightStart;  // UTC
    std::string StandardStart;  // UTC
};

TEST(TimeZoneDetails, DescribeTheRulesOfAYear) {
    const std::vector<tRulesCase> cases = {
        {"UTC", 0, 0, true, true, "1970-01-01", "1970-01-01"},
        {"Asia/Kolkata", -330, 0, true, false, "1970-01-01", "1970-01-01"},
        {"Europe/Berlin", -60, -60, false, false, "2020-03-29 01:00:00.000", "2020-10-25 01:00:00.000"},
        // In the south, standard time starts in April and daylight time in October.
        {"Australia/Sydney", -600, -60, false, false, "2020-10-03 16:00:00.000", "2020-04-04 16:00:00.000"},
    };
    for (const tRulesCase& c : cases) {
        tZoneScope zone(c.Zone);
        tTimeZoneDetails details(2020);
        EXPECT_EQ(details.Year(), 2020) << c.Zone;
        EXPECT_EQ(details.Bias(), c.Bias) << c.Zone;
        EXPECT_EQ(details.StandardBias(), 0) << c.Zone;
        EXPECT_EQ(details.DaylightBias(), c.DaylightBias) << c.Zone;
        EXPECT_EQ(details.NoDST(), c.NoDST) << c.Zone;
        EXPECT_EQ(details.SystemIsUTC(), c.SystemIsUTC) << c.Zone;
        EXPECT_EQ(DateTimeToDBText(details.DaylightStart()), c.DaylightStart) << c.Zone;
        EXPECT_EQ(DateTimeToDBText(details.StandardStart()), c.StandardStart) << c.Zone;
        EXPECT_EQ(details.FirstSecond(), UTC(2020, 1, 1).ToUnixSeconds());
        EXPECT_EQ(details.EndSecond(), UTC(2021, 1, 1).ToUnixSeconds());
    }
}

TEST(TimeZoneHandler, KeepsOneEntryPerYear) {
    tZoneScope zone("Europe/Berlin");
    tTimeZoneHandler handler;
    EXPECT_EQ(handler.EntryCount(), 0u);
    handler.GetBiasForDate(UTC(2019, 6, 1));
    handler.GetBiasForDate(UTC(2019, 12, 1));
    EXPECT_EQ(handler.EntryCount(), 1u);
    EXPECT_EQ(handler.GetBiasForDate(UTC(2021, 6, 1)), -120);
    EXPECT_EQ(handler.EntryCount(), 2u);
    EXPECT_EQ(handler.GetBiasForDate(UTC(2019, 1, 1)), -60);
    EXPECT_EQ(handler.EntryCount(), 2u);
}

TEST(TimeZoneHandler, OutOfRangeInstantsCountAsUTC) {
    tZoneScope zone("Asia/Kolkata");
    tTimeZoneHandler handler;
    EXPECT_EQ(handler.GetBiasSecondsForUnixTime(int64_t{1} << 50), 0);
    EXPECT_EQ(handler.GetBiasSecondsForUnixTime(-(int64_t{1} << 50)), 0);
    EXPECT_EQ(handler.EntryCount(), 0u);
}

}  // namespace
}  // namespace morwick
