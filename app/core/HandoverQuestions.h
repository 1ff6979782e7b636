// A run's questions handed over to the user-interface thread: what the worker asks through
// this reaches the front end's own questions on its thread. When no question can be asked
// (the user-interface thread waits for the run to end), each takes the answer that risks
// nothing: Cancel, No, no key file, no password.
#pragma once

#include "app/core/Handover.h"
#include "app/core/Questions.h"

namespace App {

class HandoverQuestions : public RunQuestions {
  public:
    // Both outlive this object.
    HandoverQuestions(RunQuestions& ui, Handover& handover) : m_ui(ui), m_handover(handover) {}

    Answer Show(const std::string& text, const std::string& caption, Icon icon, Buttons buttons,
                Answer defaultButton) override;
    Replace ConfirmReplace(const std::string& text, const std::string& path40) override;
    std::optional<std::string> AskKeyFile(const std::string& administrator, bool create) override;
    std::optional<Secret> AskAdministratorPassword(const std::string& stillNeeded) override;

  private:
    RunQuestions& m_ui;
    Handover& m_handover;
};

}  // namespace App
