#include "playertranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool installPlayerTranslations()
{
    Q_INIT_RESOURCE(playertranslations);
    QCoreApplication *app = QCoreApplication::instance();
    auto *qt = new QTranslator(app);
    const bool qtFound = qt->load(QStringLiteral("qtbase_ru"), QLibraryInfo::location(QLibraryInfo::TranslationsPath));
    if (qtFound)
        QCoreApplication::installTranslator(qt);
    auto *own = new QTranslator(app);
    if (own->load(QStringLiteral(":/translations/velmora_ru.qm")))
        QCoreApplication::installTranslator(own);
    return qtFound;
}
