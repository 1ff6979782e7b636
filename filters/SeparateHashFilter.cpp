#include "filters/SeparateHashFilter.h"

#include "os/Logger.h"

namespace CryptoP2 {

SeparateHashFilter::SeparateHashFilter(CryptoPP::HashTransformation& hash,
                                       CryptoPP::BufferedTransformation* attachment)
    : CryptoPP::Filter(attachment), m_hash(&hash) {}

size_t SeparateHashFilter::Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                                bool blocking) {
    OS::Trace t("SeparateHashFilter::Put()");
    if (!blocking)
        throw BlockingInputOnly("SeparateHashFilter");
    if (length > 0)
        m_hash->Update(inString, length);
    return Output(0, inString, length, messageEnd, true);
}

bool SeparateHashFilter::IsolatedFlush(bool hardFlush, bool blocking) {
    CRYPTOPP_UNUSED(hardFlush);
    CRYPTOPP_UNUSED(blocking);
    return false;
}

}  // namespace CryptoP2
