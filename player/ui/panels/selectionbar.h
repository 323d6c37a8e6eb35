// SelectionBar: the marked area's start, end and length as typeable numbers.
#pragma once

#include <QDateTime>
#include <QToolBar>

class QDateTimeEdit;
class QLineEdit;

namespace PlayerUi {

// A tool bar showing the marked area to the millisecond: its start and end
// in the navigation editor's format and its length as H:mm:ss.zzz. Typing
// a start moves the area (its length kept), typing an end or a length
// moves its end (its start kept). Times are ms after the recording's base.
//
// GUI thread only; the editors are its children.
class SelectionBar : public QToolBar
{
    Q_OBJECT

public:
    explicit SelectionBar(QWidget *parent = nullptr);

    QDateTimeEdit *startEditor() const { return m_start; }
    QDateTimeEdit *endEditor() const { return m_end; }
    QLineEdit *lengthEditor() const { return m_length; }

    // "1:02:03.456" for 3723456 ms; parseLength reads it back (false for
    // anything else, or a negative length).
    static QString lengthText(double ms);
    static bool parseLength(const QString &text, double *ms);

signals:
    // The user typed a new area.
    void markedAreaEdited(double begin, double duration);

public slots:
    void setBase(QDateTime base);
    void setMarkedArea(double begin, double duration);

private:
    void startEdit();
    void endEdit();
    void lengthEdit();
    double offsetOf(const QDateTimeEdit *editor) const;
    void show(double begin, double duration);

    QDateTimeEdit *m_start;
    QDateTimeEdit *m_end;
    QLineEdit *m_length;
    QDateTime m_base;
    double m_begin = 0;    // ms, as last shown
    double m_duration = 0; // ms, never negative
};

} // namespace PlayerUi
