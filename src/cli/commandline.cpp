#include "cli/commandline.h"

#include "platform/console.h"
#include "platform/filesystem.h"

namespace morwick {
namespace {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && LowerCase(a) == LowerCase(b);
}

}  // namespace

tCommandLine::tCommandLine(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) priv_args.emplace_back(argv[i]);
}

const std::string& tCommandLine::Param(int index) const {
    static const std::string empty;
    if (index < 1 || index > Count()) return empty;
    return priv_args[static_cast<size_t>(index - 1)];
}

bool tCommandLine::IsSwitch(std::string_view arg) {
    return !arg.empty() && (arg.front() == '/' || arg.front() == '-');
}

bool tCommandLine::FindSwitch(std::string_view name) const {
    for (const std::string& arg : priv_args)
        if (IsSwitch(arg) && EqualsIgnoreCase(std::string_view(arg).substr(1), name)) return true;
    return false;
}

bool tCommandLine::FindValueSwitch(std::string_view name, std::string& value) const {
    value.clear();
    for (size_t i = 0; i < priv_args.size(); ++i) {
        const std::string_view arg = priv_args[i];
        if (!IsSwitch(arg) || arg.size() < 1 + name.size() ||
            !EqualsIgnoreCase(arg.substr(1, name.size()), name))
            continue;
        if (arg.size() > 1 + name.size()) {
            std::string_view rest = arg.substr(1 + name.size());
            if (rest.front() == ':') rest.remove_prefix(1);
            value.assign(rest);
        } else if (i + 1 < priv_args.size() && !IsSwitch(priv_args[i + 1])) {
            value = priv_args[i + 1];
        }
        return true;
    }
    return false;
}

std::string_view UsageText() {
    return "Morwick version 0.6\n"
           "\n"
           "Usage: morwick <command> <filename|path> [options]\n"
           "\n"
           "Commands\n"
           "scan     scan trace files into conversation db. Files with exiting, current\n"
           "         db files will be skipped by default for path scans\n"
           "merge    merges per file DBs into the folder DB\n"
           "\n"
           "Options\n"
           "/r                 recursive scan\n"
           "/f                 force scan, overwriting existing DB files\n"
           "/m                 merge after complete scan\n"
           "/l4                Scan up to layer 4 only\n"
           "/d=<filename>      set name for merged DB file (default: \".pcapintel.db\")\n"
           "\n";
}

void printUsage() {
    ConsoleWrite(UsageText());
    ConsoleFlush();
}

}  // namespace morwick
