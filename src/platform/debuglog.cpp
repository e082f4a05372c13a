#include "platform/debuglog.h"

#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include "platform/filesystem.h"

namespace morwick {
namespace {

bool g_enabled = false;

}  // namespace

void DebugLogOff() {
    g_enabled = false;
    spdlog::set_level(spdlog::level::off);
}

bool DebugLogOn(const std::string& fileName) {
    const std::string path =
        fileName.empty() ? GetCurrentDir() + std::string(DefaultDebugLogName) : fileName;
    try {
        auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(path, true);
        auto logger = std::make_shared<spdlog::logger>("morwick", std::move(sink));
        logger->set_pattern("%Y-%m-%d %H:%M:%S.%e [%l] %v");
        logger->set_level(spdlog::level::trace);
        logger->flush_on(spdlog::level::warn);
        spdlog::set_default_logger(std::move(logger));
        g_enabled = true;
    } catch (const spdlog::spdlog_ex&) {
        DebugLogOff();
    }
    return g_enabled;
}

bool DebugLogEnabled() { return g_enabled; }

void DebugLogClose() {
    if (auto logger = spdlog::default_logger()) logger->flush();
    // Replacing the default logger releases the file sink.
    spdlog::set_default_logger(std::make_shared<spdlog::logger>("morwick"));
    DebugLogOff();
}

void LogEnterMethod(std::string_view method) {
    if (g_enabled) spdlog::debug("Enter {}", method);
}
void LogLeaveMethod(std::string_view method) {
    if (g_enabled) spdlog::debug("Leave {}", method);
}
void LogVerbose(std::string_view text) { spdlog::trace("{}", text); }
void LogDebug(std::string_view text) { spdlog::debug("{}", text); }
void LogWarning(std::string_view text) { spdlog::warn("{}", text); }
void LogFatal(std::string_view text) { spdlog::critical("{}", text); }

}  // namespace morwick
