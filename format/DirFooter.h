// The directory footer: every stored file and folder as one DirEntry. Its body is encrypted with
// the footer key set (AES-128-CBC) and each file's key set travels wrapped under that set's KEK.
#pragma once

#include <cryptopp/cryptlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format/DirEntry.h"
#include "format/Footer.h"
#include "format/KeySet.h"

namespace FCryptEng {

class DirFooter : public Footer {
  public:
    // A Footer::Err, so that callers may catch the failures of either footer in one place.
    class Err : public Footer::Err {
      public:
        using Footer::Err::Err;
    };

    static constexpr std::uint32_t kKind = 0x25000000;
    static constexpr char kInvalidPath[] = ":::INVALIDPATH";

    DirFooter();
    // Reads body and MAC; the body stays encrypted until Decrypt.
    DirFooter(CryptoPP::BufferedTransformation& source, std::uint32_t n);
    ~DirFooter() override;

    FooterEntry* Entry(std::size_t index) override;
    // Null past the last entry.
    DirEntry* GetEntry(std::size_t index);
    const DirEntry* GetEntry(std::size_t index) const;
    std::size_t NumEntries(bool selectedOnly) const;
    void Add(std::unique_ptr<DirEntry> entry);
    void ClearEntries();

    // Decrypts and verifies the body, then reads its entries and unwraps their key sets. On any
    // failure the footer keeps its encrypted body and gains no entries, so it may be tried again.
    // The key set must outlive the footer's use of it.
    void Decrypt(const KeySet& keys);

    // Computes the common path and root entry of the selected entries and hands mode and path
    // to them; path (native, ending in the separator) is the destination when decrypting.
    void SetPath(PathMode mode, const std::optional<std::string>& path);
    const std::string& CommonPath() const { return m_commonPath; }
    DirEntry* RootEntry() const { return m_rootEntry; }

  protected:
    void PreEncodingHook() override;
    std::uint32_t EncodedBodySize(std::uint32_t plainSize) const override;
    // Encrypts the body on its way out.
    std::unique_ptr<CryptoPP::BufferedTransformation> BodyWriter(
        CryptoPP::BufferedTransformation* out) const override;

  private:
    void PostDecrypt();

    std::vector<std::unique_ptr<DirEntry>> m_entries;
    std::string m_commonPath = kInvalidPath;
    DirEntry* m_rootEntry = nullptr;
};

}  // namespace FCryptEng
