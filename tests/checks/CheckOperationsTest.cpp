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

// Which rows reach which pane, and in which order, the differential test
// compares with the reference on generated load orders.
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
