#pragma once
// Size, dates and content signature of a capture file on disk, and the small helpers the
// scan driver uses.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/datetime.h"
#include "base/timestamps.h"

namespace morwick {

struct tFileDetails {
    int64_t FileSize = 0;
    tDateTime FileCreated;   // local time
    tDateTime FileModified;  // local time
    tDateTime FileAccessed;  // local time
    std::string FileSignature;
    tDateTime FileScanned;   // when the signature was made

    void initialize() { *this = tFileDetails{}; }
    // Reads size and dates of a file and, unless SkipFileSig, its signature. A missing
    // file or any failure leaves the record initialised.
    void Determine(const std::string& Filename, bool SkipFileSig);
};

// The content signature of a file of the given size: the MD5 (32 lower-case hexadecimal
// digits) of up to 65,535 bytes read from the middle of the file, the first 8 of them
// replaced by the size as a little-endian 64-bit value. False when the file cannot be read.
bool ComputeFileSignature(const std::string& Filename, int64_t FileSize, std::string& Signature);

// Local wall-clock milliseconds since 1970 (as the platform layer reports them) as a date-time.
inline tDateTime LocalMsToDateTime(int64_t localMs) {
    return tDateTime::FromMs(tDateTime::UnixEpochDays * tDateTime::MsPerDay + localMs);
}

// The part of Text after the first occurrence of Prefix (both lower-cased when IgnoreCase);
// "" when Prefix does not occur.
std::string RelativePath(std::string_view Text, std::string_view Prefix, bool IgnoreCase);

constexpr uint16_t Swap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }
constexpr uint32_t Swap32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}
constexpr uint64_t Swap64(uint64_t v) {
    return (static_cast<uint64_t>(Swap32(static_cast<uint32_t>(v))) << 32) |
           Swap32(static_cast<uint32_t>(v >> 32));
}

class tRawFrame;

// The general statistics of a file, filled frame by frame in file order.
void InitTraceStats(tGeneralTraceStats& Stats);
void UpdateTraceStats(tGeneralTraceStats& Stats, const tRawFrame& Frame);
// The same from the frame's values: its time stamp, its 1-based number in the file, the
// file offset of its record, its wire size and its captured size.
void UpdateTraceStats(tGeneralTraceStats& Stats, const tFrameTimeStamp& Timestamp,
                      uint64_t FileFrameNumber, int64_t FileOffset, uint32_t WireSize,
                      uint32_t CaptureSize);
// Sets the frame count and the average captured size (0 for a file without frames).
void FinishTraceStats(tGeneralTraceStats& Stats, int64_t FrameCount);

// Decimal digits with "," between groups of three counted from the right ("-1,234,567").
std::string ThousandsText(int64_t Value);

}  // namespace morwick
