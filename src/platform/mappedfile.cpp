#include "platform/mappedfile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace morwick {

tMappedFile::~tMappedFile() { Close(); }

tMappedFile::tMappedFile(tMappedFile&& other) noexcept
    : priv_data(std::exchange(other.priv_data, nullptr)),
      priv_size(std::exchange(other.priv_size, 0)),
      priv_mtimeMs(std::exchange(other.priv_mtimeMs, 0)),
      priv_released(std::exchange(other.priv_released, 0)),
      priv_open(std::exchange(other.priv_open, false)) {}

tMappedFile& tMappedFile::operator=(tMappedFile&& other) noexcept {
    if (this != &other) {
        Close();
        priv_data = std::exchange(other.priv_data, nullptr);
        priv_size = std::exchange(other.priv_size, 0);
        priv_mtimeMs = std::exchange(other.priv_mtimeMs, 0);
        priv_released = std::exchange(other.priv_released, 0);
        priv_open = std::exchange(other.priv_open, false);
    }
    return *this;
}

tMapResult tMappedFile::Open(const std::string& path) {
    Close();
    // Non-blocking, so that a named pipe is turned down below instead of waiting for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? tMapResult::mrNotFound : tMapResult::mrOpenFailed;

    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return tMapResult::mrMapFailed;
    }
    priv_size = static_cast<uint64_t>(st.st_size);
    priv_mtimeMs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1'000'000;

    if (priv_size > 0) {
        void* p = ::mmap(nullptr, static_cast<size_t>(priv_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED) {
            ::close(fd);
            priv_size = 0;
            priv_mtimeMs = 0;
            return tMapResult::mrMapFailed;
        }
        // Frames are read front to back once; let the kernel read ahead generously.
        ::madvise(p, static_cast<size_t>(priv_size), MADV_SEQUENTIAL);
        priv_data = static_cast<const uint8_t*>(p);
    }
    // The mapping stays valid without the descriptor.
    ::close(fd);
    priv_open = true;
    return tMapResult::mrOK;
}

void tMappedFile::ReleaseBefore(uint64_t Offset) {
    if (priv_data == nullptr) return;
    static const uint64_t page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    const uint64_t end = std::min(Offset, priv_size) / page * page;
    if (end <= priv_released) return;
    ::madvise(const_cast<uint8_t*>(priv_data) + priv_released, static_cast<size_t>(end - priv_released),
              MADV_DONTNEED);
    priv_released = end;
}

void tMappedFile::Close() {
    if (priv_data != nullptr) ::munmap(const_cast<uint8_t*>(priv_data), static_cast<size_t>(priv_size));
    priv_data = nullptr;
    priv_size = 0;
    priv_mtimeMs = 0;
    priv_released = 0;
    priv_open = false;
}

}  // namespace morwick
