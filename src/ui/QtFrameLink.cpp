#include "QtFrameLink.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "DialogRepairDlg.h"
#include "MainFrame.h"
#include "UiText.h"
#include "widgets/StatusPane.h"

namespace vantor {

namespace {

bool OnGuiThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

QMessageBox::StandardButton ToButton(EAnswer answer) {
    switch (answer) {
        case EAnswer::Ok: return QMessageBox::Ok;
        case EAnswer::Cancel: return QMessageBox::Cancel;
        case EAnswer::Yes: return QMessageBox::Yes;
        case EAnswer::No: return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

EAnswer FromButton(int button) {
    switch (button) {
        case QMessageBox::Yes: return EAnswer::Yes;
        case QMessageBox::No: return EAnswer::No;
        case QMessageBox::Cancel: return EAnswer::Cancel;
        default: return EAnswer::Ok;
    }
}

// `offerAll`: a question asked again in one run also offers "Yes to All"
// and "No to All"; `forAll` then tells whether one of those was chosen.
EAnswer ShowMessage(QWidget* owner, const CMessage& m, bool offerAll = false, bool* forAll = nullptr) {
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    EAnswer closeAnswer = EAnswer::Ok;
    switch (m.m_buttons) {
        case EButtons::Ok: buttons = QMessageBox::Ok; break;
        case EButtons::OkCancel: buttons = QMessageBox::Ok | QMessageBox::Cancel; closeAnswer = EAnswer::Cancel; break;
        case EButtons::YesNo: buttons = QMessageBox::Yes | QMessageBox::No; closeAnswer = EAnswer::No; break;
        case EButtons::YesNoCancel:
            buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            closeAnswer = EAnswer::Cancel;
            break;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (m.m_icon) {
        case EIcon::None: break;
        case EIcon::Information: icon = QMessageBox::Information; break;
        case EIcon::Exclamation: icon = QMessageBox::Warning; break;
        case EIcon::Question: icon = QMessageBox::Question; break;
        case EIcon::Stop: icon = QMessageBox::Critical; break;
    }
    QMessageBox box(icon, FromCoreText(m.m_caption), FromCoreText(m.m_text), buttons, owner);
    box.setDefaultButton(ToButton(m.m_default));
    QAbstractButton* yesAll = nullptr;
    QAbstractButton* noAll = nullptr;
    if (offerAll && m.m_buttons == EButtons::YesNo) {
        yesAll = box.addButton(QStringLiteral("Yes to &All"), QMessageBox::YesRole);
        noAll = box.addButton(QStringLiteral("No to A&ll"), QMessageBox::NoRole);
    }
    FitCaption(box);
    const int result = box.exec();
    // Closing the box without a button gives the answer its Escape would.
    if (!box.clickedButton()) return closeAnswer;
    if (forAll) *forAll = box.clickedButton() == yesAll || box.clickedButton() == noAll;
    if (box.clickedButton() == yesAll) return EAnswer::Yes;
    if (box.clickedButton() == noAll) return EAnswer::No;
    return FromButton(result);
}

CFileChoice ShowFileDialog(QWidget* owner, const CFileChooser& c) {
    QFileDialog dialog(owner, FromCoreText(c.m_title), FromCoreText(c.m_startFolder));
    QStringList filters;
    for (const auto& f : c.m_filters) filters << QtNameFilter(f);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) dialog.selectNameFilter(filters.front());
    dialog.setDefaultSuffix(FromCoreText(c.m_defaultExtension));
    switch (c.m_mode) {
        case CFileChooser::EMode::OpenOne: dialog.setFileMode(QFileDialog::ExistingFile); break;
        case CFileChooser::EMode::OpenMany: dialog.setFileMode(QFileDialog::ExistingFiles); break;
        case CFileChooser::EMode::Save:
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            break;
    }
    if (!c.m_confirmOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!c.m_fileName.empty()) dialog.selectFile(FromCoreText(c.m_fileName));
    CFileChoice choice;
    if (dialog.exec() != QDialog::Accepted) return choice;
    for (const QString& path : dialog.selectedFiles()) choice.m_paths.push_back(ToCorePath(path));
    choice.m_status = choice.m_paths.empty() ? CFileChoice::EStatus::Cancelled : CFileChoice::EStatus::Chosen;
    return choice;
}

}  // namespace

void FitCaption(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    // The window manager draws the caption, often in a bold font, beside
    // the window's icon and its buttons: room for all of them.
    QFont bold = box.font();
    bold.setBold(true);
    const int needed = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) * 11 / 10 + 140;
    grid->addItem(new QSpacerItem(needed, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

QString QtNameFilter(const CFileFilter& filter) {
    const QString label = FromCoreText(filter.m_label);
    if (label.contains(QLatin1Char('('))) return label;
    QString patterns = FromCoreText(filter.m_pattern);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    return label + QStringLiteral(" (") + patterns + QLatin1Char(')');
}

CQtFrameLink::CQtFrameLink(CMainFrame* frame) : m_frame(frame) {}

namespace {

// One call of the worker on the user-interface thread. The hand-over goes
// through standard mutexes, so that thread checkers see it: the call starts
// only once the post is complete, and the worker goes on once the call's
// last copy is gone, whether it ran or not (its frame gone).
struct CHandOver {
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    void Finish() {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_done.notify_all();
    }
};

// Held by the worker while it posts; the call takes it before it reads
// anything the post made. One for all calls: it is never held for long.
std::mutex& PostingMutex() {
    static std::mutex posting;
    return posting;
}

}  // namespace

template <class F, class R>
R CQtFrameLink::OnGui(F f, R fallback) {
    if (OnGuiThread()) return m_frame ? f() : fallback;
    R result = fallback;
    CMainFrame* frame = m_frame.data();
    if (!frame) return result;
    auto handOver = std::make_shared<CHandOver>();
    std::shared_ptr<void> lastCopy(nullptr, [handOver](void*) { handOver->Finish(); });
    {
        std::lock_guard posting(PostingMutex());
        QMetaObject::invokeMethod(
            frame,
            [&, copy = std::move(lastCopy)] {
                { std::lock_guard posted(PostingMutex()); }
                ++m_servingWorker;
                result = f();
                --m_servingWorker;
            },
            Qt::QueuedConnection);
    }
    std::unique_lock lock(handOver->m_mutex);
    handOver->m_done.wait(lock, [&] { return handOver->m_finished; });
    return result;
}

template <class F>
void CQtFrameLink::Post(F f) {
    if (OnGuiThread()) {
        if (m_frame) f();
        return;
    }
    CMainFrame* frame = m_frame.data();
    if (!frame) return;
    // Through the posting mutex, as every hand-over, so thread checkers see
    // it. The frame outlives the worker, which it stops and joins first.
    std::lock_guard posting(PostingMutex());
    QMetaObject::invokeMethod(
        frame,
        [f = std::move(f)]() mutable {
            { std::lock_guard posted(PostingMutex()); }
            f();
        },
        Qt::QueuedConnection);
}

void CQtFrameLink::Progress(const std::string& text, int total) {
    if (m_madeProgressHook) m_madeProgressHook(text, total);
    Post([this, text, total] {
        if (m_progressHook) m_progressHook(text, total);
        if (m_frame) m_frame->OnProgress(text, total);
    });
}

void CQtFrameLink::Tell(const CNotice& notice) {
    Post([this, message = texts::Render(notice)] { Show(message); });
}

EAnswer CQtFrameLink::Show(const CMessage& message, bool offerAll, bool* forAll) {
    // No progress display is left counting behind a box, nor over it.
    if (m_showing++ == 0 && m_frame) m_frame->MessagePane()->PauseProgress(true);
    std::optional<EAnswer> answer = m_askHook ? m_askHook(message) : std::nullopt;
    if (!answer) answer = m_frame ? ShowMessage(m_frame, message, offerAll, forAll) : message.m_default;
    if (--m_showing == 0 && m_frame) m_frame->MessagePane()->PauseProgress(false);
    return *answer;
}

CFileChoice CQtFrameLink::ChooseFile(const CFileChooser& chooser) {
    if (m_chooserHook)
        if (auto choice = m_chooserHook(chooser)) return *choice;
    return m_frame ? ShowFileDialog(m_frame, chooser) : CFileChoice{};
}

CAnswer CQtFrameLink::Ask(const CQuestion& question) {
    if (texts::IsChooser(question)) {
        const CFileChooser chooser = texts::Chooser(question);
        return OnGui([&] { return texts::AnswerOf(ChooseFile(chooser)); }, CAnswer{});
    }
    const CMessage message = texts::Render(question);
    const EQuestion kind = KindOf(question);
    return OnGui(
        [&] {
            // A question an operation asks again and again (one per
            // conflicting response, say) is answered once for the rest of
            // the run when the user says so.
            const bool repeatable = m_servingWorker > 0 && message.m_buttons == EButtons::YesNo;
            if (repeatable)
                if (const auto given = m_forAll.find(kind); given != m_forAll.end()) return CAnswer{given->second, {}};
            const bool offerAll = repeatable && ++m_asked[kind] > 1;
            bool forAll = false;
            const EAnswer answer = Show(message, offerAll, &forAll);
            if (forAll) m_forAll[kind] = answer;
            return CAnswer{answer, {}};
        },
        CAnswer{message.m_default, {}});
}

void CQtFrameLink::Publish(EPane pane, CTablePtr table, EShow show) {
    Post([this, pane, table = std::move(table), show]() mutable {
        if (m_frame) m_frame->Publish(pane, std::move(table), show);
    });
}

void CQtFrameLink::Ended(const COutcome& outcome) {
    Post([this, outcome] {
        if (m_frame) m_frame->OnOperationEnded(outcome);
    });
}

std::optional<CRepairDialogResult> CQtFrameLink::ChooseRepair(const CRepairDialogSeed& seed) {
    // The answer crosses the threads as a flag and a plain struct.
    CRepairDialogResult chosen;
    const bool accepted = OnGui(
        [&] {
            CDialogRepairDlg dialog(seed, *this, m_frame);
            if (m_repairDialogHook)
                m_repairDialogHook(dialog);
            else
                dialog.exec();
            if (dialog.result() != QDialog::Accepted) return false;
            chosen = dialog.Result();
            return true;
        },
        false);
    if (!accepted) return std::nullopt;
    return chosen;
}

}  // namespace vantor
