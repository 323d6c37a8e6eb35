#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QVector>

#include <memory>

// A private PulseAudio daemon for one test process: a null sink "testsink"
// (s16le, 8000 Hz, mono, no rewinds) as the only and default output, reached
// over a unix socket in a temporary folder, and a 20 ms-latency recorder on
// the sink's monitor appending to monitor.raw. Since the sink matches the
// player's format, the recording holds exactly the samples that were played.
//
// Started and stopped by PID through start_pulse.sh (beside this file). A
// watcher process stops the daemon should the test process die first.
class PulseServer
{
public:
    static constexpr int kRate = 8000;    // Hz of the null sink and the monitor
    static constexpr int kSinkBufferMs = 20;

    PulseServer();
    ~PulseServer();

    // Starts the daemon and the recorder; false with *error filled on failure.
    bool start(QString *error);
    // Stops the recorder and the daemon (by their PIDs) and the watcher.
    void stop();
    bool isRunning() const { return m_running; }

    // "unix:<folder>/native".
    QString serverAddress() const;
    // Points this process's PulseAudio clients (Qt Multimedia) at the daemon.
    // Call before the first use of Qt's audio classes.
    void exportEnvironment() const;

    // Bytes the monitor recorder has written so far.
    qint64 recordedBytes() const;
    // Samples recorded from byte `from` on (16-bit mono, host order).
    QVector<qint16> recordedSamples(qint64 from) const;
    // Waits, processing events, until at least `bytes` bytes are recorded.
    bool waitForRecordedBytes(qint64 bytes, int timeoutMs) const;

    // pactl suspend-sink on the null sink: while suspended it renders nothing.
    bool suspendSink(bool suspended) const;

private:
    bool runScript(const QStringList &arguments, QString *output) const;
    void startWatcher();

    std::unique_ptr<QTemporaryDir> m_dir;
    bool m_running = false;
    qint64 m_watcherPid = 0;
};
