// Merging the per-file databases of a folder into the folder database, driven through the
// built program: none, one and several databases, the name switch, the overwrite question
// on standard input, and a row-by-row check that every file's rows arrive under its new id.
#include "cli/merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "storage/inteldb_manager.h"
#include "storage/sqlite.h"
#include "test_support.h"

using namespace morwick;
using namespace morwick::testing;
namespace fs = std::filesystem;

namespace {

const std::string Demo = std::string(MORWICK_TEST_DATA) + "/demo.pcap";

std::string Real(const tTempFolder& dir) { return fs::canonical(dir.Path()).string(); }

// Captures named Names in dir (copies of the demo capture), scanned into ".pcapmeta".
void ScanCaptures(const tTempFolder& dir, const std::vector<std::string>& Names) {
    for (const auto& name : Names) fs::copy_file(Demo, dir / name);
    ASSERT_EQ(RunMorwick(dir.Path(), {"scan", "*.pcap", "/l4"}).Status, 0);
}

// The progress part of a merge line: "(  0%)" and then each shown percentage in place.
std::string Progress(const std::vector<int>& Steps) {
    std::string out = "(  0%)";
    char text[16];
    for (int p : Steps) {
        std::snprintf(text, sizeof text, "%3d%%)", p);
        out += std::string("\b\b\b\b\b") + text;
    }
    return out + "\n";
}

const char* const CopiedTables[] = {
    "FileStatistics",    "MACEndpoints",     "MACConversations",  "IPv4Endpoints",   "IPv4Conversations",
    "IPv6Endpoints",     "IPv6Conversations", "TCPConversations", "UDPConversations", "NameResolution",
    "BlockChainEntries", "NRBEntries",       "pcapngFileStatistics",
};

int64_t Count(tSQLiteConnection& db, const std::string& sql) {
    tSQLiteStatement q(db, sql);
    return q.Step() ? q.ColumnInt64(0) : -1;
}

// Every row of a table for one file, all columns but id and fileid, as sorted lines.
std::vector<std::string> RowsOf(tSQLiteConnection& db, const std::string& table, int64_t fileid) {
    std::vector<std::string> columns;
    {
        tSQLiteStatement info(db, "PRAGMA table_info(" + table + ");");
        while (info.Step()) {
            const std::string name = info.ColumnText("name");
            if (name != "id" && name != "fileid") columns.push_back(name);
        }
    }
    std::string list;
    for (const auto& c : columns) list += (list.empty() ? "quote(\"" : " || '|' || quote(\"") + c + "\")";
    std::vector<std::string> rows;
    tSQLiteStatement q(db, "SELECT " + list + " FROM " + table + " WHERE fileid=" + std::to_string(fileid) + ";");
    while (q.Step()) rows.push_back(q.ColumnText(0));
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The folder database holds one file-list row per per-file database, with its details,
// and every row of every per-file table under that file's id in the folder database.
void ExpectMergedFrom(const std::string& FolderDB, const std::vector<std::string>& PerFileDBs) {
    tSQLiteConnection merged(FolderDB, tSQLiteOpenMode::ReadOnly);
    EXPECT_EQ(Count(merged, "SELECT count(*) FROM filelist;"), static_cast<int64_t>(PerFileDBs.size()));
    std::map<std::string, int64_t> totals;
    for (const auto& path : PerFileDBs) {
        SCOPED_TRACE(path);
        tSQLiteConnection source(path, tSQLiteOpenMode::ReadOnly);
        tSQLiteStatement row(source, "SELECT id,filename,filesize,filedate,firstframetimestamp,firstframenanoseconds,"
                                     "lastframetimestamp,lastframenanoseconds FROM filelist;");
        ASSERT_TRUE(row.Step());
        const int64_t sourceId = row.ColumnInt64(0);
        tSQLiteStatement target(merged, "SELECT id,filename,filesize,filedate,firstframetimestamp,"
                                        "firstframenanoseconds,lastframetimestamp,lastframenanoseconds,"
                                        "fullfilescanned,conversationsscanned FROM filelist WHERE filename=:f;");
        target.BindText(":f", row.ColumnText(1));
        ASSERT_TRUE(target.Step());
        const int64_t id = target.ColumnInt64(0);
        for (int col = 1; col < 8; ++col) EXPECT_EQ(target.ColumnText(col), row.ColumnText(col)) << col;
        EXPECT_TRUE(target.ColumnBool(8));
        EXPECT_TRUE(target.ColumnBool(9));
        EXPECT_FALSE(target.Step()) << "one row per file";
        for (const char* table : CopiedTables) {
            SCOPED_TRACE(table);
            const auto expected = RowsOf(source, table, sourceId);
            EXPECT_EQ(RowsOf(merged, table, id), expected);
            totals[table] += static_cast<int64_t>(expected.size());
        }
    }
    // Nothing else arrived.
    for (const char* table : CopiedTables)
        EXPECT_EQ(Count(merged, std::string("SELECT count(*) FROM ") + table + ";"), totals[table]) << table;
}

}  // namespace

TEST(MergeSwitch, NameOfTheFolderDatabase) {
    struct tCase {
        std::vector<std::string> args;
        std::string name;
    };
    const tCase cases[] = {
        {{"merge", "f"}, ""},
        {{"merge", "f", "/d=x.db"}, "x.db"},
        {{"merge", "f", "/d:x.db"}, "x.db"},
        {{"merge", "f", "-D", "x.db"}, "x.db"},
        {{"merge", "f", "/d", "/r"}, ""},
        {{"merge", "f", "/d"}, ""},
        {{"merge", "f", "/d=:x.db"}, ":x.db"},  // one character only is dropped
        {{"/dname.db", "merge"}, "name.db"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(MergedDBNameFromCommandLine(tCommandLine(c.args)), c.name);
    }
    EXPECT_EQ(FolderDBPath("/data/caps", ""), "/data/caps/.pcapintel.db");
    EXPECT_EQ(FolderDBPath("/data/caps/", "x.db"), "/data/caps/x.db");
}

TEST(Merge, NoDatabases) {
    tTempFolder dir;
    const std::string real = Real(dir);
    for (const auto& args : std::vector<std::vector<std::string>>{{"merge", dir.Path()}, {"merge"}}) {
        const auto result = RunMorwick(dir.Path(), args);
        const std::string shown = args.size() == 2 ? dir.Path() : real;
        EXPECT_EQ(result.Output, "No vantrel DB files found at \"" + shown + "/\".\n");
        EXPECT_EQ(result.Status, 0);
    }
    EXPECT_FALSE(fs::exists(dir / ".pcapintel.db"));
}

TEST(Merge, SingleDatabaseIsRenamed) {
    struct tCase {
        std::vector<std::string> extra;
        std::string name;
    };
    for (const auto& c : {tCase{{}, ".pcapintel.db"}, tCase{{"/d=one.db"}, "one.db"}}) {
        SCOPED_TRACE(c.name);
        tTempFolder dir;
        ScanCaptures(dir, {"a.pcap"});
        const std::vector<uint8_t> before = [&] {
            std::ifstream in(dir / ".pcapmeta/a.db", std::ios::binary);
            return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
        }();
        std::vector<std::string> args{"merge", dir.Path()};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const auto result = RunMorwick(dir.Path(), args);
        EXPECT_EQ(result.Output, "Only a single database file found at \"" + dir.Path() +
                                     "/\", no merge required. Renaming to " + dir.Path() + "/" + c.name + "\n");
        EXPECT_EQ(result.Status, 0);
        EXPECT_FALSE(fs::exists(dir / ".pcapmeta/a.db"));
        std::ifstream in(dir / c.name, std::ios::binary);
        EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}), before);
    }
}

TEST(Merge, ThreeDatabasesUnderTheirNewIds) {
    struct tCase {
        std::vector<std::string> extra;
        std::string name;
    };
    const tCase cases[] = {
        {{}, ".pcapintel.db"},
        {{"/d=x.db"}, "x.db"},  // "=" is not part of the name
        {{"/D:x.db"}, "x.db"},
        {{"-d", "y.db"}, "y.db"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tTempFolder dir;
        ScanCaptures(dir, {"a.pcap", "b.pcap", "c.pcap"});
        std::vector<std::string> args{"merge", dir.Path()};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const auto result = RunMorwick(dir.Path(), args);
        EXPECT_EQ(result.Output, "Merging 3 DB files into \"" + dir.Path() + "/" + c.name + "\" " +
                                     Progress({33, 66, 100, 100}));
        EXPECT_EQ(result.Status, 0);
        ExpectMergedFrom(dir / c.name, {dir / ".pcapmeta/a.db", dir / ".pcapmeta/b.db", dir / ".pcapmeta/c.db"});
    }
}

// A per-file database of another schema version is neither merged nor touched: opening
// it for the merge must not delete and re-create it.
TEST(Merge, OutdatedSourceIsSkippedAndKept) {
    tTempFolder dir;
    ScanCaptures(dir, {"a.pcap", "b.pcap", "c.pcap"});
    const std::string old = dir / ".pcapmeta/b.db";
    int64_t rowsBefore = 0;
    {
        tSQLiteConnection db(old, tSQLiteOpenMode::ReadWriteCreate);
        tSQLiteStatement(db, "UPDATE meta SET value='1.8' WHERE name='version';").Execute();
        rowsBefore = Count(db, "SELECT count(*) FROM macendpoints;");
    }
    ASSERT_GT(rowsBefore, 0);
    const auto result = RunMorwick(dir.Path(), {"merge", dir.Path()});
    EXPECT_EQ(result.Status, 1);
    EXPECT_NE(result.Output.find("Skipped \"" + old + "\": database version is not current"), std::string::npos)
        << result.Output;
    ExpectMergedFrom(dir / ".pcapintel.db", {dir / ".pcapmeta/a.db", dir / ".pcapmeta/c.db"});
    tSQLiteConnection kept(old, tSQLiteOpenMode::ReadOnly);
    EXPECT_EQ(Count(kept, "SELECT count(*) FROM macendpoints;"), rowsBefore);
    EXPECT_EQ(Count(kept, "SELECT count(*) FROM meta WHERE value='1.8';"), 1);
}

TEST(Merge, WithoutDatabaseFolderTheTreeItselfIsSearched) {
    tTempFolder dir;
    ScanCaptures(dir, {"a.pcap", "b.pcap"});
    tTempFolder other;
    fs::create_directories(other / "deep/er");
    fs::copy_file(dir / ".pcapmeta/a.db", other / "a.db");
    fs::copy_file(dir / ".pcapmeta/b.db", other / "deep/er/b.db");
    WriteFile(other / "notes.txt", {'x'});
    const auto result = RunMorwick(other.Path(), {"merge"});
    EXPECT_EQ(result.Output, "Merging 2 DB files into \"" + Real(other) + "/.pcapintel.db\" " +
                                 Progress({50, 100, 100}));
    ExpectMergedFrom(other / ".pcapintel.db", {other / "a.db", other / "deep/er/b.db"});
}

TEST(Merge, OverwriteQuestion) {
    tTempFolder dir;
    ScanCaptures(dir, {"a.pcap", "b.pcap"});
    const std::string dbpath = dir.Path() + "/.pcapintel.db";
    ASSERT_EQ(RunMorwick(dir.Path(), {"merge", dir.Path()}).Status, 0);
    const std::string question = "File \"" + dbpath + "\" exists. Overwrite (y/N)?";

    struct tCase {
        const char* name;
        std::string input;
        bool proceeds;
    };
    const tCase cases[] = {
        {"maybe, then n", "maybe\nn\n", false},
        {"end of input", "", false},
        {"empty line", "\n", false},
        {"N", "N\nY\n", false},
        {"other lines are read past", "maybe\nyes\nY\n", true},
        {"y", "y\n", true},
        {"Y without a line end", "Y", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tSQLiteConnection(dbpath, tSQLiteOpenMode::ReadWriteCreate)
            .Exec("DELETE FROM meta WHERE name='mark'; INSERT INTO meta (name,value) VALUES ('mark','1');");
        const auto result = RunMorwick(dir.Path(), {"merge", dir.Path()}, c.input);
        if (c.proceeds) {
            EXPECT_EQ(result.Output,
                      question + "Merging 2 DB files into \"" + dbpath + "\" " + Progress({50, 100, 100}));
            EXPECT_EQ(result.Status, 0);
        } else {
            EXPECT_EQ(result.Output, question + "Merge aborted.\n");
            EXPECT_EQ(result.Status, 1);
        }
        tSQLiteConnection merged(dbpath, tSQLiteOpenMode::ReadOnly);
        // Overwriting replaces the old file: its mark is gone and no file is there twice.
        EXPECT_EQ(Count(merged, "SELECT count(*) FROM meta WHERE name='mark';"), c.proceeds ? 0 : 1);
        merged.Close();
        ExpectMergedFrom(dbpath, {dir / ".pcapmeta/a.db", dir / ".pcapmeta/b.db"});
    }
}

TEST(Merge, PcapngStructureIsCopied) {
    tTempFolder dir;
    ScanCaptures(dir, {"a.pcap", "b.pcap"});
    // Give each per-file database a pcapng structure: a section header and interfaces.
    int interfaces = 1;
    for (const char* name : {"a", "b"}) {
        const std::string db = dir / (std::string(".pcapmeta/") + name + ".db");
        std::string file, path;
        int64_t size = 0;
        tDateTime date;
        tFrameTimeStamp first, last;
        {
            tSQLiteConnection c(db, tSQLiteOpenMode::ReadOnly);
            tSQLiteStatement q(c, "SELECT * FROM filelist;");
            ASSERT_TRUE(q.Step());
            file = q.ColumnText("filename");
            path = q.ColumnText("filepath");
            size = q.ColumnInt64("filesize");
            date = q.ColumnDateTime("filedate");
            first = {q.ColumnDateTime("firstframetimestamp"), q.ColumnInt32("firstframenanoseconds")};
            last = {q.ColumnDateTime("lastframetimestamp"), q.ColumnInt32("lastframenanoseconds")};
        }
        tIntelDBManager manager(db, path + file, size, date, first, last);
        tPCAPNGStatistic stats;
        stats.SectionCount = 1;
        stats.FileInterfaceCount = ++interfaces;
        stats.BlockChain = std::make_shared<tBlockChainEntry>();
        stats.BlockChain->BlockTypeID = 0x0A0D0D0A;
        stats.BlockChain->SHBMajorVersion = 1;
        tBlockChainEntry* tail = stats.BlockChain.get();
        for (int i = 0; i < interfaces; ++i) {
            tail->NextBlockType = std::make_shared<tBlockChainEntry>();
            tail->NextBlockType->PreviousBlockType = tail;
            tail = tail->NextBlockType.get();
            tail->BlockTypeID = 1;
            tail->IDBIndex = static_cast<uint32_t>(i);
            tail->IDBName = std::string(name) + std::to_string(i);
        }
        manager.writePCAPngStatisticsToDB(stats);
    }
    ASSERT_EQ(RunMorwick(dir.Path(), {"merge"}).Status, 0);
    ExpectMergedFrom(dir / ".pcapintel.db", {dir / ".pcapmeta/a.db", dir / ".pcapmeta/b.db"});
    tSQLiteConnection merged(dir / ".pcapintel.db", tSQLiteOpenMode::ReadOnly);
    EXPECT_EQ(Count(merged, "SELECT count(*) FROM blockchainentries;"), 2 + 3 + 1 + 1);
    EXPECT_EQ(Count(merged, "SELECT count(*) FROM filelist WHERE pcapngstructscanned=1;"), 2);
}
