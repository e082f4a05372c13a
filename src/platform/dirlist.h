#pragma once
// Listing of one folder: the names of its files and of its sub-folders, each list sorted
// in byte order so that walks over a tree are repeatable (the kernel hands entries out in
// no stable order), and the wildcard match of folder scans.
#include <string>
#include <string_view>
#include <vector>

namespace morwick {

struct tDirListing {
    std::vector<std::string> Files;    // names of entries that are (or link to) regular files
    std::vector<std::string> Folders;  // names of real sub-folders, without "." and ".."
};

// Lists Folder (with or without a trailing delimiter). Symbolic links to folders are not
// listed as folders, so a walk cannot loop. False, with an empty listing, when the folder
// cannot be opened.
bool ListDirectory(const std::string& Folder, tDirListing& Listing);

// Matches Name against Mask: "*" stands for any run of characters (also none), "?" for
// exactly one; letter case is ignored (ASCII). The mask "*.*" matches every name, also
// one without a dot.
bool WildcardMatch(std::string_view Mask, std::string_view Name);

}  // namespace morwick
