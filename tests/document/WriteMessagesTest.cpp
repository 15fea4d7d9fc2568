// What the user is asked and told about changes to plugins on disk.
#include <gtest/gtest.h>

#include <atomic>

#include "document/WriteMessages.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/ScriptedLink.h"
#include "fixtures/TempDir.h"

using namespace vantor;
using namespace vantor::fixtures;

TEST(WriteMessages, EveryFailureIsToldOrWasTheUsersOwnChoice) {
    using F = EWriteFailure;
    using A = EWriteAction;
    const struct {
        CWriteResult m_result;
        EWriteAction m_action;
        std::vector<std::string> m_texts;  // the boxes shown, in order
        const char* m_caption;             // of the first box
    } cases[] = {
        {{}, A::Delete, {}, ""},
        {CWriteResult::Failure(F::NothingToWrite), A::Update, {}, ""},
        {CWriteResult::Failure(F::BackupCancelled, "/d/Mod.OLD"), A::Delete, {}, ""},
        // The system's reason when there is one, else what was not done.
        {CWriteResult::Failure(F::WorkingFile, "/d/Mod.esp", "Input/output error"), A::Update, {"Input/output error"}, "VANTOR"},
        {CWriteResult::Failure(F::WorkingFile, "/d/Mod.esp"), A::Update, {"Could not update this Entry."}, "VANTOR"},
        {CWriteResult::Failure(F::WorkingFile, "/d/Mod.esp"), A::Delete, {"Could not delete this Entry."}, "VANTOR"},
        {CWriteResult::Failure(F::Backup, "/d/Mod.OLD"), A::Delete, {"Could not create a Backup."}, "VANTOR"},
        {CWriteResult::Failure(F::WorkingCopy, "/d/", "Permission denied"), A::Delete,
         {"Could not delete this Entry.\nNo working copy could be made in /d/: Permission denied"}, "VANTOR"},
        // A rename that lost the plugin points at the backup; one that did
        // not touch it says so.
        {CWriteResult{F::Rename, "/d/Mod.esp", "Input/output error", false}, A::Delete,
         {"Esp may be lost, restore from generated Backup.", "Input/output error"}, "Critical Error"},
        {CWriteResult::Failure(F::Rename, "/d/Mod.esp", "Input/output error"), A::Delete,
         {"Input/output error\nThe plugin /d/Mod.esp was not changed."}, "VANTOR"},
        {CWriteResult::Failure(F::BackupIsPlugin, "/d/Mod.OLD"), A::Delete,
         {"/d/Mod.OLD\nThis is the plugin itself, which cannot be its own backup; the plugin was not changed."},
         "Cannot Complete Request"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.m_result.m_failure));
        CScriptedLink link;
        EXPECT_EQ(ShowWriteResult(c.m_result, c.m_action, link), c.m_result.Ok());
        const auto messages = link.Messages();
        ASSERT_EQ(messages.size(), c.m_texts.size());
        for (std::size_t i = 0; i < messages.size(); ++i) EXPECT_EQ(messages[i].m_text, c.m_texts[i]);
        if (!messages.empty()) {
            EXPECT_EQ(messages[0].m_caption, c.m_caption);
        }
    }
    // The rest are told too, never passed over.
    for (int f = int(F::NotExtracted); f <= int(F::Rename); ++f) {
        if (F(f) == F::BackupCancelled) continue;
        CScriptedLink link;
        EXPECT_FALSE(ShowWriteResult(CWriteResult::Failure(F(f), "/d/Mod.esp"), A::Delete, link));
        EXPECT_EQ(link.Messages().size(), 1u) << f;
    }
}

TEST(WriteMessages, ExistingBackupQuestionAndChooser) {
    using EChoice = CBackupDecision::EChoice;
    const struct {
        EAnswer m_answer;
        std::optional<CFileChoice> m_choice;
        EChoice m_decision;
        std::string m_path;
    } cases[] = {
        {EAnswer::No, std::nullopt, EChoice::UseExisting, ""},
        {EAnswer::Cancel, std::nullopt, EChoice::Cancel, ""},
        {EAnswer::Yes, CFileChoice{CFileChoice::EStatus::Chosen, {"/d/Mine.bak"}}, EChoice::MakeNew, "/d/Mine.bak"},
        {EAnswer::Yes, CFileChoice{CFileChoice::EStatus::Cancelled, {}}, EChoice::Cancel, ""},
        {EAnswer::Yes, CFileChoice{CFileChoice::EStatus::Failed, {}}, EChoice::Failed, ""},
    };
    for (const auto& c : cases) {
        CScriptedLink link;
        link.m_answers = {c.m_answer};
        if (c.m_choice) link.m_choices = {*c.m_choice};
        const CBackupDecision d = CLinkBackupPolicy(link).BackupExists("/d/Mod.esp", "/d/Mod.OLD", false);
        EXPECT_EQ(d.m_choice, c.m_decision);
        EXPECT_EQ(d.m_path, c.m_path);
        ASSERT_EQ(link.Messages().size(), 1u);
        EXPECT_EQ(link.Messages()[0].m_text, "/d/Mod.OLD\nBackup File Exists, Create a new Backup?");
        EXPECT_EQ(link.Messages()[0].m_default, EAnswer::No);
        ASSERT_EQ(link.Choosers().size(), c.m_choice ? 1u : 0u);
        if (!c.m_choice) continue;
        const CFileChooser chooser = link.Choosers()[0];
        EXPECT_EQ(chooser.m_startFolder + chooser.m_fileName, "/d/Mod.OLD");
        EXPECT_FALSE(chooser.m_confirmOverwrite);  // a name that is taken is refused, never replaced
    }

    // When the backup would be the plugin itself, keeping it is not offered.
    for (EAnswer answer : {EAnswer::No, EAnswer::Yes}) {
        CScriptedLink link;
        link.m_answers = {answer};
        link.m_choices = {CFileChoice{CFileChoice::EStatus::Chosen, {"/d/Mod.bak"}}};
        const CBackupDecision d = CLinkBackupPolicy(link).BackupExists("/d/Mod.OLD", "/d/Mod.OLD", true);
        EXPECT_EQ(d.m_choice, answer == EAnswer::Yes ? EChoice::MakeNew : EChoice::Cancel);
        ASSERT_EQ(link.Messages().size(), 1u);
        EXPECT_EQ(link.Messages()[0].m_buttons, EButtons::YesNo);
    }
}

TEST(WriteMessages, ChangesAskAndTellThroughTheLink) {
    CTempDir dir;
    CPluginBuilder b;
    b.Header().Record("STAT", {Name("a"), Sub("MODL", Z("a.nif"))}).Record("STAT", {Name("b")});
    ASSERT_TRUE(b.Write(dir / "Mod.esp"));
    ASSERT_TRUE(CPluginBuilder().Raw("older").Write(dir / "Mod.OLD"));
    CPluginFile file;
    std::atomic<std::int32_t> stop{0};
    ASSERT_TRUE(file.Open("Mod.esp", dir.Path()));
    ASSERT_TRUE(file.ReadRecords(stop, CExtractOpts::All()));
    file.Close();
    CEntry& a = *file.GetTable("STAT")->at(0);

    CScriptedLink link;
    link.m_answers = {EAnswer::Cancel};
    EXPECT_FALSE(RewriteEntry(file, a, {{"MODL", Z("b.nif")}}, link));
    ASSERT_EQ(link.Messages().size(), 1u);  // the question; a cancel is not an error
    EXPECT_EQ(link.Messages()[0].m_caption, "File Exists");

    link.m_answers = {EAnswer::No};
    EXPECT_TRUE(RewriteEntry(file, a, {{"MODL", Z("b.nif")}}, link));
    EXPECT_EQ(link.Messages().size(), 2u);
    const std::vector<bool> erased = EraseEntries(file, {file.GetTable("STAT")->at(1).get()}, link);
    EXPECT_EQ(erased, std::vector<bool>{true});
    EXPECT_EQ(link.Messages().size(), 2u);  // the backup accepted once is not asked about again
}
