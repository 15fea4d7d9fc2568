// The check operation and the global-change listing: which files the engine
// sees in which order, what each pane receives, and what a stop leaves.
#include <gtest/gtest.h>

#include "checks/CheckFixture.h"
#include "checks/CheckOperations.h"
#include "fixtures/ScriptedLink.h"

namespace vantor {
namespace {

using fixtures::CLoadOrder;
using fixtures::CPluginBuilder;
using fixtures::CScriptedLink;
using fixtures::Named;
using Rows = std::vector<std::vector<std::string>>;

constexpr std::int64_t kT = 1'600'000'000;

Rows Texts(const CPaneFindings& panes, const std::optional<CFindings>& rows) {
    return fixtures::TextsOf(*rows, panes.m_files);
}

class CheckOperations : public ::testing::Test {
protected:
    void SetUp() override {
        CPluginBuilder m;
        m.Header().Record("NPC_", Named("guard", "m")).Record("GMST", Named("gold", "m")).Record("STAT", Named("rock", "m"));
        master = &files.Add("Morrowind.esm", m, kT);
        CPluginBuilder a;
        a.Header()
            .Record("NPC_", Named("guard", "a"))
            .Record("GMST", Named("gold", "m"))  // unclean
            .Record("STAT", Named("rock", "a", true));
        older = &files.Add("a.esp", a, kT + 1);
        CPluginBuilder b;
        b.Header().Record("NPC_", Named("guard", "b")).Record("GMST", Named("gold", "b")).Record("STAT", Named("tree", "", true));
        newer = &files.Add("b.esp", b, kT + 2);
        inputs.loadedPlugins = {newer, older};  // the document keeps the newest batch first
        inputs.foundMasters = {master};
        inputs.conflictChecks.fill(1);
        inputs.uncleanChecks.fill(1);
        inputs.stop = &stop;
        inputs.link = &link;
    }

    CLoadOrder files;
    CPluginFile* master = nullptr;
    CPluginFile* older = nullptr;
    CPluginFile* newer = nullptr;
    std::atomic<std::int32_t> stop{0};
    CScriptedLink link;
    CCheckInputs inputs;
};

TEST_F(CheckOperations, CheckFillsBothPanesSortedByTag) {
    inputs.mask = kCheckAll;
    const CPaneFindings panes = RunCheckOperation(inputs);
    ASSERT_FALSE(panes.m_stopped);
    ASSERT_TRUE(panes.m_conflict && panes.m_warning);
    EXPECT_FALSE(panes.m_editor);
    EXPECT_EQ(Texts(panes, panes.m_conflict),
              (Rows{{"GMST", "Gameplay Settings", "gold", "b.esp", "a.esp", "Morrowind.esm"},
                    {"NPC_", "NPC Entry", "guard", "b.esp", "a.esp", "Morrowind.esm"}}));
    // Deleted rows come before unclean rows, and the sort keeps that among equal tags.
    EXPECT_EQ(Texts(panes, panes.m_warning),
              (Rows{{"GMST", "Gameplay Settings Identical to Default Entry. (Unclean Entry)", "gold", "a.esp",
                     "Morrowind.esm"},
                    {"STAT", "Static Entry Marked as DELETED (Removed from Game)", "rock", "a.esp", "Morrowind.esm"},
                    {"STAT", "Static Entry Marked as DELETED (Removed from Game)", "tree", "b.esp", "None"}}));
    EXPECT_EQ(link.ProgressTexts().front(), "Checking Conflicts 0% complete");
}

TEST_F(CheckOperations, BothPanesAreRefilledWhateverTheMask) {
    inputs.mask = kCheckDeleted;
    const CPaneFindings panes = RunCheckOperation(inputs);
    ASSERT_TRUE(panes.m_conflict && panes.m_warning);
    EXPECT_TRUE(panes.m_conflict->empty());
    EXPECT_EQ(panes.m_warning->size(), 2u);
}

TEST_F(CheckOperations, SingleVersusPutsTheLoadedMasterFirst) {
    // The loaded master stands last in the document's list.
    inputs.loadedPlugins = {newer, older};
    inputs.checkMode = 1;
    inputs.mask = kCheckDeleted;
    const CPaneFindings panes = RunCheckOperation(inputs);
    EXPECT_EQ(Texts(panes, panes.m_warning),
              (Rows{{"STAT", "Static Entry Marked as DELETED (Removed from Game)", "rock", "a.esp", "Morrowind.esm"}}));
}

TEST_F(CheckOperations, AStopAfterTheRunShowsNothing) {
    stop = 1;
    inputs.mask = kCheckAll;
    const CPaneFindings panes = RunCheckOperation(inputs);
    EXPECT_TRUE(panes.m_stopped);
    EXPECT_FALSE(panes.m_conflict || panes.m_warning || panes.m_editor);
    EXPECT_TRUE(link.Calls().empty());
    EXPECT_TRUE(RunGlobalChangeListing(inputs).m_stopped);
    EXPECT_TRUE(link.Calls().empty());
}

TEST_F(CheckOperations, GlobalChangeListingFillsTheEditorPane) {
    const CPaneFindings all = RunGlobalChangeListing(inputs);
    ASSERT_TRUE(all.m_editor);
    EXPECT_FALSE(all.m_conflict || all.m_warning);
    EXPECT_EQ(Texts(all, all.m_editor), (Rows{{"GMST", "Gameplay Settings Modified from Esm", "gold", "b.esp", "Morrowind.esm"},
                                            {"NPC_", "NPC Entry Modified from Esm", "guard", "a.esp", "Morrowind.esm"},
                                            {"NPC_", "NPC Entry Modified from Esm", "guard", "b.esp", "Morrowind.esm"},
                                            {"STAT", "Static Entry Modified from Esm", "rock", "a.esp", "Morrowind.esm"}}));
    EXPECT_EQ(link.ProgressTexts().front(), "Checking Global Changes 0% complete");

    link.Clear();
    inputs.globalChangesFile = "b.esp";
    EXPECT_EQ(RunGlobalChangeListing(inputs).m_editor->size(), 2u);

    // A master is never examined as a plugin, and names compare exactly.
    for (const char* name : {"Morrowind.esm", "B.esp"}) {
        link.Clear();
        inputs.globalChangesFile = name;
        EXPECT_TRUE(RunGlobalChangeListing(inputs).m_editor->empty());
    }

    // Single Versus examines only the first plugin of the engine's list.
    inputs.globalChangesFile.clear();
    inputs.checkMode = 1;
    const CPaneFindings single = RunGlobalChangeListing(inputs);
    for (const auto& row : Texts(single, single.m_editor)) EXPECT_EQ(row[3], "a.esp");
    EXPECT_EQ(single.m_editor->size(), 2u);
}

}  // namespace
}  // namespace vantor
