#include "base/checksums.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "base/chunk.h"

using namespace morwick;

namespace {

using tBytes = std::vector<uint8_t>;

std::span<const uint8_t> AsBytes(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// Byte-wise one's-complement sum (RFC 1071), independent of the word routines: the
// check of a correct checksum is that the sum over everything, checksum included, is
// 0xFFFF.
uint16_t ReferenceSum(const tBytes& bytes) {
    uint64_t sum = 0;
    for (size_t i = 0; i < bytes.size(); i += 2)
        sum += static_cast<uint64_t>(bytes[i]) << 8 | (i + 1 < bytes.size() ? bytes[i + 1] : 0);
    while (sum > 0xFFFF) sum = (sum >> 16) + (sum & 0xFFFF);
    return static_cast<uint16_t>(sum);
}

void Put16(tBytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}

tBytes Concat(tBytes a, const tBytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

tIPv4PseudoHeader V4Pseudo(uint8_t protocol, size_t length) {
    tIPv4PseudoHeader p;
    p.Source = 0xC0A80001;       // 192.168.0.1
    p.Destination = 0x08080808;  // 8.8.8.8
    p.Protocol = protocol;
    p.L4Length = static_cast<uint16_t>(length);
    return p;
}

tBytes V4PseudoBytes(const tIPv4PseudoHeader& p) {
    return {static_cast<uint8_t>(p.Source >> 24), static_cast<uint8_t>(p.Source >> 16),
            static_cast<uint8_t>(p.Source >> 8),  static_cast<uint8_t>(p.Source),
            static_cast<uint8_t>(p.Destination >> 24), static_cast<uint8_t>(p.Destination >> 16),
            static_cast<uint8_t>(p.Destination >> 8),  static_cast<uint8_t>(p.Destination),
            0, static_cast<uint8_t>(p.Protocol), static_cast<uint8_t>(p.L4Length >> 8), static_cast<uint8_t>(p.L4Length)};
}

tIPv6PseudoHeader V6Pseudo(size_t length) {
    tIPv6PseudoHeader p;
    p.Source = {0x2001, 0x0db8, 0, 0, 0, 0, 0, 0x0001};
    p.Destination = {0xfe80, 0, 0, 0, 0x0211, 0x22ff, 0xfe33, 0x4455};
    p.L4Length = static_cast<uint32_t>(length);
    p.NextHeader = 0;  // the routines supply their own next-header value
    return p;
}

tBytes V6PseudoBytes(const tIPv6PseudoHeader& p, uint8_t nextHeader) {
    tBytes b;
    for (uint16_t w : p.Source) b.insert(b.end(), {static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w)});
    for (uint16_t w : p.Destination) b.insert(b.end(), {static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w)});
    b.insert(b.end(), {static_cast<uint8_t>(p.L4Length >> 24), static_cast<uint8_t>(p.L4Length >> 16),
                       static_cast<uint8_t>(p.L4Length >> 8), static_cast<uint8_t>(p.L4Length), 0, 0, 0, nextHeader});
    return b;
}

tBytes TCPSegment(size_t payloadLength) {
    tBytes seg = {0xC3, 0x50, 0x00, 0x50, 0x12, 0x34, 0x56, 0x78, 0x00, 0x00, 0x00, 0x00,
                  0x50, 0x18, 0xFA, 0xF0, 0xAB, 0xCD /* stale checksum */, 0x00, 0x00};
    for (size_t i = 0; i < payloadLength; ++i) seg.push_back(static_cast<uint8_t>(0x41 + i * 7));
    return seg;
}

tBytes UDPDatagram(size_t payloadLength) {
    tBytes d = {0xD4, 0x31, 0x00, 0x35, 0x00, 0x00, 0x77, 0x77 /* stale checksum */};
    Put16(d, 4, static_cast<uint16_t>(8 + payloadLength));
    for (size_t i = 0; i < payloadLength; ++i) d.push_back(static_cast<uint8_t>(0x10 + i * 13));
    return d;
}

// Sets the last full payload word so that the folded sum over pseudo header and
// datagram, checksum field excluded, comes to exactly 0xFFFF.
void ForceFoldedSumFFFF(const tBytes& pseudo, tBytes& datagram) {
    const size_t last = (datagram.size() & ~size_t{1}) - 2;
    ASSERT_GE(last, 8u);
    Put16(datagram, last, 0);
    tBytes noChecksum = datagram;
    Put16(noChecksum, 6, 0);
    const uint16_t s = ReferenceSum(Concat(pseudo, noChecksum));
    Put16(datagram, last, static_cast<uint16_t>(0xFFFF - s));
    Put16(noChecksum, last, static_cast<uint16_t>(0xFFFF - s));
    ASSERT_EQ(ReferenceSum(Concat(pseudo, noChecksum)), 0xFFFF);
}

}  // namespace

TEST(CRC32, KnownValues) {
    struct Case { const char* text; uint32_t crc; };
    for (const Case& c : {Case{"123456789", 0xCBF43926}, {"", 0x00000000}, {"a", 0xE8B7BE43},
                          {"The quick brown fox jumps over the lazy dog", 0x414FA339}})
        EXPECT_EQ(CalculateCRC32(AsBytes(c.text)), c.crc) << c.text;
    // The register can be carried across pieces.
    uint32_t reg = 0xFFFFFFFF;
    reg = UpdateCRC32Register(reg, AsBytes("1234"));
    reg = UpdateCRC32Register(reg, AsBytes("56789"));
    EXPECT_EQ(~reg, 0xCBF43926u);
}

TEST(InternetChecksum, IPv4HeaderExample) {
    tBytes header = {0x45, 0x00, 0x00, 0x1C, 0x00, 0x01, 0x00, 0x00, 0x40, 0x11,
                     0x00, 0x00, 0x0A, 0x00, 0x00, 0x01, 0x0A, 0x00, 0x00, 0x02};
    // The stored checksum field takes no part.
    for (uint16_t stored : {0x0000, 0x66CE, 0x1234}) {
        Put16(header, 10, stored);
        EXPECT_EQ(IPv4HeaderChecksum(BytesToBufferWords(header), 20), 0x66CE) << stored;
    }
    // Words beyond the header length are not added; a length beyond the words is cut.
    tBytes padded = Concat(header, {0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(IPv4HeaderChecksum(BytesToBufferWords(padded), 20), 0x66CE);
    EXPECT_EQ(IPv4HeaderChecksum(BytesToBufferWords(header), 60), 0x66CE);
}

TEST(InternetChecksum, IPv4HeaderWithOptionsVerifies) {
    tBytes header = {0x46, 0x00, 0x00, 0x20, 0xAB, 0xCD, 0x40, 0x00, 0x01, 0x02, 0x00, 0x00,
                     0xC0, 0xA8, 0x01, 0x02, 0xE0, 0x00, 0x00, 0x16, 0x94, 0x04, 0x00, 0x00};
    const uint16_t c = IPv4HeaderChecksum(BytesToBufferWords(header), 24);
    Put16(header, 10, c);
    EXPECT_EQ(ReferenceSum(header), 0xFFFF);
}

TEST(InternetChecksum, TransportChecksumsVerifyAgainstTheWholeSum) {
    // For every variant and for even and odd lengths: writing the result into the
    // checksum field makes the one's-complement sum over pseudo header and message 0xFFFF.
    for (size_t payload : {size_t{0}, size_t{1}, size_t{6}, size_t{13}, size_t{1400}, size_t{1401}}) {
        SCOPED_TRACE(testing::Message() << payload << " payload bytes");
        {
            tBytes seg = TCPSegment(payload);
            const auto p = V4Pseudo(6, seg.size());
            Put16(seg, 16, TCPv4Checksum(p, BytesToBufferWords(seg)));
            EXPECT_EQ(ReferenceSum(Concat(V4PseudoBytes(p), seg)), 0xFFFF) << "TCP over IPv4";
        }
        {
            tBytes seg = TCPSegment(payload);
            const auto p = V6Pseudo(seg.size());
            Put16(seg, 16, TCPv6Checksum(p, BytesToBufferWords(seg)));
            EXPECT_EQ(ReferenceSum(Concat(V6PseudoBytes(p, 6), seg)), 0xFFFF) << "TCP over IPv6";
        }
        {
            tBytes d = UDPDatagram(payload);
            const auto p = V4Pseudo(17, d.size());
            Put16(d, 6, UDPv4Checksum(p, BytesToBufferWords(d)));
            EXPECT_EQ(ReferenceSum(Concat(V4PseudoBytes(p), d)), 0xFFFF) << "UDP over IPv4";
        }
        {
            tBytes d = UDPDatagram(payload);
            const auto p = V6Pseudo(d.size());
            Put16(d, 6, UDPv6Checksum(p, BytesToBufferWords(d)));
            EXPECT_EQ(ReferenceSum(Concat(V6PseudoBytes(p, 17), d)), 0xFFFF) << "UDP over IPv6";
        }
        {
            tBytes header = {0x08, 0x00, 0x99, 0x99, 0x12, 0x34, 0x00, 0x07};
            tBytes body = UDPDatagram(payload);  // any bytes will do as the echo data
            Put16(header, 2, ICMPv4Checksum(BytesToBufferWords(header), BytesToBufferWords(body)));
            EXPECT_EQ(ReferenceSum(Concat(header, body)), 0xFFFF) << "ICMPv4";
        }
        {
            tBytes header = {0x80, 0x00, 0x99, 0x99, 0x12, 0x34, 0x00, 0x07};
            tBytes body = TCPSegment(payload);
            const auto p = V6Pseudo(header.size() + body.size());
            Put16(header, 2, ICMPv6Checksum(p, BytesToBufferWords(header), BytesToBufferWords(body)));
            EXPECT_EQ(ReferenceSum(Concat(V6PseudoBytes(p, 58), Concat(header, body))), 0xFFFF) << "ICMPv6";
        }
    }
}

TEST(InternetChecksum, OddLengthSegmentEndsInAHighHalfWord) {
    // A 21-byte segment: the last byte 0x01 counts as 0x0100.
    tBytes seg = TCPSegment(1);
    ASSERT_EQ(seg.size(), 21u);
    seg[20] = 0x01;
    const auto p = V4Pseudo(6, seg.size());
    const uint16_t odd = TCPv4Checksum(p, BytesToBufferWords(seg));
    tBytes even = seg;
    even.push_back(0x00);
    EXPECT_EQ(TCPv4Checksum(p, BytesToBufferWords(even)), odd);
    tBytes swapped = seg;
    swapped[20] = 0x00;
    swapped.push_back(0x01);  // 0x0001 instead of 0x0100 must change the result
    EXPECT_NE(TCPv4Checksum(p, BytesToBufferWords(swapped)), odd);
}

TEST(InternetChecksum, UDPSumOfAllOnesGivesFFFFOverBothIPVersions) {
    {
        tBytes d = UDPDatagram(10);
        const auto p = V4Pseudo(17, d.size());
        ForceFoldedSumFFFF(V4PseudoBytes(p), d);
        EXPECT_EQ(UDPv4Checksum(p, BytesToBufferWords(d)), 0xFFFF);
    }
    {
        tBytes d = UDPDatagram(10);
        const auto p = V6Pseudo(d.size());
        ForceFoldedSumFFFF(V6PseudoBytes(p, 17), d);
        EXPECT_EQ(UDPv6Checksum(p, BytesToBufferWords(d)), 0xFFFF);
    }
}

TEST(InternetChecksum, ChecksumFieldOfEachHeaderIsSkipped) {
    tBytes seg = TCPSegment(5);
    const auto p4 = V4Pseudo(6, seg.size());
    const auto p6 = V6Pseudo(seg.size());
    const uint16_t tcp4 = TCPv4Checksum(p4, BytesToBufferWords(seg));
    const uint16_t tcp6 = TCPv6Checksum(p6, BytesToBufferWords(seg));
    Put16(seg, 16, 0xFFFF);
    EXPECT_EQ(TCPv4Checksum(p4, BytesToBufferWords(seg)), tcp4);
    EXPECT_EQ(TCPv6Checksum(p6, BytesToBufferWords(seg)), tcp6);
    // A change outside the checksum field changes the result.
    Put16(seg, 14, 0x0000);
    EXPECT_NE(TCPv4Checksum(p4, BytesToBufferWords(seg)), tcp4);

    tBytes d = UDPDatagram(5);
    const auto u4 = V4Pseudo(17, d.size());
    const uint16_t udp = UDPv4Checksum(u4, BytesToBufferWords(d));
    Put16(d, 6, 0x0101);
    EXPECT_EQ(UDPv4Checksum(u4, BytesToBufferWords(d)), udp);
}

TEST(InternetChecksum, ByteFormsEqualWordForms) {
    // Byte patterns that probe the odd last byte, the skipped checksum word at or past the
    // end, the eight-byte steps, the difference between a sum of 0 and one of 0xFFFF, and
    // long data.
    auto filled = [](size_t n, uint8_t v) { return tBytes(n, v); };
    auto counting = [](size_t n, uint8_t step) {
        tBytes b(n);
        for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(0x11 + i * step);
        return b;
    };
    auto zeroButAt = [](size_t n, size_t at, uint8_t v) {
        tBytes b(n, 0);
        if (at < n) b[at] = v;
        return b;
    };
    struct Case { const char* name; tBytes bytes; };
    const Case cases[] = {
        {"empty", {}},
        {"one byte", {0xA5}},
        {"two bytes", {0x12, 0x34}},
        {"three bytes", {0x12, 0x34, 0x56}},
        {"seven bytes", counting(7, 3)},
        {"eight bytes", counting(8, 5)},
        {"nine bytes", counting(9, 7)},
        {"fifteen bytes", counting(15, 11)},
        {"sixteen bytes", counting(16, 13)},
        {"seventeen bytes", counting(17, 17)},
        {"eighteen bytes", counting(18, 19)},
        {"nineteen bytes", counting(19, 23)},
        {"twenty bytes", counting(20, 29)},
        {"twenty-one bytes", counting(21, 31)},
        {"all zero, even", filled(40, 0x00)},
        {"all zero, odd", filled(41, 0x00)},
        {"all 0xFF, even", filled(64, 0xFF)},
        {"all 0xFF, odd", filled(63, 0xFF)},
        {"only the UDP checksum field set", zeroButAt(12, 6, 0xFF)},
        {"only the TCP checksum field set", zeroButAt(24, 17, 0x01)},
        {"only the ICMP checksum field set", zeroButAt(8, 2, 0x80)},
        {"only the IPv4 checksum field set", zeroButAt(20, 10, 0x7F)},
        {"only the last odd byte set", zeroButAt(33, 32, 0x01)},
        {"long, odd", counting(1501, 37)},
        {"long, even", counting(9000, 41)},
    };
    tIPv4PseudoHeader zero4;
    tIPv6PseudoHeader zero6;
    const tIPv4PseudoHeader pseudo4[] = {zero4, V4Pseudo(6, 1234)};
    const tIPv6PseudoHeader pseudo6[] = {zero6, V6Pseudo(1234)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const tBufferWords words = BytesToBufferWords(c.bytes);
        const tByteSpan bytes(c.bytes);
        for (int32_t length : {-2, 0, 1, 2, 11, 12, 19, 20, 21, 24, 60, 100000})
            EXPECT_EQ(IPv4HeaderChecksum(bytes, length), IPv4HeaderChecksum(words, length)) << length;
        for (const auto& p : pseudo4) {
            EXPECT_EQ(TCPv4Checksum(p, bytes), TCPv4Checksum(p, words));
            EXPECT_EQ(UDPv4Checksum(p, bytes), UDPv4Checksum(p, words));
        }
        for (const auto& p : pseudo6) {
            EXPECT_EQ(TCPv6Checksum(p, bytes), TCPv6Checksum(p, words));
            EXPECT_EQ(UDPv6Checksum(p, bytes), UDPv6Checksum(p, words));
            EXPECT_EQ(ICMPv6Checksum(p, bytes, bytes), ICMPv6Checksum(p, words, words));
        }
        EXPECT_EQ(ICMPv4Checksum(bytes, bytes), ICMPv4Checksum(words, words));
        EXPECT_EQ(ICMPv4Checksum(bytes, tByteSpan{}), ICMPv4Checksum(words, tWordSpan{}));
        EXPECT_EQ(ICMPv4Checksum(tByteSpan{}, bytes), ICMPv4Checksum(tWordSpan{}, words));
    }
}

TEST(InternetChecksum, ByteFormsAtAnyAlignment) {
    // Frame bytes start anywhere in memory: the result must not depend on where.
    tBytes storage(64 + 8);
    for (size_t i = 0; i < storage.size(); ++i) storage[i] = static_cast<uint8_t>(0xE1 ^ (i * 29));
    const auto p = V4Pseudo(6, 64);
    const uint16_t expected = TCPv4Checksum(p, BytesToBufferWords(tByteSpan(storage).subspan(0, 64)));
    for (size_t shift = 0; shift < 8; ++shift) {
        tBytes moved(storage.size(), 0);
        std::copy(storage.begin(), storage.begin() + 64, moved.begin() + static_cast<std::ptrdiff_t>(shift));
        EXPECT_EQ(TCPv4Checksum(p, tByteSpan(moved).subspan(shift, 64)), expected) << shift;
    }
}
