#pragma once
// Shared by the writer tests: a reference list of records that rebuilds the
// expected file from scratch, loading, and snapshots of the model and folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "format/PluginFile.h"
#include "format/SubRecord.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/TempDir.h"
#include "platform/Files.h"

namespace vantor::fixtures {

// A record as the reference knows it: `head` holds everything the reader
// consumes for the ID (and any bytes it passes over), `data` the rest.
struct CRec {
    std::string m_tag;
    std::string m_head;
    std::string m_data;
    CEntry* m_entry = nullptr;
};

inline std::string RebuiltBytes(const std::vector<CRec>& recs) {
    CPluginBuilder b;
    b.Header({"Morrowind.esm"});
    for (const auto& r : recs) b.RecordData(r.m_tag, r.m_head + r.m_data);
    return b.Bytes();
}

// A mix of shapes: same IDs in two tables and twice in one, an ID preceded by
// a DELE the reader passes over, records with nothing after the ID, an INFO
// and a CELL whose IDs take several subrecords, and a script header ID.
inline std::vector<CRec> SampleRecords(int copies = 1) {
    std::vector<CRec> recs;
    for (int c = 0; c < copies; ++c) {
        std::string n = c ? std::to_string(c) : std::string();
        recs.push_back({"STAT", SubBytes(Name("thing" + n)), SubBytes({Sub("MODL", Z("thing.nif"))})});
        recs.push_back({"MISC", SubBytes(Name("thing" + n)),
                        SubBytes({Sub("MODL", Z("m.nif")), Sub("FNAM", Z("Thing")), Sub("MCDT", I32(5) + I32(1) + I32(0))})});
        recs.push_back({"STAT", SubBytes(Name("dup" + n)), SubBytes({Sub("MODL", Z("d1.nif"))})});
        recs.push_back({"STAT", SubBytes(Name("dup" + n)), SubBytes({Sub("MODL", Z("d2.nif")), Dele()})});
        recs.push_back({"MISC", SubBytes(Name("bare" + n)), ""});
        recs.push_back({"STAT", SubBytes({Dele(), Name("dele_first" + n)}), SubBytes({Sub("MODL", Z("x.nif"))})});
        recs.push_back({"DIAL", SubBytes(Name("Greeting" + n)), SubBytes({Sub("DATA", std::string(1, '\0'))})});
        recs.push_back({"INFO", SubBytes({Sub("INAM", Z("1" + n)), Sub("PNAM", Z("")), Sub("NNAM", Z("2" + n))}),
                        SubBytes({Sub("DATA", std::string(12, '\0')), Sub("NAME", "Hello there.")})});
        recs.push_back({"CELL", SubBytes({Name("Vivec" + n), Sub("DATA", I32(1) + I32(0) + I32(0))}),
                        SubBytes({Sub("FRMR", I32(7)), Sub("NAME", Z("door"))})});
        recs.push_back({"SCPT", SubBytes({Sub("SCHD", Fixed("scr" + n, 32) + std::string(20, '\1'))}),
                        SubBytes({Sub("SCTX", "begin scr\nend")})});
        recs.push_back({"NPC_", SubBytes(Name("guard" + n)),
                        SubBytes({Sub("FNAM", Z("Guard")), Sub("NPDT", std::string(52, '\3')), Sub("NPCO", std::string(36, 'i'))})});
        recs.push_back({"GMST", SubBytes(Name("fSetting" + n)), SubBytes({Sub("FLTV", F32(1.5f))})});
    }
    return recs;
}

inline std::unique_ptr<CPluginFile> LoadPlugin(const std::string& folder, const std::string& name) {
    auto f = std::make_unique<CPluginFile>();
    std::atomic<std::int32_t> stop{0};
    EXPECT_TRUE(f->Open(name, folder));
    EXPECT_TRUE(f->ReadRecords(stop, CExtractOpts::All()));
    f->Close();
    return f;
}

// The model matches a fresh read of the file it changed: the same entries
// with the same data, each at the offset the model gives it now.
inline void ExpectReadsBackAsModel(const std::string& folder, const std::string& name, const CPluginFile& file) {
    auto again = LoadPlugin(folder, name);
    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
        ASSERT_EQ(again->Table(t).size(), file.Table(t).size()) << CPluginFile::kTags[t];
        for (std::size_t i = 0; i < again->Table(t).size(); ++i) {
            EXPECT_EQ(again->Table(t)[i]->m_id, file.Table(t)[i]->m_id);
            EXPECT_EQ(again->Table(t)[i]->Data(), file.Table(t)[i]->Data());
            EXPECT_EQ(again->Table(t)[i]->m_offset, file.CurrentOffset(*file.Table(t)[i]));
        }
    }
}

inline std::string FileBytes(const std::string& path) {
    std::string out;
    if (!platform::ReadWholeFile(path, out)) return "<missing>";
    return out;
}

inline std::set<std::string> FolderNames(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

// Each file of the folder with its bytes.
inline std::map<std::string, std::string> FolderFiles(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& name : FolderNames(folder)) files[name] = FileBytes(platform::WithSeparator(folder) + name);
    return files;
}

// Everything the writer may change in the model, as text.
inline std::string ModelSnapshot(const CPluginFile& file) {
    std::string s;
    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t)
        for (const auto& e : file.Table(t))
            s += std::string(CPluginFile::kTags[t]) + "|" + e->m_id + "|" + std::to_string(e->m_offset) + "|" +
                 std::to_string(e->m_size) + "|" + std::to_string(e->m_sizeChange) + "|" + std::string(e->Data()) + "\n";
    s += "removed " + std::to_string(file.RemovedEntries().size()) + " rewritten " + std::to_string(file.RewrittenEntries().size());
    return s;
}

// Answers the backup question from a queue (Cancel when it is empty) and
// records each question.
class CScriptedPolicy : public CBackupPolicy {
public:
    struct CAsked {
        std::string m_plugin, m_backup;
        bool m_isPlugin;
    };
    CBackupDecision BackupExists(const std::string& pluginPath, const std::string& backupPath, bool isPlugin) override {
        m_asked.push_back({pluginPath, backupPath, isPlugin});
        if (m_decisions.empty()) return {};
        CBackupDecision d = m_decisions.front();
        m_decisions.erase(m_decisions.begin());
        return d;
    }
    std::vector<CBackupDecision> m_decisions;
    std::vector<CAsked> m_asked;
};

// One plugin on disk, its loaded model and the reference beside it.
class CWriterSession {
public:
    // `openAs`: the name the plugin is opened by, when not its own.
    explicit CWriterSession(std::vector<CRec> recs, std::string name = "Mod.esp", const std::string& openAs = "")
        : m_name(std::move(name)), m_recs(std::move(recs)) {
        m_original = RebuiltBytes(m_recs);
        EXPECT_TRUE(CPluginBuilder().Raw(m_original).Write(Path()));
        m_file = LoadPlugin(m_dir.Path(), openAs.empty() ? m_name : openAs);
        std::map<std::string, std::size_t> next;  // the k-th record of a tag is the k-th entry of its table
        for (auto& r : m_recs) r.m_entry = m_file->GetTable(r.m_tag)->at(next[r.m_tag]++).get();
    }

    std::string Path() const { return m_dir / m_name; }
    std::string BackupPath() const { return m_dir / (m_name.substr(0, m_name.size() - 3) + "OLD"); }

    bool Rewrite(std::size_t k, const CSubRecords& subs) {
        m_last = m_file->RewriteEntry(*m_recs[k].m_entry, subs, m_policy);
        const bool ok = m_last.Ok();
        if (ok) m_recs[k].m_data = JoinSubRecords(subs);
        return ok;
    }
    // One by one, as Delete Entry does: erase a copy, then detach.
    bool Erase(std::size_t k) {
        CEntry copy = *m_recs[k].m_entry;
        m_last = m_file->EraseEntry(copy, m_policy);
        if (!m_last.Ok()) return false;
        EXPECT_TRUE(m_file->DetachEntry(m_recs[k].m_entry, m_recs[k].m_tag));
        // A copy of an entry erased already would point at its successor.
        EXPECT_EQ(m_file->EraseEntry(copy, m_policy).m_failure, EWriteFailure::NotInFile);
        m_recs.erase(m_recs.begin() + std::ptrdiff_t(k));
        return true;
    }

    // Changes made in one pass; the reference follows those done.
    std::vector<bool> Change(const std::vector<CPluginFile::CEntryChange>& changes) {
        std::vector<bool> done;
        m_last = m_file->ChangeEntries(changes, m_policy, done);
        for (std::size_t i = 0; i < done.size(); ++i) {
            auto r = std::find_if(m_recs.begin(), m_recs.end(),
                                  [&](const CRec& c) { return c.m_entry == changes[i].m_entry; });
            if (!done[i] || r == m_recs.end()) continue;
            if (changes[i].m_erase) {
                m_recs.erase(r);
            } else {
                r->m_data = changes[i].m_data;
            }
        }
        return done;
    }

    // The file equals the one rebuilt from the reference, and the model
    // finds every record where it now is.
    void ExpectMatches() const {
        ASSERT_EQ(FileBytes(Path()), RebuiltBytes(m_recs));
        std::int64_t at = std::int64_t(CPluginBuilder().Header({"Morrowind.esm"}).Size());
        for (const CRec& r : m_recs) {
            const CEntry& e = *r.m_entry;
            EXPECT_EQ(m_file->CurrentOffset(e), at) << r.m_tag << " " << e.IdText();
            at += 16 + std::int64_t(r.m_head.size() + r.m_data.size());
            EXPECT_EQ(std::int64_t(e.m_size) + e.m_sizeChange, 16 + std::int64_t(r.m_head.size() + r.m_data.size()));
            EXPECT_EQ(std::string(e.Data()), r.m_data);
        }
    }

    CTempDir m_dir;
    std::string m_name;
    std::vector<CRec> m_recs;
    std::unique_ptr<CPluginFile> m_file;
    CScriptedPolicy m_policy;
    CWriteResult m_last;
    std::string m_original;
};

}  // namespace vantor::fixtures
