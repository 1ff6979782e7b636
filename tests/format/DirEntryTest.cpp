#include "format/DirEntry.h"

#include <cryptopp/queue.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DirBytes.h"
#include "format/NativePath.h"
#include "os/File.h"
#include "support/TempDir.h"

namespace {

using namespace dirbytes;
using CryptoPP::SecByteBlock;
using FCryptEng::DirEntry;
using FCryptEng::FileInfo;

const SecByteBlock kKek = ByteRun(0xA0, 0xC0);
const SecByteBlock kEnc = ByteRun(0x30, 0x50);
const SecByteBlock kMacKey = ByteRun(0x50, 0x60);
const SecByteBlock kIv = ByteRun(0x60, 0x70);
// The same keys wrapped by a tool outside this project.
const char kOutsideEncoding[] =
    "00000048cd81490939eb4ba5c671db73e0b20d925a382bfbb4ca8e3b19bfe332e8f9fed790a21e104ae5c1"
    "bfcc275e39ebbd36e307d3d3ad25171189ee4203aa94675812ce2a0c3b5b9dd853";

Bytes KnownKeySetEncoding() {
    return WrappedEncoding(kKek, Cat({kEnc, kMacKey, kIv}));
}

FileFields KnownFile() {
    FileFields f;
    f.attributes = OS::ATTR_ARCHIVE | OS::ATTR_READONLY | FileInfo::kCompressedStorage;
    f.position = 0x01020304;
    f.archiveSize = 0x00000110;
    f.originalSize = 0x000000FF;
    f.keySet = KnownKeySetEncoding();
    f.mac = Str(ByteRun(0x80, 0xA0));
    return f;
}

std::unique_ptr<DirEntry> Read(const Bytes& body) {
    CryptoPP::ByteQueue q = Queue(body);
    auto entry = std::make_unique<DirEntry>(q, std::uint32_t(body.size()));
    EXPECT_EQ(q.MaxRetrievable(), 0u);
    return entry;
}

Bytes Encoding(DirEntry& entry) {
    CryptoPP::ByteQueue q;
    entry.PutEncoding(q);
    return Drain(q);
}

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const DirEntry::Err& e) {
        return e.what();
    }
    return "<no DirEntry::Err>";
}

void ExpectTimes(const FileInfo& info, const Times& times) {
    EXPECT_TRUE(info.CreateTime() == times.create);
    EXPECT_TRUE(info.ModTime() == times.modify);
    EXPECT_TRUE(info.AccessTime() == times.access);
}

TEST(DirEntryRead, HandMadeFileEntry) {
    ASSERT_EQ(KnownKeySetEncoding(), FromHex(kOutsideEncoding));
    const FileFields f = KnownFile();
    const Bytes body = FileBody("docs\\report.txt", f);
    ASSERT_EQ(body.size(), 15u + 170u);

    auto entry = Read(body);
    EXPECT_EQ(entry->Name(), "docs\\report.txt");
    EXPECT_FALSE(entry->Origin());
    EXPECT_FALSE(entry->Selected());
    EXPECT_FALSE(entry->IsDir());
    EXPECT_TRUE(entry->Compress());
    EXPECT_EQ(entry->Attributes(), f.attributes);
    EXPECT_EQ(entry->Position(), 0x01020304u);
    EXPECT_EQ(entry->ArchiveSize(), 0x110u);
    EXPECT_EQ(entry->OriginalSize(), 0xFFu);
    EXPECT_EQ(Str(entry->Mac()), f.mac);
    ExpectTimes(*entry, f.times);
    EXPECT_EQ(entry->FinalName(), "/docs/report.txt");

    // Still wrapped, the entry writes back exactly the bytes it was read from.
    EXPECT_EQ(Encoding(*entry), Record(0x25DE, body));

    EXPECT_EQ(ErrorOf([&] { entry->UnwrapKeySet(ByteRun(0xA1, 0xC1)); }),
              "Wrong KEK in DirEntry::UnwrapKeySet");
    entry->UnwrapKeySet(kKek);
    ASSERT_NE(entry->GetKeySet(), nullptr);
    EXPECT_EQ(Str(entry->GetKeySet()->EncKey()), Str(kEnc));
    EXPECT_EQ(Str(entry->GetKeySet()->MacKey()), Str(kMacKey));
    EXPECT_EQ(Str(entry->GetKeySet()->IV()), Str(kIv));
    EXPECT_EQ(entry->GetKeySet()->KEK(), nullptr);
}

TEST(DirEntryRead, HandMadeFolderEntryMatchesTheWriter) {
    const std::uint32_t attributes = OS::ATTR_DIRECTORY | OS::ATTR_HIDDEN;
    const Times times;
    const Bytes body = FolderBody("F", attributes, times);
    ASSERT_EQ(body.size(), 1u + 40u);

    auto read = Read(body);
    EXPECT_TRUE(read->IsDir());
    EXPECT_EQ(read->GetKeySet(), nullptr);
    EXPECT_EQ(read->Name(), "F");
    EXPECT_EQ(read->Attributes(), attributes);
    ExpectTimes(*read, times);

    cryvan_test::TempDir dir;
    ASSERT_TRUE(std::filesystem::create_directory(dir / "F"));
    DirEntry written(dir / "F");
    EXPECT_TRUE(written.IsDir());
    EXPECT_EQ(written.GetKeySet(), nullptr);
    written.SetAttributes(attributes);
    written.SetCreateTime(times.create);
    written.SetModTime(times.modify);
    written.SetAccessTime(times.access);
    written.SetPath(FCryptEng::PathMode::Common, dir.Path() + "/");
    EXPECT_EQ(written.FinalName(), "F");
    EXPECT_EQ(written.BodySize(), 41u);
    EXPECT_EQ(Encoding(written), Record(0x25DE, body));
}

TEST(DirEntryRead, EveryTruncationRaisesAndStaysInsideItsBody) {
    const Bytes guard(16, '\x77');
    for (const Bytes& body : {FileBody("a\\b.txt", KnownFile()), FolderBody("Folder")}) {
        for (std::size_t k = 0; k < body.size(); ++k) {
            SCOPED_TRACE(k);
            // Declared shorter than it is: only the declared bytes may be consumed.
            CryptoPP::ByteQueue q = Queue(body + guard);
            EXPECT_THROW(DirEntry(q, std::uint32_t(k)), DirEntry::Err);
            EXPECT_GE(q.MaxRetrievable(), body.size() + guard.size() - k);
            // Declared in full but cut short in the source.
            CryptoPP::ByteQueue cut = Queue(body.substr(0, k));
            EXPECT_THROW(DirEntry(cut, std::uint32_t(body.size())), DirEntry::Err);
        }
    }
}

TEST(DirEntryRead, WrongSubTagsAndSizes) {
    const Bytes body = FileBody("abc", KnownFile());  // L = 3
    struct Case {
        std::size_t offset;  // of the sub-tag to spoil
        const char* text;
    };
    const Case cases[] = {
        {0, "Tag filename expected but not found"},
        {7, "Expected tag DIR_ENTRY_TAG_FLAGS"},
        {13, "Expected tag DIR_ENTRY_TAG_OFFSET"},
        {19, "Expected tag DIR_ENTRY_TAG_ARCHIVESIZE"},
        {25, "Expected tag DIR_ENTRY_TAG_ORIGINALSIZE"},
        {31, "Expected tag DIR_ENTRY_TAG_KEYSET"},
        {109, "Expected tag DIR_ENTRY_TAG_MAC"},
        {143, "Expected tag DIR_ENTRY_TAG_CREATE_DATETIME"},
        {153, "Expected tag DIR_ENTRY_TAG_MODIFY_DATETIME"},
        {163, "Expected tag DIR_ENTRY_TAG_ACCESS_DATETIME"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Bytes spoiled = body;
        ASSERT_EQ(spoiled[c.offset], '\xDE');
        spoiled[c.offset + 1] = '\x0F';
        EXPECT_EQ(ErrorOf([&] { Read(spoiled); }), c.text);
    }

    EXPECT_EQ(ErrorOf([&] { Read("\xDE\x01\x00"); }), "Size way too small");
    EXPECT_EQ(ErrorOf([&] { Read(body + "12345"); }), "Corrupt input file");
    EXPECT_EQ(ErrorOf([&] { Read(FolderBody("F") + "12345"); }), "Corrupt input file");

    // Key sets of a length no key set has are refused before anything is unwrapped.
    FileFields odd = KnownFile();
    odd.keySet = Bytes("\x00\x00\x00\x08", 4) + Bytes(8, 'k');
    EXPECT_EQ(ErrorOf([&] { Read(FileBody("abc", odd)); }), "Corrupt input file");
    odd.keySet = Bytes("\xFF\xFF\xFF\xFF", 4);
    EXPECT_EQ(ErrorOf([&] { Read(FileBody("abc", odd)); }), "Corrupt input file");
}

TEST(DirEntryRead, UnsafeStoredNamesAreRefused) {
    const Bytes unsafe[] = {
        "",
        Bytes("\0abc", 4),
        "\\",
        "\\a",
        "/a",
        "/etc/passwd",
        "c:foo",
        "C:\\x",
        "a\\\\b",
        "a\\",
        ".",
        "..",
        "..\\x",
        "a\\..",
        "a\\..\\b",
        "a\\.\\b",
        "a/b",
        "a\\b/../c",
        "\\\\server\\share",
        "\\\\?\\C:\\x",
        "C:",
        "//server/share",
#ifdef _WIN32
        // Windows drops the dots and spaces a name ends in, so these would climb out too.
        "...",
        ".. ",
        ". ",
        "a\\. .\\b",
        "a\\...\\b",
        "x\\ ..\\y",
#endif
    };
    for (const Bytes& name : unsafe) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ErrorOf([&] { Read(FolderBody(name)); }), "Corrupt input file");
        EXPECT_EQ(ErrorOf([&] { Read(FileBody(name, KnownFile())); }), "Corrupt input file");
    }
}

TEST(DirEntryRead, SafeStoredNamesAreKept) {
    struct Case {
        Bytes stored;
        const char* name;  // as read: up to the first zero byte
    };
    const Case cases[] = {
        {"a", "a"},
        {"F\\y.txt", "F\\y.txt"},
#ifndef _WIN32
        {"...", "..."},
#endif
        {"..a\\b..", "..a\\b.."},
        {".hidden\\x", ".hidden\\x"},
        {"ab:c", "ab:c"},
        {"x\xEF\xBC\xBCy", "x\xEF\xBC\xBCy"},
        {Bytes("abc\0\\..\\x", 9), "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Read(FolderBody(c.stored))->Name(), c.name);
    }
}

#ifdef _WIN32
// Names other systems hold but Windows would read as a device, another stream of a file or a
// shorter name: the container is sound, and the destination refuses each of these files
// when it is written. Their output names stay below the destination.
TEST(DirEntryRead, NamesWindowsReadOtherwiseStayBelowTheDestination) {
    const char* names[] = {"CON",  "nul.txt", "F\\aux", "COM1",   "lpt9.log",
                           "ab:c", "x.",      "x ",     "F\\y. ", "C\\D:x"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        auto entry = Read(FileBody(name, KnownFile()));
        entry->SetPath(FCryptEng::PathMode::Common, "C:\\out\\");
        EXPECT_EQ(entry->OutputFolder(), "C:\\out\\");
        std::string relative = name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        EXPECT_EQ(entry->OutputRelative(), relative);
        EXPECT_EQ(entry->FinalName(), "C:\\out\\" + relative);
    }
}
#endif

TEST(DirEntryRead, OutputNamesUnderTheDestination) {
    struct Case {
        int mode;
        std::string destination;
        const char* output;
    };
    const Case cases[] = {
        {0, "/out/", "/out/F/y.txt"},
        {1, "/out/", "/out/y.txt"},
        {2, "/out/", "/F/y.txt"},
        {0, "/out", "/out/F/y.txt"},
        {1, "/out", "/out/y.txt"},
        {0, "", "/F/y.txt"},
#ifdef _WIN32
        // A folder named the Windows way ends in a separator already.
        {0, "C:\\out\\", "C:\\out\\F/y.txt"},
        {1, "C:\\out", "C:\\out/y.txt"},
        {0, "\\\\server\\share\\", "\\\\server\\share\\F/y.txt"},
        {0, "\\\\?\\C:\\out\\", "\\\\?\\C:\\out\\F/y.txt"},
#endif
    };
    auto entry = Read(FileBody("F\\y.txt", KnownFile()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        entry->SetPath(FCryptEng::PathMode(c.mode), c.destination);  // by number, as stored
        EXPECT_EQ(entry->FinalName(), c.output);
    }
}

class DirEntryDisk : public ::testing::Test {
  protected:
    std::string Make(const std::string& relative, bool folder = false,
                     const std::string& content = "data") {
        const std::string full = dir / relative;
        const std::size_t cut = full.rfind('/');
        OS::CreateFilePath(full.substr(0, cut + 1));
        if (folder)
            EXPECT_TRUE(std::filesystem::create_directory(full));
        else
            cryvan_test::WriteText(full, content);
        return full;
    }
    // The stored name of a file under the temporary folder: without the drive, if any, and the
    // root.
    std::string Stored(std::string relative) const {
        std::string native = dir.Path().substr(dir.Path().find('/') + 1) + "/" + relative;
        for (char& c : native)
            c = c == '/' ? '\\' : c;
        return native;
    }

    cryvan_test::TempDir dir;
};

TEST_F(DirEntryDisk, FromAFile) {
    const std::string name = Make("a/x.txt", false, "hello");
    DirEntry entry(name);
    EXPECT_TRUE(entry.Origin());
    EXPECT_TRUE(entry.Selected());
    EXPECT_FALSE(entry.IsDir());
    EXPECT_EQ(entry.Name(), name);
    EXPECT_EQ(entry.OriginalSize(), 5u);
    EXPECT_EQ(entry.DiskSize(), 5u);
    EXPECT_EQ(entry.ArchiveSize(), 0u);
    EXPECT_EQ(entry.Position(), 0u);
    EXPECT_EQ(entry.Mac().size(), 32u);
    EXPECT_EQ(entry.FinalName(), "");
    ASSERT_NE(entry.GetKeySet(), nullptr);
    EXPECT_FALSE(entry.GetKeySet()->IncludesKEK());
    EXPECT_NE(entry.GetKeySet()->EncKey(), nullptr);

    entry.SetPath(FCryptEng::PathMode::Common, dir / "a/");
    EXPECT_EQ(entry.FinalName(), "x.txt");
    EXPECT_EQ(entry.BodySize(), 5u + 170u);

    entry.SetCompress(true);
    EXPECT_TRUE(entry.Compress());
    entry.SetCompress(false);
    EXPECT_FALSE(entry.Compress());
    entry.SetCompress(true);
    entry.UpdateFromFile();  // the attributes come from disk again
    EXPECT_FALSE(entry.Compress());

    EXPECT_THROW(DirEntry(dir / "missing"), OS::File::Error);
}

TEST_F(DirEntryDisk, SizeBeyondFourGiBIsKeptForTheEngine) {
    const std::string name = Make("big");
    const std::uint64_t size = (std::uint64_t(1) << 32) + 5;
    std::error_code error;
    std::filesystem::resize_file(name, size, error);
    if (error)
        GTEST_SKIP() << "no sparse file of 4 GiB here";
    const FileInfo info(name);
    EXPECT_EQ(info.DiskSize(), size);
    EXPECT_EQ(info.OriginalSize(), 5u);
}

TEST_F(DirEntryDisk, StoredNamesPerMode) {
    const std::string x = Make("a/x.txt");
    struct Case {
        int mode;
        std::string path;
        std::string stored;
    };
    const Case cases[] = {
        {0, dir / "a/", "x.txt"},    {0, dir.Path() + "/", "a\\x.txt"},
        {0, dir / "a", "x.txt"},  // the leading separator left over goes too
        {0, "", Stored("a/x.txt")},  {1, "", "x.txt"},
        {1, "/elsewhere/", "x.txt"}, {2, "", Stored("a/x.txt")},
    };
    DirEntry entry(x);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        entry.SetPath(FCryptEng::PathMode(c.mode), c.path);
        EXPECT_EQ(entry.FinalName(), c.stored);
        EXPECT_EQ(entry.BodySize(), c.stored.size() + 170u);
    }
    EXPECT_EQ(ErrorOf([&] { entry.SetPath(FCryptEng::PathMode::Common, x + "/longer"); }),
              "Path set longer than filename");
    EXPECT_EQ(ErrorOf([&] { entry.SetPath(FCryptEng::PathMode::Common, dir / "b/"); }),
              "Common path set does not match file");
}

TEST_F(DirEntryDisk, NamesThatAreSpecialOnlyElsewhere) {
#ifdef _WIN32
    GTEST_SKIP() << "a name on Windows can hold neither ':' nor '\\'";
#endif
    // "c:foo" is an ordinary name here, but stored as it stands it would read as a drive-
    // qualified name, which readers refuse: its colon is stored as U+FF1A and reads back.
    DirEntry colon(Make("c:foo"));
    colon.SetPath(FCryptEng::PathMode::Common, dir.Path() + "/");
    EXPECT_EQ(colon.FinalName(),
              "c\xEF\xBC\x9A"
              "foo");
    colon.SetPath(FCryptEng::PathMode::BaseName, "");
    EXPECT_EQ(colon.FinalName(),
              "c\xEF\xBC\x9A"
              "foo");
    colon.WrapKeySet(kKek);
    const Bytes colonEncoding = Encoding(colon);
    CryptoPP::ByteQueue colonQueue = Queue(colonEncoding.substr(4));
    DirEntry colonRead(colonQueue, std::uint32_t(colonEncoding.size() - 4));
    colonRead.SetPath(FCryptEng::PathMode::Common, "/out/");
    EXPECT_EQ(colonRead.FinalName(),
              "/out/c\xEF\xBC\x9A"
              "foo");
    // Only the drive position is affected.
    DirEntry later(Make("ab:c"));
    later.SetPath(FCryptEng::PathMode::BaseName, "");
    EXPECT_EQ(later.FinalName(), "ab:c");

    // A backslash inside a name must never read back as a separator.
    DirEntry slash(Make("x\\y/z\\w.txt"));
    slash.SetPath(FCryptEng::PathMode::Common, dir.Path() + "/");
    EXPECT_EQ(slash.FinalName(), "x\xEF\xBC\xBCy\\z\xEF\xBC\xBCw.txt");
    slash.WrapKeySet(kKek);
    Bytes encoding = Encoding(slash);
    CryptoPP::ByteQueue q = Queue(encoding.substr(4));
    DirEntry read(q, std::uint32_t(encoding.size() - 4));
    read.SetPath(FCryptEng::PathMode::Common, "/out/");
    EXPECT_EQ(read.FinalName(), "/out/x\xEF\xBC\xBCy/z\xEF\xBC\xBCw.txt");
    read.SetPath(FCryptEng::PathMode::BaseName, "/out/");
    EXPECT_EQ(read.FinalName(), "/out/z\xEF\xBC\xBCw.txt");
}

TEST(NativePath, WhatTiesANameToOneMachineIsLeftOut) {
    struct Case {
        const char* name;
        const char* relative;
    };
    const Case cases[] = {
        {"/a/x.txt", "a/x.txt"},
        {"a/x.txt", "a/x.txt"},
        {"", ""},
#ifdef _WIN32
        {"C:\\a\\x.txt", "a\\x.txt"},
        {"C:/a/x.txt", "a/x.txt"},
        {"c:x.txt", "x.txt"},
        {"\\a\\x.txt", "a\\x.txt"},
        {"\\\\server\\share\\f.txt", "share\\f.txt"},
        {"//server/share/f.txt", "share/f.txt"},
        {"\\\\server", ""},
        {"\\\\?\\C:\\d\\f.txt", "d\\f.txt"},
        {"\\\\.\\C:\\d\\f.txt", "d\\f.txt"},
        {"\\\\?\\UNC\\server\\share\\f.txt", "share\\f.txt"},
        {"\\\\?\\unc\\server\\share\\f.txt", "share\\f.txt"},
#else
        // Ordinary names here: what makes them safe to store is the writer's business.
        {"c:x.txt", "c:x.txt"},
        {"\\\\server\\share", "\\\\server\\share"},
        {"//x", "/x"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FCryptEng::NativePath::WithoutRoot(c.name), c.relative);
    }
}

#ifdef _WIN32
// Windows names a file in several ways; each gives the same stored name, with '\\' between
// levels.
TEST_F(DirEntryDisk, EveryWindowsFormOfANameStoresTheSame) {
    const std::string x = Make("a/x.txt");
    std::string backslashed = x;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    const std::string forms[] = {x, backslashed, "\\\\?\\" + backslashed};
    for (const std::string& form : forms) {
        SCOPED_TRACE(form);
        DirEntry entry(form);
        EXPECT_EQ(entry.OriginalSize(), 4u);
        entry.SetPath(FCryptEng::PathMode::Full, "");
        EXPECT_EQ(entry.FinalName(), Stored("a/x.txt"));
        entry.SetPath(FCryptEng::PathMode::BaseName, "");
        EXPECT_EQ(entry.FinalName(), "x.txt");
        entry.SetPath(FCryptEng::PathMode::Common, form.substr(0, form.size() - 7));
        EXPECT_EQ(entry.FinalName(), "a\\x.txt");
    }
    // A common path may be written with either separator, whichever the name has.
    DirEntry slashed(x);
    slashed.SetPath(FCryptEng::PathMode::Common, backslashed.substr(0, backslashed.size() - 5));
    EXPECT_EQ(slashed.FinalName(), "x.txt");
    DirEntry back(backslashed);
    back.SetPath(FCryptEng::PathMode::Common, dir / "a/");
    EXPECT_EQ(back.FinalName(), "x.txt");
    EXPECT_EQ(ErrorOf([&] { back.SetPath(FCryptEng::PathMode::Common, dir / "a\\y"); }),
              "Common path set does not match file");
}
#endif

}  // namespace
