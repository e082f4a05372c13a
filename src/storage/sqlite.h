#pragma once
// A small RAII layer over the SQLite 3 C API. Every failing call raises a tDatabaseError
// carrying SQLite's own message, so no write is lost without the caller hearing of it.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/datetime.h"
#include "base/errors.h"

struct sqlite3;
struct sqlite3_stmt;

namespace morwick {

// Errors reported by SQLite (or found in values read back from a database).
class tDatabaseError : public tMorwickError {
public:
    using tMorwickError::tMorwickError;
    const char* KindName() const noexcept override { return "EDatabaseError"; }
};

enum class tSQLiteOpenMode {
    ReadWriteCreate,  // open read/write, create the file when it is missing
    ReadOnly,
};

// Locking and synchronous settings of a meta database connection. Exclusive locking with
// synchronous writes off is the default: a scan runs many small transactions and must
// not wait for the disk after each one.
enum class tSQLiteLockingMode {
    Exclusive,  // locking_mode Exclusive, synchronous Off
    Shared,     // locking_mode Normal, synchronous Normal
};

class tSQLiteConnection {
public:
    static constexpr int DefaultBusyTimeoutMs = 10'000;

    tSQLiteConnection() = default;
    // Opens at once; see Open.
    tSQLiteConnection(const std::string& path, tSQLiteOpenMode mode,
                      tSQLiteLockingMode locking = tSQLiteLockingMode::Exclusive);
    ~tSQLiteConnection();
    tSQLiteConnection(const tSQLiteConnection&) = delete;
    tSQLiteConnection& operator=(const tSQLiteConnection&) = delete;
    tSQLiteConnection(tSQLiteConnection&& other) noexcept;
    tSQLiteConnection& operator=(tSQLiteConnection&& other) noexcept;

    // Opens a database file and applies the meta database settings: UTF-8 encoding for a
    // file the open creates, the pragmas cache_size, locking_mode, synchronous,
    // journal_mode and foreign_keys, and the busy time-out. Closes an open connection first.
    void Open(const std::string& path, tSQLiteOpenMode mode,
              tSQLiteLockingMode locking = tSQLiteLockingMode::Exclusive);
    // Opens a private in-memory database with the same settings.
    void OpenMemory();
    // Closes the connection; statements prepared on it must be gone by then.
    void Close();
    bool IsOpen() const { return priv_db != nullptr; }
    const std::string& FileName() const { return priv_path; }

    // Runs a script of one or more statements, statement after statement; the first
    // failing statement stops the script.
    void Exec(std::string_view sql);

    void BeginTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const;

    int64_t LastInsertRowId() const;
    // Rows changed by the last INSERT, UPDATE or DELETE.
    int64_t Changes() const;
    void SetBusyTimeout(int milliseconds);

    // Copies the whole database "main" of source over this connection's "main" database
    // with SQLite's online backup, all pages in one step.
    void RestoreFrom(tSQLiteConnection& source);

    sqlite3* Handle() const { return priv_db; }

private:
    void ApplySettings(bool createdNow, tSQLiteLockingMode locking);
    [[noreturn]] void Fail(int code, std::string_view context) const;

    sqlite3* priv_db = nullptr;
    std::string priv_path;
};

// Begins a transaction at construction and rolls it back at destruction unless
// Commit was called; an error between the two leaves the database unchanged. Inside a
// transaction the caller already holds, it joins that one and neither commits nor rolls
// back.
class tSQLiteTransaction {
public:
    explicit tSQLiteTransaction(tSQLiteConnection& connection);
    ~tSQLiteTransaction();
    tSQLiteTransaction(const tSQLiteTransaction&) = delete;
    tSQLiteTransaction& operator=(const tSQLiteTransaction&) = delete;
    void Commit();

private:
    tSQLiteConnection& priv_connection;
    bool priv_owner = false;
    bool priv_done = false;
};

// One prepared statement. Parameters are bound by name as the statement text writes
// them (":fileid"; the colon may be left out). Column getters read by index or by column
// name (compared without regard to case); NULL reads as 0, empty text or a zero
// date-time.
class tSQLiteStatement {
public:
    tSQLiteStatement() = default;
    tSQLiteStatement(tSQLiteConnection& connection, std::string_view sql);
    ~tSQLiteStatement();
    tSQLiteStatement(const tSQLiteStatement&) = delete;
    tSQLiteStatement& operator=(const tSQLiteStatement&) = delete;
    tSQLiteStatement(tSQLiteStatement&& other) noexcept;
    tSQLiteStatement& operator=(tSQLiteStatement&& other) noexcept;

    // Prepares a single statement; text after the first statement is an error.
    void Prepare(tSQLiteConnection& connection, std::string_view sql);
    bool IsPrepared() const { return priv_stmt != nullptr; }
    void Finalize();

    void BindInt64(std::string_view name, int64_t value);
    void BindInt32(std::string_view name, int32_t value);
    void BindDouble(std::string_view name, double value);
    void BindText(std::string_view name, std::string_view value);
    void BindNull(std::string_view name);
    void BindBool(std::string_view name, bool value);  // 0 or 1
    // The database text of the date-time ("YYYY-MM-DD hh:mm:ss.zzz" or the date alone).
    void BindDateTime(std::string_view name, tDateTime value);
    void ClearBindings();

    // Advances to the next row: true when a row is available, false when done.
    bool Step();
    // Runs the statement to its end (rows are passed over) and resets it for the next
    // use; the bindings stay.
    void Execute();
    void Reset();

    int ColumnCount() const;
    // Index of a result column by name, or -1.
    int FindColumn(std::string_view name) const;
    // Index of a result column by name; a missing column is an error.
    int ColumnIndex(std::string_view name) const;
    std::string ColumnName(int index) const;
    bool IsNull(int index) const;

    int64_t ColumnInt64(int index) const;
    int32_t ColumnInt32(int index) const;  // the low 32 bits of the stored integer
    double ColumnDouble(int index) const;
    std::string ColumnText(int index) const;
    bool ColumnBool(int index) const;
    tDateTime ColumnDateTime(int index) const;

    int64_t ColumnInt64(std::string_view name) const { return ColumnInt64(ColumnIndex(name)); }
    int32_t ColumnInt32(std::string_view name) const { return ColumnInt32(ColumnIndex(name)); }
    double ColumnDouble(std::string_view name) const { return ColumnDouble(ColumnIndex(name)); }
    std::string ColumnText(std::string_view name) const { return ColumnText(ColumnIndex(name)); }
    bool ColumnBool(std::string_view name) const { return ColumnBool(ColumnIndex(name)); }
    tDateTime ColumnDateTime(std::string_view name) const { return ColumnDateTime(ColumnIndex(name)); }
    bool IsNull(std::string_view name) const { return IsNull(ColumnIndex(name)); }

    // The statement text as prepared.
    std::string_view Sql() const;

private:
    int ParameterIndex(std::string_view name) const;
    void CheckBind(int code, std::string_view name) const;
    void CheckColumn(int index) const;
    [[noreturn]] void Fail(int code, std::string_view context) const;

    sqlite3_stmt* priv_stmt = nullptr;
    sqlite3* priv_db = nullptr;
};

}  // namespace morwick
