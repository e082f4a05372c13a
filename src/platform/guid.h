#pragma once
// Globally unique identifiers in the Windows layout (one 32-bit, two 16-bit fields and
// eight bytes) with their registry text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace morwick {

struct tGUID {
    uint32_t D1 = 0;
    uint16_t D2 = 0;
    uint16_t D3 = 0;
    std::array<uint8_t, 8> D4{};

    constexpr bool operator==(const tGUID&) const = default;

    bool isNull() const { return *this == tGUID{}; }
    // Upper-case registry form with braces, 38 characters.
    std::string asString() const;
    // The 16 bytes as a GUID is laid out in memory on a little-endian machine (pcapng
    // section GUIDs): D1, D2 and D3 little-endian, then D4.
    static tGUID FromBytesLE(std::span<const uint8_t, 16> bytes);
    std::array<uint8_t, 16> ToBytesLE() const;
};

inline constexpr tGUID NullGUID{};

// A new random GUID (version 4, RFC 4122 variant) from the system's random source.
tGUID NewGUID();
// The upper-case registry form.
std::string GUIDToString(const tGUID& guid);
// Reads the registry form back: braces required, hexadecimal digits of either case.
std::optional<tGUID> StringToGUID(std::string_view text);

}  // namespace morwick
