#pragma once

#include <QDateTime>
#include <QWidget>

class QDateTimeEdit;
class QPushButton;

namespace PlayerUi {

// A small horizontal play panel: "Стоп", a play/pause button, a date-time
// editor and "Перейти". The play/pause caption tells which command a click
// sends and changes only when the engine reports the new state; the editor
// follows the reported position unless the user is editing it (it has the
// focus, or an edit finished less than 3000 ms ago); "Перейти" sends the
// edited date-time as an offset from the base.
//
// Offsets are ms after the base, as unsigned 32-bit integers. GUI thread.
class PlayControlWidget : public QWidget
{
    Q_OBJECT

public:
    // Reports leave an edited date-time alone for this long (ms).
    static constexpr int kEditHoldMs = 3000;
    // State codes of currentStateChange().
    enum State { NotPlaying = 0, Playing = 1 };

    explicit PlayControlWidget(QWidget *parent = nullptr);
    ~PlayControlWidget() override;

    QDateTime base() const { return m_base; }
    // The date-time the editor shows.
    QDateTime shownDateTime() const;
    QDateTimeEdit *editor() const { return m_editor; }
    QPushButton *playPauseButton() const { return m_playPause; }
    QPushButton *moveButton() const { return m_move; }
    QPushButton *stopButton() const { return m_stop; }
    bool isHoldingEdit() const { return m_holdTimer != 0; }

signals:
    void played();
    void paused();
    void moved(uint ts);
    void stopped();

public slots:
    void setBase(QDateTime base);
    // ts: the play position (ms after the base); state: 1 playing, 0 not.
    void currentStateChange(uint ts, int state);
    void playPausePushButtonClick();
    void movePushButtonClick();
    void dateTimeEditEdittingFinish();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void killHoldTimer();

    QDateTime m_base;               // invalid until setBase()
    QPushButton *m_stop = nullptr;  // children
    QPushButton *m_playPause = nullptr;
    QDateTimeEdit *m_editor = nullptr;
    QPushButton *m_move = nullptr;
    int m_holdTimer = 0;            // 0 when no hold runs
};

} // namespace PlayerUi
