#include "storage/schema.h"

#include "base/errors.h"

namespace morwick_embedded {
extern const std::string_view dbstruct;
}

namespace morwick {

std::string_view IntelDBSchemaScript() { return morwick_embedded::dbstruct; }

void ApplyIntelDBSchema(tSQLiteConnection& db) { ApplyIntelDBSchema(db, IntelDBSchemaScript()); }

void ApplyIntelDBSchema(tSQLiteConnection& db, std::string_view script) {
    if (script.empty()) {
        throw tAssertionError("Invalid size detected for intel_dbstruct (tIntelDBManager.Connect)");
    }
    db.Exec(script);
    tSQLiteStatement insert(db, "INSERT INTO meta (name,value) VALUES (\"version\",:version);");
    insert.BindText(":version", IntelDBVersion);
    insert.Execute();
}

std::optional<std::string> ReadIntelDBVersion(tSQLiteConnection& db) {
    tSQLiteStatement query(db, "SELECT * FROM meta WHERE name=\"version\";");
    if (!query.Step()) return std::nullopt;
    return query.ColumnText("value");
}

bool IntelDBVersionIsCurrent(tSQLiteConnection& db) {
    auto version = ReadIntelDBVersion(db);
    return version && *version == IntelDBVersion;
}

}  // namespace morwick
