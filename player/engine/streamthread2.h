// StreamThread2: a timeline row's feeder, reading its data items in a thread of its own.
#pragma once

#include "recording/indexrecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QMutex>
#include <QRectF>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <climits>
#include <memory>

class ScaleStreamHandle2;

// Keeps one timeline row supplied with data items for exactly its visible
// time range: when the range scrolls, it asks the row to drop what fell out
// of view and reads only the newly exposed strips; when the range jumps or
// the resolution level changes, it replaces everything. Reads through one
// scale reader, which it owns and uses only in run().
//
// Threads: the object lives in the GUI thread, so its slots run there and
// store the requested range and the row's width under the lock; run() reads
// them and sends items as signals (queued to the GUI thread). The owner
// stops it with setStopped(true) and deletes it once it has finished
// (FeederThreads); the loop looks at the flag before every item it reads and
// is woken from its idle wait, so it ends within one item's reading even in
// the middle of a long fill.
// Times are ms after the recording's base.
class StreamThread2 : public QThread
{
    Q_OBJECT

public:
    // Data item kinds passed on with every item.
    enum Kind { AudioItem = 1, TextItem = 2 };

    static constexpr unsigned long kIdlePollMs = 100;
    // Texts a coarse text item carries at most (its count stays exact).
    static constexpr int kMaxItemTexts = 20;
    static constexpr double kEpsilon = 0.0001; // ms or pixels

    // The reader may be null: the thread then ends at once.
    StreamThread2(std::unique_ptr<ScaleStreamHandle2> reader, const QDateTime &base, int kind,
                  QObject *parent = nullptr);
    ~StreamThread2() override;

    // Any thread; no lock.
    void setStopped(bool stopped);
    bool isStopped() const;
    // Reader level from which items are sent without data (default: never).
    void setDetailThreshold(int level);

    int kind() const { return m_kind; }
    // The reader level of the last served range (-1 before the first).
    int servedLevel() const;

signals:
    // One item: an audio frame's samples spread over [beginning,
    // beginning + _duration], a text frame's text, or for an activity
    // interval shown without detail an empty array (audio) or its events'
    // texts, each ended by a zero byte (text; see kMaxItemTexts).
    void addDataItem(int _subclassId, QDateTime base, double beginning, double _duration, QByteArray data);
    // isInside false: drop every item that does not touch [_begin, end];
    // true: drop every item that touches it.
    void removeDataItem(double _begin, double end, bool isInside);
    // Every item of the range [_begin, _begin + _duration] has been sent.
    void rangeServed(double _begin, double _duration);

public slots:
    void rangeChanged(double _begin, double _duration);
    void sceneRectChange(QRectF rect);

protected:
    void run() override;

private:
    enum class FillMode { Left, Right, Full };
    struct Range {
        double begin;
        double duration;
        double end() const { return begin + duration; }
    };

    bool takeRequest(Range *requested, double *width);
    void waitForRequest();
    void serve(const Range &requested, double width);
    void fill(double from, double to, FillMode mode);
    void skipTo(double from, FillMode mode);
    void sendUntil(double to, FillMode mode);
    void sendItem();
    QByteArray itemTexts();
    bool stopRequested() const { return m_stopped.load(std::memory_order_relaxed); }

    const int m_kind;
    const std::unique_ptr<ScaleStreamHandle2> m_reader;
    const QDateTime m_base;
    std::atomic<bool> m_stopped{false};
    mutable QMutex m_mutex;
    QWaitCondition m_wake; // a new request or a stop
    // Guarded by m_mutex.
    int m_detailThreshold = INT_MAX;
    int m_servedLevel = -1;
    Range m_requested{IndexFormat::kNoTime, -1};
    double m_sceneWidth = 0; // pixels
    quint64 m_requestSerial = 0; // counts the requests
    quint64 m_takenSerial = 0;   // the last request the loop took
    // The loop's own.
    Range m_served{IndexFormat::kNoTime, -1};
    double m_servedWidth = 0; // pixels
    int m_threshold = INT_MAX; // detail threshold for the current serve
};
