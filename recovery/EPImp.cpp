#include "recovery/EPImp.h"

#include <cryptopp/filters.h>

#include <utility>

#include "os/DateTime.h"
#include "os/Logger.h"
#include "os/User.h"

namespace FCryptEng {
namespace {

// Inside EPImp a plain Err would name Signed::Err.
using EPErr = EmergencyPassword::Err;

constexpr std::uint32_t kMaxLength = 0xFFFF;

std::uint16_t GetU16(CryptoPP::BufferedTransformation& source) {
    CryptoPP::word16 value = 0;
    if (source.MaxRetrievable() < 2 || source.GetWord16(value, CryptoPP::BIG_ENDIAN_ORDER) != 2)
        throw EPErr();
    return value;
}

std::uint32_t GetU32(CryptoPP::BufferedTransformation& source) {
    CryptoPP::word32 value = 0;
    if (source.MaxRetrievable() < 4 || source.GetWord32(value, CryptoPP::BIG_ENDIAN_ORDER) != 4)
        throw EPErr();
    return value;
}

// A u16 count and that many bytes; the name is the text before the first zero byte. Returns
// the count as stored, which the record's length field is checked against.
std::uint16_t GetName(CryptoPP::BufferedTransformation& source, std::string& name) {
    const std::uint16_t length = GetU16(source);
    if (source.MaxRetrievable() < length)
        throw EPErr();
    std::string bytes(length, '\0');
    if (length > 0 && source.Get(reinterpret_cast<CryptoPP::byte*>(bytes.data()), length) != length)
        throw EPErr();
    name.assign(bytes.c_str());
    return length;
}

void PutName(CryptoPP::BufferedTransformation& sink, const std::string& name) {
    sink.PutWord16(static_cast<CryptoPP::word16>(name.size()), CryptoPP::BIG_ENDIAN_ORDER);
    if (!name.empty())
        sink.Put(reinterpret_cast<const CryptoPP::byte*>(name.data()), name.size());
}

bool Fits(std::size_t userLength, std::size_t organisationLength) {
    return userLength <= kMaxLength && organisationLength <= kMaxLength &&
           userLength + organisationLength + EPImp::EPInfo::kFixedLength <= kMaxLength;
}

}  // namespace

void EPImp::EPInfo::Read(CryptoPP::BufferedTransformation& source) {
    OS::Trace t("EPImp::EPInfo::Read()");
    if (GetU16(source) != kTag)
        throw EPErr();
    const std::uint32_t length = GetU16(source);
    const std::uint32_t packed = GetU32(source);
    EPInfo read;
    read.date.day = static_cast<std::uint8_t>(packed);
    read.date.month = static_cast<std::uint8_t>(packed >> 8);
    read.date.year = static_cast<std::uint16_t>(packed >> 16);
    // Summed in 32 bits: two stored lengths near 0xFFFF must not wrap round to a match.
    std::uint32_t stored = kFixedLength;
    stored += GetName(source, read.user);
    stored += GetName(source, read.organisation);
    if (length != stored)
        throw EPErr();
    *this = std::move(read);
}

void EPImp::EPInfo::Write(CryptoPP::BufferedTransformation& sink) const {
    OS::Trace t("EPImp::EPInfo::Write()");
    if (!Fits(user.size(), organisation.size()))
        throw EPErr();
    const auto length =
        static_cast<std::uint32_t>(user.size() + organisation.size() + kFixedLength);
    const std::uint32_t packed =
        (std::uint32_t(date.year) << 16) | (std::uint32_t(date.month) << 8) | date.day;
    sink.PutWord16(kTag, CryptoPP::BIG_ENDIAN_ORDER);
    sink.PutWord16(static_cast<CryptoPP::word16>(length), CryptoPP::BIG_ENDIAN_ORDER);
    sink.PutWord32(packed, CryptoPP::BIG_ENDIAN_ORDER);
    PutName(sink, user);
    PutName(sink, organisation);
}

void EPImp::EPInfo::SetToCurrent(const char* organisationName) {
    OS::Trace t("EPImp::EPInfo::SetToCurrent()");
    if (!organisationName)
        throw EPErr();
    char buffer[kUserNameBuffer] = {};
    std::size_t size = sizeof buffer;
    if (!OS::UserName(buffer, size))
        throw EPErr();
    buffer[sizeof buffer - 1] = '\0';
    const std::string name(buffer);
    const std::string organisationText(organisationName);
    // Refused here rather than when the record is written, where it could only fail later.
    if (!Fits(name.size(), organisationText.size()))
        throw EPErr();
    const OS::DateTime now = OS::DateTime::Now();
    date.day = now.day;
    date.month = now.month;
    date.year = now.year;
    user = name;
    organisation = organisationText;
}

void EPImp::Read(CryptoPP::BufferedTransformation& source) {
    OS::Trace t("EPImp::Read()");
    KeyPair keys;
    keys.ReadPublicKey(source);
    keys.ReadEncryptedPrivateKey(source);
    EPInfo info;
    info.Read(source);
    m_keyPair = keys;
    m_info = std::move(info);
}

void EPImp::Write(CryptoPP::BufferedTransformation& sink) const {
    OS::Trace t("EPImp::Write()");
    m_keyPair.WritePublicKey(sink);
    m_keyPair.WriteEncryptedPrivateKey(&sink);
    m_info.Write(sink);
}

void EPImp::Create(const char* organisation) {
    OS::Trace t("EPImp::Create()");
    EPInfo info;
    info.SetToCurrent(organisation);
    m_keyPair.Create();
    m_info = std::move(info);
    ClearSignature();
}

void EPImp::Encrypt(const char* password) {
    OS::Trace t("EPImp::Encrypt()");
    m_keyPair.Encrypt(password);
}

}  // namespace FCryptEng
