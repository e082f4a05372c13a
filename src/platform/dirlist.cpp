#include "platform/dirlist.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

namespace morwick {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

struct tDirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

}  // namespace

bool ListDirectory(const std::string& Folder, tDirListing& Listing) {
    Listing.Files.clear();
    Listing.Folders.clear();
    if (Folder.empty()) return false;
    std::string prefix = Folder;
    if (prefix.back() != '/') prefix.push_back('/');

    std::unique_ptr<DIR, tDirCloser> dir(::opendir(prefix.c_str()));
    if (!dir) return false;
    std::string path;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") continue;
        path.assign(prefix).append(name);
        // lstat first: a link is never walked as a folder, but a link to a file counts as
        // that file.
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            Listing.Folders.emplace_back(name);
        } else if (S_ISREG(st.st_mode)) {
            Listing.Files.emplace_back(name);
        } else if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            Listing.Files.emplace_back(name);
        }
    }
    std::sort(Listing.Files.begin(), Listing.Files.end());
    std::sort(Listing.Folders.begin(), Listing.Folders.end());
    return true;
}

bool WildcardMatch(std::string_view Mask, std::string_view Name) {
    if (Mask == "*.*") return true;
    // Greedy match with one back-tracking point: the position after the last "*" seen.
    size_t m = 0, n = 0;
    size_t starMask = std::string_view::npos, starName = 0;
    while (n < Name.size()) {
        if (m < Mask.size() && Mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < Mask.size() && (Mask[m] == '?' || LowerAscii(Mask[m]) == LowerAscii(Name[n]))) {
            ++m;
            ++n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < Mask.size() && Mask[m] == '*') ++m;
    return m == Mask.size();
}

}  // namespace morwick
