// The application's side of the engine: owns one driver at a time, the status record it fills,
// the callback through which it asks the user, and the worker thread that runs it. The pages
// hand every piece of a request to it; the progress display polls it through snapshots.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/core/Handover.h"
#include "app/core/HandoverQuestions.h"
#include "app/core/Questions.h"
#include "app/core/Strings.h"
#include "app/core/WizardCallback.h"
#include "engine/FileCryptor.h"
#include "engine/OperationStatus.h"
#include "format/RecoverySource.h"

namespace App {

// The status record as the display shows it, taken at one moment.
struct Snapshot {
    std::uint64_t readSoFar = 0;     // inDone + inBytes
    std::uint64_t readTotal = 0;     // inTotal
    std::uint64_t writtenSoFar = 0;  // outDone + outBytes
    std::uint64_t writeTotal = 0;    // plainTotal
    std::uint64_t itemRead = 0;
    std::uint64_t itemSize = 0;
    std::uint64_t itemWritten = 0;
    std::uint64_t itemOutSize = 0;
    std::uint32_t itemPercent = 0;
    std::uint32_t overallPercent = 0;
    std::uint32_t folderCount = 0;
    std::uint32_t fileCount = 0;
    std::uint32_t itemNumber = 0;
    FCryptEng::OperationState state = FCryptEng::OperationState::Idle;
    std::string itemName;
    // Since the start; fixed once the run has ended.
    std::uint32_t elapsedMs = 0;
    // Files destroyed without a container: nothing is read or written.
    bool shredding = false;
};

class OperationRunner {
  public:
    // The header of a plain container.
    static constexpr const char* kTextHeader = Text(StringId::TextHeader);

    // The decrypt-only program written at the head of a self-decrypting container, handed over
    // by the program that carries it before any run; it must outlive every runner.
    struct ProgramImage {
        const std::uint8_t* bytes = nullptr;
        std::size_t size = 0;
    };
    // The system the decrypt-only program runs on; the numbers are the setting's values.
    enum class Platform : int { Windows = 0, Linux = 1 };
    static void SetStandAloneImage(Platform platform, ProgramImage image);
    static bool HasStandAloneImage(Platform platform);
    static ProgramImage StandAloneImage(Platform platform);
    // The Linux image, as programs without a Windows one hand it over.
    static void SetStandAloneImage(ProgramImage image) {
        SetStandAloneImage(Platform::Linux, image);
    }
    static bool HasStandAloneImage() { return HasStandAloneImage(Platform::Linux); }

    // `dialogs` outlives the runner.
    explicit OperationRunner(RunQuestions& dialogs);
    // Cancels a run still going and waits for it.
    ~OperationRunner();
    OperationRunner(const OperationRunner&) = delete;
    OperationRunner& operator=(const OperationRunner&) = delete;

    // Makes an engine for the direction unless the one there already works that way; whatever
    // was handed to a replaced engine is gone. Not while a run goes (std::logic_error).
    void SetMode(bool encrypt);
    bool IsEncrypting() const;

    // The forwarders below need an engine (SetMode first; std::logic_error otherwise).
    void AddPlainFile(const std::string& path);
    void SelectPlainFile(std::size_t index);
    void ClearPlainFiles();
    std::size_t PlainFileCount(bool selectedOnly) const;
    std::optional<std::string> PlainFile(std::size_t index, bool& isFolder,
                                         bool selectedOnly) const;
    void SetPath(FCryptEng::PathMode mode, const std::optional<std::string>& path);
    void SetDeletion(FCryptEng::InputDeletionMode mode, bool confirm);
    // The next run shreds `paths` (each a file, folder or link, listed as it is to go) as
    // SetDeletion says (Overwrite or Eradicate, without its question) and writes no container;
    // files that change before it runs are kept. The number of files to destroy. Needs the
    // encrypting engine (std::logic_error).
    std::size_t PrepareShred(const std::vector<std::string>& paths);
    bool IsShredding() const;
    // The mode at `index` of the deletion choices (the settings' numbers, 0 Keep to 4
    // Eradicate); std::invalid_argument for any other index.
    static FCryptEng::InputDeletionMode DeletionMode(int index);
    void SetCipherFile(const std::optional<std::string>& path);
    std::optional<std::string> CipherFile() const;
    std::optional<std::string> DefaultDest(const std::string& folder);
    // false: the plain container's text header. true: the decrypt-only program image handed
    // over for `platform` (std::logic_error without one).
    void SetHeader(bool standAlone, Platform platform = Platform::Linux);
    void ClearPassword();
    // The engine's answer as it stands (Nothing when encrypting: the password was added). The
    // text stays the caller's, in its own wiping memory.
    FCryptEng::UnlockResult SetPassword(const char* text);
    void AddRecovery(const FCryptEng::RecoverySource& source);
    FCryptEng::FileCryptor& Cryptor() const { return Engine(); }

    // Starts the worker at normal priority; false while one is still running.
    bool Start();
    bool IsRunning() const { return m_running.load(); }
    // True once after each run ended: a front end woken by the end reacts at once.
    bool TakeEnded() { return m_endedSignal.exchange(false); }
    // Where the worker's questions go to the user-interface thread, and how the end of a run
    // wakes it (see Handover).
    App::Handover& Handover() { return m_handover; }
    // The front end's questions as any thread may ask them: handed over when not on its own.
    RunQuestions& Questions() { return m_questions; }
    // Sets the cancel flag and waits for the worker without a time limit.
    void CancelAndWait();
    // Sets the cancel flag without waiting: a held run then ends at its next block instead of
    // carrying on for a moment once it is let go.
    void RequestCancel() { m_status.Cancel(); }
    // Holds the run at its next block of data, or lets it go on.
    void Pause(bool paused);
    // Lowers the worker's (and this thread's) priority while a run goes; otherwise asks for
    // normal priority, which an unprivileged process may not get back once lowered.
    // False when a priority could not be set (raising one again needs privilege).
    bool SetBackground(bool background);

    // Refreshes the snapshot from the status record and returns it.
    App::Snapshot Snapshot();
    // State Failed and the cancel flag clear.
    bool RunFailed() const;
    bool RunCancelled() const;
    // Finished, not cancelled, but something asked for could not be done (Warnings()).
    bool RunWarned() const;
    // The ended run's outcome in words: why it failed ("<file>: <reason>"), and what could not
    // be done, one line each. Empty while a run goes.
    std::string Failure() const;
    std::vector<std::string> Warnings() const;

    // The engine's questions during a run; also what the data-recovery configuration asks for
    // administrators' key files.
    WizardCallback& Callback() { return m_callback; }

    // The engine's status record (for tests and the display's own checks).
    const FCryptEng::OperationStatus& Status() const { return m_status; }
    // The record itself, for a fake run in tests: what an engine would have written.
    FCryptEng::OperationStatus& Record() { return m_status; }

  private:
    FCryptEng::FileCryptor& Engine() const;
    void Work();
    // Waits for an ended or ending worker.
    void Join();
    void Refresh(std::uint32_t elapsedMs);
    bool ApplyPriorities();

    FCryptEng::OperationStatus m_status;
    App::Handover m_handover;
    HandoverQuestions m_questions;
    WizardCallback m_callback;
    std::unique_ptr<FCryptEng::FileCryptor> m_engine;

    std::thread m_worker;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_endedSignal{false};
    std::chrono::steady_clock::time_point m_start{};

    // The worker's final snapshot and the display's refreshes both write it.
    std::mutex m_snapshotMutex;
    App::Snapshot m_snapshot;
    bool m_ended = false;
    std::uint32_t m_lastItem = 0;
    const char* m_lastName = nullptr;

    // Both threads apply priorities; the worker's id exists only while it runs.
    std::mutex m_priorityMutex;
    // The priority the program was started with: "normal" for this run.
    const int m_normalNice;
    bool m_background = false;
    pid_t m_workerTid = 0;
};

}  // namespace App
