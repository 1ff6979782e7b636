// Writes the seed inputs of every fuzz target with our own writers, so that the fuzzers start
// from well-formed records and reach deep into each reader.
// Usage: make-fuzz-seeds <folder>; writes one subfolder of seeds per target.
#include <cryptopp/filters.h>
#include <cryptopp/queue.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "format/DirFooter.h"
#include "format/KeyFooter.h"
#include "format/KeyPair.h"
#include "fuzz/admin_seeds.h"
#include "fuzz/emergency_seeds.h"
#include "recovery/Organisation.h"

namespace {

namespace fs = std::filesystem;
using CryptoPP::SecByteBlock;

void Save(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

SecByteBlock Run(unsigned from, std::size_t count) {
    SecByteBlock block(count);
    for (std::size_t i = 0; i < count; ++i)
        block[i] = CryptoPP::byte(from + i);
    return block;
}

// The key footer target takes what follows the framing word.
void KeyFooterSeeds(const fs::path& dir) {
    fs::create_directories(dir);
    FCryptEng::KeyPair pair;
    pair.Create();
    pair.Encrypt("fuzz");
    struct Seed {
        const char* name;
        int passwords;
        bool emergency;
    } const seeds[] = {{"empty", 0, false}, {"password", 1, false}, {"emergency", 1, true}};
    for (const Seed& s : seeds) {
        FCryptEng::KeySet keys(true);
        FCryptEng::KeyFooter footer(nullptr);
        if (s.emergency)
            footer.Add(std::make_unique<FCryptEng::EmergencyPasswordKeyEntry>(pair));
        for (int i = 0; i < s.passwords; ++i)
            footer.Add(std::make_unique<FCryptEng::UserPasswordKeyEntry>("fuzz"));
        footer.SetKeys(&keys);
        std::string out;
        CryptoPP::StringSink sink(out);
        footer.PutEncoding(sink);
        Save(dir / s.name, out.substr(4));
    }
}

// The directory target takes a plain body whose file key sets are wrapped under KEK 10..2F.
void DirFooterSeeds(const fs::path& dir, const fs::path& scratch) {
    fs::create_directories(dir);
    fs::create_directories(scratch / "docs" / "sub");
    std::ofstream(scratch / "docs" / "notes.txt") << "some notes\n";
    std::ofstream(scratch / "docs" / "sub" / "x\\y.bin") << "z";
    const SecByteBlock kek = Run(0x10, 32);
    FCryptEng::DirFooter footer;
    for (const char* name : {"docs", "docs/notes.txt", "docs/sub", "docs/sub/x\\y.bin"})
        footer.Add(std::make_unique<FCryptEng::DirEntry>((scratch / name).string()));
    footer.SetPath(FCryptEng::PathMode::Common, std::nullopt);
    for (std::size_t i = 0; FCryptEng::DirEntry* e = footer.GetEntry(i); ++i)
        e->WrapKeySet(kek);
    footer.MakeRawEncoding();
    const SecByteBlock& body = footer.RawBody();
    Save(dir / "tree", std::string(reinterpret_cast<const char*>(body.data()), body.size()));
    Save(dir / "empty", "");
}

void KeyPairSeeds(const fs::path& dir) {
    fs::create_directories(dir);
    FCryptEng::KeyPair pair;
    pair.Create();
    pair.Encrypt("fuzz");
    std::string pub, sealed;
    CryptoPP::StringSink pubSink(pub), sealedSink(sealed);
    pair.WritePublicKey(pubSink);
    pair.WriteEncryptedPrivateKey(&sealedSink);
    Save(dir / "public", pub);
    Save(dir / "sealed", sealed);
    Save(dir / "both", pub + sealed);
}

void OrganisationSeeds(const fs::path& dir) {
    fs::create_directories(dir);
    FCryptEng::Organisation organisation;
    organisation.Create("Seed Works", "fuzz password", true, false);
    organisation.SaveAs((dir / "organisation").string());

    // An earlier record, which carries its sealed key inside, so that opening keys is fuzzed.
    FCryptEng::KeyPair keys;
    keys.Create();
    FCryptEng::KeyPair sealed(keys);
    sealed.Encrypt("fuzz password");
    CryptoPP::ByteQueue body;
    body.PutWord16(FCryptEng::Organisation::kTag);
    body.Put(FCryptEng::Organisation::kVersionWithKey);
    const std::string name = "Old Works";
    body.PutWord16(CryptoPP::word16(name.size()));
    body.Put(reinterpret_cast<const CryptoPP::byte*>(name.data()), name.size());
    body.Put(FCryptEng::Organisation::kRecoveryApplies);
    sealed.WritePublicKey(body);
    sealed.WriteEncryptedPrivateKey(&body);
    std::string bytes(std::size_t(body.MaxRetrievable()), '\0');
    body.Get(reinterpret_cast<CryptoPP::byte*>(bytes.data()), bytes.size());
    const auto signature =
        keys.Sign(reinterpret_cast<const CryptoPP::byte*>(bytes.data()), bytes.size());
    if (!signature)
        throw std::runtime_error("cannot sign the earlier organisation record");
    bytes += char(signature->size() >> 8);
    bytes += char(signature->size() & 0xFF);
    bytes.append(reinterpret_cast<const char*>(signature->data()), signature->size());
    Save(dir / "organisation-v1", bytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    try {
        const fs::path out = argv[1];
        KeyFooterSeeds(out / "keyfooter");
        DirFooterSeeds(out / "dirfooter", out / "scratch");
        KeyPairSeeds(out / "keypair");
        EmergencyPasswordSeeds(out / "emergency");
        AdminEntrySeeds(out / "adminentry");
        DataRecoverySeeds(out / "datarecovery");
        OrganisationSeeds(out / "organisation");
        fs::remove_all(out / "scratch");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}
