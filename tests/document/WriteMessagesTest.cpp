// What the user is asked and told about changes to plugins on disk.
#include <gtest/gtest.h>

#include "document/WriteMessages.h"
#include "fixtures/ScriptedLink.h"

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
    const CFileChoice mine{CFileChoice::EStatus::Chosen, {"/d/Mine.bak"}};
    const struct {
        bool m_isPlugin;  // the backup would be the plugin itself
        EAnswer m_answer;
        std::optional<CFileChoice> m_choice;
        EChoice m_decision;
    } cases[] = {
        {false, EAnswer::No, std::nullopt, EChoice::UseExisting},
        {false, EAnswer::Cancel, std::nullopt, EChoice::Cancel},
        {false, EAnswer::Yes, mine, EChoice::MakeNew},
        {false, EAnswer::Yes, CFileChoice{CFileChoice::EStatus::Cancelled, {}}, EChoice::Cancel},
        {false, EAnswer::Yes, CFileChoice{CFileChoice::EStatus::Failed, {}}, EChoice::Failed},
        // Keeping it is not offered: No cancels.
        {true, EAnswer::No, std::nullopt, EChoice::Cancel},
        {true, EAnswer::Yes, mine, EChoice::MakeNew},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.m_decision));
        CScriptedLink link;
        link.m_answers = {c.m_answer};
        if (c.m_choice) link.m_choices = {*c.m_choice};
        const CBackupDecision d = CLinkBackupPolicy(link).BackupExists("/d/Mod.esp", "/d/Mod.OLD", c.m_isPlugin);
        EXPECT_EQ(d.m_choice, c.m_decision);
        EXPECT_EQ(d.m_path, c.m_decision == EChoice::MakeNew ? "/d/Mine.bak" : "");
        ASSERT_EQ(link.Messages().size(), 1u);
        const CMessage asked = link.Messages()[0];
        EXPECT_EQ(asked.m_buttons, c.m_isPlugin ? EButtons::YesNo : EButtons::YesNoCancel);
        if (!c.m_isPlugin) {
            EXPECT_EQ(asked.m_text, "/d/Mod.OLD\nBackup File Exists, Create a new Backup?");
            EXPECT_EQ(asked.m_default, EAnswer::No);
        }
        ASSERT_EQ(link.Choosers().size(), c.m_choice ? 1u : 0u);
        if (!c.m_choice) continue;
        const CFileChooser chooser = link.Choosers()[0];
        EXPECT_EQ(chooser.m_startFolder + chooser.m_fileName, "/d/Mod.OLD");
        EXPECT_FALSE(chooser.m_confirmOverwrite);  // a name that is taken is refused, never replaced
    }
}
