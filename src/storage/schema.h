#pragma once
// The meta database layout: the embedded schema script, its version row and the test
// whether a database carries the current version.
#include <optional>
#include <string>
#include <string_view>

#include "storage/sqlite.h"

namespace morwick {

// Version text of the schema; a database is current only when its Meta table holds
// exactly this value under the name "version".
inline constexpr std::string_view IntelDBVersion = "1.9";

// The schema script carried in the program (CR LF line ends, 20 tables, 15 indexes).
std::string_view IntelDBSchemaScript();

// Runs the schema script as one batch and inserts the version row. Fails with an
// assertion error when the script is empty; SQL errors (tables that exist already)
// propagate.
void ApplyIntelDBSchema(tSQLiteConnection& db);
// Same, with another script; the manager and the tests use the embedded one.
void ApplyIntelDBSchema(tSQLiteConnection& db, std::string_view script);

// The stored version text, or nothing when Meta holds no version row. Errors of the
// query (no Meta table, not a database) propagate.
std::optional<std::string> ReadIntelDBVersion(tSQLiteConnection& db);

// True when the stored version equals IntelDBVersion exactly.
bool IntelDBVersionIsCurrent(tSQLiteConnection& db);

}  // namespace morwick
