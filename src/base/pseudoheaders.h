#pragma once
// Pseudo headers of the TCP, UDP and ICMPv6 checksums. Filled by the IPv4 and IPv6
// parsers, consumed by the Internet checksum routines.
#include <array>
#include <cstdint>
#include <string>

namespace morwick {

struct tIPv4PseudoHeader {
    uint32_t Source = 0;       // first octet in the most significant byte
    uint32_t Destination = 0;
    uint16_t Protocol = 0;
    uint16_t L4Length = 0;

    void initialize() { *this = tIPv4PseudoHeader{}; }
    uint16_t GetSourceHighWord() const { return static_cast<uint16_t>(Source >> 16); }
    uint16_t GetSourceLowWord() const { return static_cast<uint16_t>(Source & 0xFFFF); }
    uint16_t GetDestinationHighWord() const { return static_cast<uint16_t>(Destination >> 16); }
    uint16_t GetDestinationLowWord() const { return static_cast<uint16_t>(Destination & 0xFFFF); }
    // "source,destination,protocol,length" with the addresses in their text form.
    std::string getDebug() const;
};

struct tIPv6PseudoHeader {
    std::array<uint16_t, 8> Source{};       // word 0 first, first address byte high
    std::array<uint16_t, 8> Destination{};
    uint32_t L4Length = 0;
    uint8_t NextHeader = 0;

    void initialize() { *this = tIPv6PseudoHeader{}; }
    uint16_t GetLengthHighWord() const { return static_cast<uint16_t>(L4Length >> 16); }
    uint16_t getLengthLowWord() const { return static_cast<uint16_t>(L4Length & 0xFFFF); }
    uint16_t GetNextHeaderWord() const { return NextHeader; }
    // "source,destination,nextheader,length" with the addresses in their text form.
    std::string getDebug() const;
};

}  // namespace morwick
