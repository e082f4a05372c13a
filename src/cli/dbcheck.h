#pragma once
// Tests on existing meta databases made before a file is scanned: whether a database is
// outdated, and the read-only connection used to look into one.
#include <string>

#include "storage/sqlite.h"

namespace morwick {

// Opens a SQLite database read-only; the connection closes when the value goes.
tSQLiteConnection openDatabaseReadOnly(const std::string& DBFileName);

// True when the database's Meta version sorts before "1.9" (lower case, compared as
// text), when it holds no version row or more than one, or when it cannot be read as a
// meta database at all. A missing file raises tAssertionError
// "Database file not found (DBIsOutDated)".
bool DBIsOutDated(const std::string& DBFileName);

}  // namespace morwick
