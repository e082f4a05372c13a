#include "base/rawframe.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

#include "base/checksums.h"
#include "base/errors.h"
#include "platform/md5.h"

namespace morwick {

namespace {

constexpr int64_t MicrosecondsPerSecond = 1'000'000;
constexpr int64_t MicrosecondsPerMinute = 60 * MicrosecondsPerSecond;
constexpr int64_t MicrosecondsPerHour = 60 * MicrosecondsPerMinute;
constexpr int64_t MicrosecondsPerDay = 24 * MicrosecondsPerHour;

// A fresh buffer of Size bytes holding the first bytes of Source; what Source lacks is
// zero. One allocation, no allocation for an empty frame.
std::unique_ptr<uint8_t[]> CopyBytes(std::span<const uint8_t> Source, uint32_t Size) {
    if (Size == 0) return nullptr;
    std::unique_ptr<uint8_t[]> data(new uint8_t[Size]);
    const size_t available = std::min<size_t>(Source.size(), Size);
    if (available > 0) std::memcpy(data.get(), Source.data(), available);
    if (available < Size) std::memset(data.get() + available, 0, Size - available);
    return data;
}

}  // namespace

tDeltaTickTime SplitTicks(int64_t Ticks, bool LogNegative) {
    tDeltaTickTime t;
    if (Ticks < 0) {
        if (LogNegative) spdlog::debug("Encountered negative i64Ticks value: {}", Ticks);
        return t;
    }
    t.iMicSec = Ticks % MicrosecondsPerSecond;
    t.iSec = (Ticks / MicrosecondsPerSecond) % 60;
    t.iMin = (Ticks / MicrosecondsPerMinute) % 60;
    t.iHour = (Ticks / MicrosecondsPerHour) % 24;
    t.deltaDay = Ticks / MicrosecondsPerDay;
    return t;
}

tRawFrame::tRawFrame(const tTimingDetails& TimeDetails, const tWireDetails& WireDetails,
                     const tFileFrameLocation& FilePosition, std::span<const uint8_t> FrameBuffer,
                     bool DoNotInitRawBuffer)
    : iOriginalTracefileIndex(FilePosition.FileIndex),
      iFileFrameIndex(static_cast<uint64_t>(FilePosition.FileFrameIndex)),
      iFileOffset(FilePosition.FileOffset),
      priv_donotinitrawbuffer(DoNotInitRawBuffer),
      priv_InterfaceLinkID(WireDetails.LinkID),
      iTracefileIndex(FilePosition.FileIndex),
      lwLinkType(WireDetails.LinkType),
      wCaptureSize(std::min(WireDetails.CaptureSize, MaxFrameCaptureSize)),
      wWireSize(WireDetails.WireSize),
      i64Ticks(TimeDetails.TraceTicks),
      InterfaceIndex(WireDetails.InterfaceID),
      priv_FrameFlags(WireDetails.FrameFlags),
      iDropped(WireDetails.Dropped),
      FrameType(WireDetails.FrameType) {
    // The date comes from AbsoluteTime (plus the whole days in the ticks), the time of
    // day and the sub-second part from the ticks.
    const tDeltaTickTime split = SplitTicks(i64Ticks, true);
    const tDateTime day = TimeDetails.AbsoluteTime.AddDays(split.deltaDay).DateOnly();
    FrameTimestamp.datetime = day.AddSeconds(split.iHour * 3600 + split.iMin * 60 + split.iSec);
    FrameTimestamp.nanoseconds = static_cast<int32_t>(split.iMicSec * 1000 + TimeDetails.NanoTicks);
    pFrameData = CopyBytes(FrameBuffer, wCaptureSize);
}

tRawFrame::tRawFrame(const tRawFrame& Source, uint32_t ForceWireSize, uint32_t ForceCaptureSize)
    : iOriginalTracefileIndex(Source.iOriginalTracefileIndex),
      iFileFrameIndex(Source.iFileFrameIndex),
      iFileOffset(Source.iFileOffset),
      priv_InterfaceLinkID(Source.priv_InterfaceLinkID),
      iTracefileIndex(Source.iTracefileIndex),
      lwLinkType(Source.lwLinkType),
      wCaptureSize(ForceCaptureSize != 0 ? std::min(Source.wCaptureSize, ForceCaptureSize) : Source.wCaptureSize),
      wWireSize(ForceWireSize != 0 ? ForceWireSize : Source.wWireSize),
      i64Ticks(Source.i64Ticks),
      bBufferFlags(Source.bBufferFlags),
      FrameTimestamp(Source.FrameTimestamp),
      InterfaceIndex(Source.InterfaceIndex),
      priv_FrameFlags(Source.priv_FrameFlags),
      iDropped(Source.iDropped),
      FrameType(Source.FrameType),
      priv_commentlist(Source.priv_commentlist) {
    pFrameData = CopyBytes(Source.Bytes(), wCaptureSize);
}

void tRawFrame::RaiseInvalidOffset(int32_t Offset, const char* Routine) const {
    throw tAssertionError(
        fmt::format("Invalid offset {}, frame only has {} captured bytes (tRawFrame.{})", Offset, wCaptureSize, Routine));
}

uint8_t tRawFrame::getByte(int32_t Offset) const {
    if (!InRange(Offset, 1)) RaiseInvalidOffset(Offset, "getByte");
    return pFrameData[Offset];
}

uint16_t tRawFrame::getWord(int32_t Offset) const {
    if (!InRange(Offset, 2)) RaiseInvalidOffset(Offset, "getWord");
    const uint8_t* p = pFrameData.get() + Offset;
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t tRawFrame::getLongWord(int32_t Offset) const {
    if (!InRange(Offset, 4)) RaiseInvalidOffset(Offset, "getLongWord");
    const uint8_t* p = pFrameData.get() + Offset;
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

tFrameChunk tRawFrame::FrameDataAsChunk(int32_t FromOffset, int32_t Length) const {
    tFrameChunk chunk;
    const std::span<const uint8_t> bytes = Bytes();
    if (FromOffset < 0 || static_cast<uint64_t>(FromOffset) >= bytes.size()) return chunk;
    const int64_t left = static_cast<int64_t>(bytes.size()) - FromOffset;
    const int64_t n = Length != 0 ? std::min<int64_t>(Length, left) : left;
    if (n > 0) chunk.copyFrom(bytes.data() + FromOffset, static_cast<int32_t>(n));
    return chunk;
}

bool tRawFrame::FrameDataIsEqualTo(const tRawFrame& o) const {
    if (wCaptureSize != o.wCaptureSize) return false;
    const auto a = Bytes(), b = o.Bytes();
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

bool tRawFrame::isEqualTo(const tRawFrame& o) const {
    return priv_InterfaceLinkID == o.priv_InterfaceLinkID && iTracefileIndex == o.iTracefileIndex &&
           iFileFrameIndex == o.iFileFrameIndex && iFileOffset == o.iFileOffset && wCaptureSize == o.wCaptureSize &&
           wWireSize == o.wWireSize && i64Ticks == o.i64Ticks && priv_FrameFlags == o.priv_FrameFlags &&
           bBufferFlags == o.bBufferFlags && FrameTimestamp == o.FrameTimestamp &&
           InterfaceIndex == o.InterfaceIndex && iDropped == o.iDropped && FrameType == o.FrameType &&
           FrameDataIsEqualTo(o);
}

void tRawFrame::UpdateTimestamp(const tFrameTimeStamp& NewTimestamp) {
    spdlog::debug("Updating Frametime");
    FrameTimestamp = NewTimestamp;
}

void tRawFrame::DiscardFrameData() { pFrameData.reset(); }

uint32_t tRawFrame::CRC32() const {
    if (lwCRC32 != 0) return lwCRC32;
    const auto bytes = Bytes();
    const size_t covered = bytes.size() >= 4 ? bytes.size() - 4 : 0;
    const uint32_t crc = CalculateCRC32(bytes.first(covered));
    // Reversed so that it equals a frame check sequence read big-endian from the frame.
    return (crc >> 24) | ((crc >> 8) & 0x0000FF00) | ((crc << 8) & 0x00FF0000) | (crc << 24);
}

std::string_view tRawFrame::MD5Hash() const {
    if (!priv_md5cached) {
        MD5DigestToHex(MD5Digest(Bytes()), std::span<char, 32>(prot_MD5Hash));
        priv_md5cached = true;
    }
    return std::string_view(prot_MD5Hash.data(), prot_MD5Hash.size());
}

void tRawFrame::Buffer(tRawBuffer& out) const {
    if (!priv_donotinitrawbuffer) out.fill(0);
    const auto bytes = Bytes();
    std::copy(bytes.begin(), bytes.end(), out.begin());
}

}  // namespace morwick
