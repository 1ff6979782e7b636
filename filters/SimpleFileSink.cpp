#include "filters/SimpleFileSink.h"

#include <algorithm>

#include "os/Logger.h"

namespace FCryptEng {

WriteErrorHandler::~WriteErrorHandler() = default;

}  // namespace FCryptEng

namespace CryptoP2 {

SimpleFileSink::SimpleFileSink(OS::WriteFile& file, FCryptEng::WriteErrorHandler* handler,
                               bool syncAtEnd)
    : m_file(&file), m_handler(handler), m_syncAtEnd(syncAtEnd) {}

size_t SimpleFileSink::Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                            bool blocking) {
    OS::Trace t("SimpleFileSink::Put()");
    CRYPTOPP_UNUSED(blocking);
    std::size_t done = 0;
    while (done < length) {
        std::size_t written = 0;
        try {
            m_file->Write(inString + done, length - done, &written);
            done = length;
        } catch (const OS::File::Error& e) {
            if (!m_handler || !m_handler->RetryWrite(e.code))
                throw;
            done += std::min(written, length - done);
        }
    }
    if (messageEnd && m_syncAtEnd)
        m_file->Flush();
    return 0;
}

bool SimpleFileSink::IsolatedFlush(bool hardFlush, bool blocking) {
    OS::Trace t("SimpleFileSink::Flush()");
    CRYPTOPP_UNUSED(hardFlush);
    CRYPTOPP_UNUSED(blocking);
    if (m_syncAtEnd)
        m_file->Flush();
    return false;
}

}  // namespace CryptoP2
