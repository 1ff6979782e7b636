#include "format/KeyArena.h"

#include <cryptopp/misc.h>

#include <cstring>
#include <stdexcept>

namespace FCryptEng {

KeyArena& KeyArena::Shared() {
    static KeyArena arena;
    return arena;
}

std::uint32_t KeyArena::Acquire() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_free.empty()) {
        if (m_blocks.size() >= UINT32_MAX / kSlotsPerBlock)
            throw std::length_error("KeyArena");
        m_blocks.push_back(std::make_unique<CryptoPP::SecByteBlock>(kSlotSize * kSlotsPerBlock));
        const auto first = std::uint32_t((m_blocks.size() - 1) * kSlotsPerBlock);
        // Handed out from the lowest index up.
        for (std::uint32_t i = kSlotsPerBlock; i > 0; --i)
            m_free.push_back(first + i - 1);
    }
    const std::uint32_t slot = m_free.back();
    m_free.pop_back();
    ++m_inUse;
    std::memset(m_blocks[slot / kSlotsPerBlock]->data() + slot % kSlotsPerBlock * kSlotSize, 0,
                kSlotSize);
    return slot;
}

void KeyArena::Release(std::uint32_t slot) {
    std::lock_guard<std::mutex> lock(m_mutex);
    CryptoPP::SecureWipeBuffer(
        m_blocks[slot / kSlotsPerBlock]->data() + slot % kSlotsPerBlock * kSlotSize, kSlotSize);
    m_free.push_back(slot);
    if (--m_inUse == 0) {
        m_blocks.clear();
        m_free.clear();
        m_free.shrink_to_fit();
    }
}

CryptoPP::byte* KeyArena::Slot(std::uint32_t slot) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks[slot / kSlotsPerBlock]->data() + slot % kSlotsPerBlock * kSlotSize;
}

std::size_t KeyArena::SlotsInUse() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inUse;
}

std::size_t KeyArena::Blocks() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks.size();
}

KeySlot::KeySlot(const KeySlot& other) {
    if (other) {
        KeySlot copy(*other.m_arena);
        std::memcpy(copy.data(), other.data(), KeyArena::kSlotSize);
        Swap(copy);
    }
}

KeySlot& KeySlot::operator=(const KeySlot& other) {
    if (this != &other)
        KeySlot(other).Swap(*this);
    return *this;
}

void KeySlot::Reset() {
    if (m_arena)
        m_arena->Release(m_slot);
    m_arena = nullptr;
    m_slot = 0;
}

}  // namespace FCryptEng
