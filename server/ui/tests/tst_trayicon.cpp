// The tray icon and what closing the window means with a system tray, on an
// Xvfb display with trayer as the tray host.
#include "server/ui/mainwindow/mainwindow.h"
#include "server/core/tests/support/serverprocess.h"
#include "server/ui/tray/trayicon.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

using namespace ServerUi;

namespace {

// How long a program that should keep running is watched (ms).
constexpr int kWatchMs = 300;
constexpr int kWaitMs = 5000;

// Runs the event loop for ms; true when the application was told to quit.
bool quitWithin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, [&loop] { loop.exit(1); });
    return loop.exec() == 0;
}

} // namespace

class tst_TrayIcon : public QObject
{
    Q_OBJECT

private slots:
    void iconAndMenu();
    void closingHidesUntilQuit();

private:
    QTemporaryDir m_folder;
};

void tst_TrayIcon::iconAndMenu()
{
    QVERIFY(QSystemTrayIcon::isSystemTrayAvailable());
    MainWindow window(m_folder.path() + '/');
    TrayIcon *tray = window.tray();
    QVERIFY(tray->icon()->isVisible());
    QVERIFY(tray->isInTray());
    // The image itself shows, not an empty icon: the resource is linked in.
    const QImage image(QStringLiteral(":/images/system_tray_icon.png"));
    QVERIFY(!image.isNull());
    const QImage shown = tray->icon()->icon().pixmap(image.size()).toImage();
    QVERIFY(!shown.isNull());
    QCOMPARE(shown, QIcon(QStringLiteral(":/images/system_tray_icon.png")).pixmap(image.size()).toImage());
    QVERIFY(!window.windowIcon().pixmap(32).isNull());
    QCOMPARE(tray->icon()->toolTip(), QString("Drovane"));
    QStringList texts;
    for (QAction *action : tray->menu()->actions())
        texts << action->text();
    QCOMPARE(texts, QStringList({"Показать/Скрыть", "Выход"}));
    QTRY_VERIFY(tray->icon()->geometry().isValid());

    // The devices' health: a badge of the worst state, the count in the tool tip.
    const QImage plain = tray->icon()->icon().pixmap(image.size()).toImage();
    tray->showHealth({3, 2, HealthState::Unreachable});
    QCOMPARE(tray->icon()->toolTip(), QString("Drovane\nНе в порядке: 2 из 3 устройств (хуже всего: Недоступно)"));
    QVERIFY(tray->icon()->icon().pixmap(image.size()).toImage() != plain);
    tray->showHealth({3, 0, HealthState::Ok});
    QCOMPARE(tray->icon()->toolTip(), QString("Drovane\nВсе устройства в порядке (3)"));
    QCOMPARE(tray->icon()->icon().pixmap(image.size()).toImage(), plain);
}

// With a tray, closing only hides the window; "Показать/Скрыть" brings it
// back and hides it again; "Выход" ends the program.
void tst_TrayIcon::closingHidesUntilQuit()
{
    MainWindow window(m_folder.path() + '/');
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTimer::singleShot(0, &window, &QWidget::close);
    QVERIFY(!quitWithin(kWatchMs));
    QVERIFY(!window.isVisible());
    QAction *showHide = window.tray()->menu()->actions().at(0);
    showHide->trigger();
    QVERIFY(window.isVisible());
    showHide->trigger();
    QVERIFY(!window.isVisible());
    QTimer::singleShot(0, window.tray()->menu()->actions().at(1), &QAction::trigger);
    QVERIFY(quitWithin(kWaitMs));
}

// The display with its tray exists before the application connects to it.
int main(int argc, char *argv[])
{
    QString why;
    if (!ServerProcess::available(ServerProcess::XvfbWithTray, &why)) {
        std::fprintf(stderr, "no display with a tray: %s\n", qPrintable(why));
        return 1;
    }
    ServerProcess display(ServerProcess::XvfbWithTray);
    if (!display.start(QString())) {
        std::fprintf(stderr, "%s\n", qPrintable(display.error()));
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("DISPLAY", display.display().toLocal8Bit());
    QApplication app(argc, argv);
    tst_TrayIcon test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_trayicon.moc"
