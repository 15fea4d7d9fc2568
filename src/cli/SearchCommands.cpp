// vantor find and vantor list: the object search and the editor listings.
#include <algorithm>
#include <iostream>

#include "checks/Search.h"
#include "cli/Common.h"
#include "cli/Json.h"
#include "platform/Files.h"

namespace vantor::cli {

namespace {

struct CFindArgs {
    CCommonOptions m_common;
    std::string m_text;
    bool m_matchCase = false;
    bool m_wholeWord = false;
    bool m_noData = false;
};

struct CListArgs {
    CCommonOptions m_common;
    std::string m_file;
};

// "Esm Mode" and the master listings need the masters read, so --masters
// does both: it reads them for this run and makes them what is searched
// or listed.
bool MastersMode(const CCommonOptions& options) { return options.m_masters.value_or(false); }

const char* const kMastersHelp = "Search or list the data folder's masters (they are read for this run)";

int RunFind(const CFindArgs& args) {
    CSession session(args.m_common);
    CFindRequest request;
    CFindParams& params = request.m_find;
    params.m_text = Utf8ToCp1252(args.m_text);
    params.m_matchCase = args.m_matchCase;
    params.m_wholeWord = args.m_wholeWord;
    params.m_lookInData = !args.m_noData;
    params.m_searchMasters = MastersMode(args.m_common);
    const int status = session.ExitStatus(session.Run(request));
    CVANTORDoc& doc = session.Doc();
    // The search runs only over a load order with a plugin in it, also when
    // it searches the masters.
    if (doc.LoadedNames().empty()) {
        std::cerr << "vantor: no plugin was loaded, so nothing was searched\n";
        return kExitFailed;
    }
    PrintTable(std::cout, *doc.ResultTable(EPane::Editor), args.m_common.m_format, "find");
    return status;
}

int RunList(CListArgs args) {
    const bool masters = MastersMode(args.m_common);
    // A file name is looked up as the file system has it.
    const std::string fileName = platform::FileNameOf(args.m_file);
    // "vantor list --file Some.esp" lists that plugin without naming it twice.
    if (!masters && !args.m_file.empty() && args.m_common.m_plugins.empty() && !args.m_common.m_active &&
        args.m_common.m_singleVersus.empty())
        args.m_common.m_plugins.push_back(args.m_file);

    CSession session(args.m_common);
    CListRequest request;
    request.m_masters = masters;
    request.m_file = fileName;
    int status = session.ExitStatus(session.Run(request));
    CVANTORDoc& doc = session.Doc();
    if (!fileName.empty()) {
        const auto names = masters ? doc.FoundMasterNames() : doc.LoadedNames();
        if (std::find(names.begin(), names.end(), fileName) == names.end()) {
            std::cerr << "vantor: no loaded " << (masters ? "master" : "plugin") << " is named "
                      << DisplayText(fileName) << "\n";
            status = kExitFailed;
        }
    }
    PrintTable(std::cout, *doc.ResultTable(EPane::Editor), args.m_common.m_format, "list");
    return status;
}

}  // namespace

void AddSearchCommands(CLI::App& app, CCommandList& commands) {
    auto find = std::make_shared<CFindArgs>();
    auto* f = app.add_subcommand("find", "Find the entries whose ID, data or record tag contains a text");
    // Added before the common options so that it is the first positional.
    f->add_option("text", find->m_text, "The text to find")->required();
    f->add_flag("--match-case", find->m_matchCase, "Match case");
    f->add_flag("--whole-word", find->m_wholeWord, "Match whole word only (the whole ID)");
    f->add_flag("--no-data", find->m_noData, "Look only in the IDs, not in the data and record tags");
    AddCommonOptions(*f, find->m_common);
    f->get_option("--masters")->description(kMastersHelp);
    commands.push_back({f, [find] { return RunFind(*find); }});

    auto list = std::make_shared<CListArgs>();
    auto* l = app.add_subcommand("list", "List every entry of the plugins, of the masters, or of one file");
    l->add_option("--file", list->m_file, "Only this plugin (or master, with --masters)");
    AddCommonOptions(*l, list->m_common);
    l->get_option("--masters")->description(kMastersHelp);
    commands.push_back({l, [list] { return RunList(*list); }});
}

}  // namespace vantor::cli
