#include "format/KeySet.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/queue.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "filters/KeyWrap.h"

namespace {

using CryptoPP::SecByteBlock;
using FCryptEng::KeySet;

SecByteBlock FromHex(const std::string& hex) {
    std::string raw;
    CryptoPP::StringSource(hex, true, new CryptoPP::HexDecoder(new CryptoPP::StringSink(raw)));
    return SecByteBlock(reinterpret_cast<const CryptoPP::byte*>(raw.data()), raw.size());
}

std::string Str(const SecByteBlock* block) {
    return block ? std::string(reinterpret_cast<const char*>(block->data()), block->size())
                 : std::string("<absent>");
}
std::string Str(const SecByteBlock& block) {
    return Str(&block);
}

SecByteBlock ByteRun(CryptoPP::byte from, CryptoPP::byte to) {
    SecByteBlock block(to - from);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = CryptoPP::byte(from + i);
    return block;
}

CryptoPP::ByteQueue Queue(const SecByteBlock& bytes) {
    CryptoPP::ByteQueue q;
    q.Put(bytes.data(), bytes.size());
    return q;
}

SecByteBlock Written(const KeySet& set) {
    CryptoPP::ByteQueue q;
    EXPECT_EQ(set.Write(q), set.EncodingSize());
    SecByteBlock out(static_cast<std::size_t>(q.MaxRetrievable()));
    q.Get(out.data(), out.size());
    return out;
}

void ExpectKeySetError(const std::function<void()>& action) {
    try {
        action();
        ADD_FAILURE() << "no KeySet::Err";
    } catch (const KeySet::Err& e) {
        EXPECT_STREQ(e.what(), "\"KeySet error\"");
    }
}

const SecByteBlock kWrappingKey = ByteRun(0xA0, 0xC0);

// Encodings made outside this project from known keys: KEK 10..2F, EncKey 30..4F, MacKey
// 50..5F, IV 60..6F (hexadecimal byte runs), wrapped under A0..BF or A0..AF.
struct Vector {
    const char* name;
    const char* encoding;
    SecByteBlock wrappingKey;
    bool withKek;
};
const Vector kVectors[] = {
    {"with KEK",
     "00000068aa4ae708d4eb267a2ce32ba7e8a5f27391ad9593619f82395dd98b7b127a4b0de252a32819cb48"
     "3f3bc0fa0b4851cd03cb07c9f76cfa8777f607f591b74e9f6f6e26f1f61cb86cbfd04b9723107a6970bb30"
     "70111b3e3e18e135edd16201b2795ef2ba7a93f89a3a",
     ByteRun(0xA0, 0xC0), true},
    {"without KEK",
     "00000048cd81490939eb4ba5c671db73e0b20d925a382bfbb4ca8e3b19bfe332e8f9fed790a21e104ae5c1"
     "bfcc275e39ebbd36e307d3d3ad25171189ee4203aa94675812ce2a0c3b5b9dd853",
     ByteRun(0xA0, 0xC0), false},
    {"without KEK, 128-bit wrapping key",
     "00000048ef105834de1418f45006c5f691cce4c95f3b7b2b2d3943ea8651cd4603a4d5b64754c977ec55b8"
     "108624e8c645a231d617341add9c640f35ac9927cd0d3b70452a17142779aa996f",
     ByteRun(0xA0, 0xB0), false},
};

TEST(KeySet, ReadsAndUnwrapsKnownEncodings) {
    for (const Vector& v : kVectors) {
        SCOPED_TRACE(v.name);
        const SecByteBlock encoding = FromHex(v.encoding);
        CryptoPP::ByteQueue source = Queue(encoding);
        source.Put(reinterpret_cast<const CryptoPP::byte*>("next"), 4);

        KeySet set(source);
        EXPECT_EQ(source.MaxRetrievable(), 4u);  // only the encoding was consumed
        EXPECT_EQ(set.IncludesKEK(), v.withKek);
        EXPECT_EQ(set.EncodingSize(), encoding.size());
        EXPECT_EQ(set.EncKey(), nullptr);

        ASSERT_TRUE(set.Unwrap(v.wrappingKey));
        const SecByteBlock kek = ByteRun(0x10, 0x30);
        EXPECT_EQ(Str(set.KEK()), v.withKek ? Str(kek) : "<absent>");
        const SecByteBlock enc = ByteRun(0x30, 0x50), mac = ByteRun(0x50, 0x60),
                           iv = ByteRun(0x60, 0x70);
        EXPECT_EQ(Str(set.EncKey()), Str(enc));
        EXPECT_EQ(Str(set.MacKey()), Str(mac));
        EXPECT_EQ(Str(set.IV()), Str(iv));
        EXPECT_EQ(set.IncludesKEK(), v.withKek);
    }
}

TEST(KeySet, FreshSetWrapsAndWritesItsEncoding) {
    for (bool withKek : {true, false}) {
        SCOPED_TRACE(withKek ? "with KEK" : "without KEK");
        KeySet set(withKek);
        ASSERT_NE(set.EncKey(), nullptr);
        EXPECT_EQ(set.KEK() != nullptr, withKek);
        if (withKek) {
            EXPECT_EQ(set.KEK()->size(), 32u);
        }
        EXPECT_EQ(set.EncKey()->size(), 32u);
        EXPECT_EQ(set.MacKey()->size(), 16u);
        EXPECT_EQ(set.IV()->size(), 16u);
        EXPECT_EQ(set.IncludesKEK(), withKek);
        const std::uint32_t size = withKek ? 108 : 76;
        EXPECT_EQ(set.EncodingSize(), size);

        // The expected bytes, put together by hand from the keys.
        SecByteBlock plain;
        for (const SecByteBlock* key : {set.KEK(), set.EncKey(), set.MacKey(), set.IV()}) {
            if (key)
                plain += *key;
        }
        SecByteBlock expected(size);
        expected[0] = expected[1] = expected[2] = 0;
        expected[3] = CryptoPP::byte(size - 4);
        SecByteBlock wrapped(size - 4);
        ASSERT_EQ(CryptoP2::AesKeyWrap(kWrappingKey, plain, wrapped), CryptoP2::KeyWrapResult::Ok);
        std::memcpy(expected.data() + 4, wrapped.data(), wrapped.size());

        set.Wrap(kWrappingKey);
        EXPECT_EQ(set.EncKey(), nullptr);
        EXPECT_EQ(set.KEK(), nullptr);
        EXPECT_EQ(set.IncludesKEK(), withKek);
        EXPECT_EQ(set.EncodingSize(), size);
        EXPECT_EQ(Str(Written(set)), Str(expected));
    }
}

TEST(KeySet, FreshSetsDiffer) {
    KeySet a(true), b(true);
    EXPECT_NE(Str(a.KEK()), Str(b.KEK()));
    EXPECT_NE(Str(a.EncKey()), Str(b.EncKey()));
    EXPECT_NE(Str(a.IV()), Str(b.IV()));
}

TEST(KeySet, WrongKeyLeavesSetWrappedAndRightKeyStillOpens) {
    KeySet original(true);
    KeySet set(original);
    set.Wrap(kWrappingKey);
    CryptoPP::ByteQueue q = Queue(Written(set));
    KeySet read(q);
    const SecByteBlock before = Written(read);

    SecByteBlock wrongKey = kWrappingKey;
    wrongKey[0] ^= 1;
    EXPECT_FALSE(read.Unwrap(wrongKey));
    EXPECT_EQ(read.EncKey(), nullptr);
    EXPECT_TRUE(read.IncludesKEK());
    EXPECT_EQ(Str(Written(read)), Str(before));

    ASSERT_TRUE(read.Unwrap(kWrappingKey));
    EXPECT_EQ(Str(read.KEK()), Str(original.KEK()));
    EXPECT_EQ(Str(read.EncKey()), Str(original.EncKey()));
    EXPECT_EQ(Str(read.MacKey()), Str(original.MacKey()));
    EXPECT_EQ(Str(read.IV()), Str(original.IV()));
}

TEST(KeySet, CopiesAreDeep) {
    KeySet plain(true);
    KeySet copy(plain);
    EXPECT_NE(copy.EncKey(), plain.EncKey());
    const std::string enc = Str(plain.EncKey());
    plain.Clear();
    EXPECT_EQ(Str(copy.EncKey()), enc);

    KeySet wrapped(false);
    wrapped.Wrap(kWrappingKey);
    KeySet wrappedCopy(wrapped);
    EXPECT_EQ(Str(Written(wrappedCopy)), Str(Written(wrapped)));
    copy = wrapped;
    EXPECT_EQ(copy.KEK(), nullptr);
    EXPECT_EQ(Str(Written(copy)), Str(Written(wrapped)));
}

TEST(KeySet, OperationsOutsideTheirFormRaise) {
    KeySet plain(false);
    ExpectKeySetError([&] {
        CryptoPP::ByteQueue q;
        plain.Write(q);
    });
    ExpectKeySetError([&] { plain.Unwrap(kWrappingKey); });
    ExpectKeySetError([&] { plain.Wrap(ByteRun(0, 20)); });  // not a key-wrap key size
    EXPECT_NE(plain.EncKey(), nullptr);                      // still plain

    plain.Wrap(kWrappingKey);
    ExpectKeySetError([&] { plain.Wrap(kWrappingKey); });
    ExpectKeySetError([&] { plain.Unwrap(ByteRun(0, 20)); });

    plain.Clear();
    EXPECT_FALSE(plain.IncludesKEK());
    EXPECT_EQ(plain.EncKey(), nullptr);
    ExpectKeySetError([&] { plain.Unwrap(kWrappingKey); });
    ExpectKeySetError([&] {
        CryptoPP::ByteQueue q;
        plain.Write(q);
    });
}

// Any stated length can be read; only 72 and 104 can be unwrapped.
TEST(KeySet, UnwrapRejectsOtherWrappedLengths) {
    for (std::uint32_t length : {0u, 8u, 16u, 64u, 80u, 96u, 112u}) {
        SCOPED_TRACE(length);
        CryptoPP::ByteQueue q;
        q.PutWord32(length, CryptoPP::BIG_ENDIAN_ORDER);
        const SecByteBlock body(length);
        q.Put(body.data(), body.size());
        KeySet set(q);
        EXPECT_EQ(set.EncodingSize(), length + 4);
        ExpectKeySetError([&] { set.Unwrap(kWrappingKey); });
    }
}

TEST(KeySet, TruncatedEncodingRaisesAtEveryLength) {
    const SecByteBlock encoding = FromHex(kVectors[0].encoding);
    KeySet set(true);
    for (std::size_t length = 0; length < encoding.size(); ++length) {
        SCOPED_TRACE(length);
        CryptoPP::ByteQueue q;
        q.Put(encoding.data(), length);
        ExpectKeySetError([&] { set.Read(q); });
        EXPECT_EQ(set.EncKey(), nullptr);
        EXPECT_FALSE(set.IncludesKEK());
        // At most the length word was taken.
        EXPECT_EQ(q.MaxRetrievable(), length < 4 ? length : length - 4);
    }
}

TEST(KeySet, HugeStatedLengthIsRejectedBeforeAnyAllocation) {
    CryptoPP::ByteQueue q;
    q.PutWord32(0xFFFFFFFFu, CryptoPP::BIG_ENDIAN_ORDER);
    q.Put(reinterpret_cast<const CryptoPP::byte*>("0123456789"), 10);
    KeySet set(false);
    ExpectKeySetError([&] { set.Read(q); });
    EXPECT_EQ(q.MaxRetrievable(), 10u);
}

#if defined(__SANITIZE_ADDRESS__)
#define CRYVAN_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CRYVAN_ASAN 1
#endif
#endif

// With the address space capped a little above what the process uses, allocating the stated
// 4 GiB would fail with bad_alloc instead of the format error.
TEST(KeySet, HugeStatedLengthFitsInASmallAddressSpace) {
#ifdef CRYVAN_ASAN
    GTEST_SKIP() << "the sanitizer's shadow memory needs an unlimited address space";
#elif defined(_WIN32)
    GTEST_SKIP() << "needs fork and an address-space limit, which Windows does not have";
#else
    const pid_t pid = fork();
    if (pid == 0) {
        int code = 1;
        std::ifstream statm("/proc/self/statm");
        unsigned long pages = 0;
        statm >> pages;
        rlimit rl{};
        getrlimit(RLIMIT_AS, &rl);
        rl.rlim_cur = pages * sysconf(_SC_PAGESIZE) + (256ul << 20);
        if (setrlimit(RLIMIT_AS, &rl) != 0)
            _exit(2);
        try {
            CryptoPP::ByteQueue q;
            q.PutWord32(0xFFFFFFF0u, CryptoPP::BIG_ENDIAN_ORDER);
            q.Put(reinterpret_cast<const CryptoPP::byte*>("0123456789"), 10);
            KeySet set(q);
        } catch (const KeySet::Err&) {
            code = 0;
        } catch (const std::bad_alloc&) {
            code = 3;
        } catch (...) {
            code = 4;
        }
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

}  // namespace
