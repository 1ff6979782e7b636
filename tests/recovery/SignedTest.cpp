#include "recovery/Signed.h"

#include <cryptopp/queue.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "os/File.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using cryvan_test::ReadText;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using FCryptEng::KeyPair;
using FCryptEng::Signed;

std::string Be16(unsigned v) {
    return {char(v >> 8), char(v)};
}
std::string Be32(std::uint32_t v) {
    return Be16(v >> 16) + Be16(v & 0xFFFF);
}

// The smallest record: a u32 count and that many bytes.
class Note : public Signed {
  public:
    explicit Note(std::string initial = "") : text(std::move(initial)) {}

    void Read(CryptoPP::BufferedTransformation& source) override {
        ++reads;
        CryptoPP::word32 length = 0;
        if (source.GetWord32(length) != 4 || source.MaxRetrievable() < length)
            throw std::runtime_error("short note");
        std::string bytes(length, '\0');
        source.Get(reinterpret_cast<CryptoPP::byte*>(bytes.data()), length);
        text = bytes;
    }
    void Write(CryptoPP::BufferedTransformation& sink) const override {
        sink.PutWord32(std::uint32_t(text.size()));
        sink.Put(reinterpret_cast<const CryptoPP::byte*>(text.data()), text.size());
        if (failWrite)
            throw std::runtime_error("write failed");
    }

    std::string text;
    int reads = 0;
    bool failWrite = false;
};

std::string Body(const std::string& text) {
    return Be32(std::uint32_t(text.size())) + text;
}

class SignedFile : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_signer = std::make_unique<KeyPair>();
        s_signer->Create();
        s_other = std::make_unique<KeyPair>();
        s_other->Create();
    }
    static void TearDownTestSuite() {
        s_signer.reset();
        s_other.reset();
    }

    std::string Saved(const Note& note) {
        note.SaveAs(m_dir / "note.bin");
        return ReadText(m_dir / "note.bin");
    }

    static std::unique_ptr<KeyPair> s_signer, s_other;
    TempDir m_dir;
};

std::unique_ptr<KeyPair> SignedFile::s_signer, SignedFile::s_other;

TEST_F(SignedFile, UnsignedRecordIsFramedWithZeroLengthAndNeverChecks) {
    Note note("hello");
    EXPECT_EQ(Saved(note), Body("hello") + Be16(0));

    Note read;
    read.Open(m_dir / "note.bin");
    EXPECT_EQ(read.text, "hello");
    EXPECT_FALSE(read.Signature());
    EXPECT_FALSE(read.CheckSignature(*s_signer));
    EXPECT_FALSE(read.CheckSignature(*s_other));
}

TEST_F(SignedFile, FramingOfTheSignature) {
    const std::string body = Body("abc");
    const std::string signature(128, '\x5A');
    struct Case {
        const char* name;
        std::string file;
        const char* error;  // nullptr: opens
        bool signedFile;
    } const cases[] = {
        {"empty file", "", "\"Signed file empty\"", false},
        {"ends after the body", body, "\"Signed file error\"", false},
        {"half a length", body + '\0', "\"Signed file error\"", false},
        {"zero length", body + Be16(0), nullptr, false},
        {"signature one short", body + Be16(128) + signature.substr(1), "\"Signed file error\"",
         false},
        {"length without signature", body + Be16(128), "\"Signed file error\"", false},
        {"whole signature", body + Be16(128) + signature, nullptr, true},
        {"trailing bytes ignored", body + Be16(128) + signature + "trailing", nullptr, true},
        {"trailing after zero length", body + Be16(0) + "xy", nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteText(m_dir / "f.bin", c.file);
        Note note("previous");
        if (c.error) {
            try {
                note.Open(m_dir / "f.bin");
                ADD_FAILURE() << "opened";
            } catch (const Signed::Null& e) {
                EXPECT_STREQ(e.what(), c.error);
                EXPECT_EQ(note.reads, 0);  // refused before anything is read
            } catch (const Signed::Err& e) {
                EXPECT_STREQ(e.what(), c.error);
            }
            EXPECT_FALSE(note.Signature());
            continue;
        }
        ASSERT_NO_THROW(note.Open(m_dir / "f.bin"));
        EXPECT_EQ(note.text, "abc");
        ASSERT_EQ(bool(note.Signature()), c.signedFile);
        if (c.signedFile) {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(note.Signature()->data()),
                                  note.Signature()->size()),
                      signature);
        }
    }
    EXPECT_THROW(Note().Open(m_dir / "missing.bin"), OS::File::Error);
}

TEST_F(SignedFile, SignatureCoversTheBodyAsWrittenNow) {
    Note note("first");
    note.Sign(*s_signer);
    ASSERT_TRUE(note.Signature());
    EXPECT_EQ(note.Signature()->size(), KeyPair::kCipherSize);
    EXPECT_TRUE(note.CheckSignature(*s_signer));
    EXPECT_FALSE(note.CheckSignature(*s_other));

    note.text = "firsT";
    EXPECT_FALSE(note.CheckSignature(*s_signer));
    note.Sign(*s_signer);
    EXPECT_TRUE(note.CheckSignature(*s_signer));

    // Saved, reopened and with bytes appended: still the same record, still valid.
    WriteText(m_dir / "note.bin", Saved(note) + "appended");
    Note read;
    read.Open(m_dir / "note.bin");
    EXPECT_EQ(read.text, "firsT");
    EXPECT_TRUE(read.CheckSignature(*s_signer));
    EXPECT_FALSE(read.CheckSignature(*s_other));

    // A flipped byte of the stored signature.
    std::string file = Saved(note);
    file.back() ^= 1;
    WriteText(m_dir / "note.bin", file);
    read.Open(m_dir / "note.bin");
    EXPECT_FALSE(read.CheckSignature(*s_signer));
}

TEST_F(SignedFile, SigningWithoutPrivateKeyLeavesTheRecordUnsigned) {
    KeyPair publicOnly(*s_signer);
    publicOnly.Encrypt("sealed");  // drops the plain private key
    Note note("text");
    note.Sign(*s_signer);
    note.Sign(publicOnly);
    EXPECT_FALSE(note.Signature());
    EXPECT_EQ(Saved(note), Body("text") + Be16(0));
}

TEST_F(SignedFile, FailedSaveKeepsThePreviousFileAndLeavesNoTemporary) {
    const std::string path = m_dir / "note.bin";
    Note good("good");
    good.Sign(*s_signer);
    good.SaveAs(path);
    const std::string before = ReadText(path);

    Note failing("replacement");
    failing.failWrite = true;
    EXPECT_THROW(failing.SaveAs(path), std::runtime_error);
    EXPECT_EQ(ReadText(path), before);

    // The rename cannot replace a folder: the save fails after the temporary file was written.
    fs::create_directory(m_dir / "taken");
    WriteText(m_dir / "taken/inside", "kept");
    EXPECT_ANY_THROW(good.SaveAs(m_dir / "taken"));
    EXPECT_TRUE(fs::is_directory(m_dir / "taken"));
    EXPECT_EQ(ReadText(m_dir / "taken/inside"), "kept");

    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(m_dir.Path())) {
        ++entries;
        EXPECT_TRUE(entry.path().filename() == "note.bin" || entry.path().filename() == "taken")
            << entry.path();
    }
    EXPECT_EQ(entries, 2u);
}

TEST_F(SignedFile, FilesOverTheLimitAreRefusedUnread) {
    const std::string path = m_dir / "big.bin";
    // Exactly at the limit: a body filling all but the framing.
    const std::size_t text = std::size_t(Signed::kMaxFileSize) - 4 - 2;
    WriteText(path, Body(std::string(text, 'x')) + Be16(0));
    Note note;
    ASSERT_NO_THROW(note.Open(path));
    EXPECT_EQ(note.text.size(), text);

    // One byte more (sparse, so nothing is written but the size).
    std::filesystem::resize_file(path, std::uintmax_t(Signed::kMaxFileSize) + 1);
    Note refused;
    EXPECT_THROW(refused.Open(path), Signed::Err);
    EXPECT_EQ(refused.reads, 0);
}

}  // namespace
