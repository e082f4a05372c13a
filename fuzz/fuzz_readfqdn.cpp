// Fuzz target: reading a domain name from arbitrary bytes.
// Input: section start (int16, little-endian), section length (int32), name offset
// (int16), then the bytes the name is read from. Negative and oversized values are
// deliberate: the reader must refuse them, not read outside the bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "parser/frameparser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    using namespace morwick;
    constexpr size_t kHeader = 8;
    if (Size < kHeader) return 0;
    int16_t sectionStart;
    int32_t sectionLength;
    int16_t nameOffset;
    std::memcpy(&sectionStart, Data, 2);
    std::memcpy(&sectionLength, Data + 2, 4);
    std::memcpy(&nameOffset, Data + 6, 2);

    // An exact-size copy, so that a read one byte past the end is caught.
    const size_t n = Size - kHeader;
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[n == 0 ? 1 : n]);
    if (n > 0) std::memcpy(bytes.get(), Data + kHeader, n);
    const std::span<const uint8_t> view(bytes.get(), n);

    const tFQDNResult r = readFQDN(view, sectionLength, sectionStart, nameOffset);
    volatile size_t sink = r.Name.FullFQDN.size() + static_cast<size_t>(r.OffsetIncrement);
    // The bytes a name occupies where reading started lie inside the data.
    if (r.ParseResult == prSuccess && (nameOffset < 0 || static_cast<size_t>(nameOffset) +
                                                              static_cast<size_t>(r.OffsetIncrement) > n))
        __builtin_trap();
    (void)sink;
    return 0;
}
