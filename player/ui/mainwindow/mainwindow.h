#pragma once

#include "player/engine/periodmixer.h"
#include "player/ui/mainwindow/playeractions.h"

#include <QDateTime>
#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <QString>

#include <limits>
#include <memory>

class ChannelAudibility;
class FileServicer;
class QComboBox;
class QDateTimeEdit;
class QProgressDialog;
class QTimer;

namespace PlayerUi {

class ChannelWidget;
class DayListPanel;
class IntervalWidget3;
class LogWidget;
class SearchWidget3;
class MultiChannelWidget;
class SelectionBar;

// The player's main window and the owner of everything else in the player:
// the recording owner (FileServicer), the multi-channel timeline in its
// centre, the channel dialog and the two modal progress dialogs. Turns
// menu and tool-bar actions into commands for the engine and the timeline,
// and the engine's state reports into the look of its play action and its
// navigation date-time editor. The connections are made by
// wireMainWindow() (mainwindowwiring.h).
//
// Times are ms after the recording's base. GUI thread only; the window
// never waits for the engine's threads.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // State reports leave a date-time typed into the navigation editor
    // alone for this long after its editing finished (ms).
    static constexpr int kEditorHoldMs = 3000;
    static constexpr int kProgressMaximum = 1000;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens a recording: -1 for an empty name, -2 for a file that does not
    // exist (a message says so, nothing else changes), 0 once indexing has
    // started.
    int openRecording(const QString &fileName);
    // Exports the timeline's marked area (or the whole recording), within
    // the recording's frames, to fileName (".wav" appended unless it ends
    // so), skipping silent stretches or not. A range without any of the
    // recording gives a message and no file.
    void startExport(const QString &fileName, bool withPause);

    FileServicer *servicer() const { return m_servicer.get(); }
    MultiChannelWidget *timeline() const { return m_timeline; }
    SelectionBar *selectionBar() const { return m_selectionBar; }
    ChannelWidget *channelDialog() const { return m_channelDialog.get(); }
    const PlayerActions &actions() const { return m_actions; }
    // The tool windows while they exist, else null.
    IntervalWidget3 *intervalPanel() const;
    SearchWidget3 *searchPanel() const;
    LogWidget *logWidget() const;
    int lastPlayState() const { return m_lastPlayState; }
    ChannelAudibility *audibility() const { return m_audibility; }

signals:
    void setStreams(QList<QMap<QString, QString>> streamSettingList);
    void played();
    void paused();
    void stopped();
    // Part of the window's interface by design; nothing emits or uses it.
    void moved(uint ts);
    void moved(double ts);
    void setSavedFileName(QString fileName);
    void setSavedRange(double begin, double duration);
    void setFlagWithPause(bool flag);
    void startedSave();
    // Part of the window's interface by design; nothing emits or uses it.
    void stoppedSave();
    void setFlagPlayWithPause(bool flag);
    // The channels' mute, solo and gain changed: the gains of the active ones.
    void gainsChanged(ChannelGains gains);
    void speedChanged(double speed);

public slots:
    void openFileRun();
    void infoFileRun();
    void exportFileRun();
    void exportFileRun2();
    void channelToolRun();
    void intervalToolRun();
    void searchToolRun();
    void logToolRun();
    void aboutProgrammRun();
    void playPauseRun();
    void stopRun();
    void moveToRun();
    void stepBackRun();
    void stepOnRun();
    void leapBackRun();
    void leapOnRun();
    void replayRun();
    void markAllRun();
    void nextActivityRun();
    void previousActivityRun();
    void bookmarkRun();
    void slowerRun();
    void fasterRun();
    void normalSpeedRun();
    void speedBoxChange(int index);
    void audibilityChange();
    // Enter stored the bookmark's comment: the keyboard goes back to the timeline.
    void bookmarkComment();
    // The journal's entries changed: the navigation row's flags follow.
    void journalEntriesChange();
    void scaleExpandRun();
    void scaleNarrowRun();
    void scaleToMarkedAreaRun();
    void scaleToFileWideActionRun();
    // Part of the window's interface by design; nothing calls it (the
    // "Воспроизводить с паузами" action sets the flag itself).
    void SetPlayWithPause(bool state);
    void setCurrentPos(double cur_pos);
    // The user put the cursor at pos on the timeline.
    void cursorPlace(double pos);
    void logWidgetDestroy(QObject *object);
    void logWidgetCloseCancel();
    void auxiliaryWidgetDestroy(QObject *object);
    void indexFileProgressChange(double value);
    void indexFileFinish();
    void saveFileProgressChange(double value);
    void activeStreamListChange(QList<uint> activeStreamList);
    void currentStateChange(double ts, int state);
    // The recording could not be read or was refused.
    void indexFileFail(QString message);
    // The export could not create or write its file.
    void saveFileFail(QString message);
    // The sound output could not be opened or died.
    void playFail(QString message);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // Enter in the date editor goes to the date typed and gives the
    // keyboard back to the timeline; Space and Backspace stay shortcuts there.
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void stepBy(double ms);
    // Puts the cursor, and playback, at pos (within the recording).
    void jumpTo(double pos);
    QList<QMap<QString, QString>> heardAudioStreams() const;
    double activityGapMs() const;
    friend class MainWindowParts;

    void createMenus();
    // The actions that need a recording (info, export, play, zoom, the
    // tool windows), on once a recording was read, off before and after a
    // refused one.
    void setRecordingActionsEnabled(bool enabled);
    void createToolBars();
    void askForExport(const QString &filter, bool withPause);
    void showMessage(const QString &text, const QString &details);
    void showEditorAt(double pos);
    void showPlayFailure();
    QList<QMap<QString, QString>> descriptorsOf(const QList<uint> &ids) const;
    // Hands the panel the base and the active streams, starts its run,
    // wires it and docks it on the right.
    void openPanel(DayListPanel *panel, QAction *action);

    PlayerActions m_actions;                      // owned by this window (Qt parent)
    std::unique_ptr<FileServicer> m_servicer;
    std::unique_ptr<QProgressDialog> m_indexDialog;
    std::unique_ptr<QProgressDialog> m_exportDialog;
    MultiChannelWidget *m_timeline = nullptr;     // central widget, owned by this window
    std::unique_ptr<ChannelWidget> m_channelDialog;
    QDateTimeEdit *m_navigationEditor = nullptr;  // in the "Navigate" tool bar
    QComboBox *m_speedBox = nullptr;              // in the "Control" tool bar
    SelectionBar *m_selectionBar = nullptr;       // child
    ChannelAudibility *m_audibility = nullptr;    // child
    QTimer *m_editorHoldTimer = nullptr;          // child
    // Tool windows; null while they do not exist. The panels live in docks
    // owned by this window; the journal is a top-level window. Held as
    // plain widgets: their destroyed() arrives when only that is left.
    QPointer<QWidget> m_intervalPanel;
    QPointer<QWidget> m_searchPanel;
    QPointer<QWidget> m_logWidget;
    int m_lastPlayState = 0;
    double m_reportedPos = std::numeric_limits<double>::quiet_NaN(); // ms, the engine's last report
    double m_shownPos = 0;                                           // ms, what the editor shows
    bool m_playWithPause = false;
    QString m_playFailure; // why the sound output failed; empty while it works
    // The window's close waits for the journal's question: the window
    // closes once the journal has gone, unless the answer was "Cancel".
    bool m_closeAfterJournal = false;
};

// The player's start-up from its command line: opens the first argument
// after the program name, if any, as a recording; further arguments are
// ignored, and so is the result of opening.
void openFromCommandLine(MainWindow &window, const QStringList &arguments);

} // namespace PlayerUi
