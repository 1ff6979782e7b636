#include "app/core/OperationRunner.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "engine/FileEncryptor.h"
#include "os/Logger.h"

namespace App {
namespace {

using FCryptEng::OperationState;

#ifdef _WIN32
pid_t ThisThread() {
    return pid_t(GetCurrentThreadId());
}

int StartPriority() {
    return 0;
}

// The nice values below as thread priorities.
bool SetNice(pid_t tid, int nice) {
    if (tid == 0)
        return true;
    const HANDLE thread = OpenThread(THREAD_SET_INFORMATION, FALSE, DWORD(tid));
    if (!thread)
        return false;
    const int priority = nice >= 19 ? THREAD_PRIORITY_IDLE
                         : nice > 0 ? THREAD_PRIORITY_BELOW_NORMAL
                                    : THREAD_PRIORITY_NORMAL;
    const bool done = SetThreadPriority(thread, priority) != 0;
    CloseHandle(thread);
    return done;
}
#else
pid_t ThisThread() {
    return pid_t(syscall(SYS_gettid));
}

int StartPriority() {
    return getpriority(PRIO_PROCESS, 0);
}

// A thread's nice value; false when refused. An unprivileged process can lower its priority
// but never raise it again, so "normal" after "background" may stay out of reach.
bool SetNice(pid_t tid, int nice) {
    return tid == 0 || setpriority(PRIO_PROCESS, id_t(tid), nice) == 0;
}
#endif

// Background work runs at the lowest priority, the user interface just below normal, where
// normal is the priority the program was started with (a user's `nice` is kept).
constexpr int kIdleNice = 19;
constexpr int kBelowNormal = 1;

std::uint32_t Get(const OS::ProgressWord& w) {
    return w.load(std::memory_order_relaxed);
}
std::uint64_t Get(const OS::ByteWord& w) {
    return w.load(std::memory_order_relaxed);
}

// Every run's failure and warnings reach the log, which keeps them when the screen is gone.
void LogOutcome(const FCryptEng::OperationStatus& s) {
    if (s.State() == OperationState::Failed && !s.Cancelled())
        OS::Logger::Log(
            OS::LOG_ERROR,
            "Run failed: " + (s.failure.empty() ? std::string("no reason given") : s.failure));
    for (const std::string& w : s.warnings)
        OS::Logger::Log(OS::LOG_WARN, "Not done: " + w);
}

}  // namespace

OperationRunner::OperationRunner(RunQuestions& dialogs)
    : m_questions(dialogs, m_handover),
      m_callback(m_questions, m_status),
      m_normalNice(StartPriority()) {}

OperationRunner::~OperationRunner() {
    CancelAndWait();
}

FCryptEng::FileCryptor& OperationRunner::Engine() const {
    if (!m_engine)
        throw std::logic_error(
            "No operation has been chosen: choose encryption or decryption first");
    return *m_engine;
}

void OperationRunner::SetMode(bool encrypt) {
    OS::Trace t("OperationRunner::SetMode()");
    if (IsRunning())
        throw std::logic_error("The operation cannot be changed while it runs");
    if (m_engine && m_engine->Mode() != (encrypt ? 0 : 1)) {
        // The ended worker refers to the engine: let it go first.
        Join();
        m_engine.reset();
    }
    if (!m_engine)
        m_engine = FCryptEng::FileCryptor::Create(!encrypt, &m_status, &m_callback);
}

bool OperationRunner::IsEncrypting() const {
    return m_engine && m_engine->Mode() == 0;
}

void OperationRunner::AddPlainFile(const std::string& path) {
    OS::Trace t("OperationRunner::AddPlainFile()");
    Engine().SetPlainFile(path);
}

void OperationRunner::SelectPlainFile(std::size_t index) {
    OS::Trace t("OperationRunner::SelectPlainFile()");
    Engine().SetPlainFile(index);
}

void OperationRunner::ClearPlainFiles() {
    OS::Trace t("OperationRunner::ClearPlainFiles()");
    Engine().ClearPlainFiles();
}

std::size_t OperationRunner::PlainFileCount(bool selectedOnly) const {
    OS::Trace t("OperationRunner::PlainFileCount()");
    return Engine().NumPlainFiles(selectedOnly);
}

std::optional<std::string> OperationRunner::PlainFile(std::size_t index, bool& isFolder,
                                                      bool selectedOnly) const {
    OS::Trace t("OperationRunner::PlainFile()");
    isFolder = false;
    return Engine().PlainFile(index, isFolder, selectedOnly);
}

void OperationRunner::SetPath(FCryptEng::PathMode mode, const std::optional<std::string>& path) {
    OS::Trace t("OperationRunner::SetPath()");
    Engine().SetPathAndMode(mode, path);
}

void OperationRunner::SetDeletion(FCryptEng::InputDeletionMode mode, bool confirm) {
    OS::Trace t("OperationRunner::SetDeletion()");
    Engine().InputDeletion(mode, confirm);
}

std::size_t OperationRunner::PrepareShred(const std::vector<std::string>& paths) {
    OS::Trace t("OperationRunner::PrepareShred()");
    auto* encryptor = dynamic_cast<FCryptEng::FileEncryptor*>(&Engine());
    if (!encryptor)
        throw std::logic_error("Shredding needs the encrypting engine");
    return encryptor->PrepareShred(paths);
}

bool OperationRunner::IsShredding() const {
    const auto* encryptor = dynamic_cast<const FCryptEng::FileEncryptor*>(m_engine.get());
    return encryptor && encryptor->Shredding();
}

FCryptEng::InputDeletionMode OperationRunner::DeletionMode(int index) {
    if (index < 0 || index > 4)
        throw std::invalid_argument("Input deletion mode must be 0 to 4");
    return FCryptEng::InputDeletionMode(index);
}

void OperationRunner::SetCipherFile(const std::optional<std::string>& path) {
    OS::Trace t("OperationRunner::SetCipherFile()");
    Engine().CipherFile(path);
}

std::optional<std::string> OperationRunner::CipherFile() const {
    OS::Trace t("OperationRunner::CipherFile()");
    return Engine().CipherFile();
}

std::optional<std::string> OperationRunner::DefaultDest(const std::string& folder) {
    OS::Trace t("OperationRunner::DefaultDest()");
    return Engine().GetDefaultDest(folder);
}

namespace {

// Set once by main before any runner exists; read-only afterwards. By Platform's number.
OperationRunner::ProgramImage g_standAloneImages[2];

OperationRunner::ProgramImage& ImageOf(OperationRunner::Platform platform) {
    return g_standAloneImages[platform == OperationRunner::Platform::Windows ? 0 : 1];
}

}  // namespace

void OperationRunner::SetStandAloneImage(Platform platform, ProgramImage image) {
    ImageOf(platform) = image;
}

OperationRunner::ProgramImage OperationRunner::StandAloneImage(Platform platform) {
    return ImageOf(platform);
}

bool OperationRunner::HasStandAloneImage(Platform platform) {
    const ProgramImage& image = ImageOf(platform);
    return image.bytes && image.size;
}

void OperationRunner::SetHeader(bool standAlone, Platform platform) {
    OS::Trace t("OperationRunner::SetHeader()");
    if (standAlone) {
        if (!HasStandAloneImage(platform))
            throw std::logic_error(
                platform == Platform::Windows
                    ? "This program cannot make self-decrypting containers for Windows"
                    : "This program cannot make self-decrypting containers for Linux");
        // The image stays in the program's read-only data; the engine copies it.
        const ProgramImage& image = ImageOf(platform);
        Engine().SetHeader(image.bytes, image.size);
        return;
    }
    Engine().SetHeader(reinterpret_cast<const std::uint8_t*>(kTextHeader),
                       std::strlen(kTextHeader));
}

void OperationRunner::ClearPassword() {
    OS::Trace t("OperationRunner::ClearPassword()");
    Engine().ClearPassword();
}

FCryptEng::UnlockResult OperationRunner::SetPassword(const char* text) {
    OS::Trace t("OperationRunner::SetPassword()");
    return Engine().Password(text);
}

void OperationRunner::AddRecovery(const FCryptEng::RecoverySource& source) {
    OS::Trace t("OperationRunner::AddRecovery()");
    Engine().AddRecovery(source);
}

bool OperationRunner::Start() {
    OS::Trace t("OperationRunner::Start()");
    if (IsRunning())
        return false;
    FCryptEng::FileCryptor& engine = Engine();
    (void)engine;
    Join();
    {
        std::lock_guard<std::mutex> lock(m_snapshotMutex);
        m_ended = false;
        m_lastItem = 0;
        m_lastName = nullptr;
        m_snapshot = App::Snapshot();
    }
    m_status.paused.store(false);
    m_callback.ResetDeclined();
    {
        std::lock_guard<std::mutex> lock(m_priorityMutex);
        m_background = false;
        SetNice(ThisThread(), m_normalNice);
    }
    m_start = std::chrono::steady_clock::now();
    m_running.store(true);
    m_worker = std::thread([this] { Work(); });
    return true;
}

void OperationRunner::Work() {
    {
        std::lock_guard<std::mutex> lock(m_priorityMutex);
        m_workerTid = ThisThread();
        ApplyPriorities();
    }
    // Begin reports everything, failure included, through the record.
    m_engine->Begin();
    LogOutcome(m_status);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - m_start);
    {
        std::lock_guard<std::mutex> lock(m_snapshotMutex);
        Refresh(std::uint32_t(elapsed.count()));
        m_ended = true;
    }
    {
        std::lock_guard<std::mutex> lock(m_priorityMutex);
        m_workerTid = 0;
    }
    m_running.store(false);
    m_endedSignal.store(true);
    m_handover.Notify();
}

void OperationRunner::Join() {
    if (!m_worker.joinable())
        return;
    // A question handed over now would wait for this very thread: it takes its safe answer.
    App::Handover::Refusal refusal(m_handover);
    m_worker.join();
}

void OperationRunner::CancelAndWait() {
    OS::Trace t("OperationRunner::CancelAndWait()");
    // The engine clears the record as it begins, so a cancel set just before that would be
    // lost: keep setting it until the worker has ended.
    App::Handover::Refusal refusal(m_handover);
    while (IsRunning()) {
        m_status.Cancel();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Join();
}

void OperationRunner::Pause(bool paused) {
    OS::Trace t("OperationRunner::Pause()");
    m_status.paused.store(paused);
}

bool OperationRunner::SetBackground(bool background) {
    OS::Trace t("OperationRunner::SetBackground()");
    std::lock_guard<std::mutex> lock(m_priorityMutex);
    m_background = background && IsRunning();
    const bool self =
        SetNice(ThisThread(),
                m_background ? std::min(m_normalNice + kBelowNormal, kIdleNice) : m_normalNice);
    return ApplyPriorities() && self;
}

// The worker's priority from the choice; called with m_priorityMutex held.
bool OperationRunner::ApplyPriorities() {
    return SetNice(m_workerTid, m_background ? kIdleNice : m_normalNice);
}

App::Snapshot OperationRunner::Snapshot() {
    std::lock_guard<std::mutex> lock(m_snapshotMutex);
    if (!m_ended) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - m_start);
        Refresh(IsRunning() ? std::uint32_t(elapsed.count()) : 0);
    }
    return m_snapshot;
}

// Called with m_snapshotMutex held.
void OperationRunner::Refresh(std::uint32_t elapsedMs) {
    const FCryptEng::OperationStatus& s = m_status;
    App::Snapshot& n = m_snapshot;
    n.shredding = IsShredding();  // fixed before the run starts
    n.readSoFar = Get(s.inDone) + Get(s.inBytes);
    n.readTotal = Get(s.inTotal);
    n.writtenSoFar = Get(s.outDone) + Get(s.outBytes);
    n.writeTotal = Get(s.plainTotal);
    n.itemRead = Get(s.inBytes);
    n.itemSize = Get(s.itemSize);
    n.itemWritten = Get(s.outBytes);
    n.itemOutSize = Get(s.itemPlainSize);
    n.itemPercent = Get(s.itemPercent);
    n.overallPercent = Get(s.overallPercent);
    n.folderCount = Get(s.folderCount);
    n.fileCount = Get(s.fileCount);
    n.itemNumber = Get(s.itemNumber);
    n.state = s.State();
    n.elapsedMs = elapsedMs;
    const char* name = s.itemName.load(std::memory_order_acquire);
    if (!name) {
        n.itemName.clear();
        m_lastName = nullptr;
    } else if (n.itemNumber != m_lastItem || name != m_lastName) {
        // The number alone could move before the name does: a changed pointer copies too.
        n.itemName = name;
        m_lastName = name;
    }
    m_lastItem = n.itemNumber;
}

bool OperationRunner::RunFailed() const {
    return m_status.State() == OperationState::Failed && !m_status.Cancelled();
}

bool OperationRunner::RunCancelled() const {
    return m_status.Cancelled();
}

bool OperationRunner::RunWarned() const {
    return !IsRunning() && m_status.State() == OperationState::Finished && !RunCancelled() &&
           !m_status.warnings.empty();
}

std::string OperationRunner::Failure() const {
    if (IsRunning())
        return std::string();
    return m_status.failure;
}

std::vector<std::string> OperationRunner::Warnings() const {
    if (IsRunning())
        return {};
    return m_status.warnings;
}

}  // namespace App
