// The document driven through the scripted link: what the user would see.
#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <utime.h>

#include "document/VANTORDoc.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/ScriptedLink.h"
#include "fixtures/TempDir.h"

using namespace vantor;
using namespace vantor::fixtures;

namespace {

// A game folder with a data folder, a settings file path and a link.
struct CGame {
    CTempDir m_dir;
    CScriptedLink m_link;
    std::string m_data = m_dir.Path() + "Data Files/";

    CGame() { ::mkdir(m_data.c_str(), 0755); }

    void Plugin(const std::string& name, const std::vector<std::string>& ids, const std::string& folder = {}) {
        CPluginBuilder b;
        b.Header();
        for (const auto& id : ids) b.Record("MISC", {Name(id), Sub("DATA", I32(1))});
        ASSERT_TRUE(b.Write((folder.empty() ? m_data : folder) + name));
    }

    std::unique_ptr<CVANTORDoc> Doc() {
        CDocConfig config;
        config.m_settingsPath = m_dir / "vantor.ini";
        config.m_installDir = m_dir.Path();
        return std::make_unique<CVANTORDoc>(config, &m_link);
    }

    void Choose(CVANTORDoc& doc, const std::vector<std::string>& names) {
        std::vector<std::string> paths;
        for (const auto& n : names) paths.push_back(m_data + n);
        m_link.m_choices.push_back({CFileChoice::EStatus::Chosen, paths});
        doc.OnChoosePlugins();
    }
    void ChooseMaster(CVANTORDoc& doc, const std::string& name) {
        m_link.m_choices.push_back({CFileChoice::EStatus::Chosen, {m_data + name}});
        doc.OnChooseMasterPlugin();
    }
};

template <class F>
void RunAndWait(CVANTORDoc& doc, F&& command) {
    command(doc);
    doc.WaitForWorker();
}

}  // namespace

TEST(Document, SingleVersusExtractionProgressAndOrder) {
    CGame game;
    game.Plugin("M.esp", {"m"});
    for (auto n : {"A.esp", "B.esp", "C.esp", "D.esp"}) game.Plugin(n, {n});
    auto doc = game.Doc();
    doc->m_options.m_loadEsms = 0;
    doc->OnSingleVersus();
    game.ChooseMaster(*doc, "M.esp");
    game.Choose(*doc, {"A.esp", "B.esp", "C.esp"});
    EXPECT_EQ(doc->m_tree.m_masterItems, std::vector<std::string>{"M.esp"});
    EXPECT_EQ(doc->m_tree.m_pluginItems, (std::vector<std::string>{"A.esp", "B.esp", "C.esp"}));

    game.m_link.Clear();
    RunAndWait(*doc, [](CVANTORDoc& d) { d.OnExtractData(); });
    EXPECT_EQ(game.m_link.ProgressTexts(),
              (std::vector<std::string>{"Extracting Plugin Data 0% complete", "Extracting Plugin Data 25% complete",
                                        "Extracting Plugin Data 50% complete", "Extracting Plugin Data 75% complete",
                                        "Extracting Plugin Data 100% complete"}));
    auto calls = game.m_link.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0], "close-editors ");
    EXPECT_EQ(calls[1], "hide 0");
    EXPECT_EQ(calls.back(), "progress 0|Extracting Plugin Data 100% complete");
    EXPECT_EQ(doc->m_loadedNames, (std::vector<std::string>{"C.esp", "B.esp", "A.esp", "M.esp"}));
    EXPECT_EQ(doc->m_loadedMasterName, "M.esp");
    EXPECT_TRUE(doc->m_pendingMasterName.empty());

    // A later batch stands first; the loaded master stays last.
    game.Choose(*doc, {"D.esp", "A.esp"});  // A is loaded already: skipped
    EXPECT_EQ(doc->m_pendingNames, std::vector<std::string>{"D.esp"});
    RunAndWait(*doc, [](CVANTORDoc& d) { d.OnExtractData(); });
    EXPECT_EQ(doc->m_loadedNames, (std::vector<std::string>{"D.esp", "C.esp", "B.esp", "A.esp", "M.esp"}));
    ASSERT_EQ(doc->m_loadedFiles.size(), 5u);
    EXPECT_EQ(doc->m_loadedFiles[0]->FileName(), "D.esp");
    EXPECT_EQ(doc->EnginePlugins().front()->FileName(), "M.esp");

    // A chosen master that is already a plugin is refused.
    game.m_link.Clear();
    game.ChooseMaster(*doc, "A.esp");
    ASSERT_EQ(game.m_link.Messages().size(), 1u);
    EXPECT_EQ(game.m_link.Messages()[0].m_text,
              "Please Remove Chosen File from Plugin List Before Selecting it as a Master.");
    EXPECT_EQ(game.m_link.Messages()[0].m_caption, "Cannot Complete Request");
    EXPECT_TRUE(doc->m_tree.m_masterItems.empty());
    EXPECT_EQ(doc->m_loadedMasterName, "M.esp");

    // Remove of the loaded master drops it from the end of the loaded list.
    doc->OnTreeRemove(CFileTree::CSelection{CFileTree::ERoot::Master, false, "M.esp"});
    EXPECT_EQ(doc->m_loadedNames.back(), "A.esp");
    EXPECT_TRUE(doc->m_loadedMasterName.empty());
    doc->OnTreeRemove(CFileTree::CSelection{CFileTree::ERoot::Plugins, false, "C.esp"});
    EXPECT_EQ(doc->m_loadedNames, (std::vector<std::string>{"D.esp", "B.esp", "A.esp"}));
    EXPECT_EQ(doc->m_loadedFiles.size(), 3u);
    EXPECT_EQ(doc->m_loadedFiles[1]->FileName(), "B.esp");

    doc->OnFullCheck();
    EXPECT_FALSE(doc->m_tree.m_hasMasterRoot);
    doc->OnSingleVersus();
    EXPECT_TRUE(doc->m_tree.m_hasMasterRoot);
    EXPECT_TRUE(doc->m_tree.m_masterItems.empty());
}

TEST(Document, MastersFoundOnceInCaseBlindOrderAndNeverTwice) {
    CGame game;
    game.Plugin("b.esm", {"x"});
    game.Plugin("A.esm", {"y"});
    game.Plugin("C.ESM", {"z"});
    game.Plugin("Chosen.esm", {"w"});
    game.Plugin("P.esp", {"p"});
    auto doc = game.Doc();
    doc->OnSingleVersus();
    game.ChooseMaster(*doc, "Chosen.esm");
    game.Choose(*doc, {"P.esp"});
    game.m_link.Clear();
    RunAndWait(*doc, [](CVANTORDoc& d) { d.OnExtractData(); });
    // The chosen master plugin is not also read as a found master.
    EXPECT_EQ(doc->m_foundMasterNames, (std::vector<std::string>{"C.ESM", "b.esm", "A.esm"}));
    ASSERT_EQ(doc->m_masterFiles.size(), 3u);
    EXPECT_EQ(doc->m_masterFiles[0]->FileName(), "A.esm");
    EXPECT_EQ(doc->EngineMasters().front()->FileName(), "C.ESM");
    auto texts = game.m_link.ProgressTexts();
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ(texts[0], "Extracting Master Esm Data 0% complete");
    EXPECT_EQ(texts[1], "Extracting Master Esm Data 33% complete");
    EXPECT_EQ(texts[3], "Extracting Master Esm Data 100% complete");
    EXPECT_EQ(doc->m_mastersLoaded, 1);

    // Read once: the next extraction does not read them again.
    game.Plugin("Q.esp", {"q"});
    game.Choose(*doc, {"Q.esp"});
    game.m_link.Clear();
    RunAndWait(*doc, [](CVANTORDoc& d) { d.OnExtractData(); });
    for (const auto& t : game.m_link.ProgressTexts()) EXPECT_EQ(t.find("Master Esm"), std::string::npos) << t;
    EXPECT_EQ(doc->m_masterFiles.size(), 3u);

    // Nothing pending and masters loaded: Extract Data does nothing at all.
    game.m_link.Clear();
    RunAndWait(*doc, [](CVANTORDoc& d) { d.OnExtractData(); });
    EXPECT_TRUE(game.m_link.Calls().empty());

    // Choosing a found master as a plugin takes it out of the masters.
    game.Choose(*doc, {"b.esm"});
    EXPECT_EQ(doc->m_foundMasterNames, (std::vector<std::string>{"C.ESM", "A.esm"}));
    EXPECT_EQ(doc->m_masterFiles.size(), 2u);

    doc->OnClearEsmData();
    EXPECT_TRUE(doc->m_masterFiles.empty());
    EXPECT_EQ(doc->m_mastersLoaded, 0);
    RunAndWait(*doc, [](CVANTORDoc& d) { d.OnExtractData(); });
    EXPECT_EQ(doc->m_masterFiles.size(), 2u);  // b.esm is a plugin now
}

TEST(Document, CheckCodesAndTheOneShotMask) {
    CGame game;
    game.Plugin("A.esp", {"a"});
    auto doc = game.Doc();
    doc->m_options.m_loadEsms = 0;
    std::vector<std::pair<std::int32_t, int>> runs;  // (code, mask seen)
    doc->SetOperationHandler(CVANTORDoc::kCheck, [&](CVANTORDoc& d) { runs.push_back({d.m_operation, d.m_checkMask}); });

    // Full Check with nothing chosen: nothing happens, nothing is shown.
    RunAndWait(*doc, [](CVANTORDoc& d) { d.OnCheckAll(); });
    EXPECT_TRUE(runs.empty());
    EXPECT_TRUE(game.m_link.Calls().empty());
    EXPECT_EQ(doc->m_checkMask, 0);

    // Single Versus without a master: refused with a message, mask dropped.
    doc->OnSingleVersus();
    RunAndWait(*doc, [](CVANTORDoc& d) { d.OnCheckConflicts(); });
    ASSERT_EQ(game.m_link.Messages().size(), 1u);
    EXPECT_EQ(game.m_link.Messages()[0].m_text, "Select a Master Plugin for Single Versus Mode");
    EXPECT_EQ(game.m_link.Messages()[0].m_caption, "Cannot Continue");
    EXPECT_EQ(game.m_link.Messages()[0].m_icon, EIcon::Information);
    EXPECT_EQ(doc->m_checkMask, 0);

    doc->OnFullCheck();
    game.Choose(*doc, {"A.esp"});
    RunAndWait(*doc, [](CVANTORDoc& d) { d.OnDefaultCheck(); });
    RunAndWait(*doc, [](CVANTORDoc& d) { d.OnCheckDeleted(); });
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0], std::make_pair(std::int32_t(CVANTORDoc::kExtractCheck), 0));
    EXPECT_EQ(runs[1], std::make_pair(std::int32_t(CVANTORDoc::kCheck), 2));
    EXPECT_EQ(doc->m_checkMask, 0);

    // An unknown code is reported and the worker still ends.
    game.m_link.Clear();
    ASSERT_TRUE(doc->StartOperation(42));
    doc->WaitForWorker();
    EXPECT_EQ(game.m_link.Messages().back().m_text, "Operation Does Not Exist");
    EXPECT_FALSE(doc->IsBusy());
}

TEST(Document, CommandsWhileBusyChangeNothing) {
    CGame game;
    game.Plugin("A.esp", {"a"});
    auto doc = game.Doc();
    std::atomic<bool> release{false};
    doc->SetOperationHandler(CVANTORDoc::kCheck, [&](CVANTORDoc&) {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    game.Choose(*doc, {"A.esp"});
    doc->m_options.m_loadEsms = 0;
    doc->OnCheckAll();
    EXPECT_TRUE(doc->IsBusy());  // set before the worker runs
    EXPECT_FALSE(doc->StartOperation(CVANTORDoc::kExtract));
    game.Plugin("B.esp", {"b"});
    game.Choose(*doc, {"B.esp"});
    EXPECT_TRUE(game.m_link.Choosers().size() == 1u);  // the second chooser never opened
    doc->OnSingleVersus();
    EXPECT_EQ(doc->m_checkMode, ECheckMode::Full);
    doc->OnAutoRelinkDialog();
    EXPECT_EQ(doc->m_relinkMode, 1);  // stored even while busy
    doc->OnTreeRemove(CFileTree::CSelection{CFileTree::ERoot::Plugins, false, "A.esp"});
    release = true;
    doc->WaitForWorker();
    EXPECT_FALSE(doc->IsBusy());
    EXPECT_EQ(doc->m_loadedNames, std::vector<std::string>{"A.esp"});
}

TEST(Document, ActivePluginsFromMorrowindIni) {
    CGame game;
    std::ofstream(game.m_dir / "Morrowind.ini")
        << "[General]\r\nx=1\r\n[Game Files]\r\nGameFile0=Morrowind.esm\r\nGameFile1=One.esp\r\n"
           "GameFile2=Two.ESP\r\nGameFile3=One.esp\r\nGameFile5=Gap.esp\r\n";
    auto doc = game.Doc();
    game.Choose(*doc, {"Two.ESP"});
    doc->OnChooseActivePlugins();
    EXPECT_EQ(doc->m_pendingNames, (std::vector<std::string>{"Two.ESP", "One.esp"}));
    EXPECT_EQ(doc->m_pendingFolders[1], game.m_data);
    EXPECT_EQ(doc->m_tree.m_pluginItems, (std::vector<std::string>{"Two.ESP", "One.esp"}));
}

TEST(Document, MissingAndFailingFiles) {
    CGame game;
    game.Plugin("A.esp", {"a"});
    game.Plugin("B.esp", {"b"});
    auto doc = game.Doc();
    doc->m_options.m_loadEsms = 0;
    game.Choose(*doc, {"A.esp", "B.esp"});
    ::unlink((game.m_data + "A.esp").c_str());
    RunAndWait(*doc, [](CVANTORDoc& d) { d.OnExtractData(); });
    EXPECT_EQ(doc->m_loadedNames, std::vector<std::string>{"B.esp"});
    EXPECT_TRUE(doc->m_pendingNames.empty());

    // An exception escaping the reading ends the extraction with "File Error"
    // and closes the progress display.
    game.Plugin("C.esp", {"c"});
    game.Plugin("D.esp", {"d"});
    game.Choose(*doc, {"C.esp", "D.esp"});
    platform::SetFaultHook([](platform::EFileOp op, const std::string& path) -> bool {
        if (op == platform::EFileOp::Open && path.find("D.esp") != std::string::npos) throw std::runtime_error("boom");
        return false;
    });
    game.m_link.Clear();
    RunAndWait(*doc, [](CVANTORDoc& d) { d.OnExtractData(); });
    platform::SetFaultHook(nullptr);
    ASSERT_FALSE(game.m_link.Messages().empty());
    EXPECT_EQ(game.m_link.Messages().back().m_text, "File Error");
    EXPECT_EQ(game.m_link.Messages().back().m_caption, "Error");
    EXPECT_EQ(game.m_link.Calls().back().rfind("progress 0|", 0), 0u);
    EXPECT_EQ(doc->m_loadedNames, (std::vector<std::string>{"C.esp", "B.esp"}));
}

TEST(Document, StopAndCloseDuringExtractionUnderLoad) {
    // Many start/stop cycles on a set large enough that stops land mid-read.
    CGame game;
    std::vector<std::string> names;
    for (int p = 0; p < 6; ++p) {
        std::vector<std::string> ids;
        for (int i = 0; i < 4000; ++i) ids.push_back("id" + std::to_string(i));
        names.push_back("P" + std::to_string(p) + ".esp");
        game.Plugin(names.back(), ids);
    }
    game.Plugin("Big.esm", std::vector<std::string>(3000, "m"));
    for (int round = 0; round < 20; ++round) {
        auto doc = game.Doc();
        game.Choose(*doc, names);
        doc->OnExtractData();
        if (round % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200 * round));
        if (round % 2 == 0) {
            doc->OnNewCheck();  // waits, then frees
            EXPECT_FALSE(doc->IsBusy());
            EXPECT_TRUE(doc->m_loadedFiles.empty());
            EXPECT_EQ(doc->m_stop.load(), 0);
        }
        // Odd rounds: the document is destroyed while the worker reads.
    }
}
