#pragma once

// The player window's parts that only its wiring and its tests reach: kept
// out of MainWindow's own interface, so that nothing else comes to depend
// on them.

#include "player/ui/mainwindow/mainwindow.h"

class QComboBox;
class QDateTimeEdit;
class QProgressDialog;
class QTimer;

namespace PlayerUi {

class MainWindowParts
{
public:
    static QTimer *editorHoldTimer(const MainWindow &window) { return window.m_editorHoldTimer; }
    static QDateTimeEdit *navigationEditor(const MainWindow &window) { return window.m_navigationEditor; }
    static QComboBox *speedBox(const MainWindow &window) { return window.m_speedBox; }
    static QProgressDialog *indexProgressDialog(const MainWindow &window) { return window.m_indexDialog.get(); }
    static QProgressDialog *exportProgressDialog(const MainWindow &window) { return window.m_exportDialog.get(); }
};

} // namespace PlayerUi
