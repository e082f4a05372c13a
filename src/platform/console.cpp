#include "platform/console.h"

#include <cstdio>

namespace morwick {
namespace {

bool g_lineOpen = false;

}  // namespace

void ConsoleWrite(std::string_view text) {
    if (text.empty()) return;
    std::fwrite(text.data(), 1, text.size(), stdout);
    g_lineOpen = text.back() != '\n';
}

void ConsoleWriteLine(std::string_view text) {
    ConsoleWrite(text);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    g_lineOpen = false;
}

void ConsoleEndOpenLine() {
    if (g_lineOpen) ConsoleWriteLine();
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
