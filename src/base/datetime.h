#pragma once
// Date-times count days since 1899-12-30 with the time of day as the fraction. They are
// kept as whole milliseconds since 1899-12-30 00:00:00.000 so that arithmetic is exact;
// sub-millisecond parts of frame times live in separate nanosecond fields.
#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace morwick {

struct tDateTimeParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

struct tDateTime {
    static constexpr int64_t MsPerDay = 86'400'000;
    // Days between 1899-12-30 and 1970-01-01.
    static constexpr int64_t UnixEpochDays = 25569;

    int64_t ms = 0;  // milliseconds since 1899-12-30 00:00:00.000 (may be negative)

    constexpr auto operator<=>(const tDateTime&) const = default;

    static constexpr tDateTime FromMs(int64_t v) { return tDateTime{v}; }
    // Builds a date-time from calendar parts; the parts are not range-checked beyond
    // what the calendar arithmetic needs (use TryEncode for untrusted input).
    static tDateTime Encode(int year, int month, int day, int hour = 0, int minute = 0,
                            int second = 0, int millisecond = 0);
    static bool TryEncode(const tDateTimeParts& parts, tDateTime& out);
    // Days (with fraction) as a double; rounded to the nearest millisecond.
    static tDateTime FromDays(double days);
    static tDateTime FromUnixSeconds(int64_t seconds) {
        return tDateTime{(UnixEpochDays * 86400 + seconds) * 1000};
    }

    tDateTimeParts Decode() const;
    double ToDays() const { return static_cast<double>(ms) / MsPerDay; }
    int64_t ToUnixSeconds() const;  // floor of the seconds since 1970-01-01 00:00:00
    // Whole days since 1899-12-30 (floor) and milliseconds into that day.
    int64_t DayNumber() const;
    int64_t MsOfDay() const { return ms - DayNumber() * MsPerDay; }
    tDateTime DateOnly() const { return tDateTime{DayNumber() * MsPerDay}; }

    tDateTime AddMs(int64_t v) const { return tDateTime{ms + v}; }
    tDateTime AddSeconds(int64_t v) const { return tDateTime{ms + v * 1000}; }
    tDateTime AddDays(int64_t v) const { return tDateTime{ms + v * MsPerDay}; }
};

// Database text of a date-time: "YYYY-MM-DD hh:mm:ss.zzz", or "YYYY-MM-DD" when the
// time of day is exactly midnight.
std::string DateTimeToDBText(tDateTime value);
// Room for the database text of any date-time, with its terminating zero.
inline constexpr size_t DBTextBufferSize = 48;
// The same text written into Out (at least DBTextBufferSize bytes), zero-terminated,
// without touching the heap; returns its length.
size_t DateTimeToDBText(tDateTime value, char* Out);
// Reads both database forms back; false for any other text.
bool DBTextToDateTime(std::string_view text, tDateTime& out);

}  // namespace morwick
