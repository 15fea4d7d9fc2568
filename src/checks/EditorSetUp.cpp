#include "checks/EditorSetUp.h"

#include <algorithm>
#include <array>

#include "checks/PluginChecker.h"
#include "engine/UserLink.h"
#include "platform/Text.h"

namespace vantor {

namespace {

const std::atomic<std::int32_t> kNeverStop{0};

bool Stopped(const std::atomic<std::int32_t>& stop) { return stop.load(std::memory_order_relaxed) != 0; }

// The percentage is computed by the caller, which reports only its changes.
std::string Percent(std::size_t percent) { return platform::PercentText("Setting up Editor - ", percent, 100); }

}  // namespace

void SortListing(CFindings& rows, const std::vector<const CPluginFile*>& files) {
    std::stable_sort(rows.begin(), rows.end(), [&](const CFinding& a, const CFinding& b) {
        const int order = files[a.m_file]->FileName().compare(files[b.m_file]->FileName());
        return order != 0 ? order < 0 : a.m_entry->m_offset < b.m_entry->m_offset;
    });
}

CPaneFindings RunEditorSetUp(const CEditorSetUpInputs& inputs) {
    const std::atomic<std::int32_t>& stop = inputs.stop ? *inputs.stop : kNeverStop;
    const bool masters = inputs.viewMasters;
    CPaneFindings panes;
    if (Stopped(stop)) {
        panes.m_stopped = true;
        return panes;
    }
    // The masters answer the plugin listing's "Original File" column; the
    // listed files are given to the engine so that the rows can name them.
    CPluginChecker engine(inputs.link, inputs.ages);
    std::vector<std::pair<const CPluginFile*, CFileIndex>> files;
    if (masters) {
        for (auto it = inputs.foundMasters.rbegin(); it != inputs.foundMasters.rend(); ++it) engine.AddMaster(**it);
        for (std::size_t k = 0; k < inputs.foundMasters.size(); ++k)
            files.push_back({inputs.foundMasters[k], engine.MasterFile(inputs.foundMasters.size() - 1 - k)});
    } else {
        AddDocumentFiles(engine, inputs.loadedPlugins, inputs.foundMasters);
        for (std::size_t k = 0; k < inputs.loadedPlugins.size(); ++k)
            files.push_back({inputs.loadedPlugins[k], engine.PluginFile(inputs.loadedPlugins.size() - 1 - k)});
    }
    std::erase_if(files, [&](const auto& f) { return !inputs.viewFile.empty() && f.first->FileName() != inputs.viewFile; });

    std::size_t total = 0;
    for (const auto& [file, index] : files) {
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

    CFindings rows;
    std::size_t r = 0;
    for (const auto& [file, index] : files) {
        if (Stopped(stop)) break;
        for (std::size_t t = 0; t < CPluginFile::kTableCount && !Stopped(stop); ++t) {
            for (const auto& entry : file->Table(t)) {
                if (Stopped(stop)) break;
                CFinding row{entry.get(), nullptr, index, kNoFile, kNoFile, std::uint8_t(t), EFinding::ListedMaster};
                if (!masters) {
                    row.m_kind = EFinding::Listed;
                    row.m_original = engine.OriginalFile(entry->IdText(), t);
                }
                rows.push_back(row);
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
    panes.m_stopped = Stopped(stop);
    panes.m_files = engine.Files();
    SortListing(rows, panes.m_files);
    panes.m_editor = std::move(rows);
    report(text, 0);
    return panes;
}

}  // namespace vantor
