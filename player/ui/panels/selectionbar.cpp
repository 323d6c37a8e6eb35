#include "selectionbar.h"

#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

#include <cmath>

namespace PlayerUi {

namespace {

const QString kFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz");
constexpr qint64 kMsPerSecond = 1000;
constexpr qint64 kMsPerMinute = 60 * kMsPerSecond;
constexpr qint64 kMsPerHour = 60 * kMsPerMinute;

QDateTimeEdit *makeEditor(const QString &toolTip)
{
    auto *editor = new QDateTimeEdit;
    editor->setTimeSpec(Qt::UTC);
    editor->setDisplayFormat(kFormat);
    editor->setToolTip(toolTip);
    editor->setKeyboardTracking(false);
    return editor;
}

} // namespace

SelectionBar::SelectionBar(QWidget *parent)
    : QToolBar(QStringLiteral("Выделение"), parent)
    , m_start(makeEditor(QStringLiteral("Начало выделенной области")))
    , m_end(makeEditor(QStringLiteral("Конец выделенной области")))
    , m_length(new QLineEdit)
{
    setObjectName(QStringLiteral("Selection"));
    m_length->setToolTip(QStringLiteral("Длительность выделенной области (ч:мм:сс.ммм)"));
    m_length->setFixedWidth(m_length->fontMetrics().horizontalAdvance(QStringLiteral("000:00:00.000")) + 16);
    addWidget(new QLabel(QStringLiteral(" Выделено: ")));
    addWidget(m_start);
    addWidget(new QLabel(QStringLiteral(" – ")));
    addWidget(m_end);
    addWidget(new QLabel(QStringLiteral(" длительность ")));
    addWidget(m_length);
    connect(m_start, &QDateTimeEdit::editingFinished, this, &SelectionBar::startEdit);
    connect(m_end, &QDateTimeEdit::editingFinished, this, &SelectionBar::endEdit);
    connect(m_length, &QLineEdit::editingFinished, this, &SelectionBar::lengthEdit);
}

QString SelectionBar::lengthText(double ms)
{
    const qint64 total = qint64(std::llround(qMax(0.0, ms)));
    return QStringLiteral("%1:%2:%3.%4")
        .arg(total / kMsPerHour)
        .arg(total % kMsPerHour / kMsPerMinute, 2, 10, QLatin1Char('0'))
        .arg(total % kMsPerMinute / kMsPerSecond, 2, 10, QLatin1Char('0'))
        .arg(total % kMsPerSecond, 3, 10, QLatin1Char('0'));
}

bool SelectionBar::parseLength(const QString &text, double *ms)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(?:(\\d+):)?(\\d{1,2}):(\\d{1,2})(?:[.,](\\d{1,3}))?\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    const qint64 minutes = match.captured(2).toLongLong();
    const qint64 seconds = match.captured(3).toLongLong();
    if (minutes >= 60 || seconds >= 60)
        return false;
    const QString fraction = match.captured(4).leftJustified(3, QLatin1Char('0'));
    *ms = double(match.captured(1).toLongLong() * kMsPerHour + minutes * kMsPerMinute + seconds * kMsPerSecond
                 + fraction.toLongLong());
    return true;
}

void SelectionBar::setBase(QDateTime base)
{
    m_base = base;
    show(m_begin, m_duration);
}

void SelectionBar::setMarkedArea(double begin, double duration)
{
    if (duration < 0) {
        begin += duration;
        duration = -duration;
    }
    show(begin, duration);
}

void SelectionBar::show(double begin, double duration)
{
    m_begin = begin;
    m_duration = duration;
    const QSignalBlocker startBlocker(m_start);
    const QSignalBlocker endBlocker(m_end);
    m_start->setDateTime(m_base.addMSecs(qint64(std::llround(begin))));
    m_end->setDateTime(m_base.addMSecs(qint64(std::llround(begin + duration))));
    m_length->setText(lengthText(duration));
}

double SelectionBar::offsetOf(const QDateTimeEdit *editor) const
{
    // As the navigation editor reads: the recording's times as recorded.
    QDateTime typed = editor->dateTime();
    typed.setOffsetFromUtc(0);
    return double(m_base.msecsTo(typed));
}

void SelectionBar::startEdit()
{
    const double begin = offsetOf(m_start);
    if (begin != m_begin)
        emit markedAreaEdited(begin, m_duration);
}

void SelectionBar::endEdit()
{
    const double end = offsetOf(m_end);
    if (end != m_begin + m_duration)
        emit markedAreaEdited(qMin(m_begin, end), qAbs(end - m_begin));
}

void SelectionBar::lengthEdit()
{
    double duration = 0;
    if (!parseLength(m_length->text(), &duration)) {
        m_length->setText(lengthText(m_duration)); // not a length: what holds is shown again
        return;
    }
    if (duration != m_duration)
        emit markedAreaEdited(m_begin, duration);
}

} // namespace PlayerUi
