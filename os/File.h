// File access for the engine: ReadFile and WriteFile over one abstract File, File::Info for
// names, sizes, times and attributes. Every failed system call raises File::Error.
#pragma once

#include <sys/types.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "os/DateTime.h"
#include "os/Descriptor.h"
#include "os/Errors.h"
#include "os/Progress.h"

namespace OS {

// Windows takes '/' too; names are kept with '/' inside, whatever the platform.
inline constexpr char kSeparator = '/';

// Attribute flags as stored in directory entries.
enum FileAttribute : std::uint32_t {
    ATTR_ARCHIVE = 8,
    ATTR_HIDDEN = 16,
    ATTR_READONLY = 32,
    ATTR_SYSTEM = 64,
    ATTR_TEMPORARY = 128,
    ATTR_DIRECTORY = 256,
    ATTR_COMPRESSED = 512,
    ATTR_SPARSE = 1024,
    ATTR_ENCRYPTED = 2048,
};

// What makes a file the one that was read: a file replaced, rewritten, grown, cut or touched
// since then differs in at least one of these.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modSeconds = 0, modNanoseconds = 0;
    std::int64_t changeSeconds = 0, changeNanoseconds = 0;

    bool operator==(const FileIdentity& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               modSeconds == o.modSeconds && modNanoseconds == o.modNanoseconds &&
               changeSeconds == o.changeSeconds && changeNanoseconds == o.changeNanoseconds;
    }
    bool operator!=(const FileIdentity& o) const { return !(*this == o); }
};

// How WriteFile opens its file.
enum class WriteMode : int {
    CreateNew = 0,        // create; fail if the file exists
    Truncate = 1,         // open an existing file and empty it
    Replace = 2,          // create, replacing any existing file
    OpenExisting = 3,     // open an existing file as it is
    WriteThrough = 9999,  // as OpenExisting, every write reaching the disk before it returns
};

class File {
  public:
    using Error = PlatformError<ErrorLayer::File>;
    // A name or path longer than the file system takes: code 0, but a text that says why.
    class NameTooLong : public Error {
      public:
        NameTooLong() : PlatformError(ErrorCode::Failed, "File name too long") {}
    };

    // Throws the error for errno (or `err`); returns quietly when it is 0.
    static void RaiseLastError(IoOp op = IoOp::Other);
    static void RaiseError(int err, IoOp op = IoOp::Other);

    static std::string GetCurrentPath();

    class Info {
      public:
        Info() = default;
        // Splits at the last separator; a bare name is taken in the current folder.
        // With mayNotExist, "not found" only clears Exists(); every other failure raises.
        Info(const std::string& fullName, bool mayNotExist);
        // `name` inside an open folder, without following a link there: a link is described
        // as itself. A missing name only clears Exists(). `folderPath` names the folder.
        Info(NativeHandle folderFd, const std::string& folderPath, const std::string& name);
        // The name alone, without asking the system anything (a file not yet on disk).
        static Info Named(const std::string& fullName);

        void Update();

        const std::string& Name() const { return m_name; }
        const std::string& Path() const { return m_path; }  // ends in a separator
        std::string FullName() const { return m_path + m_name; }
        std::uint64_t Size() const { return m_size; }
        bool Exists() const { return m_exists; }
        std::uint32_t Attributes() const { return m_attributes; }
        const DateTime& CreateTime() const { return m_create; }
        const DateTime& ModTime() const { return m_modify; }
        const DateTime& AccessTime() const { return m_access; }
        bool IsLink() const { return m_link; }

      private:
        void SplitName(const std::string& fullName);
#ifdef _WIN32
        // Times in 100 ns units since 1601 (UTC).
        void Fill(std::uint32_t winAttributes, std::uint64_t size, std::uint64_t create,
                  std::uint64_t modify, std::uint64_t access);
#else
        void Fill(const struct ::statx& st);
#endif

        std::string m_name;
        std::string m_path;
        std::uint64_t m_size = 0;
        DateTime m_create, m_modify, m_access;
        std::uint32_t m_attributes = 0;
        bool m_exists = false;
        bool m_link = false;
    };

    struct State {
        NativeHandle fd = kNoHandle;
        WriteMode mode = WriteMode::Replace;
        bool deleteIfLeftOpen = false;
        int startPercent = 0;
        ProgressWord* percent = nullptr;
        ProgressWord* counter = nullptr;
        std::uint32_t counterStart = 0;
        std::uint32_t counterEnd = 0;
    };

    virtual ~File() = default;
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    const Info& GetInfo() const {
        return m_info;
    }
    Info& GetInfo() {
        return m_info;
    }
    // The identity of the open file (os/Destroy.cpp).
    FileIdentity Identity() const;

    File(const File&) = delete;
    File& operator=(const File&) = delete;

  protected:
    File() = default;
    // Closes the descriptor, marking the state closed even when close() reports an error.
    void CloseHandle();

    Info m_info;
    State m_state;
};

class ReadFile : public File {
  public:
    explicit ReadFile(const std::string& fullName);
    ~ReadFile() override;

    void Open() override;  // shared lock: readers may share, writers are kept out
    void Close() override;
    bool IsOpen() const override { return m_state.fd != kNoHandle; }

    // Fewer bytes than asked only at the end of the file.
    std::size_t Read(void* buffer, std::size_t count);
    // fromCurrent false: a negative offset counts from the end, others from the start.
    std::uint64_t Move(std::int64_t offset, bool fromCurrent);
};

class WriteFile : public File {
  public:
    WriteFile(const std::string& fullName, WriteMode mode = WriteMode::Replace,
              bool deleteIfLeftOpen = false);
    // A file its owner has already opened and locked, that may have no name yet (an output
    // being written): it is never opened, deleted or recycled by `fullName`, which only says
    // what it will be called.
    WriteFile(Descriptor fd, const std::string& fullName);
    ~WriteFile() override;

    void Open() override;   // exclusive lock; creates the missing folders of a new file
    void Close() override;  // applies the creation attributes
    bool IsOpen() const override { return m_state.fd != kNoHandle; }

    // Stores the count written through `written` before any failure is raised.
    std::size_t Write(const void* buffer, std::size_t count, std::size_t* written = nullptr);
    void Flush();
    std::uint64_t Move(std::int64_t offset, bool fromCurrent);

    void SetProgress(int startPercent, ProgressWord* percent, ProgressWord* counter,
                     std::uint32_t counterEnd);
    // Linux keeps no settable creation time: only modification and access are set.
    void SetFileTimes(const DateTime& create, const DateTime& modify, const DateTime& access);
    void SetCreationAttributes(std::uint32_t attributes) { m_creationAttributes = attributes; }
    std::uint32_t CreationAttributes() const { return m_creationAttributes; }
    // Permission bits and owner of the open file. Windows keeps neither: there a mode without
    // the owner's write bit makes the file read-only, and nothing else changes.
    void SetPermissions(mode_t mode);
#ifndef _WIN32
    void SetOwner(uid_t owner, gid_t group);
#endif

    void Delete(bool clearReadOnly);
    // Moves the file to the desktop trash; false (with the reason in DestroyNote) when it could
    // not be moved.
    bool Recycle();

    // Destroy the file (os/Destroy.cpp). True only when the medium lets an overwrite in place
    // be trusted; false too when the file was left alone (missing, not a plain file, cannot be
    // opened for writing).
    // A file with other names (hard links) is only unlinked: its content is theirs too.
    bool Overwrite();
    bool Eradicate();
    // Overwrite, Eradicate and Recycle then touch the file only while it is still this one.
    void ExpectIdentity(const FileIdentity& identity) {
        m_expected = identity;
    }
    // Why the last Overwrite, Eradicate or Recycle left the file, or its content, in place (a
    // medium that cannot be trusted aside); empty when it did all its work.
    const std::string& DestroyNote() const {
        return m_destroyNote;
    }

  private:
    bool PrepareToDestroy();
    friend class PendingOutput;
    void ApplyCompression();         // the part applied when the file is made
    void ApplyCreationAttributes();  // the part applied when it is complete
    bool OpenToDestroy(WriteMode mode);
    void OverwritePass(const unsigned char* buffer, std::size_t block, std::uint32_t percentTarget,
                       std::uint32_t counterTarget);
    void EndProgress();

    std::uint32_t m_creationAttributes = 0;
    std::optional<FileIdentity> m_expected;
    std::string m_destroyNote;
    bool m_adopted = false;
};

// Creates the missing folders of `path` (which ends in a separator) for a file about to be made,
// and makes each new folder's entry durable in its parent.
void CreateFilePath(const std::string& path);

}  // namespace OS
