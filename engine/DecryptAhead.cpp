#include "engine/DecryptAhead.h"

#include <cryptopp/aes.h>
#include <cryptopp/hmac.h>
#include <cryptopp/misc.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>

#include <algorithm>
#include <cstring>

#include "engine/FileCryptor.h"
#include "filters/BufferingFilter.h"
#include "filters/CbcFilter.h"
#include "filters/SeparateHashFilter.h"
#include "filters/Zlib.h"
#include "os/Logger.h"

namespace FCryptEng {
namespace {

constexpr std::uint32_t kBlock = 65536;

// Keeps what fits in the slot and counts the rest, so that the checks at the end see the true
// length in the order the run makes them: the MAC first.
class BoundedSink : public CryptoPP::Bufferless<CryptoPP::Sink> {
  public:
    BoundedSink(CryptoPP::SecByteBlock& buffer, std::size_t& length)
        : m_buffer(buffer), m_length(length) {}

    size_t Put2(const CryptoPP::byte* in, size_t n, int, bool) override {
        const std::size_t at = std::min(m_length, m_buffer.size());
        const std::size_t take = std::min(n, m_buffer.size() - at);
        if (take > 0)
            std::memcpy(m_buffer.data() + at, in, take);
        m_length += n;
        return 0;
    }

  private:
    CryptoPP::SecByteBlock& m_buffer;
    std::size_t& m_length;
};

}  // namespace

CryptoPP::BufferedTransformation* StoredChain(CryptoPP::StreamTransformation& aes,
                                              CryptoPP::HashTransformation& mac, bool compress,
                                              std::uint32_t plainSize,
                                              CryptoPP::BufferedTransformation* tail,
                                              CryptoP2::PipelineWorker* worker) {
    if (compress) {
        auto* inflater = new CryptoP2::ZlibInflater(new CryptoP2::BufferingFilter(kBlock, tail));
        // The directory's size bounds what the file may become, so a small stream that
        // inflates without end stops at once.
        inflater->ExpectSize(plainSize);
        tail = inflater;
    }
    return new CryptoP2::CbcDecryptFilter(aes, new CryptoP2::SeparateHashFilter(mac, tail, worker));
}

void WithStoredErrors(const std::function<void()>& pump) {
    try {
        pump();
    } catch (const CryptoPP::InvalidCiphertext&) {
        // Broken padding or a cut block: the data was changed.
        throw FileCryptorErr(kMacMismatch);
    } catch (const CryptoP2::ZlibInflater::Err& err) {
        const std::string what = err.what();
        if (what == CryptoP2::ZlibInflater::kTooLong || what == CryptoP2::ZlibInflater::kTooShort)
            throw FileCryptorErr(kSizeMismatch);
        throw;
    }
}

void CheckDecrypted(CryptoPP::HashTransformation& mac,
                    const std::array<CryptoPP::byte, DirEntry::kMacSize>& expected, bool compress,
                    std::uint64_t plainBytes, std::uint32_t plainSize) {
    CryptoPP::SecByteBlock digest(mac.DigestSize());
    mac.Final(digest);
    if (digest.size() != expected.size() ||
        !CryptoPP::VerifyBufsEqual(digest.data(), expected.data(), digest.size()))
        throw FileCryptorErr(kMacMismatch);
    if (!compress && plainBytes != plainSize)
        throw FileCryptorErr(kSizeMismatch);
}

std::unique_ptr<DecryptAhead> DecryptAhead::Open(const std::string& container,
                                                 const OS::FileIdentity& same) {
    try {
        auto file = std::make_unique<OS::ReadFile>(container);
        file->Open();
        // A name that now leads elsewhere would decrypt another file's bytes: the run reads on.
        if (file->Identity() != same)
            return nullptr;
        return std::unique_ptr<DecryptAhead>(new DecryptAhead(std::move(file)));
    } catch (const std::exception& e) {
        OS::Logger::Log(OS::LOG_DEBUG, std::string("No decrypting ahead: ") + e.what());
        return nullptr;
    }
}

DecryptAhead::DecryptAhead(std::unique_ptr<OS::ReadFile> container)
    : m_container(std::move(container)) {
    m_thread = std::thread([this] { Run(); });
}

DecryptAhead::~DecryptAhead() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_work.notify_all();
    m_thread.join();
    try {
        m_container->Close();
    } catch (const std::exception& e) {
        OS::Logger::Log(OS::LOG_WARN, std::string("Closing the container read ahead: ") + e.what());
    }
}

bool DecryptAhead::Room(std::size_t bytes) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.empty() || (m_queue.size() < kDepth && m_queued + bytes <= kBudget);
}

bool DecryptAhead::Post(Job job) {
    const std::size_t bytes = std::size_t(job.stored) + job.plain;
    if (!Room(bytes))
        return false;
    auto slot = std::make_unique<Slot>();
    slot->job = std::move(job);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queued += bytes;
        m_queue.push_back(std::move(slot));
    }
    m_work.notify_one();
    return true;
}

bool DecryptAhead::Take(std::size_t index, CryptoPP::SecByteBlock& plain, std::size_t& length) {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_queue.empty() || m_queue.front()->job.index > index)
            return false;
        m_done.wait(lock, [this] { return m_queue.front()->done; });
        std::unique_ptr<Slot> slot = std::move(m_queue.front());
        m_queue.pop_front();
        m_queued -= std::size_t(slot->job.stored) + slot->job.plain;
        if (slot->job.index < index)
            continue;
        lock.unlock();
        if (slot->failure)
            std::rethrow_exception(slot->failure);
        // The caller's old buffer goes with the slot, wiped as it is freed.
        std::swap(plain, slot->plain);
        length = slot->length;
        return true;
    }
}

void DecryptAhead::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        Slot* next = nullptr;
        m_work.wait(lock, [&] {
            for (const auto& slot : m_queue)
                if (!slot->done) {
                    next = slot.get();
                    return true;
                }
            return m_stop;
        });
        if (!next)
            return;
        // The slot stays in the queue, and so in place, until it is marked done.
        lock.unlock();
        try {
            Decrypt(*next);
        } catch (...) {
            next->failure = std::current_exception();
        }
        next->job.keys.reset();
        lock.lock();
        next->done = true;
        m_done.notify_all();
    }
}

void DecryptAhead::Decrypt(Slot& slot) {
    OS::Trace t("DecryptAhead::Decrypt()");
    const Job& job = slot.job;
    m_container->Move(std::int64_t(job.offset), false);
    const std::size_t got = m_container->Read(m_stored.data(), job.stored);
    CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption aes(job.keys->EncKey()->data(), 16,
                                                      job.keys->IV()->data());
    CryptoPP::HMAC<CryptoPP::SHA256> mac(job.keys->MacKey()->data(), job.keys->MacKey()->size());
    slot.plain.New(job.plain);
    WithStoredErrors([&] {
        std::unique_ptr<CryptoPP::BufferedTransformation> chain(StoredChain(
            aes, mac, job.compress, job.plain, new BoundedSink(slot.plain, slot.length), nullptr));
        chain->Put2(m_stored.data(), got, -1, true);
    });
    CheckDecrypted(mac, job.mac, job.compress, slot.length, job.plain);
}

}  // namespace FCryptEng
