#include "platform/filesystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>

namespace morwick {
namespace {

size_t FileNameStart(std::string_view path) {
    const size_t pos = path.rfind(PathDelimiter);
    return pos == std::string_view::npos ? 0 : pos + 1;
}

// Position of the extension's dot within path, npos when the file name has none.
size_t ExtensionDot(std::string_view path) {
    const size_t pos = path.rfind('.');
    if (pos == std::string_view::npos || pos < FileNameStart(path)) return std::string_view::npos;
    return pos;
}

}  // namespace

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t GetFileSize(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

int64_t UnixTimeToLocalMs(int64_t seconds, int64_t nanoseconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    int64_t offset = 0;
    if (::localtime_r(&t, &local) != nullptr) offset = local.tm_gmtoff;
    return (seconds + offset) * 1000 + nanoseconds / 1'000'000;
}

int64_t LocalNowMs() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return UnixTimeToLocalMs(ts.tv_sec, ts.tv_nsec);
}

bool GetLocalFileTimes(const std::string& path, tLocalFileTimes& out) {
    struct statx sx {};
    if (path.empty() ||
        ::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        return false;
    const auto local = [](const struct statx_timestamp& ts) {
        return UnixTimeToLocalMs(ts.tv_sec, ts.tv_nsec);
    };
    // Not every file system records a birth time; the status change is the nearest stand-in.
    out.Created = (sx.stx_mask & STATX_BTIME) ? local(sx.stx_btime) : local(sx.stx_ctime);
    out.Modified = local(sx.stx_mtime);
    out.Accessed = local(sx.stx_atime);
    return true;
}

bool ForceDirectories(const std::string& path) {
    if (path.empty()) return false;
    if (DirectoryExists(path)) return true;
    std::string partial;
    partial.reserve(path.size());
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == PathDelimiter) {
            if (!partial.empty() && !DirectoryExists(partial)) {
                if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return false;
            }
        }
        if (i < path.size()) partial.push_back(path[i]);
    }
    return DirectoryExists(path);
}

bool DeleteFile(const std::string& path) {
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return !from.empty() && !to.empty() && std::rename(from.c_str(), to.c_str()) == 0;
}

std::string GetCurrentDir() {
    std::unique_ptr<char, void (*)(void*)> cwd(::getcwd(nullptr, 0), std::free);
    if (!cwd) return {};
    return IncludeTrailingPathDelimiter(cwd.get());
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
    std::string result(path);
    if (!result.empty() && result.back() != PathDelimiter) result.push_back(PathDelimiter);
    return result;
}

std::string ExtractFilePath(std::string_view path) {
    return std::string(path.substr(0, FileNameStart(path)));
}

std::string ExtractFileName(std::string_view path) {
    return std::string(path.substr(FileNameStart(path)));
}

std::string ExtractFileExt(std::string_view path) {
    const size_t dot = ExtensionDot(path);
    return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
    const size_t dot = ExtensionDot(path);
    std::string result(path.substr(0, dot == std::string_view::npos ? path.size() : dot));
    result.append(ext);
    return result;
}

std::string LowerCase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return result;
}

}  // namespace morwick
