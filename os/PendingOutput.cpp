#include "os/PendingOutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "os/Durable.h"
#include "os/Logger.h"

namespace OS {
namespace {

std::string TemporaryNameBeside(const std::string& finalName) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const std::size_t cut = finalName.rfind(kSeparator);
    const std::string folder = cut == std::string::npos ? "" : finalName.substr(0, cut + 1);
    const std::string name = cut == std::string::npos ? finalName : finalName.substr(cut + 1);
    // Only uniqueness matters here: the file is created exclusively.
    thread_local std::mt19937 random{std::random_device{}()};
    std::string suffix(8, 'x');
    for (char& c : suffix)
        c = kChars[random() % 36];
    // Hidden, and recognisable as ours if a crash ever leaves one behind.
    return folder + "." + name + ".cryvan-" + suffix;
}

}  // namespace

PendingOutput::PendingOutput(std::string finalName, std::uint32_t creationAttributes)
    : m_finalName(std::move(finalName)), m_creationAttributes(creationAttributes) {}

PendingOutput::~PendingOutput() {
    Discard();
}

void PendingOutput::Open() {
    Trace t("PendingOutput::Open()");
    Discard();
    m_committed = false;
    for (int attempt = 0;; ++attempt) {
        auto file = std::make_unique<WriteFile>(TemporaryNameBeside(m_finalName), 0, true);
        file->SetCreationAttributes(m_creationAttributes);
        try {
            file->Open();
        } catch (const File::Error& e) {
            if (e.code == 2 && attempt < 16)
                continue;  // that name is taken: draw another
            throw;
        }
        m_file = std::move(file);
        return;
    }
}

void PendingOutput::Commit(bool syncFolder) {
    Trace t("PendingOutput::Commit()");
    if (!m_file)
        throw File::Error(0);
    m_file->Close();
    if (m_executable) {
        const std::string temp = m_file->GetInfo().FullName();
        struct stat st {};
        if (stat(temp.c_str(), &st) != 0 ||
            chmod(temp.c_str(), (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2)) != 0)
            File::RaiseLastError();
    }
    RenameFile(m_file->GetInfo().FullName(), m_finalName);
    m_committed = true;
    m_file.reset();
    if (syncFolder)
        SyncFolder(FolderOf(m_finalName));
}

void PendingOutput::Discard() noexcept {
    if (!m_file)
        return;
    // An open writer deletes its file itself; a closed one that was never renamed is removed
    // here.
    const bool wasOpen = m_file->IsOpen();
    const std::string name = m_file->GetInfo().FullName();
    m_file.reset();
    if (!wasOpen && !m_committed)
        unlink(name.c_str());
}

}  // namespace OS
