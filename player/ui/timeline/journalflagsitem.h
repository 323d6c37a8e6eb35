// JournalFlagsItem: the bookmark journal's entries as flags on the navigation row.
#pragma once

#include <QGraphicsItem>
#include <QString>
#include <QVector>

namespace PlayerUi {

// One flag per journal entry at its time: a line down the row and a small
// flag at its top whose tool tip is the entry's time and comment. Shown at
// every zoom; the owner hands it the entries whenever the journal changes
// and the range whenever the view moves. Times are ms after the base;
// coordinates the row's scene pixels.
//
// GUI thread only; owned by its scene; owns its flags (children).
class JournalFlagsItem : public QGraphicsItem
{
public:
    struct Flag
    {
        double pos = 0;  // ms after the base
        QString label;   // time and comment, for the tool tip
    };
    // A double click this close to a flag hits it (pixels).
    static constexpr double kHitPx = 6;

    JournalFlagsItem();

    void setFlags(const QVector<Flag> &flags);
    const QVector<Flag> &flags() const { return m_flags; }
    void setRange(double begin, double duration);
    void setSize(double width, double height);
    // The flag within kHitPx of x, or null.
    const Flag *flagAt(double x) const;
    // Where a flag stands now (pixels).
    double xOf(const Flag &flag) const;

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    void place();

    QVector<Flag> m_flags;
    QVector<QGraphicsItem *> m_marks; // children, one per flag, carrying the tool tips
    double m_begin = 0;               // ms
    double m_duration = 1;            // ms
    double m_width = 0;               // pixels
    double m_height = 0;
};

} // namespace PlayerUi
