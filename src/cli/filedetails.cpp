#include "cli/filedetails.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>

#include "base/rawframe.h"
#include "platform/filesystem.h"
#include "platform/md5.h"

namespace morwick {
namespace {

constexpr int64_t SignatureWindow = 65535;

class tReadOnlyFile {
public:
    explicit tReadOnlyFile(const std::string& name) : fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~tReadOnlyFile() {
        if (fd >= 0) ::close(fd);
    }
    tReadOnlyFile(const tReadOnlyFile&) = delete;
    tReadOnlyFile& operator=(const tReadOnlyFile&) = delete;
    int fd;
};

}  // namespace

bool ComputeFileSignature(const std::string& Filename, int64_t FileSize, std::string& Signature) {
    tReadOnlyFile file(Filename);
    if (file.fd < 0) return false;
    std::array<uint8_t, SignatureWindow> data{};
    // The window is centred on the middle of the file; small files are read from the start.
    int64_t position = FileSize / 2 - 32767;
    if (position < 0) position = 0;
    size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = ::pread(file.fd, data.data() + got, data.size() - got,
                                  static_cast<off_t>(position + static_cast<int64_t>(got)));
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    if (got < 9) {
        got = 8;
        data.fill(0);
    }
    // The size takes the place of the first 8 bytes, so files that differ only in length differ.
    const uint64_t size = static_cast<uint64_t>(FileSize);
    for (int i = 0; i < 8; ++i) data[static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (8 * i));
    Signature = MD5DigestToHex(MD5Digest(std::span<const uint8_t>(data.data(), got)), true);
    return true;
}

void tFileDetails::Determine(const std::string& Filename, bool SkipFileSig) {
    initialize();
    tLocalFileTimes times;
    const int64_t size = GetFileSize(Filename);
    if (size < 0 || !FileExists(Filename) || !GetLocalFileTimes(Filename, times)) return;
    FileSize = size;
    FileCreated = LocalMsToDateTime(times.Created);
    FileModified = LocalMsToDateTime(times.Modified);
    FileAccessed = LocalMsToDateTime(times.Accessed);
    if (!SkipFileSig) {
        if (!ComputeFileSignature(Filename, FileSize, FileSignature)) {
            initialize();
            return;
        }
        FileScanned = LocalMsToDateTime(LocalNowMs());
    }
}

void InitTraceStats(tGeneralTraceStats& Stats) { Stats.initialize(); }

void UpdateTraceStats(tGeneralTraceStats& Stats, const tRawFrame& Frame) {
    UpdateTraceStats(Stats, Frame.Timestamp(), Frame.FileFrameID(), Frame.FileOffset(),
                     Frame.WireSize(), Frame.FrameSize());
}

void UpdateTraceStats(tGeneralTraceStats& Stats, const tFrameTimeStamp& Timestamp,
                      uint64_t FileFrameNumber, int64_t FileOffset, uint32_t WireSize,
                      uint32_t CaptureSize) {
    const uint64_t offset = static_cast<uint64_t>(FileOffset);
    if (Stats.FirstFrameOffset == 0) {
        Stats.FirstFrameTime = Timestamp;
        Stats.FirstFrameOffset = offset;
    }
    if (FileFrameNumber > 1 && Timestamp < Stats.LastFrameTime) {
        Stats.TimeOrderCorrect = false;
        ++Stats.OutOfTimeFrames;
    }
    Stats.LastFrameTime = Timestamp;
    Stats.LastFrameOffset = offset;

    // Wire sizes are 32-bit unsigned; the stored sizes are signed, so huge values saturate.
    const int32_t wire = WireSize > static_cast<uint32_t>(INT32_MAX) ? INT32_MAX
                                                                     : static_cast<int32_t>(WireSize);
    const int32_t captured = static_cast<int32_t>(std::min<uint32_t>(CaptureSize, INT32_MAX));
    Stats.MinFrameSize = std::min(Stats.MinFrameSize, wire);
    Stats.MaxFrameSize = std::max(Stats.MaxFrameSize, wire);

    if (WireSize > CaptureSize) {
        if (!Stats.isSliced) {
            Stats.isSliced = true;
            Stats.SliceSizeConstant = true;
            Stats.SliceSize = captured;
        } else if (captured != Stats.SliceSize) {
            Stats.SliceSizeConstant = false;
            Stats.SliceSize = 0;
        }
    } else if (Stats.isSliced && wire > Stats.SliceSize) {
        Stats.SliceSizeConstant = false;
    }

    Stats.TotalWireBytes += WireSize;
    Stats.TotalFrameBytes += CaptureSize;
}

void FinishTraceStats(tGeneralTraceStats& Stats, int64_t FrameCount) {
    Stats.FrameCount = static_cast<int32_t>(std::min<int64_t>(FrameCount, INT32_MAX));
    Stats.AverageFrameSize =
        FrameCount > 0 ? static_cast<int32_t>(Stats.TotalFrameBytes / FrameCount) : 0;
}

std::string RelativePath(std::string_view Text, std::string_view Prefix, bool IgnoreCase) {
    const size_t pos = IgnoreCase ? LowerCase(Text).find(LowerCase(Prefix)) : Text.find(Prefix);
    if (pos == std::string_view::npos) return {};
    return std::string(Text.substr(pos + Prefix.size()));
}

std::string ThousandsText(int64_t Value) {
    // Work on the magnitude as unsigned so the most negative value has a text too.
    uint64_t magnitude = Value < 0 ? 0 - static_cast<uint64_t>(Value) : static_cast<uint64_t>(Value);
    std::string reversed;
    int digits = 0;
    do {
        if (digits > 0 && digits % 3 == 0) reversed.push_back(',');
        reversed.push_back(static_cast<char>('0' + magnitude % 10));
        magnitude /= 10;
        ++digits;
    } while (magnitude != 0);
    if (Value < 0) reversed.push_back('-');
    return std::string(reversed.rbegin(), reversed.rend());
}

}  // namespace morwick
