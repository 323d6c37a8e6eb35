#pragma once

#include "testsupport/testfiles.h"

#include <QProcessEnvironment>
#include <QString>

// A real FTP (pyftpdlib or vsftpd), TFTP (tftpd-hpa) or MariaDB server on 127.0.0.1
// (the database "pelluxbd" with the user "collector", password
// kMysqlPassword, on a private data folder and port), or an X
// display (Xvfb, with trayer as system tray host when asked), started by the
// start scripts beside this file and stopped by its recorded PID.
// The daemon also stops when the test process that started it has gone.
// Owned by the test; the destructor stops a running server.
class ServerProcess
{
public:
    enum Kind { Ftp, Vsftpd, Tftp, Xvfb, XvfbWithTray, Mysql };
    static const QString kMysqlDatabase; // "pelluxbd"
    static const QString kMysqlUser;     // "collector"
    static const QString kMysqlPassword;

    explicit ServerProcess(Kind kind);
    ~ServerProcess();
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;

    // Serves root (created when missing; unused by a display; a database
    // keeps its data folder there, so a second start on it is a restart). extra:
    // further script inputs, e.g. FTPD_PASSWORD. False with error() set when
    // it did not come up.
    bool start(const QString &root, const QProcessEnvironment &extra = QProcessEnvironment());
    // Stops the daemon and its forked children; true when none is left.
    bool stop();

    bool isRunning() const { return m_running; }
    quint16 port() const { return m_port; }
    // The daemon's log file (pyftpdlib logs every transfer with its byte count).
    QString logPath() const;
    // The display of an Xvfb server (":N").
    QString display() const { return m_display; }
    QString error() const { return m_error; }
    // Runs SQL as the database's root user on its socket; false with error() set.
    bool runSql(const QString &sql);
    // A URL of this server ("ftp://127.0.0.1:PORT/" or "tftp://...").
    QString url(const QString &path = QStringLiteral("/")) const;

    // True when this machine can run the server kind (programs present;
    // tftpd-hpa needs root for its chroot).
    static bool available(Kind kind, QString *why);

private:
    QString script() const;

    Kind m_kind;
    TempDir m_dir;           // pidfile, log, env of the daemon
    quint16 m_port = 0;
    QString m_display;
    QString m_daemonDir;   // a database's folder (data, socket, pidfile)
    bool m_running = false;
    QString m_error;
};
