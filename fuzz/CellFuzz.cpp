// libFuzzer target for cell cleaning. The input is split in two at its
// middle: the data of a master's cell and of a plugin's copy of it (both an
// interior "Hall", the plugin's references resolved through its MAST list to
// the master). Beyond "no crash, no leak": the layout covers the data
// exactly, and a cleaned cell is the old one with whole pieces left out,
// NAM0 aside.
#include <cstdint>

#include "FuzzKit.h"
#include "cells/CellClean.h"
#include "cells/CellLayout.h"
#include "format/RecordWriter.h"

namespace {

using namespace vantor;
using namespace vantor::cells;
using fuzz::Fail;

std::unique_ptr<CPluginFile> Read(int role, const std::string& master, std::string_view cellData) {
    using namespace records;
    CRecordWriter b;
    b.Header(master.empty() ? std::vector<std::string>{} : std::vector<std::string>{master});
    b.RecordData("CELL", SubBytes({Name("Hall"), Sub("DATA", I32(1) + I32(0) + I32(0))}) + std::string(cellData));
    bool ok = false;
    fuzz::PutInMemory(role, b.Bytes());
    auto file = fuzz::ReadInMemory(role, CExtractOpts::All(), 0, &ok);
    if (!ok) Fail("cannot read");
    return file;
}

void CheckLayout(std::string_view data) {
    const auto layout = ParseCellData(data);
    if (!layout) return;
    std::uint32_t at = 0;
    for (const CCellPiece& p : layout->m_pieces) {
        if (p.m_begin != at || p.m_end <= p.m_begin || p.m_body < p.m_begin || p.m_body > p.m_end) Fail("pieces do not tile the data");
        at = p.m_end;
    }
    if (at != data.size()) Fail("pieces do not reach the end");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);
    const std::string_view masterData = input.substr(0, size / 2), pluginData = input.substr(size / 2);
    CheckLayout(masterData);
    CheckLayout(pluginData);

    auto master = Read(0, "", masterData);
    auto plugin = Read(1, master->FileName(), pluginData);

    const CPluginCells result = CCellCleaner({master.get()}).Analyse(*plugin);
    for (const CCellClean& cell : result.m_cells) {
        if (cell.m_junk) continue;
        // Every kept piece in order: walk the old data, skipping whole pieces.
        const std::string_view old = cell.m_entry->Data(), now = cell.m_data;
        const auto layout = ParseCellData(old);
        if (!layout) Fail("a cell that does not parse was cleaned");
        std::size_t j = 0;
        for (const CCellPiece& p : layout->m_pieces) {
            const std::string_view piece = p.Bytes(old);
            if (now.substr(j, piece.size()) == piece ||
                (p.m_kind == CCellPiece::EKind::Count && now.substr(j, 8) == piece.substr(0, 8)))
                j += piece.size();
        }
        if (j != now.size()) Fail("the cleaned cell is not the old one with pieces left out");
    }
    return 0;
}
