// Seeds for the emergency-password target, written with our own writer: a record as the program
// makes it, the same unsigned, and one with empty names. Each is sealed under "fuzz".
#pragma once

#include <filesystem>
#include <string>

#include "recovery/EPImp.h"
#include "recovery/EmergencyPassword.h"

inline void EmergencyPasswordSeeds(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    FCryptEng::EmergencyPassword record;
    record.Create("Fuzz Org");
    const FCryptEng::KeyPair plain(record.GetKeyPair());
    record.Encrypt("fuzz");
    record.SaveAs((dir / "unsigned").string());
    record.Sign(plain);
    record.SaveAs((dir / "signed").string());

    FCryptEng::EPImp bare;
    bare.Create("");
    const FCryptEng::KeyPair bareKeys(bare.GetKeyPair());
    bare.Info().user.clear();
    bare.Encrypt("fuzz");
    bare.Sign(bareKeys);
    bare.SaveAs((dir / "empty-names").string());
}
