#include "recording/datetimetext.h"

#include <QtTest>

class tst_DateTimeText : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void tst_DateTimeText::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");

    const QDateTime march5(QDate(2013, 3, 5), QTime(14, 22, 7, 250), Qt::UTC);
    QTest::newRow("two-digit year, fraction") << "05.03.13 14:22:07.250" << march5;
    QTest::newRow("four-digit year") << "05.03.2013 14:22:07.250" << march5;
    QTest::newRow("zone suffix ignored") << "05.03.2013 14:22:07.250 UTC+3:00" << march5;
    QTest::newRow("extra blanks") << "  05.03.2013    14:22:07.250  " << march5;
    QTest::newRow("date only") << "05.03.2013" << QDateTime(QDate(2013, 3, 5), QTime(0, 0), Qt::UTC);
    QTest::newRow("empty") << "" << QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
    QTest::newRow("day only") << "17" << QDateTime(QDate(2000, 1, 17), QTime(0, 0), Qt::UTC);
    QTest::newRow("year 07") << "1.2.07" << QDateTime(QDate(2007, 2, 1), QTime(0, 0), Qt::UTC);
    QTest::newRow("year 100 stays") << "1.2.100" << QDateTime(QDate(100, 2, 1), QTime(0, 0), Qt::UTC);
    QTest::newRow("hour only") << "1.1.2020 7" << QDateTime(QDate(2020, 1, 1), QTime(7, 0), Qt::UTC);
    QTest::newRow("seconds truncated to ms") << "1.1.2020 0:0:1.9999"
                                             << QDateTime(QDate(2020, 1, 1), QTime(0, 0, 1, 999), Qt::UTC);
    QTest::newRow("seconds roll over") << "1.1.2020 23:59:61" << QDateTime(QDate(2020, 1, 2), QTime(0, 0, 1), Qt::UTC);
    QTest::newRow("day 0 invalid") << "0.1.2020" << QDateTime();
    QTest::newRow("letters invalid") << "ab.cd.2020" << QDateTime();
    QTest::newRow("empty month part") << "5..2020" << QDateTime();
    QTest::newRow("bad hour") << "1.1.2020 25:00" << QDateTime();
    QTest::newRow("infinite seconds") << "1.1.2020 1:00:inf" << QDateTime();
    QTest::newRow("huge seconds") << "1.1.2020 1:00:1e300" << QDateTime();
}

void tst_DateTimeText::parse()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const QDateTime got = parseDateTime(text);
    QCOMPARE(got.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(got, expected);
        QCOMPARE(got.timeSpec(), Qt::UTC);
    }
}

QTEST_APPLESS_MAIN(tst_DateTimeText)
#include "tst_datetimetext.moc"
