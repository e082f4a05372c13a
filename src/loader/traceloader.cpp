#include "loader/traceloader.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "base/errors.h"
#include "loader/loader_pcap.h"
#include "loader/loader_pcapng.h"
#include "platform/debuglog.h"

namespace morwick {

namespace {

int64_t SteadyNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Frames reserved for a batch up front; larger bounds grow the list as frames come.
constexpr int32_t BatchReserveLimit = 65'536;

}  // namespace

tTraceLoader::tTraceLoader(std::string Filename, int32_t FileIndex, bool OwnsInterfacelist)
    : sTracefilename(std::move(Filename)), iFileNumber(FileIndex), InterfaceList(OwnsInterfacelist) {
    LoaderMessageList.resize(MessageListGrowth);
}

tTraceLoader::~tTraceLoader() { closeFile(); }

bool tTraceLoader::openFile() {
    tLogMethodScope scope("tTraceLoader.openFile");
    if (pData != nullptr) LogWarning("Warning: file seems to be already mapped and reopened for a second time");
    closeFile();
    boEOF = false;
    boReadFailed = false;
    boHeaderRead = false;
    LoaderMessageCount = 0;
    LoaderMessageList.assign(MessageListGrowth, tTraceLoaderMessage{});

    switch (priv_map.Open(sTracefilename)) {
        case tMapResult::mrNotFound:
            addLoaderMessage(msCritical, "file not found", "tTraceLoader.OpenFile", 0);
            return false;
        case tMapResult::mrOpenFailed:
        case tMapResult::mrMapFailed:
            LogFatal("Error: Memory file mapping failed, pData is NIL (traceloader.openFile).");
            throw tInOutError("Error: File mapping failed (traceloader.openFile).");
        case tMapResult::mrOK:
            break;
    }
    iFileSize = static_cast<int64_t>(priv_map.Size());
    if (iFileSize == 0) {
        priv_map.Close();
        return false;
    }
    const int64_t mtimeMs = priv_map.ModifiedUnixMs();
    const int64_t mtimeSeconds = mtimeMs / 1000 - (mtimeMs % 1000 < 0 ? 1 : 0);
    dtTimestamp = tDateTime::FromUnixSeconds(0).AddMs(mtimeMs).AddSeconds(
        -TimeZoneHandler.GetBiasSecondsForUnixTime(mtimeSeconds));
    pData = priv_map.Data();
    return true;
}

void tTraceLoader::closeFile() {
    if (iFramesAvailable > 0) clearFramelist();
    priv_map.Close();
    pData = nullptr;
}

void tTraceLoader::clearFramelist() {
    FrameList_ValidFrames.clear();
    iFramesAvailable = 0;
}

void tTraceLoader::addRawFrame(tRawFrame&& newFrame) {
    if (DupeCheckMode != dcNone && DupeHandler.FrameIsDuplicate(newFrame)) {
        ++iFramesTossed;
        ++iTotalFramesTossed;
        return;  // the frame is released here
    }
    priv_batchBytes += newFrame.FrameSize();
    FrameList_ValidFrames.push_back(std::move(newFrame));
    ++iFramesAvailable;
}

tRawFrame tTraceLoader::getRawFrame(int32_t index) {
    const int32_t count = static_cast<int32_t>(FrameList_ValidFrames.size());
    if (index < 1 || index > count)
        throw tInOutError(
            fmt::format("Error: frame index out of bounds: {} (max: {}) (traceloader.getRawFrame).", index, count));
    return std::move(FrameList_ValidFrames[static_cast<size_t>(index - 1)]);
}

const tRawFrame& tTraceLoader::FrameAt(int32_t index) const {
    const int32_t count = static_cast<int32_t>(FrameList_ValidFrames.size());
    if (index < 1 || index > count)
        throw tInOutError(
            fmt::format("Error: frame index out of bounds: {} (max: {}) (traceloader.getRawFrame).", index, count));
    return FrameList_ValidFrames[static_cast<size_t>(index - 1)];
}

int32_t tTraceLoader::FramesAvailable() const {
    const auto listCount = FrameList_ValidFrames.size();
    if (static_cast<size_t>(iFramesAvailable) != listCount)
        throw tInOutError(fmt::format(
            "Error: Frame count mismatch: {} count <> {} in the frame list (traceloader.getNumOfFrameAvailable).",
            iFramesAvailable, listCount));
    return iFramesAvailable;
}

void tTraceLoader::SetMaxFramesInMem(int32_t Value) {
    iMaxFramesInMem = std::clamp(Value, 1, MaxFramesInMemLimit);
}

tCaptureInterface* tTraceLoader::getInterfaceForFrameByFrameIndex(int32_t FrameIndex) const {
    return InterfaceList.getInterfaceByIndex(FrameAt(FrameIndex).InterfaceID());
}

const tSecretsRecord& tTraceLoader::getSecretsRecord(int32_t Index) const {
    if (Index < 1 || Index > SecretsCount()) throw tAssertionError("Invalid Index (tTraceLoader.getSecretsRecord)");
    return SecretsRecords[static_cast<size_t>(Index - 1)];
}

std::string tTraceLoader::CaptureModule() const {
    switch (iCaptureModule) {
        case 0: return "NDIS";
        case 2: return "GigPod";
        case 3: return "OtherPod";
        case 5: return "OtherPod2";
        case 6: return "GE10/GE20";
        case -1: return "Unknown";
        default: return fmt::format("Unknown ({})", iCaptureModule);
    }
}

void tTraceLoader::addLoaderMessage(tMsgSeverity Severity, std::string MessageText, std::string_view CodeLocation,
                                    int64_t FrameIndex) {
    tTraceLoaderMessage message{Severity, FrameIndex, std::move(MessageText), std::string(CodeLocation)};
    if (EventLoaderMessage) EventLoaderMessage(*this, message);
    ++LoaderMessageCount;
    if (static_cast<size_t>(LoaderMessageCount) > LoaderMessageList.size())
        LoaderMessageList.resize(LoaderMessageList.size() + MessageListGrowth);
    LoaderMessageList[static_cast<size_t>(LoaderMessageCount - 1)] = std::move(message);
}

void tTraceLoader::prot_BeginBatch() {
    clearFramelist();
    if (FrameList_ValidFrames.capacity() == 0)
        FrameList_ValidFrames.reserve(static_cast<size_t>(std::min(iMaxFramesInMem, BatchReserveLimit)));
    priv_batchStartMs = SteadyNowMs();
    iFramesAvailable = 0;
    iFramesTossed = 0;
    priv_batchBytes = 0;
}

void tTraceLoader::prot_FinishBatch() {
    const int64_t seconds = (SteadyNowMs() - priv_batchStartMs) / 1000;
    iFPS = seconds < 1 ? iFramesAvailable : static_cast<int32_t>(iFramesAvailable / seconds);
    // The batch holds copies of its frames: the file's pages up to here are not read again.
    priv_map.ReleaseBefore(static_cast<uint64_t>(std::max<int64_t>(iBatchFileOffset, 0)));
}

tCaptureFileType CaptureFileTypeOfBytes(std::span<const uint8_t> FirstBytes) {
    static constexpr uint8_t ENCSignature[] = {'T', 'R', 'S', 'N', 'I', 'F', 'F', ' ', 'd',
                                               'a', 't', 'a', ' ', ' ', ' ', ' ', 0x1A};
    static constexpr uint8_t CAPSignature[] = {'X', 'C', 'P', 0x00};
    const size_t n = std::min<size_t>(FirstBytes.size(), 16);

    if (std::equal(FirstBytes.begin(), FirstBytes.begin() + static_cast<std::ptrdiff_t>(n), ENCSignature))
        return cfENC;
    const size_t capCount = std::min<size_t>(n, 4);
    if (std::equal(FirstBytes.begin(), FirstBytes.begin() + static_cast<std::ptrdiff_t>(capCount), CAPSignature))
        return cfCAP;
    if (n < 4) return cfUnknown;
    const uint32_t magic = static_cast<uint32_t>(FirstBytes[0]) | (static_cast<uint32_t>(FirstBytes[1]) << 8) |
                           (static_cast<uint32_t>(FirstBytes[2]) << 16) |
                           (static_cast<uint32_t>(FirstBytes[3]) << 24);
    switch (magic) {
        case 0x0A0D0D0A: return cfPCAPng;
        case 0xA1B2C3D4:
        case 0xD4C3B2A1:
        case 0xA1B23C4D:
        case 0x4D3CB2A1:
        case 0xA1B2CD34:
        case 0x34CDB2A1: return cfPCAP;
        default: return cfUnknown;
    }
}

tCaptureFileType getCaptureFileType(const std::string& FileName) {
    // Only regular files are read: a folder has no bytes and a named pipe would block.
    std::error_code error;
    if (!std::filesystem::is_regular_file(FileName, error)) return cfUnknown;
    std::FILE* file = std::fopen(FileName.c_str(), "rb");
    if (file == nullptr) return cfUnknown;
    uint8_t buffer[16];
    const size_t n = std::fread(buffer, 1, sizeof buffer, file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return cfUnknown;
    return CaptureFileTypeOfBytes(std::span<const uint8_t>(buffer, n));
}

std::unique_ptr<tTraceLoader> createTraceLoader(const std::string& FileName, int32_t FileIndex,
                                                tCaptureFileType FileType) {
    if (FileType == cfUnknown) FileType = getCaptureFileType(FileName);
    switch (FileType) {
        case cfPCAP: return std::make_unique<tPCAPLoader>(FileName, FileIndex, true);
        case cfPCAPng: return std::make_unique<tPCAPNGLoader>(FileName, FileIndex, true);
        // The Sniffer CAP and Sniffer ENC loaders join here, one line each.
        default: return nullptr;
    }
}

}  // namespace morwick
