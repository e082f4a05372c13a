#include "platform/timezone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace morwick {
namespace {

// Selects a zone for the process and restores the previous one.
class tZone {
public:
    explicit tZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) priv_old = old;
        priv_hadOld = std::getenv("TZ") != nullptr;
        ::setenv("TZ", zone, 1);
        ReloadLocalTimeZone();
    }
    ~tZone() {
        if (priv_hadOld)
            ::setenv("TZ", priv_old.c_str(), 1);
        else
            ::unsetenv("TZ");
        ReloadLocalTimeZone();
    }

private:
    std::string priv_old;
    bool priv_hadOld = false;
};

struct tCase {
    const char* Zone;
    int64_t UnixSeconds;
    int32_t OffsetSeconds;
    bool IsDST;
    int32_t BiasMinutes;
};

TEST(LocalZone, ReportsOffsetDaylightFlagAndBias) {
    constexpr int64_t Jan2020 = 1'579'046'400;  // 2020-01-15 00:00:00 UTC
    constexpr int64_t Jul2020 = 1'594'771'200;  // 2020-07-15 00:00:00 UTC
    const std::vector<tCase> cases = {
        {"UTC", Jan2020, 0, false, 0},
        {"Asia/Kolkata", Jan2020, 19'800, false, -330},
        {"Asia/Kolkata", Jul2020, 19'800, false, -330},
        {"Australia/Sydney", Jan2020, 39'600, true, -660},
        {"Australia/Sydney", Jul2020, 36'000, false, -600},
        {"Europe/Berlin", Jul2020, 7'200, true, -120},
        {"America/New_York", Jan2020, -18'000, false, 300},
        {"America/St_Johns", Jul2020, -9'000, true, 150},
    };
    for (const tCase& c : cases) {
        tZone zone(c.Zone);
        const tLocalZoneState state = LocalZoneAt(c.UnixSeconds);
        EXPECT_EQ(state.OffsetSeconds, c.OffsetSeconds) << c.Zone;
        EXPECT_EQ(state.IsDST, c.IsDST) << c.Zone;
        EXPECT_EQ(LocalBiasMinutesAt(c.UnixSeconds), c.BiasMinutes) << c.Zone;
    }
}

TEST(LocalZone, FollowsTZChanges) {
    tZone first("Asia/Tokyo");
    EXPECT_EQ(LocalZoneAt(0).OffsetSeconds, 9 * 3600);
    tZone second("America/Los_Angeles");
    EXPECT_EQ(LocalZoneAt(0).OffsetSeconds, -8 * 3600);
}

}  // namespace
}  // namespace morwick
