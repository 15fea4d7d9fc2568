// vantor merge: the merged patch of the chosen plugins.
#include <array>
#include <iostream>

#include "cli/Common.h"
#include "cli/Json.h"
#include "document/operations/MergedPatchOperation.h"
#include "merge/MergedPatch.h"
#include "platform/Files.h"

namespace vantor::cli {

namespace {

struct CMergeArgs {
    CCommonOptions m_common;
    CBackupOptions m_backup;
    std::string m_output;
    bool m_dryRun = false;
};

std::string Joined(const std::vector<const CPluginFile*>& files) {
    std::string text;
    for (const CPluginFile* f : files) text += (text.empty() ? "" : ", ") + f->FileName();
    return text;
}

// One row per record merged: where each changed field came from, and the
// fields two plugins set to different values.
void PrintReport(const merge::CMergeResult& r, const std::string& format) {
    static const std::vector<std::string> kMerged = {"Type", "ID", "Winner", "Fields", "Contested"};
    std::vector<std::array<std::string, 5>> rows;
    for (const merge::CMergedRecord& m : r.m_records) {
        std::string fields, contested;
        for (const merge::CFieldSource& f : m.m_fields) {
            fields += (fields.empty() ? "" : "; ") + f.m_field + ": " + f.m_file->FileName();
            if (!f.m_contested.empty())
                contested += (contested.empty() ? "" : "; ") + f.m_field + " (" + Joined(f.m_contested) + ")";
        }
        rows.push_back({std::string(m.m_tag), std::string(UpToNul(m.m_id)), m.m_winner->FileName(), fields, contested});
    }
    // The file that deletes the record, or the winner.
    static const std::vector<std::string> kSkipped = {"Type", "ID", "File", "Reason"};
    std::vector<std::array<std::string, 4>> skipped;
    for (const merge::CSkippedRecord& s : r.m_skipped)
        skipped.push_back({std::string(s.m_tag), std::string(UpToNul(s.m_id)), s.m_file->FileName(), s.m_reason});

    const CTableView merged{kMerged, rows.size(), [&](std::size_t row, std::size_t c) { return std::string_view(rows[row][c]); }};
    const CTableView left{kSkipped, skipped.size(),
                          [&](std::size_t row, std::size_t c) { return std::string_view(skipped[row][c]); }};
    if (format == "json") std::cout << "[";
    PrintTable(std::cout, merged, format, format == "json" ? "merged" : "Merged");
    std::cout << (format == "json" ? "," : format == "text" ? "\n" : "");
    PrintTable(std::cout, left, format, format == "json" ? "not merged" : "Not Merged");
    if (format == "json") std::cout << "]\n";
}

int RunMerge(const CMergeArgs& args) {
    if (args.m_common.m_plugins.empty() && !args.m_common.m_active && !OpenMWChosen(args.m_common)) {
        std::cerr << "vantor: name the plugins to merge, or --active\n";
        return kExitUsage;
    }
    if (!args.m_dryRun && platform::FileNameOf(args.m_output).empty()) {
        std::cerr << "vantor: --output must name the merged patch's file, not "
                  << (args.m_output.empty() ? std::string("nothing") : "the folder " + DisplayText(args.m_output)) << "\n";
        return kExitUsage;
    }
    CSession session(args.m_common);
    ApplyBackupOptions(session, args.m_backup);
    CMergedPatchRequest request;
    request.m_output = args.m_output;
    request.m_dryRun = args.m_dryRun;
    const COutcome run = session.Run(request);
    const int status = session.ExitStatus(run);
    const std::optional<CMergedPatchResult>& outcome = run.m_mergedPatch;
    if (!outcome || !outcome->m_merged) {
        std::cerr << "vantor: nothing was merged: " << (outcome ? "the run was stopped" : "no plugin was read") << "\n";
        return kExitFailed;
    }
    for (const std::string& master : outcome->m_missingMasters)
        std::cerr << "vantor: warning: the master " << Cp1252ToUtf8(master)
                  << " is not loaded: records it holds were merged against the first plugin's copy\n";
    const merge::CMergeResult& result = *outcome->m_merged;
    PrintReport(result, args.m_common.m_format);
    // Machine-readable output stays alone on stdout.
    std::ostream& note = args.m_common.m_format == "text" ? std::cout : std::cerr;
    if (args.m_dryRun) {
        if (!args.m_common.m_quiet)
            note << "dry run: " << merge::CountsByType(result) << " would be merged; nothing was written\n";
        return status;
    }
    if (result.m_records.empty()) return status;
    if (!outcome->m_written) {
        std::cerr << "vantor: no merged patch was written\n";
        return kExitFailed;
    }
    if (!args.m_common.m_quiet) {
        note << "merged patch written: " << DisplayText(outcome->m_output) << " (" << merge::CountsByType(result)
             << " merged)\n";
        if (OpenMWChosen(args.m_common))
            note << "to load it last in OpenMW, add this line at the end of the content list in openmw.cfg:\n"
                 << DisplayText(OpenMWContentLine(outcome->m_output)) << "\n";
        else
            note << "it loads last: its file time is newer than every plugin merged\n";
    }
    return status;
}

}  // namespace

void AddMergeCommands(CLI::App& app, CCommandList& commands) {
    auto merge = std::make_shared<CMergeArgs>();
    auto* m = app.add_subcommand("merge", "Merge the leveled lists and object records the plugins change into a merged patch");
    AddCommonOptions(*m, merge->m_common);
    m->add_option("--output,-o", merge->m_output,
                  "The merged patch to write; an existing one is replaced only with --yes or your answer, after its backup");
    m->add_flag("--dry-run", merge->m_dryRun, "Print what would be merged; write nothing");
    AddBackupOptions(*m, merge->m_backup);
    commands.push_back({m, [merge] { return RunMerge(*merge); }});
}

}  // namespace vantor::cli
