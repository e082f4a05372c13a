#pragma once
// Linux cooked capture header parser, with the VLAN tag that may follow it.
#include <cstdint>

#include "base/addresses.h"
#include "parser/frameparser.h"

namespace morwick {

enum tSLLPacketType : uint8_t {
    sptUnicastToUs, sptBroadcast, sptMulticast, sptUnicastToOtherHost, sptSentByUs
};

// The fields of an 802.1Q tag.
struct t802dot1qData {
    uint8_t priority = 0;
    bool cfi = false;
    int32_t vlanid = 0;

    void initialize() { *this = t802dot1qData{}; }
};

class tLinuxSLLParser : public tFrameParser {
public:
    static constexpr int32_t kHeaderSize = 16;
    static constexpr int32_t kVLANHeaderSize = 20;

    using tFrameParser::tFrameParser;

    bool checkIsPlausible() override { return true; }
    // prFailUndersize below 16 bytes; prFailInvalidValues when a VLAN tag is announced
    // but its 4 bytes are not captured.
    tParseResult parse() override;

    tSLLPacketType PacketType() const { return priv_packettype; }
    uint16_t ARPHeaderType() const { return priv_ARPHdrType; }
    uint16_t LinkLayerAddressLength() const { return priv_LinkLayerAddrLen; }
    // Bytes 6-11 when the address length is 6, else all zero.
    const tMACAddress& MACAddress() const { return priv_MACAddress; }
    // The eight address bytes as a big-endian number.
    uint64_t LinkLayerAddress() const { return priv_OtherLinkLayerAddr; }
    uint16_t ProtocolType() const { return priv_ProtocolType; }
    bool ContainsVLANInfo() const { return priv_containsVLANInfo; }
    t802dot1qData VLANInfo() const { return priv_vlandata; }

private:
    tSLLPacketType priv_packettype = sptUnicastToUs;
    uint16_t priv_ARPHdrType = 0;
    uint16_t priv_LinkLayerAddrLen = 0;
    tMACAddress priv_MACAddress;
    uint64_t priv_OtherLinkLayerAddr = 0;
    uint16_t priv_ProtocolType = 0;
    bool priv_containsVLANInfo = false;
    t802dot1qData priv_vlandata;
};

}  // namespace morwick
