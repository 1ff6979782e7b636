#include "filters/ParallelDeflate.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <stdexcept>

#include "filters/ZlibStream.h"
#include "os/Logger.h"

namespace CryptoP2 {
namespace detail {

// A heap buffer, not cleared when made, that wipes the bytes it has used before release: a small
// message touches only the pages it needs.
class WipingBuffer {
  public:
    WipingBuffer() = default;
    ~WipingBuffer() { Wipe(); }
    WipingBuffer(const WipingBuffer&) = delete;
    WipingBuffer& operator=(const WipingBuffer&) = delete;

    CryptoPP::byte* data() { return m_data.get(); }
    std::size_t capacity() const { return m_capacity; }
    void Used(std::size_t n) { m_used = std::max(m_used, n); }

    // Grows to at least `size`, keeping the first `keep` bytes.
    void Reserve(std::size_t size, std::size_t keep) {
        if (size <= m_capacity)
            return;
        std::unique_ptr<CryptoPP::byte[]> grown(new CryptoPP::byte[size]);
        if (keep > 0)
            std::memcpy(grown.get(), m_data.get(), keep);
        Wipe();
        m_data = std::move(grown);
        m_capacity = size;
        m_used = keep;
    }

  private:
    void Wipe() {
        if (m_data)
            CryptoPP::SecureWipeBuffer(m_data.get(), m_used);
        m_used = 0;
    }

    std::unique_ptr<CryptoPP::byte[]> m_data;
    std::size_t m_capacity = 0, m_used = 0;
};

// One block: the window before it and its bytes in, raw deflate and its Adler-32 out.
struct DeflateJob {
    WipingBuffer in;  // window, then block
    std::size_t windowLength = 0, length = 0;
    int flush = Z_SYNC_FLUSH;
    WipingBuffer out;
    std::size_t outLength = 0;
    uLong adler = 1;
    // Set by the worker under the filter's mutex; the fields above are its to write till then.
    bool done = false;
    std::exception_ptr error;
};

}  // namespace detail

namespace {

using detail::DeflateJob;
using detail::ZlibStream;

constexpr std::size_t kOutPiece = 65536;
constexpr unsigned kMaxWorkers = 16;
constexpr std::size_t kInFlightPerWorker = 2;

unsigned ChooseWorkers(unsigned asked) {
    if (asked == 0) {
        const unsigned cores = std::thread::hardware_concurrency();
        return cores == 0 ? 2 : std::min(cores, 4u);
    }
    return std::min(asked, kMaxWorkers);
}

// Deflates one block raw at level 6 with a 32 KiB window. The same bytes come out whichever
// thread does it.
void DeflateBlock(std::unique_ptr<ZlibStream>& stream, DeflateJob& job) {
    if (!stream) {
        auto made = std::make_unique<ZlibStream>(true);
        made->CheckInit(deflateInit2(&made->z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY));
        stream = std::move(made);
    } else {
        stream->Reset();
    }
    z_stream& z = stream->z;
    const CryptoPP::byte* block = job.in.data() + job.windowLength;
    if (job.windowLength > 0 &&
        deflateSetDictionary(&z, job.in.data(), static_cast<uInt>(job.windowLength)) != Z_OK)
        throw std::logic_error("zlib refused a window");
    stream->SetInput(block, job.length);
    job.out.Reserve(deflateBound(&z, static_cast<uLong>(job.length)) + 64, 0);
    std::size_t produced = 0;
    for (;;) {
        z.next_out = job.out.data() + produced;
        z.avail_out = static_cast<uInt>(job.out.capacity() - produced);
        const int ret = deflate(&z, job.flush);
        if (ret == Z_STREAM_ERROR)
            throw std::logic_error("zlib deflate state damaged");
        produced = job.out.capacity() - z.avail_out;
        job.out.Used(produced);
        if (job.flush == Z_FINISH ? ret == Z_STREAM_END : z.avail_in == 0 && z.avail_out != 0)
            break;
        job.out.Reserve(job.out.capacity() * 2, produced);
    }
    job.outLength = produced;
    job.adler = adler32(1, block, static_cast<uInt>(job.length));
}

}  // namespace

ParallelDeflater::ParallelDeflater(CryptoPP::BufferedTransformation* attachment, unsigned workers)
    : CryptoPP::Filter(attachment),
      m_workerCount(ChooseWorkers(workers)),
      m_maxInFlight(kInFlightPerWorker * m_workerCount) {
    // Retiring a job must not fail for want of room to keep it.
    m_spare.reserve(m_maxInFlight + 1);
}

ParallelDeflater::~ParallelDeflater() {
    StopWorkers();
}

size_t ParallelDeflater::Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                              bool blocking) {
    OS::Trace t("ParallelDeflater::Put()");
    if (!blocking)
        throw BlockingInputOnly("ParallelDeflater");
    try {
        while (length > 0) {
            if (!m_current)
                m_current = TakeJob();
            DeflateJob& job = *m_current;
            // A full block goes only when more input shows that it is not the last.
            if (job.length == kBlockSize) {
                Submit(Z_SYNC_FLUSH);
                continue;
            }
            const std::size_t take = std::min(length, kBlockSize - job.length);
            const std::size_t at = job.windowLength + job.length;
            std::memcpy(job.in.data() + at, inString, take);
            job.in.Used(at + take);
            job.length += take;
            inString += take;
            length -= take;
        }
        if (messageEnd) {
            FinishMessage();
            Output(0, nullptr, 0, messageEnd, true);
        }
    } catch (...) {
        Abandon();
        throw;
    }
    return 0;
}

bool ParallelDeflater::IsolatedFlush(bool hardFlush, bool blocking) {
    OS::Trace t("ParallelDeflater::Flush()");
    if (!blocking)
        throw BlockingInputOnly("ParallelDeflater");
    if (!hardFlush)
        return false;
    try {
        if (m_current && m_current->length > 0)
            Submit(Z_SYNC_FLUSH);
        while (!m_inFlight.empty())
            RetireFront();
        SendHeader();
    } catch (...) {
        Abandon();
        throw;
    }
    return false;
}

ParallelDeflater::JobPtr ParallelDeflater::TakeJob() {
    JobPtr job;
    if (m_spare.empty()) {
        job = std::make_unique<DeflateJob>();
        job->in.Reserve(kWindowSize + kBlockSize, 0);
    } else {
        job = std::move(m_spare.back());
        m_spare.pop_back();
    }
    job->windowLength = m_historyLength;
    if (m_historyLength > 0)
        std::memcpy(job->in.data(), m_history.data(), m_historyLength);
    job->in.Used(m_historyLength);
    job->length = 0;
    job->flush = Z_SYNC_FLUSH;
    job->outLength = 0;
    job->adler = 1;
    job->done = false;
    job->error = nullptr;
    return job;
}

void ParallelDeflater::Submit(int flush) {
    JobPtr job = std::move(m_current);
    job->flush = flush;
    // The next block is primed with the window of input before it.
    const std::size_t all = job->windowLength + job->length;
    const std::size_t keep = std::min(all, kWindowSize);
    if (m_history.size() < kWindowSize)
        m_history.New(kWindowSize);
    std::memcpy(m_history.data(), job->in.data() + all - keep, keep);
    m_historyLength = keep;

    if (m_threads.empty())
        StartWorkers();
    while (m_inFlight.size() >= m_maxInFlight)
        RetireFront();
    // In flight first: a job a worker may hold is always one that Abandon stops before freeing.
    m_inFlight.push_back(std::move(job));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(m_inFlight.back().get());
    }
    m_work.notify_one();
    RetireReady();
}

void ParallelDeflater::StartWorkers() {
    m_threads.reserve(m_workerCount);
    for (unsigned i = 0; i < m_workerCount; ++i)
        m_threads.emplace_back([this] { WorkerLoop(); });
}

void ParallelDeflater::StopWorkers() noexcept {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_queue.clear();
    }
    m_work.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
    m_stop = false;
}

void ParallelDeflater::WorkerLoop() {
    std::unique_ptr<ZlibStream> stream;  // this worker's, kept from block to block
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_work.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop)
            return;
        DeflateJob* job = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        try {
            DeflateBlock(stream, *job);
        } catch (...) {
            job->error = std::current_exception();
        }
        lock.lock();
        job->done = true;
        m_done.notify_all();
    }
}

void ParallelDeflater::RetireFront() {
    DeflateJob& job = *m_inFlight.front();
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [&job] { return job.done; });
    }
    if (job.error)
        std::rethrow_exception(job.error);
    Send(job);
    m_spare.push_back(std::move(m_inFlight.front()));
    m_inFlight.pop_front();
}

void ParallelDeflater::RetireReady() {
    while (!m_inFlight.empty()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_inFlight.front()->done)
                return;
        }
        RetireFront();
    }
}

void ParallelDeflater::SendHeader() {
    if (m_headerSent)
        return;
    // Deflate, 32 KiB window, default level, no preset dictionary.
    static const CryptoPP::byte kHeader[2] = {0x78, 0x9C};
    Output(0, kHeader, sizeof kHeader, 0, true);
    m_headerSent = true;
}

void ParallelDeflater::Send(DeflateJob& job) {
    SendHeader();
    for (std::size_t at = 0; at < job.outLength; at += kOutPiece)
        Output(0, job.out.data() + at, std::min(kOutPiece, job.outLength - at), 0, true);
    m_adler = static_cast<std::uint32_t>(
        adler32_combine(m_adler, job.adler, static_cast<z_off_t>(job.length)));
}

void ParallelDeflater::FinishMessage() {
    if (!m_current)
        m_current = TakeJob();
    JobPtr last = std::move(m_current);
    last->flush = Z_FINISH;
    // The calling thread would only wait for the workers: it deflates the last block meanwhile.
    DeflateBlock(m_ownStream, *last);
    while (!m_inFlight.empty())
        RetireFront();
    Send(*last);
    CryptoPP::byte trailer[4];
    CryptoPP::PutWord(false, CryptoPP::BIG_ENDIAN_ORDER, trailer, CryptoPP::word32(m_adler));
    Output(0, trailer, sizeof trailer, 0, true);
    m_spare.push_back(std::move(last));
    m_headerSent = false;
    m_adler = 1;
    m_historyLength = 0;
}

void ParallelDeflater::Abandon() noexcept {
    // Nothing of a half-made stream may reach the next message; no worker may outlive its jobs.
    StopWorkers();
    m_inFlight.clear();
    m_current.reset();
    m_headerSent = false;
    m_adler = 1;
    m_historyLength = 0;
}

}  // namespace CryptoP2
