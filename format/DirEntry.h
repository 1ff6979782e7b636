// One file or folder of the directory footer: its description (FileInfo), where its stored data
// lies, its own key set (files only) and the MAC of its data. A tree holds tens of thousands of
// these, so an entry keeps one name besides its own and its keys in a slot of a shared arena.
// Entries made from disk turn their native full names into relative stored names; entries read from
// a container turn their stored names into output names under a destination folder.
#pragma once

#include <cryptopp/cryptlib.h>
#include <cryptopp/secblock.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "format/FileInfo.h"
#include "format/FooterEntry.h"
#include "format/KeyArena.h"
#include "format/KeySet.h"
#include "os/Errors.h"

namespace FCryptEng {

// How a stored name relates to the name on disk, both ways. The numbers are those the
// source-options setting keeps.
enum class PathMode : int {
    Common = 0,    // below the common path (the destination folder when decrypting)
    BaseName = 1,  // the file name alone
    Full = 2,      // the whole path without its root
};

class DirEntry : public FileInfo, public FooterEntry {
  public:
    class Err : public OS::Error {
      public:
        explicit Err(const char* text = "\"DirEntry error\"") : OS::Error(text) {}
    };

    static constexpr std::uint16_t kTag = 0x25DE;
    static constexpr std::size_t kMacSize = 32;
    // The separator of stored names, whatever the platform.
    static constexpr char kStoredSeparator = '\\';
    // The longest file name (one part of a path) that Linux file systems take.
    static constexpr std::size_t kMaxNameBytes = 255;

    // From a file or folder on disk: a file gets a fresh key set without KEK.
    explicit DirEntry(const std::string& fileName);
    // Reads exactly bodySize bytes of a record body from source; refuses unsafe stored names.
    DirEntry(CryptoPP::BufferedTransformation& source, std::uint32_t bodySize);

    std::uint16_t Tag() const override { return kTag; }
    std::uint32_t CalcBodySize() const override;
    void PutBody(CryptoPP::BufferedTransformation& sink) const override;

    void WrapKeySet(const CryptoPP::SecByteBlock& kek);
    // Raises "Wrong KEK in DirEntry::UnwrapKeySet" when the KEK does not open the key set.
    void UnwrapKeySet(const CryptoPP::SecByteBlock& kek);

    // Recomputes the final name; path is the common path (the destination when decrypting).
    void SetPath(PathMode mode, const std::string& path);

    // The stored name (from disk) or the output name (from a container).
    const std::string& FinalName() const { return m_finalName; }
    // From a container: the folder the output name lies under (ending in a separator) and the
    // rest of the output name, relative to it with native separators.
    std::string OutputFolder() const;
    std::string OutputRelative() const;
    // From disk: whether each part of the stored name can be a file name once decrypted (no
    // more than 255 bytes; a character stored wider than it was counts as stored).
    bool StoredNameFits() const;
    PathMode GetPathMode() const { return m_pathMode; }

    std::uint32_t Position() const { return m_position; }
    void SetPosition(std::uint32_t position) { m_position = position; }
    const std::array<CryptoPP::byte, kMacSize>& Mac() const { return m_mac; }
    void SetMac(const CryptoPP::SecByteBlock& mac);
    // A copy of the file's key set, wiped when dropped; null for a folder.
    std::unique_ptr<KeySet> KeySetCopy() const;
    bool HasKeySet() const { return m_keyForm != KeyForm::None; }

    bool Selected() const { return m_selected; }
    void SetSelected(bool selected) { m_selected = selected; }
    // True when made from disk, false when read from a container.
    bool Origin() const { return m_origin; }

  private:
    // The keys live in one slot of the shared arena, in the form a KeySet would hold them.
    enum class KeyForm : std::uint8_t { None, Plain, Wrapped };

    void ReadBody(CryptoPP::BufferedTransformation& source, std::uint32_t bodySize);
    void CalcFinalName(const std::string& path);
    // The name the record carries.
    const std::string& StoredName() const { return m_origin ? m_finalName : m_name; }
    std::string StoredNameFromDisk(const std::string& path) const;
    std::string OutputName(const std::string& path);
    std::uint32_t KeyBytes() const;

    std::uint32_t m_position = 0;
    std::uint32_t m_folderLength = 0;
    KeySlot m_keys;
    KeyForm m_keyForm = KeyForm::None;
    bool m_keysWithKek = false;
    PathMode m_pathMode = PathMode::Common;
    bool m_origin;
    bool m_selected;
    std::array<CryptoPP::byte, kMacSize> m_mac{};
    std::string m_finalName;
};

}  // namespace FCryptEng
