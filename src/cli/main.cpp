#include <cstdio>

// Placeholder entry until the command line arrives: prints the usage text.
int main() {
    std::fputs(
        "Morwick version 0.6\n\nUsage: morwick <command> <filename|path> [options]\n\nCommands\n"
        "scan     scan trace files into conversation db. Files with exiting, current\n"
        "         db files will be skipped by default for path scans\n"
        "merge    merges per file DBs into the folder DB\n\nOptions\n"
        "/r                 recursive scan\n"
        "/f                 force scan, overwriting existing DB files\n"
        "/m                 merge after complete scan\n"
        "/l4                Scan up to layer 4 only\n"
        "/d=<filename>      set name for merged DB file (default: \".pcapintel.db\")\n\n",
        stdout);
    return 0;
}
