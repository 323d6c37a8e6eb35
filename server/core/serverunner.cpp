#include "serverunner.h"

#include "server/core/devicetreemodel.h"
#include "server/core/serversession.h"
#include "server/core/downloaders/downloaderhandler.h"
#include "server/core/log/loghandler.h"
#include "server/core/monitoring/pelluxmonitor.h"
#include "server/core/settings/serversettings.h"
#include "server/core/settings/settingsfile.h"
#include "server/core/health/statusfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimerEvent>

#include <cstdio>

namespace {

const QString kRunnerName = QStringLiteral("Serve");

std::unique_ptr<LogHandler> createLog(const QString &folder)
{
    if (!folder.isEmpty())
        return std::make_unique<LogHandler>(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
    auto out = std::make_unique<QFile>();
    out->open(stdout, QIODevice::WriteOnly);
    return std::make_unique<LogHandler>(std::move(out));
}

} // namespace

ServeRunner::ServeRunner(const QString &logFolder, QObject *parent)
    : QObject(parent)
    , m_session(std::make_unique<ServerSession>(createLog(logFolder), kRunnerName))
    , m_model(m_session->model())
{
    setObjectName(kRunnerName);
    // This object's reports reach the log under the same name.
    connect(this, &ServeRunner::infoSended, m_session.get(), &ServerSession::infoSended);
    connect(this, &ServeRunner::errorSended, m_session.get(), &ServerSession::errorSended);
    connect(this, &ServeRunner::warningSended, m_session.get(), &ServerSession::warningSended);
}

ServeRunner::~ServeRunner() = default;

bool ServeRunner::useMonitoring(const QString &iniPath, QString *error)
{
    const QFileInfo ini(iniPath);
    if (!ini.isFile()) {
        *error = QStringLiteral("%1: no such INI file").arg(iniPath);
        return false;
    }
    const ServerSettings settings(ini.absolutePath() + QLatin1Char('/'), ini.fileName());
    const QVariantList values = settings.pelluxSettings();
    m_model->setMinFreeBytes(settings.minFreeBytes());
    m_session->log()->setKeepDays(settings.logKeepDays());
    if (!values.value(ServerSettings::Usage).toBool())
        return true;
    PelluxMonitor *monitor = m_session->startMonitor(chooseDataFolder(ini.absolutePath()));
    monitor->setShard(m_shard);
    emit infoSended(ServerSettings::pelluxSettingsLogText(values));
    monitor->apply(values);
    return true;
}

bool ServeRunner::useStatusFile(const QString &path, QString *error)
{
    m_statusPath = path;
    const auto later = [this] {
        if (!m_statusTimer.isActive())
            m_statusTimer.start(kStatusDelayMs, this);
    };
    connect(m_model, &DeviceTreeModel::deviceHealthChanged, this, later);
    connect(m_model, &DeviceTreeModel::deviceInserted, this, later);
    connect(m_model, &DeviceTreeModel::deviceAboutToBeRemoved, this, later);
    return writeStatus(error);
}

bool ServeRunner::writeStatus(QString *error)
{
    return StatusFile::write(m_statusPath, StatusFile::devicesOf(*m_model), QDateTime::currentDateTime(), error);
}

PelluxMonitor *ServeRunner::monitor() const
{
    return m_session->monitor();
}

QString ServeRunner::logFilePath() const
{
    return m_session->log()->filePath();
}

// Every file is read first: a site runs the files it knows whole, or
// nothing, so no device starts while one file is damaged.
bool ServeRunner::checkFiles(const QStringList &paths, QStringList *problems)
{
    for (const QString &path : paths) {
        SettingsFile::Content content;
        if (SettingsFile::read(path, &content) != SettingsFile::Damaged)
            continue;
        const QString where = content.damageLine > 0
            ? QStringLiteral("line %1, column %2: ").arg(content.damageLine).arg(content.damageColumn)
            : QString();
        const QString problem = QStringLiteral("%1: not read whole (%2%3)").arg(path, where, content.damage);
        emit errorSended(problem);
        *problems << problem;
    }
    return problems->isEmpty();
}

void ServeRunner::flushLog()
{
    QCoreApplication::sendPostedEvents(m_session->log(), QEvent::MetaCall);
}

bool ServeRunner::open(const QStringList &paths, QString *error)
{
    QStringList problems;
    if (!checkFiles(paths, &problems)) {
        *error = problems.join(QLatin1Char('\n'));
        return false;
    }
    for (const QString &path : paths) {
        DeviceTreeModel::OpenStatus status = DeviceTreeModel::Opened;
        m_model->openFile(path, &status, m_shard);
        switch (status) {
        case DeviceTreeModel::Opened:
            break;
        case DeviceTreeModel::OpenedWithRefused:
            emit warningSended(QStringLiteral("Devices with unsupported parameters in %1 do not run").arg(path));
            break;
        case DeviceTreeModel::NothingToRead:
            problems << QStringLiteral("%1: not a settings file").arg(path);
            break;
        case DeviceTreeModel::CannotOpen:
            problems << QStringLiteral("%1: cannot open the file").arg(path);
            break;
        case DeviceTreeModel::Unsupported:
            problems << QStringLiteral("%1: unsupported file format").arg(path);
            break;
        case DeviceTreeModel::AlreadyOpen:
            problems << QStringLiteral("%1: named twice").arg(path);
            break;
        case DeviceTreeModel::OpenedDamaged:
            problems << QStringLiteral("%1: not read whole").arg(path);
            break;
        }
    }
    // With monitoring on the devices come with the first poll.
    const bool monitoring = m_session->monitor() && m_session->monitor()->isOn();
    if (problems.isEmpty() && runningDevices() == 0 && !monitoring)
        problems << QStringLiteral("no device to run");
    *error = problems.join(QLatin1Char('\n'));
    emit infoSended(QStringLiteral("Serve start: %1 files, %2 devices running").arg(m_model->fileCount()).arg(runningDevices()));
    return problems.isEmpty();
}

int ServeRunner::runningDevices() const
{
    int count = 0;
    for (int f = 0; f < m_model->fileCount(); ++f) {
        for (int d = 0; d < m_model->deviceCount(f); ++d)
            count += m_model->isDeviceSupported(f, d) ? 1 : 0;
    }
    return count;
}

void ServeRunner::requestStop()
{
    const bool atOnce = m_stopRequested;
    m_stopRequested = true;
    emit infoSended(atOnce ? QStringLiteral("Serve stop now")
                           : QStringLiteral("Serve stop: files in progress are finished first"));
    PelluxMonitor *monitor = m_session->monitor();
    if (monitor && monitor->isOn() && !atOnce) {
        // No poll adds or drops devices any more; the file keeps the last poll's stations.
        monitor->freeze();
        const int file = monitor->fileIndex();
        if (file >= 0)
            m_model->saveFile(file);
    }
    for (int f = 0; f < m_model->fileCount(); ++f) {
        for (int d = 0; d < m_model->deviceCount(f); ++d) {
            DownloaderHandler *scheduler = m_model->scheduler(f, d);
            if (!scheduler)
                continue;
            const quint64 id = m_model->deviceId(f, d);
            if (!atOnce && scheduler->isFetchingFile())
                endDeviceAfterCycle(id);
            else
                endDevice(id);
        }
    }
    finishWhenIdle();
}

void ServeRunner::endDeviceAfterCycle(quint64 deviceId)
{
    int f = 0, d = 0;
    if (!m_model->findDevice(deviceId, &f, &d))
        return;
    DownloaderHandler *scheduler = m_model->scheduler(f, d);
    // Only the file in progress is finished, not the device's backlog. The
    // scheduler runs in the collector thread: it is asked, and answers, there.
    connect(scheduler, &DownloaderHandler::stopReached, this, [this, deviceId] {
        endDevice(deviceId);
        finishWhenIdle();
    }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(scheduler, &DownloaderHandler::stopAfterFile, Qt::QueuedConnection);
    // A transfer that does not end soon (a device trickling its data) is
    // cut: the copy is continued at the next start.
    if (!m_graceTimer.isActive())
        m_graceTimer.start(kStopGraceMs, this);
}

void ServeRunner::endDevice(quint64 deviceId)
{
    int f = 0, d = 0;
    if (m_model->findDevice(deviceId, &f, &d) && m_model->scheduler(f, d))
        m_model->stopDevice(f, d);
}

void ServeRunner::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_statusTimer.timerId()) {
        m_statusTimer.stop();
        QString error;
        const bool written = writeStatus(&error);
        if (!written && !m_statusFailing)
            emit errorSended(error + QStringLiteral(": the status shown there is out of date until it can be written"));
        m_statusFailing = !written;
        return;
    }
    if (event->timerId() != m_graceTimer.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    m_graceTimer.stop();
    if (!m_finished) {
        emit warningSended(QStringLiteral("Files still in progress after %1 s: stopped, they are continued at the next start")
                               .arg(kStopGraceMs / 1000));
        requestStop();
    }
}

void ServeRunner::finishWhenIdle()
{
    if (m_finished || runningDevices() > 0)
        return;
    m_graceTimer.stop();
    m_finished = true;
    emit infoSended(QStringLiteral("Serve stopped"));
    // After the log has taken the queued lines.
    QMetaObject::invokeMethod(this, &ServeRunner::finished, Qt::QueuedConnection);
}
