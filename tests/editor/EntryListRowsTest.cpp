// "Delete Entry" takes the deleted entry's rows out of the result lists.
#include <gtest/gtest.h>

#include "editor/EntryListRows.h"

using namespace vantor;

TEST(EntryListRows, EveryRowShowingTheEntryGoes) {
    CResultTable conflicts = ConflictTableHeader();
    conflicts.AddRow({"NPC_", "NPC Conflict", "bob", "A.esp", "B.esp", "Morrowind.esm"});  // overriding file
    conflicts.AddRow({"NPC_", "NPC Conflict", "bob", "C.esp", "A.esp", "Morrowind.esm"});  // overridden file
    conflicts.AddRow({"NPC_", "NPC Conflict", "bob", "C.esp", "B.esp", "A.esp"});          // only the master column
    conflicts.AddRow({"CREA", "Creature Conflict", "bob", "A.esp", "B.esp", "None"});      // another type
    conflicts.AddRow({"NPC_", "NPC Conflict", "Bob", "A.esp", "B.esp", "None"});           // IDs keep their case
    EXPECT_EQ(RowsShowingEntry(conflicts, EPane::Conflict, "A.esp", "NPC_", "bob"), (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(RemoveEntryRows(conflicts, EPane::Conflict, "A.esp", "NPC_", "bob"), 2u);
    ASSERT_EQ(conflicts.m_rows.size(), 3u);
    EXPECT_EQ(conflicts.m_rows[0][5].m_text, "A.esp");

    // A deleted entry that is also a global change has two warning rows.
    CResultTable warnings = WarningTableHeader();
    warnings.AddRow({"NPC_", "NPC Entry Deleted", "bob", "A.esp", "Morrowind.esm"});
    warnings.AddRow({"NPC_", "NPC Entry Deleted", "bob", "B.esp", "Morrowind.esm"});
    warnings.AddRow({"NPC_", "NPC Entry Modified from Esm", "bob", "A.esp", "Morrowind.esm"});
    // Only the "Esp File" column names the file outside the conflict list.
    warnings.AddRow({"NPC_", "NPC Entry Deleted", "bob", "None", "A.esp"});
    EXPECT_EQ(RemoveEntryRows(warnings, EPane::Warning, "A.esp", "NPC_", "bob"), 2u);
    ASSERT_EQ(warnings.m_rows.size(), 2u);
    EXPECT_EQ(warnings.m_rows[0][3].m_text, "B.esp");
    EXPECT_EQ(warnings.m_rows[1][3].m_text, "None");

    CResultTable noFiles = EditorTableHeader();
    noFiles.m_rows.push_back({{"NPC_", 0}, {"x", 0}, {"bob", 0}});  // a row without file columns
    EXPECT_EQ(RemoveEntryRows(noFiles, EPane::Editor, "A.esp", "NPC_", "bob"), 0u);
}
