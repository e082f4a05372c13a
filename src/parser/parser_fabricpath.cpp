#include "parser/parser_fabricpath.h"

namespace morwick {

namespace {
constexpr int32_t kDestinationAt = 0;
constexpr int32_t kSourceAt = 6;
constexpr int32_t kEtherTypeAt = 12;
constexpr int32_t kTagAt = 14;
constexpr uint16_t kFabricPathType = 0x8903;
}  // namespace

tFabricPathIdentifier tFabricPathParser::DecodeIdentifier(const uint8_t* b) {
    tFabricPathIdentifier id;
    id.EID = static_cast<uint16_t>((b[0] & 0xFC) | (b[1] >> 6));
    id.ULBit = (b[0] & 0x02) != 0;
    id.IGBit = (b[0] & 0x01) != 0;
    id.OOODLBit = (b[1] & 0x01) != 0;
    id.SwitchID = static_cast<uint16_t>((b[1] & 0x0F) * 256 + b[2]);
    id.SubSwitchID = b[3];
    id.SourceLID = static_cast<uint16_t>(b[4] * 256 + b[5]);
    return id;
}

bool tFabricPathParser::checkIsPlausible() {
    return isAvailable(priv_frameoffset, kHeaderSize) &&
           be16(priv_frameoffset + kEtherTypeAt) == kFabricPathType;
}

tParseResult tFabricPathParser::parse() {
    priv_osilayer = 2;
    prot_layersize = kHeaderSize;
    if (!isAvailable(priv_frameoffset, kHeaderSize)) return prFailUndersize;
    const int32_t at = priv_frameoffset;
    priv_DestinationIdentifier = DecodeIdentifier(priv_framedata + at + kDestinationAt);
    priv_SourceIdentifier = DecodeIdentifier(priv_framedata + at + kSourceAt);
    const uint16_t tag = be16(at + kTagAt);
    // The tag word holds the 10-bit forwarding tag above the 6-bit TTL.
    priv_FTAG = static_cast<uint16_t>((tag >> 6) & 0x3FF);
    priv_TTL = static_cast<uint8_t>(tag & 0x3F);
    priv_nextAnchor = {hdrEthernet, at + kHeaderSize};
    return prSuccess;
}

}  // namespace morwick
