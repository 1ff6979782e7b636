#include "engine/ContainerInfo.h"

#include <cryptopp/filters.h>
#include <cryptopp/misc.h>
#include <cryptopp/queue.h>

#include <cstring>
#include <memory>

#include "engine/FileEncryptor.h"
#include "filters/SimpleFileSource.h"
#include "format/KeyFooter.h"
#include "os/File.h"
#include "os/Logger.h"
#include "recovery/AdminKeyEntry.h"

namespace FCryptEng {
namespace {

constexpr std::uint32_t kKeyFooterTag = 0x8C;
constexpr std::uint32_t kDirFooterTag = 0x25;

std::string Hex8(std::uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[(value >> 4) & 0xF] + digits[value & 0xF];
}

// Exactly `count` bytes, or Damaged with `what` running short.
void ReadExactly(OS::ReadFile& file, void* buffer, std::size_t count, const std::string& what) {
    if (file.Read(buffer, count) != count)
        throw ContainerInfo::Damaged(what + " ends before its bytes do");
}

std::uint32_t ReadWord(OS::ReadFile& file, const std::string& what) {
    CryptoPP::byte bytes[4];
    ReadExactly(file, bytes, 4, what);
    return CryptoPP::GetWord<CryptoPP::word32>(false, CryptoPP::BIG_ENDIAN_ORDER, bytes);
}

ContainerInfo::Header HeaderOf(const unsigned char* start, std::size_t got) {
    const std::size_t textSize = sizeof(FileEncryptor::kHeaderText) - 1;
    if (got >= textSize && std::memcmp(start, FileEncryptor::kHeaderText, textSize) == 0)
        return ContainerInfo::Header::Text;
    if (got >= 4 && std::memcmp(start,
                                "\x7f"
                                "ELF",
                                4) == 0)
        return ContainerInfo::Header::LinuxProgram;
    if (got >= 2 && start[0] == 'M' && start[1] == 'Z')
        return ContainerInfo::Header::WindowsProgram;
    return ContainerInfo::Header::Other;
}

std::string RecordBytes(const KeyPair& keys) {
    std::string out;
    CryptoPP::StringSink sink(out);
    keys.WriteEncryptedPrivateKey(&sink);
    return out;
}

void Describe(KeyFooter& footer, ContainerInfo& info) {
    info.unknownRecords = footer.NumUnknownRecords();
    for (std::size_t i = 0; KeyEntry* entry = footer.GetEntry(i); ++i) {
        if (dynamic_cast<const UserPasswordKeyEntry*>(entry)) {
            ++info.passwordEntries;
        } else if (const auto* e = dynamic_cast<const EmergencyPasswordKeyEntry*>(entry)) {
            info.emergencyEntries.push_back(RecordBytes(e->GetKeyPair()));
        } else if (const auto* a = dynamic_cast<const AdminKeyEntry*>(entry)) {
            // A second administrators' entry never answers: the first one keeps every attempt.
            if (info.administrators)
                continue;
            ContainerInfo::Administrators admins;
            admins.k = a->GetK();
            admins.n = a->GetN();
            for (std::size_t j = 0; j < a->GetN(); ++j) {
                const auto& encName = a->Admin(j).EncName();
                admins.encryptedNames.emplace_back(
                    encName ? std::string(reinterpret_cast<const char*>(encName->data()),
                                          encName->size())
                            : std::string());
            }
            info.administrators = std::move(admins);
        }
    }
}

}  // namespace

const char* HeaderWord(ContainerInfo::Header header) {
    switch (header) {
        case ContainerInfo::Header::Text:
            return "text";
        case ContainerInfo::Header::LinuxProgram:
            return "linux-program";
        case ContainerInfo::Header::WindowsProgram:
            return "windows-program";
        case ContainerInfo::Header::Other:
            break;
    }
    return "other";
}

ContainerInfo ContainerInfo::Read(const std::string& path) {
    OS::Trace t("ContainerInfo::Read()");
    OS::ReadFile file(path);
    file.Open();
    // Closed on every way out: a damaged container is an answer here, not a fault to log.
    struct Closer {
        OS::ReadFile& file;
        ~Closer() {
            try {
                file.Close();
            } catch (...) {
            }
        }
    } closer{file};
    ContainerInfo info;
    file.GetInfo().Update();
    info.size = file.GetInfo().Size();

    unsigned char start[sizeof(FileEncryptor::kHeaderText) - 1] = {};
    file.Move(0, false);
    info.header = HeaderOf(start, file.Read(start, sizeof start));

    if (info.size < 4)
        throw Damaged("too short to be a container (" + std::to_string(info.size) + " bytes)");
    file.Move(-4, false);
    const std::uint32_t footerLength = ReadWord(file, "the footer length");
    if (info.size - 4 < footerLength)
        throw Damaged("the footer length (" + std::to_string(footerLength) +
                      " bytes) is more than the file holds");
    file.Move(std::int64_t(info.size - 4 - footerLength), false);

    std::unique_ptr<KeyFooter> keyFooter;
    bool dirFooter = false;
    std::uint64_t consumed = 0;
    while (consumed < footerLength) {
        if (footerLength - consumed < 4)
            throw Damaged("the footers do not fill the footer length: " +
                          std::to_string(footerLength - consumed) + " bytes are left over");
        const std::uint32_t word = ReadWord(file, "a footer's framing word");
        const std::uint32_t tag = word >> 24;
        const std::uint32_t length = word & 0xFFFFFF;
        if (tag != kKeyFooterTag && tag != kDirFooterTag)
            throw Damaged("an unrecognised footer tag (" + Hex8(tag) +
                          ") where a footer should start");
        const std::string what = tag == kKeyFooterTag ? "the key footer" : "the directory footer";
        if (length > footerLength - consumed - 4)
            throw Damaged(what + " (" + std::to_string(length) +
                          " bytes) runs past the end of the footers");
        if (length < Footer::kMacSize)
            throw Damaged(what + " is shorter than its MAC");
        if (tag == kKeyFooterTag) {
            CryptoPP::ByteQueue body;
            CryptoP2::SimpleFileSource(
                file, length, true,
                new CryptoPP::Redirector(body, CryptoPP::Redirector::DATA_ONLY));
            // A second footer of a kind already seen replaces the first, as when decrypting.
            try {
                keyFooter =
                    std::make_unique<KeyFooter>(nullptr, body, length, &AdminKeyEntry::Read);
            } catch (const OS::File::Error&) {
                throw;
            } catch (const std::exception& e) {
                throw Damaged("the key footer's records are damaged (" + std::string(e.what()) +
                              ")");
            }
        } else {
            // Encrypted: nothing in it can be read without the keys.
            file.Move(std::int64_t(length), true);
            dirFooter = true;
        }
        consumed += 4 + std::uint64_t(length);
    }
    if (!keyFooter)
        throw Damaged("there is no key footer");
    if (!dirFooter)
        throw Damaged("there is no directory footer");
    Describe(*keyFooter, info);
    return info;
}

ContainerInfo ContainerInfo::OfKeyFooter(KeyFooter& footer) {
    ContainerInfo info;
    Describe(footer, info);
    return info;
}

}  // namespace FCryptEng
