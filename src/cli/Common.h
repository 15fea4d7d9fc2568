#pragma once
// Options shared by every command that works on a load order, and the
// document they set up.
#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/ConsoleLink.h"
#include "document/VANTORDoc.h"

namespace vantor::cli {

struct CCommonOptions {
    std::string m_dataDir;
    std::string m_installDir;
    std::string m_settings = "vantor.ini";
    std::string m_singleVersus;
    bool m_active = false;
    std::optional<bool> m_masters;  // LoadEsms for this run only
    bool m_yes = false;
    bool m_quiet = false;
    std::string m_format = "text";
    std::vector<std::string> m_plugins;
};

// Adds the common options (and the positional plugin list) to a command.
void AddCommonOptions(CLI::App& command, CCommonOptions& options, bool pluginsRequired = false);

// A document with its console link, set up from the options: settings
// read, mode and choices made as the GUI's commands would make them.
class CSession {
public:
    explicit CSession(const CCommonOptions& options);
    ~CSession();
    CVANTORDoc& Doc() { return *m_doc; }
    CConsoleLink& Link() { return m_link; }
    // Runs a command method that starts the worker and waits for its end.
    template <class F>
    void Run(F&& command) {
        command(*m_doc);
        m_doc->WaitForWorker();
    }
    // 0, or 1 when a file failed or a question was declined.
    int ExitStatus() const;
    // Plugins named on the command line that did not load.
    std::vector<std::string> MissingPlugins() const;

private:
    CCommonOptions m_options;
    CConsoleLink m_link;
    std::unique_ptr<CVANTORDoc> m_doc;
    std::int32_t m_savedLoadEsms = 1;
};

// One subcommand and what runs it when it was given.
struct CCommand {
    CLI::App* m_app;
    std::function<int()> m_run;
};
using CCommandList = std::vector<CCommand>;
using CAddCommands = void (*)(CLI::App& app, CCommandList& commands);

// The areas' command registrations, listed in Commands.cpp.
extern const std::vector<CAddCommands> kCommandAreas;

// Writes a result table as text (aligned), csv (the log's format) or json.
void PrintTable(std::ostream& out, const CResultTable& table, const std::string& format, const std::string& name);

}  // namespace vantor::cli
