// Emergency-password files from hostile bytes: each input is a whole "Emergency Password.bin",
// opened the way the program opens it, and a record that parses is checked and made into a key
// entry that is written, read back and tried. Only the documented exceptions may come out.
#include <cryptopp/queue.h>
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "format/KeyEntry.h"
#include "format/KeySet.h"
#include "fuzz/FuzzSupport.h"
#include "recovery/EmergencyPassword.h"
#include "recovery/Signed.h"

namespace {

using FCryptEng::EmergencyPassword;
using FCryptEng::KeyEntry;
using FCryptEng::KeyPair;
using FCryptEng::UnlockResult;

using cryvan_fuzz::ScratchPath;
using cryvan_fuzz::WriteScratch;

bool Opened(EmergencyPassword& record) {
    try {
        record.Open(ScratchPath());
        return true;
    } catch (const FCryptEng::Signed::Null&) {
    } catch (const FCryptEng::Signed::Err&) {
    } catch (const KeyPair::Err&) {
    } catch (const EmergencyPassword::Err&) {
    }
    return false;
}

void UseKeyEntry(const EmergencyPassword& record) {
    std::unique_ptr<KeyEntry> entry;
    try {
        entry = record.MakeKeyEntry();
    } catch (const EmergencyPassword::Err&) {
        return;
    } catch (const KeyPair::Err&) {
        return;
    }
    const FCryptEng::KeySet keys(false);
    entry->SetKeys(keys);
    CryptoPP::ByteQueue body;
    entry->PutBody(body);
    if (body.MaxRetrievable() != entry->CalcBodySize())
        __builtin_trap();

    FCryptEng::EmergencyPasswordKeyEntry read(body, entry->CalcBodySize());
    if (body.MaxRetrievable() != 0)
        __builtin_trap();
    std::unique_ptr<FCryptEng::KeySet> out;
    try {
        // The seeds are sealed under "fuzz"; a sealed key that opens but is damaged raises.
        if (read.TryPassword("fuzz", out) == UnlockResult::Unlocked &&
            (!out || !out->EncKey() || *out->EncKey() != *keys.EncKey()))
            __builtin_trap();
    } catch (const KeyPair::Err&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WriteScratch(data, size);
    EmergencyPassword record;
    if (!Opened(record))
        return 0;
    record.CheckSignature(record.GetKeyPair());
    EmergencyPassword copy(record);
    UseKeyEntry(copy);
    return 0;
}
