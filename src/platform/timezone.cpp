#include "platform/timezone.h"

#include <ctime>

namespace morwick {

void ReloadLocalTimeZone() { ::tzset(); }

tLocalZoneState LocalZoneAt(int64_t unixSeconds) {
    tLocalZoneState result;
    const time_t t = static_cast<time_t>(unixSeconds);
    struct tm local {};
    if (::localtime_r(&t, &local) == nullptr) return result;
    result.OffsetSeconds = static_cast<int32_t>(local.tm_gmtoff);
    result.IsDST = local.tm_isdst > 0;
    return result;
}

int32_t LocalBiasMinutesAt(int64_t unixSeconds) { return -LocalZoneAt(unixSeconds).OffsetSeconds / 60; }

}  // namespace morwick
