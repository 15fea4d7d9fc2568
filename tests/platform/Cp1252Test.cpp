#include <gtest/gtest.h>

#include "platform/Cp1252.h"

using namespace vantor;

TEST(Cp1252, EveryByteSurvivesTheHighRangeIsWindows1252AndFoldsItsLetters) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(char(b));
    EXPECT_EQ(cp1252::FromUtf8(cp1252::ToUtf8(all)), all);
    // The range where the code page differs from Latin-1, as the standard has
    // it; undefined bytes are kept as the control character of the same value.
    EXPECT_EQ(cp1252::ToUtf8(all.substr(0x80, 0x20)), "€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ");
    EXPECT_EQ(cp1252::ToUtf8("caf\xE9"), "caf\u00E9");
    // A character the code page lacks, and bytes that are not UTF-8.
    EXPECT_EQ(cp1252::FromUtf8("\u0142\u0105"), std::nullopt);
    EXPECT_EQ(cp1252::FromUtf8("caf\xC3"), std::nullopt);
    EXPECT_EQ(cp1252::Encode(0x80), std::nullopt);

    // Folding changes the letters of the code page only, once.
    int changed = 0;
    for (int c = 0; c < 256; ++c) {
        const auto b = static_cast<unsigned char>(c);
        EXPECT_EQ(cp1252::Fold(cp1252::Fold(b)), cp1252::Fold(b)) << "byte " << c;
        changed += cp1252::Fold(b) != b;
    }
    // 26 ASCII capitals, 30 accented ones (not × nor ß) and Š, Œ, Ž, Ÿ.
    EXPECT_EQ(changed, 60);
    EXPECT_EQ(cp1252::Fold(0x8A), 0x9A);
    EXPECT_EQ(cp1252::Fold("\xC9P\xC9" "E_Sword\x9F"), "\xE9p\xE9" "e_sword\xFF");
}
