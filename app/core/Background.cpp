#include "app/core/Background.h"

#include <stdexcept>

namespace App {

Background::~Background() {
    Wait();
}

void Background::Wait() {
    m_alive->store(false);
    if (m_thread.joinable()) {
        // A question handed over now would wait for this very thread: it takes its safe answer.
        Handover::Refusal refusal(m_handover);
        m_thread.join();
    }
    m_busy.store(false);
    m_alive = std::make_shared<std::atomic<bool>>(true);
}

void Background::Start(std::function<void()> work, std::function<void()> then) {
    if (m_busy.load())
        throw std::logic_error("One piece of long work at a time");
    if (m_thread.joinable())
        m_thread.join();  // ended: its `then` has run
    if (!m_handover.Attached()) {
        work();
        then();
        return;
    }
    m_busy.store(true);
    auto alive = m_alive;
    m_thread = std::thread([this, alive, work = std::move(work), then = std::move(then)] {
        work();
        m_handover.Post([this, alive, then] {
            if (!alive->load())
                return;
            m_busy.store(false);
            then();
        });
    });
}

}  // namespace App
