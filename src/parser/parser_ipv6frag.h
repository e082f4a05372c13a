#pragma once
// IPv6 fragment extension header parser.
#include <cstdint>

#include "parser/frameparser.h"
#include "parser/parser_ipv4.h"

namespace morwick {

class tIPv6FragmentationParser : public tFrameParser {
public:
    static constexpr int32_t kHeaderSize = 8;

    using tFrameParser::tFrameParser;

    bool checkIsPlausible() override { return true; }
    // The next header is handed on for every fragment, not only the first.
    tParseResult parse() override;

    // {ipfMoreFragments} or {ipfLastFragment}.
    tIPFlagSet Flags() const { return priv_flags; }
    // Fragment offset in units of 8 bytes.
    uint16_t Offset() const { return priv_fragmentoffset; }
    uint32_t Identification() const { return priv_identification; }

private:
    tIPFlagSet priv_flags;
    uint16_t priv_fragmentoffset = 0;
    uint32_t priv_identification = 0;
};

}  // namespace morwick
