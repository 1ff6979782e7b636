// Fuzzes the data-recovery configuration: the input is a whole "Data Recovery.bin", written to a
// scratch file of this process and opened. A configuration that parses is put to use: its
// names are listed, it makes an administrators' entry, and that entry is written and read back.
#include <sys/stat.h>
#include <unistd.h>

#include <cryptopp/queue.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "recovery/AdminKeyEntry.h"
#include "recovery/AdminRecovery.h"
#include "recovery/Signed.h"

namespace {

using namespace FCryptEng;

using cryvan_fuzz::NoAnswers;

using cryvan_fuzz::ScratchPath;

void Use(const AdminRecovery& config) {
    const std::uint16_t n = config.GetN();
    if (config.GetK() > n || config.GetName(n))
        __builtin_trap();
    for (std::uint16_t i = 0; i < n; ++i) {
        const std::optional<std::string> name = config.GetName(i);
        if (!name || !config.Exists(*name))
            __builtin_trap();
    }
    std::unique_ptr<KeyEntry> made;
    CryptoPP::ByteQueue body;
    try {
        made = config.MakeKeyEntry();
        made->SetKeys(KeySet(true));
        made->PutBody(body);
        // An entry too large for its 16-bit size is refused.
        made->BodySize();
    } catch (const KeyPair::Err&) {
        return;
    } catch (const FooterEntry::Err&) {
        return;
    } catch (const AdminRecovery::Err&) {
        return;
    }
    if (body.MaxRetrievable() != made->CalcBodySize())
        __builtin_trap();
    NoAnswers callback;
    std::unique_ptr<KeyEntry> read =
        AdminKeyEntry::Read(&callback, body, std::uint32_t(made->CalcBodySize()));
    if (static_cast<AdminKeyEntry&>(*read).GetN() != n || body.MaxRetrievable() != 0)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cryvan_fuzz::WriteScratch(data, size);
    NoAnswers callback;
    AdminRecovery config(&callback);
    try {
        config.Open(ScratchPath());
    } catch (const AdminRecovery::Err&) {
        return 0;
    } catch (const AdminRecovery::Null&) {
        return 0;
    } catch (const KeyPair::Err&) {
        return 0;
    } catch (const Signed::Err&) {
        return 0;
    }
    Use(config);
    return 0;
}
