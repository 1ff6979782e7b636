#include "app/wizard/FileListCtrl.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/core/Background.h"
#include "app/core/Questions.h"
#include "app/core/Texts.h"
#include "os/Logger.h"
#include "os/Shortcut.h"

namespace App {

namespace fs = std::filesystem;

namespace {

// Without trailing separators, so that the last separator splits folder and name.
std::string Trimmed(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Removes the marker from the set of folders being expanded when the expansion ends.
class ExpansionScope {
  public:
    ExpansionScope(std::set<std::string>& set, std::string key)
        : m_set(set), m_key(std::move(key)) {}
    ~ExpansionScope() { m_set.erase(m_key); }
    ExpansionScope(const ExpansionScope&) = delete;
    ExpansionScope& operator=(const ExpansionScope&) = delete;

  private:
    std::set<std::string>& m_set;
    std::string m_key;
};

}  // namespace

void FileListCtrl::Add(const std::string& path) {
    OS::Trace t("FileListCtrl::Add()");
    AddMany({path});
}

void FileListCtrl::AddMany(const std::vector<std::string>& paths, Background* background,
                           std::function<void()> added) {
    OS::Trace t("FileListCtrl::AddMany()");
    // Relative paths are made absolute here: the current folder belongs to this thread's caller.
    std::vector<std::string> given;
    for (const std::string& path : paths) {
        if (path.empty())
            continue;
        std::error_code ec;
        std::string full = path;
        if (full.front() != '/') {
            const fs::path absolute = fs::absolute(full, ec);
            if (!ec)
                full = absolute.string();
        }
        given.push_back(Trimmed(full));
    }
    auto collected = std::make_shared<std::vector<std::string>>();
    auto work = [this, given, collected] {
        for (const std::string& path : given)
            Collect(path, *collected);
    };
    auto then = [this, collected, added] {
        Append(std::move(*collected));
        if (added)
            added();
    };
    if (background) {
        background->Start(work, then);
    } else {
        work();
        then();
    }
}

void FileListCtrl::Collect(const std::string& given, std::vector<std::string>& out) {
    std::string path = given;
    std::error_code ec;

    // A link to something that exists is a shortcut; a dangling one is a plain file.
    std::string target;
    switch (OS::ResolveShortcut(path, target)) {
        case OS::Shortcut::None:
            break;
        case OS::Shortcut::Broken:
            out.push_back(path);
            return;
        case OS::Shortcut::Resolved: {
            bool useTarget = false;
            switch (shortcutPolicy) {
                case ShortcutPolicy::AlwaysReplace:
                    useTarget = true;
                    break;
                case ShortcutPolicy::NeverReplace:
                    break;
                case ShortcutPolicy::Ask:
                    switch (m_questions.ConfirmReplace(kShortcutText, CompactPath(path, 40))) {
                        case RunQuestions::Replace::YesToAll:
                            shortcutPolicy = ShortcutPolicy::AlwaysReplace;
                            useTarget = true;
                            break;
                        case RunQuestions::Replace::Yes:
                            useTarget = true;
                            break;
                        case RunQuestions::Replace::NoToAll:
                            shortcutPolicy = ShortcutPolicy::NeverReplace;
                            break;
                        case RunQuestions::Replace::No:
                            break;
                        case RunQuestions::Replace::Cancel:
                            return;
                    }
                    break;
            }
            if (!useTarget) {
                out.push_back(path);
                return;
            }
            path = Trimmed(target);
            break;
        }
    }

    const fs::file_status status = fs::status(path, ec);
    if (!ec && fs::is_directory(status)) {
        out.push_back("*" + path);
    } else if (ec || fs::is_regular_file(status) || status.type() == fs::file_type::not_found) {
        out.push_back(path);
        return;
    } else {
        return;  // devices, fifos and sockets hold no file to store
    }

    std::error_code canonicalError;
    const fs::path key = fs::canonical(path, canonicalError);
    const std::string guard = canonicalError ? path : key.string();
    if (!m_expanding.insert(guard).second)
        return;
    ExpansionScope scope(m_expanding, guard);

    // Hidden entries are kept: leaving them out would encrypt (and maybe destroy) a folder only
    // in part without telling the user.
    std::vector<std::string> names;
    fs::directory_iterator it(path, ec), end;
    for (; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    const std::string folder = path == "/" ? path : path + "/";
    for (const std::string& name : names) {
        if (name == "." || name == "..")
            continue;
        Collect(folder + name, out);
    }
}

void FileListCtrl::Append(std::vector<std::string> collected) {
    // Names compare exactly: on Linux "a.txt" and "A.TXT" are two files, and dropping one
    // would leave it unencrypted while the inputs may be destroyed afterwards.
    std::set<std::string> seen;
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        seen.insert(FullName(i));
    for (std::string& entry : collected) {
        const bool folder = !entry.empty() && entry.front() == '*';
        if (folder)
            entry.erase(0, 1);
        if (!seen.insert(entry).second)
            continue;
        Row row;
        const std::size_t slash = entry.rfind('/');
        row.name = slash == std::string::npos ? entry : entry.substr(slash + 1);
        row.path = slash == std::string::npos ? std::string() : entry.substr(0, slash + 1);
        row.isFolder = folder;
        row.itemValue = m_rows.size();
        m_rows.push_back(std::move(row));
        ++m_generation;
        changed = true;
    }
}

void FileListCtrl::Fill(const std::vector<std::string>& names) {
    OS::Trace t("FileListCtrl::Fill()");
    for (const std::string& stored : names) {
        Row row;
        std::string name = stored;
        row.isFolder = !name.empty() && name.front() == '*';
        if (row.isFolder)
            name.erase(0, 1);
        const std::size_t slash = name.rfind('\\');
        row.name = slash == std::string::npos ? name : name.substr(slash + 1);
        row.path = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
        row.itemValue = m_rows.size();
        m_rows.push_back(std::move(row));
        ++m_generation;
        changed = true;
    }
}

void FileListCtrl::RemoveSelected() {
    for (std::size_t i = m_rows.size(); i-- > 0;) {
        if (m_rows[i].selected)
            DeleteRow(i);
    }
}

void FileListCtrl::SelectAll() {
    for (Row& row : m_rows)
        row.selected = true;
}

void FileListCtrl::SelectOnly(const std::vector<std::size_t>& rows) {
    for (Row& row : m_rows)
        row.selected = false;
    for (std::size_t r : rows)
        if (r < m_rows.size())
            m_rows[r].selected = true;
}

void FileListCtrl::Clear() {
    if (!m_rows.empty())
        changed = true;
    m_rows.clear();
    ++m_generation;
}

std::string FileListCtrl::FullName(std::size_t index) const {
    return m_rows.at(index).path + m_rows.at(index).name;
}

void FileListCtrl::DeleteRow(std::size_t index) {
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(index));
    ++m_generation;
    changed = true;
}

}  // namespace App
