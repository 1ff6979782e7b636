// The questions the engine and the records ask the user. The application implements it (its
// dialogs, the terminal's prompts, a scripted answerer in tests); the engine never reaches for
// a user interface of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "filters/WriteErrorHandler.h"
#include "os/Errors.h"

namespace FCryptEng {

// What happens to the inputs after a successful run. The numbers are those of the settings
// file.
enum class InputDeletionMode : int {
    Keep = 0,
    Recycle = 1,
    Delete = 2,
    Overwrite = 3,
    Eradicate = 4
};

// What the overwrite question remembers during a run: for normal and for read-only files, ask,
// replace all without asking, or replace none. A run starts with Start.
enum class OverwriteFlags : std::uint32_t {
    None = 0,
    Ask = 0x01,
    YesToAll = 0x02,
    NoToAll = 0x04,
    AskReadOnly = 0x10,
    YesToAllReadOnly = 0x20,
    NoToAllReadOnly = 0x40,
    Start = Ask | AskReadOnly,
};

constexpr OverwriteFlags operator|(OverwriteFlags a, OverwriteFlags b) {
    return OverwriteFlags(std::uint32_t(a) | std::uint32_t(b));
}
constexpr OverwriteFlags operator&(OverwriteFlags a, OverwriteFlags b) {
    return OverwriteFlags(std::uint32_t(a) & std::uint32_t(b));
}
constexpr OverwriteFlags operator~(OverwriteFlags a) {
    return OverwriteFlags(~std::uint32_t(a));
}
// True when any of `bits` is set.
constexpr bool Any(OverwriteFlags flags, OverwriteFlags bits) {
    return (flags & bits) != OverwriteFlags::None;
}

// It is also the handler of write errors that the drivers give every file sink.
class CryptorCallback : public WriteErrorHandler {
  public:
    // A text the user supplies (an administrator's key-file path); nullopt when cancelled.
    virtual std::optional<std::string> AskText(const std::string& prompt, bool create) = 0;
    // Before replacing an existing file; may update the flags and set the cancel flag.
    virtual bool ConfirmOverwrite(const std::string& path, bool readOnly,
                                  OverwriteFlags& overwriteFlags) = 0;
    // Before destroying inputs; the encryptor passes no path. Never asked for Keep.
    virtual bool ConfirmInputDeletion(const std::string* path, InputDeletionMode mode) = 0;
    virtual void ReportDestroyFailed(bool eradicate) = 0;
    virtual bool RetryOpen(bool encrypting, bool isFile, const std::string& path,
                           OS::ErrorCode errorCode) = 0;
    // Some inputs could not be moved to the trash: delete them instead? Asked once per run;
    // no keeps them.
    virtual bool ConfirmDeleteInsteadOfRecycle(std::size_t count) = 0;
};

// For work that asks no one: every question is answered with no, every text with none.
class SilentCallback : public CryptorCallback {
  public:
    std::optional<std::string> AskText(const std::string&, bool) override { return std::nullopt; }
    bool ConfirmOverwrite(const std::string&, bool, OverwriteFlags&) override { return false; }
    bool ConfirmInputDeletion(const std::string*, InputDeletionMode) override { return false; }
    void ReportDestroyFailed(bool) override {}
    bool RetryOpen(bool, bool, const std::string&, OS::ErrorCode) override { return false; }
    bool RetryWrite(OS::ErrorCode) override { return false; }
    bool ConfirmDeleteInsteadOfRecycle(std::size_t) override { return false; }
};

}  // namespace FCryptEng
