#pragma once
// IEEE 802.1Q VLAN tag parser (also used for the 802.1ad and the older Q-in-Q types).
#include <cstdint>

#include "parser/frameparser.h"

namespace morwick {

class t802dot1qParser : public tFrameParser {
public:
    static constexpr int32_t kHeaderSize = 4;

    using tFrameParser::tFrameParser;

    bool checkIsPlausible() override { return true; }
    // The EtherType after the tag is handed on unchanged, also when it is a length.
    tParseResult parse() override;

    uint8_t Priority() const { return priv_priority; }
    bool CFI() const { return priv_cfi; }
    int32_t VLANID() const { return priv_vlanid; }
    uint16_t EtherType() const { return priv_ethertype; }

private:
    uint8_t priv_priority = 0;
    bool priv_cfi = false;
    int32_t priv_vlanid = 0;
    uint16_t priv_ethertype = 0;
};

}  // namespace morwick
