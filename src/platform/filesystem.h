#pragma once
// File system services of the program: existence tests, sizes and times of files, folder
// creation, deletion, renaming and the path helpers. Paths use "/" as delimiter.
//
// This layer sits below the date-time type, so file times leave it as local wall-clock
// milliseconds since 1970-01-01 00:00:00 (the local time read as if it were UTC); callers
// turn them into a tDateTime with LocalMsToDateTime in cli/filedetails.h.
#include <cstdint>
#include <string>
#include <string_view>

namespace morwick {

inline constexpr char PathDelimiter = '/';

// True for an existing file that is not a folder (symbolic links are followed).
bool FileExists(const std::string& path);
// True for an existing folder.
bool DirectoryExists(const std::string& path);
// Size in bytes of an existing file, -1 when it cannot be read.
int64_t GetFileSize(const std::string& path);

struct tLocalFileTimes {
    int64_t Created = 0;   // creation time where the file system records it, else status change
    int64_t Modified = 0;  // last write
    int64_t Accessed = 0;  // last access
};
// Fills the local wall-clock times of a file; false when the file cannot be queried.
bool GetLocalFileTimes(const std::string& path, tLocalFileTimes& out);
// Local wall-clock milliseconds of a UTC instant given as Unix seconds and nanoseconds.
int64_t UnixTimeToLocalMs(int64_t seconds, int64_t nanoseconds);
// Local wall-clock milliseconds of the present moment.
int64_t LocalNowMs();

// Creates a folder with all missing parents; true when the folder exists afterwards.
bool ForceDirectories(const std::string& path);
// Deletes a file; true on success.
bool DeleteFile(const std::string& path);
// Renames (moves) a file, replacing an existing target; true on success.
bool RenameFile(const std::string& from, const std::string& to);
// The working folder with a trailing delimiter ("" when it cannot be determined).
std::string GetCurrentDir();

// Adds a delimiter when the text does not end with one (an empty text stays empty).
std::string IncludeTrailingPathDelimiter(std::string_view path);
// The folder part up to and including the last delimiter; "" when there is none.
std::string ExtractFilePath(std::string_view path);
// The part after the last delimiter.
std::string ExtractFileName(std::string_view path);
// The extension of the file-name part including its dot; "" when there is none.
std::string ExtractFileExt(std::string_view path);
// Replaces the extension of the file-name part (ext includes the dot); a name without
// extension gets ext appended.
std::string ChangeFileExt(std::string_view path, std::string_view ext);
// ASCII lower case.
std::string LowerCase(std::string_view text);

}  // namespace morwick
