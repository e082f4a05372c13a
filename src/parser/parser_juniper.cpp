#include "parser/parser_juniper.h"

namespace morwick {

namespace {
constexpr uint8_t kMagic[3] = {0x4D, 0x47, 0x43};  // "MGC"
constexpr int32_t kMagicAndFlagsAt = 0;
constexpr int32_t kExtensionLengthAt = 4;
constexpr uint32_t kFlagInbound = 0x01;
constexpr uint32_t kFlagL2Stripped = 0x02;
constexpr uint32_t kFlagExtensions = 0x80;
// With the link header stripped, four more bytes precede the IP header.
constexpr int32_t kStrippedExtra = 4;
constexpr uint8_t kExtTypeWithValue = 4;
}  // namespace

bool tJuniperParser::checkIsPlausible() {
    if (!isAvailable(priv_frameoffset, kHeaderSize)) return false;
    const uint8_t* p = priv_framedata + priv_frameoffset;
    return p[0] == kMagic[0] && p[1] == kMagic[1] && p[2] == kMagic[2];
}

tParseResult tJuniperParser::parse() {
    priv_osilayer = 1;
    prot_layersize = kHeaderSize;
    if (!isAvailable(priv_frameoffset, kHeaderSize)) return prFailUndersize;
    const int32_t at = priv_frameoffset;
    const uint32_t f = be32(at + kMagicAndFlagsAt);
    priv_MagicNumber = f >> 8;
    priv_Direction = (f & kFlagInbound) ? pdInbound : pdOutbound;
    priv_L2HeaderStripped = (f & kFlagL2Stripped) != 0;
    priv_ExtensionsPresent = (f & kFlagExtensions) != 0;
    const int32_t nextType = priv_L2HeaderStripped ? hdrIPv4 : hdrEthernet;

    priv_ExtensionTotalLen = 0;
    priv_ExtensionList.clear();
    if (priv_ExtensionsPresent) {
        priv_ExtensionTotalLen = be16(at + kExtensionLengthAt);
        prot_layersize = priv_ExtensionTotalLen + kHeaderSize + (priv_L2HeaderStripped ? kStrippedExtra : 0);
        const int32_t end = at + kHeaderSize + priv_ExtensionTotalLen;
        int32_t pos = at + kHeaderSize;
        while (pos < end) {
            if (!isAvailable(pos, 2)) return prFailInvalidValues;
            tJuniperExtension ext;
            ext.ExtType = u8(pos);
            ext.ExtLen = u8(pos + 1);
            if (!isAvailable(pos, 2 + ext.ExtLen)) return prFailInvalidValues;
            if (ext.ExtType == kExtTypeWithValue) {
                if (!isAvailable(pos + 2, 4)) return prFailInvalidValues;
                ext.ExtValue32 = le32(pos + 2);
            }
            if (ext.ExtType != 0) priv_ExtensionList.push_back(ext);
            pos += ext.ExtLen + 2;
        }
    }
    priv_nextAnchor = {nextType, at + prot_layersize};
    return prSuccess;
}

}  // namespace morwick
