#include "format/DirFooter.h"

#include <sys/stat.h>

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/hmac.h>
#include <cryptopp/modes.h>
#include <cryptopp/queue.h>
#include <cryptopp/sha.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "DirBytes.h"
#include "os/File.h"
#include "os/Logger.h"
#include "support/TempDir.h"

namespace {

using namespace dirbytes;
using CryptoPP::SecByteBlock;
using FCryptEng::DirEntry;
using FCryptEng::DirFooter;
using FCryptEng::Footer;
using FCryptEng::KeySet;

const KeySet& FooterKeys() {
    static const KeySet keys = MakeKeySet(ByteRun(0x10, 0x30), ByteRun(0x40, 0x60),
                                          ByteRun(0x70, 0x80), ByteRun(0x90, 0xA0));
    return keys;
}

Bytes Frame(const Bytes& plain, const KeySet& keys = FooterKeys()) {
    return dirbytes::Frame(plain, keys);
}

// Reads a framed footer the way a container reader does: the word first, then the rest.
std::unique_ptr<DirFooter> Parse(const Bytes& framed) {
    CryptoPP::ByteQueue q = Queue(framed);
    CryptoPP::word32 word = 0;
    q.GetWord32(word, CryptoPP::BIG_ENDIAN_ORDER);
    EXPECT_EQ(word & 0xFF000000u, DirFooter::kKind);
    return std::make_unique<DirFooter>(q, word & 0xFFFFFFu);
}

Bytes Write(DirFooter& footer, const KeySet& keys = FooterKeys()) {
    footer.SetKeys(&keys);
    CryptoPP::ByteQueue q;
    footer.PutEncoding(q);
    return Drain(q);
}

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no error>";
}

class CapturedWarnings {
  public:
    CapturedWarnings() { OS::Logger::Register(OS::LOG_WARN, &m_out); }
    ~CapturedWarnings() { OS::Logger::Register(0, &m_out); }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::istringstream in(m_out.str());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

  private:
    std::ostringstream m_out;
};

Bytes FileRecord(const std::string& name, const SecByteBlock& kek = *FooterKeys().KEK()) {
    FileFields f;
    f.keySet =
        WrappedEncoding(kek, Cat({ByteRun(0x30, 0x50), ByteRun(0x50, 0x60), ByteRun(0x60, 0x70)}));
    return Record(0x25DE, FileBody(name, f));
}

class DirFooterDisk : public ::testing::Test {
  protected:
    struct Item {
        std::string relative;
        bool folder;
        bool selected;
    };

    DirFooter& Build(const std::vector<Item>& items) {
        for (const Item& item : items) {
            const std::string full = dir / item.relative;
            OS::CreateFilePath(full.substr(0, full.rfind('/') + 1));
            if (item.folder)
                std::filesystem::create_directory(full);
            else
                cryvan_test::WriteText(full, "content of " + item.relative);
        }
        for (const Item& item : items) {
            auto entry = std::make_unique<DirEntry>(dir / item.relative);
            entry->SetSelected(item.selected);
            footer.Add(std::move(entry));
        }
        return footer;
    }
    std::string Stored(const std::string& relative) const {
        std::string native = dir.Path().substr(dir.Path().find('/') + 1) + "/" + relative;
        for (char& c : native)
            c = c == '/' ? '\\' : c;
        return native;
    }

    cryvan_test::TempDir dir;
    DirFooter footer;
};

TEST_F(DirFooterDisk, CommonPathAndRootEntry) {
    struct Case {
        const char* name;
        std::vector<Item> items;
        std::string common;  // under the temporary folder
        int root;            // index, or -1 for none
        std::vector<std::string> stored;
    };
    const Case cases[] = {
        {"one file", {{"a/x.txt", false, true}}, "a/", 0, {"x.txt"}},
        {"folder first",
         {{"a/F", true, true}, {"a/F/y.txt", false, true}},
         "a/",
         0,
         {"F", "F\\y.txt"}},
        {"folder last",
         {{"a/F/y.txt", false, true}, {"a/F", true, true}},
         "a/",
         1,
         {"F\\y.txt", "F"}},
        {"two files",
         {{"a/x.txt", false, true}, {"a/y.txt", false, true}},
         "a/",
         -1,
         {"x.txt", "y.txt"}},
        {"folder and a file beside it",
         {{"a/F", true, true}, {"a/F/y.txt", false, true}, {"a/z.txt", false, true}},
         "a/",
         -1,
         {"F", "F\\y.txt", "z.txt"}},
        {"two folders",
         {{"a/F/y.txt", false, true}, {"b/z.txt", false, true}},
         "",
         -1,
         {"a\\F\\y.txt", "b\\z.txt"}},
        {"unselected entries take no part",
         {{"a/x.txt", false, true}, {"b/y.txt", false, false}},
         "a/",
         0,
         {"x.txt", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        footer.ClearEntries();
        Build(c.items);
        EXPECT_EQ(footer.CommonPath(), DirFooter::kInvalidPath);
        EXPECT_EQ(footer.NumEntries(true),
                  std::size_t(std::count_if(c.items.begin(), c.items.end(),
                                            [](const Item& i) { return i.selected; })));
        footer.SetPath(FCryptEng::PathMode::Common, std::nullopt);
        EXPECT_EQ(footer.CommonPath(), dir.Path() + "/" + c.common);
        EXPECT_EQ(footer.RootEntry(), c.root < 0 ? nullptr : footer.GetEntry(std::size_t(c.root)));
        for (std::size_t i = 0; i < c.stored.size(); ++i)
            EXPECT_EQ(footer.GetEntry(i)->FinalName(), c.stored[i]);
        EXPECT_EQ(footer.GetEntry(c.items.size()), nullptr);
        EXPECT_EQ(footer.Entry(c.items.size()), nullptr);
    }
}

TEST_F(DirFooterDisk, PathArguments) {
    Build({{"a/x.txt", false, true}});
    footer.SetPath(FCryptEng::PathMode::Full, std::nullopt);
    EXPECT_EQ(footer.GetEntry(0)->FinalName(), Stored("a/x.txt"));
    // An empty path or two separators in mode 0 mean full paths.
    footer.SetPath(FCryptEng::PathMode::Common, std::string());
    EXPECT_EQ(footer.GetEntry(0)->FinalName(), Stored("a/x.txt"));
    EXPECT_EQ(footer.GetEntry(0)->GetPathMode(), FCryptEng::PathMode::Full);
    footer.SetPath(FCryptEng::PathMode::Common, std::string("//"));
    EXPECT_EQ(footer.GetEntry(0)->FinalName(), Stored("a/x.txt"));
    footer.SetPath(FCryptEng::PathMode::Common, dir.Path() + "/");
    EXPECT_EQ(footer.GetEntry(0)->FinalName(), "a\\x.txt");
    footer.SetPath(FCryptEng::PathMode::BaseName, std::string("/anything/"));
    EXPECT_EQ(footer.GetEntry(0)->FinalName(), "x.txt");

    for (FCryptEng::PathMode mode :
         {FCryptEng::PathMode::Common, FCryptEng::PathMode::BaseName, FCryptEng::PathMode::Full}) {
        EXPECT_EQ(ErrorOf([&] { footer.SetPath(mode, dir / "a"); }),
                  "Common path must end in file separator");
    }
}

TEST(DirFooter, EmptyFooterWord) {
    DirFooter footer;
    const Bytes out = Write(footer);
    EXPECT_EQ(out.substr(0, 4), Bytes("\x25\x00\x00\x30", 4));
    EXPECT_EQ(out.size(), 4u + 48u);
    auto read = Parse(out);
    read->Decrypt(FooterKeys());
    EXPECT_EQ(read->NumEntries(false), 0u);
}

TEST_F(DirFooterDisk, RoundTripAndMacOverThePlainBody) {
    Build({{"top/F", true, true}, {"top/F/y.txt", false, true}, {"top/z.bin", false, true}});
    footer.SetPath(FCryptEng::PathMode::Common, std::nullopt);
    std::vector<std::optional<KeySet>> keys;
    for (std::uint32_t i = 0; i < 3; ++i) {
        DirEntry& e = *footer.GetEntry(i);
        e.SetPosition(1000 - i);
        e.SetArchiveSize(32 + i);
        e.SetMac(ByteRun(i, i + 32));
        e.SetCompress(i == 2);
        keys.emplace_back(e.KeySetCopy() ? std::optional<KeySet>(*e.KeySetCopy()) : std::nullopt);
    }
    const Bytes out = Write(footer);
    ASSERT_EQ(footer.RawBody().size(), 0u);

    auto read = Parse(out);
    EXPECT_EQ(read->NumEntries(false), 0u);  // nothing until decrypted
    read->Decrypt(FooterKeys());
    ASSERT_EQ(read->NumEntries(false), 3u);
    EXPECT_EQ(read->NumEntries(true), 0u);

    const Bytes plain = Str(read->RawBody());
    EXPECT_EQ(plain.substr(0, 2), "\x25\xDE");
    EXPECT_EQ(out.substr(out.size() - 32), Hmac(*FooterKeys().MacKey(), plain));
    EXPECT_EQ(Str(read->Mac()), Hmac(*FooterKeys().MacKey(), plain));
    EXPECT_NE(Str(read->Mac()), Hmac(*FooterKeys().MacKey(), out.substr(4, out.size() - 36)));

    for (std::uint32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const DirEntry& w = *footer.GetEntry(i);
        const DirEntry& r = *read->GetEntry(i);
        EXPECT_EQ(r.Name(), w.FinalName());
        EXPECT_EQ(r.Attributes(), w.Attributes());
        EXPECT_EQ(r.Compress(), i == 2);
        EXPECT_TRUE(r.CreateTime() == w.CreateTime());
        EXPECT_TRUE(r.ModTime() == w.ModTime());
        EXPECT_TRUE(r.AccessTime() == w.AccessTime());
        if (w.IsDir()) {
            EXPECT_EQ(r.KeySetCopy(), nullptr);
            EXPECT_EQ(r.Position(), 0u);
            continue;
        }
        EXPECT_EQ(r.Position(), 1000 - i);
        EXPECT_EQ(r.ArchiveSize(), 32 + i);
        EXPECT_EQ(r.OriginalSize(), w.OriginalSize());
        EXPECT_EQ(Str(r.Mac()), Str(ByteRun(i, i + 32)));
        ASSERT_NE(r.KeySetCopy(), nullptr);
        EXPECT_EQ(Str(r.KeySetCopy()->EncKey()), Str(keys[i]->EncKey()));
        EXPECT_EQ(Str(r.KeySetCopy()->MacKey()), Str(keys[i]->MacKey()));
        EXPECT_EQ(Str(r.KeySetCopy()->IV()), Str(keys[i]->IV()));
    }

    // Decrypting side: the selected entries go under the destination.
    read->GetEntry(0)->SetSelected(true);
    read->GetEntry(1)->SetSelected(true);
    read->SetPath(FCryptEng::PathMode::Common, std::string("/out/"));
    EXPECT_EQ(read->GetEntry(0)->FinalName(), "/out/F");
    EXPECT_EQ(read->GetEntry(1)->FinalName(), "/out/F/y.txt");
    EXPECT_EQ(read->RootEntry(), read->GetEntry(0));
    read->SetPath(FCryptEng::PathMode::Full, std::string("/out/"));
    EXPECT_EQ(read->GetEntry(1)->FinalName(), "/F/y.txt");
    EXPECT_EQ(ErrorOf([&] { read->SetPath(FCryptEng::PathMode::BaseName, std::string("/out")); }),
              "Common path must end in file separator");
}

TEST(DirFooter, UnknownRecordIsSkippedWithOneWarning) {
    const Bytes body =
        Record(0x25DE, FolderBody("A")) + Record(0x1234, "xyz") + FileRecord("A\\b.txt");
    CapturedWarnings warnings;
    auto footer = Parse(Frame(body));
    footer->Decrypt(FooterKeys());
    ASSERT_EQ(footer->NumEntries(false), 2u);
    EXPECT_EQ(footer->GetEntry(0)->Name(), "A");
    EXPECT_EQ(footer->GetEntry(1)->Name(), "A\\b.txt");
    EXPECT_EQ(Str(footer->GetEntry(1)->KeySetCopy()->EncKey()), Str(ByteRun(0x30, 0x50)));
    const auto lines = warnings.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Unrecognised tag reading Dir Footer - ignoring this entry"),
              std::string::npos);
}

TEST(DirFooter, BadBodiesAreRefusedWhole) {
    const Bytes folder = Record(0x25DE, FolderBody("A"));
    Bytes overlong = folder;
    overlong[3] = char(overlong[3] + 1);
    struct Case {
        const char* name;
        Bytes body;
        const char* text;
    };
    const Case cases[] = {
        {"record longer than the body", folder + overlong, "Corrupt input file"},
        {"three bytes left over", folder + "abc", "Unable to pump data"},
        {"unknown record longer than the body", folder + Record(0x1234, "xyz").substr(0, 6),
         "Unable to pump data"},
        {"spoiled entry", folder + Record(0x25DE, FolderBody("B") + "12345"), "Corrupt input file"},
        {"unsafe name", folder + Record(0x25DE, FolderBody("..\\x")), "Corrupt input file"},
        {"key set under another KEK", folder + FileRecord("A\\b", ByteRun(0x11, 0x31)),
         "Wrong KEK in DirEntry::UnwrapKeySet"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto footer = Parse(Frame(c.body));
        EXPECT_EQ(ErrorOf([&] { footer->Decrypt(FooterKeys()); }), c.text);
        EXPECT_EQ(footer->NumEntries(false), 0u);
    }
}

TEST(DirFooter, CiphertextThatCannotBeDecrypted) {
    Bytes framed;
    Put32(framed, 0x25000000u | (17 + 32));
    framed += Bytes(17 + 32, 'c');
    EXPECT_EQ(ErrorOf([&] { Parse(framed)->Decrypt(FooterKeys()); }), "Corrupt input file");

    Bytes empty;
    Put32(empty, 0x25000000u | 32);
    empty += Bytes(32, 'c');
    EXPECT_EQ(ErrorOf([&] { Parse(empty)->Decrypt(FooterKeys()); }), "Corrupt input file");
}

TEST(DirFooter, EveryFlippedByteIsRefused) {
    const Bytes framed = Frame(Record(0x25DE, FolderBody("A")) + FileRecord("A\\b.txt"));
    for (std::size_t i = 4; i < framed.size(); ++i) {
        SCOPED_TRACE(i);
        Bytes spoiled = framed;
        spoiled[i] ^= 0x01;
        auto footer = Parse(spoiled);
        try {
            footer->Decrypt(FooterKeys());
            ADD_FAILURE() << "accepted";
        } catch (const Footer::Err& e) {
            const std::string text = e.what();
            EXPECT_TRUE(text == "Footer MAC mismatch" || text == "Corrupt input file") << text;
        }
        EXPECT_EQ(footer->NumEntries(false), 0u);
    }
}

TEST(DirFooter, WrongKeysFailAndTheRightOnesStillOpen) {
    const Bytes framed = Frame(Record(0x25DE, FolderBody("A")) + FileRecord("A\\b.txt"));
    auto footer = Parse(framed);

    const KeySet other(true);
    EXPECT_THROW(footer->Decrypt(other), Footer::Err);
    // Right cipher and MAC keys, wrong KEK: the file's key set does not open.
    const KeySet wrongKek = MakeKeySet(ByteRun(0x11, 0x31), ByteRun(0x40, 0x60),
                                       ByteRun(0x70, 0x80), ByteRun(0x90, 0xA0));
    EXPECT_EQ(ErrorOf([&] { footer->Decrypt(wrongKek); }), "Wrong KEK in DirEntry::UnwrapKeySet");
    EXPECT_EQ(footer->NumEntries(false), 0u);

    footer->Decrypt(FooterKeys());
    EXPECT_EQ(footer->NumEntries(false), 2u);
}

}  // namespace
