#include "server/core/downloaders/listlineparser.h"

#include <QFile>
#include <QtTest>

namespace {

// A fixed "now" for the year rules: 7 December 2026, 21:20 local time.
const QDateTime kNow(QDate(2026, 12, 7), QTime(21, 20));

QDateTime at(int year, int month, int day, int hour = 0, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

QStringList fixtureLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

} // namespace

class tst_ListLineParser : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void yearOfRecentFiles_data();
    void yearOfRecentFiles();
    void realServerListing_data();
    void realServerListing();
};

void tst_ListLineParser::lines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QDateTime>("date");

    QTest::newRow("year, zero-padded day") << "-rw-r--r-- 1 root root 123456 Jan 05 2015 REC0001.DAT" << 0
                                           << "REC0001.DAT" << qint64(123456) << at(2015, 1, 5);
    QTest::newRow("year, two blanks") << "-rw-r--r--   1 root     root            6 Jan 05  2024 old.txt" << 0
                                      << "old.txt" << qint64(6) << at(2024, 1, 5);
    QTest::newRow("ls form, blank-padded day") << "-rw-r--r-- 1 root root 6 Jan  5  2024 old.txt" << 0 << "old.txt"
                                               << qint64(6) << at(2024, 1, 5);
    QTest::newRow("numeric owner") << "-rw-r--r--    1 0        0         1048576 Dec 07  2024 today.bin" << 0
                                   << "today.bin" << qint64(1048576) << at(2024, 12, 7);
    QTest::newRow("name with blanks") << "-rw-r--r-- 1 u g 1 Dec 07 21:20 name with  space.txt" << 0
                                      << "name with  space.txt" << qint64(1) << at(2026, 12, 7, 21, 20);
    QTest::newRow("lower-case month") << "-rw-r--r-- 1 u g 5 jan 05 2015 a" << 0 << "a" << qint64(5) << at(2015, 1, 5);
    QTest::newRow("size beyond 32 bits") << "-rw-r--r-- 1 u g 6000000000 Jan 05 2015 big" << 0 << "big"
                                         << qint64(6000000000LL) << at(2015, 1, 5);
    QTest::newRow("directory") << "drwxr-xr-x 2 root root 4096 Dec 07 21:20 subdir" << 1 << QString() << qint64(0)
                               << QDateTime();
    QTest::newRow("link") << "lrwxrwxrwx 1 root root 7 Dec  7 21:19 link -> old.txt" << 1 << QString() << qint64(0)
                          << QDateTime();
    QTest::newRow("unreadable date") << "-rw-r--r-- 1 u g 5 Foo 99 1234 a" << 2 << "a" << qint64(5) << QDateTime();
    QTest::newRow("ISO date") << "-rw-r--r-- 1 u g 5 2024-01-05 10:00 x a" << 2 << "a" << qint64(5) << QDateTime();
    QTest::newRow("total line") << "total 1036" << -1 << QString() << qint64(0) << QDateTime();
    QTest::newRow("empty line") << "" << -1 << QString() << qint64(0) << QDateTime();
    QTest::newRow("ACL mark") << "-rw-r--r--+ 1 u g 5 Jan 05 2015 a" << -1 << QString() << qint64(0) << QDateTime();
    QTest::newRow("device listing without owner")
        << "-rw-r--r-- 1 5 Jan 05 2015" << -1 << QString() << qint64(0) << QDateTime();
    QTest::newRow("socket type") << "srwxr-xr-x 1 u g 0 Jan 05 2015 sock" << -1 << QString() << qint64(0)
                                 << QDateTime();
}

void tst_ListLineParser::lines()
{
    QFETCH(QString, line);
    QFETCH(int, result);
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QFETCH(QDateTime, date);

    QString parsedName;
    qint64 parsedSize = -1;
    QDateTime parsedDate;
    QCOMPARE(parseListLine(line, &parsedName, &parsedSize, &parsedDate, kNow), result);
    if (result == 0 || result == 2) {
        QCOMPARE(parsedName, name);
        QCOMPARE(parsedSize, size);
    }
    if (result == 0)
        QCOMPARE(parsedDate, date);
}

// Listings show the time instead of the year for files of the last six
// months; such a date lies in the current year unless that would put it
// more than one day after now.
void tst_ListLineParser::yearOfRecentFiles_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("dateText");
    QTest::addColumn<QDateTime>("expected");

    QTest::newRow("earlier this year") << kNow << "Nov 28 08:05" << at(2026, 11, 28, 8, 5);
    QTest::newRow("today") << kNow << "Dec 07 21:19" << at(2026, 12, 7, 21, 19);
    QTest::newRow("blank-padded day") << kNow << "Dec  7 09:00" << at(2026, 12, 7, 9, 0);
    QTest::newRow("device clock a day ahead") << kNow << "Dec 08 21:20" << at(2026, 12, 8, 21, 20);
    QTest::newRow("more than a day ahead: last year") << kNow << "Dec 08 21:21" << at(2025, 12, 8, 21, 21);
    QTest::newRow("new year: December is last year")
        << at(2027, 1, 2, 10, 0) << "Dec 30 23:59" << at(2026, 12, 30, 23, 59);
    QTest::newRow("leap day in a leap year") << at(2028, 3, 1, 12, 0) << "Feb 29 10:00" << at(2028, 2, 29, 10, 0);
    QTest::newRow("leap day seen the year after") << at(2029, 1, 10) << "Feb 29 10:00" << at(2028, 2, 29, 10, 0);
    QTest::newRow("leap day in no year near now") << at(2027, 3, 1) << "Feb 29 10:00" << QDateTime();
}

void tst_ListLineParser::yearOfRecentFiles()
{
    QFETCH(QDateTime, now);
    QFETCH(QString, dateText);
    QFETCH(QDateTime, expected);

    QString name;
    qint64 size = 0;
    QDateTime date;
    const int result = parseListLine(QStringLiteral("-rw-r--r-- 1 u g 10 %1 REC.DAT").arg(dateText), &name, &size, &date, now);
    QCOMPARE(result, expected.isValid() ? 0 : 2);
    if (expected.isValid())
        QCOMPARE(date, expected);
}

void tst_ListLineParser::realServerListing_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::newRow("pyftpdlib LIST") << QFINDTESTDATA("data/listing_pyftpdlib.txt");
    QTest::newRow("ls -l") << QFINDTESTDATA("data/listing_ls.txt");
}

// The same folder listed by an FTP server and by ls -l reads the same.
void tst_ListLineParser::realServerListing()
{
    QFETCH(QString, fixture);
    QMap<QString, QPair<qint64, QDateTime>> files;
    int notFiles = 0;
    for (const QString &line : fixtureLines(fixture)) {
        QString name;
        qint64 size = 0;
        QDateTime date;
        const int result = parseListLine(line, &name, &size, &date, kNow);
        if (result == 0)
            files.insert(name, {size, date});
        else if (result == 1)
            ++notFiles;
    }
    QCOMPARE(files.keys(), QStringList({"REC0001.DAT", "name with space.txt", "old.txt"}));
    QCOMPARE(files.value("REC0001.DAT"), qMakePair(qint64(1048576), at(2026, 11, 28, 8, 5)));
    QCOMPARE(files.value("old.txt"), qMakePair(qint64(6), at(2024, 1, 5)));
    QCOMPARE(files.value("name with space.txt").second.date(), QDate(2026, 12, 7));
    QVERIFY(notFiles >= 1);
}

QTEST_APPLESS_MAIN(tst_ListLineParser)
#include "tst_listlineparser.moc"
