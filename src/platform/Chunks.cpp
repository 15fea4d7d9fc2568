// The shared pieces of AllocateChunk. Blocks are found by address, so they
// need no alignment of their own; the lowest block with room is filled
// first, which leaves the higher ones free to go back to the system.
#include <cstdint>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <vector>

#include "platform/Files.h"

namespace vantor::platform {

namespace {

constexpr std::size_t kPerBlock = kLargeBlock / kChunk;

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
            auto* base = static_cast<char*>(AllocateBlock(kLargeBlock));
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
            FreeBlock(base, kLargeBlock);
            return;
        }
        block.m_freed.push_back(std::uint32_t((at - base) / kChunk));
        m_open.insert(base);
    }

    std::size_t Blocks() {
        std::lock_guard lock(m_lock);
        return m_blocks.size();
    }

private:
    std::mutex m_lock;
    std::map<char*, CChunkBlock> m_blocks;
    std::set<char*> m_open;  // blocks with a piece to give
};

CChunkPool& Pool() {
    // Never destroyed: files of static lifetime may give pieces back late.
    static CChunkPool* pool = new CChunkPool;
    return *pool;
}

}  // namespace

void* AllocateChunk() { return Pool().Take(); }
void FreeChunk(void* chunk) { Pool().Give(chunk); }
std::size_t ChunkBlocksInUse() { return Pool().Blocks(); }

}  // namespace vantor::platform
