// Long work a page starts (expanding a large folder, reading a container's footers, unlocking
// it) on a thread of its own, so that the user-interface thread keeps drawing and asking. Its
// questions reach the user through the hand-over like a run's, and when it has ended, what
// comes next runs on the user-interface thread, woken at once.
//
// While no front end is attached to the hand-over (tests, a program without a loop), the work
// runs at once on the calling thread, and so does what comes next.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "app/core/Handover.h"

namespace App {

class Background {
  public:
    explicit Background(Handover& handover) : m_handover(handover) {}
    // Waits for work still going; what would have come next is dropped.
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    // Runs `work`, then `then` on the user-interface thread. One at a time (std::logic_error).
    void Start(std::function<void()> work, std::function<void()> then);
    // Work is going, or its `then` has not run yet.
    bool Busy() const { return m_busy.load(); }
    // Waits for work still going and drops what would have come next.
    void Wait();

  private:
    Handover& m_handover;
    std::thread m_thread;
    std::atomic<bool> m_busy{false};
    // Cleared when what comes next must no longer run (the pages are going).
    std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);
};

}  // namespace App
