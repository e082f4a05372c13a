#pragma once
// A read-only memory-mapped view of a whole file. Capture files are read in place from
// the view; offsets and sizes are 64-bit so files of any size are covered.
#include <cstdint>
#include <span>
#include <string>

namespace morwick {

enum class tMapResult : uint8_t {
    mrOK,          // mapped (an empty file gives an empty view)
    mrNotFound,    // no such file
    mrOpenFailed,  // exists but cannot be opened for reading
    mrMapFailed,   // opened, but the view could not be created (a directory, a device, ...)
};

class tMappedFile {
public:
    tMappedFile() = default;
    ~tMappedFile();
    tMappedFile(const tMappedFile&) = delete;
    tMappedFile& operator=(const tMappedFile&) = delete;
    tMappedFile(tMappedFile&& other) noexcept;
    tMappedFile& operator=(tMappedFile&& other) noexcept;

    // Maps the whole file read-only with a sequential-access hint. A view already open is
    // closed first.
    tMapResult Open(const std::string& path);
    void Close();

    bool IsOpen() const { return priv_open; }
    uint64_t Size() const { return priv_size; }
    // Start of the view; null when nothing is mapped (also for an empty file).
    const uint8_t* Data() const { return priv_data; }
    std::span<const uint8_t> View() const { return {priv_data, static_cast<size_t>(priv_size)}; }
    // The bytes before Offset are done with: their pages leave the process's resident set,
    // so a front-to-back reader holds only what it still reads. The view stays valid: a
    // page touched again is read back from the file.
    void ReleaseBefore(uint64_t Offset);
    // Last-write time of the file as UTC milliseconds since 1970-01-01.
    int64_t ModifiedUnixMs() const { return priv_mtimeMs; }

private:
    const uint8_t* priv_data = nullptr;
    uint64_t priv_size = 0;
    int64_t priv_mtimeMs = 0;
    uint64_t priv_released = 0;  // bytes at the start of the view already released
    bool priv_open = false;
};

}  // namespace morwick
