#pragma once
// Ethernet II and IEEE 802.3 header parser.
#include <cstdint>

#include "base/addresses.h"
#include "parser/frameparser.h"

namespace morwick {

enum tEtherFrameType : uint8_t { etEthernetII, et802dot3 };

class tEthernetParser : public tFrameParser {
public:
    static constexpr int32_t kHeaderSize = 14;
    // Type/length values up to this one are 802.3 lengths and lead to LLC.
    static constexpr uint16_t kMaxLengthValue = 1536;

    using tFrameParser::tFrameParser;

    bool checkIsPlausible() override { return true; }
    tParseResult parse() override;

    const tMACAddress& SourceAddress() const { return priv_ethsrc; }
    const tMACAddress& DestinationAddress() const { return priv_ethdst; }
    uint16_t EtherTypeLength() const { return priv_ethertypelength; }
    // et802dot3 below 1536, etEthernetII from 1536 on (1536 itself still goes to LLC).
    tEtherFrameType EtherFrameType() const {
        return priv_ethertypelength < kMaxLengthValue ? et802dot3 : etEthernetII;
    }
    tMACAddressPair EthernetAddressPair() const {
        tMACAddressPair pair;
        pair.initialize(priv_ethsrc, priv_ethdst, 0);
        return pair;
    }

private:
    tMACAddress priv_ethsrc;
    tMACAddress priv_ethdst;
    uint16_t priv_ethertypelength = 0;
};

}  // namespace morwick
