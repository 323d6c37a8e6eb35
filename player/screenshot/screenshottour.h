#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace PlayerUi {
class MainWindow;
}
class QWidget;

// Walks the player through what a user does with a recording and writes a
// screenshot after each step: the whole window fitted to the recording, a
// few seconds around a text event with speech, a fraction of a second of
// one burst, the channel dialog, the file information window, the about
// box, the interval panel (10 s gap), the search panel and the journal. Steps are driven by the window's own actions and wait, on timers,
// until indexing has ended and every row has its items painted.
class ScreenshotTour : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSettleTimeoutMs = 20000;
    static constexpr int kPollMs = 50;

    ScreenshotTour(PlayerUi::MainWindow *window, const QString &outputDir);
    ~ScreenshotTour() override;

    // Starts with the recording; the application quits when the tour ends
    // (exit code 0) or a step fails (1).
    void start(const QString &recording);

private:
    using Step = std::function<void()>;

    void next();
    // Runs `then` once indexing has ended and every row is painted.
    void whenSettled(const Step &then, int waitedMs = 0);
    void afterEvents(const Step &then);
    bool writeShot(const QString &name, QWidget *focus);
    void fail(const QString &message);
    void zoomTo(double begin, double duration);

    PlayerUi::MainWindow *m_window; // not owned
    QString m_outputDir;
    QList<Step> m_steps;
    int m_written = 0;
};
