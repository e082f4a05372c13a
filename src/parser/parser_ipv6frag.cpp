#include "parser/parser_ipv6frag.h"

namespace morwick {

namespace {
constexpr int32_t kNextHeaderAt = 0;
constexpr int32_t kOffsetFlagsAt = 2;
constexpr int32_t kIdentificationAt = 4;
}  // namespace

tParseResult tIPv6FragmentationParser::parse() {
    priv_osilayer = 3;
    prot_layersize = kHeaderSize;
    if (!isAvailable(priv_frameoffset, kHeaderSize)) return prFailUndersize;
    const int32_t at = priv_frameoffset;
    const uint16_t w = be16(at + kOffsetFlagsAt);
    priv_flags = (w & 0x0001) ? tIPFlagSet{ipfMoreFragments} : tIPFlagSet{ipfLastFragment};
    priv_fragmentoffset = static_cast<uint16_t>(w >> 3);
    priv_identification = be32(at + kIdentificationAt);
    priv_nextAnchor = {u8(at + kNextHeaderAt), at + kHeaderSize};
    return prSuccess;
}

}  // namespace morwick
