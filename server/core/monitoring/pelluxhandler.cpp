#include "pelluxhandler.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimerEvent>
#include <QVariant>

namespace {

const QString kConnectionPrefix = QStringLiteral("Drovane");
const QString kTimerFailed = QStringLiteral("Polling timer start fail");
const QString kParamMissed = QStringLiteral("Some parameter missed");
const QString kInvalidDriver = QStringLiteral("Invalid database driver");
const QString kNotOpen = QStringLiteral("Open before execute query");
const QString kQueryFailed = QStringLiteral("Can't execute query");
const QString kHiddenPassword = QStringLiteral("***");
// Shorter passwords would hide ordinary words of a message.
constexpr int kShortestMaskedPassword = 3;

enum StationColumn { TypeColumn = 0, AddressColumn = 1, NameColumn = 2 };

// Every handler has a connection of its own: a connection may only be used
// in the thread that made it, and several handlers may live in one process.
QString nextConnectionName()
{
    static QAtomicInt serial;
    const int n = serial.fetchAndAddRelaxed(1);
    return n == 0 ? kConnectionPrefix : kConnectionPrefix + QLatin1Char('_') + QString::number(n);
}

bool isMySqlDriver(const QString &driver)
{
    return driver.startsWith(QLatin1String("QMYSQL")) || driver == QLatin1String("QMARIADB");
}

} // namespace

const QString PelluxHandler::kStationQuery = QStringLiteral("select idtypest, ip1, namest from station");

PelluxHandler::PelluxHandler(QObject *parent)
    : QObject(parent)
    , connectionName(nextConnectionName())
{
}

PelluxHandler::~PelluxHandler() = default;

void PelluxHandler::splitHostPort(const QString &text, QString *host, int *port)
{
    *host = text.trimmed();
    *port = -1;
    const int colon = host->lastIndexOf(QLatin1Char(':'));
    // One colon only: an IPv6 address has several and no port.
    if (colon <= 0 || host->indexOf(QLatin1Char(':')) != colon)
        return;
    bool ok = false;
    const int value = host->mid(colon + 1).toInt(&ok);
    if (ok && value > 0 && value <= 65535) {
        *port = value;
        host->truncate(colon);
    }
}

void PelluxHandler::setParam(QStringList param)
{
    params = param;
}

void PelluxHandler::pollingStart(short period)
{
    if (timerId)
        killTimer(timerId);
    timerId = 0;
    periodMs = qMax(0, int(period)) * kMsPerMinute;
    emit pollingStarted();
    startTimerOrStop(kFirstPollDelayMs);
}

void PelluxHandler::pollingStop()
{
    if (timerId)
        killTimer(timerId);
    timerId = 0;
    periodMs = kDefaultPeriodMs;
    emit pollingStopped();
}

void PelluxHandler::startTimerOrStop(int ms)
{
    timerId = startTimer(ms);
    if (timerId == 0) {
        emit errorOccured(kTimerFailed);
        emit pollingStopped();
    }
}

void PelluxHandler::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != timerId || timerId == 0) {
        QObject::timerEvent(event);
        return;
    }
    killTimer(timerId);
    timerId = 0;
    const QString error = poll();
    if (!error.isEmpty())
        emit errorOccured(withoutPassword(error));
    startTimerOrStop(periodMs);
}

QString PelluxHandler::poll()
{
    if (params.size() < ParamCount)
        return kParamMissed;
    QString error;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(params.at(Driver), connectionName);
        if (!database.isValid()) {
            error = kInvalidDriver;
        } else {
            QString host;
            int port = -1;
            splitHostPort(params.at(HostName), &host, &port);
            database.setHostName(host);
            if (port > 0)
                database.setPort(port);
            database.setDatabaseName(params.at(DatabaseName));
            database.setUserName(params.at(UserName));
            database.setPassword(params.at(Password));
            if (isMySqlDriver(params.at(Driver))) {
                database.setConnectOptions(QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=%1;MYSQL_OPT_READ_TIMEOUT=%2;"
                                                          "MYSQL_OPT_WRITE_TIMEOUT=%2")
                                               .arg(kConnectTimeoutSeconds)
                                               .arg(kReadTimeoutSeconds));
            }
            if (!database.open())
                error = database.lastError().text();
            else
                error = queryStations(database);
            database.close();
        }
    }
    // The connection goes with every poll: the next poll connects afresh.
    QSqlDatabase::removeDatabase(connectionName);
    return error;
}

QString PelluxHandler::queryStations(QSqlDatabase &database)
{
    if (!database.isOpen())
        return kNotOpen;
    QSqlQuery query(database);
    // The whole result is fetched by exec(): a connection lost half-way
    // through the rows fails the query instead of passing on part of the
    // table (whose missing stations would lose their devices).
    query.setForwardOnly(false);
    if (!query.exec(kStationQuery)) {
        // The driver's text says why (a lost connection, a missing table).
        const QString reason = query.lastError().text().trimmed();
        return reason.isEmpty() ? kQueryFailed : kQueryFailed + QStringLiteral(": ") + reason;
    }
    emit itemsBegun();
    while (query.next()) {
        bool ok = false;
        int type = query.value(TypeColumn).toInt(&ok);
        if (!ok)
            type = -1;
        uint address = query.value(AddressColumn).toUInt(&ok);
        if (!ok)
            address = 0;
        emit itemDone(type, address, query.value(NameColumn).toString());
    }
    emit itemsEnded();
    return QString();
}

QString PelluxHandler::withoutPassword(const QString &message) const
{
    const QString password = params.value(Password);
    if (password.size() < kShortestMaskedPassword)
        return message;
    QString masked = message;
    return masked.replace(password, kHiddenPassword);
}
