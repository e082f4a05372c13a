// Runs the built program in a temporary folder and checks its console output byte for
// byte and its exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/commandline.h"
#include "cli/scandriver.h"
#include "test_support.h"

using namespace morwick;
using namespace morwick::testing;
namespace fs = std::filesystem;

namespace {

const std::string Warning = std::string(AllLayersWarning) + "\n";

struct tProgramCase {
    const char* name;
    std::vector<std::string> args;
    std::string output;
    int status;
};

}  // namespace

TEST(Program, MessagesAndExitStatuses) {
    const std::string usage(UsageText());
    const tProgramCase cases[] = {
        {"no arguments", {}, usage, 0},
        {"/h alone", {"/h"}, usage, 0},
        {"-H after a command", {"scan", "missing.pcap", "-H"}, usage, 0},
        {"/h wins over an unknown command", {"Frobnicate", "/h"}, usage, 0},
        {"unknown command as typed", {"Frobnicate"}, "Error: command \"Frobnicate\" not recognized\n", 1},
        {"switch in the command position", {"/l4", "scan"}, "Error: command \"/l4\" not recognized\n", 1},
        {"scan of a missing file warns first", {"scan", "missing.pcap"}, Warning + "Error: file not found\n", 1},
        {"/l4 drops the warning", {"scan", "missing.pcap", "/l4"}, "Error: file not found\n", 1},
        {"switch before the command", {"-L4", "SCAN", "missing.pcap"}, "Error: command \"-L4\" not recognized\n", 1},
        {"command letter case ignored", {"Scan", "missing.pcap", "-L4"}, "Error: file not found\n", 1},
        {"the file argument is the second one", {"scan", "/l4"}, "Error: file not found\n", 1},
        {"merge of a missing folder is silent", {"merge", "no-such-folder"}, "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tTempFolder dir;
        const auto result = RunMorwick(dir.Path(), c.args);
        EXPECT_EQ(result.Output, c.output);
        EXPECT_EQ(result.Status, c.status);
    }
}

TEST(Program, UsageTextHasSixteenLines) {
    const std::string usage(UsageText());
    EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 16);
    EXPECT_TRUE(usage.starts_with("Morwick version 0.6\n\nUsage: morwick <command> <filename|path> [options]\n"));
    EXPECT_TRUE(usage.ends_with(
        "/d=<filename>      set name for merged DB file (default: \".pcapintel.db\")\n\n"));
}

TEST(Program, UnknownFormatEndsTheLineAndFails) {
    struct tCase {
        const char* name;
        std::vector<std::string> args;
        std::string before;
    };
    const tCase cases[] = {
        {"bare file name: no warning", {"notes.bin"}, ""},
        {"scan command: warning first", {"scan", "notes.bin"}, Warning},
        {"scan with /l4", {"scan", "notes.bin", "/l4"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tTempFolder dir;
        WriteFile(dir / "notes.bin", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'});
        const auto result = RunMorwick(dir.Path(), c.args);
        EXPECT_EQ(result.Output,
                  c.before + "Scanning \"notes.bin\" (  0%) - unknown file format, skipped\n");
        EXPECT_EQ(result.Status, 1);
        EXPECT_TRUE(fs::is_directory(dir / ".pcapmeta"));
        EXPECT_FALSE(fs::exists(dir / ".pcapmeta/notes.db"));
    }
}

TEST(Program, FileNamesAreCaseSensitive) {
    tTempFolder dir;
    WriteFile(dir / "Notes.bin", {'x', 'y', 'z', 'w'});
    // The lower-cased text names no file on this system, so it is taken as a command.
    auto result = RunMorwick(dir.Path(), {"notes.bin"});
    EXPECT_EQ(result.Output, "Error: command \"notes.bin\" not recognized\n");
    EXPECT_EQ(result.Status, 1);
    result = RunMorwick(dir.Path(), {"Notes.bin"});
    EXPECT_EQ(result.Output, "Scanning \"Notes.bin\" (  0%) - unknown file format, skipped\n");
}

TEST(Program, ShownNameDropsTheCurrentFolder) {
    tTempFolder dir;
    fs::create_directories(dir / "sub");
    WriteFile(dir / "sub/odd.bin", {'a', 'b', 'c', 'd', 'e'});
    // An absolute name inside the working folder is shown relative to it; the database
    // folder goes beside the file.
    const auto result = RunMorwick(dir.Path(), {dir / "sub/odd.bin"});
    EXPECT_EQ(result.Output, "Scanning \"sub/odd.bin\" (  0%) - unknown file format, skipped\n");
    EXPECT_TRUE(fs::is_directory(dir / "sub/.pcapmeta"));
    EXPECT_FALSE(fs::exists(dir / ".pcapmeta"));
}

TEST(Program, DebugLogGoesToTheNamedSilFile) {
    tTempFolder dir;
    WriteFile(dir / "odd.bin", {'a', 'b', 'c', 'd', 'e'});
    auto result = RunMorwick(dir.Path(), {"Frobnicate", "trace.sil", "/smartdebug"});
    EXPECT_EQ(result.Output, "Error: command \"Frobnicate\" not recognized\n");
    ASSERT_TRUE(fs::exists(dir / "trace.sil"));
    EXPECT_GT(fs::file_size(dir / "trace.sil"), 0u);
    EXPECT_FALSE(fs::exists(dir / "morwick-debug.log"));

    result = RunMorwick(dir.Path(), {"odd.bin", "-SmartDebug"});
    EXPECT_EQ(result.Output, "Scanning \"odd.bin\" (  0%) - unknown file format, skipped\n");
    ASSERT_TRUE(fs::exists(dir / "morwick-debug.log"));
    std::ifstream log(dir / "morwick-debug.log");
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Scanning \"odd.bin\""), std::string::npos);

    // Without the switch no log file appears.
    tTempFolder quiet;
    WriteFile(quiet / "odd.bin", {'a', 'b', 'c', 'd', 'e'});
    RunMorwick(quiet.Path(), {"odd.bin"});
    EXPECT_FALSE(fs::exists(quiet / "morwick-debug.log"));
}

namespace {

std::string Backspaces(int n) { return std::string(static_cast<size_t>(n), '\b'); }
std::string Update(int percent) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%3d", percent);
    return Backspaces(5) + digits + "%)";
}
const std::string Storing = Backspaces(6) + "- storing results to database\n";

}  // namespace

TEST(Program, ScanProgressLines) {
    // 60-byte frames: a 24-byte file header and 76 bytes per record, so after frame k the
    // loader has read 24 + 76k of 24 + 76n bytes.
    std::string countUp;
    for (int p = 1; p <= 100; ++p) countUp += Update(p);
    struct tCase {
        int frames;
        std::string updates;
    };
    const tCase cases[] = {
        {999, ""},
        {2500, Update(40) + Update(80)},
        {100000, countUp},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames);
        tTempFolder dir;
        WriteFile(dir / "f.pcap", MakePcap(c.frames));
        const auto result = RunMorwick(dir.Path(), {"scan", "f.pcap", "/l4"});
        EXPECT_EQ(result.Output, "Scanning \"f.pcap\" (  0%)" + c.updates + Storing);
        EXPECT_EQ(result.Status, 0);
        EXPECT_TRUE(fs::is_directory(dir / ".pcapmeta"));
    }
}

TEST(Program, ScanReplacesAnOldDatabase) {
    tTempFolder dir;
    WriteFile(dir / "f.pcap", MakePcap(3));
    fs::create_directories(dir / ".pcapmeta");
    WriteFile(dir / ".pcapmeta/f.db", {'o', 'l', 'd'});
    const auto result = RunMorwick(dir.Path(), {"f.pcap"});
    EXPECT_EQ(result.Output, "Scanning \"f.pcap\" (  0%)" + Storing);
    EXPECT_EQ(result.Status, 0);
    EXPECT_FALSE(fs::exists(dir / ".pcapmeta/f.db") && fs::file_size(dir / ".pcapmeta/f.db") == 3);
}

TEST(Program, LoaderErrorEndsTheRunOnItsOwnLine) {
    struct tCase {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string message;
    };
    const tCase cases[] = {
        {"pcap header cut short", {0xD4, 0xC3, 0xB2, 0xA1, 2, 0, 4, 0},
         "EInOutError: Error: PCAP file too short (PCAPLoader.readTraceFileheader).\n"},
        {"unsupported version",
         {0xD4, 0xC3, 0xB2, 0xA1, 1, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 1, 0, 0, 0},
         "EInOutError: Error: Unsupported PCAP version (PCAPLoader.readTraceFileheader).\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tTempFolder dir;
        WriteFile(dir / "bad.cap", c.bytes);
        const auto result = RunMorwick(dir.Path(), {"bad.cap"});
        const std::string head = "Scanning \"bad.cap\" (  0%)\n";
        ASSERT_TRUE(result.Output.starts_with(head)) << result.Output;
        EXPECT_EQ(result.Output.substr(head.size()), c.message);
        EXPECT_EQ(result.Status, 1);
        EXPECT_FALSE(fs::exists(dir / ".pcapmeta/bad.db"));
    }
}
