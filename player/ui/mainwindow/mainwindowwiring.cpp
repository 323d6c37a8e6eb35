#include "mainwindowwiring.h"

#include "player/ui/dialogs/channelwidget.h"
#include "player/ui/panels/daylistpanel.h"
#include "player/engine/fileservicer.h"
#include "player/ui/journal/logwidget.h"
#include "player/ui/mainwindow/mainwindow.h"
#include "player/ui/mainwindow/mainwindow_p.h"
#include "player/ui/channels/multichannelwidget.h"
#include "player/ui/panels/playcontrolwidget.h"
#include "player/ui/panels/selectionbar.h"

#include "player/engine/channelaudibility.h"

#include <QAction>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QProgressDialog>
#include <QTimer>

namespace PlayerUi {

namespace {

void wireActions(MainWindow *w)
{
    const PlayerActions &a = w->actions();
    QObject::connect(a.open, &QAction::triggered, w, &MainWindow::openFileRun);
    QObject::connect(a.info, &QAction::triggered, w, &MainWindow::infoFileRun);
    QObject::connect(a.exportWithoutPauses, &QAction::triggered, w, &MainWindow::exportFileRun);
    QObject::connect(a.exportWithPauses, &QAction::triggered, w, &MainWindow::exportFileRun2);
    QObject::connect(a.quit, &QAction::triggered, w, &QWidget::close);
    QObject::connect(a.channels, &QAction::triggered, w, &MainWindow::channelToolRun);
    QObject::connect(a.intervals, &QAction::triggered, w, &MainWindow::intervalToolRun);
    QObject::connect(a.search, &QAction::triggered, w, &MainWindow::searchToolRun);
    QObject::connect(a.log, &QAction::triggered, w, &MainWindow::logToolRun);
    QObject::connect(a.about, &QAction::triggered, w, &MainWindow::aboutProgrammRun);
    QObject::connect(a.playPause, &QAction::triggered, w, &MainWindow::playPauseRun);
    QObject::connect(a.stop, &QAction::triggered, w, &MainWindow::stopRun);
    QObject::connect(a.moveTo, &QAction::triggered, w, &MainWindow::moveToRun);
    QObject::connect(a.stepBack, &QAction::triggered, w, &MainWindow::stepBackRun);
    QObject::connect(a.stepOn, &QAction::triggered, w, &MainWindow::stepOnRun);
    QObject::connect(a.leapBack, &QAction::triggered, w, &MainWindow::leapBackRun);
    QObject::connect(a.leapOn, &QAction::triggered, w, &MainWindow::leapOnRun);
    QObject::connect(a.replay, &QAction::triggered, w, &MainWindow::replayRun);
    QObject::connect(a.markAll, &QAction::triggered, w, &MainWindow::markAllRun);
    QObject::connect(a.nextActivity, &QAction::triggered, w, &MainWindow::nextActivityRun);
    QObject::connect(a.previousActivity, &QAction::triggered, w, &MainWindow::previousActivityRun);
    QObject::connect(a.bookmark, &QAction::triggered, w, &MainWindow::bookmarkRun);
    QObject::connect(a.slower, &QAction::triggered, w, &MainWindow::slowerRun);
    QObject::connect(a.faster, &QAction::triggered, w, &MainWindow::fasterRun);
    QObject::connect(a.normalSpeed, &QAction::triggered, w, &MainWindow::normalSpeedRun);
    QObject::connect(a.scaleExpand, &QAction::triggered, w, &MainWindow::scaleExpandRun);
    QObject::connect(a.scaleNarrow, &QAction::triggered, w, &MainWindow::scaleNarrowRun);
    QObject::connect(a.scaleToMarkedArea, &QAction::triggered, w, &MainWindow::scaleToMarkedAreaRun);
    QObject::connect(a.scaleToFileWide, &QAction::triggered, w, &MainWindow::scaleToFileWideActionRun);
    QObject::connect(a.playWithPause, &QAction::toggled, w, &MainWindow::setFlagPlayWithPause);
}

void wireEngine(MainWindow *w, FileServicer *s)
{
    QObject::connect(s, &FileServicer::indexFileProgressChanged, w, &MainWindow::indexFileProgressChange);
    QObject::connect(s, &FileServicer::indexFileFinished, w, &MainWindow::indexFileFinish);
    QObject::connect(s, &FileServicer::saveFileProgressChanged, w, &MainWindow::saveFileProgressChange);
    QObject::connect(MainWindowParts::indexProgressDialog(*w), &QProgressDialog::canceled, s, &FileServicer::stopIndex);
    QObject::connect(MainWindowParts::exportProgressDialog(*w), &QProgressDialog::canceled, s, &FileServicer::stopSave);
    QObject::connect(w, &MainWindow::played, s, &FileServicer::play);
    QObject::connect(w, &MainWindow::paused, s, &FileServicer::pause);
    QObject::connect(w, &MainWindow::stopped, s, &FileServicer::stop);
    QObject::connect(w, QOverload<double>::of(&MainWindow::moved), s, &FileServicer::move);
    QObject::connect(w, &MainWindow::setStreams, s, &FileServicer::setStreams);
    QObject::connect(w, &MainWindow::startedSave, s, &FileServicer::startSave);
    QObject::connect(w, &MainWindow::setSavedFileName, s, &FileServicer::setSavedFileName);
    QObject::connect(w, &MainWindow::setSavedRange, s, &FileServicer::setSavedRange);
    QObject::connect(w, &MainWindow::setFlagWithPause, s, &FileServicer::setFlagWithPause);
    QObject::connect(w, &MainWindow::setFlagPlayWithPause, s, &FileServicer::setFlagPlayWithPause);
    QObject::connect(w, &MainWindow::gainsChanged, s, &FileServicer::setGains);
    QObject::connect(w, &MainWindow::speedChanged, s, &FileServicer::setSpeed);
    QObject::connect(s, &FileServicer::currentStateChanged, w, &MainWindow::currentStateChange, Qt::QueuedConnection);
    QObject::connect(s, &FileServicer::indexFileFailed, w, &MainWindow::indexFileFail, Qt::QueuedConnection);
    QObject::connect(s, &FileServicer::saveFileFailed, w, &MainWindow::saveFileFail, Qt::QueuedConnection);
    QObject::connect(s, &FileServicer::playFailed, w, &MainWindow::playFail, Qt::QueuedConnection);
}

void wireTimeline(MainWindow *w, FileServicer *s, MultiChannelWidget *t)
{
    QObject::connect(w, &MainWindow::setStreams, t, &MultiChannelWidget::activeStreamListChange);
    QObject::connect(s, &FileServicer::currentStateChanged, t, &MultiChannelWidget::currentStateChange);
    QObject::connect(s, &FileServicer::baseChanged, t, &MultiChannelWidget::setBase);
    QObject::connect(t, &MultiChannelWidget::currentPosChanged, w, &MainWindow::setCurrentPos);
    QObject::connect(t, &MultiChannelWidget::cursorPlaced, w, &MainWindow::cursorPlace);
    QObject::connect(t, &MultiChannelWidget::markedAreaChanged, s, &FileServicer::setMarkedArea);
    SelectionBar *selection = w->selectionBar();
    QObject::connect(t, &MultiChannelWidget::markedAreaChanged, selection, &SelectionBar::setMarkedArea);
    QObject::connect(s, &FileServicer::baseChanged, selection, &SelectionBar::setBase);
    QObject::connect(selection, &SelectionBar::markedAreaEdited, t, &MultiChannelWidget::setMarkedArea);
    const PlayerActions &a = w->actions();
    QObject::connect(a.previousRow, &QAction::triggered, t, &MultiChannelWidget::previousRowClick);
    QObject::connect(a.nextRow, &QAction::triggered, t, &MultiChannelWidget::nextRowClick);
    QObject::connect(a.muteRow, &QAction::triggered, t, &MultiChannelWidget::muteRowClick);
    QObject::connect(a.soloRow, &QAction::triggered, t, &MultiChannelWidget::soloRowClick);
    QObject::connect(w->audibility(), &ChannelAudibility::audibilityChanged, w, &MainWindow::audibilityChange);
    QObject::connect(w, &MainWindow::setStreams, w, &MainWindow::audibilityChange);
    QObject::connect(MainWindowParts::speedBox(*w), QOverload<int>::of(&QComboBox::currentIndexChanged), w,
                     &MainWindow::speedBoxChange);
}

} // namespace

void wireMainWindow(MainWindow *window)
{
    wireActions(window);
    wireEngine(window, window->servicer());
    wireTimeline(window, window->servicer(), window->timeline());
    QObject::connect(window->channelDialog(), &ChannelWidget::activeStreamListChanged, window,
                     &MainWindow::activeStreamListChange);
    QObject::connect(MainWindowParts::navigationEditor(*window), &QDateTimeEdit::editingFinished, MainWindowParts::editorHoldTimer(*window),
                     QOverload<>::of(&QTimer::start));
}

void wirePanel(MainWindow *window, DayListPanel *panel)
{
    FileServicer *s = window->servicer();
    QObject::connect(s, &FileServicer::currentStateChanged, panel, &DayListPanel::currentStateChanged, Qt::QueuedConnection);
    QObject::connect(s, &FileServicer::baseChanged, panel, &DayListPanel::setBase);
    QObject::connect(panel, &DayListPanel::moved, s, &FileServicer::move);
    QObject::connect(panel, &QObject::destroyed, window, &MainWindow::auxiliaryWidgetDestroy);
    QObject::connect(window, &MainWindow::setStreams, panel, &DayListPanel::setStreams);
    QObject::connect(window, &MainWindow::setStreams, panel, &DayListPanel::startClick);
}

void wireJournal(MainWindow *window, LogWidget *journal)
{
    FileServicer *s = window->servicer();
    QObject::connect(s, &FileServicer::currentStateChanged, journal, QOverload<double, int>::of(&LogWidget::currentStateChanged),
                     Qt::QueuedConnection);
    QObject::connect(s, &FileServicer::baseChanged, journal, &LogWidget::setBase);
    QObject::connect(journal, &QObject::destroyed, window, &MainWindow::logWidgetDestroy);
    QObject::connect(journal, &LogWidget::closeCancelled, window, &MainWindow::logWidgetCloseCancel);
    QObject::connect(journal, &LogWidget::bookmarkCommented, window, &MainWindow::bookmarkComment);
    QObject::connect(journal, &LogWidget::entriesChanged, window, &MainWindow::journalEntriesChange);
    PlayControlWidget *control = journal->playControl();
    QObject::connect(control, &PlayControlWidget::played, s, &FileServicer::play);
    QObject::connect(control, &PlayControlWidget::paused, s, &FileServicer::pause);
    QObject::connect(control, &PlayControlWidget::stopped, s, &FileServicer::stop);
    QObject::connect(control, &PlayControlWidget::moved, s, [s](uint ts) { s->move(double(ts)); });
}

} // namespace PlayerUi
