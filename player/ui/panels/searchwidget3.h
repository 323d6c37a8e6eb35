#pragma once

#include "player/ui/panels/daylistpanel.h"
#include "player/engine/streamssearchhandle.h"

#include <memory>
#include <vector>

class QLineEdit;
class TextStreamHandle;

namespace PlayerUi {

// The text events of the active text streams whose text contains the
// search string, without regard to case (Cyrillic as well as Latin; an
// empty string lists every event), grouped by day. Columns: time, the text
// wrapped to the column. A double click seeks to the event.
class SearchWidget3 : public DayListPanel
{
    Q_OBJECT

public:
    explicit SearchWidget3(QWidget *parent = nullptr);
    ~SearchWidget3() override;

    QLineEdit *searchEdit() const { return m_edit; }

public slots:
    void setStreams(QList<QMap<QString, QString>> streamSettingList) override;
    void freeStreams() override;

protected:
    bool beginRun() override;
    bool step(double *offset, QTreeWidgetItem **row) override;
    double progress() const override;
    int seekColumn(int column) const override;

private:
    QLineEdit *m_edit = nullptr; // child
    QString m_searched;          // of the current run
    StreamsSearchHandle m_group;
    std::vector<std::unique_ptr<TextStreamHandle>> m_members; // in m_group
};

} // namespace PlayerUi
