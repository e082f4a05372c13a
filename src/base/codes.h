#pragma once
// Enumerations shared across layers and the fixed mappings between them and the numbers
// or names that are stored in the meta database.
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <type_traits>

namespace morwick {

// A set of enumeration values held as a bit mask (bit n = value n). Plain and cheap to
// copy; Mask must have at least as many bits as the enumeration has values.
template <typename E, typename Mask>
class tEnumSet {
    static_assert(std::is_enum_v<E> && std::is_unsigned_v<Mask>);

public:
    constexpr tEnumSet() = default;
    constexpr tEnumSet(std::initializer_list<E> items) {
        for (E e : items) add(e);
    }
    static constexpr tEnumSet FromMask(Mask m) {
        tEnumSet s;
        s.priv_mask = m;
        return s;
    }

    constexpr Mask mask() const { return priv_mask; }
    constexpr bool has(E e) const { return (priv_mask & bit(e)) != 0; }
    constexpr bool empty() const { return priv_mask == 0; }
    constexpr void add(E e) { priv_mask = static_cast<Mask>(priv_mask | bit(e)); }
    constexpr void remove(E e) { priv_mask = static_cast<Mask>(priv_mask & ~bit(e)); }
    constexpr void clear() { priv_mask = 0; }

    constexpr bool operator==(const tEnumSet&) const = default;
    constexpr tEnumSet operator|(tEnumSet o) const { return FromMask(static_cast<Mask>(priv_mask | o.priv_mask)); }
    constexpr tEnumSet operator&(tEnumSet o) const { return FromMask(static_cast<Mask>(priv_mask & o.priv_mask)); }
    constexpr tEnumSet operator-(tEnumSet o) const { return FromMask(static_cast<Mask>(priv_mask & ~o.priv_mask)); }
    constexpr tEnumSet& operator|=(tEnumSet o) { priv_mask = static_cast<Mask>(priv_mask | o.priv_mask); return *this; }
    constexpr tEnumSet& operator-=(tEnumSet o) { priv_mask = static_cast<Mask>(priv_mask & ~o.priv_mask); return *this; }

private:
    static constexpr Mask bit(E e) { return static_cast<Mask>(Mask{1} << static_cast<unsigned>(e)); }
    Mask priv_mask = 0;
};

// ---- Layer-4 protocols and name-resolution answers ----

enum tLayer4Protocol : uint8_t { l4unknown, l4Any, l4TCP, l4UDP, l4ICMP, l4TCPUDP };

enum tNRAnswerType : uint8_t { nraUnknown, nraIPAddress, nraFQDN, nraText };

// "Any", "TCP", "UDP", "ICMP", "TCP/UDP"; anything else "unknown".
std::string_view Layer4ProtocolToString(tLayer4Protocol value);
// Compared after conversion to upper case; unrecognised texts give l4unknown.
tLayer4Protocol StringToLayer4Protocol(std::string_view text);
// IP protocol number: 1 and 58 ICMP, 6 TCP, 17 UDP, anything else l4Any.
tLayer4Protocol IPProtocolToLayer4Protocol(uint8_t protocol);

// Answer types are stored as their ordinal; unknown numbers read as nraUnknown.
int32_t NRAnswerTypeToNumber(tNRAnswerType value);
tNRAnswerType NumberToNRAnswerType(int64_t number);

// ---- Tunnel marks of the parse walk ----

enum tTunnelFlags : uint8_t {
    tfTunnelCarrier, tfTunnelLayer, tfTunnelPayload, tfTunnelMPLS, tfTunnelGRE, tfTunnelGTPv1,
    tfTunnelAYIYA, tfTunnelVXLAN, tfTunnelERSPAN, tfTunnelCAPWAP, tfTunnelGeneve, tfTunnelTZSP
};
using tTunnelFlagSet = tEnumSet<tTunnelFlags, uint16_t>;

// The stored word of the TunnelFlags columns. Payload sets 0x0004 and 0x0008, TZSP has
// no bit. A non-empty set that gives 0 raises tAssertionError
// "Unknown tunnel flag encountered (TunnelFlagsToWord)".
uint16_t TunnelFlagsToWord(tTunnelFlagSet flags);
// Unknown bits are ignored.
tTunnelFlagSet WordToTunnelFlags(uint16_t word);

// ---- DNS reply codes ----

enum tDNSReturnCode : uint8_t {
    dnsrcNoError, dnsrcFormErr, dnsrcServFail, dnsrcNXDomain, dnsrcNotImp, dnsrcRefused,
    dnsrcYXDomain, dnsrcYXRRSet, dnsrcNXRRSet, dnsrcNotAuth, dnsrcNotZone, dnsrcBADVERS,
    dnsrcBADSIG, dnsrcBADKEY, dnsrcBADTIME, dnsrcBADMODE, dnsrcBADNAME, dnsrcBADALG,
    dnsrcAvailable, dnsrcPrivateUse
};

// The stored number (ReplyCode column and name-resolution keys).
int32_t ReturnCodeToNumber(tDNSReturnCode code);
// From a DNS header or the database; BADVERS and BADSIG share 16, which reads as BADSIG.
tDNSReturnCode NumberToReturnCode(int64_t number);

// ---- DNS record types ----

enum tDNSRecordType : uint8_t {
    dnsrtA, dnsrtNS, dnsrtCNAME, dnsrtSOA, dnsrtPTR, dnsrtMX, dnsrtTXT, dnsrtAAAA, dnsrtSRV,
    dnsrtIXFR, dnsrtAFXR, dnsrtOPT, dnsrtDS, dnsrtNSEC3, dnsrtRRSIG, dnsrtSPF, dnsrtAFSDB,
    dnsrtAPL, dnsrtCERT, dnsrtDHCID, dnsrtDLV, dnsrtDNAME, dnsrtDNSKEY, dnsrtIPSECKEY, dnsrtKEY,
    dnsrtKX, dnsrtLOC, dnsrtNAPTR, dnsrtNSEC, dnsrtSIG, dnsrtTKEY, dnsrtTLSA, dnsrtSSHFP,
    dnsrtNSEC3PARAM, dnsrtHIP, dnsrtTSIG, dnsrtAny, dnsrtUnknown
};
inline constexpr int DNSRecordTypeCount = 38;
using tDNSRecordTypeSet = tEnumSet<tDNSRecordType, uint64_t>;

// "A", "NS", ... "ANY", "Unknown" (SIG is named "SIC").
std::string_view DNSRecordTypeToString(tDNSRecordType type);
// QueryTypes column: bit i for the type of ordinal i.
int64_t DNSRecordTypeSetToNumber(tDNSRecordTypeSet types);
// Bits above 37 are ignored.
tDNSRecordTypeSet NumberToDNSRecordTypeSet(int64_t number);

// ---- pcapng decryption secrets ----

enum tSecretsType : uint8_t { pngstUnknown, pngstTLS, pngstWireGuard };

// pngstTLS 0x544C534B, pngstWireGuard 0x57474B4C, pngstUnknown 0.
uint32_t SecretsTypeToNumber(tSecretsType type);
tSecretsType NumberToSecretsType(uint32_t number);

// ---- Frame flags ----

// Frame error kinds reported by the Sniffer formats.
enum tErrorFlag : uint8_t {
    efSymbolError, efBadPreamble, efBadStartFrameDelimiter, efAlignment, efWrongInterframeGap,
    efPacketTooShort, efPacketTooLong, efBadCRC, efCollision, efUnknown
};
using tErrorFlagsType = tEnumSet<tErrorFlag, uint16_t>;

// Flags of a frame record in the layout of the pcapng packet flags word.
struct tFrameFlags {
    uint32_t Value = 0;
    bool Present = false;

    void initialize() { *this = tFrameFlags{}; }
    constexpr bool operator==(const tFrameFlags&) const = default;
    // ORs the bit of each error kind into Value (error bits 24 to 31 of the pcapng flags;
    // collisions and unknown errors have none) and sets Present.
    void SetErrorFlags(tErrorFlagsType flags);
};

}  // namespace morwick
