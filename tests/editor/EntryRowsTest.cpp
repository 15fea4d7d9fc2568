// The grid's rows: the display type each subrecord gets, its text, row value
// and size, and that every row filled from an entry writes back unchanged.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "fixtures/ScriptedLink.h"
#include "editor/EntryRows.h"
#include "editor/WriteBack.h"
#include "fixtures/PluginBuilder.h"

using namespace vantor;
using fixtures::Fixed;
using fixtures::I32;
using namespace std::string_literals;

namespace {

struct CRowCase {
    const char *m_record, *m_tag;
    std::string m_payload;
    std::string_view m_type;
    std::string m_data;
    std::int32_t m_value;
};

}  // namespace

TEST(EntryRows, IsValidAscii) {
    // A single byte must be 7-bit printable; the last byte of a longer text
    // is not tested.
    for (const std::string& text :
         {"a"s, "\0"s, "\t"s, "\n"s, "\r"s, " "s, "~"s, "\xE9\xE9"s, "ab\x01"s, "ab\0"s, "a\xFEz"s, "a\tb\r\nc"s})
        EXPECT_TRUE(IsValidAscii(text)) << testing::PrintToString(text);
    for (const std::string& text : {""s, "\x1F"s, "\x7F"s, "\xE9"s, "a\0b"s, "a\x01z"s, "a\xFFz"s})
        EXPECT_FALSE(IsValidAscii(text)) << testing::PrintToString(text);
}

TEST(EntryRows, EachTagGetsItsDisplayForm) {
    const std::string z(1, '\0');
    const std::vector<CRowCase> cases = {
        {"LEVI", "INTV", I32(100), kTypeDec, "100", 0},
        {"FACT", "INTV", I32(-1), kTypeDec, "-1", 0},
        {"ARMO", "INDX", std::string(1, '\xFF'), kTypeDec, "255", 0},
        {"LEVI", "INTV", "\x01\x02", kTypeDec, "513", 0},
        {"CELL", "INTV", "", kTypeDec, "0", 0},
        {"CELL", "INTV", I32(1) + I32(2), kTypeHex, "0100000002000000", 0},
        {"NPC_", "FNAM", "abc" + z, kTypeAscii, "abc", 0},
        {"BOOK", "TEXT", "abc", kTypeAscii, "abc", 'c'},
        {"BOOK", "DESC", "ab\xE9", kTypeAscii, "ab\xE9", -23},
        {"NPC_", "FNAM", "a\xFF" "b" + z, kTypeHex, "61FF6200", 0},
        {"NPC_", "FNAM", "ab\xFF", kTypeAscii, "ab\xFF", -1},
        {"NPC_", "FNAM", z, kTypeAscii, "", 0},
        {"LEVI", "NNAM", "2", kTypeAscii, "2", '2'},
        {"INFO", "SCVR", "01sX" + z, kTypeAscii, "01sX", 0},
        {"DIAL", "SCVR", "01sX" + z, kTypeHex, "30317358" "00", 0},
        {"LTEX", "DATA", "tx.dds" + z, kTypeAscii, "tx.dds", 0},
        {"BOOK", "DATA", "tx.dds" + z, kTypeHex, "74782E64647300", 0},
        {"MGEF", "CVFX", "vfx" + z, kTypeAscii, "vfx", 0},
        {"MGEF", "ITEX", "i.tga" + z, kTypeAscii, "i.tga", 0},
        {"MGEF", "CSND", "snd" + z, kTypeAscii, "snd", 0},
        {"NPC_", "NPCS", Fixed("fireball", 32), kTypeFixed, "fireball", 32},
        {"FACT", "RNAM", Fixed("Novice", 32), kTypeFixed, "Novice", 32},
        // A name tag's rule comes first: a rank name with only its terminator
        // is plain text.
        {"FACT", "RNAM", "Rank" + z, kTypeAscii, "Rank", 0},
        {"NPC_", "NPCO", I32(-1) + Fixed("iron_dagger", 32), kTypeMixed, "-1 = iron_dagger", 36},
        {"NPC_", "NPCO", I32(3) + std::string(32, 'x'), kTypeMixed, "3 = " + std::string(32, 'x'), 36},
        {"NPC_", "AIDT", "\x01\xab", kTypeHex, "01AB", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.m_record) + " " + c.m_tag + " " + testing::PrintToString(c.m_payload));
        const CEntryRow row = MakeRow(c.m_record, c.m_tag, c.m_payload);
        EXPECT_EQ(row, (CEntryRow{c.m_tag, c.m_data, std::string(c.m_type), std::to_string(c.m_payload.size()),
                                  c.m_value, true}));
    }
}

// Random payloads under every tag the rules name: whatever form a row gets,
// it writes back the same bytes without a question. A typed form that would
// not (junk after a name's terminator, blanks the write trims, a cut count)
// must have fallen back to hex.
TEST(EntryRows, AnyPayloadWritesBackUnchanged) {
    const std::vector<std::pair<const char*, const char*>> tags = {
        {"LEVI", "INTV"}, {"ARMO", "INDX"}, {"BOOK", "TEXT"}, {"NPC_", "NAME"}, {"INFO", "SCVR"}, {"LTEX", "DATA"},
        {"MGEF", "CVFX"}, {"NPC_", "FNAM"}, {"NPC_", "NPCS"}, {"FACT", "RNAM"}, {"NPC_", "NPCO"}, {"NPC_", "AIDT"}};
    std::mt19937 random(7);
    // Mostly printable bytes, so the typed forms are reached often.
    const std::string alphabet = std::string("abc =-0123456789 \t\r\n\x01\xE9\xFE\xFF") + std::string(4, '\0');
    std::map<std::string, std::size_t> types;
    for (int i = 0; i < 20000; ++i) {
        const auto& [record, tag] = tags[random() % tags.size()];
        std::string payload;
        std::size_t length = random() % 40;
        if (std::string_view(tag) == "NPCO" && random() % 2) {
            payload = I32(static_cast<std::int32_t>(random()));
            length = random() % 36;
        }
        if (random() % 2) {
            for (std::size_t k = 0; k < length; ++k) payload += alphabet[random() % alphabet.size()];
        } else {
            // Text, then a terminator or padding, as real names are.
            std::size_t text = length ? random() % length : 0;
            for (std::size_t k = 0; k < text; ++k) payload += static_cast<char>('a' + random() % 26);
            payload.resize(payload.size() + length - text, '\0');
        }
        CEntryRow row = MakeRow(record, tag, payload);
        ++types[row.m_type];
        fixtures::CScriptedLink link;
        const auto back = RowPayload(row, 1, link);
        const bool asked = !link.Calls().empty();
        ASSERT_TRUE(back == payload && !asked) << record << " " << tag << " " << testing::PrintToString(payload);
    }
    for (std::string_view type : {kTypeDec, kTypeAscii, kTypeFixed, kTypeMixed, kTypeHex})
        EXPECT_GT(types[std::string(type)], 200u) << type;
}
