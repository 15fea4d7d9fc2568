// The shared pieces of AllocateChunk and the slots cut from them. The
// lowest block with room is filled first, which leaves the higher ones
// free to go back to the system.
#include <bit>
#include <cstdint>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <vector>

#include "platform/Files.h"
#include "platform/FilesDetail.h"

namespace vantor::platform {

namespace {

constexpr std::size_t kPerBlock = kLargeBlock / kChunk;
constexpr std::size_t kSpareBlocks = 4;

struct CChunkBlock {
    std::size_t m_fresh = 0;             // pieces never handed out start here
    std::vector<std::uint32_t> m_freed;  // pieces handed out and given back
    std::size_t m_used = 0;
};

class CChunkPool {
public:
    void* Take() {
        std::lock_guard lock(m_lock);
        if (m_open.empty()) {
            char* base = nullptr;
            if (!m_spare.empty()) {
                base = m_spare.back();
                m_spare.pop_back();
            } else {
                base = static_cast<char*>(detail::AllocateLargeBlock());
            }
            m_blocks.emplace(base, CChunkBlock{});
            m_open.insert(base);
        }
        char* base = *m_open.begin();
        CChunkBlock& block = m_blocks.at(base);
        std::size_t index = 0;
        if (!block.m_freed.empty()) {
            index = block.m_freed.back();
            block.m_freed.pop_back();
        } else {
            index = block.m_fresh++;
        }
        if (++block.m_used == kPerBlock) m_open.erase(base);
        return base + index * kChunk;
    }

    void Give(void* chunk) {
        if (!chunk) return;
        std::lock_guard lock(m_lock);
        auto* at = static_cast<char*>(chunk);
        auto it = m_blocks.upper_bound(at);
        if (it == m_blocks.begin()) return;  // not ours
        --it;
        char* base = it->first;
        if (at >= base + kLargeBlock) return;
        CChunkBlock& block = it->second;
        if (--block.m_used == 0) {
            m_open.erase(base);
            m_blocks.erase(it);
            // A few empty blocks are kept for the next pieces: a list moved
            // from one place to another frees blocks as fast as it needs
            // them, and fresh memory costs more than reused memory.
            if (m_spare.size() < kSpareBlocks)
                m_spare.push_back(base);
            else
                detail::FreeLargeBlock(base);
            return;
        }
        block.m_freed.push_back(std::uint32_t((at - base) / kChunk));
        m_open.insert(base);  // it has room again
    }

    std::size_t Blocks() {
        std::lock_guard lock(m_lock);
        return m_blocks.size();
    }

private:
    std::mutex m_lock;
    std::map<char*, CChunkBlock> m_blocks;
    std::set<char*> m_open;  // blocks with a piece to give
    std::vector<char*> m_spare;  // empty blocks kept for reuse
};

CChunkPool& Pool() {
    // Never destroyed: files of static lifetime may give pieces back late.
    static CChunkPool* pool = new CChunkPool;
    return *pool;
}

// Slots in pieces: the first slot of a piece holds its count and which of
// its slots are free. A piece is found from a slot by its alignment, which
// the blocks' alignment (detail::AllocateLargeBlock) gives.
static_assert(kLargeBlock % kChunk == 0 && kChunk % kSlot == 0);
constexpr std::size_t kSlotsPerPiece = kChunk / kSlot - 1;
static_assert(kSlotsPerPiece <= 64);

struct CPiece {
    std::uint64_t m_free = 0;  // bit i: slot i + 1 is free
    std::uint32_t m_used = 0;
    CPiece* m_prev = nullptr;  // among the pieces with a free slot
    CPiece* m_next = nullptr;
};
static_assert(sizeof(CPiece) <= kSlot);

class CSlotPool {
public:
    void* Take() {
        std::lock_guard lock(m_lock);
        if (!m_open) {
            auto* piece = new (AllocateChunk()) CPiece;
            piece->m_free = kSlotsPerPiece == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << kSlotsPerPiece) - 1;
            Link(piece);
        }
        CPiece* piece = m_open;
        const int slot = std::countr_zero(piece->m_free);
        piece->m_free &= piece->m_free - 1;
        if (++piece->m_used == kSlotsPerPiece) Unlink(piece);
        return reinterpret_cast<char*>(piece) + (std::size_t(slot) + 1) * kSlot;
    }

    void Give(void* at) {
        if (!at) return;
        std::lock_guard lock(m_lock);
        const auto address = reinterpret_cast<std::uintptr_t>(at);
        auto* piece = reinterpret_cast<CPiece*>(address & ~(std::uintptr_t(kChunk) - 1));
        const std::size_t slot = (address - reinterpret_cast<std::uintptr_t>(piece)) / kSlot - 1;
        if (piece->m_used-- == kSlotsPerPiece) Link(piece);
        piece->m_free |= std::uint64_t(1) << slot;
        if (piece->m_used == 0) {
            Unlink(piece);
            piece->~CPiece();
            FreeChunk(piece);
        }
    }

private:
    void Link(CPiece* piece) {
        piece->m_prev = nullptr;
        piece->m_next = m_open;
        if (m_open) m_open->m_prev = piece;
        m_open = piece;
    }
    void Unlink(CPiece* piece) {
        if (piece->m_prev) piece->m_prev->m_next = piece->m_next;
        if (piece->m_next) piece->m_next->m_prev = piece->m_prev;
        if (m_open == piece) m_open = piece->m_next;
        piece->m_prev = piece->m_next = nullptr;
    }

    std::mutex m_lock;
    CPiece* m_open = nullptr;
};

CSlotPool& Slots() {
    static CSlotPool* pool = new CSlotPool;
    return *pool;
}

}  // namespace

void* AllocateSlot() { return Slots().Take(); }
void FreeSlot(void* slot) { Slots().Give(slot); }

void* AllocateChunk() { return Pool().Take(); }
void FreeChunk(void* chunk) { Pool().Give(chunk); }
std::size_t ChunkBlocksInUse() { return Pool().Blocks(); }

}  // namespace vantor::platform
