// The global-change listing and a stopped check operation. Which rows reach
// which pane of the check operation, and in which order, the differential
// test compares with the reference on generated load orders.
#include <gtest/gtest.h>

#include "checks/CheckFixture.h"
#include "checks/CheckOperations.h"
#include "fixtures/ScriptedLink.h"

namespace vantor {
namespace {

using namespace fixtures;
using Rows = std::vector<std::vector<std::string>>;

constexpr std::int64_t kT = 1'600'000'000;

TEST(CheckOperations, GlobalChangeListingFillsTheEditorPaneAndAStopShowsNothing) {
    CLoadOrder files;
    CPluginBuilder m, a, b;
    m.Header().Record("NPC_", Named("guard", "m")).Record("GMST", Named("gold", "m")).Record("STAT", Named("rock", "m"));
    a.Header().Record("NPC_", Named("guard", "a")).Record("GMST", Named("gold", "m")).Record("STAT", Named("rock", "a", true));
    b.Header().Record("NPC_", Named("guard", "b")).Record("GMST", Named("gold", "b")).Record("STAT", Named("tree", "", true));
    CPluginFile& master = files.Add("Morrowind.esm", m, kT);
    CPluginFile& older = files.Add("a.esp", a, kT + 1);
    CPluginFile& newer = files.Add("b.esp", b, kT + 2);
    std::atomic<std::int32_t> stop{0};
    CScriptedLink link;
    CCheckInputs inputs;
    inputs.loadedPlugins = {&newer, &older};  // the document keeps the newest batch first
    inputs.foundMasters = {&master};
    inputs.conflictChecks.fill(1);
    inputs.uncleanChecks.fill(1);
    inputs.stop = &stop;
    inputs.link = &link;
    const auto listing = [&](const std::string& file) {
        inputs.globalChangesFile = file;
        const CPaneFindings found = RunGlobalChangeListing(inputs);
        EXPECT_FALSE(found.m_conflict || found.m_warning);
        return TextsOf(found.m_editor.value(), found.m_files);
    };

    EXPECT_EQ(listing(""), (Rows{{"GMST", "Gameplay Settings Modified from Esm", "gold", "b.esp", "Morrowind.esm"},
                                 {"NPC_", "NPC Entry Modified from Esm", "guard", "a.esp", "Morrowind.esm"},
                                 {"NPC_", "NPC Entry Modified from Esm", "guard", "b.esp", "Morrowind.esm"},
                                 {"STAT", "Static Entry Modified from Esm", "rock", "a.esp", "Morrowind.esm"}}));
    EXPECT_EQ(link.ProgressTexts().front(), "Checking Global Changes 0% complete");
    EXPECT_EQ(listing("b.esp").size(), 2u);
    // A master is never examined as a plugin, and names compare exactly.
    EXPECT_TRUE(listing("Morrowind.esm").empty());
    EXPECT_TRUE(listing("B.esp").empty());

    // Single Versus examines only the first plugin of the engine's list.
    inputs.checkMode = 1;
    const Rows single = listing("");
    EXPECT_EQ(single.size(), 2u);
    for (const auto& row : single) EXPECT_EQ(row[3], "a.esp");

    // A stop after the run: no pane is filled, nothing is reported.
    link.Clear();
    stop = 1;
    inputs.mask = kCheckAll;
    const CPaneFindings panes = RunCheckOperation(inputs);
    EXPECT_TRUE(panes.m_stopped);
    EXPECT_FALSE(panes.m_conflict || panes.m_warning || panes.m_editor);
    EXPECT_TRUE(RunGlobalChangeListing(inputs).m_stopped);
    EXPECT_TRUE(link.Calls().empty());
}

}  // namespace
}  // namespace vantor
