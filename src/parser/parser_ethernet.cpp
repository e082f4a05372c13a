#include "parser/parser_ethernet.h"

namespace morwick {

namespace {
constexpr int32_t kDestinationAt = 0;
constexpr int32_t kSourceAt = 6;
constexpr int32_t kTypeLengthAt = 12;
}  // namespace

tParseResult tEthernetParser::parse() {
    priv_osilayer = 2;
    prot_layersize = kHeaderSize;
    if (!isAvailable(priv_frameoffset, kHeaderSize)) return prFailUndersize;
    const int32_t at = priv_frameoffset;
    copyBytes(at + kDestinationAt, priv_ethdst.RangeBytes.data(), 6);
    copyBytes(at + kSourceAt, priv_ethsrc.RangeBytes.data(), 6);
    priv_ethertypelength = be16(at + kTypeLengthAt);
    const int32_t next = priv_ethertypelength <= kMaxLengthValue ? hdrLLC : priv_ethertypelength;
    priv_nextAnchor = {next, at + kHeaderSize};
    return prSuccess;
}

}  // namespace morwick
