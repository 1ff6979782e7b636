#include "recovery/AdminKeyEntry.h"

#include <cryptopp/channels.h>
#include <cryptopp/filters.h>
#include <cryptopp/ida.h>
#include <cryptopp/misc.h>

#include <limits>
#include <set>
#include <string>

#include "filters/Random.h"
#include "os/Logger.h"
#include "recovery/AdminRecovery.h"

namespace FCryptEng {
namespace {

using CryptoPP::byte;
using CryptoPP::SecByteBlock;

constexpr std::size_t kShareBuffer = 256;
constexpr std::size_t kIndexSize = 2;
constexpr std::size_t kPumpRound = 256;

// The channel of share i is the 4-byte big-endian encoding of i.
std::string Channel(std::uint32_t index) {
    return CryptoPP::WordToString<CryptoPP::word32>(index, CryptoPP::BIG_ENDIAN_ORDER);
}

}  // namespace

AdminKeyEntry::AdminKeyEntry(CryptorCallback* callback, std::uint16_t k,
                             const std::vector<AdminData>& administrators)
    : m_callback(callback), m_k(k) {
    OS::Trace t("AdminKeyEntry::AdminKeyEntry()");
    // N is stored in 16 bits.
    if (administrators.size() > std::numeric_limits<std::uint16_t>::max())
        throw FooterEntry::Err();
    // Fewer administrators than the threshold could never open the entry.
    if (!administrators.empty() && k > administrators.size())
        throw AdminRecovery::Err();
    m_admins = administrators;
    m_unlocked.assign(m_admins.size(), false);
    MakeKeys();
}

AdminKeyEntry::AdminKeyEntry(CryptorCallback* callback, CryptoPP::BufferedTransformation& source,
                             std::uint32_t /*bodySize*/)
    : m_callback(callback) {
    OS::Trace t("AdminKeyEntry::AdminKeyEntry()");
    ReadBody(source);
}

std::unique_ptr<KeyEntry> AdminKeyEntry::Read(CryptorCallback* callback,
                                              CryptoPP::BufferedTransformation& source,
                                              std::uint32_t bodySize) {
    OS::Trace t("AdminKeyEntry::Read()");
    return std::make_unique<AdminKeyEntry>(callback, source, bodySize);
}

void AdminKeyEntry::ReadBody(CryptoPP::BufferedTransformation& source) {
    OS::Trace t("AdminKeyEntry::ReadBody()");
    m_keySet.emplace(source);
    CryptoPP::word16 n = 0, k = 0;
    if (source.MaxRetrievable() < 4 || source.GetWord16(n, CryptoPP::BIG_ENDIAN_ORDER) != 2 ||
        source.GetWord16(k, CryptoPP::BIG_ENDIAN_ORDER) != 2)
        throw Err();
    // A stated count the remaining bytes cannot hold is refused before anything is allocated.
    if (std::uint64_t(n) * AdminData::kMinBodySize > source.MaxRetrievable())
        throw Err();
    m_admins.clear();
    m_admins.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        AdminData admin;
        admin.ReadBody(source);
        m_admins.push_back(std::move(admin));
    }
    m_unlocked.assign(m_admins.size(), false);
    m_k = k;
}

std::uint32_t AdminKeyEntry::CalcBodySize() const {
    std::uint64_t size = std::uint64_t(KeySetSize()) + 4;
    for (const AdminData& admin : m_admins)
        size += admin.BodySize();
    // Saturated, never wrapped: BodySize() then refuses it as too large.
    return size > std::numeric_limits<std::uint32_t>::max()
               ? std::numeric_limits<std::uint32_t>::max()
               : std::uint32_t(size);
}

void AdminKeyEntry::PutBody(CryptoPP::BufferedTransformation& sink) const {
    OS::Trace t("AdminKeyEntry::PutBody()");
    PutKeySet(sink);
    sink.PutWord16(GetN(), CryptoPP::BIG_ENDIAN_ORDER);
    sink.PutWord16(m_k, CryptoPP::BIG_ENDIAN_ORDER);
    for (const AdminData& admin : m_admins)
        admin.WriteBody(sink);
}

void AdminKeyEntry::MakeKeys() {
    OS::Trace t("AdminKeyEntry::MakeKeys()");
    m_wrapperKey.New(kSecretSize);
    CryptoP2::GlobalRNG().GenerateBlock(m_wrapperKey.data(), m_wrapperKey.size());
    const std::size_t n = m_admins.size();
    if (n == 0)
        return;
    if (m_k < 2) {
        for (AdminData& admin : m_admins)
            admin.EncKeyShare(m_wrapperKey.data(), m_wrapperKey.size());
        return;
    }

    // Each share is its u16 index followed by the bytes of its channel. The buffers wipe
    // themselves when released.
    std::vector<SecByteBlock> shares(n, SecByteBlock(kShareBuffer));
    std::vector<std::unique_ptr<CryptoPP::ArraySink>> sinks;
    sinks.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        sinks.push_back(std::make_unique<CryptoPP::ArraySink>(shares[i].data(), kShareBuffer));
        sinks[i]->PutWord16(CryptoPP::word16(i), CryptoPP::BIG_ENDIAN_ORDER);
    }
    {
        auto* channels = new CryptoPP::ChannelSwitch;  // owned by the sharing filter
        CryptoPP::SecretSharing sharing(CryptoP2::GlobalRNG(), m_k, int(n), channels, true);
        for (std::size_t i = 0; i < n; ++i)
            channels->AddRoute(Channel(std::uint32_t(i)), *sinks[i], CryptoPP::DEFAULT_CHANNEL);
        sharing.Put(m_wrapperKey.data(), m_wrapperKey.size());
        sharing.MessageEnd();
    }
    for (std::size_t i = 0; i < n; ++i) {
        const auto length = std::size_t(sinks[i]->TotalPutLength());
        if (length <= kIndexSize || length > kShareBuffer)
            throw Err();
        m_admins[i].EncKeyShare(shares[i].data(), length);
    }
}

std::optional<SecByteBlock> AdminKeyEntry::RecoverSecret() {
    OS::Trace t("AdminKeyEntry::RecoverSecret()");
    if (m_k < 2) {
        for (std::size_t i = 0; i < m_admins.size(); ++i) {
            if (!m_unlocked[i])
                continue;
            SecByteBlock secret = m_admins[i].DecKeyShare();
            if (secret.size() != kSecretSize)
                return std::nullopt;
            return secret;
        }
        return std::nullopt;
    }

    struct Share {
        std::uint32_t index;
        SecByteBlock bytes;
    };
    std::vector<Share> shares;
    std::set<std::uint32_t> seen;
    bool usable = true;
    for (std::size_t i = 0; i < m_admins.size() && shares.size() < m_k; ++i) {
        if (!m_unlocked[i])
            continue;
        SecByteBlock bytes = m_admins[i].DecKeyShare();
        if (bytes.size() < kIndexSize)
            throw Err();
        const std::uint32_t index = std::uint32_t(bytes[0]) << 8 | bytes[1];
        // Indices out of range or repeated would make the interpolation meaningless.
        if (index >= m_admins.size() || !seen.insert(index).second)
            usable = false;
        shares.push_back({index, std::move(bytes)});
    }
    if (!usable || shares.size() < m_k)
        return std::nullopt;

    SecByteBlock secret(kSecretSize);
    try {
        auto* sink = new CryptoPP::ArraySink(secret.data(), secret.size());
        CryptoPP::SecretRecovery recovery(m_k, sink, true);
        std::vector<std::unique_ptr<CryptoPP::StringSource>> sources;
        for (const Share& share : shares) {
            sources.push_back(std::make_unique<CryptoPP::StringSource>(
                share.bytes.data() + kIndexSize, share.bytes.size() - kIndexSize, false,
                new CryptoPP::ChannelSwitch(recovery, Channel(share.index))));
        }
        while (sources[0]->Pump(kPumpRound) > 0) {
            for (std::size_t i = 1; i < sources.size(); ++i)
                sources[i]->Pump(kPumpRound);
        }
        for (auto& source : sources)
            source->PumpAll();
        if (sink->TotalPutLength() != kSecretSize)
            return std::nullopt;
    } catch (const CryptoPP::Exception& e) {
        OS::Logger::Log(OS::LOG_WARN, std::string("Secret recovery failed: ") + e.what());
        return std::nullopt;
    }
    return secret;
}

std::optional<KeySet> AdminKeyEntry::RecoverKeys() {
    OS::Trace t("AdminKeyEntry::RecoverKeys()");
    std::optional<SecByteBlock> secret = RecoverSecret();
    if (!secret || !m_keySet)
        return std::nullopt;
    KeySet candidate(*m_keySet);
    bool opened = false;
    try {
        opened = candidate.Unwrap(*secret);
    } catch (const KeySet::Err&) {
        opened = false;
    }
    if (!opened)
        return std::nullopt;
    m_wrapperKey = *secret;
    return candidate;
}

void AdminKeyEntry::Lock(std::size_t index) {
    m_admins[index].ClearName();
    m_unlocked[index] = false;
}

std::size_t AdminKeyEntry::NumUnlocked() const {
    std::size_t count = 0;
    for (bool unlocked : m_unlocked)
        count += unlocked ? 1 : 0;
    return count;
}

UnlockResult AdminKeyEntry::TryPassword(const char* password, std::unique_ptr<KeySet>& out) {
    OS::Trace t("AdminKeyEntry::TryPassword()");
    if (m_admins.empty())
        return UnlockResult::Wrong;

    auto opens = [password](KeyPair& keys) {
        try {
            return keys.Decrypt(password);
        } catch (const KeyPair::Err&) {
            return false;  // a damaged sealed key opens with no password
        }
    };

    std::size_t unlocked = 0;
    bool unlockedNow = false;
    for (std::size_t i = 0; i < m_admins.size(); ++i) {
        if (m_unlocked[i]) {
            ++unlocked;
            continue;
        }
        if (unlockedNow)
            continue;  // at most one administrator per password typed
        AdminData& admin = m_admins[i];
        bool mine = false;
        try {
            mine = admin.RecoverName(password);
        } catch (const AdminRecovery::Err&) {
            // One damaged record must not keep the other administrators out.
            OS::Logger::Log(OS::LOG_WARN, "Administrator record unusable - skipping it");
            continue;
        }
        if (!mine)
            continue;
        if (admin.KeyFile()) {
            std::optional<std::string> path;
            if (m_callback)
                path = m_callback->AskText(admin.Name(), false);
            if (!path) {
                Lock(i);
                return UnlockResult::Cancelled;
            }
            if (!admin.ReadKeyDisk(*path) || !opens(admin.Keys())) {
                Lock(i);
                return UnlockResult::KeyFileUnusable;
            }
        } else if (!opens(admin.Keys())) {
            Lock(i);
            return UnlockResult::Failed;
        }
        m_unlocked[i] = true;
        ++unlocked;
        unlockedNow = true;
    }
    if (!unlockedNow)
        return UnlockResult::Wrong;
    if (unlocked < m_k)
        return UnlockResult::MoreAdmins;
    std::optional<KeySet> keys = RecoverKeys();
    if (!keys)
        return UnlockResult::Failed;
    out = std::make_unique<KeySet>(*keys);
    return UnlockResult::Unlocked;
}

}  // namespace FCryptEng
