// Stopping an analysis from inside its long loops. The analysis calls the check once per step
// of every loop that can grow with the directory (values of an ACL, trustees, residents,
// equivalents, the merges); the check reads the front end's stop flag each time and, at
// least every kPollInterval of work, lets the front end process its events, so that a key
// pressed to stop the scan is seen while the entry is analysed.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "util/Platform.h"

namespace trovalen {

// Thrown by TCancelCheck when the flag is set; the analysis catches it and ends its result
// there. No std::exception: nothing else is meant to catch it.
struct EAnalysisCancelled {};

class TCancelCheck {
public:
    // The events of the front end are let through this often while a loop runs.
    static constexpr std::chrono::milliseconds kPollInterval{50};
    // The clock is read every this many checks: steps of CPU-bound loops take well under a
    // microsecond, those with a directory read a few milliseconds.
    static constexpr uint32_t kClockEvery = 16;

    // flag null: the analysis cannot be stopped, and the check only lets events through.
    explicit TCancelCheck(const std::atomic<bool>* flag) : FFlag(flag) {}

    // Throws EAnalysisCancelled when the flag is set.
    void operator()() {
        ++FChecks;
        if (FChecks % kClockEvery == 0) {
            const auto now = std::chrono::steady_clock::now();
            if (now - FLastPoll >= kPollInterval) {
                FLastPoll = now;
                U_ProcessMessages();
            }
        }
        if (Requested())
            throw EAnalysisCancelled{};
    }

    bool Requested() const { return FFlag != nullptr && FFlag->load(std::memory_order_relaxed); }
    uint64_t Checks() const { return FChecks; }

private:
    const std::atomic<bool>* FFlag;
    uint64_t FChecks = 0;
    std::chrono::steady_clock::time_point FLastPoll = std::chrono::steady_clock::now();
};

} // namespace trovalen
