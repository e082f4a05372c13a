#include "parser/parser_8021q.h"

namespace morwick {

namespace {
constexpr int32_t kTagAt = 0;
constexpr int32_t kEtherTypeAt = 2;
}  // namespace

tParseResult t802dot1qParser::parse() {
    priv_osilayer = 2;
    prot_layersize = kHeaderSize;
    if (!isAvailable(priv_frameoffset, kHeaderSize)) return prFailUndersize;
    const int32_t at = priv_frameoffset;
    const uint16_t tag = be16(at + kTagAt);
    priv_priority = static_cast<uint8_t>(tag >> 13);
    priv_cfi = (tag & 0x1000) != 0;
    priv_vlanid = tag & 0x0FFF;
    priv_ethertype = be16(at + kEtherTypeAt);
    priv_nextAnchor = {priv_ethertype, at + kHeaderSize};
    return prSuccess;
}

}  // namespace morwick
