// A zlib (RFC 1950, deflate level 6, 32 KiB window) compressor that deflates on several threads.
// The input is cut into 128 KiB blocks; each is deflated raw on its own, primed with the 32 KiB
// of input before it, and ended with a sync flush (the last with the end of the stream), so the
// blocks join into one stream that any inflater reads. The output depends only on the input and
// on hard flushes: neither how the input is split into puts nor the number of threads changes
// it. The last block of a message is deflated on the calling thread while the workers finish the
// others, so a message of one block or less starts no thread and comes out as serial zlib's.
//
// Memory: at most two blocks per worker in flight plus the one being gathered, each about
// 290 KiB (its input with the 32 KiB before it, and its output), and one deflate state of about
// 260 KiB per worker and one for the calling thread: about 2.3 MiB with two workers.
#pragma once

#include <cryptopp/filters.h>
#include <cryptopp/secblock.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace CryptoP2 {

namespace detail {
struct ZlibStream;
struct DeflateJob;
}  // namespace detail

class ParallelDeflater : public CryptoPP::Filter {
  public:
    static constexpr std::size_t kBlockSize = 128 * 1024;
    static constexpr std::size_t kWindowSize = 32 * 1024;

    // workers: threads besides the caller's; 0 chooses one per core, at most four.
    explicit ParallelDeflater(CryptoPP::BufferedTransformation* attachment = nullptr,
                              unsigned workers = 0);
    // Stops and joins the workers, mid-message too.
    ~ParallelDeflater() override;
    ParallelDeflater(const ParallelDeflater&) = delete;
    ParallelDeflater& operator=(const ParallelDeflater&) = delete;

    // Each message becomes one complete zlib stream, sent on at its end. Any failure (of zlib, of
    // a worker, of a stage further on) is raised here, on the calling thread, after the workers
    // have been stopped; the next message then starts afresh.
    size_t Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                bool blocking) override;
    // A hard flush ends the block being gathered and sends everything so far on, byte-aligned;
    // a soft one does nothing.
    bool IsolatedFlush(bool hardFlush, bool blocking) override;

    unsigned Workers() const { return m_workerCount; }

  private:
    using JobPtr = std::unique_ptr<detail::DeflateJob>;

    JobPtr TakeJob();
    void Submit(int flush);
    void StartWorkers();
    void StopWorkers() noexcept;
    void WorkerLoop();
    void RetireFront();
    void RetireReady();
    void SendHeader();
    void Send(detail::DeflateJob& job);
    void FinishMessage();
    void Abandon() noexcept;

    unsigned m_workerCount;
    std::size_t m_maxInFlight;

    // Calling thread only.
    JobPtr m_current;                  // the block being gathered
    std::deque<JobPtr> m_inFlight;     // submitted, in stream order
    std::vector<JobPtr> m_spare;       // retired, kept for reuse
    CryptoPP::SecByteBlock m_history;  // the last input bytes, up to one window
    std::size_t m_historyLength = 0;
    std::unique_ptr<detail::ZlibStream> m_ownStream;
    bool m_headerSent = false;
    std::uint32_t m_adler = 1;

    // Shared with the workers, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_work, m_done;
    std::deque<detail::DeflateJob*> m_queue;  // not yet taken by a worker
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

}  // namespace CryptoP2
