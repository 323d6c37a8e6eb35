#include "searchwidget3.h"

#include "player/engine/framestreamhandles.h"
#include "player/ui/panels/panelrules.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTreeWidget>

#include <limits>

namespace PlayerUi {

namespace {

const QString kTimeFormat = QStringLiteral("hh:mm:ss");
constexpr int kTextColumn = 1;
constexpr int kMinWrapWidth = 80; // pixels

} // namespace

SearchWidget3::SearchWidget3(QWidget *parent)
    : DayListPanel(new QLabel(QStringLiteral("Искать:")), new QLineEdit,
                   {QStringLiteral("Начало"), QStringLiteral("Описание")}, parent)
{
    setWindowTitle(QStringLiteral("Поиск"));
    m_edit = qobject_cast<QLineEdit *>(input());
    m_edit->setPlaceholderText(QStringLiteral("Введите строку поиска"));
    m_list->setColumnWidth(0, m_list->fontMetrics().horizontalAdvance(QStringLiteral(">> 00.00 00:00:00 ")));
    m_list->setTextElideMode(Qt::ElideNone);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(m_edit, &QLineEdit::returnPressed, this, &SearchWidget3::startClick);
}

SearchWidget3::~SearchWidget3()
{
    freeStreams();
}

void SearchWidget3::setStreams(QList<QMap<QString, QString>> streamSettingList)
{
    freeStreams();
    for (const StreamDescriptor &descriptor : qAsConst(streamSettingList)) {
        if (descriptor.value(QStringLiteral("TYPE")) != QLatin1String("text"))
            continue;
        m_members.push_back(std::make_unique<TextStreamHandle>(descriptor));
        m_group.addHandle(m_members.back().get());
    }
}

void SearchWidget3::freeStreams()
{
    stopClick();
    m_group.close();
    m_group.setHandles({});
    m_members.clear();
}

bool SearchWidget3::beginRun()
{
    m_searched = m_edit->text();
    m_group.open();
    return true;
}

bool SearchWidget3::step(double *offset, QTreeWidgetItem **row)
{
    m_group.next();
    if (m_group.state() != StreamHandle::OnRecord)
        return false;
    const double time = m_group.currentTime();
    QString text;
    if (m_group.currentText(&text) != 0 || !text.contains(m_searched, Qt::CaseInsensitive))
        return true;
    // Offsets of events travel as 32 bits.
    const uint ts = uint(qBound(0.0, time, double(std::numeric_limits<uint>::max())));
    auto *item = new QTreeWidgetItem;
    item->setText(0, m_base.addMSecs(ts).toString(kTimeFormat));
    item->setData(0, Qt::UserRole, ts);
    // Measured per result: the panel is laid out only after its run starts.
    const int limit = m_list->columnWidth(kTextColumn) - 2 * m_list->verticalScrollBar()->width();
    item->setText(1, PanelRules::wrapText(text, m_list->fontMetrics(), qMax(kMinWrapWidth, limit)));
    item->setTextAlignment(0, Qt::AlignLeft | Qt::AlignTop);
    item->setTextAlignment(1, Qt::AlignLeft | Qt::AlignTop);
    *offset = ts;
    *row = item;
    return true;
}

double SearchWidget3::progress() const
{
    return m_group.progress();
}

int SearchWidget3::seekColumn(int column) const
{
    Q_UNUSED(column);
    return 0;
}

} // namespace PlayerUi
