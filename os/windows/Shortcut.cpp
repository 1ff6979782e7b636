#include "os/Shortcut.h"

#include <windows.h>
// After windows.h, which they need.
#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shobjidl.h>

#include "os/Logger.h"
#include "os/windows/TryWide.h"

namespace OS {
namespace {

// COM for the calling thread while it lives. A thread that already has COM in the other model
// can use it as it is, and must not have it taken away.
class ComScope {
  public:
    ComScope() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_result))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool Usable() const { return SUCCEEDED(m_result) || m_result == RPC_E_CHANGED_MODE; }

  private:
    HRESULT m_result;
};

// One reference to a COM object, released when it goes.
template <class T>
class Ref {
  public:
    Ref() = default;
    ~Ref() {
        if (m_p)
            m_p->Release();
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    void** Out() { return reinterpret_cast<void**>(&m_p); }

  private:
    T* m_p = nullptr;
};

bool FullName(const std::wstring& name, std::wstring& full) {
    const DWORD needed = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return false;
    full.assign(needed, L'\0');
    const DWORD length = GetFullPathNameW(name.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed)
        return false;
    full.resize(length);
    return true;
}

bool HasLinkExtension(const std::wstring& name) {
    if (name.size() < 4)
        return false;
    const std::wstring tail = name.substr(name.size() - 4);
    return tail[0] == L'.' && (tail[1] | 0x20) == L'l' && (tail[2] | 0x20) == L'n' &&
           (tail[3] | 0x20) == L'k';
}

// Where the shell link in `file` leads, as it stores it; empty when it cannot be read or
// names no file (a link to a printer or a control-panel item).
std::wstring LinkTarget(const std::wstring& file) {
    ComScope com;
    if (!com.Usable())
        return std::wstring();
    Ref<IShellLinkW> link;
    Ref<IPersistFile> persist;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.Out())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, persist.Out())) ||
        FAILED(persist->Load(file.c_str(), STGM_READ)))
        return std::wstring();
    // Not Resolve(): it may search the disks and the network, and rewrite the link.
    std::wstring target(32768, L'\0');
    if (link->GetPath(&target[0], static_cast<int>(target.size()), nullptr, 0) != S_OK)
        return std::wstring();
    target.resize(wcslen(target.c_str()));
    return target;
}

}  // namespace

Shortcut ResolveShortcut(const std::string& path, std::string& target) {
    Trace t("ResolveShortcut()");
    std::wstring wide, full;
    if (!TryWide(path, wide) || wide.empty() || wide.find(L'\0') != std::wstring::npos ||
        !HasLinkExtension(wide) || !FullName(wide, full))
        return Shortcut::None;
    const DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Shortcut::None;
    std::wstring resolved;
    const std::wstring stored = LinkTarget(full);
    if (stored.empty() || !FullName(stored, resolved) ||
        GetFileAttributesW(resolved.c_str()) == INVALID_FILE_ATTRIBUTES)
        return Shortcut::Broken;
    const std::string narrow = Utf8(resolved);
    if (narrow.empty())
        return Shortcut::Broken;
    target = narrow;
    return Shortcut::Resolved;
}

}  // namespace OS
