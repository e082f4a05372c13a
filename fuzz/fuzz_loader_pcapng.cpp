// Fuzz target: a pcapng file through the pcapng loader.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "loader/loader_pcapng.h"
#include "loader_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    using namespace morwick;
    morwick_fuzz::RunLoader(Data, Size, cfPCAPng, "input.pcapng", [](tTraceLoader& Loader) {
        auto& ng = static_cast<tPCAPNGLoader&>(Loader);
        if (auto frame = ng.readLastFrameFromDisk()) morwick_fuzz::TouchFrame(*frame);
        for (int64_t offset : {int64_t{0}, int64_t{28}, std::max<int64_t>(0, Loader.Filesize() - 32)}) {
            if (auto frame = ng.readSingleFrameByOffset(offset, 1)) morwick_fuzz::TouchFrame(*frame);
        }
    });
    return 0;
}
