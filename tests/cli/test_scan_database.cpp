// The meta database a scan writes, read back with SQLite, and the test whether an existing
// database is outdated.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "base/errors.h"
#include "cli/dbcheck.h"
#include "storage/schema.h"
#include "storage/sqlite.h"
#include "test_support.h"

namespace morwick {
namespace {

namespace fs = std::filesystem;
using morwick::testing::MakePcap;
using morwick::testing::RunMorwick;
using morwick::testing::tTempFolder;
using morwick::testing::WriteFile;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string Value(tSQLiteConnection& db, const std::string& sql) {
    tSQLiteStatement q(db, sql);
    if (!q.Step()) return "(no row)";
    return q.IsNull(0) ? "NULL" : q.ColumnText(0);
}

// ---- DBIsOutDated ----

class DBIsOutDatedTest : public ::testing::Test {
protected:
    // A meta database whose Meta table holds the given version rows.
    std::string MakeDatabase(std::initializer_list<const char*> versions) {
        const std::string path = dir / "m.db";
        fs::remove(path);
        tSQLiteConnection db(path, tSQLiteOpenMode::ReadWriteCreate);
        ApplyIntelDBSchema(db);
        db.Exec("DELETE FROM meta");
        for (const char* v : versions) {
            tSQLiteStatement ins(db, "INSERT INTO meta (name,value) VALUES ('version',:v)");
            ins.BindText(":v", v);
            ins.Execute();
        }
        return path;
    }
    tTempFolder dir;
};

TEST_F(DBIsOutDatedTest, VersionsSortedAsText) {
    struct Case {
        std::initializer_list<const char*> versions;
        bool outdated;
    };
    const Case cases[] = {
        {{}, true},              // no version row
        {{"1.8"}, true},
        {{"1.9"}, false},
        {{"2.0"}, false},        // a later schema is not outdated here
        {{"1.10"}, true},        // text order: "1.1" sorts before "1.9"
        {{"1.9a"}, false},
        {{""}, true},
        {{"1.9", "1.9"}, true},  // more than one version row
    };
    for (const auto& c : cases) {
        const std::string path = MakeDatabase(c.versions);
        SCOPED_TRACE(c.versions.size() == 0 ? "(none)" : *c.versions.begin());
        EXPECT_EQ(DBIsOutDated(path), c.outdated);
    }
}

TEST_F(DBIsOutDatedTest, ReadsWithoutLockingOrChangingTheFile) {
    const std::string path = MakeDatabase({"1.9"});
    const auto before = fs::file_size(path);
    EXPECT_FALSE(DBIsOutDated(path));
    EXPECT_EQ(fs::file_size(path), before);
    // The connection is gone: the file can be opened for writing at once.
    {
        tSQLiteConnection db(path, tSQLiteOpenMode::ReadWriteCreate);
        db.Exec("INSERT INTO meta (name,value) VALUES ('other','x')");
    }
    tSQLiteConnection ro = openDatabaseReadOnly(path);
    EXPECT_THROW(ro.Exec("INSERT INTO meta (name,value) VALUES ('y','z')"), tDatabaseError);
}

TEST_F(DBIsOutDatedTest, MissingAndUnreadableFiles) {
    try {
        DBIsOutDated(dir / "missing.db");
        ADD_FAILURE() << "no error";
    } catch (const tAssertionError& e) {
        EXPECT_STREQ(e.what(), "Database file not found (DBIsOutDated)");
    }
    // Not a database, or a database without the Meta table: scanned anew.
    WriteFile(dir / "junk.db", std::vector<uint8_t>(2048, 'x'));
    EXPECT_TRUE(DBIsOutDated(dir / "junk.db"));
    {
        tSQLiteConnection db(dir / "nometa.db", tSQLiteOpenMode::ReadWriteCreate);
        db.Exec("CREATE TABLE t (a INTEGER)");
    }
    EXPECT_TRUE(DBIsOutDated(dir / "nometa.db"));
}

// ---- End to end: scanning tests/data/demo.pcap ----

// Expected values were taken once from Debian's tshark and capinfos:
//   capinfos demo.pcap                       278 packets, 40147 data bytes, file size 44619
//   tshark -q -z endpoints,eth / ip / ipv6   22 / 13 / 18 endpoints
//   tshark -q -z conv,eth / ip / ipv6        17 / 10 / 15 conversations
//   tshark -q -z conv,tcp / udp              2 / 3 conversations
//   tshark -Y tcp.port==55555 -T fields -e frame.number -e tcp.flags.str -e tcp.len
//       frames 256 to 277; SYN from 192.168.125.212 in 256, SYN/ACK in 257, ACK in 258;
//       payload 3 x 16 bytes from .212 and 5 x 16 from .165; 10 frames (980 bytes) from
//       .165 and 12 frames (1052 bytes) from .212; flags SYN, ACK, PSH, FIN.
//   tshark -q -z conv,udp                    192.168.125.165:43428 <-> 192.168.125.1:53:
//       2 frames, 180 bytes, all towards .165, frames 254 and 255
class ScanDatabaseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ::setenv("TZ", "UTC", 1); }

    void SetUp() override {
        capture = dir / "Demo.PCAP";
        fs::copy_file(fs::path(MORWICK_TEST_DATA) / "demo.pcap", capture);
        // A known modification time: 2021-06-15 08:30:00 UTC.
        struct utimbuf times {};
        times.actime = times.modtime = 1623745800;
        ::utime(capture.c_str(), &times);
        db = dir / ".pcapmeta/Demo.db";
    }
    void Scan() {
        const auto run = RunMorwick(dir.Path(), {"scan", capture, "/l4"});
        ASSERT_NE(run.Output.find("- storing results to database"), std::string::npos) << run.Output;
    }

    tTempFolder dir;
    std::string capture;
    std::string db;
};

TEST_F(ScanDatabaseTest, FileRowAndStatistics) {
    Scan();
    ASSERT_TRUE(fs::exists(db));
    EXPECT_FALSE(fs::exists(db + ".part"));
    tSQLiteConnection c = openDatabaseReadOnly(db);
    EXPECT_EQ(Value(c, "SELECT count(*) FROM filelist"), "1");
    struct Case {
        const char* column;
        std::string expected;
    };
    const Case filelist[] = {
        {"id", "1"},
        {"filename", "demo.pcap"},
        {"filepath", Lower(dir.Path()) + "/"},
        {"filesize", "44619"},
        {"filedate", "2021-06-15 08:30:00.000"},
        {"firstframetimestamp", "2013-08-05 04:02:45.000"},
        {"firstframenanoseconds", "610103000"},
        {"lastframetimestamp", "2025-10-03 16:27:33.000"},
        {"lastframenanoseconds", "363746000"},
        {"fullfilescanned", "1"},
        {"conversationsscanned", "1"},
        {"ZeroPayloadCount", "1"},  // the one-frame IPv6 TCP conversation carries none
    };
    for (const auto& f : filelist)
        EXPECT_EQ(Value(c, fmt::format("SELECT {} FROM filelist", f.column)), f.expected) << f.column;
    const Case stats[] = {
        {"fileid", "1"},
        {"framecount", "278"},
        {"totalframebytes", "40147"},
        {"totalwirebytes", "40147"},
        {"minframesize", "60"},
        {"maxframesize", "7226"},
        {"firstframeoffset", "24"},
        {"firstframetime", "2013-08-05 04:02:45.000"},
        {"lastframetimenanosecs", "363746000"},
    };
    for (const auto& s : stats)
        EXPECT_EQ(Value(c, fmt::format("SELECT {} FROM FileStatistics", s.column)), s.expected) << s.column;
}

TEST_F(ScanDatabaseTest, ConversationTablesAgreeWithTshark) {
    Scan();
    tSQLiteConnection c = openDatabaseReadOnly(db);
    struct Case {
        const char* table;
        int rows;
    };
    const Case counts[] = {
        {"MACEndpoints", 22},     {"MACConversations", 17}, {"IPv4Endpoints", 13},
        {"IPv4Conversations", 10}, {"IPv6Endpoints", 18},   {"IPv6Conversations", 15},
        {"TCPConversations", 2},  {"UDPConversations", 3},
    };
    for (const auto& n : counts) {
        EXPECT_EQ(Value(c, fmt::format("SELECT count(*) FROM {} WHERE fileid=1", n.table)), std::to_string(n.rows))
            << n.table;
    }

    // The TCP session on port 55555; the stored pair is ordered, so the server .165 is
    // the source.
    const std::string tcp = "FROM TCPConversations WHERE SourcePort=55555";
    struct Column {
        const char* name;
        const char* expected;
    };
    const Column tcpColumns[] = {
        {"IPVersion", "4"},
        {"SourceIP", "192.168.125.165"},
        {"DestinationIP", "192.168.125.212"},
        {"DestinationPort", "52278"},
        {"ClientIP", "192.168.125.212"},
        {"FramesSrcToDst", "10"},
        {"BytesSrcToDst", "980"},
        {"FramesDstToSrc", "12"},
        {"BytesDstToSrc", "1052"},
        {"PayloadSrcToDst", "80"},
        {"PayloadDstToSrc", "48"},
        {"FirstFrame", "256"},
        {"LastFrame", "277"},
        {"SynFlagSeen", "1"},
        {"FinFlagSeen", "1"},
        {"RstFlagSeen", "0"},
        {"TCPFlags", "27"},
        {"FlagIPv4", "1"},
        {"FlagIPv6", "0"},
        {"InterfaceIDs", "0"},
        {"TunnelFlags", "0"},
        {"ClientRandom", ""},
        {"FirstFrameTime", "2020-02-26 18:44:24.000"},
    };
    for (const auto& col : tcpColumns)
        EXPECT_EQ(Value(c, fmt::format("SELECT {} {}", col.name, tcp)), col.expected) << col.name;
    // The handshake was measured (SYN to the client's ACK) and the session closed.
    EXPECT_GT(std::stoll(Value(c, "SELECT InitialRTTns " + tcp)), 0);

    const std::string dns = "FROM UDPConversations WHERE SourcePort=53";
    const Column udpColumns[] = {
        {"SourceIP", "192.168.125.1"},   {"DestinationIP", "192.168.125.165"}, {"DestinationPort", "43428"},
        {"FramesSrcToDst", "0"},         {"FramesDstToSrc", "2"},              {"BytesDstToSrc", "180"},
        {"FirstFrame", "254"},           {"LastFrame", "255"},                 {"FlagIPv4", "1"},
    };
    for (const auto& col : udpColumns)
        EXPECT_EQ(Value(c, fmt::format("SELECT {} {}", col.name, dns)), col.expected) << col.name;

    // Frame offsets and nanoseconds point at the frames: the first frame of the file starts
    // right after the 24-byte file header.
    EXPECT_EQ(Value(c, "SELECT min(FirstFrameOffset) FROM MACEndpoints"), "24");
    EXPECT_EQ(Value(c, "SELECT min(FirstFrame) FROM MACEndpoints"), "1");
    EXPECT_EQ(Value(c, "SELECT FirstFrameTimeNano FROM MACEndpoints WHERE FirstFrame=1 LIMIT 1"), "610103000");
    // Every MAC row was reported by Ethernet, every IPv4 conversation by IPv4 or ARP.
    EXPECT_EQ(Value(c, "SELECT count(*) FROM MACEndpoints WHERE FlagEthernet=0"), "0");
    EXPECT_EQ(Value(c, "SELECT count(*) FROM IPv6Endpoints WHERE FlagIPv6=0"), "0");
    // Single-frame records keep their mark (32768): the one-frame IPv6 TCP conversation.
    EXPECT_EQ(Value(c, "SELECT Attributes & 32768 FROM TCPConversations WHERE IPVersion=6"), "32768");
    EXPECT_EQ(Value(c, "SELECT ClientIP FROM TCPConversations WHERE IPVersion=6"), "0.0.0.0");
}

TEST_F(ScanDatabaseTest, RescanReplacesTheDatabaseAndLeavesNoPartialFile) {
    Scan();
    // A leftover partial file from an earlier run does not disturb the next scan.
    WriteFile(db + ".part", std::vector<uint8_t>(100, 'x'));
    Scan();
    EXPECT_FALSE(fs::exists(db + ".part"));
    tSQLiteConnection c = openDatabaseReadOnly(db);
    EXPECT_EQ(Value(c, "SELECT count(*) FROM filelist"), "1");
    EXPECT_EQ(Value(c, "SELECT count(*) FROM TCPConversations"), "2");
    EXPECT_FALSE(DBIsOutDated(db));
}

TEST_F(ScanDatabaseTest, FailedStoreLeavesNoDatabase) {
    // The partial database's name is taken by a folder that cannot be removed.
    fs::create_directories(db + ".part/blocker");
    const auto run = RunMorwick(dir.Path(), {"scan", capture, "/l4"});
    EXPECT_NE(run.Output.find("Error"), std::string::npos) << run.Output;
    EXPECT_FALSE(fs::exists(db));
}

// Ctrl+C while the database is being written: the partial file goes, and no database is
// left that looks complete.
TEST(ScanDatabase, InterruptWhileStoringLeavesNoPartialDatabase) {
    tTempFolder dir;
    // Frames between ever new MAC addresses: many rows, so writing them takes a while.
    constexpr int kFrames = 200'000;
    std::vector<uint8_t> capture = MakePcap(kFrames);
    for (int i = 0; i < kFrames; ++i) {
        uint8_t* frame = capture.data() + 24 + static_cast<size_t>(i) * (16 + 60) + 16;
        for (int side = 0; side < 2; ++side) {
            uint8_t* mac = frame + 6 * side;
            mac[0] = 0x02;
            mac[1] = static_cast<uint8_t>(side);
            for (int b = 0; b < 4; ++b) mac[2 + b] = static_cast<uint8_t>(i >> (8 * b));
        }
    }
    WriteFile(dir / "big.pcap", capture);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::chdir(dir.Path().c_str()) != 0) ::_exit(127);
        ::freopen("/dev/null", "w", stdout);
        ::execl(MORWICK_EXE, MORWICK_EXE, "scan", "big.pcap", "/l4", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    auto partialFiles = [&] {
        std::vector<std::string> found;
        for (const auto& e : fs::recursive_directory_iterator(dir.Path()))
            if (e.path().extension() == ".part") found.push_back(e.path().string());
        return found;
    };
    // Interrupt as soon as the partial database shows up.
    bool sent = false;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, &status, WNOHANG) == pid) break;
        if (!sent && !partialFiles().empty()) {
            ::kill(pid, SIGINT);
            sent = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!WIFEXITED(status) && !WIFSIGNALED(status)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        FAIL() << "the scan did not end";
    }
    EXPECT_TRUE(sent) << "no partial database was seen";
    EXPECT_EQ(partialFiles(), std::vector<std::string>{});
    const fs::path db = fs::path(dir.Path()) / "big.db";
    if (WIFSIGNALED(status)) {
        EXPECT_EQ(WTERMSIG(status), SIGINT);
        EXPECT_FALSE(fs::exists(db));
    } else {
        // The signal came after the database was complete.
        ASSERT_TRUE(fs::exists(db));
        EXPECT_FALSE(DBIsOutDated(db.string()));
    }
}

TEST(ScanDatabase, UnknownFormatAndEmptyCapture) {
    tTempFolder dir;
    WriteFile(dir / "noise.pcap", std::vector<uint8_t>(64, 0x42));
    RunMorwick(dir.Path(), {"scan", dir / "noise.pcap", "/l4"});
    EXPECT_TRUE(fs::is_directory(dir / ".pcapmeta"));
    EXPECT_FALSE(fs::exists(dir / ".pcapmeta/noise.db"));
    EXPECT_FALSE(fs::exists(dir / ".pcapmeta/noise.db.part"));

    // A pcap without frames still gets its file row, marked scanned, and no records.
    WriteFile(dir / "empty.pcap", MakePcap(0));
    RunMorwick(dir.Path(), {"scan", dir / "empty.pcap", "/l4"});
    ASSERT_TRUE(fs::exists(dir / ".pcapmeta/empty.db"));
    tSQLiteConnection c = openDatabaseReadOnly(dir / ".pcapmeta/empty.db");
    EXPECT_EQ(Value(c, "SELECT conversationsscanned FROM filelist"), "1");
    EXPECT_EQ(Value(c, "SELECT framecount FROM FileStatistics"), "0");
    EXPECT_EQ(Value(c, "SELECT count(*) FROM MACEndpoints"), "0");
}

}  // namespace
}  // namespace morwick
