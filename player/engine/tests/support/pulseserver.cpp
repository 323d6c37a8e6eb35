#include "pulseserver.h"

#include "testsupport/testfiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

#ifndef VELMORA_PULSE_SCRIPT_DIR
#error "VELMORA_PULSE_SCRIPT_DIR must name the folder of start_pulse.sh"
#endif

namespace {

const QString kScript = QStringLiteral(VELMORA_PULSE_SCRIPT_DIR "/start_pulse.sh");
constexpr int kScriptTimeoutMs = 60000;

} // namespace

PulseServer::PulseServer() = default;

PulseServer::~PulseServer()
{
    stop();
}

bool PulseServer::start(QString *error)
{
    stop();
    m_dir.reset(new QTemporaryDir(QStringLiteral("/tmp/velmora-pulse-XXXXXX")));
    if (!m_dir->isValid()) {
        *error = QStringLiteral("cannot create a temporary folder");
        return false;
    }
    QString output;
    if (!runScript({m_dir->path()}, &output)) {
        *error = QStringLiteral("start_pulse.sh failed: ") + output;
        runScript({QStringLiteral("stop"), m_dir->path()}, &output);
        return false;
    }
    m_running = true;
    startWatcher();
    return true;
}

void PulseServer::stop()
{
    if (!m_running)
        return;
    if (m_watcherPid > 0) {
        ::kill(pid_t(m_watcherPid), SIGTERM);
        m_watcherPid = 0;
    }
    QString output;
    runScript({QStringLiteral("stop"), m_dir->path()}, &output);
    m_running = false;
}

QString PulseServer::serverAddress() const
{
    return QStringLiteral("unix:") + m_dir->path() + QStringLiteral("/native");
}

void PulseServer::exportEnvironment() const
{
    qputenv("PULSE_SERVER", serverAddress().toLocal8Bit());
    qputenv("PULSE_COOKIE", (m_dir->path() + QStringLiteral("/client-cookie")).toLocal8Bit());
}

qint64 PulseServer::recordedBytes() const
{
    return QFileInfo(m_dir->path() + QStringLiteral("/monitor.raw")).size();
}

QVector<qint16> PulseServer::recordedSamples(qint64 from) const
{
    QFile file(m_dir->path() + QStringLiteral("/monitor.raw"));
    if (!file.open(QIODevice::ReadOnly) || !file.seek(from & ~qint64(1)))
        return {};
    return samplesOf(file.readAll());
}

bool PulseServer::waitForRecordedBytes(qint64 bytes, int timeoutMs) const
{
    QElapsedTimer timer;
    timer.start();
    while (recordedBytes() < bytes) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return true;
}

bool PulseServer::suspendSink(bool suspended) const
{
    QProcess pactl;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PULSE_SERVER"), serverAddress());
    env.insert(QStringLiteral("PULSE_COOKIE"), m_dir->path() + QStringLiteral("/client-cookie"));
    pactl.setProcessEnvironment(env);
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("suspend-sink"), QStringLiteral("testsink"),
                                          suspended ? QStringLiteral("1") : QStringLiteral("0")});
    return pactl.waitForFinished(kScriptTimeoutMs) && pactl.exitCode() == 0;
}

bool PulseServer::runScript(const QStringList &arguments, QString *output) const
{
    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start(QStringLiteral("bash"), QStringList{kScript} + arguments);
    const bool finished = script.waitForFinished(kScriptTimeoutMs);
    *output = QString::fromLocal8Bit(script.readAll());
    return finished && script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0;
}

// A detached shell that stops the daemon once this process is gone, so a
// crashed test leaves nothing running. Stopped by its PID in stop().
void PulseServer::startWatcher()
{
    const QString command = QStringLiteral("while kill -0 %1 2>/dev/null; do sleep 1; done; "
                                           "exec bash '%2' stop '%3'")
                                .arg(QCoreApplication::applicationPid())
                                .arg(kScript, m_dir->path());
    QProcess::startDetached(QStringLiteral("bash"), {QStringLiteral("-c"), command}, QString(),
                            &m_watcherPid);
}
