// MultiChannelWidget: the timeline (navigation row, channel rows, cursor, marked area).
#pragma once

#include "player/ui/channels/feederthreads.h"
#include "player/ui/channels/mymdiarea.h"
#include "player/ui/timeline/journalflagsitem.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

#include <limits>
#include <memory>
#include <vector>

class ChannelAudibility;
class QGraphicsSimpleTextItem;
class ScaleStreamHandle2;

namespace PlayerUi {

class NavigateTimelineScene;
class TimelineScene;

// The player's central widget: the navigation row with the time axis and,
// below it, one row per active stream (audio or text), each with its own
// scene, grid, name label and feeder thread. Every row scene is connected
// both ways to the navigation scene, so all rows share one time range,
// cursor and marked area. Times are ms after the recording's base.
//
// GUI thread only. Owns the navigation scene, the row scenes and (through
// FeederThreads) the feeder threads; the rows' sub-windows belong to the area.
class MultiChannelWidget : public MyMdiArea
{
    Q_OBJECT

public:
    static constexpr int kNavigationRowHeight = 70; // pixels
    static constexpr int kStreamRowHeight = 100;    // pixels
    // Feeder level from which items come without data (activity spans only).
    static constexpr int kDetailThreshold = 1;
    static constexpr double kInitialDuration = 300000; // ms
    static constexpr double kOpeningDuration = 15000;  // ms shown when a recording's base arrives

    explicit MultiChannelWidget(QWidget *parent = nullptr);
    ~MultiChannelWidget() override;

    // Activity-level thresholds handed to every scale reader (ms per pixel).
    void setThresholds(const QList<uint> &thresholds);
    NavigateTimelineScene *navigationScene() const { return m_navigation.get(); }
    int streamRowCount() const { return int(m_rows.size()); }
    TimelineScene *rowScene(int row) const;
    // The marked area of the axis, ms (duration never negative).
    double markedBegin() const;
    double markedDuration() const;
    // Whether every stream row's feeder has delivered its current range.
    bool isServed() const;
    const FeederThreads &feeders() const { return m_feeders; }

    // The listener's choice the audio rows show and edit (mute, solo,
    // gain); not owned. Set before the first rows are made.
    void setAudibility(ChannelAudibility *audibility);
    // The row the keys M and S act on: 0 after the rows are made, -1
    // without rows.
    int currentRow() const { return m_rows.empty() ? -1 : m_currentRow; }
    // The "ID" of a row's stream and whether it is an audio row.
    QString rowId(int row) const;
    bool isAudioRow(int row) const;
    // The row's mute, solo and gain controls (audio rows), else null.
    QWidget *rowControls(int row) const;
    const JournalFlagsItem *journalFlags() const { return m_flags; }

signals:
    void currentPosChanged(double pos);
    // The user put the cursor at pos on the navigation row or a stream row.
    void cursorPlaced(double pos);
    void markedAreaChanged(double begin, double duration);
    // Every stream row's feeder has delivered the row's current range.
    void streamsServed();

public slots:
    void setBase(QDateTime base);
    void freeStreams();
    void activeStreamListChange(QList<QMap<QString, QString>> activeStreamSettingList);
    void currentStateChange(double ts, int state);
    void zoom(double factor);
    void fitToMarkedArea();
    void setMarkedArea(double begin, double duration);
    // Puts the cursor at pos, scrolling it into view when it is out of view.
    void moveCurrentPos(double pos);
    // Up / Down: the row above or below becomes the current one.
    void previousRowClick();
    void nextRowClick();
    // M / S: mute or solo the current row (audio rows only).
    void muteRowClick();
    void soloRowClick();
    // The open journal's entries as flags on the navigation row (none: no
    // journal); a double click on a flag puts the cursor there.
    void setJournalFlags(const QVector<JournalFlagsItem::Flag> &flags);

private:
    struct Row
    {
        std::unique_ptr<TimelineScene> scene;
        QString id;                             // the stream's "ID"
        bool audio = false;
        QGraphicsSimpleTextItem *label = nullptr; // owned by the scene
        QWidget *controls = nullptr;             // owned by the view; audio rows only
        double servedBegin = -1;     // ms, the feeder's last delivered range
        double servedDuration = -1;  // ms; -1 before the first
    };

    void addStreamRow(std::unique_ptr<ScaleStreamHandle2> reader, std::unique_ptr<TimelineScene> scene, int kind,
                      const QMap<QString, QString> &descriptor);
    void setCurrentRow(int row);
    // Colours the rows' names: the current row bright, rows not heard grey.
    void paintRowLabels();
    void navigationDoubleClick(double x);
    void rowServe(quint64 generation, int row, double begin, double duration);

    QList<uint> m_thresholds;
    std::unique_ptr<NavigateTimelineScene> m_navigation;
    std::vector<Row> m_rows;
    FeederThreads m_feeders;
    quint64 m_generation = 0; // bumped whenever the rows are dropped
    ChannelAudibility *m_audibility = nullptr;
    JournalFlagsItem *m_flags; // owned by the navigation scene
    int m_currentRow = 0;
    double m_reportedPos = std::numeric_limits<double>::quiet_NaN(); // ms, the engine's last report
};

} // namespace PlayerUi
