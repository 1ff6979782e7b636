#include "engine/FileDecryptor.h"

#include "engine/DecryptAhead.h"

#include <cryptopp/aes.h>
#include <cryptopp/hmac.h>
#include <cryptopp/misc.h>
#include <cryptopp/modes.h>
#include <cryptopp/queue.h>
#include <cryptopp/sha.h>

#include <algorithm>

#include "filters/BufferingFilter.h"
#include "filters/CbcFilter.h"
#include "filters/PipelineWorker.h"
#include "filters/ProgressFilter.h"
#include "filters/SeparateHashFilter.h"
#include "filters/SimpleFileSink.h"
#include "filters/SimpleFileSource.h"
#include "filters/Zlib.h"
#include "os/Destroy.h"
#include "os/Directory.h"
#include "os/Logger.h"
#include "os/PendingOutput.h"
#include "recovery/AdminKeyEntry.h"

namespace FCryptEng {
namespace {

constexpr std::uint32_t kBlock = 65536;
const char kExitLine[] = "Exiting File Decryptor early since exception thrown";

using CryptoP2::ProgressFilter;

using OS::Add;
using OS::Load;
using OS::Store;

// Joins the second core's thread, if a file started it, when a run ends whichever way.
class WorkerEnd {
  public:
    explicit WorkerEnd(std::unique_ptr<CryptoP2::PipelineWorker>& worker) : m_worker(worker) {}
    ~WorkerEnd() { m_worker.reset(); }
    WorkerEnd(const WorkerEnd&) = delete;
    WorkerEnd& operator=(const WorkerEnd&) = delete;

  private:
    std::unique_ptr<CryptoP2::PipelineWorker>& m_worker;
};

std::uint32_t ReadWord(OS::ReadFile& file) {
    CryptoPP::byte bytes[4];
    if (file.Read(bytes, 4) != 4)
        throw FileCryptorErr("Unable to pump footer data");
    return CryptoPP::GetWord<CryptoPP::word32>(false, CryptoPP::BIG_ENDIAN_ORDER, bytes);
}

// Failures to make an output that the user can do something about before trying again. A
// folder is never "in use".
bool MayRetryCreate(OS::ErrorCode code, bool file) {
    switch (code) {
        case OS::ErrorCode::NotFound:
        case OS::ErrorCode::Denied:
        case OS::ErrorCode::WriteFault:
        case OS::ErrorCode::WriteProtected:
        case OS::ErrorCode::InvalidDrive:
            return true;
        case OS::ErrorCode::InUse:
            return file;
        default:
            return false;
    }
}

}  // namespace

FileDecryptor::FileDecryptor(OperationStatus* status, CryptorCallback* callback)
    : FileCryptor(status, callback) {
    SetAdminEntryReader(&AdminKeyEntry::Read);
}

FileDecryptor::~FileDecryptor() {
    // A container that was refused is still open: closing it is no error worth a log line.
    try {
        if (m_container)
            m_container->Close();
    } catch (...) {
    }
}

void FileDecryptor::SetPlainFile(std::size_t index) {
    OS::Trace t("FileDecryptor::SetPlainFile()");
    if (DirEntry* e = m_dirFooter->GetEntry(index))
        e->SetSelected(true);
}

void FileDecryptor::ClearPlainFiles() {
    OS::Trace t("FileDecryptor::ClearPlainFiles()");
    for (std::size_t i = 0; DirEntry* e = m_dirFooter->GetEntry(i); ++i)
        e->SetSelected(false);
}

std::optional<std::string> FileDecryptor::CipherFile() const {
    OS::Trace t("FileDecryptor::CipherFile()");
    if (!m_container)
        return std::nullopt;
    return m_container->GetInfo().Name();
}

void FileDecryptor::CipherFile(const std::optional<std::string>& path) {
    OS::Trace t("FileDecryptor::CipherFile()");
    m_container.reset();
    m_containerName.clear();
    if (!path)
        return;
    auto container = std::make_unique<OS::ReadFile>(*path);
    container->Open();
    m_openedIdentity = container->Identity();
    m_container = std::move(container);
    m_containerName = m_container->GetInfo().FullName();
}

void FileDecryptor::ClearPassword() {
    OS::Trace t("FileDecryptor::ClearPassword()");
    m_keyFooter = std::make_unique<KeyFooter>(m_callback);
    m_dirFooter = std::make_unique<DirFooter>();
    m_unlocked.reset();
    ReadFooters();
}

void FileDecryptor::ReadFooters() {
    OS::Trace t("FileDecryptor::ReadFooters()");
    if (!m_container)
        throw FileCryptorErr("Input file not set");
    OS::ReadFile& file = *m_container;
    file.GetInfo().Update();
    const std::uint64_t size = file.GetInfo().Size();
    if (size < 4)
        throw FileCryptorErr("Unable to pump footer data");
    file.Move(-4, false);
    m_footerLength = ReadWord(file);
    if (size < std::uint64_t(m_footerLength) + 4)
        throw FileCryptorErr("Corrupt input file");
    m_regionStart = size - 4 - m_footerLength;
    file.Move(std::int64_t(m_regionStart), false);

    std::unique_ptr<KeyFooter> keyFooter;
    std::unique_ptr<DirFooter> dirFooter;
    std::uint64_t consumed = 0;
    while (consumed < m_footerLength) {
        if (m_footerLength - consumed < 4)
            throw FileCryptorErr("Unable to pump footer data");
        const std::uint32_t word = ReadWord(file);
        const std::uint32_t length = word & 0xFFFFFF;
        // A word that is no framing word is named as such, whatever length it happens to hold.
        if (word >> 24 != 0x25 && word >> 24 != 0x8C)
            throw FileCryptorErr("Unrecognised footer tag");
        if (length > m_footerLength - consumed - 4)
            throw FileCryptorErr("Corrupt input file");
        CryptoPP::ByteQueue body;
        CryptoP2::SimpleFileSource(file, length, true,
                                   new CryptoPP::Redirector(body, CryptoPP::Redirector::DATA_ONLY));
        // A second footer of a kind already seen replaces the first.
        if (word >> 24 == 0x25)
            dirFooter = std::make_unique<DirFooter>(body, length);
        else
            keyFooter = std::make_unique<KeyFooter>(m_callback, body, length, m_adminReader);
        consumed += 4 + std::uint64_t(length);
    }
    // Without both footers there is nothing to unlock or nothing to read.
    if (!keyFooter || !dirFooter)
        throw FileCryptorErr("Corrupt input file");
    m_keyFooter = std::move(keyFooter);
    m_dirFooter = std::move(dirFooter);
}

UnlockResult FileDecryptor::Password(const char* text) {
    OS::Trace t("FileDecryptor::Password()");
    m_unlockFailure.clear();
    try {
        std::unique_ptr<KeySet> keys;
        const UnlockResult result = m_keyFooter->TryPassword(text, keys);
        // Unlocked only once the directory has opened too: a container whose directory is
        // refused must never run, nor be destroyed after a run of nothing.
        if (result == UnlockResult::Unlocked) {
            m_dirFooter->Decrypt(*keys);
            // The entries hold all that is needed from here on.
            m_dirFooter->ReleaseBody();
            m_unlocked = std::move(keys);
        }
        return result;
    } catch (const std::exception& e) {
        // The caller only learns that the container does not open; the log keeps why.
        OS::Logger::Log(OS::LOG_ERROR, m_containerName + ": " + e.what());
        m_unlockFailure = e.what();
        return UnlockResult::Failed;
    } catch (...) {
        m_unlockFailure = "Unexpected error";
        return UnlockResult::Failed;
    }
}

// ---------------------------------------------------------------------------------------------

void FileDecryptor::Begin() {
    OS::Trace t("FileDecryptor::Begin()");
    const WorkerEnd workerEnd(m_worker);
    m_where = m_containerName;
    try {
        if (!m_unlocked)
            throw FileCryptorErr("No password has opened the container");
        DecryptFiles();
        PostDecrypt();
    } catch (const ProgressFilter::OperationTerminated&) {
        EndFailed(kExitLine, nullptr);
    } catch (const std::exception& e) {
        EndFailed(kExitLine, &e);
    } catch (...) {
        const FileCryptorErr unknown("Unexpected error");
        EndFailed(kExitLine, &unknown);
    }
}

void FileDecryptor::Verify(const std::string& path, const KeySet& containerKeys,
                           const DirFooter& written, OperationStatus& status,
                           std::uint32_t overallEnd, CryptorCallback* callback, std::string& item) {
    OS::Trace t("FileDecryptor::Verify()");
    FileDecryptor reader(&status, callback);
    reader.CipherFile(path);
    reader.ClearPassword();
    reader.m_unlocked = std::make_unique<KeySet>(containerKeys);
    reader.m_keyFooter->SetKeys(reader.m_unlocked.get());
    reader.m_keyFooter->VerifyMac();
    reader.m_dirFooter->Decrypt(*reader.m_unlocked);
    reader.m_dirFooter->ReleaseBody();

    const DirFooter& read = *reader.m_dirFooter;
    const std::size_t count = read.NumEntries(false);
    if (count != written.NumEntries(false))
        throw FileCryptorErr("The directory does not list the files written");
    std::uint64_t plainTotal = 0, plainDone = 0;
    for (std::size_t i = 0; i < count; ++i)
        plainTotal += read.GetEntry(i)->OriginalSize();
    const std::uint32_t overallStart = Load(status.overallPercent);

    for (std::size_t i = 0; i < count; ++i) {
        const DirEntry& e = *read.GetEntry(i);
        const DirEntry& w = *written.GetEntry(i);
        item = w.Name();
        if (e.IsDir() != w.IsDir())
            throw FileCryptorErr("The directory entry differs from the file written");
        if (e.IsDir())
            continue;
        if (e.OriginalSize() != w.OriginalSize() || e.ArchiveSize() != w.ArchiveSize() ||
            e.Position() != w.Position() || e.Compress() != w.Compress() || e.Mac() != w.Mac())
            throw FileCryptorErr("The directory entry differs from the file written");
        plainDone += e.OriginalSize();
        reader.CheckStored(e, w.Name(), i, Share(overallStart, overallEnd, plainDone, plainTotal));
    }
    item.clear();
    Store(status.overallPercent, overallEnd);
}

std::vector<FileDecryptor::Damage> FileDecryptor::Test() {
    OS::Trace t("FileDecryptor::Test()");
    const WorkerEnd workerEnd(m_worker);
    if (!m_unlocked)
        throw FileCryptorErr("No password has opened the container");
    OperationStatus& s = *m_status;
    s.Clear();
    s.SetState(OperationState::Verifying);
    const std::size_t count = m_dirFooter->NumEntries(false);
    std::uint64_t plainTotal = 0, plainDone = 0, storedTotal = 0;
    std::uint32_t files = 0, folders = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const DirEntry& e = *m_dirFooter->GetEntry(i);
        if (e.IsDir()) {
            ++folders;
            continue;
        }
        ++files;
        plainTotal += e.OriginalSize();
        storedTotal += e.ArchiveSize();
    }
    Store(s.fileCount, files);
    Store(s.folderCount, folders);
    Store(s.plainTotal, plainTotal);
    Store(s.inTotal, storedTotal);

    std::vector<Damage> damaged;
    for (std::size_t i = 0; i < count; ++i) {
        const DirEntry& e = *m_dirFooter->GetEntry(i);
        if (e.IsDir())
            continue;
        plainDone += e.OriginalSize();
        try {
            CheckStored(e, e.Name(), i, Share(0, 100, plainDone, plainTotal));
        } catch (const ProgressFilter::OperationTerminated&) {
            throw;
        } catch (const OS::File::Error&) {
            // The container itself cannot be read: nothing after it could be checked either.
            throw;
        } catch (const std::exception& err) {
            // Each file has its own keys, MAC and place: damage to one leaves the others readable.
            damaged.push_back({i, e.Name(), err.what()});
            OS::Logger::Log(OS::LOG_WARN, m_containerName + ": " + e.Name() + ": " + err.what());
        }
        Add(s.inDone, e.ArchiveSize());
        Add(s.outDone, e.OriginalSize());
    }
    Store(s.overallPercent, 100);
    s.SetState(damaged.empty() ? OperationState::Finished : OperationState::Failed);
    return damaged;
}

std::uint32_t FileDecryptor::Share(std::uint32_t start, std::uint32_t end, std::uint64_t done,
                                   std::uint64_t total) {
    if (total == 0)
        return end;
    return std::uint32_t(start + (end - start) * done / total);
}

void FileDecryptor::CheckStored(const DirEntry& e, const std::string& name, std::size_t index,
                                std::uint32_t overallEnd) {
    OperationStatus& status = *m_status;
    status.itemName.store(name.c_str(), std::memory_order_relaxed);
    Store(status.itemNumber, std::uint32_t(index + 1));
    Store(status.itemSize, e.ArchiveSize());
    Store(status.itemPlainSize, e.OriginalSize());
    auto clear = [&status] {
        Store(status.itemSize, 0);
        Store(status.itemPlainSize, 0);
        Store(status.inBytes, 0);
        Store(status.outBytes, 0);
        status.itemName.store(nullptr, std::memory_order_relaxed);
    };
    try {
        PumpStored(e, overallEnd, std::make_unique<CryptoPP::BitBucket>());
    } catch (...) {
        clear();
        throw;
    }
    clear();
    // A cancel after the last block skips the checks: it must not pass for a proof.
    if (status.Cancelled())
        throw ProgressFilter::OperationTerminated();
}

void FileDecryptor::SetTotalSizes() {
    m_destructionShare = DestructionShare(m_deletionMode);
    m_dataShare = 100 - m_destructionShare;
    std::uint64_t inTotal = m_footerLength, plainTotal = 0;
    std::uint32_t files = 0, folders = 0;
    for (std::size_t i = 0; const DirEntry* e = m_dirFooter->GetEntry(i); ++i) {
        inTotal += e->ArchiveSize();
        if (!e->Selected())
            continue;
        if (e->IsDir()) {
            ++folders;
        } else {
            ++files;
            plainTotal += e->OriginalSize();
        }
    }
    OperationStatus& s = *m_status;
    Store(s.inTotal, inTotal);
    Store(s.plainTotal, plainTotal);
    Store(s.fileCount, files);
    Store(s.folderCount, folders);
    Store(s.inDone, m_footerLength);
}

void FileDecryptor::DecryptFiles() {
    OS::Trace t("FileDecryptor::DecryptFiles()");
    OperationStatus& s = *m_status;
    s.Clear();
    s.SetState(OperationState::Decrypting);
    SetTotalSizes();
    m_overwriteFlags = OverwriteFlags::Start;
    m_skipped = false;
    m_destination.reset();
    std::uint32_t skippedCount = 0;
    std::uint64_t skippedPlain = 0, skippedStored = 0;
    auto settle = [&] {
        Store(s.fileCount, Load(s.fileCount) - skippedCount);
        Store(s.outDone, Load(s.outDone) - skippedPlain);
        Store(s.plainTotal, Load(s.plainTotal) - skippedPlain);
        Store(s.inDone, Load(s.inDone) - skippedStored);
    };

    // Many small files: the next ones are decrypted on the second core while this one is made.
    std::unique_ptr<DecryptAhead> ahead;
    std::size_t aheadNext = 0;
    {
        std::size_t small = 0;
        for (std::size_t i = 0; const DirEntry* e = m_dirFooter->GetEntry(i); ++i)
            small += e->Selected() && !e->IsDir() && DecryptAhead::Fits(*e);
        if (small >= 2)
            ahead = DecryptAhead::Open(m_containerName, m_container->Identity());
    }

    for (std::size_t i = 0; DirEntry* e = m_dirFooter->GetEntry(i); ++i) {
        if (s.Cancelled())
            break;
        if (!e->Selected()) {
            m_skipped = true;
            continue;
        }
        if (ahead)
            FeedAhead(*ahead, i, aheadNext);
        s.itemName.store(e->FinalName().c_str(), std::memory_order_relaxed);
        Store(s.itemNumber, std::uint32_t(i + 1));
        m_where = e->FinalName();
        if (e->IsDir()) {
            CreateDirectory(*e);
            continue;
        }
        Store(s.itemSize, e->ArchiveSize());
        Store(s.itemPlainSize, e->OriginalSize());
        const std::uint64_t plainTotal = Load(s.plainTotal);
        std::uint32_t overallEnd = m_dataShare;
        if (plainTotal != 0) {
            overallEnd = std::uint32_t((double(Load(s.outDone)) + double(e->OriginalSize())) *
                                       m_dataShare / double(plainTotal));
            if (overallEnd == 0)
                overallEnd = 1;
        }

        if (!OverwriteOK(*e)) {
            m_skipped = true;
            ++skippedCount;
            skippedPlain += e->OriginalSize();
            skippedStored += e->ArchiveSize();
        } else {
            try {
                DecryptFile(i, *e, overallEnd, ahead.get());
            } catch (const ProgressFilter::OperationTerminated&) {
                settle();
                throw;
            }
        }

        Add(s.inDone, e->ArchiveSize());
        Add(s.outDone, e->OriginalSize());
        Store(s.itemSize, 0);
        Store(s.itemPlainSize, 0);
        Store(s.inBytes, 0);
        Store(s.outBytes, 0);
        s.itemName.store(nullptr, std::memory_order_relaxed);
    }
    settle();
    m_where = m_containerName;
    if (s.Cancelled())
        throw ProgressFilter::OperationTerminated();
    // Every new name reaches the disk before the container may be destroyed.
    if (m_destination && Durable())
        m_destination->Sync();
}

void FileDecryptor::FeedAhead(DecryptAhead& ahead, std::size_t from, std::size_t& next) {
    next = std::max(next, from);
    for (; const DirEntry* e = m_dirFooter->GetEntry(next); ++next) {
        if (!e->Selected() || e->IsDir() || !DecryptAhead::Fits(*e))
            continue;
        // A damaged entry is left to the run, which says so in its own words.
        if (e->Position() > m_regionStart || e->ArchiveSize() > e->Position())
            continue;
        // Checked before the keys are copied: the queue is full most of the time.
        if (!ahead.Room(std::size_t(e->ArchiveSize()) + e->OriginalSize()))
            return;
        DecryptAhead::Job job;
        job.keys = e->KeySetCopy();
        if (!job.keys)
            continue;
        job.index = next;
        job.offset = m_regionStart - e->Position();
        job.stored = e->ArchiveSize();
        job.plain = e->OriginalSize();
        job.compress = e->Compress();
        job.mac = e->Mac();
        if (!ahead.Post(std::move(job)))
            return;
    }
}

void FileDecryptor::DecryptFile(std::size_t index, DirEntry& e, std::uint32_t overallEnd,
                                DecryptAhead* ahead) {
    OS::Trace t("FileDecryptor::DecryptFile()");
    OperationStatus& s = *m_status;
    m_where = e.FinalName();

    OS::PendingOutput out(e.FinalName(), e.Attributes());
    // While the container stays, it holds every file: only a run that destroys it needs them on
    // the disk first.
    out.SetDurable(Durable());
    OS::Destination& destination = DestinationOf(e);
    for (bool open = false; !open;) {
        try {
            // A name too long for the file system fails here, before anything is made.
            OS::NativeHandle folder = OS::kNoHandle;
            if (destination.OpenParent(e.OutputRelative(), true, folder) !=
                OS::Destination::Reach::Ok) {
                SkipLinked(e, false);
                return;
            }
            out.OpenIn(folder);
            open = true;
        } catch (const OS::File::Error& err) {
            if (!MayRetryCreate(err.code, true))
                throw;
            if (!m_callback || !m_callback->RetryOpen(false, true, e.FinalName(), err.code)) {
                s.Cancel();
                return;
            }
        }
    }

    try {
        auto sink = std::make_unique<CryptoP2::SimpleFileSink>(out.File(), m_callback, false);
        std::size_t length = 0;
        if (ahead && ahead->Take(index, m_plain, length)) {
            Store(s.inBytes, e.ArchiveSize());
            // Written through the same progress stage as the rest: cancel and pause hold.
            ProgressFilter(&s.outBytes, &s.cancel, &s.itemPercent, e.OriginalSize(),
                           &s.overallPercent, overallEnd, sink.release(), true, &s.paused)
                .Put2(m_plain.data(), length, -1, true);
        } else {
            PumpStored(e, overallEnd, std::move(sink));
        }
    } catch (const OS::File::Error& err) {
        if (err.code != OS::ErrorCode::DiskFull)
            throw;
        s.Cancel();
    }
    if (s.Cancelled())
        throw ProgressFilter::OperationTerminated();

    try {
        out.File().SetFileTimes(e.CreateTime(), e.ModTime(), e.AccessTime());
    } catch (const OS::File::Error&) {
        // Times that no calendar holds are not worth losing the file over.
        OS::Logger::Log(OS::LOG_WARN, "Stored times not restored for " + e.FinalName());
    }
    out.Commit(false);
    destination.Changed(e.OutputRelative());
    m_where = m_containerName;
}

void FileDecryptor::PumpStored(const DirEntry& e, std::uint32_t overallEnd,
                               std::unique_ptr<CryptoPP::BufferedTransformation> sink) {
    OS::Trace t("FileDecryptor::PumpStored()");
    OperationStatus& s = *m_status;
    const std::unique_ptr<KeySet> keys = e.KeySetCopy();
    // Stored data must lie wholly before the footer region.
    if (!keys || e.Position() > m_regionStart || e.ArchiveSize() > e.Position())
        throw FileCryptorErr("Corrupt input file");
    m_container->Move(std::int64_t(m_regionStart - e.Position()), false);

    CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption aes(keys->EncKey()->data(), 16,
                                                      keys->IV()->data());
    CryptoPP::HMAC<CryptoPP::SHA256> mac(keys->MacKey()->data(), keys->MacKey()->size());

    // AES-CBC and the HMAC on two cores, for a file of more than one block.
    CryptoP2::PipelineWorker* worker = nullptr;
    if (e.ArchiveSize() > kBlock) {
        if (!m_worker)
            m_worker = std::make_unique<CryptoP2::PipelineWorker>();
        worker = m_worker.get();
    }
    // container -> read progress -> AES-CBC -> HMAC -> [inflate -> buffering]
    // -> write progress -> sink
    WithStoredErrors([&] {
        CryptoP2::SimpleFileSource(
            *m_container, e.ArchiveSize(), true,
            new ProgressFilter(
                &s.inBytes, nullptr, nullptr, 0, nullptr, 0,
                StoredChain(aes, mac, e.Compress(), e.OriginalSize(),
                            new ProgressFilter(&s.outBytes, &s.cancel, &s.itemPercent,
                                               e.OriginalSize(), &s.overallPercent, overallEnd,
                                               sink.release(), true, &s.paused),
                            worker)));
    });
    if (s.Cancelled())
        return;

    CheckDecrypted(mac, e.Mac(), e.Compress(), Load(s.outBytes), e.OriginalSize());
}

bool FileDecryptor::OverwriteOK(const DirEntry& e) {
    OS::Trace t("FileDecryptor::OverwriteOK()");
    // Looked at where it will be written: relative to its folder, without following links.
    OS::File::Info existing;
    switch (DestinationOf(e).Describe(e.OutputRelative(), existing)) {
        case OS::Destination::Reach::Missing:
            return true;
        case OS::Destination::Reach::Link:
            SkipLinked(e, false);
            return false;
        case OS::Destination::Reach::Ok:
            break;
    }
    if (!existing.Exists())
        return true;
    // Replacing a link would not overwrite the file it points to, but the user could not tell.
    if (existing.IsLink()) {
        SkipLinked(e, true);
        return false;
    }
    const std::uint32_t attributes = existing.Attributes();
    if (attributes & OS::ATTR_SYSTEM)
        return false;
    const bool readOnly = (attributes & OS::ATTR_READONLY) != 0;
    if (readOnly) {
        if (Any(m_overwriteFlags, OverwriteFlags::YesToAllReadOnly))
            return true;
        if (Any(m_overwriteFlags, OverwriteFlags::NoToAllReadOnly | OverwriteFlags::NoToAll))
            return false;
    } else {
        if (Any(m_overwriteFlags, OverwriteFlags::YesToAll | OverwriteFlags::YesToAllReadOnly))
            return true;
        if (Any(m_overwriteFlags, OverwriteFlags::NoToAll))
            return false;
    }
    return m_callback && m_callback->ConfirmOverwrite(e.FinalName(), readOnly, m_overwriteFlags);
}

bool FileDecryptor::CreateDirectory(const DirEntry& e) {
    OS::Trace t("FileDecryptor::CreateDirectory()");
    for (;;) {
        try {
            if (DestinationOf(e).MakeFolder(e.OutputRelative()) == OS::Destination::Reach::Link)
                SkipLinked(e, false);
            return true;
        } catch (const OS::Directory::Error& err) {
            if (!MayRetryCreate(err.code, false))
                throw;
            if (!m_callback || !m_callback->RetryOpen(false, false, e.FinalName(), err.code)) {
                m_status->Cancel();
                return false;
            }
        }
    }
}

OS::Destination& FileDecryptor::DestinationOf(const DirEntry& e) {
    if (!m_destination || m_destination->Root() != e.OutputFolder()) {
        // Entries of one run share their folder; should they not, nothing changed is lost.
        if (m_destination && Durable())
            m_destination->Sync();
        m_destination = std::make_unique<OS::Destination>(e.OutputFolder());
    }
    return *m_destination;
}

void FileDecryptor::SkipLinked(const DirEntry& e, bool inItsPlace) {
    m_skipped = true;
    const std::string why = inItsPlace ? ": skipped, a symbolic link stands in its place"
                                       : ": skipped, a symbolic link is in its path";
    m_status->warnings.push_back(e.Name() + why);
    OS::Logger::Log(OS::LOG_WARN, e.FinalName() + why);
}

void FileDecryptor::PostDecrypt() {
    OS::Trace t("FileDecryptor::PostDecrypt()");
    m_where = m_containerName;
    // The file read from start to end, as it is now: another process may have rewritten it.
    std::optional<OS::FileIdentity> readIdentity;
    try {
        readIdentity = m_container->Identity();
    } catch (const OS::File::Error&) {
    }
    m_container->Close();
    const std::string path = m_containerName;
    if (m_deletionMode != InputDeletionMode::Keep) {
        m_status->SetState(DestructionState(m_deletionMode));
        if (!m_status->warnings.empty()) {
            // Something was not written: the container may be the only copy of it.
            Warn(path + ": kept, not every file was written");
        } else if (!(m_skipped || m_confirmDeletion) ||
                   (m_callback && m_callback->ConfirmInputDeletion(&path, m_deletionMode))) {
            // A container not wholly extracted is never destroyed without asking.
            DestroyContainer(readIdentity);
        } else {
            return;
        }
    }
    Store(m_status->overallPercent, 100);
    m_status->SetState(OperationState::Finished);
}

// Every failure from here on is a warning: the files are out, and the run has succeeded.
void FileDecryptor::DestroyContainer(const std::optional<OS::FileIdentity>& readIdentity) {
    OS::Trace t("FileDecryptor::DestroyContainer()");
    const std::string& path = m_containerName;
    const char* verb = "deleted";
    try {
        const std::optional<OS::FileIdentity> now = OS::IdentityAt(path);
        if (!now) {
            Warn(path + ": not found, it was moved or removed after it was read");
            return;
        }
        if (*now != m_openedIdentity || (readIdentity && *readIdentity != m_openedIdentity)) {
            Warn(path + ": kept, it changed after it was read");
            return;
        }
        switch (m_deletionMode) {
            case InputDeletionMode::Overwrite:
                verb = "overwritten";
                DestroyInput(false, *now);
                break;
            case InputDeletionMode::Eradicate:
                verb = "eradicated";
                DestroyInput(true, *now);
                break;
            case InputDeletionMode::Recycle: {
                verb = "moved to the trash";
                const OS::RemovalOutcome outcome = OS::DeleteFileList({path}, true, {*now})[0];
                if (outcome.result == OS::Removal::Removed)
                    break;
                if (outcome.result != OS::Removal::NotTrashed) {
                    Warn(path + ": kept, " + outcome.reason);
                    break;
                }
                if (!(m_callback && m_callback->ConfirmDeleteInsteadOfRecycle(1))) {
                    Warn(path + ": kept, it could not be moved to the trash");
                    break;
                }
                verb = "deleted";
                if (OS::IdentityAt(path) != now) {
                    Warn(path + ": kept, it changed after it was read");
                    break;
                }
                OS::WriteFile(path, OS::WriteMode::Replace, false).Delete(false);
                OS::Logger::Log(OS::LOG_WARN, path + ": deleted, the trash refused it");
                break;
            }
            default:
                OS::WriteFile(path, OS::WriteMode::Replace, false).Delete(false);
                break;
        }
    } catch (const std::exception& e) {
        Warn(path + ": could not be " + verb + ": " + e.what());
    }
}

void FileDecryptor::DestroyInput(bool eradicate, const OS::FileIdentity& identity) {
    OS::Trace t("FileDecryptor::DestroyInput()");
    OS::WriteFile file(m_containerName, OS::WriteMode::Replace, false);
    file.ExpectIdentity(identity);
    file.SetProgress(0, &m_status->itemPercent, &m_status->overallPercent, 100);
    const bool ok = eradicate ? file.Eradicate() : file.Overwrite();
    if (!file.DestroyNote().empty())
        Warn(m_containerName + ": " + file.DestroyNote());
    if (!ok && m_callback)
        m_callback->ReportDestroyFailed(eradicate);
}

}  // namespace FCryptEng
