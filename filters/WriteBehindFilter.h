// Gathers what passes into blocks of `PipelineWorker::kSlotSize` bytes, straight into the
// worker's slots, and has the worker pass each block on to the attachment: writing runs beside
// the caller's work. Only the last block of a message (at MessageEnd or Flush) may be shorter,
// as with BufferingFilter. MessageEnd and Flush return once everything has been passed on, and a
// failure downstream is raised on the caller's thread by the next Put, MessageEnd or Flush.
// Without a worker, it is a BufferingFilter of the same size.
#pragma once

#include <cryptopp/filters.h>
#include <cryptopp/secblock.h>

#include <cstddef>

#include "filters/PipelineWorker.h"

namespace CryptoP2 {

class WriteBehindFilter : public CryptoPP::Filter {
  public:
    WriteBehindFilter(PipelineWorker* worker, CryptoPP::BufferedTransformation* attachment);
    ~WriteBehindFilter() override;

    // From now on, blocks go through `worker` (null: passed on here). Waits for what the
    // previous worker holds.
    void SetWorker(PipelineWorker* worker);

    size_t Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                bool blocking) override;
    bool IsolatedFlush(bool hardFlush, bool blocking) override;

  private:
    void PassGathered();
    void Drain();

    PipelineWorker* m_worker;
    CryptoPP::byte* m_block = nullptr;  // the slot or buffer being filled
    CryptoPP::SecByteBlock m_own;       // the buffer, without a worker
    std::size_t m_used = 0;
};

}  // namespace CryptoP2
