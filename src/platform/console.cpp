#include "platform/console.h"

#include <cstdio>

namespace morwick {

void ConsoleWrite(std::string_view text) {
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stdout);
}

void ConsoleWriteLine(std::string_view text) {
    ConsoleWrite(text);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void ConsoleFlush() { std::fflush(stdout); }

void ConsoleBackspaces(int count) {
    for (int i = 0; i < count; ++i) std::fputc(Backspace, stdout);
}

bool ConsoleReadLine(std::string& line) {
    line.clear();
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(stdin)) != EOF) {
        any = true;
        if (c == '\n') break;
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}

}  // namespace morwick
