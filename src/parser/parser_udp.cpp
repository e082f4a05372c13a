#include "parser/parser_udp.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <span>

namespace morwick {

namespace {
constexpr int32_t kSourcePortAt = 0;
constexpr int32_t kDestinationPortAt = 2;
constexpr int32_t kLengthAt = 4;
constexpr int32_t kChecksumAt = 6;
// Bytes of the RTPS magic after the header, and how far the section must reach past it.
constexpr char kRTPSMagic[4] = {'R', 'T', 'P', 'S'};
constexpr int32_t kRTPSMinReach = 12;
}  // namespace

tParseResult tUDPParser::parse() {
    priv_osilayer = 4;
    prot_layersize = kHeaderSize;
    if (!isAvailable(priv_frameoffset, kHeaderSize)) return prFailUndersize;
    try {
        const int32_t at = priv_frameoffset;
        priv_sourceport = be16(at + kSourcePortAt);
        priv_destinationport = be16(at + kDestinationPortAt);
        priv_length = be16(at + kLengthAt);
        priv_crc = be16(at + kChecksumAt);

        tParseResult result = prSuccess;
        if (priv_framelength == priv_wirelength) {
            // The checksum covers Length bytes; only the captured ones are taken.
            priv_checksumlen = std::min<int32_t>(priv_length, priv_framelength - at);
        } else {
            priv_checksumlen = 0;
            result = prFailPayloadTruncated;
        }
        priv_udpsectionwords.clear();
        priv_wordsbuilt = false;

        const int32_t payloadAt = at + kHeaderSize;
        int32_t nextType = hdrDecideByPorts;
        if (priv_length <= kHeaderSize || payloadAt >= priv_framelength) {
            nextType = hdrNoNextHeader;
        } else if (at + kRTPSMinReach < priv_lastoffset &&
                   std::memcmp(priv_framedata + payloadAt, kRTPSMagic, sizeof kRTPSMagic) == 0) {
            nextType = hdrRTPS;
        }
        priv_nextAnchor = {nextType, payloadAt};
        return result;
    } catch (const std::exception&) {
        return prFailInvalidValues;
    }
}

const tBufferWords& tUDPParser::UDPSectionAsWordBuffer() const {
    if (!priv_wordsbuilt) {
        BytesToBufferWords(UDPSectionBytes(), priv_udpsectionwords);
        priv_wordsbuilt = true;
    }
    return priv_udpsectionwords;
}

}  // namespace morwick
