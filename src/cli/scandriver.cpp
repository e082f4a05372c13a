#include "cli/scandriver.h"

#include <fmt/format.h>

#include <algorithm>
#include <thread>
#include <exception>
#include <memory>

#include "base/errors.h"
#include "base/rawframe.h"
#include "base/timestamps.h"
#include "loader/traceloader.h"
#include "storage/conversationstorage.h"
#include "storage/inteldb_manager.h"
#include "cli/filedetails.h"
#include "cli/folderscan.h"
#include "cli/merge.h"
#include "platform/console.h"
#include "platform/debuglog.h"
#include "platform/filesystem.h"
#include "platform/interrupt.h"

namespace morwick {
namespace {

constexpr int ProgressEveryFrames = 1000;
// Frames whose records the store merges together (their lookups overlap in memory); with
// a second processor the merges run on a thread of their own, a group at a time.
constexpr int32_t ScanFrameGroup = 16;
constexpr int32_t ScanFrameGroupThreaded = 256;
// A meta database is written under this suffix and renamed into place once complete, so
// that a scan ended by an error never leaves a database that looks finished.
constexpr std::string_view PartialDBSuffix = ".part";

void WritePercent(int percent) { ConsoleWrite(fmt::format("{:3d}%)", percent)); }

// Writes the file row, the statistics and the conversations of a scanned file into a new
// database at DBFileName. On any error the partial database is removed and the error
// passed on.
void StoreScanResults(const std::string& DBFileName, const std::string& FileName, const tFileDetails& Details,
                      const tGeneralTraceStats& Stats, tConversationStorage& Storage) {
    const std::string part = DBFileName + std::string(PartialDBSuffix);
    if (FileExists(part) && !DeleteFile(part))
        throw tAssertionError(fmt::format("Could not delete \"{}\"", part));
    // Interrupted by the user (Ctrl+C) while writing, the program removes the partial file.
    const tRemoveOnInterrupt interrupted(part);
    try {
        tIntelDBManager manager(part, FileName, Details.FileSize, Details.FileModified, Stats.FirstFrameTime,
                                Stats.LastFrameTime, true, false);
        manager.SetGeneralStatistics(Stats);
        LogDebug("Scan complete, storing results");
        if (!Storage.StoreConversationsToDatabase(manager.Database(), FileName, Details.FileSize,
                                                  Details.FileModified, Stats.FirstFrameTime, Stats.LastFrameTime))
            throw tAssertionError(
                fmt::format("File \"{}\" not registered in its database (scanfile)", FileName));
        manager.Disconnect();
        if (!RenameFile(part, DBFileName))
            throw tInOutError(fmt::format("Could not rename \"{}\" to \"{}\" (scanfile)", part, DBFileName));
    } catch (...) {
        DeleteFile(part);
        throw;
    }
}

// The folder part of a path, or the current directory when it has none.
std::string FolderOf(const std::string& FileName) {
    std::string folder = ExtractFilePath(FileName);
    return folder.empty() ? GetCurrentDir() : folder;
}

}  // namespace

std::string MetaDBPath(const std::string& FileName) {
    const std::string metaFolder = FolderOf(FileName) + std::string(MetaFolderName);
    if (DirectoryExists(metaFolder))
        return metaFolder + PathDelimiter + ChangeFileExt(ExtractFileName(FileName), ".db");
    return ChangeFileExt(FileName, ".db");
}

void tScanProgress::Start() {
    priv_Shown = 0;
    ConsoleWrite(" (");
    WritePercent(0);
    ConsoleFlush();
}

void tScanProgress::FrameDone(int64_t Count, int64_t BytesRead) {
    if (Count <= 0 || Count % ProgressEveryFrames != 0 || priv_FileSize <= 0) return;
    const int64_t read = std::clamp<int64_t>(BytesRead, 0, priv_FileSize);
    // Divide first where needed so the product cannot overflow for the largest files.
    const int64_t percent = read <= INT64_MAX / 100 ? read * 100 / priv_FileSize
                                                    : read / (priv_FileSize / 100);
    const int p = static_cast<int>(std::min<int64_t>(percent, 100));
    if (p <= priv_Shown) return;
    priv_Shown = p;
    ConsoleBackspaces(5);
    WritePercent(p);
    ConsoleFlush();
}

void tScanProgress::Finish() {
    ConsoleBackspaces(6);
    ConsoleWriteLine("- storing results to database");
}

void tScanProgress::UnknownFormat() { ConsoleWriteLine(" - unknown file format, skipped"); }

bool scanfile(const std::string& FileName, bool UpToLayer4) {
    tLogMethodScope scope("scanfile");
    LogVerbose(fmt::format("Scanning \"{}\"", FileName));

    const std::string current = GetCurrentDir();
    const std::string lowerName = LowerCase(FileName);
    const size_t at = current.empty() ? std::string::npos : lowerName.find(LowerCase(current));
    const std::string shown = at == std::string::npos ? FileName : FileName.substr(at + current.size());
    ConsoleWrite(fmt::format("Scanning \"{}\"", shown));
    ConsoleFlush();

    const std::string metaFolder = FolderOf(FileName) + std::string(MetaFolderName);
    if (!DirectoryExists(metaFolder)) ForceDirectories(metaFolder);

    tFileDetails details;
    details.Determine(FileName, false);

    const std::string db = MetaDBPath(FileName);
    if (FileExists(db)) {
        DeleteFile(db);
        if (FileExists(db)) throw tAssertionError(fmt::format("Could not delete \"{}\"", db));
    }

    std::unique_ptr<tTraceLoader> loader = createTraceLoader(FileName, 0, cfUnknown);

    tGeneralTraceStats stats;
    InitTraceStats(stats);
    tScanProgress progress(details.FileSize);
    progress.Start();
    if (!loader) {
        progress.UnknownFormat();
        return false;
    }

    tConversationStorage storage;
    storage.setFrameParseMode(UpToLayer4 ? ppmUpToLayer4 : ppmParseAll);
    const bool mergeThread = std::thread::hardware_concurrency() > 1;
    storage.setFrameGroupSize(mergeThread ? ScanFrameGroupThreaded : ScanFrameGroup);
    storage.setMergeThread(mergeThread);

    loader->SetMaxFramesInMem(ScanBatchFrames);
    loader->openFile();  // a file it cannot open fails the header check with its own message
    loader->readTraceFileheader();
    // The progress measures file bytes against the size of the file the loader mapped.
    progress.SetFileSize(loader->Filesize());
    int64_t count = 0;
    for (;;) {
        loader->readBatchFromDisk();
        const int32_t available = loader->FramesAvailable();
        if (available == 0) break;
        for (int32_t index = 1; index <= available; ++index) {
            const tRawFrame frame = loader->getRawFrame(index);
            ++count;
            UpdateTraceStats(stats, frame);
            storage.AddFrame(frame);
            // Bytes read so far end where the next record of the batch starts, or at the
            // loader's read position after the batch's last frame.
            const int64_t bytesRead =
                index < available ? loader->FrameAt(index + 1).FileOffset() : loader->Position();
            progress.FrameDone(count, bytesRead);
        }
    }
    storage.FlushFrameGroup();
    FinishTraceStats(stats, count);
    progress.Finish();
    // The loader's mapped view is not needed any more while the database is written.
    loader.reset();
    StoreScanResults(db, FileName, details, stats, storage);
    return true;
}

int RunMain(const tCommandLine& CommandLine) {
    tLogMethodScope scope("main");
    std::string command = LowerCase(CommandLine.Param(1));
    std::string fileArgument = CommandLine.Param(2);
    const bool upToLayer4 = CommandLine.FindSwitch("l4");

    if (!upToLayer4 && command == "scan") ConsoleWriteLine(AllLayersWarning);
    // A bare file name scans that file. Names are case-sensitive here, so the argument is
    // tested as typed.
    if (FileExists(CommandLine.Param(1))) {
        fileArgument = CommandLine.Param(1);
        command = "scan";
    }

    if (command == "scan") {
        if (FileExists(fileArgument)) return scanfile(fileArgument, upToLayer4) ? ExitSuccess : ExitFailure;
        if (fileArgument.find('*') == std::string::npos) {
            ConsoleWriteLine("Error: file not found");
            return ExitFailure;
        }
        return ScanFolder(fileArgument, FolderScanOptionsFromCommandLine(CommandLine));
    }
    if (command == "merge") {
        if (fileArgument.empty()) fileArgument = GetCurrentDir();
        if (!DirectoryExists(fileArgument)) return ExitFailure;
        return mergeFolder(fileArgument, MergedDBNameFromCommandLine(CommandLine));
    }
    ConsoleWriteLine(fmt::format("Error: command \"{}\" not recognized", CommandLine.Param(1)));
    return ExitFailure;
}

int RunEntry(const tCommandLine& CommandLine) {
    DebugLogOff();
    int status = ExitFailure;
    try {
        if (CommandLine.FindSwitch("smartdebug")) {
            const std::string& second = CommandLine.Param(2);
            DebugLogOn(!second.empty() && ExtractFileExt(second) == ".sil" ? second : std::string());
        }
        if (CommandLine.FindSwitch("h") || CommandLine.Count() == 0) {
            printUsage();
            status = ExitSuccess;
        } else {
            status = RunMain(CommandLine);
        }
    } catch (const tMorwickError& e) {
        ConsoleEndOpenLine();
        ConsoleWriteLine(fmt::format("{}: {}", e.KindName(), e.what()));
        status = ExitFailure;
    } catch (const std::exception& e) {
        ConsoleEndOpenLine();
        ConsoleWriteLine(fmt::format("Exception: {}", e.what()));
        status = ExitFailure;
    }
    ConsoleFlush();
    if (DebugLogEnabled()) DebugLogClose();
    return status;
}

}  // namespace morwick
