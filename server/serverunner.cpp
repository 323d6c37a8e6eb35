#include "serverunner.h"

#include "devicetreemodel.h"
#include "downloaderhandler.h"
#include "loghandler.h"

#include <QFile>

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
    , m_log(createLog(logFolder))
    , m_model(std::make_unique<DeviceTreeModel>())
{
    setObjectName(kRunnerName);
    m_model->setLog(m_log.get());
    // The model's reports reach the log under this object's name.
    connect(m_model.get(), &DeviceTreeModel::infoSended, this, &ServeRunner::infoSended);
    connect(m_model.get(), &DeviceTreeModel::errorSended, this, &ServeRunner::errorSended);
    connect(m_model.get(), &DeviceTreeModel::warningSended, this, &ServeRunner::warningSended);
    connect(this, &ServeRunner::infoSended, m_log.get(), &LogHandler::commonInfoSend, Qt::QueuedConnection);
    connect(this, &ServeRunner::errorSended, m_log.get(), &LogHandler::commonErrorSend, Qt::QueuedConnection);
    connect(this, &ServeRunner::warningSended, m_log.get(), &LogHandler::commonWarningSend, Qt::QueuedConnection);
}

// The model goes first: its downloaders must not outlive the log they use.
ServeRunner::~ServeRunner()
{
    m_model.reset();
}

QString ServeRunner::logFilePath() const
{
    return m_log->filePath();
}

bool ServeRunner::open(const QStringList &paths, QString *error)
{
    QStringList problems;
    for (const QString &path : paths) {
        DeviceTreeModel::OpenStatus status = DeviceTreeModel::Opened;
        m_model->openFile(path, &status);
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
        }
    }
    if (problems.isEmpty() && runningDevices() == 0)
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
    connect(m_model->scheduler(f, d), &DownloaderHandler::cycleFinished, this, [this, deviceId] {
        endDevice(deviceId);
        finishWhenIdle();
    });
}

void ServeRunner::endDevice(quint64 deviceId)
{
    int f = 0, d = 0;
    if (m_model->findDevice(deviceId, &f, &d) && m_model->scheduler(f, d))
        m_model->stopDevice(f, d);
}

void ServeRunner::finishWhenIdle()
{
    if (m_finished || runningDevices() > 0)
        return;
    m_finished = true;
    emit infoSended(QStringLiteral("Serve stopped"));
    // After the log has taken the queued lines.
    QMetaObject::invokeMethod(this, &ServeRunner::finished, Qt::QueuedConnection);
}
