// PelluxHandler: the monitoring database's poller, in a thread of its own.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// Polls the station table of the site's monitoring database on a timer and
// reports its rows. It lives in a thread of its own (the caller moves it
// there); every input is a slot and every output a signal, all reached
// through queued connections, so a slow or hanging database never holds up
// the thread that owns the devices.
//
// The connection is opened and closed around every poll, so a database
// restarted or a network lost between two polls costs one failed poll: the
// next one connects afresh. Connecting and every read and write are bounded
// by timeouts, so a server that accepts but never answers ends the poll
// with the driver's error after at most kConnectTimeoutSeconds +
// kReadTimeoutSeconds, and polling goes on.
//
// The password is kept only for connecting; it is never part of a message.
class PelluxHandler : public QObject
{
    Q_OBJECT

public:
    // Connection texts, in the order setParam takes them.
    enum Param { Driver, HostName, DatabaseName, UserName, Password, ParamCount };

    static constexpr int kDefaultPeriodMs = 60000;
    static constexpr int kFirstPollDelayMs = 100;  // the first poll comes at once
    static constexpr int kMsPerMinute = 60000;
    static constexpr int kConnectTimeoutSeconds = 5;
    static constexpr int kReadTimeoutSeconds = 10;   // also for writes
    // The longest one poll can take, ms (connect, then one query's reads).
    static constexpr int kLongestPollMs = (kConnectTimeoutSeconds + 2 * kReadTimeoutSeconds) * 1000;

    static const QString kStationQuery;

    explicit PelluxHandler(QObject *parent = nullptr);
    ~PelluxHandler() override;

    // The host text may name a port ("host:3307"); without one the driver's
    // default port is used.
    static void splitHostPort(const QString &text, QString *host, int *port);

public slots:
    // Takes the five connection texts (driver, host, database, user, password).
    void setParam(QStringList param);
    // Polls now and then every `period` minutes, counted from the end of one
    // poll to the start of the next (0: without pause).
    void pollingStart(short period);
    void pollingStop();

signals:
    void pollingStarted();
    void pollingStopped();
    void errorOccured(QString message);
    void itemsBegun();
    // One row: station type (-1 when not a number), IPv4 address with the
    // first byte of its text in the least significant byte (0 when not a
    // number), station name.
    void itemDone(int type, uint address, QString comment);
    void itemsEnded();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    // One poll: connect, query, emit the rows; the error text, empty on success.
    QString poll();
    QString queryStations(class QSqlDatabase &database);
    // The message with the password (when one is set) replaced.
    QString withoutPassword(const QString &message) const;
    void startTimerOrStop(int ms);

    QStringList params;
    int periodMs = kDefaultPeriodMs;
    int timerId = 0;
    QString connectionName;
};
