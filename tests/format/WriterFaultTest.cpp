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

// What a failure of call k leads to, read from the clean run's calls: the
// plugin's state is inspected, the working copy made and filled, then
// changed, then the backup made, then the working copy renamed over the
// plugin. Flushing a folder after a rename only makes things safer.
EWriteFailure Expected(const std::vector<CCall>& clean, std::size_t k, const std::string& plugin) {
    const std::size_t none = clean.size();
    std::size_t create = none, filled = none, closed = none;
    std::string work;
    for (std::size_t i = 0; i < clean.size(); ++i) {
        if (clean[i].m_op == EFileOp::CreateTemp && create == none) create = i;
        if (clean[i].m_op == EFileOp::Copy && work.empty()) work = clean[i].m_path;
        if (clean[i].m_op == EFileOp::Open && clean[i].m_path == plugin && filled == none) filled = i;
        if (clean[i].m_op == EFileOp::Close && clean[i].m_path == work) closed = i;
    }
    // Where the system has no copy call of its own, the copy into the
    // working file writes it in pieces: those writes still make the copy.
    while (filled + 1 < clean.size() && clean[filled + 1].m_path == work &&
           (clean[filled + 1].m_op == EFileOp::Write || clean[filled + 1].m_op == EFileOp::ShortWrite))
        ++filled;
    const CCall& c = clean[k];
    if (c.m_op == EFileOp::Sync && !c.m_path.empty() && (c.m_path.back() == '/' || c.m_path.back() == '\\'))
        return EWriteFailure::None;
    if (k < create) return EWriteFailure::Inspect;
    if (k <= filled) return EWriteFailure::WorkingCopy;
    if (k <= closed) return EWriteFailure::WorkingFile;
    if (c.m_op == EFileOp::Move && c.m_path == plugin) return EWriteFailure::Rename;
    return EWriteFailure::Backup;
}

// A change to make, after `prepare` (which may make earlier, successful
// changes); the session's reference follows each change that succeeds.
struct CScenario {
    const char* m_name;
    std::function<void(CWriterSession&)> m_prepare;
    std::function<bool(CWriterSession&)> m_change;
};

const CScenario kScenarios[] = {
    {"erase and rewrite many", [](CWriterSession&) {},
     [](CWriterSession& s) {
         return bool(s.Change({{s.m_recs[1].m_entry, true, {}}, {s.m_recs[5].m_entry, false, "XTRA"},
                               {s.m_recs[9].m_entry, true, {}}})[0]);
     }},
    // A second change: the backup exists, the plugin was replaced once.
    {"rewrite after erase", [](CWriterSession& s) { ASSERT_TRUE(s.Erase(2)); },
     [](CWriterSession& s) { return s.Rewrite(6, {}); }},
    // An older backup is there; the user chooses a new name for this one.
    {"erase with chosen backup",
     [](CWriterSession& s) {
         CPluginBuilder().Raw("old").Write(s.BackupPath());
         s.m_policy.m_decisions = {{CBackupDecision::EChoice::MakeNew, s.m_dir / "Chosen.bak"}};
     },
     [](CWriterSession& s) { return s.Erase(0); }},
};

}  // namespace

TEST(WriterFaults, EachFileCallFailingInTurn) {
    const std::string eio = std::strerror(EIO);
    for (const CScenario& scenario : kScenarios) {
        SCOPED_TRACE(scenario.m_name);
        // The clean run tells which calls there are.
        std::vector<CCall> clean;
        std::string cleanPlugin;
        {
            CWriterSession s(SampleRecords());
            scenario.m_prepare(s);
            CFaultScript script;
            const bool ok = scenario.m_change(s);
            clean = script.m_calls;
            ASSERT_TRUE(ok);
            ASSERT_NO_FATAL_FAILURE(s.ExpectMatches());
            cleanPlugin = s.Path();
        }
        ASSERT_GT(clean.size(), 15u);
        for (std::size_t k = 0; k < clean.size(); ++k) {
            SCOPED_TRACE("call " + std::to_string(k) + ": op " + std::to_string(int(clean[k].m_op)) + " " + clean[k].m_path);
            CWriterSession s(SampleRecords());
            scenario.m_prepare(s);
            const std::string model = ModelSnapshot(*s.m_file);
            const auto before = FolderFiles(s.m_dir.Path());
            bool ok;
            std::vector<CCall> calls;
            {
                CFaultScript script{int(k)};
                ok = scenario.m_change(s);
                calls = script.m_calls;
            }
            // The same calls up to the failing one: the classification holds.
            ASSERT_GT(calls.size(), k);
            ASSERT_EQ(int(calls[k].m_op), int(clean[k].m_op));

            const EWriteFailure want = Expected(clean, k, cleanPlugin);
            EXPECT_EQ(ok, want == EWriteFailure::None);
            EXPECT_EQ(int(s.m_last.m_failure), int(want));
            const bool shortCall = clean[k].m_op == EFileOp::ShortRead || clean[k].m_op == EFileOp::ShortWrite;
            EXPECT_EQ(s.m_last.m_reason, want == EWriteFailure::None || shortCall ? "" : eio);
            const std::string backupPath = s.m_file->BackupPath();
            // Whatever failed, even the final rename, the plugin was not
            // touched. Other files keep their bytes; the one new file allowed
            // is the backup, holding the original bytes.
            auto after = FolderFiles(s.m_dir.Path());
            if (want == EWriteFailure::None) {
                EXPECT_EQ(after[s.m_name], RebuiltBytes(s.m_recs));
                EXPECT_EQ(FileBytes(backupPath), s.m_original);
            } else {
                EXPECT_TRUE(s.m_last.m_pluginUnchanged);
                EXPECT_EQ(ModelSnapshot(*s.m_file), model);
            }
            for (const auto& [name, bytes] : before)
                if (name != s.m_name || want != EWriteFailure::None) {
                    EXPECT_EQ(after[name], bytes) << name;
                }
            for (const auto& [name, bytes] : after)
                if (!before.count(name)) {
                    EXPECT_EQ(s.m_dir / name, backupPath);
                    EXPECT_EQ(bytes, s.m_original);
                }
        }
    }
}

TEST(WriterFaults, CleanupThatFailsLeavesOnlyAWorkingFile) {
    CWriterSession s(SampleRecords());
    bool ok;
    {
        // Ending the working copy fails, and so does removing it afterwards.
        CFaultScript reset;  // takes the hook below away however the test ends
        platform::SetFaultHook([](EFileOp op, const std::string&) { return op == EFileOp::Remove || op == EFileOp::Truncate; });
        ok = s.Erase(3);
    }
    EXPECT_FALSE(ok);
    // The result tells why the change failed, not why the cleanup did.
    EXPECT_EQ(s.m_last.m_failure, EWriteFailure::WorkingFile);
    EXPECT_EQ(s.m_last.m_reason, std::strerror(EIO));
    EXPECT_EQ(FileBytes(s.Path()), s.m_original);
    std::set<std::string> names = FolderNames(s.m_dir.Path());
    ASSERT_EQ(names.size(), 2u);
    names.erase("Mod.esp");
    const std::string stray = *names.begin();
    // The leftover can never be taken for a plugin by the game.
    EXPECT_EQ(stray.rfind(".vantor-", 0), 0u) << stray;
    EXPECT_EQ(stray.substr(stray.size() - 4), ".tmp");
}
