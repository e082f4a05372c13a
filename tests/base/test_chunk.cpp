#include "base/chunk.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/errors.h"

using namespace morwick;

TEST(BufferWords, BytesBecomeNetworkOrderWords) {
    struct Case { std::vector<uint8_t> bytes; tBufferWords words; };
    const Case cases[] = {
        {{}, {}},
        {{0x45}, {0x4500}},
        {{0x45, 0x00}, {0x4500}},
        {{0x45, 0x00, 0x1C}, {0x4500, 0x1C00}},
        {{0xFF, 0xFE, 0x01, 0x02}, {0xFFFE, 0x0102}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BytesToBufferWords(c.bytes), c.words) << c.bytes.size() << " bytes";
        EXPECT_EQ(tFrameChunk(c.bytes).getAsBufferWords(), c.words) << c.bytes.size() << " bytes";
    }
}

TEST(BufferWords, RangeOfFrameBytesIsBoundsChecked) {
    const std::vector<uint8_t> frame = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    tBufferWords words = {0xDEAD, 0xBEEF, 0x1234, 0x5678};  // replaced, not appended to
    BytesToBufferWords(frame, 2, 3, words);
    EXPECT_EQ(words, (tBufferWords{0x2233, 0x4400}));
    BytesToBufferWords(frame, 7, 0, words);
    EXPECT_TRUE(words.empty());
    BytesToBufferWords(frame, 0, 7, words);
    EXPECT_EQ(words.size(), 4u);
    struct Bad { int64_t start, length; };
    for (const Bad& b : {Bad{-1, 2}, {0, 8}, {6, 2}, {8, 0}, {2, -1}, {INT64_MAX, 1}, {1, INT64_MAX}}) {
        EXPECT_THROW(BytesToBufferWords(frame, b.start, b.length, words), tAssertionError)
            << b.start << "," << b.length;
    }
}

TEST(FrameChunk, CopiesHaveSeparateEqualBuffers) {
    const uint8_t bytes[] = {1, 2, 3, 4, 5};
    tFrameChunk a(bytes, 5);
    tFrameChunk b;
    b.copyFrom(a);
    ASSERT_EQ(b.Len(), 5);
    EXPECT_NE(a.Data(), b.Data());
    EXPECT_TRUE(a == b);
    a.free();
    EXPECT_EQ(a.Len(), 0);
    EXPECT_EQ(a.Data(), nullptr);
    EXPECT_EQ(b.Len(), 5);
    EXPECT_EQ(b.getByte(4), 5);
    EXPECT_FALSE(a == b);

    // Copy construction copies the bytes too.
    tFrameChunk c = b;
    EXPECT_NE(c.Data(), b.Data());
    EXPECT_TRUE(c == b);
    // Re-filling an existing chunk replaces its bytes.
    c.copyFrom(bytes, 2);
    EXPECT_EQ(c.Len(), 2);
    c.copyFrom(bytes, 0);
    EXPECT_EQ(c.Len(), 0);
    EXPECT_EQ(c.Data(), nullptr);
    c.copyFrom(nullptr, 3);
    EXPECT_EQ(c.Len(), 0);
}

TEST(FrameChunk, EqualityIgnoresCutMarkers) {
    const uint8_t bytes[] = {9, 8, 7};
    tFrameChunk a(bytes, 3), b(bytes, 3), shorter(bytes, 2);
    a.cutmarkers().push_back(1);
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    EXPECT_TRUE(a != shorter);
    const uint8_t other[] = {9, 8, 6};
    EXPECT_FALSE(a == tFrameChunk(other, 3));
    a.initialize();
    EXPECT_EQ(a.Len(), 0);
    EXPECT_TRUE(a.cutmarkers().empty());
}

TEST(FrameChunk, TextConversionKeepsEveryByte) {
    tFrameChunk c;
    const std::string text("ab\0c\xff", 5);
    c.copyFrom(text);
    ASSERT_EQ(c.Len(), 5);
    EXPECT_EQ(c.getByte(2), 0);
    EXPECT_EQ(c.getByte(4), 0xFF);
    EXPECT_EQ(c.getAsANSIString(), text);
    c.copyFrom(std::string_view());
    EXPECT_EQ(c.Len(), 0);
    EXPECT_EQ(c.getAsANSIString(), "");
}

TEST(FrameChunk, ByteReadsOutsideTheChunkFail) {
    const uint8_t bytes[] = {1, 2};
    const tFrameChunk c(bytes, 2);
    EXPECT_EQ(c.getByte(0), 1);
    EXPECT_EQ(c.getByte(1), 2);
    for (int32_t bad : {-1, 2, 1000}) {
        try {
            c.getByte(bad);
            ADD_FAILURE() << "no error for offset " << bad;
        } catch (const tAssertionError& e) {
            EXPECT_STREQ(e.what(), "Invalid Offset (tFrameChunk.getByte)");
        }
    }
}
