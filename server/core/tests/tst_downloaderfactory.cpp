#include "server/core/downloaders/downloaderfactory.h"
#include "server/core/downloaders/downloader.h"

#include <QtTest>

class tst_DownloaderFactory : public QObject
{
    Q_OBJECT

private slots:
    void classByScheme_data();
    void classByScheme();
    void serialNumberShared();
};

void tst_DownloaderFactory::classByScheme_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("className");

    QTest::newRow("ftp") << "ftp://192.168.0.10/" << "FtpDownloader";
    QTest::newRow("ftp with port and path") << "ftp://127.0.0.1:2121/rec/" << "FtpDownloader";
    QTest::newRow("tftp") << "tftp://192.168.0.10/" << "TftpDownloader";
    QTest::newRow("http") << "http://192.168.0.10/" << "";
    QTest::newRow("sftp") << "sftp://192.168.0.10/" << "";
    QTest::newRow("no scheme") << "192.168.0.10" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("dialog placeholder") << "ftp://<IP адрес устройства>/" << "";
}

void tst_DownloaderFactory::classByScheme()
{
    QFETCH(QString, url);
    QFETCH(QString, className);
    QObject owner;
    Downloader *downloader = createDownloader({url, QStringLiteral("/tmp/x"), QString()}, &owner);
    QCOMPARE(isSupportedDownloaderUrl(url), !className.isEmpty());
    if (className.isEmpty()) {
        QVERIFY(!downloader);
        return;
    }
    QVERIFY(downloader);
    QCOMPARE(QString::fromLatin1(downloader->metaObject()->className()), className);
    QCOMPARE(downloader->parent(), &owner);
    QVERIFY(downloader->objectName().startsWith(className + QLatin1Char('_')));
}

void tst_DownloaderFactory::serialNumberShared()
{
    QObject owner;
    Downloader *a = createDownloader({QStringLiteral("ftp://1.2.3.4/"), QString(), QString()}, &owner);
    Downloader *b = createDownloader({QStringLiteral("tftp://1.2.3.4/"), QString(), QString()}, &owner);
    Downloader *c = createDownloader({QStringLiteral("ftp://1.2.3.4/"), QString(), QString()}, &owner);
    const int n = a->objectName().section(QLatin1Char('_'), 1).toInt();
    QCOMPARE(b->objectName(), QStringLiteral("TftpDownloader_%1").arg(n + 1));
    QCOMPARE(c->objectName(), QStringLiteral("FtpDownloader_%1").arg(n + 2));
}

QTEST_GUILESS_MAIN(tst_DownloaderFactory)
#include "tst_downloaderfactory.moc"
