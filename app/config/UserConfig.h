// The user's configuration files: the emergency password ("Emergency Password.bin" in the
// per-user folder) and the organisation's data-recovery configuration ("Data Recovery.bin" in
// the organisation folder). Both are loaded and checked on construction and condensed into a
// status word that the pages read; the few changes the preferences make go through here.
// One per process: the wizard owns it and the preferences sheet works on the wizard's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/config/Folders.h"
#include "app/config/OrganisationProfile.h"
#include "app/core/MessageBoxes.h"
#include "app/core/Strings.h"
#include "engine/FileCryptor.h"
#include "format/CryptorCallback.h"
#include "recovery/AdminRecovery.h"
#include "recovery/EmergencyPassword.h"

namespace App {

class UserConfig {
  public:
    // Status word; the low eight bits are the organisation profile's own.
    enum Status : std::uint32_t {
        ProfileMask = 0xFF,
        RecoveryOff = 0x100,
        RecoveryInvalid = 0x200,
        OrganisationUnusable = 0x400,
        RecoveryNoAdmins = 0x800,
        NoEmergencyPassword = 0x10000,
        EmergencyBadSignature = 0x20000,
        EmergencyOtherOrganisation = 0x40000,
        EmergencyOtherUser = 0x80000,
        // With NoEmergencyPassword: the file is there but does not load (damaged, truncated,
        // not a record), which is not the same as having none.
        EmergencyUnreadable = 0x100000,
        EmergencyMask = 0x1F0000,
    };

    static constexpr char kEmergencyFile[] = "Emergency Password.bin";
    static constexpr char kRecoveryFile[] = "Data Recovery.bin";

    static constexpr const char* kRecoveryOffText = Text(StringId::UserConfigRecoveryOff);
    static constexpr const char* kRecoveryInvalidText = Text(StringId::UserConfigRecoveryInvalid);
    static constexpr const char* kRecoveryOnText = Text(StringId::UserConfigRecoveryOn);
    static constexpr const char* kRecoveryMissingText = Text(StringId::UserConfigRecoveryMissing);
    static constexpr const char* kEmergencyLeftOutText = Text(StringId::UserConfigEmergencyLeftOut);
    static constexpr const char* kNoEmergencyText = Text(StringId::UserConfigNoEmergency);
    static constexpr const char* kEmergencyInvalidText = Text(StringId::UserConfigEmergencyInvalid);
    static constexpr const char* kCreatedByText = Text(StringId::CreatedBy);
    static constexpr const char* kEmergencyDisabledText = Text(StringId::EmergencyDisabled);
    static constexpr const char* kErrorCaption = Text(StringId::ErrorCaption);
    static constexpr const char* kWriteEmergencyText = Text(StringId::WriteEmergencyFailed);
    static constexpr const char* kDeleteEmergencyText = Text(StringId::DeleteEmergencyFailed);
    static constexpr const char* kWriteRecoveryText = Text(StringId::WriteRecoveryFailed);

    // `callback` is what the data-recovery configuration asks for administrators' key files;
    // it and `boxes` outlive this object.
    UserConfig(OrganisationProfile profile, Folders folders, FCryptEng::CryptorCallback* callback,
               MessageBoxes& boxes);
    UserConfig(const UserConfig&) = delete;
    UserConfig& operator=(const UserConfig&) = delete;

    std::uint32_t Flags() const;
    bool EmergencyValid() const { return (Flags() & EmergencyMask) == 0; }
    bool EmergencyPermitted() const;
    // The loaded configuration; null when none is loaded or it is not to be trusted.
    const FCryptEng::AdminRecovery* RecoveryConfig() const;
    // The loaded emergency password, valid or not; null when none is loaded.
    const FCryptEng::EmergencyPassword* Emergency() const { return m_emergency.get(); }
    const OrganisationProfile& Profile() const { return m_profile; }
    const Folders& GetFolders() const { return m_folders; }

    std::string RecoveryStatusText() const;
    std::string EmergencyStatusText() const;
    // The organisation says recovery applies, but "Data Recovery.bin" is missing or empty:
    // OFF, and worth saying so, since users may count on the administrators.
    bool RecoveryConfigMissing() const;
    // The user has new containers carry the emergency entry by default and may do so, but the
    // emergency password file is damaged or not theirs: a container would silently lack it.
    bool EmergencyExpectedButUnusable() const;

    // Gives the engine the emergency password (when asked for, valid and permitted) and the
    // data-recovery configuration (when it applies, is trusted and lists administrators).
    void AddRecoveries(FCryptEng::FileCryptor& engine, bool useEmergency) const;

    // Each returns whether the file was written (or deleted) and recomputes the status word.
    bool CreateEmergency(const char* password);
    bool DeleteEmergency();
    bool SaveRecovery();
    // Saves `configuration` as the organisation's; on failure the previous one stays.
    bool ReplaceRecovery(const FCryptEng::AdminRecovery& configuration);

    // Empty when the folder cannot be obtained.
    std::string EmergencyPath() const;
    std::string RecoveryPath() const;

  private:
    void LoadRecovery();
    void EvaluateRecovery();
    void LoadEmergency();
    void EvaluateEmergency();
    // Saves `record` (a SaveAs-able object), offering Retry on every file error.
    template <class Record>
    bool SaveWithRetry(const Record& record, const std::string& path, const char* text);

    OrganisationProfile m_profile;
    Folders m_folders;
    FCryptEng::CryptorCallback* m_callback;
    MessageBoxes& m_boxes;
    std::unique_ptr<FCryptEng::AdminRecovery> m_recovery;
    std::unique_ptr<FCryptEng::EmergencyPassword> m_emergency;
    std::uint32_t m_recoveryLoadBits = 0;  // what loading found, before evaluation
    std::uint32_t m_recoveryBits = 0;
    std::uint32_t m_emergencyBits = 0;
    bool m_emergencyUnreadable = false;
};

// "(Created by %s on %s)" takes the date as the user's locale writes a short date.
std::string ShortDate(std::uint8_t day, std::uint8_t month, std::uint16_t year);

}  // namespace App
