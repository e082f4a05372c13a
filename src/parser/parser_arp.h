#pragma once
// ARP and RARP parser. The Ethernet/IPv4 layout is read whatever the size fields say.
#include <cstdint>

#include "base/addresses.h"
#include "parser/frameparser.h"

namespace morwick {

class tARPParser : public tFrameParser {
public:
    static constexpr int32_t kHeaderSize = 28;

    using tFrameParser::tFrameParser;

    bool checkIsPlausible() override { return true; }
    // Ends the walk: what follows the message is trailer.
    tParseResult parse() override;

    uint16_t HardwareType() const { return priv_HardwareType; }
    uint16_t ProtocolType() const { return priv_ProtocolType; }
    uint8_t HardwareSize() const { return priv_HardwareSize; }
    uint8_t ProtocolSize() const { return priv_ProtocolSize; }
    uint16_t OpCode() const { return priv_OpCode; }
    const tMACAddress& SenderMAC() const { return priv_SenderMAC; }
    const tIPv4Address& SenderIP() const { return priv_SenderIP; }
    const tMACAddress& TargetMAC() const { return priv_TargetMAC; }
    const tIPv4Address& TargetIP() const { return priv_TargetIP; }

private:
    uint16_t priv_HardwareType = 0;
    uint16_t priv_ProtocolType = 0;
    uint8_t priv_HardwareSize = 0;
    uint8_t priv_ProtocolSize = 0;
    uint16_t priv_OpCode = 0;
    tMACAddress priv_SenderMAC;
    tIPv4Address priv_SenderIP;
    tMACAddress priv_TargetMAC;
    tIPv4Address priv_TargetIP;
};

}  // namespace morwick
