// Timeline scenes and their items: cursor and marked area by mouse, zoom
// limits, data items coming and going, event boxes and audio drawing.
#include "player/ui/timeline/eventticksitem.h"
#include "player/ui/timeline/streamdataitem.h"
#include "player/ui/timeline/timelineitem.h"
#include "player/ui/timeline/timelinescene.h"

#include <QGraphicsSceneMouseEvent>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace PlayerUi;

namespace {

constexpr int kWidth = 1000;   // pixels
constexpr int kHeight = 100;
constexpr double kDuration = 10000; // ms across the width: 10 ms per pixel

// A scene of the given kind with its axis, kWidth pixels wide, showing
// [0, kDuration] with the cursor at 0.
template <class Scene>
std::unique_ptr<Scene> makeScene()
{
    auto scene = std::make_unique<Scene>();
    auto item = std::make_unique<HeaderTimelineItem>();
    item->setSize(kWidth, kHeight);
    scene->setTimelineItem(std::move(item));
    scene->setRange(0, kDuration);
    return scene;
}

void sendMouse(QGraphicsScene *scene, QEvent::Type type, QPointF pos, QPointF last, Qt::MouseButton button,
               Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QGraphicsSceneMouseEvent event(type);
    event.setScenePos(pos);
    event.setLastScenePos(last);
    event.setButton(button);
    event.setButtons(buttons);
    event.setModifiers(modifiers);
    QCoreApplication::sendEvent(scene, &event);
}

void click(QGraphicsScene *scene, double pressX, double releaseX, Qt::KeyboardModifiers modifiers)
{
    sendMouse(scene, QEvent::GraphicsSceneMousePress, {pressX, 20}, {pressX, 20}, Qt::LeftButton, Qt::LeftButton,
              modifiers);
    sendMouse(scene, QEvent::GraphicsSceneMouseRelease, {releaseX, 20}, {pressX, 20}, Qt::LeftButton, Qt::NoButton,
              modifiers);
}

QList<double> beginnings(const TimelineScene &scene)
{
    QList<double> list;
    for (int i = 0; i < scene.dataItemCount(); ++i)
        list.append(scene.dataItem(i)->beginning());
    return list;
}

QByteArray samples(const QVector<qint16> &values)
{
    QByteArray bytes;
    for (qint16 v : values) {
        bytes.append(char(v & 0xFF));
        bytes.append(char((v >> 8) & 0xFF));
    }
    return bytes;
}

// What an audio item draws into a black image of its size: the pixels
// painted and the first and last rows with any of them.
struct Drawn
{
    int pixels = 0;
    int top = -1;
    int bottom = -1;
    bool brightGreen = false;
};

Drawn drawAudio(const QByteArray &data, int width, int height)
{
    AudioStreamDataItem item;
    item.setSize(width, height);
    item.setData(data);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    item.paint(&painter, nullptr, nullptr);
    painter.end();
    Drawn drawn;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c == Qt::black)
                continue;
            ++drawn.pixels;
            drawn.top = drawn.top < 0 ? y : drawn.top;
            drawn.bottom = y;
            drawn.brightGreen = drawn.brightGreen || c == QColor(Qt::green);
        }
    }
    return drawn;
}

} // namespace

class tst_TimelineScene : public QObject
{
    Q_OBJECT

private slots:
    void mouseSetsCursorAndMarkedArea_data();
    void mouseSetsCursorAndMarkedArea();
    void dragMovesContentAndCursorTogether();
    void zoomKeepsLimitsAndCursorPlace_data();
    void zoomKeepsLimitsAndCursorPlace();
    void cursorJumpLandsAtATenth();
    void markedAreaTurnsNegativeSpansAround();
    void removeDataItemByOverlap_data();
    void removeDataItemByOverlap();
    void eventBoxesKeepTimeOrderAndShowText();
    void eventTicksWhereBoxesDoNotFit_data();
    void eventTicksWhereBoxesDoNotFit();
    void dataItemsHiddenWhileRangeMoves();
    void audioDrawingModes_data();
    void audioDrawingModes();
    void monthTicksFallOnTheFirst();
    void axisReadsAtEveryZoom_data();
    void axisReadsAtEveryZoom();
};

void tst_TimelineScene::mouseSetsCursorAndMarkedArea_data()
{
    QTest::addColumn<bool>("eventRow");
    QTest::addColumn<double>("pressX");
    QTest::addColumn<double>("releaseX");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<double>("cursor");       // before, ms
    QTest::addColumn<double>("markedBegin");  // before, ms
    QTest::addColumn<double>("markedDuration");
    QTest::addColumn<double>("expectedCursor");
    QTest::addColumn<double>("expectedBegin");
    QTest::addColumn<double>("expectedDuration");

    const int none = Qt::NoModifier;
    QTest::newRow("click clears the area") << false << 300.0 << 300.0 << none << 0.0 << 1000.0 << 2000.0
                                           << 3000.0 << 0.0 << 0.0;
    QTest::newRow("sub-pixel drag is a click") << false << 300.2 << 300.9 << none << 0.0 << 1000.0 << 2000.0
                                               << 3009.0 << 0.0 << 0.0;
    QTest::newRow("release a pixel away is no click") << false << 300.9 << 301.1 << none << 0.0 << 1000.0
                                                      << 2000.0 << 0.0 << 1000.0 << 2000.0;
    QTest::newRow("ctrl keeps the area") << false << 300.0 << 300.0 << int(Qt::ControlModifier) << 0.0 << 1000.0
                                         << 2000.0 << 3000.0 << 1000.0 << 2000.0;
    QTest::newRow("shift near the begin") << false << 120.0 << 120.0 << int(Qt::ShiftModifier) << 0.0 << 1000.0
                                          << 2000.0 << 0.0 << 1200.0 << 1800.0;
    QTest::newRow("shift near the end") << false << 250.0 << 250.0 << int(Qt::ShiftModifier) << 0.0 << 1000.0
                                        << 2000.0 << 0.0 << 1000.0 << 1500.0;
    QTest::newRow("shift without area, left of the cursor") << false << 200.0 << 200.0 << int(Qt::ShiftModifier)
                                                            << 5000.0 << 0.0 << 0.0 << 5000.0 << 2000.0 << 3000.0;
    QTest::newRow("ctrl+shift does nothing") << false << 200.0 << 200.0
                                             << int(Qt::ShiftModifier | Qt::ControlModifier) << 5000.0 << 1000.0
                                             << 2000.0 << 5000.0 << 1000.0 << 2000.0;
    QTest::newRow("event row click") << true << 300.0 << 300.0 << none << 0.0 << 1000.0 << 2000.0 << 3000.0 << 0.0
                                     << 0.0;
    QTest::newRow("event row shift") << true << 250.0 << 250.0 << int(Qt::ShiftModifier) << 0.0 << 1000.0
                                     << 2000.0 << 0.0 << 1000.0 << 1500.0;
}

void tst_TimelineScene::mouseSetsCursorAndMarkedArea()
{
    QFETCH(bool, eventRow);
    QFETCH(double, pressX);
    QFETCH(double, releaseX);
    QFETCH(int, modifiers);
    QFETCH(double, cursor);
    QFETCH(double, markedBegin);
    QFETCH(double, markedDuration);
    QFETCH(double, expectedCursor);
    QFETCH(double, expectedBegin);
    QFETCH(double, expectedDuration);

    std::unique_ptr<TimelineScene> scene;
    if (eventRow)
        scene = makeScene<EventTimelineScene>();
    else
        scene = makeScene<NavigateTimelineScene>();
    scene->setCurrentPos(cursor);
    scene->setMarkedArea(markedBegin, markedDuration);
    QSignalSpy marked(scene.get(), &TimelineScene::markedAreaChanged);

    click(scene.get(), pressX, releaseX, Qt::KeyboardModifiers(modifiers));

    QCOMPARE(scene->model().current, expectedCursor);
    QCOMPARE(scene->timelineItem()->markedBegin(), expectedBegin);
    QCOMPARE(scene->timelineItem()->markedDuration(), expectedDuration);
    const bool areaChanged = expectedBegin != markedBegin || expectedDuration != markedDuration;
    QCOMPARE(marked.count(), areaChanged ? 1 : 0);
    QCOMPARE(scene->timelineItem()->markedRect()->isVisible(), expectedDuration > 0);
}

void tst_TimelineScene::dragMovesContentAndCursorTogether()
{
    auto scene = makeScene<NavigateTimelineScene>();
    scene->setCurrentPos(5000);
    QSignalSpy range(scene.get(), &TimelineScene::rangeChanged);
    sendMouse(scene.get(), QEvent::GraphicsSceneMousePress, {500, 20}, {500, 20}, Qt::LeftButton, Qt::LeftButton);
    sendMouse(scene.get(), QEvent::GraphicsSceneMouseMove, {450, 20}, {500, 20}, Qt::NoButton, Qt::LeftButton);
    sendMouse(scene.get(), QEvent::GraphicsSceneMouseMove, {400, 20}, {450, 20}, Qt::NoButton, Qt::LeftButton);
    sendMouse(scene.get(), QEvent::GraphicsSceneMouseRelease, {400, 20}, {400, 20}, Qt::LeftButton, Qt::NoButton);

    QCOMPARE(range.count(), 2);
    QCOMPARE(scene->model().begin, 1000.0);
    QCOMPARE(scene->model().duration, kDuration);
    QCOMPARE(scene->model().current, 6000.0); // still under the same pixel
    QCOMPARE(scene->timelineItem()->cursorLine()->line().x1(), 500.0);
}

void tst_TimelineScene::zoomKeepsLimitsAndCursorPlace_data()
{
    QTest::addColumn<double>("duration");
    QTest::addColumn<double>("cursor"); // ms; the range starts at 0
    QTest::addColumn<double>("factor");
    QTest::addColumn<bool>("applied");

    // 1000 pixels: 40 ms to 1900800000 ms are allowed.
    QTest::newRow("in") << 10000.0 << 2500.0 << 0.8 << true;
    QTest::newRow("in to the finest") << 50.0 << 25.0 << 0.8 << true;
    QTest::newRow("in past the finest") << 49.0 << 25.0 << 0.8 << false;
    QTest::newRow("out to the coarsest") << 1520640000.0 << 0.0 << 1.25 << true;
    QTest::newRow("out past the coarsest") << 1600000000.0 << 0.0 << 1.25 << false;
    QTest::newRow("cursor out of view") << 10000.0 << 10001.0 << 0.8 << false;
    QTest::newRow("cursor before the view") << 10000.0 << -1.0 << 1.25 << false;
}

void tst_TimelineScene::zoomKeepsLimitsAndCursorPlace()
{
    QFETCH(double, duration);
    QFETCH(double, cursor);
    QFETCH(double, factor);
    QFETCH(bool, applied);

    auto scene = makeScene<NavigateTimelineScene>();
    scene->setRange(0, duration);
    scene->setCurrentPos(cursor);
    const double ratio = cursor / duration;
    scene->zoomAroundCursor(factor);

    const TimeModel &m = scene->model();
    QCOMPARE(m.duration, applied ? duration * factor : duration);
    if (applied)
        QVERIFY(qAbs((m.current - m.begin) / m.duration - ratio) < 1e-9);
    else
        QCOMPARE(m.begin, 0.0);
}

void tst_TimelineScene::cursorJumpLandsAtATenth()
{
    auto scene = makeScene<NavigateTimelineScene>();
    scene->moveCurrentPos(4000); // in view: the range stays
    QCOMPARE(scene->model().begin, 0.0);
    scene->moveCurrentPos(50000);
    QCOMPARE(scene->model().begin, 49000.0);
    QCOMPARE(scene->model().current, 50000.0);
    QCOMPARE(scene->timelineItem()->cursorLine()->line().x1(), 100.0);
}

void tst_TimelineScene::markedAreaTurnsNegativeSpansAround()
{
    auto scene = makeScene<NavigateTimelineScene>();
    QSignalSpy marked(scene.get(), &TimelineScene::markedAreaChanged);
    scene->setMarkedArea(3000, -1000);
    const TimelineItem *item = scene->timelineItem();
    QCOMPARE(item->markedBegin(), 2000.0);
    QCOMPARE(item->markedDuration(), 1000.0);
    QCOMPARE(item->markedRect()->rect(), QRectF(200, 0, 100, kHeight - 1));
    scene->setMarkedArea(2000, 1000.000001); // the same within the tolerance
    QCOMPARE(marked.count(), 1);

    // Fitting the view to it puts the cursor at its start.
    scene->fitToMarkedArea();
    QCOMPARE(scene->model().begin, 2000.0);
    QVERIFY(!TimelineMath::differs(scene->model().duration, 1000.0));
    QCOMPARE(scene->model().current, 2000.0);
    // An area narrower than the zoom limit does not fit.
    scene->setMarkedArea(0, 30);
    scene->fitToMarkedArea();
    QVERIFY(!TimelineMath::differs(scene->model().duration, 1000.0));
}

void tst_TimelineScene::removeDataItemByOverlap_data()
{
    QTest::addColumn<double>("begin");
    QTest::addColumn<double>("end");
    QTest::addColumn<bool>("isInside");
    QTest::addColumn<QList<double>>("kept"); // beginnings

    // Items span [0, 100], [100, 200] and [300, 400].
    QTest::newRow("inside: touching at its end") << 200.0 << 250.0 << true << QList<double>{0, 300};
    QTest::newRow("inside: touching at its begin") << 250.0 << 300.0 << true << QList<double>{0, 100};
    QTest::newRow("inside: in a gap") << 210.0 << 290.0 << true << QList<double>{0, 100, 300};
    QTest::newRow("outside: keep one") << 150.0 << 160.0 << false << QList<double>{100};
    QTest::newRow("outside: keep both that touch") << 100.0 << 100.0 << false << QList<double>{0, 100};
    QTest::newRow("outside: keep none") << 500.0 << 600.0 << false << QList<double>{};
}

void tst_TimelineScene::removeDataItemByOverlap()
{
    QFETCH(double, begin);
    QFETCH(double, end);
    QFETCH(bool, isInside);
    QFETCH(QList<double>, kept);

    auto scene = makeScene<NavigateTimelineScene>();
    const QDateTime base = scene->model().base;
    scene->addDataItem(TimelineScene::AudioItem, base, 0, 100, samples({1, 2}));
    scene->addDataItem(TimelineScene::AudioItem, base, 100, 100, samples({1, 2}));
    scene->addDataItem(TimelineScene::AudioItem, base, 300, 100, QByteArray());
    scene->addDataItem(7, base, 300, 100, QByteArray()); // no such kind: ignored
    QCOMPARE(scene->dataItemCount(), 3);

    scene->removeDataItem(begin, end, isInside);
    QCOMPARE(beginnings(*scene), kept);
    // What is left stays where its time is.
    for (int i = 0; i < scene->dataItemCount(); ++i)
        QCOMPARE(scene->dataItem(i)->x(), scene->dataItem(i)->beginning() / 10);
}

void tst_TimelineScene::eventBoxesKeepTimeOrderAndShowText()
{
    auto scene = makeScene<EventTimelineScene>();
    const QDateTime base = scene->model().base;
    const QByteArray russian = QStringLiteral("Тревога: потеря связи").toUtf8();
    scene->addDataItem(TimelineScene::EventItem, base, 3000, 0, russian);
    scene->addDataItem(TimelineScene::EventItem, base, 1000, 0, QByteArray("first\0hidden", 12));
    scene->addDataItem(TimelineScene::EventItem, base, 3000, 0, "same time, later");
    scene->addDataItem(TimelineScene::EventItem, base, 2000, 0, QByteArray());
    QCOMPARE(beginnings(*scene), (QList<double>{1000, 2000, 3000, 3000}));

    auto *first = static_cast<EventStreamDataItem2 *>(scene->dataItem(0));
    auto *empty = static_cast<EventStreamDataItem2 *>(scene->dataItem(1));
    auto *alarm = static_cast<EventStreamDataItem2 *>(scene->dataItem(2));
    auto *later = static_cast<EventStreamDataItem2 *>(scene->dataItem(3));
    QCOMPARE(first->text(), QStringLiteral("first"));
    QCOMPARE(alarm->text(), QStringLiteral("Тревога: потеря связи"));
    QCOMPARE(later->text(), QStringLiteral("same time, later"));

    // Boxes from x = 5, 5 pixels apart, at y = 40; spans on the top edge.
    QCOMPARE(first->pos(), QPointF(5, EventTimelineScene::kBoxTop));
    QCOMPARE(empty->x(), 210.0);
    QCOMPARE(alarm->x(), 415.0);
    QCOMPARE(alarm->spanRect()->rect().x() + alarm->x(), 300.0);
    QCOMPARE(alarm->spanRect()->rect().y() + alarm->y(), 0.0);

    // After the refresh every box with text shows; the empty one never does.
    QTRY_VERIFY(!scene->isRefreshPending());
    QVERIFY(first->isVisible());
    QVERIFY(alarm->isVisible());
    QVERIFY(!empty->isVisible());
    empty->show();
    QVERIFY(!empty->isVisible());
}

void tst_TimelineScene::eventTicksWhereBoxesDoNotFit_data()
{
    QTest::addColumn<QList<double>>("times"); // ms; 10 ms per pixel
    QTest::addColumn<QByteArray>("data");     // of every item
    QTest::addColumn<double>("itemDuration"); // ms
    QTest::addColumn<QList<int>>("counts");   // events per tick; empty: boxes
    const QByteArray one("Вызов");
    QTest::newRow("boxes fit near their events") << QList<double>{1000, 3000, 5000} << one << 0.0 << QList<int>();
    QTest::newRow("crowded events merge") << QList<double>{5000, 5020, 5040, 9000} << one << 0.0 << QList<int>{3, 1};
    QTest::newRow("more boxes than the row holds")
        << QList<double>{0, 2000, 4000, 6000, 8000, 9900} << one << 0.0 << QList<int>{1, 1, 1, 1, 1, 1};
    // A zoomed-out item carries several events' texts, each ended by a zero.
    QTest::newRow("zoomed-out items") << QList<double>{1000, 6000} << QByteArray("a\0b\0c\0", 6) << 800.0
                                      << QList<int>{3, 3};
}

// Ticks count their events; hovering names them; a double click zooms in.
void tst_TimelineScene::eventTicksWhereBoxesDoNotFit()
{
    QFETCH(QList<double>, times);
    QFETCH(QByteArray, data);
    QFETCH(double, itemDuration);
    QFETCH(QList<int>, counts);
    auto scene = makeScene<EventTimelineScene>();
    for (double t : times)
        scene->addDataItem(TimelineScene::EventItem, scene->model().base, t, itemDuration, data);
    QTRY_VERIFY(!scene->isRefreshPending());
    QCOMPARE(scene->showsTicks(), !counts.isEmpty());
    QCOMPARE(scene->ticksItem()->isVisible(), !counts.isEmpty());
    QList<int> seen;
    for (const EventTicksItem::Tick &tick : scene->ticksItem()->ticks())
        seen.append(tick.count);
    QCOMPARE(seen, counts);
    for (int i = 0; i < scene->dataItemCount(); ++i)
        QCOMPARE(scene->dataItem(i)->isVisible(), counts.isEmpty());
    if (counts.isEmpty())
        return;
    const EventTicksItem::Tick first = scene->ticksItem()->ticks().first();
    QCOMPARE(first.x, (times.first() - scene->model().begin) / (kDuration / kWidth));
    QVERIFY(first.lines.first().endsWith(QString::fromUtf8(data.left(data.indexOf('\0') < 0 ? data.size() : data.indexOf('\0')))));
    sendMouse(scene.get(), QEvent::GraphicsSceneMouseDoubleClick, QPointF(first.x + 2, 50), QPointF(first.x + 2, 50),
              Qt::LeftButton, Qt::LeftButton);
    QCOMPARE(scene->model().begin, first.begin - EventTimelineScene::kTickZoomPadMs);
    QCOMPARE(scene->model().duration, first.end - first.begin + 2 * EventTimelineScene::kTickZoomPadMs);
}

void tst_TimelineScene::dataItemsHiddenWhileRangeMoves()
{
    auto scene = makeScene<NavigateTimelineScene>();
    scene->addDataItem(TimelineScene::AudioItem, scene->model().base, 1000, 500, samples({1, 2, 3}));
    StreamDataItem *item = scene->dataItem(0);
    QSignalSpy requested(scene.get(), &TimelineScene::dataItemRangeChanged);

    scene->setRange(500, kDuration);
    QVERIFY(!item->isVisible());
    QCOMPARE(item->x(), 50.0);
    QCOMPARE(item->width(), 50.0);
    QCOMPARE(requested.count(), 1);
    scene->setRange(500.000001, kDuration); // no change
    QCOMPARE(requested.count(), 1);
    QTRY_VERIFY(item->isVisible());
}

void tst_TimelineScene::audioDrawingModes_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("pixels"); // -1: not checked
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<bool>("brightGreen");

    // 100 pixels high: sample v is drawn at (1 - v / 32767) * 50, +-16384
    // from row 24 (24.9992 rounded down by the line) to row 75.
    QTest::newRow("one byte: no sample pair") << QByteArray(1, 'x') << 50 << 0 << -1 << -1 << false;
    QTest::newRow("no data: a block") << QByteArray() << 20 << 20 * 100 << 0 << 99 << false;
    QVector<qint16> many(8000, 0);
    QTest::newRow("8000 samples in 20 pixels: a block") << samples(many) << 20 << 20 * 100 << 0 << 99 << false;
    QVector<qint16> alternating(2000);
    for (int i = 0; i < alternating.size(); ++i)
        alternating[i] = i % 2 ? -16384 : 16384;
    QTest::newRow("2000 samples in 100 pixels: an envelope") << samples(alternating) << 100 << -1 << 24 << 75
                                                             << true;
    QTest::newRow("a polyline") << samples({16384, -16384, 16384}) << 100 << -1 << 24 << 75 << true;
    QTest::newRow("a flat polyline") << samples(QVector<qint16>(10, 0)) << 100 << -1 << 50 << 50 << true;
}

void tst_TimelineScene::audioDrawingModes()
{
    QFETCH(QByteArray, data);
    QFETCH(int, width);
    QFETCH(int, pixels);
    QFETCH(int, top);
    QFETCH(int, bottom);
    QFETCH(bool, brightGreen);

    const Drawn drawn = drawAudio(data, width, kHeight);
    if (pixels >= 0)
        QCOMPARE(drawn.pixels, pixels);
    QCOMPARE(drawn.top, top);
    QCOMPARE(drawn.bottom, bottom);
    QCOMPARE(drawn.brightGreen, brightGreen);
}

// Month ticks step by calendar months from the first of January.
void tst_TimelineScene::monthTicksFallOnTheFirst()
{
    const QDateTime t(QDate(2012, 3, 17), QTime(13, 5, 7), Qt::UTC);
    QDateTime tick = TickUnits::startOfEnclosing(t, TickUnits::Months);
    QCOMPARE(tick, QDateTime(QDate(2012, 1, 1), QTime(0, 0), Qt::UTC));
    for (int month = 2; month <= 12; ++month) {
        tick = TickUnits::advance(tick, TickUnits::Months);
        QCOMPARE(tick.date(), QDate(2012, month, 1));
        QCOMPARE(TickUnits::minorLabel(tick, TickUnits::Months), QStringLiteral("%1 мес").arg(month, 2, 10, QChar('0')));
    }
    QCOMPARE(TickUnits::advance(tick, TickUnits::Years).date(), QDate(2013, 12, 1));
}

// Every view span at every width shows at least two whole minor labels, and
// none is cut by the left edge; ticks step by whole units of their field.
void tst_TimelineScene::axisReadsAtEveryZoom_data()
{
    QTest::addColumn<double>("span");
    QTest::addColumn<int>("width");
    const double second = 1000, minute = 60 * second, hour = 60 * minute, day = 24 * hour;
    const QList<QPair<const char *, double>> spans = {
        {"0.5 s", 0.5 * second}, {"22 s", 22 * second}, {"45 s", 45 * second}, {"60 s", 60 * second},
        {"10 min", 10 * minute}, {"45 min", 45 * minute}, {"3 h", 3 * hour}, {"24 h", day},
        {"7 days", 7 * day}, {"90 days", 90 * day}, {"3 years", 3 * 365 * day}};
    for (const auto &span : spans) {
        for (int width : {300, 800, 1900})
            QTest::newRow(qPrintable(QStringLiteral("%1 in %2 px").arg(span.first).arg(width))) << span.second << width;
    }
}

void tst_TimelineScene::axisReadsAtEveryZoom()
{
    QFETCH(double, span);
    QFETCH(int, width);
    HeaderTimelineItem axis;
    axis.setSize(width, kHeight);
    TimeModel model;
    model.base = QDateTime(QDate(2026, 12, 8), QTime(8, 0, 13, 370));
    model.begin = 0;
    model.duration = span;
    axis.setModel(model);
    const QFontMetrics metrics(QApplication::font());
    int whole = 0;
    QStringList texts;
    for (const HeaderTimelineItem::Label &label : axis.minorLabels(metrics)) {
        QVERIFY(label.x >= 0);
        whole += label.x + metrics.horizontalAdvance(label.text) <= width ? 1 : 0;
        texts << label.text;
    }
    QVERIFY2(whole >= 2, qPrintable(texts.join(", ")));
    QVERIFY(axis.model().step >= 1);
}

QTEST_MAIN(tst_TimelineScene)
#include "tst_timelinescene.moc"
