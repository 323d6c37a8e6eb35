#include "intervalwidget3.h"

#include "player/ui/panels/panelrules.h"

#include <QLabel>
#include <QSpinBox>
#include <QTreeWidget>

namespace PlayerUi {

namespace {

const QString kNameKey = QStringLiteral("DESCRIPTION");
const QString kTimeFormat = QStringLiteral("hh:mm:ss");
constexpr double kMsPerSecond = 1000.0;
constexpr int kEndColumn = 1;

} // namespace

IntervalWidget3::IntervalWidget3(QWidget *parent)
    : DayListPanel(new QLabel(QStringLiteral("Интервал непрерывности")), new QSpinBox,
                   {QStringLiteral("Начало"), QStringLiteral("Конец"), QStringLiteral("Длительность"), QStringLiteral("Описание")},
                   parent)
{
    setWindowTitle(QStringLiteral("Интервалы"));
    m_gap = qobject_cast<QSpinBox *>(input());
    m_gap->setMaximum(kMaxGapSeconds);
    m_gap->setValue(kDefaultGapSeconds);
    const QFontMetrics metrics = m_list->fontMetrics();
    m_list->setColumnWidth(0, metrics.horizontalAdvance(QStringLiteral(">> 00.00 00:00:00 ")));
    m_list->setColumnWidth(1, metrics.horizontalAdvance(QStringLiteral(" 00:00:00 ")));
    // The duration's header is wider than its values: it is shown whole.
    const int headerPadding = metrics.averageCharWidth() * 2;
    m_list->setColumnWidth(2, qMax(metrics.horizontalAdvance(QStringLiteral(" 00:00 ")),
                                   metrics.horizontalAdvance(QStringLiteral("Длительность")) + headerPadding));
    m_group.setNameKey(kNameKey);
}

IntervalWidget3::~IntervalWidget3()
{
    freeStreams();
}

void IntervalWidget3::setStreams(QList<QMap<QString, QString>> streamSettingList)
{
    freeStreams();
    for (const StreamDescriptor &descriptor : qAsConst(streamSettingList)) {
        const QString type = descriptor.value(QStringLiteral("TYPE"));
        std::unique_ptr<IntervalStreamHandle> member;
        if (type == QLatin1String("text"))
            member = std::make_unique<TextIntervalHandle>(descriptor);
        else if (type == QLatin1String("audio"))
            member = std::make_unique<AudioIntervalHandle>(descriptor);
        if (member) {
            m_group.addHandle(member.get());
            m_members.push_back(std::move(member));
        }
    }
}

void IntervalWidget3::freeStreams()
{
    stopClick();
    m_group.close();
    m_group.setHandles({});
    m_members.clear();
}

bool IntervalWidget3::beginRun()
{
    for (const auto &member : m_members)
        member->setMaxGap(m_gap->value() * kMsPerSecond);
    m_group.open();
    return true;
}

bool IntervalWidget3::step(double *offset, QTreeWidgetItem **row)
{
    m_group.next();
    if (m_group.state() != StreamHandle::OnRecord)
        return false;
    const double begin = m_group.currentTime();
    const double duration = m_group.currentDuration();
    const QDateTime t = m_base.addMSecs(qint64(begin));
    auto *item = new QTreeWidgetItem;
    item->setText(0, t.toString(kTimeFormat));
    item->setData(0, Qt::UserRole, begin);
    item->setText(1, t.addMSecs(qint64(duration)).toString(kTimeFormat));
    item->setData(1, Qt::UserRole, begin + duration);
    item->setText(2, PanelRules::durationText(duration));
    item->setText(3, m_group.names().join(QLatin1Char('\n')));
    for (int c = 0; c < 4; ++c)
        item->setTextAlignment(c, Qt::AlignLeft | Qt::AlignTop);
    *offset = begin;
    *row = item;
    return true;
}

double IntervalWidget3::progress() const
{
    return m_group.progress();
}

int IntervalWidget3::seekColumn(int column) const
{
    return column == kEndColumn ? kEndColumn : 0;
}

} // namespace PlayerUi
