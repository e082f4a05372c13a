#pragma once
// The parse master decodes one frame: starting from the frame's link type it walks the
// headers through one parser per layer, driven by the header-type ids that each parser
// names in its NextAnchor, and keeps the parse list and a summary of what it found
// (addresses, ports, TCP numbers, layer counts, tunnel marks, trailer and FCS, the bytes
// after the last header and all diagnostic messages).
//
// A parse master lives for one frame; the frame must outlive it because the parsers
// point into the frame's bytes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/addresses.h"
#include "base/chunk.h"
#include "base/codes.h"
#include "base/diagnostics.h"
#include "base/pseudoheaders.h"
#include "base/rawframe.h"
#include "parser/frameparser.h"
#include "parser/parser_tcp.h"

namespace morwick {

enum tParseProcessMode : uint8_t {
    ppmParseAll, ppmSanitize, ppmEdit, ppmUpToLayer2, ppmUpToLayer3, ppmUpToLayer4
};

enum tParsedProtocols : uint8_t {
    ppEthernet, ppLinuxCooked, ppVLANTag, ppARP, ppMPLS, ppIPv4, ppIPv6, ppICMPv4, ppICMPv6,
    ppGRE, ppGTPv1, ppAYIYA, ppVXLAN, ppERSPAN, ppCAPWAP, ppGeneve, ppTZSP, ppTCP, ppUDP,
    ppDNS, ppDHCPv4, ppHTTP, ppRTPS
};
using tParsedProtocolSet = tEnumSet<tParsedProtocols, uint32_t>;

struct tParseEntry {
    tProtocolAnchor Anchor;            // header type the parser was created for, start offset
    tFrameParser* Parser = nullptr;    // owned by the parse master
    bool CRCWasCorrect = false;        // only ever set for ICMPv4, IPv4, TCP, UDP and ICMPv6
    tTunnelFlagSet TunnelFlags;

    void initialize() { *this = tParseEntry{}; }
};

struct tLayerOffset {
    int32_t StartOffset = -1;
    int32_t NextLayerOffset = -1;

    void initialize() { *this = tLayerOffset{}; }
    friend constexpr bool operator==(const tLayerOffset&, const tLayerOffset&) = default;
};

// Start and next offset per layer number 2 to 7.
struct tLayerOffsetList {
    std::array<tLayerOffset, 6> Items;

    void initialize() { Items.fill(tLayerOffset{}); }
    // Layer numbers outside 2..7 give an initialized entry.
    tLayerOffset operator[](int Layer) const {
        return (Layer >= 2 && Layer <= 7) ? Items[static_cast<size_t>(Layer - 2)] : tLayerOffset{};
    }
    tLayerOffset* at(int Layer) {
        return (Layer >= 2 && Layer <= 7) ? &Items[static_cast<size_t>(Layer - 2)] : nullptr;
    }
};

struct tSocketLayerEntry {
    uint8_t IPVersion = 0;  // 0 none yet, 4 or 6
    tMACAddressPair EthernetAddrPair;
    tIPv4SocketPair IPv4SocketPair;
    tIPv6SocketPair IPv6SocketPair;
    tLayer4Protocol Layer4NextProtocol = l4Any;

    void initialize() { *this = tSocketLayerEntry{}; }
};

// A growable list that keeps its first N items inside the object, so the usual short
// lists of a frame cost no heap allocation. Contiguous: moves to the heap as a whole.
// The inline slots are left unfilled until an item is pushed, so an empty list costs
// nothing to make; items are plain records that need no destruction.
template <typename T, size_t N>
class tInlineList {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    tInlineList() = default;
    tInlineList(const tInlineList& o) { *this = o; }
    tInlineList& operator=(const tInlineList& o) {
        if (this == &o) return *this;
        clear();
        for (const T& v : o) push_back(v);
        return *this;
    }

    size_t size() const { return priv_count; }
    bool empty() const { return priv_count == 0; }
    T* data() { return priv_heap.empty() ? inlineItems() : priv_heap.data(); }
    const T* data() const { return priv_heap.empty() ? inlineItems() : priv_heap.data(); }
    T* begin() { return data(); }
    T* end() { return data() + priv_count; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + priv_count; }
    T& operator[](size_t i) { return data()[i]; }
    const T& operator[](size_t i) const { return data()[i]; }
    T& back() { return data()[priv_count - 1]; }
    const T& back() const { return data()[priv_count - 1]; }

    void push_back(const T& v) {
        if (priv_heap.empty() && priv_count < N) {
            ::new (static_cast<void*>(priv_inline + priv_count * sizeof(T))) T(v);
            ++priv_count;
            return;
        }
        if (priv_heap.empty()) {
            priv_heap.reserve(N * 2);
            priv_heap.assign(inlineItems(), inlineItems() + priv_count);
        }
        priv_heap.push_back(v);
        ++priv_count;
    }
    void pop_back() {
        --priv_count;
        if (!priv_heap.empty()) priv_heap.pop_back();
    }
    void clear() {
        priv_count = 0;
        priv_heap.clear();
    }

private:
    T* inlineItems() { return std::launder(reinterpret_cast<T*>(priv_inline)); }
    const T* inlineItems() const { return std::launder(reinterpret_cast<const T*>(priv_inline)); }

    alignas(T) std::byte priv_inline[N * sizeof(T)];
    std::vector<T> priv_heap;
    size_t priv_count = 0;
};

using tSocketLayerList = tInlineList<tSocketLayerEntry, 6>;
using tParseList = tInlineList<tParseEntry, 16>;

// Storage for the parsers of one frame. Parsers are built in place inside the parse
// master; only when a frame has unusually many layers do further parsers go to the heap.
class tParserArena {
public:
    static constexpr size_t kCapacity = 8192;

    tParserArena() = default;
    tParserArena(const tParserArena&) = delete;
    tParserArena& operator=(const tParserArena&) = delete;

    template <typename T, typename... A>
    T* make(A&&... args) {
        constexpr size_t align = alignof(std::max_align_t);
        static_assert(alignof(T) <= align);
        constexpr size_t need = (sizeof(T) + align - 1) / align * align;
        if (priv_used + need <= kCapacity) {
            T* p = ::new (static_cast<void*>(priv_buffer + priv_used)) T(std::forward<A>(args)...);
            priv_last = priv_used;
            priv_used += need;
            return p;
        }
        return new T(std::forward<A>(args)...);
    }
    // Destroys a parser made by make(); the space of the most recent one is reused.
    void destroy(tFrameParser* Parser);

private:
    bool owns(const void* p) const {
        auto* b = reinterpret_cast<const std::byte*>(p);
        return b >= priv_buffer && b < priv_buffer + kCapacity;
    }

    alignas(std::max_align_t) std::byte priv_buffer[kCapacity];
    size_t priv_used = 0;
    size_t priv_last = SIZE_MAX;
};

// What the walk hands to the parser it creates for one layer.
struct tParserArgs {
    const uint8_t* Data = nullptr;  // the frame's captured bytes
    int32_t Offset = 0;             // where the header starts
    int32_t CapturedLength = 0;
    int32_t WireLength = 0;
    int64_t FrameIndex = 0;
    int32_t IPPayloadLength = 0;    // section length of TCP, UDP and ICMPv6
    int32_t Layer7Length = 0;       // section length of DNS, DHCPv4 and RTPS
    bool ICMPQuote = false;         // an IP header now is quoted inside an ICMP message
    uint8_t WLANSubtype = 0;        // frame subtype of the last 802.11 header
};
using tParserFactory = tFrameParser* (*)(tParserArena& Arena, const tParserArgs& Args);

// Replaces the parser the walk creates for a header type (nullptr removes the
// replacement). Meant for tests and tools; the walk consults it before its own table.
void SetParserFactoryOverride(int32_t HeaderType, tParserFactory Factory);

// True when a parse depth mode ends the walk after a layer of OSI layer Layer whose
// parser names NextType.
bool DepthLimitReached(tParseProcessMode Mode, uint8_t Layer, int32_t NextType);

// Layer class of a header type, compared by the depth modes (unlisted ids: 7).
int32_t HeaderTypeLayerClass(int32_t HeaderType);
// Header type of the first header of a frame, or hdrPayload when the link type has none.
int32_t StartHeaderType(uint32_t LinkType, const uint8_t* Data, int32_t CapturedLength);
// The protocol (a tParsedProtocols value) whose parser a header type creates; -1 for none.
int ProtocolOfHeaderType(int32_t HeaderType);
// Application or tunnel protocol chosen by the ports of a TCP (IsUDP false) or UDP header.
int32_t HeaderTypeByPorts(bool IsUDP, uint16_t SrcPort, uint16_t DstPort);

class tParseMaster {
public:
    // Resets the summary and walks the frame. Everything below is valid on return.
    tParseMaster(const tRawFrame& Frame, tParseProcessMode ProcessMode);
    ~tParseMaster();
    tParseMaster(const tParseMaster&) = delete;
    tParseMaster& operator=(const tParseMaster&) = delete;

    const tRawFrame* FrameToParse() const { return priv_frame; }

    int32_t ParserCount() const { return static_cast<int32_t>(priv_ParseList.size()); }
    int32_t ParserErrorCount() const { return priv_ParseErrorCount; }
    // Index counts from 1. Past the end: hdrInvalid, none, an initialized entry, false.
    int32_t getParserTypeByIndex(int32_t Index) const;
    tFrameParser* getParserByIndex(int32_t Index) const;
    tParseEntry getParserParseInfoByIndex(int32_t Index) const;
    bool getParserCRCOkayByIndex(int32_t Index) const;
    // The Occurrence-th parser (from 1; 0 counts as 1) of a protocol, in list order.
    tFrameParser* getParserByProtocol(tParsedProtocols Protocol, uint8_t Occurrence) const;
    const tParseList& ParseList() const { return priv_ParseList; }

    tParsedProtocolSet ParsedProtocols() const { return priv_parsedprotocolset; }
    const tLayerOffsetList& LayerOffsetList() const { return priv_LayerOffsetList; }

    // The bytes after the last header (trailer and FCS excluded). They stay in the frame
    // and are copied only when a chunk is asked for.
    bool HasRemainingPayload() const { return priv_payloadlen > 0; }
    int32_t RemainingPayloadLen() const { return priv_payloadlen; }
    std::span<const uint8_t> RemainingPayloadBytes() const {
        return FrameBytes(priv_payloadoffset, priv_payloadlen);
    }
    tFrameChunk RemainingPayloadCopy() const { return tFrameChunk(RemainingPayloadBytes()); }
    // Made on the first call, then kept.
    const tFrameChunk& RemainingPayload() const;
    std::span<const uint8_t> PaddingBytes() const {
        return FrameBytes(priv_paddingoffset, priv_paddingbytecount);
    }
    tFrameChunk PaddingByteCopy() const { return tFrameChunk(PaddingBytes()); }
    int32_t PaddingByteCount() const { return priv_paddingbytecount; }
    bool HasEthernetFCS() const { return priv_containsfcs; }
    uint32_t EthernetFCS() const { return priv_ethernetfcs; }
    bool EthernetFSCCorrect() const { return priv_fcscorrect; }

    int32_t EtherLayerCount() const { return priv_EtherLayerCount; }
    int32_t VLANCount() const { return priv_VLANCount; }
    int32_t IPLayerCount() const { return priv_IPLayerCount; }
    const tSocketLayerList& IPLayers() const { return priv_socketlayers; }
    tMACAddressPair MACAddressPair() const { return priv_EthernetPair; }
    uint16_t VLANID() const { return priv_VLANID; }
    // "" without tags, the id with one, all ids in list order joined by "-" with more.
    std::string VLANIDsAsString() const;
    tIPv4SocketPair IPv4SocketPair() const { return priv_IPv4SocketPair; }
    tIPv6SocketPair IPv6SocketPair() const { return priv_IPv6SocketPair; }
    uint8_t FirstIPLayerVersion() const { return priv_firstIPLayerVersion; }
    uint8_t LastIPLayerVersion() const { return priv_lastIPLayerVersion; }
    uint16_t Identification() const { return priv_IPID; }
    uint8_t Layer4Protocol() const { return priv_Layer4Protocol; }
    tTCPSequence TCPSequenceNo() const { return priv_TCPSequenceNo; }
    tTCPSequence TCPAcknowledgeNo() const { return priv_TCPAcknowledgeNo; }
    int32_t TCPPayloadLength() const { return priv_TCPPayloadLength; }
    tTCPFlagSet TCPFlags() const { return priv_TCPFlags; }
    bool IsFragment() const { return priv_IsFragment; }
    bool IsTruncated() const { return priv_IsTruncated; }
    int32_t TruncatedByteCount() const { return priv_truncatedby; }
    // 0 for short lists, 1 for Ethernet/IP/TCP-or-UDP, 2 with one VLAN tag, else 10.
    int32_t ComplexityRating() const;

    const tDiagnosticMsgList& DiagnosticMessages() const { return priv_diagnosticmsglist; }
    int32_t getDiagnosticMsgCount() const {
        return static_cast<int32_t>(priv_diagnosticmsglist.size());
    }
    tDiagnosticMsg getDiagnosticMsg(int32_t Index) const;
    void clearDiagnosticMsgList() { priv_diagnosticmsglist.clear(); }

private:
    struct tWalkState {
        tProtocolAnchor current;
        tProtocolAnchor previous;
        int32_t trailerLength = 0;
        int32_t ipPayloadLength = 0;   // of the last IP layer
        int32_t layer7Length = 0;      // IP payload less the last TCP/UDP header
        uint8_t wlanSubtype = 0;       // frame subtype of the last 802.11 header
        bool icmpQuote = false;        // an ICMP header was met: IP headers now are quotes
        tIPv4PseudoHeader pseudo4;
        tIPv6PseudoHeader pseudo6;
    };

    void CreateParseList();
    tFrameParser* CreateParser(int32_t HeaderType, const tWalkState& State);
    static tFrameParser* CreateBuiltinParser(int32_t HeaderType, tParserArena& Arena,
                                             const tParserArgs& Args);
    void CollectResults(tParseEntry& Entry, tWalkState& State);
    void MarkTunnel(tTunnelFlags Kind);
    void OpenSocketLayer();
    void OpenIPSocketLayer(uint8_t Version);
    void RecordOffsets(const tFrameParser& Parser, int32_t Offset);
    void ApplyTransportPorts(uint16_t SrcPort, uint16_t DstPort, tLayer4Protocol Proto);
    void FinishWalk(int32_t EndType, int32_t Offset, int32_t TrailerLength);
    void AnalyseTrailer(int32_t N);
    void DropLastEntry();
    // Count frame bytes from Offset; empty when there are none.
    std::span<const uint8_t> FrameBytes(int32_t Offset, int32_t Count) const {
        if (Count <= 0) return {};
        return {priv_frame->Data() + Offset, static_cast<size_t>(Count)};
    }

    const tRawFrame* priv_frame = nullptr;
    tParserArena priv_arena;
    tParseList priv_ParseList;
    int32_t priv_ParseErrorCount = 0;
    tParseProcessMode priv_parsemode = ppmParseAll;
    tParsedProtocolSet priv_parsedprotocolset;
    tLayerOffsetList priv_LayerOffsetList;
    tSocketLayerList priv_socketlayers;
    size_t priv_currentsocket = 0;
    tMACAddressPair priv_EthernetPair;
    uint16_t priv_VLANID = 0;
    uint8_t priv_firstIPLayerVersion = 0;
    uint8_t priv_lastIPLayerVersion = 0;
    tIPv4SocketPair priv_IPv4SocketPair;
    tIPv6SocketPair priv_IPv6SocketPair;
    uint16_t priv_IPID = 0;
    uint8_t priv_Layer4Protocol = 0;
    tTCPFlagSet priv_TCPFlags;
    tTCPSequence priv_TCPSequenceNo;
    tTCPSequence priv_TCPAcknowledgeNo;
    int32_t priv_TCPPayloadLength = 0;
    bool priv_IsFragment = false;
    int32_t priv_EtherLayerCount = 0;
    int32_t priv_VLANCount = 0;
    int32_t priv_IPLayerCount = 0;
    int32_t priv_payloadoffset = 0;
    int32_t priv_payloadlen = 0;
    mutable tFrameChunk priv_payloadchunk;
    mutable bool priv_payloadchunkmade = false;
    int32_t priv_paddingoffset = 0;
    int32_t priv_paddingbytecount = 0;
    bool priv_containsfcs = false;
    uint32_t priv_ethernetfcs = 0;
    bool priv_fcscorrect = true;
    bool priv_IsTruncated = false;
    int32_t priv_truncatedby = 0;
    tDiagnosticMsgList priv_diagnosticmsglist;
};

}  // namespace morwick
