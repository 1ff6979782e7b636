#include "os/Trash.h"

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <cstdio>

#include "os/Logger.h"
#include "os/windows/TryWide.h"

namespace OS {

namespace {

// The shell's own codes for SHFileOperationW: some of its answers are not system errors.
const char* ShellCodeText(int code) {
    switch (code) {
        case 0x71:
            return "source and destination are the same file";
        case 0x72:
        case 0x73:
        case 0x74:
            return "the shell could not handle several files at once";
        case 0x75:
        case 0x4C7:
            return "the operation was cancelled";
        case 0x78:
            return "access denied";
        case 0x79:
            return "the path is too long";
        case 0x7A:
            return "too many files named";
        case 0x7C:
        case 0x10000:
            return "the name is not valid";
        case 0x7D:
        case 0x7E:
        case 0x7F:
        case 0x80:
        case 0x81:
        case 0x82:
        case 0x83:
        case 0x84:
        case 0x85:
        case 0x86:
        case 0x88:
            return "the medium refused the operation";
        case 0x402:
            return "the shell reported an unknown error";
        default:
            return nullptr;
    }
}

std::string SystemText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring wide = length && text ? std::wstring(text, length) : std::wstring();
    if (text)
        LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' ' ||
                             wide.back() == L'.'))
        wide.pop_back();
    return Utf8(wide);
}

std::string ShellFailure(int code) {
    if (const char* known = ShellCodeText(code))
        return known;
    std::string text = SystemText(static_cast<DWORD>(code));
    if (text.empty()) {
        char number[32];
        std::snprintf(number, sizeof number, "shell error 0x%X", static_cast<unsigned>(code));
        text = number;
    }
    return text;
}

bool StillThere(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    const DWORD err = GetLastError();
    return err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND;
}

class RecycleBin : public Trash {
  public:
    bool Move(const std::string& path, std::string& why) override {
        Trace t("RecycleBin::Move()");
        std::wstring given;
        if (!TryWide(path, given) || given.empty() || given.find(L'\0') != std::wstring::npos) {
            why = "the name is not valid";
            return false;
        }
        // The shell resolves relative names against its own idea of the current folder, and
        // takes neither forward slashes nor the long-path prefix.
        const DWORD needed = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
        std::wstring full(needed ? needed : 1, L'\0');
        const DWORD length =
            needed ? GetFullPathNameW(given.c_str(), needed, &full[0], nullptr) : 0;
        if (length == 0 || length >= needed) {
            why = SystemText(GetLastError());
            return false;
        }
        full.resize(length);
        if (!StillThere(full)) {
            why = "no such file";
            return false;
        }
        // The list ends in two NULs: one after the name and one more.
        std::wstring list = full;
        list.push_back(L'\0');
        list.push_back(L'\0');

        SHFILEOPSTRUCTW op{};
        op.wFunc = FO_DELETE;
        op.pFrom = list.c_str();
        op.fFlags =
            FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT | FOF_RENAMEONCOLLISION;
        const int rc = SHFileOperationW(&op);
        if (rc != 0) {
            why = ShellFailure(rc);
            return false;
        }
        if (op.fAnyOperationsAborted) {
            why = "the operation was cancelled";
            return false;
        }
        // Success is taken from the disk, not from the answer alone.
        if (StillThere(full)) {
            why = "the shell left it in place";
            return false;
        }
        return true;
    }
};

}  // namespace

std::unique_ptr<Trash> MakeRecycleBin() {
    return std::make_unique<RecycleBin>();
}

}  // namespace OS
