#pragma once

#include <QDialog>
#include <QMap>
#include <QString>

class QTreeWidget;

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

public slots:
    // Sections by name (several may share a name), each a map of keys to values.
    void setSettings(QMap<QString, QMap<QString, QString>> settings);

private:
    QTreeWidget *m_list; // child
};
