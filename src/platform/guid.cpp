#include "platform/guid.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace morwick {

namespace {

void FillRandom(uint8_t* out, size_t len) {
    size_t got = 0;
    while (got < len) {
        const ssize_t n = getrandom(out + got, len - got, 0);
        if (n > 0) {
            got += static_cast<size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            break;
        }
    }
    if (got < len) {
        // Kernels without getrandom: fall back to the library's non-deterministic source.
        std::random_device rd;
        for (; got < len; ++got) out[got] = static_cast<uint8_t>(rd());
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string tGUID::asString() const { return GUIDToString(*this); }

tGUID tGUID::FromBytesLE(std::span<const uint8_t, 16> b) {
    tGUID g;
    g.D1 = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
    g.D2 = static_cast<uint16_t>(b[4] | b[5] << 8);
    g.D3 = static_cast<uint16_t>(b[6] | b[7] << 8);
    for (size_t i = 0; i < 8; ++i) g.D4[i] = b[8 + i];
    return g;
}

std::array<uint8_t, 16> tGUID::ToBytesLE() const {
    std::array<uint8_t, 16> b{};
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(D1 >> (8 * i));
    b[4] = static_cast<uint8_t>(D2);
    b[5] = static_cast<uint8_t>(D2 >> 8);
    b[6] = static_cast<uint8_t>(D3);
    b[7] = static_cast<uint8_t>(D3 >> 8);
    for (size_t i = 0; i < 8; ++i) b[8 + i] = D4[i];
    return b;
}

tGUID NewGUID() {
    std::array<uint8_t, 16> bytes{};
    FillRandom(bytes.data(), bytes.size());
    tGUID g = tGUID::FromBytesLE(bytes);
    g.D3 = static_cast<uint16_t>((g.D3 & 0x0FFF) | 0x4000);       // version 4
    g.D4[0] = static_cast<uint8_t>((g.D4[0] & 0x3F) | 0x80);      // RFC 4122 variant
    return g;
}

std::string GUIDToString(const tGUID& g) {
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.D1, g.D2, g.D3,
                  g.D4[0], g.D4[1], g.D4[2], g.D4[3], g.D4[4], g.D4[5], g.D4[6], g.D4[7]);
    return std::string(text, 38);
}

std::optional<tGUID> StringToGUID(std::string_view text) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
    const std::string_view body = text.substr(1, 36);
    uint8_t nibbles[32];
    size_t n = 0;
    for (size_t i = 0; i < body.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (body[i] != '-') return std::nullopt;
            continue;
        }
        const int v = HexValue(body[i]);
        if (v < 0) return std::nullopt;
        nibbles[n++] = static_cast<uint8_t>(v);
    }
    auto take = [&](size_t first, size_t count) {
        uint64_t v = 0;
        for (size_t i = 0; i < count; ++i) v = (v << 4) | nibbles[first + i];
        return v;
    };
    tGUID g;
    g.D1 = static_cast<uint32_t>(take(0, 8));
    g.D2 = static_cast<uint16_t>(take(8, 4));
    g.D3 = static_cast<uint16_t>(take(12, 4));
    for (size_t i = 0; i < 8; ++i) g.D4[i] = static_cast<uint8_t>(take(16 + 2 * i, 2));
    return g;
}

}  // namespace morwick
