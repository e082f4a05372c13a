#pragma once
// Builds frames in code for parser tests: link layers, IP, transport and payload are
// appended in order; build() then fills in every length field and checksum from the
// innermost layer outwards, so tunnelled frames come out consistent too.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace morwick::test {

using tBytes = std::vector<uint8_t>;
using tMAC = std::array<uint8_t, 6>;
using tIPv6Bytes = std::array<uint8_t, 16>;

inline uint32_t TestCRC32(const uint8_t* data, size_t length) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// "10.0.0.1" style, only for well-formed literals of the tests.
inline uint32_t IPv4(std::string_view text) {
    uint32_t value = 0, part = 0;
    for (char c : text) {
        if (c == '.') {
            value = (value << 8) | part;
            part = 0;
        } else {
            part = part * 10 + static_cast<uint32_t>(c - '0');
        }
    }
    return (value << 8) | part;
}

// An IPv6 address whose first word is Prefix and last word is Host, zero between.
inline tIPv6Bytes IPv6(uint16_t Prefix, uint16_t Host) {
    tIPv6Bytes a{};
    a[0] = static_cast<uint8_t>(Prefix >> 8);
    a[1] = static_cast<uint8_t>(Prefix);
    a[14] = static_cast<uint8_t>(Host >> 8);
    a[15] = static_cast<uint8_t>(Host);
    return a;
}

class tFrameBuilder {
public:
    static constexpr tMAC kMacA{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    static constexpr tMAC kMacB{0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB};

    tFrameBuilder& ethernet(uint16_t EtherType, tMAC Dst = kMacB, tMAC Src = kMacA) {
        append(Dst.data(), 6);
        append(Src.data(), 6);
        be16(EtherType);
        return *this;
    }
    tFrameBuilder& vlan(uint16_t VLANID, uint16_t EtherType, uint8_t Priority = 0) {
        be16(static_cast<uint16_t>((Priority << 13) | (VLANID & 0x0FFF)));
        be16(EtherType);
        return *this;
    }
    tFrameBuilder& mpls(uint32_t Label, bool Bottom, uint8_t TTL = 64) {
        be32((Label << 12) | (Bottom ? 0x100u : 0u) | TTL);
        return *this;
    }
    tFrameBuilder& llc(uint8_t DSAP, uint8_t SSAP, uint8_t Control = 0x03) {
        return raw({DSAP, SSAP, Control});
    }
    tFrameBuilder& snap(uint16_t ProtocolType) {
        raw({0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00});
        be16(ProtocolType);
        return *this;
    }
    // Linux cooked header; a VLAN id above 0 inserts the 802.1Q tag after it.
    tFrameBuilder& linuxSLL(uint16_t PacketType, uint16_t Protocol, tMAC Address = kMacA,
                            int VLANID = -1) {
        be16(PacketType);
        be16(1);  // ARPHRD_ETHER
        be16(6);
        append(Address.data(), 6);
        raw({0, 0});
        if (VLANID >= 0) {
            be16(0x8100);
            be16(static_cast<uint16_t>(VLANID));
        }
        be16(Protocol);
        return *this;
    }
    tFrameBuilder& juniper(uint8_t Flags) { return raw({0x4D, 0x47, 0x43, Flags, 0x00, 0x00}); }
    // FabricPath header: two 6-byte identifiers, EtherType 0x8903, FTAG/TTL word.
    tFrameBuilder& fabricPath() {
        raw({0x02, 0x01, 0x23, 0x04, 0x05, 0x06, 0x00, 0x0A, 0xBC, 0x00, 0x00, 0x01});
        be16(0x8903);
        be16(0x0105);
        return *this;
    }
    tFrameBuilder& arp(uint16_t Operation, uint32_t SenderIP, uint32_t TargetIP) {
        be16(1);
        be16(0x0800);
        raw({6, 4});
        be16(Operation);
        append(kMacA.data(), 6);
        be32(SenderIP);
        append(kMacB.data(), 6);
        be32(TargetIP);
        return *this;
    }
    // IPv4 header; total length and checksum are filled in by build().
    tFrameBuilder& ipv4(uint32_t Src, uint32_t Dst, uint8_t Protocol, tBytes Options = {},
                        uint16_t FlagsAndOffset = 0x4000, uint16_t Identification = 0x1234) {
        open(kIPv4);
        const auto ihl = static_cast<uint8_t>(5 + (Options.size() + 3) / 4);
        raw({static_cast<uint8_t>(0x40 | ihl), 0x00, 0x00, 0x00});
        be16(Identification);
        be16(FlagsAndOffset);
        raw({64, Protocol, 0x00, 0x00});
        be32(Src);
        be32(Dst);
        Options.resize(static_cast<size_t>(ihl - 5) * 4, 0);
        append(Options.data(), Options.size());
        return *this;
    }
    tFrameBuilder& ipv6(const tIPv6Bytes& Src, const tIPv6Bytes& Dst, uint8_t NextHeader) {
        open(kIPv6);
        raw({0x60, 0x00, 0x00, 0x00, 0x00, 0x00, NextHeader, 64});
        append(Src.data(), 16);
        append(Dst.data(), 16);
        return *this;
    }
    tFrameBuilder& ipv6Fragment(uint8_t NextHeader, uint16_t Offset, bool More,
                                uint32_t Identification = 0xABCD) {
        raw({NextHeader, 0});
        be16(static_cast<uint16_t>((Offset & 0xFFF8) | (More ? 1 : 0)));
        be32(Identification);
        return *this;
    }
    tFrameBuilder& tcp(uint16_t SrcPort, uint16_t DstPort, uint8_t Flags = 0x18,
                       uint32_t Seq = 1000, uint32_t Ack = 2000, tBytes Options = {}) {
        open(kTCP);
        be16(SrcPort);
        be16(DstPort);
        be32(Seq);
        be32(Ack);
        Options.resize((Options.size() + 3) / 4 * 4, 0);
        const auto offset = static_cast<uint8_t>(5 + Options.size() / 4);
        raw({static_cast<uint8_t>(offset << 4), Flags, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00});
        append(Options.data(), Options.size());
        return *this;
    }
    tFrameBuilder& udp(uint16_t SrcPort, uint16_t DstPort) {
        open(kUDP);
        be16(SrcPort);
        be16(DstPort);
        raw({0, 0, 0, 0});
        return *this;
    }
    tFrameBuilder& payload(size_t Count, uint8_t First = 0x41) {
        for (size_t i = 0; i < Count; ++i) priv_bytes.push_back(static_cast<uint8_t>(First + i));
        return *this;
    }
    tFrameBuilder& raw(std::initializer_list<uint8_t> Bytes) {
        priv_bytes.insert(priv_bytes.end(), Bytes.begin(), Bytes.end());
        return *this;
    }
    tFrameBuilder& be16(uint16_t v) { return raw({uint8_t(v >> 8), uint8_t(v)}); }
    tFrameBuilder& be32(uint32_t v) {
        return raw({uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    }
    // Makes the checksum of the most recently opened IP/TCP/UDP layer wrong.
    tFrameBuilder& corruptChecksum() {
        if (!priv_layers.empty()) priv_layers.back().corrupt = true;
        return *this;
    }

    // Fills lengths and checksums; the content ends at the current end.
    tBytes build() const {
        tBytes b = priv_bytes;
        const size_t end = b.size();
        for (size_t i = priv_layers.size(); i-- > 0;) {
            const tLayer& l = priv_layers[i];
            const tLayer* ip = nullptr;
            for (size_t k = i; k-- > 0;)
                if (priv_layers[k].kind != kTCP && priv_layers[k].kind != kUDP) {
                    ip = &priv_layers[k];
                    break;
                }
            const size_t len = end - l.start;
            switch (l.kind) {
                case kIPv4: {
                    put16(b, l.start + 2, static_cast<uint16_t>(len));
                    const size_t ihl = static_cast<size_t>(b[l.start] & 0x0F) * 4;
                    put16(b, l.start + 10, 0);
                    uint32_t sum = 0;
                    for (size_t k = 0; k < ihl; k += 2) sum += get16(b, l.start + k);
                    put16(b, l.start + 10, finish(sum, l.corrupt, false));
                    break;
                }
                case kIPv6: put16(b, l.start + 4, static_cast<uint16_t>(len - 40)); break;
                case kTCP:
                case kUDP: {
                    const size_t field = l.start + (l.kind == kTCP ? 16 : 6);
                    if (l.kind == kUDP) put16(b, l.start + 4, static_cast<uint16_t>(len));
                    put16(b, field, 0);
                    uint32_t sum = 0;
                    const uint32_t proto = l.kind == kTCP ? 6 : 17;
                    if (ip && ip->kind == kIPv4) {
                        for (size_t k = 12; k < 20; k += 2) sum += get16(b, ip->start + k);
                    } else if (ip) {
                        for (size_t k = 8; k < 40; k += 2) sum += get16(b, ip->start + k);
                    }
                    sum += proto + static_cast<uint32_t>(len);
                    for (size_t k = 0; k < len; k += 2)
                        sum += static_cast<uint32_t>(b[l.start + k] << 8) |
                               (k + 1 < len ? b[l.start + k + 1] : 0);
                    put16(b, field, finish(sum, l.corrupt, l.kind == kUDP && ip && ip->kind == kIPv4));
                    break;
                }
            }
        }
        return b;
    }
    // Built frame, zero-padded to at least MinLength bytes.
    tBytes buildPadded(size_t MinLength = 60) const {
        tBytes b = build();
        if (b.size() < MinLength) b.resize(MinLength, 0);
        return b;
    }
    // Appends the Ethernet frame check sequence (CRC-32, sent low byte first).
    static tBytes withFCS(tBytes b, bool Correct = true) {
        uint32_t crc = TestCRC32(b.data(), b.size());
        if (!Correct) crc ^= 0x01010101u;
        for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(crc >> (8 * k)));
        return b;
    }

private:
    enum tKind { kIPv4, kIPv6, kTCP, kUDP };
    struct tLayer {
        tKind kind;
        size_t start;
        bool corrupt;
    };

    void open(tKind Kind) { priv_layers.push_back({Kind, priv_bytes.size(), false}); }
    void append(const uint8_t* p, size_t n) { priv_bytes.insert(priv_bytes.end(), p, p + n); }
    static void put16(tBytes& b, size_t at, uint16_t v) {
        b[at] = static_cast<uint8_t>(v >> 8);
        b[at + 1] = static_cast<uint8_t>(v);
    }
    static uint16_t get16(const tBytes& b, size_t at) {
        return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
    }
    static uint16_t finish(uint32_t sum, bool corrupt, bool zeroAsFFFF) {
        while (sum > 0xFFFF) sum = (sum >> 16) + (sum & 0xFFFF);
        auto v = static_cast<uint16_t>(~sum & 0xFFFF);
        if (v == 0 && zeroAsFFFF) v = 0xFFFF;  // a zero UDP/IPv4 checksum means "none"
        return corrupt ? static_cast<uint16_t>(v ^ 0x5A5A) : v;
    }

    tBytes priv_bytes;
    std::vector<tLayer> priv_layers;
};

}  // namespace morwick::test
