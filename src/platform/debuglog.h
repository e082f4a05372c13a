#pragma once
// The debug log of the program ("smartdebug"). It runs over spdlog's default logger, which
// the loaders and the raw frame use directly: while the log is off that logger stays at
// level "off", so nothing reaches the console; when it is on, the default logger writes to
// a file.
#include <string>
#include <string_view>

namespace morwick {

inline constexpr std::string_view DefaultDebugLogName = "morwick-debug.log";

// Sets spdlog's default logger to level "off". Called first thing by the program entry.
void DebugLogOff();
// Makes a file logger the default logger at the lowest level. An empty name writes to
// DefaultDebugLogName in the current directory. Returns false (and leaves the log off)
// when the file cannot be opened.
bool DebugLogOn(const std::string& fileName);
bool DebugLogEnabled();
// Flushes and closes the log file (the default logger is set to level "off" again).
void DebugLogClose();

void LogEnterMethod(std::string_view method);
void LogLeaveMethod(std::string_view method);
void LogVerbose(std::string_view text);  // spdlog trace
void LogDebug(std::string_view text);
void LogWarning(std::string_view text);
void LogFatal(std::string_view text);    // spdlog critical

// Logs enter on construction and leave on destruction (also when an error unwinds).
class tLogMethodScope {
public:
    explicit tLogMethodScope(std::string_view method) : priv_method(method) {
        LogEnterMethod(priv_method);
    }
    ~tLogMethodScope() { LogLeaveMethod(priv_method); }
    tLogMethodScope(const tLogMethodScope&) = delete;
    tLogMethodScope& operator=(const tLogMethodScope&) = delete;

private:
    std::string_view priv_method;
};

}  // namespace morwick
