// Ways into a container that the tests of reading them share, made once per suite (key pairs
// are slow to make): administrators Ann, Bo and Cy, 2 of 3, and the emergency passwords of this
// user and of another.
#pragma once

#include <memory>
#include <stdexcept>

#include "recovery/AdminRecovery.h"
#include "recovery/EmergencyPassword.h"
#include "support/ScriptedCallback.h"

namespace cryvan_test {

inline std::unique_ptr<FCryptEng::EmergencyPassword> MakeEmergency(const char* password) {
    auto ep = std::make_unique<FCryptEng::EmergencyPassword>();
    ep->Create("Example Org");
    const FCryptEng::KeyPair open = ep->GetKeyPair();
    ep->Encrypt(password);
    ep->Sign(open);
    return ep;
}

struct SampleWaysIn {
    SampleWaysIn()
        : callback(std::make_unique<ScriptedCallback>()),
          config(std::make_unique<FCryptEng::AdminRecovery>(callback.get())),
          mine(MakeEmergency("my emergency password")),
          theirs(MakeEmergency("their emergency password")) {
        const char* const administrators[][2] = {
            {"Ann", "ann's password"}, {"Bo", "bo's password"}, {"Cy", "cy's password"}};
        for (const auto& a : administrators)
            if (!config->Add(a[0], a[1], false))
                throw std::runtime_error("cannot add an administrator");
        config->SetK(2);
    }

    std::unique_ptr<ScriptedCallback> callback;
    std::unique_ptr<FCryptEng::AdminRecovery> config;
    std::unique_ptr<FCryptEng::EmergencyPassword> mine, theirs;
};

}  // namespace cryvan_test
