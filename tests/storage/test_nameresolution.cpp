// DNS name resolutions of the conversation store: DNS messages built in code run through
// AddFrame, the entry builder and merge, the stored columns, and the length limit of
// names assembled from compression pointers.
#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "parser/frameparser.h"
#include "storage/conversationstorage.h"
#include "storage/framefixtures.h"
#include "storage/schema.h"
#include "storage/sqlite.h"

#include "support/bytes.h"

namespace morwick {
namespace {

using test::tBytes;

// ---- DNS messages ----

using test::Cat;
tBytes BE16(uint16_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }
tBytes BE32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

constexpr uint16_t kQueryFlags = 0x0100;     // standard query, recursion desired
constexpr uint16_t kResponseFlags = 0x8180;  // response, recursion desired and available
constexpr uint16_t tA = 1, tCNAME = 5, tAAAA = 28, tTXT = 16, tNS = 2;

tBytes Header(uint16_t Flags, uint16_t Questions, uint16_t Answers = 0, uint16_t Authority = 0,
              uint16_t Additional = 0) {
    return Cat({BE16(0x4D2A), BE16(Flags), BE16(Questions), BE16(Answers), BE16(Authority), BE16(Additional)});
}
// Labels, then a compression pointer to PointerTo (offset in the message) or the root.
tBytes Name(std::initializer_list<std::string_view> Labels, int PointerTo = -1) {
    tBytes out;
    for (std::string_view l : Labels) {
        out.push_back(static_cast<uint8_t>(l.size()));
        out.insert(out.end(), l.begin(), l.end());
    }
    if (PointerTo >= 0) return Cat({out, BE16(static_cast<uint16_t>(0xC000 | PointerTo))});
    out.push_back(0);
    return out;
}
tBytes Question(const tBytes& Owner, uint16_t Type) { return Cat({Owner, BE16(Type), BE16(1)}); }
tBytes RR(const tBytes& Owner, uint16_t Type, const tBytes& Data) {
    return Cat({Owner, BE16(Type), BE16(1), BE32(300), BE16(static_cast<uint16_t>(Data.size())), Data});
}

// The name of the first question sits right behind the 12 header bytes.
constexpr int kFirstName = 12;

tBytes Query(std::initializer_list<std::string_view> Labels, uint16_t Type) {
    return Cat({Header(kQueryFlags, 1), Question(Name(Labels), Type)});
}

// ---- Frames ----

const uint32_t kClient = test::IPv4("10.0.0.1");
const uint32_t kServer = test::IPv4("10.0.0.53");

enum class tCarrier { UDPv4, UDPv6, TCPv4 };

// The message from the client (query) or from the server (response) on port 53.
tBytes DNSFrame(const tBytes& Message, bool FromServer, tCarrier Carrier = tCarrier::UDPv4) {
    test::tFrameBuilder b;
    const uint16_t src = FromServer ? 53 : 40000, dst = FromServer ? 40000 : 53;
    if (Carrier == tCarrier::UDPv6) {
        const test::tIPv6Bytes client = test::IPv6(0x2001, 1), server = test::IPv6(0x2001, 0x53);
        b.ethernet(0x86DD).ipv6(FromServer ? server : client, FromServer ? client : server, 17).udp(src, dst);
    } else if (Carrier == tCarrier::TCPv4) {
        b.ethernet(0x0800).ipv4(FromServer ? kServer : kClient, FromServer ? kClient : kServer, 6).tcp(src, dst);
        b.be16(static_cast<uint16_t>(Message.size()));  // DNS over TCP: length prefix
    } else {
        b.ethernet(0x0800).ipv4(FromServer ? kServer : kClient, FromServer ? kClient : kServer, 17).udp(src, dst);
    }
    for (uint8_t byte : Message) b.raw({byte});
    return b.buildPadded(60);
}

struct tDNSFrameInput {
    tBytes Bytes;
    int64_t Number = 0;  // 0: the position in the list, from 1
    int64_t Seconds = -1;  // -1: the position in the list
};

void Feed(tConversationStorage& Store, const std::vector<tDNSFrameInput>& Frames) {
    for (size_t i = 0; i < Frames.size(); ++i) {
        test::tFrameInfo info;
        info.Number = Frames[i].Number != 0 ? Frames[i].Number : static_cast<int64_t>(i + 1);
        info.Time = test::At(Frames[i].Seconds >= 0 ? Frames[i].Seconds : static_cast<int64_t>(i));
        info.Interface = 2;
        Store.AddFrame(test::MakeRawFrame(Frames[i].Bytes, info));
    }
}

const tNameResolutionEntry* Find(const tConversationStorage& Store, const std::string& Key) {
    const auto it = Store.NameResolutions().find(Key);
    return it == Store.NameResolutions().end() ? nullptr : &it->second;
}

std::string Keys(const tConversationStorage& Store) {
    std::map<std::string, int> sorted;
    for (const auto& [key, e] : Store.NameResolutions()) sorted[key] = e.FrameCount;
    std::string out;
    for (const auto& [key, count] : sorted) out += key + " x" + std::to_string(count) + "\n";
    return out;
}

// ---- Intake ----

TEST(NameResolutionIntake, RequestAndResponseMakeThreeEntries) {
    const tBytes request = Query({"www", "Example", "com"}, tA);
    const tBytes response =
        Cat({Header(kResponseFlags, 1, 1), Question(Name({"www", "Example", "com"}), tA),
             RR(Name({}, kFirstName), tA, {192, 0, 2, 7})});
    for (tCarrier carrier : {tCarrier::UDPv4, tCarrier::UDPv6}) {
        SCOPED_TRACE(carrier == tCarrier::UDPv4 ? "IPv4" : "IPv6");
        tConversationStorage store;
        Feed(store, {{DNSFrame(request, false, carrier)}, {DNSFrame(response, true, carrier)}});
        ASSERT_EQ(store.NameResolutions().size(), 3u) << Keys(store);

        struct Case {
            std::string key;
            bool isAnswer, queryOnly;
            tNRAnswerType answerType;
            int64_t frame;
        };
        const Case cases[] = {
            {"www.example.com-0-0:-0", false, true, nraUnknown, 1},
            {"www.example.com-1-0:-0", true, true, nraUnknown, 2},
            {"www.example.com-1-1:192.0.2.7-0", true, false, nraIPAddress, 2},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.key);
            const tNameResolutionEntry* e = Find(store, c.key);
            ASSERT_NE(e, nullptr) << Keys(store);
            EXPECT_EQ(e->FQDN.FullFQDN, "www.Example.com");
            EXPECT_EQ(e->isAnswer, c.isAnswer);
            EXPECT_EQ(e->QueryOnly, c.queryOnly);
            EXPECT_EQ(e->Answer.AnswerType, c.answerType);
            EXPECT_EQ(e->ReplyCode, dnsrcNoError);
            EXPECT_EQ(e->FrameCount, 1);
            EXPECT_EQ(e->FirstFrame, c.frame);
            EXPECT_EQ(e->LastFrame, c.frame);
            EXPECT_EQ(e->FirstFrameTime, test::At(c.frame - 1));
            EXPECT_EQ(e->FirstFrameOffset, 24 + c.frame * 100);
            EXPECT_EQ(e->QueryTypes, tDNSRecordTypeSet{dnsrtA});
            EXPECT_EQ(e->Markers, tMarkerSet{mFoundByDNS});
            EXPECT_TRUE(e->Attributes.has(caSingleFrame));
            EXPECT_TRUE(e->Attributes.has(caNoQuickFilter));  // UDP is not the quick filter's TCP
            ASSERT_EQ(e->InterfaceList.size(), 1u);
            EXPECT_EQ(e->InterfaceList[0].toString(), "2");
        }
        // The DNS layer comes on top of the UDP conversation, not in its place.
        EXPECT_EQ(store.UDPConversations().size(), 1u);
    }
}

TEST(NameResolutionIntake, RepeatedQueriesMergeIntoOneEntry) {
    const tBytes query = Query({"www", "example", "com"}, tA);
    std::vector<tDNSFrameInput> frames;
    // Ten queries, numbered 11 to 20; the third one carries the earliest time stamp.
    for (int i = 0; i < 10; ++i) frames.push_back({DNSFrame(query, false), 11 + i, i == 2 ? 0 : 10 + i});
    tConversationStorage store;
    Feed(store, frames);
    ASSERT_EQ(store.NameResolutions().size(), 1u) << Keys(store);
    const tNameResolutionEntry& e = store.NameResolutions().begin()->second;
    EXPECT_EQ(e.FrameCount, 10);
    EXPECT_EQ(e.FirstFrame, 11);
    EXPECT_EQ(e.LastFrame, 20);
    EXPECT_EQ(e.FirstFrameOffset, 24 + 11 * 100);
    EXPECT_EQ(e.LastFrameOffset, 24 + 20 * 100);
    EXPECT_EQ(e.FirstFrameTime, test::At(0));  // earliest, though not of frame 11
    EXPECT_EQ(e.LastFrameTime, test::At(19));
}

// Which frames share an entry, and what the shared entry holds.
TEST(NameResolutionIntake, KeysAndMerges) {
    const tBytes nxdomain = Cat({Header(kResponseFlags | 3, 1), Question(Name({"nowhere", "example"}), tA)});
    const tBytes okResponse = Cat({Header(kResponseFlags, 1), Question(Name({"nowhere", "example"}), tA)});
    struct Case {
        const char* what;
        std::vector<tBytes> messages;  // all sent by the server when Response
        bool response;
        std::string expectedKeys;      // sorted keys with their frame counts
        std::string firstName;         // FullFQDN of the first key's entry
        int64_t firstQueryTypes;       // stored form of its record types
    };
    const Case cases[] = {
        {"A and AAAA share one entry",
         {Query({"host", "example"}, tA), Query({"host", "example"}, tAAAA)},
         false,
         "host.example-0-0:-0 x2\n",
         "host.example",
         129},
        {"letter case merges into the first entry",
         {Query({"Mixed", "EXAMPLE"}, tA), Query({"mixed", "example"}, tA), Query({"MIXED", "example"}, tA)},
         false,
         "mixed.example-0-0:-0 x3\n",
         "Mixed.EXAMPLE",
         1},
        {"NXDOMAIN keys its question apart",
         {nxdomain, okResponse, nxdomain},
         true,
         "nowhere.example-1-0:-0 x1\nnowhere.example-1-0:-3 x2\n",
         "nowhere.example",
         1},
        {"two questions in one message",
         {Cat({Header(kQueryFlags, 2), Question(Name({"a", "example"}), tA),
               Question(Name({"b"}, kFirstName + 2), tTXT)})},
         false,
         "a.example-0-0:-0 x1\nb.example-0-0:-0 x1\n",
         "a.example",
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<tDNSFrameInput> frames;
        for (const tBytes& m : c.messages) frames.push_back({DNSFrame(m, c.response)});
        tConversationStorage store;
        Feed(store, frames);
        EXPECT_EQ(Keys(store), c.expectedKeys);
        ASSERT_FALSE(store.NameResolutions().empty());
        std::map<std::string, const tNameResolutionEntry*> sorted;
        for (const auto& [key, e] : store.NameResolutions()) sorted[key] = &e;
        const tNameResolutionEntry& first = *sorted.begin()->second;
        EXPECT_EQ(first.FQDN.FullFQDN, c.firstName);
        EXPECT_EQ(DNSRecordTypeSetToNumber(first.QueryTypes), c.firstQueryTypes);
    }
    // The NXDOMAIN entry keeps its reply code.
    tConversationStorage store;
    Feed(store, {{DNSFrame(nxdomain, true)}});
    ASSERT_EQ(store.NameResolutions().size(), 1u);
    EXPECT_EQ(store.NameResolutions().begin()->second.ReplyCode, dnsrcNXDomain);
}

// Only questions and answers are recorded, only as many as were parsed, and only DNS over UDP.
TEST(NameResolutionIntake, WhatIsNotRecorded) {
    const tBytes withSections =
        Cat({Header(kResponseFlags, 1, 1, 1, 1), Question(Name({"q", "example"}), tA),
             RR(Name({}, kFirstName), tCNAME, Name({"alias", "example"})),
             RR(Name({"example"}), tNS, Name({"ns", "example"})),
             RR(Name({"ns", "example"}), tA, {192, 0, 2, 53})});
    // Announces two answers; the second one's owner name points outside the message, which
    // drops the whole DNS layer.
    const tBytes brokenSecond = Cat({Header(kResponseFlags, 1, 2), Question(Name({"x", "example"}), tA),
                                     RR(Name({}, kFirstName), tA, {192, 0, 2, 1}), BE16(0xC000 | 0x3FF0)});
    const tBytes rootQuestion = Cat({Header(kQueryFlags, 1), Question(Name({}), tNS)});
    const tBytes headerOnly = Header(kQueryFlags, 0);
    struct Case {
        const char* what;
        tBytes frame;
        std::string expectedKeys;
    };
    const Case cases[] = {
        {"authority and additional sections",
         DNSFrame(withSections, true),
         "q.example-1-0:-0 x1\nq.example-1-2:alias.example-0 x1\n"},
        {"a message whose records cannot all be read", DNSFrame(brokenSecond, true), ""},
        {"the root name", DNSFrame(rootQuestion, false), ""},
        {"no records", DNSFrame(headerOnly, false), ""},
        {"DNS over TCP", DNSFrame(Query({"t", "example"}, tA), false, tCarrier::TCPv4), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tConversationStorage store;
        Feed(store, {{c.frame}});
        EXPECT_EQ(Keys(store), c.expectedKeys);
    }
}

// A name grown past 255 bytes through a chain of compression pointers is broken: the
// question that carries it is dropped with the rest of the message, nothing longer is kept.
TEST(NameResolutionIntake, PointerChainsCannotGrowNamesPastTheLimit) {
    // Behind a question whose name is a 60-byte label and a pointer, five names: each a
    // 60-byte label followed by a pointer to the next one; the last ends at the root.
    const std::string label(60, 'x');
    const int chainStart = kFirstName + 61 + 2 + 4;
    std::vector<int> starts;
    tBytes chain;
    for (int i = 0; i < 5; ++i) {
        starts.push_back(chainStart + 63 * i);
        chain = Cat({chain, i < 4 ? Name({label}, chainStart + 63 * (i + 1)) : Name({label})});
    }
    const auto message = [&](int Target) {
        return Cat({Header(kQueryFlags, 1), Question(Name({label}, Target), tA), chain});
    };
    struct StoreCase {
        int target;
        size_t length;  // 0: no entry
    };
    // Through starts[2]: 4 labels, 243 bytes. Through starts[0]: 6 labels, 365 bytes.
    for (const StoreCase& c : {StoreCase{starts[2], 4 * 61 - 1}, StoreCase{starts[0], 0}}) {
        SCOPED_TRACE(c.target);
        tConversationStorage store;
        Feed(store, {{DNSFrame(message(c.target), false)}});
        if (c.length == 0) {
            EXPECT_EQ(Keys(store), "");
        } else {
            ASSERT_EQ(store.NameResolutions().size(), 1u);
            EXPECT_EQ(store.NameResolutions().begin()->second.FQDN.FullFQDN.size(), c.length);
        }
    }

    // The chain read directly: up to four names fit, five do not.
    struct Case {
        int start;
        size_t length;  // 0: broken
        int increment;
    };
    const Case cases[] = {{starts[4], 60, 62}, {starts[1], 4 * 61 - 1, 63}, {starts[0], 0, 0}};
    const tBytes data = message(starts[0]);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        const tFQDNResult r = readFQDN(data, static_cast<int32_t>(data.size()), 0, c.start);
        if (c.length == 0) {
            EXPECT_EQ(r.ParseResult, prFailOutOfBounds);
            EXPECT_EQ(r.Name.FullFQDN, "");
            EXPECT_EQ(r.Msg.id, MSG_PARSER_OUT_OF_DATA_FOR_LENGTH);
            EXPECT_EQ(r.Msg.param1, "FQDN Elements");
        } else {
            EXPECT_EQ(r.ParseResult, prSuccess);
            EXPECT_EQ(r.Name.FullFQDN.size(), c.length);
            EXPECT_EQ(r.OffsetIncrement, c.increment);
        }
    }

    // Exactly 255 characters are still a name; 256 are not.
    for (size_t total : {size_t{255}, size_t{256}}) {
        SCOPED_TRACE(total);
        // Three labels of 63, one of 31 and one of the rest, joined by four dots.
        const std::string l63(63, 'a'), l31(31, 'b'), rest(total - 3 * 63 - 31 - 4, 'c');
        const tBytes name = Name({l63, l63, l63, l31, rest});
        const tFQDNResult r = readFQDN(name, static_cast<int32_t>(name.size()), 0, 0);
        EXPECT_EQ(r.Name.FullFQDN.size(), total == 255 ? 255u : 0u);
        EXPECT_EQ(r.ParseResult, total == 255 ? prSuccess : prFailOutOfBounds);
    }
}

// ---- Entry builder and merge ----

tNameResolutionDetails Details(std::string_view Name, tDNSReturnCode Code = dnsrcNoError) {
    tFQDN fqdn;
    fqdn.setFQDN(Name);
    tNameResolutionAnswer answer;
    tIPv4Address a;
    a.setValueFromString("198.51.100.4", 32);
    answer.initialize(a);
    tNameResolutionDetails d;
    d.initialize(fqdn, true, 6, answer, tMarkerSet{mFoundByDNS}, dnsrtA, false, Code);
    return d;
}

tFrameReference Ref(int64_t Frame, int64_t Seconds) {
    tFrameReference r;
    r.FrameIndex = Frame;
    r.FileOffset = 1000 + Frame;
    r.Timestamp = test::At(Seconds);
    r.Attributes.add(caIPFragmented);
    return r;
}

TEST(NameResolutionDetails, DefaultsAndEntryFields) {
    tNameResolutionDetails d = Details("x.example");
    d.initialize();
    EXPECT_EQ(d.FQDN.FullFQDN, "");
    EXPECT_FALSE(d.isAnswer);
    EXPECT_EQ(d.IPVersion, 0);
    EXPECT_EQ(d.Answer.AnswerType, nraUnknown);
    EXPECT_TRUE(d.Marker.empty());
    EXPECT_EQ(d.QueryType, dnsrtUnknown);
    EXPECT_TRUE(d.QueryOnly);
    EXPECT_EQ(d.ReplyCode, dnsrcAvailable);

    tConversationStorage store;
    store.setCurrentFileIndex(4);
    tAbsoluteFileInterface iface;
    iface.initialize(4, 3);
    store.AddNameResolutionDetails(Details("Host.example"), iface, Ref(9, 5));
    ASSERT_EQ(store.NameResolutions().size(), 1u);
    const auto& [key, e] = *store.NameResolutions().begin();
    EXPECT_EQ(key, "host.example-1-1:198.51.100.4-0");
    EXPECT_EQ(e.FQDN.FullFQDN, "Host.example");
    EXPECT_TRUE(e.isAnswer);
    EXPECT_FALSE(e.QueryOnly);
    EXPECT_EQ(e.FrameCount, 1);
    EXPECT_EQ(e.FirstFileID, 4);
    EXPECT_EQ(e.LastFileID, 4);
    EXPECT_EQ(e.FirstFrame, 9);
    EXPECT_EQ(e.LastFrameOffset, 1009);
    EXPECT_EQ(e.LastFrameTime, test::At(5));
    EXPECT_EQ(e.QueryTypes, tDNSRecordTypeSet{dnsrtA});
    EXPECT_EQ(e.Attributes, (tConversationAttributeSet{caSingleFrame, caIPFragmented}));
    ASSERT_EQ(e.InterfaceList.size(), 1u);
    EXPECT_EQ(e.InterfaceList[0].FileIndex, 4);
    EXPECT_EQ(e.InterfaceList[0].toString(), "3");
}

TEST(NameResolutionDetails, EmptyNameIsRefused) {
    tConversationStorage store;
    try {
        store.AddNameResolutionDetails(Details(""), tAbsoluteFileInterface{}, Ref(1, 0));
        ADD_FAILURE() << "no error";
    } catch (const tAssertionError& e) {
        EXPECT_STREQ(e.what(), "Empty FQDN (tConversationStorage.AddNameResolutionDetails)");
    }
    EXPECT_TRUE(store.NameResolutions().empty());
}

tNameResolutionEntry Entry(int32_t File, int64_t First, int64_t Last, int64_t FirstSecond, int64_t LastSecond) {
    tNameResolutionEntry e;
    e.initialize(File);
    e.FQDN.setFQDN("m.example");
    e.FrameCount = 2;
    e.FirstFrame = First;
    e.LastFrame = Last;
    e.FirstFrameOffset = First * 10;
    e.LastFrameOffset = Last * 10;
    e.FirstFrameTime = test::At(FirstSecond);
    e.LastFrameTime = test::At(LastSecond);
    tInterfaceFileIDEntry i;
    i.initialize(File, static_cast<uint32_t>(File));
    e.InterfaceList.push_back(i);
    return e;
}

TEST(NameResolutionMerge, FirstAndLastValuesCountsAndUnions) {
    struct Case {
        const char* what;
        tNameResolutionEntry stored, added;
        int64_t first, last, firstSecond, lastSecond;
        int32_t firstFile, lastFile;
    };
    const Case cases[] = {
        // Same file: each value on its own, earliest and latest.
        {"same file", Entry(1, 5, 8, 50, 80), Entry(1, 2, 6, 60, 90), 2, 8, 50, 90, 1, 1},
        // A later file only moves the last values.
        {"later file", Entry(1, 5, 8, 50, 80), Entry(2, 1, 9, 10, 90), 5, 9, 50, 90, 1, 2},
        // An earlier file only moves the first values.
        {"earlier file", Entry(2, 5, 8, 50, 80), Entry(1, 1, 3, 10, 30), 1, 8, 10, 80, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tNameResolutionEntry stored = c.stored;
        stored.QueryTypes = {dnsrtA};
        stored.Markers = {mFoundByDNS};
        stored.QueryOnly = true;
        tNameResolutionEntry added = c.added;
        added.QueryTypes = {dnsrtAAAA};
        added.Markers = {mFoundByNRB};
        added.Attributes = {caSpansMultipleFiles};
        added.QueryOnly = false;
        tConversationStorage store;
        store.AddNameResolution(stored);
        store.AddNameResolution(added);
        ASSERT_EQ(store.NameResolutions().size(), 1u);
        const tNameResolutionEntry& e = store.NameResolutions().begin()->second;
        EXPECT_EQ(e.FrameCount, 4);
        EXPECT_EQ(e.FirstFrame, c.first);
        EXPECT_EQ(e.LastFrame, c.last);
        EXPECT_EQ(e.FirstFrameOffset, c.first * 10);
        EXPECT_EQ(e.LastFrameOffset, c.last * 10);
        EXPECT_EQ(e.FirstFrameTime, test::At(c.firstSecond));
        EXPECT_EQ(e.LastFrameTime, test::At(c.lastSecond));
        EXPECT_EQ(e.FirstFileID, c.firstFile);
        EXPECT_EQ(e.LastFileID, c.lastFile);
        EXPECT_EQ(DNSRecordTypeSetToNumber(e.QueryTypes), 129);
        EXPECT_EQ(e.Markers, (tMarkerSet{mFoundByDNS, mFoundByNRB}));
        EXPECT_EQ(e.Attributes, tConversationAttributeSet{caSpansMultipleFiles});
        // Everything else stays the stored entry's.
        EXPECT_TRUE(e.QueryOnly);
        EXPECT_EQ(e.InterfaceList, c.stored.InterfaceList);
    }
}

// BADVERS and BADSIG are both stored as 16: they share one key, are written as 16 and a
// BADVERS entry reads back as BADSIG.
TEST(NameResolutionMerge, BadVersStoredAs16) {
    tConversationStorage store;
    tAbsoluteFileInterface iface;
    store.AddNameResolutionDetails(Details("v.example", dnsrcBADVERS), iface, Ref(1, 0));
    store.AddNameResolutionDetails(Details("v.example", dnsrcBADSIG), iface, Ref(2, 1));
    ASSERT_EQ(store.NameResolutions().size(), 1u);
    EXPECT_EQ(store.NameResolutions().begin()->first, "v.example-1-1:198.51.100.4-16");
    EXPECT_EQ(store.NameResolutions().begin()->second.ReplyCode, dnsrcBADVERS);
    EXPECT_EQ(store.NameResolutions().begin()->second.FrameCount, 2);

    const std::string path = ::testing::TempDir() + "morwick_nameresolution_badvers.db";
    std::remove(path.c_str());
    {
        tSQLiteConnection db(path, tSQLiteOpenMode::ReadWriteCreate);
        ApplyIntelDBSchema(db);
        db.Exec(
            "INSERT INTO filelist (id,filename,filepath,filesize,filedate,firstframetimestamp,"
            "firstframenanoseconds,lastframetimestamp,lastframenanoseconds) VALUES "
            "(3,'v.pcap','/x/',100,'2024-01-01','2024-03-01 12:00:00.000',0,'2024-03-01 12:00:05.000',0)");
        const tFrameTimeStamp first{tDateTime::Encode(2024, 3, 1, 12, 0, 0), 0};
        const tFrameTimeStamp last{tDateTime::Encode(2024, 3, 1, 12, 0, 5), 0};
        ASSERT_TRUE(store.StoreConversationsToDatabase(db, "/x/v.pcap", 100, tDateTime::Encode(2024, 1, 1), first,
                                                       last));
        tSQLiteStatement q(db, "SELECT ReplyCode, FrameCount, ipversion, answertype FROM NameResolution");
        ASSERT_TRUE(q.Step());
        EXPECT_EQ(q.ColumnInt64(0), 16);
        EXPECT_EQ(q.ColumnInt64(1), 2);
        EXPECT_EQ(q.ColumnInt64(2), 4);  // the answer's address, not the carrying packet's
        EXPECT_EQ(q.ColumnInt64(3), 1);
        EXPECT_FALSE(q.Step());

        tConversationStorage loaded;
        ASSERT_TRUE(loaded.LoadFirstFileConversationsFromDatabase(db));
        ASSERT_EQ(loaded.NameResolutions().size(), 1u);
        EXPECT_EQ(loaded.NameResolutions().begin()->second.ReplyCode, dnsrcBADSIG);
        EXPECT_EQ(loaded.NameResolutions().begin()->second.FirstFileID, 3);
    }
    std::remove(path.c_str());
}

}  // namespace
}  // namespace morwick
