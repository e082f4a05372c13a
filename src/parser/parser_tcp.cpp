#include "parser/parser_tcp.h"

#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <span>

namespace morwick {

namespace {

// Header field offsets.
constexpr int32_t kSourcePortAt = 0;
constexpr int32_t kDestinationPortAt = 2;
constexpr int32_t kSequenceAt = 4;
constexpr int32_t kAcknowledgeAt = 8;
constexpr int32_t kOffsetAndFlagsAt = 12;
constexpr int32_t kWindowAt = 14;
constexpr int32_t kChecksumAt = 16;
constexpr int32_t kUrgentAt = 18;

// Flag bits of the header's flag field, in the order of tTCPFlags.
constexpr uint16_t kFlagBits[] = {
    0x002,  // tcpSYN
    0x010,  // tcpACK
    0x001,  // tcpFIN
    0x004,  // tcpRST
    0x008,  // tcpPSH
    0x020,  // tcpURG
    0x040,  // tcpECN
    0x080,  // tcpCWR
    0x100,  // tcpNON
    0x200,  // tcpRS1
    0x400,  // tcpRS2
};

// Option kinds.
constexpr uint8_t kOptEOL = 0;
constexpr uint8_t kOptNOP = 1;
constexpr uint8_t kOptMSS = 2;
constexpr uint8_t kOptWindowScale = 3;
constexpr uint8_t kOptSACKPermitted = 4;
constexpr uint8_t kOptSACK = 5;
constexpr uint8_t kOptTimestamp = 8;
constexpr uint8_t kOptCC = 11;
constexpr uint8_t kOptCCNew = 12;
constexpr uint8_t kOptCCEcho = 13;
constexpr uint8_t kOptMultipath = 30;
constexpr uint8_t kOptFastOpen = 34;
// Kinds below this are registered but not decoded here; from it on they are unknown.
constexpr uint8_t kFirstUnknownKind = 19;

std::string Dec(int64_t v) { return fmt::format("{}", v); }

}  // namespace

uint16_t TCPFlagsToWord(tTCPFlagSet Flags) {
    uint16_t word = 0;
    for (size_t i = 0; i < std::size(kFlagBits); ++i)
        if (Flags.has(static_cast<tTCPFlags>(i))) word = static_cast<uint16_t>(word | kFlagBits[i]);
    return word;
}

namespace {

// The set masks of the six low flag bits (FIN .. URG), which the flag order reorders;
// the bits from ECN (0x040) on stand at the same place in the word and in the set.
constexpr std::array<uint16_t, 64> MakeLowFlagMasks() {
    std::array<uint16_t, 64> masks{};
    for (uint16_t word = 0; word < 64; ++word)
        for (size_t i = 0; i < std::size(kFlagBits); ++i)
            if (word & kFlagBits[i]) masks[word] = static_cast<uint16_t>(masks[word] | (1u << i));
    return masks;
}
constexpr std::array<uint16_t, 64> kLowFlagMasks = MakeLowFlagMasks();
static_assert(kFlagBits[tcpECN] == 1u << tcpECN && kFlagBits[tcpRS2] == 1u << tcpRS2);

}  // namespace

tTCPFlagSet WordToTCPFlags(uint16_t Word) {
    return tTCPFlagSet::FromMask(static_cast<uint16_t>(kLowFlagMasks[Word & 0x3F] | (Word & 0x7C0)));
}

bool isSYNPacket(tTCPFlagSet Flags) {
    const tTCPFlagSet allowed{tcpSYN, tcpECN, tcpCWR, tcpNON};
    return Flags.has(tcpSYN) && (Flags - allowed).empty();
}

bool isSYNACKPacket(tTCPFlagSet Flags) {
    const tTCPFlagSet allowed{tcpSYN, tcpACK, tcpPSH, tcpECN, tcpCWR, tcpNON};
    return Flags.has(tcpSYN) && Flags.has(tcpACK) && (Flags - allowed).empty();
}

uint8_t tTCPParser::sectionU8(int64_t Offset) const {
    return isInSection(Offset, 1) ? priv_framedata[Offset] : 0;
}

uint64_t tTCPParser::sectionBE(int64_t Offset, int Count) const {
    if (!isInSection(Offset, Count)) return 0;
    uint64_t v = 0;
    for (int i = 0; i < Count; ++i) v = (v << 8) | priv_framedata[Offset + i];
    return v;
}

void tTCPParser::recordOption(tTCPOption Option) {
    priv_exactoptionlist.push_back(Option);
    priv_optionset.add(Option);
}

tParseResult tTCPParser::parseTruncatedHeader(int32_t Available) {
    priv_headertruncated = true;
    prot_layersize = Available;
    priv_valuesavailable = 0;
    const int32_t at = priv_frameoffset;
    // Each field is taken only when the captured bytes cover it.
    auto covered = [&](int32_t end) {
        if (Available < end) return false;
        ++priv_valuesavailable;
        return true;
    };
    if (covered(2)) priv_sourceport = be16(at + kSourcePortAt);
    if (covered(4)) priv_destinationport = be16(at + kDestinationPortAt);
    if (covered(8)) priv_sequence.initialize(be32(at + kSequenceAt), 0);
    if (covered(12)) priv_acknowledgement.initialize(be32(at + kAcknowledgeAt), 0);
    if (covered(14)) {
        const uint16_t w = be16(at + kOffsetAndFlagsAt);
        priv_headerlength = static_cast<uint8_t>((w >> 12) * 4);
        priv_flags = WordToTCPFlags(w);
    }
    if (covered(16)) priv_windowsize = be16(at + kWindowAt);
    if (covered(18)) priv_checksum = be16(at + kChecksumAt);
    priv_nextAnchor = {hdrNoNextHeader, priv_frameoffset + prot_layersize};
    return prSuccess;
}

tParseResult tTCPParser::parse() {
    priv_osilayer = 4;
    if (priv_frameoffset < 0) return prFailOutOfBounds;
    // A section that ends before the header starts holds nothing of it.
    const int32_t available = std::max<int32_t>(priv_lastoffset - priv_frameoffset + 1, 0);
    if (available < kHeaderSize) return parseTruncatedHeader(available);

    try {
        const int32_t at = priv_frameoffset;
        priv_sourceport = be16(at + kSourcePortAt);
        priv_destinationport = be16(at + kDestinationPortAt);
        priv_sequence.initialize(be32(at + kSequenceAt), 0);
        priv_acknowledgement.initialize(be32(at + kAcknowledgeAt), 0);
        const uint16_t w = be16(at + kOffsetAndFlagsAt);
        priv_headerlength = static_cast<uint8_t>((w >> 12) * 4);
        priv_flags = WordToTCPFlags(w);
        priv_windowsize = be16(at + kWindowAt);
        priv_checksum = be16(at + kChecksumAt);
        priv_urgentpointer = be16(at + kUrgentAt);

        // A data offset below five cannot even cover the fixed header: taking it would
        // hand the fixed header on as payload.
        if (priv_headerlength < kHeaderSize) return prFailInvalidValues;

        if (priv_headerlength > kHeaderSize) {
            const tParseResult options = parseOptions();
            if (options == prOptionsTruncated) {
                priv_optionset.add(tcpOptionsTruncated);
            } else if (options == prFailTruncated || options == prFailParsingLoop) {
                return options;
            }
        }

        // A header that claims more bytes than the section holds leaves no payload.
        priv_payloadlen = std::max<int32_t>(priv_sectionlen - priv_headerlength, 0);
        uint32_t advance = static_cast<uint32_t>(priv_payloadlen);
        if (priv_flags.has(tcpSYN) || priv_flags.has(tcpFIN)) ++advance;
        priv_nextexpectedsequence = priv_sequence + advance;
        prot_layersize = priv_headerlength;

        tParseResult result = prSuccess;
        if (priv_framelength > kMaxWordFrameLength) {
            priv_checksumlen = 0;
            result = prFailPayloadTruncated;
        } else {
            // Only captured bytes of the section take part in the checksum.
            priv_checksumfrom = priv_frameoffset;
            priv_checksumlen = available;
        }
        priv_tcpsectionwords.clear();
        priv_wordsbuilt = false;

        int32_t nextType = hdrDecideByPorts;
        if (priv_payloadlen <= 0) {
            nextType = hdrNoNextHeader;
        } else if (result == prFailPayloadTruncated) {
            nextType = hdrPayload;
        }
        priv_nextAnchor = {nextType, priv_frameoffset + priv_headerlength};
        return result;
    } catch (const std::exception&) {
        return prFailInvalidValues;
    }
}

const tBufferWords& tTCPParser::TCPSectionAsWordBuffer() const {
    if (!priv_wordsbuilt) {
        BytesToBufferWords(TCPSectionBytes(), priv_tcpsectionwords);
        priv_wordsbuilt = true;
    }
    return priv_tcpsectionwords;
}

tParseResult tTCPParser::parseOptions() {
    priv_optionset.clear();
    priv_exactoptionlist.clear();
    priv_totaloptionlen = 0;
    priv_sackranges.clear();
    priv_scalefactor = tTCPScaleFactorOption{};
    priv_timestamp = tTCPTimeStampOption{};

    const int64_t end = int64_t{priv_frameoffset} + priv_headerlength;
    const int64_t last = priv_lastoffset;
    int64_t pos = int64_t{priv_frameoffset} + kHeaderSize;

    for (;;) {
        if (pos > last) {
            priv_exactoptionlist.clear();
            return prOptionsTruncated;
        }
        const uint8_t kind = priv_framedata[pos];
        uint8_t length = 0;
        if (kind > kOptNOP) {
            if (pos + 1 > last) return prOptionsTruncated;
            length = priv_framedata[pos + 1];
            if (pos + length - 1 > last) return prOptionsTruncated;
        }

        int64_t used = length;
        bool endOfList = false;
        switch (kind) {
            case kOptEOL: {
                if (priv_optionset.has(tcpEOL))
                    addDiagnosticMsg(msWarning, MSG_TCP_MULTIPLE_EOL_OPTION_SPECIFIED);
                recordOption(tcpEOL);
                // The rest of the header area is padding; only captured bytes are taken.
                const int64_t padEnd = std::min(end, last + 1);
                priv_optionpad.clear();
                bool nonZero = false;
                for (int64_t p = pos + 1; p < padEnd; ++p) {
                    const uint8_t b = priv_framedata[p];
                    priv_optionpad.push_back(b);
                    if (b != 0 && !nonZero) {
                        nonZero = true;
                        addDiagnosticMsg(msWarning, MSG_TCP_OPTION_DATA_AFTER_EOL);
                    }
                }
                priv_paddinglen = static_cast<int32_t>(priv_optionpad.size());
                used = 1 + priv_paddinglen - (nonZero ? 1 : 0);
                endOfList = true;
                break;
            }
            case kOptNOP:
                used = 1;
                recordOption(tcpNOP);
                break;
            case kOptMSS:
                if (priv_optionset.has(tcpMSS))
                    addDiagnosticMsg(msWarning, MSG_TCP_MULTIPLE_MSS_OPTIONS_SPECIFIED);
                if (length == 4) {
                    recordOption(tcpMSS);
                    priv_mss = static_cast<uint16_t>(sectionBE(pos + 2, 2));
                } else {
                    addDiagnosticMsg(msWarning, MSG_TCP_BAD_MSS_OPTION_LEN);
                }
                break;
            case kOptWindowScale:
                if (priv_optionset.has(tcpScalefactor))
                    addDiagnosticMsg(msWarning, MSG_TCP_MULTIPLE_SCALE_OPTIONS_SPECIFIED);
                if (length == 3) {
                    recordOption(tcpScalefactor);
                    const uint8_t shift = sectionU8(pos + 2);
                    priv_scalefactor.ShiftCount = shift;
                    // Low 32 bits of 2^shift; the standard allows at most 14.
                    priv_scalefactor.Multiplier =
                        shift < 32 ? static_cast<int32_t>(uint32_t{1} << shift) : 0;
                } else {
                    addDiagnosticMsg(msWarning, MSG_TCP_BAD_MSS_OPTION_LEN, "3", Dec(length));
                }
                break;
            case kOptSACKPermitted:
                if (length == 2) {
                    if (priv_optionset.has(tcpSACKPermitted))
                        addDiagnosticMsg(msWarning, MSG_TCP_MULTIPLE_SACK_OPTIONS_SPECIFIED);
                    recordOption(tcpSACKPermitted);
                } else {
                    addDiagnosticMsg(msWarning, MSG_TCP_BAD_SACK_OPTION_LEN, "2", Dec(length));
                }
                break;
            case kOptSACK: {
                priv_sackranges.clear();
                const int count = length >= 2 ? (length - 2) / 8 : 0;
                for (int i = 0; i < count; ++i) {
                    tTCPSequenceEdges edges;
                    const int64_t at = pos + 2 + int64_t{i} * 8;
                    edges.leftEdge.initialize(static_cast<uint32_t>(sectionBE(at, 4)), 0);
                    edges.rightEdge.initialize(static_cast<uint32_t>(sectionBE(at + 4, 4)), 0);
                    edges.Index = priv_frameindex;
                    priv_sackranges.push_back(edges);
                }
                recordOption(tcpSACK);
                break;
            }
            case kOptTimestamp:
                if (priv_optionset.has(tcpTimestamp))
                    addDiagnosticMsg(msWarning, MSG_TCP_MULTIPLE_TS_OPTIONS_SPECIFIED);
                recordOption(tcpTimestamp);
                priv_timestamp.tsval = static_cast<uint32_t>(sectionBE(pos + 2, 4));
                priv_timestamp.tsecho = static_cast<uint32_t>(sectionBE(pos + 6, 4));
                break;
            case kOptCC: recordOption(tcpCC); break;
            case kOptCCNew: recordOption(tcpCCNEW); break;
            case kOptCCEcho: recordOption(tcpCCECHO); break;
            case kOptMultipath:
                parseMultiPathOption(static_cast<int32_t>(pos), length);
                recordOption(tcpMPath);
                break;
            case kOptFastOpen:
                if (length < 2 || length > 18) {
                    addDiagnosticMsg(msWarning, MSG_TCP_BAD_FASTOPEN_OPTION_LEN, "2-18", Dec(length));
                } else {
                    tTCPFastOpenOption cookie;
                    cookie.CookieLength = static_cast<uint8_t>(length - 2);
                    for (int i = 0; i < cookie.CookieLength; ++i)
                        cookie.Cookie[static_cast<size_t>(i)] = sectionU8(pos + 2 + i);
                    priv_fastopenoptionlist.push_back(cookie);
                    recordOption(tcpFastOpen);
                }
                break;
            default:
                addDiagnosticMsg(msWarning,
                                 kind < kFirstUnknownKind ? MSG_TCP_OPTION_NOT_IMPLEMENTED
                                                          : MSG_TCP_OPTION_CODE_INVALID,
                                 Dec(kind));
                break;
        }

        if (used == 0) return prFailParsingLoop;
        priv_totaloptionlen += static_cast<int32_t>(used);
        pos += used;

        if (pos >= end || pos > last || endOfList) {
            if (pos > end)
                addDiagnosticMsg(msMajor, MSG_TCP_OPTION_SIZE_EXCEEDS_HEADER_LENGTH,
                                 Dec(pos - priv_frameoffset), Dec(priv_headerlength));
            return prSuccess;
        }
    }
}

void tTCPParser::parseMultiPathOption(int32_t Pos, uint8_t Length) {
    tTCPMultiPathOption option;
    option.optionlength = Length;
    const int64_t s = int64_t{Pos} + 2;  // subtype byte
    const uint8_t first = sectionU8(s);
    switch (first >> 4) {
        case 0: {
            option.subType = mtcpCapable;
            option.TCPVersion = first & 0x0F;
            const uint8_t flags = sectionU8(s + 1);
            if (flags & 0x80) option.MPathFlags.add(tmpChecksumReq);
            if (flags & 0x40) option.MPathFlags.add(tmpExtensibility);
            if (flags & 0x01) option.MPathFlags.add(tmpCryptoUseHMAC);
            option.SendersKey = sectionBE(s + 2, 8);
            if (Length == 20) option.ReceiversKey = sectionBE(s + 10, 8);
            break;
        }
        case 1:
            option.subType = mtcpJoinConnection;
            if (first & 0x01) option.MPathFlags.add(tmpBackup);
            option.AddressID = sectionU8(s + 1);
            option.ReceiversToken = static_cast<uint32_t>(sectionBE(s + 2, 4));
            option.SendersRndNr = static_cast<uint32_t>(sectionBE(s + 6, 4));
            break;
        case 2: {
            option.subType = mtcpDataSequenceSignal;
            const uint8_t flags = sectionU8(s + 1);
            if (flags & 0x10) option.MPathFlags.add(tmpDataFin);
            if (flags & 0x08) option.MPathFlags.add(tmpDataSeq8Octets);
            if (flags & 0x04) option.MPathFlags.add(tmpDNSetcPresent);
            if (flags & 0x02) option.MPathFlags.add(tmpDataACK8Octets);
            if (flags & 0x01) option.MPathFlags.add(tmpDataACKpresent);
            int64_t at = s + 2;
            if (option.MPathFlags.has(tmpDataACKpresent)) {
                const int size = option.MPathFlags.has(tmpDataACK8Octets) ? 8 : 4;
                option.ACKNumber = sectionBE(at, size);
                at += size;
            }
            if (option.MPathFlags.has(tmpDNSetcPresent)) {
                const int size = option.MPathFlags.has(tmpDataSeq8Octets) ? 8 : 4;
                option.SEQNumber = sectionBE(at, size);
            }
            break;
        }
        case 3:
            option.subType = mtcpAddAddress;
            option.IPVersion = first & 0x0F;
            option.AddressID = sectionU8(s + 1);
            if (option.IPVersion == 4) {
                option.IPv4Address.initialize(static_cast<uint32_t>(sectionBE(s + 2, 4)));
                if (Length == 10) option.TCPPort = static_cast<uint16_t>(sectionBE(s + 6, 2));
            } else if (option.IPVersion == 6) {
                std::array<uint16_t, 8> words{};
                for (size_t i = 0; i < 8; ++i)
                    words[i] = static_cast<uint16_t>(sectionBE(s + 2 + 2 * static_cast<int64_t>(i), 2));
                option.IPv6Address.initialize(words);
                if (Length == 22) option.TCPPort = static_cast<uint16_t>(sectionBE(s + 18, 2));
            }
            break;
        case 4:
            option.subType = mtcpRemovAddress;
            option.AddressID = sectionU8(s + 1);
            break;
        case 5:
            option.subType = mtcpSubflowPrio;
            if (first & 0x01) option.MPathFlags.add(tmpBackup);
            break;
        case 6:
            option.subType = mtcpFallback;
            option.DataSequenceNr = sectionBE(s + 2, 8);
            break;
        case 7:
            option.subType = mtcpFastClose;
            option.ReceiversKey = sectionBE(s + 2, 8);
            break;
        default:
            option.subType = mtcpNone;
            break;
    }
    priv_mpathoptionlist.push_back(option);
}

}  // namespace morwick
