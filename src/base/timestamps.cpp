#include "base/timestamps.h"

#include <fmt/format.h>

namespace morwick {

int64_t NanosecondsBetween(const tFrameTimeStamp& A, const tFrameTimeStamp& B) {
    // Whole seconds, truncated toward zero; frame date-times are whole seconds anyway.
    const int64_t seconds = (A.datetime.ms - B.datetime.ms) / 1000;
    return seconds * 1'000'000'000 + (static_cast<int64_t>(A.nanoseconds) - B.nanoseconds);
}

std::string ElapsedTimeAsString(int64_t nanoseconds) {
    const bool negative = nanoseconds < 0;
    // Work in unsigned so that the most negative value has a magnitude too.
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(nanoseconds) : static_cast<uint64_t>(nanoseconds);
    const uint64_t ns = magnitude % 1'000'000'000;
    const uint64_t totalSeconds = magnitude / 1'000'000'000;
    return fmt::format("{}{:02}:{:02}:{:02}.{:09}", negative ? "-" : "", totalSeconds / 3600, (totalSeconds / 60) % 60,
                       totalSeconds % 60, ns);
}

std::string ElapsedTimeAsString(const tFrameTimeStamp& elapsed) {
    return ElapsedTimeAsString(elapsed.datetime.ms * 1'000'000 + elapsed.nanoseconds);
}

tFrameTimeStamp NTPTimeStampToFrameTimeStamp(uint64_t ntp) {
    static const tDateTime ntpEpoch = tDateTime::Encode(1900, 1, 1);
    const auto seconds = static_cast<int64_t>(ntp >> 32);
    const auto fraction = static_cast<uint32_t>(ntp & 0xFFFFFFFF);
    tFrameTimeStamp result;
    result.datetime = ntpEpoch.AddMs(seconds * 1000);
    result.nanoseconds = static_cast<int32_t>(fraction / 4294967296.0 * 1'000'000'000.0);
    return result;
}

std::string tFileFrameLocation::DictionaryKey() const {
    return fmt::format("{}:{}:{}", FileIndex, FileFrameIndex, FileOffset);
}

}  // namespace morwick
