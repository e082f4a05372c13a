#include "storage/inteldb_manager.h"

#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "base/errors.h"
#include "platform/debuglog.h"
#include "storage/schema.h"

namespace morwick {

namespace fs = std::filesystem;

// ------------------------------------------------------------------ codes and texts

int32_t ProcessingStatusToCode(tProcessingStatus status) {
    switch (status) {
        case psNewFile: return 1;
        case psScanningBasics: return 2;
        case psScanningPCAPngStruct: return 3;
        case psScanningConversations: return 4;
        case psTaskPending: return 10;
        case psTaskProcessing: return 11;
        case psTaskComplete: return 12;
        case psTaskAborted: return 13;
        case psTaskFailed: return 14;
        default: return 0;
    }
}

tProcessingStatus CodeToProcessingStatus(int64_t code) {
    switch (code) {
        case 2: return psScanningBasics;
        case 3: return psScanningPCAPngStruct;
        case 4: return psScanningConversations;
        case 10: return psTaskPending;
        case 11: return psTaskProcessing;
        case 12: return psTaskComplete;
        case 13: return psTaskAborted;
        case 14: return psTaskFailed;
        default: return psNewFile;
    }
}

std::string SectionLengthToText(uint64_t value) { return fmt::format("{:08X}", value); }

uint64_t TextToSectionLength(std::string_view text) {
    if (text.empty()) return 0;
    if (text.size() > 16) throw tDatabaseError("Invalid uint64 value");
    uint64_t value = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        else throw tDatabaseError("Invalid uint64 value");
        value = (value << 4) | digit;
    }
    return value;
}

// ------------------------------------------------------------------ statement texts

namespace {

constexpr std::string_view kInsertFile =
    "INSERT INTO filelist (filename,filepath,filesize,filedate,firstframetimestamp,firstframenanoseconds,"
    "lastframetimestamp,lastframenanoseconds,ZeroPayloadCount,LayerComplexity,ContainsSecretsBlock) VALUES "
    "(:filename,:filepath,:filesize,:filedate,:firstframetimestamp,:firstframenanoseconds,:lastframetimestamp,"
    ":lastframenanoseconds,:ZeroPayloadCount,:LayerComplexity,:ContainsSecretsBlock);";

constexpr std::string_view kDeleteFileRows[] = {
    "DELETE FROM filelist WHERE id=:id;",
    "DELETE FROM filestatistics WHERE fileid=:id;",
    "DELETE FROM blockchainentries WHERE fileid=:id;",
    "DELETE FROM pcapngfilestatistics WHERE fileid=:id;",
};

constexpr std::string_view kUpdateStatistics =
    "UPDATE filestatistics SET firstframetime=:firstframetime,firstframetimenanosecs=:firstframetimenanosecs,"
    "firstframeoffset=:firstframeoffset,lastframetime=:lastframetime,lastframetimenanosecs=:lastframetimenanosecs,"
    "lastframeoffset=:lastframeoffset,minframesize=:minframesize,maxframesize=:maxframesize,"
    "averageframesize=:averageframesize,framecount=:framecount,totalframebytes=:totalframebytes,"
    "totalwirebytes=:totalwirebytes,isFrameSliced=:isFrameSliced,SliceIsConstant=:SliceIsConstant,"
    "SliceSize=:SliceSize,TimeOrderIsCorrect=:TimeOrderIsCorrect,OutOfTimeFrames=:OutOfTimeFrames "
    "WHERE fileid=:fileid;";

constexpr std::string_view kInsertStatistics =
    "INSERT INTO filestatistics (fileid,firstframetime,firstframetimenanosecs,firstframeoffset,lastframetime,"
    "lastframetimenanosecs,lastframeoffset,minframesize,maxframesize,averageframesize,framecount,"
    "totalframebytes,totalwirebytes,isFrameSliced,SliceIsConstant,SliceSize,TimeOrderIsCorrect,OutOfTimeFrames) "
    "VALUES (:fileid,:firstframetime,:firstframetimenanosecs,:firstframeoffset,:lastframetime,"
    ":lastframetimenanosecs,:lastframeoffset,:minframesize,:maxframesize,:averageframesize,:framecount,"
    ":totalframebytes,:totalwirebytes,:isFrameSliced,:SliceIsConstant,:SliceSize,:TimeOrderIsCorrect,"
    ":OutOfTimeFrames);";

constexpr std::string_view kInsertPCAPngStatistics =
    "INSERT INTO pcapngfilestatistics (fileid,sectioncount,filepacketcount,fileinterfacecount,"
    "statisticblockcount,statpacketcount,statfilteracceptcount,statosdropcount,statusdeliveredcount,errorcode,"
    "errortext) VALUES (:fileid,:sectioncount,:filepacketcount,:fileinterfacecount,:statisticblockcount,"
    ":statpacketcount,:statfilteracceptcount,:statosdropcount,:statusdeliveredcount,:errorcode,:errortext);";

#define MORWICK_BCE_COLUMNS \
    "fileid,blocksequence,blocktypeid,sectionstartoffset,sectionendoffset,firstblockstartoffset," \
    "lastblockendoffset,blocklength,count"
#define MORWICK_BCE_VALUES \
    ":fileid,:blocksequence,:blocktypeid,:sectionstartoffset,:sectionendoffset,:firstblockstartoffset," \
    ":lastblockendoffset,:blocklength,:count"

constexpr std::string_view kInsertSHB =
    "INSERT INTO blockchainentries (" MORWICK_BCE_COLUMNS
    ",shb_majorversion,shb_minorversion,shb_byteordermagic,shb_sectionlength,shb_comment,shb_hardware,shb_os,"
    "shb_userappl,shb_guid) VALUES (" MORWICK_BCE_VALUES
    ",:shb_majorversion,:shb_minorversion,:shb_byteordermagic,:shb_sectionlength,:shb_comment,:shb_hardware,"
    ":shb_os,:shb_userappl,:shb_guid);";
constexpr std::string_view kInsertIDB =
    "INSERT INTO blockchainentries (" MORWICK_BCE_COLUMNS
    ",idb_index,idb_linktype,idb_snaplen,idb_name,idb_description,idb_tsresolution,idb_filter) VALUES (" MORWICK_BCE_VALUES
    ",:idb_index,:idb_linktype,:idb_snaplen,:idb_name,:idb_description,:idb_tsresolution,:idb_filter);";
constexpr std::string_view kInsertISB =
    "INSERT INTO blockchainentries (" MORWICK_BCE_COLUMNS
    ",isb_interfaceid,isb_timestamp,isb_starttime,isb_endtime,isb_received,isb_dropped) VALUES (" MORWICK_BCE_VALUES
    ",:isb_interfaceid,:isb_timestamp,:isb_starttime,:isb_endtime,:isb_received,:isb_dropped);";
constexpr std::string_view kInsertNRB =
    "INSERT INTO blockchainentries (" MORWICK_BCE_COLUMNS
    ",nrb_ipv4recordcount,nrb_ipv6recordcount) VALUES (" MORWICK_BCE_VALUES
    ",:nrb_ipv4recordcount,:nrb_ipv6recordcount);";
constexpr std::string_view kInsertDSB =
    "INSERT INTO blockchainentries (" MORWICK_BCE_COLUMNS ",dsb_type,dsb_length) VALUES (" MORWICK_BCE_VALUES
    ",:dsb_type,:dsb_length);";
constexpr std::string_view kInsertCommonBlock =
    "INSERT INTO blockchainentries (" MORWICK_BCE_COLUMNS ") VALUES (" MORWICK_BCE_VALUES ");";

#undef MORWICK_BCE_COLUMNS
#undef MORWICK_BCE_VALUES

constexpr std::string_view kInsertNRBv4 =
    "INSERT INTO nrbentries (fileid,ipversion,fqdn,address) VALUES (:fileid,4,:fqdn,:address);";
constexpr std::string_view kInsertNRBv6 =
    "INSERT INTO nrbentries (fileid,ipversion,fqdn,address) VALUES (:fileid,6,:fqdn,:address);";

// Block types written with the common columns only: packet blocks and the other types
// that have a name but no columns of their own.
bool IsCommonOnlyBlockType(int32_t type) {
    switch (type) {
        case 2: case 3: case 6: case 7: case 8:
        case 0x101: case 0x102:
        case 0x201: case 0x202: case 0x203: case 0x204: case 0x205: case 0x206:
            return true;
        default:
            return false;
    }
}

}  // namespace

// ------------------------------------------------------------------ life cycle

tIntelDBManager::tIntelDBManager(const std::string& DBFileName, const std::string& Filename,
                                 int64_t FileSize, tDateTime FileDate,
                                 const tFrameTimeStamp& FirstFrameTime,
                                 const tFrameTimeStamp& LastFrameTime, bool UseDiskDatabase,
                                 bool SharedDBMode)
    : priv_usediskdatabase(UseDiskDatabase),
      priv_sharedmode(SharedDBMode),
      priv_inteldbfilename(DBFileName) {
    Connect();
    AssignTraceFile(Filename, FileSize, FileDate, FirstFrameTime, LastFrameTime);
}

tIntelDBManager::tIntelDBManager(const std::string& DBFileName, bool UseDiskDatabase, bool SharedDBMode)
    : priv_usediskdatabase(UseDiskDatabase),
      priv_sharedmode(SharedDBMode),
      priv_inteldbfilename(DBFileName) {
    Connect();
}

tIntelDBManager::~tIntelDBManager() {
    try {
        if (priv_db.IsOpen()) Disconnect();
    } catch (const std::exception& e) {
        LogFatal(fmt::format("Error closing meta database \"{}\": {}", priv_inteldbfilename, e.what()));
    }
}

void tIntelDBManager::Connect() {
    if (priv_db.IsOpen()) return;
    bool needSchema = true;

    std::error_code ec;
    if (fs::exists(priv_inteldbfilename, ec)) {
        const auto size = fs::file_size(priv_inteldbfilename, ec);
        bool renew = ec || size == 0;
        if (!renew) {
            priv_db.Open(priv_inteldbfilename, tSQLiteOpenMode::ReadWriteCreate,
                         priv_sharedmode ? tSQLiteLockingMode::Shared : tSQLiteLockingMode::Exclusive);
            try {
                renew = DBVersionIsWrong();
            } catch (...) {
                priv_db.Close();
                throw;
            }
        }
        priv_db.Close();
        if (renew) {
            LogWarning(fmt::format("Meta database \"{}\" is empty or of another version, creating it anew",
                                   priv_inteldbfilename));
            fs::remove(priv_inteldbfilename, ec);
            // A file left in place would make the schema fail on its tables with a
            // misleading message; say what went wrong instead.
            if (fs::exists(priv_inteldbfilename)) {
                throw tDatabaseError(fmt::format("Could not delete \"{}\" (tIntelDBManager.Connect)",
                                                 priv_inteldbfilename));
            }
        } else {
            needSchema = false;
        }
    }

    if (priv_usediskdatabase) {
        priv_db.Open(priv_inteldbfilename, tSQLiteOpenMode::ReadWriteCreate, tSQLiteLockingMode::Exclusive);
    } else {
        priv_db.OpenMemory();
        if (!needSchema) {
            tSQLiteConnection file(priv_inteldbfilename, tSQLiteOpenMode::ReadOnly);
            priv_db.RestoreFrom(file);
        }
    }

    if (needSchema) {
        tSQLiteTransaction transaction(priv_db);
        ApplyIntelDBSchema(priv_db);
        transaction.Commit();
        priv_dbdirty = true;
    }
}

bool tIntelDBManager::DBVersionIsWrong() {
    auto version = ReadIntelDBVersion(priv_db);
    if (!version) return true;
    priv_dbversion = *version;
    if (priv_dbversion == IntelDBVersion) return false;
    LogWarning(fmt::format("Meta database \"{}\" has version {}, expected {}", priv_inteldbfilename,
                           priv_dbversion, IntelDBVersion));
    if (EventOnDBVersionWrong) EventOnDBVersionWrong(*this, priv_dbversion, std::string(IntelDBVersion));
    return true;
}

void tIntelDBManager::Disconnect() {
    if (priv_dbdirty && !priv_usediskdatabase && priv_db.IsOpen()) WriteMemDBtoDisk();
    priv_db.Close();
}

void tIntelDBManager::WriteMemDBtoDisk() {
    if (!priv_db.IsOpen()) throw tDatabaseError("Database not open (tIntelDBManager.WriteMemDBtoDisk)");
    // Write a complete copy beside the file and put it in place in one step, so that a
    // failing write never leaves the file half written or gone.
    const std::string temp = priv_inteldbfilename + ".writing";
    std::error_code ec;
    fs::remove(temp, ec);
    try {
        tSQLiteConnection file(temp, tSQLiteOpenMode::ReadWriteCreate);
        file.RestoreFrom(priv_db);
        file.Close();
    } catch (...) {
        fs::remove(temp, ec);
        throw;
    }
    fs::rename(temp, priv_inteldbfilename, ec);
    if (ec) {
        fs::remove(temp, ec);
        throw tDatabaseError(fmt::format("Could not replace \"{}\" (tIntelDBManager.WriteMemDBtoDisk)",
                                         priv_inteldbfilename));
    }
    priv_dbdirty = false;
}

// ------------------------------------------------------------------ file row

void tIntelDBManager::AssignTraceFile(const std::string& Filename, int64_t FileSize, tDateTime FileDate,
                                      const tFrameTimeStamp& FirstFrameTime,
                                      const tFrameTimeStamp& LastFrameTime) {
    priv_tracefilename = Filename;
    priv_generalstatistics.initialize();
    priv_fullfilescanned = false;
    priv_pcapngstructscanned = false;
    priv_conversationsscanned = false;

    const tIntelDBFileStatus status =
        getIntelDBFileStatus(priv_db, Filename, FileSize, FileDate, FirstFrameTime, LastFrameTime);

    if (status.DBIndex == 0) {
        InsertTraceFile(Filename, FileSize, FileDate, FirstFrameTime, LastFrameTime);
        return;
    }
    if (!IntelDBFileStatusMatches(status)) {
        tSQLiteTransaction transaction(priv_db);
        // A row of another folder belongs to a different file of the same name: it stays,
        // and this file gets a row of its own.
        if (!status.Has(dbfsWrongPath)) {
            for (std::string_view sql : kDeleteFileRows) {
                tSQLiteStatement del(priv_db, sql);
                del.BindInt64(":id", status.DBIndex);
                del.Execute();
            }
            priv_dbdirty = true;
        }
        InsertTraceFile(Filename, FileSize, FileDate, FirstFrameTime, LastFrameTime);
        transaction.Commit();
        return;
    }

    priv_inteldbfileindex = status.DBIndex;
    tSQLiteStatement row(priv_db, "SELECT * from filelist WHERE id=:id;");
    row.BindInt64(":id", priv_inteldbfileindex);
    if (!row.Step()) {
        LogDebug("Error: could not retrieve file details");
        throw tDatabaseError("Error: could not retrieve file details in tIntelDBManager.AssignTraceFile");
    }
    priv_fullfilescanned = row.ColumnBool("fullfilescanned");
    priv_pcapngstructscanned = row.ColumnBool("pcapngstructscanned");
    priv_conversationsscanned = row.ColumnBool("conversationsscanned");
    row.Reset();
    if (priv_fullfilescanned) LoadGeneralStatistics();
}

void tIntelDBManager::InsertTraceFile(const std::string& Filename, int64_t FileSize, tDateTime FileDate,
                                      const tFrameTimeStamp& FirstFrameTime,
                                      const tFrameTimeStamp& LastFrameTime) {
    tSQLiteStatement insert(priv_db, kInsertFile);
    insert.BindText(":filename", LowerCaseASCII(FileNamePart(Filename)));
    insert.BindText(":filepath", LowerCaseASCII(DirectoryPart(Filename)));
    insert.BindInt64(":filesize", FileSize);
    insert.BindDateTime(":filedate", FileDate);
    insert.BindDateTime(":firstframetimestamp", FirstFrameTime.datetime);
    insert.BindInt32(":firstframenanoseconds", FirstFrameTime.nanoseconds);
    insert.BindDateTime(":lastframetimestamp", LastFrameTime.datetime);
    insert.BindInt32(":lastframenanoseconds", LastFrameTime.nanoseconds);
    insert.BindInt32(":ZeroPayloadCount", 0);
    insert.BindInt32(":LayerComplexity", 0);
    insert.BindBool(":ContainsSecretsBlock", false);
    insert.Execute();
    priv_dbdirty = true;
    // The row just written, not the first row of that name: a folder database may hold
    // several files of one name.
    priv_inteldbfileindex = static_cast<int32_t>(priv_db.LastInsertRowId());
}

// ------------------------------------------------------------------ general statistics

tGeneralTraceStats tIntelDBManager::GeneralStatistics() {
    if (priv_generalstatistics.FrameCount == 0) LoadGeneralStatistics();
    return priv_generalstatistics;
}

void tIntelDBManager::LoadGeneralStatistics() {
    tGeneralTraceStats stats;
    // Without a row every field reads as zero or false.
    stats.MinFrameSize = 0;
    stats.SliceSizeConstant = false;
    stats.TimeOrderCorrect = false;

    tSQLiteStatement query(priv_db, "SELECT * FROM filestatistics WHERE fileid=:fileid;");
    query.BindInt64(":fileid", priv_inteldbfileindex);
    if (query.Step()) {
        stats.FirstFrameTime = {query.ColumnDateTime("firstframetime"), query.ColumnInt32("firstframetimenanosecs")};
        stats.FirstFrameOffset = static_cast<uint64_t>(query.ColumnInt64("firstframeoffset"));
        stats.LastFrameTime = {query.ColumnDateTime("lastframetime"), query.ColumnInt32("lastframetimenanosecs")};
        stats.LastFrameOffset = static_cast<uint64_t>(query.ColumnInt64("lastframeoffset"));
        stats.MinFrameSize = query.ColumnInt32("minframesize");
        stats.MaxFrameSize = query.ColumnInt32("maxframesize");
        stats.AverageFrameSize = query.ColumnInt32("averageframesize");
        stats.FrameCount = query.ColumnInt32("framecount");
        stats.TotalFrameBytes = query.ColumnInt64("totalframebytes");
        stats.TotalWireBytes = query.ColumnInt64("totalwirebytes");
        stats.isSliced = query.ColumnBool("isFrameSliced");
        stats.SliceSizeConstant = query.ColumnBool("SliceIsConstant");
        stats.SliceSize = query.ColumnInt32("slicesize");
        stats.TimeOrderCorrect = query.ColumnBool("TimeOrderIsCorrect");
        stats.OutOfTimeFrames = query.ColumnInt32("OutOfTimeFrames");
    }
    priv_generalstatistics = stats;
}

void tIntelDBManager::SetGeneralStatistics(const tGeneralTraceStats& Value) {
    tSQLiteTransaction transaction(priv_db);
    bool exists;
    {
        tSQLiteStatement query(priv_db, "SELECT id FROM filestatistics WHERE fileid=:fileid;");
        query.BindInt64(":fileid", priv_inteldbfileindex);
        exists = query.Step();
    }
    tSQLiteStatement write(priv_db, exists ? kUpdateStatistics : kInsertStatistics);
    write.BindInt64(":fileid", priv_inteldbfileindex);
    write.BindDateTime(":firstframetime", Value.FirstFrameTime.datetime);
    write.BindInt32(":firstframetimenanosecs", Value.FirstFrameTime.nanoseconds);
    write.BindInt64(":firstframeoffset", static_cast<int64_t>(Value.FirstFrameOffset));
    write.BindDateTime(":lastframetime", Value.LastFrameTime.datetime);
    write.BindInt32(":lastframetimenanosecs", Value.LastFrameTime.nanoseconds);
    write.BindInt64(":lastframeoffset", static_cast<int64_t>(Value.LastFrameOffset));
    write.BindInt32(":minframesize", Value.MinFrameSize);
    write.BindInt32(":maxframesize", Value.MaxFrameSize);
    write.BindInt32(":averageframesize", Value.AverageFrameSize);
    write.BindInt32(":framecount", Value.FrameCount);
    write.BindInt64(":totalframebytes", Value.TotalFrameBytes);
    write.BindInt64(":totalwirebytes", Value.TotalWireBytes);
    write.BindBool(":isFrameSliced", Value.isSliced);
    write.BindBool(":SliceIsConstant", Value.SliceSizeConstant);
    write.BindInt32(":SliceSize", Value.SliceSize);
    write.BindBool(":TimeOrderIsCorrect", Value.TimeOrderCorrect);
    write.BindInt32(":OutOfTimeFrames", Value.OutOfTimeFrames);
    write.Execute();
    priv_dbdirty = true;

    tSQLiteStatement flag(priv_db, "UPDATE filelist SET fullfilescanned=:fullfilescanned WHERE id=:id;");
    flag.BindBool(":fullfilescanned", true);
    flag.BindInt64(":id", priv_inteldbfileindex);
    flag.Execute();
    transaction.Commit();
}

// ------------------------------------------------------------------ pcapng structure

void tIntelDBManager::writePCAPngStatisticsToDB(const tPCAPNGStatistic& Statistics) {
    priv_pcapngstatistics = Statistics;  // shares the chain
    tSQLiteTransaction transaction(priv_db);

    tSQLiteStatement stats(priv_db, kInsertPCAPngStatistics);
    stats.BindInt64(":fileid", priv_inteldbfileindex);
    stats.BindInt32(":sectioncount", Statistics.SectionCount);
    stats.BindInt32(":filepacketcount", Statistics.FilePacketCount);
    stats.BindInt32(":fileinterfacecount", Statistics.FileInterfaceCount);
    stats.BindInt32(":statisticblockcount", Statistics.StatisticBlocKCount);
    // The counters keep all their bits; cutting them to 32 bits would store large
    // captures' counts as negative numbers.
    stats.BindInt64(":statpacketcount", static_cast<int64_t>(Statistics.StatPacketCount));
    stats.BindInt64(":statfilteracceptcount", static_cast<int64_t>(Statistics.StatFilterAcceptCount));
    stats.BindInt64(":statosdropcount", static_cast<int64_t>(Statistics.StatOsDropCount));
    stats.BindInt64(":statusdeliveredcount", static_cast<int64_t>(Statistics.StatUsrDeliveredCount));
    stats.BindInt32(":errorcode", Statistics.ErrorCode);
    stats.BindText(":errortext", Statistics.ErrorText);
    stats.Execute();
    priv_dbdirty = true;

    // One prepared statement per row shape, bound row by row.
    tSQLiteStatement shb, idb, isb, nrb, dsb, common, nrb4, nrb6;
    bool containsSecrets = false;
    int64_t sequence = 0;
    for (const tBlockChainEntry* e = Statistics.BlockChain.get(); e; e = e->NextBlockType.get()) {
        ++sequence;  // every entry takes a number, also one that is not written
        tSQLiteStatement* s = nullptr;
        std::string_view sql;
        switch (e->BlockTypeID) {
            case pngbtSectionHeader: s = &shb; sql = kInsertSHB; break;
            case pngbtInterfaceDescription: s = &idb; sql = kInsertIDB; break;
            case pngbtInterfaceStatistics: s = &isb; sql = kInsertISB; break;
            case pngbtNameResolution: s = &nrb; sql = kInsertNRB; break;
            case pngbtDecryptionSecrets: s = &dsb; sql = kInsertDSB; containsSecrets = true; break;
            default:
                if (IsCommonOnlyBlockType(e->BlockTypeID)) {
                    s = &common;
                    sql = kInsertCommonBlock;
                }
                break;
        }
        if (!s) continue;
        if (!s->IsPrepared()) s->Prepare(priv_db, sql);
        s->ClearBindings();
        s->BindInt64(":fileid", priv_inteldbfileindex);
        s->BindInt64(":blocksequence", sequence);
        s->BindInt32(":blocktypeid", e->BlockTypeID);
        s->BindInt64(":sectionstartoffset", e->SectionStartOffset);
        s->BindInt64(":sectionendoffset", e->SectionEndOffset);
        s->BindInt64(":firstblockstartoffset", e->FirstBlockStartOffset);
        s->BindInt64(":lastblockendoffset", e->LastBlockEndOffset);
        s->BindInt32(":blocklength", e->BlockLength);
        s->BindInt64(":count", e->Count);
        switch (e->BlockTypeID) {
            case pngbtSectionHeader:
                s->BindInt32(":shb_majorversion", e->SHBMajorVersion);
                s->BindInt32(":shb_minorversion", e->SHBMinorVersion);
                s->BindInt64(":shb_byteordermagic", e->SHBByteOrderMagic);
                s->BindText(":shb_sectionlength", SectionLengthToText(e->SHBSectionLength));
                s->BindText(":shb_comment", e->SHBComment);
                s->BindText(":shb_hardware", e->SHBHardware);
                s->BindText(":shb_os", e->SHBOS);
                s->BindText(":shb_userappl", e->SHBUserAppl);
                s->BindText(":shb_guid", GUIDToString(e->SHBGUID));
                break;
            case pngbtInterfaceDescription:
                s->BindInt64(":idb_index", e->IDBIndex);
                s->BindInt32(":idb_linktype", e->IDBLinkType);
                s->BindInt64(":idb_snaplen", e->IDBSnapLen);
                s->BindText(":idb_name", e->IDBName);
                s->BindText(":idb_description", e->IDBDescription);
                s->BindInt32(":idb_tsresolution", e->IDBTSResolution);
                s->BindText(":idb_filter", e->IDBFilter.FilterString);
                break;
            case pngbtInterfaceStatistics:
                s->BindInt64(":isb_interfaceid", e->ISBInterfaceID);
                s->BindDateTime(":isb_timestamp", e->ISBTimestamp);
                s->BindDateTime(":isb_starttime", e->ISBStartTime);
                s->BindDateTime(":isb_endtime", e->ISBEndTime);
                s->BindInt64(":isb_received", e->ISBReceived);
                s->BindInt64(":isb_dropped", e->ISBDropped);
                break;
            case pngbtNameResolution:
                s->BindInt32(":nrb_ipv4recordcount", e->NRBIPv4RecordCount);
                s->BindInt32(":nrb_ipv6recordcount", e->NRBIPv6RecordCount);
                break;
            case pngbtDecryptionSecrets:
                s->BindInt64(":dsb_type", SecretsTypeToNumber(e->DSBType));
                s->BindInt64(":dsb_length", e->DSBLength);
                break;
            default:
                break;
        }
        s->Execute();

        if (e->BlockTypeID == pngbtNameResolution) {
            if (!nrb4.IsPrepared()) nrb4.Prepare(priv_db, kInsertNRBv4);
            for (const auto& entry : e->NRBIPv4AddressList.IPv4NameList) {
                nrb4.BindInt64(":fileid", priv_inteldbfileindex);
                nrb4.BindText(":fqdn", entry.FQDN);
                nrb4.BindText(":address", entry.IPv4Address.ValueAsString());
                nrb4.Execute();
            }
            if (!nrb6.IsPrepared()) nrb6.Prepare(priv_db, kInsertNRBv6);
            for (const auto& entry : e->NRBIPv6AddressList.IPv6NameList) {
                nrb6.BindInt64(":fileid", priv_inteldbfileindex);
                nrb6.BindText(":fqdn", entry.FQDN);
                nrb6.BindText(":address", entry.IPv6Address.ValueAsString());
                nrb6.Execute();
            }
        }
    }

    tSQLiteStatement flags(priv_db,
                           "UPDATE filelist SET pcapngstructscanned=:pcapngstructscanned,"
                           "ContainsSecretsBlock=:ContainsSecretsBlock WHERE id=:fileid");
    flags.BindBool(":pcapngstructscanned", true);
    flags.BindBool(":ContainsSecretsBlock", containsSecrets);
    flags.BindInt64(":fileid", priv_inteldbfileindex);
    flags.Execute();
    transaction.Commit();
}

tPCAPNGStatistic tIntelDBManager::readPCAPngStatisticsFromDB() {
    tPCAPNGStatistic& cache = priv_pcapngstatistics;
    cache.SectionCount = cache.FilePacketCount = cache.FileInterfaceCount = cache.StatisticBlocKCount = 0;
    cache.StatPacketCount = cache.StatFilterAcceptCount = cache.StatOsDropCount = cache.StatUsrDeliveredCount = 0;
    cache.ErrorCode = 0;
    cache.ErrorText.clear();
    {
        tSQLiteStatement query(priv_db, "SELECT * FROM pcapngfilestatistics WHERE fileid=:fileid;");
        query.BindInt64(":fileid", priv_inteldbfileindex);
        if (query.Step()) {
            cache.SectionCount = query.ColumnInt32("sectioncount");
            cache.FilePacketCount = query.ColumnInt32("filepacketcount");
            cache.FileInterfaceCount = query.ColumnInt32("fileinterfacecount");
            cache.StatisticBlocKCount = query.ColumnInt32("statisticblockcount");
            cache.StatPacketCount = static_cast<uint64_t>(query.ColumnInt64("statpacketcount"));
            cache.StatFilterAcceptCount = static_cast<uint64_t>(query.ColumnInt64("statfilteracceptcount"));
            cache.StatOsDropCount = static_cast<uint64_t>(query.ColumnInt64("statosdropcount"));
            cache.StatUsrDeliveredCount = static_cast<uint64_t>(query.ColumnInt64("statusdeliveredcount"));
            cache.ErrorCode = query.ColumnInt32("errorcode");
            cache.ErrorText = query.ColumnText("errortext");
        }
    }

    std::shared_ptr<tBlockChainEntry> first;
    tBlockChainEntry* last = nullptr;
    std::vector<tBlockChainEntry*> nameResolutionEntries;
    {
        tSQLiteStatement query(priv_db,
                               "SELECT * FROM blockchainentries WHERE fileid=:fileid ORDER BY blocksequence;");
        query.BindInt64(":fileid", priv_inteldbfileindex);
        while (query.Step()) {
            auto e = std::make_shared<tBlockChainEntry>();
            e->BlockTypeID = query.ColumnInt32("blocktypeid");
            e->BlockTypeName = std::string(BlockTypeIDToName(e->BlockTypeID));
            e->SectionStartOffset = query.ColumnInt64("sectionstartoffset");
            e->SectionEndOffset = query.ColumnInt64("sectionendoffset");
            e->FirstBlockStartOffset = query.ColumnInt64("firstblockstartoffset");
            e->LastBlockEndOffset = query.ColumnInt64("lastblockendoffset");
            e->BlockLength = query.ColumnInt32("blocklength");
            e->Count = query.ColumnInt64("count");
            switch (e->BlockTypeID) {
                case pngbtInterfaceDescription:
                    e->IDBIndex = static_cast<uint32_t>(query.ColumnInt64("idb_index"));
                    e->IDBLinkType = static_cast<uint16_t>(query.ColumnInt64("idb_linktype"));
                    e->IDBSnapLen = static_cast<uint32_t>(query.ColumnInt64("idb_snaplen"));
                    e->IDBName = query.ColumnText("idb_name");
                    e->IDBDescription = query.ColumnText("idb_description");
                    e->IDBTSResolution = static_cast<uint8_t>(query.ColumnInt64("idb_tsresolution"));
                    e->IDBFilter.FilterType = cftLibPCAP;
                    e->IDBFilter.FilterString = query.ColumnText("idb_filter");
                    break;
                case pngbtNameResolution:
                    e->NRBIPv4RecordCount = query.ColumnInt32("nrb_ipv4recordcount");
                    e->NRBIPv6RecordCount = query.ColumnInt32("nrb_ipv6recordcount");
                    break;
                case pngbtInterfaceStatistics:
                    e->ISBInterfaceID = static_cast<uint32_t>(query.ColumnInt64("isb_interfaceid"));
                    e->ISBTimestamp = query.ColumnDateTime("isb_timestamp");
                    e->ISBStartTime = query.ColumnDateTime("isb_starttime");
                    e->ISBEndTime = query.ColumnDateTime("isb_endtime");
                    e->ISBReceived = static_cast<uint32_t>(query.ColumnInt64("isb_received"));
                    e->ISBDropped = static_cast<uint32_t>(query.ColumnInt64("isb_dropped"));
                    break;
                case pngbtDecryptionSecrets:
                    e->DSBType = NumberToSecretsType(static_cast<uint32_t>(query.ColumnInt64("dsb_type")));
                    e->DSBLength = static_cast<uint32_t>(query.ColumnInt64("dsb_length"));
                    break;
                case pngbtSectionHeader: {
                    e->SHBMajorVersion = static_cast<uint16_t>(query.ColumnInt64("shb_majorversion"));
                    e->SHBMinorVersion = static_cast<uint16_t>(query.ColumnInt64("shb_minorversion"));
                    e->SHBByteOrderMagic = static_cast<uint32_t>(query.ColumnInt64("shb_byteordermagic"));
                    e->SHBSectionLength = TextToSectionLength(query.ColumnText("shb_sectionlength"));
                    e->SHBComment = query.ColumnText("shb_comment");
                    e->SHBHardware = query.ColumnText("shb_hardware");
                    e->SHBOS = query.ColumnText("shb_os");
                    e->SHBUserAppl = query.ColumnText("shb_userappl");
                    const std::string guid = query.ColumnText("shb_guid");
                    if (!guid.empty()) {
                        auto parsed = StringToGUID(guid);
                        if (!parsed) {
                            throw tDatabaseError(fmt::format(
                                "Invalid GUID \"{}\" (tIntelDBManager.readPCAPngStatisticsFromDB)", guid));
                        }
                        e->SHBGUID = *parsed;
                    }
                    break;
                }
                default:
                    break;
            }
            if (e->BlockTypeID == pngbtNameResolution) nameResolutionEntries.push_back(e.get());
            if (!last) {
                first = e;
                last = first.get();
            } else {
                last = LinkBlockChainEntry(*last, std::move(e));
            }
        }
    }

    if (!nameResolutionEntries.empty()) {
        // The rows do not record which block they came from: every NRB entry of the
        // chain gets all of the file's name resolutions.
        tSimpleIPv4NameResolutionList v4;
        tSimpleIPv6NameResolutionList v6;
        tSQLiteStatement query(priv_db, "SELECT * FROM nrbentries WHERE fileid=:fileid ORDER BY ipversion;");
        query.BindInt64(":fileid", priv_inteldbfileindex);
        while (query.Step()) {
            const std::string fqdn = query.ColumnText("fqdn");
            const std::string address = query.ColumnText("address");
            if (query.ColumnInt64("ipversion") == 4) {
                tIPv4Address a;
                a.setValueFromString(address, 32);
                v4.AddIPandFQDN(a, fqdn);
            } else {
                tIPv6Address a;
                a.setValueFromString(address, 64);
                v6.AddIPandFQDN(a, fqdn);
            }
        }
        for (tBlockChainEntry* e : nameResolutionEntries) {
            e->NRBIPv4AddressList = v4;
            e->NRBIPv6AddressList = v6;
        }
    }

    cache.BlockChain = std::move(first);
    return cache;
}

bool tIntelDBManager::PCAPngStatisticsRecordsExistInDB() {
    if (priv_inteldbfileindex <= 0) return false;
    tSQLiteStatement query(priv_db, "SELECT id FROM blockchainentries WHERE fileid=:fileid");
    query.BindInt64(":fileid", priv_inteldbfileindex);
    return query.Step();
}

// ------------------------------------------------------------------ comments, status, name

void tIntelDBManager::WriteFrameComments(const tPCAPNGPacketCommentList& CommentList) {
    if (CommentList.empty()) return;
    tSQLiteTransaction transaction(priv_db);
    tSQLiteStatement insert(priv_db,
                            "INSERT INTO framecomments (fileid,frameid,comment) VALUES (:fileid,:frameid,:comment);");
    for (const auto& c : CommentList) {
        insert.BindInt64(":fileid", priv_inteldbfileindex);
        insert.BindInt32(":frameid", c.FrameNo);
        insert.BindText(":comment", c.Comment);
        insert.Execute();
    }
    transaction.Commit();
    priv_dbdirty = true;
}

tPCAPNGPacketCommentList tIntelDBManager::ReadFrameComments() {
    tPCAPNGPacketCommentList list;
    tSQLiteStatement query(priv_db, "SELECT * FROM framecomments WHERE fileid=:fileid;");
    query.BindInt64(":fileid", priv_inteldbfileindex);
    while (query.Step()) list.push_back({query.ColumnInt32("frameid"), query.ColumnText("comment")});
    return list;
}

void tIntelDBManager::setFileProcessingStatus(tProcessingStatus ScanStatus) {
    const int32_t code = ProcessingStatusToCode(ScanStatus);
    if (code == 0) {
        throw tAssertionError(fmt::format("Processing status {} has no stored code "
                                          "(tIntelDBManager.setFileProcessingStatus)",
                                          static_cast<int>(ScanStatus)));
    }
    tSQLiteStatement update(priv_db, "UPDATE filelist SET processingstatus=:processingstatus WHERE id=:fileid");
    update.BindInt32(":processingstatus", code);
    update.BindInt64(":fileid", priv_inteldbfileindex);
    update.Execute();
    priv_dbdirty = true;
}

tProcessingStatus tIntelDBManager::FileProcessingStatus() {
    tSQLiteStatement query(priv_db, "SELECT pcapngstructscanned,processingstatus FROM filelist WHERE id=:fileid");
    query.BindInt64(":fileid", priv_inteldbfileindex);
    if (!query.Step()) return psNewFile;
    return CodeToProcessingStatus(query.ColumnInt64("processingstatus"));
}

void tIntelDBManager::rename(const std::string& NewFilename) {
    tSQLiteStatement update(priv_db, "UPDATE filelist SET filename=:newfilename WHERE id=:fileid");
    update.BindText(":newfilename", NewFilename);
    update.BindInt64(":fileid", priv_inteldbfileindex);
    update.Execute();
    priv_dbdirty = true;
}

}  // namespace morwick
