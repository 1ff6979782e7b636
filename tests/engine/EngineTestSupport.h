// Shared set-up for engine tests: a folder tree of real files, and whole encryption and
// decryption runs driven through the engine's interface.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/time.h>
#endif

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/FileCryptor.h"
#include "engine/FileEncryptor.h"
#include "filters/Random.h"
#include "support/ScriptedCallback.h"
#include "support/TempDir.h"

namespace cryvan_test {

namespace fs = std::filesystem;
using FCryptEng::FileCryptor;
using FCryptEng::InputDeletionMode;
using FCryptEng::OperationState;
using FCryptEng::OperationStatus;

inline std::string RandomBytes(std::size_t n) {
    std::string s(n, '\0');
    CryptoP2::GlobalRNG().GenerateBlock(reinterpret_cast<CryptoPP::byte*>(s.data()), n);
    return s;
}

inline std::string TextBytes(std::size_t n) {
    static const std::string words = "lorem ipsum dolor sit amet consectetur adipiscing elit ";
    std::string s;
    while (s.size() < n)
        s += words;
    s.resize(n);
    return s;
}

// The trash of this test process: GIO fixes its folder at first use, so every test shares one,
// removed when the process ends.
inline const std::string& TestTrashHome() {
    static TempDir home;
#ifndef _WIN32
    // (On Windows the Recycle Bin is the system's; the script running the tests under Wine
    // gives them one of their own.)
    static const bool set = setenv("XDG_DATA_HOME", home.Path().c_str(), 1) == 0;
    (void)set;
#endif
    static const std::string path = home.Path();
    return path;
}

// The last write and last access times, in seconds and milliseconds since 1970 (UTC).
inline void SetModTime(const std::string& path, long seconds, long ms) {
#ifdef _WIN32
    const HANDLE file = CreateFileW(fs::u8path(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const ULONGLONG ticks = (ULONGLONG(seconds) * 1000 + ULONGLONG(ms)) * 10000 +
                            116444736000000000ull;  // 100 ns units since 1601
    const FILETIME time{DWORD(ticks), DWORD(ticks >> 32)};
    SetFileTime(file, nullptr, &time, &time);
    CloseHandle(file);
#else
    const timeval times[2] = {{seconds, ms * 1000}, {seconds, ms * 1000}};
    utimes(path.c_str(), times);
#endif
}

// Removes a tree, read-only entries too (Windows refuses to remove those as they are).
inline void RemoveAll(const std::string& path) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(path);
}

// Nobody may write it: the mode bits here, the read-only attribute on Windows.
inline void MakeReadOnly(const std::string& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

// Every entry below `root`, by relative name: "<dir>", or the size and a digest of the bytes
// (short enough for a readable failure message).
inline std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).generic_string();
        if (e.is_directory()) {
            out[rel] = "<dir>";
        } else {
            const std::string bytes = ReadText(e.path().string());
            out[rel] = std::to_string(bytes.size()) + ":" +
                       std::to_string(std::hash<std::string>()(bytes));
        }
    }
    return out;
}

// What the application hands the engine for a folder: the folder and everything below it.
inline std::vector<std::string> Expand(const std::string& folder) {
    std::vector<std::string> out{folder};
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        found.push_back(e.path().generic_string());
    std::sort(found.begin(), found.end());
    out.insert(out.end(), found.begin(), found.end());
    return out;
}

inline std::uint32_t Be32(const std::string& s, std::size_t at) {
    return std::uint32_t(std::uint8_t(s[at])) << 24 | std::uint32_t(std::uint8_t(s[at + 1])) << 16 |
           std::uint32_t(std::uint8_t(s[at + 2])) << 8 | std::uint8_t(s[at + 3]);
}

class EngineRun {
  public:
    OperationStatus status;
    ScriptedCallback callback;
    // Called on the encryptor just before it begins (to set its test hooks).
    std::function<void(FCryptEng::FileEncryptor&)> prepare;

    EngineRun() { callback.cancel = &status.cancel; }

    // Encrypts the inputs into `container` with path mode 0 (names relative to their common
    // folder) and the plain container header.
    OperationState Encrypt(const std::vector<std::string>& inputs, const std::string& container,
                           const std::vector<const char*>& passwords,
                           InputDeletionMode mode = InputDeletionMode::Keep, bool confirm = false,
                           const std::string& header = "Cryvan encrypted file - do not edit") {
        auto enc = FileCryptor::Create(false, &status, &callback);
        for (const std::string& in : inputs)
            enc->SetPlainFile(in);
        enc->SetPathAndMode(FCryptEng::PathMode::Common, std::nullopt);
        enc->CipherFile(container);
        for (const char* p : passwords)
            enc->Password(p);
        enc->SetHeader(reinterpret_cast<const std::uint8_t*>(header.data()), header.size());
        enc->InputDeletion(mode, confirm);
        if (prepare)
            prepare(static_cast<FCryptEng::FileEncryptor&>(*enc));
        enc->Begin();
        return status.State();
    }

    bool Warned(const std::string& text) const {
        return std::any_of(status.warnings.begin(), status.warnings.end(),
                           [&](const std::string& w) { return w.find(text) != std::string::npos; });
    }

    // Opens `container` with `password`; selects the given entries (all when empty).
    std::unique_ptr<FileCryptor> Open(const std::string& container, const char* password,
                                      FCryptEng::UnlockResult* result = nullptr) {
        auto dec = FileCryptor::Create(true, &status, &callback);
        dec->CipherFile(container);
        dec->ClearPassword();
        const FCryptEng::UnlockResult r = dec->Password(password);
        if (result)
            *result = r;
        return dec;
    }

    OperationState Decrypt(const std::string& container, const char* password,
                           const std::string& dest, std::vector<std::size_t> selection = {},
                           InputDeletionMode mode = InputDeletionMode::Keep, bool confirm = false) {
        FCryptEng::UnlockResult result = FCryptEng::UnlockResult::Nothing;
        auto dec = Open(container, password, &result);
        if (result != FCryptEng::UnlockResult::Unlocked)
            return OperationState::Idle;
        dec->ClearPlainFiles();
        if (selection.empty())
            for (std::size_t i = 0; i < dec->NumPlainFiles(false); ++i)
                selection.push_back(i);
        for (std::size_t i : selection)
            dec->SetPlainFile(i);
        dec->SetPathAndMode(FCryptEng::PathMode::Common, dest + "/");
        dec->InputDeletion(mode, confirm);
        dec->Begin();
        return status.State();
    }
};

}  // namespace cryvan_test
