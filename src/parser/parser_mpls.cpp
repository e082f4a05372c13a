#include "parser/parser_mpls.h"

namespace morwick {

namespace {
// Bytes needed: the label entry and the first byte after it.
constexpr int32_t kNeeded = 5;
// Bytes from the label on that an Ethernet header after it would need up to its type.
constexpr int32_t kEthernetGuessReach = 18;
// Position of that EtherType, counted from the label.
constexpr int32_t kGuessedEtherTypeAt = 16;
constexpr int32_t kControlWordSize = 4;
}  // namespace

tParseResult tMPLSParser::parse() {
    priv_osilayer = 3;
    prot_layersize = kHeaderSize;
    if (!isAvailable(priv_frameoffset, kNeeded)) return prFailUndersize;
    const int32_t at = priv_frameoffset;
    const uint32_t entry = be32(at);
    priv_label = entry >> 12;
    priv_tos = static_cast<uint8_t>((entry >> 9) & 0x07);
    priv_bottom = (entry & 0x100) != 0;
    priv_ttl = static_cast<uint8_t>(entry & 0xFF);
    priv_nextAnchor = priv_bottom ? guessPayload(at) : tProtocolAnchor{hdrMPLS, at + kHeaderSize};
    return prSuccess;
}

tProtocolAnchor tMPLSParser::guessPayload(int32_t At) {
    const int32_t after = At + kHeaderSize;
    switch (u8(after) >> 4) {
        case 4: return {hdrIPv4, after};
        case 6: return {hdrIPv6, after};
        default: break;
    }
    if (!isAvailable(At, kEthernetGuessReach)) return {hdrPayload, after};
    // A zero word is the control word of an Ethernet pseudowire.
    if (be32(after) == 0) return {hdrEthernet, after + kControlWordSize};
    switch (be16(At + kGuessedEtherTypeAt)) {
        case hdrIPv4:
        case hdrARP:
        case hdrRARP:
        case hdrVLAN:
        case hdrIPv6:
            return {hdrEthernet, after};
        default:
            // Type 0 ends the walk with the rest as payload.
            return {0, after};
    }
}

}  // namespace morwick
