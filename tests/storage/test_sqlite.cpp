#include "storage/sqlite.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>

namespace morwick {
namespace {

namespace fs = std::filesystem;

class SQLiteTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("morwick_sqlite_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const char* name) const { return (dir / name).string(); }

    static std::string QueryText(tSQLiteConnection& db, const char* sql) {
        tSQLiteStatement q(db, sql);
        EXPECT_TRUE(q.Step()) << sql;
        return q.ColumnText(0);
    }
    static int64_t QueryInt(tSQLiteConnection& db, const char* sql) {
        tSQLiteStatement q(db, sql);
        EXPECT_TRUE(q.Step()) << sql;
        return q.ColumnInt64(0);
    }

    fs::path dir;
};

TEST_F(SQLiteTest, BindsEveryKindByNameAndReadsItBack) {
    tSQLiteConnection db;
    db.OpenMemory();
    db.Exec("CREATE TABLE t (id INTEGER PRIMARY KEY AUTOINCREMENT, i64 BIGINT, i32 INTEGER,\r\n"
            " d REAL, s VARCHAR, n VARCHAR, b BOOL, dt DATETIME, midnight DATETIME);\r\n"
            "CREATE INDEX ti ON t (i64);");
    tSQLiteStatement ins(db, "INSERT INTO t (i64,i32,d,s,n,b,dt,midnight) "
                             "VALUES (:i64,:i32,:d,:s,:n,:b,:dt,:midnight);");
    const tDateTime dt = tDateTime::Encode(2021, 3, 4, 5, 6, 7, 89);
    const tDateTime midnight = tDateTime::Encode(2020, 2, 29);
    ins.BindInt64(":i64", 3'221'225'472LL * 1000);
    ins.BindInt32(":i32", -5);
    ins.BindDouble(":d", 2.5);
    ins.BindText("s", "h\xC3\xA9llo");  // the colon may be left out
    ins.BindNull(":n");
    ins.BindBool(":b", true);
    ins.BindDateTime(":dt", dt);
    ins.BindDateTime(":midnight", midnight);
    ins.Execute();
    EXPECT_EQ(db.LastInsertRowId(), 1);
    EXPECT_EQ(db.Changes(), 1);

    tSQLiteStatement sel(db, "SELECT * FROM t");
    ASSERT_TRUE(sel.Step());
    EXPECT_EQ(sel.ColumnInt64("I64"), 3'221'225'472LL * 1000);  // names ignore case
    EXPECT_EQ(sel.ColumnInt32("i32"), -5);
    EXPECT_DOUBLE_EQ(sel.ColumnDouble("d"), 2.5);
    EXPECT_EQ(sel.ColumnText("s"), "h\xC3\xA9llo");
    EXPECT_TRUE(sel.IsNull("n"));
    EXPECT_EQ(sel.ColumnText("n"), "");
    EXPECT_EQ(sel.ColumnInt64("n"), 0);
    EXPECT_EQ(sel.ColumnDateTime("n"), tDateTime{});
    EXPECT_TRUE(sel.ColumnBool("b"));
    EXPECT_EQ(sel.ColumnInt64("b"), 1);
    EXPECT_EQ(sel.ColumnText("dt"), "2021-03-04 05:06:07.089");
    EXPECT_EQ(sel.ColumnDateTime("dt"), dt);
    EXPECT_EQ(sel.ColumnText("midnight"), "2020-02-29");
    EXPECT_EQ(sel.ColumnDateTime("midnight"), midnight);
    EXPECT_EQ(sel.ColumnInt64(0), 1);
    EXPECT_EQ(sel.ColumnName(1), "i64");
    EXPECT_EQ(sel.FindColumn("nothere"), -1);
    EXPECT_FALSE(sel.Step());
}

TEST_F(SQLiteTest, ReusesAPreparedStatementRowByRow) {
    tSQLiteConnection db;
    db.OpenMemory();
    db.Exec("CREATE TABLE t (a INTEGER, b VARCHAR)");
    {
        tSQLiteTransaction tr(db);
        tSQLiteStatement ins(db, "INSERT INTO t (a,b) VALUES (:a,:b)");
        for (int i = 0; i < 100; ++i) {
            ins.BindInt32(":a", i);
            if (i % 2) ins.BindText(":b", std::to_string(i)); else ins.BindNull(":b");
            ins.Execute();
        }
        tr.Commit();
    }
    EXPECT_EQ(QueryInt(db, "SELECT count(*) FROM t"), 100);
    EXPECT_EQ(QueryInt(db, "SELECT sum(a) FROM t"), 4950);
    EXPECT_EQ(QueryInt(db, "SELECT count(*) FROM t WHERE b IS NULL"), 50);
}

TEST_F(SQLiteTest, TransactionWithoutCommitRollsBack) {
    tSQLiteConnection db;
    db.OpenMemory();
    db.Exec("CREATE TABLE t (a INTEGER NOT NULL)");
    try {
        tSQLiteTransaction tr(db);
        tSQLiteStatement ins(db, "INSERT INTO t (a) VALUES (:a)");
        ins.BindInt32(":a", 1);
        ins.Execute();
        ins.BindNull(":a");
        ins.Execute();  // violates NOT NULL
        tr.Commit();
        FAIL() << "the NOT NULL violation was not reported";
    } catch (const tDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("NOT NULL constraint failed"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(QueryInt(db, "SELECT count(*) FROM t"), 0);
}

TEST_F(SQLiteTest, ErrorsCarrySQLitesMessage) {
    tSQLiteConnection db;
    db.OpenMemory();
    db.Exec("CREATE TABLE t (a INTEGER)");
    struct Case {
        const char* what;
        std::function<void()> run;
        const char* expected;
    };
    const Case cases[] = {
        {"syntax", [&] { db.Exec("CREAT TABLE x (a)"); }, "near \"CREAT\": syntax error"},
        {"missing table", [&] { tSQLiteStatement s(db, "SELECT * FROM nothere"); }, "no such table: nothere"},
        {"second statement of a script fails",
         [&] { db.Exec("INSERT INTO t VALUES (1); INSERT INTO nothere VALUES (2);"); },
         "no such table: nothere"},
        {"unknown parameter",
         [&] {
             tSQLiteStatement s(db, "INSERT INTO t (a) VALUES (:a)");
             s.BindInt32(":b", 1);
         },
         "Unknown parameter :b"},
        {"unknown column",
         [&] {
             tSQLiteStatement s(db, "SELECT a FROM t");
             s.Step();
             s.ColumnInt64("b");
         },
         "Unknown column b"},
        {"two statements in one prepare",
         [&] { tSQLiteStatement s(db, "SELECT 1; SELECT 2"); }, "More than one statement"},
        {"bad date-time text",
         [&] {
             tSQLiteStatement s(db, "SELECT 'yesterday' AS d");
             s.Step();
             s.ColumnDateTime("d");
         },
         "Invalid date-time \"yesterday\""},
        {"missing file read-only",
         [&] { tSQLiteConnection c(Path("nothere.db"), tSQLiteOpenMode::ReadOnly); },
         "unable to open database file"},
    };
    for (const auto& c : cases) {
        try {
            c.run();
            ADD_FAILURE() << c.what << ": no error";
        } catch (const tDatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos)
                << c.what << ": " << e.what();
            EXPECT_STREQ(e.KindName(), "EDatabaseError");
        }
    }
    // The first statement of the failing script ran before the error stopped it.
    EXPECT_EQ(QueryInt(db, "SELECT count(*) FROM t"), 1);
}

TEST_F(SQLiteTest, AppliesTheConnectionSettings) {
    struct Case {
        tSQLiteLockingMode locking;
        const char* lockingMode;
        int64_t synchronous;
    };
    for (const auto& c : {Case{tSQLiteLockingMode::Exclusive, "exclusive", 0},
                          Case{tSQLiteLockingMode::Shared, "normal", 1}}) {
        const std::string path = Path(c.lockingMode);
        tSQLiteConnection db(path, tSQLiteOpenMode::ReadWriteCreate, c.locking);
        EXPECT_EQ(QueryText(db, "PRAGMA locking_mode"), c.lockingMode);
        EXPECT_EQ(QueryInt(db, "PRAGMA synchronous"), c.synchronous);
        EXPECT_EQ(QueryInt(db, "PRAGMA cache_size"), 10000);
        EXPECT_EQ(QueryText(db, "PRAGMA journal_mode"), "delete");
        EXPECT_EQ(QueryInt(db, "PRAGMA foreign_keys"), 1);
        EXPECT_EQ(QueryText(db, "PRAGMA encoding"), "UTF-8");
        db.Exec("CREATE TABLE t (a INTEGER)");
        db.Close();
        EXPECT_FALSE(db.IsOpen());
        EXPECT_TRUE(fs::exists(path));
    }
}

TEST_F(SQLiteTest, ReadOnlyConnectionRefusesWrites) {
    const std::string path = Path("ro.db");
    {
        tSQLiteConnection db(path, tSQLiteOpenMode::ReadWriteCreate);
        db.Exec("CREATE TABLE t (a INTEGER); INSERT INTO t VALUES (7);");
    }
    tSQLiteConnection ro(path, tSQLiteOpenMode::ReadOnly);
    EXPECT_EQ(QueryInt(ro, "SELECT a FROM t"), 7);
    try {
        ro.Exec("INSERT INTO t VALUES (8)");
        FAIL() << "write on a read-only connection succeeded";
    } catch (const tDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("readonly"), std::string::npos) << e.what();
    }
}

TEST_F(SQLiteTest, BackupCopiesAMemoryDatabaseIntoAFile) {
    tSQLiteConnection mem;
    mem.OpenMemory();
    mem.Exec("CREATE TABLE t (a INTEGER, s VARCHAR); INSERT INTO t VALUES (1,'one'); "
             "INSERT INTO t VALUES (2,'two');");
    const std::string path = Path("copy.db");
    {
        tSQLiteConnection file(path, tSQLiteOpenMode::ReadWriteCreate);
        file.RestoreFrom(mem);
    }
    tSQLiteConnection check(path, tSQLiteOpenMode::ReadOnly);
    EXPECT_EQ(QueryInt(check, "SELECT count(*) FROM t"), 2);
    EXPECT_EQ(QueryText(check, "SELECT s FROM t WHERE a=2"), "two");

    // And back: a file into a fresh memory database.
    tSQLiteConnection mem2;
    mem2.OpenMemory();
    mem2.RestoreFrom(check);
    EXPECT_EQ(QueryText(mem2, "SELECT s FROM t WHERE a=1"), "one");
}

TEST_F(SQLiteTest, MovedConnectionAndStatementStayUsable) {
    tSQLiteConnection a;
    a.OpenMemory();
    a.Exec("CREATE TABLE t (a INTEGER)");
    tSQLiteConnection b(std::move(a));
    EXPECT_FALSE(a.IsOpen());
    ASSERT_TRUE(b.IsOpen());
    tSQLiteStatement s1(b, "INSERT INTO t VALUES (:a)");
    tSQLiteStatement s2(std::move(s1));
    EXPECT_FALSE(s1.IsPrepared());
    s2.BindInt32(":a", 3);
    s2.Execute();
    EXPECT_EQ(QueryInt(b, "SELECT a FROM t"), 3);
    EXPECT_THROW(a.Exec("SELECT 1"), tDatabaseError);
}

}  // namespace
}  // namespace morwick
