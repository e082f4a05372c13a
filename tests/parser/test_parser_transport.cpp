#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "base/checksums.h"
#include "parser/framebuilder.h"
#include "parser/parser_ipv4.h"
#include "parser/parser_ipv6.h"
#include "parser/parser_tcp.h"
#include "parser/parser_udp.h"

#include "support/bytes.h"

namespace morwick {
namespace {

using test::tBytes;

using test::Cat;
using test::Hex;

constexpr int64_t kFrameIndex = 42;

std::unique_ptr<tTCPParser> MakeTCP(const tBytes& data, int32_t offset, int32_t section,
                                    int32_t extraWire = 0) {
    const auto n = static_cast<int32_t>(data.size());
    return std::make_unique<tTCPParser>(data.data(), offset, n, n + extraWire, section, kFrameIndex);
}

std::unique_ptr<tUDPParser> MakeUDP(const tBytes& data, int32_t offset, int32_t section,
                                    int32_t extraWire = 0) {
    const auto n = static_cast<int32_t>(data.size());
    return std::make_unique<tUDPParser>(data.data(), offset, n, n + extraWire, section, kFrameIndex);
}

// A TCP header from port 0x1234 to 80, sequence 0x01020304, acknowledgement 0x05060708,
// window 0xffff, checksum 0xabcd, urgent pointer 1; the data offset covers the options
// unless DataOffset is given.
tBytes TCPHeader(const tBytes& options, uint16_t flags = 0x018, int dataOffset = -1) {
    const int offset = dataOffset >= 0 ? dataOffset : static_cast<int>(5 + options.size() / 4);
    tBytes h = Hex("12 34 00 50 01 02 03 04 05 06 07 08");
    h.push_back(static_cast<uint8_t>((offset << 4) | ((flags >> 8) & 0x0F)));
    h.push_back(static_cast<uint8_t>(flags));
    h = Cat(h, Hex("ff ff ab cd 00 01"));
    return Cat(h, options);
}

std::vector<tTCPOption> OptionList(const tTCPParser& p) {
    return {p.ExactOptionList().begin(), p.ExactOptionList().end()};
}

std::vector<int32_t> MessageIds(const tFrameParser& p) {
    std::vector<int32_t> ids;
    for (const auto& m : p.DiagnosticMessages()) ids.push_back(m.id);
    return ids;
}

// ---- Flags and sequence numbers ----

TEST(TCPFlags, WordConversionRoundTrip) {
    struct tCase {
        tTCPFlags flag;
        uint16_t bit;
    } cases[] = {
        {tcpFIN, 0x001}, {tcpSYN, 0x002}, {tcpRST, 0x004}, {tcpPSH, 0x008},
        {tcpACK, 0x010}, {tcpURG, 0x020}, {tcpECN, 0x040}, {tcpCWR, 0x080},
        {tcpNON, 0x100}, {tcpRS1, 0x200}, {tcpRS2, 0x400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bit);
        EXPECT_EQ(TCPFlagsToWord(tTCPFlagSet{c.flag}), c.bit);
        EXPECT_EQ(WordToTCPFlags(c.bit), tTCPFlagSet{c.flag});
    }
    for (uint32_t word = 0; word <= 0x7FF; ++word) {
        const auto w = static_cast<uint16_t>(word);
        ASSERT_EQ(TCPFlagsToWord(WordToTCPFlags(w)), w);
    }
    // Bits above the flag field (data offset, reserved bit) are not flags.
    EXPECT_TRUE(WordToTCPFlags(0xF800).empty());
    EXPECT_EQ(WordToTCPFlags(0x5012), (tTCPFlagSet{tcpSYN, tcpACK}));
}

TEST(TCPFlags, SYNAndSYNACKTests) {
    struct tCase {
        tTCPFlagSet flags;
        bool syn;
        bool synack;
    } cases[] = {
        {{tcpSYN}, true, false},
        {{tcpSYN, tcpECN, tcpCWR, tcpNON}, true, false},
        {{tcpSYN, tcpACK}, false, true},
        {{tcpSYN, tcpACK, tcpPSH, tcpECN, tcpCWR, tcpNON}, false, true},
        {{tcpSYN, tcpPSH}, false, false},
        {{tcpSYN, tcpFIN}, false, false},
        {{tcpSYN, tcpACK, tcpFIN}, false, false},
        {{tcpSYN, tcpACK, tcpRST}, false, false},
        {{tcpSYN, tcpACK, tcpURG}, false, false},
        {{tcpSYN, tcpRS1}, false, false},
        {{tcpSYN, tcpACK, tcpRS2}, false, false},
        {{tcpACK}, false, false},
        {{}, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(TCPFlagsToWord(c.flags));
        EXPECT_EQ(isSYNPacket(c.flags), c.syn);
        EXPECT_EQ(isSYNACKPacket(c.flags), c.synack);
    }
}

TEST(TCPSequence, AdditionCountsWraps) {
    struct tCase {
        uint32_t value;
        int32_t wraps;
        uint32_t add;
        uint32_t expectedValue;
        int32_t expectedWraps;
    } cases[] = {
        {10, 2, 5, 15, 2},
        {0xFFFFFFFF, 0, 1, 0, 1},
        {0xFFFFFFF0, 3, 0x20, 0x10, 4},
        {0xFFFFFFFF, 0, 0, 0xFFFFFFFF, 0},
        {0x80000000, 0, 0x80000000, 0, 1},
    };
    for (const auto& c : cases) {
        tTCPSequence s;
        s.initialize(c.value, c.wraps);
        const tTCPSequence r = s + c.add;
        EXPECT_EQ(r.Value, c.expectedValue);
        EXPECT_EQ(r.WrapCount, c.expectedWraps);
    }
    tTCPSequence s;
    s.initialize(5, 5);
    s.initialize();
    EXPECT_EQ(s, tTCPSequence{});
}

// ---- TCP header ----

TEST(TCPParser, ReadsHeaderWithPayload) {
    const tBytes frame = Cat(Cat(Hex("ee ee ee ee"), TCPHeader({}, 0x018)), Hex("01 02 03 04 05 06 07 08 09 0a"));
    auto p = MakeTCP(frame, 4, 30);
    EXPECT_TRUE(p->checkIsPlausible());
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->OSILayer(), 4);
    EXPECT_EQ(p->LayerSize(), 20);
    EXPECT_EQ(p->SourcePort(), 0x1234);
    EXPECT_EQ(p->DestinationPort(), 80);
    EXPECT_EQ(p->PortPair(), (tWordPair{0x1234, 80}));
    EXPECT_EQ(p->SequenceNumber(), (tTCPSequence{0, 0x01020304}));
    EXPECT_EQ(p->AcknowledgeNumber(), (tTCPSequence{0, 0x05060708}));
    EXPECT_EQ(p->HeaderLength(), 20);
    EXPECT_EQ(p->Flags(), (tTCPFlagSet{tcpACK, tcpPSH}));
    EXPECT_EQ(p->WindowSize(), 0xFFFF);
    EXPECT_EQ(p->Checksum(), 0xABCD);
    EXPECT_EQ(p->UrgentPointer(), 1);
    EXPECT_EQ(p->PayloadLength(), 10);
    EXPECT_EQ(p->NextExpectedSequenceNumber(), (tTCPSequence{0, 0x0102030E}));
    EXPECT_FALSE(p->isSYNPacket());
    EXPECT_FALSE(p->isSYNACKPacket());
    EXPECT_FALSE(p->HeaderWasTruncated());
    EXPECT_TRUE(p->TCPOptionsSet().empty());
    EXPECT_TRUE(p->ExactOptionList().empty());
    EXPECT_EQ(p->MSS(), 0);
    EXPECT_EQ(p->Scalefactor().Multiplier, 1);
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrDecideByPorts, 24}));
    EXPECT_EQ(p->getDiagnosticMsgCount(), 0);
    EXPECT_EQ(p->TCPSectionAsWordBuffer(),
              BytesToBufferWords(std::span<const uint8_t>(frame.data() + 4, 30)));
    EXPECT_EQ(p->TCPSectionBytes().data(), frame.data() + 4);
    EXPECT_EQ(p->TCPSectionBytes().size(), 30u);
}

TEST(TCPParser, PayloadLengthAndNextExpectedSequence) {
    struct tCase {
        const char* name;
        uint16_t flags;
        int32_t payload;
        uint32_t advance;
        int32_t next;
    } cases[] = {
        {"SYN without payload", 0x002, 0, 1, hdrNoNextHeader},
        {"SYN/ACK without payload", 0x012, 0, 1, hdrNoNextHeader},
        {"ACK without payload", 0x010, 0, 0, hdrNoNextHeader},
        {"FIN with payload", 0x011, 5, 6, hdrDecideByPorts},
        {"data", 0x018, 7, 7, hdrDecideByPorts},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tBytes frame = Cat(TCPHeader({}, c.flags), tBytes(static_cast<size_t>(c.payload), 0x55));
        auto p = MakeTCP(frame, 0, 20 + c.payload);
        ASSERT_EQ(p->parse(), prSuccess);
        EXPECT_EQ(p->PayloadLength(), c.payload);
        EXPECT_EQ(p->NextExpectedSequenceNumber().Value, 0x01020304u + c.advance);
        EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{c.next, 20}));
    }
    // The sequence number wraps past 2^32.
    tBytes wrap = TCPHeader({}, 0x002);
    for (size_t i = 4; i < 8; ++i) wrap[i] = 0xFF;
    auto p = MakeTCP(wrap, 0, 20);
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_TRUE(p->isSYNPacket());
    EXPECT_EQ(p->NextExpectedSequenceNumber(), (tTCPSequence{1, 0}));
}

TEST(TCPParser, SectionShorterThanHeaderLeavesNoPayload) {
    // A header of 24 bytes in a section of 20: no payload, not a negative one.
    const tBytes frame = TCPHeader(Hex("01 01 01 01"));
    auto p = MakeTCP(frame, 0, 20);
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->PayloadLength(), 0);
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrNoNextHeader, 24}));
}

TEST(TCPParser, DataOffsetBelowFiveIsInvalid) {
    for (int offset = 0; offset < 5; ++offset) {
        SCOPED_TRACE(offset);
        const tBytes frame = Cat(TCPHeader({}, 0x018, offset), tBytes(8, 0));
        auto p = MakeTCP(frame, 0, 28);
        EXPECT_EQ(p->parse(), prFailInvalidValues);
    }
}

TEST(TCPParser, TruncatedHeaderKeepsCoveredFields) {
    const tBytes full = TCPHeader({}, 0x012);
    // Captured bytes -> fields read.
    const uint8_t expected[20] = {0, 0, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7};
    for (int32_t cut = 0; cut < 20; ++cut) {
        SCOPED_TRACE(cut);
        const tBytes prefix(full.begin(), full.begin() + cut);
        auto p = MakeTCP(prefix, 0, 20);
        ASSERT_EQ(p->parse(), prSuccess);
        EXPECT_TRUE(p->HeaderWasTruncated());
        EXPECT_EQ(p->ValuesAvailable(), expected[cut]);
        EXPECT_EQ(p->LayerSize(), cut);
        EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrNoNextHeader, cut}));
        EXPECT_EQ(p->SourcePort(), cut >= 2 ? 0x1234 : 0);
        EXPECT_EQ(p->DestinationPort(), cut >= 4 ? 80 : 0);
        EXPECT_EQ(p->SequenceNumber().Value, cut >= 8 ? 0x01020304u : 0u);
        EXPECT_EQ(p->Flags(), (cut >= 14 ? tTCPFlagSet{tcpSYN, tcpACK} : tTCPFlagSet{}));
        EXPECT_EQ(p->Checksum(), cut >= 18 ? 0xABCD : 0);
        EXPECT_EQ(p->UrgentPointer(), 0);
    }
    // The section, not only the capture, bounds the header.
    auto bySection = MakeTCP(full, 0, 10);
    ASSERT_EQ(bySection->parse(), prSuccess);
    EXPECT_EQ(bySection->ValuesAvailable(), 3);
    EXPECT_EQ(bySection->LayerSize(), 10);
    // A section that ends before the header starts holds nothing of it.
    auto negative = MakeTCP(full, 0, -5);
    ASSERT_EQ(negative->parse(), prSuccess);
    EXPECT_TRUE(negative->HeaderWasTruncated());
    EXPECT_EQ(negative->LayerSize(), 0);
    EXPECT_EQ(negative->NextAnchor(), (tProtocolAnchor{hdrNoNextHeader, 0}));
}

TEST(TCPParser, LargeFramesAreNotTurnedIntoWords) {
    tBytes frame = TCPHeader({});
    frame.resize(9019, 0);
    auto p = MakeTCP(frame, 0, 9019);
    EXPECT_EQ(p->parse(), prFailPayloadTruncated);
    EXPECT_TRUE(p->TCPSectionAsWordBuffer().empty());
    EXPECT_TRUE(p->TCPSectionBytes().empty());
    EXPECT_EQ(p->PayloadLength(), 8999);
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrPayload, 20}));
    frame.resize(9018);
    auto fits = MakeTCP(frame, 0, 9018);
    EXPECT_EQ(fits->parse(), prSuccess);
    EXPECT_EQ(fits->TCPSectionAsWordBuffer().size(), 4509u);
    EXPECT_EQ(fits->TCPSectionBytes().size(), 9018u);
}

TEST(TCPParser, WordsOfSlicedSectionAndOddLength) {
    // Section of 25 bytes of which 23 are captured: twelve words, the last one padded.
    const tBytes frame = Cat(TCPHeader({}), Hex("a1 a2 a3"));
    auto p = MakeTCP(frame, 0, 25, 2);
    ASSERT_EQ(p->parse(), prSuccess);
    ASSERT_EQ(p->TCPSectionAsWordBuffer().size(), 12u);
    EXPECT_EQ(p->TCPSectionAsWordBuffer()[0], 0x1234);
    EXPECT_EQ(p->TCPSectionAsWordBuffer()[10], 0xa1a2);
    EXPECT_EQ(p->TCPSectionAsWordBuffer()[11], 0xa300);
    EXPECT_EQ(p->PayloadLength(), 5);
}

// ---- TCP options ----

TEST(TCPParser, TypicalSYNOptions) {
    const tBytes options = Hex(
        "02 04 05 b4  01  03 03 07  01 01  08 0a 00 00 00 0a 00 00 00 0b  04 02  01 01");
    ASSERT_EQ(options.size(), 24u);
    const tBytes frame = TCPHeader(options, 0x002);
    auto p = MakeTCP(frame, 0, 44);
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->HeaderLength(), 44);
    EXPECT_EQ(p->LayerSize(), 44);
    EXPECT_EQ(p->MSS(), 1460);
    EXPECT_EQ(p->Scalefactor().ShiftCount, 7);
    EXPECT_EQ(p->Scalefactor().Multiplier, 128);
    EXPECT_EQ(p->Timestamp().tsval, 10u);
    EXPECT_EQ(p->Timestamp().tsecho, 11u);
    EXPECT_EQ(OptionList(*p), (std::vector<tTCPOption>{tcpMSS, tcpNOP, tcpScalefactor, tcpNOP, tcpNOP,
                                                         tcpTimestamp, tcpSACKPermitted, tcpNOP, tcpNOP}));
    EXPECT_EQ(p->TCPOptionsSet(),
              (tTCPOptionSet{tcpMSS, tcpNOP, tcpScalefactor, tcpTimestamp, tcpSACKPermitted}));
    EXPECT_EQ(p->TotalOptionLength(), 24);
    EXPECT_EQ(p->getDiagnosticMsgCount(), 0);
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrNoNextHeader, 44}));
}

TEST(TCPParser, OptionWarnings) {
    struct tCase {
        const char* name;
        const char* options;
        std::vector<int32_t> ids;
        std::vector<std::string> params;  // of the first message
        std::vector<tTCPOption> list;
    } cases[] = {
        {"two MSS", "02 04 05 b4 02 04 05 dc", {403}, {}, {tcpMSS, tcpMSS}},
        {"MSS length 3", "02 03 05 01", {400}, {}, {tcpNOP}},
        {"window scale length 4", "03 04 07 01", {400}, {"3", "4"}, {}},
        {"two window scales", "03 03 07 03 03 08 01 01", {405}, {}, {tcpScalefactor, tcpScalefactor, tcpNOP, tcpNOP}},
        {"SACK permitted length 3", "04 03 00 01", {401}, {"2", "3"}, {tcpNOP}},
        {"two SACK permitted", "04 02 04 02", {404}, {}, {tcpSACKPermitted, tcpSACKPermitted}},
        {"two timestamps",
         "08 0a 00 00 00 01 00 00 00 02 08 0a 00 00 00 03 00 00 00 04 01 01 01 01",
         {406}, {}, {tcpTimestamp, tcpTimestamp, tcpNOP, tcpNOP, tcpNOP, tcpNOP}},
        {"data after end of list", "00 00 05 07", {408}, {}, {tcpEOL}},
        {"kind 6", "06 02 01 01", {409}, {"6"}, {tcpNOP, tcpNOP}},
        {"kind 18", "12 02 01 01", {409}, {"18"}, {tcpNOP, tcpNOP}},
        {"kind 19", "13 02 01 01", {407}, {"19"}, {tcpNOP, tcpNOP}},
        {"kind 200", "c8 02 01 01", {407}, {"200"}, {tcpNOP, tcpNOP}},
        {"fast open length 20",
         "22 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00", {411}, {"2-18", "20"}, {}},
        {"fast open length 1", "22 01 01 01", {411}, {"2-18", "1"}, {tcpNOP, tcpNOP, tcpNOP}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tBytes frame = TCPHeader(Hex(c.options));
        auto p = MakeTCP(frame, 0, static_cast<int32_t>(frame.size()));
        ASSERT_EQ(p->parse(), prSuccess);
        EXPECT_EQ(MessageIds(*p), c.ids);
        ASSERT_GE(p->getDiagnosticMsgCount(), 1);
        const tDiagnosticMsg m = p->getDiagnosticMsg(1);
        EXPECT_EQ(m.severity, msWarning);
        EXPECT_EQ(m.param1, c.params.size() > 0 ? c.params[0] : "");
        EXPECT_EQ(m.param2, c.params.size() > 1 ? c.params[1] : "");
        EXPECT_EQ(OptionList(*p), c.list);
    }
}

TEST(TCPParser, RepeatedOptionsKeepLastValue) {
    const tBytes frame = TCPHeader(Hex("02 04 05 b4 02 04 05 dc 03 03 07 03 03 0e 01 01"));
    auto p = MakeTCP(frame, 0, 36);
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->MSS(), 1500);
    EXPECT_EQ(p->Scalefactor().ShiftCount, 14);
    EXPECT_EQ(p->Scalefactor().Multiplier, 16384);
    EXPECT_EQ(MessageIds(*p), (std::vector<int32_t>{403, 405}));
}

TEST(TCPParser, EndOfListTakesRestAsPadding) {
    const tBytes frame = TCPHeader(Hex("02 04 05 b4 01 00 00 00"));
    auto p = MakeTCP(frame, 0, 28);
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(OptionList(*p), (std::vector<tTCPOption>{tcpMSS, tcpNOP, tcpEOL}));
    EXPECT_EQ(p->PaddingLength(), 2);
    EXPECT_EQ(p->PaddingBytes().size(), 2u);
    EXPECT_EQ(p->TotalOptionLength(), 8);
    EXPECT_EQ(p->getDiagnosticMsgCount(), 0);

    // Non-zero padding: one warning, and the bytes are kept.
    const tBytes dirty = TCPHeader(Hex("00 00 05 07"));
    auto d = MakeTCP(dirty, 0, 24);
    ASSERT_EQ(d->parse(), prSuccess);
    EXPECT_EQ(d->PaddingLength(), 3);
    ASSERT_EQ(d->PaddingBytes().size(), 3u);
    EXPECT_EQ(d->PaddingBytes()[0], 0x00);
    EXPECT_EQ(d->PaddingBytes()[1], 0x05);
    EXPECT_EQ(d->PaddingBytes()[2], 0x07);
    EXPECT_EQ(d->TotalOptionLength(), 3);
}

TEST(TCPParser, SACKAndCCOptions) {
    const tBytes frame = TCPHeader(Hex(
        "01 01 05 12 00 00 00 10 00 00 00 20 ff ff ff f0 00 00 00 05"
        "0b 06 00 00 00 01 0c 06 00 00 00 02 0d 06 00 00 00 03 01 01"));
    auto p = MakeTCP(frame, 0, 60);
    ASSERT_EQ(p->parse(), prSuccess);
    ASSERT_EQ(p->SACKRanges().size(), 2u);
    EXPECT_EQ(p->SACKRanges()[0].leftEdge.Value, 0x10u);
    EXPECT_EQ(p->SACKRanges()[0].rightEdge.Value, 0x20u);
    EXPECT_EQ(p->SACKRanges()[1].leftEdge.Value, 0xFFFFFFF0u);
    EXPECT_EQ(p->SACKRanges()[1].rightEdge.Value, 5u);
    EXPECT_EQ(p->SACKRanges()[1].Index, kFrameIndex);
    EXPECT_EQ(p->SACKRanges()[1].Span, 0);
    EXPECT_EQ(OptionList(*p), (std::vector<tTCPOption>{tcpNOP, tcpNOP, tcpSACK, tcpCC, tcpCCNEW,
                                                         tcpCCECHO, tcpNOP, tcpNOP}));
    EXPECT_EQ(p->getDiagnosticMsgCount(), 0);
}

TEST(TCPParser, FastOpenCookie) {
    const tBytes frame = TCPHeader(Hex("22 0a 01 02 03 04 05 06 07 08 01 01"));
    auto p = MakeTCP(frame, 0, 32);
    ASSERT_EQ(p->parse(), prSuccess);
    ASSERT_EQ(p->FastOpenOptionList().size(), 1u);
    const tTCPFastOpenOption& f = p->FastOpenOptionList()[0];
    EXPECT_EQ(f.CookieLength, 8);
    EXPECT_EQ(f.Cookie, (tFastOpenCookie{1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(OptionList(*p), (std::vector<tTCPOption>{tcpFastOpen, tcpNOP, tcpNOP}));
}

TEST(TCPParser, OptionBeyondHeaderLength) {
    // Header length 60, an unknown option of 44 bytes at the start of the options.
    tBytes options = Hex("fe 2c");
    options.resize(40, 0x01);
    const tBytes frame = Cat(TCPHeader(options), tBytes(8, 0x01));
    auto p = MakeTCP(frame, 0, 68);
    ASSERT_EQ(p->parse(), prSuccess);
    ASSERT_EQ(MessageIds(*p), (std::vector<int32_t>{407, 410}));
    const tDiagnosticMsg m = p->getDiagnosticMsg(2);
    EXPECT_EQ(m.severity, msMajor);
    EXPECT_EQ(m.param1, "64");
    EXPECT_EQ(m.param2, "60");
    EXPECT_EQ(m.DisplayText(), "TCP option size of 64 exceeds header length 60");
    EXPECT_EQ(p->LayerSize(), 60);
}

TEST(TCPParser, ZeroOptionLengthStopsParsing) {
    const tBytes frame = TCPHeader(Hex("02 04 05 b4 fe 00 01 01"));
    auto p = MakeTCP(frame, 0, 28);
    EXPECT_EQ(p->parse(), prFailParsingLoop);
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{0, 0}));
}

TEST(TCPParser, OptionsRunningPastCapture) {
    struct tCase {
        const char* name;
        size_t captured;
        std::vector<tTCPOption> list;
    } cases[] = {
        {"no option byte captured", 20, {}},
        {"length byte missing", 25, {tcpMSS}},
        {"option body cut", 27, {tcpMSS}},
    };
    const tBytes full = TCPHeader(Hex("02 04 05 b4 08 0a 00 00 00 01 00 00 00 02 01 01"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tBytes frame(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(c.captured));
        auto p = MakeTCP(frame, 0, 36);
        ASSERT_EQ(p->parse(), prSuccess);
        EXPECT_TRUE(p->TCPOptionsSet().has(tcpOptionsTruncated));
        EXPECT_EQ(OptionList(*p), c.list);
        EXPECT_EQ(p->Timestamp().tsval, 0u);
        EXPECT_EQ(p->PayloadLength(), 0);
        EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrNoNextHeader, 36}));
    }
}

TEST(TCPParser, OptionValuesAreNotReadPastTheSection) {
    // A timestamp option of length 2 as the last captured bytes: its values would lie
    // past the capture and read as 0.
    const tBytes frame = TCPHeader(Hex("01 01 08 02"));
    auto p = MakeTCP(frame, 0, 24);
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_TRUE(p->TCPOptionsSet().has(tcpTimestamp));
    EXPECT_EQ(p->Timestamp().tsval, 0u);
    EXPECT_EQ(p->Timestamp().tsecho, 0u);
}

TEST(TCPParser, MultipathSubtypes) {
    struct tCase {
        const char* name;
        const char* option;
        tTCPMultiPathOption expected;
    };
    auto mp = [](tTCPMPathSubType type, auto fill) {
        tTCPMultiPathOption o;
        o.subType = type;
        fill(o);
        return o;
    };
    tIPv6Address v6;
    v6.setValueFromString("2001:db8::5");
    const tCase cases[] = {
        {"capable", "1e 0c 01 81 01 02 03 04 05 06 07 08",
         mp(mtcpCapable, [](auto& o) {
             o.TCPVersion = 1;
             o.MPathFlags = {tmpChecksumReq, tmpCryptoUseHMAC};
             o.SendersKey = 0x0102030405060708;
         })},
        {"capable with both keys", "1e 14 00 40 00 00 00 00 00 00 00 0a 00 00 00 00 00 00 00 0b 01 01 01 01",
         mp(mtcpCapable, [](auto& o) {
             o.MPathFlags = {tmpExtensibility};
             o.SendersKey = 0x0a;
             o.ReceiversKey = 0x0b;
         })},
        {"join", "1e 0c 11 05 aa bb cc dd 11 22 33 44",
         mp(mtcpJoinConnection, [](auto& o) {
             o.MPathFlags = {tmpBackup};
             o.AddressID = 5;
             o.ReceiversToken = 0xaabbccdd;
             o.SendersRndNr = 0x11223344;
         })},
        {"data sequence, short numbers", "1e 0c 20 05 00 00 00 10 00 00 00 20",
         mp(mtcpDataSequenceSignal, [](auto& o) {
             o.MPathFlags = {tmpDNSetcPresent, tmpDataACKpresent};
             o.ACKNumber = 0x10;
             o.SEQNumber = 0x20;
         })},
        {"data sequence, long numbers", "1e 14 20 1f 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 02 01 01 01 01",
         mp(mtcpDataSequenceSignal, [](auto& o) {
             o.MPathFlags = {tmpDataFin, tmpDataSeq8Octets, tmpDNSetcPresent, tmpDataACK8Octets, tmpDataACKpresent};
             o.ACKNumber = 1;
             o.SEQNumber = 2;
         })},
        {"add IPv4 address with port", "1e 0a 34 07 0a 00 00 01 1f 90 01 01",
         mp(mtcpAddAddress, [](auto& o) {
             o.IPVersion = 4;
             o.AddressID = 7;
             o.IPv4Address.initialize(0x0a000001);
             o.TCPPort = 8080;
         })},
        {"add IPv4 address", "1e 08 34 07 0a 00 00 01",
         mp(mtcpAddAddress, [](auto& o) {
             o.IPVersion = 4;
             o.AddressID = 7;
             o.IPv4Address.initialize(0x0a000001);
         })},
        {"add IPv6 address with port", "1e 16 36 02 20 01 0d b8 00 00 00 00 00 00 00 00 00 00 00 05 00 50 01 01",
         mp(mtcpAddAddress, [&](auto& o) {
             o.IPVersion = 6;
             o.AddressID = 2;
             o.IPv6Address = v6;
             o.TCPPort = 80;
         })},
        {"remove address", "1e 04 40 09", mp(mtcpRemovAddress, [](auto& o) { o.AddressID = 9; })},
        {"subflow priority", "1e 03 51 01", mp(mtcpSubflowPrio, [](auto& o) { o.MPathFlags = {tmpBackup}; })},
        {"fallback", "1e 0c 60 00 00 00 00 00 00 00 0a bc",
         mp(mtcpFallback, [](auto& o) { o.DataSequenceNr = 0xabc; })},
        {"fast close", "1e 0c 70 00 11 22 33 44 55 66 77 88",
         mp(mtcpFastClose, [](auto& o) { o.ReceiversKey = 0x1122334455667788; })},
        {"unknown subtype", "1e 04 f0 00", mp(mtcpNone, [](auto&) {})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tBytes option = Hex(c.option);
        const tBytes frame = TCPHeader(option);
        auto p = MakeTCP(frame, 0, static_cast<int32_t>(frame.size()));
        ASSERT_EQ(p->parse(), prSuccess);
        EXPECT_EQ(p->getDiagnosticMsgCount(), 0);
        ASSERT_EQ(p->MultiPathOptionList().size(), 1u);
        ASSERT_FALSE(p->ExactOptionList().empty());
        EXPECT_EQ(p->ExactOptionList()[0], tcpMPath);
        const tTCPMultiPathOption& o = p->MultiPathOptionList()[0];
        const tTCPMultiPathOption& e = c.expected;
        EXPECT_EQ(o.optionlength, option[1]);
        EXPECT_EQ(o.subType, e.subType);
        EXPECT_EQ(o.TCPVersion, e.TCPVersion);
        EXPECT_EQ(o.IPVersion, e.IPVersion);
        EXPECT_EQ(o.MPathFlags, e.MPathFlags);
        EXPECT_EQ(o.SendersKey, e.SendersKey);
        EXPECT_EQ(o.ReceiversKey, e.ReceiversKey);
        EXPECT_EQ(o.AddressID, e.AddressID);
        EXPECT_EQ(o.ReceiversToken, e.ReceiversToken);
        EXPECT_EQ(o.SendersRndNr, e.SendersRndNr);
        EXPECT_EQ(o.ACKNumber, e.ACKNumber);
        EXPECT_EQ(o.SEQNumber, e.SEQNumber);
        EXPECT_EQ(o.IPv4Address, e.IPv4Address);
        EXPECT_EQ(o.IPv6Address, e.IPv6Address);
        EXPECT_EQ(o.TCPPort, e.TCPPort);
        EXPECT_EQ(o.DataSequenceNr, e.DataSequenceNr);
    }
}

// ---- UDP ----

TEST(UDPParser, ReadsHeaderAndChoosesNextLayer) {
    struct tCase {
        const char* name;
        const char* datagram;
        int32_t section;
        int32_t next;
    } cases[] = {
        {"empty datagram", "00 35 c0 00 00 08 12 34", 8, hdrNoNextHeader},
        {"payload", "00 35 c0 00 00 0c 12 34 61 62 63 64", 12, hdrDecideByPorts},
        {"RTPS", "1c e8 1c e9 00 10 12 34 52 54 50 53 02 01 01 0f", 16, hdrRTPS},
        {"RTPS magic but section too short", "1c e8 1c e9 00 0e 12 34 52 54 50 53 02 01", 13, hdrDecideByPorts},
        {"RTPS lower case", "1c e8 1c e9 00 10 12 34 72 74 70 73 02 01 01 0f", 16, hdrDecideByPorts},
        {"length claims payload, none captured", "00 35 c0 00 00 0c 12 34", 12, hdrNoNextHeader},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tBytes frame = Cat(Hex("ee ee"), Hex(c.datagram));
        auto p = MakeUDP(frame, 2, c.section);
        EXPECT_TRUE(p->checkIsPlausible());
        ASSERT_EQ(p->parse(), prSuccess);
        EXPECT_EQ(p->OSILayer(), 4);
        EXPECT_EQ(p->LayerSize(), 8);
        EXPECT_EQ(p->SourcePort(), (frame[2] << 8) | frame[3]);
        EXPECT_EQ(p->DestinationPort(), (frame[4] << 8) | frame[5]);
        EXPECT_EQ(p->PortPair(), (tWordPair{p->SourcePort(), p->DestinationPort()}));
        EXPECT_EQ(p->Length(), (frame[6] << 8) | frame[7]);
        EXPECT_EQ(p->Checksum(), 0x1234);
        EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{c.next, 10}));
    }
}

TEST(UDPParser, SectionWords) {
    // Length 11: six words, the last one padded with a zero byte.
    const tBytes frame = Hex("00 35 00 35 00 0b 00 00 a1 a2 a3 ff");
    auto p = MakeUDP(frame, 0, 11);
    ASSERT_EQ(p->parse(), prSuccess);
    EXPECT_EQ(p->UDPSectionAsWordBuffer(),
              (tBufferWords{0x0035, 0x0035, 0x000b, 0x0000, 0xa1a2, 0xa300}));
    // A length past the captured bytes takes only what was captured.
    const tBytes longer = Hex("00 35 00 35 00 40 00 00 a1 a2");
    auto q = MakeUDP(longer, 0, 64);
    ASSERT_EQ(q->parse(), prSuccess);
    EXPECT_EQ(q->UDPSectionAsWordBuffer(), (tBufferWords{0x0035, 0x0035, 0x0040, 0x0000, 0xa1a2}));
    // The checksum bytes are the same span of the frame.
    EXPECT_EQ(p->UDPSectionBytes().data(), frame.data());
    EXPECT_EQ(p->UDPSectionBytes().size(), 11u);
    EXPECT_EQ(q->UDPSectionBytes().size(), 10u);
}

TEST(UDPParser, SlicedFrameStillHandsPayloadOn) {
    const tBytes frame = Hex("00 35 c0 00 00 20 12 34 61 62 63 64");
    auto p = MakeUDP(frame, 0, 32, 20);
    EXPECT_EQ(p->parse(), prFailPayloadTruncated);
    EXPECT_TRUE(p->UDPSectionAsWordBuffer().empty());
    EXPECT_TRUE(p->UDPSectionBytes().empty());
    EXPECT_EQ(p->Length(), 32);
    EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{hdrDecideByPorts, 8}));
}

TEST(UDPParser, ShortHeaderFails) {
    const tBytes full = Hex("00 35 c0 00 00 08 12 34");
    for (int32_t cut = 0; cut < 8; ++cut) {
        SCOPED_TRACE(cut);
        const tBytes prefix(full.begin(), full.begin() + cut);
        auto p = MakeUDP(prefix, 0, 8);
        EXPECT_EQ(p->parse(), prFailUndersize);
        EXPECT_EQ(p->NextAnchor(), (tProtocolAnchor{0, 0}));
    }
}

// ---- Checksum words against frames built with correct checksums ----

TEST(TransportChecksums, WordsAndPseudoHeadersVerifyBuiltFrames) {
    using test::IPv4;
    using test::IPv6;
    using test::tFrameBuilder;
    struct tCase {
        const char* name;
        bool ipv6;
        bool udp;
        size_t payload;
    } cases[] = {
        {"TCP over IPv4, even payload", false, false, 10},
        {"TCP over IPv4, odd payload", false, false, 7},
        {"TCP over IPv6", true, false, 5},
        {"UDP over IPv4", false, true, 9},
        {"UDP over IPv6", true, true, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tFrameBuilder b;
        b.ethernet(c.ipv6 ? 0x86DD : 0x0800);
        const uint8_t proto = c.udp ? 17 : 6;
        if (c.ipv6) {
            b.ipv6(IPv6(0x2001, 1), IPv6(0x2001, 2), proto);
        } else {
            b.ipv4(IPv4("10.0.0.1"), IPv4("10.0.0.2"), proto);
        }
        if (c.udp) {
            b.udp(5000, 53);
        } else {
            b.tcp(40000, 443, 0x18, 7, 9, Hex("02 04 05 b4"));
        }
        b.payload(c.payload);
        const tBytes frame = b.build();
        const auto n = static_cast<int32_t>(frame.size());

        uint16_t computed = 0;
        uint16_t carried = 0;
        if (c.ipv6) {
            tIPv6Parser ip(frame.data(), 14, n, n, 1);
            ASSERT_EQ(ip.parse(), prSuccess);
            const int32_t at = ip.NextAnchor().Offset;
            if (c.udp) {
                tUDPParser udp(frame.data(), at, n, n, ip.PayloadLength(), 1);
                ASSERT_EQ(udp.parse(), prSuccess);
                computed = UDPv6Checksum(ip.PseudoHeader(), udp.UDPSectionAsWordBuffer());
                carried = udp.Checksum();
            } else {
                tTCPParser tcp(frame.data(), at, n, n, ip.PayloadLength(), 1);
                ASSERT_EQ(tcp.parse(), prSuccess);
                computed = TCPv6Checksum(ip.PseudoHeader(), tcp.TCPSectionAsWordBuffer());
                carried = tcp.Checksum();
            }
        } else {
            tIPv4Parser ip(frame.data(), 14, n, n, false, 1);
            ASSERT_EQ(ip.parse(), prSuccess);
            EXPECT_EQ(IPv4HeaderChecksum(ip.HeaderAsWordBuffer(), ip.IHL()), ip.Checksum());
            const int32_t at = ip.NextAnchor().Offset;
            if (c.udp) {
                tUDPParser udp(frame.data(), at, n, n, ip.IPPayloadLength(), 1);
                ASSERT_EQ(udp.parse(), prSuccess);
                computed = UDPv4Checksum(ip.PseudoHeader(), udp.UDPSectionAsWordBuffer());
                carried = udp.Checksum();
            } else {
                tTCPParser tcp(frame.data(), at, n, n, ip.IPPayloadLength(), 1);
                ASSERT_EQ(tcp.parse(), prSuccess);
                EXPECT_EQ(tcp.MSS(), 1460);
                EXPECT_EQ(tcp.PayloadLength(), static_cast<int32_t>(c.payload));
                computed = TCPv4Checksum(ip.PseudoHeader(), tcp.TCPSectionAsWordBuffer());
                carried = tcp.Checksum();
            }
        }
        EXPECT_EQ(computed, carried);
    }
}

}  // namespace
}  // namespace morwick

namespace morwick {
namespace {

// Random bytes of random length and random section lengths through the transport
// parsers: every option path must stay inside the captured bytes and the section.
TEST(TransportParsers, RandomBytesAreReadSafely) {
    std::mt19937 rng(21);
    for (int round = 0; round < 6000; ++round) {
        const size_t length = rng() % 96;
        tBytes frame(length);
        for (auto& b : frame) b = static_cast<uint8_t>(rng());
        // Half the TCP headers get a plausible data offset and a run of real option kinds.
        if (round % 2 == 0 && length > 13) {
            frame[12] = static_cast<uint8_t>((5 + rng() % 11) << 4);
            for (size_t i = 20; i < length; ++i)
                if (rng() % 3 == 0) frame[i] = static_cast<uint8_t>(rng() % 36);
        }
        const int32_t offset = length > 0 ? static_cast<int32_t>(rng() % 4 % (length + 1)) : 0;
        const int32_t section = static_cast<int32_t>(rng() % 120) - 10;
        auto tcp = MakeTCP(frame, offset, section, static_cast<int32_t>(rng() % 2));
        const tParseResult r = tcp->parse();
        if (r == prSuccess || r == prFailPayloadTruncated) {
            ASSERT_GE(tcp->NextAnchor().Offset, offset);
            ASSERT_GE(tcp->LayerSize(), 0);
            ASSERT_GE(tcp->PayloadLength(), 0);
            ASSERT_LE(tcp->ExactOptionList().size(), 40u);
        } else {
            ASSERT_TRUE(r == prFailParsingLoop || r == prFailInvalidValues) << int{r};
        }
        auto udp = MakeUDP(frame, offset, section, static_cast<int32_t>(rng() % 2));
        const tParseResult u = udp->parse();
        if (u == prSuccess || u == prFailPayloadTruncated) {
            ASSERT_EQ(udp->NextAnchor().Offset, offset + 8);
        } else {
            ASSERT_EQ(u, prFailUndersize);
        }
    }
}

}  // namespace
}  // namespace morwick
