// What the application knows about the organisation: whether its data recovery applies, its
// name, its key pair (public key to check "Data Recovery.bin", sealed private key to sign it)
// and the folder that holds "Data Recovery.bin". Taken from "Organisation.bin" in the
// all-users folder, else in the program folder; without a record data recovery does not
// apply.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/config/Folders.h"
#include "format/KeyPair.h"
#include "recovery/Organisation.h"

namespace App {

class OrganisationProfile {
  public:
    // Status bits (the low eight bits of UserConfig's status word).
    enum Status : std::uint32_t {
        NoRecord = 0x01,           // no record in either folder: data recovery does not apply
        Unusable = 0x02,           // a record that cannot be read or fails its self-check
        RecordInProgram = 0x04,    // the record was found in the program folder
        RecoveryNotApplied = 0x08  // the record says data recovery does not apply
    };
    // Which folder holds "Data Recovery.bin".
    enum FolderChoice : int { ProgramFolder = 0, AllUsersFolder = 1 };

    // No record: data recovery does not apply, no name.
    OrganisationProfile();
    static OrganisationProfile Load(const Folders& folders);

    std::uint32_t StatusBits() const { return m_status; }
    bool Usable() const { return (m_status & Unusable) == 0; }
    // A usable record that says data recovery applies.
    bool Applies() const;
    // Empty without a usable record.
    const std::string& Name() const;
    // Public key and sealed private key; empty without a usable record.
    const FCryptEng::KeyPair& Keys() const;
    const FCryptEng::Organisation* Record() const { return m_record ? &*m_record : nullptr; }
    // Where the record was found; empty when none was.
    const std::string& RecordPath() const { return m_recordPath; }
    FolderChoice Choice() const { return m_choice; }
    // The folder of "Data Recovery.bin", ending in '/'; empty without a usable record or when
    // the folder cannot be obtained.
    const std::string& Folder() const { return m_folder; }

  private:
    std::uint32_t m_status = NoRecord;
    std::optional<FCryptEng::Organisation> m_record;  // only a usable one
    std::string m_recordPath;
    FolderChoice m_choice = AllUsersFolder;
    std::string m_folder;
};

}  // namespace App
