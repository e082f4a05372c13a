#include "parser/parser_ipv6.h"

namespace morwick {

namespace {
constexpr int32_t kVersionClassFlowAt = 0;
constexpr int32_t kPayloadLengthAt = 4;
constexpr int32_t kNextHeaderAt = 6;
constexpr int32_t kHopLimitAt = 7;
constexpr int32_t kSourceAt = 8;
constexpr int32_t kDestinationAt = 24;
constexpr uint8_t kPrefixLength = 64;

void ReadAddress(const uint8_t* p, tIPv6Address& address) {
    address.SetValueFromByteStruct(std::span<const uint8_t, 16>(p, 16));
    address.MaskBitCount = kPrefixLength;
}
}  // namespace

tParseResult tIPv6Parser::parse() {
    priv_osilayer = 3;
    prot_layersize = kHeaderSize;
    if (!isAvailable(priv_frameoffset, kHeaderSize)) return prFailUndersize;
    const int32_t at = priv_frameoffset;
    const uint32_t v = be32(at + kVersionClassFlowAt);
    priv_version = static_cast<uint8_t>(v >> 28);
    priv_trafficclass = static_cast<uint8_t>((v >> 20) & 0xFF);
    priv_flowlabel = v & 0xFFFFF;
    priv_payloadlength = be16(at + kPayloadLengthAt);
    priv_nextheader = u8(at + kNextHeaderAt);
    priv_hoplimit = u8(at + kHopLimitAt);
    ReadAddress(priv_framedata + at + kSourceAt, priv_source);
    ReadAddress(priv_framedata + at + kDestinationAt, priv_destination);
    priv_nextAnchor = {priv_nextheader, at + kHeaderSize};
    return prSuccess;
}

tIPv6PseudoHeader tIPv6Parser::PseudoHeader() const {
    tIPv6PseudoHeader h;
    h.Source = priv_source.ValueAsWordStruct;
    h.Destination = priv_destination.ValueAsWordStruct;
    h.L4Length = priv_payloadlength;
    switch (priv_nextheader) {
        case hdrTCP:
        case hdrUDP:
        case hdrIPv6Fragment:
        case hdrICMPv6: h.NextHeader = priv_nextheader; break;
        default: h.NextHeader = 0; break;
    }
    return h;
}

}  // namespace morwick
