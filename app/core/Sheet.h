// The wizard sheet without a display: pages addressed by their template ids, the button bits
// and labels, posted presses of Back, Next and Finish, vetoes, timers. A front end renders the
// active page and the buttons, forwards the user's presses, calls Pump() to carry out posted
// presses and Tick() to run timers; it never decides navigation itself. Every change a renderer
// shows moves the sheet's revision (and tells its observer): a renderer redraws when the
// revision moved, and never compares fields.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/core/Strings.h"

namespace App {

// Template ids of the pages; both variants of a large-fonts pair map to one page.
enum PageId : int {
    kEncOrDecPg = 129,
    kEncOrDecPgSmall = 166,
    kEncSourcePg = 131,
    kEncDestPg = 135,
    kEncPasswordPg = 136,
    kEncProgressPg = 151,
    kDecSourcePg = 138,
    kDecPasswordPg = 142,
    kDecFilesPg = 145,
    kDecFilePg = 164,
    kDecDestPg = 140,
    kDecProgressPg = 137,
    kEndPg = 165,
    kEndPgSmall = 167,
};

// Answers of a page to Back and Next besides a page id.
constexpr int kVeto = -1;         // stay on the page
constexpr int kDefaultOrder = 0;  // the sheet's own page order

enum WizardButtons : unsigned { kBack = 1, kNext = 2, kFinish = 4 };

class Sheet;

class Page {
  public:
    Page(int id, std::string title, std::string subtitle, bool headerHidden = false);
    virtual ~Page() = default;
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    int Id() const { return m_id; }
    const std::string& Title() const { return m_title; }
    const std::string& Subtitle() const { return m_subtitle; }
    bool HeaderHidden() const { return m_headerHidden; }

    // Called by the sheet; pages answer with a page id, kVeto or kDefaultOrder.
    virtual void OnSetActive() {}
    virtual int OnWizardNext() { return kDefaultOrder; }
    virtual int OnWizardBack() { return kDefaultOrder; }
    virtual bool OnWizardFinish() { return true; }
    // May the sheet close on Cancel? The page runs its own question.
    virtual bool OnQueryCancel() { return true; }
    virtual void OnCancel() {}
    virtual void OnTimer(int /*timerId*/) {}
    // The page's body texts in reading order, for a front end to render.
    virtual std::vector<std::string> Texts() const { return {}; }

    // Something the page shows changed: the sheet's revision moves.
    void Changed();
    // Long work of the page is going (Background): a front end shows it working, offers no
    // action and keeps its loop turning until the revision moves.
    virtual bool Busy() const { return false; }

  protected:
    Sheet& TheSheet() const { return *m_sheet; }
    // A page that serves more than one purpose shows the header of the one it serves now.
    void SetHeader(std::string title, std::string subtitle) {
        m_title = std::move(title);
        m_subtitle = std::move(subtitle);
        Changed();
    }

  private:
    friend class Sheet;
    int m_id;
    std::string m_title, m_subtitle;
    bool m_headerHidden;
    Sheet* m_sheet = nullptr;
};

class Sheet {
  public:
    explicit Sheet(std::string caption);
    virtual ~Sheet() = default;

    // Pages are owned by the caller and live as long as the sheet; order is the default order.
    void AddPage(Page& page);
    Page* ActivePage() const { return m_active; }
    Page* PageById(int id) const;
    void SetActivePage(int id);

    // Button bits (kBack, kNext, kFinish) and the labels of Back and Next.
    void SetWizardButtons(unsigned bits) { Set(m_buttons, bits); }
    unsigned WizardButtons() const { return m_buttons; }
    void SetNextText(std::string text) { Set(m_nextText, std::move(text)); }
    void SetBackText(std::string text) { Set(m_backText, std::move(text)); }
    const std::string& NextText() const { return m_nextText; }
    const std::string& BackText() const { return m_backText; }
    void SetCancelEnabled(bool enabled) { Set(m_cancelEnabled, enabled); }
    bool CancelEnabled() const { return m_cancelEnabled; }

    // Presses as the user makes them: carried out at once when the button is enabled.
    void PressNext();
    void PressBack();
    void PressFinish();
    // Cancel asks the active page first; true when the sheet closed.
    bool PressCancel();

    // A page asks for a press to happen after its current step, as a posted message would.
    void PostPress(unsigned button) { m_posted.push_back(button); }
    // Carries out posted presses (each only if its button is enabled then). Returns whether any.
    bool Pump();

    // Timers driven by the front end's clock (milliseconds).
    void SetTimer(int id, std::uint32_t periodMs);
    void KillTimer(int id);
    bool HasTimer(int id) const { return m_timers.count(id) != 0; }
    // Fires every timer that is due at `nowMs`.
    void Tick(std::uint64_t nowMs);

    const std::string& Caption() const { return m_caption; }
    void SetTitle(std::string title) { Set(m_title, std::move(title)); }
    const std::string& Title() const { return m_title; }
    void SetMinimized(bool minimized) { Set(m_minimized, minimized); }
    bool Minimized() const { return m_minimized; }

    bool Closed() const { return m_closed; }
    bool Finished() const { return m_finished; }

    // Moves with every change a renderer shows; the observer (one, optional) hears of each at
    // once, on the thread that made it: the user-interface thread.
    std::uint64_t Revision() const { return m_revision; }
    void SetObserver(std::function<void()> observer) { m_observer = std::move(observer); }
    void Changed();

  private:
    void Move(int answer, int direction);
    template <class T, class V>
    void Set(T& field, V&& value) {
        if (field == value)
            return;
        field = std::forward<V>(value);
        Changed();
    }

    std::string m_caption, m_title;
    std::vector<Page*> m_pages;
    Page* m_active = nullptr;
    unsigned m_buttons = kBack | kNext;
    std::string m_nextText = Text(StringId::NextButton), m_backText = Text(StringId::BackButton);
    bool m_cancelEnabled = true;
    std::deque<unsigned> m_posted;
    struct Timer {
        std::uint32_t period;
        std::uint64_t due;
    };
    std::map<int, Timer> m_timers;
    std::uint64_t m_now = 0;
    bool m_minimized = false, m_closed = false, m_finished = false;
    std::uint64_t m_revision = 0;
    std::function<void()> m_observer;
};

}  // namespace App
