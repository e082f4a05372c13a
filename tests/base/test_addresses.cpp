#include "base/addresses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <unordered_set>

#include "base/errors.h"
#include "base/pseudoheaders.h"

using namespace morwick;

namespace {

using Words = std::array<uint16_t, 8>;

tIPv6Address V6(std::string_view text, uint8_t prefix = 64) {
    tIPv6Address a;
    a.setValueFromString(text, prefix);
    return a;
}

tIPv4Address V4(std::string_view text, uint8_t mask = 32) {
    tIPv4Address a;
    a.setValueFromString(text, mask);
    return a;
}

tMACAddress Mac(std::string_view text) {
    tMACAddress m;
    m.setfromString(text, ":");
    return m;
}

tIPv4Socket S4(std::string_view addr, uint16_t port, uint16_t vlan = 0) {
    tIPv4Socket s;
    s.initialize(V4(addr), port, vlan);
    return s;
}

tIPv6Socket S6(std::string_view addr, uint16_t port, uint16_t vlan = 0) {
    tIPv6Socket s;
    s.initialize(V6(addr), port, vlan);
    return s;
}

template <typename F>
std::string ErrorText(F&& f) {
    try {
        f();
    } catch (const tAssertionError& e) {
        return e.what();
    }
    return "<no error>";
}

}  // namespace

// ---------------------------------------------------------------------------------------
// IPv6 texts

TEST(IPv6Address, CompressedAndExpandedForms) {
    struct Case { Words words; const char* compressed; const char* expanded; };
    const Case cases[] = {
        {{0x2001, 0x0db8, 0, 0, 0, 0, 0, 1}, "2001:db8::1", "2001:db8:0:0:0:0:0:1"},
        // A trailing run never replaces an earlier run of two or more words.
        {{1, 0, 0, 1, 0, 0, 0, 0}, "1::1:0:0:0:0", "1:0:0:1:0:0:0:0"},
        {{1, 2, 3, 4, 5, 0, 0, 0}, "1:2:3:4:5::", "1:2:3:4:5:0:0:0"},
        {{1, 0, 0, 0, 0, 0, 0, 0}, "1::", "1:0:0:0:0:0:0:0"},
        {{0, 0, 0, 0, 0, 0, 0, 1}, "::1", "0:0:0:0:0:0:0:1"},
        {{0, 0, 0, 0, 0, 0, 0, 0}, "::", "0:0:0:0:0:0:0:0"},
        // A single zero word is never compressed, also not at the end.
        {{1, 0, 2, 3, 4, 5, 6, 7}, "1:0:2:3:4:5:6:7", "1:0:2:3:4:5:6:7"},
        {{1, 2, 3, 4, 5, 6, 7, 0}, "1:2:3:4:5:6:7:0", "1:2:3:4:5:6:7:0"},
        // The longest inner run wins; of equal runs the first.
        {{0, 0, 1, 0, 0, 0, 1, 1}, "0:0:1::1:1", "0:0:1:0:0:0:1:1"},
        {{1, 0, 0, 2, 0, 0, 3, 4}, "1::2:0:0:3:4", "1:0:0:2:0:0:3:4"},
        {{0, 0, 1, 2, 3, 4, 0, 0}, "::1:2:3:4:0:0", "0:0:1:2:3:4:0:0"},
        {{0xFE80, 0, 0, 0, 0x0ABC, 0xDEF0, 0x00F0, 0x000F}, "fe80::abc:def0:f0:f", "fe80:0:0:0:abc:def0:f0:f"},
        {{0, 0, 0, 0, 0, 0xFFFF, 0x0102, 0x0304}, "::ffff:102:304", "0:0:0:0:0:ffff:102:304"},
    };
    for (const auto& c : cases) {
        tIPv6Address a;
        a.initialize(c.words, 48);
        EXPECT_EQ(a.ValueAsString(), c.compressed);
        EXPECT_EQ(a.getExpandedValue(), c.expanded);
        EXPECT_EQ(a.DictionaryKey(), c.expanded);
        EXPECT_EQ(a.ValueAsSlashedNotationString(), std::string(c.compressed) + "/48");
        // Both forms read back to the same words.
        EXPECT_EQ(V6(c.compressed).ValueAsWordStruct, c.words) << c.compressed;
        EXPECT_EQ(V6(c.expanded).ValueAsWordStruct, c.words) << c.expanded;
    }
}

TEST(IPv6Address, ParsesValidTexts) {
    struct Case { const char* text; Words words; };
    const Case cases[] = {
        {"2001:0db8:0000:0000:0000:0000:0000:0001", {0x2001, 0x0db8, 0, 0, 0, 0, 0, 1}},
        {"2001:DB8::Ab", {0x2001, 0x0db8, 0, 0, 0, 0, 0, 0xab}},
        {"1::3:4:5:6:7:8", {1, 0, 3, 4, 5, 6, 7, 8}},
        {"::ffff:1.2.3.4", {0, 0, 0, 0, 0, 0xffff, 0x0102, 0x0304}},
        {"::1.2.3.4", {0, 0, 0, 0, 0, 0, 0x0102, 0x0304}},
        {"1::192.168.0.1", {1, 0, 0, 0, 0, 0, 0xc0a8, 0x0001}},
        {"1:2:3:4:5:6:10.0.0.255", {1, 2, 3, 4, 5, 6, 0x0a00, 0x00ff}},
        {"1:2:3:4:5:6::1.2.3.4", {1, 2, 3, 4, 5, 6, 0x0102, 0x0304}},
    };
    for (const auto& c : cases) {
        const tIPv6Address a = V6(c.text, 56);
        EXPECT_EQ(a.ValueAsWordStruct, c.words) << c.text;
        EXPECT_EQ(a.MaskBitCount, 56) << c.text;
        EXPECT_TRUE(tIPv6Address::IsValidText(c.text)) << c.text;
    }
}

TEST(IPv6Address, RejectsInvalidTextsWithMessage) {
    const char* invalid[] = {
        "", ":", "1", "1:2:3:4:5:6:7", "1:2:3:4:5:6:7:8:9", ":1::2", "1::2:", "1:::2", "1::2::3",
        "12345::1", "g::1", "1::2/64", "1.2.3.4", "1.2::3", ".::1", "::1.", "::1.2.3", "::1.2.3.256",
        "::01.2.3.4", "1:2:3:4:5:6:7::", "::2:3:4:5:6:7:8", "1:2:3:4:5:6:7:1.2.3.4",
        // Five words and an IPv4 part are one word short without "::".
        "1:2:3:4:5:1.2.3.4", "fe80::1%eth0", " ::1",
    };
    for (const char* text : invalid) {
        EXPECT_FALSE(tIPv6Address::IsValidText(text)) << text;
        tIPv6Address a;
        EXPECT_EQ(ErrorText([&] { a.setValueFromString(text, 64); }),
                  std::string("Error: Invalid IPv6 address format detected: ") + text);
    }
}

TEST(IPv6Address, SlashedNotation) {
    tIPv6Address a;
    a.setValueFromStringWithMask("2001:db8::/48");
    EXPECT_EQ(a.ValueAsSlashedNotationString(), "2001:db8::/48");
    EXPECT_EQ(a.MaskBitCount, 48);
    EXPECT_EQ(ErrorText([&] { a.setValueFromStringWithMask("2001:db8::"); }),
              "Error: Invalid IPv6 address slashed notation format detected.");
    EXPECT_EQ(ErrorText([&] { a.setValueFromStringWithMask("2001:db8:::/48"); }),
              "Error: Invalid IPv6 address format detected: 2001:db8:::");
}

TEST(IPv6Address, ByteStructRoundTrip) {
    const std::array<uint8_t, 16> bytes = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0xfe, 0xdc, 0x00, 0x01};
    tIPv6Address a;
    a.SetValueFromByteStruct(bytes);
    EXPECT_EQ(a.ValueAsString(), "2001:db8::fedc:1");
    EXPECT_EQ(a.ValueAsByteStruct(), bytes);
    tIPAddress ip;
    ip.initialize(std::span<const uint8_t, 16>(bytes));
    EXPECT_EQ(ip.IPVersion, 6);
    EXPECT_EQ(ip.IPv6Address, a);
}

TEST(IPv6Address, PrefixInformation) {
    struct Case { const char* text; uint8_t prefix; int hostBits; bool prefixInfo; };
    const Case cases[] = {
        {"2001:db8:1:2:ffff::", 48, 48, true},
        {"2001:db8:1:2:3:4:5:8000", 15, 15, true},
        {"2001:db8:1:2:3:4:5:fffe", 1, 1, true},
        {"2001:db8:1:2:3:4:5:c000", 15, 14, false},
        {"2001:db8::", 32, 96, false},           // zero words keep counting
        {"2001:db8:1:2:3:4:5:1", 0, 0, true},    // a word that is not ones-then-zeros adds nothing
        {"::", 64, 128, false},
        {"2001:db8:1:2:3:c000::", 46, 46, true},
        {"2001:db8:1:8000::", 79, 79, false},  // beyond 64
    };
    for (const auto& c : cases) {
        const tIPv6Address a = V6(c.text, c.prefix);
        EXPECT_EQ(a.getEmptyHostBitCount(), c.hostBits) << c.text;
        EXPECT_EQ(a.IsPrefixInformation(), c.prefixInfo) << c.text;
    }
}

TEST(IPv6Address, EqualityAndOrder) {
    const tIPv6Address a = V6("1::2", 64);
    const tIPv6Address b = V6("1::3", 64);
    const tIPv6Address a48 = V6("1::2", 48);
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_TRUE(b > a);
    EXPECT_TRUE(a <= b);
    EXPECT_FALSE(a >= b);
    // Same words, different prefix: not equal, not less, and each greater than the other.
    EXPECT_FALSE(a == a48);
    EXPECT_TRUE(a != a48);
    EXPECT_FALSE(a < a48);
    EXPECT_TRUE(a > a48);
    EXPECT_TRUE(a48 > a);
    EXPECT_TRUE(a >= a48);
    EXPECT_FALSE(a <= a48);
    EXPECT_TRUE(a <= a && a >= a && !(a < a) && !(a > a));
    EXPECT_TRUE(V6("::", 0).isUndefined());
    EXPECT_FALSE(V6("::1").isUndefined());
}

// ---------------------------------------------------------------------------------------
// IPv4

TEST(IPv4Address, ParsingAndValidity) {
    struct Case { const char* text; bool valid; uint32_t value; };
    const Case cases[] = {
        {"1.2.3.4", true, 0x01020304},
        {"0.0.0.0", true, 0},
        {"255.255.255.255", true, 0xFFFFFFFF},
        {"10.0.100.9", true, 0x0A006409},
        {"1..2.3.4", true, 0x01020304},  // empty pieces between dots are skipped
        {"192.168.001.1", false, 0},
        {"1.2.3.256", false, 0},
        {"1.2.3", false, 0},
        {"1.2.3.4.5", false, 0},
        {"", false, 0},
        {"a.b.c.d", false, 0},
        {" 1.2.3.4", false, 0},
        {"1.2.3.-4", false, 0},
        {"1.2.3.4:80", false, 0},
        {"1.2.3.1000", false, 0},
        {"00.1.2.3", false, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tIPv4Address::IsValidText(c.text), c.valid) << c.text;
        tIPv4Address a;
        if (c.valid) {
            a.setValueFromString(c.text, 20);
            EXPECT_EQ(a.ValueAsLong, c.value) << c.text;
            EXPECT_EQ(a.MaskBitCount, 20);
        } else {
            EXPECT_EQ(ErrorText([&] { a.setValueFromString(c.text, 32); }),
                      std::string("Invalid IPv4 string: \"") + c.text + "\" (tIPv4Address.setValueFromString)");
        }
    }
}

TEST(IPv4Address, TextsAndCIDR) {
    tIPv4Address a;
    a.setValueFromCIDRString("10.1.0.0/16");
    EXPECT_EQ(a.ValueAsString(), "10.1.0.0");
    EXPECT_EQ(a.DictionaryKey(), "10.1.0.0");
    EXPECT_EQ(a.MaskBitCount, 16);
    EXPECT_EQ(a.ValueAsCIDRString(), "10.1.0.0/16");
    EXPECT_EQ(ErrorText([&] { a.setValueFromCIDRString("10.1.0.0"); }),
              "Error: Invalid IPv4 address CIDR format detected.");
    EXPECT_EQ(ErrorText([&] { a.setValueFromCIDRString("10.1.0/16"); }),
              "Invalid IPv4 string: \"10.1.0\" (tIPv4Address.setValueFromString)");
    a.initialize(0xC0A80001);
    EXPECT_EQ(a.ValueAsCIDRString(), "192.168.0.1/32");
}

TEST(IPv4Address, MasksMulticastBroadcast) {
    struct MaskCase { uint8_t bits; uint32_t mask; };
    for (auto c : {MaskCase{0, 0}, {1, 0x80000000}, {8, 0xFF000000}, {24, 0xFFFFFF00}, {31, 0xFFFFFFFE}, {32, 0xFFFFFFFF}}) {
        tIPv4Address a;
        a.initialize(0x0A0B0C0D, c.bits);
        EXPECT_EQ(a.MaskAsLong(), c.mask) << int(c.bits);
        tIPv4Address b;
        b.setMaskFromLong(c.mask);
        EXPECT_EQ(b.MaskBitCount, c.bits);
    }
    const tIPv4Address net = V4("10.11.12.13", 20).LowestNetIP();
    EXPECT_EQ(net.ValueAsString(), "10.11.0.0");
    EXPECT_EQ(net.MaskBitCount, 32);

    EXPECT_FALSE(V4("223.255.255.255").IsMulticast());
    EXPECT_TRUE(V4("224.0.0.0").IsMulticast());
    EXPECT_TRUE(V4("239.255.255.255").IsMulticast());
    EXPECT_FALSE(V4("240.0.0.0").IsMulticast());

    EXPECT_TRUE(V4("255.255.255.255").IsBroadcast());
    EXPECT_FALSE(V4("10.0.0.255").IsBroadcast());
    EXPECT_TRUE(V4("10.0.0.255", 24).IsBroadcast());
    EXPECT_FALSE(V4("10.0.0.254", 24).IsBroadcast());
    EXPECT_TRUE(V4("10.0.255.255", 16).IsBroadcast());

    EXPECT_TRUE(tIPv4Address{}.isUndefined());
    EXPECT_FALSE(V4("0.0.0.0", 24).isUndefined());
    EXPECT_TRUE(V4("0.0.0.0", 24).isZeroAddress());
}

TEST(IPv4Address, OrderComparesMaskOnlyForStrictRelations) {
    const tIPv4Address a24 = V4("10.0.0.1", 24);
    const tIPv4Address a32 = V4("10.0.0.1", 32);
    EXPECT_TRUE(a24 < a32);
    EXPECT_TRUE(a24 >= a32);  // greater-or-equal looks at the value only
    EXPECT_TRUE(a32 <= a24);
    EXPECT_TRUE(a32 > a24);
    EXPECT_FALSE(a24 == a32);
    EXPECT_TRUE(V4("10.0.0.1") < V4("10.0.0.2"));
    EXPECT_TRUE(V4("128.0.0.0") > V4("127.255.255.255"));  // unsigned comparison
}

// ---------------------------------------------------------------------------------------
// MAC

TEST(MACAddress, TextForms) {
    tMACAddress m;
    m.RangeBytes = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    EXPECT_EQ(m.asString(":", false), "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(m.asString("-", true), "00-1a-2b-3c-4d-5e");
    EXPECT_EQ(m.asString("", false), "001A2B3C4D5E");
    EXPECT_EQ(m.DictionaryKey(), "00:1A:2B:3C:4D:5E");
}

TEST(MACAddress, Parsing) {
    struct Case { const char* text; const char* sep; const char* expect; };
    const Case cases[] = {
        {"00:1a:2B:3c:4D:5e", ":", "00:1A:2B:3C:4D:5E"},
        {"00-1a-2b-3c-4d-5e", "-", "00:1A:2B:3C:4D:5E"},
        {"1:2:3:4:5:6", ":", "01:02:03:04:05:06"},
        {"001A2B3C4D5E", ":", "00:1A:2B:3C:4D:5E"},  // separator absent: twelve digits
        {"001A2B3C4D5E", "", "00:1A:2B:3C:4D:5E"},
        {"1ff:2:3:4:5:6", ":", "FF:02:03:04:05:06"},  // low eight bits
        {"aa:bb", ":", "AA:BB:00:00:00:00"},            // missing fields stay zero
        {"aa:zz:1q:4:5:6", ":", "AA:00:01:04:05:06"},   // reading stops at a non-digit
        {"AABBCC", ":", "AA:BB:CC:00:00:00"},
    };
    for (const auto& c : cases) {
        tMACAddress m;
        m.RangeBytes.fill(0x77);
        m.setfromString(c.text, c.sep);
        EXPECT_EQ(m.DictionaryKey(), c.expect) << c.text;
    }
}

TEST(MACAddressPair, TextIsLowerCaseAndKeyIsNormalised) {
    tMACAddressPair p;
    p.initialize("AA-BB-CC-DD-EE-FF=00:11:22:33:44:55");
    EXPECT_EQ(p.Source.DictionaryKey(), "AA:BB:CC:DD:EE:FF");
    EXPECT_EQ(p.Destination.DictionaryKey(), "00:11:22:33:44:55");
    EXPECT_EQ(p.VLANID, 0);
    EXPECT_EQ(p.asString(":", false), "aa:bb:cc:dd:ee:ff-00:11:22:33:44:55");
    EXPECT_EQ(p.DictionaryKey(), "00:11:22:33:44:55-aa:bb:cc:dd:ee:ff");
    p.VLANID = 7;
    EXPECT_EQ(p.DictionaryKey(), "00:11:22:33:44:55-aa:bb:cc:dd:ee:ff");  // no VLAN id in keys
    p.normalize();
    EXPECT_EQ(p.Source.DictionaryKey(), "00:11:22:33:44:55");
    EXPECT_EQ(p.VLANID, 7);
}

TEST(MACAddressPair, EqualityAndOrder) {
    tMACAddressPair a, b;
    a.initialize(Mac("00:00:00:00:00:01"), Mac("00:00:00:00:00:02"), 5);
    b.initialize(Mac("00:00:00:00:00:02"), Mac("00:00:00:00:00:01"), 5);
    EXPECT_TRUE(a == b);  // direction does not matter
    b.VLANID = 6;
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(a < b);  // VLAN id first
    b.VLANID = 5;
    EXPECT_TRUE(a < b);  // then sources
    EXPECT_TRUE(Mac("80:00:00:00:00:00") > Mac("7F:FF:FF:FF:FF:FF"));
}

// ---------------------------------------------------------------------------------------
// Pairs, sockets and normalisation

TEST(AddressPairs, TextFormsAndParsing) {
    tIPv4AddressPair p4;
    p4.initialize("10.0.0.2=10.0.0.1", false);
    EXPECT_EQ(p4.ValueAsString(true), "10.0.0.2-10.0.0.1");
    EXPECT_EQ(p4.ValueAsString(false), "10.0.0.2 - 10.0.0.1");
    EXPECT_EQ(p4.DictionaryKey(), "10.0.0.1-10.0.0.2");
    p4.initialize("10.0.0.0/8=192.168.1.0/24", true);
    EXPECT_EQ(p4.Source.MaskBitCount, 8);
    EXPECT_EQ(p4.Destination.ValueAsCIDRString(), "192.168.1.0/24");
    EXPECT_EQ(ErrorText([&] { p4.initialize("10.0.0.1", false); }),
              "Invalid IPv4 string: \"\" (tIPv4Address.setValueFromString)");

    tIPv6AddressPair p6;
    p6.initialize("2001:db8::2=2001:db8::1", false);
    EXPECT_EQ(p6.Source.MaskBitCount, 64);
    EXPECT_EQ(p6.ValueAsString(true), "2001:db8::2-2001:db8::1");
    EXPECT_EQ(p6.ValueAsString(false), "2001:db8::2 - 2001:db8::1");
    EXPECT_EQ(p6.getExpandedValue(false), "2001:db8:0:0:0:0:0:2 - 2001:db8:0:0:0:0:0:1");
    EXPECT_EQ(p6.DictionaryKey(), "2001:db8:0:0:0:0:0:1-2001:db8:0:0:0:0:0:2");
    p6.initialize("2001:db8::/32=fe80::1/10", true);
    EXPECT_EQ(p6.Source.MaskBitCount, 32);
    EXPECT_EQ(p6.Destination.MaskBitCount, 10);

    tIPAddressPair pip;
    pip.initialize(tIPAddress{}, tIPAddress{});
    pip.Source.setValueFromString("fe80::1");
    pip.Destination.setValueFromString("10.0.0.1");
    EXPECT_EQ(pip.ValueAsString(false), "fe80::1 - 10.0.0.1");
    pip.normalize();
    EXPECT_EQ(pip.ValueAsString(), "10.0.0.1-fe80::1");  // version 4 before 6
}

TEST(Sockets, TextForms) {
    EXPECT_EQ(S4("1.2.3.4", 80).ValueAsString(), "1.2.3.4:80");
    EXPECT_EQ(S6("2001:db8::1", 443).ValueAsString(), "[2001:db8::1]:443");
    EXPECT_EQ(S6("2001:db8::1", 443).getExpandedValue(), "[2001:db8:0:0:0:0:0:1]:443");

    tIPv4SocketPair p4;
    p4.initialize(S4("10.0.0.9", 1234), S4("10.0.0.1", 80));
    EXPECT_EQ(p4.ValueAsString(true), "10.0.0.9:1234-10.0.0.1:80");
    EXPECT_EQ(p4.ValueAsString(false), "10.0.0.9:1234 - 10.0.0.1:80");
    EXPECT_EQ(p4.DictionaryKey(), "10.0.0.1:80-10.0.0.9:1234");
    EXPECT_EQ(p4.IPAddressPair().ValueAsString(), "10.0.0.9-10.0.0.1");

    tIPv6SocketPair p6;
    p6.initialize(S6("fe80::2", 5353), S6("ff02::fb", 5353));
    EXPECT_EQ(p6.ValueAsString(false), "[fe80::2]:5353 - [ff02::fb]:5353");
    EXPECT_EQ(p6.getExpandedValue(true), "[fe80:0:0:0:0:0:0:2]:5353-[ff02:0:0:0:0:0:0:fb]:5353");
    EXPECT_EQ(p6.DictionaryKey(), "[fe80:0:0:0:0:0:0:2]:5353-[ff02:0:0:0:0:0:0:fb]:5353");
    EXPECT_EQ(p6.CompactKeyText(), "[fe800000002]5353-[ff02000000fb]5353");

    tIPSocket s;
    s.initialize(V6("2001:db8::1"), 53);
    EXPECT_EQ(s.ValueAsString(), "2001:db8::1:53");
    EXPECT_EQ(s.DictionaryKey(), "2001:db8::1:53");
    s.initialize(tIPAddress{}, 7);
    EXPECT_EQ(s.ValueAsString(), "0.0.0.0:7");
}

TEST(Sockets, TypedSocketParsing) {
    tIPv4Socket s4;
    s4.VLANID = 9;
    s4.initialize("10.1.2.3:8080");
    EXPECT_EQ(s4.ValueAsString(), "10.1.2.3:8080");
    EXPECT_EQ(s4.VLANID, 0);
    s4.initialize("10.1.2.3");
    EXPECT_EQ(s4.Port, 0);
    EXPECT_EQ(ErrorText([&] { s4.initialize("10.1.2:80"); }),
              "Invalid IPv4 string: \"10.1.2\" (tIPv4Address.setValueFromString)");

    tIPv6Socket s6;
    s6.initialize("[2001:db8::1]:80");
    EXPECT_EQ(s6.ValueAsString(), "[2001:db8::1]:80");
    EXPECT_EQ(s6.IPAddress.MaskBitCount, 64);
    s6.initialize("2001:db8:0:0:0:0:0:2:8080");  // nine fields: the last is the port
    EXPECT_EQ(s6.ValueAsString(), "[2001:db8::2]:8080");
    s6.Port = 99;
    s6.initialize("fe80::5");  // a bare address leaves the port
    EXPECT_EQ(s6.ValueAsString(), "[fe80::5]:99");
    EXPECT_EQ(ErrorText([&] { s6.initialize("not an address"); }),
              "Cannot initialize IPv6 Socket (tIPv6Socket.initialize)");
}

TEST(Sockets, SocketTextValidity) {
    struct Case { const char* text; bool v4; bool v6; };
    const Case cases[] = {
        {"1.2.3.4:80", true, false},
        {"1.2.3.4:65535", true, false},
        {"1.2.3.4:00080", true, false},
        {"1.2.3.4:0", false, false},
        {"1.2.3.4:65536", false, false},
        {"1.2.3.4:", false, false},
        {"1.2.3.4:8a", false, false},
        {"1.2.3.4", false, false},
        {"1.2.3.4:99999999999999999999", false, false},
        {"[::1]:80", false, true},
        {"[2001:db8::1]:65535", false, true},
        {"[::1]:0", false, false},
        {"[::1]80", false, false},
        {"::1:80", false, false},
        {"[1.2.3.4]:80", false, false},
        {"[]:80", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tIPv4Socket::IsValidText(c.text), c.v4) << c.text;
        EXPECT_EQ(tIPv6Socket::IsValidBracketedText(c.text), c.v6) << c.text;
        tIPSocket s;
        s.initialize(c.text);
        EXPECT_EQ(s.IPAddress.IPVersion, c.v4 ? 4 : c.v6 ? 6 : 0) << c.text;
        if (!c.v4 && !c.v6) {
            EXPECT_TRUE(s.isUndefined()) << c.text;
        }
    }
    tIPSocket s;
    s.initialize("[2001:db8::7]:443");
    EXPECT_EQ(s.ValueAsString(), "2001:db8::7:443");
    EXPECT_EQ(s.getIPv6Socket().ValueAsString(), "[2001:db8::7]:443");
    s.initialize("192.0.2.1:25");
    EXPECT_EQ(s.getIPv4Socket().ValueAsString(), "192.0.2.1:25");
}

TEST(SocketPairs, IPSocketPairParsingAndTexts) {
    tIPSocketPair p;
    p.initialize("10.0.0.9:1234=10.0.0.1:80");
    EXPECT_EQ(p.Source.ValueAsString(), "10.0.0.9:1234");
    EXPECT_EQ(p.Destination.ValueAsString(), "10.0.0.1:80");
    // The IPv4 text is the normalised key of the IPv4 pair.
    EXPECT_EQ(p.ValueAsString(false), "10.0.0.1:80-10.0.0.9:1234");
    EXPECT_EQ(p.DictionaryKey(), "10.0.0.1:80-10.0.0.9:1234");

    p.initialize("[2001:db8::9]:1234=[2001:db8::1]:80");
    EXPECT_EQ(p.Source.IPAddress.IPVersion, 6);
    EXPECT_EQ(p.ValueAsString(), "[2001db8000001]80-[2001db8000009]1234");
    EXPECT_EQ(p.DictionaryKey(), "[2001:db8:0:0:0:0:0:1]:80-[2001:db8:0:0:0:0:0:9]:1234");

    for (const char* bad : {"10.0.0.9:1234", "10.0.0.9:1234=[::1]:80", "10.0.0.9:0=10.0.0.1:80",
                            "1.2.3.4:1=1.2.3.4:2=1.2.3.4:3", "[::1]:80=::2:80", ""}) {
        EXPECT_FALSE(tIPSocketPair::IsValidText(bad)) << bad;
        EXPECT_EQ(ErrorText([&] { p.initialize(bad); }),
                  std::string("Not a valid socket pair: \"") + bad + "\" (tIPSocketPair.initialize)");
    }

    tIPSocketPair none;
    EXPECT_EQ(ErrorText([&] { (void)none.ValueAsString(); }),
              "Invalid socket IP version 0 (tIPSocketPair.ValueAsString)");
    EXPECT_EQ(ErrorText([&] { (void)none.DictionaryKey(); }),
              "Invalid socket IP version 0 (tIPSocketPair.ValueAsString)");
    EXPECT_EQ(ErrorText([&] { (void)none.BinaryKey(); }),
              "Invalid socket IP version 0 (tIPSocketPair.ValueAsString)");
}

TEST(SocketPairs, OrderPutsDestinationsFirst) {
    tIPv4SocketPair a, b;
    a.initialize(S4("10.0.0.9", 1), S4("10.0.0.1", 80));
    b.initialize(S4("10.0.0.1", 1), S4("10.0.0.2", 80));
    EXPECT_TRUE(a < b);  // decided by the destinations although a's source is larger
    EXPECT_TRUE(b > a);
    // Sockets: VLAN id first, then address, then port.
    EXPECT_TRUE(S4("10.0.0.9", 1, 0) < S4("10.0.0.1", 1, 1));
    EXPECT_TRUE(S4("10.0.0.1", 2) < S4("10.0.0.1", 3));
    EXPECT_TRUE(S4("10.0.0.1", 9) < S4("10.0.0.2", 3));
    // normalize swaps when the destination is less than the source.
    tIPv4SocketPair c;
    c.initialize(S4("10.0.0.2", 80), S4("10.0.0.1", 5000));
    c.normalize();
    EXPECT_EQ(c.ValueAsString(), "10.0.0.1:5000-10.0.0.2:80");
    c.initialize(S4("10.0.0.2", 80, 1), S4("10.0.0.5", 5000, 0));
    c.normalize();
    EXPECT_EQ(c.Source.VLANID, 0);
}

// Both directions of every pair kind share one key, text and binary, and normalising
// leaves the source never greater than the destination.
TEST(Normalisation, BothDirectionsShareOneKey) {
    auto check = [](auto forward, const char* expectKey) {
        auto backward = forward;
        backward.swap();
        EXPECT_EQ(forward.DictionaryKey(), expectKey);
        EXPECT_EQ(backward.DictionaryKey(), expectKey);
        EXPECT_TRUE(forward.BinaryKey() == backward.BinaryKey()) << expectKey;
        EXPECT_TRUE(forward == backward) << expectKey;
        auto n = backward;
        n.normalize();
        EXPECT_FALSE(n.Source > n.Destination) << expectKey;
        auto n2 = forward;
        n2.normalize();
        EXPECT_EQ(n2.Source, n.Source) << expectKey;
    };
    tMACAddressPair mac;
    mac.initialize(Mac("00:00:5e:00:01:01"), Mac("00:00:5e:00:00:ff"));
    check(mac, "00:00:5e:00:00:ff-00:00:5e:00:01:01");
    tIPv4AddressPair v4;
    v4.initialize(V4("192.168.0.1"), V4("10.0.0.1"));
    check(v4, "10.0.0.1-192.168.0.1");
    tIPv6AddressPair v6;
    v6.initialize(V6("fe80::1"), V6("2001:db8::1"));
    check(v6, "2001:db8:0:0:0:0:0:1-fe80:0:0:0:0:0:0:1");
    tIPv4SocketPair s4;
    s4.initialize(S4("10.0.0.1", 80), S4("10.0.0.1", 79));
    check(s4, "10.0.0.1:79-10.0.0.1:80");
    tIPv6SocketPair s6;
    s6.initialize(S6("::2", 1), S6("::1", 65535));
    check(s6, "[0:0:0:0:0:0:0:1]:65535-[0:0:0:0:0:0:0:2]:1");
    tIPSocketPair sip;
    sip.initialize(s6);
    check(sip, "[0:0:0:0:0:0:0:1]:65535-[0:0:0:0:0:0:0:2]:1");
    sip.initialize(s4);
    check(sip, "10.0.0.1:79-10.0.0.1:80");
    t5Tuple t;
    t.initialize(s4, l4TCP);
    auto tb = t;
    tb.IPv4SocketPair.swap();
    EXPECT_EQ(t.DictionaryKey(), "TCP10.0.0.1:79-10.0.0.1:80");
    EXPECT_EQ(tb.DictionaryKey(), t.DictionaryKey());
    EXPECT_TRUE(tb.BinaryKey() == t.BinaryKey());
    EXPECT_TRUE(tb == t);
}

// The colon-free text of an IPv6 socket pair is ambiguous: 1:10:: and 11:0:: both lose
// their colons to "110". The dictionary keys keep the conversations apart.
TEST(Normalisation, IPv6SocketPairKeysDoNotCollide) {
    tIPv6SocketPair a, b;
    a.initialize(S6("1:10:0:0:0:0:0:1", 80), S6("ff::1", 80));
    b.initialize(S6("11:0:0:0:0:0:0:1", 80), S6("ff::1", 80));
    EXPECT_EQ(a.CompactKeyText(), b.CompactKeyText());
    EXPECT_NE(a.DictionaryKey(), b.DictionaryKey());
    EXPECT_FALSE(a.BinaryKey() == b.BinaryKey());

    tIPSocketPair ia, ib;
    ia.initialize(a);
    ib.initialize(b);
    EXPECT_EQ(ia.ValueAsString(), ib.ValueAsString());
    EXPECT_NE(ia.DictionaryKey(), ib.DictionaryKey());
    EXPECT_FALSE(ia.BinaryKey() == ib.BinaryKey());

    t5Tuple ta, tb;
    ta.initialize(a, uint8_t{17});
    tb.initialize(b, uint8_t{17});
    EXPECT_NE(ta.DictionaryKey(), tb.DictionaryKey());
    EXPECT_FALSE(ta.BinaryKey() == tb.BinaryKey());
}

// ---------------------------------------------------------------------------------------
// Binary keys against key texts

namespace {

// Binary keys are equal exactly when key texts are, and equal keys hash equally.
template <typename T, typename Gen>
void CheckBinaryKeysFollowTextKeys(Gen gen, const char* what) {
    std::vector<T> records;
    std::vector<std::string> texts;
    for (int i = 0; i < 120; ++i) {
        records.push_back(gen());
        texts.push_back(records.back().DictionaryKey());
    }
    using K = decltype(records[0].BinaryKey());
    int equalPairs = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const K ki = records[i].BinaryKey();
        for (size_t j = 0; j < records.size(); ++j) {
            const K kj = records[j].BinaryKey();
            const bool textEqual = texts[i] == texts[j];
            ASSERT_EQ(ki == kj, textEqual) << what << ": " << texts[i] << " vs " << texts[j];
            if (textEqual) {
                ASSERT_EQ(std::hash<K>{}(ki), std::hash<K>{}(kj)) << what;
                if (i != j) ++equalPairs;
            }
        }
    }
    // The pools are small so that distinct records share keys.
    EXPECT_GT(equalPairs, 0) << what;
}

}  // namespace

TEST(BinaryKeys, EqualExactlyWhenKeyTextsAreEqual) {
    std::mt19937 rng(12345);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto mac = [&] {
        tMACAddress m;
        m.RangeBytes = {0, 0, 0, 0, static_cast<uint8_t>(pick(2)), static_cast<uint8_t>(pick(3))};
        return m;
    };
    auto v4 = [&] {
        tIPv4Address a;
        a.initialize(0x0A000000u + static_cast<uint32_t>(pick(3)), pick(2) ? 32 : 24);
        return a;
    };
    auto v6 = [&] {
        tIPv6Address a;
        a.initialize(Words{static_cast<uint16_t>(pick(2)), 0, 0, 0, 0, 0, 0, static_cast<uint16_t>(pick(3))},
                     pick(2) ? 64 : 48);
        return a;
    };
    auto port = [&] { return static_cast<uint16_t>(80 + pick(2)); };
    auto vlan = [&] { return static_cast<uint16_t>(pick(2)); };

    CheckBinaryKeysFollowTextKeys<tMACAddressPair>([&] {
        tMACAddressPair p;
        p.initialize(mac(), mac(), vlan());
        return p;
    }, "MAC pair");
    CheckBinaryKeysFollowTextKeys<tIPv4AddressPair>([&] {
        tIPv4AddressPair p;
        p.initialize(v4(), v4());
        return p;
    }, "IPv4 pair");
    CheckBinaryKeysFollowTextKeys<tIPv6AddressPair>([&] {
        tIPv6AddressPair p;
        p.initialize(v6(), v6());
        return p;
    }, "IPv6 pair");
    CheckBinaryKeysFollowTextKeys<tIPv4SocketPair>([&] {
        tIPv4SocketPair p;
        tIPv4Socket a, b;
        a.initialize(v4(), port(), vlan());
        b.initialize(v4(), port(), vlan());
        p.initialize(a, b);
        return p;
    }, "IPv4 socket pair");
    CheckBinaryKeysFollowTextKeys<tIPv6SocketPair>([&] {
        tIPv6SocketPair p;
        tIPv6Socket a, b;
        a.initialize(v6(), port(), vlan());
        b.initialize(v6(), port(), vlan());
        p.initialize(a, b);
        return p;
    }, "IPv6 socket pair");
    auto ipSocket = [&] {
        tIPSocket s;
        if (pick(2))
            s.initialize(v4(), port(), vlan());
        else
            s.initialize(v6(), port(), vlan());
        return s;
    };
    CheckBinaryKeysFollowTextKeys<tIPSocketPair>([&] {
        tIPSocketPair p;
        p.initialize(ipSocket(), ipSocket());
        return p;
    }, "IP socket pair");
    CheckBinaryKeysFollowTextKeys<t5Tuple>([&] {
        t5Tuple t;
        const tLayer4Protocol proto = pick(2) ? l4TCP : l4UDP;
        switch (pick(3)) {
            case 0: {
                tIPv4SocketPair p;
                p.initialize(ipSocket().getIPv4Socket(), ipSocket().getIPv4Socket());
                t.initialize(p, proto);
                break;
            }
            case 1: {
                tIPv6SocketPair p;
                p.initialize(ipSocket().getIPv6Socket(), ipSocket().getIPv6Socket());
                t.initialize(p, proto);
                break;
            }
            default: break;  // undefined
        }
        return t;
    }, "5-tuple");

    // Endpoint keys and IP address pairs (whose key sense is that of their addresses).
    EXPECT_TRUE(V4("10.0.0.1", 24).BinaryKey() == V4("10.0.0.1", 32).BinaryKey());
    EXPECT_FALSE(V4("10.0.0.1").BinaryKey() == V4("10.0.0.2").BinaryKey());
    EXPECT_TRUE(V6("::1", 48).BinaryKey() == V6("::1", 64).BinaryKey());
    EXPECT_TRUE(Mac("00:11:22:33:44:55").BinaryKey() == Mac("0:11:22:33:44:55").BinaryKey());
    EXPECT_FALSE(Mac("00:11:22:33:44:55").BinaryKey() == Mac("00:11:22:33:44:56").BinaryKey());
    tIPAddress a4, a6;
    a4.initialize(0x00000001u);
    a6.initialize(V6("::1"));
    EXPECT_FALSE(a4.BinaryKey() == a6.BinaryKey());  // 0.0.0.1 is not ::1
    tIPAddressPair ap, apBack;
    ap.initialize(a4, a6);
    apBack.initialize(a6, a4);
    EXPECT_TRUE(ap.BinaryKey() == apBack.BinaryKey());
}

TEST(BinaryKeys, HashesSpreadDistinctKeys) {
    std::unordered_set<size_t> v4Hashes;
    std::unordered_set<size_t> v6Hashes;
    std::unordered_set<size_t> bucketLow;
    for (uint32_t i = 0; i < 20000; ++i) {
        tIPSocketPair p;
        p.Source.initialize(V4("10.0.0.1"), 80);
        p.Destination.initialize(V4("10.0.0.2"), static_cast<uint16_t>(1024 + i));
        const size_t h = std::hash<tIPSocketPairKey>{}(p.BinaryKey());
        v4Hashes.insert(h);
        bucketLow.insert(h & 0xFFF);
        tIPv6Address a;
        a.initialize(Words{0x2001, 0xdb8, 0, 0, 0, 0, static_cast<uint16_t>(i >> 16), static_cast<uint16_t>(i)});
        v6Hashes.insert(std::hash<tIPv6AddressKey>{}(a.BinaryKey()));
    }
    EXPECT_EQ(v4Hashes.size(), 20000u);
    EXPECT_EQ(v6Hashes.size(), 20000u);
    // Keys differing only in a port still fill the low bits that hash tables use.
    EXPECT_GT(bucketLow.size(), 4000u);
}

// ---------------------------------------------------------------------------------------
// Version-neutral addresses

TEST(IPAddress, ParsingTextsAndOrder) {
    tIPAddress a;
    a.setValueFromString("192.168.1.1");
    EXPECT_EQ(a.IPVersion, 4);
    EXPECT_EQ(a.IPv4Address.MaskBitCount, 32);
    EXPECT_EQ(a.ValueAsString(), "192.168.1.1");
    a.setValueFromString("192.168.1.1", 16);
    EXPECT_EQ(a.IPv4Address.MaskBitCount, 16);
    a.setValueFromString("2001:db8::1");
    EXPECT_EQ(a.IPVersion, 6);
    EXPECT_EQ(a.IPv6Address.MaskBitCount, 64);
    EXPECT_EQ(a.ValueAsString(), "2001:db8::1");
    EXPECT_EQ(a.DictionaryKey(), "2001:db8:0:0:0:0:0:1");
    EXPECT_TRUE(a.IPv4Address.isUndefined());
    a.setValueFromString("not an address", 8);
    EXPECT_EQ(a.IPVersion, 0);
    EXPECT_EQ(a.ValueAsString(), "0.0.0.0");
    EXPECT_TRUE(a.isUndefined());

    tIPAddress v4, v6, none;
    v4.initialize(V4("255.255.255.255"));
    v6.initialize(V6("::"));
    EXPECT_TRUE(none < v4);
    EXPECT_TRUE(v4 < v6);  // version first
    EXPECT_TRUE(v6 > v4);
    EXPECT_TRUE(v6.isZeroAddress());
    EXPECT_FALSE(v4 == v6);
    tIPAddress v4b;
    v4b.initialize(V4("255.255.255.255", 24));
    EXPECT_FALSE(v4 < v4b);  // less is "not greater-or-equal", which ignores the mask
    EXPECT_FALSE(v4b < v4);
    EXPECT_TRUE(v4 > v4b);
}

// ---------------------------------------------------------------------------------------
// Client side by ports

TEST(ClientAddressByPorts, PortRules) {
    enum Who { None, Src, Dst };
    struct Case { uint16_t src; uint16_t dst; Who client; };
    const Case cases[] = {
        {80, 1026, Dst},    {1026, 80, Src},    {1024, 1026, Dst},  {1026, 1024, Src},
        {3306, 3389, Src},  // both listed: the destination's listing wins
        {80, 443, None},    {1025, 80, Dst},    {80, 1025, Src},    {1025, 1026, Dst},
        {1026, 1025, Src},  {50000, 8080, Src}, {9443, 50000, Dst}, {50000, 50001, None},
        {1025, 1025, Src},  {0, 0, None},
    };
    tIPSocketPair p;
    p.Source.initialize(V4("10.0.0.1"), 0);
    p.Destination.initialize(V6("2001:db8::2"), 0);
    for (const auto& c : cases) {
        p.Source.Port = c.src;
        p.Destination.Port = c.dst;
        const tIPAddress client = ClientAddressByPorts(p);
        const tIPAddress expected = c.client == Src ? p.Source.IPAddress : c.client == Dst ? p.Destination.IPAddress : tIPAddress{};
        EXPECT_TRUE(client == expected) << c.src << " -> " << c.dst << ": " << client.ValueAsString();
        EXPECT_EQ(client.IPVersion, c.client == Src ? 4 : c.client == Dst ? 6 : 0);
    }
    EXPECT_TRUE(IsListedServerPort(5432));
    EXPECT_FALSE(IsListedServerPort(1024));
}

// ---------------------------------------------------------------------------------------
// 5-tuple

TEST(FiveTuple, KeysAndConstruction) {
    tIPv4SocketPair p4;
    p4.initialize(S4("10.0.0.9", 1234), S4("10.0.0.1", 53));
    tIPv6SocketPair p6;
    p6.initialize(S6("2001:db8::9", 1234), S6("2001:db8::1", 53));
    struct Case { t5Tuple tuple; const char* key; };
    t5Tuple tcp4, udp6, icmp4, any6, none, fromIp;
    tcp4.initialize(p4, l4TCP);
    udp6.initialize(p6, uint8_t{17});
    icmp4.initialize(p4, uint8_t{58});
    any6.initialize(p6, uint8_t{47});
    tIPSocketPair ip;
    ip.initialize(p6);
    fromIp.initialize(ip, l4TCPUDP);
    const Case cases[] = {
        {tcp4, "TCP10.0.0.1:53-10.0.0.9:1234"},
        {udp6, "UDP[2001:db8:0:0:0:0:0:1]:53-[2001:db8:0:0:0:0:0:9]:1234"},
        {icmp4, "ICMP10.0.0.1:53-10.0.0.9:1234"},
        {any6, "Any[2001:db8:0:0:0:0:0:1]:53-[2001:db8:0:0:0:0:0:9]:1234"},
        {fromIp, "TCP/UDP[2001:db8:0:0:0:0:0:1]:53-[2001:db8:0:0:0:0:0:9]:1234"},
        {none, "undefined"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.tuple.DictionaryKey(), c.key);
    EXPECT_TRUE(tcp4.IPv6SocketPair.isUndefined());
    EXPECT_TRUE(udp6.IPv4SocketPair.isUndefined());
    EXPECT_TRUE(none.isUndefined());
    EXPECT_EQ(none.Layer4Protocol, l4Any);
    EXPECT_EQ(fromIp.IPVersion, 6);
    tIPSocketPair empty;
    t5Tuple fromEmpty;
    fromEmpty.initialize(empty, l4TCP);
    EXPECT_EQ(fromEmpty.DictionaryKey(), "undefined");

    t5Tuple udp4;
    udp4.initialize(p4, l4UDP);
    EXPECT_FALSE(udp4.BinaryKey() == tcp4.BinaryKey());
    EXPECT_FALSE(udp4 == tcp4);
    EXPECT_TRUE(tcp4 < udp4);  // protocol order after the version
    EXPECT_TRUE(udp4 < udp6);  // version first
    EXPECT_TRUE(none.BinaryKey() == t5TupleKey{});
}

// ---------------------------------------------------------------------------------------
// Names, answers, lists, pseudo headers

TEST(FQDN, LabelsAndBackwardsForm) {
    struct Case { const char* name; uint16_t count; const char* backwards; };
    const Case cases[] = {
        {"www.example.com", 3, "com.example.www"},
        {"localhost", 1, "localhost"},
        {"example.com.", 3, ".com.example"},
        {"", 0, ""},
        {"   ", 0, ""},
    };
    for (const auto& c : cases) {
        tFQDN f;
        f.setFQDN("stale.name");
        f.setFQDN(c.name);
        EXPECT_EQ(f.FullFQDN, c.name);
        EXPECT_EQ(f.ElementCount, c.count) << c.name;
        EXPECT_EQ(f.Elements.size(), c.count) << c.name;
        EXPECT_EQ(f.FullFQDNBackwards, c.backwards) << c.name;
    }
    tFQDN f;
    const std::string longLabel(70, 'a');
    f.setFQDN(longLabel + ".example.org");
    ASSERT_EQ(f.ElementCount, 3);
    EXPECT_EQ(f.Elements[0], std::string(63, 'a'));
    EXPECT_EQ(f.Elements[2], "org");
    tFQDN g;
    g.setFQDN(std::string(64, 'a') + ".example.org");
    EXPECT_FALSE(f == g);  // names that differ beyond 63 characters stay different

    tFQDN a, b;
    a.setFQDN("mail.example.com");
    b.setFQDN("www.example.com");
    EXPECT_TRUE(a < b);
    b.setFQDN("mail.example.com");
    EXPECT_TRUE(a == b);
    b.setFQDN("zzz.example.aaa");
    EXPECT_TRUE(a > b);  // ordered by the backwards form
}

TEST(NameResolutionAnswer, TextsAndKeys) {
    tNameResolutionAnswer ans;
    EXPECT_EQ(ans.DictionaryKey(), "0:");
    ans.initialize(V4("192.168.1.1"));
    EXPECT_EQ(ans.AnswerType, nraIPAddress);
    EXPECT_EQ(ans.DictionaryKey(), "1:192.168.1.1");
    ans.initialize(V6("2001:db8::1"));
    EXPECT_EQ(ans.asString(), "2001:db8::1");
    EXPECT_EQ(ans.DictionaryKey(), "1:2001:db8::1");
    tFQDN f;
    f.setFQDN("www.example.com");
    ans.initialize(f);
    EXPECT_EQ(ans.DictionaryKey(), "2:www.example.com");
    EXPECT_EQ(ans.IPAddress.IPVersion, 0);
    ans.initialize(std::string_view("v=spf1 -all"));
    EXPECT_EQ(ans.DictionaryKey(), "3:v=spf1 -all");
    EXPECT_TRUE(ans.FQDN.FullFQDN.empty());
}

TEST(SimpleAddressList, AddGetCopy) {
    tIPv4SimpleAddressList l;
    EXPECT_EQ(l.count(), 0);
    l.Add(V4("10.0.0.1", 24));
    l.Add(V4("10.0.0.2"));
    EXPECT_EQ(l.count(), 2);
    EXPECT_EQ(l.GetEntry(1).ValueAsCIDRString(), "10.0.0.1/24");
    EXPECT_EQ(l.GetEntry(2).ValueAsString(), "10.0.0.2");
    EXPECT_TRUE(l.GetEntry(0).isUndefined());
    EXPECT_TRUE(l.GetEntry(3).isUndefined());
    tIPv6SimpleAddressList l6, copy;
    l6.Add(V6("fe80::1"));
    copy.Add(V6("::9"));
    copy.Add(V6("::8"));
    copy.copyFrom(l6);
    ASSERT_EQ(copy.count(), 1);
    EXPECT_EQ(copy.GetEntry(1).ValueAsString(), "fe80::1");
    EXPECT_EQ(copy.GetEntry(2).MaskBitCount, 64);
}

TEST(PseudoHeaders, DebugTexts) {
    tIPv4PseudoHeader h4;
    h4.Source = 0xC0A80001;
    h4.Destination = 0x08080808;
    h4.Protocol = 6;
    h4.L4Length = 40;
    EXPECT_EQ(h4.getDebug(), "192.168.0.1,8.8.8.8,6,40");
    EXPECT_EQ(h4.GetSourceHighWord(), 0xC0A8);
    tIPv6PseudoHeader h6;
    h6.Source = {0x2001, 0xdb8, 0, 0, 0, 0, 0, 1};
    h6.Destination = {0xfe80, 0, 0, 0, 0, 0, 0, 2};
    h6.NextHeader = 58;
    h6.L4Length = 70000;
    EXPECT_EQ(h6.getDebug(), "2001:db8::1,fe80::2,58,70000");
}

// ---------------------------------------------------------------------------------------
// Round trips and hostile texts

// Every address written in either form reads back to the same words.
TEST(IPv6Address, RandomWordsRoundTripThroughBothForms) {
    std::mt19937 rng(777);
    for (int i = 0; i < 20000; ++i) {
        Words w{};
        for (auto& word : w) word = (rng() % 3 == 0) ? static_cast<uint16_t>(rng()) : 0;
        tIPv6Address a;
        a.initialize(w);
        const std::string compressed = a.ValueAsString();
        ASSERT_TRUE(tIPv6Address::IsValidText(compressed)) << compressed;
        ASSERT_EQ(V6(compressed).ValueAsWordStruct, w) << compressed;
        ASSERT_EQ(V6(a.getExpandedValue()).ValueAsWordStruct, w) << a.getExpandedValue();
        ASSERT_LE(std::count(compressed.begin(), compressed.end(), ':'), 7) << compressed;
    }
}

// Random texts never crash a parser: each is accepted consistently with its validity test
// or rejected with the parser's own message.
TEST(AddressParsing, HostileTextsAreAcceptedOrRejectedCleanly) {
    std::mt19937 rng(4242);
    const std::string alphabet = "0123456789abcdefABCDEF:::...//[]]=- ";
    int accepted6 = 0;
    for (int i = 0; i < 30000; ++i) {
        std::string text;
        const size_t len = rng() % 24;
        for (size_t k = 0; k < len; ++k) text.push_back(alphabet[rng() % alphabet.size()]);

        tIPv6Address a6;
        if (tIPv6Address::IsValidText(text)) {
            ++accepted6;
            ASSERT_NO_THROW(a6.setValueFromString(text, 64)) << text;
            ASSERT_EQ(V6(a6.ValueAsString()).ValueAsWordStruct, a6.ValueAsWordStruct) << text;
        } else {
            ASSERT_EQ(ErrorText([&] { a6.setValueFromString(text, 64); }),
                      "Error: Invalid IPv6 address format detected: " + text);
        }
        tIPv4Address a4;
        if (tIPv4Address::IsValidText(text)) {
            ASSERT_NO_THROW(a4.setValueFromString(text, 32)) << text;
        } else {
            ASSERT_NE(ErrorText([&] { a4.setValueFromString(text, 32); }), "<no error>") << text;
        }
        tIPSocketPair sp;
        if (tIPSocketPair::IsValidText(text)) {
            ASSERT_NO_THROW(sp.initialize(text)) << text;
            ASSERT_NE(sp.Source.IPAddress.IPVersion, 0) << text;
        } else {
            ASSERT_NE(ErrorText([&] { sp.initialize(text); }), "<no error>") << text;
        }
        tIPAddress ip;
        ip.setValueFromString(text);
        tIPSocket s;
        s.initialize(text);
        tMACAddress m;
        m.setfromString(text, ":");
        tMACAddressPair mp;
        mp.initialize(text);
        tFQDN f;
        f.setFQDN(text);
        ASSERT_EQ(f.FullFQDN, text);
        try {
            tIPv6Socket s6;
            s6.initialize(text);
        } catch (const tAssertionError&) {
        }
    }
    EXPECT_GT(accepted6, 0);
}
