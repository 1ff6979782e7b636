#include "os/Config.h"

#include <windows.h>

#include "os/Logger.h"
#include "os/windows/TryWide.h"

namespace OS {
namespace {

// An open registry key, closed when it goes.
class Key {
  public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (m_key)
            RegCloseKey(m_key);
    }
    HKEY* Out() { return &m_key; }
    HKEY Get() const { return m_key; }

  private:
    HKEY m_key = nullptr;
};

bool RootKey(int root, HKEY& key) {
    if (root == 0)
        key = HKEY_CURRENT_USER;
    else if (root == 1)
        key = HKEY_LOCAL_MACHINE;
    else
        return false;
    return true;
}

// The registry takes names up to their first NUL: a name holding one would name another value.
bool WideName(const std::string& name, std::wstring& wide) {
    return name.find('\0') == std::string::npos && TryWide(name, wide);
}

}  // namespace

Config::Config(const std::string& name) {
    Trace t("Config::Config()");
    if (name.find('\0') != std::string::npos)
        return;
    // Either separator divides levels, as in the settings-file store; empty levels are dropped
    // because the registry refuses them.
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t stop = name.find_first_of("\\/", start);
        if (stop == std::string::npos)
            stop = name.size();
        const std::string level = name.substr(start, stop - start);
        start = stop + 1;
        if (level.empty())
            continue;
        if (!m_key.empty())
            m_key += '\\';
        m_key += level;
    }
}

bool Config::GetInt(int root, const std::string& valueName, std::uint32_t& out) const {
    Trace t("Config::GetInt()");
    HKEY rootKey;
    std::wstring path, name;
    if (m_key.empty() || !RootKey(root, rootKey) || !WideName("Software\\" + m_key, path) ||
        !WideName(valueName, name))
        return false;
    Key key;
    if (RegOpenKeyExW(rootKey, path.c_str(), 0, KEY_QUERY_VALUE, key.Out()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    BYTE data[4] = {};
    DWORD size = sizeof data;
    // A larger value fails with ERROR_MORE_DATA: only exactly four bytes of REG_DWORD count.
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, data, &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof data)
        return false;
    out = std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 | std::uint32_t(data[2]) << 16 |
          std::uint32_t(data[3]) << 24;
    return true;
}

void Config::SetInt(int root, const std::string& valueName, std::uint32_t value) const {
    Trace t("Config::SetInt()");
    HKEY rootKey;
    std::wstring path, name;
    if (m_key.empty() || !RootKey(root, rootKey) || !WideName("Software\\" + m_key, path) ||
        !WideName(valueName, name))
        throw Err();
    Key key;
    if (RegCreateKeyExW(rootKey, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, key.Out(), nullptr) != ERROR_SUCCESS)
        throw Err();
    // REG_DWORD is little-endian whatever the processor.
    const BYTE data[4] = {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)};
    if (RegSetValueExW(key.Get(), name.c_str(), 0, REG_DWORD, data, sizeof data) != ERROR_SUCCESS)
        throw Err();
}

}  // namespace OS
