#pragma once
// IEEE 802.2 LLC header parser, with the SNAP extension (DSAP 0xAA).
#include <array>
#include <cstdint>

#include "parser/frameparser.h"

namespace morwick {

// The three bytes of the SNAP organisation code as they stand in the frame.
using tSNAPVendorCode = std::array<uint8_t, 3>;

class tLLCParser : public tFrameParser {
public:
    static constexpr int32_t kHeaderSize = 3;
    static constexpr int32_t kSNAPHeaderSize = 8;
    static constexpr uint8_t kSNAPSap = 0xAA;

    using tFrameParser::tFrameParser;

    bool checkIsPlausible() override { return true; }
    // Plain LLC is not decoded further: the payload follows at +3. With SNAP the
    // protocol type names the next header at +8.
    tParseResult parse() override;

    uint8_t DSAP() const { return priv_dsap; }
    uint8_t SSAP() const { return priv_ssap; }
    uint8_t Control() const { return priv_control; }
    const tSNAPVendorCode& VendorCode() const { return priv_vendorcode; }
    uint16_t ProtocolType() const { return priv_protocoltype; }

private:
    uint8_t priv_dsap = 0;
    uint8_t priv_ssap = 0;
    uint8_t priv_control = 0;
    tSNAPVendorCode priv_vendorcode{};
    uint16_t priv_protocoltype = 0;
};

}  // namespace morwick
