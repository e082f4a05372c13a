#pragma once
// Byte fixtures written as text: "00 11 aa" -> bytes, and concatenation of parts.
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace morwick::test {

using tBytes = std::vector<uint8_t>;

// Hexadecimal digit pairs; everything that is not a hex digit is ignored.
inline tBytes Hex(std::string_view text) {
    tBytes out;
    int nibble = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else continue;
        if (nibble < 0) {
            nibble = v;
        } else {
            out.push_back(static_cast<uint8_t>(nibble * 16 + v));
            nibble = -1;
        }
    }
    return out;
}

inline tBytes Cat(tBytes a, const tBytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline tBytes Cat(std::initializer_list<tBytes> parts) {
    tBytes out;
    for (const tBytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace morwick::test
