#include "format/KeyArena.h"

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/hmac.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "DirBytes.h"
#include "format/DirFooter.h"

namespace {

using namespace dirbytes;
using CryptoPP::SecByteBlock;
using FCryptEng::KeyArena;
using FCryptEng::KeySlot;

constexpr std::size_t kSlot = KeyArena::kSlotSize;

void Fill(const KeySlot& slot, std::uint32_t seed) {
    for (std::size_t j = 0; j < kSlot; ++j)
        slot.data()[j] = CryptoPP::byte(seed * 7 + j);
}

bool Holds(const KeySlot& slot, std::uint32_t seed) {
    for (std::size_t j = 0; j < kSlot; ++j) {
        if (slot.data()[j] != CryptoPP::byte(seed * 7 + j))
            return false;
    }
    return true;
}

bool Zero(const CryptoPP::byte* p) {
    for (std::size_t j = 0; j < kSlot; ++j) {
        if (p[j] != 0)
            return false;
    }
    return true;
}

TEST(KeyArena, SlotsAcrossBlocksKeepTheirOwnBytes) {
    KeyArena arena;
    const std::size_t count = 3 * KeyArena::kSlotsPerBlock + 7;
    std::vector<KeySlot> slots;
    for (std::uint32_t i = 0; i < count; ++i) {
        slots.emplace_back(arena);
        ASSERT_TRUE(Zero(slots.back().data()));
        Fill(slots.back(), i);
    }
    EXPECT_EQ(arena.SlotsInUse(), count);
    EXPECT_EQ(arena.Blocks(), 4u);
    for (std::uint32_t i = 0; i < count; ++i)
        ASSERT_TRUE(Holds(slots[i], i)) << i;

    // Slots given back are handed out again, zeroed, and leave their neighbours alone.
    for (std::size_t i = 0; i < count; i += 2)
        slots[i].Reset();
    for (std::size_t i = 0; i < count; i += 2) {
        slots[i] = KeySlot(arena);
        ASSERT_TRUE(Zero(slots[i].data())) << i;
        Fill(slots[i], std::uint32_t(count + i));
    }
    EXPECT_EQ(arena.Blocks(), 4u);
    for (std::uint32_t i = 0; i < count; ++i)
        ASSERT_TRUE(Holds(slots[i], i % 2 ? i : std::uint32_t(count + i))) << i;

    // A copy is its own slot; a move hands the slot over.
    KeySlot copy(slots[1]);
    Fill(copy, 999);
    EXPECT_TRUE(Holds(slots[1], 1));
    KeySlot moved(std::move(copy));
    EXPECT_FALSE(copy);
    EXPECT_TRUE(Holds(moved, 999));
    EXPECT_EQ(arena.SlotsInUse(), count + 1);

    moved.Reset();
    slots.clear();
    EXPECT_EQ(arena.SlotsInUse(), 0u);
    EXPECT_EQ(arena.Blocks(), 0u);
}

TEST(KeyArena, ReleasedSlotsAreWiped) {
    KeyArena arena;
    KeySlot kept(arena);  // keeps the block alive, so the released bytes can still be looked at
    Fill(kept, 1);
    CryptoPP::byte* released = nullptr;
    {
        KeySlot secret(arena);
        Fill(secret, 2);
        released = secret.data();
    }
    EXPECT_TRUE(Zero(released));
    EXPECT_TRUE(Holds(kept, 1));

    // Released by assignment too.
    KeySlot other(arena);
    Fill(other, 3);
    released = other.data();
    other = KeySlot();
    EXPECT_TRUE(Zero(released));
}

// Many entries read from one footer: each unwraps to its own keys, wherever its slot lies.
TEST(KeyArena, EveryEntryOfALargeDirectoryKeepsItsOwnKeys) {
    const FCryptEng::KeySet keys = MakeKeySet(ByteRun(0x10, 0x30), ByteRun(0x40, 0x60),
                                              ByteRun(0x70, 0x80), ByteRun(0x90, 0xA0));
    const std::size_t count = 2 * KeyArena::kSlotsPerBlock + 3;
    auto enc = [](std::size_t i) { return ByteRun(unsigned(i % 200), unsigned(i % 200 + 32)); };
    auto iv = [](std::size_t i) {
        SecByteBlock b = ByteRun(0, 16);
        std::memcpy(b.data(), &i, sizeof i);
        return b;
    };
    const SecByteBlock macKey = ByteRun(0x50, 0x60);
    Bytes plain;
    for (std::size_t i = 0; i < count; ++i) {
        FileFields f;
        f.position = std::uint32_t(i);
        f.keySet = WrappedEncoding(*keys.KEK(), Cat({enc(i), macKey, iv(i)}));
        plain += Record(0x25DE, FileBody("f" + std::to_string(i), f));
    }
    const std::size_t before = KeyArena::Shared().SlotsInUse();
    // The framing word first, as a container reader takes it off.
    CryptoPP::ByteQueue q = Queue(Frame(plain, keys).substr(4));
    {
        FCryptEng::DirFooter footer(q, std::uint32_t(q.MaxRetrievable()));
        footer.Decrypt(keys);
        ASSERT_EQ(footer.NumEntries(false), count);
        EXPECT_EQ(KeyArena::Shared().SlotsInUse(), before + count);
        for (std::size_t i = 0; i < count; ++i) {
            const auto set = footer.GetEntry(i)->KeySetCopy();
            ASSERT_NE(set, nullptr);
            ASSERT_EQ(Str(set->EncKey()), Str(enc(i))) << i;
            ASSERT_EQ(Str(set->MacKey()), Str(macKey)) << i;
            ASSERT_EQ(Str(set->IV()), Str(iv(i))) << i;
        }
    }
    EXPECT_EQ(KeyArena::Shared().SlotsInUse(), before);
}

}  // namespace
