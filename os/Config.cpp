#include "os/Config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "os/Descriptor.h"
#include "os/Logger.h"
#include "os/PendingOutput.h"
#include "os/User.h"

namespace OS {
namespace {

// A settings file is a few hundred bytes; anything this large is not ours to parse or rewrite.
constexpr std::size_t kMaxFileSize = 16u << 20;
constexpr char kFileName[] = "settings.reg";

// Read-modify-write of one file: two threads setting values at once must not lose one.
std::mutex& WriteMutex() {
    static std::mutex mutex;
    return mutex;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Key and value names compare without regard to case, as the registry does.
bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsSpace(s.front()))
        s.remove_prefix(1);
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// An absolute folder from the environment without trailing separators ("" for the root
// itself); unset, empty and relative values count as absent.

// One logical line: a physical line plus the continuation lines of a wrapped value.
struct LogicalLine {
    std::size_t begin = 0;
    std::size_t textEnd = 0;  // before the terminator of its last physical line
    std::size_t end = 0;      // after that terminator
};

// `"name"=data` or `@=data` (the unnamed value). Only \\ and \" are escapes in a name.
bool ParseValueLine(std::string_view text, std::string& name, std::string_view& data) {
    text = TrimLeft(text);
    name.clear();
    std::size_t i = 0;
    if (text.empty())
        return false;
    if (text[0] == '@') {
        i = 1;
    } else if (text[0] == '"') {
        for (i = 1;; ++i) {
            if (i >= text.size())
                return false;
            const char c = text[i];
            if (c == '"') {
                ++i;
                break;
            }
            if (c == '\\') {
                if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"'))
                    return false;
                ++i;
            }
            name.push_back(text[i]);
        }
    } else {
        return false;
    }
    text = TrimLeft(text.substr(i));
    if (text.empty() || text[0] != '=')
        return false;
    data = TrimLeft(text.substr(1));
    return true;
}

bool ParseDword(std::string_view data, std::uint32_t& out) {
    data = TrimRight(data);
    constexpr std::string_view kType = "dword:";
    if (data.size() != kType.size() + 8 || !EqualNoCase(data.substr(0, kType.size()), kType))
        return false;
    std::uint32_t value = 0;
    for (char c : data.substr(kType.size())) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    out = value;
    return true;
}

// Where a value stands in the file, as an import would see it: sections of the same name
// merge and the last line naming a value decides its type and data.
struct Scan {
    bool valueFound = false;
    LogicalLine value;
    std::string_view data;  // after '=' on the value's first physical line
    bool sectionFound = false;
    std::size_t insertAt = 0;   // after the last non-blank line of our section
    bool insertHasEol = false;  // false when that line ends the file without a terminator
};

Scan ScanSettings(std::string_view content, std::string_view section, std::string_view valueName) {
    Scan scan;
    bool inSection = false;
    std::string name;
    std::size_t pos = 0;
    while (pos < content.size()) {
        LogicalLine line;
        line.begin = pos;
        std::string_view first;
        bool firstLine = true;
        bool continued = false;
        do {
            const std::size_t newline = content.find('\n', pos);
            const std::size_t stop = newline == std::string_view::npos ? content.size() : newline;
            std::string_view text = content.substr(pos, stop - pos);
            line.textEnd = !text.empty() && text.back() == '\r' ? stop - 1 : stop;
            line.end = newline == std::string_view::npos ? content.size() : newline + 1;
            pos = line.end;
            const std::string_view trimmed = TrimRight(text);
            if (firstLine) {
                first = text;
                const std::string_view lead = TrimLeft(trimmed);
                // Only value data wraps onto the next line, after a trailing backslash.
                continued =
                    !lead.empty() && (lead[0] == '"' || lead[0] == '@') && trimmed.back() == '\\';
                firstLine = false;
            } else {
                continued = !trimmed.empty() && trimmed.back() == '\\';
            }
        } while (continued && pos < content.size());

        const std::string_view lead = TrimLeft(TrimRight(first));
        if (!lead.empty() && lead.front() == '[' && lead.back() == ']' && lead.size() >= 2) {
            inSection = EqualNoCase(lead.substr(1, lead.size() - 2), section);
        }
        if (!inSection)
            continue;
        if (!lead.empty()) {
            scan.sectionFound = true;
            scan.insertAt = line.end;
            scan.insertHasEol = content[line.end - 1] == '\n';
        }
        std::string_view data;
        if (ParseValueLine(first, name, data) && EqualNoCase(name, valueName)) {
            scan.valueFound = true;
            scan.value = line;
            scan.data = data;
        }
    }
    return scan;
}

std::string FormatValueLine(const std::string& name, std::uint32_t value) {
    std::string line;
    if (name.empty()) {
        line = "@";
    } else {
        line.reserve(name.size() + 24);
        line.push_back('"');
        for (char c : name) {
            if (c == '"' || c == '\\')
                line.push_back('\\');
            line.push_back(c);
        }
        line.push_back('"');
    }
    char data[16];
    std::snprintf(data, sizeof data, "%08x", static_cast<unsigned>(value));
    return line + "=dword:" + data;
}

// True when the text ends in a line feed and its last line holds nothing but blanks.
bool EndsWithBlankLine(const std::string& text) {
    if (text.empty() || text.back() != '\n')
        return false;
    const std::size_t previous =
        text.size() < 2 ? std::string::npos : text.rfind('\n', text.size() - 2);
    const std::size_t start = previous == std::string::npos ? 0 : previous + 1;
    return TrimRight(std::string_view(text).substr(start, text.size() - 1 - start)).empty();
}

// The file with the value set: its line replaced in place, or added to its section, or a new
// section at the end. Every other byte stays as it was.
std::string WithValue(const std::string& content, const std::string& section,
                      const std::string& valueName, std::uint32_t value) {
    const std::string line = FormatValueLine(valueName, value);
    const std::size_t firstNewline = content.find('\n');
    // New lines follow the file's own line ends.
    const std::string eol =
        firstNewline != std::string::npos && firstNewline > 0 && content[firstNewline - 1] == '\r'
            ? "\r\n"
            : "\n";
    const Scan scan = ScanSettings(content, section, valueName);
    if (scan.valueFound) {
        return content.substr(0, scan.value.begin) + line + content.substr(scan.value.textEnd);
    }
    if (scan.sectionFound) {
        std::string out = content.substr(0, scan.insertAt);
        if (!scan.insertHasEol)
            out += eol;
        return out + line + eol + content.substr(scan.insertAt);
    }
    std::string out = content;
    if (out.empty())
        out = "REGEDIT4" + eol;
    if (out.back() != '\n')
        out += eol;
    if (!EndsWithBlankLine(out))
        out += eol;
    return out + "[" + section + "]" + eol + line + eol;
}

enum class ReadResult { Ok, Missing, Failed };

// A regular file of bounded size only: a folder, a pipe or a device in its place is a failure.
ReadResult ReadSettings(const std::string& path, std::string& content, struct stat& st) {
    Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.Get() < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_size) > kMaxFileSize)
        return ReadResult::Failed;
    content.clear();
    char buffer[16384];
    for (;;) {
        const ssize_t got = read(fd.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return ReadResult::Failed;
        if (got == 0)
            break;
        // The file may have grown since fstat.
        if (content.size() + static_cast<std::size_t>(got) > kMaxFileSize)
            return ReadResult::Failed;
        content.append(buffer, static_cast<std::size_t>(got));
    }
    return ReadResult::Ok;
}

void MakeFolders(const std::string& folder, mode_t mode) {
    for (std::size_t cut = folder.find('/', 1);; cut = folder.find('/', cut + 1)) {
        const std::string level = folder.substr(0, cut);
        struct stat st;
        // Existing levels may refuse mkdir with another error than EEXIST (read-only, denied).
        if (!level.empty() && mkdir(level.c_str(), mode) != 0 &&
            (stat(level.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
            throw Config::Err();
        if (cut == std::string::npos)
            break;
    }
}

// Written aside and put in place over the old file in one step: a reader sees the old file or
// the new one, and a crash leaves one of them whole.
void ReplaceFile(const std::string& path, const std::string& content, mode_t mode,
                 const struct stat* old) {
    PendingOutput out(path);
    out.Open();
    WriteFile& file = out.File();
    file.SetPermissions(mode);
    // An administrator editing someone else's file must not take it over.
    if (old && geteuid() == 0 && (old->st_uid != 0 || old->st_gid != 0))
        file.SetOwner(old->st_uid, old->st_gid);
    file.Write(content.data(), content.size());
    out.Commit();
}

}  // namespace

Config::Config(const std::string& name) {
    Trace t("Config::Config()");
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t stop = name.find_first_of("\\/", start);
        if (stop == std::string::npos)
            stop = name.size();
        const std::string level = name.substr(start, stop - start);
        start = stop + 1;
        if (level.empty())
            continue;
        // Levels become folders: none may climb out or hide a NUL.
        if (level == "." || level == ".." || level.find('\0') != std::string::npos) {
            m_folder.clear();
            m_key.clear();
            return;
        }
        if (!m_folder.empty()) {
            m_folder += '/';
            m_key += '\\';
        }
        m_folder += level;
        m_key += level;
    }
}

std::string Config::FilePath(int root) const {
    if (m_folder.empty())
        return std::string();
    std::string base;
    if (root == 0) {
        if (!FolderFromEnvironment("XDG_CONFIG_HOME", base)) {
            if (!HomeFolder(base))
                return std::string();
            base += "/.config";
        }
    } else if (root == 1) {
        const char* dirs = std::getenv("XDG_CONFIG_DIRS");
        const std::string first = dirs ? std::string(dirs, std::strcspn(dirs, ":")) : std::string();
        if (first.empty() || first[0] != '/') {
            base = "/etc/xdg";
        } else {
            base = first;
            while (!base.empty() && base.back() == '/')
                base.pop_back();
        }
    } else {
        return std::string();
    }
    return base + '/' + m_folder + '/' + kFileName;
}

std::string Config::Section(int root) const {
    return std::string(root == 0 ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE") + "\\Software\\" +
           m_key;
}

bool Config::GetInt(int root, const std::string& valueName, std::uint32_t& out) const {
    Trace t("Config::GetInt()");
    try {
        const std::string path = FilePath(root);
        if (path.empty())
            return false;
        std::string content;
        struct stat st;
        if (ReadSettings(path, content, st) != ReadResult::Ok)
            return false;
        const Scan scan = ScanSettings(content, Section(root), valueName);
        std::uint32_t value;
        if (!scan.valueFound || !ParseDword(scan.data, value))
            return false;
        out = value;
        return true;
    } catch (...) {
        return false;
    }
}

void Config::SetInt(int root, const std::string& valueName, std::uint32_t value) const {
    Trace t("Config::SetInt()");
    const std::string path = FilePath(root);
    // A line break or NUL in a name cannot be written as one line.
    if (path.empty() || valueName.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        throw Err();
    try {
        std::lock_guard<std::mutex> lock(WriteMutex());
        std::string content;
        struct stat st;
        const ReadResult read = ReadSettings(path, content, st);
        if (read == ReadResult::Failed)
            throw Err();
        const std::string updated = WithValue(content, Section(root), valueName, value);
        const std::string folder = path.substr(0, path.rfind('/'));
        // The user's settings stay private; the machine-wide ones must be readable by all.
        MakeFolders(folder, root == 0 ? 0700 : 0755);
        const mode_t mode =
            read == ReadResult::Ok ? (st.st_mode & 07777) : (root == 0 ? 0600 : 0644);
        ReplaceFile(path, updated, mode, read == ReadResult::Ok ? &st : nullptr);
    } catch (const Err&) {
        throw;
    } catch (const std::exception&) {
        throw Err();
    }
}

}  // namespace OS
