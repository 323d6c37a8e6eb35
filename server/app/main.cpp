// Drovane: the collection server, a single tray instance with its device tree.
#include "server/ui/mainwindow/mainwindow.h"
#include "server/ui/tray/serverimages.h"
#include "server/core/singleinstance.h"
#include "recording/qttranslation.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSystemTrayIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Ostrel"));
    QCoreApplication::setApplicationName(QStringLiteral("Drovane"));
    // Qt's own buttons ("Yes", "No" of the close question) in Russian too.
    installQtBaseTranslation("ru");
    initServerImages();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/drovane.png")));

    SingleInstanceGuard guard;
    if (!guard.tryToRun()) {
        QMessageBox box;
        box.setText(QStringLiteral("Допускается запуск только одного экземпляра этого приложения"));
        box.exec();
        return 0;
    }

    ServerUi::MainWindow window;
    QGuiApplication::setQuitOnLastWindowClosed(false);
    // Hidden at start only where the tray icon can bring it back.
    const bool hide = app.arguments().contains(QStringLiteral("--hide")) && QSystemTrayIcon::isSystemTrayAvailable();
    if (!hide)
        window.show();
    return app.exec();
}
