#include "base/chunk.h"

#include "base/errors.h"

namespace morwick {

void BytesToBufferWords(std::span<const uint8_t> bytes, tBufferWords& out) {
    const size_t n = bytes.size();
    out.resize(n / 2 + (n & 1));
    for (size_t i = 0; i + 1 < n; i += 2)
        out[i / 2] = static_cast<uint16_t>(bytes[i] << 8 | bytes[i + 1]);
    if (n & 1) out.back() = static_cast<uint16_t>(bytes[n - 1] << 8);
}

tBufferWords BytesToBufferWords(std::span<const uint8_t> bytes) {
    tBufferWords words;
    BytesToBufferWords(bytes, words);
    return words;
}

void BytesToBufferWords(std::span<const uint8_t> bytes, int64_t Start, int64_t Length, tBufferWords& out) {
    if (Start < 0 || Length < 0 || static_cast<uint64_t>(Start) > bytes.size() ||
        static_cast<uint64_t>(Length) > bytes.size() - static_cast<uint64_t>(Start))
        throw tAssertionError("Invalid range (BytesToBufferWords)");
    BytesToBufferWords(bytes.subspan(static_cast<size_t>(Start), static_cast<size_t>(Length)), out);
}

void tFrameChunk::free() {
    priv_data.clear();
    priv_data.shrink_to_fit();
    priv_cutmarkers.clear();
}

void tFrameChunk::copyFrom(const tFrameChunk& Chunk) {
    if (&Chunk == this) return;
    priv_data.assign(Chunk.priv_data.begin(), Chunk.priv_data.end());
}

void tFrameChunk::copyFrom(const uint8_t* DataPointer, int32_t BufferLen) {
    if (BufferLen <= 0 || DataPointer == nullptr) {
        priv_data.clear();
        return;
    }
    priv_data.assign(DataPointer, DataPointer + BufferLen);
}

void tFrameChunk::copyFrom(std::string_view Value) {
    const auto* p = reinterpret_cast<const uint8_t*>(Value.data());
    priv_data.assign(p, p + Value.size());
}

uint8_t tFrameChunk::getByte(int32_t Offset) const {
    if (Offset < 0 || Offset >= Len()) throw tAssertionError("Invalid Offset (tFrameChunk.getByte)");
    return priv_data[static_cast<size_t>(Offset)];
}

std::string tFrameChunk::getAsANSIString() const {
    return std::string(reinterpret_cast<const char*>(priv_data.data()), priv_data.size());
}

}  // namespace morwick
