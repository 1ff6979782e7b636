#include "os/User.h"

#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <lmcons.h>
#include <shlobj.h>

#include <cstring>
#include <memory>

#include "os/Logger.h"
#include "os/windows/TryWide.h"

namespace OS {
namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// "X:\..." or a network name "\\server\...": what the system takes as absolute.
bool IsAbsolute(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && IsSeparator(path[2]))
        return ((path[0] | 0x20) >= L'a' && (path[0] | 0x20) <= L'z');
    return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

std::string WithoutTrailingSeparators(std::wstring path) {
    while (!path.empty() && IsSeparator(path.back()))
        path.pop_back();
    return Utf8(path);
}

bool Environment(const wchar_t* name, std::wstring& value) {
    const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed == 0)
        return false;
    value.assign(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, &value[0], needed);
    if (length == 0 || length >= needed)
        return false;
    value.resize(length);
    return true;
}

const KNOWNFOLDERID& FolderId(KnownFolder folder) {
    switch (folder) {
        case KnownFolder::Profile:
            return FOLDERID_Profile;
        case KnownFolder::Documents:
            return FOLDERID_Documents;
        case KnownFolder::Desktop:
            return FOLDERID_Desktop;
        case KnownFolder::RoamingAppData:
            return FOLDERID_RoamingAppData;
        case KnownFolder::LocalAppData:
            return FOLDERID_LocalAppData;
        case KnownFolder::ProgramData:
            break;
    }
    return FOLDERID_ProgramData;
}

struct TaskMemFree {
    void operator()(wchar_t* p) const { CoTaskMemFree(p); }
};

struct SidFree {
    void operator()(void* sid) const { FreeSid(sid); }
};

}  // namespace

std::string UserName() {
    Trace t("UserName()");
    std::wstring name(UNLEN + 1, L'\0');
    DWORD size = static_cast<DWORD>(name.size());
    if (!GetUserNameW(&name[0], &size) && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        name.assign(size, L'\0');
        if (!GetUserNameW(&name[0], &size))
            size = 0;
    }
    // The size counts the terminator.
    if (size > 0 && size <= name.size()) {
        name.resize(size - 1);
        return Utf8(name);
    }
    std::wstring fromEnvironment;
    return Environment(L"USERNAME", fromEnvironment) ? Utf8(fromEnvironment) : std::string();
}

bool UserName(char* buffer, std::size_t& size) {
    Trace t("UserName(buffer)");
    const std::string name = UserName();
    if (name.empty()) {
        size = 0;
        return false;
    }
    const std::size_t needed = name.size() + 1;
    if (!buffer || size < needed) {
        size = needed;
        return false;
    }
    std::memcpy(buffer, name.c_str(), needed);
    size = needed;
    return true;
}

bool FolderFromEnvironment(const char* variable, std::string& folder) {
    std::wstring name, value;
    if (!TryWide(variable, name) || !Environment(name.c_str(), value) || !IsAbsolute(value))
        return false;
    folder = WithoutTrailingSeparators(value);
    return true;
}

std::string KnownFolderPath(KnownFolder folder) {
    Trace t("KnownFolderPath()");
    wchar_t* found = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(FolderId(folder), KF_FLAG_DEFAULT, nullptr, &found);
    // Freed whatever the answer: the shell may hand back memory with a failure too.
    const std::unique_ptr<wchar_t, TaskMemFree> owned(found);
    if (FAILED(hr) || !found)
        return std::string();
    return WithoutTrailingSeparators(found);
}

bool HomeFolder(std::string& home) {
    std::string profile = KnownFolderPath(KnownFolder::Profile);
    if (!profile.empty()) {
        home = std::move(profile);
        return true;
    }
    return FolderFromEnvironment("USERPROFILE", home);
}

bool IsAdministrator() {
    Trace t("IsAdministrator()");
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid))
        return false;
    const std::unique_ptr<void, SidFree> owned(sid);
    BOOL member = FALSE;
    // Any failing step answers no.
    return CheckTokenMembership(nullptr, sid, &member) && member;
}

}  // namespace OS
