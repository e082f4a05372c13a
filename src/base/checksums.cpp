#include "base/checksums.h"

#include <array>
#include <bit>
#include <cstring>

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

uint16_t FoldedByteSum(tByteSpan Bytes);

// Running one's-complement sum. 64 bits leave room for any frame's words before folding.
struct tWordSum {
    uint64_t sum = 0;

    void add(uint16_t w) { sum += w; }
    // Adds all words but the one at the 1-based position Skip (0 = none).
    void add(tWordSpan words, size_t Skip = 0) {
        for (size_t i = 0; i < words.size(); ++i)
            if (i + 1 != Skip) sum += words[i];
    }
    // Adds the bytes as words, all but the word at the 1-based position Skip (0 = none).
    void add(tByteSpan bytes, size_t Skip = 0) {
        if (Skip == 0) {
            sum += FoldedByteSum(bytes);
            return;
        }
        const size_t skipAt = (Skip - 1) * 2;
        if (bytes.size() <= skipAt) {
            sum += FoldedByteSum(bytes);
            return;
        }
        sum += FoldedByteSum(bytes.first(skipAt));
        if (bytes.size() > skipAt + 2) sum += FoldedByteSum(bytes.subspan(skipAt + 2));
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

// One's-complement sum of bytes taken as network-order words, folded to 16 bits. The
// result is 0 only when every byte is 0; otherwise it is the value in 1..0xFFFF that is
// congruent to the plain sum of the words modulo 0xFFFF, just what tWordSum folds to.
// Eight bytes are added per step in host order: 2^16 = 1 modulo 0xFFFF, so the sum of
// host-order words is the byte-swapped sum of network-order words.
uint16_t FoldedByteSum(tByteSpan Bytes) {
    const uint8_t* p = Bytes.data();
    size_t n = Bytes.size();
    uint64_t sum = 0;
    while (n >= 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        sum += (v & 0xFFFFFFFFu) + (v >> 32);
        p += 8;
        n -= 8;
    }
    while (n >= 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        sum += v;
        p += 2;
        n -= 2;
    }
    if (n == 1) {
        // The odd last byte is the high half of its word.
        const uint8_t hi[2] = {*p, 0};
        uint16_t v;
        std::memcpy(&v, hi, 2);
        sum += v;
    }
    while (sum > 0xFFFF) sum = (sum >> 16) + (sum & 0xFFFF);
    const auto folded = static_cast<uint16_t>(sum);
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<uint16_t>((folded << 8) | (folded >> 8));
    else
        return folded;
}

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

namespace {

// Each sum is written once over a span of either kind: the frame's bytes, or the words
// of a word buffer.
template <typename Span>
uint16_t IPv4HeaderSum(Span Header, size_t Count) {
    tWordSum s;
    s.add(Header.first(Count < Header.size() ? Count : Header.size()), IPv4ChecksumWord);
    return s.complement();
}

template <typename Span>
uint16_t TCPv4Sum(const tIPv4PseudoHeader& Pseudo, Span Segment) {
    tWordSum s;
    s.addIPv4(Pseudo);
    s.add(Segment, TCPChecksumWord);
    return s.complement();
}

template <typename Span>
uint16_t TCPv6Sum(const tIPv6PseudoHeader& Pseudo, Span Segment) {
    tWordSum s;
    s.addIPv6(Pseudo, 6);
    s.add(Segment, TCPChecksumWord);
    return s.complement();
}

template <typename Span>
uint16_t UDPv4Sum(const tIPv4PseudoHeader& Pseudo, Span Datagram) {
    tWordSum s;
    s.addIPv4(Pseudo);
    s.add(Datagram, UDPChecksumWord);
    return s.udpComplement();
}

template <typename Span>
uint16_t UDPv6Sum(const tIPv6PseudoHeader& Pseudo, Span Datagram) {
    tWordSum s;
    s.addIPv6(Pseudo, 17);
    s.add(Datagram, UDPChecksumWord);
    return s.udpComplement();
}

template <typename Span>
uint16_t ICMPv4Sum(Span Header, Span Payload) {
    tWordSum s;
    s.add(Header, ICMPChecksumWord);
    s.add(Payload);
    return s.complement();
}

template <typename Span>
uint16_t ICMPv6Sum(const tIPv6PseudoHeader& Pseudo, Span Header, Span Payload) {
    tWordSum s;
    s.addIPv6(Pseudo, 58);
    s.add(Header, ICMPChecksumWord);
    s.add(Payload);
    return s.complement();
}

}  // namespace

uint16_t IPv4HeaderChecksum(tWordSpan HeaderWords, int32_t HeaderLength) {
    return IPv4HeaderSum(HeaderWords, HeaderLength > 0 ? static_cast<size_t>(HeaderLength / 2) : 0);
}
uint16_t IPv4HeaderChecksum(tByteSpan HeaderBytes, int32_t HeaderLength) {
    return IPv4HeaderSum(HeaderBytes, HeaderLength > 0 ? static_cast<size_t>(HeaderLength / 2) * 2 : 0);
}
uint16_t TCPv4Checksum(const tIPv4PseudoHeader& Pseudo, tWordSpan SegmentWords) { return TCPv4Sum(Pseudo, SegmentWords); }
uint16_t TCPv4Checksum(const tIPv4PseudoHeader& Pseudo, tByteSpan SegmentBytes) { return TCPv4Sum(Pseudo, SegmentBytes); }
uint16_t TCPv6Checksum(const tIPv6PseudoHeader& Pseudo, tWordSpan SegmentWords) { return TCPv6Sum(Pseudo, SegmentWords); }
uint16_t TCPv6Checksum(const tIPv6PseudoHeader& Pseudo, tByteSpan SegmentBytes) { return TCPv6Sum(Pseudo, SegmentBytes); }
uint16_t UDPv4Checksum(const tIPv4PseudoHeader& Pseudo, tWordSpan DatagramWords) {
    return UDPv4Sum(Pseudo, DatagramWords);
}
uint16_t UDPv4Checksum(const tIPv4PseudoHeader& Pseudo, tByteSpan DatagramBytes) {
    return UDPv4Sum(Pseudo, DatagramBytes);
}
uint16_t UDPv6Checksum(const tIPv6PseudoHeader& Pseudo, tWordSpan DatagramWords) {
    return UDPv6Sum(Pseudo, DatagramWords);
}
uint16_t UDPv6Checksum(const tIPv6PseudoHeader& Pseudo, tByteSpan DatagramBytes) {
    return UDPv6Sum(Pseudo, DatagramBytes);
}
uint16_t ICMPv4Checksum(tWordSpan HeaderWords, tWordSpan PayloadWords) { return ICMPv4Sum(HeaderWords, PayloadWords); }
uint16_t ICMPv4Checksum(tByteSpan HeaderBytes, tByteSpan PayloadBytes) { return ICMPv4Sum(HeaderBytes, PayloadBytes); }
uint16_t ICMPv6Checksum(const tIPv6PseudoHeader& Pseudo, tWordSpan HeaderWords, tWordSpan PayloadWords) {
    return ICMPv6Sum(Pseudo, HeaderWords, PayloadWords);
}
uint16_t ICMPv6Checksum(const tIPv6PseudoHeader& Pseudo, tByteSpan HeaderBytes, tByteSpan PayloadBytes) {
    return ICMPv6Sum(Pseudo, HeaderBytes, PayloadBytes);
}

}  // namespace morwick
