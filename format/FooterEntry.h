// The tagged record every footer is made of: u16 tag, u16 body size, body. Derived records
// (directory entries, key entries) supply the tag and the body.
#pragma once

#include <cryptopp/cryptlib.h>

#include <cstdint>

#include "os/Errors.h"

namespace FCryptEng {

class FooterEntry {
  public:
    // Raised when a record would not fit its 16-bit size field.
    class Err : public OS::Error {
      public:
        Err() : OS::Error("\"FooterEntry error\"") {}
    };

    static constexpr std::uint32_t kMaxBodySize = 0xFFFF;

    virtual ~FooterEntry() = default;
    virtual std::uint16_t Tag() const = 0;
    // The body size from the current contents; may exceed what the format can hold.
    virtual std::uint32_t CalcBodySize() const = 0;
    // Writes exactly CalcBodySize() bytes.
    virtual void PutBody(CryptoPP::BufferedTransformation& sink) const = 0;

    // Cached; raises Err when the body would not fit in 16 bits.
    std::uint16_t BodySize();
    void SizeChanged() { m_bodySize = 0; }
    std::uint32_t EncodingSize() { return BodySize() + 4u; }
    void PutEncoding(CryptoPP::BufferedTransformation& sink);

  protected:
    FooterEntry() = default;
    FooterEntry(const FooterEntry&) = default;
    FooterEntry& operator=(const FooterEntry&) = default;

  private:
    std::uint16_t m_bodySize = 0;
};

}  // namespace FCryptEng
