#include "app/text/TerminalDialogs.h"
#include "app/core/Options.h"
#include "app/core/PasswordStrength.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <thread>

#include <cryptopp/misc.h>

#include "app/console/ConsoleText.h"
#include "app/core/Secrets.h"
#include "app/core/Strings.h"
#include "app/core/Texts.h"
#include "app/prefs/AdminDialogs.h"
#include "app/wizard/CommandLine.h"

namespace Text {

using App::Trim;

std::vector<std::string> TerminalDialogs::ChooseFiles(const std::string& title) {
    const auto hold = Hold();
    m_out << "\n" << title << ": one path a line, an empty line ends.\n";
    std::vector<std::string> files;
    for (;;) {
        const auto path = m_in.Path("File: ");
        if (!path || Trim(*path).empty())
            break;
        files.push_back(std::filesystem::absolute(Trim(*path)).lexically_normal().string());
    }
    return files;
}

std::optional<std::string> TerminalDialogs::ChooseFolder(const std::string& title,
                                                         const std::string& start) {
    const auto hold = Hold();
    m_out << "\n" << title << "\n";
    if (!start.empty())
        m_out << "(starting at " << App::EscapeControls(start) << ")\n";
    const auto path = m_in.Path("Folder (empty line cancels): ");
    if (!path || Trim(*path).empty())
        return std::nullopt;
    return std::filesystem::absolute(Trim(*path)).lexically_normal().string();
}

std::optional<std::string> TerminalDialogs::AskPath(const std::string& title,
                                                    const std::string& initial,
                                                    const std::string& defaultExtension) {
    const auto hold = Hold();
    m_out << "\n" << title << "\n";
    if (!initial.empty())
        m_out << "(now " << App::EscapeControls(initial) << ")\n";
    const auto path = m_in.Path("File (empty line cancels): ");
    if (!path || Trim(*path).empty())
        return std::nullopt;
    std::string name = Trim(*path);
    // A bare name gets the default extension, as a file dialog adds it.
    if (!defaultExtension.empty() &&
        std::filesystem::path(name).filename().string().find('.') == std::string::npos)
        name += "." + defaultExtension;
    return std::filesystem::absolute(name).lexically_normal().string();
}

std::optional<std::string> TerminalDialogs::ChooseSaveFile(const std::string& title,
                                                           const std::string& initial,
                                                           const std::string& /*filter*/,
                                                           const std::string& defaultExtension) {
    return AskPath(title, initial, defaultExtension);
}

std::optional<std::string> TerminalDialogs::ChooseOpenFile(const std::string& title,
                                                           const std::string& initial,
                                                           const std::string& /*filter*/,
                                                           const std::string& defaultExtension) {
    return AskPath(title, initial, defaultExtension);
}

bool TerminalDialogs::EditSourceOptions(SourceOptions& options) {
    const auto hold = Hold();
    // In the engine's order: 0 common folder, 1 names only, 2 full paths.
    const char* const* kPaths = kSourceOptionsTexts + 2;
    static const char* const kDeletion[] = {
        App::Text(App::StringId::DeletionKeep), App::Text(App::StringId::DeletionRecycle),
        App::Text(App::StringId::DeletionDelete), App::Text(App::StringId::DeletionOverwrite),
        App::Text(App::StringId::DeletionEradicate)};
    SourceOptions edited = options;
    for (;;) {
        m_out << "\n"
              << kSourceOptionsTitle << "\n"
              << "  [p] Path option: " << edited.pathOption << " ("
              << kPaths[std::clamp(edited.pathOption, 0, 2)] << ")\n"
              << "  [d] After encryption: " << kDeletion[std::clamp(edited.deletionIndex, 0, 4)]
              << "\n"
              << "  [f] Confirm before removing the inputs: " << (edited.confirm ? "yes" : "no")
              << "\n";
        const auto key =
            Choose("[p] [d] [f] change, [o] OK, [c] Cancel > ", {"p", "d", "f", "o", "c"});
        if (!key || *key == "c")
            return false;
        if (*key == "o") {
            options = edited;
            return true;
        }
        if (*key == "p") {
            for (int i = 0; i < 3; ++i)
                m_out << "  " << i << " " << kPaths[i] << "\n";
            if (const auto v = Choose("Path option > ", {"0", "1", "2"}))
                edited.pathOption = std::stoi(*v);
        } else if (*key == "d") {
            for (int i = 0; i < 5; ++i)
                m_out << "  " << i << " " << kDeletion[i] << "\n";
            if (const auto v = Choose("Deletion > ", {"0", "1", "2", "3", "4"}))
                edited.deletionIndex = std::stoi(*v);
        } else {
            edited.confirm = !edited.confirm;
        }
    }
}

App::MessageBoxes::Answer TerminalDialogs::Show(const std::string& text, const std::string& caption,
                                                Icon icon, Buttons buttons, Answer defaultButton) {
    // The window's usage box names the window's program; the session says it the terminal's way.
    if (text == App::kUsageText)
        return Answer::Ok;
    // A failure that asks nothing is said where scripts look for failures.
    if (icon != Icon::Error || buttons != Buttons::Ok || &m_err == &m_out)
        return ConsoleQuestions::Show(text, caption, icon, buttons, defaultButton);
    const auto hold = Hold();
    m_out << std::flush;
    m_err << "cryvan: " << caption << ": " << App::EscapeText(text) << "\n" << std::flush;
    return Answer::Ok;
}

bool TerminalDialogs::ShowPreferences() {
    if (!m_preferences) {
        m_out << "The preferences are not available here.\n";
        return false;
    }
    return m_preferences();
}

std::optional<App::PreferencesDialogs::NewAdministrator> TerminalDialogs::AskNewAdministrator() {
    const auto hold = Hold();
    App::NewAdminDlg dlg(*this);
    m_out << "\n" << App::NewAdminDlg::kTitle << "\n";
    if (!CanAsk()) {
        m_out << "(Cancel)\n";
        return std::nullopt;
    }
    const auto name = m_in.Line("Administrator name (empty line cancels): ");
    if (!name || Trim(*name).empty())
        return std::nullopt;
    dlg.SetName(Trim(*name));
    for (;;) {
        m_out << "Enter the data recovery password to be used by this administrator.\n";
        auto password = m_in.Secret(
            "Enter password (at least 6 characters; 'g' generates one; "
            "empty line cancels): ");
        if (!password || password->empty())
            return std::nullopt;
        if (*password == "g" || *password == "G") {
            dlg.GeneratePassword();
            m_out << "Generated password (shown once, write it down): " << dlg.Password().View()
                  << "\n";
        } else {
            dlg.SetPassword(password->View());
            password->Clear();
            if (!dlg.ConfirmationEnabled()) {
                m_out << "At least 6 characters, please.\n";
                continue;
            }
            for (const std::string& line : App::StrengthLines(dlg.Password()))
                m_out << App::HangingIndent("  ", line, 2);
            auto confirmation = m_in.Secret("Confirm password: ");
            if (!confirmation)
                return std::nullopt;
            dlg.SetConfirmation(confirmation->View());
        }
        if (dlg.PressOk())
            break;
    }
    m_out << "Please select whether this administrator uses a key file as well as a password:\n";
    const auto key =
        Choose("[p] Password only  [k] Password and key file (chosen) > ", {"p", "k", ""});
    if (!key)
        return std::nullopt;
    dlg.SetKeyFile(*key != "p");
    return dlg.Result();
}

std::optional<App::Secret> TerminalDialogs::AskOrganisationPassword(std::size_t minLength) {
    const auto hold = Hold();
    App::OrgPasswordDlg dlg(minLength);
    m_out << "\n";
    for (const auto& line : dlg.Texts())
        m_out << line << "\n";
    if (!CanAsk()) {
        m_out << "(Cancel)\n";
        return std::nullopt;
    }
    for (;;) {
        auto password = m_in.Secret("Organisation password (empty line cancels): ");
        if (!password || password->empty())
            return std::nullopt;
        dlg.SetPassword(password->View());
        password->Clear();
        if (dlg.OkEnabled())
            return dlg.Password();
        m_out << "At least " << minLength << " characters, please.\n";
    }
}

}  // namespace Text
