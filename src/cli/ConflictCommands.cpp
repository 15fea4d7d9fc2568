// vantor conflicts: the conflicts by record.
#include <array>
#include <iostream>

#include "cli/Common.h"
#include "cli/Json.h"
#include "document/operations/RecordConflictList.h"

namespace vantor::cli {

namespace {

// Line names as a JSON array of strings.
void JsonNames(CJsonWriter& json, const CRecordComparison& comparison, const std::vector<std::size_t>& lines) {
    json.BeginArray();
    for (std::size_t l : lines) json.String(comparison.LineName(l));
    json.EndArray();
}

void PrintJson(const CRecordConflictList& list) {
    CJsonWriter json(std::cout);
    json.BeginObject().Key("list").Name("record conflicts").Key("records").BeginArray();
    for (const CRecordConflict& record : list.m_records) {
        const CRecordGroup& group = record.m_group;
        const CRecordComparison comparison(record);
        json.BeginObject()
            .Key("tag")
            .String(CPluginFile::kTags[group.m_table])
            .Key("record")
            .String(RecordConflictCell(record, kRecordType))
            .Key("id")
            .String(group.m_id)
            .Key("winner")
            .Name(group.Winner().m_file->FileName())
            .Key("original");
        if (group.m_master)
            json.Name(group.m_master->m_file->FileName());
        else
            json.String("None");
        json.Key("agreeing").Bool(record.m_agreement == ERecordAgreement::Agreeing);
        json.Key("compared").Bool(record.m_agreement != ERecordAgreement::NotRead);
        json.Key("contested");
        JsonNames(json, comparison, comparison.Contested());
        json.Key("files").BeginArray();
        for (std::size_t c = comparison.HasMaster() ? 1 : 0; c < comparison.ColumnCount(); ++c) {
            json.BeginObject().Key("file").Name(comparison.File(c).FileName());
            json.Key("deleted").Bool(comparison.Entry(c).m_deleted != 0);
            json.Key("changed");
            JsonNames(json, comparison, comparison.Changed(c, CRecordComparison::kFromMaster));
            json.Key("overridden");
            JsonNames(json, comparison, comparison.Changed(c, CRecordComparison::kFromWinner));
            json.EndObject();
        }
        json.EndArray().EndObject();
    }
    json.EndArray().EndObject();
    std::cout << "\n";
}

// The list as a table, one row per record. The text format reads every row
// twice (widths, then lines); each row's cells are made once per pass.
void PrintRows(const CRecordConflictList& list, const std::string& format) {
    static const std::vector<std::string> header(kRecordConflictHeader.begin(), kRecordConflictHeader.end());
    std::size_t cached = list.m_records.size();
    std::array<std::string, kRecordColumnCount> row;
    const CTableView view{header, list.m_records.size(), [&](std::size_t r, std::size_t c) -> std::string_view {
                              if (r != cached) {
                                  const CRecordComparison comparison(list.m_records[r]);
                                  for (std::size_t k = 0; k < kRecordColumnCount; ++k)
                                      row[k] = RecordConflictCell(list.m_records[r], k, &comparison);
                                  cached = r;
                              }
                              return row[c];
                          }};
    PrintTable(std::cout, view, format, "Record Conflicts");
}

// What the comparison could not cover, on stderr, so that a short list is
// not read as all clear.
void TellCoverage(const CRecordConflictList& list) {
    for (const CMissingMaster& master : list.m_masters.m_missing) {
        std::cerr << "vantor: warning: the master " << Cp1252ToUtf8(master.m_name) << " of ";
        for (std::size_t i = 0; i < master.m_plugins.size(); ++i)
            std::cerr << (i ? ", " : "") << DisplayText(master.m_plugins[i]);
        std::cerr << " is not loaded: nothing was compared with its records\n";
    }
    std::size_t unread = 0;
    for (const CRecordConflict& record : list.m_records) unread += record.m_agreement == ERecordAgreement::NotRead;
    if (unread)
        std::cerr << "vantor: warning: " << unread << (unread == 1 ? " record was" : " records were")
                  << " not compared: their data was not read (see the Extract options of the settings)\n";
}

int RunConflicts(const CCommonOptions& options) {
    CSession session(options);
    const COutcome outcome = session.Run(CRecordConflictsRequest{});
    const int status = session.ExitStatus(outcome);
    // Nothing to compare was said already ("No Plugins Chosen to Check").
    if (!outcome.m_recordConflicts) return status == kExitDone ? kExitFailed : status;
    const CRecordConflictList& list = *outcome.m_recordConflicts;
    TellCoverage(list);
    if (options.m_format == "json")
        PrintJson(list);
    else
        PrintRows(list, options.m_format);
    return status;
}

}  // namespace

void AddConflictCommands(CLI::App& app, CCommandList& commands) {
    auto options = std::make_shared<CCommonOptions>();
    auto* c = app.add_subcommand("conflicts",
                                 "List each record two or more plugins hold: its winner, every file in load order, "
                                 "and what each copy changes");
    AddCommonOptions(*c, *options);
    commands.push_back({c, [options] { return RunConflicts(*options); }});
}

}  // namespace vantor::cli
