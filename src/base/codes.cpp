#include "base/codes.h"

#include <cctype>

#include "base/errors.h"

namespace morwick {

std::string_view Layer4ProtocolToString(tLayer4Protocol value) {
    switch (value) {
        case l4Any: return "Any";
        case l4TCP: return "TCP";
        case l4UDP: return "UDP";
        case l4ICMP: return "ICMP";
        case l4TCPUDP: return "TCP/UDP";
        default: return "unknown";
    }
}

tLayer4Protocol StringToLayer4Protocol(std::string_view text) {
    auto is = [&](std::string_view name) {
        if (text.size() != name.size()) return false;
        for (size_t i = 0; i < text.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(text[i])) != name[i]) return false;
        return true;
    };
    if (is("TCP")) return l4TCP;
    if (is("UDP")) return l4UDP;
    if (is("ICMP")) return l4ICMP;
    if (is("ANY")) return l4Any;
    if (is("TCP/UDP")) return l4TCPUDP;
    return l4unknown;
}

tLayer4Protocol IPProtocolToLayer4Protocol(uint8_t protocol) {
    switch (protocol) {
        case 1:
        case 58: return l4ICMP;
        case 6: return l4TCP;
        case 17: return l4UDP;
        default: return l4Any;
    }
}

int32_t NRAnswerTypeToNumber(tNRAnswerType value) { return static_cast<int32_t>(value); }

tNRAnswerType NumberToNRAnswerType(int64_t number) {
    switch (number) {
        case 1: return nraIPAddress;
        case 2: return nraFQDN;
        case 3: return nraText;
        default: return nraUnknown;
    }
}

namespace {

// Word bits of tfTunnelMPLS .. tfTunnelGeneve, in enumeration order.
constexpr tTunnelFlags TunnelKindsInWordOrder[] = {tfTunnelMPLS,   tfTunnelGRE,    tfTunnelGTPv1, tfTunnelAYIYA,
                                                   tfTunnelVXLAN,  tfTunnelERSPAN, tfTunnelCAPWAP, tfTunnelGeneve};

}  // namespace

uint16_t TunnelFlagsToWord(tTunnelFlagSet flags) {
    uint16_t word = 0;
    if (flags.has(tfTunnelCarrier)) word |= 0x0001;
    if (flags.has(tfTunnelLayer)) word |= 0x0002;
    if (flags.has(tfTunnelPayload)) word |= 0x0004 | 0x0008;
    uint16_t bit = 0x0010;
    for (tTunnelFlags kind : TunnelKindsInWordOrder) {
        if (flags.has(kind)) word |= bit;
        bit = static_cast<uint16_t>(bit << 1);
    }
    if (word == 0 && !flags.empty()) throw tAssertionError("Unknown tunnel flag encountered (TunnelFlagsToWord)");
    return word;
}

tTunnelFlagSet WordToTunnelFlags(uint16_t word) {
    tTunnelFlagSet flags;
    if (word & 0x0001) flags.add(tfTunnelCarrier);
    if (word & 0x0002) flags.add(tfTunnelLayer);
    if (word & (0x0004 | 0x0008)) flags.add(tfTunnelPayload);
    uint16_t bit = 0x0010;
    for (tTunnelFlags kind : TunnelKindsInWordOrder) {
        if (word & bit) flags.add(kind);
        bit = static_cast<uint16_t>(bit << 1);
    }
    return flags;
}

int32_t ReturnCodeToNumber(tDNSReturnCode code) {
    switch (code) {
        case dnsrcBADVERS:
        case dnsrcBADSIG: return 16;
        case dnsrcBADKEY: return 17;
        case dnsrcBADTIME: return 18;
        case dnsrcBADMODE: return 19;
        case dnsrcBADNAME: return 20;
        case dnsrcBADALG: return 21;
        case dnsrcAvailable: return 11;
        case dnsrcPrivateUse: return 3851;
        default: return static_cast<int32_t>(code);  // dnsrcNoError .. dnsrcNotZone are 0 .. 10
    }
}

tDNSReturnCode NumberToReturnCode(int64_t number) {
    if (number >= 0 && number <= 10) return static_cast<tDNSReturnCode>(number);
    if (number >= 3841 && number <= 3850) return dnsrcNoError;
    if (number >= 3851 && number <= 4095) return dnsrcPrivateUse;
    switch (number) {
        case 16: return dnsrcBADSIG;
        case 17: return dnsrcBADKEY;
        case 18: return dnsrcBADTIME;
        case 19: return dnsrcBADMODE;
        case 20: return dnsrcBADNAME;
        case 21: return dnsrcBADALG;
        default: return dnsrcAvailable;
    }
}

std::string_view DNSRecordTypeToString(tDNSRecordType type) {
    static constexpr std::string_view names[DNSRecordTypeCount] = {
        "A",      "NS",    "CNAME",  "SOA",      "PTR",  "MX",    "TXT",   "AAAA",  "SRV",        "IXFR",
        "AFXR",   "OPT",   "DS",     "NSEC3",    "RRSIG", "SPF",  "AFSDB", "APL",   "CERT",       "DHCID",
        "DLV",    "DNAME", "DNSKEY", "IPSECKEY", "KEY",  "KX",    "LOC",   "NAPTR", "NSEC",       "SIC",
        "TKEY",   "TLSA",  "SSHFP",  "NSEC3PARAM", "HIP", "TSIG", "ANY",   "Unknown"};
    const auto i = static_cast<size_t>(type);
    return i < DNSRecordTypeCount ? names[i] : names[dnsrtUnknown];
}

namespace {
constexpr uint64_t DNSRecordTypeBits = (uint64_t{1} << DNSRecordTypeCount) - 1;
}

int64_t DNSRecordTypeSetToNumber(tDNSRecordTypeSet types) {
    return static_cast<int64_t>(types.mask() & DNSRecordTypeBits);
}

tDNSRecordTypeSet NumberToDNSRecordTypeSet(int64_t number) {
    return tDNSRecordTypeSet::FromMask(static_cast<uint64_t>(number) & DNSRecordTypeBits);
}

uint32_t SecretsTypeToNumber(tSecretsType type) {
    switch (type) {
        case pngstTLS: return 0x544C534B;
        case pngstWireGuard: return 0x57474B4C;
        default: return 0;
    }
}

tSecretsType NumberToSecretsType(uint32_t number) {
    switch (number) {
        case 0x544C534B: return pngstTLS;
        case 0x57474B4C: return pngstWireGuard;
        default: return pngstUnknown;
    }
}

void tFrameFlags::SetErrorFlags(tErrorFlagsType flags) {
    // efSymbolError .. efBadCRC occupy bits 31 down to 24.
    for (int kind = efSymbolError; kind <= efBadCRC; ++kind)
        if (flags.has(static_cast<tErrorFlag>(kind))) Value |= uint32_t{0x80000000} >> kind;
    Present = true;
}

}  // namespace morwick
