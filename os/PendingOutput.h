// An output file that appears under its final name only when Commit succeeds. Until then a
// failure, a cancel or a crash leaves any previous file of that name as it was.
//
// Where the file system allows it the output is an anonymous file in the final name's folder,
// so that a process killed at any point leaves nothing there; at Commit it is linked under a
// short temporary name and renamed over the final name. Elsewhere (no anonymous files, or no
// /proc to link one from) it is written under a short temporary name in that folder, which a
// later output into the same folder removes if a crash left it. Temporary names never depend
// on the final name's length: every name the folder can hold can be written.
#pragma once

#include <time.h>

#include <cstdint>
#include <memory>
#include <string>

#include "os/Descriptor.h"
#include "os/File.h"

namespace OS {

class PendingOutput {
  public:
    explicit PendingOutput(std::string finalName, std::uint32_t creationAttributes = 0);
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // Creates the final name's missing folders, removes stale temporaries of ours there, and
    // starts a fresh output. A final name longer than a name can be raises File::NameTooLong.
    void Open();
    // The same in a folder the caller has opened already (the one holding the final name's last
    // component), reached without following links; stale temporaries are the caller's affair.
    void OpenIn(NativeHandle folderFd);
    WriteFile& File() { return *m_file; }
    // Flushes, applies the creation attributes, puts the output in place over the final name
    // and syncs the folder. The output is durable afterwards, unless it was told it need not be.
    void Commit(bool syncFolder = true);
    // An output that is not the only copy of anything (its inputs stay) need not reach the disk
    // before it takes its name: Commit then only renames, still atomically. Durable by default.
    void SetDurable(bool durable) { m_durable = durable; }

    const std::string& FinalName() const { return m_finalName; }
    // Commit also grants execute permission wherever read permission was granted, so that an
    // output that is a program can be run.
    void SetExecutable(bool executable) { m_executable = executable; }
    // Whether the output being written has no name in its folder yet.
    bool Anonymous() const { return m_anonymous; }

    // Every temporary name is this prefix and 16 of [a-z0-9]: 24 bytes.
    static constexpr char kTemporaryPrefix[] = ".cryvan-";
    static constexpr std::size_t kTemporaryNameSize = 24;
    static bool IsTemporaryName(const std::string& name);
    // Removes the regular files of the folder named as our temporaries, last changed before
    // `before`, that no writer holds. Best effort: what cannot be removed stays.
    static void SweepStale(NativeHandle folderFd, const struct timespec& before);
    // Set (to anything) in the environment, outputs are written under temporary names even
    // where anonymous files work.
    static constexpr char kNamedTemporariesVariable[] = "CRYVAN_NO_TMPFILE";

  private:
    bool OpenAnonymous();
    void OpenNamed();
    void Adopt(Descriptor fd);
    void Discard() noexcept;

    std::string m_finalName;
    std::string m_name;  // the last component of the final name
    std::uint32_t m_creationAttributes;
    struct timespec m_started {};
    Descriptor m_folder;
    std::unique_ptr<WriteFile> m_file;
    std::string m_temporary;  // the name in the folder, empty while the output has none
    bool m_committed = false;
    bool m_executable = false;
    bool m_anonymous = false;
    bool m_durable = true;
};

}  // namespace OS
