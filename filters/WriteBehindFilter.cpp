#include "filters/WriteBehindFilter.h"

#include <algorithm>
#include <cstring>

#include "os/Logger.h"

namespace CryptoP2 {
namespace {

constexpr std::size_t kSize = PipelineWorker::kSlotSize;

}  // namespace

WriteBehindFilter::WriteBehindFilter(PipelineWorker* worker,
                                     CryptoPP::BufferedTransformation* attachment)
    : CryptoPP::Filter(attachment), m_worker(nullptr) {
    SetWorker(worker);
}

WriteBehindFilter::~WriteBehindFilter() {
    // The worker may still be passing blocks to the attachment, which goes with this filter.
    if (m_worker)
        m_worker->Settle();
}

void WriteBehindFilter::SetWorker(PipelineWorker* worker) {
    if (worker == m_worker)
        return;
    // What was gathered goes on the old way first, in order.
    if (m_block)
        PassGathered();
    Drain();
    m_worker = worker;
    m_block = nullptr;
}

void WriteBehindFilter::Drain() {
    if (m_worker)
        m_worker->Drain();
}

void WriteBehindFilter::PassGathered() {
    const std::size_t used = m_used;
    m_used = 0;
    if (!m_block)
        return;
    if (m_worker) {
        m_block = nullptr;
        CryptoPP::BufferedTransformation* next = AttachedTransformation();
        m_worker->Submit(used, [next](const CryptoPP::byte* data, std::size_t n) {
            next->Put2(data, n, 0, true);
        });
    } else {
        Output(0, m_block, used, 0, true);
    }
}

size_t WriteBehindFilter::Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                               bool blocking) {
    OS::Trace t("WriteBehindFilter::Put()");
    if (!blocking)
        throw BlockingInputOnly("WriteBehindFilter");
    while (length > 0) {
        if (!m_block) {
            if (m_worker) {
                m_block = m_worker->Reserve();
            } else {
                if (m_own.size() != kSize)
                    m_own.New(kSize);
                m_block = m_own.data();
            }
        }
        // A full block waits for the next byte: it may be the message's last.
        if (m_used == kSize)
            PassGathered();
        if (!m_block)
            continue;
        const std::size_t part = std::min(length, kSize - m_used);
        std::memcpy(m_block + m_used, inString, part);
        m_used += part;
        inString += part;
        length -= part;
    }
    if (messageEnd) {
        if (m_block)
            PassGathered();
        Drain();
        return Output(0, nullptr, 0, messageEnd, true);
    }
    return 0;
}

bool WriteBehindFilter::IsolatedFlush(bool hardFlush, bool blocking) {
    OS::Trace t("WriteBehindFilter::Flush()");
    CRYPTOPP_UNUSED(hardFlush);
    if (!blocking)
        throw BlockingInputOnly("WriteBehindFilter");
    if (m_block)
        PassGathered();
    Drain();
    return false;
}

}  // namespace CryptoP2
