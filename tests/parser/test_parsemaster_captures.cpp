// Runs the parse master over every frame of the public sample captures, many of them
// crafted to break parsers: no frame may crash the walk or escape its bounds.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "loader/traceloader.h"
#include "parser/parsemaster.h"

namespace morwick {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CaptureFiles() {
    std::vector<fs::path> files;
    const fs::path dir = fs::path(MORWICK_CAPTURES) / "public";
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(dir, ec))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(ParseMasterCaptures, EveryFrameOfEveryPublicCapture) {
    const auto files = CaptureFiles();
    if (files.empty()) GTEST_SKIP() << "no sample captures at " << MORWICK_CAPTURES;

    int64_t frames = 0, parsedLayers = 0, readable = 0;
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        std::unique_ptr<tTraceLoader> loader;
        try {
            loader = createTraceLoader(file.string(), 0, cfUnknown);
            if (!loader || !loader->openFile()) continue;
            loader->readTraceFileheader();
        } catch (const std::exception&) {
            continue;  // a file the loaders reject is not the walk's business
        }
        ++readable;
        for (;;) {
            try {
                loader->readBatchFromDisk();
            } catch (const std::exception&) {
                break;
            }
            const int32_t n = loader->FramesAvailable();
            if (n == 0) break;
            for (int32_t i = 1; i <= n; ++i) {
                const tRawFrame& frame = loader->FrameAt(i);
                for (tParseProcessMode mode : {ppmParseAll, ppmUpToLayer4}) {
                    const tParseMaster pm(frame, mode);
                    parsedLayers += pm.ParserCount();
                    // What the walk reports stays inside the frame.
                    const int64_t covered = int64_t{pm.RemainingPayloadLen()} + pm.PaddingByteCount() +
                                            (pm.HasEthernetFCS() ? 4 : 0);
                    ASSERT_LE(covered, static_cast<int64_t>(frame.FrameSize()));
                    for (int32_t k = 1; k <= pm.ParserCount(); ++k) {
                        ASSERT_NE(pm.getParserByIndex(k), nullptr);
                        ASSERT_LE(pm.getParserParseInfoByIndex(k).Anchor.Offset,
                                  static_cast<int32_t>(frame.FrameSize()));
                    }
                    (void)pm.VLANIDsAsString();
                    (void)pm.ComplexityRating();
                }
                ++frames;
            }
        }
    }
    EXPECT_GT(readable, 0);
    EXPECT_GT(frames, 0);
    EXPECT_GT(parsedLayers, frames);
}

}  // namespace
}  // namespace morwick
