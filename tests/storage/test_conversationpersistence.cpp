#include <fmt/format.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "parser/parser_tcp.h"
#include "storage/conversationstorage.h"
#include "storage/inteldb_manager.h"
#include "storage/schema.h"
#include "storage/sqlite.h"

namespace morwick {
namespace {

namespace fs = std::filesystem;

// Larger than any 32-bit size: the file must still be found under its full size.
constexpr int64_t kThreeGiB = 3LL * 1024 * 1024 * 1024;
const std::string kTrace = "/Captures/Site A/Trace.PCAP";
const tDateTime kFileDate = tDateTime::Encode(2023, 5, 6, 7, 8, 9, 10);
const tFrameTimeStamp kFirst{tDateTime::Encode(2024, 3, 1, 12, 0, 0), 123'456'789};
const tFrameTimeStamp kLast{tDateTime::Encode(2024, 3, 1, 12, 0, 5), 987'654'321};

// ---- Record builders ----

tMACAddress MAC(std::string_view text) {
    tMACAddress m;
    m.setfromString(text, ":");
    return m;
}
tIPv4Address V4(std::string_view text) {
    tIPv4Address a;
    a.setValueFromString(text, 32);
    return a;
}
tIPv6Address V6(std::string_view text) {
    tIPv6Address a;
    a.setValueFromString(text, 64);
    return a;
}
tIPAddress IP(std::string_view text) {
    tIPAddress a;
    a.setValueFromString(text, 0);
    return a;
}
tIPSocketPair Sockets(std::string_view a, uint16_t pa, std::string_view b, uint16_t pb) {
    tIPSocket s, d;
    s.initialize(IP(a), pa);
    d.initialize(IP(b), pb);
    tIPSocketPair p;
    p.initialize(s, d);
    return p;
}
tInterfaceFileIDList Interfaces(int32_t file, std::initializer_list<uint32_t> indexes) {
    tInterfaceFileIDEntry e;
    e.FileIndex = file;
    for (uint32_t i : indexes) e.MarkInterfaceIndexActive(i);
    return tInterfaceFileIDList{e};
}

// Frame numbers, offsets beyond 32 bits and times with nanoseconds.
template <typename R>
void SetFrames(R& r) {
    if constexpr (requires { r.FirstFrameIndex; }) {
        r.FirstFrameIndex = 3;
        r.LastFrameIndex = 20;
    } else {
        r.FirstFrame = 3;
        r.LastFrame = 20;
    }
    r.FirstFrameOffset = 124;
    r.LastFrameOffset = 99'999'999'999;
    r.FirstFrameTime = kFirst;
    r.LastFrameTime = kLast;
    r.InterfaceList = Interfaces(0, {0, 3});
}

tTCPConversation SampleTCP() {
    tTCPConversation c;
    c.initialize(0);
    c.SocketPair = Sockets("10.0.0.1", 51000, "10.0.0.2", 443);
    c.ClientIP = IP("10.0.0.1");
    c.FramesSrcToDst = 5;
    c.FramesDstToSrc = 4;
    c.BytesSrcToDst = 700;
    c.BytesDstToSrc = 5'000'000'000;
    c.ClientPayloadBytes = 100;
    c.ServerPayloadBytes = 2500;
    SetFrames(c);
    c.SessionStatus = 9;
    c.SynSeen = true;
    c.FinSeen = true;
    c.Flags = tTCPFlagSet{tcpSYN, tcpACK, tcpFIN, tcpPSH};
    c.InitialRTTns = 1'500'000;
    c.Markers = {mFoundByIPv4};
    c.Attributes = {caSingleFrame, caTimeOutOfOrder};
    c.Tunnelflags = {tfTunnelPayload};
    c.ClientRandom = "not stored";
    return c;
}

// One record of every kind, each with values that tell the columns apart.
void FillStore(tConversationStorage& s) {
    tMACEndpoint me;
    me.initialize(0);
    me.MACAddress = MAC("00:1A:2B:3C:4D:5E");
    me.FramesReceived = 2;
    me.FramesSent = 3;
    me.BytesReceived = 120;
    me.BytesSent = 180;
    SetFrames(me);
    me.Markers = {mFoundByEthernet, mFoundByARP};
    me.Attributes = {caEthernetTrailerPresent};
    s.AddMACEndpoint(me);

    tMACConversation mc;
    mc.initialize(0);
    mc.MACPair.initialize(MAC("00:00:00:00:00:01"), MAC("AA:BB:CC:DD:EE:FF"));
    mc.FramesSrcToDst = 6;
    mc.FramesDstToSrc = 7;
    mc.BytesSrcToDst = 600;
    mc.BytesDstToSrc = 700;
    SetFrames(mc);
    mc.Markers = {mFoundByEthernet};
    mc.Attributes = {caSingleFrame};
    s.AddMACConversation(mc);

    tIPv4Endpoint e4;
    e4.initialize(0);
    e4.IPv4Address = V4("192.0.2.1");
    e4.FramesReceived = 1;
    e4.FramesSent = 2;
    e4.BytesReceived = 64;
    e4.BytesSent = 128;
    SetFrames(e4);
    e4.TTL = 64;
    e4.Markers = {mFoundByIPv4, mFoundByICMP, mFoundByDNS};
    s.AddIPv4Endpoint(e4);

    tIPv4Conversation c4;
    c4.initialize(0);
    c4.IPv4AddressPair.initialize(V4("192.0.2.1"), V4("198.51.100.7"));
    c4.FramesSrcToDst = 8;
    c4.FramesDstToSrc = 9;
    c4.BytesSrcToDst = 800;
    c4.BytesDstToSrc = 900;
    SetFrames(c4);
    c4.Markers = {mFoundByARP, mFoundByIPv4};
    s.AddIPv4Conversation(c4);

    tIPv6Endpoint e6;
    e6.initialize(0);
    e6.IPv6Address = V6("2001:db8::1");
    e6.FramesReceived = 4;
    e6.BytesReceived = 400;
    SetFrames(e6);
    e6.HopLimit = 255;
    e6.Markers = {mFoundByIPv6, mFoundByNRB};
    s.AddIPv6Endpoint(e6);

    tIPv6Conversation c6;
    c6.initialize(0);
    c6.IPv6AddressPair.initialize(V6("2001:db8::1"), V6("fe80::2"));
    c6.FramesSrcToDst = 10;
    c6.BytesSrcToDst = 1000;
    SetFrames(c6);
    c6.Markers = {mFoundByIPv6, mFoundByICMP};
    s.AddIPv6Conversation(c6);

    s.AddTCPConversation(SampleTCP());

    tUDPConversation u;
    u.initialize(0);
    u.SocketPair = Sockets("192.0.2.1", 5353, "192.0.2.9", 53);
    u.FramesSrcToDst = 1;
    u.BytesSrcToDst = 90;
    SetFrames(u);
    u.Markers = {mFoundByIPv4};
    u.Attributes = {caSingleFrame, caOneSidedCommunication};
    s.AddUDPConversation(u);

    tNameResolutionEntry n;
    n.initialize(0);
    n.FQDN.setFQDN("WWW.Example.com");
    n.isAnswer = true;
    n.Answer.initialize(V4("192.0.2.80"));
    n.ReplyCode = dnsrcNXDomain;
    n.FrameCount = 3;
    SetFrames(n);
    n.QueryTypes = {dnsrtA, dnsrtAAAA};
    n.Markers = {mFoundByDNS};
    s.NameResolutions().emplace(n.DictionaryKey(), n);
}

// ---- Database helpers ----

// The rows of a table for one file, every column but id and fileid as "name=value",
// sorted so that two tables written in different orders compare equal.
std::vector<std::string> Rows(tSQLiteConnection& db, std::string_view table, int64_t fileid) {
    tSQLiteStatement q(db, fmt::format("SELECT * FROM {} WHERE fileid={}", table, fileid));
    std::vector<std::string> rows;
    while (q.Step()) {
        std::string row;
        for (int i = 0; i < q.ColumnCount(); ++i) {
            const std::string name = q.ColumnName(i);
            if (name == "id" || name == "fileid") continue;
            row += name + "=" + (q.IsNull(i) ? std::string("NULL") : q.ColumnText(i)) + ";";
        }
        rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::string Value(tSQLiteConnection& db, const std::string& sql) {
    tSQLiteStatement q(db, sql);
    if (!q.Step()) return "(no row)";
    return q.IsNull(0) ? "NULL" : q.ColumnText(0);
}

int64_t Count(tSQLiteConnection& db, std::string_view table) {
    tSQLiteStatement q(db, fmt::format("SELECT count(*) FROM {}", table));
    q.Step();
    return q.ColumnInt64(0);
}

constexpr std::string_view kTables[] = {"MACEndpoints",      "MACConversations", "IPv4Endpoints",
                                        "IPv4Conversations", "IPv6Endpoints",    "IPv6Conversations",
                                        "TCPConversations",  "UDPConversations", "NameResolution"};

class ConversationPersistenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("morwick_persist_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::unique_ptr<tIntelDBManager> Manager(const std::string& name, const std::string& trace = kTrace) {
        return std::make_unique<tIntelDBManager>((dir / name).string(), trace, kThreeGiB, kFileDate, kFirst, kLast);
    }
    static bool Store(tConversationStorage& s, tIntelDBManager& m, const std::string& trace = kTrace) {
        return s.StoreConversationsToDatabase(m.Database(), trace, kThreeGiB, kFileDate, kFirst, kLast);
    }

    fs::path dir;
};

TEST_F(ConversationPersistenceTest, EveryTableGetsItsColumnValues) {
    auto m = Manager("a.db");
    tConversationStorage store;
    FillStore(store);
    ASSERT_TRUE(Store(store, *m));
    tSQLiteConnection& db = m->Database();

    struct Case {
        std::string_view table, column, expected;
    };
    // Columns every table shares, checked once per table below.
    const Case common[] = {
        {"", "FirstFrame", "3"},
        {"", "LastFrame", "20"},
        {"", "FirstFrameOffset", "124"},
        {"", "LastFrameOffset", "99999999999"},
        {"", "FirstFrameTime", "2024-03-01 12:00:00.000"},
        {"", "FirstFrameTimeNano", "123456789"},
        {"", "LastFrameTime", "2024-03-01 12:00:05.000"},
        {"", "LastFrameTimeNano", "987654321"},
        {"", "InterfaceIDs", "0,3"},
    };
    const Case cases[] = {
        {"MACEndpoints", "MACAddress", "00:1a:2b:3c:4d:5e"},
        {"MACEndpoints", "FramesReceived", "2"},
        {"MACEndpoints", "FramesSent", "3"},
        {"MACEndpoints", "BytesReceived", "120"},
        {"MACEndpoints", "BytesSent", "180"},
        {"MACEndpoints", "FlagEthernet", "1"},
        {"MACEndpoints", "FlagARP", "1"},
        {"MACEndpoints", "Attributes", "16"},  // Ethernet trailer
        {"MACConversations", "SourceMAC", "00:00:00:00:00:01"},
        {"MACConversations", "DestinationMAC", "aa:bb:cc:dd:ee:ff"},
        {"MACConversations", "FramesSrcToDst", "6"},
        {"MACConversations", "FramesDstToSrc", "7"},
        {"MACConversations", "BytesSrcToDst", "600"},
        {"MACConversations", "BytesDstToSrc", "700"},
        {"MACConversations", "FlagEthernet", "1"},
        {"MACConversations", "FlagARP", "0"},
        {"MACConversations", "Attributes", "32768"},
        {"IPv4Endpoints", "IPAddress", "192.0.2.1"},
        {"IPv4Endpoints", "FramesReceived", "1"},
        {"IPv4Endpoints", "BytesSent", "128"},
        {"IPv4Endpoints", "TTL", "64"},
        {"IPv4Endpoints", "FlagARP", "0"},
        {"IPv4Endpoints", "FlagIPv4", "1"},
        {"IPv4Endpoints", "FlagDNS", "1"},
        {"IPv4Endpoints", "FlagICMP", "1"},
        {"IPv4Endpoints", "FlagNRB", "0"},
        {"IPv4Endpoints", "Attributes", "0"},
        {"IPv4Conversations", "SourceIP", "192.0.2.1"},
        {"IPv4Conversations", "DestinationIP", "198.51.100.7"},
        {"IPv4Conversations", "BytesDstToSrc", "900"},
        {"IPv4Conversations", "FlagARP", "1"},
        {"IPv4Conversations", "FlagIPv4", "1"},
        {"IPv4Conversations", "FlagDNS", "0"},
        {"IPv6Endpoints", "IPAddress", "2001:db8::1"},
        {"IPv6Endpoints", "FramesReceived", "4"},
        {"IPv6Endpoints", "HopLimit", "255"},
        {"IPv6Endpoints", "FlagIPv6", "1"},
        {"IPv6Endpoints", "FlagNRB", "1"},
        {"IPv6Endpoints", "FlagICMP", "0"},
        {"IPv6Conversations", "SourceIP", "2001:db8::1"},
        {"IPv6Conversations", "DestinationIP", "fe80::2"},
        {"IPv6Conversations", "FramesSrcToDst", "10"},
        {"IPv6Conversations", "FlagICMP", "1"},
        {"IPv6Conversations", "FlagDNS", "0"},
        {"TCPConversations", "IPVersion", "4"},
        {"TCPConversations", "SourceIP", "10.0.0.1"},
        {"TCPConversations", "SourcePort", "51000"},
        {"TCPConversations", "DestinationIP", "10.0.0.2"},
        {"TCPConversations", "DestinationPort", "443"},
        {"TCPConversations", "ClientIP", "10.0.0.1"},
        {"TCPConversations", "FramesSrcToDst", "5"},
        {"TCPConversations", "FramesDstToSrc", "4"},
        {"TCPConversations", "BytesSrcToDst", "700"},
        {"TCPConversations", "BytesDstToSrc", "5000000000"},
        {"TCPConversations", "PayloadSrcToDst", "100"},  // the client is the source
        {"TCPConversations", "PayloadDstToSrc", "2500"},
        {"TCPConversations", "SessionStatus", "9"},
        {"TCPConversations", "SynFlagSeen", "1"},
        {"TCPConversations", "FinFlagSeen", "1"},
        {"TCPConversations", "RstFlagSeen", "0"},
        {"TCPConversations", "TCPFlags", "27"},  // FIN 1 + SYN 2 + PSH 8 + ACK 16
        {"TCPConversations", "InitialRTTns", "1500000"},
        {"TCPConversations", "Quality", "NULL"},
        {"TCPConversations", "FlagIPv4", "1"},
        {"TCPConversations", "FlagIPv6", "0"},
        {"TCPConversations", "FlagICMP", "0"},
        {"TCPConversations", "Attributes", "32769"},  // single frame 32768 + out of order 1
        {"TCPConversations", "TunnelFlags", "12"},
        {"TCPConversations", "ClientRandom", ""},
        {"TCPConversations", "MiscInfo", ""},
        {"IPv4Conversations", "MiscInfo", "NULL"},
        {"NameResolution", "MiscInfo", "NULL"},
        {"UDPConversations", "IPVersion", "4"},
        {"UDPConversations", "SourceIP", "192.0.2.1"},
        {"UDPConversations", "SourcePort", "5353"},
        {"UDPConversations", "DestinationIP", "192.0.2.9"},
        {"UDPConversations", "DestinationPort", "53"},
        {"UDPConversations", "BytesSrcToDst", "90"},
        {"UDPConversations", "FlagIPv4", "1"},
        {"UDPConversations", "TunnelFlags", "0"},
        {"UDPConversations", "ClientRandom", ""},
        {"UDPConversations", "MiscInfo", ""},
        {"NameResolution", "ipversion", "4"},
        {"NameResolution", "fqdn", "WWW.Example.com"},
        {"NameResolution", "answertype", "1"},
        {"NameResolution", "answer", "192.0.2.80"},
        {"NameResolution", "ReplyCode", "3"},
        {"NameResolution", "FrameCount", "3"},
        {"NameResolution", "QueryTypes", "129"},
        {"NameResolution", "FlagIsAnswer", "1"},
        {"NameResolution", "FlagQueryOnly", "0"},
        {"NameResolution", "FlagDNS", "1"},
        {"NameResolution", "FlagNRB", "0"},
        {"NameResolution", "FlagDHCP", "0"},
    };
    const std::string fileid = std::to_string(m->CurrentFileIndex());
    for (const auto& c : cases) {
        EXPECT_EQ(Value(db, fmt::format("SELECT {} FROM {} WHERE fileid={}", c.column, c.table, fileid)), c.expected)
            << c.table << "." << c.column;
    }
    for (std::string_view table : kTables) {
        EXPECT_EQ(Count(db, table), 1) << table;
        for (const auto& c : common) {
            EXPECT_EQ(Value(db, fmt::format("SELECT {} FROM {}", c.column, table)), c.expected)
                << table << "." << c.column;
        }
    }
    EXPECT_EQ(Value(db, "SELECT conversationsscanned FROM filelist WHERE id=" + fileid), "1");
    EXPECT_EQ(Value(db, "SELECT ZeroPayloadCount FROM filelist WHERE id=" + fileid), "0");
}

TEST_F(ConversationPersistenceTest, EmptyStoreOnlyMarksTheFileScanned) {
    auto m = Manager("a.db");
    tConversationStorage store;
    store.setEmptyTCPConversations(5);
    ASSERT_TRUE(Store(store, *m));
    for (std::string_view table : kTables) EXPECT_EQ(Count(m->Database(), table), 0) << table;
    EXPECT_EQ(Value(m->Database(), "SELECT conversationsscanned FROM filelist"), "1");
    EXPECT_EQ(Value(m->Database(), "SELECT ZeroPayloadCount FROM filelist"), "0");
    EXPECT_EQ(store.EmptyTCPConversations(), 0);
}

TEST_F(ConversationPersistenceTest, ZeroPayloadConversationsAreCounted) {
    auto m = Manager("a.db");
    tConversationStorage store;
    for (uint16_t port : {1000, 1001, 1002}) {
        tTCPConversation c = SampleTCP();
        c.SocketPair = Sockets("10.0.0.1", port, "10.0.0.2", 80);
        c.ClientPayloadBytes = port == 1000 ? 1 : 0;
        c.ServerPayloadBytes = 0;
        store.AddTCPConversation(c);
    }
    ASSERT_TRUE(Store(store, *m));
    EXPECT_EQ(store.EmptyTCPConversations(), 2);
    EXPECT_EQ(Value(m->Database(), "SELECT ZeroPayloadCount FROM filelist"), "2");
}

TEST_F(ConversationPersistenceTest, FileNotInTheDatabaseWritesNothing) {
    auto m = Manager("a.db");
    tConversationStorage store;
    FillStore(store);
    struct Case {
        const char* what;
        std::string trace;
        tFrameTimeStamp first;
    };
    const Case cases[] = {
        {"other name", "/Captures/Site A/Other.pcap", kFirst},
        {"other first frame time", kTrace, tFrameTimeStamp{kFirst.datetime.AddSeconds(1), 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(store.StoreConversationsToDatabase(m->Database(), c.trace, kThreeGiB, kFileDate, c.first, kLast));
        for (std::string_view table : kTables) EXPECT_EQ(Count(m->Database(), table), 0) << table;
        EXPECT_EQ(Value(m->Database(), "SELECT conversationsscanned FROM filelist"), "0");
        tConversationStorage loaded;
        EXPECT_FALSE(loaded.LoadConversationsFromDatabase(m->Database(), c.trace, kThreeGiB, kFileDate, c.first, kLast));
    }
}

TEST_F(ConversationPersistenceTest, FailedStatementLeavesNoRowsBehind) {
    auto m = Manager("a.db");
    tConversationStorage store;
    FillStore(store);
    // The seventh of the nine tables cannot be written.
    m->Database().Exec("DROP TABLE TCPConversations");
    EXPECT_THROW(Store(store, *m), tDatabaseError);
    for (std::string_view table : kTables) {
        if (table != "TCPConversations") {
            EXPECT_EQ(Count(m->Database(), table), 0) << table;
        }
    }
    EXPECT_EQ(Value(m->Database(), "SELECT conversationsscanned FROM filelist"), "0");
    EXPECT_FALSE(m->Database().InTransaction());
}

TEST_F(ConversationPersistenceTest, RoundTripGivesTheSameRowsUnderTheSecondFileIndex) {
    auto a = Manager("a.db");
    tConversationStorage scanned;
    FillStore(scanned);
    // An IPv6 conversation whose client is unknown, and one without SYN whose client the
    // ports give.
    tTCPConversation v6 = SampleTCP();
    v6.SocketPair = Sockets("2001:db8::1", 50000, "2001:db8::2", 22);
    v6.ClientIP.initialize();
    v6.Flags = tTCPFlagSet{tcpACK};
    v6.ClientPayloadBytes = 11;
    v6.ServerPayloadBytes = 22;
    v6.Tunnelflags = tTunnelFlagSet{tfTunnelLayer, tfTunnelGRE};
    scanned.AddTCPConversation(v6);
    ASSERT_TRUE(Store(scanned, *a));

    // The second database lists another file first, so the file gets index 2 there.
    auto b = Manager("b.db", "/Captures/first.pcap");
    b->AssignTraceFile(kTrace, kThreeGiB, kFileDate, kFirst, kLast);
    ASSERT_EQ(b->CurrentFileIndex(), 2);

    tConversationStorage loaded;
    ASSERT_TRUE(loaded.LoadFirstFileConversationsFromDatabase(a->Database()));
    EXPECT_EQ(loaded.CurrentFileIndex(), 1);
    tConversationStorage merged;
    merged.AddConversationsFromStore(loaded, 0);
    ASSERT_TRUE(Store(merged, *b));

    for (std::string_view table : kTables) {
        const auto first = Rows(a->Database(), table, 1);
        EXPECT_FALSE(first.empty()) << table;
        EXPECT_EQ(Rows(b->Database(), table, 2), first) << table;
        EXPECT_TRUE(Rows(b->Database(), table, 1).empty()) << table;
    }
    EXPECT_EQ(Value(b->Database(), "SELECT ZeroPayloadCount FROM filelist WHERE id=2"),
              Value(a->Database(), "SELECT ZeroPayloadCount FROM filelist WHERE id=1"));
    // The single-frame mark (32768) survives both trips.
    EXPECT_EQ(Value(b->Database(), "SELECT Attributes FROM MACConversations WHERE fileid=2"), "32768");
}

// Rows are written in groups of several rows per statement; around and across the group
// size every record must still become one row, in the order the store yields them.
TEST_F(ConversationPersistenceTest, RowsKeepTheStoreOrderAcrossStatementGroups) {
    for (int count : {1, 2, 63, 64, 65, 128, 131, 300}) {
        SCOPED_TRACE(count);
        auto m = Manager(fmt::format("groups{}.db", count));
        tConversationStorage store;
        for (int i = 0; i < count; ++i) {
            tMACEndpoint e;
            e.initialize(0);
            e.MACAddress = MAC(fmt::format("02:00:00:00:{:02x}:{:02x}", i >> 8, i & 0xFF));
            e.FirstFrameIndex = 10 + i;
            e.LastFrameIndex = 1000 + 3 * i;
            e.FirstFrameTime = tFrameTimeStamp{kFirst.datetime.AddMs(1001 * i), i};
            e.LastFrameTime = tFrameTimeStamp{kFirst.datetime.AddDays(i), 7 * i};
            e.InterfaceList = Interfaces(0, {static_cast<uint32_t>(i % 3)});
            store.AddMACEndpoint(e);
        }
        ASSERT_EQ(store.MACEndpoints().size(), static_cast<size_t>(count));
        ASSERT_TRUE(Store(store, *m));

        tSQLiteStatement q(m->Database(),
                           "SELECT id,MACAddress,FirstFrame,LastFrame,FirstFrameTime,FirstFrameTimeNano,"
                           "LastFrameTime,LastFrameTimeNano,InterfaceIDs FROM MACEndpoints ORDER BY id");
        int64_t id = 0;
        for (const auto& [key, e] : store.MACEndpoints()) {
            ASSERT_TRUE(q.Step()) << "row " << id + 1 << " missing";
            EXPECT_EQ(q.ColumnInt64(0), ++id);
            EXPECT_EQ(q.ColumnText(1), e.MACAddress.asString(":", true));
            EXPECT_EQ(q.ColumnInt64(2), e.FirstFrameIndex);
            EXPECT_EQ(q.ColumnInt64(3), e.LastFrameIndex);
            EXPECT_EQ(q.ColumnText(4), DateTimeToDBText(e.FirstFrameTime.datetime));
            EXPECT_EQ(q.ColumnInt64(5), e.FirstFrameTime.nanoseconds);
            EXPECT_EQ(q.ColumnText(6), DateTimeToDBText(e.LastFrameTime.datetime));
            EXPECT_EQ(q.ColumnInt64(7), e.LastFrameTime.nanoseconds);
            EXPECT_EQ(q.ColumnText(8), InterfaceListToString(e.InterfaceList));
        }
        EXPECT_FALSE(q.Step()) << "more rows than records";
    }
}

// A text longer than the inserter keeps in its own buffer is still written whole.
TEST_F(ConversationPersistenceTest, LongTextsAreWrittenWhole) {
    auto m = Manager("long.db");
    tConversationStorage store;
    std::string longName;
    for (int i = 0; i < 4; ++i) longName += std::string(60, static_cast<char>('a' + i)) + ".";
    longName += "example";
    for (int i = 0; i < 70; ++i) {
        tNameResolutionEntry r;
        r.initialize(0);
        r.FQDN.setFQDN(fmt::format("{}{}", i, longName));
        // Text answers of 2,000 characters: a group of rows outgrows the buffer.
        const std::string text = fmt::format("{:0>2000}", i);
        r.Answer.initialize(std::string_view(text));
        r.FrameCount = 1;
        store.AddNameResolution(std::move(r));
    }
    ASSERT_TRUE(Store(store, *m));
    std::vector<std::string> expected, stored;
    for (const auto& [key, r] : store.NameResolutions()) expected.push_back(r.FQDN.FullFQDN + "|" + r.Answer.asString());
    tSQLiteStatement q(m->Database(), "SELECT fqdn,answer FROM NameResolution ORDER BY id");
    while (q.Step()) stored.push_back(q.ColumnText(0) + "|" + q.ColumnText(1));
    EXPECT_EQ(stored, expected);
}

TEST_F(ConversationPersistenceTest, LoadedRecordsCarryTheStoredValues) {
    auto m = Manager("a.db");
    tConversationStorage scanned;
    FillStore(scanned);
    tTCPConversation unknown = SampleTCP();
    unknown.SocketPair = Sockets("2001:db8::1", 50000, "2001:db8::2", 22);
    unknown.ClientIP.initialize();
    unknown.ClientPayloadBytes = 11;
    unknown.ServerPayloadBytes = 22;
    unknown.Tunnelflags = tTunnelFlagSet{tfTunnelLayer, tfTunnelTZSP};
    scanned.AddTCPConversation(unknown);
    ASSERT_TRUE(Store(scanned, *m));

    // The unknown client is written as the IPv4 zero address, its payload reversed.
    EXPECT_EQ(Value(m->Database(), "SELECT ClientIP FROM TCPConversations WHERE IPVersion=6"), "0.0.0.0");
    EXPECT_EQ(Value(m->Database(), "SELECT PayloadSrcToDst FROM TCPConversations WHERE IPVersion=6"), "22");
    EXPECT_EQ(Value(m->Database(), "SELECT PayloadDstToSrc FROM TCPConversations WHERE IPVersion=6"), "11");

    tConversationStorage loaded;
    ASSERT_TRUE(loaded.LoadConversationsFromDatabase(m->Database(), kTrace, kThreeGiB, kFileDate, kFirst, kLast));
    const int32_t file = m->CurrentFileIndex();

    const tTCPConversation* t = loaded.FindTCPConversation(SampleTCP().SocketPair);
    ASSERT_NE(t, nullptr);
    const tTCPConversation want = SampleTCP();
    EXPECT_EQ(t->ClientIP, want.ClientIP);
    EXPECT_EQ(t->ClientPayloadBytes, 100);
    EXPECT_EQ(t->ServerPayloadBytes, 2500);
    EXPECT_EQ(t->BytesDstToSrc, 5'000'000'000);
    EXPECT_EQ(t->LastFrameOffset, 99'999'999'999);
    EXPECT_EQ(t->FirstFrameTime, kFirst);
    EXPECT_EQ(t->LastFrameTime, kLast);
    EXPECT_EQ(t->Flags, want.Flags);
    EXPECT_EQ(t->Tunnelflags, tTunnelFlagSet{tfTunnelPayload});
    EXPECT_EQ(t->Attributes, want.Attributes);
    EXPECT_EQ(t->Markers, want.Markers);
    EXPECT_EQ(t->SessionStatus, 9);
    EXPECT_TRUE(t->SynSeen && t->FinSeen && !t->RstSeen);
    EXPECT_EQ(t->InitialRTTns, 1'500'000);
    EXPECT_EQ(t->ClientRandom, "");
    EXPECT_EQ(t->FirstFileID, file);
    EXPECT_EQ(t->OriginFileIndex, file);
    EXPECT_EQ(t->InterfaceList, Interfaces(file, {0, 3}));

    const tTCPConversation* u = loaded.FindTCPConversation(unknown.SocketPair);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->ClientPayloadBytes, 11);
    EXPECT_EQ(u->ServerPayloadBytes, 22);
    EXPECT_EQ(u->Tunnelflags, tTunnelFlagSet{tfTunnelLayer});  // TZSP has no stored bit

    const tMACEndpoint* me = loaded.FindMACEndpoint(MAC("00:1a:2b:3c:4d:5e"));
    ASSERT_NE(me, nullptr);
    EXPECT_EQ(me->FirstFrameIndex, 3);
    EXPECT_EQ(me->LastFrameIndex, 20);
    EXPECT_EQ(me->BytesSent, 180);
    EXPECT_EQ(me->Markers, (tMarkerSet{mFoundByEthernet, mFoundByARP}));
    EXPECT_EQ(me->Attributes, tConversationAttributeSet{caEthernetTrailerPresent});

    const tIPv4Endpoint* e4 = loaded.FindIPv4Endpoint(V4("192.0.2.1"));
    ASSERT_NE(e4, nullptr);
    EXPECT_EQ(e4->TTL, 64);
    EXPECT_EQ(e4->Markers, (tMarkerSet{mFoundByIPv4, mFoundByICMP, mFoundByDNS}));
    const tIPv6Endpoint* e6 = loaded.FindIPv6Endpoint(V6("2001:db8::1"));
    ASSERT_NE(e6, nullptr);
    EXPECT_EQ(e6->HopLimit, 255);
    EXPECT_EQ(e6->Markers, (tMarkerSet{mFoundByIPv6, mFoundByNRB}));

    tIPv6AddressPair p6;
    p6.initialize(V6("2001:db8::1"), V6("fe80::2"));
    ASSERT_NE(loaded.FindIPv6Conversation(p6), nullptr);
    const tUDPConversation* udp = loaded.FindUDPConversation(Sockets("192.0.2.1", 5353, "192.0.2.9", 53));
    ASSERT_NE(udp, nullptr);
    EXPECT_EQ(udp->Attributes, (tConversationAttributeSet{caSingleFrame, caOneSidedCommunication}));

    ASSERT_EQ(loaded.NameResolutions().size(), 1u);
    const tNameResolutionEntry& n = loaded.NameResolutions().begin()->second;
    EXPECT_EQ(n.FQDN.FullFQDN, "WWW.Example.com");
    EXPECT_EQ(n.Answer.AnswerType, nraIPAddress);
    EXPECT_EQ(n.Answer.IPAddress, IP("192.0.2.80"));
    EXPECT_EQ(n.ReplyCode, dnsrcNXDomain);
    EXPECT_EQ(n.QueryTypes, (tDNSRecordTypeSet{dnsrtA, dnsrtAAAA}));
    EXPECT_TRUE(n.isAnswer);
    EXPECT_FALSE(n.QueryOnly);
    EXPECT_EQ(n.FrameCount, 3);
    EXPECT_EQ(n.Markers, tMarkerSet{mFoundByDNS});
}

// Rows written by hand into a database whose file has the index 7.
class HandWrittenRowsTest : public ConversationPersistenceTest {
protected:
    void SetUp() override {
        ConversationPersistenceTest::SetUp();
        db.Open((dir / "h.db").string(), tSQLiteOpenMode::ReadWriteCreate);
        ApplyIntelDBSchema(db);
        db.Exec(
            "INSERT INTO filelist (id,filename,filepath,filesize,filedate,firstframetimestamp,"
            "firstframenanoseconds,lastframetimestamp,lastframenanoseconds) VALUES "
            "(7,'h.pcap','/x/',100,'2024-01-01','2024-03-01 12:00:00.000',0,'2024-03-01 12:00:05.000',0)");
    }
    bool Load(tConversationStorage& s) {
        return s.LoadConversationsFromDatabase(db, "/x/h.pcap", 100, tDateTime::Encode(2024, 1, 1),
                                               tFrameTimeStamp{kFirst.datetime, 0}, tFrameTimeStamp{kLast.datetime, 0});
    }
    tSQLiteConnection db;
};

TEST_F(HandWrittenRowsTest, InterfaceTextsComeBackUnderTheDatabaseFileIndex) {
    struct Case {
        const char* text;
        tInterfaceFileIDList expected;
    };
    const Case cases[] = {
        {"0,3", Interfaces(7, {0, 3})},
        {"", Interfaces(7, {})},
        {"5", Interfaces(7, {5})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        db.Exec("DELETE FROM UDPConversations");
        tSQLiteStatement ins(db,
                             "INSERT INTO UDPConversations (fileid,SourceIP,SourcePort,DestinationIP,DestinationPort,"
                             "FirstFrame,InterfaceIDs) VALUES (7,'10.1.1.1',1,'10.1.1.2',2,1,:t)");
        ins.BindText(":t", c.text);
        ins.Execute();
        tConversationStorage s;
        ASSERT_TRUE(Load(s));
        const tUDPConversation* u = s.FindUDPConversation(Sockets("10.1.1.1", 1, "10.1.1.2", 2));
        ASSERT_NE(u, nullptr);
        EXPECT_EQ(u->InterfaceList, c.expected);
        EXPECT_EQ(u->FirstFileID, 7);
    }
}

TEST_F(HandWrittenRowsTest, AnswersAreReadByTheirType) {
    db.Exec(
        "INSERT INTO NameResolution (fileid,ipversion,fqdn,answertype,answer,ReplyCode,FirstFrame,InterfaceIDs) "
        "VALUES (7,4,'a.example',1,'192.0.2.1',0,1,'0'),(7,6,'b.example',1,'2001:db8::5',0,2,'0'),"
        "(7,0,'c.example',2,'alias.example',0,3,'0'),(7,0,'d.example',3,'v=spf1',16,4,'0'),"
        "(7,0,'e.example',9,'ignored',0,5,'0')");
    tConversationStorage s;
    ASSERT_TRUE(Load(s));
    std::map<std::string, tNameResolutionEntry> byName;
    for (const auto& [key, e] : s.NameResolutions()) byName[e.FQDN.FullFQDN] = e;
    ASSERT_EQ(byName.size(), 5u);
    EXPECT_EQ(byName["a.example"].Answer.IPAddress, IP("192.0.2.1"));
    EXPECT_EQ(byName["b.example"].Answer.IPAddress.IPVersion, 6);
    EXPECT_EQ(byName["b.example"].Answer.IPAddress.IPv6Address, V6("2001:db8::5"));
    EXPECT_EQ(byName["c.example"].Answer.AnswerType, nraFQDN);
    EXPECT_EQ(byName["c.example"].Answer.FQDN.FullFQDN, "alias.example");
    EXPECT_EQ(byName["d.example"].Answer.AnswerType, nraText);
    EXPECT_EQ(byName["d.example"].Answer.TextValue, "v=spf1");
    EXPECT_EQ(byName["d.example"].ReplyCode, dnsrcBADSIG);  // 16 reads as BADSIG
    EXPECT_EQ(byName["e.example"].Answer.AnswerType, nraUnknown);
    EXPECT_EQ(byName["e.example"].InterfaceList, Interfaces(7, {0}));
}

TEST_F(HandWrittenRowsTest, LoadFirstFileNeedsAnOpenDatabaseAndAFileRow) {
    tConversationStorage s;
    tSQLiteConnection closed;
    try {
        s.LoadFirstFileConversationsFromDatabase(closed);
        ADD_FAILURE() << "no error";
    } catch (const tAssertionError& e) {
        EXPECT_STREQ(e.what(),
                     "Database not assigned or not open (tConversationStorage.LoadConversationsFromDatabase)");
    }
    db.Exec("DELETE FROM filelist");
    EXPECT_FALSE(s.LoadFirstFileConversationsFromDatabase(db));
}

TEST(ConversationCopy, FileIDIsForcedOnTheCopiesOnly) {
    tConversationStorage source;
    FillStore(source);
    for (int32_t file : {0, 5}) {
        SCOPED_TRACE(file);
        tConversationStorage target;
        target.AddConversationsFromStore(source, file);
        const int32_t want = file;  // records of a scan carry file index 0
        const tTCPConversation* t = target.FindTCPConversation(SampleTCP().SocketPair);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->FirstFileID, want);
        EXPECT_EQ(t->LastFileID, want);
        EXPECT_EQ(t->InterfaceList, Interfaces(want, {0, 3}));
        const tMACEndpoint* me = target.FindMACEndpoint(MAC("00:1a:2b:3c:4d:5e"));
        ASSERT_NE(me, nullptr);
        EXPECT_EQ(me->FirstFileID, want);
        EXPECT_EQ(target.MACConversations().size(), 1u);
        EXPECT_EQ(target.IPv4Endpoints().size(), 1u);
        EXPECT_EQ(target.IPv4Conversations().size(), 1u);
        EXPECT_EQ(target.IPv6Endpoints().size(), 1u);
        EXPECT_EQ(target.IPv6Conversations().size(), 1u);
        EXPECT_EQ(target.UDPConversations().size(), 1u);
        ASSERT_EQ(target.NameResolutions().size(), 1u);
        EXPECT_EQ(target.NameResolutions().begin()->second.FirstFileID, want);
    }
    // The source keeps its own file index.
    EXPECT_EQ(source.FindTCPConversation(SampleTCP().SocketPair)->InterfaceList, Interfaces(0, {0, 3}));
}

TEST(ConversationCopy, EqualNameResolutionsAreMerged) {
    tConversationStorage source;
    FillStore(source);
    tConversationStorage target;
    target.AddConversationsFromStore(source, 0);
    tNameResolutionEntry later = source.NameResolutions().begin()->second;
    later.FQDN.setFQDN("www.example.COM");  // same key in another letter case
    later.FrameCount = 2;
    later.FirstFrame = 1;
    later.LastFrame = 40;
    later.QueryTypes = {dnsrtMX};
    later.Markers = {mFoundByNBNS};
    tConversationStorage second;
    second.NameResolutions().emplace(later.DictionaryKey(), later);
    target.AddConversationsFromStore(second, 0);
    ASSERT_EQ(target.NameResolutions().size(), 1u);
    const tNameResolutionEntry& e = target.NameResolutions().begin()->second;
    EXPECT_EQ(e.FQDN.FullFQDN, "WWW.Example.com");  // the first keeps its letter case
    EXPECT_EQ(e.FrameCount, 5);
    EXPECT_EQ(e.FirstFrame, 1);
    EXPECT_EQ(e.LastFrame, 40);
    EXPECT_EQ(e.QueryTypes, (tDNSRecordTypeSet{dnsrtA, dnsrtAAAA, dnsrtMX}));
    EXPECT_EQ(e.Markers, (tMarkerSet{mFoundByDNS, mFoundByNBNS}));
}

TEST(ConversationCopy, ForceFileIDOnEveryEntry) {
    tInterfaceFileIDList list = Interfaces(1, {2});
    tInterfaceFileIDEntry other;
    other.initialize(4, 6);
    list.push_back(other);
    tConversationStorage::ForceFileIDOnInterfaceList(list, 9);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].FileIndex, 9);
    EXPECT_EQ(list[1].FileIndex, 9);
    EXPECT_EQ(list[0].InterfaceFlags, 1u << 2);
    EXPECT_EQ(list[1].InterfaceFlags, 1u << 6);
}

}  // namespace
}  // namespace morwick
