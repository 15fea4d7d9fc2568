// What the user is asked and told about changes to plugins on disk.
#include <gtest/gtest.h>

#include <atomic>

#include "document/WriteMessages.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/ScriptedLink.h"
#include "fixtures/TempDir.h"

using namespace vantor;
using namespace vantor::fixtures;

TEST(WriteMessages, EachResultIsToldInTheToolsWords) {
    struct CCase {
        CWriteResult m_result;
        EWriteAction m_action;
        std::vector<std::string> m_texts;  // the boxes shown, in order
        const char* m_caption;             // of the first box
        EIcon m_icon;
    };
    using F = EWriteFailure;
    const std::string changed = "/d/Mod.esp\nThe file has changed since it was read. Load it again before changing it.";
    const CCase cases[] = {
        {{}, EWriteAction::Delete, {}, "", EIcon::None},
        {CWriteResult::Failure(F::NothingToWrite), EWriteAction::Update, {}, "", EIcon::None},
        {CWriteResult::Failure(F::BackupCancelled, "/d/Mod.OLD"), EWriteAction::Delete, {}, "", EIcon::None},
        {CWriteResult::Failure(F::WorkingFile, "/d/Mod.esp", "Input/output error"), EWriteAction::Update,
         {"Input/output error"}, "VANTOR", EIcon::Stop},
        {CWriteResult::Failure(F::WorkingFile, "/d/Mod.esp"), EWriteAction::Update, {"Could not update this Entry."},
         "VANTOR", EIcon::Stop},
        {CWriteResult::Failure(F::WorkingFile, "/d/Mod.esp"), EWriteAction::Delete, {"Could not delete this Entry."},
         "VANTOR", EIcon::Stop},
        {CWriteResult::Failure(F::ChangedOnDisk, "/d/Mod.esp"), EWriteAction::Delete, {changed}, "Error", EIcon::Stop},
        {CWriteResult::Failure(F::BackupChooser, "/d/Mod.OLD"), EWriteAction::Delete, {"Error Selecting Backup File"},
         "Error", EIcon::None},
        {CWriteResult::Failure(F::Backup, "/d/Mod.OLD", "No space left on device"), EWriteAction::Delete,
         {"No space left on device"}, "VANTOR", EIcon::None},
        {CWriteResult::Failure(F::Backup, "/d/Mod.OLD"), EWriteAction::Delete, {"Could not create a Backup."}, "VANTOR",
         EIcon::None},
        {CWriteResult::Failure(F::NotExtracted, "/d/Mod.esp"), EWriteAction::Update,
         {"This entry's data was not extracted (see the Extract options), so it cannot be rewritten.\n"
          "Turn the option on and load the plugin again."},
         "Cannot Complete Request", EIcon::Stop},
        {CWriteResult{F::Rename, "/d/Mod.esp", "Input/output error", false}, EWriteAction::Delete,
         {"Esp may be lost, restore from generated Backup.", "Input/output error"}, "Critical Error", EIcon::Stop},
        // A rename that failed without touching the plugin says so.
        {CWriteResult::Failure(F::Rename, "/d/Mod.esp", "Input/output error"), EWriteAction::Delete,
         {"Input/output error\nThe plugin /d/Mod.esp was not changed."}, "VANTOR", EIcon::Stop},
        // Why the working copy could not be made, and where.
        {CWriteResult::Failure(F::WorkingCopy, "/d/", "Permission denied"), EWriteAction::Delete,
         {"Could not delete this Entry.\nNo working copy could be made in /d/: Permission denied"}, "VANTOR",
         EIcon::Stop},
        {CWriteResult::Failure(F::Inspect, "/d/Mod.esp", "Input/output error"), EWriteAction::Update,
         {"/d/Mod.esp\nInput/output error"}, "VANTOR", EIcon::Stop},
        {CWriteResult::Failure(F::ReadOnly, "/d/Mod.esp"), EWriteAction::Delete,
         {"/d/Mod.esp\nThe file is read-only, so it was not changed."}, "Cannot Complete Request", EIcon::Exclamation},
        {CWriteResult::Failure(F::NotRegular, "/d/Mod.esp", "a FIFO"), EWriteAction::Delete,
         {"/d/Mod.esp\nA FIFO, not a regular file: it is left alone."}, "Cannot Complete Request", EIcon::Exclamation},
        {CWriteResult::Failure(F::BackupIsPlugin, "/d/Mod.OLD"), EWriteAction::Delete,
         {"/d/Mod.OLD\nThis is the plugin itself, which cannot be its own backup; the plugin was not changed."},
         "Cannot Complete Request", EIcon::Exclamation},
        {CWriteResult::Failure(F::BackupNameTaken, "/d/Mod.OLD"), EWriteAction::Delete,
         {"/d/Mod.OLD\nA file of this name exists, and a backup never replaces a file; the plugin was not changed."},
         "Cannot Complete Request", EIcon::Exclamation},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(int(c.m_result.m_failure));
        CScriptedLink link;
        EXPECT_EQ(ShowWriteResult(c.m_result, c.m_action, link), c.m_result.Ok());
        const auto messages = link.Messages();
        ASSERT_EQ(messages.size(), c.m_texts.size());
        for (std::size_t i = 0; i < messages.size(); ++i) {
            EXPECT_EQ(messages[i].m_text, c.m_texts[i]);
            EXPECT_EQ(messages[i].m_buttons, EButtons::Ok);
        }
        if (!messages.empty()) {
            EXPECT_EQ(messages[0].m_caption, c.m_caption);
            EXPECT_EQ(messages[0].m_icon, c.m_icon);
        }
    }
}

TEST(WriteMessages, ExistingBackupQuestionAndChooser) {
    struct CCase {
        EAnswer m_answer;
        std::optional<CFileChoice> m_choice;
        CBackupDecision::EChoice m_decision;
        std::string m_path;
    };
    using EChoice = CBackupDecision::EChoice;
    const CCase cases[] = {
        {EAnswer::No, std::nullopt, EChoice::UseExisting, ""},
        {EAnswer::Cancel, std::nullopt, EChoice::Cancel, ""},
        {EAnswer::Yes, CFileChoice{CFileChoice::EStatus::Chosen, {"/d/Mine.bak"}}, EChoice::MakeNew, "/d/Mine.bak"},
        {EAnswer::Yes, CFileChoice{CFileChoice::EStatus::Cancelled, {}}, EChoice::Cancel, ""},
        {EAnswer::Yes, CFileChoice{CFileChoice::EStatus::Failed, {}}, EChoice::Failed, ""},
    };
    for (const CCase& c : cases) {
        CScriptedLink link;
        link.m_answers = {c.m_answer};
        if (c.m_choice) link.m_choices = {*c.m_choice};
        CLinkBackupPolicy policy(link);
        CBackupDecision d = policy.BackupExists("/d/Mod.esp", "/d/Mod.OLD", false);
        EXPECT_EQ(d.m_choice, c.m_decision);
        EXPECT_EQ(d.m_path, c.m_path);
        ASSERT_EQ(link.Messages().size(), 1u);
        const CMessage m = link.Messages()[0];
        EXPECT_EQ(m.m_text, "/d/Mod.OLD\nBackup File Exists, Create a new Backup?");
        EXPECT_EQ(m.m_caption, "File Exists");
        EXPECT_EQ(m.m_buttons, EButtons::YesNoCancel);
        EXPECT_EQ(m.m_icon, EIcon::Question);
        EXPECT_EQ(m.m_default, EAnswer::No);
        ASSERT_EQ(link.Choosers().size(), c.m_choice ? 1u : 0u);
        if (!c.m_choice) continue;
        const CFileChooser chooser = link.Choosers()[0];
        EXPECT_EQ(chooser.m_mode, CFileChooser::EMode::Save);
        EXPECT_EQ(chooser.m_title, "Select a Backup Filename");
        ASSERT_EQ(chooser.m_filters.size(), 1u);
        EXPECT_EQ(chooser.m_filters[0].m_label, "Any File (*.*)");
        EXPECT_EQ(chooser.m_filters[0].m_pattern, "*.*");
        EXPECT_EQ(chooser.m_startFolder, "/d/");
        EXPECT_EQ(chooser.m_fileName, "Mod.OLD");
        EXPECT_EQ(chooser.m_defaultExtension, "OLD");
        EXPECT_FALSE(chooser.m_confirmOverwrite);  // a name that is taken is refused, never replaced
    }

    // When the backup would be the plugin itself, keeping it is not offered.
    for (EAnswer answer : {EAnswer::No, EAnswer::Yes}) {
        CScriptedLink link;
        link.m_answers = {answer};
        link.m_choices = {CFileChoice{CFileChoice::EStatus::Chosen, {"/d/Mod.bak"}}};
        CLinkBackupPolicy policy(link);
        CBackupDecision d = policy.BackupExists("/d/Mod.OLD", "/d/Mod.OLD", true);
        EXPECT_EQ(d.m_choice, answer == EAnswer::Yes ? CBackupDecision::EChoice::MakeNew : CBackupDecision::EChoice::Cancel);
        ASSERT_EQ(link.Messages().size(), 1u);
        EXPECT_EQ(link.Messages()[0].m_text,
                  "/d/Mod.OLD\nThis is the plugin itself, which cannot be its own backup.\nChoose another name for the backup?");
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
