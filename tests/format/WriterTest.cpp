#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "format/Backup.h"
#include "fixtures/System.h"
#include "format/WriterFixture.h"
#include "platform/FileOps.h"

using namespace vantor;
using namespace vantor::fixtures;

namespace {

// Changes the subrecords of a record: 0 grows, 1 shrinks, 2 keeps the length
// (or grows when there is no byte to change).
void Mutate(std::mt19937& rng, int mode, CSubRecords& subs) {
    std::string* bytes = nullptr;  // the first payload that has any
    for (auto& s : subs) bytes = bytes ? bytes : s.m_payload.empty() ? nullptr : &s.m_payload;
    if (mode == 1 && !subs.empty()) {
        if (rng() % 2 && !subs.back().m_payload.empty()) {
            subs.back().m_payload.resize(subs.back().m_payload.size() / 2);
        } else {
            subs.pop_back();
        }
    } else if (mode == 2 && bytes) {
        (*bytes)[rng() % bytes->size()] ^= 0x5A;
    } else if (!subs.empty() && rng() % 2) {
        subs[rng() % subs.size()].m_payload.append(1 + rng() % 20, 'g');
    } else {
        subs.push_back({"XTRA", std::string(rng() % 30, 'x')});
    }
}

// A few changes in one pass, in any order: erasures and rewrites; repeats, data
// the entry holds already and an entry of no file are passed over, and now and
// then a rewrite of data never read refuses the whole pass.
void ChangeInOnePass(std::mt19937& rng, CWriterSession& s) {
    std::vector<CPluginFile::CEntryChange> changes;
    std::vector<bool> expect;
    std::set<const CEntry*> taken;
    for (int n = 0; n < 4; ++n) {
        const CRec& r = s.m_recs[rng() % s.m_recs.size()];
        CSubRecords subs;
        SplitSubRecords(r.m_data, subs);
        Mutate(rng, int(rng() % 3), subs);
        const auto& c = changes.emplace_back(
            CPluginFile::CEntryChange{r.m_entry, rng() % 3 == 0, rng() % 4 ? JoinSubRecords(subs) : r.m_data});
        expect.push_back(taken.insert(r.m_entry).second && (c.m_erase || c.m_data != r.m_data));
    }
    CEntry foreign;
    changes.push_back({&foreign, true, {}});
    expect.push_back(false);
    CEntry* unread = rng() % 5 ? nullptr : s.m_recs[rng() % s.m_recs.size()].m_entry;
    if (unread) {
        unread->m_dataDropped = true;
        changes.insert(changes.begin(), {unread, false, "XTRA"});
        expect.assign(changes.size(), false);
    }
    EXPECT_EQ(s.Change(changes), expect);
    if (unread) unread->m_dataDropped = false;
    const bool any = std::find(expect.begin(), expect.end(), true) != expect.end();
    EXPECT_EQ(s.m_last.m_failure,
              unread ? EWriteFailure::NotExtracted : any ? EWriteFailure::None : EWriteFailure::NothingToWrite);
}

void SetTimes(const std::string& path, std::int64_t access, std::int64_t write) {
    ASSERT_TRUE(platform::SetFileTimes(path, {access, 250000000, write, 500000000}));
}

void ExpectTimes(const std::string& path, std::int64_t access, std::int64_t write) {
    const auto times = platform::GetFileTimes(path);
    ASSERT_TRUE(times) << path;
#ifndef _WIN32
    // Windows may stamp the access time itself when a file is opened; the
    // write time, which orders the load order, is the one that must hold.
    EXPECT_EQ(times->m_accessSec, access) << path;
#else
    (void)access;
#endif
    EXPECT_EQ(times->m_writeSec, write) << path;
    EXPECT_EQ(times->m_writeNsec, 500000000) << path;
}

constexpr std::int64_t kAccess = 1100000000;  // 2004
constexpr std::int64_t kWrite = 1020000000;   // 2002: the load order rests on it

}  // namespace

TEST(Writer, RandomSequencesMatchTheFileRebuiltFromScratch) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        CWriterSession s(SampleRecords(2));
        for (int step = 0; step < 14 && !s.m_recs.empty(); ++step) {
            const std::size_t k = rng() % s.m_recs.size();
            const int kind = int(rng() % 5);
            if (kind <= 1 || kind == 4) {
                CSubRecords subs;
                SplitSubRecords(*s.m_recs[k].m_entry, subs);
                Mutate(rng, int(rng() % 3), subs);
                EXPECT_TRUE(s.Rewrite(k, subs));
                if (kind == 4) {
                    EXPECT_TRUE(s.Erase(k));  // rewrite, then erase the same record
                }
            } else if (kind == 2) {
                EXPECT_TRUE(s.Erase(k));
            } else {
                ASSERT_NO_FATAL_FAILURE(ChangeInOnePass(rng, s));
            }
            ASSERT_NO_FATAL_FAILURE(s.ExpectMatches());
        }
        ASSERT_NO_FATAL_FAILURE(ExpectReadsBackAsModel(s.m_dir.Path(), s.m_name, *s.m_file));
        EXPECT_TRUE(s.m_policy.m_asked.empty());
        EXPECT_EQ(FileBytes(s.BackupPath()), s.m_original);
        EXPECT_EQ(FolderNames(s.m_dir.Path()), (std::set<std::string>{"Mod.esp", "Mod.OLD"}));
    }
}

TEST(Writer, NamesAndLinksLeadToTheFileOnDisk) {
    {  // Opened by a name whose case differs from the file's, 250 bytes long:
       // the working file's name does not grow with the plugin's. A run killed
       // while it worked left its working file behind.
        const std::string name = std::string(246, 'n') + ".esp";
        CWriterSession s(SampleRecords(), name, std::string(246, 'N') + ".ESP");
#ifdef _WIN32
        const long long child = 999999996;  // ids are multiples of 4, far below this
#else
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) ::_exit(0);
        ASSERT_EQ(::waitpid(child, nullptr, 0), child);
#endif
        CPluginBuilder().Raw(s.m_original).Write(s.m_dir / (".vantor-" + std::to_string(child) + "-abcdefghijkl.tmp"));
        ASSERT_TRUE(s.Erase(2));
        ASSERT_NO_FATAL_FAILURE(s.ExpectMatches());
        EXPECT_EQ(FolderNames(s.m_dir.Path()), (std::set<std::string>{name, name.substr(0, 247) + "OLD"}));
    }
#ifndef _WIN32  // links need a privilege on Windows
    {  // A plugin that is a link: the file it leads to changes, the link stays.
        CWriterSession s(SampleRecords(), "Linked.esp");
        CTempDir store;
        ASSERT_EQ(::rename(s.Path().c_str(), (store / "real.esp").c_str()), 0);
        ASSERT_EQ(::symlink((store / "real.esp").c_str(), s.Path().c_str()), 0);
        ASSERT_TRUE(s.Erase(0));
        ASSERT_NO_FATAL_FAILURE(s.ExpectMatches());
        struct stat st{};
        ASSERT_EQ(::lstat(s.Path().c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        EXPECT_EQ(FileBytes(s.BackupPath()), s.m_original);
        EXPECT_EQ(FolderNames(store.Path()), std::set<std::string>{"real.esp"});
    }
#endif
}

// A file at the backup path is put to the policy, whose answer is followed
// as far as it is safe: a file is never replaced by a backup, and the plugin
// itself (or a hard link to it) is never taken as its backup. A backup made
// keeps the plugin's times and mode, and so does the changed plugin.
TEST(Writer, TheBackupPolicyDecidesWithinSafeBounds) {
    using EChoice = CBackupDecision::EChoice;
    struct CCase {
        const char* m_name;
        const char* m_plugin;  // the plugin's file name; its default backup is *.OLD
        std::vector<std::string> m_beside;  // files beside it: "=name" a hard link to the plugin, "name/" a folder
        CBackupDecision m_decision;  // relative path, made absolute below
        int m_asked;                 // 0 not asked, 1 asked, 2 told the backup is the plugin
        EWriteFailure m_failure;
        const char* m_backup;  // where the old bytes must be afterwards, "" for nowhere new
    };
    const CCase cases[] = {
        {"no backup yet", "Mod.esp", {}, {}, 0, EWriteFailure::None, "Mod.OLD"},
        {"cancel", "Mod.esp", {"Mod.OLD"}, {EChoice::Cancel, ""}, 1, EWriteFailure::BackupCancelled, ""},
        {"chooser failed", "Mod.esp", {"Mod.OLD"}, {EChoice::Failed, ""}, 1, EWriteFailure::BackupChooser, ""},
        {"keep the older backup", "Mod.esp", {"Mod.OLD"}, {EChoice::UseExisting, ""}, 1, EWriteFailure::None, ""},
        {"a new name", "Mod.esp", {"Mod.OLD"}, {EChoice::MakeNew, "Mod.OLD2"}, 1, EWriteFailure::None, "Mod.OLD2"},
        {"a chosen name that exists", "Mod.esp", {"Mod.OLD", "Other.esp"}, {EChoice::MakeNew, "Other.esp"}, 1,
         EWriteFailure::BackupNameTaken, ""},
        {"the existing backup chosen again", "Mod.esp", {"Mod.OLD"}, {EChoice::MakeNew, "Mod.OLD"}, 1,
         EWriteFailure::BackupNameTaken, ""},
        {"a plugin named like its backup, accepted", "Mod.OLD", {}, {EChoice::UseExisting, ""}, 2,
         EWriteFailure::BackupIsPlugin, ""},
        {"a plugin named like its backup, a new name", "Mod.OLD", {}, {EChoice::MakeNew, "Mod.bak"}, 2,
         EWriteFailure::None, "Mod.bak"},
        {"a hard link to the plugin, accepted", "Mod.esp", {"=Mod.OLD"}, {EChoice::UseExisting, ""}, 2,
         EWriteFailure::BackupIsPlugin, ""},
        {"a hard link to the plugin chosen", "Mod.esp", {"Mod.OLD", "=Twin.esp"}, {EChoice::MakeNew, "Twin.esp"}, 1,
         EWriteFailure::BackupIsPlugin, ""},
        {"a folder accepted as the backup", "Mod.esp", {"Mod.OLD/"}, {EChoice::UseExisting, ""}, 1,
         EWriteFailure::NotRegular, ""},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_name);
        CWriterSession s(SampleRecords(), c.m_plugin);
        for (const std::string& b : c.m_beside) {
            std::error_code ec;
            if (b[0] == '=') {
                std::filesystem::create_hard_link(platform::FsPath(s.Path()), platform::FsPath(s.m_dir / b.substr(1)), ec);
            } else if (b.back() == '/') {
                MakeFolder(s.m_dir / b);
            } else {
                CPluginBuilder().Raw("older " + b).Write(s.m_dir / b);
            }
        }
        const std::string model = ModelSnapshot(*s.m_file);
        const auto before = FolderFiles(s.m_dir.Path());
        ASSERT_TRUE(SetMode(s.Path(), 0640));
        SetTimes(s.Path(), kAccess, kWrite);  // after reading, which touches the access time
        CBackupDecision decision = c.m_decision;
        if (!decision.m_path.empty()) decision.m_path = s.m_dir / decision.m_path;
        s.m_policy.m_decisions = {decision};

        EXPECT_EQ(s.Erase(0), c.m_failure == EWriteFailure::None);
        EXPECT_EQ(s.m_last.m_failure, c.m_failure);
        ASSERT_EQ(s.m_policy.m_asked.size(), c.m_asked ? 1u : 0u);
        if (c.m_asked) {
            EXPECT_EQ(s.m_policy.m_asked[0].m_isPlugin, c.m_asked == 2);
            EXPECT_EQ(s.m_policy.m_asked[0].m_backup, s.BackupPath());
        }
        for (const auto& [name, bytes] : before)
            if (name != s.m_name) {
                EXPECT_EQ(FileBytes(s.m_dir / name), bytes) << name;
            }
        EXPECT_EQ(s.m_file->BackedUp(), c.m_failure == EWriteFailure::None);
        if (*c.m_backup) {
            ExpectTimes(s.m_dir / c.m_backup, kAccess, kWrite);  // before reading touches them
            EXPECT_EQ(FileBytes(s.m_dir / c.m_backup), s.m_original);
            EXPECT_EQ(s.m_file->BackupPath(), s.m_dir / c.m_backup);
            EXPECT_EQ(platform::FileMode(s.m_dir / c.m_backup), KeptMode(0640));
        }
        if (c.m_failure == EWriteFailure::None) {
            ExpectTimes(s.Path(), kAccess, kWrite);
            EXPECT_EQ(platform::FileMode(s.Path()), KeptMode(0640));
            ASSERT_NO_FATAL_FAILURE(s.ExpectMatches());
        } else {
            EXPECT_TRUE(s.m_last.m_pluginUnchanged);
            EXPECT_EQ(FileBytes(s.Path()), s.m_original);
            EXPECT_EQ(ModelSnapshot(*s.m_file), model);
        }
        EXPECT_EQ(FolderNames(s.m_dir.Path()).size(), before.size() + (*c.m_backup ? 1 : 0));
    }
}

// The plugin is looked at before anything is written: one case per check,
// each the only one that fails, and a refusal leaves everything as it was,
// as does a rewrite that changes nothing.
TEST(Writer, APluginThatIsNotAsReadIsRefused) {
    // Bytes replaced at a place in the record, counted from its end when negative.
    auto patch = [](std::int64_t at, std::string bytes) {
        return [=](CWriterSession& s, const CEntry& e) {
            std::string file = FileBytes(s.Path());
            file.replace(std::size_t(e.m_offset + (at < 0 ? e.m_size : 0) + at), bytes.size(), bytes);
            ASSERT_TRUE(CPluginBuilder().Raw(file).Write(s.Path()));
        };
    };
    struct CCase {
        const char* m_name;
        std::function<void(CWriterSession&, const CEntry&)> m_make;
        char m_change;  // 'g'row, 'e'rase, or 's'ame data
        EWriteFailure m_failure;
    };
    auto nothing = [](CWriterSession&, const CEntry&) {};
    std::vector<CCase> cases = {
        // Changed by another program since it was read.
        {"the file cut short", [](CWriterSession& s, const CEntry&) {
             ASSERT_TRUE(CPluginBuilder().Raw(s.m_original.substr(0, s.m_original.size() - 2)).Write(s.Path()));
         }, 'e', EWriteFailure::ChangedOnDisk},
        {"another tag at the record", patch(0, "XXXX"), 'g', EWriteFailure::ChangedOnDisk},
        {"another size at the record", patch(4, "\x7f"), 'e', EWriteFailure::ChangedOnDisk},
        {"other data of the same length", patch(-1, "x"), 'g', EWriteFailure::ChangedOnDisk},
        // Root could write it: the permission bits decide all the same.
        {"read-only", [](CWriterSession& s, const CEntry&) { ASSERT_TRUE(SetMode(s.Path(), 0444)); }, 'g',
         EWriteFailure::ReadOnly},
        {"a folder in its place", [](CWriterSession& s, const CEntry&) {
             ASSERT_TRUE(platform::RemoveFile(s.Path()) && MakeFolder(s.Path()));
         }, 'e', EWriteFailure::NotRegular},
        {"the same data", nothing, 's', EWriteFailure::NothingToWrite},
    };
#ifndef _WIN32  // Windows has no FIFOs
    cases.push_back({"a FIFO in its place", [](CWriterSession& s, const CEntry&) {
                         ::unlink(s.Path().c_str());
                         ::mkfifo(s.Path().c_str(), 0644);
                     }, 'g', EWriteFailure::NotRegular});
#endif
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_name);
        CWriterSession s(SampleRecords());
        const std::size_t k = s.m_recs.size() - 1;  // the last record: a cut reaches it
        const CEntry& e = *s.m_recs[k].m_entry;
        ASSERT_NO_FATAL_FAILURE(c.m_make(s, e));
        SetTimes(s.Path(), kAccess, kWrite);
        const std::string onDisk = FileBytes(s.Path());
        const std::string model = ModelSnapshot(*s.m_file);
        CSubRecords subs;
        SplitSubRecords(e, subs);
        if (c.m_change == 'g') subs.push_back({"XTRA", "new"});
        EXPECT_FALSE(c.m_change == 'e' ? s.Erase(k) : s.Rewrite(k, subs));
        EXPECT_EQ(s.m_last.m_failure, c.m_failure);
        EXPECT_EQ(s.m_last.m_path, c.m_failure == EWriteFailure::NothingToWrite ? "" : s.Path());
        EXPECT_EQ(platform::LastWriteTime(s.Path()), kWrite);
        EXPECT_EQ(FileBytes(s.Path()), onDisk);
        EXPECT_EQ(ModelSnapshot(*s.m_file), model);
        EXPECT_EQ(FolderNames(s.m_dir.Path()), std::set<std::string>{"Mod.esp"});  // no backup, no working copy
        EXPECT_TRUE(!s.m_file->BackedUp() && s.m_policy.m_asked.empty());
    }
}

TEST(Writer, HeaderStatesTheRecordsTheFileHolds) {
    const std::vector<CRec> recs = SampleRecords();
    const std::uint32_t total = std::uint32_t(recs.size());
    struct CCase {
        const char* m_name;
        std::uint32_t m_stated;
        bool m_junk;         // bytes the reader passes over: the records cannot be counted
        std::uint32_t m_expect;  // after erasing three records and rewriting one
    };
    const CCase cases[] = {  // a right count is kept right by every other test
        {"count wrong", 999, false, total - 3},
        {"junk between records", total, true, total - 3},
        {"junk and a wrong count", 999, true, 996},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_name);
        CTempDir dir;
        CPluginBuilder b;
        b.Header({"Morrowind.esm"}, c.m_stated);
        for (std::size_t k = 0; k < recs.size(); ++k) {
            b.RecordData(recs[k].m_tag, recs[k].m_head + recs[k].m_data);
            if (c.m_junk && k == 4) b.Raw("junk");
        }
        ASSERT_TRUE(b.Write(dir / "Mod.esp"));
        auto file = LoadPlugin(dir.Path(), "Mod.esp");
        CFixedBackupPolicy policy;
        std::vector<bool> erased;
        ASSERT_TRUE(file->EraseEntries({file->GetTable("STAT")->at(0).get(), file->GetTable("NPC_")->at(0).get()},
                                       policy, erased).Ok());
        CEntry copy = *file->GetTable("GMST")->at(0);
        ASSERT_TRUE(file->EraseEntry(copy, policy).Ok());
        file->DetachEntry(file->GetTable("GMST")->at(0).get(), "GMST");
        ASSERT_TRUE(file->RewriteEntry(*file->GetTable("MISC")->at(0), {{"MODL", Z("new.nif")}}, policy).Ok());
        EXPECT_EQ(LoadPlugin(dir.Path(), "Mod.esp")->HeaderRecordCount(), c.m_expect);
    }
}

TEST(Writer, AnOutputThatIsAPluginIsBackedUpFirst) {
    CTempDir dir;
    const std::string plugin = CPluginBuilder().Header().Record("MISC", {Name("a")}).Bytes();
    CPluginBuilder().Raw(plugin).Write(dir / "Repair.esp");
    CPluginBuilder().Raw("a log").Write(dir / "log.txt");
    ASSERT_TRUE(MakeFolder(dir / "folder"));
    CScriptedPolicy policy;
#ifndef _WIN32  // Windows has no FIFOs
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    EXPECT_EQ(BackUpOutput(dir / "fifo", policy).m_failure, EWriteFailure::NotRegular);  // and no wait for a writer
#endif
    std::string backup = "unset";
    EXPECT_TRUE(BackUpOutput(dir / "absent.esp", policy, &backup).Ok());
    EXPECT_EQ(backup, "");
    EXPECT_TRUE(BackUpOutput(dir / "log.txt", policy, &backup).Ok());
    EXPECT_EQ(backup, "");
    EXPECT_EQ(BackUpOutput(dir / "folder", policy).m_failure, EWriteFailure::NotRegular);
    ASSERT_TRUE(BackUpOutput(dir / "Repair.esp", policy, &backup).Ok());
    EXPECT_EQ(backup, dir / "Repair.OLD");
    EXPECT_EQ(FileBytes(dir / "Repair.OLD"), plugin);
    // The next time the backup name is taken: the policy decides, nothing is replaced.
    EXPECT_EQ(BackUpOutput(dir / "Repair.esp", policy).m_failure, EWriteFailure::BackupCancelled);
    policy.m_decisions = {{CBackupDecision::EChoice::MakeNew, dir / "log.txt"}};
    EXPECT_EQ(BackUpOutput(dir / "Repair.esp", policy).m_failure, EWriteFailure::BackupNameTaken);
    EXPECT_EQ(FileBytes(dir / "log.txt"), "a log");
    EXPECT_TRUE(policy.m_asked.size() == 2u && !policy.m_asked[1].m_isPlugin);
}

// On demand (about 2 GB of memory and 6 GB of disk, most of it sparse):
//   build/tests/format_tests --gtest_also_run_disabled_tests --gtest_filter='*PastTwoGigabytes*'
TEST(Writer, DISABLED_ARecordPastTwoGigabytesIsErased) {
    CTempDir dir;
    const std::string path = dir / "Big.esp";
    CPluginBuilder head;
    head.Header().Record("MISC", {Name("near")});
    CPluginBuilder tail;
    tail.Record("STAT", {Name("far"), Sub("MODL", Z("far.nif"))}).Record("MISC", {Name("after")});
    const std::int64_t farAt = (std::int64_t(1) << 31) + 100;
    ASSERT_TRUE(head.Write(path));
    {
        platform::CFile f;
        ASSERT_TRUE(f.Open(path));
        ASSERT_TRUE(f.Seek(std::uint64_t(farAt)));  // a hole of zeros up to here
        ASSERT_TRUE(f.Write(tail.Bytes()));
        ASSERT_TRUE(f.Close());
    }
    auto file = LoadPlugin(dir.Path(), "Big.esp");
    ASSERT_EQ(file->GetTable("STAT")->size(), 1u);
    const CEntry far = *file->GetTable("STAT")->at(0);
    EXPECT_EQ(far.m_offset, farAt);
    CFixedBackupPolicy policy;
    ASSERT_TRUE(file->EraseEntry(far, policy).Ok());
    ASSERT_TRUE(file->DetachEntry(file->GetTable("STAT")->at(0).get(), "STAT"));
    EXPECT_EQ(platform::FileSize(path), std::uint64_t(farAt) + tail.Size() - std::uint64_t(far.m_size));
    EXPECT_EQ(platform::FileSize(dir / "Big.OLD"), std::uint64_t(farAt) + tail.Size());
    const CEntry& after = *file->GetTable("MISC")->at(1);
    EXPECT_EQ(file->CurrentOffset(after), farAt);
    auto again = LoadPlugin(dir.Path(), "Big.esp");
    EXPECT_TRUE(again->GetTable("STAT")->empty());
    ASSERT_EQ(again->GetTable("MISC")->size(), 2u);
    EXPECT_EQ(again->GetTable("MISC")->at(1)->m_offset, farAt);
}
