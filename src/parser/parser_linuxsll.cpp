#include "parser/parser_linuxsll.h"

namespace morwick {

namespace {
constexpr int32_t kPacketTypeAt = 0;
constexpr int32_t kARPHdrTypeAt = 2;
constexpr int32_t kAddressLengthAt = 4;
constexpr int32_t kAddressAt = 6;
constexpr int32_t kProtocolAt = 14;
constexpr int32_t kVLANTagAt = 16;
constexpr int32_t kVLANProtocolAt = 18;
constexpr uint16_t kVLANType = 0x8100;
}  // namespace

tParseResult tLinuxSLLParser::parse() {
    priv_osilayer = 2;
    prot_layersize = kHeaderSize;
    if (!isAvailable(priv_frameoffset, kHeaderSize)) return prFailUndersize;
    const int32_t at = priv_frameoffset;

    const uint16_t packetType = be16(at + kPacketTypeAt);
    priv_packettype = packetType <= sptSentByUs ? static_cast<tSLLPacketType>(packetType) : sptUnicastToUs;
    priv_ARPHdrType = be16(at + kARPHdrTypeAt);
    priv_LinkLayerAddrLen = be16(at + kAddressLengthAt);
    priv_OtherLinkLayerAddr = be64(at + kAddressAt);
    priv_MACAddress.initialize();
    if (priv_LinkLayerAddrLen == 6) copyBytes(at + kAddressAt, priv_MACAddress.RangeBytes.data(), 6);

    priv_vlandata.initialize();
    const uint16_t protocol = be16(at + kProtocolAt);
    if (protocol == kVLANType) {
        priv_containsVLANInfo = true;
        if (!isAvailable(at, kVLANHeaderSize)) return prFailInvalidValues;
        const uint16_t tag = be16(at + kVLANTagAt);
        priv_vlandata.priority = static_cast<uint8_t>(tag >> 13);
        priv_vlandata.cfi = (tag & 0x1000) != 0;
        priv_vlandata.vlanid = tag & 0x0FFF;
        priv_ProtocolType = be16(at + kVLANProtocolAt);
        // LayerSize stays at the fixed header; the tag only moves the next layer.
        priv_nextAnchor = {priv_ProtocolType, at + kVLANHeaderSize};
    } else {
        priv_containsVLANInfo = false;
        priv_ProtocolType = protocol;
        priv_nextAnchor = {priv_ProtocolType, at + kHeaderSize};
    }
    return prSuccess;
}

}  // namespace morwick
