// A second thread for one stage of a pipeline: the caller posts blocks, each copied into one of
// a few slots of 64 KiB, and a task of the caller's runs on each in order while the caller goes
// on. A failure on the worker is raised on the caller's thread by the next Post or Drain. The
// thread lives as long as the object, so a run of many files starts it once.
#pragma once

#include <cryptopp/secblock.h>

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace CryptoP2 {

class PipelineWorker {
  public:
    using Task = std::function<void(const CryptoPP::byte* data, std::size_t length)>;

    static constexpr std::size_t kSlotSize = 65536;

    explicit PipelineWorker(std::size_t slots = 8);
    ~PipelineWorker();
    PipelineWorker(const PipelineWorker&) = delete;
    PipelineWorker& operator=(const PipelineWorker&) = delete;

    // Copies the block (pieces of at most kSlotSize) and queues the task on it; waits while
    // every slot is taken.
    void Post(const CryptoPP::byte* data, std::size_t length, const Task& task);
    // For a caller that fills a slot itself, saving the copy: the slot the next Submit queues,
    // kSlotSize bytes, waiting while every slot is taken. It stays the caller's until Submit.
    CryptoPP::byte* Reserve();
    void Submit(std::size_t length, const Task& task);
    // Returns once every posted task has run; raises the first failure since the last Drain.
    void Drain();
    // Drain for destructors and unwinding: waits, forgets any failure, never throws.
    void Settle() noexcept;

  private:
    struct Slot {
        CryptoPP::SecByteBlock data;
        std::size_t length = 0;
        Task task;
    };

    void Run();
    void RaiseFailure();

    // An idle worker is woken once two blocks wait (or the caller waits for it): one wake-up
    // per block would cost more than a block's work at these speeds.
    static constexpr std::size_t kWakeAt = 2;

    std::vector<Slot> m_slots;
    std::size_t m_head = 0;   // next slot the worker runs
    std::size_t m_count = 0;  // slots queued or running
    bool m_stop = false;
    std::exception_ptr m_failure;
    std::mutex m_mutex;
    std::condition_variable m_work, m_done;
    std::thread m_thread;
};

}  // namespace CryptoP2
