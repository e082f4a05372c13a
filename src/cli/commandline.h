#pragma once
// Command-line access: positional arguments and switches. An argument is a switch when it
// starts with "/" or "-"; switch names are compared without regard to case and may stand
// anywhere, but the command and the file argument are always the first two arguments.
#include <string>
#include <string_view>
#include <vector>

namespace morwick {

class tCommandLine {
public:
    tCommandLine() = default;
    // The arguments without the program name.
    explicit tCommandLine(std::vector<std::string> args) : priv_args(std::move(args)) {}
    tCommandLine(int argc, const char* const* argv);

    int Count() const { return static_cast<int>(priv_args.size()); }
    // The index-th argument, counted from 1; "" outside 1 to Count().
    const std::string& Param(int index) const;

    // A plain switch: the text after the switch character equals name.
    bool FindSwitch(std::string_view name) const;
    // A value switch: the text after the switch character begins with name. The value is
    // the rest of that argument after the name (one leading ":" dropped) or, when nothing
    // follows the name, the next argument unless it is a switch itself.
    bool FindValueSwitch(std::string_view name, std::string& value) const;

    static bool IsSwitch(std::string_view arg);

private:
    std::vector<std::string> priv_args;
};

// The usage text, 16 lines each ending in a line end.
std::string_view UsageText();
void printUsage();

}  // namespace morwick
