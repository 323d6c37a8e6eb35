#include "server/core/downloaders/downloader.h"

#include <QtTest>

class tst_Downloader : public QObject
{
    Q_OBJECT

private slots:
    void safeFileNames_data();
    void safeFileNames();
};

void tst_Downloader::safeFileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << "REC0001.DAT" << true;
    QTest::newRow("blanks and Cyrillic") << "Запись 1.dat" << true;
    QTest::newRow("leading dots") << "..hidden" << true;
    QTest::newRow("three dots") << "..." << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dot") << "." << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("parent path") << "../x.DAT" << false;
    QTest::newRow("absolute") << "/etc/passwd" << false;
    QTest::newRow("sub folder") << "a/b" << false;
    QTest::newRow("trailing slash") << "a/" << false;
    QTest::newRow("backslash") << "..\\x" << false;
    QTest::newRow("carriage return") << "a\rb" << false;
    QTest::newRow("line feed") << "a\nRETR b" << false;
    QTest::newRow("NUL") << QString::fromLatin1("a\0b", 3) << false;
}

void tst_Downloader::safeFileNames()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(Downloader::isSafeFileName(name), safe);
}

QTEST_APPLESS_MAIN(tst_Downloader)
#include "tst_downloader.moc"
