#pragma once
// An owned piece of frame bytes, and the network-order 16-bit words that the Internet
// checksums are computed over.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morwick {

// Bytes as 16-bit words in network order (first byte high); an odd last byte forms a
// word with a zero low half.
using tBufferWords = std::vector<uint16_t>;

// Converts bytes to words, replacing the contents of out (its capacity is reused).
void BytesToBufferWords(std::span<const uint8_t> bytes, tBufferWords& out);
tBufferWords BytesToBufferWords(std::span<const uint8_t> bytes);
// The words of Length bytes from Start of a frame's bytes. A range that does not lie
// inside the bytes raises tAssertionError "Invalid range (BytesToBufferWords)".
void BytesToBufferWords(std::span<const uint8_t> bytes, int64_t Start, int64_t Length, tBufferWords& out);

// An owned byte buffer. Copying copies the bytes; moving hands the buffer over.
class tFrameChunk {
public:
    tFrameChunk() = default;
    tFrameChunk(const uint8_t* DataPointer, int32_t BufferLen) { copyFrom(DataPointer, BufferLen); }
    explicit tFrameChunk(std::span<const uint8_t> bytes) { copyFrom(bytes.data(), static_cast<int32_t>(bytes.size())); }

    // Empties the chunk (no bytes, no cut markers).
    void initialize() { free(); }
    void free();

    void copyFrom(const tFrameChunk& Chunk);
    // A negative BufferLen or a null pointer with a positive length gives an empty chunk.
    void copyFrom(const uint8_t* DataPointer, int32_t BufferLen);
    // The bytes of an 8-bit text.
    void copyFrom(std::string_view Value);

    int32_t Len() const { return static_cast<int32_t>(priv_data.size()); }
    // Null when the chunk is empty.
    const uint8_t* Data() const { return priv_data.empty() ? nullptr : priv_data.data(); }
    std::span<const uint8_t> Bytes() const { return priv_data; }
    // Raises tAssertionError "Invalid Offset (tFrameChunk.getByte)" outside 0..Len-1.
    uint8_t getByte(int32_t Offset) const;

    // The bytes as 8-bit text, one character per byte (zero bytes included).
    std::string getAsANSIString() const;
    tBufferWords getAsBufferWords() const { return BytesToBufferWords(priv_data); }

    // Cut positions inside the chunk; nothing in the scan adds any.
    std::vector<int32_t>& cutmarkers() { return priv_cutmarkers; }
    const std::vector<int32_t>& cutmarkers() const { return priv_cutmarkers; }

    // Same length and bytes; cut markers take no part.
    bool operator==(const tFrameChunk& o) const { return priv_data == o.priv_data; }

private:
    std::vector<uint8_t> priv_data;
    std::vector<int32_t> priv_cutmarkers;
};

}  // namespace morwick
