// The administrators' key entry: the footer key set wrapped under a random 32-byte secret, and
// for every administrator a share of that secret RSA-encrypted with the administrator's public
// key. Below a threshold K of 2 every share is the secret itself; otherwise the shares come
// from Shamir's threshold scheme and any K of them rebuild the secret. Administrators are
// unlocked one per TryPassword call and stay unlocked for later calls on the same entry.
#pragma once

#include <cryptopp/cryptlib.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "format/CryptorCallback.h"
#include "format/KeyEntry.h"
#include "format/KeyFooter.h"
#include "format/KeySet.h"
#include "recovery/AdminData.h"

namespace FCryptEng {

class AdminKeyEntry : public KeyEntry {
  public:
    // The key footer dispatches on this tag to the reader registered for it.
    static constexpr std::uint16_t kTag = KeyFooter::kAdminTag;
    static constexpr std::size_t kSecretSize = 32;

    // Copies the administrators and makes the secret and their shares. Raises
    // AdminRecovery::Err when K exceeds a non-zero N: no quorum could ever open the entry.
    AdminKeyEntry(CryptorCallback* callback, std::uint16_t k,
                  const std::vector<AdminData>& administrators);
    // Reads a body from a container; every administrator starts locked. The size is not used.
    AdminKeyEntry(CryptorCallback* callback, CryptoPP::BufferedTransformation& source,
                  std::uint32_t bodySize);

    // The key footer's reader of administrators' entries.
    static std::unique_ptr<KeyEntry> Read(CryptorCallback* callback,
                                          CryptoPP::BufferedTransformation& source,
                                          std::uint32_t bodySize);

    std::uint16_t Tag() const override { return kTag; }
    // The full size; a body beyond 16 bits is refused by BodySize() rather than wrapped.
    std::uint32_t CalcBodySize() const override;
    void PutBody(CryptoPP::BufferedTransformation& sink) const override;
    // One recovery step per password typed (UnlockResult Wrong to Failed).
    UnlockResult TryPassword(const char* password, std::unique_ptr<KeySet>& out) override;

    std::uint16_t GetN() const { return std::uint16_t(m_admins.size()); }
    std::uint16_t GetK() const { return m_k; }
    const AdminData& Admin(std::size_t index) const { return m_admins.at(index); }
    std::size_t NumUnlocked() const;

  private:
    void ReadBody(CryptoPP::BufferedTransformation& source);
    void MakeKeys();
    // The footer key set, or none when the unlocked administrators' shares do not rebuild it.
    std::optional<KeySet> RecoverKeys();
    std::optional<CryptoPP::SecByteBlock> RecoverSecret();
    void Lock(std::size_t index);

    CryptorCallback* m_callback;
    std::vector<AdminData> m_admins;
    // Kept apart from the names so that an administrator with an empty name can be unlocked.
    std::vector<bool> m_unlocked;
    std::uint16_t m_k = 0;
};

}  // namespace FCryptEng
