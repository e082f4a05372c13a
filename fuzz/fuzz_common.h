#pragma once
// Helpers shared by the fuzz targets.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "base/rawframe.h"

namespace morwick_fuzz {

// A per-process scratch folder (in /dev/shm when present, else $TMPDIR or /tmp),
// removed when the process ends normally.
class tScratchDir {
public:
    tScratchDir() {
        std::error_code ec;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, ec)) {
            const char* tmp = std::getenv("TMPDIR");
            base = tmp && *tmp ? tmp : "/tmp";
        }
        priv_path = base / ("morwick-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(priv_path, ec);
    }
    ~tScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(priv_path, ec);
    }
    const std::filesystem::path& Path() const { return priv_path; }

private:
    std::filesystem::path priv_path;
};

// Writes the input to a file in the scratch folder (the same name every time) and
// returns its name.
inline std::string WriteInputFile(const uint8_t* Data, size_t Size, const char* Name) {
    static tScratchDir dir;
    const std::string name = (dir.Path() / Name).string();
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) std::abort();
    if (Size > 0 && std::fwrite(Data, 1, Size, f) != Size) std::abort();
    if (std::fclose(f) != 0) std::abort();
    return name;
}

// Reads every captured byte and the main properties of a frame, so that a frame whose
// sizes disagree with its buffer shows up under AddressSanitizer.
inline uint64_t TouchFrame(const morwick::tRawFrame& Frame) {
    uint64_t sum = Frame.FrameSize() + Frame.WireSize() + Frame.LinkType() + Frame.InterfaceID();
    sum += static_cast<uint64_t>(Frame.FileOffset()) + static_cast<uint64_t>(Frame.Ticks());
    for (uint8_t b : Frame.Bytes()) sum += b;
    if (Frame.FrameSize() > 0) {
        sum += Frame.getByte(0);
        sum += Frame.getByte(static_cast<int32_t>(Frame.FrameSize() - 1));
    }
    sum += Frame.CRC32();
    sum += static_cast<uint64_t>(Frame.MD5Hash().size());
    return sum;
}

}  // namespace morwick_fuzz
