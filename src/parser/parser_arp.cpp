#include "parser/parser_arp.h"

namespace morwick {

namespace {
constexpr int32_t kHardwareTypeAt = 0;
constexpr int32_t kProtocolTypeAt = 2;
constexpr int32_t kHardwareSizeAt = 4;
constexpr int32_t kProtocolSizeAt = 5;
constexpr int32_t kOpCodeAt = 6;
constexpr int32_t kSenderMACAt = 8;
constexpr int32_t kSenderIPAt = 14;
constexpr int32_t kTargetMACAt = 18;
constexpr int32_t kTargetIPAt = 24;
}  // namespace

tParseResult tARPParser::parse() {
    priv_osilayer = 3;
    prot_layersize = kHeaderSize;
    if (!isAvailable(priv_frameoffset, kHeaderSize)) return prFailUndersize;
    const int32_t at = priv_frameoffset;
    priv_HardwareType = be16(at + kHardwareTypeAt);
    priv_ProtocolType = be16(at + kProtocolTypeAt);
    priv_HardwareSize = u8(at + kHardwareSizeAt);
    priv_ProtocolSize = u8(at + kProtocolSizeAt);
    priv_OpCode = be16(at + kOpCodeAt);
    copyBytes(at + kSenderMACAt, priv_SenderMAC.RangeBytes.data(), 6);
    priv_SenderIP.initialize(be32(at + kSenderIPAt), 32);
    copyBytes(at + kTargetMACAt, priv_TargetMAC.RangeBytes.data(), 6);
    priv_TargetIP.initialize(be32(at + kTargetIPAt), 32);
    priv_nextAnchor = {hdrNoNextHeader, at + kHeaderSize};
    return prSuccess;
}

}  // namespace morwick
