#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string_view>
#include <vector>

#include "base/checksums.h"
#include "base/chunk.h"
#include "parser/parser_arp.h"
#include "parser/parser_ipv4.h"
#include "parser/parser_ipv6.h"
#include "parser/parser_ipv6frag.h"

#include "support/bytes.h"

namespace morwick {
namespace {

using test::tBytes;

using test::Cat;
using test::Hex;

template <typename P>
std::unique_ptr<P> Make(const tBytes& data, int32_t offset = 0, int32_t extraWire = 0) {
    const auto n = static_cast<int32_t>(data.size());
    return std::make_unique<P>(data.data(), offset, n, n + extraWire, 42);
}

std::unique_ptr<tIPv4Parser> MakeIPv4(const tBytes& data, int32_t offset = 0,
                                      int32_t extraWire = 0, bool quoted = false) {
    const auto n = static_cast<int32_t>(data.size());
    return std::make_unique<tIPv4Parser>(data.data(), offset, n, n + extraWire, quoted, 42);
}

tIPv4Address V4(uint32_t value) {
    tIPv4Address a;
    a.initialize(value, 32);
    return a;
}

const tProtocolAnchor kNoAnchor{0, 0};

// Each prefix is copied into a buffer of exactly its size, so a read past the end is
// caught by the address sanitizer.
template <typename P>
void ExpectPrefixesFail(const tBytes& full, int32_t needed) {
    for (int32_t cut = 0; cut < needed; ++cut) {
        SCOPED_TRACE(cut);
        const tBytes prefix(full.begin(), full.begin() + cut);
        auto p = Make<P>(prefix);
        EXPECT_EQ(p->parse(), prFailUndersize);
        EXPECT_EQ(p->NextAnchor(), kNoAnchor);
    }
    const tBytes exact(full.begin(), full.begin() + needed);
    EXPECT_EQ(Make<P>(exact)->parse(), prSuccess);
}

// ---- IPv4 ----

// 172.16.10.99 -> 172.16.10.12, TCP, total length 60, correct checksum 0xb1e6.
const tBytes kIPv4 = Hex("45 00 00 3c 1c 46 40 00 40 06 b1 e6 ac 10 0a 63 ac 10 0a 0c");

// An IPv4 header with the given options (a multiple of four bytes) and total length.
tBytes IPv4WithOptions(const tBytes& options, uint16_t totalLength) {
    tBytes h = kIPv4;
    h[0] = static_cast<uint8_t>(0x40 | (5 + options.size() / 4));
    h[2] = static_cast<uint8_t>(totalLength >> 8);
    h[3] = static_cast<uint8_t>(totalLength);
    return Cat(h, options);
}

TEST(IPv4Parser, ReadsFixedHeader) {
    const tBytes frame = Cat(Cat(tBytes(14, 0xEE), kIPv4), tBytes(40, 0));
    auto p = MakeIPv4(frame, 14, 10);
    EXPECT_TRUE(p->checkIsPlausible());
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->OSILayer(), 3);
    EXPECT_EQ(p->LayerSize(), 20);
    EXPECT_EQ(p->Version(), 4);
    EXPECT_EQ(p->IHL(), 20);
    EXPECT_FALSE(p->HasOptions());
    EXPECT_EQ(p->TOS(), 0);
    EXPECT_EQ(p->TotalLength(), 60);
    EXPECT_EQ(p->Identification(), 0x1c46);
    EXPECT_EQ(p->Flags(), tIPFlagSet{ipfDontFragment});
    EXPECT_EQ(p->Offset(), 0);
    EXPECT_FALSE(p->IsFragment());
    EXPECT_FALSE(p->IsLastFragment());
    EXPECT_EQ(p->TTL(), 64);
    EXPECT_EQ(p->Protocol(), 6);
    EXPECT_EQ(p->Checksum(), 0xb1e6);
    EXPECT_EQ(p->Source(), V4(0xAC100A63));
    EXPECT_EQ(p->Destination(), V4(0xAC100A0C));
    EXPECT_EQ(p->CurrentRoute(), tIPv4Address{});
    EXPECT_TRUE(p->OptionList().empty());
    EXPECT_FALSE(p->SegmentOffloadLenZero());
    EXPECT_EQ(p->FramePayloadLengthDelta(), 0);
    EXPECT_EQ(p->FrameTotalLengthDelta(), 10);
    EXPECT_EQ(p->IPPayloadLength(), 40);
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrTCP, 34}));
    EXPECT_EQ(p->getDiagnosticMsgCount(), 0);

    const tIPv4HeaderWords& words = p->HeaderAsWordBuffer();
    EXPECT_EQ(words[0], 0x4500);
    EXPECT_EQ(words[5], 0xb1e6);
    EXPECT_EQ(words[9], 0x0a0c);
    EXPECT_EQ(words[10], 0);
    EXPECT_EQ(IPv4HeaderChecksum(words, p->IHL()), p->Checksum());

    const tIPv4PseudoHeader pseudo = p->PseudoHeader();
    EXPECT_EQ(pseudo.Source, 0xAC100A63u);
    EXPECT_EQ(pseudo.Destination, 0xAC100A0Cu);
    EXPECT_EQ(pseudo.Protocol, 6);
    EXPECT_EQ(pseudo.L4Length, 40);
}

TEST(IPv4Parser, ZeroTotalLengthTakesCapturedRest) {
    tBytes frame(1514, 0);
    std::copy(kIPv4.begin(), kIPv4.end(), frame.begin() + 14);
    frame[16] = 0;
    frame[17] = 0;
    auto p = MakeIPv4(frame, 14, 100);
    EXPECT_TRUE(p->checkIsPlausible());
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->TotalLength(), 1500);
    EXPECT_TRUE(p->SegmentOffloadLenZero());
    EXPECT_EQ(p->FramePayloadLengthDelta(), 0);
    EXPECT_EQ(p->FrameTotalLengthDelta(), 0);
    EXPECT_EQ(p->IPPayloadLength(), 1480);
    ASSERT_EQ(p->getDiagnosticMsgCount(), 1);
    EXPECT_EQ(p->getDiagnosticMsg(1).id, MSG_IP_TOTAL_LENGTH_ZERO);
    EXPECT_EQ(p->getDiagnosticMsg(1).severity, msWarning);
}

TEST(IPv4Parser, LengthDeltasOfShortAndLongFrames) {
    // Total length 60 in a capture of 30 bytes that was 80 bytes on the wire.
    const tBytes frame = Cat(kIPv4, tBytes(10, 0));
    auto p = MakeIPv4(frame, 0, 50);
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->FramePayloadLengthDelta(), -30);
    EXPECT_EQ(p->FrameTotalLengthDelta(), 20);
    // A header quoted in an ICMP message says nothing about this frame.
    auto quoted = MakeIPv4(frame, 0, 50, true);
    ASSERT_EQ(quoted->parse(), prSuccess);
    EXPECT_TRUE(quoted->isICMPQuote());
    EXPECT_EQ(quoted->FramePayloadLengthDelta(), 0);
    EXPECT_EQ(quoted->FrameTotalLengthDelta(), 0);
}

TEST(IPv4Parser, FragmentFlagsAndOffset) {
    struct tCase {
        uint16_t word;
        bool quoted;
        tIPFlagSet flags;
        uint16_t offset;
        bool fragment;
        bool last;
        int32_t next;
    } cases[] = {
        {0x2000, false, {ipfMoreFragments}, 0, true, false, hdrTCP},
        {0x00B9, false, {}, 1480, true, true, hdrPayload},
        {0x20B9, false, {ipfMoreFragments}, 1480, true, false, hdrPayload},
        {0x4000, false, {ipfDontFragment}, 0, false, false, hdrTCP},
        {0x8000, false, {ipfReserved}, 0, false, false, hdrTCP},
        {0xFFFF, false, {ipfReserved, ipfDontFragment, ipfMoreFragments}, 0xFFF8, true, false, hdrPayload},
        {0x00B9, true, {}, 1480, false, true, hdrTCP},
        {0x2000, true, {ipfMoreFragments}, 0, false, false, hdrTCP},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.word << " quoted " << c.quoted);
        tBytes frame = kIPv4;
        frame[6] = static_cast<uint8_t>(c.word >> 8);
        frame[7] = static_cast<uint8_t>(c.word);
        auto p = MakeIPv4(frame, 0, 0, c.quoted);
        ASSERT_EQ(p->parse(), prSuccess);
        EXPECT_EQ(p->Flags(), c.flags);
        EXPECT_EQ(p->Offset(), c.offset);
        EXPECT_EQ(p->IsFragment(), c.fragment);
        EXPECT_EQ(p->IsLastFragment(), c.last);
        EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{c.next, 20}));
    }
}

TEST(IPv4Parser, Plausibility) {
    struct tCase {
        const char* name;
        int index;  // byte to change, -1 for none
        uint8_t value;
        size_t length;
        bool plausible;
    } cases[] = {
        {"valid", -1, 0, 20, true},
        {"19 bytes", -1, 0, 19, false},
        {"version 6", 0, 0x65, 20, false},
        {"header length 16", 0, 0x44, 20, false},
        {"header length 60", 0, 0x4F, 20, true},
        {"total length 0", 3, 0x00, 20, true},   // with byte 2 zero already
        {"total length 19", 3, 0x13, 20, false},
        {"total length 20", 3, 0x14, 20, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tBytes frame = kIPv4;
        if (c.index >= 0) frame[static_cast<size_t>(c.index)] = c.value;
        frame.resize(c.length);
        EXPECT_EQ(MakeIPv4(frame)->checkIsPlausible(), c.plausible);
    }
}

TEST(IPv4Parser, ShortHeaderFails) {
    for (int32_t cut = 0; cut < 20; ++cut) {
        SCOPED_TRACE(cut);
        const tBytes prefix(kIPv4.begin(), kIPv4.begin() + cut);
        auto p = MakeIPv4(prefix);
        EXPECT_FALSE(p->checkIsPlausible());
        EXPECT_EQ(p->parse(), prFailUndersize);
        EXPECT_EQ(p->LayerSize(), 0);
        EXPECT_EQ(p->NextAnchor(), kNoAnchor);
    }
}

TEST(IPv4Parser, PaddingOptionsRecordNothing) {
    const tBytes frame = IPv4WithOptions(Hex("01 01 01 00"), 24);
    auto p = MakeIPv4(frame);
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_TRUE(p->HasOptions());
    EXPECT_EQ(p->IHL(), 24);
    EXPECT_EQ(p->LayerSize(), 24);
    EXPECT_TRUE(p->OptionList().empty());
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrTCP, 24}));
    EXPECT_EQ(p->HeaderAsWordBuffer()[10], 0x0101);
    EXPECT_EQ(p->HeaderAsWordBuffer()[11], 0x0100);
}

TEST(IPv4Parser, SourceRoutesReplaceDestination) {
    struct tCase {
        const char* name;
        const char* options;
        uint8_t number;
        bool copy;
        size_t routes;
        uint32_t lastRoute;
        uint32_t destination;
        uint32_t currentRoute;
    } cases[] = {
        {"loose", "83 0b 04 0a 00 00 01 0a 00 00 02 00", 3, true, 2, 0x0A000002, 0x0A000002, 0xAC100A0C},
        {"strict", "89 07 04 c0 a8 00 01", 9, true, 1, 0xC0A80001, 0xC0A80001, 0xAC100A0C},
        {"record route", "07 0b 04 0a 00 00 01 0a 00 00 02 00", 7, false, 2, 0x0A000002, 0xAC100A0C, 0},
        {"loose without addresses", "83 03 04 00", 3, true, 0, 0, 0xAC100A0C, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tBytes options = Hex(c.options);
        options.resize((options.size() + 3) / 4 * 4, 0);
        const tBytes frame = IPv4WithOptions(options, static_cast<uint16_t>(20 + options.size()));
        auto p = MakeIPv4(frame);
        ASSERT_EQ(p->parse(), prSuccess);
        ASSERT_EQ(p->OptionList().size(), 1u);
        const tIPv4Option& o = p->OptionList()[0];
        EXPECT_EQ(o.OptionNumber, c.number);
        EXPECT_EQ(o.CopyOnFragment, c.copy);
        EXPECT_EQ(o.OptionClass, ocControl);
        EXPECT_EQ(o.OptionLength, Hex(c.options)[1]);
        EXPECT_EQ(o.OptionPointer, 4);
        ASSERT_EQ(o.RouteRecords.size(), c.routes);
        if (c.routes > 0) {
            EXPECT_EQ(o.RouteRecords.back(), V4(c.lastRoute));
        }
        EXPECT_TRUE(o.TimestampRecords.empty());
        EXPECT_EQ(p->Destination(), V4(c.destination));
        EXPECT_EQ(p->CurrentRoute(), c.currentRoute ? V4(c.currentRoute) : tIPv4Address{});
        // The pseudo header follows the final destination.
        EXPECT_EQ(p->PseudoHeader().Destination, c.destination);
    }
}

TEST(IPv4Parser, TimestampAndRouterAlertOptions) {
    // Timestamp with overflow 1, flag 3 and one address/time pair; router alert.
    const tBytes options = Hex("44 0c 0d 13 0a 00 00 09 00 01 02 03  94 04 12 34");
    const tBytes frame = IPv4WithOptions(options, 36);
    auto p = MakeIPv4(frame);
    ASSERT_EQ(p->parse(), prSuccess);
    ASSERT_EQ(p->OptionList().size(), 2u);

    const tIPv4Option& ts = p->OptionList()[0];
    EXPECT_EQ(ts.OptionNumber, 4);
    EXPECT_FALSE(ts.CopyOnFragment);
    EXPECT_EQ(ts.OptionClass, ocDebugging);
    EXPECT_EQ(ts.getOptionType(), 0x44);
    EXPECT_EQ(ts.OptionLength, 12);
    EXPECT_EQ(ts.OptionPointer, 13);
    EXPECT_EQ(ts.OptionOverflow, 1);
    EXPECT_EQ(ts.OptionFlag, 3);
    ASSERT_EQ(ts.TimestampRecords.size(), 1u);
    EXPECT_EQ(ts.TimestampRecords[0].address, V4(0x0A000009));
    EXPECT_EQ(ts.TimestampRecords[0].timestamp, 0x00010203u);
    EXPECT_TRUE(ts.RouteRecords.empty());

    const tIPv4Option& ra = p->OptionList()[1];
    EXPECT_EQ(ra.OptionNumber, 20);
    EXPECT_TRUE(ra.CopyOnFragment);
    EXPECT_EQ(ra.getOptionType(), 0x94);
    EXPECT_EQ(ra.OptionLength, 4);
    EXPECT_EQ(ra.OptionPointer, 0x12);
    EXPECT_EQ(ra.OptionWord, 0x3412);  // low byte first
    EXPECT_EQ(p->Destination(), V4(0xAC100A0C));
}

TEST(IPv4Parser, OptionListEndsAndSkips) {
    struct tCase {
        const char* name;
        const char* options;
        std::vector<uint8_t> numbers;  // recorded option numbers in order
    } cases[] = {
        {"unknown number is skipped", "82 04 00 00 94 04 00 00", {20}},
        {"end-of-list number with copy flag stops", "80 04 00 00 94 04 00 00", {0}},
        {"length below 2 stops", "94 01 00 00 94 04 00 00", {}},
        {"length 0 stops", "07 00 94 04 00 00 00 00", {}},
        {"no-operation then alert", "01 94 04 00 00 00 00 00", {20}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tBytes options = Hex(c.options);
        const tBytes frame = Cat(IPv4WithOptions(options, 28), tBytes(4, 0));
        auto p = MakeIPv4(frame);
        ASSERT_EQ(p->parse(), prSuccess);
        std::vector<uint8_t> numbers;
        for (const auto& o : p->OptionList()) numbers.push_back(o.OptionNumber);
        EXPECT_EQ(numbers, c.numbers);
        EXPECT_EQ(p->LayerSize(), 28);
    }
}

TEST(IPv4Parser, OptionsThatCannotBeReadAreInvalid) {
    struct tCase {
        const char* name;
        const char* options;
    } cases[] = {
        {"option longer than the capture", "07 0b 04 00"},
        {"length byte not captured", "01 01 01 07"},
        {"router alert fields not captured", "01 01 94 02"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The frame ends with the header.
        const tBytes frame = IPv4WithOptions(Hex(c.options), 24);
        auto p = MakeIPv4(frame);
        EXPECT_EQ(p->parse(), prFailInvalidValues);
    }
    // Options announced by the header length but not captured at all are not read.
    const tBytes cut = IPv4WithOptions(Hex("07 0b 04 00 00 00 00 00"), 28);
    const tBytes header(cut.begin(), cut.begin() + 20);
    auto p = MakeIPv4(header);
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_TRUE(p->OptionList().empty());
    EXPECT_EQ(p->LayerSize(), 28);
}

TEST(IPv4Parser, HeaderWordsStopAtLastOffset) {
    const tBytes frame = Cat(Hex("ff ff"), IPv4WithOptions(Hex("01 01 01 01"), 24));
    // Captured up to byte 24: only eleven whole words of the header lie before it.
    tIPv4HeaderWords cut = tIPv4Parser::getHeaderWordsFromOffset(frame.data(), 2, 24, 24);
    EXPECT_EQ(cut[0], 0x4600);
    EXPECT_EQ(cut[10], 0x0101);
    EXPECT_EQ(cut[11], 0);
    tIPv4HeaderWords whole = tIPv4Parser::getHeaderWordsFromOffset(frame.data(), 2, 24, 26);
    EXPECT_EQ(whole[11], 0x0101);
    EXPECT_EQ(whole[12], 0);
}

TEST(IPv4Parser, HeaderBytesAreTheBytesOfTheHeaderWords) {
    // The checksum is taken over HeaderBytes; they must be exactly the words' bytes,
    // whether the frame holds the whole header, cuts it at a word or inside one.
    const tBytes frame = Cat(Hex("ff ff"), IPv4WithOptions(Hex("01 01 01 01"), 24));
    for (int32_t captured : {26, 25, 24, 23, 12, 3, 2}) {
        SCOPED_TRACE(captured);
        tIPv4Parser p(frame.data(), 2, captured, captured, false, 1);
        p.parse();
        const std::span<const uint8_t> bytes = p.HeaderBytes();
        EXPECT_TRUE(bytes.empty() || bytes.data() == frame.data() + 2);
        const tIPv4HeaderWords& words = p.HeaderAsWordBuffer();
        const tBufferWords fromBytes = BytesToBufferWords(bytes);
        ASSERT_LE(fromBytes.size(), words.size());
        EXPECT_TRUE(std::equal(fromBytes.begin(), fromBytes.end(), words.begin()));
        EXPECT_TRUE(std::all_of(words.begin() + static_cast<std::ptrdiff_t>(fromBytes.size()), words.end(),
                                [](uint16_t w) { return w == 0; }));
        EXPECT_EQ(IPv4HeaderChecksum(bytes, p.IHL()), IPv4HeaderChecksum(words, p.IHL()));
    }
}

TEST(IPv4Parser, TotalLengthBelowHeaderLengthLeavesNoPayload) {
    tBytes frame = IPv4WithOptions(Hex("01 01 01 01"), 20);
    auto p = MakeIPv4(frame);
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->IPPayloadLength(), 0);
    EXPECT_EQ(p->PseudoHeader().L4Length, 0);
}

// ---- IPv6 ----

// Traffic class 0xab, flow label 0xcdef1, payload 20, TCP, hop limit 64,
// 2001:db8::1 -> fe80::2.
const tBytes kIPv6 = Hex(
    "6a bc de f1 00 14 06 40"
    "20 01 0d b8 00 00 00 00 00 00 00 00 00 00 00 01"
    "fe 80 00 00 00 00 00 00 00 00 00 00 00 00 00 02");

TEST(IPv6Parser, ReadsFixedHeader) {
    const tBytes frame = Cat(Cat(tBytes(14, 0), kIPv6), tBytes(20, 0));
    auto p = Make<tIPv6Parser>(frame, 14);
    EXPECT_TRUE(p->checkIsPlausible());
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->OSILayer(), 3);
    EXPECT_EQ(p->LayerSize(), 40);
    EXPECT_EQ(p->Version(), 6);
    EXPECT_EQ(p->TrafficClass(), 0xAB);
    EXPECT_EQ(p->FlowLabel(), 0xCDEF1u);
    EXPECT_EQ(p->PayloadLength(), 20);
    EXPECT_EQ(p->NextHeader(), 6);
    EXPECT_EQ(p->HopLimit(), 64);
    EXPECT_EQ(p->Source().ValueAsString(), "2001:db8::1");
    EXPECT_EQ(p->Source().MaskBitCount, 64);
    EXPECT_EQ(p->Destination().ValueAsString(), "fe80::2");
    EXPECT_EQ(p->Destination().MaskBitCount, 64);
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrTCP, 54}));

    const tIPv6PseudoHeader pseudo = p->PseudoHeader();
    EXPECT_EQ(pseudo.Source, p->Source().ValueAsWordStruct);
    EXPECT_EQ(pseudo.Destination, p->Destination().ValueAsWordStruct);
    EXPECT_EQ(pseudo.L4Length, 20u);
    EXPECT_EQ(pseudo.NextHeader, 6);
}

TEST(IPv6Parser, NextHeaderAndPseudoHeader) {
    struct tCase {
        uint8_t next;
        uint8_t pseudo;
    } cases[] = {{6, 6}, {17, 17}, {44, 44}, {58, 58}, {0, 0}, {43, 0}, {59, 0}, {41, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int{c.next});
        tBytes frame = kIPv6;
        frame[6] = c.next;
        auto p = Make<tIPv6Parser>(frame);
        ASSERT_EQ(p->parse(), prSuccess);
        EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{c.next, 40}));
        EXPECT_EQ(p->PseudoHeader().NextHeader, c.pseudo);
    }
}

TEST(IPv6Parser, ShortHeaderFails) {
    ExpectPrefixesFail<tIPv6Parser>(kIPv6, 40);
}

// ---- IPv6 fragment header ----

TEST(IPv6FragmentationParser, ReadsFlagsOffsetAndIdentification) {
    struct tCase {
        uint16_t word;
        tIPFlagSet flags;
        uint16_t offset;
    } cases[] = {
        {0x0009, {ipfMoreFragments}, 1},
        {0x05A8, {ipfLastFragment}, 181},
        {0xFFF9, {ipfMoreFragments}, 0x1FFF},
        {0x0000, {ipfLastFragment}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        tBytes frame = Hex("00 00  11 00 00 00  de ad be ef  00");
        frame[2] = 0x11;  // UDP follows
        frame[4] = static_cast<uint8_t>(c.word >> 8);
        frame[5] = static_cast<uint8_t>(c.word);
        auto p = Make<tIPv6FragmentationParser>(frame, 2);
        EXPECT_TRUE(p->checkIsPlausible());
        ASSERT_EQ(p->parse(), prSuccess);
        EXPECT_EQ(p->OSILayer(), 3);
        EXPECT_EQ(p->LayerSize(), 8);
        EXPECT_EQ(p->Flags(), c.flags);
        EXPECT_EQ(p->Offset(), c.offset);
        EXPECT_EQ(p->Identification(), 0xDEADBEEFu);
        // Later fragments hand their next header on as well.
        EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrUDP, 10}));
    }
    ExpectPrefixesFail<tIPv6FragmentationParser>(Hex("3a 00 00 09 00 00 00 01"), 8);
}

// ---- ARP ----

TEST(ARPParser, ReplyOverEthernetLeavesTrailer) {
    // Ethernet header, ARP reply, 18 bytes of padding: 60 bytes in all.
    const tBytes arp = Hex(
        "00 01 08 00 06 04 00 02"
        "00 11 22 33 44 55 c0 a8 01 01"
        "66 77 88 99 aa bb c0 a8 01 02");
    const tBytes frame = Cat(Cat(Hex("66 77 88 99 aa bb 00 11 22 33 44 55 08 06"), arp), tBytes(18, 0));
    ASSERT_EQ(frame.size(), 60u);
    auto p = Make<tARPParser>(frame, 14);
    EXPECT_TRUE(p->checkIsPlausible());
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->OSILayer(), 3);
    EXPECT_EQ(p->LayerSize(), 28);
    EXPECT_EQ(p->HardwareType(), 1);
    EXPECT_EQ(p->ProtocolType(), 0x0800);
    EXPECT_EQ(p->HardwareSize(), 6);
    EXPECT_EQ(p->ProtocolSize(), 4);
    EXPECT_EQ(p->OpCode(), 2);
    EXPECT_EQ(p->SenderMAC().DictionaryKey(), "00:11:22:33:44:55");
    EXPECT_EQ(p->SenderIP(), V4(0xC0A80101));
    EXPECT_EQ(p->TargetMAC().DictionaryKey(), "66:77:88:99:AA:BB");
    EXPECT_EQ(p->TargetIP(), V4(0xC0A80102));
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrNoNextHeader, 42}));
    EXPECT_EQ(static_cast<int32_t>(frame.size()) - p->NextAnchor().Offset, 18);
}

TEST(ARPParser, UnknownHardwareTypeReadsFixedLayout) {
    // Hardware type 32 with 20-byte addresses: the Ethernet/IPv4 layout is read anyway.
    const tBytes arp = Hex(
        "00 20 08 00 14 04 00 01"
        "01 02 03 04 05 06 07 08 09 0a"
        "0b 0c 0d 0e 0f 10 11 12 13 14");
    auto p = Make<tARPParser>(arp);
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->HardwareType(), 0x20);
    EXPECT_EQ(p->HardwareSize(), 20);
    EXPECT_EQ(p->ProtocolSize(), 4);
    EXPECT_EQ(p->OpCode(), 1);
    EXPECT_EQ(p->SenderMAC().DictionaryKey(), "01:02:03:04:05:06");
    EXPECT_EQ(p->SenderIP(), V4(0x0708090A));
    EXPECT_EQ(p->TargetMAC().DictionaryKey(), "0B:0C:0D:0E:0F:10");
    EXPECT_EQ(p->TargetIP(), V4(0x11121314));
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrNoNextHeader, 28}));
    ExpectPrefixesFail<tARPParser>(arp, 28);
}

}  // namespace
}  // namespace morwick

namespace morwick {
namespace {

// Random bytes of random length through every network-layer parser; see the link-layer
// tests for the idea.
template <typename F>
void ParseRandomFrames(uint32_t seed, const tBytes& prefix, F make) {
    std::mt19937 rng(seed);
    for (int round = 0; round < 3000; ++round) {
        const size_t length = rng() % 72;
        tBytes frame(length);
        for (auto& b : frame) b = static_cast<uint8_t>(rng());
        if (round % 2 == 0)
            for (size_t i = 0; i < prefix.size() && i < frame.size(); ++i) frame[i] = prefix[i];
        const int32_t offset = length > 0 ? static_cast<int32_t>(rng() % 4 % (length + 1)) : 0;
        auto p = make(frame, offset, round % 3 == 0);
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

TEST(NetworkParsers, RandomBytesAreReadSafely) {
    ParseRandomFrames(11, Hex("4f"), [](const tBytes& f, int32_t o, bool quoted) {
        return MakeIPv4(f, o, 0, quoted);
    });
    ParseRandomFrames(12, Hex("60"), [](const tBytes& f, int32_t o, bool) { return Make<tIPv6Parser>(f, o); });
    ParseRandomFrames(13, {}, [](const tBytes& f, int32_t o, bool) {
        return Make<tIPv6FragmentationParser>(f, o);
    });
    ParseRandomFrames(14, {}, [](const tBytes& f, int32_t o, bool) { return Make<tARPParser>(f, o); });
}

}  // namespace
}  // namespace morwick
