// Dialogs that answer from queues and record every question as one readable line, for tests.
// An empty queue gives the safe answer: Cancel (or No, or Ok where that is the only button) for
// a box, Cancel for a replace question, nullopt for a key file. Safe to call from a worker.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/prefs/PreferencesDialogs.h"
#include "app/wizard/WizardDialogs.h"

namespace cryvan_test {

class ScriptedDialogs : public App::WizardDialogs, public App::PreferencesDialogs {
  public:
    std::deque<Answer> answers;
    std::deque<Replace> replaceAnswers;
    std::deque<std::optional<std::string>> keyFileAnswers;
    std::deque<std::vector<std::string>> fileChoices;
    std::deque<std::optional<std::string>> folderChoices;
    std::deque<std::optional<std::string>> saveChoices;
    bool saveAsks = false;  // the save chooser asks before replacing, as a window does
    std::deque<std::optional<std::string>> openChoices;
    std::deque<std::optional<SourceOptions>> sourceOptionAnswers;  // nullopt: Cancel
    std::deque<std::optional<std::string>> administratorPasswords;
    // What each administrator-password dialog said was still needed.
    std::vector<std::string> administratorNeeds;
    std::deque<bool> preferencesAnswers;
    std::deque<std::optional<NewAdministrator>> newAdministrators;
    std::deque<std::optional<std::string>> organisationPasswords;
    // Runs while a question is up (with its line), as a user would act before answering.
    std::function<void(const std::string&)> onShow;

    // "box <caption>: <text> [<icon> <buttons> default <answer>]",
    // "replace <caption>: <text> [<path>]", "keyfile <administrator>[ create]".
    std::vector<std::string> Shown() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_shown;
    }

    Answer Show(const std::string& text, const std::string& caption, Icon icon, Buttons buttons,
                Answer defaultButton) override {
        Record("box " + caption + ": " + text + " [" + Name(icon) + " " + Name(buttons) +
               " default " + Name(defaultButton) + "]");
        std::lock_guard<std::mutex> lock(m_mutex);
        return Pop(answers, SafeAnswer(buttons));
    }
    Replace ConfirmReplace(const std::string& text, const std::string& path40) override {
        Record(std::string("replace ") + kReplaceCaption + ": " + text + " [" + path40 + "]");
        std::lock_guard<std::mutex> lock(m_mutex);
        return Pop(replaceAnswers, Replace::Cancel);
    }
    std::optional<std::string> AskKeyFile(const std::string& administrator, bool create) override {
        Record("keyfile " + administrator + (create ? " create" : ""));
        std::lock_guard<std::mutex> lock(m_mutex);
        return Pop(keyFileAnswers, std::optional<std::string>());
    }

    std::vector<std::string> ChooseFiles(const std::string& title) override {
        Record("choose files " + title);
        std::lock_guard<std::mutex> lock(m_mutex);
        return Pop(fileChoices, std::vector<std::string>());
    }
    std::optional<std::string> ChooseFolder(const std::string& title,
                                            const std::string& start) override {
        Record("choose folder " + title + " [" + start + "]");
        std::lock_guard<std::mutex> lock(m_mutex);
        return Pop(folderChoices, std::optional<std::string>());
    }
    std::optional<std::string> ChooseSaveFile(const std::string& title, const std::string& initial,
                                              const std::string& filter,
                                              const std::string& extension) override {
        Record("save " + title + " [" + initial + "] " + filter + " ." + extension);
        std::lock_guard<std::mutex> lock(m_mutex);
        return Pop(saveChoices, std::optional<std::string>());
    }
    bool SaveAsksBeforeReplacing() const override { return saveAsks; }
    std::optional<std::string> ChooseOpenFile(const std::string& title, const std::string& initial,
                                              const std::string& filter,
                                              const std::string& extension) override {
        Record("open " + title + " [" + initial + "] " + filter + " ." + extension);
        std::lock_guard<std::mutex> lock(m_mutex);
        return Pop(openChoices, std::optional<std::string>());
    }
    bool EditSourceOptions(SourceOptions& options) override {
        Record("source options");
        std::lock_guard<std::mutex> lock(m_mutex);
        const std::optional<SourceOptions> answer =
            Pop(sourceOptionAnswers, std::optional<SourceOptions>());
        if (!answer)
            return false;
        options = *answer;
        return true;
    }
    std::optional<App::Secret> AskAdministratorPassword(const std::string& stillNeeded) override {
        Record("administrator password");
        std::lock_guard<std::mutex> lock(m_mutex);
        administratorNeeds.push_back(stillNeeded);
        return AsSecret(Pop(administratorPasswords, std::optional<std::string>()));
    }
    bool ShowPreferences() override {
        Record("preferences");
        std::lock_guard<std::mutex> lock(m_mutex);
        return Pop(preferencesAnswers, false);
    }

    std::optional<NewAdministrator> AskNewAdministrator() override {
        Record("new administrator");
        std::lock_guard<std::mutex> lock(m_mutex);
        return Pop(newAdministrators, std::optional<NewAdministrator>());
    }
    std::optional<App::Secret> AskOrganisationPassword(std::size_t minLength) override {
        Record("organisation password min " + std::to_string(minLength));
        std::lock_guard<std::mutex> lock(m_mutex);
        return AsSecret(Pop(organisationPasswords, std::optional<std::string>()));
    }

    static std::string Name(Icon i) {
        switch (i) {
            case Icon::Error:
                return "Error";
            case Icon::Warning:
                return "Warning";
            case Icon::Information:
                return "Information";
            case Icon::Question:
                return "Question";
        }
        return "?";
    }
    static std::string Name(Buttons b) {
        switch (b) {
            case Buttons::Ok:
                return "Ok";
            case Buttons::OkCancel:
                return "OkCancel";
            case Buttons::RetryCancel:
                return "RetryCancel";
            case Buttons::YesNo:
                return "YesNo";
            case Buttons::YesNoCancel:
                return "YesNoCancel";
        }
        return "?";
    }
    static std::string Name(Answer a) {
        switch (a) {
            case Answer::Ok:
                return "Ok";
            case Answer::Cancel:
                return "Cancel";
            case Answer::Retry:
                return "Retry";
            case Answer::Yes:
                return "Yes";
            case Answer::No:
                return "No";
        }
        return "?";
    }

  private:
    // The scripts hold the passwords as text; the application gets them as it would from a
    // person, in wiping memory.
    static std::optional<App::Secret> AsSecret(const std::optional<std::string>& text) {
        if (!text)
            return std::nullopt;
        return App::Secret(*text, text->size());
    }
    void Record(const std::string& line) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_shown.push_back(line);
        }
        if (onShow)
            onShow(line);
    }
    template <typename T, typename D>
    static T Pop(std::deque<T>& q, D fallback) {
        if (q.empty())
            return T(fallback);
        T v = q.front();
        q.pop_front();
        return v;
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_shown;
};

}  // namespace cryvan_test
