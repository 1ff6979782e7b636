// Shared set-up for the application tests: environment variables set for one test, temporary
// application folders, and records built from their byte layouts.
#pragma once

#include <cryptopp/filters.h>
#include <cryptopp/queue.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "app/config/Folders.h"
#include "app/core/Secrets.h"
#include "engine/EngineTestSupport.h"
#include "format/KeyPair.h"
#include "support/TempDir.h"

namespace cryvan_test {

// A password as the application holds one.
inline App::Secret SecretOf(std::string_view text) {
    return App::Secret(text, text.size());
}

// Sets a variable for one scope and puts the old value back.
class EnvVar {
  public:
    EnvVar(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        Set(value);
    }
    ~EnvVar() { Set(m_old ? m_old->c_str() : nullptr); }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

  private:
    void Set(const char* value) {
        if (value)
            setenv(m_name, value, 1);
        else
            unsetenv(m_name);
    }
    const char* m_name;
    std::optional<std::string> m_old;
};

inline std::string Be16(unsigned v) {
    return {char((v >> 8) & 0xFF), char(v & 0xFF)};
}
inline std::string Be32(std::uint32_t v) {
    return Be16(v >> 16) + Be16(v & 0xFFFF);
}

inline std::string PublicKeyRecord(const FCryptEng::KeyPair& keys) {
    std::string out;
    CryptoPP::StringSink sink(out);
    keys.WritePublicKey(sink);
    return out;
}

inline std::string SealedKeyRecord(const FCryptEng::KeyPair& keys) {
    std::string out;
    CryptoPP::StringSink sink(out);
    keys.WriteEncryptedPrivateKey(&sink);
    return out;
}

// The signature framing: u16 length and the signature of `body` by `signer`.
inline std::string SignedFile(const std::string& body, const FCryptEng::KeyPair& signer) {
    const auto signature =
        signer.Sign(reinterpret_cast<const CryptoPP::byte*>(body.data()), body.size());
    if (!signature)
        return body + Be16(0);
    return body + Be16(unsigned(signature->size())) +
           std::string(reinterpret_cast<const char*>(signature->data()), signature->size());
}

// "Emergency Password.bin" from its layout: public key, sealed private key, the EPInfo record
// (tag 0xFA04), signed with `plain` (the pair with its private key open) unless another
// signer is given.
inline std::string EmergencyFile(const FCryptEng::KeyPair& plain, const char* password,
                                 const std::string& user, const std::string& organisation,
                                 std::uint32_t date, const FCryptEng::KeyPair* signer = nullptr) {
    FCryptEng::KeyPair sealed(plain);
    sealed.Encrypt(password);
    const std::string info = Be16(0xFA04) + Be16(unsigned(user.size() + organisation.size() + 8)) +
                             Be32(date) + Be16(unsigned(user.size())) + user +
                             Be16(unsigned(organisation.size())) + organisation;
    return SignedFile(PublicKeyRecord(sealed) + SealedKeyRecord(sealed) + info,
                      signer ? *signer : plain);
}

// Application folders inside a temporary folder, each ending in '/' and created.
inline App::Folders MakeFolders(const TempDir& tmp) {
    App::Folders folders{tmp / "user/", tmp / "all/", tmp / "program/", tmp / "desktop/"};
    for (const std::string* f : {&folders.perUser, &folders.allUsers, &folders.program})
        std::filesystem::create_directories(*f);
    return folders;
}

// The folders of MakeFolders and the desktop, and a small tree to encrypt: in/docs/a.txt (text)
// and in/docs/sub/b.bin (random).
inline void MakeSampleTree(const TempDir& tmp) {
    for (const char* f : {"user", "all", "program", "desktop"})
        std::filesystem::create_directories(tmp / f);
    std::filesystem::create_directories(tmp / "in/docs/sub");
    WriteText(tmp / "in/docs/a.txt", TextBytes(5000));
    WriteText(tmp / "in/docs/sub/b.bin", RandomBytes(3000));
}

}  // namespace cryvan_test
