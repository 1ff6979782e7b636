// Administrators' records and the administrators' key entry: unlocking sequences through a
// written and re-read key footer, key files, the record layouts by hand, hostile bodies.
#include <cryptopp/filters.h>
#include <cryptopp/queue.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format/KeyFooter.h"
#include "recovery/AdminData.h"
#include "recovery/AdminKeyEntry.h"
#include "recovery/AdminRecovery.h"
#include "support/ScriptedCallback.h"
#include "support/TempDir.h"

namespace {

using CryptoPP::byte;
using CryptoPP::SecByteBlock;
using cryvan_test::ReadText;
using cryvan_test::ScriptedCallback;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using FCryptEng::AdminData;
using FCryptEng::AdminKeyEntry;
using FCryptEng::AdminRecovery;
using FCryptEng::KeyEntry;
using FCryptEng::KeyFooter;
using FCryptEng::KeyPair;
using FCryptEng::KeySet;
using FCryptEng::UnlockResult;

std::string Be16(unsigned v) {
    return {char(v >> 8), char(v)};
}
unsigned Get16(const std::string& s, std::size_t at) {
    return unsigned(byte(s.at(at))) << 8 | byte(s.at(at + 1));
}
std::uint32_t Get32(const std::string& s, std::size_t at) {
    return std::uint32_t(Get16(s, at)) << 16 | Get16(s, at + 2);
}
std::string Str(const SecByteBlock& b) {
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}
SecByteBlock Block(const std::string& s) {
    return SecByteBlock(reinterpret_cast<const byte*>(s.data()), s.size());
}

template <class Write>
std::string Bytes(Write write) {
    std::string out;
    CryptoPP::StringSink sink(out);
    write(sink);
    return out;
}

// A key footer holding the configuration's administrators' entry, framed as in a container.
std::string Seal(const AdminRecovery& config, const KeySet& keys) {
    KeyFooter footer(nullptr);
    footer.Add(config.MakeKeyEntry());
    footer.SetKeys(&keys);
    return Bytes([&](auto& sink) { footer.PutEncoding(sink); });
}

std::unique_ptr<KeyFooter> Parse(const std::string& framed, FCryptEng::CryptorCallback* cb) {
    CryptoPP::StringSource source(framed, true);
    CryptoPP::word32 word = 0;
    EXPECT_EQ(source.GetWord32(word), 4u);
    return std::make_unique<KeyFooter>(cb, source, word & 0xFFFFFF, &AdminKeyEntry::Read);
}

AdminKeyEntry& Entry(KeyFooter& footer) {
    auto* entry = dynamic_cast<AdminKeyEntry*>(footer.GetEntry(0));
    EXPECT_NE(entry, nullptr);
    return *entry;
}

void ExpectSameKeys(const std::unique_ptr<KeySet>& got, const KeySet& keys) {
    ASSERT_TRUE(got);
    ASSERT_TRUE(got->KEK() && got->EncKey() && got->MacKey() && got->IV());
    EXPECT_EQ(*got->KEK(), *keys.KEK());
    EXPECT_EQ(*got->EncKey(), *keys.EncKey());
    EXPECT_EQ(*got->MacKey(), *keys.MacKey());
    EXPECT_EQ(*got->IV(), *keys.IV());
}

// The results of the passwords typed one after another into one footer.
std::vector<int> Attempts(KeyFooter& footer, const std::vector<const char*>& passwords,
                          std::unique_ptr<KeySet>& got) {
    std::vector<int> results;
    for (const char* password : passwords) {
        if (got)
            break;
        results.push_back(static_cast<int>(footer.TryPassword(password, got)));  // by number
    }
    return results;
}

template <class E>
void ExpectThrows(const std::function<void()>& action, const char* text) {
    try {
        action();
        ADD_FAILURE() << "no exception";
    } catch (const E& e) {
        EXPECT_STREQ(e.what(), text);
    }
}

// A body of an administrators' entry put together from its parts.
std::string Body(const std::string& keySet, unsigned n, unsigned k,
                 const std::vector<AdminData>& records) {
    std::string body = keySet + Be16(n) + Be16(k);
    for (const AdminData& admin : records)
        body += Bytes([&](auto& sink) { admin.WriteBody(sink); });
    return body;
}

std::unique_ptr<AdminKeyEntry> ReadEntry(const std::string& body,
                                         FCryptEng::CryptorCallback* cb = nullptr) {
    CryptoPP::StringStore store(body);
    return std::make_unique<AdminKeyEntry>(cb, store, std::uint32_t(body.size()));
}

// RSA keys are the slow part: every configuration is made once for the whole suite.
class Admins : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = std::make_unique<TempDir>();
        s_setup = std::make_unique<ScriptedCallback>();
        ScriptedCallback& cb = *s_setup;
        s_trio = std::make_unique<AdminRecovery>(&cb);
        ASSERT_TRUE(s_trio->Add("Alice", "pa", false));
        ASSERT_TRUE(s_trio->Add("Bob", "pb", false));
        ASSERT_TRUE(s_trio->Add("Carol", "pc", false));

        s_twins = std::make_unique<AdminRecovery>(&cb);
        ASSERT_TRUE(s_twins->Add("Twin1", "same", false));
        ASSERT_TRUE(s_twins->Add("Twin2", "same", false));

        cb.textAnswers = {KimKey(), KayKey(), *s_dir / "impostor.key"};
        s_keyed = std::make_unique<AdminRecovery>(&cb);
        ASSERT_TRUE(s_keyed->Add("Kim", "pk", true));
        ASSERT_TRUE(s_keyed->Add("Lee", "pl", false));
        ASSERT_TRUE(s_keyed->Add("Kay", "pq", true));
        // Same name and password as Kim, so only the encrypted name tells the files apart.
        AdminRecovery impostor(&cb);
        ASSERT_TRUE(impostor.Add("Kim", "pk", true));
        EXPECT_EQ(cb.asked, (std::vector<std::string>{"text Kim create", "text Kay create",
                                                      "text Kim create"}));
    }
    static void TearDownTestSuite() {
        s_trio.reset();
        s_twins.reset();
        s_keyed.reset();
        s_setup.reset();
        s_dir.reset();
    }
    static std::string KimKey() { return *s_dir / "kim.key"; }
    static std::string KayKey() { return *s_dir / "kay.key"; }

    static AdminRecovery With(const AdminRecovery& config, std::uint16_t k) {
        AdminRecovery copy(config);
        copy.SetK(k);
        return copy;
    }

    static inline std::unique_ptr<TempDir> s_dir;
    // The configurations borrow it for their whole life.
    static inline std::unique_ptr<ScriptedCallback> s_setup;
    static inline std::unique_ptr<AdminRecovery> s_trio, s_twins, s_keyed;

    KeySet keys{true};
    ScriptedCallback cb;
};

TEST_F(Admins, BelowTwoAnyOneAdministratorOpens) {
    for (std::uint16_t k : {0, 1}) {
        const std::string framed = Seal(With(*s_trio, k), keys);
        for (const char* password : {"pa", "pb", "pc"}) {
            SCOPED_TRACE(std::to_string(k) + password);
            auto footer = Parse(framed, &cb);
            std::unique_ptr<KeySet> got;
            EXPECT_EQ(Attempts(*footer, {"nobody", password}, got), (std::vector<int>{1, 2}));
            ExpectSameKeys(got, keys);
        }
    }
}

TEST_F(Admins, QuorumSequences) {
    struct Case {
        std::uint16_t k;
        std::vector<const char*> passwords;
        std::vector<int> results;
    } const cases[] = {
        {2, {"pa", "pb"}, {3, 2}},
        {2, {"pb", "pc"}, {3, 2}},
        {2, {"pc", "pa"}, {3, 2}},
        {2, {"pa", "pa", "pc"}, {3, 1, 2}},  // the same administrator counts once
        {2, {"pb", "wrong", "pa"}, {3, 1, 2}},
        {3, {"pc", "pb", "pb", "pa"}, {3, 3, 1, 2}},
        {3, {"pa", "pb", "nobody"}, {3, 3, 1}},
    };
    for (std::uint16_t k : {2, 3}) {
        const std::string framed = Seal(With(*s_trio, k), keys);
        for (const Case& c : cases) {
            if (c.k != k)
                continue;
            SCOPED_TRACE(testing::PrintToString(c.results));
            auto footer = Parse(framed, &cb);
            std::unique_ptr<KeySet> got;
            EXPECT_EQ(Attempts(*footer, c.passwords, got), c.results);
            if (c.results.back() == 2)
                ExpectSameKeys(got, keys);
            else
                EXPECT_FALSE(got);
        }
    }
}

TEST_F(Admins, SamePasswordUnlocksOneAdministratorPerCall) {
    auto footer = Parse(Seal(With(*s_twins, 2), keys), &cb);
    std::unique_ptr<KeySet> got;
    EXPECT_EQ(footer->TryPassword("same", got), FCryptEng::UnlockResult::MoreAdmins);
    const AdminKeyEntry& entry = Entry(*footer);
    EXPECT_EQ(entry.NumUnlocked(), 1u);
    EXPECT_EQ(entry.Admin(0).Name(), "Twin1");
    EXPECT_EQ(entry.Admin(1).Name(), "");
    EXPECT_EQ(footer->TryPassword("same", got), FCryptEng::UnlockResult::Unlocked);
    EXPECT_EQ(entry.Admin(1).Name(), "Twin2");
    ExpectSameKeys(got, keys);
}

TEST_F(Admins, NoAdministratorsOpenNothing) {
    for (std::uint16_t k : {0, 1, 2}) {
        AdminRecovery empty(&cb);
        empty.SetK(k);
        auto footer = Parse(Seal(empty, keys), &cb);
        EXPECT_EQ(Entry(*footer).GetN(), 0u);
        std::unique_ptr<KeySet> got;
        EXPECT_EQ(footer->TryPassword("", got), FCryptEng::UnlockResult::Wrong);
        EXPECT_EQ(footer->TryPassword("anything", got), FCryptEng::UnlockResult::Wrong);
        EXPECT_FALSE(got);
    }
}

TEST_F(Admins, AThresholdAboveTheCountIsRefusedWhenMaking) {
    AdminRecovery config(*s_trio);
    config.SetK(4);
    ExpectThrows<AdminRecovery::Err>([&] { config.MakeKeyEntry(); }, "\"AR Error\"");
}

TEST_F(Admins, ABodyBeyondSixteenBitsIsRefusedNotWrapped) {
    std::unique_ptr<KeyEntry> made = s_trio->MakeKeyEntry();
    const AdminData& alice = dynamic_cast<AdminKeyEntry&>(*made).Admin(0);
    const std::uint32_t each = alice.BodySize();
    // Just enough copies of one record to pass 65535 bytes.
    const std::size_t count = (0xFFFF - 4 - 108) / each + 1;
    AdminKeyEntry big(&cb, 1, std::vector<AdminData>(count, alice));
    big.SetKeys(keys);
    EXPECT_EQ(big.CalcBodySize(), 4u + 108u + count * each);
    EXPECT_THROW(big.BodySize(), FCryptEng::FooterEntry::Err);
    KeyFooter footer(nullptr);
    footer.Add(std::make_unique<AdminKeyEntry>(&cb, 1, std::vector<AdminData>(count - 1, alice)));
    footer.SetKeys(&keys);
    EXPECT_NO_THROW(Bytes([&](auto& sink) { footer.PutEncoding(sink); }));
}

TEST_F(Admins, KeyFileRequests) {
    // Files that are not Kim's, or that Kim's password does not open.
    const std::string garbage = *s_dir / "garbage.key";
    WriteText(garbage, "not a key file at all");
    const std::string kim = ReadText(KimKey());
    const std::string kay = ReadText(KayKey());
    // Kim's record with Kay's sealed key after the marker.
    std::size_t at = 2 + Get16(kim, 0);
    at += 2 + Get16(kim, at);
    at += 4 + Get16(kim, at + 2);
    ASSERT_EQ(byte(kim[at]), 0x47);
    std::size_t kayAt = 2 + Get16(kay, 0);
    kayAt += 2 + Get16(kay, kayAt);
    kayAt += 4 + Get16(kay, kayAt + 2);
    const std::string foreignKey = *s_dir / "foreign-sealed.key";
    WriteText(foreignKey, kim.substr(0, at + 1) + kay.substr(kayAt + 1));
    // A configuration record of Kim (marker 0x88, no sealed key) is no key file.
    AdminRecovery saved(*s_keyed);
    saved.SaveAs(*s_dir / "keyed.bin");
    const std::string config = ReadText(*s_dir / "keyed.bin");
    const std::string markerOnly = *s_dir / "marker-only.key";
    WriteText(markerOnly, config.substr(5));

    struct Case {
        std::optional<std::string> answer;
        int result;
    } const cases[] = {
        {std::nullopt, 4},
        {std::nullopt, 4},  // asked again: a cancelled request leaves Kim locked
        {*s_dir / "missing.key", 5},
        {garbage, 5},
        {KayKey(), 5},
        {*s_dir / "impostor.key", 5},
        {foreignKey, 5},
        {markerOnly, 5},
        {s_dir->Path(), 5},
        {KimKey(), 2},
    };
    auto footer = Parse(Seal(With(*s_keyed, 1), keys), &cb);
    std::unique_ptr<KeySet> got;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.value_or("cancelled"));
        cb.textAnswers = {c.answer};
        cb.asked.clear();
        EXPECT_EQ(static_cast<int>(footer->TryPassword("pk", got)), c.result);
        EXPECT_EQ(cb.asked, std::vector<std::string>{"text Kim"});
        EXPECT_EQ(Entry(*footer).NumUnlocked(), c.result == 2 ? 1u : 0u);
    }
    ExpectSameKeys(got, keys);
}

TEST_F(Admins, KeyFileAdministratorInAQuorum) {
    auto footer = Parse(Seal(With(*s_keyed, 2), keys), &cb);
    std::unique_ptr<KeySet> got;
    EXPECT_EQ(footer->TryPassword("pl", got), FCryptEng::UnlockResult::MoreAdmins);
    EXPECT_TRUE(cb.asked.empty());  // Lee's sealed key is in the container
    cb.textAnswers = {KayKey()};
    EXPECT_EQ(footer->TryPassword("pq", got), FCryptEng::UnlockResult::Unlocked);
    EXPECT_EQ(cb.asked, std::vector<std::string>{"text Kay"});
    ExpectSameKeys(got, keys);
}

TEST_F(Admins, RecordLayoutsByHand) {
    // Kim's key file: name, encrypted name, public key, marker 0x47, sealed key; nothing more.
    const std::string file = ReadText(KimKey());
    ASSERT_EQ(Get16(file, 0), 3u);
    EXPECT_EQ(file.substr(2, 3), "Kim");
    const std::size_t encNameSize = Get16(file, 5);
    const std::string encName = file.substr(7, encNameSize);
    // Salt, the 76-byte key set encoding (length 72), then whole AES blocks of "Kim" + MAC.
    EXPECT_EQ(Get32(encName, 16), 72u);
    EXPECT_EQ(encNameSize, 16u + 76u + 48u);
    std::size_t at = 7 + encNameSize;
    EXPECT_EQ(Get16(file, at), KeyPair::kPublicKeyTag);
    at += 4 + Get16(file, at + 2);
    EXPECT_EQ(byte(file[at]), AdminData::kWithPrivateKey);
    EXPECT_EQ(Get16(file, at + 1), KeyPair::kSealedKeyTag);
    EXPECT_EQ(file.size(), at + 1 + 4 + Get16(file, at + 3));

    // The configuration: 01, N 3, K 1, then Kim's record with marker 0x88 and Lee's next.
    AdminRecovery config(With(*s_keyed, 1));
    config.SaveAs(*s_dir / "layout.bin");
    const std::string saved = ReadText(*s_dir / "layout.bin");
    EXPECT_EQ(saved.substr(0, 5), std::string("\x01\x00\x03\x00\x01", 5));
    const std::size_t kimMarker = 5 + at;
    EXPECT_EQ(saved.substr(5, at), file.substr(0, at));
    EXPECT_EQ(byte(saved[kimMarker]), AdminData::kKeyInKeyFile);
    EXPECT_EQ(saved.substr(kimMarker + 1, 5), Be16(3) + "Lee");

    // The entry body: key set, N, K, and per administrator encrypted name, 128-byte share and
    // the sealed-key record size (0 for key-file administrators).
    std::unique_ptr<KeyEntry> made = config.MakeKeyEntry();
    made->SetKeys(keys);
    const std::string body = Bytes([&](auto& sink) { made->PutBody(sink); });
    EXPECT_EQ(made->BodySize(), body.size());
    EXPECT_EQ(Get32(body, 0), KeySet::kWrappedWithKek);
    std::size_t pos = 4 + KeySet::kWrappedWithKek;
    EXPECT_EQ(Get16(body, pos), 3u);
    EXPECT_EQ(Get16(body, pos + 2), 1u);
    pos += 4;
    const auto& entry = dynamic_cast<const AdminKeyEntry&>(*made);
    for (unsigned i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const std::size_t start = pos;
        const std::size_t nameSize = Get16(body, pos);
        EXPECT_EQ(body.substr(pos + 2, nameSize), Str(*entry.Admin(i).EncName()));
        if (i == 0) {
            EXPECT_EQ(body.substr(pos + 2, nameSize), encName);
        }
        pos += 2 + nameSize;
        EXPECT_EQ(Get16(body, pos), 128u);
        pos += 2 + 128;
        const std::size_t keySize = Get16(body, pos);
        pos += 2;
        if (i == 1) {
            EXPECT_EQ(Get16(body, pos), KeyPair::kSealedKeyTag);
            EXPECT_EQ(keySize, 4u + Get16(body, pos + 2));
        } else {
            EXPECT_EQ(keySize, 0u);
        }
        pos += keySize;
        EXPECT_EQ(pos - start, entry.Admin(i).BodySize());
    }
    EXPECT_EQ(pos, body.size());
}

// Entries whose parts are changed one at a time, read straight from their bodies.
class Tampered : public Admins {
  protected:
    void SetUp() override {
        made = std::unique_ptr<AdminKeyEntry>(
            static_cast<AdminKeyEntry*>(With(*s_trio, 2).MakeKeyEntry().release()));
        made->SetKeys(keys);
        const std::string body = Bytes([&](auto& sink) { made->PutBody(sink); });
        keySet = body.substr(0, 4 + KeySet::kWrappedWithKek);
        for (std::size_t i = 0; i < 3; ++i)
            records.push_back(made->Admin(i));
    }

    // The plain share of administrator i, opened with its password.
    SecByteBlock PlainShare(std::size_t i, const char* password) const {
        AdminData admin(made->Admin(i));
        EXPECT_TRUE(admin.Keys().Decrypt(password));
        return admin.DecKeyShare();
    }

    std::unique_ptr<AdminKeyEntry> made;
    std::string keySet;
    std::vector<AdminData> records;
};

TEST_F(Tampered, SharesThatDoNotRebuildTheSecret) {
    const std::string a = Str(PlainShare(0, "pa")), b = Str(PlainShare(1, "pb"));
    ASSERT_EQ(a.size(), 2u + 36u);  // index, 32 bytes, padding to whole 32-bit words
    EXPECT_EQ(Get16(a, 0), 0u);
    EXPECT_EQ(Get16(b, 0), 1u);
    std::string flipped = a;
    flipped[10] ^= 0x40;
    struct Case {
        const char* what;
        std::string alice;
        int result;  // -1: KeyEntry::Err
    } const cases[] = {
        {"genuine", a, 2},
        {"index past N", Be16(7) + a.substr(2), 6},
        {"index 0xFFFF", Be16(0xFFFF) + a.substr(2), 6},
        {"same index twice", Be16(1) + a.substr(2), 6},
        {"index only", a.substr(0, 2), 6},
        {"short", a.substr(0, 12), 6},
        {"changed", flipped, 6},
        {"one byte", a.substr(0, 1), -1},
        {"empty", "", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<AdminData> changed = records;
        changed[0].EncKeyShare(reinterpret_cast<const byte*>(c.alice.data()), c.alice.size());
        auto entry = ReadEntry(Body(keySet, 3, 2, changed));
        std::unique_ptr<KeySet> got;
        EXPECT_EQ(entry->TryPassword("pa", got), FCryptEng::UnlockResult::MoreAdmins);
        if (c.result < 0) {
            ExpectThrows<KeyEntry::Err>([&] { entry->TryPassword("pb", got); },
                                        "\"KeyEntry error\"");
        } else {
            EXPECT_EQ(static_cast<int>(entry->TryPassword("pb", got)), c.result);
        }
        EXPECT_EQ(bool(got), c.result == 2);
    }
}

TEST_F(Tampered, BelowTwoTheShareMustBeTheWholeSecret) {
    auto whole = ReadEntry(Body(keySet, 3, 1, records));
    std::unique_ptr<KeySet> got;
    // Under K = 1 a K = 2 share is no secret.
    EXPECT_EQ(whole->TryPassword("pa", got), FCryptEng::UnlockResult::Failed);
    const std::string shortSecret(31, 'x');
    std::vector<AdminData> changed = records;
    changed[1].EncKeyShare(reinterpret_cast<const byte*>(shortSecret.data()), shortSecret.size());
    EXPECT_EQ(ReadEntry(Body(keySet, 3, 1, changed))->TryPassword("pb", got),
              FCryptEng::UnlockResult::Failed);
    EXPECT_FALSE(got);
}

TEST_F(Tampered, WrongKeysInTheContainer) {
    std::unique_ptr<KeySet> got;
    // Bob's record carrying Alice's sealed key: Bob's password names him but opens nothing.
    std::vector<AdminData> swapped = records;
    swapped[1].Keys() = records[0].Keys();
    auto entry = ReadEntry(Body(keySet, 3, 2, swapped));
    EXPECT_EQ(entry->TryPassword("pb", got), FCryptEng::UnlockResult::Failed);
    EXPECT_EQ(entry->NumUnlocked(), 0u);
    EXPECT_EQ(entry->TryPassword("pa", got), FCryptEng::UnlockResult::MoreAdmins);

    // A changed wrapped key set: the shares rebuild the secret, which opens nothing.
    std::string otherSet = keySet;
    otherSet[20] ^= 1;
    entry = ReadEntry(Body(otherSet, 3, 2, records));
    EXPECT_EQ(entry->TryPassword("pc", got), FCryptEng::UnlockResult::MoreAdmins);
    EXPECT_EQ(entry->TryPassword("pa", got), FCryptEng::UnlockResult::Failed);
    EXPECT_FALSE(got);
}

TEST_F(Tampered, DamagedNamesAreSkipped) {
    // Alice's encrypted name cut short, and Bob's with a changed first block (MAC mismatch):
    // neither keeps the others out.
    std::vector<AdminData> changed = records;
    for (std::size_t i : {0, 1}) {
        std::string record = Bytes([&](auto& sink) { records[i].WriteBody(sink); });
        if (i == 0)
            record = Be16(15) + record.substr(2, 15) + record.substr(2 + Get16(record, 0));
        else
            record[2 + 16 + 76] ^= 1;
        CryptoPP::StringStore store(record);
        changed[i].ReadBody(store);
    }
    ExpectThrows<AdminRecovery::Err>([&] { AdminData(changed[0]).RecoverName("pa"); },
                                     "\"AR Error\"");
    AdminData bob(changed[1]);
    ExpectThrows<AdminRecovery::Err>([&] { bob.RecoverName("pb"); }, "\"AR Error\"");
    EXPECT_EQ(bob.Name(), "");
    EXPECT_FALSE(bob.RecoverName("pa"));

    auto entry = ReadEntry(Body(keySet, 3, 2, changed));
    std::unique_ptr<KeySet> got;
    EXPECT_EQ(entry->TryPassword("pa", got), FCryptEng::UnlockResult::Wrong);
    EXPECT_EQ(entry->TryPassword("pb", got), FCryptEng::UnlockResult::Wrong);
    EXPECT_EQ(entry->TryPassword("pc", got), FCryptEng::UnlockResult::MoreAdmins);
}

TEST_F(Tampered, HostileCounts) {
    // N larger than the body can hold: refused before anything is allocated.
    for (unsigned n : {0xFFFFu, 3u})
        ExpectThrows<KeyEntry::Err>([&] { ReadEntry(Body(keySet, n, 1, {}) + "0123456789"); },
                                    "\"KeyEntry error\"");
    ExpectThrows<KeyEntry::Err>([&] { ReadEntry(keySet + Be16(1)); }, "\"KeyEntry error\"");
    // K above N: never enough administrators, never a crash.
    auto entry = ReadEntry(Body(keySet, 1, 5, {records[0]}));
    std::unique_ptr<KeySet> got;
    EXPECT_EQ(entry->TryPassword("pa", got), FCryptEng::UnlockResult::MoreAdmins);
    EXPECT_EQ(entry->TryPassword("pa", got), FCryptEng::UnlockResult::Wrong);
    for (unsigned k : {0u, 1u, 0xFFFFu}) {
        entry = ReadEntry(Body(keySet, 0, k, {}));
        EXPECT_EQ(entry->TryPassword("pa", got), FCryptEng::UnlockResult::Wrong);
    }
    EXPECT_FALSE(got);
}

TEST_F(Tampered, EveryTruncationOfABodyIsRefused) {
    const std::string body = Body(keySet, 3, 2, records);
    ASSERT_NO_THROW(ReadEntry(body));
    for (std::size_t size = 0; size < body.size(); ++size) {
        try {
            ReadEntry(body.substr(0, size));
            ADD_FAILURE() << "accepted " << size << " bytes";
        } catch (const KeyEntry::Err&) {
        } catch (const KeySet::Err&) {
        } catch (const AdminRecovery::Err&) {
        } catch (const KeyPair::Err&) {
        }
    }
}

TEST_F(Admins, EveryTruncationOfAKeyFileIsRefused) {
    const std::string file = ReadText(KimKey());
    std::unique_ptr<KeyEntry> made = With(*s_keyed, 1).MakeKeyEntry();
    AdminData kim(dynamic_cast<AdminKeyEntry&>(*made).Admin(0));
    ASSERT_EQ(kim.Name(), "Kim");
    const std::string cut = *s_dir / "cut.key";
    for (std::size_t size = 0; size < file.size(); ++size) {
        SCOPED_TRACE(size);
        CryptoPP::StringStore store(reinterpret_cast<const byte*>(file.data()), size);
        AdminData read;
        try {
            read.Read(store);
            ADD_FAILURE() << "accepted";
        } catch (const AdminRecovery::Err&) {
        } catch (const KeyPair::Err&) {
        }
        WriteText(cut, file.substr(0, size));
        EXPECT_FALSE(kim.ReadKeyDisk(cut));
    }
    WriteText(cut, file + "trailing");
    EXPECT_TRUE(kim.ReadKeyDisk(cut));
    EXPECT_TRUE(kim.Keys().Decrypt("pk"));
}

TEST_F(Admins, KeyFilesAreWrittenWholeOrNotAtAll) {
    s_keyed->SaveAs(*s_dir / "written.bin");
    AdminRecovery opened(nullptr);
    opened.Open(*s_dir / "written.bin");
    std::unique_ptr<KeyEntry> made = opened.MakeKeyEntry();
    const AdminData& kim = dynamic_cast<AdminKeyEntry&>(*made).Admin(0);
    // Read from the configuration file, Kim has no sealed key to write.
    EXPECT_FALSE(kim.WriteKeyDisk(*s_dir / "none.key"));
    EXPECT_FALSE(std::filesystem::exists(*s_dir / "none.key"));
    // A key-file administrator read back from its own key file can write it again.
    AdminData copy;
    CryptoPP::StringSource in(ReadText(KimKey()), true);
    copy.Read(in);
    WriteText(*s_dir / "blocker", "x");
    EXPECT_FALSE(copy.WriteKeyDisk(*s_dir / "blocker/under-a-file.key"));
    EXPECT_TRUE(copy.WriteKeyDisk(*s_dir / "again.key"));
    EXPECT_EQ(ReadText(*s_dir / "again.key"), ReadText(KimKey()));
#ifndef _WIN32
    // Readable by its owner only (Windows has no such bits: the folder chosen decides).
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::status(*s_dir / "again.key").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
#endif
}

TEST(AdminData, NameRoundTrip) {
    AdminData admin;
    admin.CreateNewAdmin("Zoë Ådmin", "secret", false);
    AdminData read;
    CryptoPP::StringSource in(Bytes([&](auto& sink) { admin.WriteBody(sink); }), true);
    read.ReadBody(in);
    EXPECT_EQ(read.Name(), "");
    EXPECT_FALSE(read.RecoverName("Secret"));
    EXPECT_EQ(read.Name(), "");
    EXPECT_TRUE(read.RecoverName("secret"));
    EXPECT_EQ(read.Name(), "Zoë Ådmin");
    // A name the records cannot hold is refused before a key is made.
    AdminData huge;
    ExpectThrows<AdminRecovery::Err>(
        [&] { huge.CreateNewAdmin(std::string(70000, 'n').c_str(), "pw", false); }, "\"AR Error\"");
    EXPECT_FALSE(huge.Keys().HasPublicKey());
}

}  // namespace
