#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <string_view>

#include "platform/guid.h"
#include "platform/md5.h"

using namespace morwick;

namespace {

std::span<const uint8_t> AsBytes(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

struct tMD5Case {
    const char* text;
    const char* digest;  // lower case as published
};

// The test suite of RFC 1321, appendix A.5.
const tMD5Case RFC1321Cases[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

}  // namespace

TEST(MD5, OneShotMatchesPublishedVectors) {
    for (const auto& c : RFC1321Cases) {
        EXPECT_EQ(MD5Hex(AsBytes(c.text)), Upper(c.digest)) << '"' << c.text << '"';
        EXPECT_EQ(MD5DigestToHex(MD5Digest(AsBytes(c.text)), true), c.digest) << '"' << c.text << '"';
    }
}

TEST(MD5, IncrementalHashingInPiecesMatchesOneShot) {
    tMD5Hasher hasher;
    for (const auto& c : RFC1321Cases) {
        const std::string_view text = c.text;
        for (size_t piece : {size_t{1}, size_t{3}, size_t{64}}) {
            hasher.init();
            for (size_t at = 0; at < text.size(); at += piece) hasher.update(AsBytes(text.substr(at, piece)));
            EXPECT_EQ(hasher.finalHex(), Upper(c.digest)) << '"' << c.text << "\" in pieces of " << piece;
        }
    }
    // A fresh hasher is ready without init().
    tMD5Hasher fresh;
    fresh.update(AsBytes("abc"));
    EXPECT_EQ(fresh.finalHex(true), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(MD5, LargeInputAcrossManyUpdates) {
    std::string big(1'000'003, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + 7);
    tMD5Hasher hasher;
    for (size_t at = 0; at < big.size(); at += 65536) hasher.update(AsBytes(std::string_view(big).substr(at, 65536)));
    EXPECT_EQ(MD5DigestToHex(hasher.final()), MD5Hex(AsBytes(big)));
}

TEST(GUID, TextFormIsUpperCaseRegistryForm) {
    tGUID g;
    g.D1 = 0x0123abcd;
    g.D2 = 0x4e5f;
    g.D3 = 0x0a0b;
    g.D4 = {0xde, 0xad, 0xbe, 0xef, 0x00, 0x01, 0x02, 0xff};
    EXPECT_EQ(g.asString(), "{0123ABCD-4E5F-0A0B-DEAD-BEEF000102FF}");
    EXPECT_EQ(GUIDToString(NullGUID), "{00000000-0000-0000-0000-000000000000}");
    EXPECT_TRUE(NullGUID.isNull());
    EXPECT_FALSE(g.isNull());

    const auto back = StringToGUID("{0123abcd-4E5F-0a0b-DEAD-beef000102ff}");
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, g);
}

TEST(GUID, ParsingRejectsMalformedTexts) {
    for (const char* bad : {"", "{}", "0123ABCD-4E5F-0A0B-DEAD-BEEF000102FF", "{0123ABCD-4E5F-0A0B-DEAD-BEEF000102F}",
                            "{0123ABCD-4E5F-0A0B-DEAD-BEEF000102FFF}", "{0123ABCD+4E5F-0A0B-DEAD-BEEF000102FF}",
                            "{0123ABCD-4E5F-0A0B-DEAD-BEEF000102FG}", "(0123ABCD-4E5F-0A0B-DEAD-BEEF000102FF)",
                            "{0123ABCD4-E5F-0A0B-DEAD-BEEF000102FF}"})
        EXPECT_FALSE(StringToGUID(bad).has_value()) << bad;
}

TEST(GUID, LittleEndianByteLayout) {
    const uint8_t bytes[16] = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                               0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    const tGUID g = tGUID::FromBytesLE(std::span<const uint8_t, 16>(bytes));
    EXPECT_EQ(g.asString(), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
    const auto round = g.ToBytesLE();
    EXPECT_TRUE(std::equal(round.begin(), round.end(), std::begin(bytes)));
}

TEST(GUID, NewGUIDsAreRandomVersion4AndDistinct) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const tGUID g = NewGUID();
        EXPECT_EQ(g.D3 >> 12, 4) << g.asString();
        EXPECT_EQ(g.D4[0] >> 6, 2) << g.asString();
        const std::string text = g.asString();
        ASSERT_EQ(StringToGUID(text), g);
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 200u);
}
