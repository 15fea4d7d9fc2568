#include "document/operations/RecordConflictList.h"

#include "checks/PluginChecker.h"

namespace vantor {

const std::array<std::string_view, kRecordColumnCount> kRecordConflictHeader = {
    "ID", "Record", "Name", "Winning Esp File", "Esp Files", "Original File", "Agreeing Override", "Contested",
    "Changes by File", "Overridden by File",
};

namespace {

// "A.esp: WPDT (Weight); B.esp: FNAM": the lines each plugin's copy differs
// in from the copy `from` names, for the plugins whose copy does.
std::string ByFile(const CRecordComparison& comparison, std::uint8_t from) {
    std::string text;
    for (std::size_t c = comparison.HasMaster() ? 1 : 0; c < comparison.ColumnCount(); ++c) {
        const std::vector<std::size_t> lines = comparison.Changed(c, from);
        if (lines.empty()) continue;
        text += (text.empty() ? "" : "; ") + comparison.File(c).FileName() + ": " + comparison.Names(lines);
    }
    return text;
}

}  // namespace

std::string AgreementText(ERecordAgreement agreement) {
    switch (agreement) {
        case ERecordAgreement::Conflict: return "No";
        case ERecordAgreement::Agreeing: return "Yes";
        case ERecordAgreement::NotRead: return "Not compared: data not read";
    }
    return {};
}

std::string RecordConflictCell(const CRecordConflict& record, std::size_t column,
                               const CRecordComparison* comparison) {
    if (ComparesCopies(column) && !comparison) {
        const CRecordComparison made(record);
        return RecordConflictCell(record, column, &made);
    }
    const CRecordGroup& group = record.m_group;
    const std::string_view tag = CPluginFile::kTags[group.m_table];
    switch (column) {
        case kRecordTag: return std::string(tag);
        case kRecordType: return CPluginChecker::GetDescription(tag);
        case kRecordName: return std::string(group.m_id);
        case kRecordWinner: return group.Winner().m_file->FileName();
        case kRecordFiles: {
            std::string files;
            for (const CRecordCopy& copy : group.m_copies) files += (files.empty() ? "" : ", ") + copy.m_file->FileName();
            return files;
        }
        case kRecordOriginal: return group.m_master ? group.m_master->m_file->FileName() : "None";
        case kRecordAgreeing: return AgreementText(record.m_agreement);
        case kRecordContested: return comparison->Names(comparison->Contested());
        case kRecordChanges: return ByFile(*comparison, CRecordComparison::kFromMaster);
        case kRecordOverridden: return ByFile(*comparison, CRecordComparison::kFromWinner);
    }
    return {};
}

namespace {

class CRecordConflictsOperation : public COperation {
public:
    CRecordConflictsOperation(const CRequest& request, CDocState state, bool readFirst)
        : COperation(request, std::move(state), EActivity::ComparingRecords, readFirst) {}
    void Run(COperationContext& context, COutcome& outcome) override {
        const CDocState& state = State();
        const CRecordConflictInputs inputs{state.m_files.PluginFiles(), state.m_files.MasterFiles(),
                                           state.m_checkMode == ECheckMode::SingleVersus, state.m_options.m_conflictChecks};
        auto list = std::make_shared<CRecordConflictList>(
            FindRecordConflictList(inputs, state.m_files, context.Ages(), context.Stop().Flag(), &context.Link()));
        outcome.m_masterCoverage = list->m_masters;
        // Without masters the records are still compared with each other.
        outcome.m_masterCoverage->m_noneRead = false;
        if (list->m_stopped) outcome.m_result = EResult::Stopped;
        outcome.m_recordConflicts = std::move(list);
    }
};

}  // namespace

std::unique_ptr<COperation> MakeRecordConflictsOperation(const CRequest& request, CDocState state, bool readFirst) {
    return std::make_unique<CRecordConflictsOperation>(request, std::move(state), readFirst);
}

CRecordConflictList FindRecordConflictList(const CRecordConflictInputs& inputs, const CFileList& files,
                                           CFileAges& ages, const std::atomic<std::int32_t>& stop, CUserLink* link) {
    CRecordConflictList list;
    for (const CLoadedFile& item : files.Items())
        if (item.m_file) list.m_files.push_back(item.m_file);
    // In Single Versus the loaded master plugin, last in the document's
    // list, is the one the others are measured against.
    const CPluginFile* versus = inputs.m_singleVersus && !inputs.m_plugins.empty() ? inputs.m_plugins.back() : nullptr;
    list.m_records = FindRecordConflicts(inputs.m_plugins, inputs.m_masters, ages, inputs.m_types, stop, link, versus);
    list.m_masters = MasterCoverage(inputs.m_plugins, inputs.m_masters);
    list.m_stopped = stop.load(std::memory_order_relaxed) != 0;
    return list;
}

}  // namespace vantor
