// Measures the engine's encryption and decryption throughput against the serial and the
// two-core pipelined limits of the work it cannot avoid (AES-128-CBC, HMAC-SHA256 and one
// read-and-write copy of the data), and prints peak memory. It checks every round trip by SHA-256
// and asserts nothing about speed.
//
// Work happens in a tmpfs by default: this machine pages out idle file cache after about a
// minute, so every round touches every file, outputs keep their names from round to round, and a
// warm-up round precedes the timed ones.
#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/hmac.h>
#include <cryptopp/modes.h>
#include <cryptopp/secblock.h>
#include <cryptopp/sha.h>
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "engine/FileCryptor.h"
#include "filters/Random.h"
#include "os/File.h"

namespace {

using Clock = std::chrono::steady_clock;
using CryptoPP::SecByteBlock;

constexpr std::size_t kBlock = 65536;
const char kPassword[] = "benchmark password";

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Answers every question without a user: overwrite yes, everything else no.
class SilentCallback : public FCryptEng::SilentCallback {
  public:
    bool ConfirmOverwrite(const std::string&, bool, FCryptEng::OverwriteFlags&) override {
        return true;
    }
};

long PeakRssKiB() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// A "Vm...:" line of /proc/self/status in KiB, or -1.
long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
            return std::strtol(line.c_str() + n + 1, nullptr, 10);
    }
    return -1;
}

// Words and line ends from a fixed vocabulary: compresses roughly as prose does.
class TextMaker {
  public:
    void Fill(CryptoPP::byte* out, std::size_t size) {
        static const char* const kWords[] = {
            "the",    "container", "holds", "every",    "file",   "and",    "folder",
            "of",     "a",         "user",  "password", "key",    "stored", "encrypted",
            "to",     "directory", "with",  "its",      "times",  "size",   "name",
            "is",     "in",        "data",  "recovery", "each",   "block",  "stream",
            "output", "written",   "read",  "progress", "filter", "window", "percent"};
        constexpr std::size_t kCount = sizeof kWords / sizeof kWords[0];
        for (std::size_t at = 0; at < size;) {
            if (m_pending.empty()) {
                m_pending = kWords[Next() % kCount];
                m_pending += Next() % 11 == 0 ? ".\n" : " ";
            }
            const std::size_t take = std::min(size - at, m_pending.size());
            std::memcpy(out + at, m_pending.data(), take);
            m_pending.erase(0, take);
            at += take;
        }
    }

  private:
    std::uint64_t Next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    std::uint64_t m_state = 0x9E3779B97F4A7C15ull;
    std::string m_pending;
};

void MakeInput(const std::string& name, std::uint64_t bytes, bool text) {
    OS::WriteFile out(name, OS::WriteMode::Replace);
    out.Open();
    SecByteBlock block(kBlock);
    TextMaker maker;
    for (std::uint64_t done = 0; done < bytes; done += kBlock) {
        const std::size_t n = std::size_t(std::min<std::uint64_t>(kBlock, bytes - done));
        if (text)
            maker.Fill(block, n);
        else
            CryptoP2::GlobalRNG().GenerateBlock(block, n);
        out.Write(block, n);
    }
    out.Close();
}

SecByteBlock FileDigest(const std::string& name) {
    CryptoPP::SHA256 sha;
    OS::ReadFile in(name);
    in.Open();
    SecByteBlock block(kBlock);
    while (const std::size_t n = in.Read(block, block.size()))
        sha.Update(block, n);
    SecByteBlock digest(sha.DigestSize());
    sha.Final(digest);
    return digest;
}

std::uint64_t FileSize(const std::string& name) {
    return OS::File::Info(name, false).Size();
}

struct PrimitiveTimes {
    double aesEnc = 0, aesDec = 0, hmac = 0, deflate = 0, inflate = 0;
    // Other ways through Crypto++ to the same AES-CBC bytes, against the engine's (aesEnc).
    double aesEncInPlace = 0, aesEncFilter = 0;
    bool ok = true;
};

// zlib at the engine's settings, timed apart from the AES and HMAC rows: what the compressed
// path adds. Inflates each piece as it comes, so nothing grows with the file.
class ZlibTimer {
  public:
    ZlibTimer() : m_zipped(kBlock), m_unzipped(kBlock) {
        if (deflateInit2(&m_def, 6, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK ||
            inflateInit2(&m_inf, 15) != Z_OK)
            throw std::runtime_error("zlib did not start");
    }
    ~ZlibTimer() {
        deflateEnd(&m_def);
        inflateEnd(&m_inf);
    }
    ZlibTimer(const ZlibTimer&) = delete;
    ZlibTimer& operator=(const ZlibTimer&) = delete;

    // An empty last call finishes the stream.
    void Deflate(const CryptoPP::byte* data, std::size_t n, bool last, PrimitiveTimes& t) {
        m_def.next_in = const_cast<CryptoPP::byte*>(data);
        m_def.avail_in = static_cast<uInt>(n);
        for (;;) {
            m_def.next_out = m_zipped;
            m_def.avail_out = static_cast<uInt>(m_zipped.size());
            const auto t0 = Clock::now();
            const int ret = deflate(&m_def, last ? Z_FINISH : Z_NO_FLUSH);
            t.deflate += Seconds(t0);
            Inflate(m_zipped.size() - m_def.avail_out, t);
            if (last ? ret == Z_STREAM_END : m_def.avail_in == 0 && m_def.avail_out != 0)
                break;
        }
    }
    std::uint64_t Inflated() const { return m_inflated; }

  private:
    void Inflate(std::size_t n, PrimitiveTimes& t) {
        m_inf.next_in = m_zipped;
        m_inf.avail_in = static_cast<uInt>(n);
        do {
            m_inf.next_out = m_unzipped;
            m_inf.avail_out = static_cast<uInt>(m_unzipped.size());
            const auto t0 = Clock::now();
            const int ret = inflate(&m_inf, Z_NO_FLUSH);
            t.inflate += Seconds(t0);
            if (ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR)
                throw std::runtime_error("zlib inflate failed");
            m_inflated += m_unzipped.size() - m_inf.avail_out;
        } while (m_inf.avail_in != 0 || m_inf.avail_out == 0);
    }

    z_stream m_def{}, m_inf{};
    SecByteBlock m_zipped, m_unzipped;
    std::uint64_t m_inflated = 0;
};

// Reads the file block by block (not timed) and times each primitive over every block, so the
// data is as hot in the cache as it is in the engine's pipeline.
PrimitiveTimes TimePrimitives(const std::string& name) {
    SecByteBlock key(16), iv(16), macKey(16);
    CryptoP2::GlobalRNG().GenerateBlock(key, key.size());
    CryptoP2::GlobalRNG().GenerateBlock(iv, iv.size());
    CryptoP2::GlobalRNG().GenerateBlock(macKey, macKey.size());
    CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption enc(key, key.size(), iv);
    CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption dec(key, key.size(), iv);
    CryptoPP::HMAC<CryptoPP::SHA256> mac(macKey, macKey.size());
    CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption inPlace(key, key.size(), iv);
    CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption filtered(key, key.size(), iv);
    CryptoPP::StreamTransformationFilter filter(filtered, new CryptoPP::BitBucket,
                                                CryptoPP::StreamTransformationFilter::NO_PADDING);
    SecByteBlock scratch(kBlock);

    PrimitiveTimes t;
    ZlibTimer zlib;
    std::uint64_t size = 0;
    SecByteBlock plain(kBlock), cipher(kBlock), back(kBlock), digest(mac.DigestSize());
    OS::ReadFile in(name);
    in.Open();
    while (std::size_t n = in.Read(plain, plain.size())) {
        size += n;
        zlib.Deflate(plain, n, false, t);
        // CBC works on whole blocks; only a last piece can be short, and it is cut to size.
        n -= n % CryptoPP::AES::BLOCKSIZE;
        auto t0 = Clock::now();
        enc.ProcessData(cipher, plain, n);
        t.aesEnc += Seconds(t0);
        std::memcpy(scratch, plain, n);
        t0 = Clock::now();
        inPlace.ProcessData(scratch, scratch, n);
        t.aesEncInPlace += Seconds(t0);
        t0 = Clock::now();
        filter.Put(plain, n);
        t.aesEncFilter += Seconds(t0);
        t0 = Clock::now();
        dec.ProcessData(back, cipher, n);
        t.aesDec += Seconds(t0);
        t0 = Clock::now();
        mac.Update(plain, n);
        t.hmac += Seconds(t0);
        t.ok = t.ok && std::memcmp(back, plain, n) == 0;
    }
    const auto t0 = Clock::now();
    mac.Final(digest);
    t.hmac += Seconds(t0);
    zlib.Deflate(nullptr, 0, true, t);
    t.ok = t.ok && zlib.Inflated() == size;
    return t;
}

// The I/O every run must do at least once: read the input, write as much again. The copy
// replaces its previous output, as the engine's outputs replace theirs.
double TimeCopy(const std::string& from, const std::string& to) {
    SecByteBlock block(kBlock);
    const auto t0 = Clock::now();
    OS::ReadFile in(from);
    in.Open();
    OS::WriteFile out(to, OS::WriteMode::Replace);
    out.Open();
    while (const std::size_t n = in.Read(block, block.size()))
        out.Write(block, n);
    out.Close();
    in.Close();
    return Seconds(t0);
}

struct EngineResult {
    double seconds = 0;
    bool ok = false;
    std::string note;
    std::string output;  // the restored file
};

EngineResult TimeEncrypt(const std::string& plain, const std::string& container) {
    FCryptEng::OperationStatus status;
    SilentCallback callback;
    auto cryptor = FCryptEng::FileCryptor::Create(false, &status, &callback);
    cryptor->SetPlainFile(plain);
    // Names stored relative to the common path, as the wizard's destination page sets them.
    cryptor->SetPathAndMode(FCryptEng::PathMode::Common, std::nullopt);
    cryptor->CipherFile(container);
    cryptor->Password(kPassword);
    const auto t0 = Clock::now();
    cryptor->Begin();
    EngineResult r;
    r.seconds = Seconds(t0);
    r.ok = status.State() == FCryptEng::OperationState::Finished;
    if (!r.ok)
        r.note = "encryption ended in state " + std::to_string(unsigned(status.State()));
    return r;
}

// Decrypts the container's one file into `folder` and compares it with `expected`.
EngineResult TimeDecrypt(const std::string& container, const std::string& folder,
                         const SecByteBlock& expected) {
    FCryptEng::OperationStatus status;
    SilentCallback callback;
    auto cryptor = FCryptEng::FileCryptor::Create(true, &status, &callback);
    cryptor->CipherFile(container);
    cryptor->ClearPassword();
    EngineResult r;
    const FCryptEng::UnlockResult opened = cryptor->Password(kPassword);
    if (opened != FCryptEng::UnlockResult::Unlocked) {
        r.note = "password did not open the container (result " +
                 std::to_string(static_cast<int>(opened)) + ")";
        return r;
    }
    cryptor->SetPlainFile(std::size_t(0));
    cryptor->SetPathAndMode(FCryptEng::PathMode::Common, folder);
    const auto t0 = Clock::now();
    cryptor->Begin();
    r.seconds = Seconds(t0);
    if (status.State() != FCryptEng::OperationState::Finished) {
        r.note = "decryption ended in state " + std::to_string(unsigned(status.State()));
        return r;
    }
    const FCryptEng::DirEntry* entry = cryptor->Directory().GetEntry(0);
    if (!entry) {
        r.note = "the container holds no entry";
        return r;
    }
    r.output = entry->FinalName();
    r.ok = FileDigest(r.output) == expected;
    if (!r.ok)
        r.note = entry->FinalName() + " differs from its original";
    return r;
}

struct Figures {
    const char* label;
    std::string plain, container, copy;
    SecByteBlock digest;
    // Best times over the timed rounds.
    double aesEnc = 1e300, aesDec = 1e300, hmac = 1e300, copyTime = 1e300;
    double aesEncInPlace = 1e300, aesEncFilter = 1e300;
    double deflate = 1e300, inflate = 1e300;
    double engineEnc = 1e300, engineDec = 1e300;
    std::uint64_t stored = 0;
    std::string restored;
};

double Rate(std::uint64_t bytes, double seconds) {
    return double(bytes) / 1e6 / seconds;
}

void Usage() {
    std::fprintf(stderr, "usage: cryvan-engine-bench [--dir D] [--mib N] [--runs R]\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = "/dev/shm";
    unsigned long long mib = 256, runs = 3;
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc) {
            Usage();
            return 2;
        }
        if (!std::strcmp(argv[i], "--dir")) {
            dir = argv[i + 1];
        } else if (!std::strcmp(argv[i], "--mib")) {
            mib = std::strtoull(argv[i + 1], nullptr, 10);
        } else if (!std::strcmp(argv[i], "--runs")) {
            runs = std::strtoull(argv[i + 1], nullptr, 10);
        } else {
            Usage();
            return 2;
        }
    }
    // A container holds files below 4 GiB.
    if (mib == 0 || mib >= 4096 || runs == 0) {
        Usage();
        return 2;
    }
    while (dir.size() > 1 && dir.back() == OS::kSeparator)
        dir.pop_back();
    const std::string work = dir + "/cryvan-engine-bench/";
    const std::string restoredFolder = work + "restored/";
    const std::uint64_t bytes = std::uint64_t(mib) << 20;

    try {
        Figures files[2];
        files[0].label = "random";
        files[1].label = "text";
        for (int k = 0; k < 2; ++k) {
            Figures& f = files[k];
            f.plain = work + f.label + ".bin";
            f.container = work + f.label + ".aes";
            f.copy = work + "copy.bin";
            MakeInput(f.plain, bytes, k == 1);
            f.digest = FileDigest(f.plain);
        }
        std::printf(
            "Cryvan engine benchmark: %llu MiB per file in %s, best of %llu after a "
            "warm-up round\n",
            mib, work.c_str(), runs);
        std::fflush(stdout);

        long hwmBeforeEngine = -1;
        bool allOk = true;
        // Rounds run every measurement once, so no file lies idle long between its uses.
        for (unsigned long long round = 0; round <= runs; ++round) {
            const bool timed = round > 0;
            for (Figures& f : files) {
                const PrimitiveTimes p = TimePrimitives(f.plain);
                const double copyTime = TimeCopy(f.plain, f.copy);
                if (hwmBeforeEngine < 0)
                    hwmBeforeEngine = StatusKiB("VmHWM");
                const EngineResult enc = TimeEncrypt(f.plain, f.container);
                const EngineResult dec =
                    enc.ok ? TimeDecrypt(f.container, restoredFolder, f.digest) : EngineResult{};
                if (!p.ok || !enc.ok || !dec.ok) {
                    allOk = false;
                    std::fprintf(stderr, "round %llu, %s file: %s\n", round, f.label,
                                 !p.ok     ? "AES or zlib did not give the plaintext back"
                                 : !enc.ok ? enc.note.c_str()
                                           : dec.note.c_str());
                }
                if (!dec.output.empty())
                    f.restored = dec.output;
                if (!timed)
                    continue;
                f.aesEnc = std::min(f.aesEnc, p.aesEnc);
                f.aesEncInPlace = std::min(f.aesEncInPlace, p.aesEncInPlace);
                f.aesEncFilter = std::min(f.aesEncFilter, p.aesEncFilter);
                f.aesDec = std::min(f.aesDec, p.aesDec);
                f.hmac = std::min(f.hmac, p.hmac);
                f.deflate = std::min(f.deflate, p.deflate);
                f.inflate = std::min(f.inflate, p.inflate);
                f.copyTime = std::min(f.copyTime, copyTime);
                if (enc.ok) {
                    f.engineEnc = std::min(f.engineEnc, enc.seconds);
                    f.stored = FileSize(f.container);
                }
                if (dec.ok)
                    f.engineDec = std::min(f.engineDec, dec.seconds);
            }
        }

        std::printf("\n%-38s %12s %12s\n", "MB/s (10^6 bytes per second)", files[0].label,
                    files[1].label);
        auto row = [&](const char* name, double Figures::*field) {
            std::printf("%-38s %12.1f %12.1f\n", name, Rate(bytes, files[0].*field),
                        Rate(bytes, files[1].*field));
        };
        // The mode over whole 64 KiB blocks into another buffer is the engine's way: the
        // fastest of the three here. `openssl speed -evp aes-128-cbc` gives the machine's
        // ceiling for comparison.
        row("AES-128-CBC encrypt", &Figures::aesEnc);
        row("AES-128-CBC encrypt, in place", &Figures::aesEncInPlace);
        row("AES-128-CBC encrypt, library filter", &Figures::aesEncFilter);
        row("AES-128-CBC decrypt", &Figures::aesDec);
        row("HMAC-SHA256", &Figures::hmac);
        row("copy (ReadFile -> WriteFile)", &Figures::copyTime);
        row("zlib deflate, level 6 (plain bytes)", &Figures::deflate);
        row("zlib inflate (plain bytes)", &Figures::inflate);

        // Pipelined, each stage (AES, HMAC, the copy's I/O) on a core of its own, a run goes as
        // fast as its slowest stage; with two cores for three stages it also cannot beat twice
        // the serial limit, since all the work still has to be done on them.
        double limitEnc[2], limitDec[2], slowestEnc[2], slowestDec[2], twoCoreEnc[2], twoCoreDec[2];
        for (int k = 0; k < 2; ++k) {
            const Figures& f = files[k];
            const double aes = Rate(bytes, f.aesEnc), aesDec = Rate(bytes, f.aesDec),
                         hmac = Rate(bytes, f.hmac), copy = Rate(bytes, f.copyTime);
            limitEnc[k] = 1 / (1 / aes + 1 / hmac + 1 / copy);
            limitDec[k] = 1 / (1 / aesDec + 1 / hmac + 1 / copy);
            slowestEnc[k] = std::min({aes, hmac, copy});
            slowestDec[k] = std::min({aesDec, hmac, copy});
            twoCoreEnc[k] = std::min(slowestEnc[k], 2 * limitEnc[k]);
            twoCoreDec[k] = std::min(slowestDec[k], 2 * limitDec[k]);
        }
        std::printf("%-38s %12.1f %12.1f\n", "serial limit, encrypt", limitEnc[0], limitEnc[1]);
        std::printf("%-38s %12.1f %12.1f\n", "serial limit, decrypt", limitDec[0], limitDec[1]);
        std::printf("%-38s %12.1f %12.1f\n", "slowest stage, encrypt", slowestEnc[0],
                    slowestEnc[1]);
        std::printf("%-38s %12.1f %12.1f\n", "slowest stage, decrypt", slowestDec[0],
                    slowestDec[1]);
        std::printf("%-38s %12.1f %12.1f\n", "two-core pipelined limit, encrypt", twoCoreEnc[0],
                    twoCoreEnc[1]);
        std::printf("%-38s %12.1f %12.1f\n", "two-core pipelined limit, decrypt", twoCoreDec[0],
                    twoCoreDec[1]);
        row("engine encrypt", &Figures::engineEnc);
        row("engine decrypt", &Figures::engineDec);
        // The engine's speed as a share of a limit, for both files.
        const auto share = [&](const char* label, double Figures::*engine, const double* limit) {
            std::printf("%-38s %11.1f%% %11.1f%%\n", label,
                        100 * Rate(bytes, files[0].*engine) / limit[0],
                        100 * Rate(bytes, files[1].*engine) / limit[1]);
        };
        share("engine encrypt / limit", &Figures::engineEnc, limitEnc);
        share("engine decrypt / limit", &Figures::engineDec, limitDec);
        share("engine encrypt / two-core limit", &Figures::engineEnc, twoCoreEnc);
        share("engine decrypt / two-core limit", &Figures::engineDec, twoCoreDec);
        std::printf("%-38s %11.1f%% %11.1f%%\n", "container size / file size",
                    100 * double(files[0].stored) / double(bytes),
                    100 * double(files[1].stored) / double(bytes));
        std::printf("(goal: 85%% or more of each limit for the random file; none for text)\n");

        const long peak = PeakRssKiB(), hwm = StatusKiB("VmHWM");
        std::printf(
            "\npeak memory: ru_maxrss %ld KiB (%.1f MiB), VmHWM %ld KiB (%.1f MiB); "
            "VmHWM before the engine's first run %ld KiB; goal: under 32 MiB\n",
            peak, peak / 1024.0, hwm, hwm / 1024.0, hwmBeforeEngine);
        std::printf("round trips: %s\n", allOk ? "all verified by SHA-256" : "FAILED");

        for (const Figures& f : files) {
            std::remove(f.plain.c_str());
            std::remove(f.container.c_str());
            std::remove(f.restored.c_str());
        }
        std::remove(files[0].copy.c_str());
        std::remove(restoredFolder.c_str());
        std::remove(work.c_str());
        return allOk ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 2;
    }
}
