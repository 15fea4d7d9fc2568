#include <gtest/gtest.h>

#include "format/SubRecord.h"
#include "fixtures/PluginBuilder.h"

using namespace vantor;
using namespace vantor::fixtures;
using namespace std::string_literals;

// Damaged sizes: what the splitter gives back is what a reader of the game
// would take, and nothing past the data.
TEST(RecordModel, SubRecordHelpers) {
    CSubRecords subs;
    for (std::size_t n = 0; n < 4; ++n) EXPECT_FALSE(SplitSubRecords(std::string(n, 'A'), subs));
    EXPECT_TRUE(subs.empty());

    // A size claiming more than remains gives a shortened last payload.
    ASSERT_TRUE(SplitSubRecords(SubBytes({Sub("NAME", "ab"), CSub{"DATA", "xyz", 100}}), subs));
    EXPECT_EQ(subs, (CSubRecords{{"NAME", "ab"}, {"DATA", "xyz"}}));
    EXPECT_NE(JoinSubRecords(subs), SubBytes({Sub("NAME", "ab"), CSub{"DATA", "xyz", 100}}));

    // Only the low three size bytes count.
    subs.clear();
    const std::string data = SubBytes({CSub{"DATA", "abc", 0x01000003u}, Sub("NEXT", "")});
    ASSERT_TRUE(SplitSubRecords(data, subs));
    EXPECT_EQ(subs, (CSubRecords{{"DATA", "abc"}, {"NEXT", ""}}));

    EXPECT_TRUE(IsDeletedData(SubBytes({Sub("DATA", "12345"), Dele()})));
    EXPECT_FALSE(IsDeletedData(SubBytes({Dele(), Sub("DATA", "")})));
    EXPECT_TRUE(IsDeletedData("DELE"));  // short data is tested at its start
    EXPECT_FALSE(IsDeletedData(""));
    EXPECT_FALSE(SameBytes("ab\0c"s, "ab\0d"s));
    EXPECT_FALSE(SameBytes("ab"s, "ab\0"s));
}
