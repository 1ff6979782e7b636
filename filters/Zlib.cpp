#include "filters/Zlib.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "filters/ZlibStream.h"
#include "os/Logger.h"

namespace CryptoP2 {
namespace {

constexpr std::size_t kOutSize = 65536;
// zlib counts input in 32-bit words; larger puts go in pieces.
constexpr std::size_t kMaxPiece = std::size_t(1) << 30;
constexpr std::size_t kHeader = alignof(std::max_align_t);

int CheckedLevel(int level) {
    if (level < -1 || level > 9)
        throw std::invalid_argument("ZlibDeflater level must be -1 or 0 to 9");
    return level;
}

}  // namespace

namespace detail {

voidpf WipingAlloc(voidpf, uInt items, uInt size) {
    const std::size_t bytes = std::size_t(items) * size;
    if (size != 0 && bytes / size != items)
        return Z_NULL;
    auto* block = static_cast<unsigned char*>(std::malloc(bytes + kHeader));
    if (!block)
        return Z_NULL;
    std::memcpy(block, &bytes, sizeof bytes);
    return block + kHeader;
}

void WipingFree(voidpf, voidpf address) {
    if (!address)
        return;
    auto* block = static_cast<unsigned char*>(address) - kHeader;
    std::size_t bytes = 0;
    std::memcpy(&bytes, block, sizeof bytes);
    CryptoPP::SecureWipeBuffer(static_cast<unsigned char*>(address), bytes);
    std::free(block);
}

}  // namespace detail

ZlibDeflater::ZlibDeflater(CryptoPP::BufferedTransformation* attachment, int level)
    : CryptoPP::Filter(attachment),
      m_stream(std::make_unique<detail::ZlibStream>(true)),
      m_out(kOutSize) {
    m_stream->CheckInit(
        deflateInit2(&m_stream->z, CheckedLevel(level), Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY));
}

ZlibDeflater::~ZlibDeflater() = default;

size_t ZlibDeflater::Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                          bool blocking) {
    OS::Trace t("ZlibDeflater::Put()");
    if (!blocking)
        throw BlockingInputOnly("ZlibDeflater");
    try {
        // No flush between puts: the stream is the same however the input is split.
        while (length > 0) {
            const std::size_t piece = std::min(length, kMaxPiece);
            m_stream->SetInput(inString, piece);
            inString += piece;
            length -= piece;
            Run(Z_NO_FLUSH);
        }
        if (messageEnd) {
            Run(Z_FINISH);
            m_stream->Reset();
            Output(0, nullptr, 0, messageEnd, true);
        }
    } catch (...) {
        // A half-made stream must not become the start of the next message.
        m_stream->SetInput(nullptr, 0);
        m_stream->Reset();
        throw;
    }
    return 0;
}

bool ZlibDeflater::IsolatedFlush(bool hardFlush, bool blocking) {
    OS::Trace t("ZlibDeflater::Flush()");
    if (!blocking)
        throw BlockingInputOnly("ZlibDeflater");
    if (hardFlush)
        Run(Z_SYNC_FLUSH);
    return false;
}

void ZlibDeflater::Run(int flush) {
    z_stream& z = m_stream->z;
    for (;;) {
        z.next_out = m_out.data();
        z.avail_out = static_cast<uInt>(m_out.size());
        const int ret = deflate(&z, flush);
        // Z_BUF_ERROR only says that nothing was left to do.
        if (ret == Z_STREAM_ERROR)
            throw std::logic_error("zlib deflate state damaged");
        const std::size_t produced = m_out.size() - z.avail_out;
        if (produced > 0)
            Output(0, m_out.data(), produced, 0, true);
        if (flush == Z_FINISH ? ret == Z_STREAM_END : z.avail_in == 0 && z.avail_out != 0)
            return;
    }
}

ZlibInflater::ZlibInflater(CryptoPP::BufferedTransformation* attachment)
    : CryptoPP::Filter(attachment),
      m_stream(std::make_unique<detail::ZlibStream>(false)),
      m_out(kOutSize) {
    m_stream->CheckInit(inflateInit2(&m_stream->z, 15));
}

ZlibInflater::~ZlibInflater() = default;

size_t ZlibInflater::Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                          bool blocking) {
    OS::Trace t("ZlibInflater::Put()");
    if (!blocking)
        throw BlockingInputOnly("ZlibInflater");
    z_stream& z = m_stream->z;
    try {
        while (length > 0) {
            if (m_ended)
                throw Err(kTrailing);
            const std::size_t piece = std::min(length, kMaxPiece);
            m_stream->SetInput(inString, piece);
            inString += piece;
            length -= piece;
            // Each round gives at most one output block, so a stream that inflates to any size
            // needs no more memory than this.
            for (;;) {
                z.next_out = m_out.data();
                z.avail_out = static_cast<uInt>(m_out.size());
                const int ret = inflate(&z, Z_NO_FLUSH);
                if (ret == Z_MEM_ERROR)
                    throw std::bad_alloc();
                if (ret == Z_DATA_ERROR || ret == Z_NEED_DICT || ret == Z_STREAM_ERROR)
                    throw Err(kDamaged);
                const std::size_t produced = m_out.size() - z.avail_out;
                // A stream that claims a small size may inflate without end: stop at once.
                if (m_limited && produced > m_expected - m_produced)
                    throw Err(kTooLong);
                m_produced += produced;
                if (produced > 0)
                    Output(0, m_out.data(), produced, 0, true);
                if (ret == Z_STREAM_END) {
                    m_ended = true;
                    if (z.avail_in != 0)
                        throw Err(kTrailing);
                    break;
                }
                // Z_BUF_ERROR: nothing more to give until more input arrives.
                if (z.avail_in == 0 && z.avail_out != 0)
                    break;
                if (ret == Z_BUF_ERROR && z.avail_out != 0)
                    throw Err(kDamaged);
            }
        }
        if (messageEnd) {
            if (!m_ended)
                throw Err(kIncomplete);
            if (m_limited && m_produced != m_expected)
                throw Err(kTooShort);
            m_stream->Reset();
            m_ended = false;
            m_produced = 0;
            Output(0, nullptr, 0, messageEnd, true);
        }
    } catch (...) {
        // After an error (or a failing stage further on) the next message starts afresh.
        m_stream->SetInput(nullptr, 0);
        m_stream->Reset();
        m_ended = false;
        m_produced = 0;
        throw;
    }
    return 0;
}

bool ZlibInflater::IsolatedFlush(bool hardFlush, bool blocking) {
    CRYPTOPP_UNUSED(hardFlush);
    if (!blocking)
        throw BlockingInputOnly("ZlibInflater");
    // Everything inflated so far has already been passed on.
    return false;
}

}  // namespace CryptoP2
