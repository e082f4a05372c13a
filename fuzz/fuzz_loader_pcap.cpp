// Fuzz target: a classic pcap file through the pcap loader.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "loader/loader_pcap.h"
#include "loader_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    using namespace morwick;
    morwick_fuzz::RunLoader(Data, Size, cfPCAP, "input.pcap", [](tTraceLoader& Loader) {
        // Record reads at offsets of the input's choosing: the first record and just
        // past the file header's end.
        for (int64_t offset : {tPCAPLoader::GlobalHeaderSize, int64_t{0}, std::max<int64_t>(0, Loader.Filesize() - 16)}) {
            if (auto frame = Loader.readSingleFrameByOffset(offset, 1)) morwick_fuzz::TouchFrame(*frame);
        }
    });
    return 0;
}
