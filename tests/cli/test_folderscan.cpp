// Folder scans driven through the built program in temporary folder trees: masks with and
// without recursion, the skip of current databases, forcing, journals, outdated databases
// and a file that fails in the middle of a folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/scandriver.h"
#include "storage/sqlite.h"
#include "test_support.h"

using namespace morwick;
using namespace morwick::testing;
namespace fs = std::filesystem;

namespace {

const std::string Demo = std::string(MORWICK_TEST_DATA) + "/demo.pcap";

// The console line of a file whose scan completes (the demo capture has fewer than 1000
// frames, so no percentage beyond 0 is shown).
std::string ScanLine(const std::string& Shown) {
    return "Scanning \"" + Shown + "\" (  0%)\b\b\b\b\b\b- storing results to database\n";
}

std::string Real(const tTempFolder& dir) { return fs::canonical(dir.Path()).string(); }

void PlaceDemo(const tTempFolder& dir, const std::string& relative) {
    const fs::path target = fs::path(dir.Path()) / relative;
    fs::create_directories(target.parent_path());
    fs::copy_file(Demo, target, fs::copy_options::overwrite_existing);
}

// A mark inside a database that a rescan (which replaces the file) removes.
void Mark(const std::string& db) {
    tSQLiteConnection c(db, tSQLiteOpenMode::ReadWriteCreate);
    c.Exec("INSERT INTO meta (name,value) VALUES ('mark','1');");
}
bool IsMarked(const std::string& db) {
    tSQLiteConnection c(db, tSQLiteOpenMode::ReadOnly);
    tSQLiteStatement q(c, "SELECT count(*) FROM meta WHERE name='mark';");
    return q.Step() && q.ColumnInt64(0) == 1;
}
std::string Version(const std::string& db) {
    tSQLiteConnection c(db, tSQLiteOpenMode::ReadOnly);
    tSQLiteStatement q(c, "SELECT value FROM meta WHERE name='version';");
    return q.Step() ? q.ColumnText(0) : "";
}

std::vector<std::string> FilesUnder(const std::string& root) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        out.push_back(fs::relative(e.path(), root).string());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(FolderScan, MasksFlatAndRecursive) {
    struct tCase {
        const char* name;
        std::vector<std::string> args;
        std::string output;
        std::vector<std::string> databases;
    };
    const tCase cases[] = {
        {"flat mask: the base folder only",
         {"scan", "*.pcap", "/l4"},
         "Scanning 1 files...\n" + ScanLine("a.pcap"),
         {".pcapmeta/a.db"}},
        {"recursive: files of a folder before its sub-folders, letter case ignored",
         {"scan", "*.pcap", "/r", "-L4"},
         "Scanning 3 files...\n" + ScanLine("a.pcap") + ScanLine("sub/b.pcap") + ScanLine("sub/deep/C.PCAP"),
         {".pcapmeta/a.db", "sub/.pcapmeta/b.db", "sub/deep/.pcapmeta/C.db"}},
        {"folder part of the mask; \"?\" needs a \"*\" beside it to make a mask",
         {"scan", "sub/?.PCAP*", "/l4"},
         "Scanning 1 files...\n" + ScanLine("sub/b.pcap"),
         {"sub/.pcapmeta/b.db"}},
        {"a missing folder means the current one",
         {"scan", "nowhere/*.pcap", "/l4"},
         "Scanning 1 files...\n" + ScanLine("a.pcap"),
         {".pcapmeta/a.db"}},
        {"the all-layers warning comes first",
         {"scan", "*.pcap"},
         std::string(AllLayersWarning) + "\nScanning 1 files...\n" + ScanLine("a.pcap"),
         {".pcapmeta/a.db"}},
        {"nothing matches", {"scan", "*.pcapng", "/r", "/l4"}, "Scanning 0 files...\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tTempFolder dir;
        for (const char* f : {"a.pcap", "sub/b.pcap", "sub/deep/C.PCAP"}) PlaceDemo(dir, f);
        WriteFile(dir / "notes.txt", {'n', 'o', 't', 'e', 's', '\n'});
        const auto result = RunMorwick(dir.Path(), c.args);
        EXPECT_EQ(result.Output, c.output);
        EXPECT_EQ(result.Status, 0);
        for (const auto& db : c.databases) EXPECT_TRUE(fs::is_regular_file(dir / db)) << db;
        std::vector<std::string> found;
        for (const auto& f : FilesUnder(dir.Path()))
            if (f.ends_with(".db")) found.push_back(f);
        std::vector<std::string> expected = c.databases;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(found, expected);
    }
}

TEST(FolderScan, RecursiveScanStaysOutOfDatabaseFolders) {
    tTempFolder dir;
    PlaceDemo(dir, "a.pcap");
    PlaceDemo(dir, "sub/b.pcap");
    ASSERT_EQ(RunMorwick(dir.Path(), {"scan", "*.pcap", "/r", "/l4"}).Status, 0);
    // A mask that matches everything, forced: the databases themselves are not scanned and
    // no database folder appears inside a database folder.
    const auto result = RunMorwick(dir.Path(), {"scan", "*", "/r", "/f", "/l4"});
    EXPECT_EQ(result.Output, "Scanning 2 files...\n" + ScanLine("a.pcap") + ScanLine("sub/b.pcap"));
    EXPECT_EQ(FilesUnder(dir.Path()),
              (std::vector<std::string>{".pcapmeta", ".pcapmeta/a.db", "a.pcap", "sub", "sub/.pcapmeta",
                                        "sub/.pcapmeta/b.db", "sub/b.pcap"}));
}

TEST(FolderScan, CurrentDatabasesSkippedUnlessForcedOrJournalled) {
    tTempFolder dir;
    PlaceDemo(dir, "a.pcap");
    PlaceDemo(dir, "b.pcap");
    ASSERT_EQ(RunMorwick(dir.Path(), {"scan", "*.pcap", "/l4"}).Status, 0);
    const std::string a = dir / ".pcapmeta/a.db", b = dir / ".pcapmeta/b.db";
    Mark(a);
    Mark(b);

    // Present and current: skipped without a word.
    auto result = RunMorwick(dir.Path(), {"scan", "*.pcap", "/l4"});
    EXPECT_EQ(result.Output, "Scanning 2 files...\n");
    EXPECT_TRUE(IsMarked(a));
    EXPECT_TRUE(IsMarked(b));

    // A journal beside a database marks an unfinished write: that file is scanned again,
    // and the stale journal goes with the old database.
    WriteFile(dir / ".pcapmeta/a.db-journal", {0});
    result = RunMorwick(dir.Path(), {"scan", "*.pcap", "/l4"});
    EXPECT_EQ(result.Output, "Scanning 2 files...\n" + ScanLine("a.pcap"));
    EXPECT_FALSE(IsMarked(a));
    EXPECT_TRUE(IsMarked(b));
    EXPECT_FALSE(fs::exists(dir / ".pcapmeta/a.db-journal"));
    EXPECT_EQ(RunMorwick(dir.Path(), {"scan", "*.pcap", "/l4"}).Output, "Scanning 2 files...\n");

    // Forced: everything again.
    Mark(a);
    result = RunMorwick(dir.Path(), {"scan", "*.pcap", "/l4", "/F"});
    EXPECT_EQ(result.Output, "Scanning 2 files...\n" + ScanLine("a.pcap") + ScanLine("b.pcap"));
    EXPECT_FALSE(IsMarked(a));
    EXPECT_FALSE(IsMarked(b));
}

TEST(FolderScan, OutdatedDatabaseForcesTheRestOfTheRun) {
    tTempFolder dir;
    for (const char* f : {"a.pcap", "b.pcap", "c.pcap"}) PlaceDemo(dir, f);
    ASSERT_EQ(RunMorwick(dir.Path(), {"scan", "*.pcap", "/l4"}).Status, 0);
    const std::string a = dir / ".pcapmeta/a.db", b = dir / ".pcapmeta/b.db", c = dir / ".pcapmeta/c.db";
    Mark(a);
    Mark(c);
    {
        // "1.10" sorts before "1.9" as text.
        tSQLiteConnection db(b, tSQLiteOpenMode::ReadWriteCreate);
        db.Exec("UPDATE meta SET value='1.10' WHERE name='version';");
    }
    const auto result = RunMorwick(dir.Path(), {"scan", "*.pcap", "/l4"});
    EXPECT_EQ(result.Output, "Scanning 3 files...\n"
                             "File \"b.pcap\" is outdated, updating\n" +
                                 ScanLine("b.pcap") + ScanLine("c.pcap"));
    EXPECT_EQ(result.Status, 0);
    EXPECT_TRUE(IsMarked(a));   // before the outdated one: still skipped
    EXPECT_FALSE(IsMarked(c));  // after it: scanned although current
    EXPECT_EQ(Version(b), "1.9");
}

TEST(FolderScan, FailingFileDoesNotEndTheRun) {
    tTempFolder dir;
    PlaceDemo(dir, "a.pcap");
    PlaceDemo(dir, "c.pcap");
    // A pcap magic number and too little header behind it: the loader raises an error.
    const auto demo = [] {
        std::vector<uint8_t> bytes = MakePcap(1);
        bytes.resize(12);
        return bytes;
    }();
    WriteFile(dir / "b.pcap", demo);
    const std::string real = Real(dir);

    const auto result = RunMorwick(dir.Path(), {"scan", "*.pcap", "/l4", "/m"});
    EXPECT_EQ(result.Output,
              "Scanning 3 files...\n" + ScanLine("a.pcap") +
                  "Scanning \"b.pcap\" (  0%)\n"
                  "EInOutError: Error: PCAP file too short (PCAPLoader.readTraceFileheader). (file \"" +
                  real + "/b.pcap\")\n" + ScanLine("c.pcap") + "Merging 2 DB files into \"" + real +
                  "/.pcapintel.db\" (  0%)\b\b\b\b\b 50%)\b\b\b\b\b100%)\b\b\b\b\b100%)\n");
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(FilesUnder(dir / ".pcapmeta"), (std::vector<std::string>{"a.db", "c.db"}));

    tSQLiteConnection merged(dir / ".pcapintel.db", tSQLiteOpenMode::ReadOnly);
    tSQLiteStatement names(merged, "SELECT group_concat(filename, ',') FROM (SELECT filename FROM filelist ORDER BY id);");
    ASSERT_TRUE(names.Step());
    EXPECT_EQ(names.ColumnText(0), "a.pcap,c.pcap");
}
