// Fixed-size secret slots in a few large wiping blocks: a directory of many files keeps every
// file's keys there rather than in several small allocations per file. A slot is zeroed when it
// is handed out and wiped when it is given back; a block is freed (and so wiped again) once none
// of its slots is in use.
#pragma once

#include <cryptopp/secblock.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace FCryptEng {

class KeyArena {
  public:
    // The largest key-set form a directory entry holds: a wrapped set with KEK.
    static constexpr std::size_t kSlotSize = 104;
    static constexpr std::size_t kSlotsPerBlock = 512;

    KeyArena() = default;
    KeyArena(const KeyArena&) = delete;
    KeyArena& operator=(const KeyArena&) = delete;

    // The arena the directory entries use; entries are made and released on either thread.
    static KeyArena& Shared();

    std::uint32_t Acquire();
    void Release(std::uint32_t slot);
    // Stays valid while the slot is held.
    CryptoPP::byte* Slot(std::uint32_t slot);

    std::size_t SlotsInUse() const;
    std::size_t Blocks() const;

  private:
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<CryptoPP::SecByteBlock>> m_blocks;
    std::vector<std::uint32_t> m_free;
    std::size_t m_inUse = 0;
};

// One held slot, released when dropped; copies are deep.
class KeySlot {
  public:
    KeySlot() = default;
    explicit KeySlot(KeyArena& arena) : m_arena(&arena), m_slot(arena.Acquire()) {}
    KeySlot(const KeySlot& other);
    KeySlot& operator=(const KeySlot& other);
    KeySlot(KeySlot&& other) noexcept { Swap(other); }
    KeySlot& operator=(KeySlot&& other) noexcept {
        KeySlot(std::move(other)).Swap(*this);
        return *this;
    }
    ~KeySlot() { Reset(); }

    explicit operator bool() const { return m_arena != nullptr; }
    CryptoPP::byte* data() const { return m_arena->Slot(m_slot); }
    void Reset();

  private:
    void Swap(KeySlot& other) noexcept {
        std::swap(m_arena, other.m_arena);
        std::swap(m_slot, other.m_slot);
    }

    KeyArena* m_arena = nullptr;
    std::uint32_t m_slot = 0;
};

}  // namespace FCryptEng
