#include "cli/dirparser.h"

#include <algorithm>

#include "platform/dirlist.h"
#include "platform/filesystem.h"

namespace morwick {

tDirParser::tDirParser(const std::string& BaseDirectory, const std::string& FileMask, bool ScanRecursive)
    : prot_BaseDir(IncludeTrailingPathDelimiter(BaseDirectory)),
      prot_FileMask(FileMask),
      prot_Recursive(ScanRecursive) {}

void tDirParser::execute() {
    if (prot_FileMask.empty()) prot_FileMask = "*.*";
    if (prot_BaseDir.empty()) prot_BaseDir = GetCurrentDir();
    prot_FileList.clear();
    prot_BaseDir = IncludeTrailingPathDelimiter(prot_BaseDir);
    if (prot_BaseDir.empty()) return;  // no current directory to fall back on
    WalkFolder(prot_BaseDir);
    if (!prot_ProcessPerDir)
        for (size_t i = 0; i < prot_FileList.size(); ++i) processFile(prot_FileList[i]);
}

void tDirParser::WalkFolder(const std::string& Folder) {
    if (EventOnScanDirectory) EventOnScanDirectory(*this, Folder);
    tDirListing listing;
    if (!ListDirectory(Folder, listing)) return;
    for (const std::string& name : listing.Files) {
        if (!WildcardMatch(prot_FileMask, name)) continue;
        const std::string path = Folder + name;
        const size_t before = prot_FileList.size();
        addFile(path);
        // Only files that made it into the list are processed.
        if (prot_ProcessPerDir && prot_FileList.size() > before) processFile(prot_FileList.back());
    }
    if (!prot_Recursive) return;
    for (const std::string& name : listing.Folders) {
        const std::string lower = LowerCase(name);
        const bool skipped = std::any_of(prot_SkipFolderNames.begin(), prot_SkipFolderNames.end(),
                                         [&](const std::string& s) { return LowerCase(s) == lower; });
        if (!skipped) WalkFolder(Folder + name + PathDelimiter);
    }
}

void tDirParser::addFile(const std::string& FileName) {
    if (EventOnAddFile) EventOnAddFile(*this, FileName);
    if (prot_validExtensions.empty()) {
        prot_FileList.push_back(FileName);
        return;
    }
    std::string ext = ExtractFileExt(FileName);
    if (!ext.empty()) ext.erase(0, 1);
    const std::string lower = LowerCase(ext);
    for (const std::string& valid : prot_validExtensions)
        if (LowerCase(valid) == lower) {
            prot_FileList.push_back(FileName);
            return;
        }
}

void tDirParser::processFile(const std::string&) {}

std::string tDirParser::getFileName(int32_t index) const {
    if (index < 1 || index > FileCount()) return {};
    return prot_FileList[static_cast<size_t>(index - 1)];
}

void tDirParser::BulkSetValidExtensions(const std::string& Extensions, const std::string& Separator,
                                        bool IncludesDot) {
    prot_validExtensions.clear();
    if (Extensions.empty()) return;  // no list: every extension is valid
    auto take = [&](std::string part) {
        if (IncludesDot) part.erase(std::remove(part.begin(), part.end(), '.'), part.end());
        prot_validExtensions.push_back(std::move(part));
    };
    if (Separator.empty()) {
        take(Extensions);
        return;
    }
    size_t start = 0;
    for (;;) {
        const size_t at = Extensions.find(Separator, start);
        if (at == std::string::npos) {
            take(Extensions.substr(start));
            break;
        }
        take(Extensions.substr(start, at - start));
        start = at + Separator.size();
    }
}

}  // namespace morwick
