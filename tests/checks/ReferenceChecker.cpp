#include "checks/ReferenceChecker.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <limits>

#include "engine/UserLink.h"

namespace vantor::fixtures {

namespace {

// Text matching the plain way: lower-casing written out letter by letter,
// every window copied out and compared as zero-terminated strings.
unsigned char ReferenceLower(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c - 'A' + 'a');
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 0x20);
    switch (c) {
        case 0x8A: return 0x9A;
        case 0x8C: return 0x9C;
        case 0x8E: return 0x9E;
        case 0x9F: return 0xFF;
        default: return c;
    }
}

// The reference makes its own IDs, comparisons and texts: a fault in a
// helper the engine shares would otherwise pass on both sides.
std::string_view Cut(std::string_view text) { return text.substr(0, text.find('\0')); }
std::string Id(const CEntry& e) { return std::string(Cut(e.m_id)); }
// A response that only moves in its chain has changed.
bool SameRecord(const CEntry& a, const CEntry& b) {
    return a.Data() == b.Data() && a.PrevInfo() == b.PrevInfo() && a.NextInfo() == b.NextInfo();
}

const std::string kDeleted = "Marked as DELETED (Removed from Game)";
const std::string kUnclean = "Identical to Default Entry. (Unclean Entry)";
const std::string kChanged = "Modified from Esm";

const std::atomic<std::int32_t> kNoStop{0};
bool Stopped(const std::atomic<std::int32_t>& stop) { return stop.load() != 0; }

std::string Percent(const std::string& prefix, std::size_t done, std::size_t total) {
    return prefix + std::to_string(done * 100 / total) + "% complete";
}

// Whole seconds of the last write, read afresh through the standard library
// rather than the platform layer under test, under the name in any case; a
// file whose time cannot be read is older than every readable one.
std::int64_t ReferenceAge(const CPluginFile& file) {
    namespace fs = std::filesystem;
    const auto lower = [](std::u8string s) {
        for (auto& c : s) c = char8_t(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    const fs::path folder(std::u8string(file.Folder().begin(), file.Folder().end()));
    const std::u8string name(file.FileName().begin(), file.FileName().end());
    std::error_code ec, listing;
    auto time = fs::last_write_time(folder / name, ec);
    // The name may differ in case from the one on disk.
    auto item = fs::directory_iterator(folder, listing);
    for (; ec && !listing && item != fs::directory_iterator(); item.increment(listing))
        if (lower(item->path().filename().u8string()) == lower(name)) time = fs::last_write_time(item->path(), ec);
    if (ec) return std::numeric_limits<std::int64_t>::min();
    return std::chrono::floor<std::chrono::seconds>(std::chrono::file_clock::to_sys(time)).time_since_epoch().count();
}

std::string LowerText(std::string s, bool matchCase) {
    if (!matchCase)
        for (char& c : s) c = static_cast<char>(ReferenceLower(static_cast<unsigned char>(c)));
    return s;
}

// The first entry of the ID in the file's table of `tag`, by walking it.
const CEntry* FirstOf(const CPluginFile& file, std::string_view tag, std::string_view id) {
    if (const CEntryTable* table = file.GetTable(tag))
        for (const auto& e : *table)
            if (Id(*e) == Cut(id)) return e.get();
    return nullptr;
}

bool ReferenceOccurs(std::string_view bytes, const std::string& findText, bool matchCase) {
    const std::string text = LowerText(findText.c_str(), matchCase);
    for (std::size_t i = 0; i + text.size() <= bytes.size(); ++i)
        if (std::strcmp(LowerText(std::string(bytes.substr(i, text.size())), matchCase).c_str(), text.c_str()) == 0)
            return true;
    return false;
}

bool ReferenceEquals(std::string_view bytes, const std::string& findText, bool matchCase) {
    const std::string text = LowerText(findText.c_str(), matchCase);
    return std::strcmp(LowerText(std::string(bytes), matchCase).c_str(), text.c_str()) == 0;
}

// The type's text in the rows, from the reference's own table.
std::string ReferenceDescription(std::string_view tag) {
    static const char* const kTexts[][2] = {
        {"ACTI", "Activator Entry"}, {"ALCH", "Alchemy Item Entry"}, {"APPA", "Apparatus Entry"},
        {"ARMO", "Armor Entry"}, {"BODY", "Body Entry"}, {"BOOK", "Book Entry"}, {"BSGN", "BirthSign Entry"},
        {"CELL", "Cell Entry"}, {"CLAS", "Class Settings"}, {"CLOT", "Cloth Settings"}, {"CONT", "Container Entry"},
        {"CREA", "Creature Entry"}, {"DIAL", "Dialog Topic"}, {"DOOR", "Door Entry"}, {"ENCH", "Enchantment Settings"},
        {"FACT", "Faction Settings"}, {"GLOB", "Global Settings"}, {"GMST", "Gameplay Settings"},
        {"INGR", "Ingredient Entry"}, {"INFO", "Dialog Text"}, {"LAND", "Landscape Entry"},
        {"LEVC", "Creature Leveled List"}, {"LEVI", "Item Leveled List"}, {"LIGH", "Light Settings"},
        {"LOCK", "Lockpick Tool"}, {"LTEX", "Texture Entry"}, {"MGEF", "Magic Effects Entry"},
        {"MISC", "Misc. Items Entry"}, {"NPC_", "NPC Entry"}, {"PGRD", "Path Grid"}, {"PROB", "Probe Tool"},
        {"RACE", "Race Settings"}, {"REGN", "Region Settings Entry"}, {"REPA", "Repair Item Entry"},
        {"SCPT", "Script"}, {"SKIL", "Skill Entry"}, {"SNDG", "Sound Gen "}, {"SOUN", "Sound Entry"},
        {"SPEL", "Spell Entry"}, {"STAT", "Static Entry"}, {"WEAP", "Weapon Entry"}};
    for (const auto& [t, text] : kTexts)
        if (tag == t) return text;
    return "?";
}

// A row of the editor pane: a master's entries name no plugin, and their own file as the original.
CTextRow ListedRow(CReferenceChecker& reference, const CPluginFile& file, const std::string& tag, const CEntry& e,
                   bool masters) {
    return {tag, ReferenceDescription(tag), Id(e), masters ? "None" : file.FileName(),
            masters ? file.FileName() : reference.FindOriginalFile(kNoStop, Id(e), tag)};
}

}  // namespace

std::vector<CTextRow> ReferenceSearch(CReferenceChecker& reference, const std::vector<CPluginFile*>& files,
                                      const std::string& text, bool matchCase, bool wholeWord, bool lookInData,
                                      bool masters) {
    std::vector<CTextRow> rows;
    for (CPluginFile* file : files)
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t) {
            const std::string tag(CPluginFile::kTags[t]);
            for (const auto& e : file->Table(t)) {
                const bool name = wholeWord ? ReferenceEquals(e->IdText(), text, matchCase)
                                            : ReferenceOccurs(e->IdText(), text, matchCase);
                const bool data = lookInData && ReferenceOccurs(e->Data(), text, matchCase);
                const bool tagged = lookInData && !name && !data && ReferenceOccurs(tag, text, matchCase);
                if (name || data || tagged) rows.push_back(ListedRow(reference, *file, tag, *e, masters));
            }
        }
    return rows;
}

CReferenceListing ReferenceListing(CReferenceChecker& reference, std::vector<CPluginFile*> files, bool masters,
                                   const std::string& viewFile, int stopAt) {
    CReferenceListing out;
    out.m_stopped = stopAt < 0;
    if (out.m_stopped) return out;
    std::erase_if(files, [&](const CPluginFile* f) { return !viewFile.empty() && f->FileName() != viewFile; });
    struct CItem { const CPluginFile* file; std::string tag; const CEntry* entry; };
    std::vector<CItem> walk, listed;
    for (CPluginFile* file : files)
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t)
            for (const auto& e : file->Table(t)) walk.push_back({file, std::string(CPluginFile::kTags[t]), e.get()});
    const auto text = [](std::size_t percent, std::size_t total) {
        return "progress " + std::to_string(total) + "|Setting up Editor - " + std::to_string(percent) + "% complete";
    };
    const auto stopped = [&] { return stopAt > 0 && out.m_progress.size() >= std::size_t(stopAt); };
    const std::size_t steps = std::min<std::size_t>(walk.size(), 100);
    std::size_t percent = 0;
    out.m_progress.push_back(text(0, steps));
    for (std::size_t r = 1; r <= walk.size() && !stopped(); ++r) {
        listed.push_back(walk[r - 1]);
        if (r * 100 / walk.size() != percent) out.m_progress.push_back(text(percent = r * 100 / walk.size(), steps));
    }
    out.m_stopped = stopped();
    if (!out.m_stopped) out.m_progress.push_back(text(percent, 0));
    std::stable_sort(listed.begin(), listed.end(), [](const CItem& a, const CItem& b) {
        return a.file->FileName() != b.file->FileName() ? a.file->FileName() < b.file->FileName()
                                                         : a.entry->m_offset < b.entry->m_offset;
    });
    for (const CItem& item : listed)
        out.m_rows.push_back(ListedRow(reference, *item.file, item.tag, *item.entry, masters));
    return out;
}

void CReferenceChecker::Report(const std::atomic<std::int32_t>& stop, const std::string& text, int total) {
    if (m_link && !Stopped(stop)) m_link->Progress(text, total);
}

std::string CReferenceChecker::FindOriginalFile(const std::atomic<std::int32_t>& stop, std::string_view id,
                                                std::string_view tag) {
    const CPluginFile* best = nullptr;
    std::string result;
    for (const CPluginFile* master : m_masters) {
        if (Stopped(stop)) break;
        if (FirstOf(*master, tag, id) && (!best || ReferenceAge(*master) > ReferenceAge(*best))) {
            best = master;
            result = master->FileName();
        }
    }
    return result.empty() ? "None" : result;
}

const CEntry* CReferenceChecker::FindEntry(std::string_view fileName, std::string_view id, std::string_view tag,
                                           bool masters) {
    for (const CPluginFile* file : masters ? m_masters : m_plugins)
        if (const CEntry* e = FirstOf(*file, tag, id); e && file->FileName() == fileName) return e;
    return nullptr;
}

void CReferenceChecker::ComparePair(const CPluginFile& a, const CPluginFile& b, std::string_view tag,
                                    const std::atomic<std::int32_t>& stop) {
    const CEntryTable* tableA = a.GetTable(tag);
    const CEntryTable* tableB = b.GetTable(tag);
    if (!tableA || !tableB) return;
    for (const auto& x : *tableA) {
        for (const auto& y : *tableB) {
            if (Stopped(stop)) return;
            if (Id(*x) != Id(*y)) continue;
            if (tag != "LAND" && x->Data() == y->Data()) continue;
            const bool topicsAgree = !x->Topic() || !y->Topic() || Cut(*x->Topic()) == Cut(*y->Topic());
            // Responses against the original master's version, else by topic.
            if (tag == "INFO") {
                const CEntry* m = FindEntry(FindOriginalFile(stop, Id(*x), "INFO"), Id(*x), "INFO", true);
                if (m ? x->Data() == m->Data() || y->Data() == m->Data() : !topicsAgree) continue;
            }
            std::string conflict = ReferenceDescription(tag);
            if (tag == "LAND") conflict += " (Potential Conflict)";
            const bool aNewer = ReferenceAge(a) > ReferenceAge(b);
            m_result.m_conflicts.push_back({std::string(tag), conflict, Id(*x), aNewer ? a.FileName() : b.FileName(),
                                            aNewer ? b.FileName() : a.FileName(), FindOriginalFile(stop, Id(*x), tag)});
        }
    }
}

void CReferenceChecker::CheckWarnings(const std::atomic<std::int32_t>& stop, const CPluginFile& plugin,
                                      const CCheckSwitches& uncleanChecks, std::uint8_t mask) {
    for (std::string_view tag : CPluginFile::kTags) {
        const CEntryTable& table = *plugin.GetTable(tag);
        for (const auto& e : table) {
            if (Stopped(stop)) return;
            const std::string description = ReferenceDescription(tag);
            const bool compared = tag != "CELL" && tag != "DIAL" && tag != "LAND" && tag != "LTEX" &&
                                  !(tag == "INFO" && uncleanChecks[16] == 0);
            const std::string_view data = e->Data();
            const bool empty = Cut(data).empty();
            // The copy the entry would leave in effect: the newest master's.
            const CPluginFile* newest = nullptr;
            const CEntry* inEffect = nullptr;
            for (const CPluginFile* master : m_masters) {
                if (Stopped(stop) || !compared) break;
                const CEntry* m = FirstOf(*master, tag, Id(*e));
                if (m && (!newest || ReferenceAge(*master) > ReferenceAge(*newest))) {
                    newest = master;
                    inEffect = m;
                }
            }
            const bool same = inEffect && SameRecord(*e, *inEffect);
            if (inEffect && !empty && (mask & (same ? 4 : 8)))
                (same ? m_result.m_unclean : m_result.m_globalChanges)
                    .push_back({std::string(tag), description + " " + (same ? kUnclean : kChanged), Id(*e),
                                plugin.FileName(), newest->FileName()});
            // A deleted entry names the same master.
            if ((mask & 2) && e->m_deleted)
                m_result.m_deleted.push_back({std::string(tag), description + " " + kDeleted, Id(*e), plugin.FileName(),
                                              newest ? newest->FileName() : "None"});
        }
    }
}

const CReferenceResult& CReferenceChecker::Run(const std::atomic<std::int32_t>& stop, std::int32_t checkMode,
                                           const CCheckSwitches& conflictChecks, const CCheckSwitches& uncleanChecks,
                                           std::uint8_t mask) {
    const std::size_t n = m_plugins.size();
    if (mask & 1) {
        std::string text = "Checking Conflicts 0% complete";
        Report(stop, text, int(n));
        for (std::size_t i = 0; i < n; ++i) {
            if (Stopped(stop)) break;
            for (std::size_t j = i + 1; j < n; ++j) {
                if (Stopped(stop)) break;
                for (std::size_t k = 0; k < kCheckCount; ++k)
                    if (conflictChecks[k] == 1) ComparePair(*m_plugins[i], *m_plugins[j], kCheckIndex[k].m_tag, stop);
            }
            text = Percent("Checking Conflicts ", i, n);
            Report(stop, text, int(n));
            if (checkMode == 1) break;
        }
        Report(stop, text, 0);
    }
    if (mask & ~1) {
        const std::size_t examined = checkMode == 1 ? (n ? 1 : 0) : n;
        const std::string prefix = (mask & 8) ? "Checking Global Changes " : "Checking Warnings ";
        std::string text = prefix + "0% complete";
        Report(stop, text, int(examined));
        for (std::size_t i = 0; i < examined; ++i) {
            if (Stopped(stop)) break;
            CheckWarnings(stop, *m_plugins[i], uncleanChecks, mask);
            text = Percent(prefix, i, examined);
            Report(stop, text, int(examined));
        }
        Report(stop, text, 0);
    }
    return m_result;
}

}  // namespace vantor::fixtures
