#pragma once
// Runs one loader over a fuzz input: header, every batch, every frame, and the single
// frame reads. Errors of the program's two error kinds are expected answers to bad input.
#include <cstdint>
#include <span>

#include "base/errors.h"
#include "fuzz_common.h"
#include "loader/traceloader.h"

namespace morwick_fuzz {

template <typename tExtra>
void RunLoader(const uint8_t* Data, size_t Size, morwick::tCaptureFileType Type, const char* FileName,
               tExtra&& Extra) {
    using namespace morwick;
    volatile uint64_t sink = 0;
    sink = sink + static_cast<uint64_t>(CaptureFileTypeOfBytes(std::span<const uint8_t>(Data, Size)));
    const std::string name = WriteInputFile(Data, Size, FileName);
    try {
        auto loader = createTraceLoader(name, 0, Type);
        if (!loader) std::abort();  // the factory knows both formats
        // A small batch bound makes every input cross batch boundaries.
        loader->SetMaxFramesInMem(7);
        if (!loader->openFile()) return;
        loader->readTraceFileheader();
        for (;;) {
            loader->readBatchFromDisk();
            const int32_t n = loader->FramesAvailable();
            if (n == 0) break;
            for (int32_t i = 1; i <= n; ++i) {
                sink = sink + static_cast<uint64_t>(loader->getInterfaceForFrameByFrameIndex(i) != nullptr);
                tRawFrame frame = loader->getRawFrame(i);
                sink = sink + TouchFrame(frame);
            }
            sink = sink + static_cast<uint64_t>(loader->Position());
        }
        for (int64_t index : {int64_t{1}, int64_t{2}, int64_t{5}}) {
            if (auto frame = loader->readSingleFrameFromDisk(index)) sink = sink + TouchFrame(*frame);
        }
        Extra(*loader);
        sink = sink + static_cast<uint64_t>(loader->MessageCount() + loader->TotalFramesRead());
    } catch (const tAssertionError&) {
    } catch (const tInOutError&) {
    }
}

}  // namespace morwick_fuzz
