// The file list of the source and selection pages without a display: rows of name and folder,
// adding files and folders with everything in them, the shortcut question, removal of the
// selected rows. A front end renders Rows() and reports selections through `selected`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/core/Strings.h"

namespace App {

class Background;
class RunQuestions;

class FileListCtrl {
  public:
    struct Row {
        std::string name;  // "File" column
        std::string path;  // "Path" column: the folder with its trailing separator, or empty
        bool isFolder = false;
        std::size_t itemValue = 0;
        bool selected = false;
    };

    enum class ShortcutPolicy { Ask, AlwaysReplace, NeverReplace };

    static constexpr const char* kShortcutText = Text(StringId::FileListCtrlShortcut);
    static constexpr const char* kShortcutTitle = Text(StringId::FileListCtrlShortcutTitle);

    // `questions` (the shortcut question; asked from the background when adding there) outlives
    // the list.
    explicit FileListCtrl(RunQuestions& questions) : m_questions(questions) {}

    // A file, or a folder with everything in it; repeats of existing rows are dropped.
    void Add(const std::string& path);
    // The same for several paths at once (dropped files). With `background` the folders are
    // gone through there and the rows arrive later, on the user-interface thread, before
    // `added` runs; the list is not to be touched until then.
    void AddMany(const std::vector<std::string>& paths, Background* background = nullptr,
                 std::function<void()> added = nullptr);
    // Prepared names, a leading "*" marking a folder; the item value is the row's position.
    void Fill(const std::vector<std::string>& names);

    // Removes the selected rows, from the last upward.
    void RemoveSelected();
    void SelectAll();
    // Exactly these rows selected; numbers past the end are ignored.
    void SelectOnly(const std::vector<std::size_t>& rows);
    void Clear();

    const std::vector<Row>& Rows() const { return m_rows; }
    std::vector<Row>& Rows() { return m_rows; }
    std::size_t Count() const { return m_rows.size(); }
    // Moves with every row added or removed: a view rebuilds only when it moved.
    std::uint64_t Generation() const { return m_generation; }
    // Path column + File column of a row.
    std::string FullName(std::size_t index) const;
    void DeleteRow(std::size_t index);

    // Set by every insertion and deletion; cleared by whoever hands the list on.
    bool changed = true;
    ShortcutPolicy shortcutPolicy = ShortcutPolicy::Ask;

  private:
    void Collect(const std::string& path, std::vector<std::string>& out);
    void Append(std::vector<std::string> collected);

    RunQuestions& m_questions;
    std::vector<Row> m_rows;
    std::uint64_t m_generation = 0;
    // Canonical paths of the folders being expanded (loop guard).
    std::set<std::string> m_expanding;
};

}  // namespace App
