// "Write to ESP": each row type's conversion and refusals, the questions
// about hexadecimal lengths and their order, and the row numbers named.
#include <gtest/gtest.h>

#include "editor/WriteBack.h"
#include "fixtures/ScriptedLink.h"

using namespace vantor;
using fixtures::CScriptedLink;

namespace {

CEntryRow Row(std::string type, std::string data, std::string bytes, std::int32_t value = 0, std::string tag = "DATA") {
    CEntryRow row;
    row.m_tag = std::move(tag);
    row.m_data = std::move(data);
    row.m_type = std::move(type);
    row.m_bytes = std::move(bytes);
    row.m_value = value;
    return row;
}

// A row whose Data cell the window could not encode.
CEntryRow Outside(CEntryRow row) {
    row.m_dataOutsideCodePage = true;
    return row;
}

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

struct CCase {
    const char* m_name;
    CEntryRow m_row;
    std::optional<std::string> m_payload;  // nullopt: refused
    std::string m_message;                 // the refusal's text
    std::string m_caption = "Invalid Data";
};

}  // namespace

TEST(WriteBack, EachTypeConvertsOrRefusesWithItsMessage) {
    const std::string name33(33, 'n');
    const std::string name31(31, 'n');
    const std::vector<CCase> cases = {
        {"dec 4 bytes", Row("Dec", "100", "4"), Bytes({100, 0, 0, 0}), ""},
        {"dec 1 byte max", Row("Dec", "255", "1"), Bytes({255}), ""},
        {"dec over 1 byte", Row("Dec", "256", "1"), std::nullopt, "Integer Value Larger than\n255"},
        {"dec 0 bytes", Row("Dec", "0", "0"), std::string(), ""},
        {"dec negative 2 bytes", Row("Dec", "-5", "2"), std::nullopt, "Decimal Data field not Numeric"},
        {"dec negative as shown", Row("Dec", "-1", "4"), Bytes({255, 255, 255, 255}), ""},
        {"dec int32 min", Row("Dec", "-2147483648", "4"), Bytes({0, 0, 0, 0x80}), ""},
        {"dec below int32", Row("Dec", "-2147483649", "4"), std::nullopt, "Integer Value Smaller than\n-2147483648"},
        {"dec lone sign", Row("Dec", "-", "4"), std::nullopt, "Decimal Data field not Numeric"},
        {"dec plus sign", Row("Dec", "+5", "4"), std::nullopt, "Decimal Data field not Numeric"},
        {"dec blank", Row("Dec", " 5", "4"), std::nullopt, "Decimal Data field not Numeric"},
        {"dec empty", Row("Dec", "", "4"), std::nullopt, "Decimal Data field not Numeric"},
        // 2^32 must not wrap to 0 and pass.
        {"dec 2^32", Row("Dec", "4294967296", "4"), std::nullopt, "Integer Value Larger than\n4294967295"},
        {"dec 8 bytes", Row("Dec", "4294967295", "8"), Bytes({255, 255, 255, 255, 0, 0, 0, 0}), ""},
        {"dec over 8 bytes", Row("Dec", "4294967296", "8"), std::nullopt, "Integer Value Larger than\n4294967295"},
        {"dec 20 chars", Row("Dec", "00000000000000000001", "4"), Bytes({1, 0, 0, 0}), ""},
        {"dec 21 chars", Row("Dec", "000000000000000000001", "4"), std::nullopt,
         "Integer Value Larger than\n4294967295"},
        {"dec huge", Row("Dec", "99999999999999999999999", "8"), std::nullopt, "Integer Value Larger than\n4294967295"},

        {"ascii terminated", Row("Ascii", "abc", "4", 0), std::string("abc\0", 4), ""},
        {"ascii unterminated", Row("Ascii", "abc", "3", 'c'), std::string("abc"), ""},
        {"ascii high last byte", Row("Ascii", "ab\xFF", "3", -1), std::string("ab\xFF"), ""},
        {"ascii empty new", Row("Ascii", "", "0", 0), std::string(1, '\0'), ""},
        {"ascii empty kept", Row("Ascii", "", "3", 'c'), std::nullopt, "Ascii Type Data not Valid Ascii at Row 1."},
        {"ascii control", Row("Ascii", "a\x01z", "3", 'z'), std::nullopt, "Ascii Type Data not Valid Ascii at Row 1."},
        {"ascii outside the code page", Outside(Row("Ascii", "??", "3", 0)), std::nullopt,
         "Ascii Type Data not Valid Ascii at Row 1."},

        {"fixed padded", Row("Fixed", "  spell\t", "8", 8), std::string("spell\0\0\0", 8), ""},
        {"fixed full", Row("Fixed", "spell", "5", 5), std::string("spell"), ""},
        {"fixed too long", Row("Fixed", "spells", "5", 5), std::nullopt,
         "Fixed Size Ascii Type Data is Greater than its Max Size at Row 1.", "Invalid Size"},
        {"fixed empty", Row("Fixed", "   ", "8", 8), std::nullopt,
         "Fixed Size Ascii Type Data not Valid Ascii at Row 1."},
        {"fixed outside the code page", Outside(Row("Fixed", "??", "8", 8)), std::nullopt,
         "Fixed Size Ascii Type Data not Valid Ascii at Row 1."},

        {"mixed minus one", Row("Mixed", "-1 = abcde", "36", 36),
         Bytes({255, 255, 255, 255}) + "abcde" + std::string(27, '\0'), ""},
        {"mixed new row", Row("Mixed", "7=x", "8", 0), Bytes({7, 0, 0, 0}) + std::string("x\0\0\0", 4), ""},
        // The name would make the subrecord longer than its size.
        {"mixed grows", Row("Mixed", "5 = " + name33, "36", 36), std::nullopt,
         "Fixed Size Data is Greater than its Max Size at Row 1.", "Invalid Size"},
        // Longer as typed than the size, but the count and name fit.
        {"mixed long text fits", Row("Mixed", "1000 = " + name31, "36", 36),
         Bytes({0xE8, 3, 0, 0}) + name31 + std::string(1, '\0'), ""},
        {"mixed changed size", Row("Mixed", "1 = a", "36", 20), std::nullopt,
         "Fixed Size Data has Changed Size at Row 1.", "Invalid Size"},
        {"mixed control", Row("Mixed", "1 =\x02 a", "36", 36), std::nullopt,
         "Fixed Size Ascii Data not Valid Ascii at Row 1."},
        {"mixed no marker", Row("Mixed", "1 a", "36", 36), std::nullopt, "Mixed Mode Marker '=' not Found at Row 1."},
        {"mixed inner sign", Row("Mixed", "1-2 = a", "36", 36), std::nullopt, "Decimal Data not Numeric at Row 1."},
        {"mixed no number", Row("Mixed", " = a", "36", 36), std::nullopt, "Decimal Data not Numeric at Row 1."},
        {"mixed no name", Row("Mixed", "5 =", "36", 36), std::nullopt,
         "Fixed Size Ascii Data is not Valid Ascii at Row 1."},
        {"mixed 11 digits", Row("Mixed", "12345678901 = a", "36", 36), std::nullopt,
         "Decimal Value Larger than\n4294967295"},
        {"mixed 2^32", Row("Mixed", "4294967296 = a", "36", 36), std::nullopt, "Decimal Value Larger than\n4294967295"},
        {"mixed name keeps marker", Row("Mixed", "2 = a=b", "12", 12), Bytes({2, 0, 0, 0}) + std::string("a=b\0\0\0\0\0", 8),
         ""},

        {"hex upper", Row("Hex", "00FF7A", "3"), Bytes({0, 255, 0x7A}), ""},
        {"hex lower", Row("hex", "ab12", "2"), Bytes({0xAB, 0x12}), ""},
        {"hex empty", Row("Hex", "", "0"), std::string(), ""},
        {"hex not digits", Row("Hex", "0G", "1"), std::nullopt, "Hex Data field not Valid Hexadecimal"},
        {"hex blank", Row("Hex", "00 11", "2"), std::nullopt, "Hex Data field not Valid Hexadecimal"},

        {"type any case", Row("aScIi", "x", "1", 0), std::string("x\0", 2), ""},
        {"unknown type", Row("Float", "1.0", "4"), std::nullopt, "Invalid Type Field."},
        {"empty type", Row("", "1", "4"), std::nullopt, "Invalid Type Field."},
        {"bytes empty", Row("Hex", "00", ""), std::nullopt, "Length in Bytes Field Invalid"},
        {"bytes not a number", Row("Hex", "00", "one"), std::nullopt, "Length in Bytes Field Invalid"},
        // Padding a fixed text to a size no subrecord can have would only
        // exhaust memory.
        {"bytes too large", Row("Fixed", "a", "99999999", 1), std::nullopt, "Length in Bytes Field Invalid"},
    };
    for (const auto& c : cases) {
        CScriptedLink link;
        CWriteBack result = WriteBackRows({c.m_row}, link);
        auto messages = link.Messages();
        if (c.m_payload) {
            EXPECT_TRUE(result.m_ok) << c.m_name;
            EXPECT_EQ(result.m_row, 0) << c.m_name;
            EXPECT_TRUE(messages.empty()) << c.m_name << ": " << (messages.empty() ? "" : messages[0].m_text);
            EXPECT_EQ(result.m_subRecords, (CSubRecords{{"DATA", *c.m_payload}})) << c.m_name;
        } else {
            EXPECT_FALSE(result.m_ok) << c.m_name;
            EXPECT_EQ(result.m_row, 1) << c.m_name;
            ASSERT_EQ(messages.size(), 1u) << c.m_name;
            EXPECT_EQ(messages[0].m_text, c.m_message) << c.m_name;
            EXPECT_EQ(messages[0].m_caption, c.m_caption) << c.m_name;
            EXPECT_EQ(messages[0].m_buttons, EButtons::Ok) << c.m_name;
            EXPECT_EQ(messages[0].m_icon, EIcon::Exclamation) << c.m_name;
        }
    }
}

TEST(WriteBack, OddHexAsksBothQuestionsInOrderAndFills) {
    CScriptedLink link;
    link.m_answers = {EAnswer::Yes, EAnswer::Yes};
    CWriteBack result = WriteBackRows({Row("Dec", "1", "1", 0, "INTV"), Row("Hex", "ABC", "2")}, link);
    ASSERT_TRUE(result.m_ok);
    EXPECT_EQ(result.m_subRecords, (CSubRecords{{"INTV", Bytes({1})}, {"DATA", Bytes({0xAB, 0xC0})}}));
    auto messages = link.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].m_text, "Hex-Type Data's Length at Row 2 has Changed.\n Continue?");
    EXPECT_EQ(messages[0].m_caption, "Length Changed");
    EXPECT_EQ(messages[1].m_text, "Hex-Type Data's Length at Row 2 not Even.\n Fill and Continue?");
    EXPECT_EQ(messages[1].m_caption, "Length not Even");
    for (const auto& m : messages) {
        EXPECT_EQ(m.m_buttons, EButtons::YesNo);
        EXPECT_EQ(m.m_icon, EIcon::Question);
    }

    // "No" to either question stops at that row.
    for (int stopAt = 0; stopAt < 2; ++stopAt) {
        CScriptedLink declining;
        declining.m_answers = stopAt == 0 ? std::deque<EAnswer>{EAnswer::No} : std::deque<EAnswer>{EAnswer::Yes, EAnswer::No};
        CWriteBack stopped = WriteBackRows({Row("Hex", "ABC", "2")}, declining);
        EXPECT_FALSE(stopped.m_ok);
        EXPECT_EQ(stopped.m_row, 1);
        EXPECT_EQ(declining.Messages().size(), std::size_t(stopAt + 1));
    }

    // An even length that differs asks only the first question.
    CScriptedLink even;
    even.m_answers = {EAnswer::Yes};
    CWriteBack longer = WriteBackRows({Row("Hex", "ABCD", "1")}, even);
    ASSERT_TRUE(longer.m_ok);
    EXPECT_EQ(longer.m_subRecords.at(0).m_payload, Bytes({0xAB, 0xCD}));
    ASSERT_EQ(even.Messages().size(), 1u);
    EXPECT_EQ(even.Messages()[0].m_caption, "Length Changed");
}

TEST(WriteBack, TagIsCheckedAfterTheDataAndRowsStopAtTheFirstFault) {
    for (const std::string tag : {"NAM", "NAMEE", ""}) {
        CScriptedLink link;
        CWriteBack result = WriteBackRows({Row("Hex", "00", "1", 0, "INTV"), Row("Hex", "01", "1", 0, tag)}, link);
        EXPECT_FALSE(result.m_ok) << tag;
        EXPECT_EQ(result.m_row, 2) << tag;
        ASSERT_EQ(link.Messages().size(), 1u) << tag;
        EXPECT_EQ(link.Messages()[0].m_text, "ID Length Invalid.") << tag;
        EXPECT_EQ(link.Messages()[0].m_caption, "Invalid Data") << tag;
    }

    // Bad data in a row with a bad tag names the data, not the tag.
    CScriptedLink both;
    WriteBackRows({Row("Hex", "0Z", "1", 0, "AB")}, both);
    ASSERT_EQ(both.Messages().size(), 1u);
    EXPECT_EQ(both.Messages()[0].m_text, "Hex Data field not Valid Hexadecimal");

    // The third row fails; the rows after it are never looked at.
    CScriptedLink third;
    CWriteBack result = WriteBackRows({Row("Ascii", "a", "2", 0), Row("Fixed", "b", "4", 4),
                                       Row("Fixed", "ccccc", "4", 4), Row("Bogus", "", "")},
                                      third);
    EXPECT_FALSE(result.m_ok);
    EXPECT_EQ(result.m_row, 3);
    ASSERT_EQ(third.Messages().size(), 1u);
    EXPECT_EQ(third.Messages()[0].m_text, "Fixed Size Ascii Type Data is Greater than its Max Size at Row 3.");

    // No rows at all is an entry with no data after its ID.
    CScriptedLink none;
    CWriteBack empty = WriteBackRows({}, none);
    EXPECT_TRUE(empty.m_ok);
    EXPECT_TRUE(empty.m_subRecords.empty());
    EXPECT_TRUE(none.Messages().empty());
}
