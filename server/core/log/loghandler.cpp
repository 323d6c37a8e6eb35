#include "loghandler.h"

#include "server/core/log/visibletext.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cstdio>

namespace {

// The minute header of the first line is always written.
const QDateTime kNoStamp(QDate(2000, 1, 1), QTime(0, 0));

const QString kInfo = QStringLiteral("Info");
const QString kError = QStringLiteral("Error");
const QString kWarning = QStringLiteral("Warning");

// Where the log itself fails there is no log to say it in.
void tellStandardError(const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
    std::fflush(stderr);
}

} // namespace

LogHandler::LogHandler(const QString &logFolder, QObject *parent)
    : QObject(parent)
    , folder(logFolder)
    , lastStamp(kNoStamp)
{
    beginFile(QDateTime::currentDateTime());
}

void LogHandler::beginFile(const QDateTime &start)
{
    file.reset();
    path = folder + fileNameFor(start);
    fileDay = start.date();
    lastStamp = kNoStamp;
    writeFailing = false;
    auto logFile = std::make_unique<QFile>(path);
    if (logFile->open(QIODevice::WriteOnly | QIODevice::Text))
        file = std::move(logFile);
    else
        tellStandardError(QStringLiteral("Log %1 cannot be created (%2): its entries are not written")
                              .arg(path, logFile->errorString()));
    removeOldLogs(start.date());
}

void LogHandler::setKeepDays(int days)
{
    keepDays = qMax(0, days);
    removeOldLogs(QDate::currentDate());
}

void LogHandler::removeOldLogs(const QDate &today)
{
    if (keepDays <= 0 || folder.isEmpty())
        return;
    static const QRegularExpression logName(QStringLiteral("^(\\d{8})_\\d{9}\\.log$"));
    const QDate oldestKept = today.addDays(-keepDays);
    QDir dir(folder);
    for (const QString &name : dir.entryList({QStringLiteral("*.log")}, QDir::Files)) {
        const QRegularExpressionMatch match = logName.match(name);
        if (!match.hasMatch())
            continue;
        const QDate day = QDate::fromString(match.captured(1), QStringLiteral("yyyyMMdd"));
        if (day.isValid() && day < oldestKept && dir.filePath(name) != path && !dir.remove(name))
            tellStandardError(QStringLiteral("Old log %1 cannot be removed").arg(dir.filePath(name)));
    }
}

LogHandler::LogHandler(std::unique_ptr<QIODevice> device, QObject *parent)
    : QObject(parent)
    , file(std::move(device))
    , lastStamp(kNoStamp)
{
}

LogHandler::~LogHandler() = default;

QString LogHandler::fileNameFor(const QDateTime &start)
{
    return start.toString(QStringLiteral("yyyyMMdd_hhmmsszzz")) + QStringLiteral(".log");
}

QString LogHandler::formatLine(const QDateTime &now, const QString &level, const QString &message)
{
    QString text;
    if (now.date() != lastStamp.date() || now.time().hour() != lastStamp.time().hour()
        || now.time().minute() != lastStamp.time().minute()) {
        text += now.toString(QStringLiteral("yyyy.MM.dd hh:mm")) + QLatin1Char('\n');
        lastStamp = now;
    }
    // The message is appended, never used as a pattern: "%1" in it stays.
    // Its final line end (an FTP reply line has one) is dropped and others
    // become spaces: a device's text never makes an entry of its own.
    QString oneLine = message;
    while (oneLine.endsWith(QLatin1Char('\n')) || oneLine.endsWith(QLatin1Char('\r')))
        oneLine.chop(1);
    oneLine.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    // Other control characters (a terminal's escape sequences) are shown, not sent.
    text += now.toString(QStringLiteral("\tss.zzz -")) + QLatin1Char(' ') + visibleText(level) + QStringLiteral(": ")
        + visibleText(oneLine) + QLatin1Char('\n');
    return text;
}

void LogHandler::writeLine(const QString &level, const QString &message)
{
    writeLineAt(QDateTime::currentDateTime(), level, message);
}

void LogHandler::writeLineAt(const QDateTime &now, const QString &level, const QString &message)
{
    // One file per day keeps a site's log files small enough to read.
    if (!folder.isEmpty() && now.date() != fileDay)
        beginFile(QDateTime(now.date(), QTime(0, 0)));
    const QString text = formatLine(now, level, message);
    if (!file)
        return;
    const QByteArray bytes = text.toLocal8Bit();
    bool written = file->write(bytes) == bytes.size();
    if (auto *fileDevice = qobject_cast<QFileDevice *>(file.get()))
        written = fileDevice->flush() && written;
    // Said once for a run of failed writes, and again after one succeeded.
    if (!written && !writeFailing) {
        const QString name = path.isEmpty() ? QStringLiteral("output") : path;
        tellStandardError(QStringLiteral("Log %1 cannot be written (%2): entries are lost until it can")
                              .arg(name, file->errorString()));
    }
    writeFailing = !written;
}

void LogHandler::nameSender(const QObject *object, const QString &name)
{
    senderNames.insert(object, name);
    // Queued: it comes after every report the object sent before it went.
    connect(object, &QObject::destroyed, this, [this, object] { senderNames.remove(object); }, Qt::QueuedConnection);
}

QString LogHandler::levelOfSender(const QString &word) const
{
    const QObject *origin = sender();
    const auto named = senderNames.constFind(origin);
    const QString name = named != senderNames.cend() ? *named : origin ? origin->objectName() : QString();
    return name.isEmpty() ? word : word + QLatin1Char(' ') + name;
}

void LogHandler::commonInfoSend(QString message)
{
    writeLine(levelOfSender(kInfo), message);
}

void LogHandler::commonErrorSend(QString message)
{
    writeLine(levelOfSender(kError), message);
}

void LogHandler::commonWarningSend(QString message)
{
    writeLine(levelOfSender(kWarning), message);
}

void LogHandler::pelluxPollingStart()
{
    writeLine(kInfo, QStringLiteral("Pellux polling start"));
}

void LogHandler::pelluxPollingStop()
{
    writeLine(kInfo, QStringLiteral("Pellux polling stop"));
}

void LogHandler::pelluxErrorOccur(QString message)
{
    writeLine(QStringLiteral("Error Pellux"), message);
}

void LogHandler::downloaderStart()
{
    writeLine(levelOfSender(kInfo), QStringLiteral("Start"));
}

void LogHandler::downloaderErrorOccur(QString message)
{
    writeLine(levelOfSender(kError), message);
}

void LogHandler::downloaderGetFileListStart()
{
    writeLine(levelOfSender(kInfo), QStringLiteral("Get file list start"));
}

void LogHandler::downloaderGetFileListDo(QStringList)
{
    writeLine(levelOfSender(kInfo), QStringLiteral("Get file list do"));
}

void LogHandler::downloaderGetFileStart(QString name)
{
    writeLine(levelOfSender(kInfo), QStringLiteral("Get file start ") + name);
}

void LogHandler::downloaderGetFileDo()
{
    writeLine(levelOfSender(kInfo), QStringLiteral("Get file do"));
}

void LogHandler::downloaderAbort()
{
    writeLine(levelOfSender(kInfo), QStringLiteral("Abort"));
}

void LogHandler::downloaderStop()
{
    writeLine(levelOfSender(kInfo), QStringLiteral("Stop"));
}

void LogHandler::downloaderVersionKeep(QString name, QString versionPath, QString reason)
{
    writeLine(levelOfSender(kWarning), QStringLiteral("%1 is not the device's file (%2): kept as %3, fetching the file whole")
                                           .arg(name, reason, versionPath));
}

void LogHandler::downloaderVersionDrop(QString name, QString versionPath)
{
    writeLine(levelOfSender(kInfo), QStringLiteral("%1 holds only the start of the new %2: removed").arg(versionPath, name));
}
