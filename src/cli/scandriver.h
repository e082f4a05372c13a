#pragma once
// The program's commands: the entry with its error handler, the command dispatch and the
// scan of one capture file with its progress line.
#include <cstdint>
#include <string>
#include <string_view>

#include "cli/commandline.h"

namespace morwick {

inline constexpr std::string_view AllLayersWarning =
    "Warning: scanning all layers might crash at some point. Use the /l4 parameter as a "
    "workaround if it happens";
inline constexpr std::string_view MetaFolderName = ".pcapmeta";
// Frames per loader batch: bounds the frames held in memory at once. A batch this small
// (a few MB of frame copies; the loader also ends a batch at 16 MiB) is still in the
// processor's cache when the frames are parsed, and keeps a scan's memory low.
inline constexpr int32_t ScanBatchFrames = 4096;

// Exit statuses of the program.
inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1;

// The meta database of a capture file: in the ".pcapmeta" folder beside the file when that
// folder exists, else beside the file itself; in both cases the file name with ".db" as
// its extension. A name without folder part lies in the current directory.
std::string MetaDBPath(const std::string& FileName);

// The progress line of a file scan: " (  0%)" after the file name, rewritten in place.
// The percentage is the share of the file's bytes read, checked once per 1000 frames and
// written only when it grows; it never passes 100.
class tScanProgress {
public:
    explicit tScanProgress(int64_t FileSize) : priv_FileSize(FileSize) {}
    void SetFileSize(int64_t FileSize) { priv_FileSize = FileSize; }
    // Writes " (  0%)" and flushes.
    void Start();
    // After each frame: Count frames done so far, BytesRead file bytes consumed by them.
    void FrameDone(int64_t Count, int64_t BytesRead);
    // Steps back over "(nnn%)" and ends the line with the storing text.
    void Finish();
    // Ends the line of a file whose format is not recognised.
    void UnknownFormat();
    int Shown() const { return priv_Shown; }

private:
    int64_t priv_FileSize;
    int priv_Shown = 0;
};

// Scans one capture file. False when the file's format is not recognised (nothing is
// stored for it). Loader errors propagate to the caller.
bool scanfile(const std::string& FileName, bool UpToLayer4);

// The command dispatch; returns the exit status.
int RunMain(const tCommandLine& CommandLine);
// The program entry: debug log, usage text or the dispatch, and the one error handler.
int RunEntry(const tCommandLine& CommandLine);

}  // namespace morwick
