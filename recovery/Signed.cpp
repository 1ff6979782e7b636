#include "recovery/Signed.h"

#include <cryptopp/filters.h>
#include <cryptopp/queue.h>

#include "filters/SimpleFileSink.h"
#include "filters/SimpleFileSource.h"
#include "os/File.h"
#include "os/Logger.h"
#include "os/PendingOutput.h"

namespace FCryptEng {

CryptoPP::SecByteBlock Signed::Body() const {
    CryptoPP::ByteQueue queue;
    Write(queue);
    CryptoPP::SecByteBlock body(std::size_t(queue.MaxRetrievable()));
    queue.Get(body.data(), body.size());
    return body;
}

void Signed::SaveAs(const std::string& path, bool privateFile) const {
    OS::Trace t("Signed::SaveAs()");
    OS::PendingOutput out(path);
    out.Open();
    if (privateFile)
        out.File().SetPermissions(0600);
    {
        CryptoP2::SimpleFileSink sink(out.File(), nullptr);
        Write(sink);
        sink.PutWord16(m_signature ? std::uint16_t(m_signature->size()) : 0,
                       CryptoPP::BIG_ENDIAN_ORDER);
        if (m_signature)
            sink.Put(m_signature->data(), m_signature->size());
        sink.MessageEnd();  // flushes to the disk
    }
    out.Commit();
}

void Signed::Open(const std::string& path) {
    OS::Trace t("Signed::Open()");
    OS::ReadFile file(path);
    if (file.GetInfo().Size() == 0)
        throw Null();
    if (file.GetInfo().Size() > kMaxFileSize)
        throw Err();
    file.Open();
    CryptoPP::ByteQueue bytes;
    CryptoP2::SimpleFileSource(file, kMaxFileSize, true,
                               new CryptoPP::Redirector(bytes, CryptoPP::Redirector::DATA_ONLY));
    file.Close();
    m_signature.reset();
    Read(bytes);
    CryptoPP::word16 length = 0;
    if (bytes.GetWord16(length) != 2)
        throw Err();
    if (length == 0)
        return;
    if (bytes.MaxRetrievable() < length)
        throw Err();
    CryptoPP::SecByteBlock signature(length);
    bytes.Get(signature.data(), signature.size());
    m_signature = std::move(signature);
}

void Signed::Sign(const KeyPair& keys) {
    OS::Trace t("Signed::Sign()");
    m_signature.reset();
    const CryptoPP::SecByteBlock body = Body();
    if (auto signature = keys.Sign(body.data(), body.size()))
        m_signature = std::move(*signature);
}

bool Signed::CheckSignature(const KeyPair& keys) const {
    OS::Trace t("Signed::CheckSignature()");
    if (!m_signature)
        return false;
    const CryptoPP::SecByteBlock body = Body();
    return keys.CheckSignature(body.data(), body.size(), m_signature->data(), m_signature->size());
}

}  // namespace FCryptEng
