// A run's questions on a terminal: message boxes, the replace question, the key file and the
// administrator's password, printed to a stream and answered from a LineInput. When no person
// can answer (input not a terminal, or ended) every question takes its safe answer (No, Cancel,
// nothing chosen) at once, so that nothing waits for input that will never come. Both terminal
// programs build on it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/console/LineInput.h"
#include "app/core/FileChoosers.h"
#include "app/core/Questions.h"

namespace App {

class ConsoleQuestions : public virtual RunQuestions {
  public:
    ConsoleQuestions(LineInput& input, std::ostream& out) : m_in(input), m_out(out) {}

    Answer Show(const std::string& text, const std::string& caption, Icon icon, Buttons buttons,
                Answer defaultButton) override;
    Replace ConfirmReplace(const std::string& text, const std::string& path40) override;
    std::optional<std::string> AskKeyFile(const std::string& administrator, bool create) override;
    std::optional<Secret> AskAdministratorPassword(const std::string& stillNeeded) override;

    // One choice out of `keys` (compared ignoring case); nullopt when no answer can come.
    std::optional<std::string> Choose(const std::string& prompt,
                                      const std::vector<std::string>& keys);
    // The next Yes/No question takes `answer` without asking: Ctrl+C is itself the request to
    // cancel when nobody can answer "Are you sure you want to cancel?".
    void PresetYesNo(std::optional<Answer> answer) { m_preset = answer; }
    // An answer may still come: from a person, or from input that is not a terminal, which
    // answers questions as it answers pages until it ends.
    bool CanAsk() const { return !m_in.Ended(); }
    // A person at a terminal can answer now.
    bool Attended() const { return m_in.Terminal() && !m_in.Ended(); }

    // One turn of a display that shares the terminal with the questions a run asks from its
    // worker: unless a question has the terminal, draws (told whether a question has scrolled
    // its last drawing away) and waits up to `pollMs` for a typed line. While a question has
    // the terminal it only pauses briefly and returns false, so no redraw lands in a prompt and
    // no poll takes an answer. Never call it while waiting for the worker.
    // `wakeFd` (-1 for none) ends the wait early: a question was handed over, or a run ended.
    bool DisplayTurn(const std::function<void(bool scrolled)>& draw, int pollMs,
                     std::optional<std::string>& line, int wakeFd = -1);

    LineInput& Input() { return m_in; }
    std::ostream& Out() { return m_out; }

  protected:
    // The terminal for one question, counted so that the display knows it was scrolled away.
    std::unique_lock<std::recursive_mutex> Hold();
    // What the key-file question browses with; none here.
    virtual FileChoosers* Choosers() { return nullptr; }

    LineInput& m_in;
    std::ostream& m_out;

  private:
    std::optional<Answer> m_preset;
    std::recursive_mutex m_terminal;
    std::atomic<std::uint64_t> m_questions{0};
    std::uint64_t m_questionsDrawn = 0;
};

}  // namespace App
