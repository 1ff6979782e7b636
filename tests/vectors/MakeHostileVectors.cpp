// Makes the hostile containers in tests/vectors/hostile again: one intact container written by
// our own encryptor, then copies of it with targeted edits, each beside NAME.expect, which says
// what the engine must do with it (the engine's vector test reads both).
//
//   build/bin/cryvan-make-vectors tests/vectors/hostile
//
// The keys are fresh on every run, so the containers change; the expectations do not. Edits
// inside the directory are made on its plain body, which is then encrypted and MAC'd again here
// with Crypto++ directly, so a vector never depends on the reader it tests.
#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/hmac.h>
#include <cryptopp/modes.h>
#include <cryptopp/queue.h>
#include <cryptopp/sha.h>

#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "engine/FileCryptor.h"
#include "format/KeyFooter.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::string;
using FCryptEng::KeySet;

const char kPassword[] = "hostile vectors";
const char kHeader[] = "Cryvan encrypted file - do not edit";
const char kCorrupt[] = "Corrupt input file";
const char kPumpFooter[] = "Unable to pump footer data";
const char kFooterTag[] = "Unrecognised footer tag";
const char kFooterMac[] = "Footer MAC mismatch";
const char kFileMac[] = "File MAC mismatch - corrupted or modified input file";
const char kFileSize[] = "File size mismatch - corrupted or modified input file";
const char kKeyRecordWarning[] = "Unrecognised tag reading Key Footer - ignoring this entry";
const char kDirRecordWarning[] = "Unrecognised tag reading Dir Footer - ignoring this entry";

constexpr std::uint16_t kPasswordEntryTag = 0x8C14;
constexpr std::uint16_t kDirEntryTag = 0x25DE;
constexpr std::uint16_t kName = 0xDE01, kFlags = 0xDE0B, kOffset = 0xDE02, kArchiveSize = 0xDE03,
                        kOriginalSize = 0xDE04, kKeySet = 0xDE05, kMac = 0xDE06;

// A random draw made the edit's outcome other than the one written down: make the base again.
struct Retry : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void Require(bool holds, const char* what) {
    if (!holds)
        throw Retry(what);
}

Bytes Be16(std::uint16_t v) {
    return Bytes{char(v >> 8), char(v)};
}
Bytes Be32(std::uint32_t v) {
    return Be16(std::uint16_t(v >> 16)) + Be16(std::uint16_t(v));
}
std::uint16_t GetBe16(const Bytes& b, std::size_t at) {
    return std::uint16_t(std::uint8_t(b.at(at)) << 8 | std::uint8_t(b.at(at + 1)));
}
std::uint32_t GetBe32(const Bytes& b, std::size_t at) {
    return std::uint32_t(GetBe16(b, at)) << 16 | GetBe16(b, at + 2);
}
void PutBe32(Bytes& b, std::size_t at, std::uint32_t v) {
    b.replace(at, 4, Be32(v));
}
Bytes Flip(Bytes b, std::size_t at) {
    b.at(at) ^= 0x01;
    return b;
}

const CryptoPP::byte* Data(const Bytes& b) {
    return reinterpret_cast<const CryptoPP::byte*>(b.data());
}

Bytes Sha256Hex(const Bytes& data) {
    Bytes hex;
    CryptoPP::SHA256 sha;
    CryptoPP::StringSource(
        data, true,
        new CryptoPP::HashFilter(sha,
                                 new CryptoPP::HexEncoder(new CryptoPP::StringSink(hex), false)));
    return hex;
}

// Bytes that do not compress, the same on every run.
Bytes Noise(const Bytes& seed, std::size_t size) {
    Bytes out;
    for (std::uint32_t i = 0; out.size() < size; ++i) {
        Bytes digest;
        CryptoPP::SHA256 sha;
        CryptoPP::StringSource(seed + Be32(i), true,
                               new CryptoPP::HashFilter(sha, new CryptoPP::StringSink(digest)));
        out += digest;
    }
    out.resize(size);
    return out;
}

Bytes Text(std::size_t size) {
    static const Bytes words = "the quick brown fox jumps over the lazy dog, again and again. ";
    Bytes out;
    while (out.size() < size)
        out += words;
    out.resize(size);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Records, footers and the footer key set, straight from the byte layout.

struct Record {
    std::uint16_t tag;
    Bytes body;
};

Bytes Encode(const Record& r) {
    return Be16(r.tag) + Be16(std::uint16_t(r.body.size())) + r.body;
}

Bytes Join(const std::vector<Record>& records) {
    Bytes out;
    for (const Record& r : records)
        out += Encode(r);
    return out;
}

std::vector<Record> Records(const Bytes& body) {
    std::vector<Record> out;
    for (std::size_t at = 0; at < body.size();) {
        const std::uint16_t size = GetBe16(body, at + 2);
        out.push_back({GetBe16(body, at), body.substr(at + 4, size)});
        at += 4 + size;
        if (at > body.size())
            throw std::runtime_error("records do not tile the body");
    }
    return out;
}

Bytes Hmac(const KeySet& keys, const Bytes& data) {
    Bytes mac;
    CryptoPP::HMAC<CryptoPP::SHA256> hmac(keys.MacKey()->data(), keys.MacKey()->size());
    CryptoPP::StringSource(data, true,
                           new CryptoPP::HashFilter(hmac, new CryptoPP::StringSink(mac)));
    return mac;
}

Bytes Aes(bool encrypt, const KeySet& keys, const Bytes& data) {
    Bytes out;
    if (encrypt) {
        CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption aes(keys.EncKey()->data(), 16,
                                                          keys.IV()->data());
        CryptoPP::StringSource(
            data, true,
            new CryptoPP::StreamTransformationFilter(aes, new CryptoPP::StringSink(out)));
    } else {
        CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption aes(keys.EncKey()->data(), 16,
                                                          keys.IV()->data());
        CryptoPP::StringSource(
            data, true,
            new CryptoPP::StreamTransformationFilter(aes, new CryptoPP::StringSink(out)));
    }
    return out;
}

// A framed footer: kind in the top byte, then the length of what follows the word.
Bytes Framed(std::uint8_t kind, const Bytes& body, const Bytes& mac) {
    return Be32(std::uint32_t(kind) << 24 | std::uint32_t(body.size() + mac.size())) + body + mac;
}

// Where a field's value lies in a directory entry's body.
std::size_t FieldAt(const Bytes& entry, std::uint16_t wanted) {
    if (wanted == kName)
        return 2;
    std::size_t at = 4 + GetBe16(entry, 2);
    for (;;) {
        const std::uint16_t tag = GetBe16(entry, at);
        if (tag == wanted)
            return at + 2;
        switch (tag) {
            case kFlags:
            case kOffset:
            case kArchiveSize:
            case kOriginalSize:
                at += 6;
                break;
            case kKeySet:
                at += 6 + GetBe32(entry, at + 2);
                break;
            case kMac:
                at += 34;
                break;
            default:
                throw std::runtime_error("no such field in the entry");
        }
    }
}

Bytes WithName(Bytes entry, const Bytes& name) {
    entry.replace(2, 2 + GetBe16(entry, 2), Be16(std::uint16_t(name.size())) + name);
    return entry;
}

std::uint32_t Field(const Bytes& entry, std::uint16_t tag) {
    return GetBe32(entry, FieldAt(entry, tag));
}

Bytes WithField(Bytes entry, std::uint16_t tag, std::uint32_t value) {
    PutBe32(entry, FieldAt(entry, tag), value);
    return entry;
}

// ---------------------------------------------------------------------------------------------
// The intact container, taken apart.

struct Plain {
    const char* name;  // relative, with '/'
    Bytes bytes;
};

// a.bin and c.bin do not compress, so a changed byte of theirs can only fail the MAC; b.txt does.
const std::vector<Plain>& Inputs() {
    static const std::vector<Plain> inputs = {
        {"docs/a.bin", Noise("a", 1024)},
        {"docs/b.txt", Text(300)},
        {"docs/c.bin", Noise("c", 1024)},
    };
    return inputs;
}

struct Base {
    Bytes container;
    std::size_t region = 0;  // where the footer region begins
    Bytes keyBody, keyMac, dirCipher, dirMac, dirPlain;
    std::unique_ptr<KeySet> keys;
    std::vector<Record> dir;  // folder docs, then a.bin, b.txt, c.bin

    Bytes Prefix() const { return container.substr(0, region); }
    Bytes KeyFooter() const { return Framed(0x8C, keyBody, keyMac); }
    Bytes DirFooter() const { return Framed(0x25, dirCipher, dirMac); }
    // The container with this footer region, the footer length after it.
    Bytes With(const Bytes& footers) const { return Prefix() + footers + Be32(footers.size()); }
    Bytes SealedKeys(const Bytes& body) const { return Framed(0x8C, body, Hmac(*keys, body)); }
    Bytes SealedDir(const Bytes& plain) const {
        return Framed(0x25, Aes(true, *keys, plain), Hmac(*keys, plain));
    }
    Bytes WithKeyBody(const Bytes& body) const { return With(SealedKeys(body) + DirFooter()); }
    Bytes WithDirectory(const std::vector<Record>& records) const {
        return With(KeyFooter() + SealedDir(Join(records)));
    }
    // The directory with one entry's body replaced.
    Bytes WithEntry(std::size_t index, const Bytes& body) const {
        std::vector<Record> records = dir;
        records.at(index).body = body;
        return WithDirectory(records);
    }
    // Where the stored data of entry `index` begins, and its length.
    std::size_t DataStart(std::size_t index) const {
        return region - Field(dir.at(index).body, kOffset);
    }
    std::size_t DataSize(std::size_t index) const {
        return Field(dir.at(index).body, kArchiveSize);
    }
};

Base MakeBase() {
    cryvan_test::TempDir dir;
    fs::create_directories(dir / "in/docs");
    for (const Plain& p : Inputs())
        cryvan_test::WriteText(dir / "in/" + p.name, p.bytes);
    const std::string box = dir / "base.aes";

    FCryptEng::OperationStatus status;
    auto encryptor = FCryptEng::FileCryptor::Create(false, &status, nullptr);
    encryptor->SetPlainFile(dir / "in/docs");
    for (const Plain& p : Inputs())
        encryptor->SetPlainFile(dir / "in/" + p.name);
    encryptor->SetPathAndMode(0, std::nullopt);
    encryptor->CipherFile(box);
    encryptor->Password(kPassword);
    encryptor->SetHeader(reinterpret_cast<const std::uint8_t*>(kHeader), sizeof kHeader - 1);
    encryptor->Begin();
    if (status.State() != FCryptEng::OperationState::Finished)
        throw std::runtime_error("the intact container was not written: " + status.failure);

    Base b;
    b.container = cryvan_test::ReadText(box);
    const std::size_t size = b.container.size();
    b.region = size - 4 - GetBe32(b.container, size - 4);
    const std::uint32_t keyWord = GetBe32(b.container, b.region);
    const std::size_t keyLength = keyWord & 0xFFFFFF;
    const std::size_t dirAt = b.region + 4 + keyLength;
    const std::uint32_t dirWord = GetBe32(b.container, dirAt);
    const std::size_t dirLength = dirWord & 0xFFFFFF;
    if (keyWord >> 24 != 0x8C || dirWord >> 24 != 0x25 || dirAt + 4 + dirLength != size - 4)
        throw std::runtime_error("the writer's footers are not where they belong");
    b.keyBody = b.container.substr(b.region + 4, keyLength - 32);
    b.keyMac = b.container.substr(b.region + 4 + keyLength - 32, 32);
    b.dirCipher = b.container.substr(dirAt + 4, dirLength - 32);
    b.dirMac = b.container.substr(dirAt + 4 + dirLength - 32, 32);

    CryptoPP::ByteQueue keyFooter;
    keyFooter.Put(Data(b.keyBody + b.keyMac), keyLength);
    FCryptEng::KeyFooter reader(nullptr, keyFooter, std::uint32_t(keyLength));
    if (reader.TryPassword(kPassword, b.keys) != FCryptEng::KeyEntry::TRY_UNLOCKED)
        throw std::runtime_error("the intact container does not open");
    b.dirPlain = Aes(false, *b.keys, b.dirCipher);
    if (Hmac(*b.keys, b.dirPlain) != b.dirMac)
        throw std::runtime_error("the directory's MAC is not over its plain body");
    b.dir = Records(b.dirPlain);
    const char* names[] = {"docs", "docs\\a.bin", "docs\\b.txt", "docs\\c.bin"};
    if (b.dir.size() != 4)
        throw std::runtime_error("the directory does not list the inputs");
    for (std::size_t i = 0; i < 4; ++i)
        if (b.dir[i].tag != kDirEntryTag ||
            b.dir[i].body.substr(4, GetBe16(b.dir[i].body, 2)) != names[i])
            throw std::runtime_error("the directory does not list the inputs in order");
    if (Records(b.keyBody).size() != 1 || Records(b.keyBody)[0].tag != kPasswordEntryTag)
        throw std::runtime_error("the key footer holds other than one password entry");
    return b;
}

// ---------------------------------------------------------------------------------------------
// What the engine must do.

struct Expect {
    Bytes refused;                // the footers are refused with this text
    Bytes unlock = "opens";       // opens, wrong, nothing, corrupt
    Bytes reason;                 // with corrupt: why, as the log says
    std::vector<Bytes> warnings;  // logged while the container is opened
    Bytes failure;                // the run fails: "<stored name>: <reason>"
    std::vector<Bytes> out;       // what the run leaves, "docs" or "docs/a.bin"
};

Expect Refused(const char* text) {
    Expect e;
    e.refused = text;
    return e;
}
Expect Unlock(const char* result, const char* reason = "") {
    Expect e;
    e.unlock = result;
    e.reason = reason;
    return e;
}
Expect Opens(std::vector<Bytes> out = {"docs", "docs/a.bin", "docs/b.txt", "docs/c.bin"},
             std::vector<Bytes> warnings = {}) {
    Expect e;
    e.out = std::move(out);
    e.warnings = std::move(warnings);
    return e;
}
Expect Fails(const Bytes& failure, std::vector<Bytes> out) {
    Expect e = Opens(std::move(out));
    e.failure = failure;
    return e;
}

Bytes Manifest(const Bytes& why, const Expect& e) {
    Bytes m = "# " + why + "\n";
    m += "password " + Bytes(kPassword) + "\n";
    if (!e.refused.empty())
        return m + "refused " + e.refused + "\n";
    m += "unlock " + e.unlock + "\n";
    if (!e.reason.empty())
        m += "reason " + e.reason + "\n";
    for (const Bytes& w : e.warnings)
        m += "warning " + w + "\n";
    if (e.unlock != "opens")
        return m;
    m += e.failure.empty() ? "run finished\n" : "run failed\nfailure " + e.failure + "\n";
    for (const Bytes& name : e.out) {
        const Plain* plain = nullptr;
        for (const Plain& p : Inputs())
            if (name == p.name)
                plain = &p;
        m += plain ? "file " + name + " " + std::to_string(plain->bytes.size()) + " " +
                         Sha256Hex(plain->bytes) + "\n"
                   : "folder " + name + "\n";
    }
    return m;
}

struct Vector {
    const char* name;
    Bytes why;
    Bytes bytes;
    Expect expect;
};

std::vector<Vector> Vectors(const Base& b) {
    const Bytes whole = b.container;
    const std::size_t size = whole.size();
    const std::size_t keyEnd = b.region + b.KeyFooter().size();
    const std::size_t T = b.KeyFooter().size() + b.DirFooter().size();
    std::vector<Vector> v;

    // Whole file and footer length.
    v.push_back({"intact", "The container as written: every file comes out.", whole, Opens()});
    v.push_back({"empty", "A file of no bytes.", "", Refused(kPumpFooter)});
    v.push_back({"three-bytes", "Shorter than the footer length alone.", whole.substr(0, 3),
                 Refused(kPumpFooter)});
    v.push_back({"magic-only",
                 "Only the 35-byte header: its last four bytes, read as the footer "
                 "length, claim more than the file holds.",
                 Bytes(kHeader), Refused(kCorrupt)});
    for (const auto& [name, cut, why] : std::vector<std::tuple<const char*, std::size_t, Bytes>>{
             {"truncated-before-footers", b.region,
              "Cut where the footer region begins: the last stored bytes read as the footer "
              "length."},
             {"truncated-after-key-footer", keyEnd,
              "Cut after the key footer: the directory footer and the footer length are gone."},
             {"truncated-after-directory-footer", size - 4,
              "Cut after the directory footer: the footer length is gone."},
             {"truncated-in-footer-length", size - 1, "The last byte of the footer length cut."},
         }) {
        const Bytes cutBytes = whole.substr(0, cut);
        // Whatever four bytes now end the file must claim more than it holds.
        Require(GetBe32(cutBytes, cutBytes.size() - 4) + 4ull > cutBytes.size(),
                "a truncation's last bytes read as a footer length that fits");
        v.push_back({name, why, cutBytes, Refused(kCorrupt)});
    }
    {
        Bytes zero = whole;
        PutBe32(zero, size - 4, 0);
        v.push_back({"footer-length-zero", "A footer length of 0: no footers at all.", zero,
                     Refused(kCorrupt)});
        Bytes beyond = whole;
        PutBe32(beyond, size - 4, std::uint32_t(size));
        v.push_back({"footer-length-beyond-file", "A footer length larger than the file before it.",
                     beyond, Refused(kCorrupt)});
        Bytes max = whole;
        PutBe32(max, size - 4, 0xFFFFFFFF);
        v.push_back(
            {"footer-length-max", "A footer length of 0xFFFFFFFF.", max, Refused(kCorrupt)});
        Bytes shortBy1 = whole;
        PutBe32(shortBy1, size - 4, std::uint32_t(T - 1));
        v.push_back({"footer-length-one-short",
                     "A footer length one short: the first framing word is read one byte late, "
                     "its tag byte from the key footer's length.",
                     shortBy1, Refused(kFooterTag)});
        Bytes longBy1 = whole;
        PutBe32(longBy1, size - 4, std::uint32_t(T + 1));
        const std::uint8_t tag = std::uint8_t(whole[b.region - 1]);
        Require(tag != 0x25 && tag != 0x8C, "the last stored byte reads as a footer tag");
        v.push_back({"footer-length-one-long",
                     "A footer length one too long: the first framing word starts on the last "
                     "stored byte.",
                     longBy1, Refused(kFooterTag)});
    }

    // Footer framing.
    {
        Bytes unknown = whole;
        unknown[b.region] = 0x33;
        v.push_back({"footer-tag-unknown", "The key footer's framing word has the tag 0x33.",
                     unknown, Refused(kFooterTag)});
        Bytes keyLong = whole;
        PutBe32(keyLong, b.region, 0x8CFFFFFF);
        v.push_back({"key-footer-length-beyond-region",
                     "The key footer's framing word claims 0xFFFFFF bytes.", keyLong,
                     Refused(kCorrupt)});
        Bytes dirLong = whole;
        PutBe32(dirLong, keyEnd, GetBe32(whole, keyEnd) + 1);
        v.push_back({"directory-footer-length-beyond-region",
                     "The directory footer's framing word claims one byte more than the region "
                     "holds.",
                     dirLong, Refused(kCorrupt)});
        Bytes keyShort = whole;
        PutBe32(keyShort, b.region, 0x8C000010);
        v.push_back({"key-footer-length-below-mac",
                     "The key footer's framing word claims 16 bytes, less than its MAC alone.",
                     keyShort, Refused(kCorrupt)});
        v.push_back({"no-directory-footer", "A footer region of the key footer alone.",
                     b.With(b.KeyFooter()), Refused(kCorrupt)});
        v.push_back({"no-key-footer", "A footer region of the directory footer alone.",
                     b.With(b.DirFooter()), Refused(kCorrupt)});
        v.push_back({"footers-swapped",
                     "The directory footer before the key footer: a reader finds them by tag.",
                     b.With(b.DirFooter() + b.KeyFooter()), Opens()});
    }

    // The key footer.
    {
        const Record entry = Records(b.keyBody)[0];
        const Bytes unknown = Encode({0x8C55, "unknown"});
        Expect skipped = Opens();
        skipped.warnings = {kKeyRecordWarning};
        v.push_back({"key-record-unknown-tag",
                     "A key footer record of the unknown tag 0x8C55 before the password entry, "
                     "MAC'd with the rest: skipped with a warning.",
                     b.WithKeyBody(unknown + b.keyBody), skipped});
        Expect changed = Unlock("corrupt", kFooterMac);
        changed.warnings = {kKeyRecordWarning};
        v.push_back(
            {"key-record-unknown-tag-changed",
             "The same unknown record changed after the MAC was made: the password opens "
             "the entry, the footer's MAC does not match.",
             b.With(Framed(0x8C, Flip(unknown, 5) + b.keyBody, Hmac(*b.keys, unknown + b.keyBody)) +
                    b.DirFooter()),
             changed});
        v.push_back({"key-record-unknown-tag-overlong",
                     "An unknown key footer record whose length runs past the footer's body.",
                     b.WithKeyBody(b.keyBody + Be16(0x8C55) + Be16(100) + "short"),
                     Refused("\"KeyFooter error\"")});
        Bytes overlong = b.keyBody;
        overlong.replace(2, 2, Be16(std::uint16_t(entry.body.size() + 1)));
        v.push_back({"key-record-overlong",
                     "The password entry's record claims one byte more than the footer's body.",
                     b.WithKeyBody(overlong), Refused(kCorrupt)});
        v.push_back({"key-record-header-cut",
                     "Two bytes after the password entry: a record header cut short.",
                     b.WithKeyBody(b.keyBody + Be16(0x8C14)), Refused("\"KeyFooter error\"")});
        v.push_back({"key-entry-short", "A password entry of 10 bytes, shorter than its salt.",
                     b.WithKeyBody(Encode({kPasswordEntryTag, entry.body.substr(0, 10)})),
                     Refused("\"KeyEntry error\"")});
        v.push_back({"key-entry-key-set-cut",
                     "A password entry whose key set stops after 50 of its 104 wrapped bytes.",
                     b.WithKeyBody(Encode({kPasswordEntryTag, entry.body.substr(0, 16 + 4 + 50)})),
                     Refused("\"KeySet error\"")});
        // Record header 4 bytes, then the salt, the key set's length and its wrapped bytes.
        v.push_back({"key-entry-salt-changed",
                     "A byte of the password entry's salt changed: no password can open it.",
                     b.With(Framed(0x8C, Flip(b.keyBody, 4 + 3), b.keyMac) + b.DirFooter()),
                     Unlock("wrong")});
        v.push_back(
            {"key-entry-wrapped-keys-changed",
             "A byte of the password entry's wrapped key set changed: no password can "
             "open it.",
             b.With(Framed(0x8C, Flip(b.keyBody, 4 + 16 + 4 + 40), b.keyMac) + b.DirFooter()),
             Unlock("wrong")});
        v.push_back({"key-footer-mac-changed",
                     "A byte of the key footer's MAC changed: the entry opens, the footer does "
                     "not check.",
                     b.With(Framed(0x8C, b.keyBody, Flip(b.keyMac, 7)) + b.DirFooter()),
                     Unlock("corrupt", kFooterMac)});
        v.push_back({"key-footer-empty",
                     "A key footer without entries, MAC'd: there is nothing to try a password on.",
                     b.WithKeyBody(""), Unlock("nothing")});
    }

    // The directory footer.
    {
        v.push_back({"directory-byte-changed",
                     "A byte of the directory's first encrypted block changed.",
                     b.With(b.KeyFooter() + Framed(0x25, Flip(b.dirCipher, 3), b.dirMac)),
                     Unlock("corrupt", kFooterMac)});
        v.push_back({"directory-mac-changed", "A byte of the directory footer's MAC changed.",
                     b.With(b.KeyFooter() + Framed(0x25, b.dirCipher, Flip(b.dirMac, 0))),
                     Unlock("corrupt", kFooterMac)});
        v.push_back({"directory-not-whole-blocks",
                     "The directory's encrypted body one byte short of whole AES blocks.",
                     b.With(b.KeyFooter() +
                            Framed(0x25, b.dirCipher.substr(0, b.dirCipher.size() - 1), b.dirMac)),
                     Unlock("corrupt", kCorrupt)});
        std::vector<Record> records = b.dir;
        records.insert(records.begin() + 2, {0x2577, "xyz"});
        Expect skipped = Opens();
        skipped.warnings = {kDirRecordWarning};
        v.push_back({"directory-record-unknown-tag",
                     "A directory record of the unknown tag 0x2577 between two entries: skipped "
                     "with a warning.",
                     b.WithDirectory(records), skipped});
        Expect overlong = Unlock("corrupt", "Unable to pump data");
        overlong.warnings = {kDirRecordWarning};
        v.push_back(
            {"directory-record-unknown-tag-overlong",
             "An unknown directory record whose length runs past the body: warned of, "
             "then refused.",
             b.With(b.KeyFooter() + b.SealedDir(b.dirPlain + Be16(0x2577) + Be16(9) + "xyz")),
             overlong});
        Bytes entryLong = b.dirPlain;
        const std::size_t last = entryLong.size() - 4 - b.dir[3].body.size();
        entryLong.replace(last + 2, 2, Be16(std::uint16_t(b.dir[3].body.size() + 1)));
        v.push_back({"directory-entry-overlong",
                     "The last entry's record claims one byte more than the directory holds.",
                     b.With(b.KeyFooter() + b.SealedDir(entryLong)), Unlock("corrupt", kCorrupt)});
        v.push_back({"directory-entry-trailing-bytes",
                     "An entry whose record holds five bytes more than its fields.",
                     b.WithEntry(3, b.dir[3].body + "12345"), Unlock("corrupt", kCorrupt)});
        v.push_back({"directory-entry-too-small", "An entry whose record body is 3 bytes.",
                     b.WithEntry(3, "abc"), Unlock("corrupt", "Size way too small")});
        Bytes wrongTag = b.dir[3].body;
        wrongTag.replace(FieldAt(wrongTag, kOffset) - 2, 2, Be16(0xDE12));
        v.push_back({"directory-entry-wrong-subtag", "An entry's offset field tagged 0xDE12.",
                     b.WithEntry(3, wrongTag),
                     Unlock("corrupt", "Expected tag DIR_ENTRY_TAG_OFFSET")});
        Bytes foreignKeys = b.dir[3].body;
        const std::size_t wrapped = FieldAt(foreignKeys, kKeySet) + 4;
        foreignKeys.replace(wrapped, 72, Noise("foreign keys", 72));
        v.push_back({"directory-entry-key-set-foreign",
                     "A file's wrapped key set replaced by one the footer's KEK did not wrap.",
                     b.WithEntry(3, foreignKeys),
                     Unlock("corrupt", "Wrong KEK in DirEntry::UnwrapKeySet")});
    }

    // Stored names: nothing may land outside the chosen folder.
    for (const auto& [name, stored, why] : std::vector<std::tuple<const char*, Bytes, Bytes>>{
             {"name-climbs-out", "..\\..\\evil.bin", "A stored name that starts with '..'."},
             {"name-climbs-out-inside", "docs\\..\\..\\evil.bin",
              "A stored name that climbs out after a folder."},
             {"name-absolute-backslash", "\\tmp\\evil.bin", "A stored name with a leading '\\'."},
             {"name-absolute-slash", "/tmp/evil.bin", "A stored name with a leading '/'."},
             {"name-drive-letter", "C:\\evil.bin", "A stored name with a drive letter."},
             {"name-drive-relative", "C:evil.bin", "A stored name relative to a drive."},
             {"name-empty-component", "docs\\\\c.bin", "A stored name with an empty component."},
             {"name-dot-component", "docs\\.\\c.bin", "A stored name with a '.' component."},
             {"name-trailing-separator", "docs\\c.bin\\", "A stored name ending in '\\'."},
             {"name-slash-inside", "docs/../../evil.bin",
              "A stored name with '/', a separator here."},
             {"name-empty", "", "An empty stored name."},
             {"name-nul-first", Bytes("\0docs\\c.bin", 11),
              "A stored name that starts with NUL: the name ends there, empty."},
             {"name-nul-after-climb", Bytes("..\\evil\0docs\\c.bin", 18),
              "A stored name that climbs out before a NUL."},
         }) {
        v.push_back({name, why + " The directory is MAC'd and encrypted as the writer would.",
                     b.WithEntry(3, WithName(b.dir[3].body, stored)), Unlock("corrupt", kCorrupt)});
    }
    v.push_back({"folder-name-climbs-out",
                 "A folder entry named '..'. The directory is MAC'd and encrypted as the writer "
                 "would.",
                 b.WithEntry(0, WithName(b.dir[0].body, "..")), Unlock("corrupt", kCorrupt)});
    v.push_back({"name-nul-hides-climb",
                 "A stored name with a climb after a NUL: the name ends at the NUL, so the file "
                 "lands where its name says and nothing else is made.",
                 b.WithEntry(3, WithName(b.dir[3].body, Bytes("docs\\c.bin\0\\..\\..\\evil", 22))),
                 Opens()});

    // Sizes and positions that disagree with the data. The run stops at the first file that
    // fails; what came before stays.
    {
        const std::vector<Bytes> beforeA = {"docs"};
        const std::vector<Bytes> beforeB = {"docs", "docs/a.bin"};
        const std::vector<Bytes> beforeC = {"docs", "docs/a.bin", "docs/b.txt"};
        const Bytes& c = b.dir[3].body;
        const Bytes& bt = b.dir[2].body;
        const std::uint32_t cSize = Field(c, kOriginalSize);
        const std::uint32_t btSize = Field(bt, kOriginalSize);
        const Bytes cFailsSize = Bytes("docs/c.bin: ") + kFileSize;
        const Bytes cFailsMac = Bytes("docs/c.bin: ") + kFileMac;
        const Bytes cCorrupt = Bytes("docs/c.bin: ") + kCorrupt;
        v.push_back(
            {"size-plain-larger", "A stored file's plain size one more than its data holds.",
             b.WithEntry(3, WithField(c, kOriginalSize, cSize + 1)), Fails(cFailsSize, beforeC)});
        v.push_back(
            {"size-plain-smaller", "A stored file's plain size one less than its data holds.",
             b.WithEntry(3, WithField(c, kOriginalSize, cSize - 1)), Fails(cFailsSize, beforeC)});
        v.push_back({"size-inflated-larger",
                     "A compressed file's plain size one more than it inflates to.",
                     b.WithEntry(2, WithField(bt, kOriginalSize, btSize + 1)),
                     Fails(Bytes("docs/b.txt: ") + kFileSize, beforeB)});
        v.push_back({"size-inflated-smaller",
                     "A compressed file's plain size one less than it inflates to.",
                     b.WithEntry(2, WithField(bt, kOriginalSize, btSize - 1)),
                     Fails(Bytes("docs/b.txt: ") + kFileSize, beforeB)});
        v.push_back({"size-stored-block-short", "A stored file's stored size one AES block short.",
                     b.WithEntry(3, WithField(c, kArchiveSize, Field(c, kArchiveSize) - 16)),
                     Fails(cFailsMac, beforeC)});
        v.push_back({"size-stored-not-whole-blocks",
                     "A stored file's stored size one byte short of whole AES blocks.",
                     b.WithEntry(3, WithField(c, kArchiveSize, Field(c, kArchiveSize) - 1)),
                     Fails(cFailsMac, beforeC)});
        v.push_back({"size-stored-into-footers",
                     "A stored file's stored size running into the footer region.",
                     b.WithEntry(3, WithField(c, kArchiveSize, Field(c, kOffset) + 16)),
                     Fails(cCorrupt, beforeC)});
        v.push_back({"position-before-file-start",
                     "A stored file's position pointing before the first byte of the file.",
                     b.WithEntry(3, WithField(c, kOffset, 0xFFFFFFF0)), Fails(cCorrupt, beforeC)});
        v.push_back({"position-into-footers",
                     "A stored file's position 8 bytes before the footer region, less than its "
                     "stored size.",
                     b.WithEntry(3, WithField(c, kOffset, 8)), Fails(cCorrupt, beforeC)});
        v.push_back({"position-at-other-file",
                     "A stored file's position pointing at another file's data.",
                     b.WithEntry(3, WithField(c, kOffset, Field(b.dir[1].body, kOffset))),
                     Fails(cFailsMac, beforeC)});
    }

    // Stored data.
    v.push_back({"data-byte-changed-first-file",
                 "A byte in the middle of the first stored file changed.",
                 Flip(whole, b.DataStart(1) + b.DataSize(1) / 2),
                 Fails(Bytes("docs/a.bin: ") + kFileMac, {"docs"})});
    v.push_back({"data-byte-changed-last-file",
                 "A byte in the middle of the last stored file changed.",
                 Flip(whole, b.DataStart(3) + b.DataSize(3) / 2),
                 Fails(Bytes("docs/c.bin: ") + kFileMac, {"docs", "docs/a.bin", "docs/b.txt"})});
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " FOLDER\n";
        return 1;
    }
    try {
        std::vector<Vector> vectors;
        for (int attempt = 0; vectors.empty(); ++attempt) {
            try {
                const Base base = MakeBase();
                vectors = Vectors(base);
            } catch (const Retry& r) {
                if (attempt == 20)
                    throw;
                std::cerr << "again: " << r.what() << "\n";
            }
        }
        const fs::path folder = argv[1];
        fs::create_directories(folder);
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string ext = entry.path().extension().string();
            if (ext == ".aes" || ext == ".expect")
                fs::remove(entry.path());
        }
        for (const Vector& v : vectors) {
            cryvan_test::WriteText((folder / (std::string(v.name) + ".aes")).string(), v.bytes);
            cryvan_test::WriteText((folder / (std::string(v.name) + ".expect")).string(),
                                   Manifest(v.why, v.expect));
        }
        std::cout << vectors.size() << " vectors in " << folder.string() << "\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << argv[0] << ": " << e.what() << "\n";
        return 2;
    }
}
