#include "parser/parser_llc.h"

namespace morwick {

namespace {
constexpr int32_t kDSAPAt = 0;
constexpr int32_t kSSAPAt = 1;
constexpr int32_t kControlAt = 2;
constexpr int32_t kVendorCodeAt = 3;
constexpr int32_t kProtocolTypeAt = 6;
// LayerSize reported for plain LLC (the next layer still starts at +3).
constexpr int32_t kPlainLayerSize = 4;
}  // namespace

tParseResult tLLCParser::parse() {
    priv_osilayer = 2;
    prot_layersize = kPlainLayerSize;
    if (!isAvailable(priv_frameoffset, kHeaderSize)) return prFailUndersize;
    const int32_t at = priv_frameoffset;
    priv_dsap = u8(at + kDSAPAt);
    priv_ssap = u8(at + kSSAPAt);
    priv_control = u8(at + kControlAt);
    if (priv_dsap != kSNAPSap) {
        priv_nextAnchor = {hdrPayload, at + kHeaderSize};
        return prSuccess;
    }
    prot_layersize = kSNAPHeaderSize;
    if (!isAvailable(at, kSNAPHeaderSize)) return prFailUndersize;
    copyBytes(at + kVendorCodeAt, priv_vendorcode.data(), 3);
    priv_protocoltype = be16(at + kProtocolTypeAt);
    priv_nextAnchor = {priv_protocoltype, at + kSNAPHeaderSize};
    return prSuccess;
}

}  // namespace morwick
