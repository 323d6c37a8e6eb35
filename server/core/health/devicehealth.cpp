#include "devicehealth.h"

#include "server/core/downloaders/downloaderoptions.h"
#include "server/core/log/visibletext.h"
#include "server/core/settings/deviceparams.h"

#include <QDir>
#include <QFileInfo>

namespace {

struct StateNames
{
    HealthState state;
    const char *key;
    const char *text; // UTF-8
    int severity;
};

const StateNames kStates[kHealthStateCount] = {
    {HealthState::Ok, "ok", "В порядке", 0},
    {HealthState::NeverCollected, "never-collected", "Ещё не опрашивалось", 1},
    {HealthState::Stale, "stale", "Нет новых данных", 2},
    {HealthState::DiskLow, "disk-low", "Мало места на диске", 3},
    {HealthState::FileRefused, "file-refused", "Файл не принят", 4},
    {HealthState::DestinationUnwritable, "destination-unwritable", "Нет записи в папку", 5},
    {HealthState::LoginRefused, "login-refused", "Вход отклонён", 6},
    {HealthState::Unreachable, "unreachable", "Недоступно", 7},
};

const StateNames &namesOf(HealthState state)
{
    for (const StateNames &names : kStates) {
        if (names.state == state)
            return names;
    }
    return kStates[0];
}

// The beginnings of the downloaders' failure messages and what they stand for.
struct FailurePrefix
{
    const char *prefix;
    HealthState state;
};

const FailurePrefix kFailures[] = {
    {"connection refused", HealthState::Unreachable},
    {"host not found", HealthState::Unreachable},
    {"Unknown host address", HealthState::Unreachable},
    {"cannot connect to", HealthState::Unreachable},
    {"timeout", HealthState::Unreachable},
    {"control connection disconnect", HealthState::Unreachable},
    {"530", HealthState::LoginRefused},
    {"write error:", HealthState::DestinationUnwritable},
    {"Can`t open file", HealthState::DestinationUnwritable},
    // The device answers, but refuses what it was asked for.
    {"ERROR packet receive", HealthState::FileRefused},
};

const QString kSilenceOption = QStringLiteral("stale");
const QString kDateTimeFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss");

QString shownTime(const QDateTime &time)
{
    return time.isValid() ? time.toString(kDateTimeFormat) : QStringLiteral("нет");
}

} // namespace

QString healthKey(HealthState state)
{
    return QString::fromLatin1(namesOf(state).key);
}

bool healthFromKey(const QString &key, HealthState *state)
{
    for (const StateNames &names : kStates) {
        if (key == QLatin1String(names.key)) {
            *state = names.state;
            return true;
        }
    }
    return false;
}

QString healthText(HealthState state)
{
    return QString::fromUtf8(namesOf(state).text);
}

int healthSeverity(HealthState state)
{
    return namesOf(state).severity;
}

HealthState healthOfFailure(const QString &message)
{
    for (const FailurePrefix &failure : kFailures) {
        if (message.startsWith(QLatin1String(failure.prefix)))
            return failure.state;
    }
    // Any other FTP reply of failure (4xx, 5xx): the device refused the request.
    if (message.size() >= 3 && (message.at(0) == QLatin1Char('4') || message.at(0) == QLatin1Char('5'))
        && message.at(1).isDigit() && message.at(2).isDigit())
        return HealthState::FileRefused;
    return HealthState::Unreachable;
}

QString DeviceHealthRecord::figuresText() const
{
    QStringList lines;
    lines << healthText(state) + QStringLiteral(" с ") + shownTime(since);
    lines << QStringLiteral("Последний успешный опрос: ") + shownTime(lastSuccess);
    if (lastFileTime.isValid())
        lines << QStringLiteral("Последний файл: %1 (%2 байт), %3").arg(visibleText(lastFileName)).arg(lastFileSize).arg(shownTime(lastFileTime));
    if (lastErrorTime.isValid())
        lines << QStringLiteral("Последняя ошибка: %1, %2").arg(shownTime(lastErrorTime), visibleText(lastError));
    lines << QStringLiteral("Неудачных опросов подряд: %1").arg(failures);
    lines << QStringLiteral("Файлов ждут загрузки: %1").arg(filesBehind);
    lines << QStringLiteral("Загружено сегодня: %1 байт").arg(bytesToday);
    return lines.join(QLatin1Char('\n'));
}

DeviceHealth::DeviceHealth(const QStringList &params, QObject *parent)
    : QObject(parent)
    , m_folder(paramValue(params, DeviceParam::Folder))
    , m_lastNewData(QDateTime::currentDateTime())
{
    qRegisterMetaType<DeviceHealthRecord>();
    for (const DownloaderOption &option : parseDownloaderOptions(paramValue(params, DeviceParam::Options))) {
        bool ok = false;
        const int minutes = option.second.toInt(&ok);
        if (option.first == kSilenceOption && ok && minutes >= 0)
            m_silenceMs = minutes * kMsPerMinute;
    }
    m_record.since = m_lastNewData;
}

void DeviceHealth::cycleStart()
{
    m_failed = false;
    m_failure = HealthState::Ok;
    m_failureText.clear();
    m_refusalPending = false;
    m_fileRefused = false;
    m_destinationLow = false;
}

void DeviceHealth::downloadErrorOccur(QString message)
{
    m_record.lastErrorTime = QDateTime::currentDateTime();
    m_record.lastError = message.trimmed();
    if (m_refusalPending) {
        // A refused file's own error: the cycle goes on with the next file.
        m_refusalPending = false;
        emit healthChanged(m_record);
        return;
    }
    if (!m_failed) {
        m_failed = true;
        m_failure = healthOfFailure(m_record.lastError);
        m_failureText = m_record.lastError;
    }
    emit healthChanged(m_record);
}

void DeviceHealth::downloadGetFileRefuse(QString, QString message)
{
    m_refusalPending = true;
    if (!m_fileRefused) {
        m_fileRefused = true;
        if (m_failureText.isEmpty())
            m_failureText = message.trimmed();
    }
}

void DeviceHealth::fileRequest(QString name, ulong pos, qint64)
{
    m_fileName = name;
    m_sizeBefore = qint64(pos);
}

void DeviceHealth::downloadGetFileDo()
{
    if (m_fileName.isEmpty())
        return;
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 size = QFileInfo(QDir(m_folder).filePath(m_fileName)).size();
    // A copy fetched whole again (its old bytes kept as a version) counts whole.
    const qint64 added = size >= m_sizeBefore ? size - m_sizeBefore : size;
    m_record.lastFileTime = now;
    m_record.lastFileName = m_fileName;
    m_record.lastFileSize = size;
    countBytes(added, now);
    if (added > 0)
        m_lastNewData = now;
    m_fileName.clear();
    emit healthChanged(m_record);
}

void DeviceHealth::filesBehindCount(int files)
{
    m_record.filesBehind = files;
    emit healthChanged(m_record);
}

void DeviceHealth::destinationLowFind(qint64 bytesAvailable)
{
    m_destinationLow = true;
    m_bytesAvailable = bytesAvailable;
}

void DeviceHealth::cycleFinish(bool succeeded)
{
    const QDateTime now = QDateTime::currentDateTime();
    countBytes(0, now);
    ++m_record.cycles;
    if (!succeeded && m_failed) {
        ++m_record.failures;
        setState(m_failure, m_failureText);
    } else if (m_fileRefused || (m_record.state == HealthState::FileRefused && m_record.filesBehind > 0)) {
        // Refused files wait for cycles before they are asked for again:
        // until they come, the device stays in that state.
        ++m_record.failures;
        setState(HealthState::FileRefused, m_failureText);
    } else {
        m_record.failures = 0;
        m_record.lastSuccess = now;
        if (m_destinationLow) {
            setState(HealthState::DiskLow, QStringLiteral("%1 bytes free in %2").arg(m_bytesAvailable).arg(m_folder));
        } else if (m_silenceMs > 0 && m_lastNewData.msecsTo(now) > m_silenceMs) {
            setState(HealthState::Stale, QStringLiteral("no new data since %1").arg(m_lastNewData.toString(Qt::ISODate)));
        } else {
            setState(HealthState::Ok, QString());
        }
    }
    emit healthChanged(m_record);
}

void DeviceHealth::setState(HealthState state, const QString &why)
{
    if (state == m_record.state)
        return;
    m_record.state = state;
    m_record.since = QDateTime::currentDateTime();
    const QString line = QStringLiteral("state: ") + healthKey(state) + (why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why));
    if (state == HealthState::Ok)
        emit infoSended(line);
    else
        emit warningSended(line);
}

void DeviceHealth::countBytes(qint64 bytes, const QDateTime &now)
{
    if (m_record.bytesDay != now.date()) {
        m_record.bytesDay = now.date();
        m_record.bytesToday = 0;
    }
    m_record.bytesToday += bytes;
}
