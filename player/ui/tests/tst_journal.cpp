// The bookmark journal and its play panel offscreen: the panel's captions,
// go-to offsets and edit hold; the journal's entries, sort order and
// follow highlight; its XML file written and read back exactly, untrusted
// files (damaged, truncated, huge, foreign), saves that fail (disk full,
// missing folder) without losing the previous file; the Save / Discard /
// Cancel answers of "Новый", "Открыть" and closing.
#include "player/ui/journal/logwidget.h"
#include "player/ui/panels/playcontrolwidget.h"
#include "testsupport/testfiles.h"

#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using namespace PlayerUi;

namespace {

const QDateTime kBase(QDate(2020, 12, 31), QTime(23, 59, 0), Qt::UTC);

QDateTime wall(const QString &text)
{
    QDateTime t = QDateTime::fromString(text, QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    return QDateTime(t.date(), t.time(), Qt::UTC);
}

QStringList listed(const LogWidget &journal)
{
    QStringList rows;
    const QTreeWidget *list = journal.entryList();
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        rows.append(list->topLevelItem(i)->text(0) + QLatin1Char('|') + list->topLevelItem(i)->text(1));
    return rows;
}

void addEntry(LogWidget &journal, const QString &when, const QString &comment)
{
    journal.entryEditor()->setDateTime(wall(when));
    journal.commentEditor()->setText(comment);
    journal.addPushButtonClick();
}

QMessageBox *warningOf(const QWidget &window)
{
    for (QMessageBox *box : window.findChildren<QMessageBox *>()) {
        if (box->isVisible() && box->icon() == QMessageBox::Warning)
            return box;
    }
    return nullptr;
}

// Limits the size of files this process writes, as a full disk would.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace

class tst_Journal : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void playPanelCaptions_data();
    void playPanelCaptions();
    void playPanelMoves_data();
    void playPanelMoves();
    void playPanelHoldsAnEdit();

    void entriesSortedAcrossYears();
    void roundTripsEveryComment();
    void untrustedFiles_data();
    void untrustedFiles();
    void failedSaveKeepsThePreviousFile_data();
    void failedSaveKeepsThePreviousFile();
    void incompleteFilesAreToldAndKept_data();
    void incompleteFilesAreToldAndKept();
    void changeAndRemove();
    void followsPlaybackUnlessFocused();
    void doubleClickSeeks();
    void answers_data();
    void answers();

private:
    std::unique_ptr<LogWidget> newJournal();
    TempDir m_dir;
    std::unique_ptr<LogWidget> m_journal;
};

void tst_Journal::cleanup()
{
    m_journal.reset();
}

std::unique_ptr<LogWidget> tst_Journal::newJournal()
{
    auto journal = std::make_unique<LogWidget>();
    journal->setBase(kBase);
    journal->show();
    return journal;
}

void tst_Journal::playPanelCaptions_data()
{
    QTest::addColumn<QStringList>("states"); // reported one after the other
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("played");          // signals a click then sends
    QTest::addColumn<int>("paused");

    QTest::newRow("at start") << QStringList{} << "Воспр." << 1 << 0;
    QTest::newRow("playing") << QStringList{"1"} << "Пауза" << 0 << 1;
    QTest::newRow("playing twice") << QStringList{"1", "1"} << "Пауза" << 0 << 1;
    QTest::newRow("paused again") << QStringList{"1", "0"} << "Воспр." << 1 << 0;
    QTest::newRow("state 2 leaves play") << QStringList{"2"} << "Воспр." << 1 << 0;
    QTest::newRow("state 2 leaves pause") << QStringList{"1", "2"} << "Пауза" << 0 << 1;
}

void tst_Journal::playPanelCaptions()
{
    QFETCH(QStringList, states);
    QFETCH(QString, caption);
    QFETCH(int, played);
    QFETCH(int, paused);

    PlayControlWidget panel;
    panel.setBase(kBase);
    for (const QString &state : states)
        panel.currentStateChange(1000, state.toInt());
    QCOMPARE(panel.playPauseButton()->text(), caption);
    QSignalSpy playedSpy(&panel, &PlayControlWidget::played);
    QSignalSpy pausedSpy(&panel, &PlayControlWidget::paused);
    QSignalSpy stoppedSpy(&panel, &PlayControlWidget::stopped);
    QTest::mouseClick(panel.playPauseButton(), Qt::LeftButton);
    QTest::mouseClick(panel.stopButton(), Qt::LeftButton);
    QCOMPARE(playedSpy.count(), played);
    QCOMPARE(pausedSpy.count(), paused);
    QCOMPARE(stoppedSpy.count(), 1);
    // The caption waits for the engine's report.
    QCOMPARE(panel.playPauseButton()->text(), caption);
    QCOMPARE(panel.editor()->dateTime(), kBase.addMSecs(1000 * qint64(!states.isEmpty())));
}

void tst_Journal::playPanelMoves_data()
{
    QTest::addColumn<qint64>("editorMs"); // editor - base
    QTest::addColumn<uint>("moved");

    QTest::newRow("ten seconds") << qint64(10000) << 10000u;
    QTest::newRow("the base itself") << qint64(0) << 0u;
    QTest::newRow("before the base") << qint64(-3600000) << 0u;
    QTest::newRow("50 days: cut to 32 bits") << qint64(4320000000) << 25032704u;
}

void tst_Journal::playPanelMoves()
{
    QFETCH(qint64, editorMs);
    QFETCH(uint, moved);

    PlayControlWidget panel;
    panel.setBase(kBase);
    QCOMPARE(panel.editor()->timeSpec(), Qt::UTC);
    panel.editor()->setDateTime(kBase.addMSecs(editorMs));
    QSignalSpy spy(&panel, &PlayControlWidget::moved);
    QTest::mouseClick(panel.moveButton(), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toUInt(), moved);
}

void tst_Journal::playPanelHoldsAnEdit()
{
    PlayControlWidget panel;
    panel.setBase(kBase);
    const QDateTime typed = kBase.addSecs(60);
    panel.editor()->setDateTime(typed);
    panel.dateTimeEditEdittingFinish();
    QTest::qWait(2000);
    panel.dateTimeEditEdittingFinish(); // restarts the hold from here
    QTest::qWait(1500);
    panel.currentStateChange(500, 1);
    QCOMPARE(panel.editor()->dateTime(), typed);
    QTRY_VERIFY_WITH_TIMEOUT(!panel.isHoldingEdit(), 3000);
    panel.currentStateChange(500, 1);
    QCOMPARE(panel.editor()->dateTime(), kBase.addMSecs(500));

    // "Перейти" ends a hold at once.
    panel.dateTimeEditEdittingFinish();
    QTest::mouseClick(panel.moveButton(), Qt::LeftButton);
    QVERIFY(!panel.isHoldingEdit());
}

void tst_Journal::entriesSortedAcrossYears()
{
    m_journal = newJournal();
    addEntry(*m_journal, "05.01.2021 10:00:00", "январь");
    addEntry(*m_journal, "06.12.2020 09:00:00", "декабрь");
    addEntry(*m_journal, "05.01.2021 10:00:00", "тот же миг");
    const QStringList expected{"06.12.2020 09:00:00|декабрь", "05.01.2021 10:00:00|январь",
                               "05.01.2021 10:00:00|тот же миг"};
    QCOMPARE(listed(*m_journal), expected);
    QVERIFY(m_journal->isModified());

    const QString path = m_dir.filePath(QStringLiteral("years.xml"));
    QVERIFY(m_journal->saveFileAs(path));
    QVERIFY(!m_journal->isModified());
    QCOMPARE(m_journal->windowTitle(), QStringLiteral("years.xml Журнал"));
    const QByteArray xml = readFile(path);
    QVERIFY(xml.indexOf("06.12.2020") < xml.indexOf("05.01.2021"));
    QVERIFY(xml.contains("<!DOCTYPE VelmoraLog>"));
    QVERIFY(xml.contains("<!-- This is file use for ...-->"));
    QVERIFY(xml.contains("<velmora version=\"1.0\">"));
    QVERIFY(xml.contains("<item date=\"06.12.2020\" time=\"09:00:00\" comment=\"декабрь\"/>"));

    // Binary search: the December entry is the last one before January.
    QCOMPARE(m_journal->model().lastAtOrBefore(wall("01.01.2021 00:00:00")), 0);
    QCOMPARE(m_journal->model().lastAtOrBefore(wall("05.01.2021 10:00:00")), 2);
    QCOMPARE(m_journal->model().lastAtOrBefore(wall("01.01.2019 00:00:00")), -1);

    LogWidget reader;
    reader.openFile(path);
    QCOMPARE(listed(reader), expected);
}

void tst_Journal::roundTripsEveryComment()
{
    const QStringList comments{
        QStringLiteral("\"кавычки\" и 'апострофы'"),
        QStringLiteral("<b>угловые</b> & амперсанд &amp;"),
        QStringLiteral("эмодзи 🎧📻 и пробелы   в  ряд "),
        QStringLiteral("строка\nвторая\tтаб"),
        QString(),
        QStringLiteral("]]> --> <!-- "),
    };
    m_journal = newJournal();
    for (int i = 0; i < comments.size(); ++i)
        addEntry(*m_journal, QStringLiteral("01.01.2021 00:00:%1").arg(i, 2, 10, QLatin1Char('0')), comments.at(i));
    const QString path = m_dir.filePath(QStringLiteral("comments.xml"));
    QVERIFY(m_journal->saveFileAs(path));

    LogWidget reader;
    reader.openFile(path);
    QCOMPARE(reader.model().count(), comments.size());
    for (int i = 0; i < comments.size(); ++i)
        QCOMPARE(reader.model().at(i).comment, comments.at(i));
    // A control character XML cannot carry is dropped instead of making the
    // whole file unreadable.
    addEntry(reader, "02.01.2021 00:00:00", QStringLiteral("a\x01") + QStringLiteral("b"));
    QVERIFY(reader.saveFile());
    LogWidget again;
    again.openFile(path);
    QCOMPARE(again.model().count(), comments.size() + 1);
    QCOMPARE(again.model().at(comments.size()).comment, QStringLiteral("ab"));
}

void tst_Journal::untrustedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    // "KEEP": the old journal stays; "AT MOST ONE": one entry or none;
    // "MAX": as many entries as a journal loads.
    QTest::addColumn<QStringList>("loaded");

    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE VelmoraLog>\n";
    const QByteArray good = head + "<velmora version=\"1.0\">\n"
                                   "<item date=\"02.01.2021\" time=\"10:00:00\" comment=\"два\"/>\n"
                                   "<item date=\"01.01.2021\" time=\"10:00:00\" comment=\"один\"/>\n"
                                   "</velmora>\n";
    const QStringList both{"01.01.2021 10:00:00|один", "02.01.2021 10:00:00|два"};
    QTest::newRow("good") << good << both;
    QTest::newRow("another root") << QByteArray(good).replace("velmora", "Velmora") << QStringList{};
    QTest::newRow("another version") << QByteArray(good).replace("version=\"1.0\">", "version=\"2.0\">") << QStringList{};
    QTest::newRow("truncated in an item") << good.left(good.indexOf("comment=\"один")) << QStringList{"02.01.2021 10:00:00|два"};
    QTest::newRow("unclosed root") << good.left(good.indexOf("</velmora>")) << both;
    QTest::newRow("bad dates and foreign elements skipped")
        << head + "<velmora version=\"1.0\"><item date=\"31.02.2021\" time=\"10:00:00\"/>"
                  "<item date=\"01.01.2021\" time=\"25:00:00\"/><note><item date=\"01.01.2021\" time=\"01:00:00\"/></note>"
                  "<item date=\"01.01.2021\" time=\"10:00:00\" comment=\"один\"><x/></item>"
                  "<item date=\"02.01.2021\" time=\"10:00:00\" comment=\"два\"/></velmora>"
        << both;
    QTest::newRow("noise") << QByteArray("\x00\xff<velmora\x01\x02 version=", 21) << QStringList{};
    QTest::newRow("empty") << QByteArray() << QStringList{};
    QTest::newRow("entity bomb")
        << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE v [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
                      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
                      "<velmora version=\"1.0\"><item date=\"01.01.2021\" time=\"10:00:00\" comment=\"&d;&d;&d;&d;\"/></velmora>")
        << QStringList{"AT MOST ONE"};
    // 50 MB: refused before reading, the journal stays as it was.
    QByteArray huge = head + "<velmora version=\"1.0\">\n";
    const QByteArray item = "<item date=\"01.01.2021\" time=\"10:00:00\" comment=\"много\"/>\n";
    huge.reserve(50 * 1024 * 1024 + item.size());
    while (huge.size() < 50 * 1024 * 1024)
        huge.append(item);
    QTest::newRow("50 MB") << huge << QStringList{"KEEP"};
    // Under the size limit but more entries than a journal holds.
    huge.truncate(14 * 1024 * 1024);
    QTest::newRow("14 MB cut off") << huge << QStringList{"MAX"};
}

void tst_Journal::untrustedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, loaded);

    m_journal = newJournal();
    addEntry(*m_journal, "03.03.2021 03:03:03", "старая");
    const QStringList before = listed(*m_journal);
    const QString path = m_dir.filePath(QStringLiteral("untrusted.xml"));
    QVERIFY(writeFile(path, bytes));
    QElapsedTimer elapsed;
    elapsed.start();
    m_journal->openFile(path);
    QVERIFY2(elapsed.elapsed() < 5000, "a journal file stalls the window");
    if (loaded == QStringList{"KEEP"}) {
        QCOMPARE(listed(*m_journal), before);
        QVERIFY(m_journal->isModified());
        QCOMPARE(m_journal->windowTitle(), QStringLiteral("Журнал"));
    } else {
        if (loaded == QStringList{"AT MOST ONE"})
            QVERIFY(m_journal->model().count() <= 1);
        else if (loaded == QStringList{"MAX"})
            QCOMPARE(m_journal->entryList()->topLevelItemCount(), JournalModel::kMaxEntries);
        else
            QCOMPARE(listed(*m_journal), loaded);
        QVERIFY(!m_journal->isModified());
        QCOMPARE(m_journal->windowTitle(), QStringLiteral("untrusted.xml Журнал"));
    }
    // The journal stays usable.
    addEntry(*m_journal, "04.04.2021 04:04:04", "после");
    QVERIFY(listed(*m_journal).contains(QStringLiteral("04.04.2021 04:04:04|после")));
    QVERIFY(m_journal->saveFileAs(m_dir.filePath(QStringLiteral("after.xml"))));
}

void tst_Journal::failedSaveKeepsThePreviousFile_data()
{
    QTest::addColumn<bool>("diskFull"); // else: the folder does not exist

    QTest::newRow("disk full") << true;
    QTest::newRow("no such folder") << false;
}

void tst_Journal::failedSaveKeepsThePreviousFile()
{
    QFETCH(bool, diskFull);

    TempDir dir;

    m_journal = newJournal();
    addEntry(*m_journal, "01.01.2021 10:00:00", "первая");
    const QString path = dir.filePath(QStringLiteral("previous.xml"));
    QVERIFY(m_journal->saveFileAs(path));
    const QByteArray previous = readFile(path);

    for (int i = 0; i < 2000; ++i)
        addEntry(*m_journal, "02.01.2021 10:00:00", QStringLiteral("запись, которая не влезет на диск"));
    const QString target = diskFull ? path : dir.filePath(QStringLiteral("missing/previous.xml"));
    bool saved = true;
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (diskFull)
            limit = std::make_unique<FileSizeLimit>(rlim_t(16384));
        saved = m_journal->saveFileAs(target);
    }
    QVERIFY(!saved);
    QCOMPARE(readFile(path), previous);
    QVERIFY(m_journal->isModified());
    QCOMPARE(m_journal->fileName(), path);
    QCOMPARE(m_journal->windowTitle(), QStringLiteral("previous.xml Журнал"));
    QMessageBox *box = warningOf(*m_journal);
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("Не удалось сохранить журнал."));
    // The system's reason, never "Unknown error".
    if (diskFull)
        QVERIFY2(box->informativeText().endsWith(QStringLiteral("File too large")), qPrintable(box->informativeText()));
    box->close();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"previous.xml"}));

    // Closing after the failure still asks: the changes are not lost.
    QVERIFY(!m_journal->close());
    QVERIFY(m_journal->question());
    m_journal->question()->button(QMessageBox::Cancel)->click();
    QVERIFY(m_journal->isVisible());
}

// A journal edited by hand: every date-time that reads one way only is
// taken; what is not read is told, and the file is not overwritten without
// a question of its own.
void tst_Journal::incompleteFilesAreToldAndKept_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("loaded");
    QTest::addColumn<int>("unread");
    QTest::addColumn<QString>("reason");   // part of the first reason
    const QByteArray head = "<?xml version=\"1.0\"?>\n<velmora version=\"1.0\">\n";
    QByteArray edited = head;
    for (const char *item : {"date=\"08.12.2026\" time=\"07:00:00\"", "date=\"8.12.2026\" time=\"7:00:00\"",
                             "date=\" 08.12.2026\" time=\"07:00:01\"", "date=\"08.12.2026 \" time=\" 07:00:02 \"",
                             "date=\"8.1.2026\" time=\"7:5:9\"", "date=\"31.02.2026\" time=\"07:00:00\"",
                             "date=\"09.12.2026\" time=\"23:59:59\"", "date=\"1.12.2026\" time=\"00:00:00\"",
                             "date=\"10.12.2026\" time=\"1:02:03\"", "date=\"11.12.2026\" time=\"11:00:00\"",
                             "date=\"12.12.2026\" time=\"12:00:00\"", "date=\"13.12.2026\" time=\"13:00:00\""})
        edited += QByteArray("<item ") + item + " comment=\"c\"/>\n";
    edited += "</velmora>\n";
    QTest::newRow("hand-edited dates") << edited << 11 << 1 << "31.02.2026";
    const QByteArray truncated = edited.left(edited.indexOf("<item", edited.indexOf("<item") + 1) + 20);
    // Cut inside the second entry: the first is read, the second is not.
    QTest::newRow("truncated") << truncated << 1 << 1 << "повреждён";
}

void tst_Journal::incompleteFilesAreToldAndKept()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, loaded);
    QFETCH(int, unread);
    QFETCH(QString, reason);
    const QString path = m_dir.filePath(QStringLiteral("edited.xml"));
    QVERIFY(writeFile(path, bytes));
    m_journal = newJournal();
    m_journal->openFile(path);
    QCOMPARE(m_journal->model().count(), loaded);
    QVERIFY(m_journal->notice());
    QCOMPARE(m_journal->notice()->text(), QStringLiteral("%1 записей не прочитано.").arg(unread));
    QVERIFY2(m_journal->notice()->informativeText().contains(reason), qPrintable(m_journal->notice()->informativeText()));
    m_journal->notice()->close();
    QTRY_VERIFY(!m_journal->notice());

    // Saving over it asks first; "Отмена" leaves the file as it is.
    addEntry(*m_journal, "01.01.2027 10:00:00", "новая");
    bool saved = true;
    m_journal->saveFileChecked(path, [&saved](bool ok) { saved = ok; });
    QVERIFY(m_journal->notice());
    QCOMPARE(m_journal->notice()->text(), QStringLiteral("%1 записей не прочитано. Перезаписать файл?").arg(unread));
    const auto press = [this](const QString &text) {
        for (QAbstractButton *button : m_journal->notice()->buttons()) {
            if (button->text() == text)
                button->click();
        }
    };
    press(QStringLiteral("Отмена"));
    QVERIFY(!saved);
    QCOMPARE(readFile(path), bytes);
    // Closing with the changes and "Save" goes through the same question.
    QVERIFY(!m_journal->close());
    m_journal->question()->button(QMessageBox::Save)->click();
    QTRY_VERIFY(m_journal->notice());
    press(QStringLiteral("Перезаписать"));
    QTRY_VERIFY(!m_journal->isVisible());
    JournalModel reread;
    QCOMPARE(reread.load(path), JournalModel::LoadResult::Loaded);
    QCOMPARE(reread.count(), loaded + 1);
}

void tst_Journal::changeAndRemove()
{
    m_journal = newJournal();
    addEntry(*m_journal, "01.01.2021 10:00:00", "a");
    addEntry(*m_journal, "01.01.2021 11:00:00", "b");
    addEntry(*m_journal, "01.01.2021 12:00:00", "c");
    QTreeWidget *list = m_journal->entryList();

    // A click shows the entry in the editors; a change moves it to its place.
    m_journal->treeWidgetItemClick(list->topLevelItem(2), 0);
    QCOMPARE(m_journal->commentEditor()->text(), QStringLiteral("c"));
    QCOMPARE(m_journal->entryEditor()->dateTime(), wall("01.01.2021 12:00:00"));
    m_journal->entryEditor()->setDateTime(wall("01.01.2021 09:00:00"));
    m_journal->commentEditor()->setText(QStringLiteral("c раньше"));
    m_journal->changePushButtonClick();
    QCOMPARE(listed(*m_journal), (QStringList{"01.01.2021 09:00:00|c раньше", "01.01.2021 10:00:00|a", "01.01.2021 11:00:00|b"}));
    QCOMPARE(list->currentItem()->text(1), QStringLiteral("c раньше"));

    // Removing shows the new current entry.
    m_journal->removePushButtonClick();
    QCOMPARE(m_journal->model().count(), 2);
    QVERIFY(list->currentItem());
    QCOMPARE(m_journal->commentEditor()->text(), list->currentItem()->text(1));
    m_journal->removePushButtonClick();
    m_journal->removePushButtonClick();
    QCOMPARE(m_journal->model().count(), 0);
    QVERIFY(m_journal->commentEditor()->text().isEmpty());
    m_journal->removePushButtonClick(); // nothing selected: nothing happens
    m_journal->changePushButtonClick();
    QCOMPARE(m_journal->model().count(), 0);

    // "Добавить текущий" takes the play panel's date-time with no comment.
    m_journal->playControl()->currentStateChange(90000, 0);
    m_journal->addCurrentPushButtonClick();
    QCOMPARE(listed(*m_journal), (QStringList{"01.01.2021 00:00:30|"}));
}

void tst_Journal::followsPlaybackUnlessFocused()
{
    m_journal = newJournal();
    QVERIFY(QTest::qWaitForWindowActive(m_journal.get()));
    for (int s = 0; s < 40; ++s)
        addEntry(*m_journal, kBase.addSecs(10 * s).toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")), QString::number(s));
    QTreeWidget *list = m_journal->entryList();
    m_journal->commentEditor()->setFocus();

    m_journal->currentStateChanged(125000.0, 1);
    QCOMPARE(list->currentItem()->text(1), QStringLiteral("12"));
    QCOMPARE(m_journal->playControl()->editor()->dateTime(), kBase.addSecs(125));
    m_journal->currentStateChanged(5000.0, 0); // not playing: no highlight
    QCOMPARE(list->currentItem()->text(1), QStringLiteral("12"));
    m_journal->currentStateChanged(5000.0, 1);
    QCOMPARE(list->currentItem()->text(1), QStringLiteral("0"));
    m_journal->currentStateChanged(99999999.0, 1);
    QCOMPARE(list->currentItem()->text(1), QStringLiteral("39"));

    list->setFocus();
    QVERIFY(list->hasFocus());
    m_journal->currentStateChanged(15000.0, 1);
    QCOMPARE(list->currentItem()->text(1), QStringLiteral("39"));
}

void tst_Journal::doubleClickSeeks()
{
    m_journal = newJournal();
    addEntry(*m_journal, "31.12.2020 23:00:00", "до начала");
    addEntry(*m_journal, "01.01.2021 00:00:30", "после");
    addEntry(*m_journal, "01.06.2021 00:00:00", "через полгода");
    QSignalSpy moved(m_journal->playControl(), &PlayControlWidget::moved);
    QTreeWidget *list = m_journal->entryList();
    for (int i = 0; i < 3; ++i)
        emit list->itemDoubleClicked(list->topLevelItem(i), 1);
    QCOMPARE(moved.count(), 3);
    QCOMPARE(moved.at(0).first().toUInt(), 0u);
    QCOMPARE(moved.at(1).first().toUInt(), 90000u);
    // Further than 32 bits of ms: the farthest offset, not a wrapped one.
    QCOMPARE(moved.at(2).first().toUInt(), 4294967295u);
}

void tst_Journal::answers_data()
{
    QTest::addColumn<QString>("command"); // "new", "open" or "close"
    QTest::addColumn<bool>("named");      // the journal has a file name
    QTest::addColumn<int>("answer");      // QMessageBox::StandardButton
    QTest::addColumn<int>("entries");     // left in the journal
    QTest::addColumn<bool>("saved");      // the file holds the entry
    QTest::addColumn<bool>("open");       // the window is still open
    QTest::addColumn<bool>("dialog");     // a file dialog follows

    const int save = QMessageBox::Save, discard = QMessageBox::Discard, cancel = QMessageBox::Cancel;
    QTest::newRow("new: save and stop") << "new" << true << save << 1 << true << true << false;
    QTest::newRow("new: save unnamed asks a name") << "new" << false << save << 1 << true << true << true;
    QTest::newRow("new: discard clears") << "new" << true << discard << 0 << false << true << false;
    QTest::newRow("new: cancel") << "new" << true << cancel << 1 << false << true << false;
    QTest::newRow("open: save and stop") << "open" << true << save << 1 << true << true << false;
    QTest::newRow("open: discard asks a file") << "open" << true << discard << 1 << false << true << true;
    QTest::newRow("open: cancel") << "open" << true << cancel << 1 << false << true << false;
    QTest::newRow("close: save, then close") << "close" << true << save << 1 << true << false << false;
    QTest::newRow("close: save unnamed asks a name") << "close" << false << save << 1 << true << false << true;
    QTest::newRow("close: discard") << "close" << true << discard << 1 << false << false << false;
    QTest::newRow("close: cancel refuses") << "close" << true << cancel << 1 << false << true << false;
}

void tst_Journal::answers()
{
    QFETCH(QString, command);
    QFETCH(bool, named);
    QFETCH(int, answer);
    QFETCH(int, entries);
    QFETCH(bool, saved);
    QFETCH(bool, open);
    QFETCH(bool, dialog);

    const QString path = m_dir.filePath(QStringLiteral("answers.xml"));
    QFile::remove(path);
    m_journal = newJournal();
    if (named) {
        QVERIFY(m_journal->saveFileAs(path));
        QFile::remove(path);
    }
    addEntry(*m_journal, "01.01.2021 10:00:00", "несохранённая");

    if (command == QLatin1String("new"))
        m_journal->newPushButtonClick();
    else if (command == QLatin1String("open"))
        m_journal->openPushButtonClick();
    else
        QVERIFY(!m_journal->close());
    QMessageBox *question = m_journal->question();
    QVERIFY(question);
    QCOMPARE(question->text(), QStringLiteral("Данные были изменены"));
    QCOMPARE(question->informativeText(), QStringLiteral("Хотите сохранить изменения?"));
    QCOMPARE(question->defaultButton(), question->button(QMessageBox::Save));
    question->button(QMessageBox::StandardButton(answer))->click();
    QVERIFY(!m_journal->question());

    QFileDialog *files = m_journal->fileDialog();
    QCOMPARE(files != nullptr, dialog);
    if (files && files->acceptMode() == QFileDialog::AcceptSave) {
        QCOMPARE(files->windowTitle(), QStringLiteral("Save log file as"));
        files->selectFile(path);
        QMetaObject::invokeMethod(files, "accept");
    } else if (files) {
        QCOMPARE(files->windowTitle(), QStringLiteral("Open log file"));
        files->reject();
    }
    QCOMPARE(m_journal->model().count(), entries);
    QCOMPARE(m_journal->entryList()->topLevelItemCount(), entries);
    QCOMPARE(readFile(path).contains("несохранённая"), saved);
    QCOMPARE(m_journal->isVisible(), open);
    if (saved && open) {
        // Saved, the journal is clean: a second "Новый" clears at once.
        QVERIFY(!m_journal->isModified());
        m_journal->newPushButtonClick();
        QVERIFY(!m_journal->question());
        QCOMPARE(m_journal->model().count(), 0);
        QCOMPARE(m_journal->windowTitle(), QStringLiteral("Журнал"));
    }
}

QTEST_MAIN(tst_Journal)
#include "tst_journal.moc"
