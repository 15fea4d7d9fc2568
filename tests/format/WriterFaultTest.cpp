// Every file call of a change is made to fail in turn. Whatever fails, the
// bytes from before the change stay at the plugin or the backup path, the
// model stays as it was, and the user is told what the writer promises.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "format/WriterFixture.h"
#include "platform/FileOps.h"

using namespace vantor;
using namespace vantor::fixtures;
using platform::EFileOp;

namespace {

struct CCall {
    EFileOp m_op;
    std::string m_path;
};

const char* OpName(EFileOp op) {
    static const char* names[] = {"Open",       "Read", "Write",    "Stat", "Copy",  "Move",      "Remove",    "SetTime",
                                  "CreateTemp", "Seek", "Truncate", "Sync", "Close", "ShortRead", "ShortWrite"};
    return names[int(op)];
}

// Records every call and fails the one numbered `failAt` (or none).
class CFaultScript {
public:
    explicit CFaultScript(int failAt = -1) : m_failAt(failAt) {
        platform::SetFaultHook([this](EFileOp op, const std::string& path) {
            m_calls.push_back({op, path});
            return int(m_calls.size()) - 1 == m_failAt;
        });
    }
    ~CFaultScript() { platform::SetFaultHook(nullptr); }
    std::vector<CCall> m_calls;
    int m_failAt;
};

enum class EExpect { Silent, FileError, BackupError, Critical, Success };

// What a failure of call k should lead to, read from the clean run's calls:
// before the working copy is read nothing was written and nothing is said;
// then come file errors; then the backup; then the final rename; flushing a
// folder after a rename and the same-file probe only make things safer.
EExpect Expected(const std::vector<CCall>& clean, std::size_t k, const std::string& plugin) {
    std::size_t firstRead = clean.size(), closeWork = clean.size();
    std::string work;
    for (std::size_t i = 0; i < clean.size(); ++i) {
        if (clean[i].m_op == EFileOp::Copy && work.empty()) work = clean[i].m_path;
        if (clean[i].m_op == EFileOp::Read && clean[i].m_path == work && firstRead == clean.size()) firstRead = i;
        if (clean[i].m_op == EFileOp::Close && clean[i].m_path == work) closeWork = i;
    }
    const CCall& c = clean[k];
    if (c.m_op == EFileOp::Sync && !c.m_path.empty() && c.m_path.back() == '/') return EExpect::Success;
    if (k < firstRead) return EExpect::Silent;
    if (k <= closeWork) return EExpect::FileError;
    if (c.m_op == EFileOp::Move && c.m_path == plugin) return EExpect::Critical;
    // The backup copy starts by asking the plugin's mode; the call before
    // that is the probe for a backup path that is the plugin itself, whose
    // failure cannot tell and goes on.
    for (std::size_t i = closeWork + 1; i < clean.size(); ++i)
        if (clean[i].m_op == EFileOp::Stat && clean[i].m_path == plugin) {
            if (k + 1 == i) return EExpect::Success;
            break;
        }
    return EExpect::BackupError;
}

struct CScenario {
    const char* m_name;
    const char* m_failText;
    // Prepares the session (may make earlier, successful changes).
    std::function<void(CWriterSession&)> m_prepare;
    // The change under test; true when it succeeded. `expect` is the file as
    // it must be after success.
    std::function<bool(CWriterSession&, std::string& expect)> m_change;
};

std::vector<CScenario> Scenarios() {
    return {
        {"rewrite", "Could not update this Entry.", [](CWriterSession&) {},
         [](CWriterSession& s, std::string& expect) {
             std::vector<CRec> after = s.m_recs;
             after[4].m_data = SubBytes({Sub("MODL", Z("grown.nif"))});
             expect = RebuiltBytes(after);
             return s.m_file->RewriteEntry(*s.m_recs[4].m_entry, {"MODL"}, {Z("grown.nif")}, s.m_link);
         }},
        {"erase", "Could not delete this Entry.", [](CWriterSession&) {},
         [](CWriterSession& s, std::string& expect) {
             std::vector<CRec> after = s.m_recs;
             after.erase(after.begin() + 7);
             expect = RebuiltBytes(after);
             CEntry copy = *s.m_recs[7].m_entry;
             return s.m_file->EraseEntry(copy, s.m_link);
         }},
        {"erase many", "Could not delete this Entry.", [](CWriterSession&) {},
         [](CWriterSession& s, std::string& expect) {
             std::vector<CRec> after = s.m_recs;
             for (std::size_t k : {9u, 5u, 1u}) after.erase(after.begin() + k);
             expect = RebuiltBytes(after);
             auto erased =
                 s.m_file->EraseEntries({s.m_recs[1].m_entry, s.m_recs[5].m_entry, s.m_recs[9].m_entry}, s.m_link);
             return bool(erased[0]);
         }},
        // A second change: the backup exists, the plugin was replaced once.
        {"rewrite after erase", "Could not update this Entry.",
         [](CWriterSession& s) { ASSERT_TRUE(s.Erase(2)); },
         [](CWriterSession& s, std::string& expect) {
             std::vector<CRec> after = s.m_recs;
             after[6].m_data.clear();
             expect = RebuiltBytes(after);
             return s.m_file->RewriteEntry(*s.m_recs[6].m_entry, {}, {}, s.m_link);
         }},
        // An older backup is there; the user chooses a new name for this one.
        {"erase with chosen backup", "Could not delete this Entry.",
         [](CWriterSession& s) {
             CPluginBuilder().Raw("old").Write(s.BackupPath());
             s.m_link.m_answers = {EAnswer::Yes};
             s.m_link.m_choices = {CFileChoice{CFileChoice::EStatus::Chosen, {s.m_dir / "Chosen.bak"}}};
         },
         [](CWriterSession& s, std::string& expect) {
             std::vector<CRec> after = s.m_recs;
             after.erase(after.begin());
             expect = RebuiltBytes(after);
             CEntry copy = *s.m_recs[0].m_entry;
             return s.m_file->EraseEntry(copy, s.m_link);
         }},
    };
}

}  // namespace

TEST(WriterFaults, EachFileCallFailingInTurn) {
    const std::string eio = std::strerror(EIO);
    for (const CScenario& scenario : Scenarios()) {
        SCOPED_TRACE(scenario.m_name);
        // The clean run tells which calls there are.
        std::vector<CCall> clean;
        std::string cleanPlugin;
        {
            CWriterSession s(SampleRecords());
            scenario.m_prepare(s);
            CFaultScript script;
            std::string expect;
            const bool ok = scenario.m_change(s, expect);
            clean = script.m_calls;
            platform::SetFaultHook(nullptr);
            ASSERT_TRUE(ok);
            ASSERT_EQ(FileBytes(s.Path()), expect);
            cleanPlugin = s.Path();
        }
        ASSERT_GT(clean.size(), 15u);
        for (std::size_t k = 0; k < clean.size(); ++k) {
            SCOPED_TRACE("call " + std::to_string(k) + ": " + OpName(clean[k].m_op) + " " + clean[k].m_path);
            CWriterSession s(SampleRecords());
            scenario.m_prepare(s);
            const std::string before = FileBytes(s.Path());
            const std::string model = ModelSnapshot(*s.m_file);
            std::map<std::string, std::string> filesBefore;
            for (const auto& name : FolderNames(s.m_dir.Path())) filesBefore[name] = FileBytes(s.m_dir / name);
            const std::size_t messagesBefore = s.m_link.Messages().size();
            const std::string plugin = s.Path();
            bool ok;
            std::string expect;
            std::vector<CCall> calls;
            {
                CFaultScript script{int(k)};
                ok = scenario.m_change(s, expect);
                calls = script.m_calls;
            }
            // The same calls up to the failing one: the classification holds.
            ASSERT_GT(calls.size(), k);
            ASSERT_EQ(int(calls[k].m_op), int(clean[k].m_op));

            const EExpect want = Expected(clean, k, cleanPlugin);
            std::vector<CMessage> messages = s.m_link.Messages();
            messages.erase(messages.begin(), messages.begin() + std::ptrdiff_t(messagesBefore));
            // The chosen-backup scenario asks its question first.
            if (!messages.empty() && messages[0].m_caption == "File Exists") messages.erase(messages.begin());

            const bool shortCall = clean[k].m_op == EFileOp::ShortRead || clean[k].m_op == EFileOp::ShortWrite;
            const std::string fileError = shortCall ? scenario.m_failText : eio;
            const std::string backupPath = s.m_file->m_backupPath;
            switch (want) {
                case EExpect::Success:
                    EXPECT_TRUE(ok);
                    EXPECT_TRUE(messages.empty());
                    EXPECT_EQ(FileBytes(plugin), expect);
                    break;
                case EExpect::Silent:
                    EXPECT_FALSE(ok);
                    EXPECT_TRUE(messages.empty());
                    break;
                case EExpect::FileError:
                    EXPECT_FALSE(ok);
                    ASSERT_EQ(messages.size(), 1u);
                    EXPECT_EQ(messages[0].m_text, fileError);
                    EXPECT_EQ(messages[0].m_icon, EIcon::Stop);
                    break;
                case EExpect::BackupError:
                    EXPECT_FALSE(ok);
                    ASSERT_EQ(messages.size(), 1u);
                    EXPECT_EQ(messages[0].m_text, shortCall ? "Could not create a Backup." : eio);
                    EXPECT_EQ(messages[0].m_caption, "VANTOR");
                    break;
                case EExpect::Critical:
                    EXPECT_FALSE(ok);
                    ASSERT_EQ(messages.size(), 2u);
                    EXPECT_EQ(messages[0].m_text, "Esp may be lost, restore from generated Backup.");
                    EXPECT_EQ(messages[0].m_caption, "Critical Error");
                    EXPECT_EQ(messages[0].m_icon, EIcon::Stop);
                    EXPECT_EQ(messages[1].m_text, eio);
                    break;
            }
            if (want != EExpect::Success) {
                EXPECT_EQ(FileBytes(plugin), before);
                EXPECT_EQ(ModelSnapshot(*s.m_file), model);
            }
            // Files that were there keep their bytes; the one new file allowed
            // is a backup made before the failure, holding the original bytes.
            for (const auto& [name, bytes] : filesBefore)
                if (name != s.m_name) {
                    EXPECT_EQ(FileBytes(s.m_dir / name), bytes) << name;
                }
            for (const auto& name : FolderNames(s.m_dir.Path())) {
                if (filesBefore.count(name)) continue;
                EXPECT_EQ(s.m_dir / name, backupPath);
                EXPECT_EQ(FileBytes(s.m_dir / name), s.m_original);
            }
            if (want == EExpect::Success) {
                EXPECT_EQ(FileBytes(backupPath), s.m_original);
            }
        }
    }
}

TEST(WriterFaults, CleanupThatFailsLeavesOnlyAWorkingFile) {
    CWriterSession s(SampleRecords());
    // Ending the working copy fails, and so does removing it afterwards.
    platform::SetFaultHook([](EFileOp op, const std::string&) { return op == EFileOp::Remove || op == EFileOp::Truncate; });
    CEntry copy = *s.m_recs[3].m_entry;
    const bool ok = s.m_file->EraseEntry(copy, s.m_link);
    platform::SetFaultHook(nullptr);
    EXPECT_FALSE(ok);
    ASSERT_EQ(s.m_link.Messages().size(), 1u);
    // The message tells why the change failed, not why the cleanup did.
    EXPECT_EQ(s.m_link.Messages()[0].m_text, std::strerror(EIO));
    EXPECT_EQ(FileBytes(s.Path()), s.m_original);
    std::set<std::string> names = FolderNames(s.m_dir.Path());
    ASSERT_EQ(names.size(), 2u);
    names.erase("Mod.esp");
    const std::string stray = *names.begin();
    // The leftover can never be taken for a plugin by the game.
    EXPECT_EQ(stray.rfind(".Mod.esp.", 0), 0u) << stray;
    EXPECT_EQ(stray.substr(stray.size() - 4), ".tmp");
}
