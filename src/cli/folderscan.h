#pragma once
// The folder scan: every file under a folder that matches a mask is scanned into its meta
// database unless that database is present and current; optionally followed by a merge of
// the folder's databases into the folder database.
#include <string>

#include "cli/commandline.h"

namespace morwick {

struct tFolderScanOptions {
    bool Recursive = false;   // switch r: descend into sub-folders
    bool Force = false;       // switch f: scan files whose database is current too
    bool MergeAfter = false;  // switch m: merge the folder's databases afterwards
    bool UpToLayer4 = false;  // switch l4
    std::string MergedDBName; // switch d: name of the folder database ("" for the default)
};

tFolderScanOptions FolderScanOptionsFromCommandLine(const tCommandLine& CommandLine);

// Scans the files that PathWithMask names (a folder part and a file mask with "*" or
// "?"; a missing folder part, or one that does not exist, means the current directory).
// A file whose scan raises an error is reported on its own line and gets no database; the
// other files are scanned and merged all the same. Returns the exit status: 1 when a file
// failed or a stale database could not be deleted, else the merge's status (0 without one).
int ScanFolder(const std::string& PathWithMask, const tFolderScanOptions& Options);

// A meta database is present when its file exists and no "<name>.db-journal" lies beside
// it (a journal left behind marks a write that did not finish).
bool MetaDBIsPresent(const std::string& DBFileName);

}  // namespace morwick
