// The directory walker over folder trees built in a temporary folder.
#include "cli/dirparser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "test_support.h"

using namespace morwick;
using namespace morwick::testing;
namespace fs = std::filesystem;

namespace {

void Touch(const tTempFolder& dir, const std::string& relative) {
    const fs::path path = fs::path(dir.Path()) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

// Paths of the walker's result relative to Base.
std::vector<std::string> Relative(const tDirParser& walker, const std::string& Base) {
    std::vector<std::string> out;
    for (int32_t i = 1; i <= walker.FileCount(); ++i) {
        const std::string name = walker.getFileName(i);
        out.push_back(name.rfind(Base, 0) == 0 ? name.substr(Base.size()) : "OUTSIDE:" + name);
    }
    return out;
}

// A walker that records the per-file hook.
class tRecordingWalker : public tDirParser {
public:
    using tDirParser::tDirParser;
    std::vector<std::string> Processed;
    std::vector<int32_t> CountWhenProcessed;

protected:
    void processFile(const std::string& FileName) override {
        Processed.push_back(FileName);
        CountWhenProcessed.push_back(FileCount());
    }
};

}  // namespace

TEST(DirParser, MaskRecursionAndOrder) {
    tTempFolder dir;
    for (const char* f : {"b.pcap", "a.pcap", "notes.txt", "a/z.pcap", "a/b/y.PCAP", "a/b/c/x.pcap",
                          "a/b/c/skip.cap", "a2/w.pcap", ".pcapmeta/a.db", ".pcapmeta/m.pcap"})
        Touch(dir, f);
    const std::string base = dir.Path() + "/";

    struct tCase {
        const char* name;
        const char* mask;
        bool recursive;
        std::vector<std::string> skipFolders;
        std::vector<std::string> expected;
    };
    const tCase cases[] = {
        {"flat: only the base folder", "*.pcap", false, {}, {"a.pcap", "b.pcap"}},
        {"recursive: files of a folder before its sub-folders, depth first",
         "*.pcap",
         true,
         {},
         {"a.pcap", "b.pcap", ".pcapmeta/m.pcap", "a/z.pcap", "a/b/y.PCAP", "a/b/c/x.pcap", "a2/w.pcap"}},
        {"skipped folder names ignore case", "*.pcap", true, {".PCAPMETA"},
         {"a.pcap", "b.pcap", "a/z.pcap", "a/b/y.PCAP", "a/b/c/x.pcap", "a2/w.pcap"}},
        {"question mark and case", "?.PCAP", true, {".pcapmeta"},
         {"a.pcap", "b.pcap", "a/z.pcap", "a/b/y.PCAP", "a/b/c/x.pcap", "a2/w.pcap"}},
        {"empty mask takes every file", "", false, {}, {"a.pcap", "b.pcap", "notes.txt"}},
        {"no match", "*.pcapng", true, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tDirParser walker(dir.Path(), c.mask, c.recursive);  // no trailing delimiter given
        EXPECT_EQ(walker.BaseDirectory(), base);
        walker.setSkipFolderNames(c.skipFolders);
        walker.execute();
        EXPECT_EQ(Relative(walker, base), c.expected);
        EXPECT_EQ(walker.FileCount(), static_cast<int32_t>(c.expected.size()));
        // The walk starts afresh: a second run gives the same list, not twice the list.
        walker.execute();
        EXPECT_EQ(Relative(walker, base), c.expected);
    }
}

TEST(DirParser, GetFileNameBoundsAndEmptyFolder) {
    tTempFolder dir;
    tDirParser empty(dir.Path(), "*.*", true);
    empty.execute();
    EXPECT_EQ(empty.FileCount(), 0);
    EXPECT_EQ(empty.getFileName(1), "");

    Touch(dir, "one.pcap");
    Touch(dir, "two.pcap");
    tDirParser walker(dir.Path() + "/", "*.pcap", false);
    walker.execute();
    ASSERT_EQ(walker.FileCount(), 2);
    EXPECT_EQ(walker.getFileName(0), "");
    EXPECT_EQ(walker.getFileName(-1), "");
    EXPECT_EQ(walker.getFileName(1), dir.Path() + "/one.pcap");
    EXPECT_EQ(walker.getFileName(2), dir.Path() + "/two.pcap");
    EXPECT_EQ(walker.getFileName(3), "");
}

TEST(DirParser, MissingBaseFolderCollectsNothing) {
    tTempFolder dir;
    tDirParser walker(dir.Path() + "/nothere", "*.*", true);
    walker.execute();
    EXPECT_EQ(walker.FileCount(), 0);
}

TEST(DirParser, ValidExtensions) {
    tTempFolder dir;
    for (const char* f : {"a.pcap", "b.PCAP", "c.pcapng", "d.cap", "e", "f.enc"}) Touch(dir, f);
    const std::string base = dir.Path() + "/";
    struct tCase {
        const char* name;
        std::string extensions;
        std::string separator;
        bool includesDot;
        std::vector<std::string> list;
        std::vector<std::string> files;
    };
    const tCase cases[] = {
        {"one extension, either case", "pcap", ";", false, {"pcap"}, {"a.pcap", "b.PCAP"}},
        {"several with dots", ".pcap;.CAP", ";", true, {"pcap", "CAP"}, {"a.pcap", "b.PCAP", "d.cap"}},
        {"multi-character separator", "pcapng, enc", ", ", false, {"pcapng", "enc"}, {"c.pcapng", "f.enc"}},
        {"dots kept when not announced", ".cap", ",", false, {".cap"}, {}},
        {"empty text: no filter", "", ",", false, {}, {"a.pcap", "b.PCAP", "c.pcapng", "d.cap", "e", "f.enc"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tDirParser walker(dir.Path(), "*.*", false);
        walker.setValidExtensions({"stale"});
        walker.BulkSetValidExtensions(c.extensions, c.separator, c.includesDot);
        EXPECT_EQ(walker.ValidExtensions(), c.list);
        walker.execute();
        EXPECT_EQ(Relative(walker, base), c.files);
    }
}

TEST(DirParser, EventsAndPerFileHook) {
    tTempFolder dir;
    for (const char* f : {"a.pcap", "b.txt", "s/c.pcap", "s/t/d.pcap"}) Touch(dir, f);
    const std::string base = dir.Path() + "/";

    for (const bool perDir : {false, true}) {
        SCOPED_TRACE(perDir ? "processed per folder" : "processed after the walk");
        tRecordingWalker walker(dir.Path(), "*.*", true);
        walker.setProcessFileInDir(perDir);
        walker.setValidExtensions({"pcap"});
        std::vector<std::string> added, folders;
        walker.setOnAddFile([&](tDirParser& sender, const std::string& name) {
            EXPECT_EQ(&sender, &walker);
            added.push_back(name);
        });
        walker.setOnScanDirectory([&](tDirParser&, const std::string& folder) { folders.push_back(folder); });
        walker.execute();

        // Every file found is announced, also the ones the extension filter drops.
        EXPECT_EQ(added, (std::vector<std::string>{base + "a.pcap", base + "b.txt", base + "s/c.pcap",
                                                   base + "s/t/d.pcap"}));
        EXPECT_EQ(folders, (std::vector<std::string>{base, base + "s/", base + "s/t/"}));
        EXPECT_EQ(walker.Processed, walker.FileList());
        // Per folder, each file is processed right after it is found; otherwise all at the end.
        const std::vector<int32_t> counts = perDir ? std::vector<int32_t>{1, 2, 3} : std::vector<int32_t>{3, 3, 3};
        EXPECT_EQ(walker.CountWhenProcessed, counts);
    }
}

TEST(DirParser, DefaultsAndEmptyBaseMeansCurrentDirectory) {
    tDirParser walker;
    EXPECT_TRUE(walker.IncludeSubDirs());
    EXPECT_FALSE(walker.ProcessFileInDir());
    EXPECT_EQ(walker.BaseDirectory(), "");
    walker.setBaseDirectory("x");
    EXPECT_EQ(walker.BaseDirectory(), "x");  // stored as given until the walk

    tTempFolder dir;
    Touch(dir, "here.pcap");
    const fs::path before = fs::current_path();
    fs::current_path(dir.Path());
    tDirParser current;
    current.setIncludeSubDirs(false);
    current.execute();
    fs::current_path(before);
    EXPECT_EQ(current.FileMask(), "*.*");
    ASSERT_EQ(current.FileCount(), 1);
    EXPECT_EQ(fs::path(current.getFileName(1)).filename(), "here.pcap");
    EXPECT_EQ(fs::canonical(current.BaseDirectory()), fs::canonical(dir.Path()));
}
