// The library driven by a program of its own: a check of the sample plugins,
// the findings printed, and what the run came to. Run: check GAME_FOLDER
#include <iostream>

#include "document/VANTORDoc.h"
#include "texts/Texts.h"

using namespace vantor;

// Shows notices on stderr and answers questions by their kind, unasked.
struct CExampleLink : CFrameLink {
    void Progress(const std::string&, int) override {}
    void Publish(EPane, CTablePtr, EShow) override {}
    void Tell(const CNotice& notice) override { std::cerr << texts::Render(notice).m_text << "\n"; }
    CAnswer Ask(const CQuestion& question) override {
        // An existing backup is kept; anything else that would change a file is declined.
        return {KindOf(question) == EQuestion::ReplaceBackup ? EAnswer::No : EAnswer::Cancel, {}};
    }
};

int main(int argc, char** argv) {
    if (argc != 2) return std::cerr << "usage: check GAME_FOLDER\n", 2;
    CExampleLink link;
    CVANTORDoc doc({"check-example.ini", nullptr, argv[1], std::nullopt}, &link);
    CCheckRequest request;
    request.m_checks = CCheckSet::All();
    for (const char* name : {"Sample Armory.esp", "Sample Quests.esp", "Sample Tweaks.esp"})
        request.m_plugins.push_back(doc.DataDir() + name);
    const COutcome outcome = doc.Run(request);
    for (EPane pane : {EPane::Conflict, EPane::Warning}) {
        const auto table = doc.ResultTable(pane);
        for (std::size_t r = 0; r < table->RowCount(); ++r)
            std::cout << table->Cell(r, 0) << " | " << table->Cell(r, 1) << " | " << table->Cell(r, 3) << "\n";
    }
    std::cout << (outcome.Ok() ? "done: " : "incomplete: ") << outcome.m_paneRows[0].value_or(0) << " conflicts, "
              << outcome.m_paneRows[1].value_or(0) << " warnings, " << outcome.m_unread.size() << " files unread\n";
    return outcome.Ok() ? 0 : 1;
}
