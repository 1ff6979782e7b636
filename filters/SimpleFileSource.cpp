#include "filters/SimpleFileSource.h"

#include <algorithm>
#include <climits>

#include "os/Logger.h"

namespace CryptoP2 {

SimpleFileSource::SimpleFileSource(OS::ReadFile& file, bool pumpAll,
                                   CryptoPP::BufferedTransformation* attachment)
    : SimpleFileSource(file, kNoLimit, pumpAll, attachment) {}

SimpleFileSource::SimpleFileSource(OS::ReadFile& file, std::uint64_t limit, bool pumpAll,
                                   CryptoPP::BufferedTransformation* attachment)
    : CryptoPP::Source(attachment), m_file(&file), m_buffer(kBlockSize), m_remaining(limit) {
    OS::Trace t("SimpleFileSource::SimpleFileSource()");
    if (pumpAll)
        SimpleFileSource::PumpAll2(true);
}

size_t SimpleFileSource::Pump2(CryptoPP::lword& byteCount, bool blocking) {
    OS::Trace t("SimpleFileSource::Pump()");
    CRYPTOPP_UNUSED(blocking);  // every stage downstream takes its input whole
    Step(byteCount, false);
    return 0;
}

void SimpleFileSource::Step(CryptoPP::lword& byteCount, bool endOnShortRead) {
    // Asking for nothing is not the end of the file; only a read that finds no more data is.
    if (m_exhausted || byteCount == 0) {
        byteCount = 0;
        return;
    }
    const std::uint64_t n =
        std::min<std::uint64_t>({m_remaining, std::uint64_t(byteCount), kBlockSize});
    const std::size_t got = n ? m_file->Read(m_buffer.data(), std::size_t(n)) : 0;
    m_remaining -= got;
    byteCount = got;
    if (got > 0) {
        AttachedTransformation()->Put2(m_buffer.data(), got, 0, true);
        // A file gives fewer bytes than asked only at its end: pumping it whole, asking again
        // would cost a call per file for nothing.
        if (endOnShortRead && got < n) {
            m_exhausted = true;
            AttachedTransformation()->MessageEnd(-1, true);
        }
    } else {
        m_exhausted = true;
        AttachedTransformation()->MessageEnd(-1, true);
    }
}

size_t SimpleFileSource::PumpMessages2(unsigned int& messageCount, bool blocking) {
    OS::Trace t("SimpleFileSource::PumpMessages()");
    CRYPTOPP_UNUSED(blocking);
    const unsigned int wanted = messageCount;
    messageCount = 0;
    if (wanted == 0 || m_exhausted)
        return 0;
    CryptoPP::lword moved;
    do {
        moved = CryptoPP::LWORD_MAX;
        Step(moved, true);
    } while (moved != 0);
    messageCount = 1;
    return 0;
}

size_t SimpleFileSource::PumpAll2(bool blocking) {
    OS::Trace t("SimpleFileSource::PumpAll()");
    unsigned int messages = UINT_MAX;
    return PumpMessages2(messages, blocking);
}

}  // namespace CryptoP2
