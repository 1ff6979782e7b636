#include "app/core/Handover.h"

#ifndef _WIN32
#include <sys/eventfd.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace App {

#ifdef _WIN32
// A window's loop is woken by the waker its front end installs (a posted message): no
// descriptor to poll.
Handover::Handover() = default;
Handover::~Handover() = default;
#else
Handover::Handover() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_fd < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

Handover::~Handover() {
    close(m_fd);
}
#endif

void Handover::Attach(std::function<void()> waker) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ui = std::this_thread::get_id();
    m_waker = std::move(waker);
}

void Handover::Detach() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ui.reset();
    m_waker = nullptr;
    // Nobody is left to ask what waits: it takes its fallback.
    for (auto& job : m_pending) {
        job->refused = true;
        job->done = true;
    }
    m_pending.clear();
    m_answered.notify_all();
}

bool Handover::Attached() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ui.has_value();
}

void Handover::Signal() {
#ifndef _WIN32
    const std::uint64_t one = 1;
    // EAGAIN only when the counter is near overflow: it is readable already.
    while (write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
#endif
}

void Handover::Drain() {
#ifndef _WIN32
    std::uint64_t count = 0;
    while (read(m_fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
#endif
}

void Handover::Notify() {
    std::function<void()> waker;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        waker = m_waker;
    }
    Signal();
    if (waker)
        waker();
}

bool Handover::Hand(const std::function<void()>& run) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_ui || *m_ui == std::this_thread::get_id()) {
        lock.unlock();
        run();
        return true;
    }
    if (m_refusing)
        return false;
    auto job = std::make_shared<Job>();
    job->run = run;
    m_pending.push_back(job);
    std::function<void()> waker = m_waker;
    lock.unlock();
    Signal();
    if (waker)
        waker();
    lock.lock();
    m_answered.wait(lock, [&] { return job->done; });
    if (job->error)
        std::rethrow_exception(job->error);
    return !job->refused;
}

void Handover::Post(std::function<void()> task) {
    auto job = std::make_shared<Job>();
    job->run = std::move(task);
    job->posted = true;
    std::function<void()> waker;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_ui)
            return;
        m_pending.push_back(job);
        waker = m_waker;
    }
    Signal();
    if (waker)
        waker();
}

bool Handover::RunPending() {
    Drain();
    bool any = false;
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_pending.empty())
                return any;
            job = m_pending.front();
            m_pending.pop_front();
        }
        any = true;
        // The question runs without the lock: it may take as long as the user takes.
        try {
            job->run();
        } catch (...) {
            job->error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        job->done = true;
        m_answered.notify_all();
    }
}

Handover::Refusal::Refusal(Handover& h) : m_h(h) {
    std::lock_guard<std::mutex> lock(m_h.m_mutex);
    ++m_h.m_refusing;
    std::deque<std::shared_ptr<Job>> kept;
    for (auto& job : m_h.m_pending) {
        if (job->posted) {
            kept.push_back(job);
            continue;
        }
        job->refused = true;
        job->done = true;
    }
    m_h.m_pending.swap(kept);
    m_h.m_answered.notify_all();
}

Handover::Refusal::~Refusal() {
    std::lock_guard<std::mutex> lock(m_h.m_mutex);
    --m_h.m_refusing;
}

}  // namespace App
