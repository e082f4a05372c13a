#pragma once
// The folder merge: the per-file meta databases of a folder are copied, file by file,
// into one folder database of the same layout.
#include <string>

#include "cli/commandline.h"

namespace morwick {

inline constexpr std::string_view DefaultFolderDBName = ".pcapintel.db";

// The value of the switch d: the rest of the argument after "d" without one leading ":"
// or "=" ("/d=x.db", "/d:x.db"), or the next argument when the switch stands alone and
// the next one is not a switch ("/d x.db"); "" without the switch.
std::string MergedDBNameFromCommandLine(const tCommandLine& CommandLine);

// The folder database of Folder: Folder with a trailing delimiter + MergedDBName, or
// + ".pcapintel.db" when MergedDBName is empty.
std::string FolderDBPath(const std::string& Folder, const std::string& MergedDBName);

// Merges the databases found under Folder's ".pcapmeta" sub-folder (or under Folder when
// it has none, sub-folders included) into the folder database. An existing folder
// database is replaced only after "y" is answered on standard input. Returns the exit
// status: 1 when the merge was refused or a file could not be deleted or renamed.
int mergeFolder(const std::string& Folder, const std::string& MergedDBName);

}  // namespace morwick
