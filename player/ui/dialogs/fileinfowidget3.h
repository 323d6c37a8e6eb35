#pragma once

#include <QDialog>
#include <QMap>
#include <QString>

class QLabel;
class QTreeWidget;

namespace PlayerUi {

// The file information window: the recording's text sections (file,
// device, streams) as a two-level list of parameters and values. Modal;
// the main window creates it per request and it deletes itself on close.
// GUI thread only.
class FileInfoWidget3 : public QDialog
{
    Q_OBJECT

public:
    explicit FileInfoWidget3(QWidget *parent = nullptr);

    QTreeWidget *parameterList() const { return m_list; }
    // The note above the list; hidden while empty.
    QLabel *noteLabel() const { return m_note; }
    // Says above the list that the recording's date (`dateText` as the file
    // has it) is no date: its times are offsets from the recording's start.
    void setInvalidDate(const QString &dateText);

public slots:
    // Sections by name (several may share a name), each a map of keys to values.
    void setSettings(QMap<QString, QMap<QString, QString>> settings);

private:
    QLabel *m_note;      // child
    QTreeWidget *m_list; // child
};

} // namespace PlayerUi
