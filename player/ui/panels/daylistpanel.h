#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QVector>
#include <QWidget>

#include <memory>

class QHBoxLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace PlayerUi {

// What the interval and search panels share: a list of results grouped
// under day rows, filled by a run of a combined reader on a 10 ms timer
// with a progress bar and "Стоп", a double click that asks for a seek, and
// a current row that follows the play position.
//
// A run works through records for up to kTickBudgetMs per tick and then
// returns to the event loop, so a long recording neither stalls the window
// nor takes many times longer than reading it.
//
// Offsets are ms after the recording's base. GUI thread.
class DayListPanel : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kTickMs = 10;
    // Work per tick before the event loop runs again (ms).
    static constexpr int kTickBudgetMs = 8;
    static constexpr int kProgressMaximum = 1000;
    // Characters of the last column the panel asks room for.
    static constexpr int kLastColumnChars = 30;

    ~DayListPanel() override;

    QTreeWidget *resultList() const { return m_list; }
    QPushButton *startButton() const { return m_start; }
    QPushButton *stopButton() const { return m_stop; }
    QProgressBar *progressBar() const { return m_progress; }
    bool isRunning() const { return m_timer != 0; }
    QDateTime base() const { return m_base; }
    // Wide enough for every column but the last and some text in it.
    QSize sizeHint() const override;

signals:
    void moved(double ts);

public slots:
    virtual void setStreams(QList<QMap<QString, QString>> streamSettingList) = 0;
    // Stops a run and drops the readers.
    virtual void freeStreams() = 0;
    void setBase(QDateTime base);
    void startClick();
    void stopClick();
    void itemDoubleClick(QTreeWidgetItem *item, int column);
    // state is not looked at.
    void currentStateChanged(double ts, int state);

protected:
    // The label and input shown left of "Старт" while idle.
    DayListPanel(QLabel *label, QWidget *input, const QStringList &columns, QWidget *parent);

    // Takes the input and opens the combined reader; false when there is
    // nothing to read.
    virtual bool beginRun() = 0;
    // Steps to the next record: false at the end. When it makes a result
    // it sets *offset (ms after the base) and returns its row in *row
    // (owned by the caller), else leaves *row null.
    virtual bool step(double *offset, QTreeWidgetItem **row) = 0;
    // Progress of the combined reader, 0..1.
    virtual double progress() const = 0;
    // Column whose user data a double click reads for column `column`.
    virtual int seekColumn(int column) const = 0;

    void timerEvent(QTimerEvent *event) override;
    // The input given to the constructor.
    QWidget *input() const { return m_input; }

    QTreeWidget *m_list = nullptr; // children
    QDateTime m_base;

private:
    void tick();
    void addResult(double offset, QTreeWidgetItem *row);
    void closeDay();
    void finishRun();
    void showRunning(bool running);
    void rebuildCache();

    QLabel *m_label = nullptr;
    QWidget *m_input = nullptr;
    QPushButton *m_start = nullptr;
    QPushButton *m_stop = nullptr;
    QProgressBar *m_progress = nullptr;
    std::unique_ptr<QTreeWidgetItem> m_day;   // the day being filled; not yet in the list
    QDate m_lastDay;                          // day of the last result
    int m_timer = 0;                          // 0 when idle
    QVector<QTreeWidgetItem *> m_rows;        // days and results in display order
    QVector<double> m_rowOffsets;             // their column 0 offsets (ms)
};

} // namespace PlayerUi
