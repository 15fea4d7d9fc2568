// vantor active and vantor where: what the load order holds and where it
// was found.
#include <algorithm>
#include <iostream>
#include <variant>

#include "cli/Common.h"
#include "cli/Json.h"
#include "document/GameChoice.h"

namespace vantor::cli {

namespace {

using loadorder::CGameFile;

// The names of a column padded to one width, for two aligned columns.
void PrintFiles(const std::vector<CGameFile>& files, const std::string& indent) {
    std::size_t width = 0;
    for (const CGameFile& f : files) width = std::max(width, DisplayText(f.m_name).size());
    for (const CGameFile& f : files) {
        const std::string name = DisplayText(f.m_name);
        std::cout << indent << name;
        if (f.m_folder.empty())
            std::cout << std::string(width - name.size() + 2, ' ') << "(in no data folder)";
        else
            std::cout << std::string(width - name.size() + 2, ' ') << DisplayText(f.m_folder);
        std::cout << "\n";
    }
}

void JsonFiles(CJsonWriter& json, const std::vector<CGameFile>& files) {
    json.BeginArray();
    for (const CGameFile& f : files) json.BeginObject().Key("file").Name(f.m_name).Key("folder").Name(f.m_folder).EndObject();
    json.EndArray();
}

int RunActive(const CCommonOptions& options) {
    if (OpenMWChosen(options)) {
        // The whole content list with the folder each file comes from; the
        // missing ones were named on stderr.
        const auto order = LoadOrderOf(options, true);
        const loadorder::CWhere where = order->Where();
        std::vector<CGameFile> found;
        for (const CGameFile& f : std::get<loadorder::COpenMWWhere>(where).m_content)
            if (!f.m_folder.empty()) found.push_back(f);
        if (options.m_format == "json") {
            CJsonWriter json(std::cout);
            JsonFiles(json, found);
            std::cout << "\n";
        } else {
            PrintFiles(found, "");
        }
        return kExitDone;
    }
    CSession session(options);
    session.Doc().ChooseActivePlugins();
    session.Doc().ChoosePlugins(session.Plugins());
    const auto names = session.Doc().PendingNames();
    if (options.m_format == "json") {
        CJsonWriter json(std::cout);
        json.BeginArray();
        for (const auto& n : names) json.Name(n);
        json.EndArray();
        std::cout << "\n";
    } else {
        for (const auto& n : names) std::cout << DisplayText(n) << "\n";
    }
    return session.ExitStatus(COutcome{});
}

std::string SourceWords(const loadorder::CMorrowindWhere& w) {
    using platform::EInstallSource;
    switch (w.m_installSource) {
        case EInstallSource::Given: return "given on the command line";
        case EInstallSource::Registry: return "from the registry";
        case EInstallSource::Environment: return std::string("from ") + platform::kInstallDirVariable;
        case EInstallSource::WinePrefix: return "from the Wine prefix " + DisplayText(w.m_winePrefix);
        case EInstallSource::Default: return "not found";
    }
    return {};
}

// The files oldest first, as the game loads them. Each file's age is asked
// once: it is a look at the disk.
std::vector<CGameFile> ByAge(std::vector<CGameFile> files, const loadorder::CLoadOrder& order) {
    std::vector<std::pair<loadorder::CFileAge, std::size_t>> ages;
    ages.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) ages.emplace_back(order.Age(files[i].m_folder + files[i].m_name), i);
    std::sort(ages.begin(), ages.end());
    std::vector<CGameFile> sorted;
    sorted.reserve(files.size());
    for (const auto& [age, i] : ages) sorted.push_back(std::move(files[i]));
    return sorted;
}

void PrintMorrowind(const loadorder::CMorrowindWhere& w, const loadorder::CLoadOrder& order, bool json) {
    const std::vector<CGameFile> masters = ByAge(order.Masters(), order);
    const std::vector<CGameFile> plugins = ByAge(order.ActivePlugins(), order);
    if (json) {
        CJsonWriter out(std::cout);
        out.BeginObject().Key("game").Name("Morrowind");
        out.Key("install").BeginObject().Key("folder").Name(w.m_installDir).Key("source").Name(SourceWords(w)).EndObject();
        out.Key("dataFolder").Name(w.m_dataDir).Key("dataFolderGiven").Bool(w.m_dataDirGiven);
        out.Key("activePluginsFrom").Name(w.m_iniPath);
        out.Key("masters");
        JsonFiles(out, masters);
        out.Key("activePlugins");
        JsonFiles(out, plugins);
        out.EndObject();
        std::cout << "\n";
        return;
    }
    std::cout << "game: Morrowind (Morrowind.ini and file times)\n";
    std::cout << "install folder: " << (w.m_installDir.empty() ? "none" : DisplayText(w.m_installDir)) << " ("
              << SourceWords(w) << ")\n";
    std::cout << "data folder: " << DisplayText(w.m_dataDir)
              << (w.m_dataDirGiven ? " (given on the command line)" : "") << "\n";
    std::cout << "active plugins from: " << DisplayText(w.m_iniPath) << "\n";
    std::cout << "masters, oldest first:\n";
    PrintFiles(masters, "  ");
    std::cout << "active plugins, oldest first:\n";
    PrintFiles(plugins, "  ");
}

std::string StatusWords(const loadorder::CConfigFile& file) {
    if (!file.m_droppedBy.empty()) return " (dropped: replace=config in " + DisplayText(file.m_droppedBy) + ")";
    return file.m_status == loadorder::EConfigStatus::Read ? "" : " (not read: " + ConfigProblem(file) + ")";
}

void PrintOpenMW(const loadorder::COpenMWWhere& w, bool json) {
    if (json) {
        CJsonWriter out(std::cout);
        out.BeginObject().Key("game").Name("OpenMW");
        out.Key("configurationFiles").BeginArray();
        for (const auto& file : w.m_chain)
            out.BeginObject()
                .Key("path").Name(file.m_path)
                .Key("read").Bool(file.m_status == loadorder::EConfigStatus::Read)
                .Key("problem").Name(file.m_status == loadorder::EConfigStatus::Read ? "" : ConfigProblem(file))
                .Key("droppedBy").Name(file.m_droppedBy)
                .EndObject();
        out.EndArray().Key("dataFolders").BeginArray();
        for (const auto& folder : w.m_dataFolders)
            out.BeginObject()
                .Key("path").Name(folder.m_path)
                .Key("from").Name(folder.m_configPath)
                .Key("line").Number(static_cast<long long>(folder.m_line))
                .Key("local").Bool(folder.m_local)
                .Key("exists").Bool(folder.m_exists)
                .EndObject();
        out.EndArray().Key("loadOrder");
        JsonFiles(out, w.m_content);
        out.Key("missing").BeginArray();
        for (const auto& name : w.m_missing) out.Name(name);
        out.EndArray().Key("errors").BeginArray();
        for (const auto& error : w.m_errors)
            out.BeginObject()
                .Key("file").Name(error.m_path)
                .Key("line").Number(static_cast<long long>(error.m_line))
                .Key("message").Name(error.m_text)
                .EndObject();
        out.EndArray().EndObject();
        std::cout << "\n";
        return;
    }
    std::cout << "game: OpenMW (openmw.cfg)\n";
    std::cout << "configuration files, in the order read:\n";
    for (const auto& file : w.m_chain) std::cout << "  " << DisplayText(file.m_path) << StatusWords(file) << "\n";
    std::cout << "data folders, highest priority first:\n";
    for (const auto& folder : w.m_dataFolders)
        std::cout << "  " << DisplayText(folder.m_path) << (folder.m_local ? " (data-local)" : "")
                  << (folder.m_exists ? "" : " (no such folder)") << " from " << DisplayText(folder.m_configPath)
                  << " line " << folder.m_line << "\n";
    std::cout << "load order:\n";
    PrintFiles(w.m_content, "  ");
}

int RunWhere(const CCommonOptions& options) {
    const auto order = ChosenLoadOrder(options);
    const loadorder::CWhere where = order->Where();
    const bool json = options.m_format == "json";
    if (const auto* game = std::get_if<loadorder::CMorrowindWhere>(&where)) PrintMorrowind(*game, *order, json);
    if (const auto* openmw = std::get_if<loadorder::COpenMWWhere>(&where)) PrintOpenMW(*openmw, json);
    // What cannot be read is shown above; the load order is not whole.
    if (const auto problem = UnreadableConfig(*order)) {
        std::cerr << "vantor: " << UnreadableConfigText(*problem) << "\n";
        return kExitFailed;
    }
    // What OpenMW would not start with: shown as read, and a failure here,
    // where the load order is what was asked about.
    return ReportConfigErrors(*order) ? kExitFailed : kExitDone;
}

}  // namespace

void AddLoadOrderCommands(CLI::App& app, CCommandList& commands) {
    auto activeOptions = std::make_shared<CCommonOptions>();
    auto* active = app.add_subcommand("active", "List the active plugins of the load order (with --openmw or "
                                                "--openmw-config: every content file and its folder)");
    AddCommonOptions(*active, *activeOptions);
    commands.push_back({active, [activeOptions] { return RunActive(*activeOptions); }});

    auto whereOptions = std::make_shared<CCommonOptions>();
    auto* where = app.add_subcommand("where", "Say where the game's files were found and in which order they load");
    AddLoadOrderOptions(*where, *whereOptions);
    where->add_option("--format", whereOptions->m_format, "Output format")
        ->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();
    commands.push_back({where, [whereOptions] { return RunWhere(*whereOptions); }});
}

}  // namespace vantor::cli
