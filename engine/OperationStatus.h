// The run's progress record: the worker writes it, the display reads it, without a lock. Every
// field is atomic with relaxed access: the cost of a plain word, and no data race.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "format/CryptorCallback.h"  // InputDeletionMode, asked about there
#include "os/Progress.h"

namespace FCryptEng {

enum class OperationState : std::uint32_t {
    Idle = 0,
    Encrypting = 1,
    Decrypting = 2,
    Recycling = 3,
    Deleting = 4,
    Overwriting = 5,
    Eradicating = 6,
    Finished = 7,
    Failed = 8,
    // Reading the finished container back before anything is destroyed.
    Verifying = 9,
};

struct OperationStatus {
    OS::ByteWord inBytes{0};
    OS::ByteWord outBytes{0};
    OS::ByteWord itemSize{0};
    OS::ByteWord itemPlainSize{0};
    OS::ByteWord inDone{0};
    OS::ByteWord outDone{0};
    OS::ByteWord inTotal{0};
    OS::ByteWord plainTotal{0};
    OS::ProgressWord folderCount{0};
    OS::ProgressWord fileCount{0};
    OS::ProgressWord itemNumber{0};
    OS::ProgressWord itemPercent{0};
    OS::ProgressWord overallPercent{0};
    OS::ProgressWord state{0};
    // Full path of the current item, null between items; the text stays valid for the run.
    std::atomic<const char*> itemName{nullptr};
    OS::CancelFlag cancel{0};
    // Set by the application to hold the run at its next block; a gate, never a lost update.
    // Clear() leaves it alone: the application owns it, and a pause asked for just before a
    // run reaches its first block must still hold it.
    std::atomic<bool> paused{false};

    // The outcome in words. Written by the worker only; read by others only after the run has
    // ended (the runner's join orders the two).
    // Why the run failed, naming the file where there is one: "<file>: <reason>".
    std::string failure;
    // What the user asked for that could not be done in a run that otherwise finished (an
    // input kept, a file not written), one line each, naming the file and the reason.
    std::vector<std::string> warnings;

    // Every field to zero, the cancel flag included; the outcome texts emptied.
    void Clear();

    OperationState State() const { return OperationState(state.load(std::memory_order_relaxed)); }
    void SetState(OperationState s) { state.store(std::uint32_t(s), std::memory_order_relaxed); }
    bool Cancelled() const { return cancel.load(std::memory_order_relaxed) != 0; }
    void Cancel() { cancel.store(1, std::memory_order_relaxed); }
};

}  // namespace FCryptEng
