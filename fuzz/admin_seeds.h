// Seeds for the administrators' targets, written with our own writers; every administrator's
// password is "fuzz". adminentry: entry bodies for K = 0, 1, 2 and 3 (one administrator keeps
// the key in a key file). datarecovery: whole "Data Recovery.bin" files, signed and unsigned.
#pragma once

#include <cryptopp/filters.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "recovery/AdminKeyEntry.h"
#include "recovery/AdminRecovery.h"

namespace admin_seeds {

// Answers every key-file request with one path.
class KeyFileAnswer : public FCryptEng::SilentCallback {
  public:
    explicit KeyFileAnswer(std::string path) : m_path(std::move(path)) {}
    std::optional<std::string> AskText(const std::string&, bool) override { return m_path; }

  private:
    std::string m_path;
};

inline FCryptEng::AdminRecovery Administrators(FCryptEng::CryptorCallback* callback) {
    FCryptEng::AdminRecovery config(callback);
    config.Add("Ann", "fuzz", false);
    config.Add("Bo", "fuzz", true);
    config.Add("Cy", "fuzz", false);
    return config;
}

}  // namespace admin_seeds

inline void AdminEntrySeeds(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    admin_seeds::KeyFileAnswer callback((dir / "bo.key").string());
    FCryptEng::AdminRecovery config = admin_seeds::Administrators(&callback);
    std::filesystem::remove(dir / "bo.key");
    const FCryptEng::KeySet keys(true);
    for (std::uint16_t k : {0, 1, 2, 3}) {
        config.SetK(k);
        std::unique_ptr<FCryptEng::KeyEntry> entry = config.MakeKeyEntry();
        entry->SetKeys(keys);
        std::string body;
        CryptoPP::StringSink sink(body);
        entry->PutBody(sink);
        std::ofstream(dir / ("k" + std::to_string(k)), std::ios::binary) << body;
    }
    FCryptEng::AdminRecovery none(&callback);
    std::unique_ptr<FCryptEng::KeyEntry> empty = none.MakeKeyEntry();
    empty->SetKeys(keys);
    std::string body;
    CryptoPP::StringSink sink(body);
    empty->PutBody(sink);
    std::ofstream(dir / "none", std::ios::binary) << body;
}

inline void DataRecoverySeeds(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    admin_seeds::KeyFileAnswer callback((dir / "bo.key").string());
    FCryptEng::AdminRecovery config = admin_seeds::Administrators(&callback);
    std::filesystem::remove(dir / "bo.key");
    config.SetK(2);
    config.SaveAs((dir / "unsigned").string());
    FCryptEng::KeyPair organisation;
    organisation.Create();
    config.Sign(organisation);
    config.SaveAs((dir / "signed").string());
    config.SetPermitEP(false);
    config.Remove("Cy");
    config.SetK(1);
    config.SaveAs((dir / "small").string());
}
