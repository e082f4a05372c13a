#pragma once
// One captured frame as a loader hands it out: origin in the file, sizes, link type,
// interface, time stamp and the frame's own copy of its captured bytes.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/chunk.h"
#include "base/codes.h"
#include "base/datetime.h"
#include "base/timestamps.h"
#include "platform/guid.h"

namespace morwick {

// Largest number of captured bytes a frame holds.
inline constexpr uint32_t MaxFrameCaptureSize = 65535;
// A full-size frame buffer (for callers that want the Buffer copy).
using tRawBuffer = std::array<uint8_t, 65536>;

enum tTracefileFrameType : uint8_t {
    tftNone, tftUnknown, tftENC, tftCAP, tftPCAP, tftPCAPngSimple, tftPCAPngDeprecated, tftPCAPngEnhanced
};

// The time of a frame as the loaders compute it: AbsoluteTime gives the date, TraceTicks
// (microseconds since midnight of that date, whole days included) the time of day and
// the sub-second part, NanoTicks the nanoseconds below the microsecond.
struct tTimingDetails {
    tDateTime AbsoluteTime;
    int64_t TraceTicks = 0;
    uint16_t NanoTicks = 0;
};

struct tWireDetails {
    uint32_t LinkType = 0;
    uint32_t WireSize = 0;
    uint32_t CaptureSize = 0;
    uint32_t InterfaceID = 0;
    tGUID LinkID;
    uint64_t Dropped = 0;
    tFrameFlags FrameFlags;
    tTracefileFrameType FrameType = tftUnknown;
};

// A tick count split into whole days and the time of day.
struct tDeltaTickTime {
    int64_t deltaDay = 0;
    int64_t iHour = 0;
    int64_t iMin = 0;
    int64_t iSec = 0;
    int64_t iMicSec = 0;
    bool operator==(const tDeltaTickTime&) const = default;
};

// Splits microsecond ticks; negative ticks give all parts 0 (and a debug-log line when
// LogNegative is set).
tDeltaTickTime SplitTicks(int64_t Ticks, bool LogNegative = false);

class tRawFrame {
public:
    // Copies min(CaptureSize, 65535) bytes from FrameBuffer; bytes the buffer does not
    // hold are zero. Loaders pass the bytes straight from the mapped file.
    tRawFrame(const tTimingDetails& TimeDetails, const tWireDetails& WireDetails,
              const tFileFrameLocation& FilePosition, std::span<const uint8_t> FrameBuffer,
              bool DoNotInitRawBuffer = true);
    // A copy with optionally a forced wire size and a smaller captured size (0 = keep).
    // The filter label, the stored CRC, the cached MD5 hash and the buffer-init flag are
    // not copied.
    tRawFrame(const tRawFrame& CopyFromFrame, uint32_t ForceWireSize = 0, uint32_t ForceCaptureSize = 0);
    tRawFrame(tRawFrame&&) noexcept = default;
    tRawFrame& operator=(const tRawFrame&) = delete;
    tRawFrame& operator=(tRawFrame&&) noexcept = default;
    ~tRawFrame() = default;

    // Bounded little-endian reads of the captured bytes. Out of range (or after
    // DiscardFrameData): tAssertionError "Invalid offset <Offset>, frame only has
    // <wCaptureSize> captured bytes (tRawFrame.getByte)" (.getWord, .getLongWord).
    uint8_t getByte(int32_t Offset) const;
    uint16_t getWord(int32_t Offset) const;
    uint32_t getLongWord(int32_t Offset) const;

    // A copy of Length bytes from FromOffset (0 = up to the end), cut at the captured
    // size; empty when nothing is left or FromOffset lies outside the bytes.
    tFrameChunk FrameDataAsChunk(int32_t FromOffset, int32_t Length) const;

    bool FrameDataIsEqualTo(const tRawFrame& CompareFrame) const;
    bool isEqualTo(const tRawFrame& CompareFrame) const;
    bool operator==(const tRawFrame& o) const { return isEqualTo(o); }

    void UpdateTimestamp(const tFrameTimeStamp& NewTimestamp);
    void DiscardFrameData();

    // The stored frame check sequence, or the CRC-32 of all captured bytes but the last
    // four with its bytes reversed (comparable with an FCS read big-endian).
    uint32_t CRC32() const;
    void SetCRC32(uint32_t value) { lwCRC32 = value; }
    // MD5 of the captured bytes, 32 upper-case hex digits, computed once.
    std::string_view MD5Hash() const;

    // Fills Buffer: zeroed unless the frame was created with DoNotInitRawBuffer, then
    // the captured bytes from offset 0.
    void Buffer(tRawBuffer& out) const;

    int64_t Ticks() const { return i64Ticks; }
    int32_t TracefileID() const { return iTracefileIndex; }
    int32_t OriginalTracefileID() const { return iOriginalTracefileIndex; }
    uint64_t FileFrameID() const { return iFileFrameIndex; }
    tFileFrameLocation FilePosition() const {
        return tFileFrameLocation{iTracefileIndex, static_cast<int64_t>(iFileFrameIndex), iFileOffset};
    }
    uint32_t FrameSize() const { return wCaptureSize; }
    uint32_t WireSize() const { return wWireSize; }
    void SetWireSize(uint32_t value) { wWireSize = value; }
    int64_t FileOffset() const { return iFileOffset; }
    tDeltaTickTime TickTime() const { return SplitTicks(i64Ticks); }
    const tFrameTimeStamp& Timestamp() const { return FrameTimestamp; }
    uint32_t LinkType() const { return lwLinkType; }
    uint32_t InterfaceID() const { return InterfaceIndex; }
    void SetInterfaceID(uint32_t value) { InterfaceIndex = value; }
    const tFrameFlags& FrameFlags() const { return priv_FrameFlags; }
    tTracefileFrameType FrameFileType() const { return FrameType; }
    void SetFrameFileType(tTracefileFrameType value) { FrameType = value; }
    uint64_t DropCount() const { return iDropped; }
    uint8_t BufferFlags() const { return bBufferFlags; }
    // The captured bytes; null after DiscardFrameData or for an empty frame.
    const uint8_t* Data() const { return pFrameData.get(); }
    std::span<const uint8_t> Bytes() const {
        return pFrameData ? std::span<const uint8_t>(pFrameData.get(), wCaptureSize) : std::span<const uint8_t>();
    }
    std::vector<std::string>& Commentlist() { return priv_commentlist; }
    const std::vector<std::string>& Commentlist() const { return priv_commentlist; }
    void SetCommentlist(std::vector<std::string> value) { priv_commentlist = std::move(value); }
    const tGUID& InterfaceLinkID() const { return priv_InterfaceLinkID; }
    void SetInterfaceLinkID(const tGUID& value) { priv_InterfaceLinkID = value; }
    const std::string& FilterLabel() const { return priv_filterlabel; }
    void SetFilterLabel(std::string value) { priv_filterlabel = std::move(value); }

private:
    [[noreturn]] void RaiseInvalidOffset(int32_t Offset, const char* Routine) const;
    bool InRange(int32_t Offset, uint32_t Size) const {
        return pFrameData && Offset >= 0 && static_cast<uint64_t>(Offset) + Size <= wCaptureSize;
    }

    int32_t iOriginalTracefileIndex = 0;
    uint64_t iFileFrameIndex = 0;
    int64_t iFileOffset = 0;
    bool priv_donotinitrawbuffer = false;
    tGUID priv_InterfaceLinkID;
    std::string priv_filterlabel;
    int32_t iTracefileIndex = 0;
    uint32_t lwLinkType = 0;
    uint32_t wCaptureSize = 0;
    uint32_t wWireSize = 0;
    int64_t i64Ticks = 0;
    uint8_t bBufferFlags = 0;
    tFrameTimeStamp FrameTimestamp;
    uint32_t InterfaceIndex = 0;
    tFrameFlags priv_FrameFlags;
    uint64_t iDropped = 0;
    tTracefileFrameType FrameType = tftUnknown;
    std::unique_ptr<uint8_t[]> pFrameData;
    uint32_t lwCRC32 = 0;
    mutable std::array<char, 32> prot_MD5Hash{};
    mutable bool priv_md5cached = false;
    std::vector<std::string> priv_commentlist;
};

}  // namespace morwick
