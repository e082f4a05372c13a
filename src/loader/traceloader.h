#pragma once
// The trace loader framework: a loader maps a capture file read-only, parses its header
// once and then hands out its frames batch by batch. One subclass per file format; the
// factory picks the subclass by the file's first bytes.
//
// Typical use:
//   auto loader = createTraceLoader(name, 0, cfUnknown);   // null: unknown format
//   loader->SetMaxFramesInMem(65536);
//   loader->openFile();
//   loader->readTraceFileheader();
//   for (;;) {
//       loader->readBatchFromDisk();
//       int32_t n = loader->FramesAvailable();
//       if (n == 0) break;
//       for (int32_t i = 1; i <= n; ++i) { tRawFrame f = loader->getRawFrame(i); ... }
//       progress = loader->Position() * 100 / loader->Filesize();
//   }
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/codes.h"
#include "base/datetime.h"
#include "base/diagnostics.h"
#include "base/rawframe.h"
#include "loader/duplicates.h"
#include "loader/interfacelist.h"
#include "loader/timezonehandler.h"
#include "platform/guid.h"
#include "platform/mappedfile.h"

namespace morwick {

enum tCaptureFileType : uint8_t { cfNone, cfUnknown, cfENC, cfCAP, cfPCAP, cfPCAPng };

enum tLoaderStatus : uint8_t {
    lsSuccess, lsUnknown, lsGeneralWarning, lsWrongHeader, lsGeneralError, lsIncompleteFile, lsReadFailed, lsAbort
};

// One non-fatal finding of a loader.
struct tTraceLoaderMessage {
    tMsgSeverity Severity = msNone;
    int64_t FrameIndex = 0;  // the frame the message is about; 0 for none
    std::string MessageText;
    std::string CodeLocation;  // "tPCAPLoader.ParseFrameFromOffset"
};
// Its size is the capacity; the loader's message count says how many entries are in use.
using tLoaderMessageList = std::vector<tTraceLoaderMessage>;

struct tSecretsRecord {
    tSecretsType SecretsType = pngstUnknown;
    std::string KeyLogFile;
};

class tTraceLoader;
using tLoaderMessageEvent = std::function<void(tTraceLoader& Sender, const tTraceLoaderMessage& Message)>;

class tTraceLoader {
public:
    // Most frames a batch may hold, and the default bound.
    static constexpr int32_t MaxFramesInMemLimit = 10'000'000;
    static constexpr int32_t DefaultMaxFramesInMem = 10'000;
    static constexpr int32_t MessageListGrowth = 100;
    // Bytes of frame copies after which a limited batch is full, whatever its frame count.
    static constexpr int64_t MaxBatchBytes = int64_t{16} << 20;

    tTraceLoader(std::string Filename, int32_t FileIndex, bool OwnsInterfacelist);
    virtual ~tTraceLoader();
    tTraceLoader(const tTraceLoader&) = delete;
    tTraceLoader& operator=(const tTraceLoader&) = delete;

    // ---- format-specific operations ----
    virtual tCaptureFileType FileFormat() const = 0;
    // Parses the record at FileOffset: advances FileOffset past the record header and
    // creates the frame; no frame when the record cannot become one.
    virtual std::optional<tRawFrame> ParseFrameFromOffset(int64_t FrameIndex, int64_t& FileOffset) = 0;
    // Parses the file header at offset 0 and leaves the read position at the first record.
    virtual void readTraceFileheader() = 0;
    // Replaces the batch with the next frames of the file (at most MaxFramesInMem when
    // FramesInMemLimited). A batch that comes back empty means the file is done.
    virtual void readBatchFromDisk() = 0;
    // The frame with the 1-based number, found by walking the records from the first.
    virtual std::optional<tRawFrame> readSingleFrameFromDisk(int64_t FrameIndex) = 0;
    // The frame whose record starts at Offset.
    virtual std::optional<tRawFrame> readSingleFrameByOffset(int64_t Offset, int64_t FrameIndex) = 0;

    // ---- file ----
    // Maps the file. False for a missing file (with a "file not found" message) and for
    // an empty one; tInOutError "Error: File mapping failed (traceloader.openFile)." when
    // the file cannot be mapped.
    bool openFile();
    void closeFile();

    // ---- batch ----
    void clearFramelist();
    // Files a frame of the current batch, unless the duplicate check drops it.
    void addRawFrame(tRawFrame&& newFrame);
    // Takes the frame at the 1-based index out of the batch; the caller owns it from now
    // on. Outside 1 to the batch size: tInOutError "Error: frame index out of bounds:
    // <index> (max: <count>) (traceloader.getRawFrame).".
    tRawFrame getRawFrame(int32_t index);
    // Looks at a batch frame without taking it (same index rule as getRawFrame).
    const tRawFrame& FrameAt(int32_t index) const;
    // Frames in the current batch.
    int32_t FramesAvailable() const;
    void SetMaxFramesInMem(int32_t Value);
    // The interface of the batch frame at the 1-based index; null when there is none.
    tCaptureInterface* getInterfaceForFrameByFrameIndex(int32_t FrameIndex) const;
    // 1-based; outside 1 to SecretsCount: tAssertionError
    // "Invalid Index (tTraceLoader.getSecretsRecord)".
    const tSecretsRecord& getSecretsRecord(int32_t Index) const;

    // ---- messages ----
    void addLoaderMessage(tMsgSeverity Severity, std::string MessageText, std::string_view CodeLocation,
                          int64_t FrameIndex);

    // ---- properties ----
    const tLoaderMessageEvent& onLoadMessage() const { return EventLoaderMessage; }
    void SetOnLoadMessage(tLoaderMessageEvent value) { EventLoaderMessage = std::move(value); }
    const std::string& Filename() const { return sTracefilename; }
    int32_t FileNumber() const { return iFileNumber; }
    tDateTime StartDateTime() const { return TraceDateTime; }
    int64_t Filesize() const { return iFileSize; }
    // File offset of the read position in bytes: the start of the next record to read.
    int64_t Position() const { return iBatchFileOffset; }
    bool FramesInMemLimited() const { return boFrameMemLimited; }
    void SetFramesInMemLimited(bool value) { boFrameMemLimited = value; }
    int32_t MaxFramesInMem() const { return iMaxFramesInMem; }
    int32_t FrameDuplicatesFound() const { return iFramesTossed; }
    int64_t TotalFramesRead() const { return iTotalFramesRead; }
    int32_t TotalFramesSkipped() const { return iFramesSkipped; }
    int32_t TotalFramesUnknown() const { return iFramesUnknown; }
    int32_t TotalFrameDuplicatesFound() const { return iTotalFramesTossed; }
    uint32_t LineSpeed() const { return lwLineSpeed; }
    uint8_t Channels() const { return bChannelCount; }
    bool EndOfFile() const { return boEOF; }  // "EOF" is a C macro
    bool ReadFailed() const { return boReadFailed; }
    bool HeaderRead() const { return boHeaderRead; }
    int32_t FPS() const { return iFPS; }
    int32_t UTCDelta() const { return iUTCDelta; }
    void SetUTCDelta(int32_t value) { iUTCDelta = value; }
    tLoaderStatus Status() const { return LoaderStatus; }
    uint32_t LinkType() const { return prot_LinkType; }
    uint8_t Precision() const { return bPrecision; }
    bool FrameSlicing() const { return boFrameSlicing; }
    bool LocalFramesCaptured() const { return boLocalFramesCaptured; }
    // 0 "NDIS", 2 "GigPod", 3 "OtherPod", 5 "OtherPod2", 6 "GE10/GE20", -1 "Unknown",
    // other values "Unknown (<n>)".
    std::string CaptureModule() const;
    const tLoaderMessageList& MessageList() const { return LoaderMessageList; }
    int32_t MessageCount() const { return LoaderMessageCount; }
    tDateTime FileTimeStamp() const { return dtTimestamp; }
    tDupeCheckMethod DupeCheckMethod() const { return DupeCheckMode; }
    void SetDupeCheckMethod(tDupeCheckMethod value) {
        DupeCheckMode = value;
        DupeHandler.DupeCheckMode = value;
    }
    int32_t DupeHistoryTimeLimit() const { return DupeHandler.iMaxTimeDelta; }
    void SetDupeHistoryTimeLimit(int32_t value) { DupeHandler.iMaxTimeDelta = value; }
    int32_t DupeHistoryFrameLimit() const { return DupeHandler.iMaxHistorySize; }
    void SetDupeHistoryFrameLimit(int32_t value) { DupeHandler.iMaxHistorySize = value; }
    tCaptureInterfaceList& CaptureInterfaces() { return InterfaceList; }
    const tCaptureInterfaceList& CaptureInterfaces() const { return InterfaceList; }
    std::vector<std::string>& HeaderComments() { return HeaderCommentList; }
    const std::vector<std::string>& Hardware() const { return HardwareInfoList; }
    const std::vector<std::string>& OperatingSystem() const { return OperatingSystemList; }
    const std::vector<std::string>& Userapplication() const { return UserApplicationList; }
    bool FixLoadErrors() const { return prot_FixLoadErrors; }
    void SetFixLoadErrors(bool value) { prot_FixLoadErrors = value; }
    int32_t SecretsCount() const { return static_cast<int32_t>(SecretsRecords.size()); }
    const tGUID& CaptureSystemID() const { return CaptureSystemGUID; }
    tTimeZoneHandler& TimeZone() { return TimeZoneHandler; }

protected:
    // Start of the mapped view (null when nothing is mapped) and the bytes left from a
    // file offset to the end of the file (0 when the offset lies outside the file).
    const uint8_t* prot_Data() const { return pData; }
    uint64_t prot_BytesLeft(int64_t FileOffset) const {
        return FileOffset < 0 || FileOffset >= iFileSize ? 0 : static_cast<uint64_t>(iFileSize - FileOffset);
    }
    // Steps every batch reader takes first (empties the batch, resets the batch counters,
    // notes the start time) and last (frames per second).
    void prot_BeginBatch();
    void prot_FinishBatch();
    // True when the batch has reached its frame bound, or holds MaxBatchBytes of frame
    // copies (so that batches of large frames stay small in memory too).
    bool prot_BatchFull() const {
        return boFrameMemLimited && (iFramesAvailable >= iMaxFramesInMem || priv_batchBytes >= MaxBatchBytes);
    }
    // UTC seconds since 1970 turned into the seconds of the frame's clock: shifted by
    // the whole hours of UTCDelta when it is set, else into local time by the bias of
    // the instant.
    int64_t prot_LocalSeconds(int64_t utcSeconds) {
        if (iUTCDelta != 0) return utcSeconds + static_cast<int64_t>(iUTCDelta) * 3600;
        return utcSeconds - TimeZoneHandler.GetBiasSecondsForUnixTime(utcSeconds);
    }

    tLoaderMessageEvent EventLoaderMessage;
    tMappedFile priv_map;
    const uint8_t* pData = nullptr;
    std::string sTracefilename;
    int32_t iFileNumber;
    tDateTime TraceDateTime;
    int64_t iFileSize = 0;
    uint32_t lwFramesInFile = 0;
    int64_t iBatchFileOffset = 0;
    bool boEOF = false;
    bool boReadFailed = false;
    bool boFrameMemLimited = true;
    int32_t iMaxFramesInMem = DefaultMaxFramesInMem;
    tLoaderStatus LoaderStatus = lsSuccess;
    int32_t iUTCDelta = 0;
    uint32_t lwLineSpeed = 0;
    int32_t iFramePos = 0;
    int32_t iFramesAvailable = 0;
    int64_t priv_batchBytes = 0;  // captured bytes of the frames in the batch
    int64_t iTotalFramesRead = 0;
    int32_t iFramesSkipped = 0;
    int32_t iFramesUnknown = 0;
    int32_t iFPS = 0;
    std::vector<tRawFrame> FrameList_ValidFrames;
    tLoaderMessageList LoaderMessageList;
    int32_t LoaderMessageCount = 0;
    double dTraceTimeUnit = 0.0;
    bool boFrameSlicing = false;
    bool boLocalFramesCaptured = false;
    uint8_t bBladeCount = 1;
    bool bS6000BladeActive[5] = {false, false, false, false, false};  // indexed 1 to 4
    uint8_t bChannelCount = 0;
    uint8_t bPrecision = 0;
    int8_t iCaptureModule = -1;
    bool boHeaderRead = false;
    tDateTime dtTimestamp;
    tDupeCheckMethod DupeCheckMode = dcNone;
    int32_t iFramesDropped = 0;
    int32_t iTotalFramesDropped = 0;
    int32_t iFramesTossed = 0;
    int32_t iTotalFramesTossed = 0;
    uint32_t prot_LinkType = 0;
    tDupeChecker DupeHandler{dcNone, 20, 1000};
    bool prot_FixLoadErrors = true;
    int32_t InterfaceCount = -1;
    tCaptureInterfaceList InterfaceList;
    std::vector<std::string> HeaderCommentList;
    std::vector<std::string> HardwareInfoList;
    std::vector<std::string> OperatingSystemList;
    std::vector<std::string> UserApplicationList;
    std::vector<tSecretsRecord> SecretsRecords;
    tGUID CaptureSystemGUID;
    tTimeZoneHandler TimeZoneHandler;

private:
    int64_t priv_batchStartMs = 0;
};

// The format of a file by its first bytes; cfUnknown for an unrecognised or unreadable
// file. An empty file, and a shorter one that starts like one, is taken for Sniffer ENC.
tCaptureFileType getCaptureFileType(const std::string& FileName);
// The format by the first bytes themselves (up to 16 are looked at).
tCaptureFileType CaptureFileTypeOfBytes(std::span<const uint8_t> FirstBytes);

// A loader for the file: cfUnknown detects the format from the file's first bytes. Null
// for a format that has no loader.
std::unique_ptr<tTraceLoader> createTraceLoader(const std::string& FileName, int32_t FileIndex,
                                                tCaptureFileType FileType = cfUnknown);

}  // namespace morwick
