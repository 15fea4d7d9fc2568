// The hex view's geometry: line texts, the byte under a column position, and
// the runs painted as different from the comparison.
#include <gtest/gtest.h>

#include "editor/HexLayout.h"

using namespace vantor;

TEST(HexLayout, LinesShowAddressDigitsAndCharacters) {
    std::string bytes = "AB\x01\xE9";
    bytes += std::string(1, '\0');
    bytes += "xyz";
    CHexLayout layout(bytes, bytes, 4);
    ASSERT_EQ(layout.LineCount(), 2u);
    EXPECT_EQ(layout.LineText(0), "00000000  41 42 01 E9  AB.\xE9");
    // A short last line keeps its characters in their column.
    EXPECT_EQ(layout.LineText(1), "00000004  00 78 79 7A  .xyz");
    EXPECT_EQ(layout.LineWidth(), layout.LineText(0).size());

    CHexLayout partial("0123456789", "", 4);
    EXPECT_EQ(partial.LineCount(), 3u);
    EXPECT_EQ(partial.LineText(2), "00000008  38 39        89");
    EXPECT_EQ(partial.CharColumn(0), partial.LineText(2).find("89"));

    CHexLayout sixteen(std::string(40, 'q'), "");
    EXPECT_EQ(sixteen.BytesPerLine(), 16u);
    EXPECT_EQ(sixteen.LineCount(), 3u);
    EXPECT_EQ(sixteen.AddressText(2), "00000020");

    CHexLayout empty("", "");
    EXPECT_EQ(empty.LineCount(), 0u);
    EXPECT_FALSE(empty.ByteAt(0, 10).has_value());

    // Lines of as many bytes as fit a width.
    EXPECT_EQ(CHexLayout::FitBytesPerLine(CHexLayout("", "", 16).LineWidth()), 16u);
    EXPECT_EQ(CHexLayout::FitBytesPerLine(CHexLayout("", "", 16).LineWidth() - 1), 12u);
    EXPECT_EQ(CHexLayout::FitBytesPerLine(0), 4u);
}

TEST(HexLayout, ByteUnderAColumnAndDifferences) {
    CHexLayout layout("0123456", "", 4);
    const std::string line = layout.LineText(1);  // bytes 4, 5, 6
    for (std::size_t column = 0; column < line.size() + 3; ++column) {
        std::optional<std::size_t> expected;
        for (std::size_t i = 0; i < 3; ++i)
            if (column == layout.HexColumn(i) || column == layout.HexColumn(i) + 1 || column == layout.CharColumn(i))
                expected = 4 + i;
        EXPECT_EQ(layout.ByteAt(1, column), expected) << column;
    }
    // The digits under a column really are that byte's.
    EXPECT_EQ(line.substr(layout.HexColumn(2), 2), "36");
    EXPECT_EQ(line[layout.CharColumn(2)], '6');
    EXPECT_FALSE(layout.ByteAt(5, layout.HexColumn(0)).has_value());

    //                 same  diff diff same diff | past the comparison's end
    CHexLayout diff("abcdefg", "aXYdZ", 4);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(diff.Differs(i), std::string("01101110")[i] == '1') << i;

    // Bytes 1 and 2 in one run: "62 63" in the digits, "bc" in the characters.
    auto spans = diff.DiffSpans(0);
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(diff.LineText(0).substr(spans[0].m_column, spans[0].m_length), "62 63");
    EXPECT_EQ(diff.LineText(0).substr(spans[1].m_column, spans[1].m_length), "bc");
    EXPECT_EQ(diff.DiffSpans(1), (std::vector<CColumnSpan>{{diff.HexColumn(0), 8}, {diff.CharColumn(0), 3}}));

    CHexLayout same("abc", "abc");
    EXPECT_TRUE(same.DiffSpans(0).empty());
}
