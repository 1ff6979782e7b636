// Integer settings under one key, kept per root in a settings file written in the registry's
// export text format: a section per key, one `"Name"=dword:xxxxxxxx` line per value; on Windows
// in the registry itself, as REG_DWORD values of Software\<name>.
// Root 0 is the user's store, root 1 the machine-wide one; any other root has no store.
#pragma once

#include <cstdint>
#include <string>

#include "os/Errors.h"

namespace OS {

class Config {
  public:
    class Err : public OS::Error {
      public:
        Err() : OS::Error("\"Config error\"") {}
    };

    // `name` is the key below Software, its levels separated by backslashes.
    explicit Config(const std::string& name);

    // True only for a dword value of this key; otherwise `out` keeps its value. Never raises.
    bool GetInt(int root, const std::string& valueName, std::uint32_t& out) const;
    // Replaces the file atomically, keeping every other line as it was; raises Err on failure,
    // leaving the previous file in place.
    void SetInt(int root, const std::string& valueName, std::uint32_t value) const;

#ifndef _WIN32
    // The settings file of a root as the environment names it now; empty when there is none.
    std::string FilePath(int root) const;
#endif

  private:
#ifndef _WIN32
    std::string Section(int root) const;

    std::string m_folder;  // key levels joined by '/'; empty when the name is unusable
#endif
    std::string m_key;  // the levels joined by '\'; empty when the name is unusable
};

}  // namespace OS
