#include "parser/frameparser.h"

#include <gtest/gtest.h>

#include <vector>

namespace morwick {
namespace {

// Exposes the protected readers of the base class.
class tProbeParser : public tSectionParser {
public:
    tProbeParser(const std::vector<uint8_t>& Data, int32_t Offset, int32_t SectionLength = 0)
        : tSectionParser(Data.data(), Offset, static_cast<int32_t>(Data.size()),
                         static_cast<int32_t>(Data.size()), SectionLength, 7) {}
    bool checkIsPlausible() override { return true; }
    tParseResult parse() override { return prSuccess; }

    using tFrameParser::be16;
    using tFrameParser::be32;
    using tFrameParser::be64;
    using tFrameParser::copyBytes;
    using tFrameParser::le16;
    using tFrameParser::le32;
    using tFrameParser::le64;
    using tFrameParser::readByte;
    using tFrameParser::readInt64;
    using tFrameParser::readWord;
    using tFrameParser::u8;
    using tSectionParser::isInSection;
};

TEST(DiagnosticMsg, TableLookupsAndDisplayText) {
    struct tCase {
        int32_t id;
        std::vector<std::string> params;
        std::string_view handle;
        std::string display;
    } cases[] = {
        {MSG_TCP_OPTION_SIZE_EXCEEDS_HEADER_LENGTH, {"48", "40"},
         "MSG_TCP_OPTION_SIZE_EXCEEDS_HEADER_LENGTH",
         "TCP option size of 48 exceeds header length 40"},
        {MSG_TCP_BAD_MSS_OPTION_LEN, {}, "MSG_TCP_BAD_MSS_OPTION_LEN",
         "Bad length for \"TCP MSS\" option encountered. Should be  bytes but was  instead"},
        {MSG_PARSER_OUT_OF_DATA_FOR_LENGTH, {"FQDN Elements", "12", "9", "20"},
         "MSG_PARSER_OUT_OF_DATA_FOR_LENGTH",
         "Parser for FQDN Elements had to abort parsing at offset 12 due to lack of data, trying "
         "to read 9 more bytes. Last available offset was 20"},
        {MSG_DNS_BROKEN_IPV4_RECORD, {"x"}, "MSG_DNS_BROKEN_IPV4_RECORD",
         "MSG_DNS_BROKEN_IPV4_RECORD"},
        {MSG_IP_TOTAL_LENGTH_ZERO, {}, "MSG_IP_TOTAL_LENGTH_ZERO",
         "IP total length is zero, which was probably caused by segment offloading"},
        // The fast-open length message has no table entry: no identifier, no text.
        {MSG_TCP_BAD_FASTOPEN_OPTION_LEN, {"2-18", "20"}, "", ""},
        {0, {}, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        tDiagnosticMsg msg;
        std::string p[4];
        for (size_t i = 0; i < c.params.size(); ++i) p[i] = c.params[i];
        msg.initialize(msWarning, c.id, p[0], p[1], p[2], p[3]);
        EXPECT_EQ(msg.messagehandle, c.handle);
        EXPECT_EQ(getMsgHandleName(c.id), c.handle);
        EXPECT_EQ(msg.DisplayText(), c.display);
        EXPECT_EQ(msg.severity, msWarning);
        EXPECT_EQ(msg.frameindex, 0);
        EXPECT_EQ(msg.parsertype, 0);
        EXPECT_EQ(msg.param1, p[0]);
        EXPECT_EQ(msg.param4, p[3]);
    }
    EXPECT_EQ(getMsgText(MSG_DNS_POINTER_LOOP_EXCEEDED),
              "Error parsing FQDN - following too many pointers");
    EXPECT_EQ(getMsgText(999), "");
}

TEST(DiagnosticMsg, TimestampIsCurrentLocalTime) {
    tDiagnosticMsg msg;
    const tDateTime before = LocalNow();
    msg.initialize(msInfo, MSG_DNS_PARSE_ERROR, "answer");
    const tDateTime after = LocalNow();
    EXPECT_LE(before, msg.timestamp);
    EXPECT_LE(msg.timestamp, after);
    EXPECT_GT(msg.timestamp.Decode().Year, 2000);
    msg.initialize();
    EXPECT_EQ(msg.id, 0);
    EXPECT_EQ(msg.timestamp, tDateTime{});
    EXPECT_EQ(msg.messagehandle, "");
}

TEST(FrameParser, CreateStateAndMessageList) {
    const std::vector<uint8_t> data(30, 0);
    tProbeParser p(data, 4, 10);
    EXPECT_EQ(p.OSILayer(), 0);
    EXPECT_EQ(p.FrameOffset(), 4);
    EXPECT_EQ(p.FrameIndex(), 7);
    EXPECT_EQ(p.LayerSize(), 0);
    EXPECT_EQ(p.LastErrorStatus(), prSuccess);
    EXPECT_EQ(p.NextAnchor(), (tProtocolAnchor{0, 0}));
    EXPECT_EQ(p.ParentAnchor(), (tProtocolAnchor{0, 0}));
    p.setParentAnchor({hdrEthernet, 0});
    EXPECT_EQ(p.ParentAnchor(), (tProtocolAnchor{hdrEthernet, 0}));

    EXPECT_EQ(p.getDiagnosticMsgCount(), 0);
    p.addDiagnosticMsg(msWarning, MSG_TCP_MULTIPLE_MSS_OPTIONS_SPECIFIED);
    p.addDiagnosticMsg(msMajor, MSG_TCP_OPTION_SIZE_EXCEEDS_HEADER_LENGTH, "64", "60");
    tDiagnosticMsg ready;
    ready.initialize(msInfo, MSG_DNS_RECORD_TYPE_SKIPPED, "99");
    p.addDiagnosticMsg(ready);
    ASSERT_EQ(p.getDiagnosticMsgCount(), 3);
    EXPECT_EQ(p.getDiagnosticMsg(1).id, MSG_TCP_MULTIPLE_MSS_OPTIONS_SPECIFIED);
    EXPECT_EQ(p.getDiagnosticMsg(2).DisplayText(),
              "TCP option size of 64 exceeds header length 60");
    EXPECT_EQ(p.getDiagnosticMsg(3).DisplayText(), "Skipping DNS record type 99");
    EXPECT_EQ(p.getDiagnosticMsg(0).id, 0);
    EXPECT_EQ(p.getDiagnosticMsg(4).id, 0);
    p.clearDiagnosticMsgList();
    EXPECT_EQ(p.getDiagnosticMsgCount(), 0);
}

TEST(FrameParser, SequentialReadersCheckBoundsAndByteOrder) {
    const std::vector<uint8_t> data{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    tProbeParser p(data, 0);
    int32_t off = 0;
    EXPECT_EQ(p.readByte(off, true), 0x01);
    EXPECT_EQ(off, 0);
    EXPECT_EQ(p.readByte(off), 0x01);
    EXPECT_EQ(off, 1);
    EXPECT_EQ(p.readWord(off, false, false), 0x0203);
    EXPECT_EQ(p.readWord(off, true, true), 0x0504);
    EXPECT_EQ(off, 3);
    EXPECT_EQ(p.LastErrorStatus(), prSuccess);
    off = 1;
    EXPECT_EQ(p.readInt64(off, false, false), 0x0203040506070809ull);
    EXPECT_EQ(off, 9);
    off = 1;
    EXPECT_EQ(p.readInt64(off, false, true), 0x0908070605040302ull);
    EXPECT_EQ(p.LastErrorStatus(), prSuccess);

    // One byte short: zero, undersize, and the offset still advances.
    off = 2;
    EXPECT_EQ(p.readInt64(off), 0u);
    EXPECT_EQ(off, 10);
    EXPECT_EQ(p.LastErrorStatus(), prFailUndersize);

    tProbeParser q(data, 0);
    off = 8;
    EXPECT_EQ(q.readWord(off, true), 0);
    EXPECT_EQ(off, 8);
    EXPECT_EQ(q.LastErrorStatus(), prFailUndersize);
}

TEST(FrameParser, RandomAccessReadersRejectEveryOutOfRangeRead) {
    const std::vector<uint8_t> data{0xDE, 0xAD, 0xBE, 0xEF, 0x10, 0x20, 0x30, 0x40};
    struct tCase {
        int32_t offset;
        int width;
        bool ok;
    } cases[] = {{0, 8, true}, {1, 8, false}, {4, 4, true}, {5, 4, false}, {6, 2, true},
                 {7, 2, false}, {7, 1, true}, {8, 1, false}, {-1, 1, false},
                 {INT32_MAX, 4, false}, {INT32_MIN, 2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.offset << "/" << c.width);
        tProbeParser p(data, 0);
        uint64_t be = 0, le = 0;
        switch (c.width) {
            case 1: be = le = p.u8(c.offset); break;
            case 2: be = p.be16(c.offset); le = p.le16(c.offset); break;
            case 4: be = p.be32(c.offset); le = p.le32(c.offset); break;
            case 8: be = p.be64(c.offset); le = p.le64(c.offset); break;
        }
        EXPECT_EQ(p.LastErrorStatus(), c.ok ? prSuccess : prFailUndersize);
        if (!c.ok) {
            EXPECT_EQ(be, 0u);
            EXPECT_EQ(le, 0u);
        }
    }
    tProbeParser p(data, 0);
    EXPECT_EQ(p.be32(0), 0xDEADBEEFu);
    EXPECT_EQ(p.le32(0), 0xEFBEADDEu);
    EXPECT_EQ(p.be16(4), 0x1020);
    uint8_t out[4] = {};
    EXPECT_TRUE(p.copyBytes(4, out, 4));
    EXPECT_EQ(out[3], 0x40);
    EXPECT_FALSE(p.copyBytes(5, out, 4));
    EXPECT_EQ(p.LastErrorStatus(), prFailUndersize);
}

TEST(FrameParser, SectionLastOffsetIsBoundedBySectionAndCapture) {
    const std::vector<uint8_t> data(100, 0);
    struct tCase {
        int32_t offset, section, last;
    } cases[] = {{20, 30, 49}, {20, 200, 99}, {20, 0, 19}, {20, -5, 14}, {90, 10, 99}};
    for (const auto& c : cases) {
        tProbeParser p(data, c.offset, c.section);
        EXPECT_EQ(p.SectionLength(), c.section);
        EXPECT_EQ(p.LastOffset(), c.last) << c.offset << "+" << c.section;
    }
    tProbeParser p(data, 20, 30);
    EXPECT_TRUE(p.isInSection(20, 30));
    EXPECT_FALSE(p.isInSection(20, 31));
    EXPECT_FALSE(p.isInSection(19, 1));
}

// A DNS-like message: 12 header bytes, then the bytes of the case.
std::vector<uint8_t> Message(std::initializer_list<uint8_t> body, size_t prefix = 12) {
    std::vector<uint8_t> m(prefix, 0xEE);
    for (uint8_t b : body) m.push_back(b);
    return m;
}

TEST(ReadFQDN, LabelsPointersAndLimits) {
    struct tCase {
        const char* what;
        std::vector<uint8_t> data;
        int32_t nameOffset;
        std::string name;
        int32_t increment;
        tParseResult result;
        int32_t msgId;
    } cases[] = {
        {"root", Message({0}), 12, "", 1, prSuccess, 0},
        {"two labels", Message({5, 'a', 'l', 'p', 'h', 'a', 4, 'b', 'e', 't', 'a', 0}), 12,
         "alpha.beta", 12, prSuccess, 0},
        {"label cut at a zero byte", Message({3, 'a', 0, 'c', 2, 'd', 'e', 0}), 12, "a.de", 8,
         prSuccess, 0},
        // "www" then a pointer to "example" at the start of the message (pointer value 0)
        {"label then pointer",
         Message({7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 0, 3, 'w', 'w', 'w', 0xC0, 0, 0xFF}), 21,
         "www.example", 6, prSuccess, 0},
        {"self pointer", Message({0xC0, 0, 0xFF}), 12, "", 2, prSuccess, 0},
        {"pointer loop through a label", Message({3, 'a', 'b', 'c', 0xC0, 0, 0xFF}), 12,
         "abc.abc.abc.abc.abc.abc.", 6, prSuccess, 0},
        {"pointer to the last byte", Message({0xC0, 2, 0xFF}), 12, "", 0, prFailOutOfBounds,
         MSG_PARSER_OUT_OF_DATA},
        {"pointer beyond the message", Message({2, 'h', 'i', 0xC1, 0x00, 0}), 12, "hi", 3,
         prFailOutOfBounds, MSG_PARSER_OUT_OF_DATA},
        {"label longer than the message", Message({9, 'a', 'b'}), 12, "", 0, prFailOutOfBounds,
         MSG_PARSER_OUT_OF_DATA_FOR_LENGTH},
        {"pointer cut in half", Message({2, 'h', 'i', 0xC0}), 12, "", 3, prFailOutOfBounds,
         MSG_PARSER_OUT_OF_DATA_FOR_LENGTH},
        {"no closing zero", Message({2, 'h', 'i'}), 12, "", 3, prFailOutOfBounds,
         MSG_PARSER_OUT_OF_DATA_FOR_LENGTH},
        {"name offset before the message", Message({0}), 11, "", 0, prFailOutOfBounds, 0},
        {"name offset after the message", Message({0}), 13, "", 0, prFailOutOfBounds, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int32_t sectionLength = static_cast<int32_t>(c.data.size()) - 12;
        const tFQDNResult r = readFQDN(c.data, sectionLength, 12, c.nameOffset);
        EXPECT_EQ(r.Name.FullFQDN, c.name);
        if (r.ParseResult == prSuccess) {
            EXPECT_EQ(r.OffsetIncrement, c.increment);
        }
        EXPECT_EQ(r.ParseResult, c.result);
        EXPECT_EQ(r.Msg.id, c.msgId);
    }
}

TEST(ReadFQDN, MessageParametersAndDepthLimit) {
    const auto data = Message({0xC0, 2, 0xFF});
    const tFQDNResult out = readFQDN(data, 3, 12, 12);
    EXPECT_EQ(out.Msg.severity, msWarning);
    EXPECT_EQ(out.Msg.DisplayText(),
              "Parser for FQDN Pointers had to abort parsing at offset 14 due to lack of data. "
              "Last available offset was 14");

    const auto label = Message({9, 'a', 'b'});
    const tFQDNResult cut = readFQDN(label, 3, 12, 12);
    EXPECT_EQ(cut.Msg.param2, "12");
    EXPECT_EQ(cut.Msg.param3, "9");
    EXPECT_EQ(cut.Msg.param4, "14");

    const auto root = Message({0});
    const tFQDNResult deep = readFQDN(root, 1, 12, 12, 6);
    EXPECT_EQ(deep.ParseResult, prFailParsingLoop);
    EXPECT_EQ(deep.Msg.id, MSG_DNS_POINTER_LOOP_EXCEEDED);
    EXPECT_EQ(deep.Msg.severity, msMajor);
    EXPECT_EQ(deep.Msg.param1, "FQDNs");
    EXPECT_EQ(deep.Msg.param2, "6");
    EXPECT_EQ(deep.Msg.param3, "5");
    EXPECT_EQ(readFQDN(root, 1, 12, 12, 5).ParseResult, prSuccess);
}

TEST(ReadFQDN, SectionLongerThanCapturedBytesIsCut) {
    // The message claims 200 bytes but only 4 were captured: the label must not be read
    // past the captured end.
    const auto data = Message({5, 'a', 'b', 'c'});
    const tFQDNResult r = readFQDN(data, 200, 12, 12);
    EXPECT_EQ(r.ParseResult, prFailOutOfBounds);
    EXPECT_EQ(r.Name.FullFQDN, "");
    EXPECT_EQ(r.Msg.param4, "15");
}

}  // namespace
}  // namespace morwick
