#include "format/FooterEntry.h"

#include "os/Logger.h"

namespace FCryptEng {

std::uint16_t FooterEntry::BodySize() {
    OS::Trace t("FooterEntry::BodySize()");
    if (m_bodySize == 0) {
        const std::uint32_t size = CalcBodySize();
        // A size that wrapped would make every later record unreadable.
        if (size > kMaxBodySize)
            throw Err();
        m_bodySize = std::uint16_t(size);
    }
    return m_bodySize;
}

void FooterEntry::PutEncoding(CryptoPP::BufferedTransformation& sink) {
    OS::Trace t("FooterEntry::PutEncoding()");
    const std::uint16_t size = BodySize();
    sink.PutWord16(Tag(), CryptoPP::BIG_ENDIAN_ORDER);
    sink.PutWord16(size, CryptoPP::BIG_ENDIAN_ORDER);
    PutBody(sink);
    sink.Flush(false);
}

}  // namespace FCryptEng
