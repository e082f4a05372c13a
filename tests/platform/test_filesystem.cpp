#include "platform/filesystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

using namespace morwick;
namespace fs = std::filesystem;

namespace {

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "morwick-fs-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        dir = templ + "/";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void Write(const std::string& name, const std::string& content) {
        std::ofstream(dir + name, std::ios::binary) << content;
    }
    std::string dir;
};

// Runs a block with TZ set to a POSIX rule and restores the previous setting after it.
class tScopedTimeZone {
public:
    explicit tScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) priv_old = old, priv_had = true;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~tScopedTimeZone() {
        if (priv_had) ::setenv("TZ", priv_old.c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string priv_old;
    bool priv_had = false;
};

}  // namespace

TEST(PathHelpers, SplitAndChangeExtension) {
    struct tCase {
        const char* path;
        const char* folder;
        const char* name;
        const char* ext;
        const char* asDB;
    };
    const tCase cases[] = {
        {"/data/caps/a.pcap", "/data/caps/", "a.pcap", ".pcap", "/data/caps/a.db"},
        {"a.pcap", "", "a.pcap", ".pcap", "a.db"},
        {"caps/trace", "caps/", "trace", "", "caps/trace.db"},
        {"dir.v2/trace", "dir.v2/", "trace", "", "dir.v2/trace.db"},
        {"x.tar.gz", "", "x.tar.gz", ".gz", "x.tar.db"},
        {"/data/", "/data/", "", "", "/data/.db"},
        {"", "", "", "", ".db"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ExtractFilePath(c.path), c.folder);
        EXPECT_EQ(ExtractFileName(c.path), c.name);
        EXPECT_EQ(ExtractFileExt(c.path), c.ext);
        EXPECT_EQ(ChangeFileExt(c.path, ".db"), c.asDB);
    }
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a/b"), "/a/b/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a/b/"), "/a/b/");
    EXPECT_EQ(IncludeTrailingPathDelimiter(""), "");
    EXPECT_EQ(LowerCase("AbC/Ü.PCAP"), "abc/Ü.pcap");
}

TEST_F(FileSystemTest, ExistenceAndSize) {
    Write("five.bin", "12345");
    EXPECT_TRUE(FileExists(dir + "five.bin"));
    EXPECT_FALSE(DirectoryExists(dir + "five.bin"));
    EXPECT_FALSE(FileExists(dir));
    EXPECT_TRUE(DirectoryExists(dir));
    EXPECT_FALSE(FileExists(dir + "missing"));
    EXPECT_FALSE(FileExists(""));
    EXPECT_EQ(GetFileSize(dir + "five.bin"), 5);
    EXPECT_EQ(GetFileSize(dir + "missing"), -1);
    EXPECT_EQ(GetFileSize(dir), -1);
}

TEST_F(FileSystemTest, SizeBeyondFourGiBIsExact) {
    // A sparse file: the size is recorded without writing the bytes.
    const std::string name = dir + "big.bin";
    const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    const off_t size = (off_t{5} << 30) + 7;
    const int rc = ::ftruncate(fd, size);
    ::close(fd);
    if (rc != 0) GTEST_SKIP() << "file system refuses a sparse 5 GiB file";
    EXPECT_EQ(GetFileSize(name), static_cast<int64_t>(size));
}

TEST_F(FileSystemTest, FoldersDeleteAndRename) {
    EXPECT_TRUE(ForceDirectories(dir + "a/b/c"));
    EXPECT_TRUE(DirectoryExists(dir + "a/b/c"));
    EXPECT_TRUE(ForceDirectories(dir + "a/b/c/"));  // already there, trailing delimiter
    Write("blocker", "x");
    EXPECT_FALSE(ForceDirectories(dir + "blocker/sub"));  // a file stands in the way

    Write("old.db", "data");
    EXPECT_TRUE(RenameFile(dir + "old.db", dir + "a/new.db"));
    EXPECT_FALSE(FileExists(dir + "old.db"));
    EXPECT_TRUE(FileExists(dir + "a/new.db"));
    EXPECT_FALSE(RenameFile(dir + "old.db", dir + "again.db"));

    EXPECT_TRUE(DeleteFile(dir + "a/new.db"));
    EXPECT_FALSE(FileExists(dir + "a/new.db"));
    EXPECT_FALSE(DeleteFile(dir + "a/new.db"));
}

TEST_F(FileSystemTest, CurrentDirectoryEndsWithDelimiter) {
    const std::string cwd = GetCurrentDir();
    ASSERT_FALSE(cwd.empty());
    EXPECT_EQ(cwd.back(), '/');
    EXPECT_EQ(fs::path(cwd.substr(0, cwd.size() - 1)), fs::current_path());
}

TEST_F(FileSystemTest, FileTimesInLocalTime) {
    Write("t.bin", "x");
    // 2021-03-04 05:06:07.890 UTC as the last write, one day earlier as the last access.
    const int64_t modified = 1614834367;
    struct timespec times[2] = {{modified - 86400, 0}, {modified, 890'000'000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir + "t.bin").c_str(), times, 0), 0);

    struct tCase {
        const char* tz;
        int64_t offsetSeconds;
    };
    for (const tCase c : {tCase{"UTC0", 0}, tCase{"CET-1", 3600}, tCase{"EST5", -5 * 3600}}) {
        SCOPED_TRACE(c.tz);
        tScopedTimeZone zone(c.tz);
        tLocalFileTimes local;
        ASSERT_TRUE(GetLocalFileTimes(dir + "t.bin", local));
        EXPECT_EQ(local.Modified, (modified + c.offsetSeconds) * 1000 + 890);
        EXPECT_EQ(local.Accessed, (modified - 86400 + c.offsetSeconds) * 1000);
        // Created: the birth time or the status change; either lies at or after the test start.
        EXPECT_GT(local.Created, (int64_t{1700000000} + c.offsetSeconds) * 1000);
        EXPECT_EQ(UnixTimeToLocalMs(0, 999'999'999), c.offsetSeconds * 1000 + 999);
    }
    tLocalFileTimes none;
    EXPECT_FALSE(GetLocalFileTimes(dir + "missing", none));
}
