#include "util/SignalCleanup.h"

#include <csignal>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace trovalen {

namespace {

constexpr int kMaxFiles = 16;
constexpr size_t kMaxPath = 1024;

// The handler reads these while the program may be writing them: a slot is filled before it is
// marked used, and marked unused before it is cleared.
char gPaths[kMaxFiles][kMaxPath];
volatile sig_atomic_t gUsed[kMaxFiles];
std::mutex gLock; // between threads that list files; the handler takes no lock

extern "C" void RemoveListedFiles(int sig) {
    const int saved = errno;
    for (int i = 0; i < kMaxFiles; ++i)
        if (gUsed[i])
            unlink(gPaths[i]);
    errno = saved;
    // The signal then ends the program as it would have without the handler.
    signal(sig, SIG_DFL);
    raise(sig);
}

void InstallOnce() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    for (int sig : {SIGTERM, SIGINT}) {
        struct sigaction old {};
        // A signal the program ignores (started with nohup, say) stays ignored.
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        struct sigaction act {};
        act.sa_handler = RemoveListedFiles;
        sigemptyset(&act.sa_mask);
        sigaction(sig, &act, nullptr);
    }
}

} // namespace

bool U_RemoveOnSignal(const std::string& path) {
    if (path.empty() || path.size() >= kMaxPath)
        return false;
    std::lock_guard<std::mutex> lock(gLock);
    InstallOnce();
    for (int i = 0; i < kMaxFiles; ++i) {
        if (gUsed[i])
            continue;
        std::memcpy(gPaths[i], path.c_str(), path.size() + 1);
        gUsed[i] = 1;
        return true;
    }
    return false;
}

void U_ForgetOnSignal(const std::string& path) {
    std::lock_guard<std::mutex> lock(gLock);
    for (int i = 0; i < kMaxFiles; ++i) {
        if (gUsed[i] && path == gPaths[i]) {
            gUsed[i] = 0;
            gPaths[i][0] = '\0';
        }
    }
}

} // namespace trovalen
