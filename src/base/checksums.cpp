#include "base/checksums.h"

#include <array>

namespace morwick {

namespace {

constexpr std::array<uint32_t, 256> MakeCRC32Table() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> CRC32Table = MakeCRC32Table();

// Running one's-complement sum. 64 bits leave room for any frame's words before folding.
struct tWordSum {
    uint64_t sum = 0;

    void add(uint16_t w) { sum += w; }
    // Adds all words but the one at the 1-based position Skip (0 = none).
    void add(tWordSpan words, size_t Skip = 0) {
        for (size_t i = 0; i < words.size(); ++i)
            if (i + 1 != Skip) sum += words[i];
    }
    void addIPv4(const tIPv4PseudoHeader& p) {
        add(p.GetSourceHighWord());
        add(p.GetSourceLowWord());
        add(p.GetDestinationHighWord());
        add(p.GetDestinationLowWord());
        add(p.Protocol);
        add(p.L4Length);
    }
    void addIPv6(const tIPv6PseudoHeader& p, uint8_t NextHeader) {
        for (uint16_t w : p.Source) add(w);
        for (uint16_t w : p.Destination) add(w);
        add(p.GetLengthHighWord());
        add(p.getLengthLowWord());
        add(NextHeader);
    }
    uint16_t folded() const {
        uint64_t s = sum;
        while (s > 0xFFFF) s = (s >> 16) + (s & 0xFFFF);
        return static_cast<uint16_t>(s);
    }
    uint16_t complement() const { return static_cast<uint16_t>(~folded()); }
    // UDP sends a computed checksum of 0 as 0xFFFF, since 0 means "no checksum".
    uint16_t udpComplement() const { return folded() == 0xFFFF ? 0xFFFF : complement(); }
};

constexpr size_t IPv4ChecksumWord = 6;
constexpr size_t TCPChecksumWord = 9;
constexpr size_t UDPChecksumWord = 4;
constexpr size_t ICMPChecksumWord = 2;

}  // namespace

uint32_t UpdateCRC32Register(uint32_t reg, std::span<const uint8_t> bytes) {
    for (uint8_t b : bytes) reg = (reg >> 8) ^ CRC32Table[(reg ^ b) & 0xFF];
    return reg;
}

uint32_t CalculateCRC32(std::span<const uint8_t> bytes) { return ~UpdateCRC32Register(0xFFFFFFFF, bytes); }

uint16_t IPv4HeaderChecksum(tWordSpan HeaderWords, int32_t HeaderLength) {
    const size_t count = HeaderLength > 0 ? static_cast<size_t>(HeaderLength / 2) : 0;
    tWordSum s;
    s.add(HeaderWords.first(count < HeaderWords.size() ? count : HeaderWords.size()), IPv4ChecksumWord);
    return s.complement();
}

uint16_t TCPv4Checksum(const tIPv4PseudoHeader& Pseudo, tWordSpan SegmentWords) {
    tWordSum s;
    s.addIPv4(Pseudo);
    s.add(SegmentWords, TCPChecksumWord);
    return s.complement();
}

uint16_t TCPv6Checksum(const tIPv6PseudoHeader& Pseudo, tWordSpan SegmentWords) {
    tWordSum s;
    s.addIPv6(Pseudo, 6);
    s.add(SegmentWords, TCPChecksumWord);
    return s.complement();
}

uint16_t UDPv4Checksum(const tIPv4PseudoHeader& Pseudo, tWordSpan DatagramWords) {
    tWordSum s;
    s.addIPv4(Pseudo);
    s.add(DatagramWords, UDPChecksumWord);
    return s.udpComplement();
}

uint16_t UDPv6Checksum(const tIPv6PseudoHeader& Pseudo, tWordSpan DatagramWords) {
    tWordSum s;
    s.addIPv6(Pseudo, 17);
    s.add(DatagramWords, UDPChecksumWord);
    return s.udpComplement();
}

uint16_t ICMPv4Checksum(tWordSpan HeaderWords, tWordSpan PayloadWords) {
    tWordSum s;
    s.add(HeaderWords, ICMPChecksumWord);
    s.add(PayloadWords);
    return s.complement();
}

uint16_t ICMPv6Checksum(const tIPv6PseudoHeader& Pseudo, tWordSpan HeaderWords, tWordSpan PayloadWords) {
    tWordSum s;
    s.addIPv6(Pseudo, 58);
    s.add(HeaderWords, ICMPChecksumWord);
    s.add(PayloadWords);
    return s.complement();
}

}  // namespace morwick
