// Folder listings and the wildcard match of folder scans.
#include "platform/dirlist.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace morwick;
namespace fs = std::filesystem;

namespace {

class tScratchFolder {
public:
    tScratchFolder() {
        std::string templ = (fs::temp_directory_path() / "morwick-dirlist-XXXXXX").string();
        if (::mkdtemp(templ.data()) == nullptr) std::abort();
        priv_path = templ;
    }
    ~tScratchFolder() {
        std::error_code ec;
        fs::remove_all(priv_path, ec);
    }
    const std::string& Path() const { return priv_path; }
    void Touch(const std::string& name) const { std::ofstream(priv_path + "/" + name) << "x"; }
    void Folder(const std::string& name) const { fs::create_directories(priv_path + "/" + name); }

private:
    std::string priv_path;
};

}  // namespace

TEST(WildcardMatch, MasksAgainstNames) {
    struct tCase {
        const char* mask;
        const char* name;
        bool match;
    };
    const tCase cases[] = {
        {"*.pcap", "a.pcap", true},
        {"*.pcap", "A.PCAP", true},         // letter case ignored on both sides
        {"*.PCAP", "trace.pcap", true},
        {"*.pcap", "a.pcapng", false},
        {"*.pcap", "pcap", false},
        {"*.pcap", ".pcap", true},          // "*" also matches nothing
        {"?.pcap", "a.pcap", true},
        {"?.pcap", "ab.pcap", false},
        {"?.pcap", ".pcap", false},         // "?" needs exactly one character
        {"a*b*c", "aXbYbZc", true},         // back-tracking over a repeated letter
        {"a*b*c", "aXbYcZ", false},
        {"*", "", true},
        {"", "", true},
        {"", "a", false},
        {"*.*", "noextension", true},       // every name, as folder scans expect
        {"*.*", "a.b", true},
        {"*.db", "x.DB", true},
        {"*.db", "x.db-journal", false},
        {"t??e*.cap", "tree-1.cap", true},
        {"t??e*.cap", "tree.cap", true},
        {"t??e*.cap", "trace.cap", false},
        {"t??e*.cap", "tre.cap", false},
        {"**a", "bba", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mask) + " vs " + c.name);
        EXPECT_EQ(WildcardMatch(c.mask, c.name), c.match);
    }
}

TEST(ListDirectory, FilesAndFoldersApartInByteOrder) {
    tScratchFolder dir;
    for (const char* f : {"b.pcap", "A.pcap", "a.pcap", "_x", "10", "9"}) dir.Touch(f);
    for (const char* d : {"sub", "Sub2", ".hidden"}) dir.Folder(d);
    fs::create_symlink(dir.Path() + "/sub", dir.Path() + "/link-to-folder");
    fs::create_symlink(dir.Path() + "/a.pcap", dir.Path() + "/link-to-file");
    fs::create_symlink(dir.Path() + "/missing", dir.Path() + "/dangling");

    tDirListing listing;
    for (const std::string& path : {dir.Path(), dir.Path() + "/"}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(ListDirectory(path, listing));
        EXPECT_EQ(listing.Files,
                  (std::vector<std::string>{"10", "9", "A.pcap", "_x", "a.pcap", "b.pcap", "link-to-file"}));
        // A link to a folder is neither walked nor listed as a file; "." and ".." never show.
        EXPECT_EQ(listing.Folders, (std::vector<std::string>{".hidden", "Sub2", "sub"}));
    }
}

TEST(ListDirectory, MissingOrEmptyFolder) {
    tScratchFolder dir;
    tDirListing listing;
    listing.Files = {"stale"};
    EXPECT_FALSE(ListDirectory(dir.Path() + "/none", listing));
    EXPECT_TRUE(listing.Files.empty());
    EXPECT_FALSE(ListDirectory("", listing));
    dir.Touch("file");
    EXPECT_FALSE(ListDirectory(dir.Path() + "/file", listing));  // a file is no folder

    dir.Folder("empty");
    ASSERT_TRUE(ListDirectory(dir.Path() + "/empty", listing));
    EXPECT_TRUE(listing.Files.empty());
    EXPECT_TRUE(listing.Folders.empty());
}
