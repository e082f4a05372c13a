#include "platform/interrupt.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace morwick {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr size_t kMaxPath = PATH_MAX + 16;

// Read by the handler: plain buffers, filled before the handler is armed.
char g_path[kMaxPath];
char g_journal[kMaxPath];
volatile sig_atomic_t g_armed = 0;
struct sigaction g_previous[3];

extern "C" void RemoveAndReraise(int Signal) {
    if (g_armed) {
        ::unlink(g_path);
        ::unlink(g_journal);
    }
    ::signal(Signal, SIG_DFL);
    ::raise(Signal);
}

}  // namespace

tRemoveOnInterrupt::tRemoveOnInterrupt(const std::string& Path) {
    g_armed = 0;
    if (Path.size() + sizeof("-journal") > kMaxPath) return;  // no such path can be written anyway
    std::memcpy(g_path, Path.c_str(), Path.size() + 1);
    std::memcpy(g_journal, Path.c_str(), Path.size());
    std::memcpy(g_journal + Path.size(), "-journal", sizeof("-journal"));
    struct sigaction action {};
    action.sa_handler = RemoveAndReraise;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < 3; ++i) ::sigaction(kSignals[i], &action, &g_previous[i]);
    g_armed = 1;
}

tRemoveOnInterrupt::~tRemoveOnInterrupt() {
    if (!g_armed) return;
    g_armed = 0;
    for (size_t i = 0; i < 3; ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
}

}  // namespace morwick
