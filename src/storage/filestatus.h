#pragma once
// Whether a meta database already holds the Filelist row of a capture file, and whether
// that row still describes the same capture.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "base/datetime.h"
#include "base/timestamps.h"
#include "storage/sqlite.h"

namespace morwick {

// Verification flags, by bit number.
enum tIntelDBFileStatusFlag : uint8_t {
    dbfsNotFound = 0,
    dbfsFilenameMatch = 1,
    dbfsWrongPath = 2,
    dbfsWrongFileDate = 3,
    dbfsWrongSize = 4,
    dbfsWrongFirstFrameDate = 5,
    dbfsWrongLastFrameDate = 6,
    dbfsUnknownLastFrameDate = 7,
};

struct tIntelDBFileStatus {
    int32_t DBIndex = 0;     // id of the Filelist row found, 0 when none
    uint8_t Attributes = 0;  // set of tIntelDBFileStatusFlag, one bit each

    bool Has(tIntelDBFileStatusFlag flag) const { return (Attributes >> flag) & 1u; }
    void Include(tIntelDBFileStatusFlag flag) { Attributes |= static_cast<uint8_t>(1u << flag); }
    void Exclude(tIntelDBFileStatusFlag flag) { Attributes &= static_cast<uint8_t>(~(1u << flag)); }
    bool operator==(const tIntelDBFileStatus&) const = default;
};

// Builds a flag set from a list of flags.
uint8_t IntelDBFileStatusFlags(std::initializer_list<tIntelDBFileStatusFlag> flags);

// Looks the file up by its lower-case name in filelist and compares the first row found
// with the given path, date, size and frame times. Only reads; SQL errors propagate.
tIntelDBFileStatus getIntelDBFileStatus(tSQLiteConnection& db, std::string_view Filename,
                                        int64_t FileSize, tDateTime FileDate,
                                        const tFrameTimeStamp& FirstFrameTime,
                                        const tFrameTimeStamp& LastFrameTime);

// A row was found, its first frame time agrees, and either its last frame time agrees or,
// when the stored last frame time is unknown, its size agrees.
bool IntelDBFileStatusMatches(const tIntelDBFileStatus& status);

// "DBIndex 3, Attributes (filename match, wrong size)".
std::string IntelDBFileStatusToString(const tIntelDBFileStatus& status);

// Two frame times are the same to the millisecond, which is what a date-time column
// keeps.
bool SameFrameTimeToMs(const tFrameTimeStamp& a, const tFrameTimeStamp& b);

// The file-name part of a path (after the last "/") and the directory part with its
// trailing "/" (empty when the path has no directory).
std::string_view FileNamePart(std::string_view path);
std::string_view DirectoryPart(std::string_view path);
// ASCII lower case, as the stored names and paths are.
std::string LowerCaseASCII(std::string_view text);

}  // namespace morwick
