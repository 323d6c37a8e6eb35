#include "mainwindow.h"

#include "codecs/audiocodec.h"
#include "player/engine/activitynavigator.h"
#include "player/engine/channelaudibility.h"
#include "player/engine/speedstretcher.h"
#include "player/ui/dialogs/aboutdialog.h"
#include "player/ui/dialogs/channelwidget.h"
#include "player/ui/dialogs/fileinfowidget3.h"
#include "player/engine/fileservicer.h"
#include "player/ui/panels/intervalwidget3.h"
#include "player/ui/journal/logwidget.h"
#include "player/ui/panels/searchwidget3.h"
#include "player/ui/panels/selectionbar.h"
#include "player/ui/mainwindow/mainwindowwiring.h"
#include "player/ui/channels/multichannelwidget.h"
#include "player/ui/playerimages.h"
#include "player/ui/mainwindow/playerrules.h"
#include "recording/indexrecord.h"
#include "recording/recordingindexer.h"
#include "player/engine/savethread.h"
#include "player/engine/streamsamplerate.h"
#include "player/ui/timeline/timelinescene.h"
#include "player/ui/timeline/timemodel.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QDockWidget>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QSpinBox>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <cmath>

namespace PlayerUi {

namespace {

constexpr int kChannelDialogWidth = 600;  // pixels
constexpr int kChannelDialogHeight = 400;
constexpr int kWindowWidth = 1100;        // pixels, at start
constexpr int kWindowHeight = 720;
constexpr double kZoomIn = 0.8;           // factors of the visible duration
constexpr double kZoomOut = 1.25;
const QString kFlagTimeFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss");
constexpr double kActivityGapMs = 1000; // Ctrl+Right / Ctrl+Left while the interval panel is closed
const QString kEditorFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz");
const QString kAboutText = QStringLiteral("Velmora 06.03");
const QString kAboutPurpose = QStringLiteral("Программа предназначена для прослушивания записей с регистраторов переговоров");

std::unique_ptr<QProgressDialog> makeProgressDialog(const QString &label)
{
    auto dialog = std::make_unique<QProgressDialog>(label, QStringLiteral("Стоп"), 0, MainWindow::kProgressMaximum, nullptr,
                                                    Qt::CustomizeWindowHint);
    dialog->setModal(true);
    // A new progress dialog shows itself after its minimum duration even
    // when no progress was ever set; it is to appear only for work.
    dialog->reset();
    return dialog;
}

// A message box that does not block: modal to the application, deleted
// when closed or with `owner`.
QMessageBox *openMessageBox(QObject *owner, QMessageBox::Icon icon, const QString &title, const QString &text)
{
    auto *box = new QMessageBox(icon, title, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(true);
    QObject::connect(owner, &QObject::destroyed, box, &QObject::deleteLater);
    return box;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    initPlayerImages();
    setWindowTitle(PlayerRules::kProgramTitle);
    setWindowIcon(QIcon(QStringLiteral(":/images/velmora.png")));
    m_actions = PlayerActions::create(this);
    createMenus();

    m_servicer = std::make_unique<FileServicer>();
    m_servicer->setThresholds(defaultActivityThresholds());
    m_indexDialog = makeProgressDialog(QStringLiteral("Идёт обработка файла. Подождите ..."));
    m_exportDialog = makeProgressDialog(QStringLiteral("Идёт экспорт файла. Подождите ..."));

    m_audibility = new ChannelAudibility(this);
    m_timeline = new MultiChannelWidget;
    m_timeline->setAudibility(m_audibility);
    m_timeline->setBase(m_servicer->base());
    setCentralWidget(m_timeline);
    QList<uint> thresholds;
    for (int t : m_servicer->thresholds())
        thresholds.append(uint(t));
    m_timeline->setThresholds(thresholds);

    m_channelDialog = std::make_unique<ChannelWidget>();
    m_channelDialog->resize(kChannelDialogWidth, kChannelDialogHeight);

    createToolBars();
    m_navigationEditor->setDateTime(m_servicer->base());
    // Nothing to show, play or export before a recording is open.
    setRecordingActionsEnabled(false);

    wireMainWindow(this);
    setAcceptDrops(true);
    resize(kWindowWidth, kWindowHeight);
}

MainWindow::~MainWindow()
{
    // The docks go with this window's children, after this object has
    // become a plain QWidget: their destruction must not reach it.
    for (DayListPanel *panel : {static_cast<DayListPanel *>(intervalPanel()), static_cast<DayListPanel *>(searchPanel())}) {
        if (panel) {
            disconnect(panel, nullptr, this, nullptr);
            panel->freeStreams();
        }
    }
    if (m_logWidget) {
        disconnect(m_logWidget, nullptr, this, nullptr);
        m_logWidget->deleteLater();
    }
    m_timeline->freeStreams();
    m_servicer.reset();
    m_indexDialog.reset();
    m_exportDialog.reset();
}

IntervalWidget3 *MainWindow::intervalPanel() const
{
    return static_cast<IntervalWidget3 *>(m_intervalPanel.data());
}

SearchWidget3 *MainWindow::searchPanel() const
{
    return static_cast<SearchWidget3 *>(m_searchPanel.data());
}

LogWidget *MainWindow::logWidget() const
{
    return static_cast<LogWidget *>(m_logWidget.data());
}

void MainWindow::createMenus()
{
    // Alt with the underlined letter opens a menu, F10 the first one.
    QMenu *file = menuBar()->addMenu(QStringLiteral("&Файл"));
    file->addAction(m_actions.open);
    file->addAction(m_actions.info);
    file->addAction(m_actions.exportWithoutPauses);
    file->addAction(m_actions.exportWithPauses);
    file->addSeparator();
    file->addAction(m_actions.quit);
    QMenu *tools = menuBar()->addMenu(QStringLiteral("&Инструменты"));
    tools->addAction(m_actions.channels);
    tools->addAction(m_actions.intervals);
    tools->addAction(m_actions.search);
    tools->addSeparator();
    tools->addAction(m_actions.log);
    menuBar()->addAction(m_actions.about);
    auto *firstMenu = new QAction(this);
    firstMenu->setShortcut(QKeySequence(Qt::Key_F10));
    connect(firstMenu, &QAction::triggered, this, [this, file] {
        menuBar()->setActiveAction(file->menuAction());
    });
    addAction(firstMenu);
    // The review keys are in no menu: the window holds them.
    addActions({m_actions.stepBack, m_actions.stepOn, m_actions.leapBack, m_actions.leapOn, m_actions.replay,
                m_actions.markAll, m_actions.nextActivity, m_actions.previousActivity, m_actions.bookmark,
                m_actions.previousRow, m_actions.nextRow, m_actions.muteRow, m_actions.soloRow, m_actions.slower,
                m_actions.faster, m_actions.normalSpeed});
}

void MainWindow::createToolBars()
{
    QToolBar *control = addToolBar(QStringLiteral("Control"));
    control->setObjectName(QStringLiteral("Control"));
    control->addAction(m_actions.playPause);
    control->addAction(m_actions.stop);
    m_speedBox = new QComboBox;
    m_speedBox->setObjectName(QStringLiteral("speedBox"));
    m_speedBox->setToolTip(QStringLiteral("Скорость воспроизведения [ %1 ] [ %2 ] [ %3 ]")
                               .arg(m_actions.slower->shortcut().toString(QKeySequence::NativeText),
                                    m_actions.faster->shortcut().toString(QKeySequence::NativeText),
                                    m_actions.normalSpeed->shortcut().toString(QKeySequence::NativeText)));
    m_speedBox->setFocusPolicy(Qt::ClickFocus);
    for (double speed : SpeedStretcher::speeds())
        m_speedBox->addItem(QLocale(QLocale::Russian).toString(speed) + QStringLiteral("×"), speed);
    m_speedBox->setCurrentIndex(SpeedStretcher::speeds().indexOf(SpeedStretcher::kNormalSpeed));
    control->addWidget(m_speedBox);

    QToolBar *navigate = addToolBar(QStringLiteral("Navigate"));
    navigate->setObjectName(QStringLiteral("Navigate"));
    navigate->addAction(m_actions.channels);
    m_navigationEditor = new QDateTimeEdit;
    m_navigationEditor->setWrapping(true);
    // The recording's times are shown as they were recorded, like the axis.
    m_navigationEditor->setTimeSpec(Qt::UTC);
    m_navigationEditor->setDisplayFormat(kEditorFormat);
    navigate->addWidget(m_navigationEditor);
    m_navigationEditor->installEventFilter(this);
    navigate->addAction(m_actions.moveTo);
    m_editorHoldTimer = new QTimer(this);
    m_editorHoldTimer->setSingleShot(true);
    m_editorHoldTimer->setInterval(kEditorHoldMs);

    QToolBar *zoom = addToolBar(QStringLiteral("Zoom"));
    zoom->setObjectName(QStringLiteral("Zoom"));
    zoom->addAction(m_actions.scaleExpand);
    zoom->addAction(m_actions.scaleNarrow);
    zoom->addAction(m_actions.scaleToMarkedArea);
    zoom->addAction(m_actions.scaleToFileWide);
    zoom->addAction(m_actions.playWithPause);

    addToolBarBreak();
    m_selectionBar = new SelectionBar(this);
    addToolBar(m_selectionBar);
}

// --- opening -------------------------------------------------------------------

int MainWindow::openRecording(const QString &fileName)
{
    if (fileName.isEmpty())
        return -1;
    if (!QFile::exists(fileName)) {
        showMessage(QStringLiteral("Файл %1 не найден.").arg(fileName), QString());
        return -2;
    }
    if (m_intervalPanel)
        intervalPanel()->freeStreams();
    if (m_searchPanel)
        searchPanel()->freeStreams();
    m_timeline->freeStreams();
    m_timeline->setMarkedArea(0, 0);
    m_indexDialog->setValue(0);
    setRecordingActionsEnabled(false);
    // The title names a recording only once it has been read.
    setWindowTitle(PlayerRules::kProgramTitle);
    m_servicer->setFileName(fileName);
    m_servicer->startIndex();
    return 0;
}

void MainWindow::setRecordingActionsEnabled(bool enabled)
{
    for (QAction *action : {m_actions.info, m_actions.exportWithoutPauses, m_actions.exportWithPauses, m_actions.playPause,
                            m_actions.stop, m_actions.moveTo, m_actions.scaleExpand, m_actions.scaleNarrow,
                            m_actions.scaleToMarkedArea, m_actions.scaleToFileWide, m_actions.stepBack,
                            m_actions.stepOn, m_actions.leapBack, m_actions.leapOn, m_actions.replay,
                            m_actions.markAll, m_actions.nextActivity, m_actions.previousActivity,
                            m_actions.bookmark})
        action->setEnabled(enabled);
    // A tool window that is open keeps its action off.
    m_actions.intervals->setEnabled(enabled && !m_intervalPanel);
    m_actions.search->setEnabled(enabled && !m_searchPanel);
    m_actions.log->setEnabled(enabled && !m_logWidget);
}

void openFromCommandLine(MainWindow &window, const QStringList &arguments)
{
    if (arguments.size() > 1)
        window.openRecording(arguments.at(1));
}

void MainWindow::openFileRun()
{
    openRecording(QFileDialog::getOpenFileName(this, tr("Open file"), QStringLiteral("."), tr("All files( *.* )")));
}

void MainWindow::indexFileProgressChange(double value)
{
    m_indexDialog->setValue(int(value * m_indexDialog->maximum()));
}

void MainWindow::indexFileFinish()
{
    // Indexing may end short of full progress (an empty, unreadable or
    // refused file, or "Стоп"): the dialog closes all the same.
    m_indexDialog->reset();
    const int namedRate = m_channelDialog->fill(m_servicer->indexer());
    if (!m_servicer->hasRecording()) {
        // Refused or stopped: nothing to show (indexFileFail says why).
        setWindowTitle(PlayerRules::kProgramTitle);
        setRecordingActionsEnabled(false);
        return;
    }
    // The rate does not touch the index files: playback and export adopt it
    // without indexing again. Without audio streams the rate stays.
    if (m_channelDialog->audioStreamCount() > 0)
        m_servicer->SetSamleRateInThread(SampleRate::isValid(namedRate) ? namedRate : StreamSampleRate::kFallbackRate);
    setWindowTitle(PlayerRules::windowTitle(m_servicer->indexer().fileName(), m_servicer->isBaseValid()));
    if (m_logWidget)
        logWidget()->setDateValid(m_servicer->isBaseValid());
    setRecordingActionsEnabled(true);
    scaleToFileWideActionRun();
}

void MainWindow::indexFileFail(QString)
{
    const RecordingIndexer &indexer = m_servicer->indexer();
    showMessage(QStringLiteral("Не удалось открыть запись %1.").arg(indexer.fileName()),
                PlayerRules::openFailureText(indexer.failure(), indexer.failureReason(), QDir::tempPath()));
}

QList<QMap<QString, QString>> MainWindow::descriptorsOf(const QList<uint> &ids) const
{
    QList<QMap<QString, QString>> descriptors;
    for (uint id : ids)
        descriptors.append(m_servicer->indexer().descriptorById(id));
    return descriptors;
}

void MainWindow::activeStreamListChange(QList<uint> activeStreamList)
{
    emit setStreams(descriptorsOf(activeStreamList));
}

void MainWindow::infoFileRun()
{
    auto *info = new FileInfoWidget3;
    info->setAttribute(Qt::WA_DeleteOnClose);
    if (!m_servicer->isBaseValid())
        info->setInvalidDate(m_servicer->indexer().sections().value(QStringLiteral("FILE")).value(QStringLiteral("DATETIME")));
    info->setSettings(m_servicer->indexer().sections());
    connect(this, &QObject::destroyed, info, &QObject::deleteLater);
    info->show();
}

// --- export --------------------------------------------------------------------

void MainWindow::exportFileRun()
{
    askForExport(tr("All files( *.* )"), false);
}

void MainWindow::exportFileRun2()
{
    askForExport(tr("All files(*.WAV)"), true);
}

void MainWindow::askForExport(const QString &filter, bool withPause)
{
    const QString name = QFileDialog::getSaveFileName(this, tr("Export file"), QStringLiteral("."), filter);
    if (!name.isEmpty())
        startExport(name, withPause);
}

void MainWindow::startExport(const QString &fileName, bool withPause)
{
    // The marked area (or the whole recording) within the recording's
    // frames: the view's margin around it is no part of the recording.
    PlayerRules::Range range = PlayerRules::exportRange(m_timeline->markedBegin(), m_timeline->markedDuration());
    if (range.duration < 0) {
        range.begin += range.duration;
        range.duration = -range.duration;
    }
    m_servicer->span().clip(&range.begin, &range.duration, PlayerRules::kWholeRecording);
    if (!(range.duration > 0)) {
        showMessage(PlayerRules::kNoSoundText, QString());
        return;
    }
    emit setSavedFileName(PlayerRules::exportFileName(fileName));
    emit setFlagWithPause(withPause);
    emit setSavedRange(range.begin, range.duration);
    m_exportDialog->setValue(0);
    emit startedSave();
}

void MainWindow::saveFileProgressChange(double value)
{
    m_exportDialog->setValue(int(value * m_exportDialog->maximum()));
}

void MainWindow::saveFileFail(QString)
{
    m_exportDialog->reset();
    const SaveThread::FailureInfo failure = m_servicer->saveThread()->failure();
    if (failure.kind == SaveThread::NoSound) {
        showMessage(PlayerRules::kNoSoundText, QString());
        return;
    }
    const QString text = failure.kind == SaveThread::CannotCreate ? QStringLiteral("Не удалось создать файл %1.")
                                                                   : QStringLiteral("Не удалось записать файл %1.");
    showMessage(text.arg(failure.fileName), failure.reason);
}

// A machine without sound output still shows and exports recordings: the
// failure is told when playing is asked for, or at once when it ends play.
void MainWindow::playFail(QString message)
{
    m_playFailure = message;
    if (m_lastPlayState == FileServicer::Playing)
        showPlayFailure();
}

void MainWindow::showPlayFailure()
{
    showMessage(QStringLiteral("Не удалось воспроизвести запись."),
                QStringLiteral("Звуковой выход недоступен или перестал работать; запись можно смотреть и экспортировать."));
}

void MainWindow::showMessage(const QString &text, const QString &details)
{
    QMessageBox *box = openMessageBox(this, QMessageBox::Warning, PlayerRules::kProgramTitle, text);
    box->setInformativeText(details);
    box->show();
}

// --- tools ---------------------------------------------------------------------

void MainWindow::channelToolRun()
{
    m_channelDialog->show();
    m_channelDialog->raise();
    m_channelDialog->activateWindow();
}

void MainWindow::intervalToolRun()
{
    if (m_intervalPanel)
        return;
    auto *panel = new IntervalWidget3;
    m_intervalPanel = panel;
    openPanel(panel, m_actions.intervals);
}

void MainWindow::searchToolRun()
{
    if (m_searchPanel)
        return;
    auto *panel = new SearchWidget3;
    m_searchPanel = panel;
    openPanel(panel, m_actions.search);
}

void MainWindow::openPanel(DayListPanel *panel, QAction *action)
{
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setBase(m_servicer->base());
    panel->setStreams(descriptorsOf(m_channelDialog->activeIds()));
    panel->startClick();
    wirePanel(this, panel);
    action->setEnabled(false);
    auto *dock = new QDockWidget(panel->windowTitle(), this);
    dock->setObjectName(panel->windowTitle());
    dock->setAttribute(Qt::WA_DeleteOnClose);
    dock->setWidget(panel);
    addDockWidget(Qt::RightDockWidgetArea, dock);
    resizeDocks({dock}, {panel->sizeHint().width()}, Qt::Horizontal);
}

void MainWindow::logToolRun()
{
    if (m_logWidget)
        return;
    auto *journal = new LogWidget;
    m_logWidget = journal;
    journal->setAttribute(Qt::WA_DeleteOnClose);
    journal->setBase(m_servicer->base());
    journal->setDateValid(m_servicer->isBaseValid());
    wireJournal(this, journal);
    journal->show();
    m_actions.log->setEnabled(false);
}

void MainWindow::logWidgetDestroy(QObject *object)
{
    m_timeline->setJournalFlags({});
    if (object == m_logWidget.data() || m_logWidget.isNull())
        m_actions.log->setEnabled(true);
    if (m_closeAfterJournal) {
        m_closeAfterJournal = false;
        // Not from within the journal's destruction.
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

void MainWindow::logWidgetCloseCancel()
{
    m_closeAfterJournal = false;
}

void MainWindow::auxiliaryWidgetDestroy(QObject *object)
{
    if (object == m_intervalPanel.data() || m_intervalPanel.isNull())
        m_actions.intervals->setEnabled(true);
    if (object == m_searchPanel.data() || m_searchPanel.isNull())
        m_actions.search->setEnabled(true);
}

void MainWindow::aboutProgrammRun()
{
    auto *about = new AboutDialog(kAboutText + QStringLiteral("\n\nСобрана ") + QStringLiteral(__DATE__) + QLatin1Char(' ')
                                      + QStringLiteral(__TIME__) + QStringLiteral("\n\n") + kAboutPurpose,
                                  m_actions.withShortcuts(), this);
    about->setObjectName(QStringLiteral("aboutDialog"));
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->show();
}

// --- playback and navigation ---------------------------------------------------

void MainWindow::playPauseRun()
{
    const int mode = m_actions.playPause->data().toInt();
    if (mode == PlayerActions::OffersPlay && !m_playFailure.isEmpty())
        showPlayFailure();
    if (mode == PlayerActions::OffersPlay)
        emit played();
    else if (mode == PlayerActions::OffersPause)
        emit paused();
}

void MainWindow::stopRun()
{
    emit stopped();
}

void MainWindow::moveToRun()
{
    QDateTime target = m_navigationEditor->dateTime();
    target.setOffsetFromUtc(0);
    const double offset = PlayerRules::offsetOf(m_servicer->base(), target);
    emit moved(offset);
    // The cursor goes there at once, also while the engine has no sound
    // output to seek in (its reports then never move).
    m_timeline->moveCurrentPos(offset);
}

// The cursor, and playback when it plays, `ms` on (back when negative),
// within the recording.
void MainWindow::stepBy(double ms)
{
    double pos = m_timeline->navigationScene()->model().current + ms;
    const RecordingSpan span = m_servicer->span();
    if (span.hasFrames)
        pos = qBound(span.begin, pos, span.end);
    emit moved(pos);
    m_timeline->moveCurrentPos(pos);
}

void MainWindow::stepBackRun()
{
    stepBy(-PlayerActions::kStepMs);
}

void MainWindow::stepOnRun()
{
    stepBy(PlayerActions::kStepMs);
}

void MainWindow::leapBackRun()
{
    stepBy(-PlayerActions::kLeapMs);
}

void MainWindow::leapOnRun()
{
    stepBy(PlayerActions::kLeapMs);
}

// The last 5 s again, playing on from there.
void MainWindow::replayRun()
{
    stepBy(-PlayerActions::kStepMs);
    if (m_lastPlayState != FileServicer::Playing)
        emit played();
}

void MainWindow::jumpTo(double pos)
{
    emit moved(pos);
    m_timeline->moveCurrentPos(pos);
}

// The audio streams shown and heard, in row order.
QList<QMap<QString, QString>> MainWindow::heardAudioStreams() const
{
    QList<QMap<QString, QString>> heard;
    for (const QMap<QString, QString> &descriptor : descriptorsOf(m_channelDialog->activeIds())) {
        if (descriptor.value(QStringLiteral("TYPE")) == QLatin1String("audio")
            && m_audibility->isAudible(descriptor.value(QStringLiteral("ID"))))
            heard.append(descriptor);
    }
    return heard;
}

// Ctrl+Right / Ctrl+Left merge the intervals with the interval panel's
// gap, or with 1 s while it is closed.
double MainWindow::activityGapMs() const
{
    return intervalPanel() ? intervalPanel()->gapSpinBox()->value() * 1000.0 : kActivityGapMs;
}

void MainWindow::nextActivityRun()
{
    ActivityNavigator navigator(heardAudioStreams(), activityGapMs());
    const double next = navigator.nextStart(m_timeline->navigationScene()->model().current);
    if (next < IndexFormat::kNoTime)
        jumpTo(next);
}

void MainWindow::previousActivityRun()
{
    ActivityNavigator navigator(heardAudioStreams(), activityGapMs());
    const double previous = navigator.previousStart(m_timeline->navigationScene()->model().current);
    if (previous < IndexFormat::kNoTime)
        jumpTo(previous);
}

// B: an entry at the playhead; its comment is typed next, and Enter gives
// the keyboard back to the timeline.
void MainWindow::bookmarkRun()
{
    logToolRun();
    logWidget()->bookmark(PlayerRules::dateTimeAt(m_servicer->base(), m_timeline->navigationScene()->model().current));
}

void MainWindow::journalEntriesChange()
{
    QVector<JournalFlagsItem::Flag> flags;
    if (LogWidget *journal = logWidget()) {
        for (const JournalModel::Entry &entry : journal->model().entries())
            flags.append({journal->offsetOf(entry), entry.time.toString(kFlagTimeFormat) + QStringLiteral("  ") + entry.comment});
    }
    m_timeline->setJournalFlags(flags);
}

void MainWindow::bookmarkComment()
{
    activateWindow();
    m_timeline->setFocus();
}

void MainWindow::slowerRun()
{
    m_speedBox->setCurrentIndex(qMax(0, m_speedBox->currentIndex() - 1));
}

void MainWindow::fasterRun()
{
    m_speedBox->setCurrentIndex(qMin(m_speedBox->count() - 1, m_speedBox->currentIndex() + 1));
}

void MainWindow::normalSpeedRun()
{
    m_speedBox->setCurrentIndex(SpeedStretcher::speeds().indexOf(SpeedStretcher::kNormalSpeed));
}

void MainWindow::speedBoxChange(int index)
{
    emit speedChanged(m_speedBox->itemData(index).toDouble());
}

void MainWindow::audibilityChange()
{
    QStringList ids;
    for (uint id : m_channelDialog->activeIds())
        ids.append(QString::number(id));
    emit gainsChanged(m_audibility->gains(ids));
}

void MainWindow::markAllRun()
{
    const RecordingSpan span = m_servicer->span();
    if (span.hasFrames)
        m_timeline->setMarkedArea(span.begin, span.end - span.begin);
}

void MainWindow::scaleExpandRun()
{
    m_timeline->zoom(kZoomIn);
}

void MainWindow::scaleNarrowRun()
{
    m_timeline->zoom(kZoomOut);
}

void MainWindow::scaleToMarkedAreaRun()
{
    m_timeline->fitToMarkedArea();
}

void MainWindow::scaleToFileWideActionRun()
{
    // From the first frame to the end of the last one (not its start), so
    // that the marked area holds every frame whole.
    const RecordingSpan span = m_servicer->span();
    const PlayerRules::Range range = span.hasFrames
        ? PlayerRules::fileWideRange(quint32(span.begin), quint32(std::ceil(span.end)))
        : PlayerRules::fileWideRange(m_servicer->timeBegin(), m_servicer->timeEnd());
    m_timeline->setMarkedArea(range.begin, range.duration);
    m_timeline->fitToMarkedArea();
}

void MainWindow::SetPlayWithPause(bool state)
{
    m_playWithPause = state;
    emit setFlagPlayWithPause(state);
}

void MainWindow::showEditorAt(double pos)
{
    m_navigationEditor->setDateTime(PlayerRules::dateTimeAt(m_servicer->base(), pos));
}

void MainWindow::setCurrentPos(double cur_pos)
{
    m_shownPos = cur_pos;
    showEditorAt(cur_pos);
    if (m_lastPlayState == FileServicer::NotPlaying)
        emit moved(cur_pos);
}

// While playing, a cursor the user placed moves playback there: the next
// period plays from it. (Stopped or paused, setCurrentPos has moved it.)
void MainWindow::cursorPlace(double pos)
{
    if (m_lastPlayState == FileServicer::Playing)
        emit moved(pos);
}

void MainWindow::currentStateChange(double ts, int state)
{
    m_lastPlayState = state;
    // The editor shows the play position when it moves, else the cursor's
    // (which differ while the engine cannot seek).
    if (std::isnan(m_reportedPos) || TimelineMath::differs(ts, m_reportedPos)) {
        m_reportedPos = ts;
        m_shownPos = ts;
    }
    if (!m_navigationEditor->hasFocus() && !m_editorHoldTimer->isActive())
        showEditorAt(m_shownPos);
    const int mode = m_actions.playPause->data().toInt();
    if (mode == PlayerActions::OffersPause && state == FileServicer::NotPlaying)
        m_actions.showPlayMode(PlayerActions::OffersPlay);
    else if (mode == PlayerActions::OffersPlay && state == FileServicer::Playing)
        m_actions.showPlayMode(PlayerActions::OffersPause);
}

// --- window events -------------------------------------------------------------

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Space and Backspace stay play/pause and stop while the editor has the
    // keyboard: it does not claim them as text keys.
    if (watched == m_navigationEditor && event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Space || key->key() == Qt::Key_Backspace) && key->modifiers() == Qt::NoModifier) {
            event->ignore();
            return true;
        }
    }
    if (watched == m_navigationEditor && event->type() == QEvent::KeyPress && m_servicer->hasRecording()) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Escape) {
            // Leaves the editor: it shows the cursor's time again.
            showEditorAt(m_shownPos);
            m_timeline->setFocus(Qt::ShortcutFocusReason);
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // After the editor has taken the text it was given.
            QMetaObject::invokeMethod(this, [this] {
                moveToRun();
                m_timeline->setFocus(Qt::ShortcutFocusReason);
            }, Qt::QueuedConnection);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// Shortcuts are handled by the actions; other keys do nothing here.
void MainWindow::keyPressEvent(QKeyEvent *event)
{
    event->accept();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_logWidget && !m_logWidget->close()) {
        m_logWidget->setFocus(Qt::OtherFocusReason);
        m_closeAfterJournal = true;
        event->ignore();
        return;
    }
    // The dialogs have no parent: they would keep the program running.
    m_channelDialog->hide();
    m_indexDialog->reset();
    m_exportDialog->reset();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    openRecording(urls.first().toLocalFile());
}

} // namespace PlayerUi
