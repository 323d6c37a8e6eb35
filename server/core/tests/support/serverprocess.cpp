#include "serverprocess.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

namespace {

constexpr int kScriptTimeoutMs = 30000;

// Runs a start script with bash; its stdout, or an empty array on failure.
QByteArray runScript(const QStringList &arguments, const QProcessEnvironment &environment, QString *error)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("/bin/bash"), arguments);
    if (!process.waitForFinished(kScriptTimeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        *error = QString::fromLocal8Bit(process.readAllStandardError());
        return QByteArray();
    }
    return process.readAllStandardOutput();
}

} // namespace

const QString ServerProcess::kMysqlDatabase = QStringLiteral("pelluxbd");
const QString ServerProcess::kMysqlUser = QStringLiteral("collector");
const QString ServerProcess::kMysqlPassword = QStringLiteral("Secret-pw-4711");

ServerProcess::ServerProcess(Kind kind)
    : m_kind(kind)
{
}

ServerProcess::~ServerProcess()
{
    stop();
}

QString ServerProcess::script() const
{
    const char *name = m_kind == Ftp || m_kind == Vsftpd ? "start_ftp.sh" : m_kind == Tftp ? "start_tftp.sh"
                     : m_kind == Mysql ? "start_mysql.sh" : "start_xvfb.sh";
    return QStringLiteral(TESTSUPPORT_SCRIPTS "/") + QLatin1String(name);
}

bool ServerProcess::available(Kind kind, QString *why)
{
    if (kind == Xvfb || kind == XvfbWithTray) {
        for (const QString &program : {QStringLiteral("Xvfb"), QStringLiteral("xwininfo"), QStringLiteral("trayer")}) {
            if (program == QLatin1String("trayer") && kind == Xvfb)
                continue;
            if (QStandardPaths::findExecutable(program).isEmpty()) {
                *why = QStringLiteral("%1 is missing (Debian packages xvfb, x11-utils, trayer)").arg(program);
                return false;
            }
        }
        return true;
    }
    if (kind == Mysql) {
        for (const QString &program : {QStringLiteral("mariadbd"), QStringLiteral("mariadb-install-db")}) {
            if (QStandardPaths::findExecutable(program, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")}).isEmpty()) {
                *why = QStringLiteral("%1 is missing (Debian package mariadb-server)").arg(program);
                return false;
            }
        }
        return true;
    }
    if (kind == Ftp || kind == Vsftpd) {
        if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3"))) {
            *why = QStringLiteral("/usr/bin/python3 is missing (Debian package python3-pyftpdlib)");
            return false;
        }
        if (kind == Vsftpd && QStandardPaths::findExecutable(QStringLiteral("vsftpd"), {QStringLiteral("/usr/sbin")}).isEmpty()) {
            *why = QStringLiteral("vsftpd is missing (Debian package vsftpd)");
            return false;
        }
        return true;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("in.tftpd"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")}).isEmpty()) {
        *why = QStringLiteral("in.tftpd is missing (Debian package tftpd-hpa)");
        return false;
    }
    if (geteuid() != 0) {
        *why = QStringLiteral("tftpd-hpa serves a folder through chroot, which needs root");
        return false;
    }
    return true;
}

bool ServerProcess::start(const QString &root, const QProcessEnvironment &extra)
{
    stop();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (m_kind == Ftp || m_kind == Vsftpd)
        environment.insert(QStringLiteral("FTPD_ROOT"), root);
    if (m_kind == Vsftpd) {
        environment.insert(QStringLiteral("FTPD_IMPL"), QStringLiteral("vsftpd"));
        // vsftpd reads as the user "ftp": a private temporary folder is opened to it.
        QFile::setPermissions(root, QFile::permissions(root) | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                        | QFile::ExeOther);
    }
    if (m_kind == Tftp)
        environment.insert(QStringLiteral("TFTPD_ROOT"), root);
    else if (m_kind == Mysql) {
        environment.insert(QStringLiteral("MYSQLD_PASSWORD"), kMysqlPassword);
        if (m_port)
            environment.insert(QStringLiteral("MYSQLD_PORT"), QString::number(m_port));
    } else if (m_kind == XvfbWithTray)
        environment.insert(QStringLiteral("XVFB_TRAY"), QStringLiteral("1"));
    environment.insert(QStringLiteral("WATCH_PID"), QString::number(QCoreApplication::applicationPid()));
    environment.insert(extra);
    const QString daemonDir = m_kind == Mysql ? root : m_dir.filePath(QStringLiteral("daemon"));
    if (m_kind == Mysql)
        m_daemonDir = root;
    const QByteArray out = runScript({script(), daemonDir}, environment, &m_error);
    if (m_kind == Xvfb || m_kind == XvfbWithTray) {
        const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("DISPLAY=(:\\d+)")).match(QString::fromLocal8Bit(out));
        if (!match.hasMatch()) {
            if (m_error.isEmpty())
                m_error = QStringLiteral("no display in the start script's output: ") + QString::fromLocal8Bit(out);
            return false;
        }
        m_display = match.captured(1);
        m_running = true;
        return true;
    }
    const bool ftp = m_kind == Ftp || m_kind == Vsftpd;
    const QRegularExpression portPattern(ftp ? QStringLiteral("FTP_PORT=(\\d+)")
                                         : m_kind == Mysql ? QStringLiteral("DB_PORT=(\\d+)")
                                                           : QStringLiteral("TFTP_PORT=(\\d+)"));
    const QRegularExpressionMatch match = portPattern.match(QString::fromLocal8Bit(out));
    if (!match.hasMatch()) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("no port in the start script's output: ") + QString::fromLocal8Bit(out);
        return false;
    }
    m_port = quint16(match.captured(1).toUInt());
    m_running = true;
    return true;
}

bool ServerProcess::stop()
{
    if (!m_running)
        return true;
    QString error;
    runScript({script(), QStringLiteral("stop"), m_kind == Mysql ? m_daemonDir : m_dir.filePath(QStringLiteral("daemon"))},
              QProcessEnvironment::systemEnvironment(), &error);
    m_running = false;
    return error.isEmpty();
}

bool ServerProcess::runSql(const QString &sql)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"MYSQL_HOST", "MYSQL_TCP_PORT", "MYSQL_UNIX_PORT", "MYSQL_PWD"})
        environment.remove(QLatin1String(name));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("mariadb"), {QStringLiteral("--no-defaults"), QStringLiteral("--protocol=socket"),
                                              QStringLiteral("--socket=") + m_daemonDir + QStringLiteral("/mysql.sock"),
                                              QStringLiteral("-uroot"), kMysqlDatabase});
    process.write(sql.toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(kScriptTimeoutMs) || process.exitCode() != 0) {
        m_error = QString::fromLocal8Bit(process.readAllStandardError());
        return false;
    }
    return true;
}

QString ServerProcess::url(const QString &path) const
{
    const bool ftp = m_kind == Ftp || m_kind == Vsftpd;
    return QStringLiteral("%1://127.0.0.1:%2%3").arg(ftp ? QStringLiteral("ftp") : QStringLiteral("tftp")).arg(m_port).arg(path);
}

QString ServerProcess::logPath() const
{
    const char *name = m_kind == Ftp || m_kind == Vsftpd ? "ftpd.log" : m_kind == Tftp ? "tftpd.log" : "xvfb.log";
    return m_dir.filePath(QStringLiteral("daemon/") + QLatin1String(name));
}
