// AboutDialog: "О программе", with the program's page and its "Клавиши" page.
#pragma once

#include <QDialog>
#include <QList>

class QAction;
class QTableWidget;
class QTabWidget;

namespace PlayerUi {

// Two pages: what the program is, and every keyboard shortcut, read off
// the window's actions when the dialog is made (so the list follows them).
// GUI thread only; the actions are only read.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    AboutDialog(const QString &about, const QList<QAction *> &actions, QWidget *parent = nullptr);

    QTabWidget *pages() const { return m_pages; }
    QTableWidget *keyTable() const { return m_keys; }

private:
    QTabWidget *m_pages;
    QTableWidget *m_keys;
};

} // namespace PlayerUi
