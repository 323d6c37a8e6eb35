#include "cli/listingreport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

namespace {
const QDateTime kNow(QDate(2026, 12, 7), QTime(21, 20));
}

class tst_ListingReport : public QObject
{
    Q_OBJECT

private slots:
    void sorting_data();
    void sorting();
    void json();
    void text();
};

void tst_ListingReport::sorting_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("entry");
    QTest::addColumn<bool>("unparsed");
    QTest::newRow("file") << "-rw-r--r-- 1 u g 10 Jan 05  2015 A.DAT" << true << false;
    QTest::newRow("file with unreadable date") << "-rw-r--r-- 1 u g 10 Foo 05 2015 A.DAT" << false << true;
    QTest::newRow("directory") << "drwxr-xr-x 2 u g 4096 Jan 05  2015 dir" << false << true;
    QTest::newRow("total") << "total 12" << false << true;
    QTest::newRow("empty line after the last line end") << "" << false << false;
    QTest::newRow("blank line") << "   " << false << false;
}

void tst_ListingReport::sorting()
{
    QFETCH(QString, line);
    QFETCH(bool, entry);
    QFETCH(bool, unparsed);
    const ListingReport report = ListingReport::fromLines({line}, kNow);
    QCOMPARE(report.entries().size(), entry ? 1 : 0);
    QCOMPARE(report.unparsed().size(), unparsed ? 1 : 0);
}

void tst_ListingReport::json()
{
    const ListingReport report = ListingReport::fromLines(
        {"-rw-r--r-- 1 u g 6000000000 Nov 28 08:05 big one.DAT", "total 1", ""}, kNow);
    const QJsonObject object = report.toJson();
    QCOMPARE(object.keys(), QStringList({"entries", "unparsed"}));
    const QJsonArray entries = object.value("entries").toArray();
    QCOMPARE(entries.size(), 1);
    const QJsonObject entry = entries.first().toObject();
    QCOMPARE(entry.value("name").toString(), QStringLiteral("big one.DAT"));
    QCOMPARE(qint64(entry.value("size").toDouble()), 6000000000LL);
    QCOMPARE(entry.value("date").toString(), QStringLiteral("2026-11-28T08:05:00"));
    QCOMPARE(object.value("unparsed").toArray(), QJsonArray({"total 1"}));
}

void tst_ListingReport::text()
{
    // A device's terminal escapes are shown, never sent to the terminal.
    const ListingReport report = ListingReport::fromLines(
        {"-rw-r--r-- 1 u g 7 Jan 05  2015 A\x1b[2J.DAT", "odd\x07\x7f\u0085"}, kNow);
    const QStringList lines = report.toText().split('\n');
    QCOMPARE(lines.at(0).simplified(), QStringLiteral("2015-01-05T00:00:00 7 A\\x1b[2J.DAT"));
    QCOMPARE(lines.at(1), QStringLiteral("unparsed lines:"));
    QCOMPARE(lines.at(2).trimmed(), QStringLiteral("odd\\x07\\x7f\\x85"));
}

QTEST_APPLESS_MAIN(tst_ListingReport)
#include "tst_listingreport.moc"
