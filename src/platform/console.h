#pragma once
// Console output and input of the program. Progress is written without line ends and
// rewritten in place with backspaces, so every write that ends a visible step is flushed.
#include <string>
#include <string_view>

namespace morwick {

inline constexpr char Backspace = '\b';

// Writes text without a line end.
void ConsoleWrite(std::string_view text);
// Writes text and a line end, then flushes.
void ConsoleWriteLine(std::string_view text = {});
void ConsoleFlush();
// Writes count backspace characters.
void ConsoleBackspaces(int count);
// Ends a line that earlier writes left open (progress), so the next text starts a line.
void ConsoleEndOpenLine();
// Reads one line from standard input without its line end; false at the end of input.
bool ConsoleReadLine(std::string& line);

}  // namespace morwick
