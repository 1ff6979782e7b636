#include "format/DirEntry.h"

#include <cryptopp/queue.h>

#include <algorithm>
#include <string_view>

#include "format/NativePath.h"
#include "os/File.h"
#include "os/Logger.h"

namespace FCryptEng {
namespace {

enum SubTag : std::uint16_t {
    TAG_FILENAME = 0xDE01,
    TAG_OFFSET = 0xDE02,
    TAG_ARCHIVESIZE = 0xDE03,
    TAG_ORIGINALSIZE = 0xDE04,
    TAG_KEYSET = 0xDE05,
    TAG_MAC = 0xDE06,
    TAG_CREATE_DATETIME = 0xDE07,
    TAG_MODIFY_DATETIME = 0xDE08,
    TAG_ACCESS_DATETIME = 0xDE09,
    TAG_FLAGS = 0xDE0B,
};

constexpr char kCorrupt[] = "Corrupt input file";
// Name (4 + L), flags (6) and three date-times (10 each).
constexpr std::uint32_t kFixedSize = 40;
// Offset, archive size, original size (6 each), key-set sub-tag (2), MAC (34).
constexpr std::uint32_t kFileFieldsSize = 54;

// Reads a record body that is already in memory, so no field can reach past the body.
class BodyReader {
  public:
    BodyReader(const CryptoPP::byte* data, std::size_t size) : m_data(data), m_left(size) {}

    std::size_t Left() const { return m_left; }
    const CryptoPP::byte* Take(std::size_t count) {
        if (count > m_left)
            throw DirEntry::Err(kCorrupt);
        const CryptoPP::byte* at = m_data;
        m_data += count;
        m_left -= count;
        return at;
    }
    std::uint16_t U16() {
        const CryptoPP::byte* p = Take(2);
        return std::uint16_t((p[0] << 8) | p[1]);
    }
    std::uint32_t PeekU32() const {
        if (m_left < 4)
            throw DirEntry::Err(kCorrupt);
        return (std::uint32_t(m_data[0]) << 24) | (std::uint32_t(m_data[1]) << 16) |
               (std::uint32_t(m_data[2]) << 8) | m_data[3];
    }
    std::uint32_t U32() {
        const std::uint32_t value = PeekU32();
        Take(4);
        return value;
    }

  private:
    const CryptoPP::byte* m_data;
    std::size_t m_left;
};

std::uint32_t ReadU32Field(BodyReader& in, std::uint16_t expected, const char* error) {
    const std::uint16_t tag = in.U16();
    const std::uint32_t value = in.U32();
    if (tag != expected)
        throw DirEntry::Err(error);
    return value;
}

OS::DateTime ReadDateTimeField(BodyReader& in, std::uint16_t expected, const char* error) {
    const std::uint16_t tag = in.U16();
    const std::uint32_t date = in.U32();
    const std::uint32_t time = in.U32();
    if (tag != expected)
        throw DirEntry::Err(error);
    return OS::DateTime::FromPacked(date, time);
}

void PutDateTime(CryptoPP::BufferedTransformation& sink, std::uint16_t tag,
                 const OS::DateTime& time) {
    sink.PutWord16(tag, CryptoPP::BIG_ENDIAN_ORDER);
    sink.PutWord32(time.PackedDate(), CryptoPP::BIG_ENDIAN_ORDER);
    sink.PutWord32(time.TimeOfDay(), CryptoPP::BIG_ENDIAN_ORDER);
}

// A container is untrusted: only a relative name of ordinary components can be joined to the
// destination without escaping it, and a '/' would become a separator on this platform.
bool IsSafeStoredName(const std::string& name) {
    if (name.empty() || name[0] == DirEntry::kStoredSeparator || name[0] == '/')
        return false;
    if (name.size() >= 2 && name[1] == ':')
        return false;
    if (name.find('/') != std::string::npos)
        return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = name.find(DirEntry::kStoredSeparator, start);
        const std::string_view part(name.data() + start,
                                    (end == std::string::npos ? name.size() : end) - start);
        if (part.empty() || part == "." || part == "..")
            return false;
#ifdef _WIN32
        // Windows drops the dots and spaces a name ends in: ". ." or "..." would be "." or "..".
        if (part.find_first_not_of(". ") == std::string_view::npos)
            return false;
#endif
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

std::string ToNative(std::string name) {
    std::replace(name.begin(), name.end(), DirEntry::kStoredSeparator, OS::kSeparator);
    return name;
}

}  // namespace

DirEntry::DirEntry(const std::string& fileName)
    : FileInfo(fileName), m_mac(kMacSize), m_origin(true), m_selected(true) {
    OS::Trace t("DirEntry::DirEntry()");
    if (!IsDir())
        m_keySet.emplace(false);
}

DirEntry::DirEntry(CryptoPP::BufferedTransformation& source, std::uint32_t bodySize)
    : m_mac(kMacSize), m_origin(false), m_selected(false) {
    OS::Trace t("DirEntry::DirEntry()");
    ReadBody(source, bodySize);
}

std::uint32_t DirEntry::CalcBodySize() const {
    OS::Trace t("DirEntry::CalcBodySize()");
    std::uint64_t size = std::uint64_t(StoredName().size()) + kFixedSize;
    if (!IsDir()) {
        if (!m_keySet)
            throw Err();
        size += m_keySet->EncodingSize() + kFileFieldsSize;
    }
    return std::uint32_t(std::min<std::uint64_t>(size, UINT32_MAX));
}

void DirEntry::PutBody(CryptoPP::BufferedTransformation& sink) const {
    OS::Trace t("DirEntry::PutBody()");
    const std::string& name = StoredName();
    if (name.size() > kMaxBodySize)
        throw FooterEntry::Err();
    if (!IsDir() && !m_keySet)
        throw Err();
    sink.PutWord16(TAG_FILENAME, CryptoPP::BIG_ENDIAN_ORDER);
    sink.PutWord16(std::uint16_t(name.size()), CryptoPP::BIG_ENDIAN_ORDER);
    sink.Put(reinterpret_cast<const CryptoPP::byte*>(name.data()), name.size());
    sink.PutWord16(TAG_FLAGS, CryptoPP::BIG_ENDIAN_ORDER);
    sink.PutWord32(m_attributes, CryptoPP::BIG_ENDIAN_ORDER);
    if (!IsDir()) {
        sink.PutWord16(TAG_OFFSET, CryptoPP::BIG_ENDIAN_ORDER);
        sink.PutWord32(m_position, CryptoPP::BIG_ENDIAN_ORDER);
        sink.PutWord16(TAG_ARCHIVESIZE, CryptoPP::BIG_ENDIAN_ORDER);
        sink.PutWord32(m_archiveSize, CryptoPP::BIG_ENDIAN_ORDER);
        sink.PutWord16(TAG_ORIGINALSIZE, CryptoPP::BIG_ENDIAN_ORDER);
        sink.PutWord32(m_originalSize, CryptoPP::BIG_ENDIAN_ORDER);
        sink.PutWord16(TAG_KEYSET, CryptoPP::BIG_ENDIAN_ORDER);
        m_keySet->Write(sink);
        sink.PutWord16(TAG_MAC, CryptoPP::BIG_ENDIAN_ORDER);
        sink.Put(m_mac.data(), m_mac.size());
    }
    PutDateTime(sink, TAG_CREATE_DATETIME, m_create);
    PutDateTime(sink, TAG_MODIFY_DATETIME, m_modify);
    PutDateTime(sink, TAG_ACCESS_DATETIME, m_access);
}

void DirEntry::ReadBody(CryptoPP::BufferedTransformation& source, std::uint32_t bodySize) {
    OS::Trace t("DirEntry::ReadBody()");
    if (bodySize < 4)
        throw Err("Size way too small");
    // Taking exactly the body first keeps every later read inside it.
    if (source.MaxRetrievable() < bodySize)
        throw Err(kCorrupt);
    CryptoPP::SecByteBlock body(bodySize);
    if (source.Get(body.data(), body.size()) != body.size())
        throw Err(kCorrupt);
    BodyReader in(body.data(), body.size());

    const std::uint16_t nameTag = in.U16();
    const std::uint16_t nameLength = in.U16();
    if (nameTag != TAG_FILENAME)
        throw Err("Tag filename expected but not found");
    const char* name = reinterpret_cast<const char*>(in.Take(nameLength));
    m_name.assign(name, std::find(name, name + nameLength, '\0'));

    m_attributes = ReadU32Field(in, TAG_FLAGS, "Expected tag DIR_ENTRY_TAG_FLAGS");
    if (!IsDir()) {
        m_position = ReadU32Field(in, TAG_OFFSET, "Expected tag DIR_ENTRY_TAG_OFFSET");
        m_archiveSize = ReadU32Field(in, TAG_ARCHIVESIZE, "Expected tag DIR_ENTRY_TAG_ARCHIVESIZE");
        m_originalSize =
            ReadU32Field(in, TAG_ORIGINALSIZE, "Expected tag DIR_ENTRY_TAG_ORIGINALSIZE");
        m_diskSize = m_originalSize;

        const std::uint16_t keyTag = in.U16();
        // Only the two wrapped sizes a key set can have are taken; anything else could not be
        // unwrapped later.
        const std::uint32_t keyLength = in.PeekU32();
        if (keyLength != KeySet::kWrappedWithoutKek && keyLength != KeySet::kWrappedWithKek)
            throw Err(kCorrupt);
        CryptoPP::ByteQueue keyBytes;
        keyBytes.Put(in.Take(4 + keyLength), 4 + keyLength);
        m_keySet.emplace(keyBytes);
        if (keyTag != TAG_KEYSET)
            throw Err("Expected tag DIR_ENTRY_TAG_KEYSET");

        const std::uint16_t macTag = in.U16();
        const CryptoPP::byte* mac = in.Take(kMacSize);
        if (macTag != TAG_MAC)
            throw Err("Expected tag DIR_ENTRY_TAG_MAC");
        m_mac.Assign(mac, kMacSize);
    }
    m_create =
        ReadDateTimeField(in, TAG_CREATE_DATETIME, "Expected tag DIR_ENTRY_TAG_CREATE_DATETIME");
    m_modify =
        ReadDateTimeField(in, TAG_MODIFY_DATETIME, "Expected tag DIR_ENTRY_TAG_MODIFY_DATETIME");
    m_access =
        ReadDateTimeField(in, TAG_ACCESS_DATETIME, "Expected tag DIR_ENTRY_TAG_ACCESS_DATETIME");
    if (in.Left() != 0)
        throw Err(kCorrupt);
    if (!IsSafeStoredName(m_name))
        throw Err(kCorrupt);
    CalcFinalName();
}

void DirEntry::WrapKeySet(const CryptoPP::SecByteBlock& kek) {
    OS::Trace t("DirEntry::WrapKeySet()");
    if (m_keySet)
        m_keySet->Wrap(kek);
}

void DirEntry::UnwrapKeySet(const CryptoPP::SecByteBlock& kek) {
    OS::Trace t("DirEntry::UnwrapKeySet()");
    if (m_keySet && !m_keySet->Unwrap(kek))
        throw Err("Wrong KEK in DirEntry::UnwrapKeySet");
}

void DirEntry::SetPath(PathMode mode, const std::string& path) {
    OS::Trace t("DirEntry::SetPath()");
    if (mode != PathMode::Common && mode != PathMode::BaseName && mode != PathMode::Full)
        throw Err();
    m_pathMode = mode;
    m_commonPath = path;
    CalcFinalName();
}

void DirEntry::CalcFinalName() {
    OS::Trace t("DirEntry::CalcFinalName()");
    m_finalName = m_origin ? StoredNameFromDisk() : OutputName();
    SizeChanged();
}

std::string DirEntry::StoredNameFromDisk() const {
    OS::Trace t("DirEntry::StoredNameFromDisk()");
    std::string name;
    switch (m_pathMode) {
        case PathMode::Common:
            if (m_commonPath.size() > m_name.size())
                throw Err("Path set longer than filename");
            if (!NativePath::StartsWith(m_name, m_commonPath))
                throw Err("Common path set does not match file");
            name = m_name.substr(m_commonPath.size());
            break;
        case PathMode::BaseName: {
            const std::size_t cut = NativePath::FindLastSeparator(m_name);
            name = cut == std::string::npos ? m_name : m_name.substr(cut + 1);
            break;
        }
        default:
            name = m_name;
            break;
    }
    name = NativePath::WithoutRoot(std::move(name));
    std::string stored;
    stored.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (i == 1 && c == ':') {
            // "c:foo" would read as a drive-qualified name everywhere else, and readers refuse
            // those; the colon is stored as U+FF1A FULLWIDTH COLON instead.
            stored += "\xEF\xBC\x9A";
        } else if (NativePath::IsSeparator(c)) {
            stored += kStoredSeparator;
        } else if (c == kStoredSeparator) {
            // A backslash inside a native name is no separator: it is stored as U+FF3C
            // FULLWIDTH REVERSE SOLIDUS so that no reader splits the name there. Reading
            // restores that character, not the backslash.
            stored += "\xEF\xBC\xBC";
        } else {
            stored += c;
        }
    }
    return stored;
}

std::string DirEntry::OutputName() {
    OS::Trace t("DirEntry::OutputName()");
    std::string folder = m_commonPath;
    if (!NativePath::EndsInSeparator(folder))
        folder += OS::kSeparator;
    switch (m_pathMode) {
        case PathMode::Common: {
            const std::size_t start =
                std::min(m_name.find_first_not_of(kStoredSeparator), m_name.size());
            m_outputRelative = ToNative(m_name.substr(start));
            break;
        }
        case PathMode::BaseName: {
            const std::size_t cut = m_name.rfind(kStoredSeparator);
            m_outputRelative = cut == std::string::npos ? m_name : m_name.substr(cut + 1);
            break;
        }
        default: {
            folder = std::string(1, OS::kSeparator);
            const std::string name = ToNative(m_name);
            m_outputRelative =
                name.substr(std::min(name.find_first_not_of(OS::kSeparator), name.size()));
            break;
        }
    }
    m_outputFolder = folder;
    return folder + m_outputRelative;
}

bool DirEntry::StoredNameFits() const {
    std::size_t part = 0;
    for (char c : StoredName()) {
        part = c == kStoredSeparator ? 0 : part + 1;
        if (part > kMaxNameBytes)
            return false;
    }
    return true;
}

void DirEntry::SetMac(const CryptoPP::SecByteBlock& mac) {
    OS::Trace t("DirEntry::SetMac()");
    if (mac.size() != kMacSize)
        throw Err();
    m_mac.Assign(mac.data(), mac.size());
}

}  // namespace FCryptEng
