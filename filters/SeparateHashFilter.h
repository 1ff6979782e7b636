// Feeds every byte that passes into a hash owned by the caller and passes the data on
// unchanged. The hash is never finalised here: its owner reads the digest afterwards.
// Given a worker, the hash is updated on the worker's thread while the data goes on downstream;
// every update has been made once MessageEnd or Flush has passed, or the filter is destroyed.
#pragma once

#include <cryptopp/cryptlib.h>
#include <cryptopp/filters.h>

#include "filters/PipelineWorker.h"

namespace CryptoP2 {

class SeparateHashFilter : public CryptoPP::Filter {
  public:
    SeparateHashFilter(CryptoPP::HashTransformation& hash,
                       CryptoPP::BufferedTransformation* attachment = nullptr,
                       PipelineWorker* worker = nullptr);
    ~SeparateHashFilter() override;

    size_t Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                bool blocking) override;
    bool IsolatedFlush(bool hardFlush, bool blocking) override;

  private:
    CryptoPP::HashTransformation* m_hash;
    PipelineWorker* m_worker;
};

}  // namespace CryptoP2
