// The wizard's questions on a terminal: message boxes, the replace question, the choosers and
// the small dialogs, printed to a stream and answered from a LineInput. When no person can
// answer (input not a terminal, or ended) every question takes its safe answer (No, Cancel,
// nothing chosen) at once, so that nothing waits for input that will never come.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "app/Dialogs.h"
#include "app/text/LineInput.h"

namespace Text {

class TerminalDialogs : public App::Dialogs {
  public:
    TerminalDialogs(LineInput& input, std::ostream& out) : m_in(input), m_out(out) {}

    Answer Show(const std::string& text, const std::string& caption, Icon icon, Buttons buttons,
                Answer defaultButton) override;
    Replace ConfirmReplace(const std::string& text, const std::string& path40) override;
    std::optional<std::string> AskKeyFile(const std::string& administrator, bool create) override;
    std::vector<std::string> ChooseFiles(const std::string& title) override;
    std::optional<std::string> ChooseFolder(const std::string& title,
                                            const std::string& start) override;
    std::optional<std::string> ChooseSaveFile(const std::string& title, const std::string& initial,
                                              const std::string& filter,
                                              const std::string& defaultExtension) override;
    std::optional<std::string> ChooseOpenFile(const std::string& title, const std::string& initial,
                                              const std::string& filter,
                                              const std::string& defaultExtension) override;
    bool EditSourceOptions(SourceOptions& options) override;
    std::optional<App::Secret> AskAdministratorPassword() override;
    bool ShowPreferences() override;
    std::optional<NewAdministrator> AskNewAdministrator() override;
    std::optional<App::Secret> AskOrganisationPassword(std::size_t minLength) override;

    // One choice out of `keys` (compared ignoring case); nullopt when no answer can come.
    std::optional<std::string> Choose(const std::string& prompt,
                                      const std::vector<std::string>& keys);
    // The next Yes/No question takes `answer` without asking: Ctrl+C is itself the request to
    // cancel when nobody can answer "Are you sure you want to cancel?".
    void PresetYesNo(std::optional<Answer> answer) { m_preset = answer; }
    // A person can answer a question now.
    bool CanAsk() const { return m_in.Terminal() && !m_in.Ended(); }

    // What "Preferences..." and -prefs open; without one the preferences are unavailable.
    void SetPreferences(std::function<bool()> show) { m_preferences = std::move(show); }

    // One turn of a display that shares the terminal with the questions a run asks from its
    // worker: unless a question has the terminal, draws (told whether a question has scrolled
    // its last drawing away) and waits up to `pollMs` for a typed line. While a question has
    // the terminal it only pauses briefly and returns false, so no redraw lands in a prompt and
    // no poll takes an answer. Never call it while waiting for the worker.
    bool DisplayTurn(const std::function<void(bool scrolled)>& draw, int pollMs,
                     std::optional<std::string>& line);

    LineInput& Input() { return m_in; }
    std::ostream& Out() { return m_out; }

  private:
    std::unique_lock<std::recursive_mutex> Hold();
    std::optional<std::string> AskPath(const std::string& title, const std::string& initial,
                                       const std::string& defaultExtension);

    LineInput& m_in;
    std::ostream& m_out;
    std::optional<Answer> m_preset;
    std::function<bool()> m_preferences;
    std::recursive_mutex m_terminal;
    std::atomic<std::uint64_t> m_questions{0};
    std::uint64_t m_questionsDrawn = 0;
};

}  // namespace Text
