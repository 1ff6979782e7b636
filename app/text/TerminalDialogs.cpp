#include "app/text/TerminalDialogs.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <thread>

#include <cryptopp/misc.h>

#include "app/AdminDialogs.h"
#include "app/Secrets.h"
#include "app/Texts.h"
#include "app/text/TerminalText.h"

namespace Text {

namespace {

const char* IconText(App::MessageBoxes::Icon icon) {
    switch (icon) {
        case App::MessageBoxes::Icon::Error:
            return "error";
        case App::MessageBoxes::Icon::Warning:
            return "warning";
        case App::MessageBoxes::Icon::Information:
            return "information";
        case App::MessageBoxes::Icon::Question:
            return "question";
    }
    return "";
}

struct Choice {
    const char* key;
    const char* label;
    App::MessageBoxes::Answer answer;
};

std::vector<Choice> ChoicesOf(App::MessageBoxes::Buttons buttons) {
    using A = App::MessageBoxes::Answer;
    using B = App::MessageBoxes::Buttons;
    switch (buttons) {
        case B::Ok:
            return {{"o", "OK", A::Ok}};
        case B::OkCancel:
            return {{"o", "OK", A::Ok}, {"c", "Cancel", A::Cancel}};
        case B::RetryCancel:
            return {{"r", "Retry", A::Retry}, {"c", "Cancel", A::Cancel}};
        case B::YesNo:
            return {{"y", "Yes", A::Yes}, {"n", "No", A::No}};
        case B::YesNoCancel:
            return {{"y", "Yes", A::Yes}, {"n", "No", A::No}, {"c", "Cancel", A::Cancel}};
    }
    return {};
}

// Closing a box without a button: Cancel, or No where there is no Cancel.
App::MessageBoxes::Answer SafeAnswer(App::MessageBoxes::Buttons buttons) {
    using A = App::MessageBoxes::Answer;
    using B = App::MessageBoxes::Buttons;
    switch (buttons) {
        case B::Ok:
            return A::Ok;
        case B::YesNo:
            return A::No;
        default:
            return A::Cancel;
    }
}

}  // namespace

std::optional<std::string> TerminalDialogs::Choose(const std::string& prompt,
                                                   const std::vector<std::string>& keys) {
    const auto hold = Hold();
    for (;;) {
        const auto line = m_in.Line(prompt);
        if (!line)
            return std::nullopt;
        const std::string answer = Lower(Trim(*line));
        if (std::find(keys.begin(), keys.end(), answer) != keys.end())
            return answer;
        m_out << "Please answer one of:";
        for (const auto& k : keys)
            m_out << " " << k;
        m_out << "\n";
    }
}

App::MessageBoxes::Answer TerminalDialogs::Show(const std::string& text, const std::string& caption,
                                                Icon icon, Buttons buttons, Answer defaultButton) {
    const auto hold = Hold();
    m_out << "\n[" << caption << "] (" << IconText(icon) << ")\n" << App::EscapeText(text) << "\n";
    const auto choices = ChoicesOf(buttons);
    if (m_preset && buttons == Buttons::YesNo) {
        const Answer preset = *m_preset;
        m_preset.reset();
        m_out << (preset == Answer::Yes ? "(Yes: interrupted)\n" : "(No)\n");
        return preset;
    }
    if (choices.size() == 1) {
        m_out << "(" << choices[0].label << ")\n";
        return choices[0].answer;
    }
    std::string prompt;
    std::vector<std::string> keys;
    for (const auto& c : choices) {
        prompt += std::string("[") + c.key + "] " + c.label +
                  (c.answer == defaultButton ? " (default)" : "") + "  ";
        keys.push_back(c.key);
    }
    keys.push_back("");
    if (CanAsk()) {
        if (const auto key = Choose(prompt + "> ", keys)) {
            if (key->empty())
                return defaultButton;
            for (const auto& c : choices)
                if (*key == c.key)
                    return c.answer;
        }
    }
    const Answer safe = SafeAnswer(buttons);
    for (const auto& c : choices)
        if (c.answer == safe)
            m_out << "(no answer possible: " << c.label << ")\n";
    return safe;
}

App::Dialogs::Replace TerminalDialogs::ConfirmReplace(const std::string& text,
                                                      const std::string& path40) {
    const auto hold = Hold();
    m_out << "\n[" << kReplaceCaption << "]\n"
          << App::EscapeText(text) << "\n"
          << App::EscapeControls(path40) << "\n";
    if (CanAsk()) {
        const auto key = Choose("[y] Yes  [a] Yes to All  [n] No  [o] No to All  [c] Cancel > ",
                                {"y", "a", "n", "o", "c"});
        if (key == "y")
            return Replace::Yes;
        if (key == "a")
            return Replace::YesToAll;
        if (key == "n")
            return Replace::No;
        if (key == "o")
            return Replace::NoToAll;
    }
    m_out << "(Cancel)\n";
    return Replace::Cancel;
}

std::optional<std::string> TerminalDialogs::AskKeyFile(const std::string& administrator,
                                                       bool create) {
    const auto hold = Hold();
    App::KeyFileDlg dlg(*this, administrator, create, App::KeyFileFolder());
    m_out << "\n" << App::KeyFileDlg::kTitle << "\n" << App::EscapeText(dlg.instruction) << "\n";
    if (!CanAsk()) {
        m_out << "(Cancel)\n";
        return std::nullopt;
    }
    for (;;) {
        const auto typed = m_in.Path("Key file [" + App::EscapeControls(dlg.path) +
                                     "] (a path, Enter keeps it, '-' cancels): ");
        if (!typed || Trim(*typed) == "-")
            return std::nullopt;
        if (!Trim(*typed).empty())
            dlg.SetPath(std::filesystem::absolute(Trim(*typed)).lexically_normal().string());
        if (dlg.PressOk())
            return dlg.path;
        if (!CanAsk())
            return std::nullopt;
    }
}

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
    static const char* const kPaths[] = {"Choose path automatically", "Filenames only (no path)",
                                         "Full paths (excluding drive)"};
    static const char* const kDeletion[] = {"Keep", "Recycle", "Delete", "Overwrite", "Eradicate"};
    SourceOptions edited = options;
    for (;;) {
        m_out << "\nSource File Options\n"
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

std::optional<App::Secret> TerminalDialogs::AskAdministratorPassword() {
    const auto hold = Hold();
    m_out << "\nCryvan Message Recovery: one more administrator's password is needed.\n";
    if (!CanAsk()) {
        m_out << "(Cancel)\n";
        return std::nullopt;
    }
    auto pw = m_in.Secret("Administrator password (empty line cancels): ");
    if (!pw || pw->empty())
        return std::nullopt;
    return pw;
}

std::unique_lock<std::recursive_mutex> TerminalDialogs::Hold() {
    std::unique_lock<std::recursive_mutex> lock(m_terminal);
    m_questions.fetch_add(1);
    return lock;
}

bool TerminalDialogs::DisplayTurn(const std::function<void(bool scrolled)>& draw, int pollMs,
                                  std::optional<std::string>& line) {
    std::unique_lock<std::recursive_mutex> hold(m_terminal, std::try_to_lock);
    if (!hold) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return false;
    }
    const std::uint64_t asked = m_questions.load();
    draw(asked != m_questionsDrawn);
    m_questionsDrawn = asked;
    line = m_in.Poll(pollMs);
    return true;
}

bool TerminalDialogs::ShowPreferences() {
    if (!m_preferences) {
        m_out << "The preferences are not available here.\n";
        return false;
    }
    return m_preferences();
}

std::optional<App::Dialogs::NewAdministrator> TerminalDialogs::AskNewAdministrator() {
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
