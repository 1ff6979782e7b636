#include "app/config/ContainerWays.h"

#include <cryptopp/filters.h>

#include <algorithm>

#include "app/config/UserConfig.h"
#include "recovery/AdminRecovery.h"
#include "recovery/EmergencyPassword.h"

namespace App {

namespace {

// The sealed private-key record as the container stores it; empty when there is none.
std::string SealedRecord(const FCryptEng::EmergencyPassword& emergency) {
    if (!emergency.GetKeyPair().HasSealedKey())
        return {};
    std::string out;
    CryptoPP::StringSink sink(out);
    emergency.GetKeyPair().WriteEncryptedPrivateKey(&sink);
    return out;
}

std::string Counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::size_t ContainerWays::YourEmergencyEntries() const {
    return std::size_t(std::count(emergencyYours.begin(), emergencyYours.end(), true));
}

ContainerWays MatchWays(FCryptEng::ContainerInfo info,
                        const FCryptEng::EmergencyPassword* emergency,
                        const FCryptEng::AdminRecovery* configuration) {
    ContainerWays ways;
    const std::string mine = emergency ? SealedRecord(*emergency) : std::string();
    for (const std::string& record : info.emergencyEntries)
        ways.emergencyYours.push_back(!mine.empty() && record == mine);
    ways.configurationFound = configuration != nullptr;
    if (info.administrators) {
        for (const std::string& encName : info.administrators->encryptedNames) {
            bool matched = false;
            // An empty encrypted name matches nothing: it identifies no one.
            for (std::uint16_t i = 0;
                 configuration && !encName.empty() && i < configuration->GetN(); ++i) {
                const CryptoPP::SecByteBlock* stored = configuration->GetEncName(i);
                if (stored && stored->size() == encName.size() &&
                    std::equal(encName.begin(), encName.end(), stored->begin(),
                               [](char a, CryptoPP::byte b) { return CryptoPP::byte(a) == b; })) {
                    ways.matchedAdministrators.push_back(configuration->GetName(i).value_or(""));
                    matched = true;
                    break;
                }
            }
            if (!matched)
                ++ways.unmatchedAdministrators;
        }
    }
    ways.info = std::move(info);
    return ways;
}

ContainerWays MatchWays(FCryptEng::ContainerInfo info, const UserConfig& config) {
    return MatchWays(std::move(info), config.Emergency(), config.RecoveryConfig());
}

std::string OpensWithLine(const ContainerWays& ways) {
    const FCryptEng::ContainerInfo& info = ways.info;
    std::vector<std::string> parts;
    if (info.passwordEntries == 1)
        parts.emplace_back("a password");
    else if (info.passwordEntries > 1)
        parts.push_back("any of " + std::to_string(info.passwordEntries) + " passwords");
    const std::size_t yours = ways.YourEmergencyEntries();
    const std::size_t others = info.emergencyEntries.size() - yours;
    if (yours > 0)
        parts.emplace_back("your emergency password");
    if (others == 1)
        parts.emplace_back("another user's emergency password");
    else if (others > 1)
        parts.push_back(std::to_string(others) + " other users' emergency passwords");
    // An entry that names no administrator opens with nothing.
    if (info.administrators && info.administrators->n > 0)
        parts.push_back(std::to_string(info.administrators->Needed()) + " of " +
                        Counted(info.administrators->n, "administrator", "administrators"));
    if (parts.empty())
        return "Opens with: no way this program knows";
    std::string line = "Opens with: ";
    for (std::size_t i = 0; i < parts.size(); ++i)
        line += (i ? "; " : "") + parts[i];
    return line;
}

}  // namespace App
