#include "format/DirFooter.h"

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/modes.h>
#include <cryptopp/queue.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "format/NativePath.h"
#include "os/File.h"
#include "os/Logger.h"

namespace FCryptEng {
namespace {

constexpr char kCorrupt[] = "Corrupt input file";
constexpr char kUnableToPump[] = "Unable to pump data";
constexpr std::size_t kAesKeySize = 16;
constexpr std::size_t kBlockSize = 16;

const KeySet& CipherKeys(const KeySet& keys) {
    if (!keys.EncKey() || !keys.IV())
        throw KeySet::Err();
    return keys;
}

// AES-128-CBC with PKCS #7 over the plain body, owning its cipher.
struct BodyCipher {
    explicit BodyCipher(const KeySet& keys)
        : cipher(keys.EncKey()->data(), kAesKeySize, keys.IV()->data()) {}
    CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption cipher;
};

class BodyEncryptor : private BodyCipher, public CryptoPP::StreamTransformationFilter {
  public:
    BodyEncryptor(const KeySet& keys, CryptoPP::BufferedTransformation* out)
        : BodyCipher(keys),
          CryptoPP::StreamTransformationFilter(
              cipher, out, CryptoPP::StreamTransformationFilter::PKCS_PADDING) {}
};

}  // namespace

DirFooter::DirFooter() : Footer(kKind) {
    OS::Trace t("DirFooter::DirFooter()");
}

DirFooter::DirFooter(CryptoPP::BufferedTransformation& source, std::uint32_t n) : Footer(kKind) {
    OS::Trace t("DirFooter::DirFooter()");
    ReadEncoding(source, n);
}

DirFooter::~DirFooter() = default;

FooterEntry* DirFooter::Entry(std::size_t index) {
    return GetEntry(index);
}

const DirEntry* DirFooter::GetEntry(std::size_t index) const {
    return index < m_entries.size() ? m_entries[index].get() : nullptr;
}

DirEntry* DirFooter::GetEntry(std::size_t index) {
    return index < m_entries.size() ? m_entries[index].get() : nullptr;
}

std::size_t DirFooter::NumEntries(bool selectedOnly) const {
    OS::Trace t("DirFooter::NumEntries()");
    if (!selectedOnly)
        return m_entries.size();
    std::size_t count = 0;
    for (const auto& entry : m_entries)
        count += entry->Selected() ? 1 : 0;
    return count;
}

void DirFooter::Add(std::unique_ptr<DirEntry> entry) {
    OS::Trace t("DirFooter::Add()");
    if (!entry)
        return;
    SizeChanged(entry.get());
    m_entries.push_back(std::move(entry));
}

void DirFooter::ClearEntries() {
    OS::Trace t("DirFooter::ClearEntries()");
    m_commonPath = kInvalidPath;
    m_rootEntry = nullptr;
    m_entries.clear();
    SizeChanged();
}

void DirFooter::PreEncodingHook() {
    OS::Trace t("DirFooter::PreEncodingHook()");
    const CryptoPP::SecByteBlock* kek = Keys().KEK();
    for (const auto& entry : m_entries) {
        if (!entry->HasKeySet())
            continue;
        if (!kek)
            throw KeySet::Err();
        entry->WrapKeySet(*kek);
    }
}

std::uint32_t DirFooter::EncodedBodySize(std::uint32_t plainSize) const {
    // PKCS #7 always adds 1 to 16 bytes.
    return plainSize + std::uint32_t(kBlockSize - plainSize % kBlockSize);
}

std::unique_ptr<CryptoPP::BufferedTransformation> DirFooter::BodyWriter(
    CryptoPP::BufferedTransformation* out) const {
    std::unique_ptr<CryptoPP::BufferedTransformation> owned(out);
    const KeySet& keys = CipherKeys(Keys());
    return std::make_unique<BodyEncryptor>(keys, owned.release());
}

void DirFooter::Decrypt(const KeySet& keys) {
    OS::Trace t("DirFooter::Decrypt()");
    SetKeys(&keys);
    const KeySet& footerKeys = CipherKeys(Keys());
    if (m_rawBody.empty() || m_rawBody.size() % kBlockSize != 0)
        throw Err(kCorrupt);

    // Decrypted in place, so a large directory is never held twice. Every failure encrypts it
    // back (CBC gives the same bytes again), so the footer may be tried again.
    const std::size_t full = m_rawBody.size();
    CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption(footerKeys.EncKey()->data(), kAesKeySize,
                                                  footerKeys.IV()->data())
        .ProcessData(m_rawBody.data(), m_rawBody.data(), full);
    const CryptoPP::byte pad = m_rawBody[full - 1];
    const auto restore = [&] {
        if (m_rawBody.size() != full) {
            m_rawBody.resize(full);
            std::memset(m_rawBody.data() + full - pad, pad, pad);
        }
        CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption(footerKeys.EncKey()->data(), kAesKeySize,
                                                      footerKeys.IV()->data())
            .ProcessData(m_rawBody.data(), m_rawBody.data(), full);
    };
    try {
        bool padded = pad >= 1 && pad <= kBlockSize;
        for (std::size_t i = 1; padded && i <= pad; ++i)
            padded = m_rawBody[full - i] == pad;
        // Bad padding: the keys are wrong or the body was changed.
        if (!padded)
            throw Err(kCorrupt);
        VerifyMacOf(m_rawBody.data(), full - pad);
        // Cut before the entries are made: the copy this takes is the only one.
        m_rawBody.resize(full - pad);
        PostDecrypt();
    } catch (...) {
        restore();
        throw;
    }
}

void DirFooter::PostDecrypt() {
    OS::Trace t("DirFooter::PostDecrypt()");
    // Read in place: a copy would double what a large directory costs.
    CryptoPP::StringStore source(m_rawBody.data(), m_rawBody.size());
    // Entries are kept only when the whole body reads.
    std::vector<std::unique_ptr<DirEntry>> entries;
    std::size_t left = m_rawBody.size();
    while (left > 0) {
        if (left < 4 || source.MaxRetrievable() < 4)
            throw Err(kUnableToPump);
        CryptoPP::word16 tag = 0;
        CryptoPP::word16 size = 0;
        source.GetWord16(tag, CryptoPP::BIG_ENDIAN_ORDER);
        source.GetWord16(size, CryptoPP::BIG_ENDIAN_ORDER);
        left -= 4;
        if (tag == DirEntry::kTag) {
            if (size > left)
                throw Err(kCorrupt);
            entries.push_back(std::make_unique<DirEntry>(source, size));
        } else {
            OS::Logger::Log(OS::LOG_WARN,
                            "Unrecognised tag reading Dir Footer - ignoring this entry");
            if (size > left || source.Skip(size) != size)
                throw Err(kUnableToPump);
        }
        left -= size;
    }

    const CryptoPP::SecByteBlock* kek = Keys().KEK();
    for (const auto& entry : entries) {
        if (!entry->HasKeySet())
            continue;
        if (!kek)
            throw KeySet::Err();
        entry->UnwrapKeySet(*kek);
    }
    ClearEntries();
    for (auto& entry : entries)
        Add(std::move(entry));
}

void DirFooter::SetPath(PathMode mode, const std::optional<std::string>& path) {
    OS::Trace t("DirFooter::SetPath()");
    std::optional<std::string> given = path;
    if (given) {
        const bool rootOfAll =
            given->empty() || (given->size() == 2 && NativePath::IsSeparator((*given)[0]) &&
                               NativePath::IsSeparator((*given)[1]));
        if (mode == PathMode::Common && rootOfAll) {
            mode = PathMode::Full;
            given.reset();
        } else if (!NativePath::EndsInSeparator(*given)) {
            throw Err("Common path must end in file separator");
        }
    }

    m_commonPath = kInvalidPath;
    m_rootEntry = nullptr;
    bool computed = false;
    std::size_t count = 0;
    for (const auto& entry : m_entries) {
        if (!entry->Selected())
            continue;
        ++count;
        const std::string& name = entry->Name();
        // Names from disk are native; names read from a container are stored names.
        const bool native = entry->Origin();
        const auto isSeparator = [native](char c) {
            return native ? NativePath::IsSeparator(c) : c == DirEntry::kStoredSeparator;
        };
        if (!computed) {
            m_commonPath = name;
            computed = true;
        }
        std::size_t same = 0;
        while (same < m_commonPath.size() && same < name.size() &&
               (native ? NativePath::SameChar(m_commonPath[same], name[same])
                       : m_commonPath[same] == name[same]))
            ++same;
        std::size_t cut = same;
        while (cut > 0 && !isSeparator(m_commonPath[cut - 1]))
            --cut;
        const bool shortened = cut < m_commonPath.size();
        if (shortened)
            m_commonPath.resize(cut);
        if (std::find_if(name.begin() + std::ptrdiff_t(std::min(m_commonPath.size(), name.size())),
                         name.end(), isSeparator) == name.end())
            m_rootEntry = shortened ? entry.get() : nullptr;
        else if (shortened)
            m_rootEntry = nullptr;
    }
    if (count > 1 && m_rootEntry && !m_rootEntry->IsDir())
        m_rootEntry = nullptr;

    if (mode == PathMode::Common && !given)
        given = m_commonPath;
    for (const auto& entry : m_entries) {
        if (entry->Selected())
            entry->SetPath(mode, given.value_or(std::string()));
    }
}

}  // namespace FCryptEng
