// The multi-channel widget on an indexed recording: one row per audio or
// text stream with its feeder, rows in step with the navigation row, row
// heights by dragging, resizing and rebuilding.
#include "recording/indexrecord.h"
#include "player/ui/channels/multichannelwidget.h"
#include "player/ui/channels/mywidget.h"
#include "player/ui/timeline/streamdataitem.h"
#include "player/ui/timeline/timelineitem.h"
#include "player/ui/timeline/timelinescene.h"
#include "testsupport/testrecording.h"

#include <QGraphicsSimpleTextItem>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace PlayerUi;

namespace {

constexpr int kAreaWidth = 1000; // pixels
constexpr int kWaitMs = 10000;

QList<uint> thresholds()
{
    QList<uint> list;
    for (int t : defaultActivityThresholds())
        list.append(uint(t));
    return list;
}

QList<int> rowHeights(const MultiChannelWidget &w)
{
    QList<int> heights;
    for (QMdiSubWindow *row : w.subWindowList(QMdiArea::CreationOrder))
        heights.append(row->height());
    return heights;
}

QList<int> rowTops(const MultiChannelWidget &w)
{
    QList<int> tops;
    for (QMdiSubWindow *row : w.subWindowList(QMdiArea::CreationOrder))
        tops.append(row->y());
    return tops;
}

void sendMouse(QWidget *widget, QEvent::Type type, int y, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    const QPointF pos(10, y);
    QMouseEvent event(type, pos, widget->mapToGlobal(pos.toPoint()), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

// Drags the row's lower edge by dy pixels in steps of at most 10.
void dragLowerEdge(MyWidget *row, int dy)
{
    int y = row->height() - 3;
    sendMouse(row, QEvent::MouseButtonPress, y, Qt::LeftButton, Qt::LeftButton);
    for (int moved = 0; moved != dy;) {
        const int step = qBound(-10, dy - moved, 10);
        moved += step;
        // The edge follows the mouse: its y within the row keeps growing.
        y += step;
        sendMouse(row, QEvent::MouseMove, y, Qt::NoButton, Qt::LeftButton);
    }
    sendMouse(row, QEvent::MouseButtonRelease, y, Qt::LeftButton, Qt::NoButton);
}

MyWidget *rowWidget(const MultiChannelWidget &w, int row)
{
    return qobject_cast<MyWidget *>(w.subWindowList(QMdiArea::CreationOrder).at(row)->widget());
}

} // namespace

class tst_MultiChannelWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rowsFollowStreamTypes_data();
    void rowsFollowStreamTypes();
    void rowsShareRangeCursorAndMarkedArea();
    void feedersFillRowsWithItems();
    void draggingTheLowerEdge_data();
    void draggingTheLowerEdge();
    void resizingKeepsHeightsAndScale();
    void rebuildingResetsRowsAndStopsFeeders();

private:
    void showWidget();

    std::unique_ptr<TestRecording> m_recording;
    QList<StreamDescriptor> m_streams; // audio "Диспетчер", text "События", audio "Пустой"
    std::unique_ptr<MultiChannelWidget> m_widget;
};

// Stream 1: A-law tone frames of 100 ms every 200 ms from 1 s to 3 s;
// stream 2: two texts in Windows-1251; stream 3 declared without frames.
void tst_MultiChannelWidget::initTestCase()
{
    m_recording = std::make_unique<TestRecording>();
    m_recording->addStream(1, QStringLiteral("audio"), QStringLiteral("PCMA/8000"), QStringLiteral("Диспетчер"));
    m_recording->addStream(2, QStringLiteral("text"), QStringLiteral("Windows-1251"), QStringLiteral("События"));
    m_recording->addStream(3, QStringLiteral("audio"), QStringLiteral("PCMA"), QStringLiteral("Пустой"));
    for (quint32 t = 1000; t < 3000; t += 200)
        m_recording->frame(t, 1, TestRecordingData::alawTone(800, 8000, 500));
    m_recording->text(1500, 2, QStringLiteral("Вызов: борт 12"));
    m_recording->text(2500, 2, QStringLiteral("Конец связи"));
    m_streams = m_recording->index();
    QCOMPARE(m_streams.size(), 3);
}

void tst_MultiChannelWidget::init()
{
    m_widget = std::make_unique<MultiChannelWidget>();
    m_widget->setThresholds(thresholds());
    showWidget();
    m_widget->setBase(QDateTime(QDate(2012, 12, 31), QTime(23, 59), Qt::UTC));
}

void tst_MultiChannelWidget::cleanup()
{
    m_widget.reset();
}

void tst_MultiChannelWidget::showWidget()
{
    m_widget->resize(kAreaWidth + m_widget->verticalScrollBar()->sizeHint().width(), 600);
    m_widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_widget.get()));
}

void tst_MultiChannelWidget::rowsFollowStreamTypes_data()
{
    QTest::addColumn<QList<int>>("streams"); // positions in m_streams; -1: a "video" stream
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QList<bool>>("eventRows");

    QTest::newRow("none") << QList<int>{} << QStringList{} << QList<bool>{};
    QTest::newRow("audio and text") << QList<int>{0, 1} << QStringList{"Диспетчер", "События"}
                                    << QList<bool>{false, true};
    QTest::newRow("text first, unknown type skipped")
        << QList<int>{1, -1, 2} << QStringList{"События", "Пустой"} << QList<bool>{true, false};
}

void tst_MultiChannelWidget::rowsFollowStreamTypes()
{
    QFETCH(QList<int>, streams);
    QFETCH(QStringList, labels);
    QFETCH(QList<bool>, eventRows);

    QList<QMap<QString, QString>> list;
    for (int i : streams) {
        QMap<QString, QString> video{{"ID", "9"}, {"TYPE", "video"}, {"DESCRIPTION", "Видео"}};
        list.append(i < 0 ? video : m_streams.at(i));
    }
    m_widget->activeStreamListChange(list);

    QCOMPARE(m_widget->streamRowCount(), labels.size());
    QCOMPARE(m_widget->feeders().runningCount(), labels.size());
    QList<int> heights{rowHeights(*m_widget).first()};
    for (int i = 0; i < labels.size(); ++i) {
        TimelineScene *scene = m_widget->rowScene(i);
        QCOMPARE(qobject_cast<EventTimelineScene *>(scene) != nullptr, eventRows.at(i));
        QString label;
        for (QGraphicsItem *item : scene->items()) {
            if (auto *text = dynamic_cast<QGraphicsSimpleTextItem *>(item))
                label = text->text();
        }
        QCOMPARE(label, labels.at(i));
        heights.append(MultiChannelWidget::kStreamRowHeight);
    }
    // Stacked one pixel apart below the navigation row.
    QCOMPARE(rowHeights(*m_widget), heights);
    const QList<int> tops = rowTops(*m_widget);
    for (int i = 1; i < tops.size(); ++i)
        QCOMPARE(tops.at(i), tops.at(i - 1) + heights.at(i - 1) + 1);
}

void tst_MultiChannelWidget::rowsShareRangeCursorAndMarkedArea()
{
    m_widget->activeStreamListChange({m_streams.at(0), m_streams.at(1)});
    NavigateTimelineScene *nav = m_widget->navigationScene();
    TimelineScene *audio = m_widget->rowScene(0);
    TimelineScene *text = m_widget->rowScene(1);
    QSignalSpy cursor(m_widget.get(), &MultiChannelWidget::currentPosChanged);
    QSignalSpy marked(m_widget.get(), &MultiChannelWidget::markedAreaChanged);

    nav->setRange(500, 4000);
    QCOMPARE(text->model().begin, 500.0);
    QCOMPARE(text->model().duration, nav->model().duration);
    text->setCurrentPos(1234);   // a click in a row moves every cursor
    audio->setMarkedArea(1000, 500);
    QCOMPARE(nav->model().current, 1234.0);
    QCOMPARE(audio->model().current, 1234.0);
    QCOMPARE(text->timelineItem()->markedBegin(), 1000.0);
    QCOMPARE(m_widget->markedDuration(), 500.0);
    QCOMPARE(cursor.count(), 1);
    QCOMPARE(marked.count(), 1);

    // The engine's reports scroll the position into view; zoom keeps it.
    m_widget->currentStateChange(90000, 1);
    QCOMPARE(audio->model().current, 90000.0);
    QVERIFY(audio->model().begin < 90000 && audio->model().begin + audio->model().duration > 90000);
    m_widget->zoom(0.5);
    QCOMPARE(text->model().duration, nav->model().duration);
    QVERIFY(!TimelineMath::differs(nav->model().duration, 2000));

    // A row added later starts with the marked area and range in force.
    m_widget->activeStreamListChange({m_streams.at(1)});
    QCOMPARE(m_widget->rowScene(0)->timelineItem()->markedBegin(), 1000.0);
    QVERIFY(!TimelineMath::differs(m_widget->rowScene(0)->model().begin, nav->model().begin));
}

void tst_MultiChannelWidget::feedersFillRowsWithItems()
{
    m_widget->activeStreamListChange({m_streams.at(0), m_streams.at(1)});
    QSignalSpy served(m_widget.get(), &MultiChannelWidget::streamsServed);
    m_widget->navigationScene()->setRange(0, 4000); // 4 ms per pixel: every frame with its samples
    QTRY_VERIFY_WITH_TIMEOUT(m_widget->isServed(), kWaitMs);

    TimelineScene *audio = m_widget->rowScene(0);
    QCOMPARE(audio->dataItemCount(), 10);
    QCOMPARE(audio->dataItem(0)->beginning(), 1000.0);
    QCOMPARE(audio->dataItem(0)->data().size(), 1600); // 800 samples
    QCOMPARE(audio->dataItem(0)->x(), 1000 * audio->sceneRect().width() / 4000);
    QCOMPARE(audio->dataItem(0)->height(), double(audio->sceneRect().height()));

    // Windows-1251 texts arrive readable.
    TimelineScene *text = m_widget->rowScene(1);
    QCOMPARE(text->dataItemCount(), 2);
    QCOMPARE(static_cast<EventStreamDataItem2 *>(text->dataItem(0))->text(), QStringLiteral("Вызов: борт 12"));
    QCOMPARE(static_cast<EventStreamDataItem2 *>(text->dataItem(1))->text(), QStringLiteral("Конец связи"));

    // Far out, the audio row shows activity spans without samples.
    m_widget->navigationScene()->setRange(0, 1000000);
    QTRY_VERIFY_WITH_TIMEOUT(m_widget->isServed(), kWaitMs);
    QVERIFY(audio->dataItemCount() >= 1);
    for (int i = 0; i < audio->dataItemCount(); ++i)
        QVERIFY(audio->dataItem(i)->data().isEmpty());
}

void tst_MultiChannelWidget::draggingTheLowerEdge_data()
{
    QTest::addColumn<int>("row"); // 1: the first stream row
    QTest::addColumn<int>("dy");
    QTest::addColumn<int>("height");

    QTest::newRow("taller") << 1 << 30 << 130;
    QTest::newRow("down to the floor") << 1 << -50 << 50;
    QTest::newRow("below the floor stops there") << 1 << -70 << 50;
    QTest::newRow("the navigation row too") << 0 << 20 << -1; // -1: its own height + 20
}

void tst_MultiChannelWidget::draggingTheLowerEdge()
{
    QFETCH(int, row);
    QFETCH(int, dy);
    QFETCH(int, height);

    m_widget->activeStreamListChange({m_streams.at(0), m_streams.at(1)});
    const QList<int> before = rowHeights(*m_widget);
    const QList<int> topsBefore = rowTops(*m_widget);
    if (height < 0)
        height = before.at(row) + dy;

    dragLowerEdge(rowWidget(*m_widget, row), dy);

    const QList<int> after = rowHeights(*m_widget);
    const QList<int> topsAfter = rowTops(*m_widget);
    QCOMPARE(after.at(row), height);
    for (int i = 0; i < after.size(); ++i) {
        if (i != row)
            QCOMPARE(after.at(i), before.at(i));
        // Rows above stay; rows below follow the real change.
        QCOMPARE(topsAfter.at(i), topsBefore.at(i) + (i > row ? height - before.at(row) : 0));
    }
    QVERIFY(!rowWidget(*m_widget, row)->isResizing());
}

void tst_MultiChannelWidget::resizingKeepsHeightsAndScale()
{
    m_widget->activeStreamListChange({m_streams.at(0), m_streams.at(1)});
    dragLowerEdge(rowWidget(*m_widget, 1), 20);
    const QList<int> heights = rowHeights(*m_widget);
    const TimeModel before = m_widget->rowScene(1)->model();
    const double sceneWidth = m_widget->rowScene(1)->sceneRect().width();

    m_widget->resize(m_widget->width() + 500, m_widget->height());
    QTRY_COMPARE(m_widget->rowScene(1)->sceneRect().width(), sceneWidth + 500);

    QCOMPARE(rowHeights(*m_widget), heights);
    for (QMdiSubWindow *row : m_widget->subWindowList())
        QCOMPARE(row->width(), m_widget->viewport()->width());
    for (TimelineScene *scene : {static_cast<TimelineScene *>(m_widget->navigationScene()), m_widget->rowScene(0),
                                 m_widget->rowScene(1)}) {
        QCOMPARE(scene->model().begin, before.begin);
        QVERIFY(!TimelineMath::differs(scene->model().duration / scene->sceneRect().width(),
                                       before.duration / sceneWidth));
    }
}

void tst_MultiChannelWidget::rebuildingResetsRowsAndStopsFeeders()
{
    const QList<QMap<QString, QString>> list{m_streams.at(0), m_streams.at(1)};
    m_widget->activeStreamListChange(list);
    dragLowerEdge(rowWidget(*m_widget, 1), 40);
    QCOMPARE(rowHeights(*m_widget).at(1), 140);

    m_widget->activeStreamListChange(list);
    QCOMPARE(rowHeights(*m_widget).mid(1), (QList<int>{100, 100}));
    QCOMPARE(m_widget->feeders().runningCount(), 2);

    // Dropped feeders end on their own without the GUI thread waiting.
    m_widget->freeStreams();
    QCOMPARE(m_widget->streamRowCount(), 0);
    QCOMPARE(m_widget->subWindowList().size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(m_widget->feeders().endingCount(), 0, kWaitMs);
}

QTEST_MAIN(tst_MultiChannelWidget)
#include "tst_multichannelwidget.moc"
