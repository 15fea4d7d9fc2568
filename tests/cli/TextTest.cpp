// The command line's texts: arguments and output in the game's code page.
#include <gtest/gtest.h>

#include "cli/Json.h"

using namespace vantor;

TEST(FindText, CommandLineArgumentsInTheGamesCodePage) {
    // Every byte but zero survives the way out to a terminal and back.
    for (int b = 1; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        ASSERT_EQ(cli::Utf8ToCp1252(cli::Cp1252ToUtf8(byte)), byte) << "byte " << b;
    }
    EXPECT_EQ(cli::Utf8ToCp1252("\xC3\x89p\xC3\xA9" "e \xE2\x82\xAC"), "\xC9p\xE9" "e \x80");
    // Not UTF-8, or a character the code page lacks: taken as the bytes given.
    EXPECT_EQ(cli::Utf8ToCp1252("\xC9p\xE9" "e"), "\xC9p\xE9" "e");
    EXPECT_EQ(cli::Utf8ToCp1252("\xE4\xB8\xAD"), "\xE4\xB8\xAD");
    EXPECT_EQ(cli::Utf8ToCp1252("a\xF0\x9F\x98\x80"), "a\xF0\x9F\x98\x80");
}
