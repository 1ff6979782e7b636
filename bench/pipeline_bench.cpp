// Streams a generated file through the encryption pipeline to disk and back, checks that the
// MAC and every byte survive, and prints throughput, key derivation cost and peak memory.
#include <cryptopp/aes.h>
#include <cryptopp/files.h>
#include <cryptopp/hex.h>
#include <cryptopp/hmac.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "filters/BufferingFilter.h"
#include "filters/KeyDerivation.h"
#include "filters/ProgressFilter.h"
#include "filters/Random.h"
#include "filters/SeparateHashFilter.h"
#include "filters/SimpleFileSink.h"
#include "filters/SimpleFileSource.h"
#include "format/KeySet.h"
#include "os/File.h"

namespace {

using Clock = std::chrono::steady_clock;
using CryptoPP::SecByteBlock;

constexpr std::uint32_t kBlock = 65536;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

long PeakRssKiB() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// Half random bytes, half text, so that the file looks like real data.
void MakeInput(const std::string& name, std::uint64_t bytes) {
    OS::WriteFile out(name, 2);
    out.Open();
    SecByteBlock block(kBlock);
    const char* text = "The quick brown fox jumps over the lazy dog. 0123456789\n";
    for (std::uint64_t done = 0; done < bytes; done += block.size()) {
        if ((done / kBlock) % 2 == 0) {
            CryptoP2::GlobalRNG().GenerateBlock(block, block.size());
        } else {
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = text[i % 56];
        }
        out.Write(block, std::size_t(std::min<std::uint64_t>(block.size(), bytes - done)));
    }
    out.Close();
}

SecByteBlock FileDigest(const std::string& name) {
    CryptoPP::SHA256 sha;
    OS::ReadFile in(name);
    in.Open();
    CryptoP2::SimpleFileSource(in, true,
                               new CryptoP2::SeparateHashFilter(sha, new CryptoPP::BitBucket));
    SecByteBlock digest(sha.DigestSize());
    sha.Final(digest);
    return digest;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = "/tmp";
    std::uint64_t mib = 64;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--dir"))
            dir = argv[i + 1];
        if (!std::strcmp(argv[i], "--mib"))
            mib = std::strtoull(argv[i + 1], nullptr, 10);
    }
    const std::string plain = dir + "/plain.bin", sealed = dir + "/sealed.bin",
                      restored = dir + "/restored.bin";
    const std::uint64_t bytes = mib << 20;

    try {
        MakeInput(plain, bytes);

        // The file's own keys, sealed under a password-derived key and opened again, as a
        // container does it.
        auto t0 = Clock::now();
        SecByteBlock salt(16);
        CryptoP2::GlobalRNG().GenerateBlock(salt, salt.size());
        const SecByteBlock wrapper = CryptoP2::DerivePasswordKey("correct horse", salt);
        const double deriveSeconds = Seconds(t0);
        FCryptEng::KeySet keys(true);
        FCryptEng::KeySet copy(keys);
        copy.Wrap(wrapper);
        if (!copy.Unwrap(wrapper))
            throw std::runtime_error("key set did not unwrap");

        // plain -> progress -> HMAC -> AES-128-CBC -> buffering -> progress -> file
        OS::ProgressWord inBytes{0}, outBytes{0}, itemPercent{0}, overall{0};
        OS::CancelFlag cancel{0};
        CryptoPP::HMAC<CryptoPP::SHA256> mac(*copy.MacKey(), copy.MacKey()->size());
        CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption enc(*copy.EncKey(), 16, *copy.IV());
        t0 = Clock::now();
        {
            OS::ReadFile in(plain);
            in.Open();
            OS::WriteFile out(sealed, 2, true);
            out.Open();
            CryptoP2::SimpleFileSource(
                in, true,
                new CryptoP2::ProgressFilter(
                    &inBytes, &cancel, &itemPercent, std::uint32_t(bytes), &overall, 100,
                    new CryptoP2::BufferingFilter(
                        kBlock,
                        new CryptoP2::SeparateHashFilter(
                            mac, new CryptoPP::StreamTransformationFilter(
                                     enc, new CryptoP2::BufferingFilter(
                                              kBlock,
                                              new CryptoP2::ProgressFilter(
                                                  &outBytes, nullptr, nullptr, 0, nullptr, 0,
                                                  new CryptoP2::SimpleFileSink(out, nullptr))))))));
            out.Close();
        }
        const double encSeconds = Seconds(t0);
        SecByteBlock written(mac.DigestSize());
        mac.Final(written);

        CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption dec(*keys.EncKey(), 16, *keys.IV());
        CryptoPP::HMAC<CryptoPP::SHA256> check(*keys.MacKey(), keys.MacKey()->size());
        t0 = Clock::now();
        {
            OS::ReadFile in(sealed);
            in.Open();
            OS::WriteFile out(restored, 2, true);
            out.Open();
            CryptoP2::SimpleFileSource(
                in, true,
                new CryptoPP::StreamTransformationFilter(
                    dec, new CryptoP2::SeparateHashFilter(
                             check, new CryptoP2::BufferingFilter(
                                        kBlock, new CryptoP2::SimpleFileSink(out, nullptr)))));
            out.Close();
        }
        const double decSeconds = Seconds(t0);
        SecByteBlock read(check.DigestSize());
        check.Final(read);

        const bool macOk = CryptoPP::VerifyBufsEqual(written, read, read.size());
        const bool bytesOk = FileDigest(plain) == FileDigest(restored);
        const double mb = double(bytes) / (1 << 20);
        std::printf("round trip of %.0f MiB through the file pipeline\n", mb);
        std::printf("  encrypt  %8.1f MiB/s  (%u%% reported, %u bytes written)\n", mb / encSeconds,
                    unsigned(overall.load()), unsigned(outBytes.load()));
        std::printf("  decrypt  %8.1f MiB/s\n", mb / decSeconds);
        std::printf("  PBKDF2   %8.2f ms per password key\n", deriveSeconds * 1000);
        std::printf("  peak RSS %8ld KiB\n", PeakRssKiB());
        std::printf("  MAC %s, content %s\n", macOk ? "verified" : "MISMATCH",
                    bytesOk ? "identical" : "DIFFERENT");
        std::remove(plain.c_str());
        std::remove(sealed.c_str());
        std::remove(restored.c_str());
        return macOk && bytesOk ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 2;
    }
}
