// The shared pieces and slots that entries and rows are made in: every
// piece handed out is room of its own, pieces are handed out again before
// new blocks are taken, and blocks go back once nothing in them is used.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/Files.h"

namespace vantor::platform {
namespace {

// Fills a piece of room with a pattern of its number, and checks it.
void Fill(void* at, std::size_t bytes, std::size_t n) { std::memset(at, int(n % 251) + 1, bytes); }
bool Holds(const void* at, std::size_t bytes, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(at);
    return std::all_of(p, p + bytes, [&](unsigned char c) { return c == (n % 251) + 1; });
}

// No two pieces of room overlap.
bool Apart(std::vector<void*> pieces, std::size_t bytes) {
    std::sort(pieces.begin(), pieces.end(), [](void* a, void* b) { return std::less<void*>()(a, b); });
    for (std::size_t k = 1; k < pieces.size(); ++k)
        if (static_cast<char*>(pieces[k]) - static_cast<char*>(pieces[k - 1]) < std::ptrdiff_t(bytes)) return false;
    return true;
}

TEST(SharedRoom, PiecesAreApartReusedAndTheirBlocksGoBack) {
    const std::size_t before = ChunkBlocksInUse();
    constexpr std::size_t kPerBlock = kLargeBlock / kChunk;
    std::vector<void*> pieces;
    for (std::size_t n = 0; n < 3 * kPerBlock + 1; ++n) {
        pieces.push_back(AllocateChunk());
        Fill(pieces.back(), kChunk, n);
    }
    EXPECT_TRUE(Apart(pieces, kChunk));
    for (std::size_t n = 0; n < pieces.size(); ++n) ASSERT_TRUE(Holds(pieces[n], kChunk, n)) << n;
    EXPECT_GE(ChunkBlocksInUse(), before + 3);

    // A piece given back is handed out again before a new block is taken:
    // with one given back, the last block's room and it take kPerBlock.
    const std::size_t blocks = ChunkBlocksInUse();
    void* middle = pieces[kPerBlock + 5];
    FreeChunk(middle);
    std::vector<void*> more;
    for (std::size_t n = 0; n < kPerBlock; ++n) more.push_back(AllocateChunk());
    EXPECT_EQ(ChunkBlocksInUse(), blocks);
    EXPECT_NE(std::find(more.begin(), more.end(), middle), more.end());
    pieces[kPerBlock + 5] = more.front();
    for (std::size_t n = 1; n < more.size(); ++n) FreeChunk(more[n]);
    for (std::size_t n = 0; n < pieces.size(); ++n) Fill(pieces[n], kChunk, n);

    // Every piece of a block given back but one keeps the block; the last
    // one lets it go.
    for (std::size_t n = 1; n < kPerBlock; ++n) FreeChunk(pieces[n]);
    EXPECT_EQ(ChunkBlocksInUse(), blocks);
    EXPECT_TRUE(Holds(pieces[0], kChunk, 0));
    for (std::size_t n = kPerBlock; n < pieces.size(); ++n) FreeChunk(pieces[n]);
    FreeChunk(pieces[0]);
    EXPECT_EQ(ChunkBlocksInUse(), before);
}

TEST(SharedRoom, SlotsAreApartAndGoBackWithTheirPieces) {
    const std::size_t before = ChunkBlocksInUse();
    std::vector<void*> slots;
    for (std::size_t n = 0; n < 5000; ++n) {
        slots.push_back(AllocateSlot());
        Fill(slots.back(), kSlot, n);
    }
    EXPECT_TRUE(Apart(slots, kSlot));
    for (std::size_t n = 0; n < slots.size(); ++n) ASSERT_TRUE(Holds(slots[n], kSlot, n)) << n;
    // A slot given back from a full piece is the next one handed out.
    void* early = slots[10];
    FreeSlot(early);
    slots[10] = AllocateSlot();
    EXPECT_EQ(slots[10], early);
    Fill(slots[10], kSlot, 10);
    // Given back every other one, then the rest: what is still held keeps
    // its bytes, and at the end no block is left.
    for (std::size_t n = 0; n < slots.size(); n += 2) FreeSlot(slots[n]);
    for (std::size_t n = 1; n < slots.size(); n += 2) ASSERT_TRUE(Holds(slots[n], kSlot, n)) << n;
    for (std::size_t n = 1; n < slots.size(); n += 2) FreeSlot(slots[n]);
    EXPECT_EQ(ChunkBlocksInUse(), before);
}

TEST(SharedRoom, ThreadsTakeAndGiveBackAtOnce) {
    const std::size_t before = ChunkBlocksInUse();
    struct CHeld {
        void* m_at;
        std::size_t m_n;
        bool m_slot;
        std::size_t Bytes() const { return m_slot ? kSlot : kChunk; }
    };
    std::vector<int> faults(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < 4; ++t)
        threads.emplace_back([t, &faults] {
            std::vector<CHeld> held;
            auto giveBack = [&](const CHeld& h) {
                faults[t] += !Holds(h.m_at, h.Bytes(), h.m_n);
                h.m_slot ? FreeSlot(h.m_at) : FreeChunk(h.m_at);
            };
            for (std::size_t n = 0; n < 3000; ++n) {
                const bool slot = n % 3 != 0;
                held.push_back({slot ? AllocateSlot() : AllocateChunk(), n * 4 + t, slot});
                Fill(held.back().m_at, held.back().Bytes(), held.back().m_n);
                if (n % 7 == 6) {
                    // One from the middle given back while the others take.
                    const auto middle = held.begin() + std::ptrdiff_t(held.size() / 2);
                    giveBack(*middle);
                    held.erase(middle);
                }
            }
            for (const CHeld& h : held) giveBack(h);
        });
    for (auto& thread : threads) thread.join();
    for (int f : faults) EXPECT_EQ(f, 0);
    EXPECT_EQ(ChunkBlocksInUse(), before);
}

}  // namespace
}  // namespace vantor::platform
