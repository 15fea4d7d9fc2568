// vantor: the command-line front end over vantor_core.
#include <CLI/CLI.hpp>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "cli/Common.h"
#include "cli/Json.h"
#include "format/PluginFile.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace {

using namespace vantor;

struct CInfoResult {
    std::string m_file;
    std::map<std::string, std::size_t> m_counts;
    std::size_t m_deleted = 0;
    std::vector<std::string> m_masters;
};

int RunInfo(const std::vector<std::string>& paths, const std::string& format) {
    int status = 0;
    std::vector<CInfoResult> results;
    for (const auto& path : paths) {
        CPluginFile file;
        std::atomic<std::int32_t> stop{0};
        if (!file.Open(platform::FileNameOf(path), platform::FolderOf(path))) {
            std::cerr << "vantor: cannot open " << cli::DisplayText(path) << ": " << platform::LastErrorMessage() << "\n";
            status = cli::kExitFailed;
            continue;
        }
        if (!file.ReadRecords(stop, CExtractOpts::All())) {
            // The reader's messages name the file.
            std::cerr << "vantor: error: " << cli::DisplayText(file.Diagnostic().m_message) << "\n";
            status = cli::kExitFailed;
            continue;
        }
        file.Close();
        for (const CReadDiagnostic& d : file.Diagnostics())
            std::cerr << "vantor: warning: " << cli::DisplayText(d.m_message) << "\n";
        CInfoResult r;
        r.m_file = file.FileName();
        for (std::size_t i = 0; i < CPluginFile::kTableCount; ++i) {
            const auto& table = file.Table(i);
            if (!table.empty()) r.m_counts[std::string(CPluginFile::kTags[i])] = table.size();
            for (const auto& e : table) r.m_deleted += e->m_deleted ? 1 : 0;
        }
        r.m_masters = file.HeaderMasters();
        results.push_back(std::move(r));
    }
    if (format == "json") {
        cli::CJsonWriter json(std::cout);
        json.BeginArray();
        for (const auto& r : results) {
            json.BeginObject();
            json.Key("file").Name(r.m_file);
            json.Key("counts").BeginObject();
            for (const auto& [tag, n] : r.m_counts) json.Key(tag).Number(static_cast<long long>(n));
            json.EndObject();
            json.Key("deleted").Number(static_cast<long long>(r.m_deleted));
            json.Key("masters").BeginArray();
            for (const auto& m : r.m_masters) json.String(m);
            json.EndArray();
            json.EndObject();
        }
        json.EndArray();
        std::cout << "\n";
    } else {
        for (const auto& r : results) {
            std::cout << cli::DisplayText(r.m_file) << "\n";
            for (const auto& [tag, n] : r.m_counts) std::cout << "  " << tag << " " << n << "\n";
            std::cout << "  deleted " << r.m_deleted << "\n";
            // Master names in a header are the plugin's own text.
            for (const auto& m : r.m_masters) std::cout << "  master " << cli::Cp1252ToUtf8(m) << "\n";
        }
    }
    return status;
}

int RunExtract(const cli::CCommonOptions& options) {
    cli::CSession session(options);
    const int status = session.ExitStatus(session.Run(CReadRequest{}));
    const CFileList files = session.Doc().Files();
    auto describe = [](const CPluginFile& f) { return f.EntryCount(); };
    const std::vector<const CLoadedFile*> loaded = files.Loaded();
    const std::vector<CPluginFile*> masters = files.MasterFiles();
    if (options.m_format == "json") {
        cli::CJsonWriter json(std::cout);
        json.BeginObject().Key("plugins").BeginArray();
        for (const CLoadedFile* f : loaded)
            json.BeginObject()
                .Key("file").Name(f->m_name)
                .Key("folder").Name(f->m_folder)
                .Key("entries").Number(static_cast<long long>(describe(*f->m_file)))
                .Key("master").Bool(f->m_role == EFileRole::MasterPlugin)
                .EndObject();
        json.EndArray().Key("masters").BeginArray();
        for (const CPluginFile* m : masters)
            json.BeginObject().Key("file").Name(m->FileName()).Key("entries").Number(static_cast<long long>(describe(*m))).EndObject();
        json.EndArray().EndObject();
        std::cout << "\n";
    } else {
        for (const CLoadedFile* f : loaded)
            std::cout << (f->m_role == EFileRole::MasterPlugin ? "master plugin " : "plugin ")
                      << cli::DisplayText(f->m_name) << ": " << platform::CountOf(describe(*f->m_file), "entry", "entries")
                      << "\n";
        for (const CPluginFile* m : masters)
            std::cout << "master " << cli::DisplayText(m->FileName()) << ": "
                      << platform::CountOf(describe(*m), "entry", "entries") << "\n";
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"vantor: examine, clean and repair Morrowind plugins and masters"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("vantor ") + VANTOR_VERSION);
    cli::CCommandList commands;

    std::vector<std::string> infoFiles;
    std::string format = "text";
    auto* info = app.add_subcommand("info", "Count the entries per record tag of each file");
    info->add_option("files", infoFiles, "Plugin or master files")->required();
    info->add_option("--format", format, "Output format")->check(CLI::IsMember({"text", "json"}));
    commands.push_back({info, [&] { return RunInfo(infoFiles, format); }});

    auto extractOptions = std::make_shared<cli::CCommonOptions>();
    auto* extract = app.add_subcommand("extract", "Read the chosen plugins and the data folder's masters");
    cli::AddCommonOptions(*extract, *extractOptions);
    commands.push_back({extract, [extractOptions] { return RunExtract(*extractOptions); }});

    // Each area registers its own commands.
    for (auto* add : cli::kCommandAreas) add(app, commands);

    platform::UseExactStandardStreams();
    const std::vector<std::string> args = platform::ProgramArguments(argc, argv);
    std::vector<const char*> argPointers;
    for (const std::string& arg : args) argPointers.push_back(arg.c_str());
    try {
        app.parse(int(argPointers.size()), argPointers.data());
    } catch (const CLI::ParseError& e) {
        // --help and --version end well; anything else is a usage error.
        return app.exit(e) == 0 ? cli::kExitDone : cli::kExitUsage;
    }
    for (const auto& command : commands) {
        if (!command.m_app->parsed()) continue;
        try {
            const int status = command.m_run();
            return status == cli::kExitDone && cli::SettingsUnsaved() ? cli::kExitFailed : status;
        } catch (const cli::CCommandError& e) {
            std::cerr << "vantor: " << e.what() << "\n";
            return cli::kExitFailed;
        }
    }
    return cli::kExitUsage;
}
