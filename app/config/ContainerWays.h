// A container's ways in as this user and this machine see them: whether its emergency entry is
// the user's own, and which of the local configuration's administrators it names. Read without
// a password, so nothing here is verified.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/ContainerInfo.h"

namespace FCryptEng {
class AdminRecovery;
class EmergencyPassword;
}  // namespace FCryptEng

namespace App {

class UserConfig;

struct ContainerWays {
    FCryptEng::ContainerInfo info;
    // One per emergency entry, in footer order: its sealed key is the user's own.
    std::vector<bool> emergencyYours;
    // The names of the local configuration's administrators the entry names, in its order.
    std::vector<std::string> matchedAdministrators;
    std::size_t unmatchedAdministrators = 0;
    // A trusted data-recovery configuration was there to match against.
    bool configurationFound = false;

    std::size_t YourEmergencyEntries() const;
};

// Either may be null (none loaded).
ContainerWays MatchWays(FCryptEng::ContainerInfo info,
                        const FCryptEng::EmergencyPassword* emergency,
                        const FCryptEng::AdminRecovery* configuration);
// The user's emergency password, valid or not, and the configuration when it is trusted.
ContainerWays MatchWays(FCryptEng::ContainerInfo info, const UserConfig& config);

// "Opens with: a password; your emergency password; 2 of 3 administrators".
std::string OpensWithLine(const ContainerWays& ways);

}  // namespace App
