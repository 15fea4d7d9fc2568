#include "cli/Common.h"

#include <algorithm>
#include <iostream>
#include <variant>

#include "cli/Json.h"
#include "document/GameChoice.h"
#include "document/OutputPath.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "platform/Text.h"

namespace vantor::cli {

void AddLoadOrderOptions(CLI::App& command, CCommonOptions& o) {
    auto* data = command.add_option("--data-dir", o.m_dataDir, "The game's \"Data Files\" folder (masters are searched there)");
    auto* install = command.add_option("--install-dir", o.m_installDir, "The game's folder (holds Morrowind.ini)");
    auto* config = command.add_option("--openmw-config", o.m_openmwConfig,
                                      "OpenMW's load order: this openmw.cfg (or the folder holding it) and the files "
                                      "its config= lines name");
    auto* openmw = command.add_flag("--openmw", o.m_openmw, "OpenMW's load order, from its openmw.cfg files where OpenMW keeps them");
    // The game's folders mean nothing to OpenMW's load order.
    for (auto* option : {config, openmw}) option->excludes(data)->excludes(install);
    config->excludes(openmw);
}

void AddCommonOptions(CLI::App& command, CCommonOptions& o, bool pluginsRequired) {
    AddLoadOrderOptions(command, o);
    command.add_option("--settings", o.m_settings, "Settings file, read at start and written at the end")
        ->capture_default_str();
    command.add_option("--single-versus", o.m_singleVersus, "Single Versus mode against this master plugin");
    command.add_flag("--active", o.m_active, "Add the active plugins of the load order (Morrowind.ini or openmw.cfg)");
    command.add_flag_callback("--masters", [&o] { o.m_masters = true; }, "Read the data folder's masters (this run)");
    command.add_flag_callback("--no-masters", [&o] { o.m_masters = false; }, "Do not read the data folder's masters");
    command.add_flag("--yes,-y", o.m_yes, "Answer Yes to every question");
    command.add_flag("--quiet,-q", o.m_quiet, "No progress display");
    command.add_option("--format", o.m_format, "Output format")
        ->check(CLI::IsMember({"text", "csv", "log", "json"}))
        ->capture_default_str();
    auto* plugins = command.add_option("plugins", o.m_plugins, "Plugin files to examine");
    if (pluginsRequired) plugins->required();
}

bool OpenMWChosen(const CCommonOptions& options) { return options.m_openmw || !options.m_openmwConfig.empty(); }

std::shared_ptr<const loadorder::CLoadOrder> ChosenLoadOrder(const CCommonOptions& options) {
    CGameChoice choice;
    if (OpenMWChosen(options)) choice = {CGameChoice::EGame::OpenMW, options.m_openmwConfig};
    auto given = [](const std::string& folder) { return folder.empty() ? std::nullopt : std::optional(folder); };
    return MakeLoadOrder(choice, given(options.m_installDir), given(options.m_dataDir));
}

std::string UnreadableConfigText(const loadorder::CConfigFile& file) {
    return "cannot read the OpenMW configuration " + DisplayText(file.m_path) + ": " + ConfigProblem(file);
}

bool ReportConfigErrors(const loadorder::CLoadOrder& order) {
    const loadorder::CWhere where = order.Where();
    const auto* openmw = std::get_if<loadorder::COpenMWWhere>(&where);
    if (!openmw) return false;
    for (const auto& error : openmw->m_errors) std::cerr << "vantor: error: " << DisplayText(error.m_text) << "\n";
    return !openmw->m_errors.empty();
}

std::shared_ptr<const loadorder::CLoadOrder> LoadOrderOf(const CCommonOptions& options, bool reportMissing) {
    auto order = ChosenLoadOrder(options);
    if (const auto problem = UnreadableConfig(*order)) throw CCommandError(UnreadableConfigText(*problem));
    if (reportMissing) {
        ReportConfigErrors(*order);
        const loadorder::CWhere where = order->Where();
        if (const auto* openmw = std::get_if<loadorder::COpenMWWhere>(&where))
            for (const std::string& name : openmw->m_missing)
                std::cerr << "vantor: warning: the content file " << DisplayText(name)
                          << " is in no data folder of the load order\n";
    }
    return order;
}

namespace {

bool gSettingsUnsaved = false;

// The settings file is an output like any other: never a plugin or master
// the run reads, never a file that is not a settings file to begin with.
void CheckSettingsPath(const std::string& settings, std::vector<std::string> reads) {
    const std::string shown = DisplayText(settings);
    if (IsFileInUse(settings, reads))
        throw CCommandError("the settings file " + shown + " is a plugin or master in use: choose another --settings file");
    const std::string onDisk = platform::ResolvePath(settings).value_or(settings);
    std::string bytes;
    if (platform::FileExists(onDisk) && platform::ReadWholeFile(onDisk, bytes) && !platform::IsTextLines(bytes))
        throw CCommandError("the settings file " + shown +
                            " is not a settings file (it holds bytes that are not text): choose another --settings file");
}

}  // namespace

bool SettingsUnsaved() { return gSettingsUnsaved; }

CSession::CSession(const CCommonOptions& options) : m_options(options), m_link(options.m_yes, options.m_quiet) {
    CDocConfig config;
    config.m_settingsPath = options.m_settings;
    config.m_loadOrder = LoadOrderOf(options, true);
    const bool openmw = OpenMWChosen(options);
    if (openmw) {
        // OpenMW's files lie in many folders: a bare name that is not in the
        // working folder is the load order's file of that name.
        auto resolve = [&](std::string& path) {
            if (path.find('/') != std::string::npos || platform::FileExists(path)) return;
            if (auto found = config.m_loadOrder->Find(path)) path = found->m_folder + found->m_name;
        };
        for (std::string& path : m_options.m_plugins) resolve(path);
        if (!m_options.m_singleVersus.empty()) resolve(m_options.m_singleVersus);
    }
    std::vector<std::string> reads = m_options.m_plugins;
    if (!m_options.m_singleVersus.empty()) reads.push_back(m_options.m_singleVersus);
    CheckSettingsPath(options.m_settings, std::move(reads));
    m_doc = std::make_unique<CVANTORDoc>(config, &m_link);
    COptionSet settings = m_doc->Options();
    m_savedLoadEsms = settings.m_loadEsms;
    if (options.m_masters) {
        settings.m_loadEsms = *options.m_masters;
        m_doc->SetOptions(settings);
    }

    if (!m_options.m_singleVersus.empty()) {
        m_doc->SetCheckMode(ECheckMode::SingleVersus);
        m_setUp = m_doc->ChooseMasterPlugin(m_options.m_singleVersus);
    }
    const bool noneNamed = m_options.m_plugins.empty() && m_options.m_singleVersus.empty();
    if (m_options.m_active || (openmw && noneNamed && m_options.m_loadOrderWhenNone)) m_doc->ChooseActivePlugins();
}

CSession::~CSession() {
    // The run's own --masters choice is not remembered.
    COptionSet settings = m_doc->Options();
    settings.m_loadEsms = m_savedLoadEsms;
    m_doc->SetOptions(settings);
    // Written here, where a failure can still be told; the document's own
    // write at its end then finds nothing to change.
    platform::ClearLastError();
    if (!settings.Save(m_options.m_settings)) {
        const std::string why = platform::LastErrorMessage();
        std::cerr << "vantor: the settings could not be written to " << DisplayText(m_options.m_settings)
                  << (why.empty() ? "" : ": " + why) << "\n";
        gSettingsUnsaved = true;
    }
}

COutcome CSession::Run(CRequest request) {
    std::visit(
        [this](auto& r) {
            if constexpr (std::is_base_of_v<CWithPlugins, std::decay_t<decltype(r)>>) r.m_plugins = m_options.m_plugins;
        },
        request);
    return m_doc->Run(request);
}

int CSession::ExitStatus(const COutcome& outcome) {
    if (!m_unreadReported) {
        // Each file once: the reader's own message, when it gave one, says
        // what is wrong with it.
        for (const CUnreadFile& file : outcome.m_unread) {
            if (file.m_told) continue;
            std::string shown = file.m_folder + file.m_name;
            for (const std::string& named : m_options.m_plugins)
                if (platform::FileNameOf(named) == file.m_name) shown = named;
            std::cerr << "vantor: could not read " << DisplayText(shown) << "\n";
        }
    }
    m_unreadReported = true;
    return m_setUp && outcome.Ok() ? kExitDone : kExitFailed;
}

void TellMasterCoverage(const COutcome& outcome) {
    if (!outcome.m_masterCoverage) return;
    const CMasterCoverage& coverage = *outcome.m_masterCoverage;
    if (coverage.m_noneRead)
        std::cerr << "vantor: warning: no master was read, so unclean entries and global changes could not be checked\n";
    for (const CMissingMaster& master : coverage.m_missing) {
        // A header's master name is the plugin's own text.
        std::cerr << "vantor: warning: the master " << Cp1252ToUtf8(master.m_name) << " of ";
        for (std::size_t i = 0; i < master.m_plugins.size(); ++i)
            std::cerr << (i ? ", " : "") << DisplayText(master.m_plugins[i]);
        std::cerr << " is not loaded: nothing was compared with its records\n";
    }
}

void AddBackupOptions(CLI::App& command, CBackupOptions& options) {
    command.add_option("--backup-name", options.m_backupName,
                       "When a .OLD backup exists already, make the new backup under this name");
    command.add_flag("--accept-existing-backup", options.m_acceptBackup,
                     "When a .OLD backup exists already, keep it as the backup");
}

void ApplyBackupOptions(CSession& session, const CBackupOptions& options) {
    auto& answers = session.Link().m_answers;
    if (!options.m_backupName.empty()) {
        answers[EQuestion::ReplaceBackup] = answers[EQuestion::BackupIsPlugin] = EAnswer::Yes;
        session.Link().m_backupName = options.m_backupName;
    } else if (options.m_acceptBackup) {
        answers[EQuestion::ReplaceBackup] = answers[EQuestion::BackupIsPlugin] = EAnswer::No;
    }
}

std::string RecordTag(const std::string& argument) {
    if (CPluginFile::TagIndex(argument) >= 0) return argument;
    std::string tag = argument;
    for (char& c : tag)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return CPluginFile::TagIndex(tag) >= 0 ? tag : std::string();
}

namespace {
// "Esp File", "Overriding Esp File", "Original File": file names.
bool IsFileColumn(const std::string& header) { return header.ends_with("File") || header.ends_with("Files"); }

// Lines gathered into large writes: a stream written a cell at a time costs
// more than making the cells.
class CChunkedOut {
public:
    explicit CChunkedOut(std::ostream& out) : m_out(out) {}
    ~CChunkedOut() { Flush(); }
    std::string& Text() { return m_text; }
    void LineDone() {
        if (m_text.size() >= kChunk) Flush();
    }
    void Flush() {
        m_out.write(m_text.data(), std::streamsize(m_text.size()));
        m_text.clear();
    }

private:
    static constexpr std::size_t kChunk = std::size_t(1) << 16;
    std::ostream& m_out;
    std::string m_text;
};

// A file column's cells repeat the same few names: each is made fit for
// display once, when it differs from the cell before it.
class CNameText {
public:
    const std::string& Of(std::string_view cell) {
        if (!m_made || cell != m_cell) {
            m_cell.assign(cell);
            m_text = DisplayText(cell);
            m_width = Utf8Width(m_text);
            m_made = true;
        }
        return m_text;
    }
    std::size_t Width() const { return m_width; }
    static std::size_t Utf8Width(std::string_view s) {
        std::size_t n = 0;
        for (unsigned char c : s) n += (c & 0xC0) != 0x80;
        return n;
    }

private:
    bool m_made = false;
    std::string m_cell, m_text;
    std::size_t m_width = 0;
};

}  // namespace

void WriteCsvField(std::ostream& out, std::string_view cell) {
    std::string field;
    platform::AppendCsvField(field, cell);
    out << field;
}

void PrintTable(std::ostream& out, const CTableView& table, const std::string& format, const std::string& name) {
    const std::vector<std::string>& header = table.m_header;
    const std::size_t columns = header.size();
    // Rows are asked for in runs; `row` points at the cells of the row
    // fetched last.
    constexpr std::size_t kRun = 64;
    std::vector<std::string_view> run(columns * kRun);
    std::size_t runFirst = 0, runCount = 0;
    const std::string_view* row = run.data();
    auto fetch = [&](std::size_t r) {
        if (!table.m_rowCells) {
            for (std::size_t c = 0; c < columns; ++c) run[c] = table.m_cell(r, c);
            row = run.data();
            return;
        }
        if (r < runFirst || r >= runFirst + runCount) {
            runFirst = r;
            runCount = std::min(kRun, table.m_rows - r);
            table.m_rowCells(runFirst, runCount, run.data());
        }
        row = run.data() + (r - runFirst) * columns;
    };
    if (format == "csv" || format == "log") {
        // Bytes as they are, CR LF. The log's lines join cells as they are,
        // so a comma inside one splits it; csv quotes such a cell.
        const bool csv = format == "csv";
        CChunkedOut chunks(out);
        std::string& text = chunks.Text();
        // A column's cells are mostly the very bytes of the cell above (a
        // tag, a description, a file's name): where cells stay put, a run of
        // such cells is copied from the line above as it was written,
        // separators and quoting included.
        std::vector<std::string_view> lastCell(columns);
        std::vector<std::size_t> lastEnd(columns), end(columns);  // where each field and its separator end
        std::string lastLine;
        bool haveLast = false;
        auto separator = [&](std::size_t c) { text += c + 1 < columns ? std::string_view(",") : "\r\n"; };
        auto line = [&](auto&& cell) {
            const std::size_t start = text.size();
            const auto same = [&](std::size_t c, std::string_view bytes) {
                return haveLast && bytes.data() == lastCell[c].data() && bytes.size() == lastCell[c].size();
            };
            for (std::size_t c = 0; c < columns;) {
                const std::string_view bytes = cell(c);
                if (same(c, bytes)) {
                    std::size_t to = c + 1;
                    while (to < columns && same(to, cell(to))) ++to;
                    const std::size_t from = c ? lastEnd[c - 1] : 0;
                    text.append(lastLine, from, lastEnd[to - 1] - from);
                    for (; c < to; ++c) end[c] = text.size() - start - (lastEnd[to - 1] - lastEnd[c]);
                    continue;
                }
                if (csv)
                    platform::AppendCsvField(text, bytes);
                else
                    text += bytes;
                separator(c);
                lastCell[c] = bytes;
                end[c] = text.size() - start;
                ++c;
            }
            if (columns == 0) text += "\r\n";
            // Only the cells of a table that says they stay put can be
            // known by their place: elsewhere a place is reused.
            if (csv && table.m_cellsStay) {
                lastLine.assign(text, start);
                lastEnd.swap(end);
                haveLast = true;
            }
            chunks.LineDone();
        };
        line([&](std::size_t c) { return std::string_view(header[c]); });
        for (std::size_t r = 0; r < table.m_rows; ++r) {
            fetch(r);
            line([&](std::size_t c) { return row[c]; });
        }
        return;
    }
    if (format == "json") {
        CJsonWriter json(out);
        json.BeginObject().Key("list").Name(name).Key("columns").BeginArray();
        for (const auto& h : header) json.String(h);
        json.EndArray().Key("rows").BeginArray();
        for (std::size_t r = 0; r < table.m_rows; ++r) {
            fetch(r);
            json.BeginObject();
            for (std::size_t c = 0; c < columns; ++c) {
                json.Key(header[c]);
                const std::string cell(row[c]);
                if (IsFileColumn(header[c]))
                    json.Name(cell);
                else
                    json.String(cell);
            }
            json.EndObject();
        }
        json.EndArray().EndObject();
        out << "\n";
        return;
    }
    // Aligned columns: the widths in a first pass, the lines in a second, so
    // that no row's texts are kept. A plugin's text (Windows-1252) is one
    // character a byte, so its width needs no conversion.
    std::vector<bool> fileColumn(columns);
    std::vector<CNameText> names(columns);
    std::vector<std::size_t> widths(columns, 0);
    for (std::size_t c = 0; c < columns; ++c) {
        fileColumn[c] = IsFileColumn(header[c]);
        widths[c] = CNameText::Utf8Width(header[c]);
    }
    for (std::size_t r = 0; r < table.m_rows; ++r) {
        fetch(r);
        for (std::size_t c = 0; c < columns; ++c) {
            const std::string_view cell = row[c];
            std::size_t width = 0;
            if (fileColumn[c]) {
                names[c].Of(cell);
                width = names[c].Width();
            } else {
                width = UpToNul(cell).size();
            }
            widths[c] = std::max(widths[c], width);
        }
    }
    CChunkedOut chunks(out);
    std::string& text = chunks.Text();
    auto pad = [&](std::size_t c, std::size_t width) {
        if (c + 1 < columns) text.append(widths[c] - width + 2, ' ');
    };
    text += name + " (" + std::to_string(table.m_rows) + ")\n";
    for (std::size_t c = 0; c < columns; ++c) {
        text += header[c];
        pad(c, CNameText::Utf8Width(header[c]));
    }
    text += '\n';
    for (std::size_t r = 0; r < table.m_rows; ++r) {
        fetch(r);
        for (std::size_t c = 0; c < columns; ++c) {
            const std::string_view cell = row[c];
            if (fileColumn[c]) {
                text += names[c].Of(cell);
                pad(c, names[c].Width());
            } else {
                const std::string_view shown = UpToNul(cell);
                text += Cp1252ToUtf8(shown);
                pad(c, shown.size());
            }
        }
        text += '\n';
        chunks.LineDone();
    }
}

void PrintTable(std::ostream& out, const CResultTable& table, const std::string& format, const std::string& name) {
    PrintTable(out,
               CTableView{table.m_header, table.RowCount(),
                          [&table](std::size_t r, std::size_t c) { return table.Cell(r, c); },
                          [&table](std::size_t first, std::size_t count, std::string_view* cells) {
                              table.RowCells(first, count, cells);
                          },
                          true},
               format, name);
}

CCsvConflicts::CCsvConflicts(std::ostream& out) : m_out(out), m_table(ConflictTableHeader()) {}

void CCsvConflicts::Take(const std::vector<const CPluginFile*>& files, CFindings& rows) {
    // The document holds the files for the whole run: the table borrows them.
    const bool same = std::equal(files.begin(), files.end(), m_table.m_files.begin(), m_table.m_files.end(),
                                 [](const CPluginFile* file, const CFileRef& ref) { return ref.get() == file; });
    if (!same) {
        m_table.m_files.clear();
        for (const CPluginFile* file : files) m_table.m_files.push_back(CFileRef(CFileRef(), file));
    }
    if (!m_begun) PrintTable(m_out, m_table, "csv", {});
    m_begun = true;
    // A line is the cells of PrintTable's csv; of a conflict, the first two
    // cells follow from its tag and the last three from its files.
    const auto field = [&](std::string& to, const CFinding& f, std::size_t column, std::string_view after) {
        platform::AppendCsvField(to, m_table.CellOf(f, column));
        to += after;
    };
    const CFinding* lead = nullptr;
    const CFinding* named = nullptr;
    CChunkedOut chunks(m_out);
    std::string& text = chunks.Text();
    CEntriesAhead ahead(rows.cbegin(), rows.cend());
    for (const CFinding& f : rows) {
        ahead.Next();
        if (!lead || f.m_table != lead->m_table || f.m_kind != lead->m_kind) {
            m_lead.clear();
            field(m_lead, f, 0, ",");
            field(m_lead, f, 1, ",");
            lead = &f;
        }
        text += m_lead;
        field(text, f, 2, ",");
        if (!named || f.m_file != named->m_file || f.m_otherFile != named->m_otherFile ||
            f.m_original != named->m_original || f.m_kind != named->m_kind) {
            m_files.clear();
            field(m_files, f, 3, ",");
            field(m_files, f, 4, ",");
            field(m_files, f, 5, "\r\n");
            named = &f;
        }
        text += m_files;
        chunks.LineDone();
    }
}

}  // namespace vantor::cli
