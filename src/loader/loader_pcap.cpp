#include "loader/loader_pcap.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "base/errors.h"
#include "loader/bytereader.h"

namespace morwick {

namespace {

constexpr std::string_view HeaderLocation = "tPCAPLoader.readTraceFileheader";
constexpr std::string_view FrameLocation = "tPCAPLoader.ParseFrameFromOffset";
constexpr std::string_view BatchLocation = "tPCAPLoader.readBatchFromDisk";

constexpr const char* TooShortText = "Error: PCAP file too short (PCAPLoader.readTraceFileheader).";
constexpr const char* UnexpectedEndText = "Error: unexpected end of PCAP file (PCAPLoader.readBatchFromDisk).";

// Offsets in the global header.
constexpr size_t GHMajorVersion = 4;
constexpr size_t GHMinorVersion = 6;
constexpr size_t GHSnapLength = 16;
constexpr size_t GHNetworkType = 20;
// Offsets in the record header.
constexpr size_t RHSeconds = 0;
constexpr size_t RHSubSeconds = 4;
constexpr size_t RHCapturedLength = 8;
constexpr size_t RHOriginalLength = 12;

constexpr int64_t SecondsPerDay = 86'400;
constexpr int64_t MicrosecondsPerSecond = 1'000'000;

struct tMagicEntry {
    uint32_t Magic;  // the first four bytes read little-endian
    bool ByteSwapped;
    bool Modified;
    uint8_t Precision;  // 2 microseconds, 3 nanoseconds
    const char* Message;
};

constexpr tMagicEntry MagicTable[] = {
    {0xA1B2C3D4, false, false, 2, "PCAP Format found: Standard"},
    {0xD4C3B2A1, true, false, 2, "PCAP Format found: Standard Byte Swapped"},
    {0xA1B2CD34, false, true, 2, "PCAP Format found: Modified Standard"},
    {0x34CDB2A1, true, true, 2, "PCAP Format found: Modified Byte Swapped"},
    {0xA1B23C4D, false, false, 3, "PCAP Format found: NanoSecond Standard"},
    {0x4D3CB2A1, true, false, 3, "PCAP Format found: NanoSecond Byte Swapped"},
};

// Decimal digits grouped by three with commas ("1,234,567").
std::string GroupedNumber(int64_t value) {
    std::string digits = fmt::format("{}", value < 0 ? -value : value);
    std::string out;
    out.reserve(digits.size() + digits.size() / 3 + 1);
    if (value < 0) out.push_back('-');
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
        out.push_back(digits[i]);
    }
    return out;
}

}  // namespace

tPCAPLoader::tPCAPLoader(std::string Filename, int32_t FileIndex, bool OwnsInterfacelist)
    : tTraceLoader(std::move(Filename), FileIndex, OwnsInterfacelist) {}

uint32_t tPCAPLoader::priv_Read32(const uint8_t* p) const { return boByteSwappedFile ? be32(p) : le32(p); }
uint16_t tPCAPLoader::priv_Read16(const uint8_t* p) const { return boByteSwappedFile ? be16(p) : le16(p); }

uint32_t tPCAPLoader::LinkTypeOfNetworkType(uint32_t NetworkType, bool AIXFile) {
    if (AIXFile) {
        switch (NetworkType) {
            case 6: return 1;
            case 7: return 101;
            case 9: return 6;
            case 15: return 10;
            default: return 0;
        }
    }
    switch (NetworkType) {
        case 1: return 1;
        case 6: return 6;
        case 7: return 7;
        case 8: return 102;
        case 9: return 51;
        case 10: return 10;
        case 12: return 101;
        case 101: return 101;
        case 113: return 113;
        case 178: return 178;
        default: return 0;
    }
}

void tPCAPLoader::readTraceFileheader() {
    iBatchFileOffset = 0;
    bChannelCount = 1;
    if (iFileSize < 4 || pData == nullptr) throw tInOutError(TooShortText);

    const uint32_t magic = le32(pData);
    const tMagicEntry* entry = nullptr;
    for (const tMagicEntry& candidate : MagicTable)
        if (candidate.Magic == magic) entry = &candidate;
    if (entry == nullptr) throw tInOutError("Error: PCAP file format unknown (PCAPLoader.readTraceFileheader).");
    boByteSwappedFile = entry->ByteSwapped;
    boModifiedFileFormat = entry->Modified;
    bPrecision = entry->Precision;
    addLoaderMessage(msInfo, entry->Message, HeaderLocation, 0);
    iBatchFileOffset = 4;

    if (iFileSize < GlobalHeaderSize) throw tInOutError(TooShortText);
    wMajorVersion = priv_Read16(pData + GHMajorVersion);
    wMinorVersion = priv_Read16(pData + GHMinorVersion);
    lSnapLength = priv_Read32(pData + GHSnapLength);
    lNetworkType = priv_Read32(pData + GHNetworkType);
    iBatchFileOffset = GlobalHeaderSize;

    if (wMajorVersion < 2) throw tInOutError("Error: Unsupported PCAP version (PCAPLoader.readTraceFileheader).");
    // Version 2.2 files (AIX) carry nanosecond time stamps and number link types their
    // own way.
    boAIXFile = wMajorVersion == 2 && wMinorVersion == 2;
    if (boAIXFile) bPrecision = 3;
    prot_LinkType = LinkTypeOfNetworkType(lNetworkType, boAIXFile);

    if (iBatchFileOffset >= iFileSize) boEOF = true;
    dTraceTimeUnit = 1.0;

    auto captureInterface = std::make_unique<tCaptureInterface>(0, prot_LinkType, ioFromFile, true);
    captureInterface->SetName("Unknown");
    captureInterface->SetDescription("Generic Interface from PCAP File");
    captureInterface->SetSpeedBPS(100'000'000);
    captureInterface->SetLinkType(prot_LinkType);
    priv_PacketLinkID = captureInterface->PacketLinkID();
    InterfaceList.Add(std::move(captureInterface));
    boHeaderRead = true;
}

std::optional<tRawFrame> tPCAPLoader::ParseFrameFromOffset(int64_t FrameIndex, int64_t& FileOffset) {
    const int64_t headerSize = priv_RecordHeaderSize();
    if (pData == nullptr || prot_BytesLeft(FileOffset) < static_cast<uint64_t>(headerSize))
        throw tInOutError(UnexpectedEndText);

    tFileFrameLocation location{iFileNumber, FrameIndex, FileOffset};
    const uint8_t* header = pData + FileOffset;
    const uint32_t seconds = priv_Read32(header + RHSeconds);
    const uint32_t subSeconds = priv_Read32(header + RHSubSeconds);
    uint32_t captured = priv_Read32(header + RHCapturedLength);
    const uint32_t wire = priv_Read32(header + RHOriginalLength);
    FileOffset += headerSize;
    priv_StoredCaptureSize = captured;

    // Record times are UTC; frames carry the local wall-clock time of the instant.
    const int64_t localSeconds = prot_LocalSeconds(seconds);
    int64_t day = localSeconds / SecondsPerDay;
    if (localSeconds % SecondsPerDay < 0) --day;
    tTimingDetails timing;
    timing.AbsoluteTime = tDateTime::FromUnixSeconds(localSeconds);
    const int64_t secondsOfDay = localSeconds - day * SecondsPerDay;
    if (bPrecision == 3) {
        timing.TraceTicks = secondsOfDay * MicrosecondsPerSecond + subSeconds / 1000;
        timing.NanoTicks = static_cast<uint16_t>(subSeconds % 1000);
    } else {
        timing.TraceTicks = secondsOfDay * MicrosecondsPerSecond + subSeconds;
        timing.NanoTicks = 0;
    }

    if (prot_FixLoadErrors && captured > wire) {
        addLoaderMessage(msMajor,
                         fmt::format("Fixing bad Capture size of {} bytes larger than wire size ({} bytes) detected "
                                     "for frame #{}",
                                     captured, wire, FrameIndex),
                         FrameLocation, FrameIndex);
        captured = wire;
    }

    tWireDetails wireDetails;
    wireDetails.LinkType = prot_LinkType;
    wireDetails.FrameType = tftPCAP;
    wireDetails.InterfaceID = 0;
    wireDetails.Dropped = 0;
    wireDetails.LinkID = priv_PacketLinkID;
    wireDetails.WireSize = wire;
    wireDetails.CaptureSize = captured;

    if (captured > MaxFrameCaptureSize) {
        addLoaderMessage(msCritical, fmt::format("capture size exceeds maximum in frame #{}, aborting", FrameIndex),
                         FrameLocation, FrameIndex);
        return std::nullopt;
    }
    // The record's bytes as stored must lie inside the file.
    if (prot_BytesLeft(FileOffset) < priv_StoredCaptureSize) throw tInOutError(UnexpectedEndText);
    return tRawFrame(timing, wireDetails, location, std::span<const uint8_t>(pData + FileOffset, captured), true);
}

void tPCAPLoader::readBatchFromDisk() {
    if (!boHeaderRead)
        throw tInOutError("Error: PCAP file header not read before batch load! (PCAPLoader.readBatchFromDisk).");
    prot_BeginBatch();
    if (boEOF) {
        prot_FinishBatch();
        return;
    }
    if (iBatchFileOffset == 0)
        throw tInOutError("Error: invalid file offset - PCAP file header not read? (PCAPLoader.readBatchFromDisk).");

    const uint64_t headerSize = static_cast<uint64_t>(priv_RecordHeaderSize());
    while (iBatchFileOffset < iFileSize) {
        const int64_t frameIndex = iTotalFramesRead + 1;
        if (prot_BytesLeft(iBatchFileOffset) < headerSize) {
            // The capture ended in the middle of a record header: keep what came before.
            addLoaderMessage(msMajor, UnexpectedEndText, BatchLocation, frameIndex);
            LoaderStatus = lsIncompleteFile;
            boEOF = true;
            break;
        }
        const int64_t recordOffset = iBatchFileOffset;
        int64_t fileOffset = recordOffset;
        std::optional<tRawFrame> frame;
        try {
            frame = ParseFrameFromOffset(frameIndex, fileOffset);
        } catch (const tMorwickError&) {
            // The record's bytes run past the end of the file: the file ends before it.
            std::string text =
                fmt::format("Error while reading frame #{} from PCAP at offset {}", frameIndex, GroupedNumber(recordOffset));
            spdlog::error(text);
            addLoaderMessage(msMajor, std::move(text), BatchLocation, frameIndex);
            LoaderStatus = lsIncompleteFile;
            boEOF = true;
            break;
        }
        if (!frame) {
            boEOF = true;
            boReadFailed = true;
            LoaderStatus = lsReadFailed;
            break;
        }
        ++iTotalFramesRead;
        addRawFrame(std::move(*frame));
        // Step over the bytes the record stores, also when its frame holds fewer.
        iBatchFileOffset = fileOffset + priv_StoredCaptureSize;
        if (prot_BatchFull()) break;
    }
    if (iBatchFileOffset >= iFileSize) boEOF = true;
    prot_FinishBatch();
}

std::optional<tRawFrame> tPCAPLoader::readSingleFrameFromDisk(int64_t FrameIndex) {
    if (!boHeaderRead)
        throw tInOutError("Error: PCAP file header not read before load! (PCAPLoader.readSingleFrameByOffset).");
    if (FrameIndex < 1)
        throw tInOutError(fmt::format("Error: invalid frame index of {} (PCAPLoader.readSingleFrameFromDisk).",
                                      FrameIndex));
    if (iFileSize <= GlobalHeaderSize) return std::nullopt;
    const int64_t headerSize = priv_RecordHeaderSize();
    int64_t offset = GlobalHeaderSize;
    for (int64_t index = 1; index < FrameIndex; ++index) {
        if (prot_BytesLeft(offset) < static_cast<uint64_t>(headerSize)) throw tInOutError(UnexpectedEndText);
        offset += headerSize + priv_Read32(pData + offset + RHCapturedLength);
        if (offset >= iFileSize) return std::nullopt;
    }
    return readSingleFrameByOffset(offset, FrameIndex);
}

std::optional<tRawFrame> tPCAPLoader::readSingleFrameByOffset(int64_t Offset, int64_t FrameIndex) {
    if (!boHeaderRead)
        throw tInOutError("Error: PCAP file header not read before load! (PCAPLoader.readSingleFrameByOffset).");
    if (prot_BytesLeft(Offset) < static_cast<uint64_t>(priv_RecordHeaderSize())) throw tInOutError(UnexpectedEndText);
    return ParseFrameFromOffset(FrameIndex, Offset);
}

}  // namespace morwick
