// The result lists with many rows: how long the user-interface thread is
// held by filling a list, sorting it by a header click and scrolling it; the
// longest stall of the event loop while 800,000 rows are sorted; and, end to
// end, "View All Esm Data" on a Morrowind-scale master with the longest
// stall of the event loop while the worker runs and the rows arrive.
//
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.
// VANTOR_BENCH_MASTER_MB sets the generated master's size (default 80).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "MainFrame.h"
#include "MkData.h"
#include "QtFrameLink.h"
#include "fixtures/PluginBuilder.h"
#include "fixtures/TableMaker.h"
#include "ResultViews.h"

namespace {

using namespace vantor;

constexpr int kRows = 50000;

CTablePtr ManyRows(int rows) {
    static fixtures::CTableMaker maker;
    static CResultTable made = [rows] {
        std::vector<fixtures::CRowSpec> specs;
        specs.reserve(std::size_t(rows));
        for (int i = 0; i < rows; ++i) {
            // Names in a scrambled order so a sort has work to do.
            const int key = int((std::uint64_t(i) * 2654435761u) % std::uint64_t(rows));
            specs.push_back({i % 3 ? "NPC_" : "WEAP", "bench_id_" + std::to_string(key), "", "", "Bench.esm",
                             EFinding::ListedMaster});
        }
        return maker.Make(EPane::Editor, specs);
    }();
    return std::make_shared<CResultTable>(made);
}

// A frame shown on a fresh settings file in a temporary folder.
struct CFrameHolder {
    std::string m_dir;
    std::unique_ptr<CMainFrame> m_frame;
    explicit CFrameHolder(const std::string& installDir = {}) {
        m_dir = (std::filesystem::temp_directory_path() / "vantor-listbench-XXXXXX").string();
        if (!::mkdtemp(m_dir.data())) std::abort();
        CDocConfig config;
        config.m_settingsPath = m_dir + "/vantor.ini";
        config.m_installDir = installDir.empty() ? m_dir : installDir;
        m_frame = std::make_unique<CMainFrame>(config);
        m_frame->resize(1400, 900);
        m_frame->show();
        m_frame->ShowPane(EPane::Editor);
        QCoreApplication::processEvents();
    }
    ~CFrameHolder() {
        m_frame.reset();
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
};

void Settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void BM_FillList(benchmark::State& state) {
    CFrameHolder holder;
    CResultView& view = *holder.m_frame->View(EPane::Editor);
    for (auto _ : state) {
        // The table is the worker's; the swap and the repaint hold the
        // user-interface thread.
        state.PauseTiming();
        CTablePtr rows = ManyRows(kRows);
        state.ResumeTiming();
        holder.m_frame->SetPaneRows(EPane::Editor, std::move(rows));
        view.viewport()->repaint();
        Settle();
    }
    state.counters["rows"] = view.model()->rowCount();
}
BENCHMARK(BM_FillList)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_SortByHeaderClick(benchmark::State& state) {
    CFrameHolder holder;
    holder.m_frame->SetPaneRows(EPane::Editor, ManyRows(kRows));
    CResultView& view = *holder.m_frame->View(EPane::Editor);
    for (auto _ : state) {
        view.SortClicked(2);
        while (view.Model().Sorting()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        view.viewport()->repaint();
        Settle();
    }
}
BENCHMARK(BM_SortByHeaderClick)->Unit(benchmark::kMillisecond)->Iterations(10);

// A master listing of `rows` entries with scrambled IDs, made straight from
// one read plugin: the table maker looks entries up one by one, far too
// slowly for a list of this size.
CTablePtr HugeListing(int rows) {
    static std::shared_ptr<CPluginFile> file;
    static std::string dir;
    if (!file) {
        dir = (std::filesystem::temp_directory_path() / "vantor-listbench-huge-XXXXXX").string();
        if (!::mkdtemp(dir.data())) std::abort();
        fixtures::CPluginBuilder b;
        b.Header();
        for (int i = 0; i < rows; ++i) {
            const int key = int((std::uint64_t(i) * 2654435761u) % std::uint64_t(rows));
            b.Record(i % 3 ? "NPC_" : "WEAP", {fixtures::Name("huge_id_" + std::to_string(key)), fixtures::Sub("DATA", fixtures::I32(i))});
        }
        file = std::make_shared<CPluginFile>();
        std::atomic<std::int32_t> stop{0};
        if (!b.Write(dir + "/Huge.esm") || !file->Open("Huge.esm", dir + "/") ||
            !file->ReadRecords(stop, CExtractOpts::All()))
            std::abort();
    }
    auto table = std::make_shared<CResultTable>(PaneTableHeader(EPane::Editor));
    table->m_files = {file};
    for (std::size_t t = 0; t < CPluginFile::kTableCount; ++t)
        for (const auto& e : file->Table(t))
            table->m_rows.push_back({e.get(), nullptr, 0, kNoFile, kNoFile, std::uint8_t(t), EFinding::ListedMaster});
    return table;
}

// A header click on a list of 800,000 rows: the longest gap between two
// 5 ms ticks of the event loop from the click until the sorted rows show.
void BM_SortStall(benchmark::State& state) {
    CFrameHolder holder;
    CResultView& view = *holder.m_frame->View(EPane::Editor);
    qint64 longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        holder.m_frame->SetPaneRows(EPane::Editor, HugeListing(800000));
        Settle();
        QElapsedTimer sinceTick;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, sinceTick.restart()); });
        tick.start(5);
        sinceTick.start();
        state.ResumeTiming();
        view.SortClicked(2);
        while (view.Model().Sorting()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        view.viewport()->repaint();
        Settle();
        longest = std::max(longest, sinceTick.elapsed());
        state.PauseTiming();
        tick.stop();
        state.ResumeTiming();
    }
    state.counters["rows"] = view.model()->rowCount();
    state.counters["longest_stall_ms"] = double(longest);
}
BENCHMARK(BM_SortStall)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ScrollPage(benchmark::State& state) {
    CFrameHolder holder;
    holder.m_frame->SetPaneRows(EPane::Editor, ManyRows(kRows));
    CResultView& view = *holder.m_frame->View(EPane::Editor);
    QScrollBar* bar = view.verticalScrollBar();
    int at = 0;
    for (auto _ : state) {
        at = (at + bar->pageStep() * 97) % std::max(1, bar->maximum());
        bar->setValue(at);
        view.viewport()->repaint();
        Settle();
    }
}
BENCHMARK(BM_ScrollPage)->Unit(benchmark::kMicrosecond)->Iterations(200);

// End to end on a generated master: from the command to the rows on
// screen, with the event loop's longest gap between two 5 ms ticks.
void BM_ViewAllEsmData(benchmark::State& state) {
    static std::string dir;
    if (dir.empty()) {
        dir = (std::filesystem::temp_directory_path() / "vantor-listbench-set-XXXXXX").string();
        if (!::mkdtemp(dir.data())) std::abort();
        mkdata::CBenchOptions options;
        options.m_plugins = 0;
        if (const char* mb = std::getenv("VANTOR_BENCH_MASTER_MB")) options.m_masterMegabytes = std::atof(mb);
        if (!mkdata::WriteBenchSet(dir, options).m_ok) std::abort();
    }
    for (auto _ : state) {
        state.PauseTiming();
        CFrameHolder holder(dir);
        CMainFrame& frame = *holder.m_frame;
        QElapsedTimer sinceTick;
        qint64 longest = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longest = std::max(longest, sinceTick.restart());
        });
        state.ResumeTiming();

        tick.start(5);
        sinceTick.start();
        frame.Action(CMainFrame::kViewAllEsm)->trigger();
        while (frame.Doc().IsBusy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        Settle();
        tick.stop();

        state.PauseTiming();
        state.counters["rows"] = frame.View(EPane::Editor)->model()->rowCount();
        state.counters["longest_stall_ms"] = double(longest);
        CResultView& view = *frame.View(EPane::Editor);
        QElapsedTimer sortTime;
        sortTime.start();
        view.SortClicked(3);
        while (view.Model().Sorting()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        view.viewport()->repaint();
        state.counters["sort_ms"] = double(sortTime.elapsed());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ViewAllEsmData)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
