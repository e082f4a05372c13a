#include "cli/merge.h"

#include <fmt/format.h>

#include <memory>

#include "base/timestamps.h"
#include "cli/dirparser.h"
#include "cli/dbcheck.h"
#include "cli/scandriver.h"
#include "platform/console.h"
#include "platform/debuglog.h"
#include "platform/filesystem.h"
#include "storage/conversationstorage.h"
#include "storage/inteldb_manager.h"
#include "storage/schema.h"
#include "storage/sqlite.h"

namespace morwick {
namespace {

// The file-list row of a per-file database: what identifies its capture file.
struct tSourceFileDetails {
    std::string Filename;
    int64_t FileSize = 0;
    tDateTime FileDate;
    tFrameTimeStamp FirstFrameTime;
    tFrameTimeStamp LastFrameTime;
};

// The first row of the file list; empty details when it has none.
tSourceFileDetails ReadSourceFileDetails(tSQLiteConnection& Database) {
    tSourceFileDetails details;
    tSQLiteStatement query(Database, "SELECT * FROM filelist;");
    if (!query.Step()) return details;
    details.Filename = query.ColumnText("filename");
    details.FileSize = query.ColumnInt64("filesize");
    details.FileDate = query.ColumnDateTime("filedate");
    details.FirstFrameTime.datetime = query.ColumnDateTime("firstframetimestamp");
    details.FirstFrameTime.nanoseconds = query.ColumnInt32("firstframenanoseconds");
    details.LastFrameTime.datetime = query.ColumnDateTime("lastframetimestamp");
    details.LastFrameTime.nanoseconds = query.ColumnInt32("lastframenanoseconds");
    return details;
}

// Asks whether an existing folder database may be replaced. Lines other than "y", "n"
// or an empty one are read past; the end of input counts as an empty answer.
bool ConfirmOverwrite(const std::string& DBPath) {
    ConsoleWrite(fmt::format("File \"{}\" exists. Overwrite (y/N)?", DBPath));
    ConsoleFlush();
    std::string line;
    for (;;) {
        if (!ConsoleReadLine(line)) return false;
        const std::string answer = LowerCase(line);
        if (answer.empty() || answer == "n") return false;
        if (answer == "y") return true;
    }
}

void WritePercent(int Percent) { ConsoleWrite(fmt::format("{:3d}%)", Percent)); }

// Copies one per-file database into the folder database, creating the folder manager
// for the first file.
// A source database of another schema version is left untouched and not merged (false):
// opening it through a manager would delete and re-create it, losing its rows.
bool MergeOneDatabase(const std::string& SourcePath, const std::string& DBPath,
                      std::unique_ptr<tIntelDBManager>& FolderManager) {
    tSQLiteConnection source = openDatabaseReadOnly(SourcePath);
    if (!IntelDBVersionIsCurrent(source)) return false;
    const tSourceFileDetails details = ReadSourceFileDetails(source);

    tIntelDBManager sourceManager(SourcePath, details.Filename, details.FileSize, details.FileDate,
                                  details.FirstFrameTime, details.LastFrameTime, true, false);
    if (!FolderManager) {
        FolderManager = std::make_unique<tIntelDBManager>(DBPath, details.Filename, details.FileSize,
                                                          details.FileDate, details.FirstFrameTime,
                                                          details.LastFrameTime, true, false);
    } else {
        FolderManager->AssignTraceFile(details.Filename, details.FileSize, details.FileDate,
                                       details.FirstFrameTime, details.LastFrameTime);
    }

    FolderManager->SetGeneralStatistics(sourceManager.GeneralStatistics());
    if (sourceManager.PCAPNGStructureScanned())
        FolderManager->writePCAPngStatisticsToDB(sourceManager.readPCAPngStatisticsFromDB());

    // The records pass through a fresh store per file, so records of different files are
    // never combined; they land under the folder database's own id of the file.
    tConversationStorage loaded;
    loaded.LoadFirstFileConversationsFromDatabase(source);
    tConversationStorage mergeStore;
    mergeStore.AddConversationsFromStore(loaded, 0);
    mergeStore.StoreConversationsToDatabase(FolderManager->Database(), details.Filename, details.FileSize,
                                            details.FileDate, details.FirstFrameTime, details.LastFrameTime);
    return true;
}

}  // namespace

std::string MergedDBNameFromCommandLine(const tCommandLine& CommandLine) {
    for (int i = 1; i <= CommandLine.Count(); ++i) {
        const std::string& arg = CommandLine.Param(i);
        if (!tCommandLine::IsSwitch(arg) || arg.size() < 2 || (arg[1] != 'd' && arg[1] != 'D')) continue;
        if (arg.size() > 2) {
            std::string_view rest = std::string_view(arg).substr(2);
            if (rest.front() == ':' || rest.front() == '=') rest.remove_prefix(1);
            return std::string(rest);
        }
        const std::string& next = CommandLine.Param(i + 1);
        return tCommandLine::IsSwitch(next) ? std::string() : next;
    }
    return {};
}

std::string FolderDBPath(const std::string& Folder, const std::string& MergedDBName) {
    return IncludeTrailingPathDelimiter(Folder) +
           (MergedDBName.empty() ? std::string(DefaultFolderDBName) : MergedDBName);
}

int mergeFolder(const std::string& FolderArgument, const std::string& MergedDBName) {
    tLogMethodScope scope("mergeFolder");
    const std::string dbpath = FolderDBPath(FolderArgument, MergedDBName);
    const std::string folder = IncludeTrailingPathDelimiter(FolderArgument);

    if (FileExists(dbpath)) {
        if (!ConfirmOverwrite(dbpath)) {
            ConsoleWriteLine("Merge aborted.");
            return ExitFailure;
        }
        // Replace, not add to: merging into the old file would store every file again.
        if (!DeleteFile(dbpath) || FileExists(dbpath)) {
            ConsoleWriteLine(fmt::format("Error: could not delete \"{}\"", dbpath));
            return ExitFailure;
        }
    }

    const std::string metaFolder = folder + std::string(MetaFolderName);
    tDirParser walker(DirectoryExists(metaFolder) ? metaFolder : folder, "*.db", true);
    walker.execute();
    const int32_t count = walker.FileCount();

    if (count == 0) {
        ConsoleWriteLine(fmt::format("No vantrel DB files found at \"{}\".", folder));
        return ExitSuccess;
    }
    if (count == 1) {
        ConsoleWriteLine(fmt::format(
            "Only a single database file found at \"{}\", no merge required. Renaming to {}", folder, dbpath));
        if (!RenameFile(walker.getFileName(1), dbpath)) {
            ConsoleWriteLine("Rename failed");
            return ExitFailure;
        }
        return ExitSuccess;
    }

    ConsoleWrite(fmt::format("Merging {} DB files into \"{}\" (", count, dbpath));
    WritePercent(0);
    ConsoleFlush();
    int shown = 0;
    int32_t processed = 0;
    const std::string lowerDBPath = LowerCase(dbpath);
    std::unique_ptr<tIntelDBManager> folderManager;
    std::vector<std::string> outdated;
    for (int32_t index = 1; index <= count; ++index) {
        const std::string source = walker.getFileName(index);
        if (LowerCase(source) == lowerDBPath) continue;
        ++processed;
        if (!MergeOneDatabase(source, dbpath, folderManager)) outdated.push_back(source);
        const int percent = static_cast<int>(static_cast<int64_t>(processed) * 100 / count);
        if (percent > shown) {
            shown = percent;
            ConsoleBackspaces(5);
            WritePercent(percent);
            ConsoleFlush();
        }
    }
    ConsoleBackspaces(5);
    ConsoleWriteLine("100%)");
    if (folderManager) folderManager->Disconnect();
    for (const std::string& source : outdated)
        ConsoleWriteLine(fmt::format("Skipped \"{}\": database version is not current, scan its capture again",
                                     source));
    return outdated.empty() ? ExitSuccess : ExitFailure;
}

}  // namespace morwick
