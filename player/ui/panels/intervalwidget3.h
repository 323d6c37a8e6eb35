#pragma once

#include "player/ui/panels/daylistpanel.h"
#include "player/engine/intervalstreamhandles.h"

#include <memory>
#include <vector>

class QSpinBox;

namespace PlayerUi {

// The activity intervals of the active streams, grouped by day: stretches
// during which any of them carried data, where gaps up to the continuity
// interval (seconds, 0..3600) do not break an interval. Columns: begin,
// end, duration (minutes:seconds), the descriptions of the streams active
// in the interval. A double click on the end column seeks to the end,
// elsewhere to the begin (a day row: to the day's start).
class IntervalWidget3 : public DayListPanel
{
    Q_OBJECT

public:
    static constexpr int kMaxGapSeconds = 3600;
    static constexpr int kDefaultGapSeconds = 15;

    explicit IntervalWidget3(QWidget *parent = nullptr);
    ~IntervalWidget3() override;

    QSpinBox *gapSpinBox() const { return m_gap; }

public slots:
    void setStreams(QList<QMap<QString, QString>> streamSettingList) override;
    void freeStreams() override;

protected:
    bool beginRun() override;
    bool step(double *offset, QTreeWidgetItem **row) override;
    double progress() const override;
    int seekColumn(int column) const override;

private:
    QSpinBox *m_gap = nullptr; // child
    StreamsIntervalHandle m_group;
    std::vector<std::unique_ptr<IntervalStreamHandle>> m_members; // in m_group
};

} // namespace PlayerUi
