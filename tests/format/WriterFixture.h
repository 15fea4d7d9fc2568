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

// Offset of record k in the rebuilt file.
inline std::int64_t RebuiltOffset(const std::vector<CRec>& recs, std::size_t k) {
    std::int64_t at = std::int64_t(CPluginBuilder().Header({"Morrowind.esm"}).Size());
    for (std::size_t i = 0; i < k; ++i) at += 16 + std::int64_t(recs[i].m_head.size() + recs[i].m_data.size());
    return at;
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

// Points each reference record at its entry: the k-th record of a tag is the
// k-th entry of that table.
inline void BindEntries(std::vector<CRec>& recs, CPluginFile& file) {
    std::map<std::string, std::size_t> next;
    for (auto& r : recs) r.m_entry = file.GetTable(r.m_tag)->at(next[r.m_tag]++).get();
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
        CPluginBuilder b;
        b.Raw(m_original);
        EXPECT_TRUE(b.Write(Path()));
        m_file = LoadPlugin(m_dir.Path(), openAs.empty() ? m_name : openAs);
        BindEntries(m_recs, *m_file);
    }

    std::string Path() const { return m_dir / m_name; }
    std::string BackupPath() const { return m_dir / (m_name.substr(0, m_name.size() - 3) + "OLD"); }

    bool Rewrite(std::size_t k, const CSubRecords& subs) {
        m_last = m_file->RewriteEntry(*m_recs[k].m_entry, subs, m_policy);
        const bool ok = m_last.Ok();
        if (ok) m_recs[k].m_data = JoinSubRecords(subs);
        return ok;
    }
    // Appends `extra` bytes to the record's last subrecord (or adds one).
    bool Grow(std::size_t k, std::size_t extra) {
        CSubRecords subs;
        SplitSubRecords(*m_recs[k].m_entry, subs);
        if (subs.empty()) {
            subs.push_back({"XTRA", ""});
            extra = extra >= 8 ? extra - 8 : 0;
        }
        subs.back().m_payload.append(extra, 'g');
        return Rewrite(k, subs);
    }

    // One by one, as Delete Entry does: erase a copy, then detach.
    bool Erase(std::size_t k) {
        CEntry copy = *m_recs[k].m_entry;
        m_last = m_file->EraseEntry(copy, m_policy);
        if (!m_last.Ok()) return false;
        EXPECT_TRUE(m_file->DetachEntry(m_recs[k].m_entry, m_recs[k].m_tag));
        m_recs.erase(m_recs.begin() + std::ptrdiff_t(k));
        return true;
    }

    std::vector<bool> EraseMany(std::vector<std::size_t> ks) {
        std::vector<const CEntry*> entries;
        for (std::size_t k : ks) entries.push_back(m_recs[k].m_entry);
        std::vector<bool> erased;
        m_last = m_file->EraseEntries(entries, m_policy, erased);
        std::sort(ks.begin(), ks.end());
        ks.erase(std::unique(ks.begin(), ks.end()), ks.end());
        if (!erased.empty() && erased[0])
            for (auto it = ks.rbegin(); it != ks.rend(); ++it) m_recs.erase(m_recs.begin() + std::ptrdiff_t(*it));
        return erased;
    }

    // The file equals the one rebuilt from the reference, and the model
    // finds every record where it now is.
    void ExpectMatches() const {
        ASSERT_EQ(FileBytes(Path()), RebuiltBytes(m_recs));
        for (std::size_t k = 0; k < m_recs.size(); ++k) {
            const CEntry& e = *m_recs[k].m_entry;
            EXPECT_EQ(m_file->CurrentOffset(e), RebuiltOffset(m_recs, k)) << m_recs[k].m_tag << " " << e.IdText();
            EXPECT_EQ(std::int64_t(e.m_size) + e.m_sizeChange,
                      std::int64_t(16 + m_recs[k].m_head.size() + m_recs[k].m_data.size()));
            EXPECT_EQ(std::string(e.Data()), m_recs[k].m_data);
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
