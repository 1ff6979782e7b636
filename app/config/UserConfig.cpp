#include "app/config/UserConfig.h"

#include <locale.h>
#include <time.h>

#include <cstdio>
#include <exception>
#include <utility>

#include "app/config/Settings.h"
#include "format/KeyPair.h"
#include "os/Errors.h"
#include "os/File.h"
#include "os/Logger.h"
#include "os/User.h"
#include "recovery/Signed.h"

namespace App {
namespace {

using FCryptEng::AdminRecovery;
using FCryptEng::EmergencyPassword;
using FCryptEng::KeyPair;

constexpr std::size_t kUserNameBuffer = 257;

// The log-on user's name as the emergency password records it; empty when there is none.
std::string CurrentUserName() {
    char buffer[kUserNameBuffer] = {};
    std::size_t size = sizeof buffer;
    return OS::UserName(buffer, size) ? std::string(buffer) : std::string();
}

std::string Printf2(const char* format, const std::string& a, const std::string& b) {
    const int needed = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str());
    if (needed <= 0)
        return std::string();
    std::string out(static_cast<std::size_t>(needed) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, a.c_str(), b.c_str());
    out.resize(static_cast<std::size_t>(needed));
    return out;
}

}  // namespace

std::string ShortDate(std::uint8_t day, std::uint8_t month, std::uint16_t year) {
    OS::Trace t("ShortDate()");
    char text[128];
    // A date the calendar does not know is written plainly rather than given to the locale.
    if (day >= 1 && day <= 31 && month >= 1 && month <= 12) {
        locale_t locale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
        if (!locale)
            locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
        if (locale) {
            struct tm when = {};
            when.tm_mday = day;
            when.tm_mon = month - 1;
            when.tm_year = static_cast<int>(year) - 1900;
            const std::size_t length = strftime_l(text, sizeof text, "%x", &when, locale);
            freelocale(locale);
            if (length > 0)
                return std::string(text, length);
        }
    }
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", unsigned(year), unsigned(month),
                  unsigned(day));
    return text;
}

UserConfig::UserConfig(OrganisationProfile profile, Folders folders,
                       FCryptEng::CryptorCallback* callback, MessageBoxes& boxes)
    : m_profile(std::move(profile)),
      m_folders(std::move(folders)),
      m_callback(callback),
      m_boxes(boxes) {
    OS::Trace t("UserConfig::UserConfig()");
    LoadRecovery();
    EvaluateRecovery();
    LoadEmergency();
    EvaluateEmergency();
}

std::uint32_t UserConfig::Flags() const {
    OS::Trace t("UserConfig::Flags()");
    return (m_profile.StatusBits() & ProfileMask) | m_recoveryBits | m_emergencyBits;
}

bool UserConfig::EmergencyPermitted() const {
    OS::Trace t("UserConfig::EmergencyPermitted()");
    return !m_recovery || (m_recoveryBits & (RecoveryInvalid | OrganisationUnusable)) != 0 ||
           m_recovery->GetPermitEP();
}

const AdminRecovery* UserConfig::RecoveryConfig() const {
    OS::Trace t("UserConfig::RecoveryConfig()");
    if (m_recoveryBits & (RecoveryInvalid | OrganisationUnusable))
        return nullptr;
    return m_recovery.get();
}

std::string UserConfig::RecoveryStatusText() const {
    OS::Trace t("UserConfig::RecoveryStatusText()");
    if (m_recoveryBits & (RecoveryOff | RecoveryNoAdmins))
        return kRecoveryOffText;
    if (m_recoveryBits & (RecoveryInvalid | OrganisationUnusable))
        return kRecoveryInvalidText;
    return kRecoveryOnText;
}

std::string UserConfig::EmergencyStatusText() const {
    OS::Trace t("UserConfig::EmergencyStatusText()");
    if (!EmergencyPermitted())
        return kEmergencyDisabledText;
    if ((m_emergencyBits & (NoEmergencyPassword | EmergencyUnreadable)) == NoEmergencyPassword)
        return kNoEmergencyText;
    if (m_emergencyBits & EmergencyMask)
        return kEmergencyInvalidText;
    const EmergencyPassword::Date date = m_emergency->CreationDate();
    return Printf2(kCreatedByText, m_emergency->User(), ShortDate(date.day, date.month, date.year));
}

bool UserConfig::RecoveryConfigMissing() const {
    return m_profile.Applies() && m_profile.Usable() && !m_recovery &&
           (m_recoveryLoadBits & RecoveryOff) != 0;
}

bool UserConfig::EmergencyExpectedButUnusable() const {
    const bool damaged = (m_emergencyBits & EmergencyUnreadable) != 0 ||
                         (m_emergency && (m_emergencyBits & EmergencyMask) != 0);
    return damaged && EmergencyPermitted() &&
           Settings::Get(Settings::kDefaultEmergencyPassword) == 1;
}

void UserConfig::AddRecoveries(FCryptEng::FileCryptor& engine, bool useEmergency) const {
    OS::Trace t("UserConfig::AddRecoveries()");
    // An organisation that forbids emergency passwords forbids them in new containers too,
    // whatever the page asked for.
    if (m_emergency && useEmergency && EmergencyValid() && EmergencyPermitted())
        engine.AddRecovery(*m_emergency);
    // Without administrators the status says OFF, and an entry nobody can open is no recovery.
    if (m_recovery && m_profile.Applies() &&
        (m_recoveryBits & (RecoveryInvalid | OrganisationUnusable | RecoveryNoAdmins)) == 0)
        engine.AddRecovery(*m_recovery);
}

std::string UserConfig::EmergencyPath() const {
    OS::Trace t("UserConfig::EmergencyPath()");
    return m_folders.perUser.empty() ? std::string() : m_folders.perUser + kEmergencyFile;
}

std::string UserConfig::RecoveryPath() const {
    OS::Trace t("UserConfig::RecoveryPath()");
    const std::string& folder = m_profile.Folder();
    return folder.empty() ? std::string() : folder + kRecoveryFile;
}

void UserConfig::LoadRecovery() {
    OS::Trace t("UserConfig::LoadRecovery()");
    m_recovery.reset();
    m_recoveryLoadBits = 0;
    if (!m_profile.Applies() || !m_profile.Usable())
        return;
    const std::string path = RecoveryPath();
    if (path.empty())
        return;
    auto config = std::make_unique<AdminRecovery>(m_callback);
    try {
        config->Open(path);
        m_recovery = std::move(config);
    } catch (const AdminRecovery::Null&) {
        m_recoveryLoadBits = RecoveryOff;
    } catch (const FCryptEng::Signed::Null&) {
        m_recoveryLoadBits = RecoveryOff;
    } catch (const OS::File::Error& e) {
        m_recoveryLoadBits = e.code == OS::ErrorCode::NotFound ? RecoveryOff : RecoveryInvalid;
    } catch (const std::exception& e) {
        OS::Logger::Log(OS::LOG_WARN, std::string("data recovery file unreadable: ") + e.what());
        m_recoveryLoadBits = RecoveryInvalid;
    }
}

void UserConfig::EvaluateRecovery() {
    OS::Trace t("UserConfig::EvaluateRecovery()");
    std::uint32_t bits = m_recoveryLoadBits;
    if (!m_profile.Usable())
        bits |= OrganisationUnusable;
    // An unusable organisation record says nothing about whether recovery is off: the status
    // must read INVALID, not OFF.
    if (!m_recovery && (bits & (RecoveryInvalid | OrganisationUnusable)) == 0)
        bits |= RecoveryOff;
    if (m_recovery) {
        if (!m_recovery->CheckSignature(m_profile.Keys()))
            bits |= RecoveryInvalid;
        if (m_recovery->GetN() == 0)
            bits |= RecoveryNoAdmins;
    }
    m_recoveryBits = bits;
}

void UserConfig::LoadEmergency() {
    OS::Trace t("UserConfig::LoadEmergency()");
    m_emergency.reset();
    const std::string path = EmergencyPath();
    if (path.empty())
        return;
    m_emergencyUnreadable = false;
    auto emergency = std::make_unique<EmergencyPassword>();
    try {
        emergency->Open(path);
        m_emergency = std::move(emergency);
    } catch (const FCryptEng::Signed::Null&) {
        // An empty file is no emergency password, as an empty configuration is no recovery.
    } catch (const OS::File::Error& e) {
        if (e.code != OS::ErrorCode::NotFound) {
            OS::Logger::Log(OS::LOG_WARN, path + ": " + e.what());
            m_emergencyUnreadable = true;
        }
    } catch (const std::exception& e) {
        OS::Logger::Log(OS::LOG_WARN, path + ": " + e.what());
        m_emergencyUnreadable = true;
    }
}

void UserConfig::EvaluateEmergency() {
    OS::Trace t("UserConfig::EvaluateEmergency()");
    if (!m_emergency) {
        m_emergencyBits =
            NoEmergencyPassword | (m_emergencyUnreadable ? std::uint32_t(EmergencyUnreadable) : 0u);
        return;
    }
    std::uint32_t bits = 0;
    if (!m_emergency->CheckSignature(m_emergency->GetKeyPair()))
        bits |= EmergencyBadSignature;
    if (m_profile.Usable() && m_emergency->Organisation() != m_profile.Name())
        bits |= EmergencyOtherOrganisation;
    if (m_emergency->User() != CurrentUserName())
        bits |= EmergencyOtherUser;
    m_emergencyBits = bits;
}

template <class Record>
bool UserConfig::SaveWithRetry(const Record& record, const std::string& path, const char* text) {
    for (;;) {
        try {
            record.SaveAs(path);
            return true;
        } catch (const OS::SystemError& e) {
            // A folder that cannot be made or written counts as a file would.
            OS::Logger::Log(OS::LOG_ERROR, "cannot write " + path + ": " + e.what());
        }
        if (m_boxes.Show(text, kErrorCaption, MessageBoxes::Icon::Error,
                         MessageBoxes::Buttons::RetryCancel,
                         MessageBoxes::Answer::Retry) != MessageBoxes::Answer::Retry)
            return false;
    }
}

bool UserConfig::CreateEmergency(const char* password) {
    OS::Trace t("UserConfig::CreateEmergency()");
    const std::string path = EmergencyPath();
    if (path.empty() || !password)
        return false;
    // Built aside, so that a failure before the save leaves the loaded one in place.
    auto emergency = std::make_unique<EmergencyPassword>();
    emergency->Create(m_profile.Name().c_str());
    {
        const KeyPair signer(emergency->GetKeyPair());
        emergency->Encrypt(password);
        emergency->Sign(signer);
    }
    m_emergency.reset();
    const bool saved = SaveWithRetry(*emergency, path, kWriteEmergencyText);
    if (saved)
        m_emergency = std::move(emergency);
    else
        LoadEmergency();  // whatever was on disk before comes back
    EvaluateEmergency();
    return saved;
}

bool UserConfig::DeleteEmergency() {
    OS::Trace t("UserConfig::DeleteEmergency()");
    const std::string path = EmergencyPath();
    if (path.empty())
        return false;
    try {
        // Unlinked without being opened (and so truncated) first: a file emptied but then not
        // deleted would leave the user with neither the old emergency password nor an honest
        // status.
        OS::WriteFile file(path, OS::WriteMode::Replace);
        file.Delete(false);
    } catch (const OS::SystemError& e) {
        OS::Logger::Log(OS::LOG_ERROR, "cannot delete " + path + ": " + e.what());
        m_boxes.Show(kDeleteEmergencyText, kErrorCaption, MessageBoxes::Icon::Error,
                     MessageBoxes::Buttons::Ok, MessageBoxes::Answer::Ok);
        return false;
    }
    LoadEmergency();
    EvaluateEmergency();
    return true;
}

bool UserConfig::SaveRecovery() {
    OS::Trace t("UserConfig::SaveRecovery()");
    const std::string path = RecoveryPath();
    if (!m_recovery || path.empty())
        return false;
    return SaveWithRetry(*m_recovery, path, kWriteRecoveryText);
}

bool UserConfig::ReplaceRecovery(const AdminRecovery& configuration) {
    OS::Trace t("UserConfig::ReplaceRecovery()");
    const std::string path = RecoveryPath();
    if (path.empty())
        return false;
    if (!SaveWithRetry(configuration, path, kWriteRecoveryText))
        return false;
    // Read back rather than keep the caller's object: the installed configuration is then
    // exactly what every other user will load, bound to this object's own callback.
    LoadRecovery();
    EvaluateRecovery();
    return true;
}

}  // namespace App
