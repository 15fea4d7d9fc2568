#include "ResultsFile.h"

#include "QtFrameLink.h"

#include <QString>

#include "document/ResultsLog.h"
#include "texts/Texts.h"

namespace vantor {

namespace {

bool EndsWithNoCase(const std::string& text, const char* suffix) {
    return QString::fromStdString(text).endsWith(QLatin1String(suffix), Qt::CaseInsensitive);
}

}  // namespace

std::string ProposedLogName(const QDate& day) {
    return "VANTORlog " + day.toString(Qt::ISODate).toStdString() + ".txt";
}

std::vector<std::string> ChangesHeader() { return {"Esp File", "Backup", "ID", "Name", "Change"}; }

std::vector<CChangeMade> ChangeRows(const COutcome& outcome) {
    std::vector<CChangeMade> rows;
    for (const CFileChange& file : outcome.m_changed)
        for (const CChangedEntry& entry : file.m_changed) {
            const char* how = nullptr;
            switch (entry.m_how) {
                case EEntryChange::Deleted: how = "Deleted"; break;
                case EEntryChange::Cleaned: how = "Cleaned"; break;
                case EEntryChange::Removed: how = "Removed"; break;
                case EEntryChange::Updated: break;
            }
            if (how) rows.push_back({file.m_file, file.m_backup, entry.m_tag, entry.m_id, how});
        }
    return rows;
}

std::vector<std::string> ChangeCells(const CChangeMade& change) {
    return {change.m_file, change.m_backup, change.m_tag, change.m_id, change.m_change};
}

std::optional<std::string> SaveResultsFile(CQtFrameLink& link, const std::string& folder,
                                           const std::vector<std::string>& inUse, const CResultTable& conflict,
                                           const CResultTable& warning, const CResultTable& editor,
                                           const std::vector<CChangeMade>& changes) {
    const CFileChoice choice = link.ChooseFile(texts::SaveLogChooser(folder, ProposedLogName(QDate::currentDate())));
    if (choice.m_status == CFileChoice::EStatus::Cancelled) return std::nullopt;
    if (choice.m_status != CFileChoice::EStatus::Chosen || choice.m_paths.empty() || choice.m_paths.front().empty()) {
        link.Tell("Error Selecting Save File", "Error");
        return std::nullopt;
    }
    const std::string& path = choice.m_paths.front();
    // The lists as the log has them (or quoted), then what was changed;
    // written whole or not at all, as the log is.
    CLogRows after;
    if (!changes.empty()) after.push_back(ChangesHeader());
    for (const CChangeMade& change : changes) after.push_back(ChangeCells(change));
    return SaveResults(path, inUse, conflict, warning, editor, link,
                       EndsWithNoCase(path, ".csv") ? ELogFields::Quoted : ELogFields::AsTheyAre, after);
}

}  // namespace vantor
