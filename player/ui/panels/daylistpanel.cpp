#include "daylistpanel.h"

#include "player/ui/panels/panelrules.h"

#include <QBoxLayout>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTimerEvent>
#include <QTreeWidget>

namespace PlayerUi {

namespace {

const QString kDayFormat = QStringLiteral("dd.MM.yyyy");

} // namespace

DayListPanel::DayListPanel(QLabel *label, QWidget *input, const QStringList &columns, QWidget *parent)
    : QWidget(parent)
    , m_label(label)
    , m_input(input)
{
    m_list = new QTreeWidget;
    m_list->setColumnCount(columns.size());
    m_list->setHeaderLabels(columns);
    m_start = new QPushButton(QStringLiteral("Старт"));
    m_stop = new QPushButton(QStringLiteral("Стоп"));
    m_progress = new QProgressBar;
    m_progress->setMaximum(kProgressMaximum);

    auto *inputRow = new QHBoxLayout;
    inputRow->addWidget(m_label);
    inputRow->addWidget(m_input);
    inputRow->addWidget(m_start);
    inputRow->addStretch();
    auto *runRow = new QHBoxLayout;
    runRow->addWidget(m_stop);
    runRow->addWidget(m_progress, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(inputRow);
    layout->addLayout(runRow);
    showRunning(false);

    connect(m_start, &QPushButton::clicked, this, &DayListPanel::startClick);
    connect(m_stop, &QPushButton::clicked, this, &DayListPanel::stopClick);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &DayListPanel::itemDoubleClick);
}

DayListPanel::~DayListPanel() = default;

QSize DayListPanel::sizeHint() const
{
    int width = m_list->fontMetrics().averageCharWidth() * kLastColumnChars;
    for (int c = 0; c + 1 < m_list->columnCount(); ++c)
        width += m_list->columnWidth(c);
    width += m_list->verticalScrollBar()->sizeHint().width() + 2 * m_list->frameWidth();
    const QMargins margins = layout()->contentsMargins();
    return QSize(qMax(width + margins.left() + margins.right(), QWidget::sizeHint().width()), QWidget::sizeHint().height());
}

void DayListPanel::setBase(QDateTime base)
{
    if (base != m_base)
        m_base = base;
}

// The focus goes from the hidden controls to their counterpart ("Старт"
// and "Стоп"), not on to the list: a focused list stops following the
// play position.
void DayListPanel::showRunning(bool running)
{
    const bool inputFocused = m_input->isAncestorOf(focusWidget()) || m_input->hasFocus() || m_start->hasFocus();
    const bool stopFocused = m_stop->hasFocus();
    if (running) {
        m_stop->setVisible(true);
        if (inputFocused)
            m_stop->setFocus();
    } else {
        m_start->setVisible(true);
        if (stopFocused)
            m_start->setFocus();
    }
    m_label->setVisible(!running);
    m_input->setVisible(!running);
    m_start->setVisible(!running);
    m_stop->setVisible(running);
    m_progress->setVisible(running);
}

void DayListPanel::startClick()
{
    stopClick();
    m_rows.clear();
    m_rowOffsets.clear();
    m_list->clear();
    m_day.reset();
    m_lastDay = m_base.date().addDays(-1);
    m_progress->setValue(0);
    if (!beginRun())
        return;
    showRunning(true);
    m_timer = startTimer(kTickMs, Qt::CoarseTimer);
    // The first slice runs as soon as the event loop is back, not a tick later.
    QTimer::singleShot(0, this, [this] {
        if (m_timer != 0)
            tick();
    });
}

void DayListPanel::stopClick()
{
    if (m_timer != 0)
        killTimer(m_timer);
    m_timer = 0;
    showRunning(false);
}

void DayListPanel::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_timer && m_timer != 0)
        tick();
    else
        QWidget::timerEvent(event);
}

void DayListPanel::tick()
{
    QElapsedTimer elapsed;
    elapsed.start();
    do {
        double offset = 0;
        QTreeWidgetItem *row = nullptr;
        if (!step(&offset, &row)) {
            finishRun();
            return;
        }
        if (row)
            addResult(offset, row);
    } while (!elapsed.hasExpired(kTickBudgetMs));
    m_progress->setValue(int(progress() * kProgressMaximum));
}

void DayListPanel::addResult(double offset, QTreeWidgetItem *row)
{
    const QDateTime t = m_base.addMSecs(qint64(offset));
    if (t.date() != m_lastDay) {
        closeDay();
        m_lastDay = t.date();
        const double dayOffset = double(m_base.msecsTo(QDateTime(m_lastDay, QTime(0, 0), m_base.timeSpec(), m_base.offsetFromUtc())));
        m_day = std::make_unique<QTreeWidgetItem>();
        m_day->setText(0, m_lastDay.toString(kDayFormat));
        m_day->setData(0, Qt::UserRole, dayOffset);
        m_day->setData(1, Qt::UserRole, dayOffset);
    }
    m_day->addChild(row);
}

// A day row enters the list with all its results at once.
void DayListPanel::closeDay()
{
    if (!m_day)
        return;
    QTreeWidgetItem *day = m_day.release();
    m_list->addTopLevelItem(day);
    day->setExpanded(true);
}

void DayListPanel::finishRun()
{
    closeDay();
    m_progress->setValue(int(progress() * kProgressMaximum));
    rebuildCache();
    stopClick();
}

void DayListPanel::rebuildCache()
{
    m_rows.clear();
    m_rowOffsets.clear();
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *day = m_list->topLevelItem(i);
        m_rows.append(day);
        m_rowOffsets.append(day->data(0, Qt::UserRole).toDouble());
        for (int j = 0; j < day->childCount(); ++j) {
            m_rows.append(day->child(j));
            m_rowOffsets.append(day->child(j)->data(0, Qt::UserRole).toDouble());
        }
    }
}

void DayListPanel::itemDoubleClick(QTreeWidgetItem *item, int column)
{
    if (!item)
        return;
    bool ok = false;
    const double value = item->data(seekColumn(column), Qt::UserRole).toDouble(&ok);
    // A day that began before the recording's base starts at its base.
    if (ok)
        emit moved(qMax(0.0, value));
}

void DayListPanel::currentStateChanged(double ts, int state)
{
    Q_UNUSED(state);
    if (m_rows.isEmpty() || m_list->hasFocus())
        return;
    const int current = m_rows.indexOf(m_list->currentItem());
    const int row = PanelRules::followRow(m_rowOffsets, current, ts);
    if (row < 0 || row == current)
        return;
    m_list->setCurrentItem(m_rows.at(row));
    m_list->scrollToItem(m_rows.at(row), QAbstractItemView::PositionAtCenter);
}

} // namespace PlayerUi
