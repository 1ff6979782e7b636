#include "app/config/OrganisationProfile.h"

#include <exception>

#include "os/File.h"
#include "os/Logger.h"

namespace App {
namespace {

// True when something of that name exists; a folder that cannot be searched counts as
// holding a record, which then fails to open and shows up as unusable.
bool Present(const std::string& path) {
    try {
        return OS::File::Info(path, true).Exists();
    } catch (const std::exception&) {
        return true;
    }
}

}  // namespace

OrganisationProfile::OrganisationProfile() {
    OS::Trace t("OrganisationProfile::OrganisationProfile()");
}

OrganisationProfile OrganisationProfile::Load(const Folders& folders) {
    OS::Trace t("OrganisationProfile::Load()");
    OrganisationProfile profile;
    const std::string name = FCryptEng::Organisation::kFileName;
    if (!folders.allUsers.empty() && Present(folders.allUsers + name)) {
        profile.m_recordPath = folders.allUsers + name;
    } else if (!folders.program.empty() && Present(folders.program + name)) {
        profile.m_recordPath = folders.program + name;
        profile.m_status = RecordInProgram;
    } else {
        return profile;
    }
    profile.m_status &= ~NoRecord;

    FCryptEng::Organisation record;
    try {
        record.Open(profile.m_recordPath);
        if (!record.Check())
            throw FCryptEng::Organisation::Err();
    } catch (const std::exception& e) {
        OS::Logger::Log(OS::LOG_WARN,
                        "organisation record " + profile.m_recordPath + " unusable: " + e.what());
        profile.m_status |= Unusable;
        return profile;
    }
    if (!record.RecoveryApplies())
        profile.m_status |= RecoveryNotApplied;
    profile.m_choice = record.ProgramFolder() ? ProgramFolder : AllUsersFolder;
    profile.m_folder = record.ProgramFolder() ? folders.program : folders.allUsers;
    profile.m_record = std::move(record);
    return profile;
}

bool OrganisationProfile::Applies() const {
    OS::Trace t("OrganisationProfile::Applies()");
    return m_record && m_record->RecoveryApplies();
}

const std::string& OrganisationProfile::Name() const {
    OS::Trace t("OrganisationProfile::Name()");
    static const std::string none;
    return m_record ? m_record->Name() : none;
}

const FCryptEng::KeyPair& OrganisationProfile::Keys() const {
    OS::Trace t("OrganisationProfile::Keys()");
    static const FCryptEng::KeyPair none;
    return m_record ? m_record->Keys() : none;
}

}  // namespace App
