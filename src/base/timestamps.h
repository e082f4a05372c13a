#pragma once
// Frame time stamps (a date-time to the whole second plus nanoseconds), frame locations,
// the general statistics record of a capture file and the NTP time conversions.
#include <compare>
#include <cstdint>
#include <string>

#include "base/datetime.h"

namespace morwick {

struct tFrameTimeStamp {
    tDateTime datetime;       // local time, to the whole second for frame times
    int32_t nanoseconds = 0;  // 0 to 999,999,999 (a difference may be negative)

    void initialize() { *this = tFrameTimeStamp{}; }
    // Ordered by date-time, then nanoseconds.
    constexpr auto operator<=>(const tFrameTimeStamp&) const = default;
    // Field-wise difference: date-times subtracted, nanoseconds subtracted.
    tFrameTimeStamp operator-(const tFrameTimeStamp& o) const {
        return tFrameTimeStamp{tDateTime{datetime.ms - o.datetime.ms}, nanoseconds - o.nanoseconds};
    }
};

// Nanoseconds from B to A: the whole seconds between the date-times times 10^9, plus A's
// nanoseconds minus B's. Negative when A is earlier than B.
int64_t NanosecondsBetween(const tFrameTimeStamp& A, const tFrameTimeStamp& B);

// Elapsed time as "h:mm:ss.nnnnnnnnn" with at least two hour digits and no day wrap
// (360,000 seconds is "100:00:00.000000000"); negative spans get a leading "-".
std::string ElapsedTimeAsString(int64_t nanoseconds);
// The elapsed text of a time-stamp difference (date-time span plus nanoseconds).
std::string ElapsedTimeAsString(const tFrameTimeStamp& elapsed);

// 64-bit NTP time stamp: upper 32 bits seconds since 1900-01-01 00:00:00, lower 32 bits
// a binary fraction of a second.
tFrameTimeStamp NTPTimeStampToFrameTimeStamp(uint64_t ntp);

// NTP short format: 16 bits of seconds and 16 bits of fraction.
struct tNTPShortFormat {
    uint16_t Seconds = 0;
    uint16_t Fraction = 0;  // in 1/65536 seconds

    void initialize() { *this = tNTPShortFormat{}; }
    static tNTPShortFormat FromLongWord(uint32_t value) {
        return tNTPShortFormat{static_cast<uint16_t>(value >> 16), static_cast<uint16_t>(value & 0xFFFF)};
    }
    double asDouble() const { return Seconds + Fraction / 65536.0; }
    constexpr bool operator==(const tNTPShortFormat&) const = default;
};

// Where a frame lies: capture file, frame number in the file (from 1) and file offset.
// The offset takes no part in comparisons.
struct tFileFrameLocation {
    int32_t FileIndex = 0;
    int64_t FileFrameIndex = 0;
    int64_t FileOffset = 0;

    void initialize() { *this = tFileFrameLocation{}; }
    void initialize(int32_t Index, int64_t FrameID, int64_t Offset) {
        FileIndex = Index;
        FileFrameIndex = FrameID;
        FileOffset = Offset;
    }
    bool operator==(const tFileFrameLocation& o) const {
        return FileIndex == o.FileIndex && FileFrameIndex == o.FileFrameIndex;
    }
    std::strong_ordering operator<=>(const tFileFrameLocation& o) const {
        if (auto c = FileIndex <=> o.FileIndex; c != 0) return c;
        return FileFrameIndex <=> o.FileFrameIndex;
    }
    // "FileIndex:FileFrameIndex:FileOffset" in decimal, e.g. "1:42:9876".
    std::string DictionaryKey() const;
};

// General frame statistics of one capture file.
struct tGeneralTraceStats {
    tFrameTimeStamp FirstFrameTime;
    uint64_t FirstFrameOffset = 0;
    tFrameTimeStamp LastFrameTime;
    uint64_t LastFrameOffset = 0;
    int32_t MinFrameSize = 10000;
    int32_t MaxFrameSize = 0;
    int32_t AverageFrameSize = 0;
    int32_t FrameCount = 0;
    int64_t TotalFrameBytes = 0;
    int64_t TotalWireBytes = 0;
    bool isSliced = false;
    bool SliceSizeConstant = true;
    int32_t SliceSize = 0;
    bool TimeOrderCorrect = true;
    int32_t OutOfTimeFrames = 0;

    void initialize() { *this = tGeneralTraceStats{}; }
    bool operator==(const tGeneralTraceStats&) const = default;
};

}  // namespace morwick
