#pragma once
// Base class of every protocol parser, the parse results and the anchors that link one
// layer of a frame to the next, plus the bounds-checked readers over the frame bytes.
//
// A parser is created for one layer of one frame. It points into the frame's captured
// bytes (not owned), is asked by the parse master whether its header is plausible, then
// parses, and names the header type and offset of the following layer in NextAnchor.
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "base/addresses.h"
#include "base/diagnostics.h"

namespace morwick {

enum tParseResult : uint8_t {
    prSuccess,               // layer parsed
    prOptionsTruncated,      // header parsed, options ran past the available data
    prFailUnknown,
    prFailUndersize,         // a read ran past the captured data
    prFailInvalidValues,     // header values impossible
    prFailTruncated,         // header incomplete
    prFailPayloadTruncated,  // header parsed, payload not fully captured (counts as success)
    prFailOutOfBounds,       // an offset pointed outside the section
    prFailParsingLoop,       // zero length or too many nested name pointers
    prFailPlausibleCheck,    // checkIsPlausible returned false
    prFailSegmentedPayload,
    prNotParsed,
};

// Header-type ids of the parse walk. Small values are IP protocol numbers, 0x0600..0xFFFF
// EtherTypes, 0x10000 + n UDP/TCP port n (0x1007F: radiotap, link type 127), and the
// values from 0x20001 and from 0xFFFF8 are our own.
inline constexpr int32_t hdrICMP = 1;
inline constexpr int32_t hdrIPv4inIP = 4;
inline constexpr int32_t hdrTCP = 6;
inline constexpr int32_t hdrUDP = 17;
inline constexpr int32_t hdrIPv6inIP = 41;
inline constexpr int32_t hdrIPv6Fragment = 44;
inline constexpr int32_t hdrGRE = 47;
inline constexpr int32_t hdrICMPv6 = 58;
inline constexpr int32_t hdrNoNextHeader = 59;  // ends the walk, the rest is trailer
inline constexpr int32_t hdrEthernet = 97;       // EtherIP protocol number
inline constexpr int32_t hdrLinuxSLL = 113;
inline constexpr int32_t hdrJuniper = 178;
inline constexpr int32_t hdrIPv4 = 0x0800;
inline constexpr int32_t hdrARP = 0x0806;
inline constexpr int32_t hdrTransparentEthernet = 0x6558;
inline constexpr int32_t hdrRARP = 0x8035;
inline constexpr int32_t hdrVLAN = 0x8100;
inline constexpr int32_t hdrVLAN88A8 = 0x88A8;
inline constexpr int32_t hdrVLAN9100 = 0x9100;
inline constexpr int32_t hdrVLAN9200 = 0x9200;
inline constexpr int32_t hdrVLAN9300 = 0x9300;
inline constexpr int32_t hdrIPv6 = 0x86DD;
inline constexpr int32_t hdrMPLS = 0x8847;
inline constexpr int32_t hdrMPLSMulticast = 0x8848;
inline constexpr int32_t hdrERSPAN = 0x88BE;
inline constexpr int32_t hdrFabricPath = 0x8903;
inline constexpr int32_t hdrDNS = 0x10035;
inline constexpr int32_t hdrDHCPv4 = 0x10043;
inline constexpr int32_t hdrHTTP = 0x10050;
inline constexpr int32_t hdrRadiotap = 0x1007F;
inline constexpr int32_t hdrHSRP = 0x107C1;
inline constexpr int32_t hdrGTPv1 = 0x10868;
inline constexpr int32_t hdrVXLAN = 0x112B5;
inline constexpr int32_t hdrAYIYA = 0x113D0;
inline constexpr int32_t hdrCAPWAP = 0x1147F;
inline constexpr int32_t hdrGeneve = 0x117C1;
inline constexpr int32_t hdrNetFlow = 0x1270C;
inline constexpr int32_t hdrTZSP = 0x19090;
inline constexpr int32_t hdrRTPS = 0x20001;
inline constexpr int32_t hdrNTP = 0x20002;
inline constexpr int32_t hdrLLC = 0xFFFF8;
inline constexpr int32_t hdr802dot11Header = 0xFFFF9;
inline constexpr int32_t hdr802dot11Management = 0xFFFFA;
inline constexpr int32_t hdrDecideByPorts = 0xFFFFC;  // TCP/UDP: the parse master decides
inline constexpr int32_t hdrPayload = 0xFFFFD;        // no further parser
inline constexpr int32_t hdrInvalid = 0xFFFFF;

struct tProtocolAnchor {
    int32_t HeaderType = 0;
    int32_t Offset = 0;

    void initialize() { *this = tProtocolAnchor{}; }
    friend constexpr bool operator==(const tProtocolAnchor&, const tProtocolAnchor&) = default;
};

class tFrameParser {
public:
    // FrameData: the frame's captured bytes (not owned, must outlive the parser);
    // DataLength: number of captured bytes; WireLength: length on the wire.
    tFrameParser(const uint8_t* FrameData, int32_t FrameOffset, int32_t DataLength,
                 int32_t WireLength, int64_t FrameIndex);
    virtual ~tFrameParser() = default;
    tFrameParser(const tFrameParser&) = delete;
    tFrameParser& operator=(const tFrameParser&) = delete;

    // Whether the bytes at FrameOffset can be this protocol.
    virtual bool checkIsPlausible() = 0;
    // Decodes the header; sets priv_osilayer, prot_layersize and priv_nextAnchor.
    virtual tParseResult parse() = 0;

    uint8_t OSILayer() const { return priv_osilayer; }
    int64_t FrameIndex() const { return priv_frameindex; }
    void setFrameIndex(int64_t Value) { priv_frameindex = Value; }
    int32_t LayerSize() const { return prot_layersize; }
    int32_t FrameOffset() const { return priv_frameoffset; }
    int32_t FrameLength() const { return priv_framelength; }
    int32_t WireLength() const { return priv_wirelength; }
    const uint8_t* FrameData() const { return priv_framedata; }
    tProtocolAnchor ParentAnchor() const { return priv_parentAnchor; }
    void setParentAnchor(tProtocolAnchor Value) { priv_parentAnchor = Value; }
    tProtocolAnchor NextAnchor() const { return priv_nextAnchor; }
    void setNextAnchor(tProtocolAnchor Value) { priv_nextAnchor = Value; }
    tParseResult LastErrorStatus() const { return prot_lasterrorstatus; }

    // Builds a message (stamped now, identifier looked up) and appends it.
    void addDiagnosticMsg(tMsgSeverity Severity, int32_t MsgHandle, std::string_view Param1 = {},
                          std::string_view Param2 = {}, std::string_view Param3 = {},
                          std::string_view Param4 = {});
    void addDiagnosticMsg(const tDiagnosticMsg& Msg) { priv_diagnosticmsglist.push_back(Msg); }
    int32_t getDiagnosticMsgCount() const {
        return static_cast<int32_t>(priv_diagnosticmsglist.size());
    }
    // Index counts from 1; an index outside the list gives an initialized message.
    tDiagnosticMsg getDiagnosticMsg(int32_t Index) const;
    const tDiagnosticMsgList& DiagnosticMessages() const { return priv_diagnosticmsglist; }
    void clearDiagnosticMsgList() { priv_diagnosticmsglist.clear(); }

protected:
    // Sequential readers. Each checks that the whole value lies within the captured
    // bytes; if not it sets prot_lasterrorstatus to prFailUndersize and yields 0.
    // Unless Peek is set, Offset advances by the value size either way. LittleEndian
    // false means network byte order.
    uint8_t readByte(int32_t& Offset, bool Peek = false);
    uint16_t readWord(int32_t& Offset, bool Peek = false, bool LittleEndian = false);
    uint32_t readLongWord(int32_t& Offset, bool Peek = false, bool LittleEndian = false);
    uint64_t readInt64(int32_t& Offset, bool Peek = false, bool LittleEndian = false);

    // True when Count bytes from the absolute frame offset Offset are captured.
    bool isAvailable(int64_t Offset, int64_t Count) const {
        return Offset >= 0 && Count >= 0 && Offset + Count <= priv_framelength;
    }
    // Random-access readers at absolute frame offsets. Out of range they set
    // prot_lasterrorstatus to prFailUndersize and yield 0.
    // The common readers are inline: every header field of every frame goes through them.
    uint8_t u8(int32_t Offset) {
        const uint8_t* p = at(Offset, 1);
        return p ? p[0] : 0;
    }
    uint16_t be16(int32_t Offset) {
        const uint8_t* p = at(Offset, 2);
        return p ? static_cast<uint16_t>((p[0] << 8) | p[1]) : 0;
    }
    uint32_t be32(int32_t Offset) {
        const uint8_t* p = at(Offset, 4);
        return p ? (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3] : 0;
    }
    uint64_t be64(int32_t Offset);
    uint16_t le16(int32_t Offset);
    uint32_t le32(int32_t Offset);
    uint64_t le64(int32_t Offset);
    // Copies Count bytes at Offset into Dest; false (and nothing copied) when they are not
    // all captured.
    bool copyBytes(int32_t Offset, void* Dest, int32_t Count) {
        const uint8_t* p = at(Offset, Count);
        if (!p) return false;
        if (Count > 0) std::memcpy(Dest, p, static_cast<size_t>(Count));
        return true;
    }

    uint8_t priv_osilayer = 0;
    const uint8_t* priv_framedata = nullptr;
    int32_t priv_frameoffset = 0;
    int32_t priv_framelength = 0;
    int32_t priv_wirelength = 0;
    int64_t priv_frameindex = 0;
    int32_t prot_layersize = 0;
    tProtocolAnchor priv_parentAnchor;
    tProtocolAnchor priv_nextAnchor;
    tDiagnosticMsgList priv_diagnosticmsglist;
    tParseResult prot_lasterrorstatus = prSuccess;

private:
    // The Count bytes at Offset, or null (and prFailUndersize) when they are not captured.
    const uint8_t* at(int64_t Offset, int64_t Count) {
        if (!isAvailable(Offset, Count)) {
            prot_lasterrorstatus = prFailUndersize;
            return nullptr;
        }
        return priv_framedata + Offset;
    }
};

// A parser whose layer has an externally given length (TCP, UDP, ICMPv6, DNS, DHCPv4,
// RTPS). priv_lastoffset is the last readable byte: the smaller of the section end and
// the captured end, minus one.
class tSectionParser : public tFrameParser {
public:
    tSectionParser(const uint8_t* FrameData, int32_t FrameOffset, int32_t DataLength,
                   int32_t WireLength, int32_t SectionLength, int64_t FrameIndex);

    int32_t SectionLength() const { return priv_sectionlen; }
    int32_t LastOffset() const { return priv_lastoffset; }

protected:
    // True when Count bytes from Offset lie within the section and the captured bytes.
    bool isInSection(int64_t Offset, int64_t Count) const {
        return Offset >= priv_frameoffset && Count >= 0 && Offset + Count - 1 <= priv_lastoffset;
    }

    int32_t priv_sectionlen = 0;
    int32_t priv_lastoffset = 0;
};

// Result of reading a DNS-style domain name.
struct tFQDNResult {
    tFQDN Name;
    int32_t OffsetIncrement = 0;  // bytes the name occupies where reading started
    tParseResult ParseResult = prSuccess;
    tDiagnosticMsg Msg;           // id 0 when nothing was reported

    void initialize() { *this = tFQDNResult{}; }
};

// Reads a domain name of labels and compression pointers. Data is the frame's captured
// bytes; the message that holds the name starts at SectionStart (the base of pointers)
// and is SectionLength bytes long, cut at the end of the captured bytes. Five nested
// pointers are followed; deeper ones yield an empty name (prFailParsingLoop), which ends
// pointer loops. Callers pass Depth 0.
tFQDNResult readFQDN(std::span<const uint8_t> Data, int32_t SectionLength, int32_t SectionStart,
                     int32_t NameOffset, int32_t Depth = 0);

}  // namespace morwick
