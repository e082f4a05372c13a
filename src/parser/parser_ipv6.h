#pragma once
// IPv6 fixed header parser. Extension headers other than the fragment header are not
// decoded: their numbers end the walk and the rest of the packet is payload.
#include <cstdint>

#include "base/addresses.h"
#include "base/pseudoheaders.h"
#include "parser/frameparser.h"

namespace morwick {

class tIPv6Parser : public tFrameParser {
public:
    static constexpr int32_t kHeaderSize = 40;

    using tFrameParser::tFrameParser;

    bool checkIsPlausible() override { return true; }
    tParseResult parse() override;

    uint8_t Version() const { return priv_version; }
    uint8_t TrafficClass() const { return priv_trafficclass; }
    uint32_t FlowLabel() const { return priv_flowlabel; }
    uint16_t PayloadLength() const { return priv_payloadlength; }
    uint8_t NextHeader() const { return priv_nextheader; }
    uint8_t HopLimit() const { return priv_hoplimit; }
    const tIPv6Address& Source() const { return priv_source; }
    const tIPv6Address& Destination() const { return priv_destination; }
    // Next header only for TCP, UDP, fragment and ICMPv6, else 0.
    tIPv6PseudoHeader PseudoHeader() const;

private:
    uint8_t priv_version = 0;
    uint8_t priv_trafficclass = 0;
    uint32_t priv_flowlabel = 0;
    uint16_t priv_payloadlength = 0;
    uint8_t priv_nextheader = 0;
    uint8_t priv_hoplimit = 0;
    tIPv6Address priv_source;
    tIPv6Address priv_destination;
};

}  // namespace morwick
