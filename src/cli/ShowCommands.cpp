// vantor show: one entry as the entry editor shows it, as rows or as a hex
// dump of its data.
#include <cstdio>
#include <iostream>

#include "cli/Common.h"
#include "cli/Json.h"
#include "editor/EntryRows.h"
#include "editor/HexLayout.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace vantor::cli {

namespace {

struct CShowArgs {
    CCommonOptions m_common;
    std::string m_plugin, m_tag, m_id;
    bool m_hex = false;
};

// Bytes a terminal must not get raw: C0 controls, DEL and the five positions
// Windows-1252 leaves undefined (they would become C1 controls).
bool IsControl(unsigned char c) {
    return c < 32 || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

// A cell for the aligned text output: one line, controls spelled out.
std::string Printable(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (IsControl(c)) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    return out;
}

void PrintRows(const std::vector<CEntryRow>& rows, const std::string& format, const std::string& title) {
    const std::vector<std::string> header = {"ID", "Data", "Type", "Bytes"};
    std::vector<std::vector<std::string>> cells;
    for (const auto& row : rows) {
        if (format == "text")
            cells.push_back({Printable(row.m_tag), Printable(row.m_data), row.m_type, row.m_bytes});
        else
            cells.push_back({row.m_tag, row.m_data, row.m_type, row.m_bytes});
    }
    PrintTable(std::cout, CTableView{header, cells.size(), [&cells](std::size_t r, std::size_t c) {
                                         return std::string_view(cells[r][c]);
                                     }},
               format, title);
}

void PrintHex(const CEntry& entry, const std::string& format, const std::string& title) {
    CHexLayout layout(entry.Data(), entry.Data());
    if (format == "json") {
        CJsonWriter json(std::cout);
        json.BeginObject().Key("entry").Name(title).Key("bytes").Number(static_cast<long long>(layout.Size()));
        json.Key("lines").BeginArray();
        for (std::size_t line = 0; line < layout.LineCount(); ++line) {
            std::string text = layout.LineText(line);
            for (std::size_t i = layout.CharColumn(0); i < text.size(); ++i)
                if (IsControl(static_cast<unsigned char>(text[i]))) text[i] = '.';
            json.String(text);
        }
        json.EndArray().EndObject();
        std::cout << "\n";
        return;
    }
    std::cout << title << " (" << platform::CountOf(layout.Size(), "byte", "bytes") << ")\n";
    for (std::size_t line = 0; line < layout.LineCount(); ++line) {
        std::string chars = layout.CharText(line);
        for (char& c : chars)
            if (IsControl(static_cast<unsigned char>(c))) c = '.';
        std::cout << layout.AddressText(line) << "  " << layout.HexText(line) << " " << Cp1252ToUtf8(chars) << "\n";
    }
}

int RunShow(const CShowArgs& args) {
    const std::string tag = RecordTag(args.m_tag);
    if (tag.empty()) {
        std::cerr << "vantor: " << args.m_tag << " is not a record type that has entries\n";
        return kExitUsage;
    }
    CCommonOptions common = args.m_common;
    common.m_plugins = {args.m_plugin};
    // The named file's entry needs no masters unless they were asked for.
    if (!common.m_masters) common.m_masters = false;
    common.m_quiet = true;
    CSession session(common);
    CVANTORDoc& doc = session.Doc();
    // The whole entry, whatever record kinds the settings keep the data of;
    // the settings themselves are left as they were.
    COptionSet options = doc.Options();
    const CExtractOpts kept = options.m_extractOpts;
    options.m_extractOpts = CExtractOpts::All();
    doc.SetOptions(options);
    const COutcome read = session.Run(CReadRequest{});
    options = doc.Options();
    options.m_extractOpts = kept;
    doc.SetOptions(options);

    const int status = session.ExitStatus(read);
    const std::string fileName = platform::FileNameOf(session.Plugins().front());
    if (!doc.FindLoadedFile(fileName, false)) return kExitFailed;
    const std::string id = Utf8ToCp1252(args.m_id);
    const CEntry* entry = doc.FindEntry(fileName, id, tag, false);
    if (!entry) entry = doc.FindEntry(fileName, id, tag, true);
    if (!entry) {
        std::cerr << "vantor: no " << tag << " entry \"" << Cp1252ToUtf8(id) << "\" in " << DisplayText(fileName)
                  << "\n";
        return kExitFailed;
    }
    // The editor window's title: the file name as it is, the ID as text.
    const std::string title = DisplayText(fileName) + " - " + Cp1252ToUtf8(entry->IdText());
    if (args.m_hex)
        PrintHex(*entry, common.m_format, title);
    else
        PrintRows(FillGrid(tag, *entry), common.m_format, title);
    return status;
}

}  // namespace

void AddShowCommands(CLI::App& app, CCommandList& commands) {
    auto show = std::make_shared<CShowArgs>();
    auto* s = app.add_subcommand("show", "Show one entry's subrecords as the entry editor does (ID, Data, Type, Bytes)");
    AddCommonOptions(*s, show->m_common, false);
    s->remove_option(s->get_option("plugins"));
    s->add_option("plugin", show->m_plugin, "The plugin or master that holds the entry")->required();
    s->add_option("tag", show->m_tag, "Record tag, e.g. NPC_")->required();
    s->add_option("id", show->m_id, "Entry ID as the lists show it, e.g. \"0,-2,5 \" for a cell")->required();
    s->add_flag("--hex", show->m_hex, "Show the entry's data as a hex dump instead");
    commands.push_back({s, [show] { return RunShow(*show); }});
}

}  // namespace vantor::cli
