// Reads every pcapng file of the public sample captures, many of them crafted to break
// readers, whatever their extension: each is read to its end or to one of the loader's
// own errors, and every frame it hands out stays inside the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/errors.h"
#include "loader/loader_pcapng.h"

namespace morwick {
namespace {

namespace fs = std::filesystem;

bool StartsAsPcapng(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    uint8_t magic[4] = {};
    if (!in.read(reinterpret_cast<char*>(magic), 4)) return false;
    return magic[0] == 0x0A && magic[1] == 0x0D && magic[2] == 0x0D && magic[3] == 0x0A;
}

std::vector<fs::path> PcapngFiles() {
    std::vector<fs::path> files;
    const fs::path dir = fs::path(MORWICK_CAPTURES) / "public";
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(dir, ec))
        if (entry.is_regular_file() && StartsAsPcapng(entry.path())) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// The loader's own error texts, by their start.
bool IsLoaderError(const std::string& text) {
    for (const char* start : {"Error: ", "Warning: found unhandled blocktype ", "PCAP-ng file has unparsed options",
                              "Assertion failure"})
        if (text.rfind(start, 0) == 0) return true;
    return false;
}

TEST(PcapngCaptures, EveryPublicPcapngFileReadsToItsEndOrItsError) {
    const auto files = PcapngFiles();
    if (files.empty()) GTEST_SKIP() << "no pcapng sample captures under " << MORWICK_CAPTURES;

    int64_t frames = 0;
    int32_t completed = 0;
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        tPCAPNGLoader loader(file.string(), 0, true);
        loader.SetMaxFramesInMem(5000);
        int64_t lastOffset = -1;
        try {
            if (!loader.openFile()) continue;
            loader.readTraceFileheader();
            for (;;) {
                loader.readBatchFromDisk();
                const int32_t n = loader.FramesAvailable();
                if (n == 0) break;
                for (int32_t i = 1; i <= n; ++i) {
                    const tRawFrame frame = loader.getRawFrame(i);
                    ASSERT_LE(frame.FrameSize(), MaxFrameCaptureSize);
                    ASSERT_GT(frame.FileOffset(), lastOffset);
                    ASSERT_LT(frame.FileOffset(), loader.Filesize());
                    if (frame.FrameSize() > 0) {
                        ASSERT_NE(frame.Data(), nullptr);
                        (void)frame.MD5Hash();  // touches every captured byte
                    }
                    lastOffset = frame.FileOffset();
                    ++frames;
                }
            }
            ++completed;
            EXPECT_TRUE(loader.EndOfFile());
            EXPECT_LE(loader.Position(), loader.Filesize());
        } catch (const tMorwickError& e) {
            EXPECT_TRUE(IsLoaderError(e.what())) << e.what();
        }
    }
    // Most samples are well-formed: the sweep must actually read frames.
    EXPECT_GT(completed, 0);
    EXPECT_GT(frames, 0);
}

}  // namespace
}  // namespace morwick
