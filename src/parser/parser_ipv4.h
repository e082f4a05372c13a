#pragma once
// IPv4 header parser with its options (source routes, record route, timestamps, router
// alert) and the substitute for a zero total length left by segment offloading.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "base/addresses.h"
#include "base/codes.h"
#include "base/pseudoheaders.h"
#include "parser/frameparser.h"

namespace morwick {

enum tIPFlags : uint8_t { ipfReserved, ipfDontFragment, ipfMoreFragments, ipfLastFragment };
using tIPFlagSet = tEnumSet<tIPFlags, uint8_t>;

enum tIPv4OptionClass : uint8_t { ocControl, ocReserved1, ocDebugging, ocReserved2 };

struct tIPv4Timestamp {
    tIPv4Address address;
    uint32_t timestamp = 0;
};

struct tIPv4Option {
    bool CopyOnFragment = false;
    tIPv4OptionClass OptionClass = ocControl;
    uint8_t OptionNumber = 0;
    uint8_t OptionPointer = 0;
    uint8_t OptionOverflow = 0;
    uint8_t OptionFlag = 0;
    uint8_t OptionLength = 0;
    uint16_t OptionWord = 0;
    std::vector<tIPv4Address> RouteRecords;
    std::vector<tIPv4Timestamp> TimestampRecords;

    void initialize() { *this = tIPv4Option{}; }
    // Copy flag from bit 7, class from bits 6-5, number from bits 4-0; empties the records.
    void setOptionType(uint8_t Value);
    uint8_t getOptionType() const;
    void copyFrom(const tIPv4Option& Source) { *this = Source; }
};
using tIPv4OptionList = std::vector<tIPv4Option>;

// The IPv4 header as big-endian words; words past the header are 0.
using tIPv4HeaderWords = std::array<uint16_t, 30>;

class tIPv4Parser : public tFrameParser {
public:
    static constexpr int32_t kHeaderSize = 20;

    // isICMPQuote: the header is quoted inside an ICMP message, so its lengths say
    // nothing about this frame and it is never a fragment.
    tIPv4Parser(const uint8_t* FrameData, int32_t FrameOffset, int32_t DataLength,
                int32_t WireLength, bool isICMPQuote, int64_t FrameIndex)
        : tFrameParser(FrameData, FrameOffset, DataLength, WireLength, FrameIndex),
          priv_isICMPQuote(isICMPQuote) {}

    // 20 bytes, version 4, header length above 16, total length 0 or at least 20.
    bool checkIsPlausible() override;
    // prFailUndersize below 20 bytes; prFailInvalidValues for an option that cannot be
    // read completely.
    tParseResult parse() override;

    // All 30 words 0, then IHL / 2 words from Offset, fewer when LastOffset cuts the
    // header short.
    static tIPv4HeaderWords getHeaderWordsFromOffset(const uint8_t* Buffer, int32_t Offset,
                                                     int32_t IHL, int32_t LastOffset);

    uint8_t Version() const { return priv_version; }
    uint8_t IHL() const { return priv_ihl; }
    uint8_t TOS() const { return priv_tos; }
    uint16_t TotalLength() const { return priv_totallength; }
    uint16_t Identification() const { return priv_identification; }
    tIPFlagSet Flags() const { return priv_flags; }
    // Fragment offset in bytes.
    uint16_t Offset() const { return priv_offset; }
    bool IsFragment() const { return priv_isFragment; }
    bool IsLastFragment() const { return !priv_flags.has(ipfMoreFragments) && priv_offset != 0; }
    uint8_t TTL() const { return priv_ttl; }
    uint8_t Protocol() const { return priv_protocol; }
    uint16_t Checksum() const { return priv_checksum; }
    const tIPv4Address& Source() const { return priv_source; }
    // The final destination: the last address of a source route when there is one.
    const tIPv4Address& Destination() const { return priv_destination; }
    // The header's destination field when a source route replaced Destination.
    const tIPv4Address& CurrentRoute() const { return priv_currentroute; }
    bool HasOptions() const { return priv_hasOptions; }
    // The captured header bytes the header checksum covers: IHL bytes from the header's
    // start, fewer when the frame ends first, always a whole number of words. Points into
    // the frame.
    std::span<const uint8_t> HeaderBytes() const;
    // The same bytes as words (getHeaderWordsFromOffset); built on the first call.
    const tIPv4HeaderWords& HeaderAsWordBuffer() const;
    const tIPv4OptionList& OptionList() const { return priv_optionlist; }
    bool SegmentOffloadLenZero() const { return priv_segmentlenzero; }
    int32_t FramePayloadLengthDelta() const { return priv_payloaddeltalen; }
    int32_t FrameTotalLengthDelta() const { return priv_totaldeltalen; }
    bool isICMPQuote() const { return priv_isICMPQuote; }
    // TotalLength - IHL; 0 when the total length does not even cover the header.
    int32_t IPPayloadLength() const {
        return priv_totallength > priv_ihl ? priv_totallength - priv_ihl : 0;
    }
    tIPv4PseudoHeader PseudoHeader() const {
        tIPv4PseudoHeader h;
        h.Source = priv_source.ValueAsLong;
        h.Destination = priv_destination.ValueAsLong;
        h.Protocol = priv_protocol;
        h.L4Length = static_cast<uint16_t>(IPPayloadLength());
        return h;
    }

private:
    tParseResult parseOptions(int32_t Start, int32_t Length);

    uint8_t priv_version = 0;
    uint8_t priv_ihl = 0;
    uint8_t priv_tos = 0;
    uint16_t priv_totallength = 0;
    uint16_t priv_identification = 0;
    tIPFlagSet priv_flags;
    uint16_t priv_offset = 0;
    bool priv_isFragment = false;
    uint8_t priv_ttl = 0;
    uint8_t priv_protocol = 0;
    uint16_t priv_checksum = 0;
    tIPv4Address priv_source;
    tIPv4Address priv_destination;
    tIPv4Address priv_currentroute;
    bool priv_hasOptions = false;
    mutable tIPv4HeaderWords priv_headerwords;
    mutable bool priv_wordsbuilt = false;
    tIPv4OptionList priv_optionlist;
    bool priv_segmentlenzero = false;
    int32_t priv_payloaddeltalen = 0;
    int32_t priv_totaldeltalen = 0;
    bool priv_isICMPQuote = false;
};

}  // namespace morwick
