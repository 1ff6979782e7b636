#include "filters/PipelineWorker.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace CryptoP2 {

PipelineWorker::PipelineWorker(std::size_t slots) : m_slots(std::max<std::size_t>(slots, 1)) {
    for (Slot& s : m_slots)
        s.data.New(kSlotSize);
    m_thread = std::thread([this] { Run(); });
}

PipelineWorker::~PipelineWorker() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_work.notify_all();
    m_thread.join();
}

void PipelineWorker::Post(const CryptoPP::byte* data, std::size_t length, const Task& task) {
    while (length > 0) {
        const std::size_t part = std::min(length, kSlotSize);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [this] { return m_count < m_slots.size() || m_failure; });
        RaiseFailure();
        Slot& s = m_slots[(m_head + m_count) % m_slots.size()];
        // The slot is the caller's until it is counted: the worker never looks at it before.
        lock.unlock();
        std::memcpy(s.data.data(), data, part);
        s.length = part;
        s.task = task;
        lock.lock();
        const bool wake = ++m_count >= std::min(kWakeAt, m_slots.size());
        lock.unlock();
        if (wake)
            m_work.notify_one();
        data += part;
        length -= part;
    }
}

CryptoPP::byte* PipelineWorker::Reserve() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait(lock, [this] { return m_count < m_slots.size() || m_failure; });
    RaiseFailure();
    return m_slots[(m_head + m_count) % m_slots.size()].data.data();
}

void PipelineWorker::Submit(std::size_t length, const Task& task) {
    std::unique_lock<std::mutex> lock(m_mutex);
    Slot& s = m_slots[(m_head + m_count) % m_slots.size()];
    s.length = std::min(length, kSlotSize);
    s.task = task;
    const bool wake = ++m_count >= std::min(kWakeAt, m_slots.size());
    lock.unlock();
    if (wake)
        m_work.notify_one();
}

void PipelineWorker::Drain() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_work.notify_one();
    m_done.wait(lock, [this] { return m_count == 0; });
    RaiseFailure();
}

void PipelineWorker::Settle() noexcept {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_work.notify_one();
    m_done.wait(lock, [this] { return m_count == 0; });
    m_failure = nullptr;
}

void PipelineWorker::RaiseFailure() {
    if (!m_failure)
        return;
    std::exception_ptr failure = m_failure;
    m_failure = nullptr;
    std::rethrow_exception(failure);
}

void PipelineWorker::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_work.wait(lock, [this] { return m_stop || m_count > 0; });
        if (m_count == 0)
            return;
        Slot& s = m_slots[m_head];
        const bool skip = m_failure != nullptr;
        lock.unlock();
        // After a failure the rest of the queue is dropped: the caller is about to hear of it.
        if (!skip) {
            try {
                s.task(s.data.data(), s.length);
            } catch (...) {
                lock.lock();
                m_failure = std::current_exception();
                lock.unlock();
            }
        }
        s.task = nullptr;
        lock.lock();
        m_head = (m_head + 1) % m_slots.size();
        --m_count;
        // Woken at half full, the caller refills several slots per wake-up rather than one.
        if (m_count == 0 || m_count == m_slots.size() / 2 || m_failure)
            m_done.notify_all();
    }
}

}  // namespace CryptoP2
