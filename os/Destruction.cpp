// The steps of destroying an input, alike on every system: overwrite passes, renames, the checks
// that only the file described is touched. What they ask of the system is in DestroyParts.h.
#include <algorithm>
#include <random>
#include <vector>

#include "os/Destroy.h"
#include "os/DestroyParts.h"
#include "os/Logger.h"

namespace OS {
namespace {

using DestroyParts::LookAt;
using DestroyParts::NameFacts;

constexpr std::size_t kBlockSize = 16384;
constexpr unsigned char kFirstPattern = 0x39;
constexpr unsigned char kSecondPattern = 0xC6;
constexpr char kRenameAlphabet[] =
    "abcdefghijkLmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890-+";
static_assert(sizeof kRenameAlphabet == 65, "the rename alphabet has 64 letters");
constexpr int kRenames = 4;
// A drawn name that is taken is drawn again rather than put in the other file's place.
constexpr int kNameDraws = 16;

constexpr const char kChanged[] = "kept, it changed after it was read";
constexpr const char kHardLinked[] =
    "only unlinked, not overwritten: it has other names (hard links) that keep its content";

std::uint32_t Load(const ProgressWord* word) {
    return word ? word->load(std::memory_order_relaxed) : 0;
}

void Store(ProgressWord* word, std::uint32_t value) {
    if (word)
        word->store(value, std::memory_order_relaxed);
}

void Advance(ProgressWord* word, std::uint32_t start, std::uint32_t target, std::uint64_t done,
             std::uint64_t total) {
    if (!word)
        return;
    const double value =
        double(start) + (double(target) - double(start)) * double(done) / double(total);
    word->store(std::uint32_t(std::int64_t(value)), std::memory_order_relaxed);
}

// Refreshes `info` and tells whether it names a plain file that destruction may touch, with what
// the name holds in `facts`; otherwise `note` says why not. Links, devices and pipes are left
// alone: writing through them would reach something else.
bool IsDestroyable(File::Info& info, NameFacts& facts, std::string& note) {
    try {
        info.Update();
    } catch (const File::Error& e) {
        if (e.code == ErrorCode::NotFound) {
            note = "not found";
            return false;
        }
        throw;
    }
    const std::optional<NameFacts> looked = LookAt(info.FullName());
    if (!looked) {
        note = "not found";
        return false;
    }
    facts = *looked;
    if (!facts.plainFile || (info.Attributes() & (ATTR_SYSTEM | ATTR_DIRECTORY))) {
        note = facts.link ? "kept, it is a link" : "kept, it is not a plain file";
        Logger::Log(LOG_WARN, "Not a plain file, left in place: " + info.FullName());
        return false;
    }
    return true;
}

// Renames the file `original` in `path` kRenames times and returns its last name. A failed
// move puts the file back under `original` and raises.
std::string RenameAway(const std::string& path, const std::string& original, std::mt19937& rng) {
    using DestroyParts::Moved;
    // Only dots: there is nothing a rename could change.
    if (original.find_first_not_of('.') == std::string::npos)
        return original;
    const auto next = [&rng] { return std::uint32_t(rng()); };
    std::string current = original;
    for (int i = 0; i < kRenames; ++i) {
        std::string drawn;
        Moved moved = Moved::NameTaken;
        int err = 0;
        for (int draw = 0; draw < kNameDraws && moved == Moved::NameTaken; ++draw) {
            drawn = ScrambleName(current, next);
            if (drawn != current)
                moved = DestroyParts::MoveNoReplace(path + current, path + drawn, err);
        }
        if (moved != Moved::Done) {
            if (current != original) {
                int ignored = 0;
                DestroyParts::MoveNoReplace(path + current, path + original, ignored);
            }
            if (err == 0)
                throw File::Error(ErrorCode::Exists);
            File::RaiseError(err);
        }
        current = drawn;
    }
    return current;
}

std::mt19937 FreshGenerator() {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    return std::mt19937(seed);
}

}  // namespace

std::string ScrambleName(const std::string& name, const std::function<std::uint32_t()>& next) {
    std::string scrambled = name;
    for (char& c : scrambled) {
        if (c != '.')
            c = kRenameAlphabet[next() % 64];
    }
    return scrambled;
}

namespace DestroyParts {

std::optional<NameFacts> LookAt(const std::string& fullName) {
    const NameInFolder entry(fullName);
    int err = 0;
    if (const std::optional<NameFacts> facts = entry.Look(err))
        return facts;
    if (IsMissing(err))
        return std::nullopt;
    File::RaiseError(err);
    return std::nullopt;
}

}  // namespace DestroyParts

std::optional<FileIdentity> IdentityAt(const std::string& fullName) {
    const std::optional<NameFacts> facts = LookAt(fullName);
    if (!facts)
        return std::nullopt;
    return facts->identity;
}

std::vector<RemovalOutcome> DeleteFileList(const std::vector<std::string>& names, bool recycle,
                                           const std::vector<FileIdentity>& expected) {
    Trace trace("File::DeleteFileList()");
    std::vector<RemovalOutcome> outcomes(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        RemovalOutcome& outcome = outcomes[i];
        bool toTrash = false;
        {
            const DestroyParts::NameInFolder entry(name);
            int err = 0;
            const std::optional<NameFacts> facts = entry.Look(err);
            if (!facts) {
                outcome.result = DestroyParts::IsMissing(err) ? Removal::Missing : Removal::Failed;
                outcome.reason = DestroyParts::TextOf(err);
            } else if (i < expected.size() && facts->identity != expected[i]) {
                outcome.result = Removal::Changed;
                outcome.reason = kChanged;
            } else if (recycle) {
                // The trash moves it by name, with the folder let go.
                toTrash = true;
            } else if (const int removeErr = entry.Remove()) {
                outcome.result = Removal::Failed;
                outcome.reason = DestroyParts::TextOf(removeErr);
            }
        }
        if (toTrash) {
            try {
                // Never opened: Replace only lets the name be described whatever it is.
                WriteFile file(name, WriteMode::Replace);
                if (i < expected.size())
                    file.ExpectIdentity(expected[i]);
                if (!file.Recycle()) {
                    outcome.result = Removal::NotTrashed;
                    outcome.reason = file.DestroyNote();
                }
            } catch (const std::exception& e) {
                outcome.result = Removal::NotTrashed;
                outcome.reason = e.what();
            }
        }
        if (outcome.result != Removal::Removed)
            Logger::Log(LOG_WARN, "Not removed: " + name + ": " + outcome.reason);
    }
    return outcomes;
}

// ---------------------------------------------------------------------------------------------

bool WriteFile::OpenToDestroy(WriteMode mode) {
    if (IsOpen())
        return true;
    const std::string full = m_info.FullName();
    // Read-only protects a file from being written, whoever asks: root is kept out too.
    if (m_info.Attributes() & ATTR_READONLY) {
        m_destroyNote = std::string("kept, it could not be opened for writing: ") +
                        ErrorText(ErrorLayer::File, ErrorCode::Denied);
        Logger::Log(LOG_WARN, full + ": " + m_destroyNote);
        return false;
    }
    std::optional<NameFacts> before;
    try {
        before = LookAt(full);
    } catch (const Error&) {
    }
    if (!before || !before->plainFile) {
        m_destroyNote = kChanged;
        return false;
    }
    m_state.mode = mode;
    try {
        Open();
    } catch (const Error& e) {
        try {
            CloseHandle();
        } catch (const Error&) {
        }
        switch (e.code) {
            case ErrorCode::NotFound:
            case ErrorCode::Denied:
            case ErrorCode::WriteFault:
            case ErrorCode::InUse:
            case ErrorCode::WriteProtected:
            case ErrorCode::InvalidDrive:
                m_destroyNote =
                    std::string("kept, it could not be opened for writing: ") + e.what();
                Logger::Log(LOG_WARN, full + ": " + m_destroyNote);
                return false;
            default:
                throw;
        }
    }
    // The name may have been swapped for a link between the check and the open.
    std::optional<FileIdentity> after;
    try {
        after = Identity();
    } catch (const Error&) {
    }
    if (!after || after->device != before->identity.device ||
        after->inode != before->identity.inode || (m_expected && *after != *m_expected)) {
        CloseHandle();
        Logger::Log(LOG_WARN, "File changed while opening it to overwrite it: " + full);
        m_destroyNote = kChanged;
        return false;
    }
    return true;
}

void WriteFile::OverwritePass(const unsigned char* buffer, std::size_t block,
                              std::uint32_t percentTarget, std::uint32_t counterTarget) {
    Move(0, false);
    const std::uint64_t size = m_info.Size();
    const std::uint64_t blocks = block ? size / block : 0;
    const std::uint32_t percentStart = Load(m_state.percent);
    const std::uint32_t counterStart = Load(m_state.counter);
    for (std::uint64_t i = 0; i < blocks; ++i) {
        Write(buffer, block);
        Advance(m_state.percent, percentStart, percentTarget, i, blocks);
        Advance(m_state.counter, counterStart, counterTarget, i, blocks);
    }
    if (block)
        Write(buffer, std::size_t(size % block));
    Store(m_state.percent, percentTarget);
    Store(m_state.counter, counterTarget);
}

void WriteFile::EndProgress() {
    Store(m_state.percent, 100);
    Store(m_state.counter, m_state.counterEnd);
}

// Checks that destruction may go ahead; a file with other names is unlinked here, its
// content left to them. False when the caller has nothing more to do.
bool WriteFile::PrepareToDestroy() {
    m_destroyNote.clear();
    const std::string full = m_info.FullName();
    // Whatever the name holds now, it is not what was read.
    if (m_expected) {
        std::optional<NameFacts> now;
        try {
            now = LookAt(full);
        } catch (const Error&) {
        }
        if (now && now->identity != *m_expected) {
            m_destroyNote = kChanged;
            return false;
        }
    }
    NameFacts facts;
    if (!IsDestroyable(m_info, facts, m_destroyNote))
        return false;
    // Content destroyed under a name that stays would be the worst of both.
    if (const std::optional<ErrorCode> refused = DestroyParts::RemovalRefused(full)) {
        m_destroyNote = std::string("kept, its folder does not let it be removed: ") +
                        ErrorText(ErrorLayer::File, *refused);
        return false;
    }
    if (facts.links > 1) {
        Delete(false);
        m_destroyNote = kHardLinked;
        EndProgress();
        return false;
    }
    return true;
}

bool WriteFile::Overwrite() {
    Trace trace("WriteFile::Overwrite()");
    if (!PrepareToDestroy())
        return false;
    const bool secure = IsSecureMedium(m_info);
    if (!OpenToDestroy(WriteMode::OpenExisting))
        return false;
    const std::vector<unsigned char> zeros(kBlockSize, 0);
    OverwritePass(zeros.data(), zeros.size(), 100, m_state.counterEnd);
    // The dirty pages of an unlinked file are dropped unwritten: the zeros must reach the disk
    // before the name goes.
    Flush();
    Delete(false);
    EndProgress();
    return secure;
}

bool WriteFile::Eradicate() {
    Trace trace("WriteFile::Eradicate()");
    if (!PrepareToDestroy())
        return false;
    const bool secure = IsSecureMedium(m_info);
    std::mt19937 rng = FreshGenerator();

    if (m_info.Size() != 0) {
        if (!OpenToDestroy(WriteMode::WriteThrough))
            return false;
        const std::size_t block = std::size_t(std::min<std::uint64_t>(m_info.Size(), kBlockSize));
        std::vector<unsigned char> buffer(block);
        const std::int64_t start = m_state.counterStart;
        const std::int64_t span = std::int64_t(m_state.counterEnd) - start;
        const auto counterAt = [&](int quarter) {
            return std::uint32_t(start + span * quarter / 4);
        };

        std::fill(buffer.begin(), buffer.end(), kFirstPattern);
        OverwritePass(buffer.data(), block, 25, counterAt(1));
        Flush();
        std::fill(buffer.begin(), buffer.end(), kSecondPattern);
        OverwritePass(buffer.data(), block, 50, counterAt(2));
        Flush();
        for (int pass = 3; pass <= 4; ++pass) {
            for (unsigned char& b : buffer)
                b = static_cast<unsigned char>(rng() & 0xFF);
            OverwritePass(buffer.data(), block, std::uint32_t(pass * 25), counterAt(pass));
            Flush();
        }
        Close();
    }

    const std::string path = m_info.Path();
    const std::string original = m_info.Name();
    const std::string last = RenameAway(path, original, rng);
    m_info = Info(path + last, true);
    DestroyParts::AllowRemoval(path + last);
    Delete(false);
    // The object keeps naming the file its caller gave it.
    m_info = Info(path + original, true);
    EndProgress();
    return secure;
}

}  // namespace OS
