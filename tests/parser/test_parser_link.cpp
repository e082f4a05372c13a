#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string_view>
#include <vector>

#include "parser/parser_8021q.h"
#include "parser/parser_ethernet.h"
#include "parser/parser_fabricpath.h"
#include "parser/parser_juniper.h"
#include "parser/parser_linuxsll.h"
#include "parser/parser_llc.h"
#include "parser/parser_mpls.h"

#include "support/bytes.h"

namespace morwick {
namespace {

using test::tBytes;

using test::Cat;
using test::Hex;

template <typename P>
std::unique_ptr<P> Make(const tBytes& data, int32_t offset = 0) {
    const auto n = static_cast<int32_t>(data.size());
    return std::make_unique<P>(data.data(), offset, n, n, 42);
}

tMACAddress Mac(std::string_view text) {
    tMACAddress m;
    const tBytes b = Hex(text);
    for (size_t i = 0; i < 6; ++i) m.RangeBytes[i] = b[i];
    return m;
}

const tProtocolAnchor kNoAnchor{0, 0};

// Every parser must report a short header as a failure without reading past the end.
// Each prefix is copied into a buffer of exactly its size, so an overrun is caught by
// the address sanitizer.
template <typename P>
void ExpectPrefixesFail(const tBytes& full, int32_t needed, tParseResult expected) {
    for (int32_t cut = 0; cut < needed; ++cut) {
        SCOPED_TRACE(cut);
        const tBytes prefix(full.begin(), full.begin() + cut);
        auto p = Make<P>(prefix);
        EXPECT_EQ(p->parse(), expected);
        EXPECT_EQ(p->NextAnchor(), kNoAnchor);
    }
    const tBytes exact(full.begin(), full.begin() + needed);
    EXPECT_EQ(Make<P>(exact)->parse(), prSuccess);
}

// ---- Ethernet ----

const tBytes kEthernet = Hex("00 1a 2b 3c 4d 5e  66 77 88 99 aa bb  08 00");

TEST(EthernetParser, ReadsAddressesTypeAndNextLayer) {
    const tBytes frame = Cat(Hex("de ad be ef"), Cat(kEthernet, Hex("45 00")));
    auto p = Make<tEthernetParser>(frame, 4);
    EXPECT_TRUE(p->checkIsPlausible());
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->OSILayer(), 2);
    EXPECT_EQ(p->LayerSize(), 14);
    EXPECT_EQ(p->DestinationAddress(), Mac("001a2b3c4d5e"));
    EXPECT_EQ(p->SourceAddress(), Mac("66778899aabb"));
    EXPECT_EQ(p->EtherTypeLength(), 0x0800);
    EXPECT_EQ(p->EtherFrameType(), etEthernetII);
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrIPv4, 18}));
    const tMACAddressPair pair = p->EthernetAddressPair();
    EXPECT_EQ(pair.Source, p->SourceAddress());
    EXPECT_EQ(pair.Destination, p->DestinationAddress());
    EXPECT_EQ(pair.VLANID, 0);
    EXPECT_EQ(p->getDiagnosticMsgCount(), 0);
}

TEST(EthernetParser, TypeOrLengthDecidesNextLayer) {
    struct tCase {
        uint16_t value;
        int32_t next;
        tEtherFrameType frameType;
    } cases[] = {
        {0x0000, hdrLLC, et802dot3},
        {0x05DC, hdrLLC, et802dot3},       // 1500: a length
        {0x0600, hdrLLC, etEthernetII},    // 1536 goes to LLC but reads as Ethernet II
        {0x0601, 0x0601, etEthernetII},    // unknown type, ends the walk
        {0x86DD, hdrIPv6, etEthernetII},
        {0x8100, hdrVLAN, etEthernetII},
        {0x8903, hdrFabricPath, etEthernetII},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        tBytes frame = kEthernet;
        frame[12] = static_cast<uint8_t>(c.value >> 8);
        frame[13] = static_cast<uint8_t>(c.value);
        auto p = Make<tEthernetParser>(frame);
        ASSERT_EQ(p->parse(), prSuccess);
        EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{c.next, 14}));
        EXPECT_EQ(p->EtherFrameType(), c.frameType);
    }
}

TEST(EthernetParser, ShortHeaderFails) {
    ExpectPrefixesFail<tEthernetParser>(kEthernet, 14, prFailUndersize);
    // Offset past the end of the frame.
    auto p = Make<tEthernetParser>(kEthernet, 20);
    EXPECT_EQ(p->parse(), prFailUndersize);
}

// ---- LLC ----

TEST(LLCParser, SNAPHandsOverProtocolType) {
    const tBytes frame = Hex("aa aa 03 00 00 0c 08 00 45");
    auto p = Make<tLLCParser>(frame);
    EXPECT_TRUE(p->checkIsPlausible());
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->OSILayer(), 2);
    EXPECT_EQ(p->LayerSize(), 8);
    EXPECT_EQ(p->DSAP(), 0xAA);
    EXPECT_EQ(p->SSAP(), 0xAA);
    EXPECT_EQ(p->Control(), 0x03);
    EXPECT_EQ(p->VendorCode(), (tSNAPVendorCode{0x00, 0x00, 0x0C}));
    EXPECT_EQ(p->ProtocolType(), 0x0800);
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrIPv4, 8}));
}

TEST(LLCParser, PlainLLCEndsTheWalk) {
    const tBytes frame = Hex("42 42 03 00 00 00");
    auto p = Make<tLLCParser>(frame);
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->DSAP(), 0x42);
    EXPECT_EQ(p->SSAP(), 0x42);
    EXPECT_EQ(p->Control(), 0x03);
    EXPECT_EQ(p->LayerSize(), 4);
    EXPECT_EQ(p->ProtocolType(), 0);
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrPayload, 3}));
}

TEST(LLCParser, ShortHeadersFail) {
    ExpectPrefixesFail<tLLCParser>(Hex("42 42 03"), 3, prFailUndersize);
    // SNAP needs all eight bytes.
    ExpectPrefixesFail<tLLCParser>(Hex("aa aa 03 00 00 00 08 00"), 8, prFailUndersize);
}

// ---- 802.1Q ----

TEST(VLANParser, ReadsTagAndPassesEtherTypeOn) {
    struct tCase {
        const char* hex;
        uint8_t priority;
        bool cfi;
        int32_t vlanid;
        uint16_t ethertype;
    } cases[] = {
        {"a0 64 08 00", 5, false, 100, 0x0800},
        {"f0 c8 86 dd", 7, true, 200, 0x86DD},
        {"0f ff 81 00", 0, false, 4095, 0x8100},
        {"00 01 00 40", 0, false, 1, 0x0040},  // a length stays as it is
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hex);
        const tBytes frame = Cat(Hex("ff ff"), Hex(c.hex));
        auto p = Make<t802dot1qParser>(frame, 2);
        ASSERT_EQ(p->parse(), prSuccess);
        EXPECT_EQ(p->OSILayer(), 2);
        EXPECT_EQ(p->LayerSize(), 4);
        EXPECT_EQ(p->Priority(), c.priority);
        EXPECT_EQ(p->CFI(), c.cfi);
        EXPECT_EQ(p->VLANID(), c.vlanid);
        EXPECT_EQ(p->EtherType(), c.ethertype);
        EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{c.ethertype, 6}));
    }
    ExpectPrefixesFail<t802dot1qParser>(Hex("a0 64 08 00"), 4, prFailUndersize);
}

// ---- MPLS ----

TEST(MPLSParser, ReadsLabelEntry) {
    // Label 0x12345, EXP 5, bottom, TTL 0x40, then an IPv4 header.
    const tBytes frame = Hex("12 34 5b 40 45 00");
    auto p = Make<tMPLSParser>(frame);
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->OSILayer(), 3);
    EXPECT_EQ(p->LayerSize(), 4);
    EXPECT_EQ(p->MPLSLabel(), 0x12345u);
    EXPECT_EQ(p->ToSExperimental(), 5);
    EXPECT_TRUE(p->BottomOfStack());
    EXPECT_EQ(p->TTL(), 0x40);
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrIPv4, 4}));
}

TEST(MPLSParser, GuessesWhatFollowsTheLabel) {
    const tBytes ethernetToIPv4 = Hex("00 11 22 33 44 55 66 77 88 99 aa bb 08 00");
    struct tCase {
        const char* name;
        tBytes frame;
        tProtocolAnchor next;
    } cases[] = {
        {"another label", Hex("00 01 00 40 00 02 01 40 45"), {hdrMPLS, 4}},
        {"IPv4", Hex("00 01 01 40 45"), {hdrIPv4, 4}},
        {"IPv6", Hex("00 01 01 40 60"), {hdrIPv6, 4}},
        {"too short to guess", Hex("00 01 01 40 00 00 00 00 00 00 00 00 00 00 00 00 08"), {hdrPayload, 4}},
        {"control word", Cat(Hex("00 01 01 40 00 00 00 00"), ethernetToIPv4), {hdrEthernet, 8}},
        {"Ethernet with IPv4", Cat(Hex("00 01 01 40"), ethernetToIPv4), {hdrEthernet, 4}},
        {"Ethernet with ARP", Hex("00 01 01 40 00 11 22 33 44 55 66 77 88 99 aa bb 08 06"), {hdrEthernet, 4}},
        {"Ethernet with VLAN", Hex("00 01 01 40 00 11 22 33 44 55 66 77 88 99 aa bb 81 00"), {hdrEthernet, 4}},
        {"Ethernet with IPv6", Hex("00 01 01 40 00 11 22 33 44 55 66 77 88 99 aa bb 86 dd"), {hdrEthernet, 4}},
        {"Ethernet with RARP", Hex("00 01 01 40 00 11 22 33 44 55 66 77 88 99 aa bb 80 35"), {hdrEthernet, 4}},
        {"unknown", Hex("00 01 01 40 00 11 22 33 44 55 66 77 88 99 aa bb 88 cc"), {0, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = Make<tMPLSParser>(c.frame);
        ASSERT_EQ(p->parse(), prSuccess);
        EXPECT_EQ(p->NextAnchor(), c.next);
    }
}

TEST(MPLSParser, TwoLabelsThenIPv4) {
    const tBytes frame = Hex("00 01 00 40  00 02 01 3f  45 00");
    auto first = Make<tMPLSParser>(frame);
    ASSERT_EQ(first->parse(), prSuccess);
    EXPECT_FALSE(first->BottomOfStack());
    EXPECT_EQ(first->MPLSLabel(), 0x10u);
    ASSERT_EQ(first->NextAnchor(), (tProtocolAnchor{hdrMPLS, 4}));
    auto second = Make<tMPLSParser>(frame, 4);
    ASSERT_EQ(second->parse(), prSuccess);
    EXPECT_TRUE(second->BottomOfStack());
    EXPECT_EQ(second->MPLSLabel(), 0x20u);
    EXPECT_EQ(second->TTL(), 0x3f);
    EXPECT_EQ(second->NextAnchor(), (tProtocolAnchor{hdrIPv4, 8}));
}

TEST(MPLSParser, NeedsOneByteAfterTheLabel) {
    ExpectPrefixesFail<tMPLSParser>(Hex("00 01 01 40 45"), 5, prFailUndersize);
}

// ---- Linux cooked capture ----

const tBytes kSLL = Hex("00 04 00 01 00 06 00 11 22 33 44 55 66 77 08 00");

TEST(LinuxSLLParser, ReadsHeader) {
    auto p = Make<tLinuxSLLParser>(kSLL);
    EXPECT_TRUE(p->checkIsPlausible());
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->OSILayer(), 2);
    EXPECT_EQ(p->LayerSize(), 16);
    EXPECT_EQ(p->PacketType(), sptSentByUs);
    EXPECT_EQ(p->ARPHeaderType(), 1);
    EXPECT_EQ(p->LinkLayerAddressLength(), 6);
    EXPECT_EQ(p->MACAddress(), Mac("001122334455"));
    EXPECT_EQ(p->LinkLayerAddress(), 0x0011223344556677ull);
    EXPECT_EQ(p->ProtocolType(), 0x0800);
    EXPECT_FALSE(p->ContainsVLANInfo());
    EXPECT_EQ(p->VLANInfo().vlanid, 0);
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrIPv4, 16}));
}

TEST(LinuxSLLParser, PacketTypesAndAddressLength) {
    struct tCase {
        uint16_t type;
        uint16_t addressLength;
        tSLLPacketType expected;
        bool macSet;
    } cases[] = {
        {0, 6, sptUnicastToUs, true},   {1, 6, sptBroadcast, true},
        {2, 6, sptMulticast, true},     {3, 6, sptUnicastToOtherHost, true},
        {4, 6, sptSentByUs, true},      {7, 6, sptUnicastToUs, true},
        {0x0104, 6, sptUnicastToUs, true}, {0, 8, sptUnicastToUs, false},
        {0, 0, sptUnicastToUs, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        tBytes frame = kSLL;
        frame[0] = static_cast<uint8_t>(c.type >> 8);
        frame[1] = static_cast<uint8_t>(c.type);
        frame[5] = static_cast<uint8_t>(c.addressLength);
        auto p = Make<tLinuxSLLParser>(frame);
        ASSERT_EQ(p->parse(), prSuccess);
        EXPECT_EQ(p->PacketType(), c.expected);
        EXPECT_EQ(p->LinkLayerAddressLength(), c.addressLength);
        EXPECT_EQ(p->MACAddress(), c.macSet ? Mac("001122334455") : tMACAddress{});
        EXPECT_EQ(p->LinkLayerAddress(), 0x0011223344556677ull);
    }
}

TEST(LinuxSLLParser, VLANTagAfterHeader) {
    tBytes frame = kSLL;
    frame[14] = 0x81;
    frame[15] = 0x00;
    frame = Cat(frame, Hex("b0 64 86 dd 60"));
    auto p = Make<tLinuxSLLParser>(frame);
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_TRUE(p->ContainsVLANInfo());
    EXPECT_EQ(p->VLANInfo().priority, 5);
    EXPECT_TRUE(p->VLANInfo().cfi);
    EXPECT_EQ(p->VLANInfo().vlanid, 100);
    EXPECT_EQ(p->ProtocolType(), 0x86DD);
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrIPv6, 20}));

    // The tag announced but not captured.
    for (size_t cut = 16; cut < 20; ++cut) {
        SCOPED_TRACE(cut);
        const tBytes prefix(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(Make<tLinuxSLLParser>(prefix)->parse(), prFailInvalidValues);
    }
}

TEST(LinuxSLLParser, ShortHeaderFails) {
    ExpectPrefixesFail<tLinuxSLLParser>(kSLL, 16, prFailUndersize);
}

// ---- Juniper ----

TEST(JuniperParser, PlausibleOnlyWithMagic) {
    struct tCase {
        const char* hex;
        bool plausible;
    } cases[] = {
        {"4d 47 43 00 00 00", true},
        {"4d 47 43 03 00 00 45", true},
        {"4d 47 43 00 00", false},  // five bytes
        {"4d 47 44 00 00 00", false},
        {"00 47 43 00 00 00", false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hex);
        EXPECT_EQ(Make<tJuniperParser>(Hex(c.hex))->checkIsPlausible(), c.plausible);
    }
}

TEST(JuniperParser, FlagsChooseDirectionAndNextLayer) {
    struct tCase {
        uint8_t flags;
        tPacketDirection direction;
        bool stripped;
        int32_t next;
    } cases[] = {
        {0x03, pdInbound, true, hdrIPv4},
        {0x01, pdInbound, false, hdrEthernet},
        {0x02, pdOutbound, true, hdrIPv4},
        {0x00, pdOutbound, false, hdrEthernet},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        const tBytes frame = Hex("4d 47 43 00 00 00 45");
        tBytes f = frame;
        f[3] = c.flags;
        auto p = Make<tJuniperParser>(f);
        ASSERT_EQ(p->parse(), prSuccess);
        EXPECT_EQ(p->OSILayer(), 1);
        EXPECT_EQ(p->LayerSize(), 6);
        EXPECT_EQ(p->MagicNumber(), 0x4D4743u);
        EXPECT_EQ(p->Direction(), c.direction);
        EXPECT_EQ(p->Layer2HeaderStripped(), c.stripped);
        EXPECT_FALSE(p->ExtensionsPresent());
        EXPECT_EQ(p->ExtensionTotalLength(), 0);
        EXPECT_TRUE(p->ExtensionList().empty());
        EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{c.next, 6}));
    }
}

TEST(JuniperParser, Extensions) {
    // Extension area of 12 bytes: type 4 with a 32-bit value (frame byte order),
    // a type-0 item (skipped) and type 1 with two bytes.
    const tBytes ext = Hex("04 04 78 56 34 12  00 00  01 02 aa bb");
    struct tCase {
        uint8_t flags;
        int32_t layerSize;
        int32_t next;
    } cases[] = {
        {0x80, 18, hdrEthernet},
        {0x82, 22, hdrIPv4},  // stripped link header: four more bytes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        tBytes frame = Cat(Hex("4d 47 43 00 00 0c"), ext);
        frame[3] = c.flags;
        frame = Cat(frame, tBytes(8, 0));
        auto p = Make<tJuniperParser>(frame);
        ASSERT_EQ(p->parse(), prSuccess);
        EXPECT_TRUE(p->ExtensionsPresent());
        EXPECT_EQ(p->ExtensionTotalLength(), 12);
        EXPECT_EQ(p->LayerSize(), c.layerSize);
        EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{c.next, c.layerSize}));
        ASSERT_EQ(p->ExtensionList().size(), 2u);
        EXPECT_EQ(p->ExtensionList()[0].ExtType, 4);
        EXPECT_EQ(p->ExtensionList()[0].ExtLen, 4);
        EXPECT_EQ(p->ExtensionList()[0].ExtValue32, 0x12345678u);
        EXPECT_EQ(p->ExtensionList()[1].ExtType, 1);
        EXPECT_EQ(p->ExtensionList()[1].ExtLen, 2);
        EXPECT_EQ(p->ExtensionList()[1].ExtValue32, 0u);
    }
}

TEST(JuniperParser, ExtensionBeyondCapturedBytesIsInvalid) {
    const tBytes full = Hex("4d 47 43 80 00 0c  04 04 78 56 34 12  00 00  01 02 aa bb");
    for (size_t cut = 6; cut < full.size(); ++cut) {
        SCOPED_TRACE(cut);
        const tBytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(Make<tJuniperParser>(prefix)->parse(), prFailInvalidValues);
    }
    EXPECT_EQ(Make<tJuniperParser>(full)->parse(), prSuccess);
    ExpectPrefixesFail<tJuniperParser>(Hex("4d 47 43 03 00 00"), 6, prFailUndersize);
}

// ---- FabricPath ----

const tBytes kFabricPath = Hex("fc c5 23 04 05 06  02 01 23 04 05 06  89 03  01 45");

TEST(FabricPathParser, DecodesIdentifiersAndTag) {
    const tBytes frame = Cat(kFabricPath, Hex("00 11 22"));
    auto p = Make<tFabricPathParser>(frame);
    EXPECT_TRUE(p->checkIsPlausible());
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->OSILayer(), 2);
    EXPECT_EQ(p->LayerSize(), 16);

    const tFabricPathIdentifier& src = p->SourceIdentifier();
    EXPECT_TRUE(src.ULBit);
    EXPECT_FALSE(src.IGBit);
    EXPECT_TRUE(src.OOODLBit);
    EXPECT_EQ(src.SwitchID, 0x123);
    EXPECT_EQ(src.SubSwitchID, 4);
    EXPECT_EQ(src.SourceLID, 0x0506);
    EXPECT_EQ(src.EID, 0x00);

    const tFabricPathIdentifier& dst = p->DestinationIdentifier();
    EXPECT_EQ(dst.EID, 0xFC | 0x03);
    EXPECT_FALSE(dst.ULBit);
    EXPECT_FALSE(dst.IGBit);
    EXPECT_TRUE(dst.OOODLBit);
    EXPECT_EQ(dst.SwitchID, 0x523);

    // Tag word 0x0145: forwarding tag 5 in the upper ten bits, TTL 5 in the lower six.
    EXPECT_EQ(p->FTAG(), 5);
    EXPECT_EQ(p->TTL(), 5);
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrEthernet, 16}));

    // All ten tag bits count: 0xffc5 is tag 0x3ff with TTL 5.
    tBytes wide = kFabricPath;
    wide[14] = 0xFF;
    wide[15] = 0xC5;
    auto w = Make<tFabricPathParser>(wide);
    ASSERT_EQ(w->parse(), prSuccess);
    EXPECT_EQ(w->FTAG(), 0x3FF);
    EXPECT_EQ(w->TTL(), 5);
}

TEST(FabricPathParser, PlausibilityNeedsTypeAndLength) {
    tBytes wrongType = kFabricPath;
    wrongType[13] = 0x04;
    EXPECT_FALSE(Make<tFabricPathParser>(wrongType)->checkIsPlausible());
    const tBytes shortFrame(kFabricPath.begin(), kFabricPath.end() - 1);
    EXPECT_FALSE(Make<tFabricPathParser>(shortFrame)->checkIsPlausible());
    ExpectPrefixesFail<tFabricPathParser>(kFabricPath, 16, prFailUndersize);
}

}  // namespace
}  // namespace morwick

namespace morwick {
namespace {

// Random bytes of random length through every link-layer parser. Each buffer is exactly
// as long as the frame, so an out-of-bounds read is caught by the address sanitizer;
// a parse that succeeds must name a next layer at or after its own start.
template <typename P>
void ParseRandomFrames(uint32_t seed, const tBytes& prefix) {
    std::mt19937 rng(seed);
    for (int round = 0; round < 3000; ++round) {
        const size_t length = rng() % 48;
        tBytes frame(length);
        for (auto& b : frame) b = static_cast<uint8_t>(rng());
        // Often start with the protocol's fixed bytes so the deeper paths are reached.
        if (round % 2 == 0)
            for (size_t i = 0; i < prefix.size() && i < frame.size(); ++i) frame[i] = prefix[i];
        const int32_t offset = length > 0 ? static_cast<int32_t>(rng() % 4 % (length + 1)) : 0;
        auto p = Make<P>(frame, offset);
        p->checkIsPlausible();
        const tParseResult r = p->parse();
        if (r == prSuccess) {
            ASSERT_GE(p->NextAnchor().Offset, offset);
            ASSERT_GE(p->LayerSize(), 0);
        } else {
            ASSERT_TRUE(r == prFailUndersize || r == prFailInvalidValues) << int{r};
        }
    }
}

TEST(LinkParsers, RandomBytesAreReadSafely) {
    ParseRandomFrames<tEthernetParser>(1, {});
    ParseRandomFrames<tLLCParser>(2, Hex("aa aa 03"));
    ParseRandomFrames<t802dot1qParser>(3, {});
    ParseRandomFrames<tMPLSParser>(4, Hex("00 01 01 40"));
    ParseRandomFrames<tLinuxSLLParser>(5, Hex("00 00 00 01 00 06 00 00 00 00 00 00 00 00 81 00"));
    ParseRandomFrames<tJuniperParser>(6, Hex("4d 47 43 80 00 08"));
    ParseRandomFrames<tFabricPathParser>(7, Hex("00 00 00 00 00 00 00 00 00 00 00 00 89 03"));
}

}  // namespace
}  // namespace morwick
