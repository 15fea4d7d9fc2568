#include "checks/EditorSetUp.h"

#include <algorithm>
#include <array>

#include "checks/PluginChecker.h"
#include "document/FrameLink.h"

namespace vantor {

namespace {

const std::atomic<std::int32_t> kNeverStop{0};
const std::string kNoneText = "None";

bool Stopped(const std::atomic<std::int32_t>& stop) { return stop.load(std::memory_order_relaxed) != 0; }

std::string Percent(std::size_t percent) { return "Setting up Editor - " + std::to_string(percent) + "% complete"; }

}  // namespace

void SortListing(CResultTable& table, std::size_t fileColumn) {
    static const CResultCell kEmpty;
    auto cell = [fileColumn](const std::vector<CResultCell>& row) -> const CResultCell& {
        return fileColumn < row.size() ? row[fileColumn] : kEmpty;
    };
    std::stable_sort(table.m_rows.begin(), table.m_rows.end(), [&](const auto& a, const auto& b) {
        const CResultCell& x = cell(a);
        const CResultCell& y = cell(b);
        const int order = x.m_text.compare(y.m_text);
        return order != 0 ? order < 0 : x.m_item < y.m_item;
    });
}

std::optional<CResultTable> RunEditorSetUp(const CEditorSetUpInputs& inputs) {
    const std::atomic<std::int32_t>& stop = inputs.stop ? *inputs.stop : kNeverStop;
    const bool masters = inputs.viewMasters != 0;
    CPluginChecker engine(inputs.link, inputs.ages);
    // The masters answer the plugin listing's "Original File" column.
    if (!masters)
        for (auto it = inputs.foundMasters.rbegin(); it != inputs.foundMasters.rend(); ++it) engine.AddMaster(**it);
    if (Stopped(stop)) return std::nullopt;

    std::vector<const CPluginFile*> files;
    for (const CPluginFile* file : masters ? inputs.foundMasters : inputs.loadedPlugins)
        if (inputs.viewFile.empty() || file->FileName() == inputs.viewFile) files.push_back(file);

    std::size_t total = 0;
    for (const CPluginFile* file : files) {
        if (Stopped(stop)) break;
        total += file->EntryCount();
    }

    // One report per percentage rather than per entry: the frame handles each
    // report before the worker goes on, and a master has tens of thousands
    // of entries. The bar has one step per report, so it still fills.
    const int steps = int(std::min<std::size_t>(total, 100));
    auto report = [&](const std::string& text, int stepTotal) {
        if (inputs.link && !Stopped(stop)) inputs.link->Progress(text, stepTotal);
    };
    std::size_t shown = 0;
    std::string text = Percent(0);
    report(text, steps);

    std::array<std::string, CPluginFile::kTableCount> descriptions;
    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t)
        descriptions[t] = CPluginChecker::GetDescription(CPluginFile::kTags[t]);

    CResultTable table = EditorTableHeader();
    table.m_rows.reserve(total);
    std::size_t r = 0;
    for (const CPluginFile* file : files) {
        if (Stopped(stop)) break;
        for (std::size_t t = 0; t < CPluginFile::kTableCount && !Stopped(stop); ++t) {
            const std::string_view tag = CPluginFile::kTags[t];
            for (const auto& entry : file->Table(t)) {
                if (Stopped(stop)) break;
                const std::string_view id = entry->IdText();
                const CResultCell fileCell{file->FileName(), entry->m_offset};
                std::vector<CResultCell> row;
                row.reserve(5);
                row.push_back({std::string(tag), 0});
                row.push_back({descriptions[t], 0});
                row.push_back({std::string(id), 0});
                if (masters) {
                    row.push_back({kNoneText, 0});
                    row.push_back(fileCell);
                } else {
                    row.push_back(fileCell);
                    row.push_back({engine.FindOriginalFile(stop, id, tag), 0});
                }
                table.m_rows.push_back(std::move(row));
                ++r;
                const std::size_t percent = r * 100 / total;
                if (percent != shown) {
                    shown = percent;
                    text = Percent(percent);
                    report(text, steps);
                }
            }
        }
    }
    // A stopped listing shows the rows filled so far, without blank rows
    // for the entries it never reached.
    SortListing(table, ListingFileColumn(inputs.viewMasters));
    report(text, 0);
    return table;
}

}  // namespace vantor
