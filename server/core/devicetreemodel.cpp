#include "devicetreemodel.h"

#include "server/core/settings/deviceparams.h"
#include "server/core/downloaders/downloader.h"
#include "server/core/downloaders/downloaderfactory.h"
#include "server/core/downloaders/downloaderhandler.h"
#include "server/core/downloaders/downloaderwiring.h"
#include "server/core/log/logwiring.h"
#include "recording/threadend.h"

#include <QDir>
#include <QThread>

namespace {

const QString kParamSeparator = QStringLiteral("; ");

} // namespace

DeviceTreeModel::DeviceTreeModel(QObject *parent)
    : QObject(parent)
    , m_collector(std::make_unique<QThread>())
{
    m_collector->setObjectName(QStringLiteral("Collector"));
    m_collector->start();
}

DeviceTreeModel::~DeviceTreeModel()
{
    for (File &file : m_files) {
        for (Device &device : file.devices)
            endDevice(device);
    }
    // Objects ended with deleteLater go when the thread's loop ends.
    m_collector->quit();
    endThreadWithin(std::move(m_collector));
}

QString DeviceTreeModel::filePath(int file) const
{
    return m_files.at(size_t(file)).path;
}

SettingsFile::Type DeviceTreeModel::fileType(int file) const
{
    return m_files.at(size_t(file)).type;
}

DeviceTreeModel::FileState DeviceTreeModel::fileState(int file) const
{
    return m_files.at(size_t(file)).state;
}

bool DeviceTreeModel::isFileEditable(int file) const
{
    const File &f = m_files.at(size_t(file));
    return f.type == SettingsFile::Type::Variable && f.damage.isEmpty();
}

QString DeviceTreeModel::fileDamage(int file, qint64 *line, qint64 *column) const
{
    const File &f = m_files.at(size_t(file));
    if (line)
        *line = f.damageLine;
    if (column)
        *column = f.damageColumn;
    return f.damage;
}

DeviceTreeModel::Id DeviceTreeModel::fileId(int file) const
{
    return m_files.at(size_t(file)).id;
}

int DeviceTreeModel::fileIndex(Id id) const
{
    for (size_t i = 0; i < m_files.size(); ++i) {
        if (m_files[i].id == id)
            return int(i);
    }
    return -1;
}

int DeviceTreeModel::findFile(const QString &path) const
{
    for (size_t i = 0; i < m_files.size(); ++i) {
        if (m_files[i].path == path)
            return int(i);
    }
    return -1;
}

int DeviceTreeModel::deviceCount(int file) const
{
    return int(m_files.at(size_t(file)).devices.size());
}

QStringList DeviceTreeModel::deviceParams(int file, int device) const
{
    return m_files.at(size_t(file)).devices.at(size_t(device)).params;
}

bool DeviceTreeModel::isDeviceSupported(int file, int device) const
{
    return scheduler(file, device) != nullptr;
}

Downloader *DeviceTreeModel::downloader(int file, int device) const
{
    return m_files.at(size_t(file)).devices.at(size_t(device)).downloader;
}

DownloaderHandler *DeviceTreeModel::scheduler(int file, int device) const
{
    return m_files.at(size_t(file)).devices.at(size_t(device)).scheduler;
}

DeviceTreeModel::Id DeviceTreeModel::deviceId(int file, int device) const
{
    return m_files.at(size_t(file)).devices.at(size_t(device)).id;
}

bool DeviceTreeModel::findDevice(Id id, int *file, int *device) const
{
    for (size_t f = 0; f < m_files.size(); ++f) {
        const std::vector<Device> &devices = m_files[f].devices;
        for (size_t d = 0; d < devices.size(); ++d) {
            if (devices[d].id == id) {
                *file = int(f);
                *device = int(d);
                return true;
            }
        }
    }
    return false;
}

QStringList DeviceTreeModel::sixTexts(const QStringList &params)
{
    QStringList six = params.mid(0, kDeviceParamCount);
    while (six.size() < kDeviceParamCount)
        six << QString();
    return six;
}

int DeviceTreeModel::appendFile(const QString &path, SettingsFile::Type type, FileState state, File file)
{
    file.id = m_nextId++;
    file.path = path;
    file.type = type;
    file.state = state;
    m_files.push_back(std::move(file));
    const int index = int(m_files.size()) - 1;
    emit fileInserted(index);
    return index;
}

int DeviceTreeModel::openFile(const QString &path, OpenStatus *status, Shard shard)
{
    OpenStatus result = Opened;
    int index = -1;
    SettingsFile::Content content;
    QStringList warnings;
    if (findFile(path) >= 0) {
        result = AlreadyOpen;
    } else {
        switch (SettingsFile::read(path, &content, &warnings)) {
        case SettingsFile::CannotOpen:
            emit errorSended(QStringLiteral("Can`t open file ") + path);
            result = CannotOpen;
            break;
        case SettingsFile::Unsupported:
            emit errorSended(QStringLiteral("Unsupported file format ") + path);
            result = Unsupported;
            break;
        case SettingsFile::Empty:
            result = NothingToRead;
            break;
        case SettingsFile::Damaged:
            emit errorSended(QStringLiteral("File %1 was not read whole (%2): opened read-only, it is not written back")
                                 .arg(path, content.damage));
            result = OpenedDamaged;
            break;
        case SettingsFile::Ok:
            break;
        }
        for (const QString &warning : warnings)
            emit warningSended(path + QStringLiteral(": ") + warning);
    }
    if (result == Opened || result == OpenedDamaged) {
        emit infoSended(QStringLiteral("Open file ") + path);
        const bool readOnly = content.type == SettingsFile::Type::Constant || result == OpenedDamaged;
        // The damage is known before the tree shows the file.
        File opened;
        opened.damage = content.damage;
        opened.damageLine = content.damageLine;
        opened.damageColumn = content.damageColumn;
        index = appendFile(path, content.type, readOnly ? ReadOnly : Saved, std::move(opened));
        File &file = m_files[size_t(index)];
        int elsewhere = 0;
        for (const QStringList &params : content.devices) {
            Device device;
            device.id = m_nextId++;
            device.params = sixTexts(params);
            if (!shard.includes(quint64(file.devices.size())))
                ++elsewhere;
            else if (!startDevice(device, path) && result == Opened)
                result = OpenedWithRefused;
            file.devices.push_back(std::move(device));
            emit deviceInserted(index, int(file.devices.size()) - 1);
        }
        if (elsewhere > 0)
            emit infoSended(QStringLiteral("%1 of %2 devices in %3 run on the other collectors (shard %4/%5)")
                                .arg(elsewhere).arg(content.devices.size()).arg(path).arg(shard.index).arg(shard.count));
    }
    if (status)
        *status = result;
    return index;
}

int DeviceTreeModel::newFile(const QString &path, bool *written, SettingsFile::Type type)
{
    if (written)
        *written = false;
    if (findFile(path) >= 0)
        return -1;
    const bool constant = type == SettingsFile::Type::Constant;
    const int index = appendFile(path, type, constant ? ReadOnly : NotSaved, File());
    const bool ok = saveFile(index);
    if (written)
        *written = ok;
    return index;
}

void DeviceTreeModel::forgetDamage(int file)
{
    File &f = m_files.at(size_t(file));
    f.damage.clear();
    f.damageLine = 0;
    f.damageColumn = 0;
}

bool DeviceTreeModel::saveFile(int index, const QString &path)
{
    const File &file = m_files.at(size_t(index));
    const QString target = path.isEmpty() ? file.path : path;
    if (!file.damage.isEmpty() && target == file.path) {
        emit errorSended(QStringLiteral("File %1 is not written back: it was not read whole").arg(target));
        return false;
    }
    SettingsFile::Content content;
    content.type = file.type;
    for (const Device &device : file.devices)
        content.devices << device.params;
    QString reason;
    if (SettingsFile::write(target, content, &reason) != SettingsFile::Ok) {
        emit errorSended(QStringLiteral("Can`t open file ") + target + QStringLiteral(": ") + reason);
        return false;
    }
    emit infoSended(QStringLiteral("File save ") + target);
    if (file.damage.isEmpty())
        setState(index, Saved);
    return true;
}

void DeviceTreeModel::closeFile(int index)
{
    File &file = m_files.at(size_t(index));
    for (Device &device : file.devices)
        endDevice(device);
    emit infoSended(QStringLiteral("File close ") + file.path);
    emit fileAboutToBeRemoved(index);
    m_files.erase(m_files.begin() + index);
}

int DeviceTreeModel::addDevice(int index, const QStringList &params, bool *supported)
{
    File &file = m_files.at(size_t(index));
    Device device;
    device.id = m_nextId++;
    device.params = sixTexts(params);
    const bool runs = startDevice(device, file.path);
    file.devices.push_back(std::move(device));
    const int position = int(file.devices.size()) - 1;
    emit deviceInserted(index, position);
    setState(index, NotSaved);
    if (supported)
        *supported = runs;
    return position;
}

bool DeviceTreeModel::setDeviceParams(int index, int position, const QStringList &params)
{
    File &file = m_files.at(size_t(index));
    Device &device = file.devices.at(size_t(position));
    endDevice(device);
    device.params = sixTexts(params);
    const bool runs = startDevice(device, file.path);
    emit deviceChanged(index, position);
    setState(index, NotSaved);
    return runs;
}

void DeviceTreeModel::removeDevice(int index, int position)
{
    File &file = m_files.at(size_t(index));
    endDevice(file.devices.at(size_t(position)));
    emit deviceAboutToBeRemoved(index, position);
    file.devices.erase(file.devices.begin() + position);
    setState(index, NotSaved);
}

void DeviceTreeModel::stopDevice(int index, int position)
{
    endDevice(m_files.at(size_t(index)).devices.at(size_t(position)));
    emit deviceChanged(index, position);
}

// Creates the device's downloader (by its URL's scheme) and scheduler, wires
// them to each other and to the log and begins the first polling cycle at
// once. False, with nothing created, when no downloader serves the URL.
bool DeviceTreeModel::startDevice(Device &device, const QString &filePath)
{
    // A relative folder would be taken from whatever the program's working
    // folder happens to be.
    const QString folder = paramValue(device.params, DeviceParam::Folder);
    if (folder.trimmed().isEmpty() || QDir::isRelativePath(folder)) {
        emit errorSended(QStringLiteral("Device %1 at %2 does not run: its destination \"%3\" is not an absolute folder")
                             .arg(paramValue(device.params, DeviceParam::Url), filePath, folder));
        return false;
    }
    Downloader *downloader = createDownloader(downloaderParams(device.params));
    if (!downloader)
        return false;
    emit infoSended(QStringLiteral("Set param to %1: %2 at %3")
                        .arg(downloader->objectName(), device.params.join(kParamSeparator), filePath));
    QString periodWarning;
    devicePeriodMinutes(paramValue(device.params, DeviceParam::Period), &periodWarning);
    if (!periodWarning.isEmpty())
        emit warningSended(QStringLiteral("%1: %2").arg(downloader->objectName(), periodWarning));
    auto *scheduler = new DownloaderHandler;
    // Its reports stand in the log under its device's name.
    scheduler->setObjectName(downloader->objectName());
    scheduler->setParam(device.params);
    wireDownloaderHandler(scheduler, downloader);
    if (m_log) {
        wireDownloaderLog(downloader, m_log);
        wireSchedulerLog(scheduler, m_log);
    }
    scheduler->setMinFreeBytes(m_minFreeBytes);
    auto *health = new DeviceHealth(device.params);
    health->setObjectName(downloader->objectName());
    wireDeviceHealth(health, downloader, scheduler);
    if (m_log)
        wireHealthLog(health, m_log);
    const Id id = device.id;
    connect(health, &DeviceHealth::healthChanged, this, [this, id](const DeviceHealthRecord &record) {
        int file = -1;
        int position = -1;
        if (!findDevice(id, &file, &position))
            return;
        m_files.at(size_t(file)).devices.at(size_t(position)).healthRecord = record;
        emit deviceHealthChanged(file, position);
    }, Qt::QueuedConnection);
    device.downloader = downloader;
    device.scheduler = scheduler;
    device.health = health;
    device.healthRecord = health->record();
    // From here on they belong to the collector thread.
    for (QObject *part : {static_cast<QObject *>(downloader), static_cast<QObject *>(scheduler), static_cast<QObject *>(health)})
        part->moveToThread(m_collector.get());
    emit deviceStarted(downloader, scheduler);
    QMetaObject::invokeMethod(scheduler, &DownloaderHandler::startCycle, Qt::QueuedConnection);
    return true;
}

void DeviceTreeModel::endDevice(Device &device)
{
    // Nothing either still reports may start more work; the downloader's
    // reports already on their way still reach the log under its name.
    if (device.scheduler) {
        device.scheduler->disconnect();
        if (device.downloader)
            QObject::disconnect(device.downloader, nullptr, device.scheduler, nullptr);
        device.scheduler->deleteLater();
        device.scheduler = nullptr;
    }
    if (device.health) {
        device.health->disconnect();
        device.health->deleteLater();
        device.health = nullptr;
        device.healthRecord = DeviceHealthRecord();
    }
    if (device.downloader) {
        emit infoSended(QStringLiteral("Delete %1").arg(device.downloader->objectName()));
        device.downloader->deleteLater();
        device.downloader = nullptr;
    }
}

void DeviceTreeModel::setState(int index, FileState state)
{
    File &file = m_files.at(size_t(index));
    // A read-only file (one opened as "constant", or the monitoring
    // devices' file) never asks to be saved: its devices change only
    // through the monitoring poll.
    if (file.state == state || (state == NotSaved && (file.type == SettingsFile::Type::Constant || !file.damage.isEmpty())))
        return;
    file.state = state;
    emit fileStateChanged(index);
}

void DeviceTreeModel::setMinFreeBytes(qint64 bytes)
{
    m_minFreeBytes = bytes;
    for (const File &file : m_files) {
        for (const Device &device : file.devices) {
            if (DownloaderHandler *scheduler = device.scheduler)
                QMetaObject::invokeMethod(scheduler, [scheduler, bytes] { scheduler->setMinFreeBytes(bytes); }, Qt::QueuedConnection);
        }
    }
}

bool DeviceTreeModel::deviceHealth(int file, int device, DeviceHealthRecord *record) const
{
    const Device &d = m_files.at(size_t(file)).devices.at(size_t(device));
    *record = d.health ? d.healthRecord : DeviceHealthRecord();
    return d.health != nullptr;
}

DeviceTreeModel::HealthSummary DeviceTreeModel::healthSummary() const
{
    HealthSummary summary;
    for (const File &file : m_files) {
        for (const Device &device : file.devices) {
            if (!device.health)
                continue;
            ++summary.running;
            const HealthState state = device.healthRecord.state;
            if (state == HealthState::Ok || state == HealthState::NeverCollected)
                continue;
            ++summary.notOk;
            if (healthSeverity(state) > healthSeverity(summary.worst))
                summary.worst = state;
        }
    }
    return summary;
}
