// A Next that waits for long work of its page (reading a container's footers, unlocking it):
// the first press starts the work in the background, disables the buttons and stays on the
// page; when the work has ended its result is kept and Next is pressed again, which takes it.
// Without a front end attached (tests) the work is done within the first press.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "app/core/Background.h"
#include "app/core/Sheet.h"

namespace App {

template <class R>
class NextAfterWork {
  public:
    // Call from OnWizardNext: the result once the work has ended; nullopt while it runs (veto).
    std::optional<R> Take(Page& page, Sheet& sheet, Background& background,
                          std::function<R()> work) {
        if (!m_result && !background.Busy()) {
            const unsigned buttons = sheet.WizardButtons();
            sheet.SetWizardButtons(0);
            page.Changed();
            auto result = std::make_shared<std::optional<R>>();
            m_inNext = true;
            background.Start([work, result] { result->emplace(work()); },
                             [this, &page, &sheet, buttons, result] {
                                 m_result = std::move(*result);
                                 sheet.SetWizardButtons(buttons);
                                 page.Changed();
                                 // Done within this press: it takes the result itself.
                                 if (!m_inNext)
                                     sheet.PostPress(kNext);
                             });
            m_inNext = false;
        }
        std::optional<R> taken;
        taken.swap(m_result);
        return taken;
    }
    // A result not taken yet belongs to what the page showed before (Back, a new password).
    void Reset() { m_result.reset(); }

  private:
    std::optional<R> m_result;
    bool m_inNext = false;
};

}  // namespace App
