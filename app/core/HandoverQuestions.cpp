#include "app/core/HandoverQuestions.h"

namespace App {

MessageBoxes::Answer HandoverQuestions::Show(const std::string& text, const std::string& caption,
                                             Icon icon, Buttons buttons, Answer defaultButton) {
    return m_handover.Ask<Answer>(
        [&] { return m_ui.Show(text, caption, icon, buttons, defaultButton); },
        [&] { return SafeAnswer(buttons); });
}

RunQuestions::Replace HandoverQuestions::ConfirmReplace(const std::string& text,
                                                        const std::string& path40) {
    return m_handover.Ask<Replace>([&] { return m_ui.ConfirmReplace(text, path40); },
                                   [] { return Replace::Cancel; });
}

std::optional<std::string> HandoverQuestions::AskKeyFile(const std::string& administrator,
                                                         bool create) {
    using T = std::optional<std::string>;
    return m_handover.Ask<T>([&] { return m_ui.AskKeyFile(administrator, create); },
                             [] { return T(); });
}

std::optional<Secret> HandoverQuestions::AskAdministratorPassword(const std::string& stillNeeded) {
    using T = std::optional<Secret>;
    return m_handover.Ask<T>([&] { return m_ui.AskAdministratorPassword(stillNeeded); },
                             [] { return T(); });
}

}  // namespace App
