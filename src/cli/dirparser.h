#pragma once
// The directory walker: collects the full paths of the files under a base folder that
// match a file mask, optionally descending into sub-folders and optionally keeping only
// some extensions. The files of a folder come before those of its sub-folders; names
// within a folder are taken in byte order.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace morwick {

class tDirParser;
// Sender and a file name (EventOnAddFile) or a folder with its trailing delimiter
// (EventOnScanDirectory).
using tDirParserEvent = std::function<void(tDirParser& Sender, const std::string& Name)>;

class tDirParser {
public:
    // Empty base folder and mask, recursive, no per-folder processing.
    tDirParser() = default;
    // BaseDirectory gets a trailing delimiter.
    tDirParser(const std::string& BaseDirectory, const std::string& FileMask, bool ScanRecursive);
    virtual ~tDirParser() = default;
    tDirParser(const tDirParser&) = delete;
    tDirParser& operator=(const tDirParser&) = delete;

    // Collects the files. An empty mask means "*.*", an empty base folder the current
    // directory.
    void execute();

    // The index-th collected path, counted from 1; "" outside 1 to FileCount().
    std::string getFileName(int32_t index) const;

    // Replaces the extension list with the parts of Extensions between Separators; with
    // IncludesDot every "." is removed from each part. An empty text leaves the list empty
    // (no filter).
    void BulkSetValidExtensions(const std::string& Extensions, const std::string& Separator, bool IncludesDot);

    const std::string& BaseDirectory() const { return prot_BaseDir; }
    void setBaseDirectory(const std::string& Value) { prot_BaseDir = Value; }
    const std::string& FileMask() const { return prot_FileMask; }
    void setFileMask(const std::string& Value) { prot_FileMask = Value; }
    const std::vector<std::string>& ValidExtensions() const { return prot_validExtensions; }
    void setValidExtensions(const std::vector<std::string>& Value) { prot_validExtensions = Value; }
    int32_t FileCount() const { return static_cast<int32_t>(prot_FileList.size()); }
    const std::vector<std::string>& FileList() const { return prot_FileList; }
    bool IncludeSubDirs() const { return prot_Recursive; }
    void setIncludeSubDirs(bool Value) { prot_Recursive = Value; }
    bool ProcessFileInDir() const { return prot_ProcessPerDir; }
    void setProcessFileInDir(bool Value) { prot_ProcessPerDir = Value; }
    const std::vector<std::string>& IgnorePathList() const { return prot_IgnorePathList; }
    void setIgnorePathList(const std::vector<std::string>& Value) { prot_IgnorePathList = Value; }
    // Names of sub-folders never entered (letter case ignored), such as the folders that
    // hold the program's own databases.
    const std::vector<std::string>& SkipFolderNames() const { return prot_SkipFolderNames; }
    void setSkipFolderNames(const std::vector<std::string>& Value) { prot_SkipFolderNames = Value; }
    const tDirParserEvent& OnAddFile() const { return EventOnAddFile; }
    void setOnAddFile(tDirParserEvent Value) { EventOnAddFile = std::move(Value); }
    const tDirParserEvent& OnScanDirectory() const { return EventOnScanDirectory; }
    void setOnScanDirectory(tDirParserEvent Value) { EventOnScanDirectory = std::move(Value); }

protected:
    // Decides whether a found file goes into the list.
    virtual void addFile(const std::string& FileName);
    // Called per collected file (right after it is found when ProcessFileInDir is set,
    // else after the walk); does nothing here.
    virtual void processFile(const std::string& FileName);

    tDirParserEvent EventOnAddFile;
    tDirParserEvent EventOnScanDirectory;
    std::string prot_BaseDir;
    std::string prot_FileMask;
    bool prot_Recursive = true;
    bool prot_ProcessPerDir = false;
    std::vector<std::string> prot_validExtensions;
    std::vector<std::string> prot_FileList;
    std::vector<std::string> prot_IgnorePathList;  // kept for callers; the walk does not consult it
    std::vector<std::string> prot_SkipFolderNames;

private:
    void WalkFolder(const std::string& Folder);
};

}  // namespace morwick
