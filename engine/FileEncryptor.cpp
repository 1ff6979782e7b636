#include "engine/FileEncryptor.h"

#include <cryptopp/aes.h>
#include <cryptopp/hmac.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>

#include <algorithm>
#include <filesystem>
#include <limits>

#include "filters/BufferingFilter.h"
#include "filters/ProgressFilter.h"
#include "filters/SeparateHashFilter.h"
#include "filters/SimpleFileSink.h"
#include "filters/SimpleFileSource.h"
#include "filters/Zlib.h"
#include "os/Destroy.h"
#include "os/Directory.h"
#include "os/Logger.h"

namespace FCryptEng {
namespace {

constexpr std::uint32_t kBlock = 65536;
constexpr std::uint64_t kFormatLimit = std::numeric_limits<std::uint32_t>::max();

using CryptoP2::ProgressFilter;

// Throws OperationTerminated after marking the run cancelled.
[[noreturn]] void CancelRun(OperationStatus& status) {
    status.Cancel();
    throw ProgressFilter::OperationTerminated();
}

bool AskToRetryOpen(int code) {
    return code == 1 || code == 4 || code == 6 || code == 8;
}

// An absolute, lexically clean name: what the directory works with.
std::string CleanName(const std::string& path) {
    std::filesystem::path p(path);
    if (p.is_relative())
        p = std::filesystem::path(OS::File::GetCurrentPath()) / p;
    std::string clean = p.lexically_normal().string();
    while (clean.size() > 1 && clean.back() == OS::kSeparator)
        clean.pop_back();
    return clean;
}

using OS::Add;
using OS::Load;
using OS::Store;

}  // namespace

FileEncryptor::FileEncryptor(OperationStatus* status, CryptorCallback* callback)
    : FileCryptor(status, callback), m_containerKeys(true) {}

FileEncryptor::~FileEncryptor() {
    m_containerKeys.Clear();
}

void FileEncryptor::CheckNotStarted() const {
    if (m_started)
        throw FileCryptorErr("Attempt to change paramters after encryption has started");
}

void FileEncryptor::SetPlainFile(const std::string& path) {
    OS::Trace t("FileEncryptor::SetPlainFile()");
    CheckNotStarted();
    auto entry = std::make_unique<DirEntry>(CleanName(path));
    // The format counts sizes in 32 bits: such a file would come back cut short.
    if (!entry->IsDir() && entry->DiskSize() > kFormatLimit)
        throw FileCryptorErr("The file \"" + entry->Name() +
                             "\" is 4 GiB or larger, more than a container can hold");
    m_dirFooter->Add(std::move(entry));
}

void FileEncryptor::ClearPlainFiles() {
    OS::Trace t("FileEncryptor::ClearPlainFiles()");
    m_dirFooter->ClearEntries();
}

int FileEncryptor::Password(const char* text) {
    OS::Trace t("FileEncryptor::Password()");
    CheckNotStarted();
    m_keyFooter->Add(std::make_unique<UserPasswordKeyEntry>(text));
    return 0;
}

void FileEncryptor::AddRecovery(const RecoverySource& source) {
    OS::Trace t("FileEncryptor::AddRecovery()");
    CheckNotStarted();
    m_keyFooter->Add(source.MakeKeyEntry());
}

void FileEncryptor::ClearPassword() {
    OS::Trace t("FileEncryptor::ClearPassword()");
    m_keyFooter = std::make_unique<KeyFooter>(m_callback);
}

std::optional<std::string> FileEncryptor::CipherFile() const {
    OS::Trace t("FileEncryptor::CipherFile()");
    if (!m_outputName)
        return std::nullopt;
    const std::size_t cut = m_outputName->rfind(OS::kSeparator);
    return cut == std::string::npos ? *m_outputName : m_outputName->substr(cut + 1);
}

void FileEncryptor::CipherFile(const std::optional<std::string>& path) {
    OS::Trace t("FileEncryptor::CipherFile()");
    CheckNotStarted();
    m_output.reset();
    m_outputName.reset();
    if (path)
        m_outputName = CleanName(*path);
}

void FileEncryptor::SetHeader(const std::uint8_t* bytes, std::size_t length) {
    OS::Trace t("FileEncryptor::SetHeader()");
    m_header.assign(bytes, bytes + length);
}

std::optional<std::string> FileEncryptor::GetDefaultDest(const std::string& folder) {
    OS::Trace t("FileEncryptor::GetDefaultDest()");
    std::string base = "Cryvan file";
    std::string result;
    const std::string& common = m_dirFooter->CommonPath();
    if (!common.empty() && common != DirFooter::kInvalidPath) {
        result = common;
        if (const DirEntry* root = m_dirFooter->RootEntry()) {
            const std::string& name = root->Name();
            if (name.size() < common.size())
                throw DirEntry::Err("Path set longer than filename");
            if (name.compare(0, common.size(), common) != 0)
                throw DirEntry::Err("Common path set does not match file");
            base = name.substr(common.size());
            const std::size_t dot = base.rfind('.');
            if (!root->IsDir() && dot != std::string::npos && dot != 0)
                base.erase(dot);
        }
    } else {
        result = folder;
    }
    if (result.empty() || result.back() != OS::kSeparator)
        result += OS::kSeparator;
    return result + base;
}

// ---------------------------------------------------------------------------------------------

void FileEncryptor::Begin() {
    OS::Trace t("FileEncryptor::Begin()");
    try {
        ReadyToStart();
        CryptoPP::MeterFilter out(new CryptoP2::SimpleFileSink(m_output->File(), m_callback));
        try {
            if (!m_header.empty())
                out.Put(m_header.data(), m_header.size());
            EncryptFiles(out);
            WriteFooter(out);
            // Everything reaches the disk before the container takes its name.
            out.MessageEnd();
            PostEncrypt();
        } catch (const OS::File::Error& e) {
            if (e.code == 9)
                CancelRun(*m_status);
            throw;
        }
    } catch (...) {
        OS::Logger::Log(OS::LOG_INFO, "Exiting File Encryptor early since exception thrown");
        try {
            if (m_output)
                m_output.reset();  // the partial container goes at once
        } catch (...) {
        }
        m_status->itemName.store(nullptr, std::memory_order_relaxed);
        m_status->SetState(OperationState::Failed);
    }
}

void FileEncryptor::ReadyToStart() {
    OS::Trace t("FileEncryptor::ReadyToStart()");
    CheckNotStarted();
    if (m_dirFooter->NumEntries(false) == 0)
        throw FileCryptorErr("No input files set");
    if (m_keyFooter->NumEntries() == 0)
        throw FileCryptorErr("No passwords / message recovery data set");
    // Entries added after the path was chosen, or without any choice, get their names here:
    // an entry without a name would make the container unreadable.
    m_dirFooter->SetPath(m_pathMode, m_path);
    for (std::size_t i = 0; const DirEntry* e = m_dirFooter->GetEntry(i); ++i) {
        if (e->FinalName().empty())
            throw FileCryptorErr("The input \"" + e->Name() + "\" has no name to store");
        // Refused before anything is written: such a container could never be decrypted,
        // and its inputs might be destroyed after it.
        if (!e->StoredNameFits())
            throw FileCryptorErr("The name \"" + e->Name() +
                                 "\" would be too long to decrypt: once stored, a part of it "
                                 "passes 255 bytes");
    }
    m_destructionShare = DestructionShare(m_deletionMode);
    m_dataShare = 100 - m_destructionShare;
    m_status->Clear();
    m_status->SetState(OperationState::Encrypting);
    SetTotalSize();
    OpenOutputFile();
    m_started = true;
}

void FileEncryptor::SetTotalSize() {
    std::uint32_t total = 0, files = 0, folders = 0;
    for (std::size_t i = 0; const DirEntry* e = m_dirFooter->GetEntry(i); ++i) {
        if (e->IsDir()) {
            ++folders;
        } else {
            ++files;
            total += e->OriginalSize();
        }
    }
    Store(m_status->inTotal, total);
    Store(m_status->fileCount, files);
    Store(m_status->folderCount, folders);
}

void FileEncryptor::OpenOutputFile() {
    OS::Trace t("FileEncryptor::OpenOutputFile()");
    if (!m_outputName)
        throw FileCryptorErr("Output file not set");
    m_output = std::make_unique<OS::PendingOutput>(*m_outputName);
    // A container headed by a program is meant to be run.
    static const std::uint8_t kElf[] = {0x7f, 'E', 'L', 'F'};
    m_output->SetExecutable(m_header.size() >= sizeof kElf &&
                            std::equal(kElf, kElf + sizeof kElf, m_header.begin()));
    for (;;) {
        try {
            m_output->Open();
            return;
        } catch (const OS::File::NameTooLong&) {
            throw FileCryptorErr("The name \"" + *m_outputName +
                                 "\" is too long for the file system");
        } catch (const OS::File::Error& e) {
            const int c = e.code;
            if (c != 1 && c != 3 && c != 5 && c != 6 && c != 7 && c != 8)
                throw;
            if (!m_callback || !m_callback->RetryOpen(true, true, *m_outputName, c))
                CancelRun(*m_status);
        }
    }
}

void FileEncryptor::EncryptFiles(CryptoPP::MeterFilter& out) {
    OS::Trace t("FileEncryptor::EncryptFiles()");
    OperationStatus& s = *m_status;
    const std::uint64_t dataStart = out.GetTotalBytes();
    std::vector<std::uint64_t> starts;
    std::uint32_t fileNumber = 0;

    for (std::size_t i = 0; DirEntry* e = m_dirFooter->GetEntry(i); ++i) {
        starts.push_back(0);
        if (e->IsDir())
            continue;
        Store(s.itemSize, e->OriginalSize());
        s.itemName.store(e->Name().c_str(), std::memory_order_relaxed);
        Store(s.itemNumber, ++fileNumber);
        const std::uint64_t start = out.GetTotalBytes();
        starts.back() = start;

        const KeySet& keys = *e->GetKeySet();
        CryptoPP::HMAC<CryptoPP::SHA256> mac(keys.MacKey()->data(), keys.MacKey()->size());
        CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption aes(keys.EncKey()->data(), 16,
                                                          keys.IV()->data());

        std::unique_ptr<OS::ReadFile> file;
        while (!file) {
            try {
                auto candidate = std::make_unique<OS::ReadFile>(e->Name());
                candidate->Open();
                file = std::move(candidate);
            } catch (const OS::File::Error& err) {
                if (!AskToRetryOpen(err.code))
                    throw;
                if (!m_callback || !m_callback->RetryOpen(true, true, e->Name(), err.code))
                    CancelRun(s);
            }
        }

        const std::uint32_t total = Load(s.inTotal);
        std::uint32_t overallEnd = m_dataShare;
        if (total != 0) {
            overallEnd = std::uint32_t((double(Load(s.inDone)) + double(Load(s.itemSize))) *
                                       m_dataShare / double(total));
            if (overallEnd == 0)
                overallEnd = 1;
        }

        const bool compress = TestCompression(*file, file->GetInfo().Size());
        e->SetCompress(compress);

        // plain -> read progress -> [deflate -> buffering] -> HMAC -> AES-CBC -> buffering ->
        // write progress -> container
        CryptoPP::BufferedTransformation* tail = new CryptoP2::SeparateHashFilter(
            mac,
            new CryptoPP::StreamTransformationFilter(
                aes, new CryptoP2::BufferingFilter(
                         kBlock, new ProgressFilter(&s.outBytes, nullptr, nullptr, 0, nullptr, 0,
                                                    new CryptoPP::Redirector(
                                                        out, CryptoPP::Redirector::DATA_ONLY)))));
        if (compress)
            tail = new CryptoP2::ZlibDeflater(new CryptoP2::BufferingFilter(kBlock, tail));
        CryptoP2::SimpleFileSource(
            *file, true,
            new ProgressFilter(&s.inBytes, &s.cancel, &s.itemPercent, Load(s.itemSize),
                               &s.overallPercent, overallEnd, tail, true, &s.paused));
        file->Close();

        const std::uint64_t stored = out.GetTotalBytes() - start;
        if (out.GetTotalBytes() - dataStart > kFormatLimit)
            throw FileCryptorErr("The encrypted files pass 4 GiB, more than a container can hold");
        e->SetArchiveSize(std::uint32_t(stored));
        // The size actually read: the file may have changed since it was added.
        e->SetOriginalSize(Load(s.inBytes));
        CryptoPP::SecByteBlock digest(mac.DigestSize());
        mac.Final(digest);
        e->SetMac(digest);

        Add(s.inDone, Load(s.inBytes));
        Add(s.outDone, Load(s.outBytes));
        Store(s.itemSize, 0);
        Store(s.inBytes, 0);
        Store(s.outBytes, 0);
        s.itemName.store(nullptr, std::memory_order_relaxed);
    }

    const std::uint64_t dataEnd = out.GetTotalBytes();
    for (std::size_t i = 0; DirEntry* e = m_dirFooter->GetEntry(i); ++i) {
        if (e->IsDir()) {
            e->SetPosition(0);
            e->SetArchiveSize(0);
        } else {
            e->SetPosition(std::uint32_t(dataEnd - starts[i]));
        }
    }
}

bool FileEncryptor::TestCompression(OS::ReadFile& file, std::uint64_t size) {
    OS::Trace t("FileEncryptor::TestCompression()");
    if (size < kSampleSize)
        return true;
    CryptoPP::SecByteBlock sample(kSampleSize);
    if (file.Read(sample.data(), sample.size()) < kSampleSize)
        throw FileCryptorErr("Unable to read FILE_COMPRESSION_TEST_SAMPLE");
    file.Move(-std::int64_t(kSampleSize), true);
    OS::ProgressWord count{0};
    CryptoPP::ArraySource(
        sample.data(), sample.size(), true,
        new CryptoP2::ZlibDeflater(new ProgressFilter(&count, nullptr, nullptr, 0, nullptr, 0,
                                                      new CryptoPP::BitBucket, false)));
    return count.load() <= kSampleLimit;
}

void FileEncryptor::WriteFooter(CryptoPP::MeterFilter& out) {
    OS::Trace t("FileEncryptor::WriteFooter()");
    const std::uint64_t before = out.GetTotalBytes();
    m_keyFooter->SetKeys(&m_containerKeys);
    m_keyFooter->PutEncoding(out);
    m_dirFooter->SetKeys(&m_containerKeys);
    m_dirFooter->PutEncoding(out);
    const std::uint64_t total = out.GetTotalBytes() - before;
    out.PutWord32(std::uint32_t(total), CryptoPP::BIG_ENDIAN_ORDER);
    Add(m_status->outDone, std::uint32_t(total + 4));
}

void FileEncryptor::PostEncrypt() {
    OS::Trace t("FileEncryptor::PostEncrypt()");
    // From here on the container is complete and durable under its name, whatever follows.
    m_output->Commit();
    m_output.reset();
    if (m_deletionMode != InputDeletionMode::Keep) {
        m_status->SetState(DestructionState(m_deletionMode));
        if (m_confirmDeletion &&
            !(m_callback && m_callback->ConfirmInputDeletion(nullptr, int(m_deletionMode))))
            return;
        switch (m_deletionMode) {
            case InputDeletionMode::Recycle:
            case InputDeletionMode::Delete: {
                std::vector<std::string> names;
                for (std::size_t i = 0; const DirEntry* e = m_dirFooter->GetEntry(i); ++i)
                    if (!e->IsDir())
                        names.push_back(e->Name());
                OS::DeleteFileList(names, m_deletionMode == InputDeletionMode::Recycle);
                break;
            }
            default:
                DestroyFiles(m_deletionMode == InputDeletionMode::Eradicate);
                break;
        }
        RemoveEmptyDirEntries();
    }
    Store(m_status->overallPercent, 100);
    m_status->SetState(OperationState::Finished);
}

void FileEncryptor::DestroyFiles(bool eradicate) {
    OS::Trace t("FileEncryptor::DestroyFiles()");
    OperationStatus& s = *m_status;
    bool allOk = true;
    std::uint64_t done = 0;
    const std::uint64_t total = Load(s.inTotal);
    for (std::size_t i = 0; const DirEntry* e = m_dirFooter->GetEntry(i); ++i) {
        if (e->IsDir())
            continue;
        OS::WriteFile file(e->Name(), 2, false);
        s.itemName.store(e->Name().c_str(), std::memory_order_relaxed);
        Store(s.itemNumber, std::uint32_t(i + 1));
        Store(s.itemPercent, 0);
        done += e->OriginalSize();
        const std::uint32_t end =
            total == 0 ? m_dataShare
                       : std::uint32_t(m_dataShare + done * m_destructionShare / total);
        file.SetProgress(0, &s.itemPercent, &s.overallPercent, end);
        allOk = (eradicate ? file.Eradicate() : file.Overwrite()) && allOk;
    }
    s.itemName.store(nullptr, std::memory_order_relaxed);
    if (!allOk && m_callback)
        m_callback->ReportDestroyFailed(eradicate);
}

void FileEncryptor::RemoveEmptyDirEntries() {
    OS::Trace t("FileEncryptor::RemoveEmptyDirEntries()");
    std::vector<std::string> folders;
    for (std::size_t i = 0; const DirEntry* e = m_dirFooter->GetEntry(i); ++i)
        if (e->IsDir())
            folders.push_back(e->Name());
    // Longest first, so nested folders go before their parents.
    std::stable_sort(
        folders.begin(), folders.end(),
        [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& folder : folders)
        if (OS::Directory::Exists(folder) && OS::Directory::IsEmpty(folder))
            OS::Directory::Remove(folder);
}

}  // namespace FCryptEng
