#include "storage/schema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace morwick {
namespace {

// The meta database layout the analysis program reads: table name, the number of columns
// after "id", and every such column as "name TYPE[ NOT NULL][ = default]".
struct tExpectedTable {
    const char* name;
    int columnCount;
    const char* columns;
};

const tExpectedTable kExpectedTables[] = {
    {"TCPConversations", 36,
         "fileid INTEGER = 0; IPVersion INTEGER = 4; SourceIP VARCHAR; SourcePort INTEGER; "
         "DestinationIP VARCHAR; DestinationPort INTEGER; ClientIP VARCHAR; "
         "FramesSrcToDst INTEGER = 0; FramesDstToSrc INTEGER = 0; BytesSrcToDst BIGINT = 0; "
         "BytesDstToSrc BIGINT = 0; PayloadSrcToDst BIGINT = 0; PayloadDstToSrc BIGINT = 0; "
         "FirstFrame BIGINT = 0; LastFrame BIGINT = 0; FirstFrameOffset BIGINT = 0; "
         "LastFrameOffset BIGINT = 0; FirstFrameTime DATETIME; "
         "FirstFrameTimeNano INTEGER = 0; LastFrameTime DATETIME; "
         "LastFrameTimeNano INTEGER = 0; SessionStatus INTEGER = 0; SynFlagSeen BOOL = 0; "
         "FinFlagSeen BOOL = 0; RstFlagSeen BOOL = 0; TCPFlags INTEGER = 0; "
         "InitialRTTns BIGINT = 0; Quality INTEGER; FlagIPv4 BOOL = 0; FlagIPv6 BOOL = 0; "
         "FlagICMP BOOL = 0; Attributes INTEGER = 0; InterfaceIDs VARCHAR; "
         "TunnelFlags INTEGER = 0; ClientRandom VARCHAR; MiscInfo VARCHAR"},
    {"UDPConversations", 26,
         "fileid INTEGER = 0; IPVersion INTEGER = 4; SourceIP VARCHAR; SourcePort INTEGER; "
         "DestinationIP VARCHAR; DestinationPort INTEGER; FramesSrcToDst INTEGER = 0; "
         "FramesDstToSrc INTEGER = 0; BytesSrcToDst INTEGER = 0; BytesDstToSrc INTEGER = 0; "
         "FirstFrame BIGINT = 0; LastFrame BIGINT = 0; FirstFrameOffset BIGINT = 0; "
         "LastFrameOffset BIGINT = 0; FirstFrameTime DATETIME; "
         "FirstFrameTimeNano INTEGER = 0; LastFrameTime DATETIME; "
         "LastFrameTimeNano INTEGER = 0; FlagIPv4 BOOL = 0; FlagIPv6 BOOL = 0; "
         "FlagICMP BOOL = 0; Attributes INTEGER = 0; InterfaceIDs VARCHAR; "
         "TunnelFlags INTEGER = 0; ClientRandom VARCHAR; MiscInfo VARCHAR"},
    {"IPv4Conversations", 23,
         "fileid INTEGER = 0; SourceIP VARCHAR; DestinationIP VARCHAR; "
         "FramesSrcToDst INTEGER = 0; FramesDstToSrc INTEGER = 0; BytesSrcToDst INTEGER = 0; "
         "BytesDstToSrc INTEGER = 0; FirstFrame BIGINT = 0; LastFrame BIGINT = 0; "
         "FirstFrameOffset BIGINT = 0; LastFrameOffset BIGINT = 0; FirstFrameTime DATETIME; "
         "FirstFrameTimeNano INTEGER = 0; LastFrameTime DATETIME; "
         "LastFrameTimeNano INTEGER = 0; FlagARP BOOL = 0; FlagIPv4 BOOL = 0; "
         "FlagDNS BOOL = 0; FlagICMP BOOL = 0; FlagNRB BOOL = 0; Attributes INTEGER = 0; "
         "InterfaceIDs VARCHAR; MiscInfo VARCHAR"},
    {"IPv4Endpoints", 23,
         "fileid INTEGER = 0; IPAddress VARCHAR; FramesReceived INTEGER = 0; "
         "FramesSent INTEGER = 0; BytesReceived INTEGER = 0; BytesSent INTEGER = 0; "
         "FirstFrame BIGINT = 0; LastFrame BIGINT = 0; FirstFrameOffset BIGINT = 0; "
         "LastFrameOffset BIGINT = 0; FirstFrameTime DATETIME; "
         "FirstFrameTimeNano INTEGER = 0; LastFrameTime DATETIME; "
         "LastFrameTimeNano INTEGER = 0; TTL INTEGER = 0; FlagARP BOOL = 0; "
         "FlagIPv4 BOOL = 0; FlagDNS BOOL = 0; FlagICMP BOOL = 0; FlagNRB BOOL = 0; "
         "Attributes INTEGER = 0; InterfaceIDs VARCHAR; MiscInfo VARCHAR"},
    {"IPv6Conversations", 22,
         "fileid INTEGER = 0; SourceIP VARCHAR; DestinationIP VARCHAR; "
         "FramesSrcToDst INTEGER = 0; FramesDstToSrc INTEGER = 0; BytesSrcToDst INTEGER = 0; "
         "BytesDstToSrc INTEGER = 0; FirstFrame BIGINT = 0; LastFrame BIGINT = 0; "
         "FirstFrameOffset BIGINT = 0; LastFrameOffset BIGINT = 0; FirstFrameTime DATETIME; "
         "FirstFrameTimeNano INTEGER = 0; LastFrameTime DATETIME; "
         "LastFrameTimeNano INTEGER = 0; FlagIPv6 BOOL = 0; FlagDNS BOOL = 0; "
         "FlagICMP BOOL = 0; FlagNRB BOOL = 0; Attributes INTEGER = 0; InterfaceIDs VARCHAR; "
         "MiscInfo VARCHAR"},
    {"IPv6Endpoints", 22,
         "fileid INTEGER = 0; IPAddress VARCHAR; FramesReceived INTEGER = 0; "
         "FramesSent INTEGER = 0; BytesReceived INTEGER = 0; BytesSent INTEGER = 0; "
         "FirstFrame BIGINT = 0; LastFrame BIGINT = 0; FirstFrameOffset BIGINT = 0; "
         "LastFrameOffset BIGINT = 0; FirstFrameTime DATETIME; "
         "FirstFrameTimeNano INTEGER = 0; LastFrameTime DATETIME; "
         "LastFrameTimeNano INTEGER = 0; HopLimit INTEGER = 0; FlagIPv6 BOOL = 0; "
         "FlagDNS BOOL = 0; FlagICMP BOOL = 0; FlagNRB BOOL = 0; Attributes INTEGER = 0; "
         "InterfaceIDs VARCHAR; MiscInfo VARCHAR"},
    {"MACConversations", 20,
         "fileid INTEGER = 0; SourceMAC VARCHAR; DestinationMAC VARCHAR; "
         "FramesSrcToDst INTEGER = 0; FramesDstToSrc INTEGER = 0; BytesSrcToDst INTEGER = 0; "
         "BytesDstToSrc INTEGER = 0; FirstFrame BIGINT = 0; LastFrame BIGINT = 0; "
         "FirstFrameOffset BIGINT = 0; LastFrameOffset BIGINT = 0; FirstFrameTime DATETIME; "
         "FirstFrameTimeNano INTEGER = 0; LastFrameTime DATETIME; "
         "LastFrameTimeNano INTEGER = 0; FlagEthernet BOOL = 0; FlagARP BOOL = 0; "
         "Attributes INTEGER = 0; InterfaceIDs VARCHAR; MiscInfo VARCHAR"},
    {"MACEndpoints", 19,
         "fileid INTEGER = 0; MACAddress VARCHAR; FramesReceived INTEGER = 0; "
         "FramesSent INTEGER = 0; BytesReceived INTEGER = 0; BytesSent INTEGER = 0; "
         "FirstFrame BIGINT = 0; LastFrame BIGINT = 0; FirstFrameOffset BIGINT = 0; "
         "LastFrameOffset BIGINT = 0; FirstFrameTime DATETIME; "
         "FirstFrameTimeNano INTEGER = 0; LastFrameTime DATETIME; "
         "LastFrameTimeNano INTEGER = 0; FlagEthernet BOOL = 0; FlagARP BOOL = 0; "
         "Attributes INTEGER = 0; InterfaceIDs VARCHAR; MiscInfo VARCHAR"},
    {"MACtoIPLinks", 5,
         "fileid INTEGER NOT NULL; MACIndex INTEGER NOT NULL; IPIndex INTEGER NOT NULL; "
         "Anchor VARCHAR; Framecount INTEGER = 0"},
    {"NameResolution", 25,
         "fileid INTEGER = 0; ipversion INTEGER = 4; fqdn CHAR; answertype INTEGER = 0; "
         "answer CHAR; ReplyCode INTEGER = 0; FrameCount INTEGER = 0; FirstFrame BIGINT = 0; "
         "LastFrame BIGINT = 0; FirstFrameOffset BIGINT = 0; LastFrameOffset BIGINT = 0; "
         "FirstFrameTime DATETIME; FirstFrameTimeNano INTEGER = 0; LastFrameTime DATETIME; "
         "LastFrameTimeNano INTEGER = 0; QueryTypes BIGINT = 0; FlagIsAnswer BOOL = 0; "
         "FlagQueryOnly BOOL = 0; FlagNRB BOOL = 0; FlagDNS BOOL = 0; FlagNBNS BOOL = 0; "
         "FlagDHCP BOOL = 0; FlagExternalResearch BOOL = 0; InterfaceIDs VARCHAR; "
         "MiscInfo VARCHAR"},
    {"BlockChainEntries", 35,
         "fileid INTEGER = 0; blocksequence INTEGER = 0; blocktypeid INTEGER = 0; "
         "sectionstartoffset BIGINT = 0; sectionendoffset BIGINT = 0; "
         "firstblockstartoffset BIGINT = 0; lastblockendoffset BIGINT = 0; "
         "blocklength INTEGER = 0; count BIGINT = 0; shb_majorversion INTEGER = 0; "
         "shb_minorversion INTEGER = 0; shb_byteordermagic INTEGER = 0; "
         "shb_sectionlength CHAR; shb_comment CHAR; shb_hardware CHAR; shb_os CHAR; "
         "shb_userappl CHAR; shb_guid CHAR; idb_index INTEGER = 0; idb_linktype INTEGER = 0; "
         "idb_snaplen INTEGER = 0; idb_name CHAR; idb_description CHAR; "
         "idb_tsresolution INTEGER = 0; idb_filter CHAR; isb_interfaceid INTEGER = 0; "
         "isb_timestamp DATETIME; isb_starttime DATETIME; isb_endtime DATETIME; "
         "isb_received INTEGER = 0; isb_dropped INTEGER = 0; nrb_ipv4recordcount INTEGER = 0; "
         "nrb_ipv6recordcount INTEGER = 0; dsb_type INTEGER = 0; dsb_length INTEGER = 0"},
    {"Filelist", 16,
         "filename CHAR NOT NULL; filepath CHAR NOT NULL; filesize BIGINT; filedate DATETIME; "
         "fullfilescanned BOOL = 0; pcapngstructscanned BOOL NOT NULL = 0; "
         "conversationsscanned BOOL NOT NULL = 0; processingstatus INTEGER = 1; "
         "tasksprocessed INTEGER = 0; firstframetimestamp DATETIME; "
         "firstframenanoseconds INTEGER = 0; lastframetimestamp DATETIME; "
         "lastframenanoseconds INTEGER = 0; ZeroPayloadCount INTEGER = 0; "
         "LayerComplexity INTEGER = 0; ContainsSecretsBlock BOOL = 0"},
    {"FileStatistics", 18,
         "fileid INTEGER; firstframetime DATETIME; firstframetimenanosecs INTEGER = 0; "
         "firstframeoffset BIGINT = 0; lastframetime DATETIME; "
         "lastframetimenanosecs INTEGER = 0; lastframeoffset BIGINT = 0; "
         "minframesize INTEGER = 0; maxframesize INTEGER = 0; averageframesize INTEGER = 0; "
         "framecount INTEGER = 0; totalframebytes INTEGER = 0; totalwirebytes INTEGER = 0; "
         "isFrameSliced BOOL = 0; SliceIsConstant BOOL = 1; slicesize INTEGER = 0; "
         "TimeOrderIsCorrect BOOL = 1; OutOfTimeFrames INTEGER = 0"},
    {"FrameComments", 3,
         "fileid INTEGER; frameid INTEGER; comment VARCHAR"},
    {"Meta", 2,
         "name CHAR; value CHAR"},
    {"NRBEntries", 4,
         "fileid INTEGER; ipversion INTEGER = 4; fqdn CHAR; address CHAR"},
    {"pcapngFileStatistics", 11,
         "fileid INTEGER = 0; sectioncount INTEGER = 0; filepacketcount INTEGER = 0; "
         "fileinterfacecount INTEGER = 0; statisticblockcount INTEGER = 0; "
         "statpacketcount INTEGER = 0; statfilteracceptcount INTEGER = 0; "
         "statosdropcount INTEGER = 0; statusdeliveredcount INTEGER = 0; "
         "errorcode INTEGER = 0; errortext CHAR"},
    {"Messages", 8,
         "fileid INTEGER NOT NULL; componentid INTEGER NOT NULL; severity INTEGER = 0; "
         "messageid INTEGER = 0; messagetext VARCHAR; parameterlist VARCHAR; "
         "frameindex INTEGER = 0; codelocation VARCHAR"},
    {"PortMapping", 6,
         "MapType INTEGER NOT NULL; SourceIP VARCHAR; DestinationIP VARCHAR; "
         "SourcePort INTEGER; DestinationPort INTEGER; ProtocolIndex INTEGER NOT NULL"},
    {"AddressBook", 9,
         "AddressType INTEGER NOT NULL; Address1 VARCHAR NOT NULL; Address2 VARCHAR; "
         "Address3 VARCHAR; Name VARCHAR NOT NULL; Description VARCHAR; Anchor VARCHAR; "
         "Origin INTEGER = 0; Flags INTEGER = 0"},
};

struct tExpectedIndex {
    const char* name;
    const char* table;  // as the script names it
    std::vector<std::string> columns;
};

const tExpectedIndex kExpectedIndexes[] = {
    {"IntelDBReadFileStatisticsByFileIndex", "filestatistics", {"fileid"}},
    {"IntelDBReadBlockChainEntriesByFileIndex", "blockchainentries", {"fileid"}},
    {"IntelDBReadBlockChainEntriesByFileIndexAndSequence", "blockchainentries", {"fileid", "blocksequence"}},
    {"IntelDBReadFrameCommentsByFileIndex", "framecomments", {"fileid"}},
    {"IntelDBReadPCAPNGStatisticsByFileIndex", "pcapngfilestatistics", {"fileid"}},
    {"IntelDBReadNRBEntriesByFileIndex", "nrbentries", {"fileid", "ipversion"}},
    {"ConvStoreReadMACEndpoints", "MACEndpoints", {"fileid", "FirstFrame"}},
    {"ConvStoreReadMACConversations", "MACConversations", {"fileid", "FirstFrame"}},
    {"ConvStoreReadIPv4Endpoints", "IPv4Endpoints", {"fileid", "FirstFrame"}},
    {"ConvStoreReadIPv4Conversations", "IPv4Conversations", {"fileid", "FirstFrame"}},
    {"ConvStoreReadIPv6Endpoints", "IPv6Endpoints", {"fileid", "FirstFrame"}},
    {"ConvStoreReadIPv6Conversations", "IPv6Conversations", {"fileid", "FirstFrame"}},
    {"ConvStoreReadTCPConversations", "TCPConversations", {"fileid", "FirstFrame"}},
    {"ConvStoreReadUDPConversations", "UDPConversations", {"fileid", "FirstFrame"}},
    {"ConvStoreReadNameResolution", "NameResolution", {"fileid", "FirstFrame"}},
};

struct tColumn {
    std::string name, type;
    bool notNull = false;
    std::string dflt;  // empty: no default
    bool operator==(const tColumn&) const = default;
};

std::ostream& operator<<(std::ostream& os, const tColumn& c) {
    return os << c.name << " " << c.type << (c.notNull ? " NOT NULL" : "")
              << (c.dflt.empty() ? "" : " = " + c.dflt);
}

std::vector<tColumn> ParseExpected(const char* text) {
    std::vector<tColumn> out;
    std::stringstream all(text);
    std::string item;
    while (std::getline(all, item, ';')) {
        std::stringstream words(item);
        tColumn c;
        words >> c.name >> c.type;
        std::string w;
        while (words >> w) {
            if (w == "NOT") {
                words >> w;
                c.notNull = true;
            } else if (w == "=") {
                words >> c.dflt;
            }
        }
        out.push_back(c);
    }
    return out;
}

class SchemaTest : public ::testing::Test {
protected:
    void SetUp() override {
        db.OpenMemory();
        ApplyIntelDBSchema(db);
    }
    int64_t Count(const std::string& sql) {
        tSQLiteStatement q(db, sql);
        EXPECT_TRUE(q.Step());
        return q.ColumnInt64(0);
    }
    tSQLiteConnection db;
};

TEST_F(SchemaTest, NewDatabaseHoldsTablesIndexesSequenceAndVersion) {
    EXPECT_EQ(Count("SELECT count(*) FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%'"), 20);
    EXPECT_EQ(Count("SELECT count(*) FROM sqlite_master WHERE type='index' AND name NOT LIKE 'sqlite_%'"), 15);
    EXPECT_EQ(Count("SELECT count(*) FROM sqlite_master WHERE type='table' AND name='sqlite_sequence'"), 1);

    tSQLiteStatement meta(db, "SELECT name, value FROM Meta");
    ASSERT_TRUE(meta.Step());
    EXPECT_EQ(meta.ColumnText("name"), "version");
    EXPECT_EQ(meta.ColumnText("value"), "1.9");
    EXPECT_FALSE(meta.Step());

    EXPECT_EQ(ReadIntelDBVersion(db), std::optional<std::string>("1.9"));
    EXPECT_TRUE(IntelDBVersionIsCurrent(db));
}

TEST_F(SchemaTest, EveryTableHasTheExpectedColumnsTypesAndDefaults) {
    std::set<std::string> declared;
    {
        tSQLiteStatement q(db, "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%'");
        while (q.Step()) declared.insert(q.ColumnText(0));
    }
    for (const auto& table : kExpectedTables) {
        SCOPED_TRACE(table.name);
        // Declared with exactly this capitalisation.
        EXPECT_EQ(declared.count(table.name), 1u);

        std::vector<tColumn> expected = ParseExpected(table.columns);
        ASSERT_EQ(static_cast<int>(expected.size()), table.columnCount);

        tSQLiteStatement info(db, std::string("PRAGMA table_info(\"") + table.name + "\")");
        ASSERT_TRUE(info.Step());
        EXPECT_EQ(info.ColumnText("name"), "id");
        EXPECT_EQ(info.ColumnText("type"), "INTEGER");
        EXPECT_EQ(info.ColumnInt64("pk"), 1);
        EXPECT_TRUE(info.ColumnBool("notnull"));

        std::vector<tColumn> actual;
        while (info.Step()) {
            actual.push_back(tColumn{info.ColumnText("name"), info.ColumnText("type"),
                                     info.ColumnBool("notnull"), info.ColumnText("dflt_value")});
        }
        EXPECT_EQ(actual, expected);
    }
    EXPECT_EQ(declared.size(), std::size(kExpectedTables));
}

TEST_F(SchemaTest, IndexesAreTheExpectedOnesAndNotUnique) {
    for (const auto& index : kExpectedIndexes) {
        SCOPED_TRACE(index.name);
        tSQLiteStatement master(db, "SELECT sql FROM sqlite_master WHERE type='index' AND name=:name");
        master.BindText(":name", index.name);
        ASSERT_TRUE(master.Step());
        const std::string sql = master.ColumnText(0);
        EXPECT_NE(sql.find(std::string("ON \"") + index.table + "\""), std::string::npos) << sql;
        EXPECT_EQ(sql.find("UNIQUE"), std::string::npos) << sql;

        tSQLiteStatement info(db, std::string("PRAGMA index_info(\"") + index.name + "\")");
        std::vector<std::string> columns;
        while (info.Step()) columns.push_back(info.ColumnText("name"));
        EXPECT_EQ(columns, index.columns);
    }
}

TEST_F(SchemaTest, ScriptQuotesNamesAndUsesCRLF) {
    const std::string_view script = IntelDBSchemaScript();
    ASSERT_FALSE(script.empty());
    for (size_t i = 0; i < script.size(); ++i) {
        ASSERT_LT(static_cast<unsigned char>(script[i]), 0x80) << "not ASCII at " << i;
        if (script[i] == '\n') {
            ASSERT_TRUE(i > 0 && script[i - 1] == '\r') << "bare LF at " << i;
        }
    }
    auto occurrences = [&](std::string_view what) {
        size_t n = 0;
        for (size_t p = script.find(what); p != std::string_view::npos; p = script.find(what, p + 1)) ++n;
        return n;
    };
    EXPECT_EQ(occurrences("CREATE TABLE"), 20u);
    EXPECT_EQ(occurrences("CREATE INDEX"), 15u);
    EXPECT_EQ(occurrences("\"id\" INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL UNIQUE"), 20u);

    // In PortMapping the two port columns are the only names written without quotes.
    tSQLiteStatement q(db, "SELECT sql FROM sqlite_master WHERE name='PortMapping'");
    ASSERT_TRUE(q.Step());
    const std::string portMapping = q.ColumnText(0);
    EXPECT_NE(portMapping.find(" SourcePort INTEGER"), std::string::npos) << portMapping;
    EXPECT_NE(portMapping.find(" DestinationPort INTEGER"), std::string::npos) << portMapping;
    EXPECT_NE(portMapping.find("\"SourceIP\" VARCHAR"), std::string::npos) << portMapping;
    EXPECT_NE(portMapping.find("\"MapType\" INTEGER NOT NULL"), std::string::npos) << portMapping;
    EXPECT_EQ(occurrences("\"SourcePort\""), 2u);  // TCP and UDP conversations quote it
}

TEST_F(SchemaTest, LowerCaseStatementNamesAddressTheTables) {
    db.Exec("INSERT INTO filelist (filename,filepath) VALUES ('a.pcap','/x/');"
            "INSERT INTO blockchainentries (fileid) VALUES (1);"
            "INSERT INTO pcapngfilestatistics (fileid) VALUES (1);"
            "INSERT INTO filestatistics (fileid) VALUES (1);"
            "INSERT INTO framecomments (fileid,frameid,comment) VALUES (1,2,'c');"
            "INSERT INTO nrbentries (fileid,fqdn,address) VALUES (1,'h','1.2.3.4');"
            "INSERT INTO tcpconversations (fileid) VALUES (1);"
            "INSERT INTO macendpoints (fileid) VALUES (1);");
    for (const char* table : {"Filelist", "BlockChainEntries", "pcapngFileStatistics", "FileStatistics",
                              "FrameComments", "NRBEntries", "TCPConversations", "MACEndpoints"}) {
        EXPECT_EQ(Count(std::string("SELECT count(*) FROM \"") + table + "\""), 1) << table;
    }
    // Defaults of the rows just written.
    tSQLiteStatement file(db, "SELECT * FROM filelist");
    ASSERT_TRUE(file.Step());
    EXPECT_EQ(file.ColumnInt64("processingstatus"), 1);
    EXPECT_EQ(file.ColumnInt64("pcapngstructscanned"), 0);
    EXPECT_TRUE(file.IsNull("filesize"));
    tSQLiteStatement stats(db, "SELECT SliceIsConstant, TimeOrderIsCorrect, isFrameSliced FROM filestatistics");
    ASSERT_TRUE(stats.Step());
    EXPECT_EQ(stats.ColumnInt64(0), 1);
    EXPECT_EQ(stats.ColumnInt64(1), 1);
    EXPECT_EQ(stats.ColumnInt64(2), 0);
}

TEST_F(SchemaTest, IdsAreNeverReusedAfterADelete) {
    db.Exec("INSERT INTO filelist (filename,filepath) VALUES ('a.pcap','/x/');"
            "INSERT INTO filelist (filename,filepath) VALUES ('b.pcap','/x/');");
    const int64_t last = db.LastInsertRowId();
    db.Exec("DELETE FROM filelist WHERE id=2;");
    db.Exec("INSERT INTO filelist (filename,filepath) VALUES ('b.pcap','/x/');");
    EXPECT_GT(db.LastInsertRowId(), last);
}

TEST_F(SchemaTest, ApplyingTwiceOrAnEmptyScriptFails) {
    try {
        ApplyIntelDBSchema(db);
        FAIL() << "the script ran over existing tables";
    } catch (const tDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("already exists"), std::string::npos) << e.what();
    }
    tSQLiteConnection other;
    other.OpenMemory();
    try {
        ApplyIntelDBSchema(other, "");
        FAIL() << "an empty script was accepted";
    } catch (const tAssertionError& e) {
        EXPECT_STREQ(e.what(), "Invalid size detected for intel_dbstruct (tIntelDBManager.Connect)");
    }
    // A database without the Meta table: the version query fails.
    EXPECT_THROW(ReadIntelDBVersion(other), tDatabaseError);
}

TEST_F(SchemaTest, VersionMustMatchExactly) {
    for (const char* stored : {"1.8", "2.0", "1.9 ", "1.90"}) {
        db.Exec("DELETE FROM meta");
        tSQLiteStatement ins(db, "INSERT INTO meta (name,value) VALUES ('version',:v)");
        ins.BindText(":v", stored);
        ins.Execute();
        EXPECT_FALSE(IntelDBVersionIsCurrent(db)) << stored;
    }
    db.Exec("DELETE FROM meta");
    EXPECT_EQ(ReadIntelDBVersion(db), std::nullopt);
    EXPECT_FALSE(IntelDBVersionIsCurrent(db));
}

}  // namespace
}  // namespace morwick
