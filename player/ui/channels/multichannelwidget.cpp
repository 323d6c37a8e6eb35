#include "multichannelwidget.h"

#include "player/engine/channelaudibility.h"
#include "player/engine/scalestreamhandles.h"
#include "player/engine/streamthread2.h"
#include "player/ui/channels/rowcontrols.h"
#include "player/ui/timeline/timelineitem.h"
#include "player/ui/timeline/timelinescene.h"
#include "player/ui/timeline/timelineview.h"

#include <QFontMetrics>
#include <QGraphicsSimpleTextItem>
#include <QMdiSubWindow>

#include <cmath>

namespace PlayerUi {

namespace {

const QString kType = QStringLiteral("TYPE");
const QString kDescription = QStringLiteral("DESCRIPTION");
const QString kAudio = QStringLiteral("audio");
const QString kText = QStringLiteral("text");
constexpr int kInitialUnit = TickUnits::Minutes;
constexpr int kInitialAxisSize = 100;      // pixels, until the view is laid out
constexpr qreal kLabelIndent = 5;          // pixels from the row's top left
constexpr qreal kLabelZ = 100;
constexpr int kControlsTop = 26;           // pixels: the row controls, below the name
const QColor kLabelColour(Qt::yellow);
const QColor kCurrentLabelColour(Qt::white);
const QColor kUnheardLabelColour(Qt::gray);
const QString kId = QStringLiteral("ID");

} // namespace

MultiChannelWidget::MultiChannelWidget(QWidget *parent)
    : MyMdiArea(parent)
    , m_navigation(std::make_unique<NavigateTimelineScene>())
    , m_flags(new JournalFlagsItem)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    TimeModel model;
    model.base = QDateTime::currentDateTime();
    model.unit = kInitialUnit;
    model.begin = 0;
    model.duration = kInitialDuration;

    auto *view = new TimelineView;
    auto axis = std::make_unique<HeaderTimelineItem>();
    axis->setSize(kInitialAxisSize, kInitialAxisSize);
    axis->setModel(model);
    m_navigation->setModel(model);
    m_navigation->setBackgroundBrush(QBrush(Qt::black));
    m_navigation->setTimelineItem(std::move(axis));
    view->setScene(m_navigation.get());
    // The axis draws its labels within three label heights; the row is made
    // taller should the font need more.
    const QFontMetrics metrics(view->font());
    const int axisHeight = 3 * metrics.height() + metrics.descent() + kViewInset + kGripStrip;
    addRow(view, qMax(kNavigationRowHeight, axisHeight));

    connect(m_navigation.get(), &TimelineScene::currentPosChanged, this, &MultiChannelWidget::currentPosChanged);
    connect(m_navigation.get(), &TimelineScene::cursorPlaced, this, &MultiChannelWidget::cursorPlaced);
    connect(m_navigation.get(), &TimelineScene::markedAreaChanged, this, &MultiChannelWidget::markedAreaChanged);

    m_navigation->addItem(m_flags);
    m_flags->setRange(model.begin, model.duration);
    connect(m_navigation.get(), &TimelineScene::rangeChanged, this,
            [this](double begin, double duration) { m_flags->setRange(begin, duration); });
    connect(m_navigation.get(), &QGraphicsScene::sceneRectChanged, this,
            [this](const QRectF &rect) { m_flags->setSize(rect.width(), rect.height()); });
    connect(m_navigation.get(), &NavigateTimelineScene::doubleClicked, this, &MultiChannelWidget::navigationDoubleClick);
}

void MultiChannelWidget::setJournalFlags(const QVector<JournalFlagsItem::Flag> &flags)
{
    m_flags->setFlags(flags);
}

void MultiChannelWidget::navigationDoubleClick(double x)
{
    if (const JournalFlagsItem::Flag *flag = m_flags->flagAt(x)) {
        const double pos = flag->pos;
        m_navigation->setCurrentPos(pos);
        emit cursorPlaced(pos);
    }
}

MultiChannelWidget::~MultiChannelWidget()
{
    freeStreams();
}

void MultiChannelWidget::setThresholds(const QList<uint> &thresholds)
{
    m_thresholds = thresholds;
}

TimelineScene *MultiChannelWidget::rowScene(int row) const
{
    return m_rows.at(size_t(row)).scene.get();
}

double MultiChannelWidget::markedBegin() const
{
    return m_navigation->timelineItem()->markedBegin();
}

double MultiChannelWidget::markedDuration() const
{
    return m_navigation->timelineItem()->markedDuration();
}

bool MultiChannelWidget::isServed() const
{
    for (const Row &row : m_rows) {
        const TimeModel &model = row.scene->model();
        if (TimelineMath::differs(row.servedBegin, model.begin) || TimelineMath::differs(row.servedDuration, model.duration))
            return false;
    }
    return true;
}

// --- slots -------------------------------------------------------------------

void MultiChannelWidget::setBase(QDateTime base)
{
    m_navigation->setBase(base);
    m_navigation->setRange(0, kOpeningDuration);
    m_navigation->setCurrentPos(0);
}

void MultiChannelWidget::freeStreams()
{
    const QList<QMdiSubWindow *> windows = subWindowList(QMdiArea::CreationOrder);
    for (int i = windows.size() - 1; i >= 1; --i)
        windows.at(i)->close();
    ++m_generation;
    m_feeders.stopAll();
    m_rows.clear();
}

void MultiChannelWidget::activeStreamListChange(QList<QMap<QString, QString>> activeStreamSettingList)
{
    freeStreams();
    for (const QMap<QString, QString> &descriptor : qAsConst(activeStreamSettingList)) {
        const QString type = descriptor.value(kType);
        if (type == kAudio) {
            addStreamRow(std::make_unique<AudioScaleHandle2>(descriptor, m_thresholds),
                         std::make_unique<NavigateTimelineScene>(), StreamThread2::AudioItem, descriptor);
        } else if (type == kText) {
            addStreamRow(std::make_unique<TextScaleHandle2>(descriptor, m_thresholds),
                         std::make_unique<EventTimelineScene>(), StreamThread2::TextItem, descriptor);
        }
    }
    setCurrentRow(0);
}

// Follows the play position when it moves. A position that stays put is not
// asserted again: while the engine cannot seek (no sound output), the
// cursor the user placed would be pulled back every 100 ms.
void MultiChannelWidget::currentStateChange(double ts, int state)
{
    Q_UNUSED(state);
    if (!std::isnan(m_reportedPos) && !TimelineMath::differs(ts, m_reportedPos))
        return;
    m_reportedPos = ts;
    m_navigation->moveCurrentPos(ts);
}

void MultiChannelWidget::zoom(double factor)
{
    m_navigation->zoomAroundCursor(factor);
}

void MultiChannelWidget::fitToMarkedArea()
{
    m_navigation->fitToMarkedArea();
}

void MultiChannelWidget::setMarkedArea(double begin, double duration)
{
    m_navigation->setMarkedArea(begin, duration);
}

void MultiChannelWidget::moveCurrentPos(double pos)
{
    m_navigation->moveCurrentPos(pos);
}

// --- rows --------------------------------------------------------------------

void MultiChannelWidget::addStreamRow(std::unique_ptr<ScaleStreamHandle2> reader, std::unique_ptr<TimelineScene> scene,
                                      int kind, const QMap<QString, QString> &descriptor)
{
    TimelineScene *nav = m_navigation.get();
    const TimelineItem *axis = nav->timelineItem();
    const TimeModel model = nav->model();

    auto *view = new TimelineView;
    auto grid = std::make_unique<StreamTimelineItem>();
    grid->setSize(axis->width(), axis->height());
    grid->setModel(model);
    scene->setModel(model);
    scene->setBackgroundBrush(QBrush(Qt::black));
    scene->setTimelineItem(std::move(grid));
    view->setScene(scene.get());
    TimelineScene *row = scene.get();
    const int index = int(m_rows.size());
    auto *name = new QGraphicsSimpleTextItem(descriptor.value(kDescription));
    name->setBrush(QBrush(kLabelColour));
    name->setPos(kLabelIndent, kLabelIndent);
    name->setZValue(kLabelZ);
    row->addItem(name); // the scene owns it
    Row entry;
    entry.scene = std::move(scene);
    entry.id = descriptor.value(kId);
    entry.audio = kind == StreamThread2::AudioItem;
    entry.label = name;
    if (entry.audio && m_audibility) {
        entry.controls = new RowControls(m_audibility, entry.id, view);
        entry.controls->move(int(kLabelIndent), kControlsTop);
    }
    m_rows.push_back(std::move(entry));

    auto feeder = std::make_unique<StreamThread2>(std::move(reader), model.base, kind);
    feeder->setDetailThreshold(kDetailThreshold);
    connect(feeder.get(), &StreamThread2::addDataItem, row, &TimelineScene::addDataItem);
    connect(feeder.get(), &StreamThread2::removeDataItem, row, &TimelineScene::removeDataItem);
    connect(row, &TimelineScene::dataItemRangeChanged, feeder.get(), &StreamThread2::rangeChanged);
    connect(row, &QGraphicsScene::sceneRectChanged, feeder.get(), &StreamThread2::sceneRectChange);
    const quint64 generation = m_generation;
    connect(feeder.get(), &StreamThread2::rangeServed, this, [this, generation, index](double begin, double duration) {
        rowServe(generation, index, begin, duration);
    });
    // The feeder starts from the row as it is: later changes reach it
    // through the connections.
    feeder->sceneRectChange(row->sceneRect());
    feeder->rangeChanged(model.begin, model.duration);
    m_feeders.start(std::move(feeder));

    connect(nav, &TimelineScene::currentPosChanged, row, &TimelineScene::setCurrentPos);
    connect(row, &TimelineScene::currentPosChanged, nav, &TimelineScene::setCurrentPos);
    connect(row, &TimelineScene::cursorPlaced, this, &MultiChannelWidget::cursorPlaced);
    connect(nav, &TimelineScene::rangeChanged, row, &TimelineScene::setRange);
    connect(row, &TimelineScene::rangeChanged, nav, &TimelineScene::setRange);
    connect(nav, &TimelineScene::markedAreaChanged, row, &TimelineScene::setMarkedArea);
    connect(row, &TimelineScene::markedAreaChanged, nav, &TimelineScene::setMarkedArea);

    row->setMarkedArea(axis->markedBegin(), axis->markedDuration());
    addRow(view, kStreamRowHeight);
}

void MultiChannelWidget::rowServe(quint64 generation, int row, double begin, double duration)
{
    if (generation != m_generation || row >= int(m_rows.size()))
        return;
    m_rows[size_t(row)].servedBegin = begin;
    m_rows[size_t(row)].servedDuration = duration;
    if (isServed())
        emit streamsServed();
}

} // namespace PlayerUi

namespace PlayerUi {

QString MultiChannelWidget::rowId(int row) const
{
    return row >= 0 && row < streamRowCount() ? m_rows.at(size_t(row)).id : QString();
}

bool MultiChannelWidget::isAudioRow(int row) const
{
    return row >= 0 && row < streamRowCount() && m_rows.at(size_t(row)).audio;
}

QWidget *MultiChannelWidget::rowControls(int row) const
{
    return row >= 0 && row < streamRowCount() ? m_rows.at(size_t(row)).controls : nullptr;
}

void MultiChannelWidget::setAudibility(ChannelAudibility *audibility)
{
    m_audibility = audibility;
    connect(audibility, &ChannelAudibility::audibilityChanged, this, &MultiChannelWidget::paintRowLabels);
}

void MultiChannelWidget::setCurrentRow(int row)
{
    m_currentRow = qBound(0, row, qMax(0, streamRowCount() - 1));
    paintRowLabels();
}

void MultiChannelWidget::paintRowLabels()
{
    for (int i = 0; i < streamRowCount(); ++i) {
        const Row &row = m_rows.at(size_t(i));
        const bool heard = !row.audio || !m_audibility || m_audibility->isAudible(row.id);
        const QColor colour = !heard ? kUnheardLabelColour : i == m_currentRow ? kCurrentLabelColour : kLabelColour;
        row.label->setBrush(colour);
        QFont font = row.label->font();
        font.setBold(i == m_currentRow);
        row.label->setFont(font);
    }
}

void MultiChannelWidget::previousRowClick()
{
    setCurrentRow(m_currentRow - 1);
}

void MultiChannelWidget::nextRowClick()
{
    setCurrentRow(m_currentRow + 1);
}

void MultiChannelWidget::muteRowClick()
{
    if (m_audibility && isAudioRow(currentRow()))
        m_audibility->toggleMuted(rowId(currentRow()));
}

void MultiChannelWidget::soloRowClick()
{
    if (m_audibility && isAudioRow(currentRow()))
        m_audibility->toggleSoloed(rowId(currentRow()));
}

} // namespace PlayerUi
