#include "format/DirFooter.h"

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/modes.h>
#include <cryptopp/queue.h>

#include <algorithm>
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
        if (!entry->GetKeySet())
            continue;
        if (!kek)
            throw KeySet::Err();
        entry->WrapKeySet(*kek);
    }
}

void DirFooter::PostEncodingHook() {
    OS::Trace t("DirFooter::PostEncodingHook()");
    const KeySet& keys = CipherKeys(Keys());
    // PKCS #7 always adds 1 to 16 bytes.
    CryptoPP::SecByteBlock encrypted(m_rawBody.size() + kBlockSize - m_rawBody.size() % kBlockSize);
    CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption cipher(keys.EncKey()->data(), kAesKeySize,
                                                         keys.IV()->data());
    CryptoPP::StreamTransformationFilter filter(
        cipher, new CryptoPP::ArraySink(encrypted.data(), encrypted.size()),
        CryptoPP::StreamTransformationFilter::PKCS_PADDING);
    filter.Put(m_rawBody.data(), m_rawBody.size());
    filter.MessageEnd();
    m_rawBody.swap(encrypted);
}

void DirFooter::Decrypt(const KeySet& keys) {
    OS::Trace t("DirFooter::Decrypt()");
    SetKeys(&keys);
    const KeySet& footerKeys = CipherKeys(Keys());
    if (m_rawBody.empty() || m_rawBody.size() % kBlockSize != 0)
        throw Err(kCorrupt);

    CryptoPP::SecByteBlock plain(m_rawBody.size());
    try {
        CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption cipher(footerKeys.EncKey()->data(),
                                                             kAesKeySize, footerKeys.IV()->data());
        auto* sink = new CryptoPP::ArraySink(plain.data(), plain.size());
        CryptoPP::StreamTransformationFilter filter(
            cipher, sink, CryptoPP::StreamTransformationFilter::PKCS_PADDING);
        filter.Put(m_rawBody.data(), m_rawBody.size());
        filter.MessageEnd();
        plain.resize(static_cast<std::size_t>(sink->TotalPutLength()));
    } catch (const CryptoPP::Exception&) {
        // Bad padding: the keys are wrong or the body was changed.
        throw Err(kCorrupt);
    }

    CryptoPP::SecByteBlock encrypted;
    encrypted.swap(m_rawBody);
    m_rawBody.swap(plain);
    try {
        VerifyMac();
        PostDecrypt();
    } catch (...) {
        m_rawBody.swap(encrypted);
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
        if (!entry->GetKeySet())
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
