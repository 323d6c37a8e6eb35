#include "fuzzsupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace FuzzSupport {

namespace {

void dropMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg)
        fprintf(stderr, "Qt fatal: %s\n", qPrintable(message));
}

} // namespace

void init()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    qInstallMessageHandler(dropMessage);
    // QCoreApplication keeps references to argc and argv for its lifetime.
    static int argc = 1;
    static char name[] = "velmora-fuzz";
    static char *argv[] = {name, nullptr};
    // Targets run one input after another on the same application, which
    // is never destroyed: at exit Qt's own global objects are gone before
    // static destructors would run, and ~QCoreApplication would crash.
    // It stays reachable through QCoreApplication::instance(), so leak
    // checks do not count it.
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

QString scratchDir()
{
    static const std::unique_ptr<QTemporaryDir> dir(new QTemporaryDir);
    FUZZ_CHECK(dir->isValid());
    return dir->path();
}

QString writeScratchFile(const QString &name, const QByteArray &bytes)
{
    const QString path = scratchDir() + QLatin1Char('/') + name;
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
    return path;
}

void fail(const char *condition, const char *file, int line)
{
    fprintf(stderr, "FUZZ_CHECK failed: %s (%s:%d)\n", condition, file, line);
    fflush(stderr);
    abort();
}

quint8 InputReader::byte()
{
    return m_at < m_size ? m_data[m_at++] : 0;
}

quint16 InputReader::number16()
{
    const quint16 high = byte();
    return quint16(high << 8 | byte());
}

quint32 InputReader::number32()
{
    const quint32 high = number16();
    return high << 16 | number16();
}

QByteArray InputReader::bytes(size_t count)
{
    const size_t n = count < remaining() ? count : remaining();
    QByteArray result(reinterpret_cast<const char *>(m_data + m_at), int(n));
    m_at += n;
    return result;
}

QByteArray InputReader::rest()
{
    return bytes(remaining());
}

} // namespace FuzzSupport
