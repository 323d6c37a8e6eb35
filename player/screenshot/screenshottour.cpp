#include "screenshottour.h"

#include "player/ui/dialogs/aboutdialog.h"
#include "player/ui/dialogs/channelwidget.h"
#include "player/ui/dialogs/fileinfowidget3.h"
#include "player/engine/fileservicer.h"
#include "player/ui/panels/intervalwidget3.h"
#include "player/ui/journal/logwidget.h"
#include "player/ui/mainwindow/mainwindow.h"
#include "player/ui/channels/multichannelwidget.h"
#include "player/ui/panels/searchwidget3.h"
#include "player/ui/timeline/timelinescene.h"

#include <QAction>
#include <QApplication>
#include <QDateTimeEdit>
#include <QDir>
#include <QDockWidget>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cstdio>

using namespace PlayerUi;

namespace {

constexpr int kSettleMs = 300;         // for the widgets to paint after a step
// Around the demo's alarm event at 74 s, with the dispatcher speaking from
// 75 s on; the burst's 1.2 s show every sample of it.
constexpr double kEventBegin = 72500;  // ms
constexpr double kEventDuration = 7000;
constexpr double kBurstBegin = 75000;
constexpr double kBurstDuration = 1200;
constexpr double kZoomedOutMs = 2 * 3600e3; // two hours around the events
constexpr double kMarkedMs = 40000;
constexpr int kIntervalGapSeconds = 10;
const QString kSearchedWord = QStringLiteral("СВЯЗИ"); // the events say "связи"
// Journal entries: seconds after the recording's base, and their comments.
const QList<QPair<int, QString>> kJournalEntries{{4, QStringLiteral("Вызов борта 12")},
                                                 {74, QStringLiteral("Тревога: «потеря связи» <проверить>")},
                                                 {150, QStringLiteral("Конец связи, всё в порядке ✓")}};

bool rowsPainted(const MainWindow &window)
{
    const MultiChannelWidget *timeline = window.timeline();
    if (window.servicer()->isIndexing() || !timeline->isServed())
        return false;
    if ((window.intervalPanel() && window.intervalPanel()->isRunning())
        || (window.searchPanel() && window.searchPanel()->isRunning()))
        return false;
    for (int i = 0; i < timeline->streamRowCount(); ++i) {
        if (timeline->rowScene(i)->isRefreshPending())
            return false;
    }
    return !timeline->navigationScene()->isRefreshPending();
}

template <class T>
T *topLevel()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *found = qobject_cast<T *>(widget); found && found->isVisible())
            return found;
    }
    return nullptr;
}

} // namespace

ScreenshotTour::ScreenshotTour(MainWindow *window, const QString &outputDir)
    : m_window(window)
    , m_outputDir(outputDir)
{
}

ScreenshotTour::~ScreenshotTour() = default;

void ScreenshotTour::start(const QString &recording)
{
    if (!QDir().mkpath(m_outputDir)) {
        fail(QStringLiteral("cannot create %1").arg(m_outputDir));
        return;
    }
    const PlayerActions &actions = m_window->actions();
    m_steps = {
        [=] { writeShot(QStringLiteral("01-window-fitted.png"), m_window); },
        [=] { zoomTo(kEventBegin, kEventDuration); },
        [=] { writeShot(QStringLiteral("02-zoom-text-event.png"), m_window); },
        [=] { zoomTo(kBurstBegin, kBurstDuration); },
        [=] { writeShot(QStringLiteral("03-zoom-audio-burst.png"), m_window); },
        [=] { actions.scaleToFileWide->trigger(); },
        [=] {
            actions.channels->trigger();
            ChannelWidget *dialog = m_window->channelDialog();
            dialog->move(m_window->geometry().center() - dialog->rect().center());
        },
        [=] { writeShot(QStringLiteral("04-channel-dialog.png"), m_window->channelDialog()); },
        [=] {
            m_window->channelDialog()->close();
            actions.info->trigger();
        },
        [=] { writeShot(QStringLiteral("05-file-information.png"), topLevel<FileInfoWidget3>()); },
        [=] {
            if (QWidget *info = topLevel<FileInfoWidget3>())
                info->close();
            actions.about->trigger();
        },
        [=] {
            if (auto *about = topLevel<AboutDialog>())
                about->pages()->setCurrentIndex(1);
        },
        [=] { writeShot(QStringLiteral("06-about-keys.png"), topLevel<AboutDialog>()); },
        [=] {
            if (QWidget *about = topLevel<AboutDialog>())
                about->close();
            actions.intervals->trigger();
            IntervalWidget3 *panel = m_window->intervalPanel();
            panel->gapSpinBox()->setValue(kIntervalGapSeconds);
            panel->startClick();
        },
        [=] { writeShot(QStringLiteral("07-intervals.png"), m_window); },
        [=] {
            m_window->intervalPanel()->parentWidget()->close();
            actions.search->trigger();
            SearchWidget3 *panel = m_window->searchPanel();
            panel->searchEdit()->setText(kSearchedWord);
            panel->startClick();
        },
        [=] { writeShot(QStringLiteral("08-search.png"), m_window); },
        [=] {
            m_window->searchPanel()->parentWidget()->close();
            actions.log->trigger();
            LogWidget *journal = m_window->logWidget();
            const QDateTime base = m_window->servicer()->base();
            for (const auto &entry : kJournalEntries) {
                journal->entryEditor()->setDateTime(QDateTime(base.date(), base.time(), Qt::UTC).addSecs(entry.first));
                journal->commentEditor()->setText(entry.second);
                journal->addPushButtonClick();
            }
            journal->move(m_window->geometry().center() - journal->rect().center());
        },
        [=] { writeShot(QStringLiteral("09-journal.png"), m_window->logWidget()); },
        [=] {
            m_window->logWidget()->hide();
            // Review at 2x with the second channel muted and the first current.
            actions.faster->trigger();
            actions.faster->trigger();
            actions.faster->trigger();
            actions.nextRow->trigger();
            actions.muteRow->trigger();
            actions.previousRow->trigger();
            zoomTo(kBurstBegin, kBurstDuration);
        },
        [=] { writeShot(QStringLiteral("10-speed-and-muted-row.png"), m_window); },
        [=] { zoomTo(kEventBegin - kZoomedOutMs / 2, kZoomedOutMs); },
        [=] { writeShot(QStringLiteral("11-event-ticks-zoomed-out.png"), m_window); },
        [=] {
            actions.scaleToFileWide->trigger();
            m_window->timeline()->setMarkedArea(kEventBegin, kMarkedMs);
        },
        [=] { writeShot(QStringLiteral("12-journal-flags-and-marked-area.png"), m_window); },
    };
    if (m_window->openRecording(recording) != 0) {
        fail(QStringLiteral("cannot open %1").arg(recording));
        return;
    }
    whenSettled([this] { next(); });
}

void ScreenshotTour::next()
{
    if (m_steps.isEmpty()) {
        printf("%d screenshots in %s\n", m_written, qPrintable(m_outputDir));
        QCoreApplication::exit(0);
        return;
    }
    const Step step = m_steps.takeFirst();
    step();
    whenSettled([this] { next(); });
}

void ScreenshotTour::whenSettled(const Step &then, int waitedMs)
{
    if (rowsPainted(*m_window)) {
        afterEvents(then);
        return;
    }
    if (waitedMs >= kSettleTimeoutMs) {
        fail(QStringLiteral("the timeline did not settle within %1 ms").arg(kSettleTimeoutMs));
        return;
    }
    QTimer::singleShot(kPollMs, this, [=] { whenSettled(then, waitedMs + kPollMs); });
}

void ScreenshotTour::afterEvents(const Step &then)
{
    QTimer::singleShot(kSettleMs, this, then);
}

void ScreenshotTour::zoomTo(double begin, double duration)
{
    m_window->timeline()->setMarkedArea(begin, duration);
    m_window->actions().scaleToMarkedArea->trigger();
}

// On a real display the screen itself is captured (what a user sees, the
// dialog over the window); elsewhere the widget renders itself.
bool ScreenshotTour::writeShot(const QString &name, QWidget *focus)
{
    if (!focus) {
        fail(QStringLiteral("no window to capture for %1").arg(name));
        return false;
    }
    QPixmap shot;
    QScreen *screen = QGuiApplication::primaryScreen();
    if (QGuiApplication::platformName() == QLatin1String("xcb") && screen) {
        const QRect area = focus == m_window ? m_window->frameGeometry()
                                             : m_window->frameGeometry().united(focus->frameGeometry());
        shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    } else {
        shot = focus->grab();
    }
    const QString path = QDir(m_outputDir).filePath(name);
    if (!shot.save(path, "PNG")) {
        fail(QStringLiteral("cannot write %1").arg(path));
        return false;
    }
    ++m_written;
    printf("wrote %s\n", qPrintable(path));
    fflush(stdout);
    return true;
}

void ScreenshotTour::fail(const QString &message)
{
    fprintf(stderr, "velmora-screenshot: %s\n", qPrintable(message));
    QTimer::singleShot(0, [] { QCoreApplication::exit(1); });
}
