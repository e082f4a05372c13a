#include "loader/timezonehandler.h"

#include "platform/timezone.h"

namespace morwick {

namespace {

// Years the calendar arithmetic and the C library handle safely.
constexpr int64_t FirstSupportedSecond = -62'135'596'800;  // 0001-01-01 00:00:00
constexpr int64_t LastSupportedSecond = 253'402'300'799;   // 9999-12-31 23:59:59

// The zone's rules are probed at this step; offset changes closer together than this are
// not expected in any zone (two changes between probes are still found, one after the
// other, unless the second undoes the first).
constexpr int64_t ProbeStep = 12 * 3600;

int64_t YearStartSecond(int year) { return tDateTime::Encode(year, 1, 1).ToUnixSeconds(); }

}  // namespace

tTimeZoneDetails::tTimeZoneDetails(uint16_t Year) : priv_year(Year) {
    priv_firstSecond = YearStartSecond(Year);
    priv_endSecond = YearStartSecond(Year + 1);

    tLocalZoneState state = LocalZoneAt(priv_firstSecond);
    priv_spans.push_back({priv_firstSecond, -state.OffsetSeconds, state.IsDST});
    int64_t previous = priv_firstSecond;
    for (int64_t probe = priv_firstSecond + ProbeStep;; probe += ProbeStep) {
        if (probe > priv_endSecond - 1) probe = priv_endSecond - 1;
        tLocalZoneState now = LocalZoneAt(probe);
        if (now.OffsetSeconds != state.OffsetSeconds || now.IsDST != state.IsDST) {
            // Find the first second of the change between the two probes.
            int64_t lo = previous, hi = probe;
            while (hi - lo > 1) {
                int64_t mid = lo + (hi - lo) / 2;
                tLocalZoneState m = LocalZoneAt(mid);
                if (m.OffsetSeconds == state.OffsetSeconds && m.IsDST == state.IsDST)
                    lo = mid;
                else
                    hi = mid;
            }
            state = LocalZoneAt(hi);
            priv_spans.push_back({hi, -state.OffsetSeconds, state.IsDST});
            if (state.OffsetSeconds != now.OffsetSeconds || state.IsDST != now.IsDST) {
                // Two changes between the probes: continue from the first one.
                previous = hi;
                probe = hi;
                continue;
            }
        }
        previous = probe;
        if (probe >= priv_endSecond - 1) break;
    }

    const tSpan* standard = nullptr;
    const tSpan* daylight = nullptr;
    for (const tSpan& span : priv_spans) {
        if (span.BiasSeconds != 0) priv_systemisUTC = false;
        if (span.IsDST) {
            priv_noDST = false;
            if (daylight == nullptr) daylight = &span;
        } else if (standard == nullptr) {
            standard = &span;
        }
    }
    if (standard == nullptr) standard = &priv_spans.front();
    priv_bias = standard->BiasSeconds / 60;
    if (daylight != nullptr) priv_daylightBias = (daylight->BiasSeconds - standard->BiasSeconds) / 60;

    priv_daylightstart = tDateTime::FromUnixSeconds(0);
    priv_standardstart = tDateTime::FromUnixSeconds(0);
    bool daylightFound = false, standardFound = false;
    for (size_t i = 1; i < priv_spans.size(); ++i) {
        const tSpan& span = priv_spans[i];
        if (span.IsDST == priv_spans[i - 1].IsDST) continue;
        if (span.IsDST && !daylightFound) {
            priv_daylightstart = tDateTime::FromUnixSeconds(span.From);
            daylightFound = true;
        } else if (!span.IsDST && !standardFound) {
            priv_standardstart = tDateTime::FromUnixSeconds(span.From);
            standardFound = true;
        }
    }
}

tTimeZoneHandler::tTimeZoneHandler() { ReloadLocalTimeZone(); }

int32_t tTimeZoneHandler::GetBiasForDate(tDateTime DateToTest) {
    return GetBiasSecondsForUnixTime(DateToTest.ToUnixSeconds()) / 60;
}

int32_t tTimeZoneHandler::priv_biasSecondsSlow(int64_t unixSeconds) {
    if (unixSeconds < FirstSupportedSecond || unixSeconds > LastSupportedSecond) return 0;
    const int year = tDateTime::FromUnixSeconds(unixSeconds).Decode().Year;
    std::unique_ptr<tTimeZoneDetails>& entry = priv_detaillist[year];
    if (!entry) entry = std::make_unique<tTimeZoneDetails>(static_cast<uint16_t>(year));
    currententry = entry.get();
    return currententry->BiasSecondsAt(unixSeconds);
}

}  // namespace morwick
