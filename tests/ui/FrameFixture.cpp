#include "FrameFixture.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <fstream>
#include <thread>

#include "EntryDlg.h"
#include "MkData.h"
#include "fixtures/Deadline.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/TestOperation.h"
#include "format/PluginFile.h"
#include "platform/Files.h"
#include "widgets/StatusPane.h"

namespace vantor::uitest {

std::unique_ptr<CMainFrame> StartFrame(const fixtures::CTempDir& folder) {
    CDocConfig config;
    config.m_settingsPath = folder / "vantor.ini";
    config.m_installDir = folder.Path();
    auto frame = std::make_unique<CMainFrame>(config);
    frame->show();
    return frame;
}

CFrameFixture::CFrameFixture(const std::string& settingsText) {
    const auto written = mkdata::WriteSampleSet(m_dir.Path());
    if (!written.m_ok) throw std::runtime_error(written.m_error);
    if (!settingsText.empty()) std::ofstream(m_dir / "vantor.ini") << settingsText;
    m_frame = StartFrame(m_dir);
    m_frame->Link().m_askHook = [this](const CMessage& m) -> std::optional<EAnswer> {
        m_messages.push_back(m);
        // A question is never asked over a progress display still counting.
        const CProgressBar* bar = m_frame->MessagePane()->Bar();
        EXPECT_FALSE(bar && bar->isVisible()) << m.m_text;
        if (m_answers.empty()) return m.m_default;
        const EAnswer a = m_answers.front();
        m_answers.pop_front();
        return a;
    };
    m_frame->Link().m_chooserHook = [this](const CFileChooser& c) -> std::optional<CFileChoice> {
        m_choosers.push_back(c);
        if (m_choices.empty()) return CFileChoice{};
        CFileChoice choice = m_choices.front();
        m_choices.pop_front();
        return choice;
    };
}

CFrameFixture::~CFrameFixture() {
    m_frame->close();
    m_frame.reset();
}

void CFrameFixture::ChooseSamplePlugins() {
    const std::string d = DataDir();
    m_choices.push_back(
        {CFileChoice::EStatus::Chosen, {d + "Sample Armory.esp", d + "Sample Quests.esp", d + "Sample Tweaks.esp"}});
    m_frame->Action(CMainFrame::kChoosePlugins)->trigger();
}

bool CFrameFixture::WaitIdle(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    // Until the window too has heard the end and any sort is done.
    while (Doc().IsBusy() || m_frame->Busy()) {
        if (timer.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QCoreApplication::processEvents();
    return true;
}

bool CFrameFixture::StartHeldOperation() {
    m_release = false;
    return m_frame->Start(fixtures::CTestOperation::Make([this](COperationContext&) {
        const bool released = fixtures::SpinUntil([this] { return m_release.load(); }, fixtures::kWaitLimit,
                                                  std::chrono::milliseconds(5));
        EXPECT_TRUE(released) << "the held operation was never released";
    }));
}

std::vector<std::string> Rows(const CResultView& view) {
    std::vector<std::string> rows;
    const CResultTable& table = view.Model().Table();
    for (std::size_t r = 0; r < table.RowCount(); ++r) {
        std::string line;
        for (std::size_t c = 0; c < table.ColumnCount(); ++c) line += (c ? "|" : "") + std::string(table.Cell(r, c));
        rows.push_back(line);
    }
    return rows;
}

int RowWith(const CResultView& view, const std::string& id, const std::string& file, int column) {
    const CResultTable& table = view.Model().Table();
    for (std::size_t r = 0; r < table.RowCount(); ++r)
        if (table.Cell(r, 2) == id && table.Cell(r, std::size_t(column)) == file) return int(r);
    return -1;
}

std::map<std::pair<std::string, std::string>, std::string> ReadEntries(const std::string& dir,
                                                                       const std::string& name) {
    std::map<std::pair<std::string, std::string>, std::string> out;
    if (const auto plugin = fixtures::ReadPluginAt(dir, name))
        for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t)
            for (const auto& e : plugin->Table(t))
                out[{std::string(CPluginFile::kTags[t]), std::string(e->IdText())}] = std::string(e->Data());
    return out;
}

void SelectCells(CResultView& view, const std::vector<std::pair<int, int>>& cells) {
    view.clearSelection();
    for (const auto& [r, c] : cells)
        view.selectionModel()->select(view.model()->index(r, c), QItemSelectionModel::Select);
    if (!cells.empty())
        view.selectionModel()->setCurrentIndex(view.model()->index(cells.back().first, cells.back().second),
                                               QItemSelectionModel::NoUpdate);
}

void ReleaseKey(QWidget& widget, int key) {
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(&widget, &release);
}

std::vector<CEntryDlg*> Editors(CMainFrame& frame) {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::vector<CEntryDlg*> out;
    for (CEntryDlg* dlg : frame.findChildren<CEntryDlg*>())
        if (dlg->isVisible()) out.push_back(dlg);
    return out;
}

std::string FileText(const std::string& path) {
    std::string text;
    platform::ReadWholeFile(path, text);
    return text;
}

void ExpectGolden(const std::string& name, const std::string& text) {
    const std::string golden = FileText(std::string(VANTOR_UI_GOLDEN) + "/" + name);
    EXPECT_EQ(text, golden) << "golden file tests/ui/golden/" << name;
    if (text != golden) std::ofstream(name + ".actual", std::ios::binary) << text;
}

}  // namespace vantor::uitest

// The GUI tests run on Qt's offscreen platform unless a display is asked for.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
