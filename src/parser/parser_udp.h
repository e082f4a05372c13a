#pragma once
// UDP header parser. A section parser: the parse master passes the IP payload length of
// the last IP layer as section length.
#include <cstdint>
#include <span>

#include "base/chunk.h"
#include "parser/frameparser.h"

namespace morwick {

// Two 16-bit values, for example the source and destination port of a transport header.
struct tWordPair {
    uint16_t Value1 = 0;
    uint16_t Value2 = 0;

    void initialize() { *this = tWordPair{}; }
    friend constexpr bool operator==(const tWordPair&, const tWordPair&) = default;
};

class tUDPParser : public tSectionParser {
public:
    static constexpr int32_t kHeaderSize = 8;

    tUDPParser(const uint8_t* FrameData, int32_t FrameOffset, int32_t DataLength,
               int32_t WireLength, int32_t UDPSectionLength, int64_t FrameIndex)
        : tSectionParser(FrameData, FrameOffset, DataLength, WireLength, UDPSectionLength,
                         FrameIndex) {}

    bool checkIsPlausible() override { return true; }
    // prFailUndersize for fewer than 8 captured bytes; prFailPayloadTruncated (counts as
    // success) when the frame was sliced, in which case no checksum words are built.
    tParseResult parse() override;

    uint16_t SourcePort() const { return priv_sourceport; }
    uint16_t DestinationPort() const { return priv_destinationport; }
    uint16_t Length() const { return priv_length; }
    uint16_t Checksum() const { return priv_crc; }
    tWordPair PortPair() const { return {priv_sourceport, priv_destinationport}; }
    // The datagram (header and payload, Length bytes as far as captured), the bytes the
    // checksum covers; empty for a sliced frame. Points into the frame.
    std::span<const uint8_t> UDPSectionBytes() const {
        if (priv_checksumlen <= 0) return {};
        return {priv_framedata + priv_frameoffset, static_cast<size_t>(priv_checksumlen)};
    }
    // The same bytes as network-order words; built on the first call.
    const tBufferWords& UDPSectionAsWordBuffer() const;

private:
    uint16_t priv_sourceport = 0;
    uint16_t priv_destinationport = 0;
    uint16_t priv_length = 0;
    uint16_t priv_crc = 0;
    int32_t priv_checksumlen = 0;  // length of UDPSectionBytes
    mutable tBufferWords priv_udpsectionwords;
    mutable bool priv_wordsbuilt = false;
};

}  // namespace morwick
