#include "testsupport/testfiles.h"
#include "server/core/downloaders/downloader.h"
#include "server/core/log/loghandler.h"
#include "server/core/tests/support/recordingdownloader.h"
#include "server/core/log/logwiring.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Entry
{
    QDateTime when;
    QString level;
    QString message;
};

} // namespace

Q_DECLARE_METATYPE(QList<Entry>)

class tst_LogHandler : public QObject
{
    Q_OBJECT

private slots:
    void entries_data();
    void entries();
    void downloaderEventsUnderTheirNames();
    void failuresAreToldOnStandardError_data();
    void failuresAreToldOnStandardError();
    void newFileEveryDayAndOldOnesRemoved();
};

void tst_LogHandler::entries_data()
{
    QTest::addColumn<QList<Entry>>("entries");
    QTest::addColumn<QString>("text");
    const QDateTime t(QDate(2020, 3, 3), QTime(14, 5, 9, 250));
    QTest::newRow("first entry gets a header")
        << QList<Entry>{{t, "Info MainWindow", "Open file /a.xml"}}
        << "2020.03.03 14:05\n\t09.250 - Info MainWindow: Open file /a.xml\n";
    QTest::newRow("same minute shares the header")
        << QList<Entry>{{t, "Info", "one"}, {t.addSecs(40), "Error X", "two"}}
        << "2020.03.03 14:05\n\t09.250 - Info: one\n\t49.250 - Error X: two\n";
    QTest::newRow("next minute gets its own")
        << QList<Entry>{{t, "Info", "one"}, {t.addSecs(60), "Info", "two"}}
        << "2020.03.03 14:05\n\t09.250 - Info: one\n2020.03.03 14:06\n\t09.250 - Info: two\n";
    QTest::newRow("same minute of the next day")
        << QList<Entry>{{t, "Info", "one"}, {t.addDays(1), "Info", "two"}}
        << "2020.03.03 14:05\n\t09.250 - Info: one\n2020.03.04 14:05\n\t09.250 - Info: two\n";
    QTest::newRow("placeholders stay as they are")
        << QList<Entry>{{t, "Info %1", "Set param to %1: %2"}}
        << "2020.03.03 14:05\n\t09.250 - Info %1: Set param to %1: %2\n";
    QTest::newRow("a device's line ends never make entries")
        << QList<Entry>{{t, "Error FtpDownloader_1", "550 No such file.\r\n"},
                        {t, "Error FtpDownloader_1", "x\r\n\t09.250 - Info MainWindow: forged"}}
        << "2020.03.03 14:05\n\t09.250 - Error FtpDownloader_1: 550 No such file.\n"
           "\t09.250 - Error FtpDownloader_1: x  \t09.250 - Info MainWindow: forged\n";
    QTest::newRow("terminal escapes are shown, not sent")
        << QList<Entry>{{t, "Warning X", QString::fromUtf8("Станция \x1b[31mred\x1b[0m\x07\x7f\xc2\x85 end")}}
        << QString::fromUtf8("2020.03.03 14:05\n\t09.250 - Warning X: Станция \\x1b[31mred\\x1b[0m\\x07\\x7f\\x85 end\n");
}

void tst_LogHandler::entries()
{
    QFETCH(QList<Entry>, entries);
    QFETCH(QString, text);
    QTemporaryDir dir;
    LogHandler log(dir.path() + '/');
    QString written;
    for (const Entry &entry : entries)
        written += log.formatLine(entry.when, entry.level, entry.message);
    QCOMPARE(written, text);
}

// A run's log file is named by its start, and every downloader report and
// every main-window message lands there under the sender's name.
void tst_LogHandler::downloaderEventsUnderTheirNames()
{
    QTemporaryDir dir;
    auto log = std::make_unique<LogHandler>(dir.path() + '/');
    QVERIFY(QRegularExpression("/\\d{8}_\\d{9}\\.log$").match(log->filePath()).hasMatch());

    RecordingDownloader downloader;
    downloader.setObjectName("TftpDownloader_7");
    wireDownloaderLog(&downloader, log.get());
    QObject window;
    window.setObjectName("MainWindow");
    connect(&window, &QObject::objectNameChanged, log.get(), &LogHandler::commonWarningSend, Qt::QueuedConnection);

    emit downloader.started();
    emit downloader.getFileListStarted();
    emit downloader.getFileListDone({"-rw-r--r-- 1 root root 10 Jan 05 2015 A.DAT"});
    emit downloader.getFileStarted("REC 1.DAT");
    emit downloader.errorOccured("timeout");
    emit downloader.getFileDone();
    emit downloader.aborted();
    emit downloader.stopped();
    window.setObjectName("MainWindow");  // unchanged: nothing sent
    window.setObjectName("Renamed");
    QCoreApplication::processEvents();
    log->pelluxErrorOccur("Access denied");
    const QString path = log->filePath();
    log.reset();

    QStringList entries;
    for (const QString &line : QString::fromLocal8Bit(readFile(path)).split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith('\t'))
            entries << line.section(" - ", 1);
        else
            QVERIFY2(QRegularExpression("^\\d{4}\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d$").match(line).hasMatch(), qPrintable(line));
    }
    QCOMPARE(entries, QStringList({"Info TftpDownloader_7: Start", "Info TftpDownloader_7: Get file list start",
                                   "Info TftpDownloader_7: Get file list do",
                                   "Info TftpDownloader_7: Get file start REC 1.DAT",
                                   "Error TftpDownloader_7: timeout", "Info TftpDownloader_7: Get file do",
                                   "Info TftpDownloader_7: Abort", "Info TftpDownloader_7: Stop",
                                   "Warning Renamed: Renamed", "Error Pellux: Access denied"}));
}

void tst_LogHandler::failuresAreToldOnStandardError_data()
{
    QTest::addColumn<QString>("target"); // a log folder, or a device file opened for writing
    QTest::addColumn<QString>("told");

    QTest::newRow("folder missing") << "/nonexistent-folder/deeper/" << "cannot be created";
    QTest::newRow("device full") << "/dev/full" << "cannot be written";
}

// A log that loses its entries says so on standard error, once for a run of
// failed writes, and the program goes on.
void tst_LogHandler::failuresAreToldOnStandardError()
{
    QFETCH(QString, target);
    QFETCH(QString, told);

    StandardErrorCapture standardError;
    std::unique_ptr<LogHandler> log;
    if (target.endsWith('/')) {
        log = std::make_unique<LogHandler>(target);
        QVERIFY(standardError.text().contains(log->filePath()));
    } else {
        auto device = std::make_unique<QFile>(target);
        QVERIFY(device->open(QIODevice::WriteOnly));
        log = std::make_unique<LogHandler>(std::move(device));
    }
    log->writeLine("Info", "lost");
    log->writeLine("Info", "lost again");
    QVERIFY(!QFile::exists(log->filePath()));
    const QString text = standardError.text();
    QCOMPARE(text.count(told), 1);
    QVERIFY2(text.count('\n') == 1, qPrintable(text));
}

// A new file begins at local midnight, named by it; with a number of days
// to keep, older logs of the folder go (other files stay).
void tst_LogHandler::newFileEveryDayAndOldOnesRemoved()
{
    QTemporaryDir folder;
    const QDate today = QDate::currentDate();
    const QString tooOld = LogHandler::fileNameFor(QDateTime(today.addDays(-4), QTime(9, 0)));
    const QString kept = LogHandler::fileNameFor(QDateTime(today.addDays(-3), QTime(0, 0)));
    for (const QString &name : {tooOld, kept, QStringLiteral("notes.log")})
        QVERIFY(writeFile(folder.filePath(name), "old"));
    LogHandler log(folder.path() + '/');
    const QString first = log.filePath();
    log.setKeepDays(3);
    QCOMPARE(QDir(folder.path()).entryList({"*.log"}, QDir::Files, QDir::Name),
             QStringList({kept, QFileInfo(first).fileName(), "notes.log"}));

    log.writeLineAt(QDateTime(today, QTime(23, 59, 59)), "Info", "before midnight");
    const QDateTime midnight(today.addDays(1), QTime(0, 0));
    log.writeLineAt(midnight.addSecs(5), "Info", "after midnight");
    QCOMPARE(log.filePath(), folder.filePath(LogHandler::fileNameFor(midnight)));
    QVERIFY(readFile(first).contains("before midnight"));
    QVERIFY(!readFile(first).contains("after midnight"));
    const QByteArray next = readFile(log.filePath());
    QVERIFY2(next.startsWith(midnight.toString("yyyy.MM.dd hh:mm").toLatin1() + "\n"), next.constData());
    QVERIFY(next.contains("after midnight"));
    // Tomorrow the log of four days ago is past the limit.
    QVERIFY(!QFile::exists(folder.filePath(kept)));
    QVERIFY(QFile::exists(folder.filePath("notes.log")));
}

QTEST_GUILESS_MAIN(tst_LogHandler)
#include "tst_loghandler.moc"
