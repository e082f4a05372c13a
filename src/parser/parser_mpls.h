#pragma once
// MPLS label stack entry parser. After the bottom label it guesses the payload: IPv4,
// IPv6, an Ethernet pseudowire with or without control word, or plain payload.
#include <cstdint>

#include "parser/frameparser.h"

namespace morwick {

class tMPLSParser : public tFrameParser {
public:
    static constexpr int32_t kHeaderSize = 4;

    using tFrameParser::tFrameParser;

    bool checkIsPlausible() override { return true; }
    // Needs the label entry and one byte after it.
    tParseResult parse() override;

    uint32_t MPLSLabel() const { return priv_label; }
    uint8_t ToSExperimental() const { return priv_tos; }
    bool BottomOfStack() const { return priv_bottom; }
    uint8_t TTL() const { return priv_ttl; }

private:
    tProtocolAnchor guessPayload(int32_t At);

    uint32_t priv_label = 0;
    uint8_t priv_tos = 0;
    bool priv_bottom = false;
    uint8_t priv_ttl = 0;
};

}  // namespace morwick
