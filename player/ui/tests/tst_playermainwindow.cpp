// The player's main window end to end on the real engine: a recording with
// audio of every coding and a Windows-1251 text channel is opened, indexed
// through the progress dialog, shown in rows in the channel dialog's order,
// played through a private PulseAudio null sink with the cursor and the
// navigation editor following, navigated with "Перейти" and exported (the
// WAV must equal velmora-cli's of the same range). Damaged files, drops,
// the command line and closing while busy are covered too.
#include "player/ui/dialogs/channelwidget.h"
#include "cli/tests/clicommandrun.h"
#include "player/ui/dialogs/fileinfowidget3.h"
#include "player/engine/fileservicer.h"
#include "player/ui/panels/intervalwidget3.h"
#include "player/ui/journal/logwidget.h"
#include "player/ui/mainwindow/mainwindow.h"
#include "player/ui/mainwindow/mainwindow_p.h"
#include "player/ui/channels/multichannelwidget.h"
#include "player/ui/channels/rowcontrols.h"
#include "player/engine/activitynavigator.h"
#include "player/engine/channelaudibility.h"
#include "player/ui/panels/playcontrolwidget.h"
#include "player/ui/translations/playertranslations.h"
#include "player/engine/playthread4.h"
#include "player/ui/panels/searchwidget3.h"
#include "player/ui/panels/selectionbar.h"
#include "recording/recordingindexer.h"
#include "player/engine/tests/support/mixedrecording.h"
#include "player/engine/tests/support/pulseserver.h"
#include "testsupport/testrecording.h"
#include "player/ui/timeline/timelineitem.h"
#include "player/ui/timeline/timelinescene.h"

#include <QAction>
#include <QApplication>
#include <QDateTimeEdit>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QToolButton>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QGraphicsSimpleTextItem>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeWidget>
#include <QGraphicsSceneMouseEvent>
#include <QMenu>
#include <QtTest>

#include <memory>

using namespace PlayerUi;

namespace {

constexpr int kWaitMs = 20000;
constexpr quint32 kStartMs = 1000; // first frame of the mixed recording
const QStringList kAudioNames{QStringLiteral("Диспетчер"), QStringLiteral("Борт 12"), QStringLiteral("Радио")};

QStringList rowLabels(const MultiChannelWidget &timeline)
{
    QStringList labels;
    for (int i = 0; i < timeline.streamRowCount(); ++i) {
        for (QGraphicsItem *item : timeline.rowScene(i)->items()) {
            if (auto *text = dynamic_cast<QGraphicsSimpleTextItem *>(item))
                labels.append(text->text());
        }
    }
    return labels;
}

QStringList indexFilesOf(const RecordingIndexer &indexer)
{
    QStringList paths;
    for (int i = 0; i < indexer.streamCount(); ++i)
        paths.append(indexer.descriptor(i).value(QStringLiteral("INDEX_FILENAME")));
    return paths;
}

template <class T>
T *visibleTopLevel()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *found = qobject_cast<T *>(widget); found && found->isVisible())
            return found;
    }
    return nullptr;
}

// Waits until the engine reports the play position ts.
bool reportsPosition(const MainWindow &window, double ts)
{
    QSignalSpy reports(window.servicer(), &FileServicer::currentStateChanged);
    return QTest::qWaitFor(
        [&] {
            return std::any_of(reports.cbegin(), reports.cend(), [ts](const QList<QVariant> &r) { return r.first().toDouble() == ts; });
        },
        kWaitMs);
}

double enginePosition(const MainWindow &window)
{
    double position = -1;
    window.servicer()->playThread()->getState(&position, nullptr);
    return position;
}

} // namespace

class tst_PlayerMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void commandLine_data();
    void commandLine();
    void exportNames_data();
    void exportNames();
    void opensThroughTheProgressDialogInChannelOrder();
    void playsWithCursorAndEditorFollowing();
    void moveToATypedDateTime();
    void reviewKeys_data();
    void reviewKeys();
    void keyboardOnlyReview();
    void exportEqualsTheCommandLineTool_data();
    void exportEqualsTheCommandLineTool();
    void exportFailureIsShownNotHidden();
    void soundFailureToldWhenPlayIsAsked();
    void damagedRecordingsOpen_data();
    void damagedRecordingsOpen();
    void droppedFileOpens();
    void infoWindowShowsTheSections();
    void closingWhilePlayingAndExporting();
    void intervalAndSearchPanels();
    void journalPlaysAndSeeks();
    void journalRefusesTheClose();
    void refusedRecordingsAreTold_data();
    void refusedRecordingsAreTold();
    void exportsWithoutSoundAreTold_data();
    void exportsWithoutSoundAreTold();
    void invalidDateIsSaid();
    void qtDialogsAreRussian();

private:
    // A shown window with the mixed recording opened and indexed.
    std::unique_ptr<MainWindow> openedWindow();
    bool waitForIndexing(MainWindow &window);

    PulseServer m_pulse;
    TempDir m_dir;
    TestRecording m_recording;
    QString m_path;
    std::unique_ptr<MainWindow> m_window;
};

void tst_PlayerMainWindow::initTestCase()
{
    QString error;
    QVERIFY2(m_pulse.start(&error), qPrintable(error));
    m_pulse.exportEnvironment();
    writeMixedRecording(m_recording, kStartMs, kAudioNames);
    m_path = m_recording.path();
}

void tst_PlayerMainWindow::cleanup()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox *>(widget) || qobject_cast<FileInfoWidget3 *>(widget))
            widget->close();
        if (auto *journal = qobject_cast<LogWidget *>(widget))
            journal->deleteLater();
    }
    m_window.reset();
}

bool tst_PlayerMainWindow::waitForIndexing(MainWindow &window)
{
    QSignalSpy finished(window.servicer(), &FileServicer::indexFileFinished);
    return window.servicer()->isIndexing() ? finished.wait(kWaitMs) : true;
}

std::unique_ptr<MainWindow> tst_PlayerMainWindow::openedWindow()
{
    auto window = std::make_unique<MainWindow>();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()) || window->openRecording(m_path) != 0 || !waitForIndexing(*window))
        return nullptr;
    return window;
}

void tst_PlayerMainWindow::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments"); // "REC": the recording
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("rows");

    const QString name = QFileInfo(m_recording.path()).fileName();
    QTest::newRow("no argument") << QStringList{"Velmora"} << "Velmora" << 0;
    QTest::newRow("missing file") << QStringList{"Velmora", "/no/such.rec"} << "Velmora" << 0;
    QTest::newRow("the first of two") << QStringList{"Velmora", "REC", "/no/such.rec"} << name + " Velmora" << 4;
    QTest::newRow("backslashes stay in the title") << QStringList{"Velmora", "BACKSLASHED"} << "a\\b.rec Velmora" << 4;
}

void tst_PlayerMainWindow::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, title);
    QFETCH(int, rows);

    const QString backslashed = m_dir.filePath(QStringLiteral("a\\b.rec"));
    QVERIFY(writeFile(backslashed, readFile(m_path)));
    arguments.replaceInStrings(QStringLiteral("BACKSLASHED"), backslashed);
    arguments.replaceInStrings(QStringLiteral("REC"), m_path);
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    openFromCommandLine(*m_window, arguments);
    QVERIFY(waitForIndexing(*m_window));
    QCOMPARE(m_window->windowTitle(), title);
    QCOMPARE(m_window->timeline()->streamRowCount(), rows);
    // Refusals change nothing.
    QCOMPARE(m_window->openRecording(QString()), -1);
    QCOMPARE(m_window->openRecording(QStringLiteral("/no/such.rec")), -2);
    QCOMPARE(m_window->windowTitle(), title);
}

void tst_PlayerMainWindow::exportNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<double>("markedDuration");
    QTest::addColumn<double>("duration"); // of the exported range

    QTest::newRow("lower case") << "a.wav" << "a.wav" << 1000.0 << 1000.0;
    QTest::newRow("mixed case") << "a.Wav" << "a.Wav" << 1000.0 << 1000.0;
    QTest::newRow("no extension") << "a" << "a.wav" << 1000.0 << 1000.0;
    QTest::newRow("another extension") << "a.mp3" << "a.mp3.wav" << 1000.0 << 1000.0;
    // -1: the recording from its first frame to the end of its last.
    QTest::newRow("tiny area: whole recording") << "a.wav" << "a.wav" << 0.000001 << -1.0;
}

void tst_PlayerMainWindow::exportNames()
{
    QFETCH(QString, name);
    QFETCH(QString, saved);
    QFETCH(double, markedDuration);
    QFETCH(double, duration);

    m_window = openedWindow();
    QVERIFY(m_window);
    m_window->timeline()->setMarkedArea(kStartMs + 500, markedDuration);
    QSignalSpy names(m_window.get(), &MainWindow::setSavedFileName);
    QSignalSpy ranges(m_window.get(), &MainWindow::setSavedRange);
    QSignalSpy started(m_window.get(), &MainWindow::startedSave);
    m_window->startExport(m_dir.filePath(name), false);
    QCOMPARE(names.count(), 1);
    QCOMPARE(names.first().first().toString(), m_dir.filePath(saved));
    const RecordingSpan span = m_window->servicer()->span();
    QCOMPARE(ranges.first().at(0).toDouble(), duration < 0 ? span.begin : kStartMs + 500.0);
    QCOMPARE(ranges.first().at(1).toDouble(), duration < 0 ? span.end - span.begin : duration);
    QCOMPARE(started.count(), 1);
}

void tst_PlayerMainWindow::opensThroughTheProgressDialogInChannelOrder()
{
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QProgressDialog *progress = MainWindowParts::indexProgressDialog(*m_window);
    progress->setMinimumDuration(0);
    QList<int> values;
    bool shownWhileIndexing = false;
    connect(m_window->servicer(), &FileServicer::indexFileProgressChanged, this, [&](double) {
        values.append(progress->value());
        shownWhileIndexing = shownWhileIndexing || progress->isVisible();
    });
    QVERIFY(!m_window->actions().log->isEnabled());

    QCOMPARE(m_window->openRecording(m_path), 0);
    QVERIFY(waitForIndexing(*m_window));
    QVERIFY(values.size() >= 2);
    QCOMPARE(values.first(), 0);
    QVERIFY(shownWhileIndexing);
    QVERIFY(!progress->isVisible());

    MultiChannelWidget *timeline = m_window->timeline();
    QCOMPARE(rowLabels(*timeline), (kAudioNames + QStringList{"События"}));
    QVERIFY(m_window->actions().log->isEnabled());
    // TETRA names no rate: the engine plays and exports at 8000 Hz.
    QCOMPARE(m_window->servicer()->playThread()->sampleRate(), 8000);
    // The view holds the whole recording (to the end of its last frame)
    // with a 1 % margin on each side.
    const RecordingSpan recording = m_window->servicer()->span();
    const double span = std::ceil(recording.end) - recording.begin;
    QVERIFY(!TimelineMath::differs(timeline->navigationScene()->model().begin, recording.begin - 0.01 * span));
    QVERIFY(!TimelineMath::differs(timeline->navigationScene()->model().duration, 1.02 * span));

    // Reordered and unticked in the channel dialog: the rows follow.
    QTreeWidget *list = m_window->channelDialog()->streamList();
    m_window->actions().channels->trigger();
    QVERIFY(m_window->channelDialog()->isVisible());
    list->insertTopLevelItem(0, list->takeTopLevelItem(3));
    list->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
    m_window->channelDialog()->okPushButtonClick();
    QCOMPARE(rowLabels(*timeline), (QStringList{"События", "Диспетчер", "Радио"}));
    QCOMPARE(m_window->servicer()->playThread()->streamCount(), 2);
}

void tst_PlayerMainWindow::playsWithCursorAndEditorFollowing()
{
    m_window = openedWindow();
    QVERIFY(m_window);
    QAction *play = m_window->actions().playPause;
    const qint64 recorded = m_pulse.recordedBytes();
    const QDateTime base = m_window->servicer()->base();

    play->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(play->text(), QStringLiteral("Пауза"), kWaitMs);
    QCOMPARE(play->data().toInt(), 1);
    // The sound reaches the sink; the cursor and the editor move along.
    QVERIFY(m_pulse.waitForRecordedBytes(recorded + PulseServer::kRate, kWaitMs));
    const NavigateTimelineScene *nav = m_window->timeline()->navigationScene();
    QTRY_VERIFY_WITH_TIMEOUT(nav->model().current > kStartMs + 300, kWaitMs);
    QCOMPARE(MainWindowParts::navigationEditor(*m_window)->dateTime(), base.addMSecs(qint64(nav->model().current)));

    // A click on the timeline while playing moves playback there: the
    // cursor does not jump back to where it was playing.
    auto *scene = const_cast<NavigateTimelineScene *>(nav);
    const double x = 0.7 * scene->sceneRect().width();
    const double target = nav->model().begin + 0.7 * nav->model().duration;
    for (QEvent::Type type : {QEvent::GraphicsSceneMousePress, QEvent::GraphicsSceneMouseRelease}) {
        QGraphicsSceneMouseEvent click(type);
        click.setScenePos(QPointF(x, 5));
        click.setButton(Qt::LeftButton);
        click.setButtons(type == QEvent::GraphicsSceneMousePress ? Qt::LeftButton : Qt::NoButton);
        QCoreApplication::sendEvent(scene, &click);
    }
    QVERIFY(nav->model().current >= target - 1);
    QTest::qWait(3 * FileServicer::kStatePollMs);
    QVERIFY2(nav->model().current >= target - 1, qPrintable(QStringLiteral("%1 < %2").arg(nav->model().current).arg(target)));

    // Space while playing pauses; the engine's report turns the action back.
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_window.get(), Qt::Key_Space);
    QTRY_COMPARE_WITH_TIMEOUT(play->text(), QStringLiteral("Воспр."), kWaitMs);
    QCOMPARE(m_window->lastPlayState(), 0);
    const double pausedAt = nav->model().current;
    QTest::qWait(300);
    QCOMPARE(nav->model().current, pausedAt);
}

// The review keys move the cursor (and playback) within the recording;
// letter keys work on the Russian layout too (the key pressed counts).
void tst_PlayerMainWindow::reviewKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<double>("delta");
    QTest::addColumn<bool>("plays");
    QTest::newRow("Right") << int(Qt::Key_Right) << int(Qt::NoModifier) << 5000.0 << false;
    QTest::newRow("Left") << int(Qt::Key_Left) << int(Qt::NoModifier) << -5000.0 << false;
    QTest::newRow("Shift+Right") << int(Qt::Key_Right) << int(Qt::ShiftModifier) << 30000.0 << false;
    QTest::newRow("Shift+Left") << int(Qt::Key_Left) << int(Qt::ShiftModifier) << -30000.0 << false;
    QTest::newRow("R replays") << int(Qt::Key_R) << int(Qt::NoModifier) << -5000.0 << true;
    QTest::newRow("R on the Russian layout") << 0x041A << int(Qt::NoModifier) << -5000.0 << true;
}

void tst_PlayerMainWindow::reviewKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(double, delta);
    QFETCH(bool, plays);
    m_window = openedWindow();
    QVERIFY(m_window);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    const RecordingSpan span = m_window->servicer()->span();
    const double middle = (span.begin + span.end) / 2;
    m_window->timeline()->moveCurrentPos(middle);
    // A Russian letter's key event carries its text, as the keyboard sends it.
    const QString text = key > 0xff ? QString(QChar(key)) : QString();
    QTest::sendKeyEvent(QTest::Click, m_window.get(), Qt::Key(key), text, Qt::KeyboardModifiers(modifiers));
    const NavigateTimelineScene *nav = m_window->timeline()->navigationScene();
    QCOMPARE(nav->model().current, qBound(span.begin, middle + delta, span.end));
    if (plays)
        QTRY_COMPARE_WITH_TIMEOUT(m_window->actions().playPause->text(), QStringLiteral("Пауза"), kWaitMs);
    else
        QCOMPARE(m_window->lastPlayState(), 0);

    // F10 opens the first menu, Escape closes it.
    QTest::keyClick(m_window.get(), Qt::Key_F10);
    QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
    QCOMPARE(static_cast<QMenu *>(QApplication::activePopupWidget())->title(), QStringLiteral("&Файл"));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QTRY_VERIFY(!QApplication::activePopupWidget());

    // Ctrl+A marks the recording's frames (Ctrl+Ф on the Russian layout).
    QTest::sendKeyEvent(QTest::Click, m_window.get(), Qt::Key(key > 0xff ? 0x0424 : Qt::Key_A),
                        key > 0xff ? QString(QChar(0x0424)) : QString("a"), Qt::ControlModifier);
    const TimelineItem *axis = nav->timelineItem();
    QVERIFY(axis->hasMarkedArea());
    QCOMPARE(axis->markedBegin(), span.begin);
    QCOMPARE(axis->markedBegin() + axis->markedDuration(), span.end);
}

// A review without the mouse: jumps to the activity, replays, bookmarks,
// plays at 2x, mutes a channel, marks the recording and exports with
// Ctrl+E through the file dialog; the WAV is the tool's export of the
// channels still heard.
void tst_PlayerMainWindow::keyboardOnlyReview()
{
    m_window = openedWindow();
    QVERIFY(m_window);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    MainWindow *window = m_window.get();
    const NavigateTimelineScene *nav = window->timeline()->navigationScene();

    // Ctrl+Right three times: each interval start the tool lists, then no further.
    const CliRun intervals = runCli({QStringLiteral("intervals"), m_path, QStringLiteral("--gap"), QStringLiteral("1"),
                                     QStringLiteral("--channels"), QStringLiteral("1,2,3"), QStringLiteral("--json")});
    QCOMPARE(intervals.status, 0);
    QList<double> starts;
    for (const QJsonValue &interval : QJsonDocument::fromJson(intervals.out).array())
        starts.append(interval.toObject().value(QStringLiteral("begin_ms")).toDouble());
    QCOMPARE(starts.size(), 2);
    double expected = nav->model().current;
    for (int press = 0; press < 3; ++press) {
        for (double start : qAsConst(starts)) {
            if (start > expected + ActivityNavigator::kMinStepMs) {
                expected = start;
                break;
            }
        }
        QTest::keyClick(window, Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(nav->model().current, expected);
    }
    QCOMPARE(expected, starts.last());
    QTest::keyClick(window, Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(nav->model().current, starts.first());

    // R replays from 5 s back (within the recording) and plays on; Space pauses.
    QTest::keyClick(window, Qt::Key_R);
    QTRY_COMPARE_WITH_TIMEOUT(window->actions().playPause->text(), QStringLiteral("Пауза"), kWaitMs);
    QTest::keyClick(window, Qt::Key_Space);
    QTRY_COMPARE_WITH_TIMEOUT(window->actions().playPause->text(), QStringLiteral("Воспр."), kWaitMs);

    // B: an entry at the playhead, its comment typed, Enter back to the window.
    const double playhead = nav->model().current;
    QTest::keyClick(window, Qt::Key_B);
    LogWidget *journal = window->logWidget();
    QVERIFY(journal);
    QVERIFY(QTest::qWaitForWindowActive(journal));
    QTRY_VERIFY(journal->commentEditor()->hasFocus());
    for (const QChar letter : QStringLiteral("Важно")) // as a Russian keyboard sends them
        QTest::sendKeyEvent(QTest::Click, journal->commentEditor(), Qt::Key(letter.toUpper().unicode()), QString(letter),
                            Qt::NoModifier);
    QTest::keyClick(journal->commentEditor(), Qt::Key_Return);
    QCOMPARE(journal->model().count(), 1);
    QCOMPARE(journal->model().at(0).comment, QStringLiteral("Важно"));
    QCOMPARE(journal->model().at(0).time,
             JournalModel::wallClock(window->servicer()->base().addMSecs(qint64(playhead))));
    QVERIFY(QTest::qWaitForWindowActive(window));

    // "]" three times: 2x; Down and M mute the second channel.
    for (int press = 0; press < 3; ++press)
        QTest::keyClick(window, Qt::Key_BracketRight);
    QCOMPARE(MainWindowParts::speedBox(*window)->currentData().toDouble(), 2.0);
    QCOMPARE(window->servicer()->playThread()->speed(), 2.0);
    QTest::keyClick(window, Qt::Key_Down);
    QCOMPARE(window->timeline()->currentRow(), 1);
    QTest::keyClick(window, Qt::Key_M);
    QVERIFY(window->audibility()->isMuted(QStringLiteral("2")));
    QVERIFY(static_cast<RowControls *>(window->timeline()->rowControls(1))->muteButton()->isChecked());

    // Ctrl+A marks the recording; a length typed makes it 2.5 s.
    QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
    const RecordingSpan span = window->servicer()->span();
    QCOMPARE(window->selectionBar()->startEditor()->dateTime(), window->servicer()->base().addMSecs(qint64(span.begin)));
    QLineEdit *length = window->selectionBar()->lengthEditor();
    QCOMPARE(length->text(), SelectionBar::lengthText(span.end - span.begin));
    length->setFocus();
    length->selectAll();
    QTest::keyClicks(length, QStringLiteral("0:00:02.5"));
    QTest::keyClick(length, Qt::Key_Return);
    QCOMPARE(window->timeline()->markedBegin(), span.begin);
    QCOMPARE(window->timeline()->markedDuration(), 2500.0);
    QCOMPARE(length->text(), QStringLiteral("0:00:02.500"));

    // Ctrl+E, a name typed into the file dialog, Enter.
    const QString ours = m_dir.filePath(QStringLiteral("keyboard.wav"));
    QFile::remove(ours);
    QTimer::singleShot(0, this, [ours] {
        QTRY_VERIFY(qobject_cast<QFileDialog *>(QApplication::activeModalWidget()));
        auto *dialog = static_cast<QFileDialog *>(QApplication::activeModalWidget());
        QTest::keyClicks(dialog->focusWidget(), ours);
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
    });
    QTest::keyClick(window, Qt::Key_E, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ours) && !MainWindowParts::exportProgressDialog(*window)->isVisible(), kWaitMs);
    const QString theirs = m_dir.filePath(QStringLiteral("keyboard-cli.wav"));
    const CliRun run = runCli({QStringLiteral("export"), m_path, theirs, QStringLiteral("--channels"), QStringLiteral("1,3"),
                               QStringLiteral("--begin"), QString::number(span.begin), QStringLiteral("--duration"),
                               QStringLiteral("2500")});
    QCOMPARE(run.status, 0);
    QTRY_COMPARE_WITH_TIMEOUT(readFile(ours), readFile(theirs), kWaitMs);
}

void tst_PlayerMainWindow::moveToATypedDateTime()
{
    m_window = openedWindow();
    QVERIFY(m_window);
    QDateTimeEdit *editor = MainWindowParts::navigationEditor(*m_window);
    const QDateTime base = m_window->servicer()->base();
    const NavigateTimelineScene *nav = m_window->timeline()->navigationScene();

    const QDateTime typed = base.addMSecs(2500);
    editor->setDateTime(typed);
    emit editor->editingFinished();
    QVERIFY(MainWindowParts::editorHoldTimer(*m_window)->isActive());
    // State reports keep off what was typed while the hold lasts.
    QTest::qWait(350);
    QCOMPARE(editor->dateTime(), typed);

    m_window->actions().moveTo->trigger();
    QCOMPARE(nav->model().current, 2500.0);
    QTRY_COMPARE_WITH_TIMEOUT(enginePosition(*m_window), 2500.0, kWaitMs);

    // Enter in the editor goes there too and gives the keyboard back.
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    editor->setFocus();
    editor->setDateTime(base.addMSecs(1500));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(nav->model().current, 1500.0);
    QTRY_VERIFY(!editor->hasFocus());
    // Space plays and Backspace stops while the editor has the keyboard.
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_Space);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->actions().playPause->text(), QStringLiteral("Пауза"), kWaitMs);
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->actions().playPause->text(), QStringLiteral("Воспр."), kWaitMs);

    // A date-time before the recording's base goes to its start.
    editor->setDateTime(base.addSecs(-3600));
    m_window->actions().moveTo->trigger();
    QCOMPARE(nav->model().current, 0.0);
    QTRY_COMPARE_WITH_TIMEOUT(enginePosition(*m_window), 0.0, kWaitMs);
}

void tst_PlayerMainWindow::exportEqualsTheCommandLineTool_data()
{
    QTest::addColumn<double>("begin");
    QTest::addColumn<double>("duration");
    QTest::addColumn<bool>("withPause");

    QTest::newRow("marked area, pauses skipped") << 1200.0 << 3000.0 << false;
    QTest::newRow("marked area with pauses") << 1200.0 << 3000.0 << true;
    QTest::newRow("marked backwards with pauses") << 4200.0 << -3000.0 << true;
    QTest::newRow("whole recording") << 0.0 << 0.0 << false;
    // Right after opening the view's margin is marked: the export still
    // starts at the first frame and ends with the last, as the tool's.
    QTest::newRow("as opened, pauses skipped") << -1.0 << 0.0 << false;
    QTest::newRow("as opened, with pauses") << -1.0 << 0.0 << true;
}

void tst_PlayerMainWindow::exportEqualsTheCommandLineTool()
{
    QFETCH(double, begin);
    QFETCH(double, duration);
    QFETCH(bool, withPause);

    m_window = openedWindow();
    QVERIFY(m_window);
    if (begin >= 0)
        m_window->timeline()->setMarkedArea(begin, duration);
    else
        QVERIFY(m_window->timeline()->markedBegin() < kStartMs);
    const QString ours = m_dir.filePath(QStringLiteral("window.wav"));
    QFile::remove(ours);
    // The highest report taken in this thread: the modal progress dialog
    // handles events inside setValue(), so queued reports may arrive here
    // out of order, and a spy would be filled from the export thread.
    double progress = -1;
    QObject receiver;
    connect(m_window->servicer(), &FileServicer::saveFileProgressChanged, &receiver,
            [&progress](double value) { progress = qMax(progress, value); }, Qt::QueuedConnection);
    m_window->startExport(ours, withPause);
    QTRY_VERIFY_WITH_TIMEOUT(progress >= 1.0, kWaitMs);
    QTRY_VERIFY(!MainWindowParts::exportProgressDialog(*m_window)->isVisible());

    const QString theirs = m_dir.filePath(QStringLiteral("cli.wav"));
    QStringList arguments{QStringLiteral("export"), m_path, theirs};
    if (begin >= 0 && duration != 0) {
        const double from = duration < 0 ? begin + duration : begin;
        arguments << QStringLiteral("--begin") << QString::number(from) << QStringLiteral("--duration")
                  << QString::number(qAbs(duration));
    }
    if (withPause)
        arguments << QStringLiteral("--with-pauses");
    const CliRun run = runCli(arguments);
    QCOMPARE(run.status, 0);
    const QByteArray wav = readFile(ours);
    QVERIFY(wav.size() > 44 + 8000);
    QVERIFY(wav == readFile(theirs));
}

void tst_PlayerMainWindow::exportFailureIsShownNotHidden()
{
    m_window = openedWindow();
    QVERIFY(m_window);
    MainWindowParts::exportProgressDialog(*m_window)->setMinimumDuration(0);
    const QString target = m_dir.filePath(QStringLiteral("no-such-folder/out.wav"));
    m_window->startExport(target, false);
    QMessageBox *box = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((box = visibleTopLevel<QMessageBox>()) != nullptr, kWaitMs);
    QCOMPARE(box->text(), QStringLiteral("Не удалось создать файл %1.").arg(target));
    QVERIFY(!box->informativeText().isEmpty());
    QVERIFY(!MainWindowParts::exportProgressDialog(*m_window)->isVisible());
}

// A machine without sound output still shows recordings: no message until
// the user asks to play.
void tst_PlayerMainWindow::soundFailureToldWhenPlayIsAsked()
{
    m_window = openedWindow();
    QVERIFY(m_window);
    m_window->playFail(QStringLiteral("no sound output device"));
    QCoreApplication::processEvents();
    QVERIFY(!visibleTopLevel<QMessageBox>());
    m_window->actions().playPause->trigger();
    QMessageBox *box = visibleTopLevel<QMessageBox>();
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("Не удалось воспроизвести запись."));
    // In the window's language, not the engine's.
    QVERIFY(box->informativeText().startsWith(QStringLiteral("Звуковой выход недоступен")));
}

void tst_PlayerMainWindow::damagedRecordingsOpen_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("maxRows");

    const QByteArray whole = readFile(m_path);
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("cut inside a frame") << whole.left(whole.size() / 2 + 7) << 4;
    TestRecording sectionsOnly;
    sectionsOnly.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Диспетчер"));
    sectionsOnly.addStream(2, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("События"));
    QTest::newRow("sections only") << readFile(sectionsOnly.finish()) << 0;
    QTest::newRow("noise") << TestRecording::random(20000).mid(300) << 2;
}

void tst_PlayerMainWindow::damagedRecordingsOpen()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, maxRows);

    const QString path = m_dir.filePath(QStringLiteral("damaged.rec"));
    QVERIFY(writeFile(path, bytes));
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    QCOMPARE(m_window->openRecording(path), 0);
    QVERIFY(waitForIndexing(*m_window));
    QVERIFY(m_window->timeline()->streamRowCount() <= maxRows);
    // What declares no stream is no recording, and says so.
    const bool opened = m_window->servicer()->hasRecording();
    QCOMPARE(m_window->windowTitle(), opened ? QStringLiteral("damaged.rec Velmora") : QStringLiteral("Velmora"));
    if (!opened)
        QTRY_VERIFY(visibleTopLevel<QMessageBox>());
    // Whatever it showed, a good recording opens after it.
    QCOMPARE(m_window->openRecording(m_path), 0);
    QVERIFY(waitForIndexing(*m_window));
    QCOMPARE(m_window->timeline()->streamRowCount(), 4);
}

void tst_PlayerMainWindow::droppedFileOpens()
{
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(m_path)});
    const QPoint at = m_window->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_window.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_window.get(), &drop);
    QVERIFY(waitForIndexing(*m_window));
    QCOMPARE(m_window->timeline()->streamRowCount(), 4);
}

void tst_PlayerMainWindow::infoWindowShowsTheSections()
{
    m_window = openedWindow();
    QVERIFY(m_window);
    m_window->actions().info->trigger();
    QPointer<FileInfoWidget3> info = visibleTopLevel<FileInfoWidget3>();
    QVERIFY(info);
    QVERIFY(info->isModal());
    const QTreeWidget *list = info->parameterList();
    QStringList sections;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        sections.append(list->topLevelItem(i)->text(0));
    QCOMPARE(sections, (QStringList{"FILE", "STREAM", "STREAM", "STREAM", "STREAM"}));
    const QTreeWidgetItem *file = list->topLevelItem(0);
    QCOMPARE(file->child(0)->text(0), QStringLiteral("DATETIME"));
    QCOMPARE(file->child(0)->text(1), QStringLiteral("31.12.2012 23:59:00"));
    info->close();
    QTRY_VERIFY(info.isNull());
}

// No hang, no crash, and no index file left behind.
void tst_PlayerMainWindow::closingWhilePlayingAndExporting()
{
    m_window = openedWindow();
    QVERIFY(m_window);
    const QStringList indexFiles = indexFilesOf(m_window->servicer()->indexer());
    QVERIFY(!indexFiles.isEmpty() && QFile::exists(indexFiles.first()));
    m_window->actions().playPause->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(m_window->lastPlayState(), 1, kWaitMs);
    m_window->startExport(m_dir.filePath(QStringLiteral("closing.wav")), true);

    QVERIFY(m_window->close());
    m_window.reset();
    for (const QString &path : indexFiles)
        QVERIFY2(!QFile::exists(path), qPrintable(path));
}

// Both panels dock on the right, list what the recording holds, seek the
// engine on a double click, restart when the channels change and are
// forgotten when closed; opening another recording in the middle of a run
// stops it cleanly.
void tst_PlayerMainWindow::intervalAndSearchPanels()
{
    m_window = openedWindow();
    QVERIFY(m_window);
    const PlayerActions &actions = m_window->actions();
    actions.intervals->trigger();
    actions.search->trigger();
    QPointer<IntervalWidget3> intervals = m_window->intervalPanel();
    QPointer<SearchWidget3> search = m_window->searchPanel();
    QVERIFY(intervals && search);
    QVERIFY(!actions.intervals->isEnabled() && !actions.search->isEnabled());
    actions.intervals->trigger(); // disabled: no second panel
    QCOMPARE(m_window->findChildren<IntervalWidget3 *>().size(), 1);
    auto *dock = qobject_cast<QDockWidget *>(intervals->parentWidget());
    QVERIFY(dock);
    QCOMPARE(dock->windowTitle(), QStringLiteral("Интервалы"));
    QCOMPARE(m_window->dockWidgetArea(dock), Qt::RightDockWidgetArea);
    QTRY_VERIFY_WITH_TIMEOUT(!intervals->isRunning() && !search->isRunning(), kWaitMs);

    // Every channel at the default 15 s: one interval, with all names.
    QTreeWidget *list = intervals->resultList();
    QCOMPARE(list->topLevelItemCount(), 1);
    QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("31.12.2012"));
    QCOMPARE(list->topLevelItem(0)->childCount(), 1);
    QCOMPARE(list->topLevelItem(0)->child(0)->text(0), QStringLiteral("23:59:01"));
    QCOMPARE(search->resultList()->topLevelItem(0)->childCount(), 2);

    // At 0 s the bursts part; a double click on the last one's end seeks there.
    intervals->gapSpinBox()->setValue(0);
    intervals->startClick();
    QTRY_VERIFY_WITH_TIMEOUT(!intervals->isRunning(), kWaitMs);
    QTreeWidgetItem *day = list->topLevelItem(0);
    QVERIFY(day->childCount() >= 2);
    QTreeWidgetItem *last = day->child(day->childCount() - 1);
    const double end = last->data(1, Qt::UserRole).toDouble();
    QVERIFY(end > kStartMs);
    emit list->itemDoubleClicked(last, 1);
    QVERIFY(reportsPosition(*m_window, end));
    QTreeWidgetItem *first = day->child(0);
    emit list->itemDoubleClicked(first, 0);
    QVERIFY(reportsPosition(*m_window, kStartMs));

    // A search on the events: the Windows-1251 text is found in any case.
    search->searchEdit()->setText(QStringLiteral("ОТБОЙ"));
    search->startClick();
    QTRY_VERIFY_WITH_TIMEOUT(!search->isRunning(), kWaitMs);
    QCOMPARE(search->resultList()->topLevelItem(0)->childCount(), 1);
    QCOMPARE(search->resultList()->topLevelItem(0)->child(0)->text(1), QStringLiteral("Отбой"));

    // Only the events channel left: both panels start over on it.
    QTreeWidget *channels = m_window->channelDialog()->streamList();
    for (int i = 0; i < 3; ++i)
        channels->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    m_window->channelDialog()->okPushButtonClick();
    QTRY_VERIFY_WITH_TIMEOUT(!intervals->isRunning() && !search->isRunning(), kWaitMs);
    QCOMPARE(list->topLevelItem(0)->childCount(), 2);
    QCOMPARE(list->topLevelItem(0)->child(0)->text(3), QStringLiteral("События"));

    // Another recording opened in the middle of a run.
    intervals->startClick();
    QCOMPARE(m_window->openRecording(m_path), 0);
    QVERIFY(!intervals->isRunning());
    QVERIFY(waitForIndexing(*m_window));
    QTRY_VERIFY_WITH_TIMEOUT(!intervals->isRunning() && list->topLevelItemCount() == 1, kWaitMs);

    dock->close();
    QTRY_VERIFY(intervals.isNull());
    QVERIFY(!m_window->intervalPanel());
    QVERIFY(actions.intervals->isEnabled());
    QVERIFY(!actions.search->isEnabled());
}

// The journal's play panel plays through the null sink and follows the
// engine; a double click on an entry seeks the engine there.
void tst_PlayerMainWindow::journalPlaysAndSeeks()
{
    m_window = openedWindow();
    QVERIFY(m_window);
    QAction *log = m_window->actions().log;
    QVERIFY(log->isEnabled());
    log->trigger();
    LogWidget *journal = m_window->logWidget();
    QVERIFY(journal && journal->isVisible());
    QVERIFY(!log->isEnabled());
    const QDateTime base = m_window->servicer()->base();
    QCOMPARE(journal->playControl()->base(), base);

    // Entries keep whole seconds.
    journal->entryEditor()->setDateTime(base.addMSecs(4500));
    journal->commentEditor()->setText(QStringLiteral("ТЕТРА"));
    journal->addPushButtonClick();
    emit journal->entryList()->itemDoubleClicked(journal->entryList()->topLevelItem(0), 0);
    QVERIFY(reportsPosition(*m_window, 4000));
    QTRY_COMPARE_WITH_TIMEOUT(journal->playControl()->editor()->dateTime(), base.addMSecs(4000), kWaitMs);

    journal->entryEditor()->setDateTime(base.addMSecs(kStartMs));
    journal->addPushButtonClick();
    emit journal->entryList()->itemDoubleClicked(journal->entryList()->topLevelItem(0), 0);
    QVERIFY(reportsPosition(*m_window, kStartMs));
    const qint64 recorded = m_pulse.recordedBytes();
    QTest::mouseClick(journal->playControl()->playPauseButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(journal->playControl()->playPauseButton()->text(), QStringLiteral("Пауза"), kWaitMs);
    QVERIFY(m_pulse.waitForRecordedBytes(recorded + PulseServer::kRate / 2, kWaitMs));
    QTest::mouseClick(journal->playControl()->stopButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(journal->playControl()->playPauseButton()->text(), QStringLiteral("Воспр."), kWaitMs);
    QCOMPARE(m_window->lastPlayState(), 0);

    // The entries are flags on the navigation row, live; a double click on
    // one puts the cursor there; closing the journal takes them away.
    const JournalFlagsItem *flags = m_window->timeline()->journalFlags();
    QCOMPARE(flags->flags().size(), 2);
    QCOMPARE(flags->flags().at(0).pos, double(kStartMs));
    QCOMPARE(flags->flags().at(1).pos, 4000.0);
    QVERIFY(flags->flags().at(1).label.endsWith(QStringLiteral("ТЕТРА")));
    m_window->timeline()->navigationScene()->setRange(0, 10000);
    QGraphicsSceneMouseEvent click(QEvent::GraphicsSceneMouseDoubleClick);
    click.setScenePos(QPointF(flags->xOf(flags->flags().at(1)) + 2, 5));
    click.setButton(Qt::LeftButton);
    click.setButtons(Qt::LeftButton);
    QCoreApplication::sendEvent(m_window->timeline()->navigationScene(), &click);
    QCOMPARE(m_window->timeline()->navigationScene()->model().current, 4000.0);
    journal->removePushButtonClick();
    QCOMPARE(flags->flags().size(), 1);
    journal->deleteLater(); // closing would first ask about the changes
    QTRY_COMPARE(flags->flags().size(), 0);
}

// A journal with unsaved changes refuses the main window's close until
// its question is answered. "Cancel", or "Save" given up in the file
// dialog, keeps both open, and the journal closed later leaves the window
// alone; "Discard" closes the journal and then the window.
void tst_PlayerMainWindow::journalRefusesTheClose()
{
    m_window = openedWindow();
    QVERIFY(m_window);
    m_window->actions().log->trigger();
    QPointer<LogWidget> journal = m_window->logWidget();
    QVERIFY(journal);
    journal->addCurrentPushButtonClick();

    QVERIFY(!m_window->close());
    QVERIFY(m_window->isVisible());
    QVERIFY(journal && journal->isVisible());
    QVERIFY(journal->question());
    journal->question()->button(QMessageBox::Cancel)->click();
    QCoreApplication::processEvents();
    QVERIFY(m_window->isVisible());

    QVERIFY(!m_window->close());
    journal->question()->button(QMessageBox::Save)->click();
    QTRY_VERIFY(journal->fileDialog());
    journal->fileDialog()->reject();
    QCoreApplication::processEvents();
    QVERIFY(journal && m_window->isVisible());
    QVERIFY(!journal->close());
    journal->question()->button(QMessageBox::Discard)->click();
    QTRY_VERIFY(journal.isNull());
    QTest::qWait(50);
    QVERIFY(m_window->isVisible());

    m_window->actions().log->trigger();
    journal = m_window->logWidget();
    QVERIFY(journal);
    journal->addCurrentPushButtonClick();
    QVERIFY(!m_window->close());
    journal->question()->button(QMessageBox::Discard)->click();
    QTRY_VERIFY(journal.isNull());
    QTRY_VERIFY(!m_window->isVisible());
}

// A file that is no recording, a missing one, or a temporary folder where
// no index can be made: a message names the file and the reason, the title
// stays "Velmora" and nothing that needs a recording can be asked for.
void tst_PlayerMainWindow::refusedRecordingsAreTold_data()
{
    QTest::addColumn<QByteArray>("bytes");      // null: the file is missing
    QTest::addColumn<bool>("tmpIsFile");        // TMPDIR names a regular file
    QTest::addColumn<QString>("reason");        // the start of the informative text
    QRandomGenerator random(17);
    QByteArray noise(20000, Qt::Uninitialized);
    for (char &c : noise)
        c = char(random.bounded(256));
    const QString noRecording = QStringLiteral("В файле нет ни одного канала");
    QTest::newRow("random bytes") << noise << false << noRecording;
    QTest::newRow("0xFF bytes") << QByteArray(20000, char(0xFF)) << false << noRecording;
    QTest::newRow("missing file") << QByteArray() << false << QString();
    QTest::newRow("no index folder") << readFile(m_path) << true
                                     << QStringLiteral("Не удалось создать папку для индексных файлов");
}

void tst_PlayerMainWindow::refusedRecordingsAreTold()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, tmpIsFile);
    QFETCH(QString, reason);
    const QString path = m_dir.filePath(QStringLiteral("refused.rec"));
    QFile::remove(path);
    if (!bytes.isNull())
        QVERIFY(writeFile(path, bytes));
    const QByteArray tmp = qgetenv("TMPDIR");
    const QString tmpFile = m_dir.filePath(QStringLiteral("not-a-folder"));
    QVERIFY(writeFile(tmpFile, "x"));
    if (tmpIsFile)
        qputenv("TMPDIR", tmpFile.toLocal8Bit());
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    openFromCommandLine(*m_window, {QStringLiteral("Velmora"), path});
    QVERIFY(waitForIndexing(*m_window));
    qputenv("TMPDIR", tmp);
    QMessageBox *box = nullptr;
    QTRY_VERIFY((box = visibleTopLevel<QMessageBox>()) != nullptr);
    QVERIFY2(box->text().contains(path), qPrintable(box->text()));
    QVERIFY2(box->informativeText().startsWith(reason), qPrintable(box->informativeText()));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Velmora"));
    for (QAction *action : {m_window->actions().info, m_window->actions().exportWithoutPauses,
                            m_window->actions().exportWithPauses, m_window->actions().playPause, m_window->actions().log})
        QVERIFY2(!action->isEnabled(), qPrintable(action->text()));
}

// An export without a sample in it is told, and no file is left (a
// previous one stays).
void tst_PlayerMainWindow::exportsWithoutSoundAreTold_data()
{
    QTest::addColumn<double>("begin");
    QTest::addColumn<double>("duration");
    QTest::addColumn<bool>("withPause");
    // The mixed recording is silent from 2500 to 4500 ms.
    QTest::newRow("silent stretch, pauses skipped") << 2600.0 << 1000.0 << false;
    QTest::newRow("beyond the recording, with pauses") << 100000.0 << 1000.0 << true;
}

void tst_PlayerMainWindow::exportsWithoutSoundAreTold()
{
    QFETCH(double, begin);
    QFETCH(double, duration);
    QFETCH(bool, withPause);
    m_window = openedWindow();
    QVERIFY(m_window);
    const QString target = m_dir.filePath(QStringLiteral("silent.wav"));
    QVERIFY(writeFile(target, "previous"));
    m_window->timeline()->setMarkedArea(begin, duration);
    m_window->startExport(target, withPause);
    QMessageBox *box = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((box = visibleTopLevel<QMessageBox>()) != nullptr, kWaitMs);
    QCOMPARE(box->text(), QStringLiteral("В выбранном интервале нет звука."));
    QCOMPARE(readFile(target), QByteArray("previous"));
}

// A recording whose date is no date opens with its times as offsets, and
// says so where the date would be shown; the journal takes no entry from
// the play position.
void tst_PlayerMainWindow::invalidDateIsSaid()
{
    TestRecording recording(TestRecording::Start::Empty);
    recording.writer().writeSection(QStringLiteral("FILE"), {{QStringLiteral("DATETIME"), QStringLiteral("30.02.2011 10:00:00")}});
    recording.addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Диспетчер"));
    recording.frame(0, 1, TestRecordingData::alaw(800));
    const QString path = recording.finish();
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    QCOMPARE(m_window->openRecording(path), 0);
    QVERIFY(waitForIndexing(*m_window));
    QVERIFY(!m_window->servicer()->isBaseValid());
    QVERIFY2(m_window->windowTitle().endsWith(QStringLiteral("дата записи неверна")), qPrintable(m_window->windowTitle()));
    m_window->actions().info->trigger();
    QPointer<FileInfoWidget3> info = visibleTopLevel<FileInfoWidget3>();
    QVERIFY(info);
    QVERIFY(info->noteLabel()->isVisible());
    QVERIFY(info->noteLabel()->text().startsWith(QStringLiteral("Дата записи неверна")));
    info->close();
    m_window->actions().log->trigger();
    QVERIFY(m_window->logWidget());
    QVERIFY(!m_window->logWidget()->addCurrentButton()->isEnabled());
}

// Qt's own dialogs and the captions passed through tr() are Russian, as
// the rest of the window is.
void tst_PlayerMainWindow::qtDialogsAreRussian()
{
    QVERIFY2(installPlayerTranslations(), "Qt's Russian translation (qttranslations5-l10n) is missing");
    QMessageBox box(QMessageBox::Question, QStringLiteral("Velmora"), QStringLiteral("?"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Save)->text(), QStringLiteral("Сохранить"));
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Отмена"));
    QCOMPARE(QCoreApplication::translate("MainWindow", "Open file"), QStringLiteral("Открыть файл"));
    QCOMPARE(QCoreApplication::translate("FileInfoWidget3", "File information"), QStringLiteral("Информация о файле"));
    QCOMPARE(QCoreApplication::translate("LogWidget", "Save log file as"), QStringLiteral("Сохранить журнал как"));
}

QTEST_MAIN(tst_PlayerMainWindow)
#include "tst_playermainwindow.moc"
