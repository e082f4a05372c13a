#include "platform/mappedfile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace morwick {
namespace {

class MappedFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "morwick-map-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::filesystem::path dir;
};

TEST_F(MappedFileTest, MapsTheWholeFile) {
    std::vector<uint8_t> content(10'000);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 7);
    const std::string path = Write("data.bin", content);
    struct timespec times[2] = {{1'700'000'000, 123'000'000}, {1'700'000'000, 123'456'789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    tMappedFile file;
    ASSERT_EQ(file.Open(path), tMapResult::mrOK);
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Size(), content.size());
    ASSERT_NE(file.Data(), nullptr);
    EXPECT_EQ(std::vector<uint8_t>(file.View().begin(), file.View().end()), content);
    EXPECT_EQ(file.ModifiedUnixMs(), int64_t{1'700'000'000'123});

    tMappedFile moved(std::move(file));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Data(), nullptr);
    EXPECT_EQ(moved.Size(), content.size());
    EXPECT_EQ(moved.Data()[9'999], content[9'999]);
    moved.Close();
    EXPECT_FALSE(moved.IsOpen());
    EXPECT_EQ(moved.Size(), 0u);
    EXPECT_EQ(moved.Data(), nullptr);
}

// Resident pages of this process, from /proc/self/statm.
long ResidentPages() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident;
}

TEST_F(MappedFileTest, ReleasedBytesLeaveTheResidentSetButStayReadable) {
    constexpr size_t kBytes = 32u << 20;
    std::vector<uint8_t> content(kBytes);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i / 4096 + i);
    const std::string path = Write("big.bin", content);
    content.clear();
    content.shrink_to_fit();

    tMappedFile map;
    ASSERT_EQ(map.Open(path), tMapResult::mrOK);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    uint64_t sum = 0;
    for (size_t i = 0; i < kBytes; i += static_cast<size_t>(pageSize)) sum += map.Data()[i];
    const long touched = ResidentPages();

    map.ReleaseBefore(kBytes - 1);  // all but the last page
    const long released = ResidentPages();
    EXPECT_GT(touched - released, static_cast<long>((kBytes / 2) / static_cast<size_t>(pageSize)))
        << "touched " << touched << " pages, after release " << released;

    // Released bytes read back from the file.
    uint64_t again = 0;
    for (size_t i = 0; i < kBytes; i += static_cast<size_t>(pageSize)) again += map.Data()[i];
    EXPECT_EQ(again, sum);
    EXPECT_EQ(map.Data()[kBytes - 1], static_cast<uint8_t>((kBytes - 1) / 4096 + (kBytes - 1)));
    map.ReleaseBefore(0);          // nothing new: no effect
    map.ReleaseBefore(kBytes * 2);  // past the end: up to the end
    EXPECT_EQ(map.Data()[5], static_cast<uint8_t>(5));
}

TEST_F(MappedFileTest, EmptyFileGivesAnEmptyView) {
    tMappedFile file;
    ASSERT_EQ(file.Open(Write("empty.bin", {})), tMapResult::mrOK);
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_TRUE(file.View().empty());
}

TEST_F(MappedFileTest, ReportsWhyAFileCannotBeMapped) {
    tMappedFile file;
    EXPECT_EQ(file.Open((dir / "missing.bin").string()), tMapResult::mrNotFound);
    EXPECT_EQ(file.Open((dir / "missing" / "deeper.bin").string()), tMapResult::mrNotFound);
    EXPECT_EQ(file.Open(dir.string()), tMapResult::mrMapFailed);
    const std::string pipe = (dir / "pipe").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(file.Open(pipe), tMapResult::mrMapFailed) << "a named pipe is not waited for";
    EXPECT_FALSE(file.IsOpen());
    if (::geteuid() != 0) {
        const std::string locked = Write("locked.bin", {1, 2, 3});
        ::chmod(locked.c_str(), 0);
        EXPECT_EQ(file.Open(locked), tMapResult::mrOpenFailed);
    }
    // A failed open leaves an earlier view closed, not half open.
    ASSERT_EQ(file.Open(Write("ok.bin", {9})), tMapResult::mrOK);
    EXPECT_EQ(file.Open((dir / "missing.bin").string()), tMapResult::mrNotFound);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Data(), nullptr);
}

}  // namespace
}  // namespace morwick
