// What the window tells, compared with files in tests/ui/golden: its commands
// and a run of operations on the sample set told step by step; and Save
// Results, which writes what the command line's --log writes for the same
// load order (the two front ends make their texts separately). With
// VANTOR_GOLDEN_DIR set, the logs saved are also kept there for
// tools/golden-outputs.sh, which runs only the Golden tests.
#include <gtest/gtest.h>

#include <atomic>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDate>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLineEdit>
#include <QMenuBar>
#include <QRadioButton>
#include <QStatusTipEvent>
#include <QTextBrowser>
#include <QToolBar>
#include <cstdlib>
#include <fstream>
#include <filesystem>

#include "DialogRepairDlg.h"
#include "FindDlg.h"
#include "FrameFixture.h"
#include "LeftView.h"
#include "OptionsSheet.h"
#include "fixtures/GameFolder.h"
#include "fixtures/System.h"
#include "ViewFileDlg.h"
#include "platform/Files.h"
#include "widgets/StatusPane.h"

namespace vantor::uitest {
namespace {

using C = CMainFrame;
namespace fs = std::filesystem;

std::string Status(CMainFrame& f) { return f.MessagePane()->Text().toStdString(); }

// The caption the user sees above a list, not the text it is made from.
QString Caption(const CResultView& view) {
    const auto* label = view.parentWidget()->findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    return label ? label->text() : QString();
}

// The menus', the toolbar's and the tree's greyed commands.
std::string Greyed(CMainFrame& f) {
    QList<QAction*> all;
    for (QAction* menu : f.menuBar()->actions()) all += menu->menu()->actions();
    for (QAction* a : f.ToolBar()->actions())
        if (!all.contains(a)) all += a;
    all += {f.Tree()->AddAction(), f.Tree()->RemoveAction()};
    std::string out = "greyed:";
    for (QAction* a : all)
        if (!a->isSeparator() && a->isVisible() && !a->isEnabled()) out += " " + a->text().section('\t', 0, 0).remove('&').toStdString();
    return out;
}

// A dialog's lists with their items and [typed text], and its boxes ticked (+)
// or not (-), greyed ones in brackets.
std::string Choices(QDialog& dlg) {
    std::string out = "  dialog:";
    for (QComboBox* box : dlg.findChildren<QComboBox*>()) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
        out += " " + items.join('|').toStdString() + " [" + box->currentText().toStdString() + "]";
    }
    for (QAbstractButton* b : dlg.findChildren<QAbstractButton*>())
        if (b->isCheckable())
            out += (b->isEnabled() ? ", " : ", (") + b->text().toStdString() + (b->isChecked() ? " +" : " -") +
                   (b->isEnabled() ? "" : ")");
    return out + "\n";
}

// The file dialogs and boxes asked since the last call, one line each.
std::string Asked(CFrameFixture& fx) {
    std::string out;
    for (const CFileChooser& c : fx.m_choosers) {
        out += "  chooser: " + c.m_title + (c.m_mode == CFileChooser::EMode::OpenMany ? ", many" : "") +
               (c.m_mode == CFileChooser::EMode::Save ? ", to save" : "") + ", from " + c.m_startFolder + ",";
        for (const CFileFilter& filter : c.m_filters) out += " " + filter.m_pattern;
        out += "\n";
    }
    for (const CMessage& m : fx.m_messages)
        out += "  asked: " + m.m_caption + " | " + QString::fromStdString(m.m_text).simplified().toStdString() + "\n";
    fx.m_choosers.clear();
    fx.m_messages.clear();
    return out;
}

// Everything the repair tool offers before it is closed. After each deed: the
// plugins to repair in the added order ("in" a folder other than the data
// folder), the list as it shows them, the repair plugin, the file dialogs and
// the boxes asked. Delete Existing never takes a plugin or master in use, even
// with a Yes ready; any other file only after a question that names it.
void WalkRepairTool(CFrameFixture& fx, CDialogRepairDlg& dlg, std::string& told) {
    const std::string data = fx.DataDir(), game = fx.Dir().Path();
    std::ofstream(data + "Old Repair.esp") << "old merge";
    auto choose = [&](std::vector<std::string> paths, void (CDialogRepairDlg::*deed)()) {
        return [&, paths, deed] {
            using S = CFileChoice::EStatus;
            fx.m_choices.push_back({paths.empty() ? S::Failed : S::Chosen, paths});
            (dlg.*deed)();
        };
    };
    auto deleteNamed = [&](std::string name, EAnswer answer, bool fail = false) {
        return [&, name, answer, fail] {
            choose({data + name}, &CDialogRepairDlg::BrowseRepairPlugin)();
            fx.m_choosers.clear();
            fx.m_answers = {answer};
            const fixtures::CFaultGuard failing(
                [fail](platform::EFileOp op, const std::string&) { return fail && op == platform::EFileOp::Remove; });
            dlg.DeleteExisting();
        };
    };
    using D = CDialogRepairDlg;
    const std::vector<std::pair<std::string, std::function<void()>>> deeds = {
        // Three at once, one the repair plugin itself; then the same name
        // again, and the repair plugin's name in another folder.
        {"Browse Zeta.esp, Alpha.esp, Old.esp", choose({data + "Zeta.esp", data + "Alpha.esp", data + "Old.esp"},
                                                       &D::BrowsePlugins)},
        {"Browse /elsewhere/Alpha.esp, Old.esp",
         choose({"/elsewhere/Alpha.esp", "/elsewhere/Old.esp"}, &D::BrowsePlugins)},
        {"Add All Active Plugins", [&] { dlg.AddAllActivePlugins(); }},
        // A listed plugin cannot become the repair plugin; a new one typed
        // without an extension becomes a plugin; a failed choice changes nothing.
        {"Browse for the repair plugin Zeta.esp", choose({data + "Zeta.esp"}, &D::BrowseRepairPlugin)},
        {"Create New out/Merged", choose({game + "out/Merged"}, &D::CreateNew)},
        {"Create New, failed", choose({}, &D::CreateNew)},
        {"Remove Alpha.esp",
         [&] {
             dlg.List()->setCurrentItem(dlg.List()->findItems("Alpha.esp", Qt::MatchExactly).value(0));
             dlg.RemoveSelected();
         }},
        {"Clear", [&] { dlg.Clear(); }},
        {"Delete Existing Sample Quests.esp, Yes", deleteNamed("Sample Quests.esp", EAnswer::Yes)},
        {"Delete Existing Sample.esm, Yes", deleteNamed("Sample.esm", EAnswer::Yes)},
        {"Delete Existing Old Repair.esp, No", deleteNamed("Old Repair.esp", EAnswer::No)},
        {"Delete Existing Old Repair.esp, Yes, failing", deleteNamed("Old Repair.esp", EAnswer::Yes, true)},
        {"Delete Existing Old Repair.esp, Yes", deleteNamed("Old Repair.esp", EAnswer::Yes)},
        {"Delete Existing Old Repair.esp again", deleteNamed("Old Repair.esp", EAnswer::Yes)},
    };
    for (const auto& [name, deed] : deeds) {
        deed();
        const CRepairDialogResult r = dlg.Result();
        std::string text = "  " + name + ":";
        for (std::size_t i = 0; i < r.m_pluginNames.size(); ++i) {
            const std::string& folder = r.m_pluginFolders.at(i);
            text += " " + r.m_pluginNames[i] + (folder == data ? "" : " in " + folder) + ',';
        }
        text += " shown:";
        for (int i = 0; i < dlg.List()->count(); ++i) text += " " + dlg.List()->item(i)->text().toStdString();
        text += "; repairs into " + dlg.RepairNameLabel()->text().toStdString() + " in " + r.m_repairFolder + "\n";
        for (const CMessage& m : fx.m_messages)
            EXPECT_EQ(m.m_default, m.m_buttons == EButtons::YesNo ? EAnswer::No : EAnswer::Ok) << m.m_text;
        told += text + Asked(fx) + (fs::exists(data + "Old Repair.esp") ? "" : "  Old Repair.esp is gone\n");
    }
}

// Menus (with keys, prompts and greyed items) and the toolbar as lines of text.
std::string CommandsText(CMainFrame& f) {
    std::string out;
    auto line = [&](QAction* a) {
        if (!a->isVisible()) return;
        if (a->isSeparator()) return out += "  -\n", void();
        out += "  " + a->text().toStdString();
        for (const QKeySequence& k : a->shortcuts()) out += " [" + k.toString().toStdString() + "]";
        if (!a->statusTip().isEmpty()) out += " | " + a->statusTip().toStdString();
        out += a->isEnabled() ? "\n" : " (greyed)\n";
    };
    for (QAction* m : f.menuBar()->actions()) {
        out += m->text().toStdString() + "\n";
        for (QAction* a : m->menu()->actions()) line(a);
    }
    out += "Status bar\n";
    for (QLabel* l : f.Indicators()) out += "  " + l->text().toStdString() + "\n";
    out += "Toolbar\n";
    for (QAction* a : f.ToolBar()->actions())
        out += a->isSeparator() ? "  -\n" : "  " + a->toolTip().toStdString() + "\n";
    return out;
}

TEST(Window, TellsItsCommandsAndWhatEachOperationCameTo) {
    CFrameFixture fx;
    CMainFrame& f = fx.Frame();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Vantorscope"));
    EXPECT_TRUE(f.Tree()->isVisible());
    EXPECT_TRUE(f.actions().contains(f.Action(C::kDefaultCheck)));
    // The user's guide is built in, without the developers' build notes or comment markers.
    const QString guide = f.HelpBrowser()->toPlainText();
    for (const char* part : {"The lists", "How the checks decide", "how to restore", "The command line"})
        EXPECT_TRUE(guide.contains(QString::fromLatin1(part), Qt::CaseInsensitive)) << part;
    EXPECT_FALSE(guide.contains("cmake") || guide.contains("BEGIN how-the-checks-decide"));
    // Enable is 0 by default: the relink items and their separator are gone.
    const std::string all = CommandsText(CFrameFixture("[DialogRepair]\r\nEnable=0100000001\r\n").Frame());
    const std::size_t from = all.find("&Operations\n");
    ExpectGolden("commands.txt",
                 CommandsText(f) + "With Enable=0100000001\n" + all.substr(from, all.find("&Help\n") - from));

    std::string told;
    auto run = [&](C::ECommand c, std::optional<EAnswer> answer = {}) {
        return [&, c, answer] {
            if (answer) fx.m_answers = {*answer};
            f.Action(c)->trigger();
        };
    };
    // Check All, stopped at the n-th progress report starting with `prefix`;
    // what waits then is told too.
    auto stopped = [&](std::string prefix, int n) {
        return [&, prefix, n] {
            // Stopped where the worker makes the report; the window is seen
            // as it shows that report.
            auto stopAt = std::make_shared<std::atomic<bool>>(false);
            f.Link().m_madeProgressHook = [&, prefix, n, stopAt, count = 0](const std::string& text, int) mutable {
                if (text.rfind(prefix, 0) != 0 || ++count != n) return;
                *stopAt = true;
                f.RequestStop();
            };
            f.Link().m_progressHook = [&, stopAt](const std::string&, int) {
                if (!stopAt->exchange(false)) return;
                told += "  while it ran, " + Greyed(f) +
                        (f.centralWidget()->cursor().shape() == Qt::BusyCursor ? ", busy cursor\n" : "\n");
            };
            f.Action(C::kCheckAll)->trigger();
            ASSERT_TRUE(fx.WaitIdle());
            f.Link().m_progressHook = nullptr;
            f.Link().m_madeProgressHook = nullptr;
            EXPECT_FALSE(f.centralWidget()->testAttribute(Qt::WA_SetCursor));
        };
    };
    // Through the real dialogs, which show the history and the boxes they
    // open with; a cancelled search changes nothing.
    auto find = [&](const char* text, bool cancel, bool exact = false) {
        return [&, text, cancel, exact] {
            WhenShown<CFindDlg>([&, text, cancel, exact](CFindDlg& dlg) {
                told += Choices(dlg);
                dlg.FindWhat()->setEditText(text);
                dlg.MatchCase()->setChecked(exact);
                dlg.EsmMode()->setChecked(exact);
                if (cancel) return dlg.reject();
                dlg.OnFind();
                const CFindParams p = dlg.Params();
                told += "  to find: " + p.m_text + (p.m_lookInData ? ", in data" : "") +
                        (p.m_searchMasters ? ", in masters" : "") + (p.m_matchCase ? ", matching case\n" : "\n");
            });
            f.Action(C::kFindObject)->trigger();
        };
    };
    // Masters have no global changes of their own: the box greys, and keeps its tick.
    auto viewFile = [&](const char* name, bool master) {
        return [&, name, master] {
            WhenShown<CViewFileDlg>([&, name, master](CViewFileDlg& dlg) {
                told += Choices(dlg);
                dlg.GlobalChanges()->setChecked(master);
                dlg.EsmFile()->setChecked(master);
                if (master) told += Choices(dlg);
                dlg.FileBox()->setEditText(name);
                dlg.OnOk();
            });
            f.Action(C::kViewFileData)->trigger();
        };
    };
    auto key = [&](EPane pane, std::vector<std::pair<int, int>> cells, std::optional<EAnswer> answer = {}) {
        return [&, pane, cells, answer] {
            if (answer) fx.m_answers = {*answer};
            SelectCells(*f.View(pane), cells);
            ReleaseKey(*f.View(pane), Qt::Key_Delete);
        };
    };
    // The repair tool shows from the worker; closed without "Repair Dialog"
    // it changes nothing, whatever was done in it.
    auto relink = [&](bool repair) {
        return [&, repair] {
            f.Link().m_repairDialogHook = [&, repair](QDialog& window) {
                auto& dlg = dynamic_cast<CDialogRepairDlg&>(window);
                EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Dialog Repair Tool"));
                EXPECT_EQ(dlg.RepairNameLabel()->text(), QStringLiteral("Old.esp"));
                if (!repair) {
                    WalkRepairTool(fx, dlg, told);
                    return dlg.reject();
                }
                for (const char* name : {"Repaired.esp", "Sample Quests.esp"})
                    fx.m_choices.push_back({CFileChoice::EStatus::Chosen, {fx.DataDir() + name}});
                dlg.CreateNew();
                dlg.BrowsePlugins();
                dlg.accept();
            };
            f.RunOnWorker(CRelinkRequest{});
        };
    };
    // A page of the options sheet copies the options in when first shown and
    // back only if it was shown; what the sheet shows, then what took effect.
    auto options = [&](std::function<void(COptionsSheet&)> change) {
        return [&, change] {
            WhenShown<COptionsSheet>([&, change](COptionsSheet& sheet) {
                change(sheet);
                told += Choices(sheet);
                sheet.accept();
            });
            f.Action(C::kOptions)->trigger();
            const COptionSet& o = fx.Doc().Options();
            std::string checks;
            for (std::int32_t on : o.m_conflictChecks) checks += char('0' + on);
            const CGameChoice game = CGameChoice::Load(fx.Dir() / "vantor.ini").value_or(CGameChoice{});
            told += "  options: DefaultOps " + std::to_string(o.m_defaultOps) + ", INFO unclean check " +
                    std::to_string(o.m_uncleanChecks[kInfoCheck]) + ", landscape " +
                    std::to_string(o.m_extractOpts.m_landData) + ", conflict checks " + checks + ", " +
                    (game.m_game == CGameChoice::EGame::OpenMW ? "OpenMW at " + game.m_openmwConfig : "Morrowind") +
                    (f.Action(C::kRelink)->isVisible() ? ", Dialog Repair offered" : "") + "\n";
        };
    };
    auto sortByName = [&] {
        CResultView& warnings = *f.View(EPane::Warning);
        emit warnings.horizontalHeader()->sectionClicked(2);
        // The order is worked out beside the window; until it is taken the
        // list says so and cannot be saved in an order it is about to lose.
        EXPECT_TRUE(warnings.Model().Sorting());
        EXPECT_FALSE(f.Action(C::kSaveResults)->isEnabled());
        EXPECT_TRUE(Caption(warnings).endsWith(QStringLiteral("sorting by Name\u2026")));
    };
    // Rows listed after each step: c, w, e for the lists.
    const std::vector<std::tuple<std::string, std::function<void()>, std::string>> steps = {
        {"Choose Plugins", [&] { fx.ChooseSamplePlugins(); }, ""},
        // Nothing is read yet; then only the first plugin: the rest stay chosen.
        {"Check All, stopped before the master is read", stopped("Extracting Master Esm Data", 1), ""},
        {"Check All, stopped after the first plugin is read", stopped("Extracting Plugin Data 33%", 1), ""},
        {"Extract Data", run(C::kExtractData), ""},
        // After the first plugin's warnings, the conflicts all found.
        {"Check All, stopped after the first plugin's warnings", stopped("Checking Warnings", 2), "cw"},
        {"Check All", run(C::kCheckAll), "cw"},
        {"Toggle Warning", run(C::kToggleWarning), ""},
        {"Toggle Editor", run(C::kToggleEditor), ""},
        {"Toggle Conflict", run(C::kToggleConflict), ""},
        {"Toggle Editor", run(C::kToggleEditor), ""},
        {"View All Esp Data", run(C::kViewAllEsp), ""},
        // Landscape data is not extracted by default.
        {"Open the LAND entry",
         [&] {
             const CResultTable& table = f.View(EPane::Editor)->Model().Table();
             int row = 0;
             while (std::size_t(row) < table.RowCount() && table.Cell(std::size_t(row), 0) != "LAND") ++row;
             ASSERT_LT(std::size_t(row), table.RowCount());
             f.View(EPane::Editor)->OpenEntry(row, 3);
             EXPECT_TRUE(Editors(f).empty());
         },
         ""},
        {"Find Object sample_trader", find("sample_trader", false), "e"},
        {"Find Object other, cancelled", find("other", true), "e"},
        {"Find Object no_such_thing", find("no_such_thing", false), "e"},
        {"Find Object sample_trader, matching case in the masters", find("sample_trader", false, true), "e"},
        {"View File Data of Sample Quests.esp", viewFile("Sample Quests.esp", false), "e"},
        {"View File Data of Sample.esm, View Global Changes ticked first", viewFile("Sample.esm", true), ""},
        // The window starts no run before it has shown the last one's end, so
        // the checks asked for meanwhile find it still running.
        {"Check Conflicts, with Check All and Check Unclean asked for while it runs",
         [&] {
             f.Action(C::kCheckConflicts)->trigger();
             EXPECT_TRUE(f.Busy());
             f.Action(C::kCheckAll)->trigger();
             f.Action(C::kCheckUnclean)->trigger();
             EXPECT_FALSE(f.RunOnWorker(CCheckRequest{}));
         },
         "c"},
        {"Check All", run(C::kCheckAll), ""},
        {"Sort the Warning List by Name", sortByName, "w"},
        {"Sort the Warning List by Name again", sortByName, "w"},
        // Saved as shown.
        {"Save Results",
         [&] {
             fx.m_choices.push_back({CFileChoice::EStatus::Chosen, {fx.Dir() / "VANTORlog.txt"}});
             f.Action(C::kSaveResults)->trigger();
             // Named by the day, so that yesterday's log stays.
             ASSERT_FALSE(fx.m_choosers.empty());
             EXPECT_NE(fx.m_choosers.back().m_fileName.find(QDate::currentDate().toString(Qt::ISODate).toStdString()),
                       std::string::npos);
             QString saved = QString::fromStdString(FileText(fx.Dir() / "VANTORlog.txt")).remove('\r');
             for (const QString& line : saved.split('\n', Qt::SkipEmptyParts))
                 told += "    " + line.toStdString() + "\n";
         },
         ""},
        // The Delete key: one column of the conflict list at a time, and only
        // the "Esp File" column of the others.
        {"Delete key on two columns of a conflict", key(EPane::Conflict, {{0, 3}, {0, 4}}), "c"},
        {"Delete key on a warning's kind and name", key(EPane::Warning, {{0, 1}, {0, 2}}), ""},
        {"Delete key on the Esp File of fSampleFatigueMult, answered Yes",
         [&] {
             const int row = RowWith(*f.View(EPane::Warning), "fSampleFatigueMult", "Sample Armory.esp", 3);
             ASSERT_GE(row, 0);
             key(EPane::Warning, {{row, 3}}, EAnswer::Yes)();
             EXPECT_TRUE(std::filesystem::exists(fx.DataDir() + "Sample Armory.OLD"));
             EXPECT_FALSE(ReadEntries(fx.DataDir(), "Sample Armory.esp").count({"GMST", "fSampleFatigueMult"}));
             EXPECT_EQ(Rows(*f.View(EPane::Warning)).size(), fx.Doc().ResultTable(EPane::Warning)->RowCount());
         },
         "w"},
        {"Auto Delete Unclean, answered No", run(C::kAutoDeleteUnclean, EAnswer::No), ""},
        {"Auto Delete Unclean, answered Yes", run(C::kAutoDeleteUnclean, EAnswer::Yes), ""},
        // The changes made follow the three lists in the saved file.
        {"Save Results with the changes made",
         [&] {
             fx.m_choices.push_back({CFileChoice::EStatus::Chosen, {fx.Dir() / "changes.txt"}});
             f.Action(C::kSaveResults)->trigger();
             const std::string saved = FileText(fx.Dir() / "changes.txt");
             const std::size_t at = saved.find("Esp File,Backup,ID,Name,Change");
             ASSERT_NE(at, std::string::npos);
             for (const QString& line : QString::fromStdString(saved.substr(at)).remove('\r').split('\n', Qt::SkipEmptyParts))
                 told += "    " + line.toStdString() + "\n";
         },
         ""},
        {"Check All", run(C::kCheckAll), "cw"},
        {"View All Esm Data", run(C::kViewAllEsm), ""},
        {"View All Global Changes", run(C::kViewAllGlobal), ""},
        // A prompt covers the message only while a command is pointed at.
        {"A command pointed at and left",
         [&] {
             QStatusTipEvent tip(f.Action(C::kCheckConflicts)->statusTip());
             QApplication::sendEvent(&f, &tip);
             EXPECT_EQ(Status(f), "Checks for Entry Conflicts");
             QStatusTipEvent none{QString()};
             QApplication::sendEvent(&f, &none);
         },
         ""},
        {"ReLink Dialog, closed",
         [&] {
             COptionSet options = fx.Doc().Options();
             options.m_espFilename = "Old.esp";
             options.m_espPath = fx.DataDir();
             fx.Doc().SetOptions(options);
             relink(false)();
         },
         ""},
        {"ReLink Dialog, Sample Quests.esp repaired into Repaired.esp", relink(true), ""},
        // The patch is written where the chooser says; the status bar counts
        // what it holds and tells OpenMW's players how to load it last.
        {"Make Merged Patch",
         [&] {
             fx.m_choices.push_back({CFileChoice::EStatus::Chosen, {fx.Dir() / "Merged Patch.esp"}});
             f.Action(C::kMakeMergedPatch)->trigger();
         },
         ""},
        // Single Versus offers a master root; Add on it chooses a master, and
        // Full Check drops it.
        {"Single Versus, then Choose Master Plugin Sample.esm",
         [&] {
             f.Action(C::kSingleVersus)->trigger();
             EXPECT_FALSE(f.Action(C::kFullCheck)->isChecked());
             fx.m_choices.push_back({CFileChoice::EStatus::Chosen, {fx.DataDir() + "Sample.esm"}});
             f.Action(C::kChooseMaster)->trigger();
             f.Tree()->SelectText("Master Plugin");
             f.Tree()->AddAction()->trigger();
         },
         ""},
        // A right click selects the item under the mouse before the menu opens.
        {"Remove Sample Quests.esp through the tree's menu",
         [&] {
             CLeftView& tree = *f.Tree();
             tree.SelectText("Plugin Files");
             QTreeWidgetItem* quests =
                 tree.findItems("Sample Quests.esp", Qt::MatchExactly | Qt::MatchRecursive).front();
             const QPoint at = tree.visualItemRect(quests).center();
             QStringList items;
             QTimer::singleShot(50, [&items] {
                 if (QWidget* popup = QApplication::activePopupWidget()) {
                     for (QAction* a : popup->actions()) items << a->text();
                     popup->close();
                 }
             });
             QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, tree.viewport()->mapToGlobal(at));
             QApplication::sendEvent(tree.viewport(), &rightClick);
             EXPECT_EQ(items, (QStringList{"Remove", "Add"}));
             tree.RemoveAction()->trigger();
             std::vector<std::string> loaded = fx.Doc().LoadedNames();
             std::sort(loaded.begin(), loaded.end());
             EXPECT_EQ(loaded, (std::vector<std::string>{"Sample Armory.esp", "Sample Tweaks.esp"}));
         },
         ""},
        {"Full Check", run(C::kFullCheck), ""},
        // New Check stops a running check and forgets it: nothing it found is
        // told about the empty lists.
        {"Check All, with New Check asked for while it runs",
         [&] {
             f.Action(C::kCheckAll)->trigger();
             EXPECT_TRUE(f.Busy());
             f.Action(C::kNewCheck)->trigger();
         },
         ""},
        {"Options: Check Deleted, Report Dialog, Extract Landscape Data and Offer Dialog Repair switched",
         options([](COptionsSheet& sheet) {
             const CPPageOP& op = *sheet.Operations();
             for (QCheckBox* box : {op.m_checkDeleted, op.m_reportDialog, op.m_extractLand, op.m_dialogRepair})
                 box->toggle();
         }),
         ""},
        {"Options: the sixth conflict check off, OpenMW's load order from a file that cannot be read",
         options([&](COptionsSheet& sheet) {
             sheet.Tabs()->setCurrentIndex(1);
             // Four columns of ten in index order.
             const CPPageID& ids = *sheet.Conflicts();
             EXPECT_EQ(ids.m_boxes[10]->y(), ids.m_boxes[0]->y());
             EXPECT_GT(ids.m_boxes[10]->x(), ids.m_boxes[9]->x());
             EXPECT_EQ(ids.m_boxes[37]->x(), ids.m_boxes[30]->x());
             ids.m_boxes[5]->setChecked(false);
             // OpenMW's configuration file counts only for OpenMW.
             const CPPageGame& game = *sheet.GamePage();
             EXPECT_FALSE(game.m_config->isEnabled());
             game.m_openmw->setChecked(true);
             EXPECT_TRUE(game.m_config->isEnabled());
             game.m_config->setText(QString::fromStdString(fx.Dir() / "none.cfg "));
         }),
         ""},
    };
    std::size_t changesTold = 0;
    for (const auto& [name, step, listed] : steps) {
        fx.m_messages.clear();
        told += name + "\n";
        step();
        ASSERT_TRUE(fx.WaitIdle()) << name;
        told += "  " + Status(f) + "\n";
        told += Asked(fx);
        told += "  " + Greyed(f) + "\n  tree:";
        for (int i = 0; i < f.Tree()->topLevelItemCount(); ++i)
            told += " " + f.Tree()->topLevelItem(i)->text(0).toStdString() + " (" +
                    std::to_string(f.Tree()->topLevelItem(i)->childCount()) + ")";
        told += "\n";
        const std::pair<EPane, C::ECommand> panes[] = {{EPane::Conflict, C::kToggleConflict},
                                                       {EPane::Warning, C::kToggleWarning},
                                                       {EPane::Editor, C::kToggleEditor}};
        for (const auto& [p, toggle] : panes)
            told += "  " + Caption(*f.View(p)).toStdString() + (f.PaneShown(p) ? "" : " (hidden)") +
                    (f.Action(toggle)->isChecked() == f.PaneShown(p) ? "\n" : " (its button says otherwise)\n");
        for (int i = 0; i < 3; ++i)
            if (listed.find("cwe"[i]) != std::string::npos)
                for (const auto& row : Rows(*f.View(panes[i].first))) told += "    " + row + "\n";
        // What a clean or a deletion changed stays listed, with the backups.
        for (std::size_t i = changesTold; i < f.ChangesMade().size(); ++i) {
            const CChangeMade& c = f.ChangesMade()[i];
            told += "  changed: " + c.m_change + " " + c.m_tag + " " + c.m_id + " in " + c.m_file + ", backup " +
                    c.m_backup + "\n";
        }
        changesTold = f.ChangesMade().size();
        if (changesTold) {
            EXPECT_TRUE(f.ChangesDock()->isVisibleTo(&f)) << name;
        }
    }
    const std::string game = fx.Dir().Path();
    for (std::size_t at; (at = told.find(game)) != std::string::npos;) told.replace(at, game.size(), "<game>/");
    ExpectGolden("operations.txt", told);
    EXPECT_EQ(fx.Doc().Options().m_espFilename, "Repaired.esp");
    EXPECT_EQ(fx.Doc().Options().m_espPath, fx.DataDir());
}

// The extension in lower case.
std::string Extension(const fs::path& path) {
    return QString::fromStdString(path.extension().string()).toLower().toStdString();
}

// The corpus's plugins and masters join the sample set, newer than it and in
// name order, masters first.
void AddCorpus(const std::string& data) {
    std::vector<std::string> files = fixtures::CorpusFiles();
    std::stable_partition(files.begin(), files.end(), [](const std::string& f) { return Extension(f) == ".esm"; });
    auto when = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    for (const auto& f : files) {
        if (Extension(f) != ".esm" && Extension(f) != ".esp") continue;
        const std::string target = data + fs::path(f).filename().string();
        fs::copy_file(f, target, fs::copy_options::overwrite_existing);
        fs::last_write_time(target, when);
        when += std::chrono::hours(24);
    }
}

std::string Save(CFrameFixture& fx, const std::string& name) {
    const std::string path = fx.Dir() / name;
    fx.m_choices.push_back({CFileChoice::EStatus::Chosen, {path}});
    fx.Frame().Action(C::kSaveResults)->trigger();
    if (const char* dir = std::getenv("VANTOR_GOLDEN_DIR"))
        fs::copy_file(path, fs::path(dir) / name, fs::copy_options::overwrite_existing);
    return FileText(path);
}

void SaveEverything(bool withCorpus) {
    CFrameFixture fx;
    if (withCorpus) AddCorpus(fx.DataDir());
    // Every plugin of the data folder in name order.
    std::vector<std::string> plugins;
    for (const auto& e : fs::directory_iterator(fx.DataDir()))
        if (Extension(e.path()) == ".esp") plugins.push_back(e.path().string());
    std::sort(plugins.begin(), plugins.end());
    fx.m_choices.push_back({CFileChoice::EStatus::Chosen, plugins});
    fx.Frame().Action(C::kChoosePlugins)->trigger();
    fx.Frame().Action(C::kCheckAll)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    const std::string prefix = withCorpus ? "corpus-" : "sample-";
    const std::string gui = Save(fx, prefix + "check.txt");
    std::string args = "check --all --quiet --install-dir '" + fx.Dir().Path() + "' --settings '" +
                       (fx.Dir() / "cli.ini") + "' --log '" + (fx.Dir() / "cli.txt") + "'";
    for (const auto& p : plugins) args += " '" + p + "'";
    fixtures::RunProgram(VANTOR_CLI, args, {}, fx.Dir() / "cli-errors.txt");
    EXPECT_FALSE(gui.empty());
    EXPECT_EQ(gui, FileText(fx.Dir() / "cli.txt"));
    // A name ending in .csv: the lists as the command line's csv, quoted.
    const std::string csv = Save(fx, prefix + "check.csv");
    std::string csvArgs = "check --all --quiet --format csv --install-dir '" + fx.Dir().Path() + "' --settings '" +
                          (fx.Dir() / "cli.ini") + "'";
    for (const auto& p : plugins) csvArgs += " '" + p + "'";
    EXPECT_EQ(csv, fixtures::RunProgram(VANTOR_CLI, csvArgs, {}, fx.Dir() / "cli-errors.txt").m_out);

    // Sorted as the user sorts, then the other lists' fills.
    emit fx.Frame().View(EPane::Warning)->horizontalHeader()->sectionClicked(2);
    emit fx.Frame().View(EPane::Conflict)->horizontalHeader()->sectionClicked(3);
    emit fx.Frame().View(EPane::Conflict)->horizontalHeader()->sectionClicked(3);
    // Save Results is greyed while a list sorts: saved once the sorts end,
    // the lists are in their new order.
    ASSERT_TRUE(fx.WaitIdle());
    const std::string sorted = Save(fx, prefix + "check-sorted.txt");
    EXPECT_FALSE(sorted.empty());
    EXPECT_NE(sorted, gui);
    fx.Frame().Action(C::kViewAllEsp)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    Save(fx, prefix + "view-all-esp.txt");
    fx.Frame().Action(C::kViewAllGlobal)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    Save(fx, prefix + "global-changes.txt");
    fx.Frame().Action(C::kViewAllEsm)->trigger();
    ASSERT_TRUE(fx.WaitIdle());
    Save(fx, prefix + "view-all-esm.txt");
}

TEST(Golden, SaveResultsMatchesTheCommandLineLog) {
    SaveEverything(false);
    if (!fixtures::CorpusDir().empty()) SaveEverything(true);
}

}  // namespace
}  // namespace vantor::uitest
