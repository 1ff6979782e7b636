#include "filters/SeparateHashFilter.h"

#include "os/Logger.h"

namespace CryptoP2 {

SeparateHashFilter::SeparateHashFilter(CryptoPP::HashTransformation& hash,
                                       CryptoPP::BufferedTransformation* attachment,
                                       PipelineWorker* worker)
    : CryptoPP::Filter(attachment), m_hash(&hash), m_worker(worker) {}

SeparateHashFilter::~SeparateHashFilter() {
    // The worker may still be reading into the hash, which its owner is about to release.
    if (m_worker)
        m_worker->Settle();
}

size_t SeparateHashFilter::Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                                bool blocking) {
    OS::Trace t("SeparateHashFilter::Put()");
    if (!blocking)
        throw BlockingInputOnly("SeparateHashFilter");
    if (length > 0) {
        if (m_worker) {
            CryptoPP::HashTransformation* hash = m_hash;
            m_worker->Post(inString, length, [hash](const CryptoPP::byte* data, std::size_t n) {
                hash->Update(data, n);
            });
        } else {
            m_hash->Update(inString, length);
        }
    }
    const size_t result = Output(0, inString, length, 0, true);
    if (messageEnd) {
        // The digest is complete before anyone downstream learns that the message has ended.
        if (m_worker)
            m_worker->Drain();
        return Output(0, nullptr, 0, messageEnd, true);
    }
    return result;
}

bool SeparateHashFilter::IsolatedFlush(bool hardFlush, bool blocking) {
    CRYPTOPP_UNUSED(hardFlush);
    CRYPTOPP_UNUSED(blocking);
    if (m_worker)
        m_worker->Drain();
    return false;
}

}  // namespace CryptoP2
