// Decrypts small stored files on a second core, ahead of the run, into memory, while the run's
// own thread creates and writes the file before: with many small files, making files costs as
// much as decrypting them. Reads the container through a handle of its own, so the run's reads
// keep their position; never touches the disk otherwise. What a job throws (a wrong MAC, a size
// that does not match) is thrown again by Take, where the run would have met it itself.
#pragma once

#include <cryptopp/cryptlib.h>
#include <cryptopp/secblock.h>

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "format/DirEntry.h"
#include "format/KeySet.h"
#include "os/File.h"

namespace CryptoP2 {
class PipelineWorker;
}

namespace FCryptEng {

inline constexpr char kMacMismatch[] = "File MAC mismatch - corrupted or modified input file";
inline constexpr char kSizeMismatch[] = "File size mismatch - corrupted or modified input file";

// The filters that turn stored bytes into plain ones: AES-CBC, the HMAC over the plaintext and,
// for a compressed file, inflation bounded by the expected size, into `tail`. The HMAC runs on
// `worker` when given. Returns the head, which owns the rest.
CryptoPP::BufferedTransformation* StoredChain(CryptoPP::StreamTransformation& aes,
                                              CryptoPP::HashTransformation& mac, bool compress,
                                              std::uint32_t plainSize,
                                              CryptoPP::BufferedTransformation* tail,
                                              CryptoP2::PipelineWorker* worker);
// Runs `pump` and turns what the filters throw on damaged data into the run's own texts.
void WithStoredErrors(const std::function<void()>& pump);
// The checks once every byte has passed: the MAC, then an uncompressed file's size.
void CheckDecrypted(CryptoPP::HashTransformation& mac,
                    const std::array<CryptoPP::byte, DirEntry::kMacSize>& expected, bool compress,
                    std::uint64_t plainBytes, std::uint32_t plainSize);

class DecryptAhead {
  public:
    // The largest file, stored or plain, decrypted ahead. Far enough ahead that neither thread
    // waits for the other file by file, and no further: kDepth files or kBudget bytes.
    static constexpr std::uint32_t kLargest = 256 * 1024;
    static constexpr std::size_t kDepth = 32;
    static constexpr std::size_t kBudget = 2 * 1024 * 1024;

    struct Job {
        std::size_t index = 0;
        std::uint64_t offset = 0;  // of the stored bytes, from the container's start
        std::uint32_t stored = 0;
        std::uint32_t plain = 0;
        bool compress = false;
        std::array<CryptoPP::byte, DirEntry::kMacSize> mac{};
        std::unique_ptr<KeySet> keys;
    };
    // A file fits when its stored and its plain size both do.
    static bool Fits(const DirEntry& e) {
        return e.ArchiveSize() <= kLargest && e.OriginalSize() <= kLargest;
    }

    // Null when the container cannot be opened a second time as the file the run reads.
    static std::unique_ptr<DecryptAhead> Open(const std::string& container,
                                              const OS::FileIdentity& same);
    ~DecryptAhead();
    DecryptAhead(const DecryptAhead&) = delete;
    DecryptAhead& operator=(const DecryptAhead&) = delete;

    // Whether a job of that many stored and plain bytes would be queued now; only the run's
    // thread posts and takes, so the answer holds until it does.
    bool Room(std::size_t bytes) const;
    // Queues a job; false while the queue is full.
    bool Post(Job job);
    // Waits for the job of `index` and hands over its plaintext, verified, and its length; throws
    // what decrypting it threw; false when it was never posted. Earlier jobs still waiting (files
    // the run skipped) are dropped.
    bool Take(std::size_t index, CryptoPP::SecByteBlock& plain, std::size_t& length);

  private:
    struct Slot {
        Job job;
        CryptoPP::SecByteBlock plain;
        std::size_t length = 0;
        bool done = false;
        std::exception_ptr failure;
    };

    explicit DecryptAhead(std::unique_ptr<OS::ReadFile> container);
    void Run();
    void Decrypt(Slot& slot);

    std::unique_ptr<OS::ReadFile> m_container;
    CryptoPP::SecByteBlock m_stored{kLargest};
    std::deque<std::unique_ptr<Slot>>
        m_queue;               // in posting order; the worker runs the first not done
    std::size_t m_queued = 0;  // bytes the queued jobs hold
    bool m_stop = false;
    mutable std::mutex m_mutex;
    std::condition_variable m_work, m_done;
    std::thread m_thread;
};

}  // namespace FCryptEng
