#include "app/core/Sheet.h"

#include "os/Logger.h"

namespace App {

Page::Page(int id, std::string title, std::string subtitle, bool headerHidden)
    : m_id(id),
      m_title(std::move(title)),
      m_subtitle(std::move(subtitle)),
      m_headerHidden(headerHidden) {}

Sheet::Sheet(std::string caption) : m_caption(caption), m_title(std::move(caption)) {}

void Sheet::AddPage(Page& page) {
    page.m_sheet = this;
    m_pages.push_back(&page);
}

Page* Sheet::PageById(int id) const {
    if (id == kEncOrDecPgSmall)
        id = kEncOrDecPg;
    if (id == kEndPgSmall)
        id = kEndPg;
    for (Page* p : m_pages)
        if (p->Id() == id)
            return p;
    return nullptr;
}

void Sheet::SetActivePage(int id) {
    OS::Trace t("Sheet::SetActivePage()");
    Page* page = PageById(id);
    if (!page || m_closed)
        return;
    m_active = page;
    Changed();
    page->OnSetActive();
    // What activation filled in (a summary, a proposed name) is shown too.
    Changed();
}

void Sheet::Changed() {
    ++m_revision;
    if (m_observer)
        m_observer();
}

void Page::Changed() {
    if (m_sheet)
        m_sheet->Changed();
}

void Sheet::Move(int answer, int direction) {
    if (answer == kVeto || !m_active)
        return;
    if (answer != kDefaultOrder) {
        SetActivePage(answer);
        return;
    }
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        if (m_pages[i] != m_active)
            continue;
        const long next = long(i) + direction;
        if (next >= 0 && next < long(m_pages.size()))
            SetActivePage(m_pages[std::size_t(next)]->Id());
        return;
    }
}

void Sheet::PressNext() {
    OS::Trace t("Sheet::PressNext()");
    if (m_closed || !m_active || !(m_buttons & kNext))
        return;
    Move(m_active->OnWizardNext(), +1);
}

void Sheet::PressBack() {
    OS::Trace t("Sheet::PressBack()");
    if (m_closed || !m_active || !(m_buttons & kBack))
        return;
    Move(m_active->OnWizardBack(), -1);
}

void Sheet::PressFinish() {
    OS::Trace t("Sheet::PressFinish()");
    if (m_closed || !m_active || !(m_buttons & kFinish))
        return;
    if (m_active->OnWizardFinish()) {
        m_finished = true;
        m_closed = true;
        Changed();
    }
}

bool Sheet::PressCancel() {
    OS::Trace t("Sheet::PressCancel()");
    if (m_closed || !m_cancelEnabled)
        return m_closed;
    if (m_active && !m_active->OnQueryCancel())
        return false;
    if (m_active)
        m_active->OnCancel();
    m_closed = true;
    Changed();
    return true;
}

bool Sheet::Pump() {
    bool any = false;
    while (!m_posted.empty() && !m_closed) {
        const unsigned button = m_posted.front();
        m_posted.pop_front();
        any = true;
        if (button == kNext)
            PressNext();
        else if (button == kBack)
            PressBack();
        else if (button == kFinish)
            PressFinish();
    }
    return any;
}

void Sheet::SetTimer(int id, std::uint32_t periodMs) {
    m_timers[id] = Timer{periodMs, m_now + periodMs};
}

void Sheet::KillTimer(int id) {
    m_timers.erase(id);
}

void Sheet::Tick(std::uint64_t nowMs) {
    m_now = nowMs;
    // Collect first: a timer handler may start or stop timers.
    std::vector<int> due;
    for (const auto& [id, timer] : m_timers)
        if (timer.due <= nowMs)
            due.push_back(id);
    for (int id : due) {
        auto it = m_timers.find(id);
        if (it == m_timers.end() || m_closed)
            continue;
        it->second.due = nowMs + it->second.period;
        if (m_active)
            m_active->OnTimer(id);
    }
}

}  // namespace App
