// The "Dialog Repair Tool" window and the relink operation that shows it.
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <filesystem>
#include <fstream>

#include "DialogRepairDlg.h"
#include "FrameFixture.h"
#include "document/OutputPath.h"
#include "fixtures/GameFolder.h"
#include "widgets/StatusPane.h"

namespace vantor::uitest {
namespace {

// The plugins to repair in the added order ("in" a folder other than
// `data`), then the list as it shows them.
std::string Listed(const CDialogRepairDlg& dlg, const std::string& data) {
    const CRepairDialogResult r = dlg.Result();
    std::string out;
    for (std::size_t i = 0; i < r.m_pluginNames.size(); ++i) {
        const std::string folder = i < r.m_pluginFolders.size() ? r.m_pluginFolders[i] : "?";
        out += r.m_pluginNames[i] + (folder == data ? "" : " in " + folder) + ", ";
    }
    if (r.m_pluginFolders.size() != r.m_pluginNames.size()) out += "(folders differ) ";
    out += "shown:";
    for (int i = 0; i < dlg.List()->count(); ++i) out += " " + dlg.List()->item(i)->text().toStdString();
    return out;
}

CFileChoice Chosen(std::vector<std::string> paths) { return {CFileChoice::EStatus::Chosen, std::move(paths)}; }

TEST(DialogRepairTool, ListsKeepTheAddedOrderAndShowNamesSorted) {
    CFrameFixture fx;
    const std::string data = fx.DataDir();
    const std::string install = fx.Dir().Path() + "game/";
    std::filesystem::create_directories(install);
    std::ofstream(install + "Morrowind.ini") << "[Game Files]\r\nGameFile0=Morrowind.esm\r\nGameFile1=Mod.esp\r\n"
                                                "GameFile2=Loud.ESP\r\nGameFile3=Zeta.esp\r\nGameFile5=Late.esp\r\n";
    CDialogRepairDlg dlg({"Repair.esp", data, data, loadorder::MorrowindLoadOrder({install, data, {}}), {}},
                         fx.Frame().Link(), &fx.Frame());
    EXPECT_EQ(dlg.RepairNameLabel()->text(), QStringLiteral("Repair.esp"));

    // Three at once, one of them the repair plugin itself: two are listed.
    // The same name again is not listed twice; the repair plugin's name in
    // another folder is a plugin like any other.
    fx.m_choices = {Chosen({data + "Zeta.esp", data + "Alpha.esp", data + "Repair.esp"}),
                    Chosen({"/elsewhere/Alpha.esp", "/elsewhere/Repair.esp"})};
    dlg.BrowsePlugins();
    EXPECT_EQ(Listed(dlg, data), "Zeta.esp, Alpha.esp, shown: Alpha.esp Zeta.esp");
    dlg.BrowsePlugins();
    ASSERT_EQ(fx.m_choosers.size(), 2u);
    EXPECT_EQ(fx.m_choosers[0].m_title, "Select Plugins to Repair");
    EXPECT_EQ(fx.m_choosers[0].m_mode, CFileChooser::EMode::OpenMany);
    EXPECT_EQ(fx.m_choosers[0].m_startFolder, data);
    // The game's load order: plugins only, up to the first missing key.
    dlg.AddAllActivePlugins();
    EXPECT_EQ(Listed(dlg, data), "Zeta.esp, Alpha.esp, Repair.esp in /elsewhere/, Mod.esp, Loud.ESP, "
                                 "shown: Alpha.esp Loud.ESP Mod.esp Repair.esp Zeta.esp");

    // A listed plugin cannot become the repair plugin; a new one typed
    // without an extension becomes a plugin; a failed choice changes nothing.
    fx.m_choices = {Chosen({data + "Mod.esp"}), Chosen({fx.Dir().Path() + "out/Merged"}),
                    {CFileChoice::EStatus::Failed, {}}};
    dlg.BrowseRepairPlugin();
    EXPECT_EQ(dlg.Result().m_repairName, "Repair.esp");
    dlg.CreateNew();
    EXPECT_EQ(fx.m_choosers.back().m_title, "New Dialog Merge Plugin");
    EXPECT_EQ(fx.m_choosers.back().m_mode, CFileChooser::EMode::Save);
    EXPECT_EQ(dlg.Result().m_repairFolder, fx.Dir().Path() + "out/");
    dlg.CreateNew();
    EXPECT_EQ(dlg.Result().m_repairName, "Merged.esp");
    EXPECT_EQ(dlg.RepairNameLabel()->text(), QStringLiteral("Merged.esp"));
    EXPECT_EQ(fx.TakeAsked(), "Already Loaded: Please Remove from Esp List\nError: Error Selecting File\n");

    // "Remove" takes the selected name out of both lists.
    const auto found = dlg.List()->findItems("Alpha.esp", Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    dlg.List()->setCurrentItem(found.front());
    dlg.RemoveSelected();
    EXPECT_EQ(Listed(dlg, data), "Zeta.esp, Repair.esp in /elsewhere/, Mod.esp, Loud.ESP, "
                                 "shown: Loud.ESP Mod.esp Repair.esp Zeta.esp");
    dlg.Clear();
    EXPECT_EQ(Listed(dlg, data), "shown:");
}

TEST(DialogRepairTool, DeleteExistingAsksAndNeverTakesAFileInUse) {
    CFrameFixture fx;
    fx.CheckSamples();
    const std::string data = fx.DataDir();
    CDialogRepairDlg dlg({"Repair.esp", data, data, fx.Doc().LoadOrder(), FilesInUse(fx.Doc().Files())},
                         fx.Frame().Link(), &fx.Frame());
    auto deleteNamed = [&](const std::string& name, EAnswer answer) {
        fx.m_choices = {Chosen({data + name})};
        dlg.BrowseRepairPlugin();
        fx.m_answers = {answer};
        dlg.DeleteExisting();
        return std::filesystem::exists(data + name);
    };
    // A read plugin and a found master named through "Browse" stay, even
    // with a Yes ready for a question that is never asked.
    EXPECT_TRUE(deleteNamed("Sample Quests.esp", EAnswer::Yes));
    EXPECT_TRUE(deleteNamed("Sample.esm", EAnswer::Yes));
    for (const CMessage& m : fx.m_messages) EXPECT_EQ(m.m_buttons, EButtons::Ok);
    EXPECT_EQ(fx.TakeAsked(), "Delete Existing: " + data + "Sample Quests.esp\nis a plugin or master in use. "
                              "It is not deleted.\nDelete Existing: " + data +
                                  "Sample.esm\nis a plugin or master in use. It is not deleted.\n");

    // Any other file is deleted only after a question that names it, and a
    // deletion that fails says so and why.
    std::ofstream(data + "Old Repair.esp") << "old merge";
    EXPECT_TRUE(deleteNamed("Old Repair.esp", EAnswer::No));
    ASSERT_EQ(fx.m_messages.size(), 1u);
    EXPECT_EQ(fx.m_messages[0].m_buttons, EButtons::YesNo);
    EXPECT_EQ(fx.m_messages[0].m_default, EAnswer::No);
    EXPECT_NE(fx.TakeAsked().find("Delete " + data + "Old Repair.esp?"), std::string::npos);
    {
        fixtures::CFaultGuard failRemove([](platform::EFileOp op, const std::string&) { return op == platform::EFileOp::Remove; });
        EXPECT_TRUE(deleteNamed("Old Repair.esp", EAnswer::Yes));
    }
    ASSERT_EQ(fx.m_messages.size(), 2u);
    EXPECT_EQ(fx.m_messages[1].m_text, "Could not delete " + data + "Old Repair.esp:\nInput/output error");
    fx.m_messages.clear();
    EXPECT_FALSE(deleteNamed("Old Repair.esp", EAnswer::Yes));
    EXPECT_EQ(dlg.Result().m_repairName, "Old Repair.esp");
    dlg.DeleteExisting();
    ASSERT_EQ(fx.m_messages.size(), 2u);
    EXPECT_EQ(fx.m_messages[1].m_text, "There is no file " + data + "Old Repair.esp to delete.");
}

TEST(DialogRepairTool, ReLinkShowsTheWindowFromTheWorker) {
    CFrameFixture fx;
    CVANTORDoc& doc = fx.Doc();
    const std::string data = fx.DataDir();
    COptionSet options = doc.Options();
    options.m_espFilename = "Old.esp";
    options.m_espPath = data;
    doc.SetOptions(options);

    // Closed without "Repair Dialog": nothing changes.
    int shown = 0;
    fx.Frame().Link().m_repairDialogHook = [&](QDialog& window) {
        ++shown;
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Dialog Repair Tool"));
        window.reject();
    };
    doc.OnRelinkDialog();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(doc.Options().m_espFilename, "Old.esp");
    EXPECT_EQ(fx.Frame().MessagePane()->Text(), QStringLiteral("Dialog repair cancelled"));

    fx.Frame().Link().m_repairDialogHook = [&](QDialog& window) {
        auto& dlg = dynamic_cast<CDialogRepairDlg&>(window);
        EXPECT_EQ(dlg.RepairNameLabel()->text(), QStringLiteral("Old.esp"));
        fx.m_choices = {Chosen({data + "Repaired.esp"}), Chosen({data + "Sample Quests.esp"})};
        dlg.CreateNew();
        dlg.BrowsePlugins();
        dlg.accept();
    };
    doc.OnRelinkDialog();
    ASSERT_TRUE(fx.WaitIdle());
    EXPECT_EQ(doc.Options().m_espFilename, "Repaired.esp");
    EXPECT_EQ(doc.Options().m_espPath, data);
    // The counts told are those of the plugin written.
    const auto written = ReadEntries(data, "Repaired.esp");
    std::map<std::string, int> count;
    for (const auto& [key, bytes] : written) ++count[key.first];
    ASSERT_GT(count["INFO"], 0);
    EXPECT_EQ(fx.Frame().MessagePane()->Text(),
              QStringLiteral("Repair plugin written: Repaired.esp (%1 topics, %2 responses)")
                  .arg(count["DIAL"])
                  .arg(count["INFO"]));
}

}  // namespace
}  // namespace vantor::uitest
