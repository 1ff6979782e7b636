#include "filters/CbcFilter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "os/Logger.h"

namespace CryptoP2 {
namespace {

constexpr std::size_t kBlock = 16;
constexpr std::size_t kPiece = 65536;

CryptoPP::StreamTransformation& CheckedMode(CryptoPP::StreamTransformation& mode) {
    if (mode.MandatoryBlockSize() != kBlock)
        throw std::invalid_argument("CBC filters take a mode of 16-byte blocks");
    return mode;
}

}  // namespace

CbcEncryptFilter::CbcEncryptFilter(CryptoPP::StreamTransformation& mode,
                                   CryptoPP::BufferedTransformation* attachment)
    : CryptoPP::Filter(attachment), m_mode(&CheckedMode(mode)), m_out(kPiece), m_tail(kBlock) {}

void CbcEncryptFilter::AddTail(const CryptoPP::byte*& in, std::size_t& length) {
    const std::size_t take = std::min(kBlock - m_tailUsed, length);
    std::memcpy(m_tail.data() + m_tailUsed, in, take);
    m_tailUsed += take;
    in += take;
    length -= take;
    if (m_tailUsed == kBlock) {
        m_mode->ProcessData(m_out.data() + m_used, m_tail.data(), kBlock);
        m_used += kBlock;
        m_tailUsed = 0;
    }
}

size_t CbcEncryptFilter::Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                              bool blocking) {
    OS::Trace t("CbcEncryptFilter::Put()");
    if (!blocking)
        throw BlockingInputOnly("CbcEncryptFilter");
    while (length > 0) {
        if (m_tailUsed > 0 || length < kBlock) {
            AddTail(inString, length);
        } else {
            const std::size_t n = std::min(length - length % kBlock, kPiece - m_used);
            m_mode->ProcessData(m_out.data() + m_used, inString, n);
            m_used += n;
            inString += n;
            length -= n;
        }
        if (m_used == kPiece) {
            Output(0, m_out.data(), m_used, 0, true);
            m_used = 0;
        }
    }
    if (messageEnd) {
        const auto pad = static_cast<CryptoPP::byte>(kBlock - m_tailUsed);
        std::memset(m_tail.data() + m_tailUsed, pad, pad);
        m_tailUsed = kBlock;
        m_mode->ProcessData(m_out.data() + m_used, m_tail.data(), kBlock);
        m_used += kBlock;
        m_tailUsed = 0;
    }
    if (m_used > 0) {
        Output(0, m_out.data(), m_used, 0, true);
        m_used = 0;
    }
    if (messageEnd)
        Output(0, nullptr, 0, messageEnd, true);
    return 0;
}

bool CbcEncryptFilter::IsolatedFlush(bool hardFlush, bool blocking) {
    CRYPTOPP_UNUSED(hardFlush);
    CRYPTOPP_UNUSED(blocking);
    return false;
}

CbcDecryptFilter::CbcDecryptFilter(CryptoPP::StreamTransformation& mode,
                                   CryptoPP::BufferedTransformation* attachment)
    : CryptoPP::Filter(attachment),
      m_mode(&CheckedMode(mode)),
      m_out(kPiece + kBlock),
      m_tail(kBlock) {}

void CbcDecryptFilter::PassAllButLast() {
    if (m_used <= kBlock)
        return;
    Output(0, m_out.data(), m_used - kBlock, 0, true);
    std::memmove(m_out.data(), m_out.data() + m_used - kBlock, kBlock);
    m_used = kBlock;
}

size_t CbcDecryptFilter::Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                              bool blocking) {
    OS::Trace t("CbcDecryptFilter::Put()");
    if (!blocking)
        throw BlockingInputOnly("CbcDecryptFilter");
    while (length > 0) {
        if (m_tailUsed > 0 || length < kBlock) {
            const std::size_t take = std::min(kBlock - m_tailUsed, length);
            std::memcpy(m_tail.data() + m_tailUsed, inString, take);
            m_tailUsed += take;
            inString += take;
            length -= take;
            if (m_tailUsed == kBlock) {
                m_mode->ProcessData(m_out.data() + m_used, m_tail.data(), kBlock);
                m_used += kBlock;
                m_tailUsed = 0;
            }
        } else {
            const std::size_t n = std::min(length - length % kBlock, m_out.size() - m_used);
            m_mode->ProcessData(m_out.data() + m_used, inString, n);
            m_used += n;
            inString += n;
            length -= n;
        }
        if (m_used == m_out.size())
            PassAllButLast();
    }
    PassAllButLast();
    if (messageEnd) {
        if (m_tailUsed != 0 || m_used != kBlock)
            throw CryptoPP::InvalidCiphertext(
                "CbcDecryptFilter: ciphertext length is not a multiple of block size");
        const CryptoPP::byte* last = m_out.data();
        const CryptoPP::byte pad = last[kBlock - 1];
        bool good = pad >= 1 && pad <= kBlock;
        for (std::size_t i = 0; good && i < pad; ++i)
            good = last[kBlock - 1 - i] == pad;
        if (!good)
            throw CryptoPP::InvalidCiphertext(
                "CbcDecryptFilter: invalid PKCS #7 block padding found");
        m_used = 0;
        Output(0, last, kBlock - pad, 0, true);
        Output(0, nullptr, 0, messageEnd, true);
    }
    return 0;
}

bool CbcDecryptFilter::IsolatedFlush(bool hardFlush, bool blocking) {
    CRYPTOPP_UNUSED(hardFlush);
    CRYPTOPP_UNUSED(blocking);
    return false;
}

}  // namespace CryptoP2
