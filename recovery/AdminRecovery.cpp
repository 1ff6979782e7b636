#include "recovery/AdminRecovery.h"

#include <cryptopp/cryptlib.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "os/Logger.h"
#include "recovery/AdminData.h"
#include "recovery/AdminKeyEntry.h"
#include "recovery/Signed.h"

namespace FCryptEng {

// The configuration's fields and its file body: PermitEP (u8, bit 0), N, K, then N
// administrator configuration records.
class ARImp : public Signed {
  public:
    explicit ARImp(CryptorCallback* callback) : m_callback(callback) {}
    ARImp(const ARImp&) = default;
    ARImp& operator=(const ARImp&) = default;
    ~ARImp() override { RemoveAll(); }

    void Read(CryptoPP::BufferedTransformation& source) override;
    void Write(CryptoPP::BufferedTransformation& sink) const override;

    std::vector<AdminData>::const_iterator Find(const std::string& name) const {
        return std::find_if(m_admins.begin(), m_admins.end(),
                            [&name](const AdminData& admin) { return admin.Name() == name; });
    }
    void RemoveAll() { m_admins.clear(); }

    bool m_permitEP = true;
    std::uint16_t m_k = 1;
    std::vector<AdminData> m_admins;
    CryptorCallback* m_callback;
};

void ARImp::Read(CryptoPP::BufferedTransformation& source) {
    OS::Trace t("ARImp::Read()");
    CryptoPP::byte permit = 0;
    if (source.MaxRetrievable() < 1 || source.Get(permit) != 1)
        throw AdminRecovery::Err();
    m_permitEP = (permit & 1) != 0;
    CryptoPP::word16 n = 0, k = 0;
    if (source.MaxRetrievable() < 2 || source.GetWord16(n, CryptoPP::BIG_ENDIAN_ORDER) != 2)
        throw AdminRecovery::Err();
    if (source.MaxRetrievable() < 2 || source.GetWord16(k, CryptoPP::BIG_ENDIAN_ORDER) != 2)
        throw AdminRecovery::Err();
    m_k = k;
    if (n < k)
        throw AdminRecovery::Err();
    RemoveAll();
    // Each record consumes its own bytes or raises, so a large N cannot outrun the file.
    for (std::size_t i = 0; i < n; ++i) {
        AdminData admin;
        admin.Read(source);
        m_admins.push_back(std::move(admin));
    }
}

void ARImp::Write(CryptoPP::BufferedTransformation& sink) const {
    OS::Trace t("ARImp::Write()");
    if (m_admins.size() > std::numeric_limits<std::uint16_t>::max())
        throw AdminRecovery::Err();
    sink.Put(m_permitEP ? 1 : 0);
    sink.PutWord16(std::uint16_t(m_admins.size()), CryptoPP::BIG_ENDIAN_ORDER);
    sink.PutWord16(m_k, CryptoPP::BIG_ENDIAN_ORDER);
    for (const AdminData& admin : m_admins)
        admin.Write(sink, false);
}

// ---------------------------------------------------------------------------------------------

AdminRecovery::AdminRecovery(CryptorCallback* callback) : m_imp(std::make_unique<ARImp>(callback)) {
    OS::Trace t("AdminRecovery::AdminRecovery()");
}

AdminRecovery::AdminRecovery(const AdminRecovery& other)
    : RecoverySource(other), m_imp(std::make_unique<ARImp>(*other.m_imp)) {
    OS::Trace t("AdminRecovery::AdminRecovery()");
}

AdminRecovery& AdminRecovery::operator=(const AdminRecovery& other) {
    OS::Trace t("AdminRecovery::operator=()");
    if (this != &other)
        *m_imp = *other.m_imp;
    return *this;
}

AdminRecovery::~AdminRecovery() {
    OS::Trace t("AdminRecovery::~AdminRecovery()");
}

void AdminRecovery::Open(const std::string& path) {
    OS::Trace t("AdminRecovery::Open()");
    try {
        m_imp->Open(path);
    } catch (const Signed::Null&) {
        throw Null();
    }
}

void AdminRecovery::SaveAs(const std::string& path) const {
    OS::Trace t("AdminRecovery::SaveAs()");
    m_imp->SaveAs(path);
}

void AdminRecovery::Sign(const KeyPair& keys) {
    OS::Trace t("AdminRecovery::Sign()");
    m_imp->Sign(keys);
}

bool AdminRecovery::CheckSignature(const KeyPair& keys) const {
    OS::Trace t("AdminRecovery::CheckSignature()");
    return m_imp->CheckSignature(keys);
}

bool AdminRecovery::GetPermitEP() const {
    OS::Trace t("AdminRecovery::GetPermitEP()");
    return m_imp->m_permitEP;
}

void AdminRecovery::SetPermitEP(bool permit) {
    OS::Trace t("AdminRecovery::SetPermitEP()");
    m_imp->m_permitEP = permit;
}

std::uint16_t AdminRecovery::GetK() const {
    OS::Trace t("AdminRecovery::GetK()");
    return m_imp->m_k;
}

void AdminRecovery::SetK(std::uint16_t k) {
    OS::Trace t("AdminRecovery::SetK()");
    m_imp->m_k = k;
}

std::uint16_t AdminRecovery::GetN() const {
    OS::Trace t("AdminRecovery::GetN()");
    return std::uint16_t(m_imp->m_admins.size());
}

std::optional<std::string> AdminRecovery::GetName(std::uint16_t index) const {
    OS::Trace t("AdminRecovery::GetName()");
    if (index >= m_imp->m_admins.size())
        return std::nullopt;
    return m_imp->m_admins[index].Name();
}

const CryptoPP::SecByteBlock* AdminRecovery::GetEncName(std::uint16_t index) const {
    if (index >= m_imp->m_admins.size())
        return nullptr;
    const auto& encName = m_imp->m_admins[index].EncName();
    return encName ? &*encName : nullptr;
}

bool AdminRecovery::Exists(const std::string& name) const {
    OS::Trace t("AdminRecovery::Exists()");
    return m_imp->Find(name) != m_imp->m_admins.end();
}

bool AdminRecovery::Add(const char* name, const char* password, bool keyFile) {
    OS::Trace t("AdminRecovery::Add()");
    const std::string newName = name ? name : "";
    if (Exists(newName) || m_imp->m_admins.size() >= std::numeric_limits<std::uint16_t>::max())
        throw Err();
    AdminData admin;
    admin.CreateNewAdmin(newName.c_str(), password, keyFile);
    if (keyFile) {
        if (!m_imp->m_callback)
            return false;
        const std::optional<std::string> path = m_imp->m_callback->AskText(newName, true);
        if (!path || !admin.WriteKeyDisk(*path))
            return false;
    }
    m_imp->m_admins.push_back(std::move(admin));
    return true;
}

bool AdminRecovery::Remove(const std::string& name) {
    OS::Trace t("AdminRecovery::Remove()");
    const auto found = m_imp->Find(name);
    if (found == m_imp->m_admins.end())
        return false;
    m_imp->m_admins.erase(found);
    return true;
}

std::unique_ptr<KeyEntry> AdminRecovery::MakeKeyEntry() const {
    OS::Trace t("AdminRecovery::MakeKeyEntry()");
    return std::make_unique<AdminKeyEntry>(m_imp->m_callback, m_imp->m_k, m_imp->m_admins);
}

}  // namespace FCryptEng
