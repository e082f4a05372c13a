#pragma once
// The machine's local time-zone rules, read through the C library. The zone is the one
// the C library selects: the TZ environment variable when set, else the system zone.
#include <cstdint>

namespace morwick {

struct tLocalZoneState {
    int32_t OffsetSeconds = 0;  // local time minus UTC at the instant (east of UTC positive)
    bool IsDST = false;         // daylight saving time is in force at the instant
};

// Re-reads the zone rules (after TZ was changed in the environment).
void ReloadLocalTimeZone();

// Offset and daylight flag of the local zone at a UTC instant (seconds since 1970-01-01).
// Instants the C library cannot convert count as UTC.
tLocalZoneState LocalZoneAt(int64_t unixSeconds);

// Bias as the platform states it: UTC minus local time, in whole minutes (truncated toward
// zero), at the UTC instant. A zone 5.5 hours east of UTC gives -330.
int32_t LocalBiasMinutesAt(int64_t unixSeconds);

}  // namespace morwick
