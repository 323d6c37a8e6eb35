// The interval and search panels offscreen on real recordings: day rows
// across midnight, durations of two hours, names of the streams involved,
// case-insensitive search over Windows-1251 and UTF-8 text channels, the
// seek of a double click per column, the current row following the play
// position (and leaving the list alone while it has the focus), and runs
// that are restarted or dropped in their middle.
#include "player/ui/panels/intervalwidget3.h"
#include "player/ui/panels/panelrules.h"
#include "player/ui/panels/searchwidget3.h"
#include "testsupport/testrecording.h"

#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTreeWidget>
#include <QtTest>

using namespace PlayerUi;

namespace {

constexpr int kRunMs = 20000;
// The recording's base is 31.12.2012 23:59:00: midnight is 60 s in.
constexpr quint32 kMidnight = 60000;
constexpr quint32 kTicksFrom = kMidnight + 3600000; // 01:00:00
constexpr quint32 kTickMs = 2000;
constexpr int kTicks = 3601;                        // two hours of them

QStringList rowTexts(const QTreeWidget &list, int columns)
{
    QStringList rows;
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        const QTreeWidgetItem *day = list.topLevelItem(i);
        rows.append(day->text(0));
        for (int j = 0; j < day->childCount(); ++j) {
            QStringList cells;
            for (int c = 0; c < columns; ++c)
                cells.append(day->child(j)->text(c));
            rows.append(QStringLiteral("  ") + cells.join(QLatin1Char('|')));
        }
    }
    return rows;
}

bool runToEnd(DayListPanel &panel)
{
    panel.startClick();
    return QTest::qWaitFor([&] { return !panel.isRunning(); }, kRunMs);
}

} // namespace

class tst_Panels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void followRow_data();
    void followRow();
    void texts_data();
    void texts();

    void intervalsByDay_data();
    void intervalsByDay();
    void searchIgnoresCase_data();
    void searchIgnoresCase();
    void doubleClickSeeks_data();
    void doubleClickSeeks();
    void currentRowFollowsPlayback();
    void runsRestartAndStopInTheMiddle();

private:
    TestRecording m_recording;
    QList<StreamDescriptor> m_streams;
    TestRecording m_long;
    QList<StreamDescriptor> m_longStreams;
    QDateTime m_base;
};

void tst_Panels::initTestCase()
{
    m_recording.addStream(1, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("События"));
    m_recording.addStream(2, QStringLiteral("text"), QStringLiteral("UTF-8"), QStringLiteral("Чат"));
    m_recording.addStream(3, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Диспетчер"));
    m_recording.text(30000, 1, QStringLiteral("Вызов ДИСПЕТЧЕРА"));
    m_recording.frame(45000, 2, QStringLiteral("Привет, Диспетчер   и\tвсем").toUtf8());
    for (quint32 t = 50000; t < 51000; t += 100)
        m_recording.frame(t, 3, TestRecordingData::alaw(800));
    m_recording.text(55000, 1, QStringLiteral("xABCx"));
    m_recording.frame(kMidnight, 2, QStringLiteral("Полночь: ёлка").toUtf8());
    for (int k = 0; k < kTicks; ++k)
        m_recording.text(kTicksFrom + quint32(k) * kTickMs, 1, QStringLiteral("тик"));
    m_streams = m_recording.index();
    m_base = QDateTime(QDate(2012, 12, 31), QTime(23, 59), Qt::UTC);

    m_long.addStream(1, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("Много"));
    for (quint32 k = 0; k < 20000; ++k)
        m_long.text(k * 10, 1, QStringLiteral("событие %1").arg(k));
    m_longStreams = m_long.index();
}

void tst_Panels::followRow_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<int>("current");
    QTest::addColumn<double>("ts");
    QTest::addColumn<int>("row");

    const QVector<double> rows{0, 10, 20, 30};
    QTest::newRow("no current row: the first") << rows << -1 << 5.0 << 0;
    QTest::newRow("stays before the next") << rows << 1 << 19.0 << 1;
    QTest::newRow("steps to the next") << rows << 1 << 20.0 << 2;
    QTest::newRow("jumps past two") << rows << 0 << 25.0 << 2;
    QTest::newRow("jumps back") << rows << 3 << 12.0 << 1;
    QTest::newRow("before every row: the first") << rows << 2 << -5.0 << 0;
    QTest::newRow("past the last result") << rows << -1 << 1e9 << 3;
    QTest::newRow("the last stays") << rows << 3 << 1e9 << 3;
    QTest::newRow("equal values: the last of them") << QVector<double>{0, 10, 10, 10, 40} << 0 << 10.0 << 3;
    QTest::newRow("empty") << QVector<double>{} << -1 << 5.0 << -1;
}

void tst_Panels::followRow()
{
    QFETCH(QVector<double>, values);
    QFETCH(int, current);
    QFETCH(double, ts);
    QFETCH(int, row);
    QCOMPARE(PanelRules::followRow(values, current, ts), row);
}

void tst_Panels::texts_data()
{
    QTest::addColumn<double>("duration");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << 0.0 << "00:00";
    QTest::newRow("seconds cut") << 59999.0 << "00:59";
    QTest::newRow("an hour") << 3600000.0 << "60:00";
    QTest::newRow("two hours") << 7200000.0 << "120:00";
    QTest::newRow("a week") << 604800000.0 << "10080:00";
}

void tst_Panels::texts()
{
    QFETCH(double, duration);
    QFETCH(QString, text);
    QCOMPARE(PanelRules::durationText(duration), text);

    // Wrapping: spaces folded, breaks at word boundaries, each line within
    // the limit; only a word longer than a line is cut.
    const QFontMetrics metrics(QApplication::font());
    const int limit = metrics.horizontalAdvance(QStringLiteral("Тревога: потеря")) - 1;
    const QString wrapped = PanelRules::wrapText(QStringLiteral("Тревога:   потеря\tсвязи"), metrics, limit);
    QCOMPARE(wrapped, QStringLiteral("Тревога:\nпотеря связи"));
    const QString longWord = PanelRules::wrapText(QStringLiteral("ааааааааааааааааааааааааа б"), metrics, limit);
    QCOMPARE(QString(longWord).remove(QLatin1Char('\n')), QStringLiteral("ааааааааааааааааааааааааа б"));
    for (const QString &line : longWord.split(QLatin1Char('\n')))
        QVERIFY(metrics.horizontalAdvance(line) <= limit);
}

void tst_Panels::intervalsByDay_data()
{
    QTest::addColumn<int>("gap"); // s
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("3 s") << 3
                         << QStringList{"31.12.2012",
                                        "  23:59:30|23:59:30|00:00|События",
                                        "  23:59:45|23:59:45|00:00|Чат",
                                        "  23:59:50|23:59:51|00:01|Диспетчер",
                                        "  23:59:55|23:59:55|00:00|События",
                                        "01.01.2013",
                                        "  00:00:00|00:00:00|00:00|Чат",
                                        "  01:00:00|03:00:00|120:00|События"};
    QTest::newRow("15 s: across midnight") << 15
                                           << QStringList{"31.12.2012",
                                                          "  23:59:30|00:00:00|00:30|События\nЧат\nДиспетчер",
                                                          "01.01.2013",
                                                          "  01:00:00|03:00:00|120:00|События"};
    QTest::newRow("3600 s: one interval") << 3600
                                          << QStringList{"31.12.2012", "  23:59:30|03:00:00|180:30|События\nЧат\nДиспетчер"};
}

void tst_Panels::intervalsByDay()
{
    QFETCH(int, gap);
    QFETCH(QStringList, rows);

    IntervalWidget3 panel;
    QCOMPARE(panel.windowTitle(), QStringLiteral("Интервалы"));
    QCOMPARE(panel.gapSpinBox()->maximum(), 3600);
    QCOMPARE(panel.gapSpinBox()->value(), 15);
    panel.setBase(m_base);
    panel.setStreams(m_streams);
    panel.gapSpinBox()->setValue(gap);
    panel.show();
    panel.startClick();
    QVERIFY(panel.stopButton()->isVisible());
    QVERIFY(panel.progressBar()->isVisible());
    QVERIFY(!panel.startButton()->isVisible());
    QVERIFY(QTest::qWaitFor([&] { return !panel.isRunning(); }, kRunMs));
    QCOMPARE(rowTexts(*panel.resultList(), 4), rows);
    QVERIFY(panel.startButton()->isVisible());
    QVERIFY(!panel.stopButton()->isVisible());
    QCOMPARE(panel.resultList()->topLevelItem(0)->child(0)->textAlignment(3), int(Qt::AlignLeft | Qt::AlignTop));
}

void tst_Panels::searchIgnoresCase_data()
{
    QTest::addColumn<QString>("searched");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("Cyrillic in Windows-1251 and UTF-8")
        << "диспетчер" << QStringList{"31.12.2012", "  23:59:30|Вызов ДИСПЕТЧЕРА", "  23:59:45|Привет, Диспетчер и всем"};
    QTest::newRow("Latin") << "abc" << QStringList{"31.12.2012", "  23:59:55|xABCx"};
    QTest::newRow("ё after midnight") << "ЁЛКА" << QStringList{"01.01.2013", "  00:00:00|Полночь: ёлка"};
    QTest::newRow("nothing") << "нет такого" << QStringList{};
}

void tst_Panels::searchIgnoresCase()
{
    QFETCH(QString, searched);
    QFETCH(QStringList, rows);

    SearchWidget3 panel;
    QCOMPARE(panel.windowTitle(), QStringLiteral("Поиск"));
    QCOMPARE(panel.searchEdit()->placeholderText(), QStringLiteral("Введите строку поиска"));
    panel.resize(600, 400);
    panel.setBase(m_base);
    panel.setStreams(m_streams);
    panel.show();
    panel.searchEdit()->setText(searched);
    QVERIFY(runToEnd(panel));
    QCOMPARE(rowTexts(*panel.resultList(), 2), rows);

    // An empty search lists every text event.
    panel.searchEdit()->clear();
    QVERIFY(runToEnd(panel));
    const QTreeWidget *list = panel.resultList();
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->childCount() + list->topLevelItem(1)->childCount(), 4 + kTicks);
    QCOMPARE(list->topLevelItem(1)->child(0)->data(0, Qt::UserRole), QVariant(uint(kMidnight)));
}

void tst_Panels::doubleClickSeeks_data()
{
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("child"); // -1: the day row
    QTest::addColumn<int>("column");
    QTest::addColumn<double>("moved");

    QTest::newRow("begin") << 0 << 2 << 0 << 50000.0;
    QTest::newRow("end") << 0 << 2 << 1 << 51000.0;
    QTest::newRow("duration column: begin") << 0 << 2 << 2 << 50000.0;
    QTest::newRow("day row") << 1 << -1 << 0 << double(kMidnight);
    QTest::newRow("day row, second column") << 1 << -1 << 1 << double(kMidnight);
    QTest::newRow("day begun before the recording") << 0 << -1 << 0 << 0.0;
}

void tst_Panels::doubleClickSeeks()
{
    QFETCH(int, day);
    QFETCH(int, child);
    QFETCH(int, column);
    QFETCH(double, moved);

    IntervalWidget3 panel;
    panel.setBase(m_base);
    panel.setStreams(m_streams);
    panel.gapSpinBox()->setValue(3);
    QVERIFY(runToEnd(panel));
    QTreeWidgetItem *dayRow = panel.resultList()->topLevelItem(day);
    QTreeWidgetItem *item = child < 0 ? dayRow : dayRow->child(child);
    QSignalSpy spy(&panel, &DayListPanel::moved);
    emit panel.resultList()->itemDoubleClicked(item, column);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toDouble(), moved);

    // The search panel always seeks to the event's time.
    SearchWidget3 search;
    search.setBase(m_base);
    search.setStreams(m_streams);
    search.searchEdit()->setText(QStringLiteral("abc"));
    QVERIFY(runToEnd(search));
    QSignalSpy searchSpy(&search, &DayListPanel::moved);
    emit search.resultList()->itemDoubleClicked(search.resultList()->topLevelItem(0)->child(0), column);
    QCOMPARE(searchSpy.first().first().toDouble(), 55000.0);
}

void tst_Panels::currentRowFollowsPlayback()
{
    IntervalWidget3 panel;
    panel.setBase(m_base);
    panel.setStreams(m_streams);
    panel.gapSpinBox()->setValue(3);
    panel.show();
    QVERIFY(QTest::qWaitForWindowActive(&panel));
    panel.gapSpinBox()->setFocus();
    QTreeWidget *list = panel.resultList();
    // Before the run ends nothing follows.
    panel.currentStateChanged(0, 1);
    QVERIFY(!list->currentItem());
    QVERIFY(runToEnd(panel));

    const auto current = [&] { return list->currentItem() ? list->currentItem()->text(0) : QString(); };
    panel.currentStateChanged(50500, 1);
    QCOMPARE(current(), QStringLiteral("23:59:50"));
    panel.currentStateChanged(56000, 1);
    QCOMPARE(current(), QStringLiteral("23:59:55"));
    panel.currentStateChanged(kMidnight, 0); // the state is not looked at
    QCOMPARE(current(), QStringLiteral("00:00:00"));
    panel.currentStateChanged(99999999, 1);
    QCOMPARE(current(), QStringLiteral("01:00:00"));
    panel.currentStateChanged(31000, 1);
    QCOMPARE(current(), QStringLiteral("23:59:30"));

    list->setFocus();
    panel.currentStateChanged(kMidnight, 1);
    QCOMPARE(current(), QStringLiteral("23:59:30"));
}

void tst_Panels::runsRestartAndStopInTheMiddle()
{
    IntervalWidget3 intervals;
    intervals.setBase(m_base);
    intervals.setStreams(m_longStreams);
    intervals.gapSpinBox()->setValue(0);
    SearchWidget3 search;
    search.setBase(m_base);
    search.setStreams(m_longStreams);
    for (DayListPanel *panel : {static_cast<DayListPanel *>(&intervals), static_cast<DayListPanel *>(&search)}) {
        panel->startClick();
        QVERIFY(QTest::qWaitFor([&] { return panel->progressBar()->value() > 0; }, kRunMs));
        QVERIFY(panel->isRunning());
        // The streams change: the run starts over on the new ones.
        panel->setStreams(m_streams);
        QVERIFY(!panel->isRunning());
        panel->startClick();
        QVERIFY(QTest::qWaitFor([&] { return !panel->isRunning(); }, kRunMs));
        QCOMPARE(panel->resultList()->topLevelItemCount(), 2);
        QCOMPARE(panel->progressBar()->value(), DayListPanel::kProgressMaximum);

        // The recording closes in the middle of a run: rows found so far stay.
        panel->setStreams(m_longStreams);
        panel->startClick();
        QVERIFY(QTest::qWaitFor([&] { return panel->progressBar()->value() > 0; }, kRunMs));
        panel->freeStreams();
        QVERIFY(!panel->isRunning());
        QTest::qWait(50);
        QVERIFY(runToEnd(*panel)); // no streams: an empty run
        QCOMPARE(panel->resultList()->topLevelItemCount(), 0);
    }
    // "Стоп" keeps what was found.
    intervals.setStreams(m_longStreams);
    intervals.startClick();
    QVERIFY(QTest::qWaitFor([&] { return intervals.progressBar()->value() > 0; }, kRunMs));
    QTest::mouseClick(intervals.stopButton(), Qt::LeftButton);
    QVERIFY(!intervals.isRunning());
    QVERIFY(intervals.resultList()->topLevelItemCount() <= 1);
}

QTEST_MAIN(tst_Panels)
#include "tst_panels.moc"
