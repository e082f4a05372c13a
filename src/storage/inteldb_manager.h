#pragma once
// The meta database manager: owns the connection to one meta database file, creates or
// renews the file's schema, and reads and writes the file-level rows of one capture file
// (its Filelist row, general statistics, pcapng structure with block chain, frame comments
// and processing status). The conversation store runs its own statements on Database().
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/datetime.h"
#include "base/timestamps.h"
#include "loader/pcapng_structures.h"
#include "storage/filestatus.h"
#include "storage/sqlite.h"

namespace morwick {

// Processing states of a file in the file list.
enum tProcessingStatus : uint8_t {
    psNewFile,
    psScanningBasics,
    psScanningPCAPngStruct,
    psScanningConversations,
    psScanAborted,
    psReadingDatabase,
    psNoTaskAssigned,
    psTaskPending,
    psTaskProcessing,
    psTaskSkipped,
    psTaskComplete,
    psTaskAborted,
    psTaskFailed,
};

// Stored code of a status (1 to 4, 10 to 14); 0 for the states that have none
// (psScanAborted, psReadingDatabase, psNoTaskAssigned, psTaskSkipped).
int32_t ProcessingStatusToCode(tProcessingStatus status);
// Status of a stored code; psNewFile for any code not in the table.
tProcessingStatus CodeToProcessingStatus(int64_t code);

// Text of a section length as stored: upper-case hexadecimal, at least 8 digits.
std::string SectionLengthToText(uint64_t value);
// Reads it back: empty gives 0; anything but 1 to 16 hexadecimal digits fails with
// "Invalid uint64 value".
uint64_t TextToSectionLength(std::string_view text);

class tIntelDBManager;
// Called when an existing database carries another schema version than the program's.
using tOnDBVersionWrong =
    std::function<void(tIntelDBManager& Sender, const std::string& IsVersion, const std::string& ShouldVersion)>;

class tIntelDBManager {
public:
    // Opens (or creates) the database and makes Filename its current capture file.
    tIntelDBManager(const std::string& DBFileName, const std::string& Filename, int64_t FileSize,
                    tDateTime FileDate, const tFrameTimeStamp& FirstFrameTime,
                    const tFrameTimeStamp& LastFrameTime, bool UseDiskDatabase = true,
                    bool SharedDBMode = false);
    // Opens (or creates) the database without assigning a capture file.
    explicit tIntelDBManager(const std::string& DBFileName, bool UseDiskDatabase = true,
                             bool SharedDBMode = false);
    // Disconnects; in memory mode a dirty database is written to its file first. Errors
    // of that write can only be logged here: call Disconnect() to have them raised.
    ~tIntelDBManager();
    tIntelDBManager(const tIntelDBManager&) = delete;
    tIntelDBManager& operator=(const tIntelDBManager&) = delete;

    // Opens the database: a file that is empty or carries another schema version is
    // deleted and created anew with the schema and the version row.
    void Connect();
    // In memory mode writes a dirty database to its file; then closes the connection.
    void Disconnect();
    // Replaces the database file with the in-memory database; clears the dirty flag.
    void WriteMemDBtoDisk();
    // True unless Meta holds the version "1.9"; query errors propagate.
    bool DBVersionIsWrong();

    // Makes Filename the current capture file: its Filelist row is reused when it still
    // describes the same capture, otherwise replaced (or inserted) with a new id.
    void AssignTraceFile(const std::string& Filename, int64_t FileSize, tDateTime FileDate,
                         const tFrameTimeStamp& FirstFrameTime, const tFrameTimeStamp& LastFrameTime);

    // The file's general statistics, loaded from FileStatistics while the cache holds no
    // frames.
    tGeneralTraceStats GeneralStatistics();
    // Writes (inserts or updates) the FileStatistics row and marks the file fully scanned.
    void SetGeneralStatistics(const tGeneralTraceStats& Value);

    // Stores the pcapng statistics row, the block chain rows and the NRB entries, and
    // marks the pcapng structure scanned.
    void writePCAPngStatisticsToDB(const tPCAPNGStatistic& Statistics);
    tPCAPNGStatistic readPCAPngStatisticsFromDB();
    bool PCAPngStatisticsRecordsExistInDB();

    void WriteFrameComments(const tPCAPNGPacketCommentList& CommentList);
    tPCAPNGPacketCommentList ReadFrameComments();

    // Only statuses with a stored code may be written.
    void setFileProcessingStatus(tProcessingStatus ScanStatus);
    tProcessingStatus FileProcessingStatus();

    // Stores a new file name (as given, not lower-cased) in the current Filelist row.
    void rename(const std::string& NewFilename);

    tSQLiteConnection& Database() { return priv_db; }
    bool DatabaseDirty() const { return priv_dbdirty; }
    void SetDatabaseDirty(bool value) { priv_dbdirty = value; }
    int32_t CurrentFileIndex() const { return priv_inteldbfileindex; }
    const std::string& CurrentTraceFilename() const { return priv_tracefilename; }
    bool FullFileScanned() const { return priv_fullfilescanned; }
    bool PCAPNGStructureScanned() const { return priv_pcapngstructscanned; }
    bool ConversationsScanned() const { return priv_conversationsscanned; }
    int32_t PreparsedTotalFrameCount() const { return priv_fileframeparsedcount; }
    tDateTime FirstFrameTimestamp() const { return priv_filefirstframetime; }
    tDateTime LastFrameTimestamp() const { return priv_filelastframetime; }
    const std::string& DBVersion() const { return priv_dbversion; }
    const std::string& DBFileName() const { return priv_inteldbfilename; }
    bool UsesDiskDatabase() const { return priv_usediskdatabase; }

    const tOnDBVersionWrong& OnDBVersionWrong() const { return EventOnDBVersionWrong; }
    void SetOnDBVersionWrong(tOnDBVersionWrong handler) { EventOnDBVersionWrong = std::move(handler); }

private:
    void InsertTraceFile(const std::string& Filename, int64_t FileSize, tDateTime FileDate,
                         const tFrameTimeStamp& FirstFrameTime, const tFrameTimeStamp& LastFrameTime);
    void LoadGeneralStatistics();

    tSQLiteConnection priv_db;
    bool priv_dbdirty = false;
    bool priv_usediskdatabase = true;
    bool priv_sharedmode = false;
    std::string priv_inteldbfilename;
    int32_t priv_inteldbfileindex = 0;
    std::string priv_tracefilename;
    tGeneralTraceStats priv_generalstatistics;
    tPCAPNGStatistic priv_pcapngstatistics;
    bool priv_fullfilescanned = false;
    bool priv_pcapngstructscanned = false;
    bool priv_conversationsscanned = false;
    int32_t priv_fileframeparsedcount = 0;
    tDateTime priv_filefirstframetime;
    tDateTime priv_filelastframetime;
    std::string priv_dbversion;
    tOnDBVersionWrong EventOnDBVersionWrong;
};

}  // namespace morwick
