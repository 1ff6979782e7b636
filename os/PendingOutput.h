// An output file that is written under a temporary name beside its final name and appears
// under the final name only when Commit succeeds. Until then a failure, a cancel or a crash
// leaves any previous file of that name as it was; the temporary file is removed on every
// path the process survives.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "os/File.h"

namespace OS {

class PendingOutput {
  public:
    explicit PendingOutput(std::string finalName, std::uint32_t creationAttributes = 0);
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // Creates a fresh temporary file in the final name's folder (and any missing folders).
    void Open();
    WriteFile& File() { return *m_file; }
    // Closes (applying the creation attributes), renames over the final name and syncs the
    // folder. The output is durable afterwards.
    void Commit(bool syncFolder = true);

    const std::string& FinalName() const { return m_finalName; }
    // Commit also grants execute permission wherever read permission was granted, so that an
    // output that is a program can be run.
    void SetExecutable(bool executable) { m_executable = executable; }

  private:
    void Discard() noexcept;

    std::string m_finalName;
    std::uint32_t m_creationAttributes;
    std::unique_ptr<WriteFile> m_file;
    bool m_committed = false;
    bool m_executable = false;
};

}  // namespace OS
