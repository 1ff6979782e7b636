// Pipeline sink over an open WriteFile. A failed write is offered to the handler, and each
// retry resumes at the first byte not yet written. The file is not owned here.
#pragma once

#include <cryptopp/simple.h>

#include "filters/WriteErrorHandler.h"
#include "os/File.h"

namespace CryptoP2 {

class SimpleFileSink : public CryptoPP::Sink {
  public:
    // handler may be null: every write error then propagates. syncAtEnd: MessageEnd and Flush
    // write the file's data to disk; an owner that syncs at its own time passes false.
    SimpleFileSink(OS::WriteFile& file, FCryptEng::WriteErrorHandler* handler,
                   bool syncAtEnd = true);

    size_t Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                bool blocking) override;
    bool IsolatedFlush(bool hardFlush, bool blocking) override;

  private:
    OS::WriteFile* m_file;
    FCryptEng::WriteErrorHandler* m_handler;
    bool m_syncAtEnd;
};

}  // namespace CryptoP2
