#include "format/KeyFooter.h"

#include <cryptopp/filters.h>

#include "filters/ProgressFilter.h"
#include "os/Logger.h"

namespace FCryptEng {

KeyFooter::KeyFooter(CryptorCallback* callback) : Footer(kKind), m_callback(callback) {}

KeyFooter::KeyFooter(CryptorCallback* callback, CryptoPP::BufferedTransformation& source,
                     std::uint32_t n, AdminEntryReader adminReader)
    : Footer(kKind), m_callback(callback) {
    OS::Trace t("KeyFooter::KeyFooter()");
    ReadEncoding(source, n);
    ProcessEncoding(adminReader);
}

FooterEntry* KeyFooter::Entry(std::size_t index) {
    return index < m_entries.size() ? m_entries[index].get() : nullptr;
}

KeyEntry* KeyFooter::GetEntry(std::size_t index) {
    return index < m_entries.size() ? m_entries[index].get() : nullptr;
}

void KeyFooter::Add(std::unique_ptr<KeyEntry> entry) {
    OS::Trace t("KeyFooter::Add()");
    m_entries.push_back(std::move(entry));
    SizeChanged();
}

void KeyFooter::ClearEntries() {
    OS::Trace t("KeyFooter::ClearEntries()");
    m_pending = nullptr;
    m_entries.clear();
    SizeChanged();
}

void KeyFooter::PreEncodingHook() {
    OS::Trace t("KeyFooter::PreEncodingHook()");
    const KeySet& keys = Keys();
    for (auto& entry : m_entries)
        entry->SetKeys(keys);
    SizeChanged();
}

void KeyFooter::ProcessEncoding(const AdminEntryReader& adminReader) {
    OS::Trace t("KeyFooter::ProcessEncoding()");
    const CryptoPP::byte* body = m_rawBody.data();
    const std::size_t total = m_rawBody.size();
    std::size_t used = 0;
    while (used < total) {
        if (total - used < 4)
            throw Err();
        const std::uint16_t tag = std::uint16_t(body[used] << 8 | body[used + 1]);
        const std::uint16_t size = std::uint16_t(body[used + 2] << 8 | body[used + 3]);
        used += 4;
        const bool known = tag == UserPasswordKeyEntry::kTag ||
                           tag == EmergencyPasswordKeyEntry::kTag ||
                           (tag == kAdminTag && adminReader);
        if (size > total - used)
            throw known ? Err("Corrupt input file") : Err();
        // Each record reads from exactly its own body, so one that needs fewer bytes than it
        // states never makes the footer lose its place.
        CryptoPP::StringStore record(body + used, size);
        if (tag == UserPasswordKeyEntry::kTag) {
            Add(std::make_unique<UserPasswordKeyEntry>(record, size));
        } else if (tag == EmergencyPasswordKeyEntry::kTag) {
            Add(std::make_unique<EmergencyPasswordKeyEntry>(record, size));
        } else if (tag == kAdminTag && adminReader) {
            std::unique_ptr<KeyEntry> entry = adminReader(m_callback, record, size);
            if (entry)
                Add(std::move(entry));
        } else {
            ++m_unknownRecords;
            OS::Logger::Log(OS::LOG_WARN,
                            "Unrecognised tag reading Key Footer - ignoring this entry");
        }
        used += size;
    }
}

UnlockResult KeyFooter::TryPassword(const char* password, std::unique_ptr<KeySet>& out) {
    OS::Trace t("KeyFooter::TryPassword()");
    UnlockResult result = UnlockResult::Nothing;
    if (m_pending) {
        // An administrators' entry that asked for more receives every later attempt.
        result = m_pending->TryPassword(password, out);
    } else {
        for (auto& entry : m_entries) {
            if (out || (result != UnlockResult::Nothing && result != UnlockResult::Wrong))
                break;
            try {
                result = entry->TryPassword(password, out);
            } catch (const CryptoP2::ProgressFilter::OperationTerminated&) {
                throw;
            } catch (const std::exception& e) {
                // A damaged entry must not lock the user out through the entries after it.
                OS::Logger::Log(OS::LOG_WARN, std::string("Key entry unusable: ") + e.what());
                result = UnlockResult::Wrong;
            }
            if (result == UnlockResult::MoreAdmins) {
                m_pending = entry.get();
                break;
            }
        }
    }
    if (out) {
        SetKeys(out.get());
        VerifyMac();
    }
    return result;
}

}  // namespace FCryptEng
