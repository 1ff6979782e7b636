#include "app/console/ConsoleQuestions.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/console/ConsoleText.h"
#include "app/core/KeyFileDlg.h"
#include "app/core/Texts.h"

namespace App {

namespace {

struct Choice {
    const char* key;
    const char* label;
    MessageBoxes::Answer answer;
};

std::vector<Choice> ChoicesOf(MessageBoxes::Buttons buttons) {
    using A = MessageBoxes::Answer;
    using B = MessageBoxes::Buttons;
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

}  // namespace

std::optional<std::string> ConsoleQuestions::Choose(const std::string& prompt,
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

MessageBoxes::Answer ConsoleQuestions::Show(const std::string& text, const std::string& caption,
                                            Icon icon, Buttons buttons, Answer defaultButton) {
    const auto hold = Hold();
    // A window's caption and icon say nothing a terminal needs: the text stands alone.
    (void)caption;
    (void)icon;
    m_out << "\n" << EscapeText(text) << "\n";
    const auto choices = ChoicesOf(buttons);
    if (m_preset && buttons == Buttons::YesNo) {
        const Answer preset = *m_preset;
        m_preset.reset();
        m_out << (preset == Answer::Yes ? "(Yes: interrupted)\n" : "(No)\n");
        return preset;
    }
    if (choices.size() == 1)
        return choices[0].answer;
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
    const Answer safe = MessageBoxes::SafeAnswer(buttons);
    for (const auto& c : choices)
        if (c.answer == safe)
            m_out << "(no answer possible: " << c.label << ")\n";
    return safe;
}

RunQuestions::Replace ConsoleQuestions::ConfirmReplace(const std::string& text,
                                                       const std::string& path40) {
    const auto hold = Hold();
    m_out << "\n" << EscapeText(text) << "\n" << EscapeControls(path40) << "\n";
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

std::optional<std::string> ConsoleQuestions::AskKeyFile(const std::string& administrator,
                                                        bool create) {
    const auto hold = Hold();
    KeyFileDlg dlg(*this, Choosers(), administrator, create, KeyFileFolder());
    m_out << "\n" << KeyFileDlg::kTitle << "\n" << EscapeText(dlg.instruction) << "\n";
    if (!CanAsk()) {
        m_out << "(Cancel)\n";
        return std::nullopt;
    }
    for (;;) {
        const auto typed = m_in.Path("Key file [" + EscapeControls(dlg.path) +
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

std::optional<Secret> ConsoleQuestions::AskAdministratorPassword(const std::string& stillNeeded) {
    const auto hold = Hold();
    m_out << "\n"
          << kAdminPasswordCaption << ": "
          << (stillNeeded.empty() ? "one more administrator's password is needed." : stillNeeded)
          << "\n";
    if (!CanAsk()) {
        m_out << "(Cancel)\n";
        return std::nullopt;
    }
    auto pw = m_in.Secret("Administrator password (empty line cancels): ");
    if (!pw || pw->empty())
        return std::nullopt;
    return pw;
}

std::unique_lock<std::recursive_mutex> ConsoleQuestions::Hold() {
    std::unique_lock<std::recursive_mutex> lock(m_terminal);
    m_questions.fetch_add(1);
    return lock;
}

bool ConsoleQuestions::DisplayTurn(const std::function<void(bool scrolled)>& draw, int pollMs,
                                   std::optional<std::string>& line, int wakeFd) {
    std::unique_lock<std::recursive_mutex> hold(m_terminal, std::try_to_lock);
    if (!hold) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return false;
    }
    const std::uint64_t asked = m_questions.load();
    draw(asked != m_questionsDrawn);
    m_questionsDrawn = asked;
    line = m_in.Poll(pollMs, wakeFd);
    return true;
}

}  // namespace App
