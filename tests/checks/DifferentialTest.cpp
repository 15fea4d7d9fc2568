// The indexed engine against the literal nested loops, row for row, on generated load orders
// full of the cases where an index could go wrong, and on the real plugins of the corpus.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "checks/CheckFixture.h"
#include "checks/CheckOperations.h"
#include "checks/EditorSetUp.h"
#include "checks/PluginChecker.h"
#include "checks/RecordCopies.h"
#include "checks/ReferenceChecker.h"
#include "checks/Search.h"
#include "document/ResultTable.h"
#include "fixtures/ScriptedLink.h"

namespace vantor {
namespace {

using namespace fixtures;

const std::atomic<std::int32_t> kRunning{0};

// A scripted link that raises its stop flag at its n-th progress report, as a
// user pressing Stop during an operation would: never for 0, before it for n < 0.
class CStoppingLink : public CScriptedLink {
public:
    explicit CStoppingLink(int after) : m_flag(after < 0), m_after(std::max(after, 0)) {}
    void Progress(const std::string& text, int total) override {
        CScriptedLink::Progress(text, total);
        if (--m_after == 0) m_flag = 1;
    }
    std::atomic<std::int32_t> m_flag;

private:
    int m_after;
};

// Findings as the panes show them: a conflict's six texts, the others' five.
using CTextRows = std::vector<std::vector<std::string>>;
CTextRows TextsOf(const CFindings& rows, const std::vector<const CPluginFile*>& files) {
    const bool conflicts = !rows.empty() && rows.front().m_kind == EFinding::Conflict;
    CResultTable table = conflicts ? ConflictTableHeader() : WarningTableHeader();
    // The test owns the files; the table only borrows them.
    for (const CPluginFile* file : files) table.m_files.push_back(CFileRef(file, [](const CPluginFile*) {}));
    table.m_rows = rows;
    CTextRows texts;
    for (std::size_t r = 0; r < table.RowCount(); ++r) texts.push_back(table.RowTexts(r));
    return texts;
}

// What a check sends, run by run, as the panes show it.
class CCollectingSink : public CFindingSink {
public:
    using CFindingSink::CFindingSink;
    void Take(const std::vector<const CPluginFile*>& files, CFindings& rows) override {
        EXPECT_TRUE(!rows.empty() && rows.size() <= Run()) << rows.size();
        const CTextRows texts = TextsOf(rows, files);
        m_rows.insert(m_rows.end(), texts.begin(), texts.end());
    }
    CTextRows m_rows;
};

constexpr std::int64_t kT = 1'600'000'000;

std::string Upper(std::string name) {
    for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

struct COrder {
    CLoadOrder files;
    std::vector<std::unique_ptr<CPluginFile>> renamed;
    std::vector<CPluginFile*> plugins, masters;
};

// One check: the files in the engine's order and the command's choices.
struct CCheck {
    std::vector<CPluginFile*> plugins, masters;
    CCheckSwitches conflicts{}, unclean{};
    std::uint8_t mask = CCheckSet::All().Bits();  // the reference checker's own
    std::int32_t mode = 0;
    int stopAfter = 0;

    // The document's lists, newest first, as the operations take them.
    CCheckInputs Inputs(CStoppingLink& stopper) const {
        return {{plugins.rbegin(), plugins.rend()}, {masters.rbegin(), masters.rend()}, mode != 0, conflicts, unclean, CCheckSet::FromBits(mask),
                "", &stopper.m_flag, &stopper};
    }
};

class CGenerator {
public:
    explicit CGenerator(unsigned seed) : m_rng(seed) {}

    std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_rng); }
    std::int32_t Int(std::size_t n) { return std::int32_t(Below(n)); }
    bool Chance(double p) { return std::bernoulli_distribution(p)(m_rng); }
    template <typename T>
    const T& Pick(const std::vector<T>& from) { return from[Below(from.size())]; }

    // IDs that differ in case (accented letters too) or agree up to an embedded zero byte, and
    // bodies that are equal, differ after a zero byte, or start with one.
    std::string Id() {
        return Pick<std::string>({"a", "b", "c", "A", "B", std::string("a\0x", 3), "d", "\xC9" "a", "\xE9" "A"});
    }
    std::vector<CSub> Body(bool deleted) {
        std::vector<CSub> subs = Pick<std::vector<CSub>>({{}, {Sub("FNAM", Z("one"))}, {Sub("FNAM", Z("two"))},
                                                           {Sub("FNAM", std::string("one\0b", 5))},
                                                           {Sub(std::string(4, '\0'), "z")},
                                                           {Sub("FNAM", Z("one")), Sub("DATA", I32(7))}});
        if (deleted) subs.push_back(Dele());
        return subs;
    }

    CPluginBuilder Plugin() {
        CPluginBuilder b;
        b.Header();
        const std::size_t count = Below(30);
        for (std::size_t r = 0; r < count; ++r) {
            const bool deleted = Chance(0.15);
            std::vector<CSub> body = Body(deleted);
            const auto with = [&](std::vector<CSub> head) {
                head.insert(head.end(), body.begin(), body.end());
                return head;
            };
            switch (Below(11)) {
                case 0: b.Record("NPC_", with({Name(Id())})); break;
                case 1: b.Record("GMST", with({Name(Id())})); break;
                case 2: b.Record("SNDG", with({Name(Id())})); break;
                case 3: b.Record("CELL", with({Name(Id()), Sub("DATA", I32(0) + I32(1) + I32(2))})); break;
                case 4: b.Record("DIAL", with({Name(Pick<std::string>({"t1", "t2", "T1"}))})); break;
                case 5:
                case 6:
                    // Responses that agree but for their place in the chain.
                    b.Record("INFO", with({Sub("INAM", Z(Pick<std::string>({"100", "101", "102"}))),
                                           Sub("PNAM", Z(Pick<std::string>({"", "", "100"}))),
                                           Sub("NNAM", Z(Pick<std::string>({"", "", "102"})))}));
                    break;
                case 7: b.Record("LAND", with({Sub("INTV", I32(Int(2)) + I32(Int(2)))})); break;
                case 8: b.Record("PGRD", with({Sub("DATA", I32(Int(2)) + I32(0) + I32(0)), Name(Id())})); break;
                case 9: b.Record("MGEF", with({Sub("INDX", I32(Int(3)))})); break;
                default:
                    // The script ID is the header up to its first zero byte.
                    b.Record("SCPT", with({Sub("SCHD", Fixed(Id(), 32) + I32(Int(3)) + std::string(16, '\0'))}));
                    break;
            }
        }
        return b;
    }

    void Make(COrder& order) {
        CExtractOpts opts{Int(2), Int(2), Int(2), Int(2)};
        const std::vector<std::int64_t> times{kT, kT, kT + 1, kT + 2, kT + 7};
        const std::size_t masters = Below(4);
        // Now and then so many plugins that one ID has more copies than are
        // told apart without hashing.
        const std::size_t plugins = Chance(0.08) ? 17 + Below(8) : 1 + Below(6);
        std::vector<std::string> names;
        for (std::size_t i = 0; i < masters + plugins; ++i) {
            // Masters now and then share a file name (folders differ in real life).
            std::string name = i < masters ? (Chance(0.2) && i ? "m0.esm" : "m" + std::to_string(i) + ".esm")
                                           : "p" + std::to_string(i) + ".esp";
            const std::string stored = std::to_string(i) + "_" + name;
            CPluginFile* file = &order.files.Add(stored, Plugin(), Pick(times), opts);
            // Now and then read under its name in other letters, as a user may type it.
            if (Chance(0.15)) {
                order.renamed.push_back(ReadPluginAt(order.files.Folder(), Upper(stored), opts));
                file = order.renamed.back().get();
                ASSERT_TRUE(file);
            }
            (i < masters ? order.masters : order.plugins).push_back(file);
            names.push_back(stored);
        }
        // A file removed after reading has no time any more.
        for (const auto& name : names)
            if (Chance(0.1)) order.files.Remove(name);
    }

    // Plugin entries erased after reading, as a deletion leaves them.
    void Erase(const COrder& order) {
        for (CPluginFile* file : order.plugins)
            for (std::string_view tag : CPluginFile::kTags) {
                std::vector<const CEntry*> gone;
                for (const auto& e : *file->GetTable(tag))
                    if (Chance(0.2)) gone.push_back(e.get());
                for (const CEntry* e : gone) file->DetachEntry(e, tag);
            }
    }

    // A check of the order with random switches, mask, mode and stop.
    CCheck Check(const COrder& order) {
        CCheck c{order.plugins, order.masters};
        for (auto& s : c.conflicts) s = Chance(0.85) ? 1 : Int(2) * 2;
        c.unclean.fill(1);
        c.unclean[kInfoCheck] = Int(2);
        c.mask = std::uint8_t(1 + Below(15));
        c.mode = Int(2);
        c.stopAfter = Chance(0.75) ? 0 : Int(5) - 1;
        return c;
    }

private:
    std::mt19937 m_rng;
};

// Both engines on the same files, stopped alike.
struct CEngines {
    explicit CEngines(const CCheck& check)
        : m_check(check), m_fastStop(check.stopAfter), m_referenceStop(check.stopAfter) {
        for (auto* p : m_check.plugins) m_fast.AddPlugin(*p);
        for (auto* m : m_check.masters) m_fast.AddMaster(*m);
        for (auto* p : m_check.plugins) m_reference.AddPlugin(*p);
        for (auto* m : m_check.masters) m_reference.AddMaster(*m);
    }
    const CReferenceResult& Reference() {
        return m_reference.Run(m_referenceStop.m_flag, m_check.mode, m_check.conflicts, m_check.unclean, m_check.mask);
    }
    bool Stopped() const { return m_referenceStop.m_flag != 0; }

    const CCheck m_check;
    CStoppingLink m_fastStop, m_referenceStop;
    CPluginChecker m_fast{&m_fastStop};
    CReferenceChecker m_reference{&m_referenceStop};
};

void ExpectSameLookups(CEngines& e, const std::string& where, bool allLookups = true) {
    using EList = CPluginChecker::EList;
    for (const CPluginFile* file : e.m_check.plugins)
        for (std::string_view tag : CPluginFile::kTags)
            for (const auto& x : *file->GetTable(tag)) {
                // Under a raised stop flag the original file is never looked for.
                ASSERT_EQ(e.m_fast.FindOriginalFile(e.m_fastStop.m_flag, x->m_id, tag),
                          e.m_reference.FindOriginalFile(e.m_referenceStop.m_flag, x->m_id, tag))
                    << where << " " << tag << " " << x->IdText();
                if (!allLookups) continue;
                for (bool inMasters : {false, true})
                    for (const CPluginFile* named : inMasters ? e.m_check.masters : e.m_check.plugins)
                        ASSERT_EQ(e.m_fast.FindEntry(named->FileName(), x->m_id, tag,
                                                     inMasters ? EList::Masters : EList::Plugins),
                                  e.m_reference.FindEntry(named->FileName(), x->m_id, tag, inMasters))
                            << where;
            }
}

// Rows, progress and the lookups the other operations build on.
void Compare(CEngines& e, const std::string& where, bool allLookups = true) {
    const CCheck& c = e.m_check;
    const CCheckResult& fast = e.m_fast.Run(e.m_fastStop.m_flag, c.mode != 0, c.conflicts, c.unclean, CCheckSet::FromBits(c.mask));
    const CReferenceResult& reference = e.Reference();
    EXPECT_EQ(TextsOf(fast.m_conflicts, fast.m_files), reference.m_conflicts) << where;
    EXPECT_EQ(TextsOf(fast.m_deleted, fast.m_files), reference.m_deleted) << where;
    EXPECT_EQ(TextsOf(fast.m_unclean, fast.m_files), reference.m_unclean) << where;
    EXPECT_EQ(TextsOf(fast.m_globalChanges, fast.m_files), reference.m_globalChanges) << where;
    EXPECT_EQ(e.m_fastStop.Calls(), e.m_referenceStop.Calls()) << where;
    ExpectSameLookups(e, where, allLookups);
}

// The object search on both sides; the reference's rows.
CTextRows ExpectSameSearch(CEngines& e, const CFindParams& p, const std::string& where) {
    const auto& files = p.m_searchMasters ? e.m_check.masters : e.m_check.plugins;
    const CTextRows expected = ReferenceSearch(e.m_reference, files, p.m_text, p.m_matchCase, p.m_wholeWord,
                                               p.m_lookInData, p.m_searchMasters);
    const CFindings found = Search(e.m_fast, nullptr, kRunning, p.m_text, p.m_matchCase, p.m_wholeWord,
                                   p.m_lookInData, p.m_searchMasters);
    EXPECT_EQ(TextsOf(found, e.m_fast.Files()), expected) << where << " search " << p.m_text;
    return expected;
}

// An operation's pane: the rows stably sorted by tag; none when stopped before finding anything.
void ExpectPane(const std::optional<CFindings>& pane, const CPaneFindings& found, CTextRows rows, bool nothing,
                const std::string& where) {
    ASSERT_EQ(pane.has_value(), !nothing) << where;
    if (!pane) return;
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a[0] < b[0]; });
    EXPECT_EQ(TextsOf(*pane, found.m_files), rows) << where;
}

// The copies of each record two or more plugins hold, against a walk of the
// plugins sorted by age: every copy in load order (a plugin's first of the
// ID), and the master copy the reference compares with.
void ExpectSameGroups(const COrder& order, CEngines& e, const std::string& where) {
    CLastWriteAges ages;
    std::vector<std::pair<CFileAge, std::size_t>> byAge;
    for (std::size_t p = 0; p < order.plugins.size(); ++p) byAge.emplace_back(ages.AgeOf(order.plugins[p]->FullPath()), p);
    std::stable_sort(byAge.begin(), byAge.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> expected, found;
    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
        std::vector<std::string_view> ids;
        for (const auto& [age, p] : byAge)
            for (const auto& x : order.plugins[p]->Table(t))
                if (std::find(ids.begin(), ids.end(), x->IdText()) == ids.end()) ids.push_back(x->IdText());
        for (std::string_view id : ids) {
            std::string line;
            std::size_t holders = 0;
            for (const auto& [age, p] : byAge)
                for (const auto& x : order.plugins[p]->Table(t))
                    if (x->IdText() == id) {
                        line += " " + order.plugins[p]->FileName() + "@" + std::to_string(x->m_offset);
                        ++holders;
                        break;
                    }
            if (holders < 2) continue;
            const std::string master = e.m_reference.FindOriginalFile(kRunning, std::string(id), CPluginFile::kTags[t]);
            expected.push_back(std::string(CPluginFile::kTags[t]) + " " + std::string(id) + " <" + master + ">" + line);
        }
    }
    for (const CRecordGroup& g : CollectRecordGroups(order.plugins, order.masters, ages, 2, kRunning)) {
        std::string line = std::string(CPluginFile::kTags[g.m_table]) + " " + std::string(g.m_id) + " <" +
                           (g.m_master && g.m_master->m_entry->IdText() == g.m_id ? g.m_master->m_file->FileName() : "None") + ">";
        for (const CRecordCopy& c : g.m_copies)
            line += " " + c.m_file->FileName() + "@" + std::to_string(c.m_entry->m_offset) +
                    (c.m_entry->IdText() == g.m_id ? "" : "?");
        found.push_back(line);
    }
    EXPECT_EQ(found, expected) << where;
}

TEST(CheckDifferential, GeneratedLoadOrdersGiveTheSameRowsAsTheNestedLoops) {
    for (unsigned seed = 1; seed <= 250; ++seed) {
        CGenerator gen(seed);
        COrder order;
        gen.Make(order);
        CCheck check = gen.Check(order);
        const std::string where = "seed " + std::to_string(seed) + " mask " + std::to_string(check.mask) + " mode " +
                                  std::to_string(check.mode) + " stop " + std::to_string(check.stopAfter);
        CEngines engines(check);
        Compare(engines, where);
        ExpectSameGroups(order, engines, where);
        // The indexes follow entries erased after they were built.
        gen.Erase(order);
        ExpectSameLookups(engines, where + " erased");

        // The check operation fills both panes, deleted before unclean rows.
        CStoppingLink stopper(check.stopAfter);
        const CPaneFindings panes = RunCheckOperation(check.Inputs(stopper));
        CEngines rows(check);
        const CReferenceResult& expected = rows.Reference();
        CTextRows warnings = expected.m_deleted;
        warnings.insert(warnings.end(), expected.m_unclean.begin(), expected.m_unclean.end());
        const bool nothing = rows.Stopped() && expected.m_conflicts.empty() && warnings.empty() &&
                             expected.m_globalChanges.empty();
        EXPECT_TRUE(panes.m_stopped == rows.Stopped() && !panes.m_editor) << where;
        ExpectPane(panes.m_conflict, panes, expected.m_conflicts, nothing, where);
        ExpectPane(panes.m_warning, panes, warnings, nothing, where);
        EXPECT_EQ(stopper.Calls(), rows.m_referenceStop.Calls()) << where;

        // Conflicts sent as they are found, in runs, leave in the pane's
        // order; a stop keeps whole rows of that order and nothing else.
        // The warnings stay the pane's.
        CStoppingLink sendStop(check.stopAfter);
        CCollectingSink sink(1 + seed % 4);
        CCheckInputs sending = check.Inputs(sendStop);
        sending.conflictSink = &sink;
        const CPaneFindings sent = RunCheckOperation(sending);
        CCheck whole = check;
        whole.stopAfter = 0;
        CEngines unstopped(whole);
        CTextRows byTag = unstopped.Reference().m_conflicts;
        std::stable_sort(byTag.begin(), byTag.end(), [](const auto& a, const auto& b) { return a[0] < b[0]; });
        EXPECT_EQ(sent.m_conflictsSent, sink.m_rows.size()) << where;
        EXPECT_TRUE(!sent.m_conflict || sent.m_conflict->empty()) << where;
        if (sent.m_stopped) {
            EXPECT_LE(sink.m_rows.size(), byTag.size()) << where;
            EXPECT_TRUE(std::equal(sink.m_rows.begin(), sink.m_rows.end(), byTag.begin(),
                                   byTag.begin() + std::ptrdiff_t(std::min(sink.m_rows.size(), byTag.size()))))
                << where;
        } else {
            EXPECT_EQ(sink.m_rows, byTag) << where;
            ExpectPane(sent.m_warning, sent, warnings, false, where + " sent");
        }

        // The global-change listing of all plugins or one named exactly (other letters, a master: none).
        std::vector<std::string> names{"", Upper(order.plugins[0]->FileName())};
        for (const auto* file : order.plugins) names.push_back(file->FileName());
        for (const auto* file : order.masters) names.push_back(file->FileName());
        CStoppingLink listingStop(check.stopAfter);
        CCheckInputs inputs = check.Inputs(listingStop);
        inputs.globalChangesFile = gen.Pick(names);
        const CPaneFindings listing = RunGlobalChangeListing(inputs);
        const std::string& named = inputs.globalChangesFile;
        std::erase_if(check.plugins, [&](auto* p) { return !named.empty() && p->FileName() != named; });
        check.mask = CCheckSet::GlobalChanges().Bits();
        CEngines changes(check);
        const CTextRows& changed = changes.Reference().m_globalChanges;
        EXPECT_FALSE(listing.m_conflict || listing.m_warning) << where;
        ExpectPane(listing.m_editor, listing, changed, changes.Stopped() && changed.empty(), where + " listing");
        EXPECT_EQ(listingStop.Calls(), changes.m_referenceStop.Calls()) << where;

        // The object search and the find operation: a text of the IDs, bodies or tags in either
        // case, under any options; a stop before the search shows nothing.
        CStoppingLink findStop(std::min(check.stopAfter, 0));
        CFindInputs find{inputs.loadedPlugins, inputs.foundMasters,
                         {gen.Int(2) != 0, gen.Int(2) != 0, gen.Int(2) != 0, gen.Int(2) != 0,
                          gen.Pick<std::string>({"a", "A", "b", std::string("a\0x", 3), "\xE9", "ONE",
                                                 std::string("e\0", 2), "pc", "Gm", "1,", "ndex 1", "",
                                                 std::string(40, 'a')})},
                         &findStop.m_flag};
        CEngines search(CCheck{order.plugins, order.masters});
        const CTextRows matches = ExpectSameSearch(search, find.params, where);
        const CPaneFindings shown = RunFindOperation(find);
        EXPECT_EQ(shown.m_stopped, check.stopAfter < 0) << where;
        ExpectPane(shown.m_editor, shown, matches, check.stopAfter < 0, where + " find");
        // Nothing at all without a loaded plugin.
        find.loadedPlugins.clear();
        const CPaneFindings none = RunFindOperation(find);
        EXPECT_TRUE(none.m_stopped && !none.m_editor) << where;

        // The editor listing of the plugins or the masters, or of one file named exactly: rows, progress, stop.
        const bool ofMasters = gen.Chance(0.5);
        CStoppingLink listStop(check.stopAfter);
        const CEditorSetUpInputs all{inputs.loadedPlugins, inputs.foundMasters, ofMasters,
                                     gen.Chance(0.5) ? "" : gen.Pick(names), &listStop.m_flag, &listStop};
        const CPaneFindings listed = RunEditorSetUp(all);
        const CReferenceListing model = ReferenceListing(search.m_reference, ofMasters ? all.foundMasters
                                                         : all.loadedPlugins, ofMasters, all.viewFile, check.stopAfter);
        EXPECT_EQ(listed.m_stopped, model.m_stopped) << where;
        EXPECT_EQ(listStop.Calls(), model.m_progress) << where;
        EXPECT_EQ(listed.m_editor.has_value(), check.stopAfter >= 0) << where;
        EXPECT_EQ(TextsOf(listed.m_editor.value_or(CFindings{}), listed.m_files), model.m_rows) << where << " listing";

        // Pair by pair, in both directions, for every tag and one that is none.
        for (auto* a : order.plugins)
            for (auto* b : order.plugins)
                for (std::string_view tag : CPluginFile::kTags) {
                    search.m_fast.ComparePair(*a, *b, tag, kRunning);
                    search.m_reference.ComparePair(*a, *b, tag, kRunning);
                }
        search.m_fast.ComparePair(*order.plugins[0], *order.plugins[0], "????", kRunning);
        const CCheckResult& paired = search.m_fast.Result();
        EXPECT_EQ(TextsOf(paired.m_conflicts, paired.m_files), search.m_reference.m_result.m_conflicts)
            << "pairs, " << where;
        if (HasFailure()) return;
    }
}

TEST(CheckDifferential, CorpusGivesTheSameRowsAsTheNestedLoops) {
    const auto paths = fixtures::CorpusFiles();
    if (paths.empty()) GTEST_SKIP() << "corpus absent";
    // Copies with file times of our choosing, several equal.
    fixtures::CTempDir dir;
    std::vector<std::unique_ptr<CPluginFile>> owned;
    std::vector<CPluginFile*> plugins, masters;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string name = std::to_string(i) + "_" + std::filesystem::path(paths[i]).filename().string();
        std::filesystem::copy_file(paths[i], dir / name);
        ASSERT_TRUE(fixtures::StampFile(dir / name, kT + std::int64_t(i % 4)));
        auto file = ReadPluginAt(dir.Path(), name);
        if (!file || file->EntryCount() == 0) continue;
        const std::string ext = Upper(std::filesystem::path(name).extension().string());
        (ext == ".ESM" || ext == ".OMWGAME" ? masters : plugins).push_back(file.get());
        owned.push_back(std::move(file));
    }
    ASSERT_GT(plugins.size(), 20u);
    ASSERT_GT(masters.size(), 3u);
    CCheck check{plugins, masters};
    check.conflicts.fill(1);
    check.unclean.fill(1);
    for (std::int32_t mode : {0, 1})
        for (std::uint8_t mask : {std::uint8_t(15), std::uint8_t(2)}) {
            check.mode = mode;
            check.mask = mask;
            CEngines engines(check);
            Compare(engines, "corpus mode " + std::to_string(mode), false);
        }
    // Conflicts sent as found are the conflict pane's rows, in its order.
    for (std::int32_t mode : {0, 1}) {
        check.mode = mode;
        check.mask = 15;
        CStoppingLink kept(0), sending(0);
        const CPaneFindings pane = RunCheckOperation(check.Inputs(kept));
        CCollectingSink sink(7);
        CCheckInputs inputs = check.Inputs(sending);
        inputs.conflictSink = &sink;
        const CPaneFindings sent = RunCheckOperation(inputs);
        ASSERT_TRUE(pane.m_conflict && pane.m_warning && sent.m_warning);
        EXPECT_GT(sink.m_rows.size(), 7u);
        EXPECT_EQ(sink.m_rows, TextsOf(*pane.m_conflict, pane.m_files)) << "corpus mode " << mode;
        EXPECT_EQ(TextsOf(*sent.m_warning, sent.m_files), TextsOf(*pane.m_warning, pane.m_files));
    }

    // The object search and the masters' listing on real data, thousands of entries: a report per percentage.
    CEngines search(CCheck{plugins, masters});
    CScriptedLink listLink;
    const CPaneFindings listed = RunEditorSetUp({plugins, masters, 1, "", nullptr, &listLink});
    const CReferenceListing model = ReferenceListing(search.m_reference, masters, true, "", 0);
    ASSERT_TRUE(listed.m_editor);
    EXPECT_EQ(TextsOf(*listed.m_editor, listed.m_files), model.m_rows);
    EXPECT_EQ(listLink.Calls(), model.m_progress);
    std::size_t found = 0;
    for (const std::string text : {"a", "Sword", "NPC", "\xE9", "0,"})
        for (std::int32_t o = 0; o < 16 && !HasFailure(); ++o)
            found += ExpectSameSearch(search, {(o & 1) != 0, (o & 2) != 0, (o & 4) != 0, (o & 8) != 0, text}, "corpus").size();
    EXPECT_GT(found, 0u);
}

}  // namespace
}  // namespace vantor
