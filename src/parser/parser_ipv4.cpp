#include "parser/parser_ipv4.h"

#include <algorithm>

namespace morwick {

namespace {
constexpr int32_t kVersionIHLAt = 0;
constexpr int32_t kTOSAt = 1;
constexpr int32_t kTotalLengthAt = 2;
constexpr int32_t kIdentificationAt = 4;
constexpr int32_t kFlagsOffsetAt = 6;
constexpr int32_t kTTLAt = 8;
constexpr int32_t kProtocolAt = 9;
constexpr int32_t kChecksumAt = 10;
constexpr int32_t kSourceAt = 12;
constexpr int32_t kDestinationAt = 16;

// Option types and numbers.
constexpr uint8_t kOptTypeEndOfList = 0;
constexpr uint8_t kOptTypeNoOperation = 1;
constexpr uint8_t kOptNumEndOfList = 0;
constexpr uint8_t kOptNumLooseRoute = 3;
constexpr uint8_t kOptNumTimestamp = 4;
constexpr uint8_t kOptNumRecordRoute = 7;
constexpr uint8_t kOptNumStrictRoute = 9;
constexpr uint8_t kOptNumRouterAlert = 20;
// Offsets inside an option.
constexpr int32_t kOptPointerAt = 2;
constexpr int32_t kOptRoutesAt = 3;
constexpr int32_t kOptOverflowFlagAt = 3;
constexpr int32_t kOptTimestampsAt = 4;
}  // namespace

void tIPv4Option::setOptionType(uint8_t Value) {
    CopyOnFragment = (Value & 0x80) != 0;
    OptionClass = static_cast<tIPv4OptionClass>((Value >> 5) & 0x03);
    OptionNumber = Value & 0x1F;
    RouteRecords.clear();
    TimestampRecords.clear();
}

uint8_t tIPv4Option::getOptionType() const {
    return static_cast<uint8_t>((CopyOnFragment ? 0x80 : 0) | ((OptionClass & 0x03) << 5) |
                                (OptionNumber & 0x1F));
}

tIPv4HeaderWords tIPv4Parser::getHeaderWordsFromOffset(const uint8_t* Buffer, int32_t Offset,
                                                       int32_t IHL, int32_t LastOffset) {
    tIPv4HeaderWords words{};
    if (Buffer == nullptr || Offset < 0) return words;
    int64_t count = IHL / 2;
    if (LastOffset < int64_t{Offset} + IHL) count = (int64_t{LastOffset} - Offset) / 2;
    count = std::clamp<int64_t>(count, 0, static_cast<int64_t>(words.size()));
    for (int64_t i = 0; i < count; ++i) {
        const uint8_t* p = Buffer + Offset + 2 * i;
        words[static_cast<size_t>(i)] = static_cast<uint16_t>((p[0] << 8) | p[1]);
    }
    return words;
}

std::span<const uint8_t> tIPv4Parser::HeaderBytes() const {
    // The words getHeaderWordsFromOffset takes, as bytes.
    const int32_t at = priv_frameoffset;
    if (priv_framedata == nullptr || at < 0) return {};
    int64_t count = priv_ihl / 2;
    if (priv_framelength < int64_t{at} + priv_ihl) count = (int64_t{priv_framelength} - at) / 2;
    count = std::clamp<int64_t>(count, 0, static_cast<int64_t>(std::tuple_size_v<tIPv4HeaderWords>));
    if (count == 0) return {};
    return {priv_framedata + at, static_cast<size_t>(count * 2)};
}

const tIPv4HeaderWords& tIPv4Parser::HeaderAsWordBuffer() const {
    if (!priv_wordsbuilt) {
        priv_headerwords = getHeaderWordsFromOffset(priv_framedata, priv_frameoffset, priv_ihl, priv_framelength);
        priv_wordsbuilt = true;
    }
    return priv_headerwords;
}

bool tIPv4Parser::checkIsPlausible() {
    if (!isAvailable(priv_frameoffset, kHeaderSize)) return false;
    const uint8_t versionIHL = u8(priv_frameoffset + kVersionIHLAt);
    const uint16_t totalLength = be16(priv_frameoffset + kTotalLengthAt);
    return (versionIHL >> 4) == 4 && (versionIHL & 0x0F) > 4 &&
           (totalLength == 0 || totalLength >= kHeaderSize);
}

tParseResult tIPv4Parser::parse() {
    priv_osilayer = 3;
    prot_layersize = priv_ihl;
    if (!isAvailable(priv_frameoffset, kHeaderSize)) return prFailUndersize;
    const int32_t at = priv_frameoffset;

    const uint8_t versionIHL = u8(at + kVersionIHLAt);
    priv_version = versionIHL >> 4;
    priv_ihl = static_cast<uint8_t>((versionIHL & 0x0F) * 4);
    priv_hasOptions = priv_ihl > kHeaderSize;
    priv_tos = u8(at + kTOSAt);
    priv_totallength = be16(at + kTotalLengthAt);

    if (priv_totallength == 0) {
        // Segment offloading leaves the field empty: the captured rest stands in for it.
        priv_totallength = static_cast<uint16_t>(priv_framelength - at);
        priv_payloaddeltalen = 0;
        priv_totaldeltalen = 0;
        priv_segmentlenzero = true;
        addDiagnosticMsg(msWarning, MSG_IP_TOTAL_LENGTH_ZERO);
    } else {
        priv_segmentlenzero = false;
        if (priv_isICMPQuote) {
            priv_payloaddeltalen = 0;
            priv_totaldeltalen = 0;
        } else {
            priv_totaldeltalen = priv_wirelength - at - priv_totallength;
            priv_payloaddeltalen = priv_framelength - at - priv_totallength;
        }
    }

    priv_identification = be16(at + kIdentificationAt);
    const uint16_t w = be16(at + kFlagsOffsetAt);
    priv_offset = static_cast<uint16_t>((w & 0x1FFF) * 8);
    priv_flags.clear();
    if (w & 0x8000) priv_flags.add(ipfReserved);
    if (w & 0x4000) priv_flags.add(ipfDontFragment);
    if (w & 0x2000) priv_flags.add(ipfMoreFragments);
    priv_isFragment = !priv_isICMPQuote && (priv_flags.has(ipfMoreFragments) || priv_offset != 0);

    priv_ttl = u8(at + kTTLAt);
    priv_protocol = u8(at + kProtocolAt);
    priv_checksum = be16(at + kChecksumAt);
    priv_source.initialize(be32(at + kSourceAt), 32);
    priv_destination.initialize(be32(at + kDestinationAt), 32);
    priv_currentroute.initialize();

    // Only first fragments are decoded further.
    const int32_t nextType = (priv_isFragment && priv_offset != 0) ? hdrPayload : priv_protocol;
    priv_nextAnchor = {nextType, at + priv_ihl};

    priv_wordsbuilt = false;

    priv_optionlist.clear();
    if (priv_hasOptions) {
        const tParseResult options = parseOptions(at + kHeaderSize, priv_ihl - kHeaderSize);
        if (options != prSuccess) return options;
    }
    prot_layersize = priv_ihl;
    return prSuccess;
}

tParseResult tIPv4Parser::parseOptions(int32_t Start, int32_t Length) {
    const int64_t end = int64_t{Start} + Length;
    int64_t pos = Start;
    while (pos < end && pos < priv_framelength) {
        const uint8_t type = priv_framedata[pos];
        if (type == kOptTypeEndOfList || type == kOptTypeNoOperation) {
            pos += 1;
            continue;
        }
        if (!isAvailable(pos, 2)) return prFailInvalidValues;
        const uint8_t length = priv_framedata[pos + 1];
        if (length < 2) break;

        tIPv4Option option;
        option.setOptionType(type);
        option.OptionLength = length;
        // Bytes the option's fixed fields need, whatever its length says.
        int32_t needed = length;
        switch (option.OptionNumber) {
            case kOptNumLooseRoute:
            case kOptNumStrictRoute:
            case kOptNumRecordRoute: needed = std::max(needed, kOptRoutesAt); break;
            case kOptNumTimestamp:
            case kOptNumRouterAlert: needed = std::max(needed, kOptTimestampsAt); break;
            default: break;
        }
        if (!isAvailable(pos, needed)) return prFailInvalidValues;
        const int32_t at = static_cast<int32_t>(pos);

        bool stop = false;
        switch (option.OptionNumber) {
            case kOptNumEndOfList:
                priv_optionlist.push_back(std::move(option));
                stop = true;
                break;
            case kOptNumLooseRoute:
            case kOptNumStrictRoute:
            case kOptNumRecordRoute: {
                option.OptionPointer = u8(at + kOptPointerAt);
                const int count = length >= kOptRoutesAt ? (length - kOptRoutesAt) / 4 : 0;
                option.RouteRecords.reserve(static_cast<size_t>(count));
                for (int i = 0; i < count; ++i) {
                    tIPv4Address route;
                    route.initialize(be32(at + kOptRoutesAt + 4 * i), 32);
                    option.RouteRecords.push_back(route);
                }
                if (option.OptionNumber != kOptNumRecordRoute && count > 0) {
                    // The packet is bound for the end of the route; the header field only
                    // names the next hop.
                    priv_currentroute = priv_destination;
                    priv_destination = option.RouteRecords.back();
                }
                priv_optionlist.push_back(std::move(option));
                break;
            }
            case kOptNumTimestamp: {
                option.OptionPointer = u8(at + kOptPointerAt);
                const uint8_t overflowFlag = u8(at + kOptOverflowFlagAt);
                option.OptionOverflow = overflowFlag >> 4;
                option.OptionFlag = overflowFlag & 0x0F;
                const int count = length >= kOptTimestampsAt ? (length - kOptTimestampsAt) / 8 : 0;
                option.TimestampRecords.reserve(static_cast<size_t>(count));
                for (int i = 0; i < count; ++i) {
                    tIPv4Timestamp record;
                    record.address.initialize(be32(at + kOptTimestampsAt + 8 * i), 32);
                    record.timestamp = be32(at + kOptTimestampsAt + 8 * i + 4);
                    option.TimestampRecords.push_back(record);
                }
                priv_optionlist.push_back(std::move(option));
                break;
            }
            case kOptNumRouterAlert:
                option.OptionPointer = u8(at + kOptPointerAt);
                option.OptionWord = le16(at + kOptPointerAt);
                priv_optionlist.push_back(std::move(option));
                break;
            default:
                break;
        }
        if (stop) break;
        pos += length;
    }
    return prSuccess;
}

}  // namespace morwick
