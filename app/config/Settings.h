// The integer settings kept under "Tenvik-Labs\Cryvan" in the user's settings store. A value
// that is absent, not a dword or out of its range reads as its default.
#pragma once

#include <cstdint>

#include "os/Config.h"

namespace App {

struct Setting {
    const char* name;
    std::uint32_t defaultValue;
    std::uint32_t maxValue;
};

class Settings {
  public:
    static constexpr char kKey[] = "Tenvik-Labs\\Cryvan";
    static constexpr int kRoot = 0;  // the current user's store

    // Deletion indexes: 0 none, 1 Recycle, 2 Delete, 3 Overwrite, 4 Eradicate.
    static constexpr Setting kEncryptDeletionOption{"EncryptDeletionOption", 2, 4};
    static constexpr Setting kConfirmEncryptDeletion{"ConfirmEncryptDeletion", 1, 1};
    static constexpr Setting kDecryptDeletionOption{"DecryptDeletionOption", 1, 4};
    static constexpr Setting kConfirmDecryptDeletion{"ConfirmDecryptDeletion", 1, 1};
    // A shorter list: 0 none, 1 Overwrite, 2 Eradicate.
    static constexpr Setting kMenuDeletionOption{"MenuDeletionOption", 1, 2};
    static constexpr Setting kConfirmMenuDeletion{"ConfirmMenuDeletion", 1, 1};
    // Tick "Enable my emergency password" on new containers.
    static constexpr Setting kDefaultEmergencyPassword{"DefaultEmergencyPassword", 0, 1};
    // Keep the warnings and errors of every run in the log file (StartLogFile).
    static constexpr Setting kLogFile{"LogFile", 1, 1};
    // What self-decrypting containers run on: 0 Windows (what ".aes.exe" promises), 1 Linux.
    static constexpr Setting kStandAlonePlatform{"StandAlonePlatform", 0, 1};

    static std::uint32_t Get(const Setting& setting);
    // Raises OS::Config::Err when the store cannot be written.
    static void Set(const Setting& setting, std::uint32_t value);

    // Created on first use, kept until exit.
    static const OS::Config& Store();
};

}  // namespace App
