// The questions the engine and the records ask the user. The application implements it (its
// dialogs, the terminal's prompts, a scripted answerer in tests); the engine never reaches for
// a user interface of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "filters/WriteErrorHandler.h"

namespace FCryptEng {

// It is also the handler of write errors that the drivers give every file sink.
class CryptorCallback : public WriteErrorHandler {
  public:
    // A text the user supplies (an administrator's key-file path); nullopt when cancelled.
    virtual std::optional<std::string> AskText(const std::string& prompt, bool create) = 0;
    // Before replacing an existing file; may update the flags word and set the cancel flag.
    virtual bool ConfirmOverwrite(const std::string& path, bool readOnly,
                                  std::uint32_t& overwriteFlags) = 0;
    // Before destroying inputs; the encryptor passes no path. mode is 1-4.
    virtual bool ConfirmInputDeletion(const std::string* path, int mode) = 0;
    virtual void ReportDestroyFailed(bool eradicate) = 0;
    virtual bool RetryOpen(bool encrypting, bool isFile, const std::string& path,
                           int errorCode) = 0;
    // Some inputs could not be moved to the trash: delete them instead? Asked once per run;
    // no keeps them.
    virtual bool ConfirmDeleteInsteadOfRecycle(std::size_t count) = 0;
};

// For work that asks no one: every question is answered with no, every text with none.
class SilentCallback : public CryptorCallback {
  public:
    std::optional<std::string> AskText(const std::string&, bool) override { return std::nullopt; }
    bool ConfirmOverwrite(const std::string&, bool, std::uint32_t&) override { return false; }
    bool ConfirmInputDeletion(const std::string*, int) override { return false; }
    void ReportDestroyFailed(bool) override {}
    bool RetryOpen(bool, bool, const std::string&, int) override { return false; }
    bool RetryWrite(int) override { return false; }
    bool ConfirmDeleteInsteadOfRecycle(std::size_t) override { return false; }
};

}  // namespace FCryptEng
