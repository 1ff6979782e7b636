// zlib's stream state for the deflaters and the inflater of this folder. zlib's window and hash
// tables hold plaintext, so every allocation it makes is wiped before release.
#pragma once

#define ZLIB_CONST
#include <cryptopp/config.h>
#include <zlib.h>

#include <cstddef>
#include <new>
#include <stdexcept>

namespace CryptoP2 {
namespace detail {

voidpf WipingAlloc(voidpf opaque, uInt items, uInt size);
void WipingFree(voidpf opaque, voidpf address);

// Kept behind a pointer by its owners because zlib refuses a stream that has moved.
struct ZlibStream {
    explicit ZlibStream(bool deflate) : deflating(deflate) {
        z.zalloc = WipingAlloc;
        z.zfree = WipingFree;
        z.opaque = Z_NULL;
    }
    ~ZlibStream() {
        if (!initialised)
            return;
        if (deflating)
            deflateEnd(&z);
        else
            inflateEnd(&z);
    }
    ZlibStream(const ZlibStream&) = delete;
    ZlibStream& operator=(const ZlibStream&) = delete;

    // Raises for a failed init; only memory or a bad parameter can make it fail.
    void CheckInit(int ret) {
        if (ret == Z_MEM_ERROR)
            throw std::bad_alloc();
        if (ret != Z_OK)
            throw std::invalid_argument("zlib refused its parameters");
        initialised = true;
    }

    void Reset() {
        if (deflating)
            deflateReset(&z);
        else
            inflateReset(&z);
    }

    void SetInput(const CryptoPP::byte* data, std::size_t length) {
        z.next_in = data;
        z.avail_in = static_cast<uInt>(length);
    }

    z_stream z{};
    bool deflating;
    bool initialised = false;
};

}  // namespace detail
}  // namespace CryptoP2
