#include "engine/FileCryptor.h"

#include "engine/FileDecryptor.h"
#include "engine/FileEncryptor.h"
#include "os/Logger.h"

namespace FCryptEng {

void OperationStatus::Clear() {
    for (OS::ByteWord* word :
         {&inBytes, &outBytes, &itemSize, &itemPlainSize, &inDone, &outDone, &inTotal, &plainTotal})
        word->store(0, std::memory_order_relaxed);
    for (OS::ProgressWord* word :
         {&folderCount, &fileCount, &itemNumber, &itemPercent, &overallPercent, &state})
        word->store(0, std::memory_order_relaxed);
    itemName.store(nullptr, std::memory_order_relaxed);
    cancel.store(0, std::memory_order_relaxed);
    failure.clear();
    warnings.clear();
}

std::unique_ptr<FileCryptor> FileCryptor::Create(bool decrypt, OperationStatus* status,
                                                 CryptorCallback* callback) {
    OS::Trace t("FileCryptor::Create()");
    if (decrypt)
        return std::make_unique<FileDecryptor>(status, callback);
    return std::make_unique<FileEncryptor>(status, callback);
}

FileCryptor::FileCryptor(OperationStatus* status, CryptorCallback* callback)
    : m_status(status),
      m_callback(callback),
      m_keyFooter(std::make_unique<KeyFooter>(callback)),
      m_dirFooter(std::make_unique<DirFooter>()) {}

FileCryptor::~FileCryptor() = default;

void FileCryptor::SetPlainFile(std::size_t) {
    OS::Trace t("FileCryptor::SetPlainFile()");
}
void FileCryptor::SetPlainFile(const std::string&) {
    OS::Trace t("FileCryptor::SetPlainFile()");
}
void FileCryptor::ClearPlainFiles() {
    OS::Trace t("FileCryptor::ClearPlainFiles()");
}

std::size_t FileCryptor::NumPlainFiles(bool selectedOnly) const {
    OS::Trace t("FileCryptor::NumPlainFiles()");
    return m_dirFooter->NumEntries(selectedOnly);
}

UnlockResult FileCryptor::Password(const char*) {
    OS::Trace t("FileCryptor::Password()");
    return UnlockResult::Nothing;
}

void FileCryptor::AddRecovery(const RecoverySource&) {
    OS::Trace t("FileCryptor::AddRecovery()");
}
void FileCryptor::ClearPassword() {
    OS::Trace t("FileCryptor::ClearPassword()");
}

std::optional<std::string> FileCryptor::CipherFile() const {
    OS::Trace t("FileCryptor::CipherFile()");
    return std::nullopt;
}

void FileCryptor::CipherFile(const std::optional<std::string>&) {
    OS::Trace t("FileCryptor::CipherFile()");
}

void FileCryptor::SetHeader(const std::uint8_t*, std::size_t) {
    OS::Trace t("FileCryptor::SetHeader()");
}

std::optional<std::string> FileCryptor::GetDefaultDest(const std::string&) {
    OS::Trace t("FileCryptor::GetDefaultDest()");
    return std::nullopt;
}

void FileCryptor::InputDeletion(InputDeletionMode mode, bool confirm) {
    OS::Trace t("FileCryptor::InputDeletion()");
    m_deletionMode = mode;
    m_confirmDeletion = confirm;
}

void FileCryptor::SetPathAndMode(PathMode mode, const std::optional<std::string>& path) {
    OS::Trace t("FileCryptor::SetPathAndMode()");
    m_dirFooter->SetPath(mode, path);
    m_pathMode = mode;
    m_path = path;
}

std::optional<std::string> FileCryptor::PlainFile(std::size_t index, bool& isDir,
                                                  bool selectedOnly) const {
    OS::Trace t("FileCryptor::PlainFile()");
    // Listing every entry asks for each index in turn: a walk would make that quadratic.
    if (!selectedOnly) {
        const DirEntry* e = m_dirFooter->GetEntry(index);
        if (!e)
            return std::nullopt;
        isDir = e->IsDir();
        return e->Name();
    }
    std::size_t seen = 0;
    for (std::size_t i = 0; const DirEntry* e = m_dirFooter->GetEntry(i); ++i) {
        if (!e->Selected())
            continue;
        if (seen++ == index) {
            isDir = e->IsDir();
            return e->Name();
        }
    }
    return std::nullopt;
}

std::uint32_t FileCryptor::DestructionShare(InputDeletionMode mode) {
    switch (mode) {
        case InputDeletionMode::Recycle:
            return 5;
        case InputDeletionMode::Delete:
            return 1;
        case InputDeletionMode::Overwrite:
            return 7;
        case InputDeletionMode::Eradicate:
            return 40;
        default:
            return 0;
    }
}

void FileCryptor::EndFailed(const char* exitLine, const std::exception* error) {
    OS::Logger::Log(OS::LOG_INFO, exitLine);
    if (error) {
        const std::string reason = error->what();
        m_status->failure = m_where.empty() ? reason : m_where + ": " + reason;
        OS::Logger::Log(OS::LOG_ERROR, m_status->failure);
    }
    m_status->itemName.store(nullptr, std::memory_order_relaxed);
    m_status->SetState(OperationState::Failed);
}

void FileCryptor::Warn(const std::string& line) {
    OS::Logger::Log(OS::LOG_WARN, line);
    m_status->warnings.push_back(line);
}

OperationState FileCryptor::DestructionState(InputDeletionMode mode) {
    switch (mode) {
        case InputDeletionMode::Recycle:
            return OperationState::Recycling;
        case InputDeletionMode::Delete:
            return OperationState::Deleting;
        case InputDeletionMode::Overwrite:
            return OperationState::Overwriting;
        case InputDeletionMode::Eradicate:
            return OperationState::Eradicating;
        default:
            return OperationState::Idle;
    }
}

}  // namespace FCryptEng
