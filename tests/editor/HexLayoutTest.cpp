// The hex view's geometry: line texts, the byte under a column position, and
// the runs painted as different from the comparison.
#include <gtest/gtest.h>

#include "editor/HexLayout.h"

using namespace vantor;

TEST(HexLayout, LinesBytesUnderColumnsAndDifferences) {
    const std::string bytes("AB\x01\xE9\0xyz", 8);
    CHexLayout layout(bytes, bytes, 4);
    ASSERT_EQ(layout.LineCount(), 2u);
    EXPECT_EQ(layout.LineText(0), "00000000  41 42 01 E9  AB.\xE9");
    EXPECT_EQ(layout.LineText(1), "00000004  00 78 79 7A  .xyz");
    EXPECT_EQ(layout.LineWidth(), layout.LineText(0).size());
    // A short last line keeps its characters in their column; addresses are hexadecimal, 16 bytes a line unless told.
    CHexLayout partial("0123456789", "", 4);
    EXPECT_EQ(partial.LineText(2), "00000008  38 39        89");
    EXPECT_EQ(CHexLayout(std::string(40, 'q'), "").LineText(2).substr(0, 20), "00000020  71 71 71 7");
    EXPECT_EQ(CHexLayout("", "").LineCount(), 0u);
    // Lines of as many bytes as fit a width, in fours.
    EXPECT_EQ(CHexLayout::FitBytesPerLine(CHexLayout("", "", 16).LineWidth()), 16u);
    EXPECT_EQ(CHexLayout::FitBytesPerLine(CHexLayout("", "", 16).LineWidth() - 1), 12u);
    EXPECT_EQ(CHexLayout::FitBytesPerLine(0), 4u);

    // Every column of the short line (bytes 8, 9) and past it: a byte's two digits and its character name it.
    const std::string line = partial.LineText(2);
    for (std::size_t column = 0; column < line.size() + 3; ++column) {
        std::optional<std::size_t> expected;
        for (std::size_t i = 0; i < 2; ++i)
            if (column == partial.HexColumn(i) || column == partial.HexColumn(i) + 1 || column == partial.CharColumn(i))
                expected = 8 + i;
        EXPECT_EQ(partial.ByteAt(2, column), expected) << column;
    }
    // The digits under a column really are that byte's.
    EXPECT_EQ(line.substr(partial.HexColumn(1), 2), "39");
    EXPECT_EQ(line[partial.CharColumn(1)], '9');
    EXPECT_FALSE(partial.ByteAt(3, partial.HexColumn(0)).has_value());

    //                 same  diff diff same diff | past the comparison's end
    CHexLayout diff("abcdefg", "aXYdZ", 4);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(diff.Differs(i), std::string("01101110")[i] == '1') << i;
    // Bytes 1 and 2 in one run: "62 63" in the digits, "bc" in the characters.
    auto spans = diff.DiffSpans(0);
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(diff.LineText(0).substr(spans[0].m_column, spans[0].m_length), "62 63");
    EXPECT_EQ(diff.LineText(0).substr(spans[1].m_column, spans[1].m_length), "bc");
    EXPECT_EQ(diff.DiffSpans(1), (std::vector<CColumnSpan>{{diff.HexColumn(0), 8}, {diff.CharColumn(0), 3}}));
    EXPECT_TRUE(layout.DiffSpans(0).empty());
}
