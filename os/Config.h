// Integer settings under one key, kept per root in a settings file written in the registry's
// export text format: a section per key, one `"Name"=dword:xxxxxxxx` line per value.
// Root 0 is the user's file, root 1 the machine-wide one; any other root has no store.
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

    // The settings file of a root as the environment names it now; empty when there is none.
    std::string FilePath(int root) const;

  private:
    std::string Section(int root) const;

    std::string m_folder;  // key levels joined by '/'; empty when the name is unusable
    std::string m_key;     // the same levels joined by '\'
};

}  // namespace OS
