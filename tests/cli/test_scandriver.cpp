#include "cli/scandriver.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/errors.h"
#include "platform/debuglog.h"
#include "platform/filesystem.h"
#include "storage/sqlite.h"
#include "test_support.h"

using namespace morwick;
using namespace morwick::testing;
namespace fs = std::filesystem;

namespace {

// Changes the working folder for the life of the object.
class tScopedCwd {
public:
    explicit tScopedCwd(const std::string& dir) : priv_old(fs::current_path()) { fs::current_path(dir); }
    ~tScopedCwd() { fs::current_path(priv_old); }

private:
    fs::path priv_old;
};

std::string Backspaces(int n) { return std::string(static_cast<size_t>(n), '\b'); }

}  // namespace

TEST(MetaDBPath, BesideTheFileOrInTheMetaFolder) {
    tTempFolder dir;
    fs::create_directories(dir / "with/.pcapmeta");
    fs::create_directories(dir / "without");
    const std::string base = dir.Path() + "/";
    struct tCase {
        std::string file;
        std::string db;
    };
    const tCase cases[] = {
        {base + "with/a.pcap", base + "with/.pcapmeta/a.db"},
        {base + "with/trace", base + "with/.pcapmeta/trace.db"},
        {base + "with/x.v1.pcapng", base + "with/.pcapmeta/x.v1.db"},
        {base + "without/a.pcap", base + "without/a.db"},
        {base + "without/trace", base + "without/trace.db"},
        {"with/a.cap", "with/.pcapmeta/a.db"},  // relative folder part kept as given
        {"without/a.cap", "without/a.db"},
    };
    tScopedCwd cwd(dir.Path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(MetaDBPath(c.file), c.db);
    }
    // A name without folder part lies in the current directory.
    EXPECT_EQ(MetaDBPath("plain.pcap"), "plain.db");
    fs::create_directories(dir / ".pcapmeta");
    EXPECT_EQ(MetaDBPath("plain.pcap"), fs::current_path().string() + "/.pcapmeta/plain.db");
}

TEST(ScanProgress, PercentOfBytesWrittenOnGrowthOnly) {
    struct tStep {
        int64_t count, bytes;
    };
    struct tCase {
        const char* name;
        int64_t fileSize;
        std::vector<tStep> steps;
        std::string shown;  // what follows " (  0%)"
    };
    const auto update = [](const char* digits) { return Backspaces(5) + digits + "%)"; };
    const tCase cases[] = {
        {"only every 1000 frames", 1000, {{999, 999}, {1001, 1000}}, ""},
        {"grows", 10000, {{1000, 2500}, {2000, 2599}, {3000, 5000}, {4000, 10000}},
         update(" 25") + update(" 50") + update("100")},
        {"never passes 100", 100, {{1000, 150}, {2000, 400}}, update("100")},
        {"never shrinks", 1000, {{1000, 600}, {2000, 300}}, update(" 60")},
        {"empty file shows nothing", 0, {{1000, 0}}, ""},
        {"beyond 2 GiB", int64_t{6} << 30, {{1000, int64_t{3} << 30}, {2000, (int64_t{6} << 30) - 1}},
         update(" 50") + update(" 99")},
        {"largest sizes do not overflow", INT64_MAX, {{1000, INT64_MAX / 2}, {2000, INT64_MAX}},
         update(" 50") + update("100")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::testing::internal::CaptureStdout();
        tScanProgress progress(c.fileSize);
        progress.Start();
        for (const auto& s : c.steps) progress.FrameDone(s.count, s.bytes);
        progress.Finish();
        EXPECT_EQ(::testing::internal::GetCapturedStdout(),
                  " (  0%)" + c.shown + Backspaces(6) + "- storing results to database\n");
    }
}

// Every capture of the shared collection goes through the scan driver without a crash, in
// both parse modes; its progress line is well formed: percentages only grow, stay within
// 100, and the line ends with the storing text or the unknown-format text (or is left for
// the error line). A stored file has its complete database; a file that failed has a
// message and no database; no temporary or journal file is left behind either way.
void SweepOverCaptureCollection(bool UpToLayer4) {
    const fs::path root = MORWICK_CAPTURES;
    if (!fs::is_directory(root)) GTEST_SKIP() << "no capture collection at " << root;
    DebugLogOff();  // loaders report findings through the default logger
    tTempFolder dir;
    int scanned = 0, stored = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        // A link in a private folder keeps the driver's folders out of the collection.
        const std::string name = entry.path().filename().string();
        const std::string link = dir / name;
        fs::remove(link);
        fs::create_symlink(entry.path(), link);
        SCOPED_TRACE(entry.path().string());
        ::testing::internal::CaptureStdout();
        bool failed = false;
        std::string error;
        try {
            scanfile(link, UpToLayer4);
        } catch (const tMorwickError& e) {
            failed = true;
            error = e.what();
        }
        const std::string out = ::testing::internal::GetCapturedStdout();
        ++scanned;
        const std::string head = "Scanning \"" + link + "\" (  0%)";
        ASSERT_TRUE(out.starts_with(head)) << out;
        std::string rest = out.substr(head.size());
        int last = 0;
        while (rest.starts_with(Backspaces(5) + " ") || rest.starts_with(Backspaces(5) + "1")) {
            const int p = std::stoi(rest.substr(5, 3));
            EXPECT_GT(p, last);
            EXPECT_LE(p, 100);
            EXPECT_EQ(rest.substr(8, 2), "%)");
            last = p;
            rest = rest.substr(10);
        }
        const fs::path meta = fs::path(dir.Path()) / ".pcapmeta";
        const fs::path db = meta / (fs::path(name).stem().string() + ".db");
        if (failed) {
            EXPECT_EQ(rest, "");
            EXPECT_FALSE(error.empty());
            EXPECT_FALSE(fs::exists(db));
        } else if (rest == Backspaces(6) + "- storing results to database\n") {
            ++stored;
            ASSERT_TRUE(fs::exists(db));
            tSQLiteConnection stored(db.string(), tSQLiteOpenMode::ReadOnly);
            tSQLiteStatement names(stored, "SELECT group_concat(filename, ',') FROM filelist;");
            ASSERT_TRUE(names.Step());
            EXPECT_EQ(names.ColumnText(0), LowerCase(name));  // the file list keeps names in lower case
        } else {
            EXPECT_EQ(rest, " - unknown file format, skipped\n");
            EXPECT_FALSE(fs::exists(db));
        }
        if (fs::is_directory(meta)) {
            for (const auto& left : fs::directory_iterator(meta)) {
                const std::string leftName = left.path().filename().string();
                EXPECT_FALSE(leftName.ends_with(".part") || leftName.ends_with("-journal") ||
                             leftName.ends_with("-wal"))
                    << leftName;
            }
        }
        fs::remove(db);
        fs::remove(link);
    }
    EXPECT_GT(scanned, 0);
    EXPECT_GT(stored, 0);
}

TEST(ScanDriver, SweepOverCaptureCollectionUpToLayer4) { SweepOverCaptureCollection(true); }
TEST(ScanDriver, SweepOverCaptureCollectionAllLayers) { SweepOverCaptureCollection(false); }
