#include "storage/filestatus.h"

#include <gtest/gtest.h>

#include "storage/schema.h"

namespace morwick {
namespace {

constexpr int64_t kThreeGiB = 3LL * 1024 * 1024 * 1024;

const tDateTime kFileDate = tDateTime::Encode(2023, 5, 6, 7, 8, 9, 10);
const tFrameTimeStamp kFirst{tDateTime::Encode(2023, 5, 1, 10, 0, 0), 123'456'789};
const tFrameTimeStamp kLast{tDateTime::Encode(2023, 5, 1, 11, 30, 0), 500'000'000};

class FileStatusTest : public ::testing::Test {
protected:
    void SetUp() override {
        db.OpenMemory();
        ApplyIntelDBSchema(db);
    }
    // Stores a row the way the manager does: name and path in lower case.
    int64_t AddRow(const char* name, const char* path, int64_t size, tFrameTimeStamp first, tFrameTimeStamp last) {
        tSQLiteStatement ins(db,
                             "INSERT INTO filelist (filename,filepath,filesize,filedate,firstframetimestamp,"
                             "firstframenanoseconds,lastframetimestamp,lastframenanoseconds) VALUES "
                             "(:n,:p,:s,:d,:ft,:fn,:lt,:ln)");
        ins.BindText(":n", name);
        ins.BindText(":p", path);
        ins.BindInt64(":s", size);
        ins.BindDateTime(":d", kFileDate);
        ins.BindDateTime(":ft", first.datetime);
        ins.BindInt32(":fn", first.nanoseconds);
        ins.BindDateTime(":lt", last.datetime);
        ins.BindInt32(":ln", last.nanoseconds);
        ins.Execute();
        return db.LastInsertRowId();
    }
    tSQLiteConnection db;
};

TEST_F(FileStatusTest, EmptyDatabaseFindsNothing) {
    auto s = getIntelDBFileStatus(db, "/data/caps/trace.pcap", kThreeGiB, kFileDate, kFirst, kLast);
    EXPECT_EQ(s.DBIndex, 0);
    EXPECT_EQ(s.Attributes, IntelDBFileStatusFlags({dbfsNotFound}));
    EXPECT_FALSE(IntelDBFileStatusMatches(s));
    EXPECT_EQ(IntelDBFileStatusToString(s), "DBIndex 0, Attributes (not found)");
}

TEST_F(FileStatusTest, ComparesTheStoredRowWithTheGivenFile) {
    AddRow("other.pcap", "/data/caps/", 10, kFirst, kLast);
    const int64_t id = AddRow("trace.pcap", "/data/caps/", kThreeGiB, kFirst, kLast);
    const int64_t zeroId = AddRow("zero.pcap", "/data/caps/", kThreeGiB, kFirst, tFrameTimeStamp{});

    struct Case {
        const char* what;
        const char* file;
        int64_t size;
        tDateTime date;
        tFrameTimeStamp first, last;
        int64_t expectedId;
        uint8_t expected;
        bool matches;
    };
    auto first = [](int64_t addMs, int32_t ns) { return tFrameTimeStamp{kFirst.datetime.AddMs(addMs), ns}; };
    const Case cases[] = {
        {"same file", "/data/caps/trace.pcap", kThreeGiB, kFileDate, kFirst, kLast, id,
         IntelDBFileStatusFlags({dbfsFilenameMatch}), true},
        {"name and folder in another case", "/Data/CAPS/Trace.PCAP", kThreeGiB, kFileDate, kFirst, kLast, id,
         IntelDBFileStatusFlags({dbfsFilenameMatch}), true},
        {"moved to another folder", "/elsewhere/trace.pcap", kThreeGiB, kFileDate, kFirst, kLast, id,
         IntelDBFileStatusFlags({dbfsWrongPath}), true},
        {"moved and touched", "/elsewhere/trace.pcap", kThreeGiB, kFileDate.AddSeconds(1), kFirst, kLast, id,
         IntelDBFileStatusFlags({dbfsWrongPath, dbfsWrongFileDate}), true},
        {"size differs above 32 bits", "/data/caps/trace.pcap", kThreeGiB + (1LL << 32), kFileDate, kFirst, kLast,
         id, IntelDBFileStatusFlags({dbfsFilenameMatch, dbfsWrongSize}), true},
        {"first frame differs below the millisecond", "/data/caps/trace.pcap", kThreeGiB, kFileDate,
         first(0, 123'000'001), kLast, id, IntelDBFileStatusFlags({dbfsFilenameMatch}), true},
        {"first frame differs by a millisecond", "/data/caps/trace.pcap", kThreeGiB, kFileDate,
         first(0, 124'000'000), kLast, id, IntelDBFileStatusFlags({dbfsFilenameMatch, dbfsWrongFirstFrameDate}),
         false},
        {"first frame differs by a second", "/data/caps/trace.pcap", kThreeGiB, kFileDate, first(1000, 123'456'789),
         kLast, id, IntelDBFileStatusFlags({dbfsFilenameMatch, dbfsWrongFirstFrameDate}), false},
        {"last frame differs", "/data/caps/trace.pcap", kThreeGiB, kFileDate, kFirst,
         tFrameTimeStamp{kLast.datetime.AddSeconds(5), 0}, id,
         IntelDBFileStatusFlags({dbfsFilenameMatch, dbfsWrongLastFrameDate}), false},
        {"no last frame given", "/data/caps/trace.pcap", kThreeGiB, kFileDate, kFirst, tFrameTimeStamp{}, id,
         IntelDBFileStatusFlags({dbfsFilenameMatch}), true},
        {"stored last unknown, same size", "/data/caps/zero.pcap", kThreeGiB, kFileDate, kFirst, kLast, zeroId,
         IntelDBFileStatusFlags({dbfsFilenameMatch, dbfsUnknownLastFrameDate, dbfsWrongLastFrameDate}), true},
        {"stored last unknown, other size", "/data/caps/zero.pcap", kThreeGiB - 1, kFileDate, kFirst, kLast, zeroId,
         IntelDBFileStatusFlags({dbfsFilenameMatch, dbfsUnknownLastFrameDate, dbfsWrongLastFrameDate, dbfsWrongSize}),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto s = getIntelDBFileStatus(db, c.file, c.size, c.date, c.first, c.last);
        EXPECT_EQ(s.DBIndex, c.expectedId);
        EXPECT_EQ(s.Attributes, c.expected) << IntelDBFileStatusToString(s);
        EXPECT_EQ(IntelDBFileStatusMatches(s), c.matches);
    }
}

TEST_F(FileStatusTest, SameNameInSeveralFoldersPrefersTheFilesOwnFolder) {
    const int64_t a = AddRow("trace.pcap", "/one/", 100, kFirst, kLast);
    const int64_t b = AddRow("trace.pcap", "/two/", 200, kFirst, kLast);
    auto s = getIntelDBFileStatus(db, "/two/trace.pcap", 200, kFileDate, kFirst, kLast);
    EXPECT_EQ(s.DBIndex, b);
    EXPECT_EQ(s.Attributes, IntelDBFileStatusFlags({dbfsFilenameMatch}));
    // No row in the file's folder: the first row answers.
    s = getIntelDBFileStatus(db, "/three/trace.pcap", 100, kFileDate, kFirst, kLast);
    EXPECT_EQ(s.DBIndex, a);
    EXPECT_EQ(s.Attributes, IntelDBFileStatusFlags({dbfsWrongPath}));
}

TEST_F(FileStatusTest, NullColumnsReadAsZero) {
    db.Exec("INSERT INTO filelist (filename,filepath) VALUES ('bare.pcap','/x/')");
    auto s = getIntelDBFileStatus(db, "/x/bare.pcap", 0, tDateTime{}, tFrameTimeStamp{}, tFrameTimeStamp{});
    EXPECT_EQ(s.Attributes, IntelDBFileStatusFlags({dbfsFilenameMatch, dbfsUnknownLastFrameDate}));
    EXPECT_TRUE(IntelDBFileStatusMatches(s));
}

TEST_F(FileStatusTest, MissingTableIsAnError) {
    tSQLiteConnection bare;
    bare.OpenMemory();
    EXPECT_THROW(getIntelDBFileStatus(bare, "/x/a.pcap", 0, tDateTime{}, kFirst, kLast), tDatabaseError);
}

TEST(FileStatusText, NamesTheSetFlagsInBitOrder) {
    struct Case {
        tIntelDBFileStatus status;
        const char* text;
    };
    const Case cases[] = {
        {{5, 0}, "DBIndex 5, Attributes ()"},
        {{7, IntelDBFileStatusFlags({dbfsFilenameMatch, dbfsWrongSize})},
         "DBIndex 7, Attributes (filename match, wrong size)"},
        {{2, 0xFF},
         "DBIndex 2, Attributes (not found, filename match, wrong path, wrong file date, wrong size, "
         "wrong first frame date, wrong last frame date, unknown last frame date)"},
    };
    for (const auto& c : cases) EXPECT_EQ(IntelDBFileStatusToString(c.status), c.text);
}

TEST(FileStatusMatch, FollowsTheMatchRule) {
    struct Case {
        int32_t index;
        std::initializer_list<tIntelDBFileStatusFlag> flags;
        bool matches;
    };
    const Case cases[] = {
        {0, {dbfsFilenameMatch}, false},
        {1, {dbfsFilenameMatch}, true},
        {1, {dbfsWrongPath, dbfsWrongFileDate}, true},
        {1, {dbfsFilenameMatch, dbfsWrongFirstFrameDate}, false},
        {1, {dbfsFilenameMatch, dbfsWrongLastFrameDate}, false},
        {1, {dbfsFilenameMatch, dbfsWrongSize}, true},
        {1, {dbfsFilenameMatch, dbfsUnknownLastFrameDate, dbfsWrongLastFrameDate}, true},
        {1, {dbfsFilenameMatch, dbfsUnknownLastFrameDate, dbfsWrongSize}, false},
    };
    for (const auto& c : cases) {
        tIntelDBFileStatus s{c.index, IntelDBFileStatusFlags(c.flags)};
        EXPECT_EQ(IntelDBFileStatusMatches(s), c.matches) << IntelDBFileStatusToString(s);
    }
}

TEST(FileStatusPaths, SplitsNameAndFolder) {
    EXPECT_EQ(FileNamePart("/a/b/c.pcap"), "c.pcap");
    EXPECT_EQ(DirectoryPart("/a/b/c.pcap"), "/a/b/");
    EXPECT_EQ(FileNamePart("c.pcap"), "c.pcap");
    EXPECT_EQ(DirectoryPart("c.pcap"), "");
    EXPECT_EQ(LowerCaseASCII("AbC/\xC3\x84"), "abc/\xC3\x84");
}

}  // namespace
}  // namespace morwick
