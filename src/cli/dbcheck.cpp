#include "cli/dbcheck.h"

#include <fmt/format.h>

#include "base/errors.h"
#include "platform/debuglog.h"
#include "platform/filesystem.h"

namespace morwick {
namespace {

constexpr std::string_view OldestCurrentVersion = "1.9";

std::string LowerASCII(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace

tSQLiteConnection openDatabaseReadOnly(const std::string& DBFileName) {
    // Normal locking: a look into the file must not keep it locked.
    return tSQLiteConnection(DBFileName, tSQLiteOpenMode::ReadOnly, tSQLiteLockingMode::Shared);
}

bool DBIsOutDated(const std::string& DBFileName) {
    if (!FileExists(DBFileName)) throw tAssertionError("Database file not found (DBIsOutDated)");
    try {
        tSQLiteConnection db = openDatabaseReadOnly(DBFileName);
        tSQLiteStatement query(db, "SELECT value FROM meta WHERE name=\"version\";");
        int rows = 0;
        std::string version;
        while (query.Step()) {
            if (++rows == 1) version = query.ColumnText(0);
        }
        if (rows != 1) return true;
        return LowerASCII(version) < OldestCurrentVersion;
    } catch (const tDatabaseError& e) {
        // A file that is no meta database (or not even SQLite) is rescanned like an
        // outdated one rather than ending a folder scan.
        LogDebug(fmt::format("Database \"{}\" unreadable, counted as outdated: {}", DBFileName, e.what()));
        return true;
    }
}

}  // namespace morwick
