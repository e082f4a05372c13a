#include "cli/filedetails.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <cstdint>
#include <ctime>
#include <vector>

#include "platform/filesystem.h"
#include "test_support.h"

using namespace morwick;
using namespace morwick::testing;

namespace {

// Independent MD5 through OpenSSL's EVP interface, lower-case hex.
std::string ReferenceMD5(const std::vector<uint8_t>& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(data.data(), data.size(), digest, &len, EVP_md5(), nullptr);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < len; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    return v;
}

void PutSizeLE(std::vector<uint8_t>& data, uint64_t size) {
    for (int i = 0; i < 8; ++i) data[static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (8 * i));
}

tFrameTimeStamp At(int h, int m, int s, int32_t ns = 0) {
    return tFrameTimeStamp{tDateTime::Encode(2020, 5, 1, h, m, s), ns};
}

}  // namespace

TEST(FileSignature, WindowAndSizePrefix) {
    struct tCase {
        size_t fileSize;
        size_t windowStart;  // expected first byte read
        size_t windowLength;
    };
    const tCase cases[] = {
        {100, 0, 100},                // small file: read whole from its start
        {65534, 0, 65534},            // size div 2 - 32767 is negative
        {200000, 100000 - 32767, 65535},
        {65536, 1, 65535},            // the window ends exactly at the end of the file
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileSize);
        tTempFolder dir;
        const auto content = Pattern(c.fileSize);
        WriteFile(dir / "f.bin", content);
        std::vector<uint8_t> expected(content.begin() + static_cast<long>(c.windowStart),
                                      content.begin() + static_cast<long>(c.windowStart + c.windowLength));
        PutSizeLE(expected, c.fileSize);
        std::string signature;
        ASSERT_TRUE(ComputeFileSignature(dir / "f.bin", static_cast<int64_t>(c.fileSize), signature));
        EXPECT_EQ(signature, ReferenceMD5(expected));
    }
}

TEST(FileSignature, ShortFilesHashEightSizeBytes) {
    for (size_t size : {0u, 5u, 8u}) {
        SCOPED_TRACE(size);
        tTempFolder dir;
        WriteFile(dir / "f.bin", Pattern(size));
        std::vector<uint8_t> expected(8, 0);
        PutSizeLE(expected, size);
        std::string signature;
        ASSERT_TRUE(ComputeFileSignature(dir / "f.bin", static_cast<int64_t>(size), signature));
        EXPECT_EQ(signature, ReferenceMD5(expected));
    }
    std::string signature;
    EXPECT_FALSE(ComputeFileSignature("/nonexistent/f.bin", 10, signature));
}

TEST(FileDetails, DetermineFillsSizeDatesAndSignature) {
    tTempFolder dir;
    const auto content = Pattern(100);
    WriteFile(dir / "f.bin", content);
    const int64_t modified = 1614834367;  // 2021-03-04 05:06:07 UTC
    struct timespec times[2] = {{modified, 0}, {modified, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "f.bin").c_str(), times, 0), 0);

    tFileDetails details;
    details.Determine(dir / "f.bin", true);
    EXPECT_EQ(details.FileSize, 100);
    EXPECT_EQ(details.FileModified, LocalMsToDateTime(UnixTimeToLocalMs(modified, 0)));
    EXPECT_EQ(details.FileAccessed, details.FileModified);
    EXPECT_EQ(details.FileSignature, "");
    EXPECT_EQ(details.FileScanned, tDateTime{});

    details.Determine(dir / "f.bin", false);
    auto expected = content;
    PutSizeLE(expected, 100);
    EXPECT_EQ(details.FileSignature, ReferenceMD5(expected));
    EXPECT_GT(details.FileScanned, details.FileModified);

    details.Determine(dir / "missing.bin", false);
    EXPECT_EQ(details.FileSize, 0);
    EXPECT_EQ(details.FileSignature, "");
    EXPECT_EQ(details.FileModified, tDateTime{});
}

TEST(TraceStats, SizesAndTotals) {
    tGeneralTraceStats stats;
    InitTraceStats(stats);
    EXPECT_EQ(stats.MinFrameSize, 10000);
    EXPECT_TRUE(stats.SliceSizeConstant);
    EXPECT_TRUE(stats.TimeOrderCorrect);

    UpdateTraceStats(stats, At(10, 0, 0), 1, 24, 60, 60);
    UpdateTraceStats(stats, At(10, 0, 1), 2, 100, 1514, 1514);
    UpdateTraceStats(stats, At(10, 0, 2), 3, 1630, 64, 64);
    FinishTraceStats(stats, 3);
    EXPECT_EQ(stats.MinFrameSize, 60);
    EXPECT_EQ(stats.MaxFrameSize, 1514);
    EXPECT_EQ(stats.TotalWireBytes, 1638);
    EXPECT_EQ(stats.TotalFrameBytes, 1638);
    EXPECT_EQ(stats.AverageFrameSize, 546);
    EXPECT_EQ(stats.FrameCount, 3);
    EXPECT_EQ(stats.FirstFrameOffset, 24u);
    EXPECT_EQ(stats.LastFrameOffset, 1630u);
    EXPECT_EQ(stats.FirstFrameTime, At(10, 0, 0));
    EXPECT_EQ(stats.LastFrameTime, At(10, 0, 2));
    EXPECT_FALSE(stats.isSliced);

    // Jumbo frames only: the minimum keeps its start value.
    InitTraceStats(stats);
    UpdateTraceStats(stats, At(10, 0, 0), 1, 24, 12000, 12000);
    UpdateTraceStats(stats, At(10, 0, 0), 2, 12040, 15000, 15000);
    EXPECT_EQ(stats.MinFrameSize, 10000);
    EXPECT_EQ(stats.MaxFrameSize, 15000);

    // The average is over captured bytes, not wire bytes; none without frames.
    InitTraceStats(stats);
    UpdateTraceStats(stats, At(10, 0, 0), 1, 24, 1000, 100);
    UpdateTraceStats(stats, At(10, 0, 0), 2, 140, 1000, 101);
    FinishTraceStats(stats, 2);
    EXPECT_EQ(stats.AverageFrameSize, 100);
    EXPECT_EQ(stats.TotalWireBytes, 2000);
    InitTraceStats(stats);
    FinishTraceStats(stats, 0);
    EXPECT_EQ(stats.AverageFrameSize, 0);
    EXPECT_EQ(stats.FrameCount, 0);
}

TEST(TraceStats, TimeOrder) {
    struct tCase {
        const char* name;
        std::vector<tFrameTimeStamp> times;
        bool inOrder;
        int32_t outOfTime;
    };
    const tCase cases[] = {
        {"one step back", {At(10, 0, 1), At(10, 0, 0), At(10, 0, 2)}, false, 1},
        {"equal times are in order", {At(10, 0, 0), At(10, 0, 0), At(10, 0, 0)}, true, 0},
        {"nanoseconds count", {At(10, 0, 0, 500), At(10, 0, 0, 499), At(10, 0, 0, 498)}, false, 2},
        {"rising", {At(9, 59, 59, 999999999), At(10, 0, 0)}, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tGeneralTraceStats stats;
        InitTraceStats(stats);
        uint64_t number = 0;
        for (const auto& t : c.times) {
            ++number;
            UpdateTraceStats(stats, t, number, static_cast<int64_t>(24 + 100 * number), 60, 60);
        }
        EXPECT_EQ(stats.TimeOrderCorrect, c.inOrder);
        EXPECT_EQ(stats.OutOfTimeFrames, c.outOfTime);
        EXPECT_EQ(stats.LastFrameTime, c.times.back());
        EXPECT_EQ(stats.FirstFrameTime, c.times.front());
    }
}

TEST(TraceStats, Slicing) {
    struct tFrame {
        uint32_t wire, captured;
    };
    struct tCase {
        const char* name;
        std::vector<tFrame> frames;
        bool sliced, constant;
        int32_t sliceSize;
    };
    const tCase cases[] = {
        {"not sliced", {{60, 60}, {1514, 1514}}, false, true, 0},
        {"sliced at 96 throughout", {{1514, 96}, {60, 60}, {200, 96}, {96, 96}}, true, true, 96},
        {"a second slice length", {{1514, 96}, {1514, 128}}, true, false, 0},
        {"whole frame longer than the slice", {{1514, 96}, {97, 97}}, true, false, 96},
        {"slicing starts later", {{60, 60}, {1514, 128}, {1000, 128}}, true, true, 128},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tGeneralTraceStats stats;
        InitTraceStats(stats);
        uint64_t number = 0;
        for (const auto& f : c.frames) UpdateTraceStats(stats, At(10, 0, 0), ++number, 24, f.wire, f.captured);
        EXPECT_EQ(stats.isSliced, c.sliced);
        EXPECT_EQ(stats.SliceSizeConstant, c.constant);
        EXPECT_EQ(stats.SliceSize, c.sliceSize);
    }
}

TEST(Helpers, RelativePathSwapsAndThousands) {
    EXPECT_EQ(RelativePath("/Data/Caps/a.pcap", "/data/", true), "Caps/a.pcap");
    EXPECT_EQ(RelativePath("/Data/Caps/a.pcap", "/data/", false), "");
    EXPECT_EQ(RelativePath("x/a/b/a/c", "a/", false), "b/a/c");  // first occurrence
    EXPECT_EQ(RelativePath("abc", "", false), "abc");

    EXPECT_EQ(Swap16(0x1234), 0x3412);
    EXPECT_EQ(Swap32(0x12345678u), 0x78563412u);
    EXPECT_EQ(Swap64(0x0102030405060708ull), 0x0807060504030201ull);

    struct tCase {
        int64_t value;
        const char* text;
    };
    for (const tCase c : {tCase{0, "0"}, tCase{999, "999"}, tCase{1000, "1,000"},
                          tCase{1234567, "1,234,567"}, tCase{-1234, "-1,234"},
                          tCase{INT64_MIN, "-9,223,372,036,854,775,808"}}) {
        EXPECT_EQ(ThousandsText(c.value), c.text);
    }
}
