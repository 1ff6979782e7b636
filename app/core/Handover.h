// Questions asked on a worker thread, answered on the user-interface thread. A toolkit lets
// only its own thread touch its widgets, and a terminal has one reader: so the worker hands
// each question over and waits, and the front end's loop, woken at once, asks it.
//
// A front end attaches from its user-interface thread and, whenever it is woken (the eventfd
// of WakeFd() became readable on a terminal; the waker it installed ran in a toolkit), calls
// RunPending(). Until one attaches, questions are asked on the thread that asks them, as tests
// and the decrypt-only program's simple flow expect.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace App {

class Handover {
  public:
    Handover();
    ~Handover();
    Handover(const Handover&) = delete;
    Handover& operator=(const Handover&) = delete;

    // The calling thread answers the questions from now on. `waker`, when given, is called
    // (from any thread) besides the eventfd being signalled: a toolkit queues a call with it.
    void Attach(std::function<void()> waker = nullptr);
    void Detach();
    bool Attached() const;

    // Readable while something is pending or an event was signalled; RunPending drains it.
    int WakeFd() const { return m_fd; }
    // Wakes the user-interface thread without a question (a run ended).
    void Notify();
    // On the user-interface thread: asks every pending question and runs what was posted.
    // Returns whether anything ran.
    bool RunPending();
    // Runs `task` on the user-interface thread without waiting for it; dropped when nobody is
    // attached by then.
    void Post(std::function<void()> task);

    // While the user-interface thread waits for the worker to end, no question can be asked:
    // pending and later ones take their fallback answer at once until the refusal ends.
    class Refusal {
      public:
        explicit Refusal(Handover& h);
        ~Refusal();
        Refusal(const Refusal&) = delete;
        Refusal& operator=(const Refusal&) = delete;

      private:
        Handover& m_h;
    };

    // Asks `ask` on the user-interface thread and returns its answer; `fallback` when no
    // question can be asked (refused). On that thread, or unattached, asks at once. What `ask`
    // throws reaches the caller.
    template <class T>
    T Ask(const std::function<T()>& ask, const std::function<T()>& fallback) {
        std::optional<T> answer;
        const bool asked = Hand([&] { answer.emplace(ask()); });
        if (!asked)
            return fallback();
        return std::move(*answer);
    }

  private:
    struct Job {
        std::function<void()> run;
        bool done = false;
        bool refused = false;
        bool posted = false;       // nobody waits for it: a refusal leaves it queued
        std::exception_ptr error;  // what the question threw, thrown again to the asker
    };

    // Runs `run` on the user-interface thread; false when refused.
    bool Hand(const std::function<void()>& run);
    void Signal();
    void Drain();

    int m_fd = -1;
    mutable std::mutex m_mutex;
    std::condition_variable m_answered;
    std::deque<std::shared_ptr<Job>> m_pending;
    std::optional<std::thread::id> m_ui;
    std::function<void()> m_waker;
    int m_refusing = 0;
};

// Attached for a scope: the thread that makes it answers the questions until it ends.
class AttachedHandover {
  public:
    explicit AttachedHandover(Handover& handover, std::function<void()> waker = nullptr)
        : m_handover(handover) {
        m_handover.Attach(std::move(waker));
    }
    ~AttachedHandover() { m_handover.Detach(); }
    AttachedHandover(const AttachedHandover&) = delete;
    AttachedHandover& operator=(const AttachedHandover&) = delete;

  private:
    Handover& m_handover;
};

}  // namespace App
