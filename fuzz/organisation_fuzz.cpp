// Organisation records from hostile bytes: each input is a whole "Organisation.bin", opened the
// way the program opens it and self-checked. A record that parses must write a body that reads
// back to itself (the signature covers the body as written), and its sealed key is tried. Only
// the documented exceptions may come out.
#include <cryptopp/queue.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "format/KeyPair.h"
#include "fuzz/FuzzSupport.h"
#include "os/File.h"
#include "recovery/Organisation.h"
#include "recovery/Signed.h"

namespace {

using FCryptEng::KeyPair;
using FCryptEng::Organisation;

// Opening takes a path: one file per process in memory-backed storage, removed at exit.
using cryvan_fuzz::ScratchPath;
using cryvan_fuzz::WriteScratch;

bool Opened(Organisation& record) {
    try {
        record.Open(ScratchPath());
        return true;
    } catch (const FCryptEng::Signed::Null&) {
    } catch (const FCryptEng::Signed::Err&) {
    } catch (const KeyPair::Err&) {
    } catch (const Organisation::Err&) {
    }
    return false;
}

std::string Body(const Organisation& record) {
    CryptoPP::ByteQueue body;
    record.Write(body);
    std::string bytes(static_cast<size_t>(body.MaxRetrievable()), '\0');
    body.Get(reinterpret_cast<CryptoPP::byte*>(bytes.data()), bytes.size());
    return bytes;
}

void UseRecord(const Organisation& record, const uint8_t* data, size_t size) {
    // Keys may be re-encoded canonically, so the body written is a fixed point rather than the
    // input itself: read back, it writes the same bytes and the same fields.
    const std::string body = Body(record);
    CryptoPP::ByteQueue queue;
    queue.Put(reinterpret_cast<const CryptoPP::byte*>(body.data()), body.size());
    Organisation again;
    again.Read(queue);
    if (queue.MaxRetrievable() != 0 || Body(again) != body || again.Name() != record.Name() ||
        again.Flags() != record.Flags())
        __builtin_trap();
    if (record.Fingerprint().size() != 64)
        __builtin_trap();
    try {
        // Seeds are sealed under "fuzz password" (cryvan-org makes them); a key that opens must
        // sign what the record checks.
        if (const auto key = record.OpenKey("fuzz password")) {
            const auto signature = key->Sign(data, size);
            if (!signature ||
                !record.Keys().CheckSignature(data, size, signature->data(), signature->size()))
                __builtin_trap();
        }
    } catch (const KeyPair::Err&) {
    } catch (const Organisation::Err&) {
    } catch (const OS::File::Error&) {
        // A record that keeps its key apart: no key file beside the scratch file.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WriteScratch(data, size);
    Organisation record;
    if (!Opened(record))
        return 0;
    record.Check();
    UseRecord(record, data, size);
    return 0;
}
