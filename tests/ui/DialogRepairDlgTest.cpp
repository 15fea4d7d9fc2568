// The "Dialog Repair Tool" window and the relink operation that shows it.
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <filesystem>
#include <fstream>

#include "DialogRepairDlg.h"
#include "FrameFixture.h"

namespace vantor::uitest {
namespace {

QStringList Shown(const QListWidget& list) {
    QStringList out;
    for (int i = 0; i < list.count(); ++i) out << list.item(i)->text();
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
    CDialogRepairDlg dlg({"Repair.esp", data, data, loadorder::MorrowindLoadOrder({install, data, {}})}, fx.Frame().Link(),
                         &fx.Frame());
    EXPECT_EQ(dlg.RepairNameLabel()->text(), QStringLiteral("Repair.esp"));

    // Three at once, one of them the repair plugin itself: two are listed.
    fx.m_choices = {Chosen({data + "Zeta.esp", data + "Alpha.esp", data + "Repair.esp"})};
    dlg.BrowsePlugins();
    ASSERT_EQ(fx.m_choosers.size(), 1u);
    EXPECT_EQ(fx.m_choosers[0].m_title, "Select Plugins to Repair");
    EXPECT_EQ(fx.m_choosers[0].m_mode, CFileChooser::EMode::OpenMany);
    EXPECT_EQ(fx.m_choosers[0].m_startFolder, data);
    EXPECT_EQ(Shown(*dlg.List()), QStringList({"Alpha.esp", "Zeta.esp"}));
    // The same name again is not listed twice; the repair plugin's name in
    // another folder is a plugin like any other.
    fx.m_choices = {Chosen({"/elsewhere/Alpha.esp", "/elsewhere/Repair.esp"})};
    dlg.BrowsePlugins();
    EXPECT_EQ(Shown(*dlg.List()), QStringList({"Alpha.esp", "Repair.esp", "Zeta.esp"}));

    // The game's load order: plugins only, up to the first missing key.
    dlg.AddAllActivePlugins();
    CRepairDialogResult r = dlg.Result();
    EXPECT_EQ(r.m_pluginNames,
              (std::vector<std::string>{"Zeta.esp", "Alpha.esp", "Repair.esp", "Mod.esp", "Loud.ESP"}));
    EXPECT_EQ(r.m_pluginFolders, (std::vector<std::string>{data, data, "/elsewhere/", data, data}));
    EXPECT_EQ(dlg.List()->count(), 5);

    // A listed plugin cannot become the repair plugin.
    fx.m_choices = {Chosen({data + "Mod.esp"})};
    dlg.BrowseRepairPlugin();
    ASSERT_FALSE(fx.m_messages.empty());
    EXPECT_EQ(fx.m_messages.back().m_text, "Please Remove from Esp List");
    EXPECT_EQ(fx.m_messages.back().m_caption, "Already Loaded");
    EXPECT_EQ(dlg.Result().m_repairName, "Repair.esp");

    // A new repair plugin typed without an extension becomes a plugin.
    fx.m_choices = {Chosen({fx.Dir().Path() + "out/Merged"})};
    dlg.CreateNew();
    EXPECT_EQ(fx.m_choosers.back().m_title, "New Dialog Merge Plugin");
    EXPECT_EQ(fx.m_choosers.back().m_mode, CFileChooser::EMode::Save);
    EXPECT_EQ(dlg.Result().m_repairName, "Merged.esp");
    EXPECT_EQ(dlg.Result().m_repairFolder, fx.Dir().Path() + "out/");
    EXPECT_EQ(dlg.RepairNameLabel()->text(), QStringLiteral("Merged.esp"));
    // "Delete Existing" removes the file at once; the name stays.
    std::filesystem::create_directories(fx.Dir().Path() + "out");
    std::ofstream(fx.Dir().Path() + "out/Merged.esp") << "old merge";
    dlg.DeleteExisting();
    EXPECT_FALSE(std::filesystem::exists(fx.Dir().Path() + "out/Merged.esp"));
    EXPECT_EQ(dlg.Result().m_repairName, "Merged.esp");
    fx.m_choices = {{CFileChoice::EStatus::Failed, {}}};
    dlg.CreateNew();
    EXPECT_EQ(fx.m_messages.back().m_text, "Error Selecting File");
    EXPECT_EQ(dlg.Result().m_repairName, "Merged.esp");

    // "Remove" takes the selected name out of both lists.
    const auto found = dlg.List()->findItems("Alpha.esp", Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    dlg.List()->setCurrentItem(found.front());
    dlg.RemoveSelected();
    r = dlg.Result();
    EXPECT_EQ(r.m_pluginNames, (std::vector<std::string>{"Zeta.esp", "Repair.esp", "Mod.esp", "Loud.ESP"}));
    EXPECT_EQ(r.m_pluginFolders, (std::vector<std::string>{data, "/elsewhere/", data, data}));
    EXPECT_EQ(dlg.List()->count(), 4);

    dlg.Clear();
    EXPECT_EQ(dlg.List()->count(), 0);
    EXPECT_TRUE(dlg.Result().m_pluginNames.empty());
    EXPECT_TRUE(dlg.Result().m_pluginFolders.empty());
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
    EXPECT_TRUE(std::filesystem::exists(data + "Repaired.esp"));
}

}  // namespace
}  // namespace vantor::uitest
