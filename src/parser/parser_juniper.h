#pragma once
// Juniper capture pseudo-header parser ("MGC" magic, direction and flags, optional
// type-length-value extensions).
#include <cstdint>
#include <vector>

#include "parser/frameparser.h"

namespace morwick {

enum tPacketDirection : uint8_t { pdUnknown, pdInbound, pdOutbound };

struct tJuniperExtension {
    uint8_t ExtType = 0;
    uint8_t ExtLen = 0;
    uint32_t ExtValue32 = 0;  // only for type 4, else 0

    void initialize() { *this = tJuniperExtension{}; }
};
using tJuniperExtensionList = std::vector<tJuniperExtension>;

class tJuniperParser : public tFrameParser {
public:
    static constexpr int32_t kHeaderSize = 6;

    using tFrameParser::tFrameParser;

    // At least 6 bytes starting with "MGC".
    bool checkIsPlausible() override;
    // prFailInvalidValues when an extension item is not captured.
    tParseResult parse() override;

    uint32_t MagicNumber() const { return priv_MagicNumber; }
    tPacketDirection Direction() const { return priv_Direction; }
    bool Layer2HeaderStripped() const { return priv_L2HeaderStripped; }
    bool ExtensionsPresent() const { return priv_ExtensionsPresent; }
    uint16_t ExtensionTotalLength() const { return priv_ExtensionTotalLen; }
    const tJuniperExtensionList& ExtensionList() const { return priv_ExtensionList; }

private:
    uint32_t priv_MagicNumber = 0;
    tPacketDirection priv_Direction = pdUnknown;
    bool priv_L2HeaderStripped = false;
    bool priv_ExtensionsPresent = false;
    uint16_t priv_ExtensionTotalLen = 0;
    tJuniperExtensionList priv_ExtensionList;
};

}  // namespace morwick
