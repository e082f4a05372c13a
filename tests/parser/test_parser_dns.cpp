#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/rawframe.h"
#include "loader/traceloader.h"
#include "parser/framebuilder.h"
#include "parser/parsemaster.h"
#include "parser/parser_dns.h"
#include "parser/parser_udp.h"

#include "support/bytes.h"

namespace morwick {
namespace {

using tBytes = std::vector<uint8_t>;

// The message sits behind a few bytes of lower layers and is followed by bytes that are
// not part of it (link-layer padding), so reads past the message would be noticed.
constexpr int32_t kPrefix = 20;
constexpr uint8_t kPrefixByte = 0xEE;
const tBytes kTrailer = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                         0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
constexpr int64_t kFrameIndex = 77;

constexpr uint16_t tA = 1, tNS = 2, tCNAME = 5, tSOA = 6, tPTR = 12, tMX = 15, tTXT = 16,
                   tAAAA = 28, tSRV = 33, tSIG = 24, tOPT = 41;

using test::Cat;
tBytes BE16(uint16_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }
tBytes BE32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

tBytes Header(uint16_t Flags, uint16_t C4, uint16_t C6 = 0, uint16_t C8 = 0, uint16_t C10 = 0,
              uint16_t ID = 0xBEEF) {
    return Cat({BE16(ID), BE16(Flags), BE16(C4), BE16(C6), BE16(C8), BE16(C10)});
}
// Labels, then a compression pointer to PointerTo (offset in the message) or the root.
tBytes Name(std::initializer_list<std::string_view> Labels, int PointerTo = -1) {
    tBytes out;
    for (std::string_view l : Labels) {
        out.push_back(static_cast<uint8_t>(l.size()));
        out.insert(out.end(), l.begin(), l.end());
    }
    if (PointerTo >= 0) {
        const tBytes p = BE16(static_cast<uint16_t>(0xC000 | PointerTo));
        out.insert(out.end(), p.begin(), p.end());
    } else {
        out.push_back(0);
    }
    return out;
}
tBytes Ptr(int To) { return Name({}, To); }
tBytes Question(const tBytes& Owner, uint16_t Type, uint16_t Class = 1) {
    return Cat({Owner, BE16(Type), BE16(Class)});
}
// A resource record; Length < 0 announces the data's own size.
tBytes RR(const tBytes& Owner, uint16_t Type, const tBytes& Data, int Length = -1,
          uint32_t TTL = 300) {
    const auto len = static_cast<uint16_t>(Length < 0 ? static_cast<int>(Data.size()) : Length);
    return Cat({Owner, BE16(Type), BE16(1), BE32(TTL), BE16(len), Data});
}
tBytes V4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return {a, b, c, d}; }
tBytes V6DocOne() { return {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01}; }

// Offsets in the common question "www.example.com": the name starts right after the header.
constexpr int kWWW = 12;
constexpr int kExample = 16;
tBytes WWWQuestion(uint16_t Type = tA) { return Question(Name({"www", "example", "com"}), Type); }
constexpr int kAfterWWWQuestion = 12 + 17 + 4;

struct tParsed {
    tBytes frame;
    std::unique_ptr<tDNSParser> parser;
    tParseResult result = prNotParsed;
};

// Places Message in a frame and parses it with a section SectionAdjust bytes off its size.
std::unique_ptr<tParsed> Parse(const tBytes& Message, int SectionAdjust = 0, bool Skip = false) {
    auto p = std::make_unique<tParsed>();
    p->frame.assign(kPrefix, kPrefixByte);
    p->frame.insert(p->frame.end(), Message.begin(), Message.end());
    p->frame.insert(p->frame.end(), kTrailer.begin(), kTrailer.end());
    const auto n = static_cast<int32_t>(p->frame.size());
    p->parser = std::make_unique<tDNSParser>(p->frame.data(), kPrefix, n, n,
                                             static_cast<int32_t>(Message.size()) + SectionAdjust,
                                             kFrameIndex);
    p->parser->setParentAnchor({hdrUDP, kPrefix - 8});
    p->parser->setSkipWarningAboutUnknownRecTypes(Skip);
    p->result = p->parser->parse();
    return p;
}

std::string Dec(int64_t v) { return std::to_string(v); }

struct tCase {
    const char* Label;
    tBytes Message;
    tParseResult Result;
    std::vector<std::string> Questions;  // names of the parsed questions
    std::vector<std::string> Answers;    // "owner=answer" of the parsed answer records
    std::vector<std::pair<int32_t, std::string>> Messages;  // id and first parameter
    std::function<void(const tDNSParser&)> More = nullptr;
    int SectionAdjust = 0;
    bool Skip = false;
};

std::vector<tCase> Cases() {
    std::vector<tCase> cases;

    cases.push_back({"standard query", Cat({Header(0x0100, 1), WWWQuestion()}), prSuccess,
                     {"www.example.com"}, {}, {}, [](const tDNSParser& d) {
                         EXPECT_FALSE(d.isResponse());
                         EXPECT_EQ(d.QueryRecordSet()[0].RecordType, dnsrtA);
                         EXPECT_EQ(d.QueryRecordSet()[0].RecordClass, dnsrcInternet);
                     }});

    {
        // www.example.com CNAME web.example.com, which has an A and an AAAA record.
        const tBytes cname = RR(Ptr(kWWW), tCNAME, Name({"web"}, kExample));
        const int web = kAfterWWWQuestion + 2 + 10;
        cases.push_back({"response with CNAME chain",
                         Cat({Header(0x8180, 1, 3), WWWQuestion(), cname,
                              RR(Ptr(web), tA, V4(192, 0, 2, 1)), RR(Ptr(web), tAAAA, V6DocOne())}),
                         prSuccess,
                         {"www.example.com"},
                         {"www.example.com=web.example.com", "web.example.com=192.0.2.1",
                          "web.example.com=2001:db8::1"},
                         {},
                         [](const tDNSParser& d) {
                             const auto& a = d.AnswerRecordSet();
                             EXPECT_EQ(a[0].RecordType, dnsrtCNAME);
                             EXPECT_EQ(a[1].RecordType, dnsrtA);
                             EXPECT_EQ(a[1].TTL, 300u);
                             EXPECT_EQ(a[1].Length, 4);
                             EXPECT_EQ(a[2].RecordType, dnsrtAAAA);
                             EXPECT_EQ(a[2].Answer.AnswerType, nraIPAddress);
                         }});
    }

    // An owner name that points at itself ends with an empty name.
    cases.push_back({"self-pointer", Cat({Header(0x8180, 1, 1), WWWQuestion(),
                                          RR(Ptr(kAfterWWWQuestion), tA, V4(10, 0, 0, 1))}),
                     prSuccess, {"www.example.com"}, {"=10.0.0.1"}, {}});

    // "abc" then a pointer back to it: five nested pointers are followed.
    cases.push_back({"pointer loop", Cat({Header(0x0100, 1), Question(Name({"abc"}, 12), tA)}),
                     prSuccess, {"abc.abc.abc.abc.abc.abc."}, {}, {}});

    cases.push_back({"owner pointer beyond the message",
                     Cat({Header(0x8180, 1, 2), WWWQuestion(), RR(Ptr(kWWW), tA, V4(192, 0, 2, 1)),
                          RR(Ptr(0x3FF0), tA, V4(192, 0, 2, 2))}),
                     prFailUndersize,
                     {"www.example.com"},
                     {"www.example.com=192.0.2.1"},
                     {{MSG_PARSER_OUT_OF_DATA, "FQDN Pointers"}, {MSG_DNS_PARSE_ERROR, "Answer Records"}}});

    {
        const tBytes soaData = Cat({Name({"ns1"}, kExample), Name({"hostmaster"}, kExample),
                                    BE32(2024010101), BE32(7200), BE32(900), BE32(1209600), BE32(3600)});
        cases.push_back({"NXDOMAIN with SOA authority",
                         Cat({Header(0x8183, 1, 0, 1), WWWQuestion(), RR(Ptr(kExample), tSOA, soaData)}),
                         prSuccess,
                         {"www.example.com"},
                         {},
                         {},
                         [](const tDNSParser& d) {
                             EXPECT_EQ(d.ReplyCode(), dnsrcNXDomain);
                             ASSERT_EQ(d.NSRecordSet().size(), 1u);
                             const tDNSAnswerRecord& soa = d.NSRecordSet()[0];
                             EXPECT_EQ(soa.Name.FullFQDN, "example.com");
                             EXPECT_EQ(soa.NameServer.FullFQDN, "ns1.example.com");
                             EXPECT_EQ(soa.Answer.asString(), "ns1.example.com");
                             EXPECT_EQ(soa.Mailbox.FullFQDN, "hostmaster.example.com");
                             EXPECT_EQ(soa.SerialNumber, 2024010101u);
                             EXPECT_EQ(soa.RefreshInterval, 7200u);
                             EXPECT_EQ(soa.RetryInterval, 900u);
                             EXPECT_EQ(soa.ExpirationLimit, 1209600u);
                             EXPECT_EQ(soa.MinimumTTL, 3600u);
                         }});
    }

    {
        // The second string claims 9 bytes where 2 are left; the record after it still
        // starts where the announced length says.
        const tBytes txt = {5, 'h', 'e', 'l', 'l', 'o', 9, 'w', 'o'};
        cases.push_back({"TXT with a bad string length",
                         Cat({Header(0x8180, 1, 2), WWWQuestion(tTXT), RR(Ptr(kWWW), tTXT, txt),
                              RR(Ptr(kWWW), tA, V4(192, 0, 2, 7))}),
                         prSuccess,
                         {"www.example.com"},
                         {"www.example.com=", "www.example.com=192.0.2.7"},
                         {{MSG_DNS_TXT_RECORD_LENGTH_INVALID, ""}},
                         [](const tDNSParser& d) {
                             EXPECT_EQ(d.AnswerRecordSet()[0].Txt,
                                       (std::vector<std::string>{"hello", "wo"}));
                         }});
        // A string that fills its record exactly is fine; a zero byte cuts the text.
        const tBytes good = {3, 'a', 'b', 'c', 4, 'x', 0, 'y', 'z'};
        cases.push_back({"TXT strings", Cat({Header(0x8180, 1, 1), WWWQuestion(tTXT), RR(Ptr(kWWW), tTXT, good)}),
                         prSuccess, {"www.example.com"}, {"www.example.com="}, {},
                         [](const tDNSParser& d) {
                             EXPECT_EQ(d.AnswerRecordSet()[0].Txt,
                                       (std::vector<std::string>{"abc", "x"}));
                         }});
    }

    {
        // SIG is skipped with its (historic) name; an OPT without data raises nothing.
        const tBytes sig = Cat({Header(0x8180, 1, 1, 0, 1), WWWQuestion(), RR(Ptr(kWWW), tSIG, V4(1, 2, 3, 4)),
                                RR(Name({}), tOPT, {})});
        cases.push_back({"SIG record skipped", sig, prSuccess, {"www.example.com"},
                         {"www.example.com="}, {{MSG_DNS_RECORD_TYPE_SKIPPED, "SIC"}},
                         [](const tDNSParser& d) {
                             ASSERT_EQ(d.AdditionalRecordSet().size(), 1u);
                             EXPECT_EQ(d.AdditionalRecordSet()[0].RecordType, dnsrtOPT);
                         }});
        cases.push_back({"SIG record skipped quietly", sig, prSuccess, {"www.example.com"},
                         {"www.example.com="}, {}, nullptr, 0, true});
    }

    cases.push_back({"11 bytes", tBytes(11, 0), prFailUndersize, {}, {}, {}});
    cases.push_back({"12 bytes announcing a question", Header(0x0100, 1), prFailUndersize, {}, {}, {}});
    cases.push_back({"12 bytes announcing nothing", Header(0x8182, 0), prSuccess, {}, {}, {},
                     [](const tDNSParser& d) { EXPECT_EQ(d.ReplyCode(), dnsrcServFail); }});
    cases.push_back({"13 bytes", Cat({Header(0x0100, 1), {0}}), prFailTruncated, {}, {}, {}});
    cases.push_back({"question without its class",
                     Cat({Header(0x0100, 1), Name({"www", "example", "com"}), BE16(tA)}),
                     prFailUndersize, {}, {}, {{MSG_DNS_PARSE_ERROR, ""}}});

    cases.push_back({"update message",
                     Cat({Header(0x2800, 1, 0, 1), Question(Name({"example", "com"}), tSOA),
                          RR(Name({"host"}, 12), tA, V4(192, 0, 2, 9))}),
                     prSuccess,
                     {},
                     {},
                     {},
                     [](const tDNSParser& d) {
                         EXPECT_EQ(d.OpCode(), dnsocUpdate);
                         EXPECT_EQ(d.QueryCount(), 0);
                         EXPECT_EQ(d.ZoneCount(), 1);
                         EXPECT_EQ(d.UpdatesCount(), 1);
                         ASSERT_EQ(d.ZoneRecordSet().size(), 1u);
                         EXPECT_EQ(d.ZoneRecordSet()[0].Name.FullFQDN, "example.com");
                         EXPECT_EQ(d.ZoneRecordSet()[0].RecordType, dnsrtSOA);
                         ASSERT_EQ(d.UpdateRecordSet().size(), 1u);
                         EXPECT_EQ(d.UpdateRecordSet()[0].Name.FullFQDN, "host.example.com");
                         EXPECT_EQ(d.UpdateRecordSet()[0].Answer.asString(), "192.0.2.9");
                     }});

    {
        const tBytes msg = Cat({Header(0x8180, 1, 1), WWWQuestion(), RR(Ptr(kWWW), tA, V4(192, 0, 2, 1))});
        cases.push_back({"A record ending at the last byte", msg, prSuccess, {"www.example.com"},
                         {"www.example.com=192.0.2.1"}, {}});
        const auto size = static_cast<int64_t>(msg.size());
        cases.push_back({"A record one byte short", msg, prSuccess, {"www.example.com"},
                         {"www.example.com="}, {{MSG_DNS_ANSWER_PARSE_ERROR, Dec(kPrefix + size)}},
                         [size](const tDNSParser& d) {
                             EXPECT_EQ(d.getDiagnosticMsg(1).param2, Dec(kPrefix + size - 2));
                             EXPECT_EQ(d.getDiagnosticMsg(1).severity, msCritical);
                         },
                         -1});
        // Type, class, TTL and length cut by the message end: the bytes behind the
        // message must not be taken for the rest of the record.
        const tBytes cut = Cat({Header(0x8180, 1, 1), WWWQuestion(), Ptr(kWWW), BE16(tA), BE16(1), {0}});
        cases.push_back({"record cut in its fixed part", cut, prFailUndersize, {"www.example.com"}, {},
                         {{MSG_DNS_PARSE_ERROR, "Answer Records"}}});
    }

    // A record with 6 data bytes: four are read, the next record starts after all six.
    cases.push_back({"A record of length 6",
                     Cat({Header(0x8180, 1, 2), WWWQuestion(),
                          RR(Ptr(kWWW), tA, {192, 0, 2, 1, 0xC0, 0x0C}), RR(Ptr(kWWW), tA, V4(192, 0, 2, 2))}),
                     prSuccess,
                     {"www.example.com"},
                     {"www.example.com=192.0.2.1", "www.example.com=192.0.2.2"},
                     {{MSG_DNS_BROKEN_IPV4_RECORD, ""}}});
    // A data length of 32768 or more is far beyond any UDP message.
    cases.push_back({"huge data length",
                     Cat({Header(0x8180, 1, 1), WWWQuestion(), RR(Ptr(kWWW), tAAAA, V6DocOne(), 0xFFF0)}),
                     prSuccess,
                     {"www.example.com"},
                     {"www.example.com=2001:db8::1"},
                     {{MSG_DNS_ANSWER_PARSE_ERROR, Dec(kPrefix + kAfterWWWQuestion + 12 + 0xFFF0)},
                      {MSG_DNS_BROKEN_IPV6_RECORD, ""}}});
    cases.push_back({"huge data length before another record",
                     Cat({Header(0x8180, 1, 2), WWWQuestion(), RR(Ptr(kWWW), tA, V4(192, 0, 2, 1), 0x8004),
                          RR(Ptr(kWWW), tA, V4(192, 0, 2, 2))}),
                     prFailUndersize,
                     {"www.example.com"},
                     {"www.example.com=192.0.2.1"},
                     {{MSG_DNS_ANSWER_PARSE_ERROR, Dec(kPrefix + kAfterWWWQuestion + 12 + 0x8004)},
                      {MSG_DNS_BROKEN_IPV4_RECORD, ""},
                      {MSG_DNS_PARSE_ERROR, "Answer Records"}}});

    {
        // PTR, NS, MX and SRV data in one response.
        const tBytes msg = Cat({Header(0x8580, 1, 4), WWWQuestion(),
                                RR(Ptr(kWWW), tPTR, Name({"host"}, kExample)),
                                RR(Ptr(kExample), tNS, Name({"ns1"}, kExample)),
                                RR(Ptr(kExample), tMX, Cat({BE16(10), Name({"mail"}, kExample)})),
                                RR(Name({"_sip", "_udp"}, kExample), tSRV,
                                   Cat({BE16(1), BE16(2), BE16(5060), Name({"sip"}, kExample)}))});
        cases.push_back({"PTR, NS, MX and SRV", msg, prSuccess, {"www.example.com"},
                         {"www.example.com=host.example.com", "example.com=ns1.example.com",
                          "example.com=mail.example.com", "_sip._udp.example.com="},
                         {},
                         [](const tDNSParser& d) {
                             EXPECT_TRUE(d.IsAuthoritative());
                             const auto& a = d.AnswerRecordSet();
                             EXPECT_EQ(a[2].Preference, 10);
                             EXPECT_EQ(a[3].ServicePriority, 1);
                             EXPECT_EQ(a[3].ServiceWeight, 2);
                             EXPECT_EQ(a[3].ServicePort, 5060);
                             EXPECT_EQ(a[3].ServiceTarget.FullFQDN, "sip.example.com");
                         }});
    }

    // A CNAME whose target name starts past the message: no answer, no empty message.
    cases.push_back({"CNAME data past the message",
                     Cat({Header(0x8180, 1, 1), WWWQuestion(), RR(Ptr(kWWW), tCNAME, {}, 2)}),
                     prSuccess,
                     {"www.example.com"},
                     {"www.example.com="},
                     {{MSG_DNS_ANSWER_PARSE_ERROR, Dec(kPrefix + kAfterWWWQuestion + 12 + 2)}}});

    cases.push_back({"authority and additional sections",
                     Cat({Header(0x8180, 1, 0, 1, 1), WWWQuestion(tNS),
                          RR(Ptr(kExample), tNS, Name({"ns1"}, kExample)),
                          RR(Name({"ns1"}, kExample), tA, V4(198, 51, 100, 1))}),
                     prSuccess,
                     {"www.example.com"},
                     {},
                     {},
                     [](const tDNSParser& d) {
                         ASSERT_EQ(d.NSRecordSet().size(), 1u);
                         EXPECT_EQ(d.NSRecordSet()[0].Answer.asString(), "ns1.example.com");
                         ASSERT_EQ(d.AdditionalRecordSet().size(), 1u);
                         EXPECT_EQ(d.AdditionalRecordSet()[0].Name.FullFQDN, "ns1.example.com");
                         EXPECT_EQ(d.AdditionalRecordSet()[0].Answer.asString(), "198.51.100.1");
                     }});
    return cases;
}

TEST(DNSParser, Messages) {
    for (const tCase& c : Cases()) {
        SCOPED_TRACE(c.Label);
        const auto p = Parse(c.Message, c.SectionAdjust, c.Skip);
        const tDNSParser& d = *p->parser;
        EXPECT_EQ(p->result, c.Result);
        EXPECT_EQ(d.OSILayer(), 5);
        EXPECT_EQ(d.NextAnchor().HeaderType, hdrNoNextHeader);
        EXPECT_EQ(d.NextAnchor().Offset, kPrefix + static_cast<int32_t>(c.Message.size()) + c.SectionAdjust);

        std::vector<std::string> questions;
        for (const auto& q : d.QueryRecordSet()) questions.push_back(q.Name.FullFQDN);
        EXPECT_EQ(questions, c.Questions);
        std::vector<std::string> answers;
        for (const auto& a : d.AnswerRecordSet())
            answers.push_back(a.Name.FullFQDN + "=" + a.Answer.asString());
        EXPECT_EQ(answers, c.Answers);
        std::vector<std::pair<int32_t, std::string>> messages;
        for (const auto& m : d.DiagnosticMessages()) messages.emplace_back(m.id, m.param1);
        EXPECT_EQ(messages, c.Messages);
        if (c.More && !testing::Test::HasFatalFailure()) c.More(d);
    }
}

TEST(DNSParser, HeaderFlags) {
    struct tRow {
        uint16_t Flags;
        bool Response;
        tDNSOpCode OpCode;
        bool AA, TC, RD, RA, Z, AD, CD;
        tDNSReturnCode Reply;
    };
    const tRow rows[] = {
        {0x9245, true, dnsocStatus, false, true, false, false, true, false, false, dnsrcRefused},
        {0x05BB, false, dnsocQuery, true, false, true, true, false, true, true, dnsrcAvailable},
        {0x200A, false, dnsocNotify, false, false, false, false, false, false, false, dnsrcNotZone},
    };
    for (const tRow& r : rows) {
        SCOPED_TRACE(r.Flags);
        const auto p = Parse(Header(r.Flags, 0, 0, 0, 0, 0xA1B2));
        const tDNSParser& d = *p->parser;
        EXPECT_EQ(p->result, prSuccess);
        EXPECT_EQ(d.TransactionID(), 0xA1B2);
        EXPECT_EQ(d.isResponse(), r.Response);
        EXPECT_EQ(d.OpCode(), r.OpCode);
        EXPECT_EQ(d.IsAuthoritative(), r.AA);
        EXPECT_EQ(d.IsTruncated(), r.TC);
        EXPECT_EQ(d.RecursionDesired(), r.RD);
        EXPECT_EQ(d.RecursionAvailable(), r.RA);
        EXPECT_EQ(d.ZFlag(), r.Z);
        EXPECT_EQ(d.AnswerAuthenticated(), r.AD);
        EXPECT_EQ(d.AcceptNonAuthenticated(), r.CD);
        EXPECT_EQ(d.ReplyCode(), r.Reply);
    }
}

TEST(DNSParser, Plausibility) {
    struct tRow {
        const char* Label;
        tBytes Message;
        int32_t Parent;
        bool Plausible;
    };
    const tRow rows[] = {
        {"standard query", Cat({Header(0x0100, 1), WWWQuestion()}), hdrUDP, true},
        {"after TCP", Cat({Header(0x0100, 1), WWWQuestion()}), hdrTCP, false},
        {"8 questions", Header(0x0100, 8), hdrUDP, true},
        {"9 questions", Header(0x0100, 9), hdrUDP, false},
        {"32 answers", Header(0x8180, 1, 32), hdrUDP, true},
        {"33 answers", Header(0x8180, 1, 33), hdrUDP, false},
        {"16 authority", Header(0x8180, 1, 0, 16), hdrUDP, true},
        {"17 authority", Header(0x8180, 1, 0, 17), hdrUDP, false},
        {"32 additional", Header(0x8180, 1, 0, 0, 32), hdrUDP, true},
        {"33 additional", Header(0x8180, 1, 0, 0, 33), hdrUDP, false},
        {"opcode 6", Header(0x3000, 1), hdrUDP, false},
        {"opcode 15", Header(0x7800, 1), hdrUDP, false},
        {"update", Header(0x2800, 1, 0, 1), hdrUDP, true},
        {"11 bytes", tBytes(11, 0), hdrUDP, false},
    };
    for (const tRow& r : rows) {
        SCOPED_TRACE(r.Label);
        tBytes frame(kPrefix, kPrefixByte);
        frame.insert(frame.end(), r.Message.begin(), r.Message.end());
        frame.insert(frame.end(), kTrailer.begin(), kTrailer.end());
        const auto n = static_cast<int32_t>(frame.size());
        tDNSParser d(frame.data(), kPrefix, n, n, static_cast<int32_t>(r.Message.size()), kFrameIndex);
        d.setParentAnchor({r.Parent, kPrefix - 8});
        EXPECT_EQ(d.checkIsPlausible(), r.Plausible);
    }
}

TEST(DNSParser, WireMappings) {
    EXPECT_EQ(DNSOpCodeFromWire(0), dnsocQuery);
    EXPECT_EQ(DNSOpCodeFromWire(1), dnsocInverseQuery);
    EXPECT_EQ(DNSOpCodeFromWire(3), dnsocAvailable);
    EXPECT_EQ(DNSOpCodeFromWire(5), dnsocUpdate);
    EXPECT_EQ(DNSOpCodeFromWire(6), dnsocUnknown);
    EXPECT_EQ(DNSReplyCodeFromWire(3), dnsrcNXDomain);
    EXPECT_EQ(DNSReplyCodeFromWire(10), dnsrcNotZone);
    EXPECT_EQ(DNSReplyCodeFromWire(11), dnsrcAvailable);
    EXPECT_EQ(DNSReplyCodeFromWire(15), dnsrcAvailable);
    const std::pair<uint16_t, tDNSRecordClass> classes[] = {
        {1, dnsrcInternet}, {3, dnsrcChaos}, {254, dnssrcNONE}, {255, dnssrcANY}, {2, dnsrcUnknown}, {4, dnsrcUnknown}};
    for (const auto& [wire, value] : classes) EXPECT_EQ(DNSRecordClassFromWire(wire), value) << wire;
    const std::pair<uint16_t, tDNSRecordType> types[] = {
        {1, dnsrtA},          {2, dnsrtNS},        {5, dnsrtCNAME},   {6, dnsrtSOA},     {12, dnsrtPTR},
        {15, dnsrtMX},        {16, dnsrtTXT},      {28, dnsrtAAAA},   {33, dnsrtSRV},    {251, dnsrtIXFR},
        {252, dnsrtAFXR},     {41, dnsrtOPT},      {43, dnsrtDS},     {50, dnsrtNSEC3},  {46, dnsrtRRSIG},
        {99, dnsrtSPF},       {18, dnsrtAFSDB},    {42, dnsrtAPL},    {37, dnsrtCERT},   {49, dnsrtDHCID},
        {32769, dnsrtDLV},    {39, dnsrtDNAME},    {48, dnsrtDNSKEY}, {45, dnsrtIPSECKEY}, {25, dnsrtKEY},
        {36, dnsrtKX},        {29, dnsrtLOC},      {35, dnsrtNAPTR},  {47, dnsrtNSEC},   {24, dnsrtSIG},
        {249, dnsrtTKEY},     {250, dnsrtTSIG},    {52, dnsrtTLSA},   {44, dnsrtSSHFP},  {51, dnsrtNSEC3PARAM},
        {55, dnsrtHIP},       {255, dnsrtAny},     {0, dnsrtUnknown}, {3, dnsrtUnknown}, {65535, dnsrtUnknown},
    };
    for (const auto& [wire, value] : types) EXPECT_EQ(DNSRecordTypeFromWire(wire), value) << wire;
}

// A section that claims more than was captured is cut at the captured bytes.
TEST(DNSParser, SectionLongerThanCapture) {
    const tBytes msg = Cat({Header(0x8180, 1, 1), WWWQuestion(), RR(Ptr(kWWW), tA, V4(192, 0, 2, 1))});
    const tBytes captured(msg.begin(), msg.end() - 2);
    const auto n = static_cast<int32_t>(captured.size());
    tDNSParser d(captured.data(), 0, n, n + 2, static_cast<int32_t>(msg.size()), kFrameIndex);
    d.setParentAnchor({hdrUDP, 0});
    EXPECT_TRUE(d.checkIsPlausible());
    EXPECT_EQ(d.parse(), prSuccess);
    EXPECT_EQ(d.LastOffset(), n - 1);
    ASSERT_EQ(d.AnswerRecordSet().size(), 1u);
    EXPECT_EQ(d.AnswerRecordSet()[0].Answer.AnswerType, nraUnknown);
    ASSERT_EQ(d.getDiagnosticMsgCount(), 1);
    EXPECT_EQ(d.getDiagnosticMsg(1).id, MSG_DNS_ANSWER_PARSE_ERROR);
}

// Every message of the table, cut at every length and with single bytes replaced, parsed
// in a buffer that ends where the message ends: no read may leave the message, and the
// sets never hold more records than announced.
TEST(DNSParser, CutAndDamagedMessages) {
    const uint8_t replacements[] = {0x00, 0x01, 0x3F, 0x7F, 0xC0, 0xFF};
    for (const tCase& c : Cases()) {
        SCOPED_TRACE(c.Label);
        std::vector<tBytes> variants;
        for (size_t len = 0; len < c.Message.size(); ++len)
            variants.emplace_back(c.Message.begin(), c.Message.begin() + static_cast<std::ptrdiff_t>(len));
        for (size_t at = 0; at < c.Message.size(); ++at)
            for (uint8_t v : replacements) {
                tBytes damaged = c.Message;
                damaged[at] = v;
                variants.push_back(std::move(damaged));
            }
        for (const tBytes& v : variants) {
            const auto data = std::make_unique<uint8_t[]>(v.size() + 1);
            std::copy(v.begin(), v.end(), data.get());
            const auto n = static_cast<int32_t>(v.size());
            // The section claims more than was captured, as for a sliced frame.
            tDNSParser d(data.get(), 0, n, n + 100, n + 100, kFrameIndex);
            d.setParentAnchor({hdrUDP, 0});
            (void)d.checkIsPlausible();
            const tParseResult result = d.parse();
            ASSERT_EQ(d.NextAnchor().Offset, n);
            ASSERT_LE(d.QueryRecordSet().size() + d.ZoneRecordSet().size(), size_t{d.QueryCount()} + d.ZoneCount());
            ASSERT_LE(d.AnswerRecordSet().size(), d.AnswerCount());
            ASSERT_LE(d.NSRecordSet().size(), d.AuthorityCount());
            ASSERT_LE(d.AdditionalRecordSet().size(), d.AdditionalInfoCount());
            if (n < tDNSParser::kHeaderSize) {
                ASSERT_EQ(result, prFailUndersize);
            }
        }
    }
}

tRawFrame MakeFrame(const tBytes& Bytes) {
    tWireDetails wire;
    wire.LinkType = 1;
    wire.CaptureSize = static_cast<uint32_t>(Bytes.size());
    wire.WireSize = wire.CaptureSize;
    return tRawFrame(tTimingDetails{}, wire, tFileFrameLocation{1, 5, 0}, Bytes);
}

// The walk creates the parser for UDP port 53 with the datagram's payload as section, so
// link-layer padding behind it is not taken for part of the message.
TEST(DNSParser, CreatedByTheWalk) {
    struct tRestore {
        ~tRestore() { SetParserFactoryOverride(hdrDNS, nullptr); }
    } restore;
    SetParserFactoryOverride(hdrDNS, [](tParserArena& a, const tParserArgs& A) -> tFrameParser* {
        return a.make<tDNSParser>(A.Data, A.Offset, A.CapturedLength, A.WireLength, A.Layer7Length,
                                  A.FrameIndex);
    });
    const tBytes msg = Cat({Header(0x0100, 1), Question(Name({"a", "b"}), tAAAA)});
    test::tFrameBuilder b;
    b.ethernet(0x0800).ipv4(test::IPv4("10.0.0.1"), test::IPv4("10.0.0.2"), 17).udp(40000, 53);
    for (uint8_t byte : msg) b.raw({byte});
    const tRawFrame frame = MakeFrame(b.buildPadded(80));
    {
        const tParseMaster pm(frame, ppmParseAll);
        ASSERT_GE(pm.ParserCount(), 1);
        const int32_t last = pm.ParserCount();
        EXPECT_EQ(pm.getParserTypeByIndex(last), hdrDNS);
        const auto* d = dynamic_cast<const tDNSParser*>(pm.getParserByIndex(last));
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->FrameOffset(), 42);
        EXPECT_EQ(d->SectionLength(), static_cast<int32_t>(msg.size()));
        EXPECT_EQ(d->LastOffset(), 42 + static_cast<int32_t>(msg.size()) - 1);
        ASSERT_EQ(d->QueryRecordSet().size(), 1u);
        EXPECT_EQ(d->QueryRecordSet()[0].Name.FullFQDN, "a.b");
        EXPECT_EQ(d->QueryRecordSet()[0].RecordType, dnsrtAAAA);
    }
}

// Feeds the UDP port-53 payloads of the public sample captures, many of them crafted to
// break parsers, to the parser: no crash, no read outside the message.
TEST(DNSParser, SampleCaptures) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(MORWICK_CAPTURES) / "public";
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) GTEST_SKIP() << "no sample captures at " << dir;
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir, ec))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());

    int64_t messages = 0, parsed = 0, questions = 0;
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        const auto t0 = std::chrono::steady_clock::now();
        struct tT { std::chrono::steady_clock::time_point t0; std::string f; ~tT(){ auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now()-t0).count(); if (ms > 300) fprintf(stderr, "%s %ld\n", f.c_str(), (long)ms);} } tt{t0, file.string()};
        std::unique_ptr<tTraceLoader> loader;
        try {
            loader = createTraceLoader(file.string(), 0, cfUnknown);
            if (!loader || !loader->openFile()) continue;
            loader->readTraceFileheader();
        } catch (const std::exception&) {
            continue;
        }
        for (;;) {
            try {
                loader->readBatchFromDisk();
            } catch (const std::exception&) {
                break;
            }
            const int32_t n = loader->FramesAvailable();
            if (n == 0) break;
            for (int32_t i = 1; i <= n; ++i) {
                const tRawFrame& frame = loader->FrameAt(i);
                const tParseMaster pm(frame, ppmUpToLayer4);
                for (const tParseEntry& entry : pm.ParseList()) {
                    if (entry.Anchor.HeaderType != hdrUDP) continue;
                    const auto* udp = dynamic_cast<const tUDPParser*>(entry.Parser);
                    if (!udp || (udp->SourcePort() != 53 && udp->DestinationPort() != 53)) continue;
                    const int32_t at = entry.Anchor.Offset + tUDPParser::kHeaderSize;
                    const auto size = static_cast<int32_t>(frame.FrameSize());
                    // Once as the datagram announces it, once as whatever was captured.
                    for (int32_t section : {int32_t{udp->Length()} - tUDPParser::kHeaderSize, size - at}) {
                        tDNSParser d(frame.Data(), at, size, static_cast<int32_t>(frame.WireSize()),
                                     section, static_cast<int64_t>(i));
                        d.setParentAnchor(entry.Anchor);
                        // As in the walk, only plausible messages are parsed.
                        if (!d.checkIsPlausible()) continue;
                        const tParseResult result = d.parse();
                        ++messages;
                        if (result == prSuccess) {
                            ++parsed;
                            questions += static_cast<int64_t>(d.QueryRecordSet().size());
                            EXPECT_EQ(d.QueryRecordSet().size(), d.QueryCount());
                            EXPECT_EQ(d.AnswerRecordSet().size(), d.AnswerCount());
                        }
                        EXPECT_LE(d.QueryRecordSet().size(), d.QueryCount());
                        EXPECT_LE(d.AnswerRecordSet().size(), d.AnswerCount());
                        EXPECT_LE(d.AdditionalRecordSet().size(), d.AdditionalInfoCount());
                        EXPECT_LE(d.NextAnchor().Offset, size);
                    }
                }
            }
        }
    }
    EXPECT_GT(messages, 0);
    EXPECT_GT(parsed, 0);
    EXPECT_GT(questions, 0);
}

}  // namespace
}  // namespace morwick
