#include "storage/inteldb_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <unistd.h>

#include "storage/schema.h"

namespace morwick {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kThreeGiB = 3LL * 1024 * 1024 * 1024;
const tDateTime kFileDate = tDateTime::Encode(2023, 5, 6, 7, 8, 9, 10);
// The first frame falls on midnight: its column holds the date alone.
const tFrameTimeStamp kFirst{tDateTime::Encode(2023, 5, 1), 123'456'789};
const tFrameTimeStamp kLast{tDateTime::Encode(2023, 5, 1, 11, 30, 0), 500'000'000};

class IntelDBManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("morwick_inteldb_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        dbPath = (dir / "Trace.pcap.db").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    std::unique_ptr<tIntelDBManager> Open(const std::string& trace = "/Captures/Site A/Trace.PCAP",
                                          tFrameTimeStamp first = kFirst, bool disk = true) {
        return std::make_unique<tIntelDBManager>(dbPath, trace, kThreeGiB, kFileDate, first, kLast, disk, false);
    }
    // A separate read-only look at the file (only while no manager holds it exclusively).
    static int64_t Count(tSQLiteConnection& db, const std::string& sql) {
        tSQLiteStatement q(db, sql);
        EXPECT_TRUE(q.Step()) << sql;
        return q.ColumnInt64(0);
    }
    int64_t CountInFile(const std::string& sql) {
        tSQLiteConnection db(dbPath, tSQLiteOpenMode::ReadOnly);
        return Count(db, sql);
    }
    void MakeDatabaseWithVersion(const char* version) {
        tSQLiteConnection db(dbPath, tSQLiteOpenMode::ReadWriteCreate);
        ApplyIntelDBSchema(db);
        db.Exec("CREATE TABLE Marker (a INTEGER)");
        db.Exec("DELETE FROM meta");
        if (version) {
            tSQLiteStatement ins(db, "INSERT INTO meta (name,value) VALUES ('version',:v)");
            ins.BindText(":v", version);
            ins.Execute();
        }
    }

    fs::path dir;
    std::string dbPath;
};

tGeneralTraceStats SampleStats() {
    tGeneralTraceStats s;
    s.FirstFrameTime = kFirst;
    s.FirstFrameOffset = 24;
    s.LastFrameTime = kLast;
    s.LastFrameOffset = 5'000'000'000ULL;
    s.MinFrameSize = 60;
    s.MaxFrameSize = 1514;
    s.AverageFrameSize = 700;
    s.FrameCount = 123'456;
    s.TotalFrameBytes = 6'000'000'000LL;
    s.TotalWireBytes = 7'000'000'000LL;
    s.isSliced = true;
    s.SliceSizeConstant = false;
    s.SliceSize = 96;
    s.TimeOrderCorrect = false;
    s.OutOfTimeFrames = 3;
    return s;
}

TEST_F(IntelDBManagerTest, MissingFileIsCreatedWithSchemaAndFileRow) {
    {
        auto m = Open();
        EXPECT_TRUE(m->DatabaseDirty());
        EXPECT_EQ(m->CurrentFileIndex(), 1);
        EXPECT_EQ(m->CurrentTraceFilename(), "/Captures/Site A/Trace.PCAP");
        EXPECT_FALSE(m->FullFileScanned());
        EXPECT_FALSE(m->PCAPNGStructureScanned());
        EXPECT_FALSE(m->ConversationsScanned());
        EXPECT_EQ(m->FileProcessingStatus(), psNewFile);
    }
    ASSERT_TRUE(fs::exists(dbPath));
    EXPECT_EQ(CountInFile("SELECT count(*) FROM meta WHERE name='version' AND value='1.9'"), 1);
    EXPECT_EQ(CountInFile("SELECT count(*) FROM meta"), 1);

    tSQLiteConnection db(dbPath, tSQLiteOpenMode::ReadOnly);
    tSQLiteStatement row(db, "SELECT * FROM filelist");
    ASSERT_TRUE(row.Step());
    EXPECT_EQ(row.ColumnInt64("id"), 1);
    EXPECT_EQ(row.ColumnText("filename"), "trace.pcap");
    EXPECT_EQ(row.ColumnText("filepath"), "/captures/site a/");
    EXPECT_EQ(row.ColumnInt64("filesize"), kThreeGiB);
    EXPECT_EQ(row.ColumnText("filedate"), "2023-05-06 07:08:09.010");
    EXPECT_EQ(row.ColumnText("firstframetimestamp"), "2023-05-01");  // midnight: the date alone
    EXPECT_EQ(row.ColumnDateTime("firstframetimestamp"), kFirst.datetime);
    EXPECT_EQ(row.ColumnInt64("firstframenanoseconds"), 123'456'789);
    EXPECT_EQ(row.ColumnText("lastframetimestamp"), "2023-05-01 11:30:00.000");
    EXPECT_EQ(row.ColumnInt64("lastframenanoseconds"), 500'000'000);
    EXPECT_EQ(row.ColumnInt64("processingstatus"), 1);
    for (const char* zero : {"fullfilescanned", "pcapngstructscanned", "conversationsscanned", "ZeroPayloadCount",
                             "LayerComplexity", "ContainsSecretsBlock", "tasksprocessed"}) {
        EXPECT_EQ(row.ColumnInt64(zero), 0) << zero;
        EXPECT_FALSE(row.IsNull(zero)) << zero;
    }
    EXPECT_FALSE(row.Step());
}

TEST_F(IntelDBManagerTest, EmptyAndWrongVersionFilesAreCreatedAnew) {
    struct Case {
        const char* what;
        std::function<void()> prepare;
    };
    const Case cases[] = {
        {"zero-byte file", [&] { std::ofstream(dbPath).close(); }},
        {"older version", [&] { MakeDatabaseWithVersion("1.8"); }},
        {"later version", [&] { MakeDatabaseWithVersion("2.0"); }},
        {"version with a trailing blank", [&] { MakeDatabaseWithVersion("1.9 "); }},
        {"no version row", [&] { MakeDatabaseWithVersion(nullptr); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(dbPath);
        c.prepare();
        ASSERT_TRUE(fs::exists(dbPath));
        {
            auto m = Open();
            EXPECT_TRUE(m->DatabaseDirty());
            EXPECT_EQ(m->CurrentFileIndex(), 1);
        }
        EXPECT_EQ(CountInFile("SELECT count(*) FROM meta WHERE name='version' AND value='1.9'"), 1);
        EXPECT_EQ(CountInFile("SELECT count(*) FROM meta"), 1);
        EXPECT_EQ(CountInFile("SELECT count(*) FROM sqlite_master WHERE name='Marker'"), 0);
    }
}

TEST_F(IntelDBManagerTest, FileThatIsNoDatabaseIsLeftInPlace) {
    const std::string garbage(4096, 'x');
    std::ofstream(dbPath, std::ios::binary) << garbage;
    EXPECT_THROW(Open(), tDatabaseError);
    ASSERT_TRUE(fs::exists(dbPath));
    EXPECT_EQ(fs::file_size(dbPath), garbage.size());
}

TEST_F(IntelDBManagerTest, VersionCheckReportsTheStoredVersion) {
    auto m = Open();
    EXPECT_FALSE(m->DBVersionIsWrong());
    EXPECT_EQ(m->DBVersion(), "1.9");
    m->Database().Exec("UPDATE meta SET value='1.7' WHERE name='version'");
    std::string is, should;
    tIntelDBManager* sender = nullptr;
    m->SetOnDBVersionWrong([&](tIntelDBManager& s, const std::string& i, const std::string& sh) {
        sender = &s;
        is = i;
        should = sh;
    });
    EXPECT_TRUE(m->DBVersionIsWrong());
    EXPECT_EQ(sender, m.get());
    EXPECT_EQ(is, "1.7");
    EXPECT_EQ(should, "1.9");
}

TEST_F(IntelDBManagerTest, MatchingFileRowIsReusedWithItsFlagsAndStatistics) {
    int32_t index;
    {
        auto m = Open();
        index = m->CurrentFileIndex();
        m->SetGeneralStatistics(SampleStats());
    }
    // The same capture seen from another folder still matches.
    auto m = Open("/Elsewhere/trace.pcap");
    EXPECT_FALSE(m->DatabaseDirty());
    EXPECT_EQ(m->CurrentFileIndex(), index);
    EXPECT_TRUE(m->FullFileScanned());
    EXPECT_FALSE(m->PCAPNGStructureScanned());
    EXPECT_EQ(m->GeneralStatistics(), SampleStats());
    EXPECT_EQ(Count(m->Database(), "SELECT count(*) FROM filelist"), 1);
}

TEST_F(IntelDBManagerTest, NonMatchingFileRowIsReplacedWithAHigherId) {
    int32_t oldIndex;
    {
        auto m = Open();
        oldIndex = m->CurrentFileIndex();
        m->SetGeneralStatistics(SampleStats());
        tPCAPNGStatistic stats;
        stats.BlockChain = std::make_shared<tBlockChainEntry>();
        stats.BlockChain->BlockTypeID = pngbtSectionHeader;
        m->writePCAPngStatisticsToDB(stats);
        m->WriteFrameComments({{1, "kept"}});
    }
    auto m = Open("/Captures/Site A/Trace.PCAP", tFrameTimeStamp{kFirst.datetime.AddSeconds(1), 0});
    EXPECT_GT(m->CurrentFileIndex(), oldIndex);
    EXPECT_FALSE(m->FullFileScanned());
    EXPECT_FALSE(m->PCAPNGStructureScanned());
    auto& db = m->Database();
    const std::string old = std::to_string(oldIndex);
    EXPECT_EQ(Count(db, "SELECT count(*) FROM filelist"), 1);
    EXPECT_EQ(Count(db, "SELECT count(*) FROM filelist WHERE id=" + old), 0);
    EXPECT_EQ(Count(db, "SELECT count(*) FROM filestatistics WHERE fileid=" + old), 0);
    EXPECT_EQ(Count(db, "SELECT count(*) FROM blockchainentries WHERE fileid=" + old), 0);
    EXPECT_EQ(Count(db, "SELECT count(*) FROM pcapngfilestatistics WHERE fileid=" + old), 0);
    EXPECT_EQ(Count(db, "SELECT count(*) FROM framecomments WHERE fileid=" + old), 1);
    // The new row has no statistics yet: everything reads as zero.
    tGeneralTraceStats zero = m->GeneralStatistics();
    EXPECT_EQ(zero.FrameCount, 0);
    EXPECT_EQ(zero.MinFrameSize, 0);
    EXPECT_FALSE(zero.SliceSizeConstant);
    EXPECT_FALSE(zero.TimeOrderCorrect);
}

TEST_F(IntelDBManagerTest, SameNameFromAnotherFolderGetsItsOwnRow) {
    auto m = Open("/one/trace.pcap");
    const int32_t first = m->CurrentFileIndex();
    m->SetGeneralStatistics(SampleStats());
    m->AssignTraceFile("/two/trace.pcap", 10, kFileDate, tFrameTimeStamp{kFirst.datetime.AddDays(1), 0}, kLast);
    const int32_t second = m->CurrentFileIndex();
    EXPECT_GT(second, first);
    EXPECT_EQ(Count(m->Database(), "SELECT count(*) FROM filelist"), 2);
    EXPECT_EQ(Count(m->Database(), "SELECT count(*) FROM filestatistics WHERE fileid=" + std::to_string(first)), 1);
    // Each file finds its own row again.
    m->AssignTraceFile("/one/trace.pcap", kThreeGiB, kFileDate, kFirst, kLast);
    EXPECT_EQ(m->CurrentFileIndex(), first);
    EXPECT_EQ(m->GeneralStatistics().FrameCount, SampleStats().FrameCount);
    m->AssignTraceFile("/two/trace.pcap", 10, kFileDate, tFrameTimeStamp{kFirst.datetime.AddDays(1), 0}, kLast);
    EXPECT_EQ(m->CurrentFileIndex(), second);
}

TEST_F(IntelDBManagerTest, StatisticsWriteUpdatesInPlace) {
    auto m = Open();
    tGeneralTraceStats s = SampleStats();
    m->SetGeneralStatistics(s);
    s.FrameCount = 7;
    s.LastFrameOffset = 9'000'000'000ULL;
    m->SetGeneralStatistics(s);
    auto& db = m->Database();
    EXPECT_EQ(Count(db, "SELECT count(*) FROM filestatistics"), 1);
    EXPECT_EQ(Count(db, "SELECT framecount FROM filestatistics"), 7);
    EXPECT_EQ(Count(db, "SELECT lastframeoffset FROM filestatistics"), 9'000'000'000LL);
    EXPECT_EQ(Count(db, "SELECT fullfilescanned FROM filelist"), 1);
    tSQLiteStatement text(db, "SELECT firstframetime, lastframetime FROM filestatistics");
    ASSERT_TRUE(text.Step());
    EXPECT_EQ(text.ColumnText(0), "2023-05-01");
    EXPECT_EQ(text.ColumnText(1), "2023-05-01 11:30:00.000");
    text.Reset();
    EXPECT_EQ(m->GeneralStatistics(), s);
}

tPCAPNGStatistic SampleChain() {
    tPCAPNGStatistic stats;
    stats.SectionCount = 1;
    stats.FilePacketCount = 42;
    stats.FileInterfaceCount = 2;
    stats.StatisticBlocKCount = 1;
    stats.StatPacketCount = 3'000'000'000ULL;  // above the 32-bit range
    stats.StatFilterAcceptCount = 5;
    stats.StatOsDropCount = 6;
    stats.StatUsrDeliveredCount = 7;
    stats.StatDropCount = 8;
    stats.ErrorCode = 0;
    stats.ErrorText = "Success";

    auto shb = std::make_shared<tBlockChainEntry>();
    shb->BlockTypeID = pngbtSectionHeader;
    shb->SectionStartOffset = 0;
    shb->SectionEndOffset = 5'000'000'000LL;
    shb->BlockLength = 28;
    shb->Count = 1;
    shb->SHBMajorVersion = 1;
    shb->SHBMinorVersion = 0;
    shb->SHBByteOrderMagic = 0x1A2B3C4D;
    shb->SHBSectionLength = std::numeric_limits<uint64_t>::max();
    shb->SHBComment = "comment";
    shb->SHBHardware = "hw";
    shb->SHBOS = "Linux";
    shb->SHBUserAppl = "dumpcap";
    shb->SHBGUID = tGUID{0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    stats.BlockChain = shb;

    tBlockChainEntry* last = shb.get();
    auto add = [&](int32_t type) {
        auto e = std::make_shared<tBlockChainEntry>();
        e->BlockTypeID = type;
        e->BlockTypeName = std::string(BlockTypeIDToName(type));
        e->FirstBlockStartOffset = 100 * type;
        e->LastBlockEndOffset = 100 * type + 50;
        e->BlockLength = 32;
        e->Count = 3;
        last = LinkBlockChainEntry(*last, e);
        return last;
    };
    tBlockChainEntry* idb = add(pngbtInterfaceDescription);
    idb->IDBIndex = 0;
    idb->IDBLinkType = 1;
    idb->IDBSnapLen = 0xFFFFFFFFu;
    idb->IDBName = "eth0";
    idb->IDBDescription = "uplink";
    idb->IDBTSResolution = 9;
    idb->IDBFilter.FilterType = cftLibPCAP;
    idb->IDBFilter.FilterString = "tcp port 80";
    add(0x999);  // unknown type: takes a number, writes no row
    add(6);      // enhanced packets
    tBlockChainEntry* nrb = add(pngbtNameResolution);
    nrb->NRBIPv4RecordCount = 1;
    nrb->NRBIPv6RecordCount = 1;
    tIPv4Address v4;
    v4.setValueFromString("192.168.0.1", 32);
    nrb->NRBIPv4AddressList.AddIPandFQDN(v4, "host.example");
    tIPv6Address v6;
    v6.setValueFromString("2001:db8::1", 64);
    nrb->NRBIPv6AddressList.AddIPandFQDN(v6, "host6.example");
    tBlockChainEntry* isb = add(pngbtInterfaceStatistics);
    isb->ISBInterfaceID = 1;
    isb->ISBTimestamp = tDateTime::Encode(2023, 5, 1, 12, 0, 0, 500);
    isb->ISBStartTime = tDateTime::Encode(2023, 5, 1);
    isb->ISBEndTime = tDateTime::Encode(2023, 5, 1, 12, 0, 0);
    isb->ISBReceived = 4'000'000'000u;
    isb->ISBDropped = 2;
    tBlockChainEntry* dsb = add(pngbtDecryptionSecrets);
    dsb->DSBType = pngstTLS;
    dsb->DSBLength = 120;
    return stats;
}

TEST_F(IntelDBManagerTest, PCAPngStructureRoundTrip) {
    auto m = Open();
    EXPECT_FALSE(m->PCAPngStatisticsRecordsExistInDB());
    m->writePCAPngStatisticsToDB(SampleChain());
    EXPECT_TRUE(m->PCAPngStatisticsRecordsExistInDB());
    auto& db = m->Database();

    // Stored rows: sequence numbers follow the chain, the unknown type leaves a gap.
    {
        tSQLiteStatement rows(db, "SELECT blocksequence, blocktypeid FROM blockchainentries ORDER BY blocksequence");
        std::vector<std::pair<int64_t, int64_t>> got;
        while (rows.Step()) got.emplace_back(rows.ColumnInt64(0), rows.ColumnInt64(1));
        const std::vector<std::pair<int64_t, int64_t>> expected = {
            {1, 0x0A0D0D0A}, {2, 1}, {4, 6}, {5, 4}, {6, 5}, {7, 10}};
        EXPECT_EQ(got, expected);
    }
    tSQLiteStatement shbRow(db, "SELECT * FROM blockchainentries WHERE blocksequence=1");
    ASSERT_TRUE(shbRow.Step());
    EXPECT_EQ(shbRow.ColumnText("shb_sectionlength"), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(shbRow.ColumnText("shb_guid"), "{01234567-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(shbRow.ColumnInt64("shb_byteordermagic"), 0x1A2B3C4D);
    EXPECT_EQ(shbRow.ColumnInt64("sectionendoffset"), 5'000'000'000LL);
    shbRow.Reset();
    EXPECT_EQ(Count(db, "SELECT idb_snaplen FROM blockchainentries WHERE blocktypeid=1"), 0xFFFFFFFFLL);
    EXPECT_EQ(Count(db, "SELECT dsb_type FROM blockchainentries WHERE blocktypeid=10"), 0x544C534B);
    EXPECT_EQ(Count(db, "SELECT statpacketcount FROM pcapngfilestatistics"), 3'000'000'000LL);
    EXPECT_EQ(Count(db, "SELECT count(*) FROM nrbentries WHERE ipversion=4 AND address='192.168.0.1' "
                        "AND fqdn='host.example'"), 1);
    EXPECT_EQ(Count(db, "SELECT count(*) FROM nrbentries WHERE ipversion=6 AND address='2001:db8::1'"), 1);
    EXPECT_EQ(Count(db, "SELECT pcapngstructscanned FROM filelist"), 1);
    EXPECT_EQ(Count(db, "SELECT ContainsSecretsBlock FROM filelist"), 1);
    {
        tSQLiteStatement isbRow(db, "SELECT isb_starttime, isb_timestamp FROM blockchainentries WHERE blocktypeid=5");
        ASSERT_TRUE(isbRow.Step());
        EXPECT_EQ(isbRow.ColumnText(0), "2023-05-01");
        EXPECT_EQ(isbRow.ColumnText(1), "2023-05-01 12:00:00.500");
    }

    const tPCAPNGStatistic back = m->readPCAPngStatisticsFromDB();
    EXPECT_EQ(back.SectionCount, 1);
    EXPECT_EQ(back.FilePacketCount, 42);
    EXPECT_EQ(back.FileInterfaceCount, 2);
    EXPECT_EQ(back.StatisticBlocKCount, 1);
    EXPECT_EQ(back.StatPacketCount, 3'000'000'000ULL);
    EXPECT_EQ(back.StatFilterAcceptCount, 5u);
    EXPECT_EQ(back.StatOsDropCount, 6u);
    EXPECT_EQ(back.StatUsrDeliveredCount, 7u);
    EXPECT_EQ(back.ErrorText, "Success");
    ASSERT_EQ(back.BlockChainLength(), 6);

    std::vector<const tBlockChainEntry*> chain;
    for (const tBlockChainEntry* e = back.BlockChain.get(); e; e = e->NextBlockType.get()) chain.push_back(e);
    EXPECT_EQ(chain[0]->PreviousBlockType, nullptr);
    for (size_t i = 1; i < chain.size(); ++i) EXPECT_EQ(chain[i]->PreviousBlockType, chain[i - 1]);

    const tBlockChainEntry& shb = *chain[0];
    EXPECT_EQ(shb.BlockTypeName, "Section Header");
    EXPECT_EQ(shb.SHBSectionLength, std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(shb.SHBByteOrderMagic, 0x1A2B3C4Du);
    EXPECT_EQ(shb.SHBOS, "Linux");
    EXPECT_EQ(shb.SHBUserAppl, "dumpcap");
    EXPECT_EQ(shb.SHBGUID, SampleChain().BlockChain->SHBGUID);

    const tBlockChainEntry& idb = *chain[1];
    EXPECT_EQ(idb.BlockTypeName, "Interface Description");
    EXPECT_EQ(idb.IDBSnapLen, 0xFFFFFFFFu);
    EXPECT_EQ(idb.IDBName, "eth0");
    EXPECT_EQ(idb.IDBDescription, "uplink");
    EXPECT_EQ(idb.IDBTSResolution, 9);
    EXPECT_EQ(idb.IDBFilter.FilterType, cftLibPCAP);
    EXPECT_EQ(idb.IDBFilter.FilterString, "tcp port 80");
    EXPECT_EQ(idb.FirstBlockStartOffset, 100);
    EXPECT_EQ(idb.Count, 3);

    EXPECT_EQ(chain[2]->BlockTypeName, "Enhanced Packet");

    const tBlockChainEntry& nrb = *chain[3];
    EXPECT_EQ(nrb.NRBIPv4RecordCount, 1);
    ASSERT_EQ(nrb.NRBIPv4AddressList.count(), 1);
    EXPECT_EQ(nrb.NRBIPv4AddressList.GetEntry(1).IPv4Address.ValueAsString(), "192.168.0.1");
    EXPECT_EQ(nrb.NRBIPv4AddressList.GetEntry(1).FQDN, "host.example");
    ASSERT_EQ(nrb.NRBIPv6AddressList.count(), 1);
    EXPECT_EQ(nrb.NRBIPv6AddressList.GetEntry(1).IPv6Address.ValueAsString(), "2001:db8::1");

    const tBlockChainEntry& isb = *chain[4];
    EXPECT_EQ(isb.ISBInterfaceID, 1u);
    EXPECT_EQ(isb.ISBStartTime, tDateTime::Encode(2023, 5, 1));
    EXPECT_EQ(isb.ISBTimestamp, tDateTime::Encode(2023, 5, 1, 12, 0, 0, 500));
    EXPECT_EQ(isb.ISBReceived, 4'000'000'000u);
    EXPECT_EQ(isb.ISBDropped, 2u);

    const tBlockChainEntry& dsb = *chain[5];
    EXPECT_EQ(dsb.DSBType, pngstTLS);
    EXPECT_EQ(dsb.DSBLength, 120u);
}

TEST_F(IntelDBManagerTest, SecondPCAPngWriteAddsARowAndReadingTakesTheFirst) {
    auto m = Open();
    tPCAPNGStatistic a;
    a.SectionCount = 1;
    tPCAPNGStatistic b;
    b.SectionCount = 2;
    m->writePCAPngStatisticsToDB(a);
    m->writePCAPngStatisticsToDB(b);
    EXPECT_EQ(Count(m->Database(), "SELECT count(*) FROM pcapngfilestatistics"), 2);
    EXPECT_EQ(Count(m->Database(), "SELECT ContainsSecretsBlock FROM filelist"), 0);
    EXPECT_EQ(m->readPCAPngStatisticsFromDB().SectionCount, 1);
    EXPECT_EQ(m->readPCAPngStatisticsFromDB().BlockChain, nullptr);
}

TEST_F(IntelDBManagerTest, NoPCAPngRowsReadAsEmpty) {
    auto m = Open();
    tPCAPNGStatistic s = m->readPCAPngStatisticsFromDB();
    EXPECT_EQ(s.SectionCount, 0);
    EXPECT_EQ(s.StatPacketCount, 0u);
    EXPECT_EQ(s.ErrorText, "");
    EXPECT_EQ(s.BlockChain, nullptr);
}

TEST_F(IntelDBManagerTest, FrameCommentsRoundTrip) {
    auto m = Open();
    const tPCAPNGPacketCommentList comments = {{3, "first"}, {17, "zweite \xC3\xBC"}, {17, ""}};
    m->WriteFrameComments(comments);
    EXPECT_EQ(m->ReadFrameComments(), comments);
    EXPECT_EQ(Count(m->Database(), "SELECT count(*) FROM framecomments WHERE fileid=1"), 3);
}

TEST_F(IntelDBManagerTest, ProcessingStatusIsStoredAsItsCode) {
    auto m = Open();
    struct Case {
        tProcessingStatus status;
        int64_t code;
    };
    const Case cases[] = {
        {psNewFile, 1},     {psScanningBasics, 2}, {psScanningPCAPngStruct, 3}, {psScanningConversations, 4},
        {psTaskPending, 10}, {psTaskProcessing, 11}, {psTaskComplete, 12},       {psTaskAborted, 13},
        {psTaskFailed, 14},
    };
    for (const auto& c : cases) {
        m->setFileProcessingStatus(c.status);
        EXPECT_EQ(Count(m->Database(), "SELECT processingstatus FROM filelist"), c.code);
        EXPECT_EQ(m->FileProcessingStatus(), c.status);
    }
    for (auto status : {psScanAborted, psReadingDatabase, psNoTaskAssigned, psTaskSkipped}) {
        EXPECT_THROW(m->setFileProcessingStatus(status), tAssertionError);
    }
    m->Database().Exec("UPDATE filelist SET processingstatus=99");
    EXPECT_EQ(m->FileProcessingStatus(), psNewFile);
}

TEST_F(IntelDBManagerTest, RenameKeepsTheGivenCase) {
    auto m = Open();
    m->rename("New Name.PCAPNG");
    tSQLiteStatement q(m->Database(), "SELECT filename FROM filelist");
    ASSERT_TRUE(q.Step());
    EXPECT_EQ(q.ColumnText(0), "New Name.PCAPNG");
}

TEST_F(IntelDBManagerTest, MemoryModeWritesTheFileThroughBackup) {
    {
        auto m = Open("/Captures/Site A/Trace.PCAP", kFirst, false);
        EXPECT_FALSE(m->UsesDiskDatabase());
        EXPECT_TRUE(m->DatabaseDirty());
        m->SetGeneralStatistics(SampleStats());
        EXPECT_FALSE(fs::exists(dbPath));  // nothing on disk before the disconnect
    }
    ASSERT_TRUE(fs::exists(dbPath));
    EXPECT_EQ(CountInFile("SELECT count(*) FROM filelist"), 1);
    EXPECT_EQ(CountInFile("SELECT framecount FROM filestatistics"), SampleStats().FrameCount);

    // An existing file is loaded into memory, and the file changes only when written.
    auto m = Open("/Captures/Site A/Trace.PCAP", kFirst, false);
    EXPECT_FALSE(m->DatabaseDirty());
    EXPECT_TRUE(m->FullFileScanned());
    EXPECT_EQ(m->GeneralStatistics(), SampleStats());
    m->WriteFrameComments({{1, "in memory"}});
    EXPECT_TRUE(m->DatabaseDirty());
    EXPECT_EQ(CountInFile("SELECT count(*) FROM framecomments"), 0);
    m->WriteMemDBtoDisk();
    EXPECT_FALSE(m->DatabaseDirty());
    EXPECT_EQ(CountInFile("SELECT count(*) FROM framecomments"), 1);
    EXPECT_FALSE(fs::exists(dbPath + ".writing"));
}

TEST_F(IntelDBManagerTest, ConstructorWithoutTraceFileOnlyConnects) {
    {
        tIntelDBManager m(dbPath);
        EXPECT_EQ(m.CurrentFileIndex(), 0);
        EXPECT_TRUE(m.DatabaseDirty());
        EXPECT_FALSE(m.PCAPngStatisticsRecordsExistInDB());
    }
    EXPECT_EQ(CountInFile("SELECT count(*) FROM filelist"), 0);
    EXPECT_EQ(CountInFile("SELECT count(*) FROM meta"), 1);
}

TEST(SectionLengthText, WritesAtLeastEightUpperCaseDigitsAndReadsBack) {
    struct Case {
        uint64_t value;
        const char* text;
    };
    const Case cases[] = {
        {0, "00000000"},
        {0xABCD, "0000ABCD"},
        {0x123456789ULL, "123456789"},
        {std::numeric_limits<uint64_t>::max(), "FFFFFFFFFFFFFFFF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SectionLengthToText(c.value), c.text);
        EXPECT_EQ(TextToSectionLength(c.text), c.value);
    }
    EXPECT_EQ(TextToSectionLength(""), 0u);
    EXPECT_EQ(TextToSectionLength("ffff"), 0xFFFFu);
    for (const char* bad : {"12G4", "-1", "0x10", " 12", "1FFFFFFFFFFFFFFFF"}) {
        try {
            TextToSectionLength(bad);
            ADD_FAILURE() << bad << " was accepted";
        } catch (const tDatabaseError& e) {
            EXPECT_STREQ(e.what(), "Invalid uint64 value") << bad;
        }
    }
}

TEST(PCAPngStructures, NameResolutionListsCountFromOne) {
    tSimpleIPv4NameResolutionList v4;
    tIPv4Address a;
    a.setValueFromString("10.0.0.1", 32);
    v4.AddIPandFQDN(a, "ten");
    EXPECT_EQ(v4.count(), 1);
    EXPECT_EQ(v4.GetEntry(1).FQDN, "ten");
    for (int bad : {0, 2, -1}) {
        EXPECT_EQ(v4.GetEntry(bad).FQDN, "") << bad;
        EXPECT_EQ(v4.GetEntry(bad).IPv4Address.ValueAsLong, 0u) << bad;
    }
    tSimpleIPv6NameResolutionList v6;
    EXPECT_EQ(v6.GetEntry(0).FQDN, "");
    EXPECT_TRUE(v6.GetEntry(0).IPv6Address.isUndefined());

    tNGInterfaceResolutionList res;
    EXPECT_EQ(res.count, -1);
    EXPECT_EQ(res.Get(0), 6);
    res.Add(9);
    EXPECT_EQ(res.count, 0);
    EXPECT_EQ(res.Get(0), 9);
    EXPECT_EQ(res.Get(1000), 6);
}

TEST(PCAPngStructures, BlockTypeNames) {
    struct Case {
        int32_t id;
        const char* name;
    };
    const Case cases[] = {{1, "Interface Description"}, {2, "Packet (Deprecated)"}, {6, "Enhanced Packet"},
                          {10, "Descryption Secrets"},  {0x204, "SysDig Event"},      {0x0A0D0D0A, "Section Header"},
                          {9, "Unknown"},                {0x207, "Unknown"}};
    for (const auto& c : cases) EXPECT_EQ(BlockTypeIDToName(c.id), c.name) << c.id;
}

TEST(PCAPngStructures, ChainLinksFreesAndSurvivesLongRuns) {
    tPCAPNGStatistic stats;
    stats.BlockChain = std::make_shared<tBlockChainEntry>();
    tBlockChainEntry* last = stats.BlockChain.get();
    for (int i = 0; i < 200'000; ++i) last = LinkBlockChainEntry(*last, std::make_shared<tBlockChainEntry>());
    EXPECT_EQ(stats.BlockChainLength(), 200'001);

    // Copies share the chain.
    tPCAPNGStatistic copy = stats;
    EXPECT_EQ(copy.BlockChain.get(), stats.BlockChain.get());

    tBlockChainEntry* second = stats.BlockChain->NextBlockType.get();
    FreeSubChain(*second);
    EXPECT_EQ(stats.BlockChainLength(), 2);
    EXPECT_EQ(second->PreviousBlockType, stats.BlockChain.get());
    EXPECT_EQ(second->NextBlockType, nullptr);

    // A copied entry stands alone.
    tBlockChainEntry lone = *stats.BlockChain;
    EXPECT_EQ(lone.NextBlockType, nullptr);
    EXPECT_EQ(lone.PreviousBlockType, nullptr);

    // Releasing a long chain does not recurse through 200,000 destructors.
    last = second;
    for (int i = 0; i < 200'000; ++i) last = LinkBlockChainEntry(*last, std::make_shared<tBlockChainEntry>());
    EXPECT_EQ(copy.BlockChainLength(), 200'002);
    stats.BlockChain.reset();
    copy.BlockChain.reset();
}

}  // namespace
}  // namespace morwick
