// A list of findings is made of the process's shared slots: it keeps its
// rows in order through what the checks and the panes do to it, and gives
// its room back when it goes.
#include <gtest/gtest.h>

#include <algorithm>

#include "checks/Finding.h"
#include "platform/Files.h"

namespace vantor {
namespace {

CFinding Row(std::size_t n) {
    CFinding f;
    f.m_file = CFileIndex(n % 60000);
    f.m_otherFile = CFileIndex(n / 60000);
    f.m_table = std::uint8_t(n % 41);
    return f;
}
std::size_t Number(const CFinding& f) { return std::size_t(f.m_otherFile) * 60000 + f.m_file; }

TEST(Rows, AListKeepsItsOrderAndGivesItsRoomBack) {
    const std::size_t before = platform::ChunkBlocksInUse();
    {
        CFindings rows;
        for (std::size_t n = 0; n < 300000; ++n) rows.push_back(Row(n));
        EXPECT_GT(platform::ChunkBlocksInUse(), before);
        // Dealt out from the front and back again, as the sort by tag does.
        CFindings moved;
        for (; !rows.empty(); rows.pop_front()) moved.push_back(rows.front());
        ASSERT_EQ(moved.size(), 300000u);
        for (std::size_t n = 0; n < moved.size(); ++n) ASSERT_EQ(Number(moved[n]), n) << n;
        // Appended to and cut, as the panes do.
        CFindings more(moved.begin(), moved.begin() + 1000);
        moved.insert(moved.end(), more.begin(), more.end());
        moved.erase(moved.begin() + 10, moved.begin() + 20);
        EXPECT_EQ(moved.size(), 300990u);
        EXPECT_EQ(Number(moved[10]), 20u);
        EXPECT_EQ(Number(moved.back()), 999u);
        std::stable_sort(moved.begin(), moved.end(), [](const CFinding& a, const CFinding& b) { return a.m_table < b.m_table; });
        EXPECT_TRUE(std::is_sorted(moved.begin(), moved.end(), [](const CFinding& a, const CFinding& b) { return a.m_table < b.m_table; }));
    }
    EXPECT_EQ(platform::ChunkBlocksInUse(), before);
}

}  // namespace
}  // namespace vantor
