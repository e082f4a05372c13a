#pragma once
// TCP header parser with its options, the TCP flag set and the wrapping sequence number.
// A section parser: the parse master passes the IP payload length of the last IP layer
// as section length.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/addresses.h"
#include "base/chunk.h"
#include "base/codes.h"
#include "parser/frameparser.h"
#include "parser/parser_udp.h"

namespace morwick {

// ---- Flags ----

enum tTCPFlags : uint8_t {
    tcpSYN, tcpACK, tcpFIN, tcpRST, tcpPSH, tcpURG, tcpECN, tcpCWR, tcpNON, tcpRS1, tcpRS2
};
using tTCPFlagSet = tEnumSet<tTCPFlags, uint16_t>;

// The flag bits as they stand in the header's flag field (FIN 0x001 .. RS2 0x400).
uint16_t TCPFlagsToWord(tTCPFlagSet Flags);
// Bits above 0x400 are ignored.
tTCPFlagSet WordToTCPFlags(uint16_t Word);

// SYN set, none of ACK, FIN, RST, PSH, URG, RS1, RS2 (ECN, CWR, NON may be set).
bool isSYNPacket(tTCPFlagSet Flags);
// SYN and ACK set, none of FIN, RST, URG, RS1, RS2 (PSH, ECN, CWR, NON may be set).
bool isSYNACKPacket(tTCPFlagSet Flags);

// ---- Sequence numbers ----

// A 32-bit sequence number that counts how often it wrapped.
struct tTCPSequence {
    int32_t WrapCount = 0;
    uint32_t Value = 0;

    void initialize() { *this = tTCPSequence{}; }
    void initialize(uint32_t SequenceNumber, int32_t WrappedCount) {
        Value = SequenceNumber;
        WrapCount = WrappedCount;
    }
    // Value + n; a sum past 0xFFFFFFFF wraps and counts one more wrap.
    tTCPSequence operator+(uint32_t n) const {
        tTCPSequence r = *this;
        const uint64_t sum = uint64_t{Value} + n;
        r.Value = static_cast<uint32_t>(sum);
        if (sum > 0xFFFFFFFFull) ++r.WrapCount;
        return r;
    }
    friend constexpr bool operator==(const tTCPSequence&, const tTCPSequence&) = default;
};

// ---- Option records ----

enum tTCPOption : uint8_t {
    tcpNOP, tcpMSS, tcpScalefactor, tcpSACKPermitted, tcpSACK, tcpTimestamp, tcpEOL, tcpCC,
    tcpCCNEW, tcpCCECHO, tcpMPath, tcpFastOpen, tcpRiverbed, tcpOptionsTruncated
};
using tTCPOptionSet = tEnumSet<tTCPOption, uint16_t>;

// A list with a fixed capacity kept inside the object. The option area of a TCP header
// holds at most 40 bytes, so its per-option lists never need the heap.
template <typename T, size_t N>
class tTCPBoundedList {
public:
    size_t size() const { return priv_count; }
    bool empty() const { return priv_count == 0; }
    static constexpr size_t capacity() { return N; }
    const T* begin() const { return priv_items.data(); }
    const T* end() const { return priv_items.data() + priv_count; }
    const T& operator[](size_t i) const { return priv_items[i]; }
    // Items past the capacity are dropped.
    void push_back(const T& v) {
        if (priv_count < N) priv_items[priv_count++] = v;
    }
    void clear() { priv_count = 0; }

private:
    std::array<T, N> priv_items{};
    size_t priv_count = 0;
};

using tTCPOptionList = tTCPBoundedList<tTCPOption, 40>;
using tTCPOptionPad = tTCPBoundedList<uint8_t, 40>;

struct tTCPSequenceEdges {
    tTCPSequence leftEdge;
    tTCPSequence rightEdge;
    int64_t Span = 0;
    int64_t Index = 0;
};
using tTCPSACKRanges = std::vector<tTCPSequenceEdges>;

struct tTCPScaleFactorOption {
    int32_t ShiftCount = 0;
    int32_t Multiplier = 1;
};

struct tTCPTimeStampOption {
    uint32_t tsval = 0;
    uint32_t tsecho = 0;
};

enum tTCPMPathSubType : uint8_t {
    mtcpNone, mtcpCapable, mtcpDataSequenceSignal, mtcpJoinConnection, mtcpAddAddress,
    mtcpRemovAddress, mtcpFastClose, mtcpFallback, mtcpSubflowPrio
};
enum tTCPMPathFlags : uint8_t {
    tmpChecksumReq, tmpExtensibility, tmpCryptoUseHMAC, tmpBackup, tmpDataFin,
    tmpDataSeq8Octets, tmpDNSetcPresent, tmpDataACK8Octets, tmpDataACKpresent
};
using tTCPMPathFlagSet = tEnumSet<tTCPMPathFlags, uint16_t>;

struct tTCPMultiPathOption {
    int32_t optionlength = 0;
    tTCPMPathSubType subType = mtcpNone;
    uint8_t TCPVersion = 0;
    uint8_t IPVersion = 0;
    tTCPMPathFlagSet MPathFlags;
    uint64_t SendersKey = 0;
    uint64_t ReceiversKey = 0;
    uint8_t AddressID = 0;
    uint32_t ReceiversToken = 0;
    uint32_t SendersRndNr = 0;
    uint64_t ACKNumber = 0;
    uint64_t SEQNumber = 0;
    tIPv4Address IPv4Address;
    tIPv6Address IPv6Address;
    uint16_t TCPPort = 0;
    uint64_t DataSequenceNr = 0;

    void initialize() { *this = tTCPMultiPathOption{}; }
    void CopyFrom(const tTCPMultiPathOption& Source) { *this = Source; }
};
using tTCPMPathOptionList = std::vector<tTCPMultiPathOption>;

using tFastOpenCookie = std::array<uint8_t, 16>;
struct tTCPFastOpenOption {
    uint8_t CookieLength = 0;
    tFastOpenCookie Cookie{};

    void initialize() { *this = tTCPFastOpenOption{}; }
    void CopyFrom(const tTCPFastOpenOption& Source) { *this = Source; }
};
using tTCPFastOpenOptionList = std::vector<tTCPFastOpenOption>;

struct tTCPRiverbedOption {
    uint8_t OptionLength = 0;
    uint8_t OptionType = 0;
    uint8_t OptionVersion = 0;
    uint8_t IPversion = 4;
    uint8_t AppVersion = 0;
    tIPv4Address IPv4Address;

    void initialize() { *this = tTCPRiverbedOption{}; }
};
using tRiverbedOptionList = std::vector<tTCPRiverbedOption>;

// ---- Parser ----

class tTCPParser : public tSectionParser {
public:
    static constexpr int32_t kHeaderSize = 20;
    // Frames with more captured bytes are not turned into checksum words.
    static constexpr int32_t kMaxWordFrameLength = 9018;

    tTCPParser(const uint8_t* FrameData, int32_t FrameOffset, int32_t DataLength,
               int32_t WireLength, int32_t TCPSectionLength, int64_t FrameIndex)
        : tSectionParser(FrameData, FrameOffset, DataLength, WireLength, TCPSectionLength,
                         FrameIndex) {}

    bool checkIsPlausible() override { return true; }
    // Option problems become warnings; only a zero option length fails
    // (prFailParsingLoop). A header length below 20 fails with prFailInvalidValues.
    tParseResult parse() override;

    uint16_t SourcePort() const { return priv_sourceport; }
    uint16_t DestinationPort() const { return priv_destinationport; }
    tWordPair PortPair() const { return {priv_sourceport, priv_destinationport}; }
    tTCPSequence SequenceNumber() const { return priv_sequence; }
    tTCPSequence AcknowledgeNumber() const { return priv_acknowledgement; }
    tTCPSequence NextExpectedSequenceNumber() const { return priv_nextexpectedsequence; }
    uint8_t HeaderLength() const { return priv_headerlength; }
    tTCPFlagSet Flags() const { return priv_flags; }
    uint16_t WindowSize() const { return priv_windowsize; }
    uint16_t Checksum() const { return priv_checksum; }
    uint16_t UrgentPointer() const { return priv_urgentpointer; }
    bool isSYNPacket() const { return morwick::isSYNPacket(priv_flags); }
    bool isSYNACKPacket() const { return morwick::isSYNACKPacket(priv_flags); }

    tTCPOptionSet TCPOptionsSet() const { return priv_optionset; }
    const tTCPOptionList& ExactOptionList() const { return priv_exactoptionlist; }
    uint16_t MSS() const { return priv_mss; }
    tTCPScaleFactorOption Scalefactor() const { return priv_scalefactor; }
    tTCPTimeStampOption Timestamp() const { return priv_timestamp; }
    const tTCPSACKRanges& SACKRanges() const { return priv_sackranges; }
    const tTCPMPathOptionList& MultiPathOptionList() const { return priv_mpathoptionlist; }
    const tTCPFastOpenOptionList& FastOpenOptionList() const { return priv_fastopenoptionlist; }
    const tRiverbedOptionList& RiverbedOptionList() const { return priv_riverbedoptionlist; }
    int32_t PaddingLength() const { return priv_paddinglen; }
    const tTCPOptionPad& PaddingBytes() const { return priv_optionpad; }
    int32_t TotalOptionLength() const { return priv_totaloptionlen; }

    // Payload bytes the section holds after the header; never negative.
    int32_t PayloadLength() const { return priv_payloadlen; }
    // Header and payload (section length bytes as far as captured), the bytes the
    // checksum covers; empty for frames above kMaxWordFrameLength. Points into the frame.
    std::span<const uint8_t> TCPSectionBytes() const {
        if (priv_checksumlen <= 0) return {};
        return {priv_framedata + priv_checksumfrom, static_cast<size_t>(priv_checksumlen)};
    }
    // The same bytes as network-order words; built on the first call.
    const tBufferWords& TCPSectionAsWordBuffer() const;

    bool HeaderWasTruncated() const { return priv_headertruncated; }
    uint8_t ValuesAvailable() const { return priv_valuesavailable; }

private:
    tParseResult parseTruncatedHeader(int32_t Available);
    tParseResult parseOptions();
    void parseMultiPathOption(int32_t Pos, uint8_t Length);
    void recordOption(tTCPOption Option);
    // Readers limited to the section: bytes outside it read as 0.
    uint8_t sectionU8(int64_t Offset) const;
    uint64_t sectionBE(int64_t Offset, int Count) const;

    uint16_t priv_sourceport = 0;
    uint16_t priv_destinationport = 0;
    tTCPSequence priv_sequence;
    tTCPSequence priv_acknowledgement;
    tTCPSequence priv_nextexpectedsequence;
    uint8_t priv_headerlength = 0;
    tTCPFlagSet priv_flags;
    uint16_t priv_windowsize = 0;
    uint16_t priv_checksum = 0;
    uint16_t priv_urgentpointer = 0;
    tTCPOptionSet priv_optionset;
    tTCPOptionList priv_exactoptionlist;
    uint16_t priv_mss = 0;
    tTCPScaleFactorOption priv_scalefactor;
    tTCPTimeStampOption priv_timestamp;
    int32_t priv_payloadlen = 0;
    int32_t priv_checksumfrom = 0;  // frame offset and length of TCPSectionBytes
    int32_t priv_checksumlen = 0;
    mutable tBufferWords priv_tcpsectionwords;
    mutable bool priv_wordsbuilt = false;
    tTCPMPathOptionList priv_mpathoptionlist;
    tTCPFastOpenOptionList priv_fastopenoptionlist;
    tRiverbedOptionList priv_riverbedoptionlist;
    tTCPSACKRanges priv_sackranges;
    int32_t priv_paddinglen = 0;
    tTCPOptionPad priv_optionpad;
    int32_t priv_totaloptionlen = 0;
    bool priv_headertruncated = false;
    uint8_t priv_valuesavailable = 0;
};

}  // namespace morwick
