#include "engine/FileEncryptor.h"

#include "engine/FileDecryptor.h"

#include <cryptopp/aes.h>
#include <cryptopp/hmac.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <stdexcept>

#include "filters/BufferingFilter.h"
#include "filters/CbcFilter.h"
#include "filters/ParallelDeflate.h"
#include "filters/PipelineWorker.h"
#include "filters/ProgressFilter.h"
#include "filters/SeparateHashFilter.h"
#include "filters/SimpleFileSink.h"
#include "filters/SimpleFileSource.h"
#include "filters/WriteBehindFilter.h"
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

// Failures to read an input that the user can do something about before trying again.
bool AskToRetryOpen(OS::ErrorCode code) {
    return code == OS::ErrorCode::NotFound || code == OS::ErrorCode::ReadFault ||
           code == OS::ErrorCode::InUse || code == OS::ErrorCode::InvalidDrive;
}

// The same for making the container.
bool AskToRetryCreate(OS::ErrorCode code) {
    switch (code) {
        case OS::ErrorCode::NotFound:
        case OS::ErrorCode::Denied:
        case OS::ErrorCode::WriteFault:
        case OS::ErrorCode::InUse:
        case OS::ErrorCode::WriteProtected:
        case OS::ErrorCode::InvalidDrive:
            return true;
        default:
            return false;
    }
}

// An absolute, lexically clean name: what the directory works with. Its separators are the
// platform layer's on every system (Windows would otherwise get its own back).
// Names are UTF-8 inside: a narrow path would take the Windows code page instead.
std::string CleanName(const std::string& path) {
    std::filesystem::path p = std::filesystem::u8path(path);
    if (p.is_relative())
        p = std::filesystem::u8path(OS::File::GetCurrentPath()) / p;
    std::string clean = p.lexically_normal().generic_u8string();
    // A root keeps its separator: "C:" alone is the current folder of that drive.
    while (clean.size() > 1 && clean.back() == OS::kSeparator &&
           !std::filesystem::u8path(clean).relative_path().empty())
        clean.pop_back();
    return clean;
}

using OS::Add;
using OS::Load;
using OS::Store;

const char kExitLine[] = "Exiting File Encryptor early since exception thrown";

// The container's sink, noting whether an error came from writing it rather than from reading
// an input, so that a failure names the right file.
class ContainerSink : public CryptoP2::SimpleFileSink {
  public:
    ContainerSink(OS::WriteFile& file, FCryptEng::WriteErrorHandler* handler, bool& failed)
        : SimpleFileSink(file, handler, false), m_failed(failed) {}

    size_t Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                bool blocking) override {
        try {
            return SimpleFileSink::Put2(inString, length, messageEnd, blocking);
        } catch (const OS::File::Error&) {
            m_failed = true;
            throw;
        }
    }
    bool IsolatedFlush(bool hardFlush, bool blocking) override {
        try {
            return SimpleFileSink::IsolatedFlush(hardFlush, blocking);
        } catch (const OS::File::Error&) {
            m_failed = true;
            throw;
        }
    }

  private:
    bool& m_failed;
};

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

UnlockResult FileEncryptor::Password(const char* text) {
    OS::Trace t("FileEncryptor::Password()");
    CheckNotStarted();
    m_keyFooter->Add(std::make_unique<UserPasswordKeyEntry>(text));
    // Nothing to unlock: an encryptor takes every password.
    return UnlockResult::Nothing;
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

std::size_t FileEncryptor::PrepareShred(const std::vector<std::string>& paths) {
    OS::Trace t("FileEncryptor::PrepareShred()");
    CheckNotStarted();
    if (m_deletionMode != InputDeletionMode::Overwrite &&
        m_deletionMode != InputDeletionMode::Eradicate)
        throw std::logic_error("shredding needs Overwrite or Eradicate");
    if (paths.empty())
        throw std::logic_error("nothing to shred");
    m_dirFooter->ClearEntries();
    for (const std::string& path : paths)
        m_dirFooter->Add(std::make_unique<DirEntry>(CleanName(path)));
    m_read.assign(m_dirFooter->NumEntries(false), InputRecord());
    std::size_t files = 0;
    for (std::size_t i = 0; const DirEntry* e = m_dirFooter->GetEntry(i); ++i) {
        InputRecord& record = m_read[i];
        std::error_code ec;
        const bool link = std::filesystem::is_symlink(std::filesystem::u8path(e->Name()), ec);
        if (e->IsDir()) {
            // A link to a folder is kept, and so is all it points to.
            if (link)
                record.state = InputState::Link;
            continue;
        }
        ++files;
        if (link) {
            record.state = InputState::Link;
            continue;
        }
        try {
            if (const auto identity = OS::IdentityAt(e->Name())) {
                record.identity = *identity;
                record.state = InputState::Read;
            }
        } catch (const std::exception&) {
            // Left NotRead: told as kept when the run comes to it.
        }
    }
    m_shredding = true;
    return files;
}

void FileEncryptor::Shred() {
    OS::Trace t("FileEncryptor::Shred()");
    CheckNotStarted();
    m_started = true;
    m_status->Clear();
    SetTotalSize();
    // Files past 4 GiB are shredded too: their size on disk is what is overwritten.
    std::uint64_t total = 0;
    for (std::size_t i = 0; const DirEntry* e = m_dirFooter->GetEntry(i); ++i)
        if (!e->IsDir())
            total += e->DiskSize();
    Store(m_status->inTotal, total);
    m_dataShare = 0;
    m_verifyShare = 0;
    m_destructionShare = 100;
    m_status->SetState(DestructionState(m_deletionMode));
    for (std::size_t i = 0; const DirEntry* e = m_dirFooter->GetEntry(i); ++i)
        if (e->IsDir() && m_read[i].state == InputState::Link)
            StillAsRead(i, *e);  // tells that it is kept
    DestroyFiles(m_deletionMode == InputDeletionMode::Eradicate);
    RemoveEmptyDirEntries();
    Store(m_status->overallPercent, 100);
    m_status->SetState(OperationState::Finished);
}

void FileEncryptor::Begin() {
    OS::Trace t("FileEncryptor::Begin()");
    m_where.clear();
    m_outputFailed = false;
    if (m_shredding) {
        try {
            Shred();
        } catch (const ProgressFilter::OperationTerminated&) {
            EndFailed(kExitLine, nullptr);
        } catch (const std::exception& e) {
            EndFailed(kExitLine, &e);
        }
        return;
    }
    try {
        ReadyToStart();
        // Gathered into blocks: many small files would otherwise cost a write or two each. Once
        // a file of many blocks comes, the blocks are written on a thread of their own.
        auto* behind = new CryptoP2::WriteBehindFilter(
            nullptr, new ContainerSink(m_output->File(), m_callback, m_outputFailed));
        CryptoPP::MeterFilter out(behind);
        m_writeBehind = behind;
        try {
            if (!m_header.empty())
                out.Put(m_header.data(), m_header.size());
            EncryptFiles(out);
            m_where = *m_outputName;
            if (m_footerHook)
                m_footerHook(*m_dirFooter);
            WriteFooter(out);
            // Committing makes it durable where it must be.
            out.MessageEnd();
            PostEncrypt();
        } catch (const OS::File::Error& e) {
            if (e.code == OS::ErrorCode::DiskFull)
                CancelRun(*m_status);
            if (m_outputFailed)
                m_where = *m_outputName;
            throw;
        }
    } catch (const ProgressFilter::OperationTerminated&) {
        m_output.reset();  // the partial container goes at once
        EndFailed(kExitLine, nullptr);
    } catch (const std::exception& e) {
        m_output.reset();
        EndFailed(kExitLine, &e);
    } catch (...) {
        m_output.reset();
        const FileCryptorErr unknown("Unexpected error");
        EndFailed(kExitLine, &unknown);
    }
    m_writeBehind = nullptr;
    m_writer.reset();
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
    // Runs that destroy read the container back first: about a third of the time encrypting
    // takes.
    m_destructionShare = DestructionShare(m_deletionMode);
    const std::uint32_t rest = 100 - m_destructionShare;
    m_verifyShare = m_deletionMode == InputDeletionMode::Keep ? 0 : rest / 3;
    m_dataShare = rest - m_verifyShare;
    m_read.assign(m_dirFooter->NumEntries(false), InputRecord());
    m_status->Clear();
    m_status->SetState(OperationState::Encrypting);
    SetTotalSize();
    OpenOutputFile();
    m_started = true;
}

void FileEncryptor::SetTotalSize() {
    std::uint64_t total = 0;
    std::uint32_t files = 0, folders = 0;
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
    m_where = *m_outputName;
    m_output = std::make_unique<OS::PendingOutput>(*m_outputName);
    // Inputs that stay are a copy of everything in it: only a run that destroys them needs the
    // container on the disk before it is read back and they go.
    m_output->SetDurable(m_deletionMode != InputDeletionMode::Keep);
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
            if (!AskToRetryCreate(e.code))
                throw;
            if (!m_callback || !m_callback->RetryOpen(true, true, *m_outputName, e.code))
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
    // Started with the first large file, joined on every way out of here.
    std::unique_ptr<CryptoP2::PipelineWorker> worker;

    for (std::size_t i = 0; DirEntry* e = m_dirFooter->GetEntry(i); ++i) {
        starts.push_back(0);
        if (e->IsDir())
            continue;
        Store(s.itemSize, e->OriginalSize());
        s.itemName.store(e->Name().c_str(), std::memory_order_relaxed);
        Store(s.itemNumber, ++fileNumber);
        m_where = e->Name();
        const std::uint64_t start = out.GetTotalBytes();
        starts.back() = start;

        const std::unique_ptr<KeySet> keySet = e->KeySetCopy();
        const KeySet& keys = *keySet;
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
                // Nothing may be asked while the writer could be asking too.
                if (m_writer)
                    m_writer->Drain();
                if (!m_callback || !m_callback->RetryOpen(true, true, e->Name(), err.code))
                    CancelRun(s);
            }
        }

        const std::uint64_t total = Load(s.inTotal);
        std::uint32_t overallEnd = m_dataShare;
        if (total != 0) {
            overallEnd = std::uint32_t((double(Load(s.inDone)) + double(Load(s.itemSize))) *
                                       m_dataShare / double(total));
            if (overallEnd == 0)
                overallEnd = 1;
        }

        // Only what was read may be destroyed later: note what it is.
        InputRecord& record = m_read[i];
        record.identity = file->Identity();
        std::error_code ec;
        record.state = std::filesystem::is_symlink(std::filesystem::u8path(e->Name()), ec)
                           ? InputState::Link
                           : InputState::Read;

        const bool compress = TestCompression(*file, file->GetInfo().Size());
        e->SetCompress(compress);

        // plain -> read progress -> [deflate -> buffering] -> HMAC -> AES-CBC -> write progress
        // -> container. The HMAC and AES-CBC read the same bytes: a file of more than one block
        // has them on two cores. One block is not worth the hand-over.
        const bool large = file->GetInfo().Size() > kBlock;
        if (!worker && large) {
            worker = std::make_unique<CryptoP2::PipelineWorker>();
            m_writer = std::make_unique<CryptoP2::PipelineWorker>();
            m_writeBehind->SetWorker(m_writer.get());
        }
        CryptoPP::BufferedTransformation* tail = new CryptoP2::SeparateHashFilter(
            mac,
            new CryptoP2::CbcEncryptFilter(
                aes,
                new ProgressFilter(&s.outBytes, nullptr, nullptr, 0, nullptr, 0,
                                   new CryptoPP::Redirector(out, CryptoPP::Redirector::DATA_ONLY))),
            large ? worker.get() : nullptr);
        if (compress)
            tail = new CryptoP2::ParallelDeflater(new CryptoP2::BufferingFilter(kBlock, tail));
        CryptoP2::SimpleFileSource(
            *file, true,
            new ProgressFilter(&s.inBytes, &s.cancel, &s.itemPercent, Load(s.itemSize),
                               &s.overallPercent, overallEnd, tail, true, &s.paused));
        const OS::FileIdentity after = file->Identity();
        if (record.state == InputState::Read &&
            (after != record.identity || after.size != Load(s.inBytes)))
            record.state = InputState::ChangedWhileRead;
        file->Close();

        // A file that grew past 4 GiB while read would be recorded cut short.
        if (Load(s.inBytes) > kFormatLimit)
            throw FileCryptorErr("The file \"" + e->Name() +
                                 "\" is 4 GiB or larger, more than a container can hold");
        const std::uint64_t stored = out.GetTotalBytes() - start;
        if (out.GetTotalBytes() - dataStart > kFormatLimit)
            throw FileCryptorErr("The encrypted files pass 4 GiB, more than a container can hold");
        e->SetArchiveSize(std::uint32_t(stored));
        // The size actually read: the file may have changed since it was added.
        e->SetOriginalSize(std::uint32_t(Load(s.inBytes)));
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
    OS::ByteWord count{0};
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
    Add(m_status->outDone, total + 4);
}

void FileEncryptor::PostEncrypt() {
    OS::Trace t("FileEncryptor::PostEncrypt()");
    m_where = *m_outputName;
    // From here on the container is complete and durable under its name, whatever follows.
    m_output->Commit();
    m_output.reset();
    if (m_deletionMode != InputDeletionMode::Keep) {
        m_status->SetState(DestructionState(m_deletionMode));
        if (m_confirmDeletion &&
            !(m_callback && m_callback->ConfirmInputDeletion(nullptr, m_deletionMode)))
            return;
        VerifyContainer();
        m_status->SetState(DestructionState(m_deletionMode));
        m_where.clear();
        // The container is proven: from here the run has succeeded, and what cannot be done is
        // told input by input.
        try {
            switch (m_deletionMode) {
                case InputDeletionMode::Recycle:
                case InputDeletionMode::Delete:
                    RemoveInputs(m_deletionMode == InputDeletionMode::Recycle);
                    break;
                default:
                    DestroyFiles(m_deletionMode == InputDeletionMode::Eradicate);
                    break;
            }
            RemoveEmptyDirEntries();
        } catch (const std::exception& e) {
            Warn(std::string("The inputs could not all be handled: ") + e.what());
        }
    }
    Store(m_status->overallPercent, 100);
    m_status->SetState(OperationState::Finished);
}

void FileEncryptor::VerifyContainer() {
    OS::Trace t("FileEncryptor::VerifyContainer()");
    m_status->SetState(OperationState::Verifying);
    // What was written is read from the disk, not from memory.
    OS::DropCachedPages(*m_outputName);
    if (m_readBackHook)
        m_readBackHook(*m_outputName);
    std::string item;
    try {
        FileDecryptor::Verify(*m_outputName, m_containerKeys, *m_dirFooter, *m_status,
                              m_dataShare + m_verifyShare, m_callback, item);
    } catch (const ProgressFilter::OperationTerminated&) {
        throw;
    } catch (const std::exception& e) {
        throw FileCryptorErr("it did not read back correctly, so no input was destroyed: " +
                             (item.empty() ? std::string() : item + ": ") + e.what());
    }
}

std::optional<OS::FileIdentity> FileEncryptor::StillAsRead(std::size_t index, const DirEntry& e) {
    const InputRecord& record = m_read[index];
    switch (record.state) {
        case InputState::Link:
            Warn(e.Name() + (m_shredding ? ": kept, it is a link: the file it points to is "
                                           "another file's and was not touched"
                                         : ": kept, it is a link: only the file it points to "
                                           "was encrypted"));
            return std::nullopt;
        case InputState::ChangedWhileRead:
            Warn(e.Name() + ": kept, it changed while it was being encrypted");
            return std::nullopt;
        case InputState::NotRead:
            Warn(e.Name() + (m_shredding ? ": kept, it could not be examined"
                                         : ": kept, it was not encrypted"));
            return std::nullopt;
        case InputState::Read:
            break;
    }
    const std::optional<OS::FileIdentity> now = OS::IdentityAt(e.Name());
    if (!now) {
        Warn(e.Name() + (m_shredding ? ": not found, it was moved or removed after it was chosen"
                                     : ": not found, it was moved or removed after it was "
                                       "encrypted"));
        return std::nullopt;
    }
    if (*now != record.identity) {
        Warn(e.Name() + (m_shredding ? ": kept, it changed after it was chosen"
                                     : ": kept, it changed after it was encrypted"));
        return std::nullopt;
    }
    return now;
}

void FileEncryptor::RemoveInputs(bool recycle) {
    OS::Trace t("FileEncryptor::RemoveInputs()");
    const std::string verb = recycle ? "moved to the trash" : "deleted";
    std::vector<std::string> names;
    std::vector<OS::FileIdentity> identities;
    for (std::size_t i = 0; const DirEntry* e = m_dirFooter->GetEntry(i); ++i) {
        if (e->IsDir())
            continue;
        try {
            if (const auto identity = StillAsRead(i, *e)) {
                names.push_back(e->Name());
                identities.push_back(*identity);
            }
        } catch (const std::exception& err) {
            Warn(e->Name() + ": could not be " + verb + ": " + err.what());
        }
    }

    // Warns for every name not removed; returns those the trash refused.
    const auto report = [this](const std::vector<std::string>& list,
                               const std::vector<OS::RemovalOutcome>& outcomes,
                               const std::string& doing) {
        std::vector<std::size_t> refused;
        for (std::size_t k = 0; k < list.size(); ++k) {
            switch (outcomes[k].result) {
                case OS::Removal::Removed:
                    break;
                case OS::Removal::Missing:
                    Warn(list[k] + ": not found, it was moved or removed after it was encrypted");
                    break;
                case OS::Removal::Changed:
                    Warn(list[k] + ": kept, it changed after it was encrypted");
                    break;
                case OS::Removal::NotTrashed:
                    refused.push_back(k);
                    break;
                case OS::Removal::Failed:
                    Warn(list[k] + ": could not be " + doing + ": " + outcomes[k].reason);
                    break;
            }
        }
        return refused;
    };
    const std::vector<std::size_t> refused =
        report(names, OS::DeleteFileList(names, recycle, identities), verb);
    if (refused.empty())
        return;

    // Asked once for the run; with nobody to answer, the files stay.
    if (!(m_callback && m_callback->ConfirmDeleteInsteadOfRecycle(refused.size()))) {
        for (std::size_t k : refused)
            Warn(names[k] + ": kept, it could not be moved to the trash");
        return;
    }
    std::vector<std::string> again;
    std::vector<OS::FileIdentity> againIdentities;
    for (std::size_t k : refused) {
        again.push_back(names[k]);
        againIdentities.push_back(identities[k]);
        OS::Logger::Log(OS::LOG_WARN, names[k] + ": deleted, the trash refused it");
    }
    report(again, OS::DeleteFileList(again, false, againIdentities), "deleted");
}

void FileEncryptor::DestroyFiles(bool eradicate) {
    OS::Trace t("FileEncryptor::DestroyFiles()");
    OperationStatus& s = *m_status;
    const std::string verb = eradicate ? "eradicated" : "overwritten";
    const std::uint32_t start = m_dataShare + m_verifyShare;
    bool allOk = true;
    // What was read decides an encryption's shares; a shredded file has only its size on disk.
    const auto sizeOf = [this](const DirEntry& e) -> std::uint64_t {
        return m_shredding ? e.DiskSize() : e.OriginalSize();
    };
    std::uint64_t done = 0, total = 0;
    for (std::size_t i = 0; const DirEntry* e = m_dirFooter->GetEntry(i); ++i)
        if (!e->IsDir())
            total += sizeOf(*e);
    for (std::size_t i = 0; const DirEntry* e = m_dirFooter->GetEntry(i); ++i) {
        if (e->IsDir())
            continue;
        // Shredding alone may stop between files; after an encryption the inputs are handled
        // to the end, as the user was told they would be.
        if (m_shredding && s.Cancelled())
            throw ProgressFilter::OperationTerminated();
        s.itemName.store(e->Name().c_str(), std::memory_order_relaxed);
        Store(s.itemNumber, std::uint32_t(i + 1));
        Store(s.itemPercent, 0);
        done += sizeOf(*e);
        const std::uint32_t end =
            total == 0 ? start : std::uint32_t(start + done * m_destructionShare / total);
        try {
            if (const auto identity = StillAsRead(i, *e)) {
                OS::WriteFile file(e->Name(), OS::WriteMode::Replace, false);
                file.ExpectIdentity(*identity);
                file.SetProgress(0, &s.itemPercent, &s.overallPercent, end);
                const bool ok = eradicate ? file.Eradicate() : file.Overwrite();
                if (!file.DestroyNote().empty())
                    Warn(e->Name() + ": " + file.DestroyNote());
                allOk = ok && allOk;
            } else {
                allOk = false;
            }
        } catch (const std::exception& err) {
            allOk = false;
            Warn(e->Name() + ": could not be " + verb + ": " + err.what());
        }
        Store(s.overallPercent, end);
    }
    s.itemName.store(nullptr, std::memory_order_relaxed);
    if (!allOk && m_callback)
        m_callback->ReportDestroyFailed(eradicate);
}

void FileEncryptor::RemoveEmptyDirEntries() {
    OS::Trace t("FileEncryptor::RemoveEmptyDirEntries()");
    std::vector<std::string> folders;
    for (std::size_t i = 0; const DirEntry* e = m_dirFooter->GetEntry(i); ++i)
        if (e->IsDir() && !(i < m_read.size() && m_read[i].state == InputState::Link))
            folders.push_back(e->Name());
    // Longest first, so nested folders go before their parents.
    std::stable_sort(
        folders.begin(), folders.end(),
        [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& folder : folders) {
        try {
            if (OS::Directory::Exists(folder) && OS::Directory::IsEmpty(folder))
                OS::Directory::Remove(folder);
        } catch (const std::exception& e) {
            Warn(folder + ": could not be removed: " + e.what());
        }
    }
}

}  // namespace FCryptEng
