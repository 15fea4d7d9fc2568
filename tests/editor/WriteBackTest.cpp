// "Write to ESP": each row type's conversion and refusals, the questions
// about hexadecimal lengths and their order, and the row numbers named.
#include <gtest/gtest.h>

#include "editor/WriteBack.h"
#include "fixtures/ScriptedLink.h"

using namespace vantor;
using fixtures::CScriptedLink;
using namespace std::string_literals;

namespace {

// A row as typed; `outside`: the window could not encode its Data cell.
CEntryRow Row(std::string type, std::string data, std::string bytes, std::int32_t value = 0, std::string tag = "DATA",
              bool outside = false) {
    return {std::move(tag), std::move(data), std::move(type), std::move(bytes), value, false, false, outside};
}

// What the write told the user, as "caption|text": a question about a
// hexadecimal length asks Yes or No, anything else is a warning with OK.
std::vector<std::string> Told(const CScriptedLink& link) {
    std::vector<std::string> told;
    for (const auto& m : link.Messages()) {
        const bool question = m.m_caption.starts_with("Length");
        EXPECT_EQ(m.m_buttons, question ? texts::EButtons::YesNo : texts::EButtons::Ok);
        EXPECT_EQ(m.m_icon, question ? texts::EIcon::Question : texts::EIcon::Exclamation);
        told.push_back(m.m_caption + "|" + m.m_text);
    }
    return told;
}

}  // namespace

// What the user may type in each row type. Rows that show data as filled
// from an entry and write it back unchanged are the display-form and
// random-payload tests' business.
TEST(WriteBack, EachTypeConvertsOrRefusesWithItsMessage) {
    const std::string name33(33, 'n'), name31(31, 'n');
    const std::string notDec = "Decimal Data field not Numeric", over32 = "Integer Value Larger than\n4294967295";
    const std::string noLength = "Length in Bytes Field Invalid", notHex = "Hex Data field not Valid Hexadecimal";
    struct CCase {
        CEntryRow m_row;
        std::optional<std::string> m_payload;  // nullopt: refused
        std::string m_message;                 // the refusal's text
        std::string m_caption = "Invalid Data";
    };
    const std::vector<CCase> cases = {
        {Row("Dec", "256", "1"), std::nullopt, "Integer Value Larger than\n255"},
        {Row("Dec", "-5", "2"), std::nullopt, notDec},
        {Row("Dec", "-2147483648", "4"), "\0\0\0\x80"s, ""},
        {Row("Dec", "-2147483649", "4"), std::nullopt, "Integer Value Smaller than\n-2147483648"},
        {Row("Dec", "-", "4"), std::nullopt, notDec},
        {Row("Dec", "+5", "4"), std::nullopt, notDec},
        {Row("Dec", " 5", "4"), std::nullopt, notDec},
        {Row("Dec", "", "4"), std::nullopt, notDec},
        {Row("Dec", "4294967296", "4"), std::nullopt, over32},  // must not wrap to 0 and pass
        {Row("Dec", "4294967295", "8"), "\xFF\xFF\xFF\xFF\0\0\0\0"s, ""},
        {Row("Dec", "4294967296", "8"), std::nullopt, over32},
        {Row("Dec", "00000000000000000001", "4"), "\1\0\0\0"s, ""},
        {Row("Dec", "000000000000000000001", "4"), std::nullopt, over32},

        {Row("Ascii", "", "0", 0), std::string(1, '\0'), ""},  // a new row
        {Row("Ascii", "a\x01z", "3", 'z'), std::nullopt, "Ascii Type Data not Valid Ascii at Row 1."},
        {Row("Ascii", "??", "3", 0, "DATA", true), std::nullopt, "Ascii Type Data not Valid Ascii at Row 1."},

        {Row("Fixed", "  spell\t", "8", 8), std::string("spell\0\0\0", 8), ""},
        {Row("Fixed", "spell", "5", 5), std::string("spell"), ""},
        {Row("Fixed", "spells", "5", 5), std::nullopt,
         "Fixed Size Ascii Type Data is Greater than its Max Size at Row 1.", "Invalid Size"},
        {Row("Fixed", "   ", "8", 8), std::nullopt, "Fixed Size Ascii Type Data not Valid Ascii at Row 1."},
        {Row("Fixed", "?", "8", 8, "DATA", true), std::nullopt, "Fixed Size Ascii Type Data not Valid Ascii at Row 1."},

        {Row("Mixed", "7=x", "8", 0), "\7\0\0\0x\0\0\0"s, ""},
        // The name would make the subrecord longer than its size.
        {Row("Mixed", "5 = " + name33, "36", 36), std::nullopt,
         "Fixed Size Data is Greater than its Max Size at Row 1.", "Invalid Size"},
        // Longer as typed than the size, but the count and name fit.
        {Row("Mixed", "1000 = " + name31, "36", 36), "\xE8\3\0\0"s + name31 + "\0"s, ""},
        {Row("Mixed", "1 = a", "36", 20), std::nullopt, "Fixed Size Data has Changed Size at Row 1.", "Invalid Size"},
        {Row("Mixed", "1 =\x02 a", "36", 36), std::nullopt, "Fixed Size Ascii Data not Valid Ascii at Row 1."},
        {Row("Mixed", "1 a", "36", 36), std::nullopt, "Mixed Mode Marker '=' not Found at Row 1."},
        {Row("Mixed", "1-2 = a", "36", 36), std::nullopt, "Decimal Data not Numeric at Row 1."},
        {Row("Mixed", " = a", "36", 36), std::nullopt, "Decimal Data not Numeric at Row 1."},
        {Row("Mixed", "5 =", "36", 36), std::nullopt, "Fixed Size Ascii Data is not Valid Ascii at Row 1."},
        {Row("Mixed", "4294967296 = a", "36", 36), std::nullopt, "Decimal Value Larger than\n4294967295"},
        {Row("Mixed", "2 = a=b", "12", 12), "\2\0\0\0a=b\0\0\0\0\0"s, ""},

        {Row("hex", "ab12", "2"), "\xAB\x12"s, ""},
        {Row("Hex", "0G", "1"), std::nullopt, notHex},
        {Row("Hex", "00 11", "2"), std::nullopt, notHex},

        {Row("Float", "1.0", "4"), std::nullopt, "Invalid Type Field."},
        {Row("Hex", "00", "one"), std::nullopt, noLength},
        // Padding a fixed text to a size no subrecord can have would only
        // exhaust memory.
        {Row("Fixed", "a", "99999999", 1), std::nullopt, noLength},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_row.m_type + " " + testing::PrintToString(c.m_row.m_data) + " in " + c.m_row.m_bytes);
        CScriptedLink link;
        const CWriteBack result = WriteBackRows({c.m_row}, link);
        EXPECT_EQ(result.m_ok, c.m_payload.has_value());
        EXPECT_EQ(result.m_row, c.m_payload ? 0 : 1);
        const std::vector<std::string> refused{c.m_caption + "|" + c.m_message};
        EXPECT_EQ(Told(link), c.m_payload ? std::vector<std::string>{} : refused);
        EXPECT_EQ(result.m_subRecords, (c.m_payload ? CSubRecords{{"DATA", *c.m_payload}} : CSubRecords{}));
    }
}

// Rows written together: the questions about a hexadecimal length and
// their order, the tag checked after the data, and the first fault ending
// the write.
TEST(WriteBack, RowsAskAboutHexLengthsAndStopAtTheFirstFault) {
    const std::string changed2 = "Length Changed|Hex-Type Data's Length at Row 2 has Changed.\n Continue?";
    const std::string odd2 = "Length not Even|Hex-Type Data's Length at Row 2 not Even.\n Fill and Continue?";
    const std::string changed1 = "Length Changed|Hex-Type Data's Length at Row 1 has Changed.\n Continue?";
    const std::string odd1 = "Length not Even|Hex-Type Data's Length at Row 1 not Even.\n Fill and Continue?";
    const std::string badTag = "Invalid Data|ID Length Invalid.";
    struct CCase {
        std::vector<CEntryRow> m_rows;
        std::deque<EAnswer> m_answers;
        int m_row;  // the row that failed, 0 for none
        std::vector<std::string> m_messages;  // "caption|text"
        CSubRecords m_written = {};
    };
    const CEntryRow intv = Row("Dec", "1", "1", 0, "INTV"), abc = Row("Hex", "ABC", "2");
    const std::vector<CCase> cases = {
        {{intv, abc}, {EAnswer::Yes, EAnswer::Yes}, 0, {changed2, odd2}, {{"INTV", "\1"s}, {"DATA", "\xAB\xC0"s}}},
        // "No" to either question stops at that row.
        {{abc}, {EAnswer::No}, 1, {changed1}},
        {{abc}, {EAnswer::Yes, EAnswer::No}, 1, {changed1, odd1}},
        // An even length that differs asks only the first question.
        {{Row("Hex", "ABCD", "1")}, {EAnswer::Yes}, 0, {changed1}, {{"DATA", "\xAB\xCD"s}}},
        {{intv, Row("Hex", "01", "1", 0, "NAM")}, {}, 2, {badTag}},
        {{intv, Row("Hex", "01", "1", 0, "NAMEE")}, {}, 2, {badTag}},
        // Bad data in a row with a bad tag names the data, not the tag.
        {{Row("Hex", "0Z", "1", 0, "AB")}, {}, 1, {"Invalid Data|Hex Data field not Valid Hexadecimal"}},
        // The rows after a failing one are never looked at.
        {{Row("Ascii", "a", "2", 0), Row("Fixed", "b", "4", 4), Row("Fixed", "ccccc", "4", 4), Row("Bog", "", "")}, {},
         3, {"Invalid Size|Fixed Size Ascii Type Data is Greater than its Max Size at Row 3."}},
        // No rows at all is an entry with no data after its ID.
        {{}, {}, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.m_messages));
        CScriptedLink link;
        link.m_answers = c.m_answers;
        const CWriteBack result = WriteBackRows(c.m_rows, link);
        EXPECT_EQ(result.m_ok, c.m_row == 0);
        EXPECT_EQ(result.m_row, c.m_row);
        // What a failed write gathered is never used.
        if (c.m_row == 0) {
            EXPECT_EQ(result.m_subRecords, c.m_written);
        }
        EXPECT_EQ(Told(link), c.m_messages);
    }
}
