#include "storage/sqlite.h"

#include <sqlite3.h>

#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include <fmt/format.h>

namespace morwick {

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool FileMissingOrEmpty(const std::string& path) {
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    return ec || size == 0;
}

}  // namespace

// ---------------------------------------------------------------- tSQLiteConnection

tSQLiteConnection::tSQLiteConnection(const std::string& path, tSQLiteOpenMode mode,
                                     tSQLiteLockingMode locking) {
    Open(path, mode, locking);
}

tSQLiteConnection::~tSQLiteConnection() {
    if (priv_db) sqlite3_close_v2(priv_db);
}

tSQLiteConnection::tSQLiteConnection(tSQLiteConnection&& other) noexcept
    : priv_db(std::exchange(other.priv_db, nullptr)), priv_path(std::move(other.priv_path)) {}

tSQLiteConnection& tSQLiteConnection::operator=(tSQLiteConnection&& other) noexcept {
    if (this != &other) {
        if (priv_db) sqlite3_close_v2(priv_db);
        priv_db = std::exchange(other.priv_db, nullptr);
        priv_path = std::move(other.priv_path);
    }
    return *this;
}

void tSQLiteConnection::Fail(int code, std::string_view context) const {
    const char* msg = priv_db ? sqlite3_errmsg(priv_db) : sqlite3_errstr(code);
    throw tDatabaseError(fmt::format("{} ({})", msg ? msg : sqlite3_errstr(code), context));
}

void tSQLiteConnection::Open(const std::string& path, tSQLiteOpenMode mode,
                             tSQLiteLockingMode locking) {
    Close();
    const bool createdNow = mode == tSQLiteOpenMode::ReadWriteCreate && FileMissingOrEmpty(path);
    // A connection is only ever used by the thread that opened it, so SQLite need not lock
    // its mutex around every call.
    int flags = (mode == tSQLiteOpenMode::ReadOnly ? SQLITE_OPEN_READONLY
                                                   : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) |
                SQLITE_OPEN_NOMUTEX;
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        if (db) sqlite3_close_v2(db);
        throw tDatabaseError(fmt::format("{} (tSQLiteConnection.Open \"{}\")", msg, path));
    }
    priv_db = db;
    priv_path = path;
    sqlite3_extended_result_codes(priv_db, 1);
    try {
        ApplySettings(createdNow, locking);
    } catch (...) {
        Close();
        throw;
    }
}

void tSQLiteConnection::OpenMemory() {
    Close();
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        if (db) sqlite3_close_v2(db);
        throw tDatabaseError(fmt::format("{} (tSQLiteConnection.OpenMemory)", msg));
    }
    priv_db = db;
    priv_path = ":memory:";
    try {
        ApplySettings(true, tSQLiteLockingMode::Exclusive);
    } catch (...) {
        Close();
        throw;
    }
}

void tSQLiteConnection::ApplySettings(bool createdNow, tSQLiteLockingMode locking) {
    // The encoding can only be chosen before the first table exists.
    if (createdNow) Exec("PRAGMA encoding = \"UTF-8\"");
    Exec("PRAGMA cache_size = 10000");
    if (locking == tSQLiteLockingMode::Exclusive) {
        Exec("PRAGMA locking_mode = Exclusive");
        Exec("PRAGMA synchronous = Off");
    } else {
        Exec("PRAGMA locking_mode = Normal");
        Exec("PRAGMA synchronous = Normal");
    }
    Exec("PRAGMA journal_mode = Delete");
    Exec("PRAGMA foreign_keys = On");
    SetBusyTimeout(DefaultBusyTimeoutMs);
}

void tSQLiteConnection::Close() {
    if (!priv_db) return;
    int rc = sqlite3_close(priv_db);
    if (rc != SQLITE_OK) {
        // Statements are still open on it: hand the handle to SQLite to close once they
        // are finalised, and report the misuse.
        std::string msg = sqlite3_errmsg(priv_db);
        sqlite3_close_v2(priv_db);
        priv_db = nullptr;
        throw tDatabaseError(fmt::format("{} (tSQLiteConnection.Close)", msg));
    }
    priv_db = nullptr;
}

void tSQLiteConnection::Exec(std::string_view sql) {
    if (!priv_db) throw tDatabaseError("Database not open (tSQLiteConnection.Exec)");
    // Step through the script one statement at a time; sqlite3_exec would need a
    // terminated copy of the whole text.
    const char* tail = sql.data();
    const char* end = sql.data() + sql.size();
    while (tail < end) {
        sqlite3_stmt* stmt = nullptr;
        const char* next = nullptr;
        int rc = sqlite3_prepare_v2(priv_db, tail, static_cast<int>(end - tail), &stmt, &next);
        if (rc != SQLITE_OK) Fail(rc, "tSQLiteConnection.Exec");
        if (!stmt) break;  // only white space or comments left
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) {
            std::string msg = sqlite3_errmsg(priv_db);
            sqlite3_finalize(stmt);
            throw tDatabaseError(fmt::format("{} (tSQLiteConnection.Exec)", msg));
        }
        sqlite3_finalize(stmt);
        tail = next;
    }
}

void tSQLiteConnection::BeginTransaction() { Exec("BEGIN TRANSACTION"); }
void tSQLiteConnection::Commit() { Exec("COMMIT TRANSACTION"); }
void tSQLiteConnection::Rollback() { Exec("ROLLBACK TRANSACTION"); }

bool tSQLiteConnection::InTransaction() const {
    return priv_db && sqlite3_get_autocommit(priv_db) == 0;
}

int64_t tSQLiteConnection::LastInsertRowId() const {
    if (!priv_db) throw tDatabaseError("Database not open (tSQLiteConnection.LastInsertRowId)");
    return sqlite3_last_insert_rowid(priv_db);
}

int64_t tSQLiteConnection::Changes() const {
    if (!priv_db) throw tDatabaseError("Database not open (tSQLiteConnection.Changes)");
    return sqlite3_changes64(priv_db);
}

void tSQLiteConnection::SetBusyTimeout(int milliseconds) {
    if (!priv_db) throw tDatabaseError("Database not open (tSQLiteConnection.SetBusyTimeout)");
    int rc = sqlite3_busy_timeout(priv_db, milliseconds);
    if (rc != SQLITE_OK) Fail(rc, "tSQLiteConnection.SetBusyTimeout");
}

void tSQLiteConnection::RestoreFrom(tSQLiteConnection& source) {
    if (!priv_db || !source.priv_db)
        throw tDatabaseError("Database not open (tSQLiteConnection.RestoreFrom)");
    sqlite3_backup* backup = sqlite3_backup_init(priv_db, "main", source.priv_db, "main");
    if (!backup) Fail(sqlite3_errcode(priv_db), "tSQLiteConnection.RestoreFrom");
    int rc = sqlite3_backup_step(backup, -1);
    int rcFinish = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        throw tDatabaseError(
            fmt::format("{} (tSQLiteConnection.RestoreFrom)", sqlite3_errstr(rc)));
    }
    if (rcFinish != SQLITE_OK) Fail(rcFinish, "tSQLiteConnection.RestoreFrom");
}

// ---------------------------------------------------------------- tSQLiteTransaction

tSQLiteTransaction::tSQLiteTransaction(tSQLiteConnection& connection)
    : priv_connection(connection), priv_owner(!connection.InTransaction()) {
    if (priv_owner) priv_connection.BeginTransaction();
}

tSQLiteTransaction::~tSQLiteTransaction() {
    if (priv_done || !priv_owner) return;
    try {
        if (priv_connection.InTransaction()) priv_connection.Rollback();
    } catch (...) {
        // The error that unwinds us is the one the caller needs to see.
    }
}

void tSQLiteTransaction::Commit() {
    if (priv_owner && !priv_done) priv_connection.Commit();
    priv_done = true;
}

// ---------------------------------------------------------------- tSQLiteStatement

tSQLiteStatement::tSQLiteStatement(tSQLiteConnection& connection, std::string_view sql) {
    Prepare(connection, sql);
}

tSQLiteStatement::~tSQLiteStatement() { Finalize(); }

tSQLiteStatement::tSQLiteStatement(tSQLiteStatement&& other) noexcept
    : priv_stmt(std::exchange(other.priv_stmt, nullptr)),
      priv_db(std::exchange(other.priv_db, nullptr)) {}

tSQLiteStatement& tSQLiteStatement::operator=(tSQLiteStatement&& other) noexcept {
    if (this != &other) {
        Finalize();
        priv_stmt = std::exchange(other.priv_stmt, nullptr);
        priv_db = std::exchange(other.priv_db, nullptr);
    }
    return *this;
}

void tSQLiteStatement::Fail(int code, std::string_view context) const {
    const char* msg = priv_db ? sqlite3_errmsg(priv_db) : sqlite3_errstr(code);
    throw tDatabaseError(fmt::format("{} ({})", msg, context));
}

void tSQLiteStatement::Prepare(tSQLiteConnection& connection, std::string_view sql) {
    Finalize();
    if (!connection.IsOpen()) throw tDatabaseError("Database not open (tSQLiteStatement.Prepare)");
    priv_db = connection.Handle();
    const char* tail = nullptr;
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(priv_db, sql.data(), static_cast<int>(sql.size()), &stmt, &tail);
    if (rc != SQLITE_OK) {
        Fail(rc, fmt::format("tSQLiteStatement.Prepare \"{}\"", sql));
    }
    if (!stmt) throw tDatabaseError(fmt::format("Empty statement (tSQLiteStatement.Prepare \"{}\")", sql));
    priv_stmt = stmt;
    // Anything but white space or a lone ";" after the statement would be silently
    // ignored by SQLite; refuse it.
    for (const char* p = tail; p && p < sql.data() + sql.size(); ++p) {
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';') {
            Finalize();
            throw tDatabaseError(fmt::format(
                "More than one statement in the text (tSQLiteStatement.Prepare \"{}\")", sql));
        }
    }
}

void tSQLiteStatement::Finalize() {
    if (priv_stmt) sqlite3_finalize(priv_stmt);
    priv_stmt = nullptr;
}

std::string_view tSQLiteStatement::Sql() const {
    if (!priv_stmt) return {};
    const char* s = sqlite3_sql(priv_stmt);
    return s ? std::string_view(s) : std::string_view();
}

int tSQLiteStatement::ParameterIndex(std::string_view name) const {
    if (!priv_stmt) throw tDatabaseError("Statement not prepared (tSQLiteStatement.Bind)");
    // sqlite3_bind_parameter_index wants a terminated name with its prefix; build it on
    // the stack to keep binding free of heap allocations.
    char buf[128];
    size_t n = 0;
    if (name.empty() || (name[0] != ':' && name[0] != '@' && name[0] != '$')) buf[n++] = ':';
    if (name.size() + n >= sizeof(buf))
        throw tDatabaseError(fmt::format("Parameter name too long: {} (tSQLiteStatement.Bind)", name));
    std::memcpy(buf + n, name.data(), name.size());
    buf[n + name.size()] = '\0';
    int index = sqlite3_bind_parameter_index(priv_stmt, buf);
    if (index == 0) {
        throw tDatabaseError(fmt::format("Unknown parameter {} in \"{}\" (tSQLiteStatement.Bind)",
                                         std::string_view(buf), Sql()));
    }
    return index;
}

void tSQLiteStatement::CheckBind(int code, std::string_view name) const {
    if (code != SQLITE_OK) Fail(code, fmt::format("tSQLiteStatement.Bind {}", name));
}

void tSQLiteStatement::BindInt64(std::string_view name, int64_t value) {
    CheckBind(sqlite3_bind_int64(priv_stmt, ParameterIndex(name), value), name);
}

void tSQLiteStatement::BindInt32(std::string_view name, int32_t value) {
    CheckBind(sqlite3_bind_int(priv_stmt, ParameterIndex(name), value), name);
}

void tSQLiteStatement::BindDouble(std::string_view name, double value) {
    CheckBind(sqlite3_bind_double(priv_stmt, ParameterIndex(name), value), name);
}

void tSQLiteStatement::BindText(std::string_view name, std::string_view value) {
    int index = ParameterIndex(name);
    // A null data pointer would bind NULL; an empty text must stay an empty text.
    const char* data = value.data() ? value.data() : "";
    CheckBind(sqlite3_bind_text64(priv_stmt, index, data, value.size(), SQLITE_TRANSIENT,
                                  SQLITE_UTF8),
              name);
}

void tSQLiteStatement::BindNull(std::string_view name) {
    CheckBind(sqlite3_bind_null(priv_stmt, ParameterIndex(name)), name);
}

void tSQLiteStatement::BindBool(std::string_view name, bool value) {
    CheckBind(sqlite3_bind_int(priv_stmt, ParameterIndex(name), value ? 1 : 0), name);
}

void tSQLiteStatement::BindDateTime(std::string_view name, tDateTime value) {
    BindText(name, DateTimeToDBText(value));
}

void tSQLiteStatement::ClearBindings() {
    if (priv_stmt) sqlite3_clear_bindings(priv_stmt);
}

bool tSQLiteStatement::Step() {
    if (!priv_stmt) throw tDatabaseError("Statement not prepared (tSQLiteStatement.Step)");
    int rc = sqlite3_step(priv_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    // The error text belongs to the connection; read it before the reset overwrites it.
    std::string msg = priv_db ? sqlite3_errmsg(priv_db) : sqlite3_errstr(rc);
    sqlite3_reset(priv_stmt);
    throw tDatabaseError(fmt::format("{} (tSQLiteStatement.Step \"{}\")", msg, Sql()));
}

void tSQLiteStatement::Execute() {
    while (Step()) {
    }
    Reset();
}

void tSQLiteStatement::Reset() {
    if (priv_stmt) sqlite3_reset(priv_stmt);
}

int tSQLiteStatement::ColumnCount() const {
    return priv_stmt ? sqlite3_column_count(priv_stmt) : 0;
}

int tSQLiteStatement::FindColumn(std::string_view name) const {
    int n = ColumnCount();
    for (int i = 0; i < n; ++i) {
        const char* col = sqlite3_column_name(priv_stmt, i);
        if (col && EqualsNoCase(col, name)) return i;
    }
    return -1;
}

int tSQLiteStatement::ColumnIndex(std::string_view name) const {
    int index = FindColumn(name);
    if (index < 0) {
        throw tDatabaseError(fmt::format("Unknown column {} in \"{}\" (tSQLiteStatement.ColumnIndex)",
                                         name, Sql()));
    }
    return index;
}

std::string tSQLiteStatement::ColumnName(int index) const {
    CheckColumn(index);
    const char* col = sqlite3_column_name(priv_stmt, index);
    return col ? std::string(col) : std::string();
}

void tSQLiteStatement::CheckColumn(int index) const {
    if (!priv_stmt || index < 0 || index >= sqlite3_column_count(priv_stmt)) {
        throw tDatabaseError(fmt::format("Invalid column index {} (tSQLiteStatement.Column)", index));
    }
}

bool tSQLiteStatement::IsNull(int index) const {
    CheckColumn(index);
    return sqlite3_column_type(priv_stmt, index) == SQLITE_NULL;
}

int64_t tSQLiteStatement::ColumnInt64(int index) const {
    CheckColumn(index);
    return sqlite3_column_int64(priv_stmt, index);
}

int32_t tSQLiteStatement::ColumnInt32(int index) const {
    return static_cast<int32_t>(static_cast<uint32_t>(ColumnInt64(index)));
}

double tSQLiteStatement::ColumnDouble(int index) const {
    CheckColumn(index);
    return sqlite3_column_double(priv_stmt, index);
}

std::string tSQLiteStatement::ColumnText(int index) const {
    CheckColumn(index);
    const unsigned char* text = sqlite3_column_text(priv_stmt, index);
    int size = sqlite3_column_bytes(priv_stmt, index);
    if (!text || size <= 0) return {};
    return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size));
}

bool tSQLiteStatement::ColumnBool(int index) const { return ColumnInt64(index) != 0; }

tDateTime tSQLiteStatement::ColumnDateTime(int index) const {
    CheckColumn(index);
    switch (sqlite3_column_type(priv_stmt, index)) {
        case SQLITE_NULL:
            return tDateTime{};
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            // A number is a day count with the time of day as the fraction.
            return tDateTime::FromDays(sqlite3_column_double(priv_stmt, index));
        default:
            break;
    }
    const unsigned char* raw = sqlite3_column_text(priv_stmt, index);
    int size = sqlite3_column_bytes(priv_stmt, index);
    if (!raw || size <= 0) return tDateTime{};
    std::string_view text(reinterpret_cast<const char*>(raw), static_cast<size_t>(size));
    tDateTime out;
    if (!DBTextToDateTime(text, out)) {
        throw tDatabaseError(fmt::format("Invalid date-time \"{}\" in column {} (tSQLiteStatement.ColumnDateTime)",
                                         text, ColumnName(index)));
    }
    return out;
}

}  // namespace morwick
