#include "server/core/downloaders/downloaderoptions.h"

#include <QtTest>

using Options = QList<DownloaderOption>;
Q_DECLARE_METATYPE(Options)

class tst_DownloaderOptions : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void tst_DownloaderOptions::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Options>("expected");

    QTest::newRow("empty") << "" << Options();
    QTest::newRow("codec in quotes and a plain word")
        << "codec=\"KOI8-R\" mode=fast" << Options{{"codec", "KOI8-R"}, {"mode", "fast"}};
    QTest::newRow("dialog default") << "codec=\"Windows-1251\"" << Options{{"codec", "Windows-1251"}};
    QTest::newRow("tftp numbers") << "blksize=1500 retransmit_count=5 retransmit_interval=200"
                                  << Options{{"blksize", "1500"}, {"retransmit_count", "5"}, {"retransmit_interval", "200"}};
    QTest::newRow("quoted value with blanks and punctuation")
        << "path=\"C:\\rec files/day 1\" x=1" << Options{{"path", "C:\\rec files/day 1"}, {"x", "1"}};
    QTest::newRow("blanks around pairs") << "   a=1    b=2   " << Options{{"a", "1"}, {"b", "2"}};
    QTest::newRow("no blank between pairs") << "a=\"1\"b=2" << Options{{"a", "1"}, {"b", "2"}};
    QTest::newRow("name must not start with a digit") << "1a=2" << Options{{"a", "2"}};
    QTest::newRow("blank before the value") << "a= 1" << Options();
    QTest::newRow("unclosed quote") << "codec=\"KOI8-R" << Options();
    QTest::newRow("Cyrillic value is no word") << "name=Пульт next=ok" << Options{{"next", "ok"}};
    QTest::newRow("case kept") << "Codec=utf8" << Options{{"Codec", "utf8"}};
}

void tst_DownloaderOptions::parse()
{
    QFETCH(QString, text);
    QFETCH(Options, expected);
    QCOMPARE(parseDownloaderOptions(text), expected);
}

QTEST_APPLESS_MAIN(tst_DownloaderOptions)
#include "tst_downloaderoptions.moc"
