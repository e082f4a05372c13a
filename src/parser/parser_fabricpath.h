#pragma once
// Cisco FabricPath header parser.
#include <cstdint>

#include "parser/frameparser.h"

namespace morwick {

struct tFabricPathIdentifier {
    uint16_t EID = 0;
    uint16_t SwitchID = 0;
    bool ULBit = false;
    bool IGBit = false;
    bool OOODLBit = false;
    uint8_t SubSwitchID = 0;
    uint16_t SourceLID = 0;

    void initialize() { *this = tFabricPathIdentifier{}; }
};

class tFabricPathParser : public tFrameParser {
public:
    static constexpr int32_t kHeaderSize = 16;

    using tFrameParser::tFrameParser;

    // 16 bytes captured with the FabricPath EtherType at +12.
    bool checkIsPlausible() override;
    // The frame inside always starts with an Ethernet header.
    tParseResult parse() override;

    const tFabricPathIdentifier& SourceIdentifier() const { return priv_SourceIdentifier; }
    const tFabricPathIdentifier& DestinationIdentifier() const { return priv_DestinationIdentifier; }
    uint16_t FTAG() const { return priv_FTAG; }
    uint8_t TTL() const { return priv_TTL; }

    // Decodes one six-byte identifier.
    static tFabricPathIdentifier DecodeIdentifier(const uint8_t* Bytes);

private:
    tFabricPathIdentifier priv_SourceIdentifier;
    tFabricPathIdentifier priv_DestinationIdentifier;
    uint16_t priv_FTAG = 0;
    uint8_t priv_TTL = 0;
};

}  // namespace morwick
