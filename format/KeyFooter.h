// The key footer: the list of key entries through which a password, the emergency password or
// the administrators unlock the footer key set. Its body is written plain; its MAC is checked
// as soon as an entry has unlocked the keys.
#pragma once

#include <cryptopp/cryptlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "format/CryptorCallback.h"
#include "format/Footer.h"
#include "format/KeyEntry.h"
#include "os/Errors.h"

namespace FCryptEng {

class KeyFooter : public Footer {
  public:
    class Err : public OS::Error {
      public:
        explicit Err(const char* text = "\"KeyFooter error\"") : OS::Error(text) {}
    };

    static constexpr std::uint32_t kKind = 0x8C000000;
    static constexpr std::uint16_t kAdminTag = 0x8C3B;

    // Reads an administrators' entry body; it lives with the recovery code above this layer.
    using AdminEntryReader = std::function<std::unique_ptr<KeyEntry>(
        CryptorCallback*, CryptoPP::BufferedTransformation&, std::uint32_t)>;

    explicit KeyFooter(CryptorCallback* callback);
    // Reads body and MAC (the framing word was read by the caller) and parses the entries.
    // Without an admin reader, administrators' entries are skipped like unknown records.
    KeyFooter(CryptorCallback* callback, CryptoPP::BufferedTransformation& source, std::uint32_t n,
              AdminEntryReader adminReader = {});

    FooterEntry* Entry(std::size_t index) override;
    KeyEntry* GetEntry(std::size_t index);
    std::size_t NumEntries() const { return m_entries.size(); }
    // Records of tags this reader does not know, skipped when the footer was read.
    std::size_t NumUnknownRecords() const { return m_unknownRecords; }
    void Add(std::unique_ptr<KeyEntry> entry);
    void ClearEntries();

    // Offers a password to the entries (see UnlockResult). When an entry unlocks the keys,
    // the footer verifies its MAC with them: a mismatch raises "Footer MAC mismatch". `out`
    // must be empty on entry and must outlive the footer's use of the keys.
    UnlockResult TryPassword(const char* password, std::unique_ptr<KeySet>& out);

  protected:
    void PreEncodingHook() override;

  private:
    void ProcessEncoding(const AdminEntryReader& adminReader);

    CryptorCallback* m_callback;
    std::vector<std::unique_ptr<KeyEntry>> m_entries;
    KeyEntry* m_pending = nullptr;
    std::size_t m_unknownRecords = 0;
};

}  // namespace FCryptEng
