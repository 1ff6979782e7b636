#include "app/core/KeyFileDlg.h"

#include <sys/stat.h>

#include <cstdlib>

#include "app/core/Strings.h"
#include "app/core/Texts.h"

namespace App {

namespace {

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;
using Answer = MessageBoxes::Answer;

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

}  // namespace

KeyFileDlg::KeyFileDlg(MessageBoxes& boxes, FileChoosers* choosers, std::string administratorName,
                       bool createFile, const std::string& folder)
    : administrator(std::move(administratorName)),
      create(createFile),
      instruction(Format(kInstruction, administrator.c_str())),
      m_boxes(boxes),
      m_choosers(choosers) {
    path = folder;
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += administrator + "." + kExtension;
}

void KeyFileDlg::Browse() {
    if (!m_choosers)
        return;
    const auto chosen = create ? m_choosers->ChooseSaveFile(kTitle, path, kFilter, kExtension)
                               : m_choosers->ChooseOpenFile(kTitle, path, kFilter, kExtension);
    if (chosen)
        path = *chosen;
}

bool KeyFileDlg::PressOk() {
    if (path.empty())
        return false;
    const bool exists = Exists(path);
    if (exists && create)
        return m_boxes.Show(kOverwriteText, kOverwriteCaption, Icon::Warning, Buttons::YesNo,
                            Answer::No) == Answer::Yes;
    if (!exists && !create) {
        m_boxes.Show(kNotFoundText, kNotFoundCaption, Icon::Warning, Buttons::Ok, Answer::Ok);
        return false;
    }
    return true;
}

std::vector<std::string> KeyFileDlg::Texts() const {
    return {instruction, "Key file:", path, Text(StringId::BrowseButton)};
}

std::string KeyFileFolder() {
    // The environment only: the decrypt-only program has no account database to ask.
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return home;
    return ".";
}

}  // namespace App
