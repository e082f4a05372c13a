#pragma once
// Local time-zone rules for turning UTC frame times into local wall-clock time. The
// rules of a year are probed once from the platform and kept; a frame's bias is then a
// look-up in the few spans of its year.
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "base/datetime.h"

namespace morwick {

// The local zone's rules over one UTC year: the bias in force from each change on.
class tTimeZoneDetails {
public:
    explicit tTimeZoneDetails(uint16_t Year);

    uint16_t Year() const { return priv_year; }
    // UTC seconds since 1970 of the first second of the year and of the next year.
    int64_t FirstSecond() const { return priv_firstSecond; }
    int64_t EndSecond() const { return priv_endSecond; }

    // Biases in minutes, UTC minus local: the standard-time bias, the extra bias of
    // standard time (always 0 here) and the extra bias of daylight time (-60 for a zone
    // that moves one hour forward in summer; 0 without daylight saving time).
    int32_t Bias() const { return priv_bias; }
    int32_t StandardBias() const { return 0; }
    int32_t DaylightBias() const { return priv_daylightBias; }
    // UTC instants at which daylight and standard time start in this year; both
    // 1970-01-01 00:00:00 when the year has no such change.
    tDateTime DaylightStart() const { return priv_daylightstart; }
    tDateTime StandardStart() const { return priv_standardstart; }
    bool SystemIsUTC() const { return priv_systemisUTC; }
    bool NoDST() const { return priv_noDST; }

    // UTC minus local time in seconds at a UTC instant inside the year.
    int32_t BiasSecondsAt(int64_t unixSeconds) const {
        int32_t bias = priv_spans.front().BiasSeconds;
        for (const tSpan& span : priv_spans) {
            if (unixSeconds < span.From) break;
            bias = span.BiasSeconds;
        }
        return bias;
    }

private:
    struct tSpan {
        int64_t From;         // first UTC second of the span
        int32_t BiasSeconds;  // UTC minus local
        bool IsDST;
    };
    std::vector<tSpan> priv_spans;  // never empty, ascending by From
    uint16_t priv_year;
    int64_t priv_firstSecond = 0;
    int64_t priv_endSecond = 0;
    int32_t priv_bias = 0;
    int32_t priv_daylightBias = 0;
    tDateTime priv_daylightstart;
    tDateTime priv_standardstart;
    bool priv_systemisUTC = true;
    bool priv_noDST = true;
};

class tTimeZoneHandler {
public:
    // Reads the machine's current zone (the TZ environment variable when set).
    tTimeZoneHandler();

    // Bias in minutes (UTC minus local, truncated toward zero) in force at the UTC
    // date-time. A zone 5.5 hours east of UTC gives -330 all year.
    int32_t GetBiasForDate(tDateTime DateToTest);
    // Bias in seconds at a UTC instant given as seconds since 1970-01-01; local time is
    // the instant minus the bias. Used per frame by the loaders.
    int32_t GetBiasSecondsForUnixTime(int64_t unixSeconds) {
        if (currententry != nullptr && unixSeconds >= currententry->FirstSecond() &&
            unixSeconds < currententry->EndSecond())
            return currententry->BiasSecondsAt(unixSeconds);
        return priv_biasSecondsSlow(unixSeconds);
    }

    // Number of years whose rules have been read.
    size_t EntryCount() const { return priv_detaillist.size(); }

private:
    int32_t priv_biasSecondsSlow(int64_t unixSeconds);

    std::map<int, std::unique_ptr<tTimeZoneDetails>> priv_detaillist;  // by year
    tTimeZoneDetails* currententry = nullptr;
};

}  // namespace morwick
