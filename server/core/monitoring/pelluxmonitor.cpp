#include "pelluxmonitor.h"

#include "server/core/settings/deviceparams.h"
#include "server/core/log/loghandler.h"
#include "server/core/monitoring/pelluxhandler.h"
#include "server/core/settings/serversettings.h"
#include "recording/threadend.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimerEvent>
#include <QThread>

namespace {

const QString kPeriod = QStringLiteral("1");
const QString kTftpSource = QStringLiteral("tftp://%1/");
const QString kFtpSource = QStringLiteral("ftp://%1/");
const QString kTftpOptions = QStringLiteral("blksize=1500");
const QString kFtpOptions = QStringLiteral("codec=\"Windows-1251\"");
const QString kHandlerName = QStringLiteral("PelluxHandler");
constexpr int kByteBits = 8;
constexpr uint kByteMask = 0xFF;
constexpr int kAddressBytes = 4;
// First bytes of addresses that are no single device: 0.x.x.x (this
// network, an empty or NULL address), 224 and above (multicast, reserved,
// broadcast).
constexpr uint kThisNetworkByte = 0;
constexpr uint kFirstMulticastByte = 224;

} // namespace

PelluxMonitor::PelluxMonitor(DeviceTreeModel *model, const QString &dataFolder, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_folder(dataFolder)
    , m_thread(std::make_unique<QThread>())
    , m_handler(new PelluxHandler)
{
    m_handler->setObjectName(kHandlerName);
    m_handler->moveToThread(m_thread.get());
    connect(m_thread.get(), &QThread::finished, m_handler, &QObject::deleteLater);
    const Qt::ConnectionType queued = Qt::QueuedConnection;
    connect(this, &PelluxMonitor::pelluxSetParam, m_handler, &PelluxHandler::setParam, queued);
    connect(this, &PelluxMonitor::pelluxPollingStart, m_handler, &PelluxHandler::pollingStart, queued);
    connect(this, &PelluxMonitor::pelluxPollingStop, m_handler, &PelluxHandler::pollingStop, queued);
    connect(m_handler, &PelluxHandler::itemDone, this, &PelluxMonitor::pelluxItemDo, queued);
    connect(m_handler, &PelluxHandler::itemsEnded, this, &PelluxMonitor::pelluxItemsEnd, queued);
    m_thread->start();
}

PelluxMonitor::~PelluxMonitor()
{
    m_thread->quit();
    endThreadWithin(std::move(m_thread));
}

bool PelluxMonitor::isDeviceAddress(uint address)
{
    // The first byte shown is the value's least significant one.
    const uint first = address & kByteMask;
    return first != kThisNetworkByte && first < kFirstMulticastByte;
}

QString PelluxMonitor::addressText(uint address)
{
    QStringList bytes;
    for (int i = 0; i < kAddressBytes; ++i)
        bytes << QString::number((address >> (i * kByteBits)) & kByteMask);
    return bytes.join(QLatin1Char('.'));
}

QStringList PelluxMonitor::stationDeviceParams(int type, uint address, const QString &comment, const QString &dataFolder)
{
    QString name, source, options;
    const QString host = addressText(address);
    switch (type) {
    case LorvanP:
        name = QStringLiteral("Lorvan-P");
        break;
    case Zerva:
        name = QStringLiteral("Zerva");
        break;
    case Mirel:
        name = QStringLiteral("Mirel");
        break;
    case LorvanS:
        name = QStringLiteral("Lorvan-S");
        break;
    default:
        return QStringList();
    }
    if (type == Zerva) {
        source = kFtpSource.arg(host);
        options = kFtpOptions;
    } else {
        source = kTftpSource.arg(host);
        options = kTftpOptions;
    }
    return deviceParams(name, comment, kPeriod, source, dataFolder + host, options);
}

int PelluxMonitor::fileIndex() const
{
    return m_fileId ? m_model->fileIndex(m_fileId) : -1;
}

QString PelluxMonitor::filePath() const
{
    return m_folder + ServerSettings::kPelluxFileName;
}

void PelluxMonitor::wireLog(LogHandler *log)
{
    const Qt::ConnectionType queued = Qt::QueuedConnection;
    connect(m_handler, &PelluxHandler::pollingStarted, log, &LogHandler::pelluxPollingStart, queued);
    connect(m_handler, &PelluxHandler::pollingStopped, log, &LogHandler::pelluxPollingStop, queued);
    connect(m_handler, &PelluxHandler::errorOccured, log, &LogHandler::pelluxErrorOccur, queued);
}

void PelluxMonitor::freeze()
{
    m_frozen = true;
    emit pelluxPollingStop();
}

void PelluxMonitor::apply(QVariantList values)
{
    if (values.size() < ServerSettings::PelluxValueCount)
        return;
    const bool usage = values.at(ServerSettings::Usage).toBool();
    if (usage && !isOn())
        switchOn(values);
    else if (!usage && isOn())
        switchOff();
}

void PelluxMonitor::switchOn(const QVariantList &values)
{
    const QString path = filePath();
    int file = m_model->findFile(path);
    if (file < 0 && QFileInfo::exists(path))
        file = m_model->openFile(path);
    if (file < 0) {
        // A missing or unreadable file starts empty: the first poll fills it.
        bool written = false;
        file = m_model->newFile(path, &written, SettingsFile::Type::Constant);
        if (file >= 0 && !written)
            emit errorSended(QStringLiteral("Monitoring file %1 could not be written: its devices run but are not kept")
                                 .arg(path));
    }
    if (file < 0) {
        emit errorSended(QStringLiteral("Monitoring not started: file %1 cannot be opened").arg(path));
        return;
    }
    m_fileId = m_model->fileId(file);
    m_marked.clear();
    m_frozen = false;
    QStringList connection;
    for (int i = ServerSettings::Driver; i <= ServerSettings::Password; ++i)
        connection << values.at(i).toString();
    emit pelluxSetParam(connection);
    QString warning;
    const int period = ServerSettings::pollingPeriodMinutes(values.at(ServerSettings::PollingPeriod), &warning);
    if (!warning.isEmpty())
        emit warningSended(warning);
    emit pelluxPollingStart(short(period));
}

void PelluxMonitor::switchOff()
{
    const int file = fileIndex();
    m_fileId = 0;
    m_marked.clear();
    m_rows.clear();
    m_applyTimer.stop();
    if (file >= 0) {
        if (!m_model->saveFile(file))
            emit errorSended(QStringLiteral("Monitoring file %1 could not be saved: its devices of the last poll are lost")
                                 .arg(m_model->filePath(file)));
        m_model->closeFile(file);
    }
    emit pelluxPollingStop();
}

void PelluxMonitor::pelluxItemDo(int type, uint address, QString comment)
{
    queueRow({false, type, address, comment});
}

void PelluxMonitor::pelluxItemsEnd()
{
    queueRow({true, 0, 0, QString()});
}

void PelluxMonitor::queueRow(Row row)
{
    m_rows.append(std::move(row));
    if (!m_applyTimer.isActive())
        m_applyTimer.start(0, this);
}

void PelluxMonitor::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_applyTimer.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    QElapsedTimer slice;
    slice.start();
    while (!m_rows.isEmpty() && slice.elapsed() < kApplySliceMs) {
        const Row row = m_rows.takeFirst();
        if (row.end)
            applyEnd();
        else
            applyRow(row);
    }
    if (m_rows.isEmpty())
        m_applyTimer.stop();
}

void PelluxMonitor::applyRow(const Row &row)
{
    const int type = row.type;
    const uint address = row.address;
    const QString &comment = row.comment;
    const int file = fileIndex();
    if (file < 0 || m_frozen)
        return;
    const QStringList params = stationDeviceParams(type, address, comment, m_folder);
    if (params.isEmpty())
        return;
    if (!isDeviceAddress(address)) {
        // Once per run: the row comes back with every poll.
        const QString row = QStringLiteral("%1/%2/%3").arg(type).arg(address).arg(comment);
        if (!m_refusedRows.contains(row)) {
            m_refusedRows.insert(row);
            emit warningSended(QStringLiteral("Station \"%1\" (type %2) skipped: %3 is no device address")
                                   .arg(comment).arg(type).arg(addressText(address)));
        }
        return;
    }
    if (!m_shard.includes(address))
        return;
    const QString source = paramValue(params, DeviceParam::Url);
    for (int device = 0; device < m_model->deviceCount(file); ++device) {
        const DeviceTreeModel::Id id = m_model->deviceId(file, device);
        if (m_marked.contains(id) || !m_model->isDeviceSupported(file, device))
            continue;
        if (paramValue(m_model->deviceParams(file, device), DeviceParam::Url) == source) {
            m_marked.insert(id);
            return;
        }
    }
    const int device = m_model->addDevice(file, params);
    m_marked.insert(m_model->deviceId(file, device));
}

void PelluxMonitor::applyEnd()
{
    const int file = fileIndex();
    if (file < 0 || m_frozen)
        return;
    for (int device = m_model->deviceCount(file) - 1; device >= 0; --device) {
        if (!m_marked.contains(m_model->deviceId(file, device)))
            m_model->removeDevice(file, device);
    }
    m_marked.clear();
    // The file now holds what the station table says, whatever it held.
    m_model->forgetDamage(file);
    emit pollApplied(m_model->deviceCount(file));
}
