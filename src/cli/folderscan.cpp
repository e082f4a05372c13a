#include "cli/folderscan.h"

#include <fmt/format.h>

#include <exception>

#include "base/errors.h"
#include "cli/dbcheck.h"
#include "cli/dirparser.h"
#include "cli/merge.h"
#include "cli/scandriver.h"
#include "platform/console.h"
#include "platform/debuglog.h"
#include "platform/filesystem.h"

namespace morwick {
namespace {

// Removes whatever a failed scan left of the file's database.
void RemovePartialDB(const std::string& FileName) {
    const std::string db = MetaDBPath(FileName);
    if (FileExists(db)) DeleteFile(db);
    const std::string journal = db + "-journal";
    if (FileExists(journal)) DeleteFile(journal);
}

void ReportFailedFile(const std::string& FileName, std::string_view Kind, std::string_view Message) {
    ConsoleEndOpenLine();
    ConsoleWriteLine(fmt::format("{}: {} (file \"{}\")", Kind, Message, FileName));
}

}  // namespace

tFolderScanOptions FolderScanOptionsFromCommandLine(const tCommandLine& CommandLine) {
    tFolderScanOptions options;
    options.Recursive = CommandLine.FindSwitch("r");
    options.Force = CommandLine.FindSwitch("f");
    options.MergeAfter = CommandLine.FindSwitch("m");
    options.UpToLayer4 = CommandLine.FindSwitch("l4");
    options.MergedDBName = MergedDBNameFromCommandLine(CommandLine);
    return options;
}

bool MetaDBIsPresent(const std::string& DBFileName) {
    return FileExists(DBFileName) && !FileExists(ChangeFileExt(DBFileName, ".db-journal"));
}

int ScanFolder(const std::string& PathWithMask, const tFolderScanOptions& Options) {
    std::string folder = ExtractFilePath(PathWithMask);
    const std::string mask = ExtractFileName(PathWithMask);
    if (folder.empty() || !DirectoryExists(folder)) folder = GetCurrentDir();

    tDirParser walker(folder, mask, Options.Recursive);
    // Never scan the program's own databases, nor create database folders inside them.
    walker.setSkipFolderNames({std::string(MetaFolderName)});
    walker.execute();
    ConsoleWriteLine(fmt::format("Scanning {} files...", walker.FileCount()));

    bool force = Options.Force;
    bool anyFailed = false;
    for (int32_t index = 1; index <= walker.FileCount(); ++index) {
        const std::string file = walker.getFileName(index);
        const std::string db = MetaDBPath(file);
        const bool present = MetaDBIsPresent(db);
        if (present && DBIsOutDated(db)) {
            ConsoleWriteLine(fmt::format("File \"{}\" is outdated, updating", ExtractFileName(file)));
            if (!DeleteFile(db) || FileExists(db)) {
                ConsoleWriteLine(fmt::format("Error: could not delete \"{}\"", ExtractFileName(file)));
                return ExitFailure;
            }
            // Once one database is stale the rest of the run is rescanned as well.
            force = true;
        }
        if (present && !force) continue;
        // A journal left beside an unfinished database must not outlive it: SQLite would
        // take it for the journal of the new database.
        const std::string journal = ChangeFileExt(db, ".db-journal");
        if (FileExists(journal)) DeleteFile(journal);
        try {
            scanfile(file, Options.UpToLayer4);
        } catch (const tMorwickError& e) {
            ReportFailedFile(file, e.KindName(), e.what());
            RemovePartialDB(file);
            anyFailed = true;
        } catch (const std::exception& e) {
            ReportFailedFile(file, "Exception", e.what());
            RemovePartialDB(file);
            anyFailed = true;
        }
    }

    int status = ExitSuccess;
    if (Options.MergeAfter) status = mergeFolder(folder, Options.MergedDBName);
    return anyFailed ? ExitFailure : status;
}

}  // namespace morwick
