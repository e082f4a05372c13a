#include "loader/loader_pcapng.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>

#include "base/errors.h"
#include "loader/bytereader.h"
#include "platform/debuglog.h"

namespace morwick {

namespace {

constexpr std::string_view MasterLocation = "tPCAPNGLoader.ReadMasterBlocks";
constexpr std::string_view SHBLocation = "tPCAPNGLoader.readSectionBlockHeader";
constexpr std::string_view SHBOptionsLocation = "tPCAPNGLoader.readSectionBlockHeaderOptions";
constexpr std::string_view IDBLocation = "tPCAPNGLoader.readInterfaceDescriptionHeader";
constexpr std::string_view EPBLocation = "tPCAPNGLoader.readEnhancedPacketBlock";
constexpr std::string_view PBLocation = "tPCAPNGLoader.readPacketBlock";
constexpr std::string_view SPBLocation = "tPCAPNGLoader.readSimplePacketBlock";
constexpr std::string_view SanityLocation = "tPCAPNGLoader.DoSanityCheck";
constexpr std::string_view BatchLocation = "tPCAPNGLoader.readBatchFromDisk";
constexpr std::string_view NRBLocation = "tPCAPNGLoader.readNameResolutionBlockHeader";
constexpr std::string_view ISBLocation = "tPCAPNGLoader.readInterfaceStatisticsBlock";
constexpr std::string_view DSBLocation = "tPCAPNGLoader.readDecryptionSecretsBock";

constexpr uint32_t BTSectionHeader = 0x0A0D0D0A;
constexpr uint32_t BTInterfaceDescription = 1;
constexpr uint32_t BTPacket = 2;
constexpr uint32_t BTSimplePacket = 3;
constexpr uint32_t BTNameResolution = 4;
constexpr uint32_t BTInterfaceStatistics = 5;
constexpr uint32_t BTEnhancedPacket = 6;
constexpr uint32_t BTDecryptionSecrets = 10;

constexpr uint32_t MagicLittleEndian = 0x1A2B3C4D;
constexpr uint32_t MagicBigEndian = 0x4D3C2B1A;

// Smallest block sizes of the block kinds (block frame included).
constexpr uint64_t SHBMinSize = 28;
constexpr uint64_t IDBMinSize = 20;
constexpr uint64_t EPBMinSize = 32;
constexpr uint64_t PBMinSize = 32;
constexpr uint64_t SPBMinSize = 16;
constexpr uint64_t NRBMinSize = 12;
constexpr uint64_t ISBMinSize = 24;
constexpr uint64_t DSBMinSize = 20;

// Offsets inside the blocks (from the block start).
constexpr int64_t SHBMagic = 8;
constexpr int64_t SHBMajor = 12;
constexpr int64_t SHBMinor = 14;
constexpr int64_t SHBSectionLength = 16;
constexpr int64_t SHBOptions = 24;
constexpr int64_t IDBLinkType = 8;
constexpr int64_t IDBSnapLength = 12;
constexpr int64_t IDBOptions = 16;
constexpr int64_t PktInterface = 8;     // EPB uint32, PB uint16
constexpr int64_t PBDrops = 10;
constexpr int64_t PktTimeHigh = 12;
constexpr int64_t PktTimeLow = 16;
constexpr int64_t PktCaptured = 20;
constexpr int64_t PktOriginal = 24;
constexpr int64_t PktData = 28;
constexpr int64_t SPBOriginal = 8;
constexpr int64_t SPBData = 12;
constexpr int64_t NRBRecords = 8;
constexpr int64_t ISBInterface = 8;
constexpr int64_t ISBTimeHigh = 12;
constexpr int64_t ISBTimeLow = 16;
constexpr int64_t ISBOptions = 20;
constexpr int64_t DSBType = 8;
constexpr int64_t DSBLength = 12;
constexpr int64_t DSBData = 16;

constexpr int64_t SecondsPerDay = 86'400;
constexpr int64_t MicrosPerSecond = 1'000'000;
// 9999-12-31 23:59:59 UTC: the last second a date-time holds.
constexpr uint64_t LastUnixSecond = 253'402'300'799;

constexpr const char* DamagedOptionText =
    "Damaged pcapng file, option size is longer than the option block (Option Code #{})";

uint64_t Padded4(uint64_t length) { return (length + 3) & ~uint64_t{3}; }

std::string_view UncommonBlockName(uint32_t type) {
    switch (type) {
        case 7: return "IRIG_TIMESTAMP";
        case 8: return "ARINC_429_IN_AFDX";
        case 0x101: return "HONE_PROCESS_EVENT";
        case 0x102: return "HONE_CONNECTION_EVENT";
        case 0x201: return "BLOCKTYPE_SYSDIG_MACHINE_INFO";
        case 0x202: return "BLOCKTYPE_SYSDIG_PROCESS_LIST";
        case 0x203: return "BLOCKTYPE_SYSDIG_FD_LIST";
        case 0x204: return "BLOCKTYPE_SYSDIG_EVENT";
        case 0x205: return "BLOCKTYPE_SYSDIG_INTERFACE_LIST";
        case 0x206: return "BLOCKTYPE_SYSDIG_USER_LIST";
        default: return {};
    }
}

bool IsPacketBlock(uint32_t type) { return type == BTPacket || type == BTSimplePacket || type == BTEnhancedPacket; }

}  // namespace

tPCAPNGLoader::tPCAPNGLoader(std::string Filename, int32_t FileIndex, bool OwnsInterfacelist)
    : tTraceLoader(std::move(Filename), FileIndex, OwnsInterfacelist) {
    priv_interfacemodifier = 0;
    priv_keepUTCTime = false;
    prot_LinkType = 0;
}

std::unique_ptr<tTraceLoader> CreatePCAPNGLoader(const std::string& FileName, int32_t FileIndex,
                                                 bool OwnsInterfacelist) {
    return std::make_unique<tPCAPNGLoader>(FileName, FileIndex, OwnsInterfacelist);
}

// ------------------------------------------------------------------ byte access

uint16_t tPCAPNGLoader::priv_U16(int64_t offset) const {
    const uint8_t* p = pData + offset;
    return priv_ByteSwappedFile ? be16(p) : le16(p);
}
uint32_t tPCAPNGLoader::priv_U32(int64_t offset) const {
    const uint8_t* p = pData + offset;
    return priv_ByteSwappedFile ? be32(p) : le32(p);
}
uint64_t tPCAPNGLoader::priv_U64(int64_t offset) const {
    const uint8_t* p = pData + offset;
    return priv_ByteSwappedFile ? be64(p) : le64(p);
}

tPCAPNGLoader::tBlockHeader tPCAPNGLoader::priv_BlockHeaderAt(int64_t offset) const {
    tBlockHeader header;
    header.Type = priv_U32(offset);
    if (header.Type == BTSectionHeader && prot_BytesLeft(offset) >= 12) {
        // The section header states its own byte order.
        const uint32_t magic = le32(pData + offset + SHBMagic);
        if (magic == MagicLittleEndian) {
            header.TotalLength = le32(pData + offset + 4);
            return header;
        }
        if (magic == MagicBigEndian) {
            header.TotalLength = be32(pData + offset + 4);
            return header;
        }
    }
    header.TotalLength = priv_U32(offset + 4);
    return header;
}

bool tPCAPNGLoader::priv_CheckBlockLength(const tBlockHeader& header, int64_t offset) {
    if (header.TotalLength >= static_cast<uint64_t>(MinBlockSize)) return true;
    addLoaderMessage(msCritical,
                     fmt::format("Damaged pcapng file, invalid block length {} found at offset {}", header.TotalLength,
                                 offset),
                     MasterLocation, 0);
    LoaderStatus = lsGeneralError;
    return false;
}

bool tPCAPNGLoader::priv_PassOver(const tBlockHeader& header, int64_t offset) {
    if (header.TotalLength > prot_BytesLeft(offset)) {
        priv_Incomplete(fmt::format("incomplete pcapng file, block at offset {} runs past the end of the file", offset),
                        MasterLocation);
        iBatchFileOffset = iFileSize;
        return false;
    }
    iBatchFileOffset = offset + static_cast<int64_t>(header.TotalLength);
    return true;
}

void tPCAPNGLoader::priv_Incomplete(std::string_view text, std::string_view location, int64_t frameIndex) {
    LoaderStatus = lsIncompleteFile;
    addLoaderMessage(msCritical, std::string(text), location, frameIndex);
}

namespace {

// Walks an option list in [begin, end): visit(code, valueOffset, length) per option.
// Returns -1 when the list ended well, else the code of the option that ran past end.
template <class tRead16, class tVisit>
int32_t ForEachOption(int64_t begin, int64_t end, tRead16&& read16, tVisit&& visit) {
    while (begin + 4 <= end) {
        const uint16_t code = read16(begin);
        const uint16_t length = read16(begin + 2);
        if (code == 0) return -1;
        if (begin + 4 + length > end) return code;
        visit(code, begin + 4, length);
        begin += 4 + static_cast<int64_t>(Padded4(length));
    }
    return -1;
}

}  // namespace

// ------------------------------------------------------------------ header

std::optional<tRawFrame> tPCAPNGLoader::ParseFrameFromOffset(int64_t, int64_t&) {
    throw tAssertionError("Abstract Error (tPCAPNGLoader.ParseFrameFromOffset)");
}

void tPCAPNGLoader::readTraceFileheader() {
    tLogMethodScope scope("tPCAPNGLoader.readTraceFileheader");
    iBatchFileOffset = 0;
    priv_SecHdrCount = 0;
    priv_NRHdrCount = 0;
    bChannelCount = 1;
    ReadMasterBlocks();
    boHeaderRead = priv_SecHdrCount > 0;
}

void tPCAPNGLoader::ReadMasterBlocks() {
    bool firstBlock = true;
    int32_t unknownInRow = 0;
    for (;;) {
        if (iFileSize <= 23) {
            priv_Incomplete("incomplete pcapng file, cannot read Section Block Header", MasterLocation);
            return;
        }
        if (pData == nullptr || prot_BytesLeft(iBatchFileOffset) < 8) return;
        const int64_t offset = iBatchFileOffset;
        const tBlockHeader header = priv_BlockHeaderAt(offset);
        if (firstBlock && header.Type != BTSectionHeader)
            addLoaderMessage(msCritical, "first block is not a Section Block Header", MasterLocation, 0);
        firstBlock = false;
        if (!priv_CheckBlockLength(header, offset)) return;

        if (priv_skipsection && header.Type != BTSectionHeader) {
            if (!priv_PassOver(header, offset)) return;
            continue;
        }
        switch (header.Type) {
            case BTSectionHeader:
                unknownInRow = 0;
                readSectionBlockHeader();
                break;
            case BTInterfaceDescription:
                unknownInRow = 0;
                readInterfaceDescriptionHeader();
                break;
            case BTNameResolution: {
                unknownInRow = 0;
                const tNGNRBParsedValues values = readNameResolutionBlockHeader();
                for (const auto& entry : values.IPv4AddressList.IPv4NameList) IPv4NameResolutionMgr.AddEntry(entry);
                for (const auto& entry : values.IPv6AddressList.IPv6NameList) IPv6NameResolutionMgr.AddEntry(entry);
                break;
            }
            case BTPacket:
            case BTSimplePacket:
            case BTInterfaceStatistics:
            case BTEnhancedPacket:
            case BTDecryptionSecrets: return;
            default: {
                const std::string_view uncommon = UncommonBlockName(header.Type);
                if (!uncommon.empty()) {
                    unknownInRow = 0;
                    addLoaderMessage(msWarning,
                                     fmt::format("Uncommon BlockType \"{}\" found at offset {}", uncommon, offset),
                                     MasterLocation, 0);
                } else {
                    addLoaderMessage(msWarning,
                                     fmt::format("Unknown BlockType ${:08X} found at offset {}", header.Type, offset),
                                     MasterLocation, 0);
                    if (++unknownInRow > MaxUnknownBlocksInRow) throw tAssertionError("Assertion failure");
                }
                priv_PassOver(header, offset);
                break;
            }
        }
        if (LoaderStatus > lsWrongHeader) return;
    }
}

void tPCAPNGLoader::readSectionBlockHeader() {
    const int64_t offset = iBatchFileOffset;
    const uint64_t left = prot_BytesLeft(offset);
    if (left < SHBMinSize || left < priv_BlockHeaderAt(offset).TotalLength) {
        priv_Incomplete("incomplete pcapng file, cannot read Section Block Header", SHBLocation);
        return;
    }
    const uint64_t totalLength = priv_BlockHeaderAt(offset).TotalLength;

    ++priv_SecHdrCount;
    priv_skipsection = false;
    priv_interfacemodifier += InterfaceCount + 1;
    InterfaceCount = -1;
    priv_interfaceResList.initialize();

    const uint32_t magic = le32(pData + offset + SHBMagic);
    const bool knownMagic = magic == MagicLittleEndian || magic == MagicBigEndian;
    priv_ByteSwappedFile = magic == MagicBigEndian;
    priv_byteordermagic = magic;
    priv_majorversion = priv_U16(offset + SHBMajor);
    priv_minorversion = priv_U16(offset + SHBMinor);
    priv_sectionlength = priv_U64(offset + SHBSectionLength);
    HeaderCommentList.clear();
    HardwareInfoList.clear();
    OperatingSystemList.clear();
    UserApplicationList.clear();
    CaptureSystemGUID = tGUID{};

    if (priv_majorversion != 1 || priv_minorversion != 0) {
        priv_skipsection = true;
        addLoaderMessage(msWarning,
                         fmt::format("Unknown PCAP-ng SHB version encoutered: {}.{}, skipping section",
                                     priv_majorversion, priv_minorversion),
                         SHBLocation, 0);
    } else if (!knownMagic) {
        priv_skipsection = true;
        priv_ByteSwappedFile = false;
        addLoaderMessage(msWarning,
                         fmt::format("Unknown PCAP-ng ByteOrderMagic value encountered: {}, skipping section", magic),
                         SHBLocation, 0);
    }

    if (!priv_skipsection && totalLength >= 29) {
        const int64_t end = offset + static_cast<int64_t>(totalLength) - 4;
        const int32_t damaged = ForEachOption(
            offset + SHBOptions, end, [this](int64_t at) { return priv_U16(at); },
            [this](uint16_t code, int64_t value, uint16_t length) {
                const char* text = reinterpret_cast<const char*>(pData + value);
                switch (code) {
                    case 1: HeaderCommentList.emplace_back(text, length); break;
                    case 2: HardwareInfoList.emplace_back(text, length); break;
                    case 3: OperatingSystemList.emplace_back(text, length); break;
                    case 4: UserApplicationList.emplace_back(text, length); break;
                    case 0x101:
                        if (length >= 16) {
                            tGUID guid = tGUID::FromBytesLE(std::span<const uint8_t, 16>(pData + value, 16));
                            if (priv_ByteSwappedFile) {
                                guid.D1 = be32(pData + value);
                                guid.D2 = be16(pData + value + 4);
                                guid.D3 = be16(pData + value + 6);
                            }
                            CaptureSystemGUID = guid;
                        }
                        break;
                    default: break;
                }
            });
        if (damaged >= 0) addLoaderMessage(msWarning, fmt::format(DamagedOptionText, damaged), SHBOptionsLocation, 0);
    }
    iBatchFileOffset = offset + static_cast<int64_t>(totalLength);
}

void tPCAPNGLoader::readInterfaceDescriptionHeader() {
    const int64_t offset = iBatchFileOffset;
    const uint64_t left = prot_BytesLeft(offset);
    if (left < IDBMinSize || left < priv_U32(offset + 4)) {
        priv_Incomplete("incomplete pcapng file, cannot read Interface Description Header", IDBLocation);
        return;
    }
    const uint64_t totalLength = priv_U32(offset + 4);
    const uint16_t linkType = priv_U16(offset + IDBLinkType);
    const uint32_t snapLength = priv_U32(offset + IDBSnapLength);

    ++InterfaceCount;
    auto captureInterface = std::make_unique<tCaptureInterface>(InterfaceCount, linkType, ioFromFile, true);
    const int64_t globalIndex = static_cast<int64_t>(InterfaceCount) + priv_interfacemodifier;
    captureInterface->SetIndex(static_cast<int32_t>(globalIndex));
    captureInterface->SetTimeStampResolution(6);

    if (totalLength > IDBMinSize) {
        tCaptureInterface& ci = *captureInterface;
        const int64_t end = offset + static_cast<int64_t>(totalLength) - 4;
        const int32_t damaged = ForEachOption(
            offset + IDBOptions, end, [this](int64_t at) { return priv_U16(at); },
            [this, &ci](uint16_t code, int64_t value, uint16_t length) {
                const uint8_t* p = pData + value;
                const char* text = reinterpret_cast<const char*>(p);
                switch (code) {
                    case 2: ci.SetName(std::string(text, length)); break;
                    case 3: ci.SetDescription(std::string(text, length)); break;
                    case 4:
                        if (length >= 8) {
                            tInterfaceIPv4Entry entry;
                            std::copy_n(p, 4, entry.Address.begin());
                            std::copy_n(p + 4, 4, entry.Netmask.begin());
                            ci.IPv4AddressList().push_back(entry);
                        }
                        break;
                    case 5:
                        if (length >= 17) {
                            tInterfaceIPv6Entry entry;
                            std::copy_n(p, 16, entry.Address.begin());
                            entry.PrefixLength = p[16];
                            ci.IPv6AddressList().push_back(entry);
                        }
                        break;
                    case 6:
                        if (length >= 6) {
                            std::array<uint8_t, 6> mac{};
                            std::copy_n(p, 6, mac.begin());
                            ci.SetMACAddress(mac);
                        }
                        break;
                    case 7:
                        if (length >= 8) {
                            std::array<uint8_t, 8> eui{};
                            std::copy_n(p, 8, eui.begin());
                            ci.SetEUIAddress(eui);
                        }
                        break;
                    case 8:
                        if (length >= 8) ci.SetSpeedBPS(priv_U64(value));
                        break;
                    case 9:
                        if (length >= 1) {
                            ci.SetTimeStampResolution(p[0]);
                            // Kept under the interface's own number, so that a statistics
                            // block of a later interface finds its resolution.
                            priv_interfaceResList.Set(InterfaceCount, p[0]);
                        }
                        break;
                    case 10:
                        if (length >= 4) ci.SetTimezone(priv_U32(value));
                        break;
                    case 11:
                        if (length >= 1) {
                            tPCAPNGCaptureFilter filter;
                            filter.FilterType = p[0] == 0 ? cftLibPCAP : p[0] == 1 ? cftBPFByteCode : cftUnknown;
                            filter.FilterString.assign(text + 1, length - 1u);
                            ci.SetCaptureFilter(std::move(filter));
                        }
                        break;
                    case 12: ci.SetOperatingSystem(std::string(text, length)); break;
                    case 13:
                        if (length >= 1) ci.SetFCSLength(p[0]);
                        break;
                    case 14:
                        if (length >= 8) ci.SetTimestampOffset(static_cast<int64_t>(priv_U64(value)));
                        break;
                    default: break;
                }
            });
        if (damaged >= 0) addLoaderMessage(msWarning, fmt::format(DamagedOptionText, damaged), IDBLocation, 0);
    }
    captureInterface->SetLinkType(linkType);
    captureInterface->SetSnapLength(snapLength);
    if (globalIndex < tCaptureInterfaceList::QuickListSize) {
        InterfaceList.Add(std::move(captureInterface));
    } else {
        addLoaderMessage(msCritical,
                         fmt::format("too many interfaces, interface description at offset {} ignored", offset),
                         IDBLocation, 0);
    }
    iBatchFileOffset = offset + static_cast<int64_t>(totalLength);
}

// ------------------------------------------------------------------ time stamps

tTimingDetails tPCAPNGLoader::getPCAPNGTiming(uint8_t Resolution, uint64_t Timestamp) {
    uint64_t seconds = 0;
    int64_t micros = 0;  // below the second
    uint16_t nanos = 0;  // below the microsecond
    if (Resolution & 0x80) {
        // Binary fractions, computed exactly: t / 2^k seconds.
        const unsigned k = Resolution & 0x7F;
        const unsigned __int128 t = Timestamp;
        seconds = k >= 64 ? 0 : Timestamp >> k;
        const unsigned __int128 fraction = t - (static_cast<unsigned __int128>(seconds) << k);
        const unsigned __int128 fracMicros = (fraction * 1'000'000u) >> k;
        const unsigned __int128 fracNanos = (fraction * 1'000'000'000u) >> k;
        micros = static_cast<int64_t>(fracMicros);
        nanos = static_cast<uint16_t>(fracNanos - fracMicros * 1000u);
    } else {
        switch (Resolution) {
            case 0: seconds = Timestamp; break;
            case 3:
                seconds = Timestamp / 1000;
                micros = static_cast<int64_t>(Timestamp % 1000) * 1000;
                break;
            case 6:
                seconds = Timestamp / 1'000'000;
                micros = static_cast<int64_t>(Timestamp % 1'000'000);
                break;
            case 9:
                seconds = Timestamp / 1'000'000'000;
                micros = static_cast<int64_t>(Timestamp % 1'000'000'000 / 1000);
                nanos = static_cast<uint16_t>(Timestamp % 1000);
                break;
            default:
                throw tInOutError("Error: Unknown timestamp resolution encountered (PCAPNGLoader.readEnhancedPacketBlock).");
        }
    }
    if (seconds > LastUnixSecond)
        throw tInOutError(
            fmt::format("Error: cannot convert UnixToDateTime for {} units  (PCAPNGLoader.getPCAPNGTiming).", Timestamp));

    const int64_t utcSeconds = static_cast<int64_t>(seconds);
    int64_t delta = 0;
    if (iUTCDelta != 0)
        delta = static_cast<int64_t>(iUTCDelta) * 3600;
    else if (!priv_keepUTCTime)
        delta = -static_cast<int64_t>(TimeZoneHandler.GetBiasSecondsForUnixTime(utcSeconds));
    const int64_t local = utcSeconds + delta;
    int64_t day = local / SecondsPerDay;
    if (local % SecondsPerDay < 0) --day;

    tTimingDetails timing;
    timing.AbsoluteTime = tDateTime::FromUnixSeconds(local);
    timing.TraceTicks = (local - day * SecondsPerDay) * MicrosPerSecond + micros;
    timing.NanoTicks = nanos;
    return timing;
}

// ------------------------------------------------------------------ packet blocks

void tPCAPNGLoader::DoSanityCheck(tWireDetails& wire, int64_t FrameIndex) {
    if (wire.WireSize < 54)
        addLoaderMessage(msWarning,
                         fmt::format("Bad Wiresize of {} bytes detected for frame #{}", wire.WireSize, FrameIndex),
                         SanityLocation, FrameIndex);
    if (wire.CaptureSize > wire.WireSize) {
        if (prot_FixLoadErrors) {
            addLoaderMessage(msMajor,
                             fmt::format("Fixing bad Capture size of {} bytes larger than wire size ({} bytes) "
                                         "detected for frame #{}",
                                         wire.CaptureSize, wire.WireSize, FrameIndex),
                             SanityLocation, FrameIndex);
            wire.CaptureSize = wire.WireSize;
        } else {
            addLoaderMessage(msCritical,
                             fmt::format("Bad Capture size of {} bytes larger than wire size ({} bytes) detected "
                                         "for frame #{}",
                                         wire.CaptureSize, wire.WireSize, FrameIndex),
                             SanityLocation, FrameIndex);
        }
    }
}

// A packet block must hold its fixed part (ShortText otherwise) and lie whole in the
// file (the same text for all three kinds otherwise); both cases end the file with a
// message and keep the frames read before. Returns the block's total length.
std::optional<uint64_t> tPCAPNGLoader::priv_WholePacketBlock(int64_t Offset, uint64_t MinSize,
                                                            std::string_view ShortText,
                                                            std::string_view Location, int64_t FrameIndex) {
    const uint64_t left = prot_BytesLeft(Offset);
    if (left < MinSize) {
        priv_Incomplete(ShortText, Location, FrameIndex);
        return std::nullopt;
    }
    const uint64_t totalLength = priv_U32(Offset + 4);
    if (left < totalLength) {
        priv_Incomplete("incomplete pcapng file, cannot read Enhanced Packet Block", Location, FrameIndex);
        return std::nullopt;
    }
    return totalLength;
}

std::optional<tRawFrame> tPCAPNGLoader::readEnhancedPacketBlock(int64_t FrameIndex) {
    const int64_t offset = iBatchFileOffset;
    const std::optional<uint64_t> whole = priv_WholePacketBlock(
        offset, EPBMinSize, "incomplete pcapng file, cannot read Enhanced Packet Block", EPBLocation, FrameIndex);
    if (!whole) return std::nullopt;
    const uint64_t totalLength = *whole;
    const uint32_t interfaceID = priv_U32(offset + PktInterface);
    const uint64_t timestamp = (uint64_t{priv_U32(offset + PktTimeHigh)} << 32) | priv_U32(offset + PktTimeLow);
    const uint32_t storedCaptured = priv_U32(offset + PktCaptured);
    const uint32_t original = priv_U32(offset + PktOriginal);
    // Whatever happens below, the next block follows this one.
    iBatchFileOffset = offset + static_cast<int64_t>(totalLength);

    if (original >= totalLength)
        addLoaderMessage(msCritical,
                         fmt::format("invalid header values found in frame #{} - total length shorter than packet "
                                     "length",
                                     FrameIndex),
                         EPBLocation, FrameIndex);

    tWireDetails wire;
    wire.WireSize = original;
    wire.CaptureSize = storedCaptured;
    wire.InterfaceID = interfaceID;
    wire.FrameType = tftPCAPngEnhanced;
    tCaptureInterface* ci = InterfaceList.getInterfaceByIndex(int64_t{interfaceID} + priv_interfacemodifier);
    if (ci == nullptr) {
        ci = InterfaceList.getInterfaceByIndex(0);
        if (ci == nullptr) {
            addLoaderMessage(msCritical,
                             fmt::format("Index {} points to unknown interface in frame #{}, cannot read Enhanced "
                                         "Packet Block",
                                         interfaceID, FrameIndex),
                             EPBLocation, FrameIndex);
            return std::nullopt;
        }
        addLoaderMessage(msCritical,
                         fmt::format("Index {} points to unknown interface in frame #{}, using first interface instead",
                                     interfaceID, FrameIndex),
                         EPBLocation, FrameIndex);
    }
    wire.LinkID = ci->PacketLinkID();
    wire.LinkType = ci->LinkType();

    const tFileFrameLocation location{iFileNumber, FrameIndex, offset};
    DoSanityCheck(wire, FrameIndex);

    tTimingDetails timing;
    try {
        timing = getPCAPNGTiming(ci->TimeStampResolution(), timestamp);
    } catch (const tMorwickError&) {
        LogDebug(fmt::format("Calculation of timings failed for frame #{}", FrameIndex));
        timing = tTimingDetails{};
    }

    if (wire.CaptureSize > MaxFrameCaptureSize)
        addLoaderMessage(msCritical, fmt::format("oversized frame encountered in frame #{}", FrameIndex), EPBLocation,
                         FrameIndex);
    const uint32_t copySize = std::min(wire.CaptureSize, MaxFrameCaptureSize);
    if (prot_BytesLeft(offset + PktData) < copySize)
        throw tInOutError(
            fmt::format("Error: unexpected end of file in frame # {} (tPCAPNGLoader.readEnhancedPacketBlock).",
                        FrameIndex));

    tFrameFlags flags;
    uint64_t dropped = 0;
    std::vector<std::string> comments;
    const uint64_t padded = Padded4(storedCaptured);
    const int64_t optionArea = static_cast<int64_t>(totalLength) - static_cast<int64_t>(padded) - 32;
    if (optionArea < 0) {
        addLoaderMessage(msWarning,
                         fmt::format("invalid enhanced packet header length found in frame #{}: was {} but should be {}",
                                     FrameIndex, totalLength, padded + 32),
                         EPBLocation, FrameIndex);
    } else if (optionArea > 0) {
        const int64_t begin = offset + PktData + static_cast<int64_t>(padded);
        const int32_t damaged = ForEachOption(
            begin, begin + optionArea, [this](int64_t at) { return priv_U16(at); },
            [&](uint16_t code, int64_t value, uint16_t length) {
                switch (code) {
                    case 1: comments.emplace_back(reinterpret_cast<const char*>(pData + value), length); break;
                    case 2:
                        if (length >= 4) {
                            flags.Value = priv_U32(value);
                            flags.Present = true;
                        }
                        break;
                    case 3:
                        addLoaderMessage(msWarning,
                                         fmt::format("enhanced packet hash option found in frame #{} - cannot parse "
                                                     "option",
                                                     FrameIndex),
                                         EPBLocation, FrameIndex);
                        break;
                    case 4:
                        if (length >= 8) dropped = priv_U64(value);
                        break;
                    default: break;
                }
            });
        if (damaged >= 0)
            addLoaderMessage(msWarning,
                             fmt::format("Damaged pcapng file, option size is longer than the option block (Option "
                                         "Code #{}) for enhanced frame #{}",
                                         damaged, FrameIndex),
                             EPBLocation, FrameIndex);
    }
    wire.FrameFlags = flags;
    wire.Dropped = dropped;

    tRawFrame frame(timing, wire, location, std::span<const uint8_t>(pData + offset + PktData, copySize), true);
    if (!comments.empty()) frame.SetCommentlist(std::move(comments));
    return frame;
}

std::optional<tRawFrame> tPCAPNGLoader::readPacketBlock(int64_t FrameIndex) {
    const int64_t offset = iBatchFileOffset;
    const std::optional<uint64_t> whole = priv_WholePacketBlock(
        offset, PBMinSize, "incomplete pcapng file, cannot read Packet Block", PBLocation, FrameIndex);
    if (!whole) return std::nullopt;
    const uint64_t totalLength = *whole;
    const uint16_t interfaceID = priv_U16(offset + PktInterface);
    const uint16_t drops = priv_U16(offset + PBDrops);
    const uint64_t timestamp = (uint64_t{priv_U32(offset + PktTimeHigh)} << 32) | priv_U32(offset + PktTimeLow);
    const uint32_t captured = priv_U32(offset + PktCaptured);
    const uint32_t original = priv_U32(offset + PktOriginal);

    const uint64_t padded = Padded4(captured);
    uint64_t blockLength = totalLength;
    if (totalLength > padded + 32) {
        addLoaderMessage(msWarning, fmt::format("options encountered but not parsed in frame #{}", FrameIndex),
                         PBLocation, FrameIndex);
    } else if (totalLength < padded + 32) {
        addLoaderMessage(msWarning,
                         fmt::format("invalid packet header length found in frame #{}: was {} but should be {}",
                                     FrameIndex, totalLength, padded + 32),
                         PBLocation, FrameIndex);
        blockLength = padded + 32;
    }
    iBatchFileOffset = offset + static_cast<int64_t>(std::min<uint64_t>(blockLength, prot_BytesLeft(offset)));

    if (original >= totalLength)
        addLoaderMessage(msCritical,
                         fmt::format("invalid header values found in frame #{} - total length shorter than packet "
                                     "length",
                                     FrameIndex),
                         PBLocation, FrameIndex);

    tCaptureInterface* ci = InterfaceList.getInterfaceByIndex(int64_t{interfaceID} + priv_interfacemodifier);
    if (ci == nullptr) {
        addLoaderMessage(msCritical,
                         fmt::format("Index {} points to unknown interface in frame #{}, cannot read Packet Block",
                                     interfaceID, FrameIndex),
                         PBLocation, FrameIndex);
        return std::nullopt;
    }

    tWireDetails wire;
    wire.WireSize = original;
    wire.CaptureSize = captured;
    wire.InterfaceID = interfaceID;
    wire.FrameType = tftPCAPngDeprecated;
    wire.LinkID = ci->PacketLinkID();
    wire.LinkType = ci->LinkType();
    wire.Dropped = drops == 0xFFFF ? 0 : drops;
    iFramesDropped += static_cast<int32_t>(wire.Dropped);
    iTotalFramesDropped += static_cast<int32_t>(wire.Dropped);

    tTimingDetails timing;
    try {
        timing = getPCAPNGTiming(ci->TimeStampResolution(), timestamp);
    } catch (const tMorwickError&) {
        LogDebug(fmt::format("Calculation of timings failed for frame #{}", FrameIndex));
        timing = tTimingDetails{};
    }
    if (captured > MaxFrameCaptureSize)
        addLoaderMessage(msCritical, fmt::format("oversized frame encountered in frame #{}", FrameIndex), PBLocation,
                         FrameIndex);
    const uint32_t copySize = std::min(captured, MaxFrameCaptureSize);
    if (prot_BytesLeft(offset + PktData) < copySize)
        throw tInOutError(
            fmt::format("Error: unexpected end of file in frame # {} (tPCAPNGLoader.readEnhancedPacketBlock).",
                        FrameIndex));
    const tFileFrameLocation location{iFileNumber, FrameIndex, offset};
    return tRawFrame(timing, wire, location, std::span<const uint8_t>(pData + offset + PktData, copySize), true);
}

std::optional<tRawFrame> tPCAPNGLoader::readSimplePacketBlock(int64_t FrameIndex) {
    const int64_t offset = iBatchFileOffset;
    const std::optional<uint64_t> whole = priv_WholePacketBlock(
        offset, SPBMinSize, "incomplete pcapng file, cannot read Simple Packet Block", SPBLocation, FrameIndex);
    if (!whole) return std::nullopt;
    const uint64_t totalLength = *whole;
    const uint32_t original = priv_U32(offset + SPBOriginal);
    iBatchFileOffset = offset + static_cast<int64_t>(totalLength);
    if (original >= totalLength)
        addLoaderMessage(msCritical,
                         fmt::format("invalid header values found in frame #{} - total length shorter than packet "
                                     "length",
                                     FrameIndex),
                         SPBLocation, FrameIndex);

    tCaptureInterface* ci = InterfaceList.getInterfaceByIndex(priv_interfacemodifier);
    if (ci == nullptr) {
        addLoaderMessage(msCritical,
                         fmt::format("Index 0 points to unknown interface in frame #{}, cannot read Simple Packet Block",
                                     FrameIndex),
                         SPBLocation, FrameIndex);
        return std::nullopt;
    }
    // A simple packet block holds at most what its body has room for: the rest of a
    // longer packet was cut off by the snapshot length.
    const uint64_t room = totalLength > SPBMinSize ? totalLength - SPBMinSize : 0;
    const uint32_t captured = static_cast<uint32_t>(std::min<uint64_t>(original, room));

    tWireDetails wire;
    wire.WireSize = original;
    wire.CaptureSize = captured;
    wire.InterfaceID = 0;
    wire.FrameType = tftPCAPngSimple;
    wire.LinkID = ci->PacketLinkID();
    wire.LinkType = ci->LinkType();
    if (captured > MaxFrameCaptureSize)
        addLoaderMessage(msCritical, fmt::format("oversized frame encountered in frame #{}", FrameIndex), SPBLocation,
                         FrameIndex);
    const uint32_t copySize = std::min(captured, MaxFrameCaptureSize);
    if (prot_BytesLeft(offset + SPBData) < copySize)
        throw tInOutError(fmt::format("Error: unexpected end of file in frame # {}: expected {} bytes for frame "
                                      "(tPCAPNGLoader.readSimplePacketBlock).",
                                      FrameIndex, original));
    const tFileFrameLocation location{iFileNumber, FrameIndex, offset};
    return tRawFrame(tTimingDetails{}, wire, location, std::span<const uint8_t>(pData + offset + SPBData, copySize),
                     true);
}

std::optional<tRawFrame> tPCAPNGLoader::priv_ReadPacketByType(uint32_t type, int64_t FrameIndex) {
    switch (type) {
        case BTEnhancedPacket: return readEnhancedPacketBlock(FrameIndex);
        case BTPacket: return readPacketBlock(FrameIndex);
        case BTSimplePacket: return readSimplePacketBlock(FrameIndex);
        default: return std::nullopt;
    }
}

// ------------------------------------------------------------------ auxiliary blocks

tNGNRBParsedValues tPCAPNGLoader::readNameResolutionBlockHeader() {
    tNGNRBParsedValues values;
    const int64_t offset = iBatchFileOffset;
    const uint64_t left = prot_BytesLeft(offset);
    if (left < NRBMinSize || left < priv_U32(offset + 4)) {
        priv_Incomplete("incomplete pcapng file, cannot read Name Resolution Block Header", NRBLocation);
        return values;
    }
    const uint64_t totalLength = priv_U32(offset + 4);
    ++priv_NRHdrCount;

    int64_t at = offset + NRBRecords;
    for (;;) {
        if (prot_BytesLeft(at) < 4) {
            priv_Incomplete("incomplete pcapng file, cannot read Name Resolution Block Options", NRBLocation);
            values.initialize();
            return values;
        }
        const uint16_t type = priv_U16(at);
        const uint16_t length = priv_U16(at + 2);
        const uint64_t padded = Padded4(length);
        if (type == 0) {
            at += 4 + static_cast<int64_t>(padded);
            break;
        }
        if (prot_BytesLeft(at + 4) < padded) {
            priv_Incomplete("incomplete pcapng file, cannot read Name Resolution Block Options", NRBLocation);
            values.initialize();
            return values;
        }
        const uint8_t* value = pData + at + 4;
        // The first name of the record, up to its first zero byte.
        auto nameAfter = [&](uint16_t addressSize) {
            const char* name = reinterpret_cast<const char*>(value + addressSize);
            const size_t room = length - addressSize;
            const void* zero = std::memchr(name, 0, room);
            return std::string(name, zero ? static_cast<const char*>(zero) - name : room);
        };
        if (type == 1 && length >= 4) {
            tIPv4Address address;
            address.SetFromBytes(std::span<const uint8_t, 4>(value, 4), 32);
            values.IPv4AddressList.AddIPandFQDN(address, nameAfter(4));
        } else if (type == 2 && length >= 16) {
            tIPv6Address address;
            address.SetValueFromByteStruct(std::span<const uint8_t, 16>(value, 16));
            address.MaskBitCount = 128;
            values.IPv6AddressList.AddIPandFQDN(address, nameAfter(16));
        }
        at += 4 + static_cast<int64_t>(padded);
    }
    if (prot_BytesLeft(at) < 4 || priv_U32(at) != totalLength)
        throw tInOutError(
            "PCAP-ng file has unparsed options in Name Resolution Header Block "
            "(PCAPNGLoader.readNameResolutionBlockHeader).");
    iBatchFileOffset = offset + static_cast<int64_t>(totalLength);
    return values;
}

bool tPCAPNGLoader::priv_StatisticsTime(uint8_t resolution, int64_t value, tTimingDetails& out, bool start) {
    const uint32_t high = priv_U32(value);
    const uint32_t low = priv_U32(value + 4);
    try {
        out = getPCAPNGTiming(resolution, (uint64_t{high} << 32) | low);
        return true;
    } catch (const tMorwickError&) {
        LogDebug(start ? "Reading interface statistics start time failed"
                       : "Reading interface statistics end time failed");
    }
    try {
        out = getPCAPNGTiming(resolution, (uint64_t{low} << 32) | high);
        return true;
    } catch (const tMorwickError&) {
        LogDebug(start ? "Reading interface statistics start time in swapped mode failed, too"
                       : "Reading interface statistics end time in swapped mode failed, too");
    }
    return false;
}

std::unique_ptr<tStatisticsRecord> tPCAPNGLoader::readInterfaceStatisticsBlock() {
    const int64_t offset = iBatchFileOffset;
    const uint64_t left = prot_BytesLeft(offset);
    if (left < ISBMinSize || left < priv_U32(offset + 4)) {
        priv_Incomplete("incomplete pcapng file, cannot read Interface Statistics Block", ISBLocation);
        return nullptr;
    }
    const uint64_t totalLength = priv_U32(offset + 4);
    const uint32_t interfaceID = priv_U32(offset + ISBInterface);
    const uint64_t timestamp = (uint64_t{priv_U32(offset + ISBTimeHigh)} << 32) | priv_U32(offset + ISBTimeLow);
    const uint8_t resolution = priv_interfaceResList.Get(interfaceID);

    auto record = std::make_unique<tStatisticsRecord>(interfaceID);
    try {
        record->priv_referencetime = getPCAPNGTiming(resolution, timestamp);
    } catch (const tMorwickError&) {
        LogDebug("Reading interface statistics time stamp failed");
    }
    if (totalLength > ISBMinSize) {
        tStatisticsRecord& r = *record;
        const int64_t end = offset + static_cast<int64_t>(totalLength) - 4;
        const int32_t damaged = ForEachOption(
            offset + ISBOptions, end, [this](int64_t at) { return priv_U16(at); },
            [&](uint16_t code, int64_t value, uint16_t length) {
                if (code == 1) {
                    r.priv_comment.assign(reinterpret_cast<const char*>(pData + value), length);
                    return;
                }
                if (length < 8) return;
                switch (code) {
                    case 2: priv_StatisticsTime(resolution, value, r.priv_starttime, true); break;
                    case 3: priv_StatisticsTime(resolution, value, r.priv_endtime, false); break;
                    case 4: r.priv_packetsreceived = priv_U64(value); break;
                    case 5: r.priv_packetsdropped = priv_U64(value); break;
                    case 6: r.priv_filteraccepted = priv_U64(value); break;
                    case 7: r.priv_osdropped = priv_U64(value); break;
                    case 8: r.priv_usrdelivered = priv_U64(value); break;
                    default: break;
                }
            });
        if (damaged >= 0) addLoaderMessage(msCritical, fmt::format(DamagedOptionText, damaged), ISBLocation, 0);
    }
    iBatchFileOffset = offset + static_cast<int64_t>(totalLength);
    return record;
}

tSecretsRecord tPCAPNGLoader::readDecryptionSecretsBock() {
    tSecretsRecord record;
    const int64_t offset = iBatchFileOffset;
    const uint64_t left = prot_BytesLeft(offset);
    if (left < DSBMinSize) {
        priv_Incomplete("incomplete pcapng file, cannot read Decryption Secrets Block", DSBLocation);
        return record;
    }
    const uint64_t totalLength = priv_U32(offset + 4);
    if (left < totalLength) {
        priv_Incomplete("incomplete pcapng file, cannot read Decrytpion Secrets Block", DSBLocation);
        return record;
    }
    record.SecretsType = NumberToSecretsType(priv_U32(offset + DSBType));
    const uint64_t stated = priv_U32(offset + DSBLength);
    // The text stays inside the block, whatever length it states.
    const uint64_t room = totalLength > DSBMinSize ? totalLength - DSBMinSize : 0;
    const size_t size = static_cast<size_t>(std::min(stated, room));
    const char* text = reinterpret_cast<const char*>(pData + offset + DSBData);
    const void* zero = std::memchr(text, 0, size);
    record.KeyLogFile.assign(text, zero ? static_cast<size_t>(static_cast<const char*>(zero) - text) : size);
    iBatchFileOffset = offset + static_cast<int64_t>(totalLength);
    return record;
}

// ------------------------------------------------------------------ batches

void tPCAPNGLoader::readBatchFromDisk() {
    prot_BeginBatch();
    iFramesDropped = 0;
    if (boEOF) {
        prot_FinishBatch();
        return;
    }
    if (iBatchFileOffset == 0)
        throw tInOutError("Error: invalid file offset - file header not read? (PCAPNGLoader.readbatchfromdisk).");
    if (iBatchFileOffset >= iFileSize || LoaderStatus != lsSuccess) {
        boEOF = true;
        prot_FinishBatch();
        return;
    }

    for (;;) {
        const int64_t offset = iBatchFileOffset;
        const uint64_t left = prot_BytesLeft(offset);
        if (left < 4) {
            // A few bytes after the last block: the file ends here, the frames stay.
            addLoaderMessage(msMajor, "Error: unexpected end of file (PCAPNGLoader.readbatchfromdisk).",
                             BatchLocation, 0);
            LoaderStatus = lsIncompleteFile;
            boEOF = true;
            break;
        }
        const uint32_t type = left >= 8 ? priv_BlockHeaderAt(offset).Type : priv_U32(offset);
        if (left >= 8 && !priv_CheckBlockLength(priv_BlockHeaderAt(offset), offset)) {
            boEOF = true;
            break;
        }
        switch (type) {
            case BTInterfaceDescription: readInterfaceDescriptionHeader(); break;
            case BTPacket:
            case BTSimplePacket:
            case BTEnhancedPacket: {
                const int64_t frameIndex = iTotalFramesRead + 1;
                std::optional<tRawFrame> frame;
                try {
                    frame = priv_ReadPacketByType(type, frameIndex);
                } catch (const tMorwickError&) {
                    const std::string text = fmt::format("Error reading EHB from disk for frame #{}", iFramesAvailable);
                    LogFatal(text);
                    addLoaderMessage(msCritical, text, BatchLocation, frameIndex);
                }
                if (frame) {
                    ++iTotalFramesRead;
                    addRawFrame(std::move(*frame));
                }
                break;
            }
            case BTNameResolution: readNameResolutionBlockHeader(); break;
            case BTInterfaceStatistics: {
                std::unique_ptr<tStatisticsRecord> record = readInterfaceStatisticsBlock();
                if (!record) break;
                const int64_t index = int64_t{record->priv_interfaceID} + priv_interfacemodifier;
                tCaptureInterface* ci = InterfaceList.getInterfaceByIndex(index);
                if (ci != nullptr) {
                    ci->InterfaceStatistics().addEntry(std::move(record));
                } else {
                    addLoaderMessage(msWarning,
                                     fmt::format("Index {} of interface statistics at offset {} points to unknown "
                                                 "interface, block ignored",
                                                 record->priv_interfaceID, offset),
                                     BatchLocation, 0);
                }
                break;
            }
            case BTDecryptionSecrets: SecretsRecords.push_back(readDecryptionSecretsBock()); break;
            case BTSectionHeader:
                addLoaderMessage(msWarning, fmt::format("found additional Section Block Header at offset {}", offset),
                                 BatchLocation, 0);
                ReadMasterBlocks();
                break;
            default:
                // Frames already in the batch are handed out first; the next batch
                // starts at this block and reports it.
                if (iFramesAvailable > 0) {
                    prot_FinishBatch();
                    return;
                }
                throw tInOutError(fmt::format("Warning: found unhandled blocktype {}, cannot process.", type));
        }
        if (iBatchFileOffset == offset && LoaderStatus == lsSuccess) {
            // A block that could not even be framed (a file cut inside a block header)
            // leaves the position where it was: the file ends here, the frames stay.
            addLoaderMessage(msMajor, "Error: unexpected end of file (PCAPNGLoader.readbatchfromdisk).",
                             BatchLocation, 0);
            LoaderStatus = lsIncompleteFile;
        }
        if (iBatchFileOffset >= iFileSize || LoaderStatus != lsSuccess) {
            boEOF = true;
            break;
        }
        if (prot_BatchFull()) break;
    }
    prot_FinishBatch();
}

// ------------------------------------------------------------------ single frames

std::optional<tRawFrame> tPCAPNGLoader::readSingleFrameFromDisk(int64_t FrameIndex) {
    if (iBatchFileOffset == 0)
        throw tInOutError("Error: invalid file offset - file header not read? (PCAPNGLoader.readSingleFrameFromDisk).");
    ReadMasterBlocks();
    if (FrameIndex < 1) return std::nullopt;

    // Walk from the start, keeping track of the sections so that the frame is read
    // with its own section's byte order and interface numbering.
    const bool savedSwap = priv_ByteSwappedFile;
    const int32_t savedModifier = priv_interfacemodifier;
    const int64_t savedOffset = iBatchFileOffset;
    auto restore = [&] {
        priv_ByteSwappedFile = savedSwap;
        priv_interfacemodifier = savedModifier;
        iBatchFileOffset = savedOffset;
    };
    int64_t offset = 0;
    int64_t count = 0;
    int32_t sectionBase = 0;
    int32_t sectionInterfaces = 0;
    bool skip = false;
    priv_ByteSwappedFile = false;
    while (offset < iFileSize) {
        if (prot_BytesLeft(offset) < 8) {
            restore();
            throw tInOutError("Error: unexpected end of file (PCAPNGLoader.readSingleFrameFromDisk).");
        }
        const tBlockHeader header = priv_BlockHeaderAt(offset);
        if (header.TotalLength < static_cast<uint64_t>(MinBlockSize)) {
            restore();
            throw tInOutError("Error: unexpected end of file (PCAPNGLoader.readSingleFrameFromDisk).");
        }
        if (header.Type == BTSectionHeader && prot_BytesLeft(offset) >= SHBMinSize) {
            const uint32_t magic = le32(pData + offset + SHBMagic);
            priv_ByteSwappedFile = magic == MagicBigEndian;
            skip = (magic != MagicLittleEndian && magic != MagicBigEndian) || priv_U16(offset + SHBMajor) != 1 ||
                   priv_U16(offset + SHBMinor) != 0;
            sectionBase += sectionInterfaces;
            sectionInterfaces = 0;
        } else if (!skip && header.Type == BTInterfaceDescription) {
            ++sectionInterfaces;
        } else if (!skip && IsPacketBlock(header.Type) && ++count == FrameIndex) {
            priv_interfacemodifier = sectionBase;
            iBatchFileOffset = offset;
            std::optional<tRawFrame> frame;
            try {
                frame = priv_ReadPacketByType(header.Type, FrameIndex);
            } catch (...) {
                restore();
                throw;
            }
            restore();
            return frame;
        }
        offset += static_cast<int64_t>(header.TotalLength);
    }
    restore();
    boEOF = true;
    return std::nullopt;
}

std::optional<tRawFrame> tPCAPNGLoader::readSingleFrameByOffset(int64_t Offset, int64_t FrameIndex) {
    if (pData == nullptr || prot_BytesLeft(Offset) < 4)
        throw tInOutError("Error: unexpected end of file (PCAPNGLoader.readSingleFrameByOffset).");
    const uint32_t type = priv_U32(Offset);
    if (!IsPacketBlock(type))
        throw tInOutError(
            fmt::format("Warning: found unhandled blocktype {}, cannot process (PCAPNGLoader.readSingleFrameByOffset).",
                        type));
    const int64_t savedOffset = iBatchFileOffset;
    iBatchFileOffset = Offset;
    std::optional<tRawFrame> frame;
    try {
        frame = priv_ReadPacketByType(type, FrameIndex);
    } catch (...) {
        iBatchFileOffset = savedOffset;
        throw;
    }
    iBatchFileOffset = savedOffset;
    return frame;
}

std::optional<tRawFrame> tPCAPNGLoader::readLastFrameFromDisk() {
    if (pData == nullptr) return std::nullopt;
    int64_t end = iFileSize;
    while (end >= MinBlockSize) {
        const uint32_t length = priv_U32(end - 4);
        if (length > 65'535 || length < MinBlockSize || length > end) return std::nullopt;
        const int64_t start = end - length;
        if (priv_U32(start) == BTEnhancedPacket) {
            const int64_t savedOffset = iBatchFileOffset;
            iBatchFileOffset = start;
            std::optional<tRawFrame> frame;
            try {
                frame = readEnhancedPacketBlock(1);
            } catch (...) {
                iBatchFileOffset = savedOffset;
                throw;
            }
            iBatchFileOffset = savedOffset;
            return frame;
        }
        end = start;
    }
    return std::nullopt;
}

}  // namespace morwick
