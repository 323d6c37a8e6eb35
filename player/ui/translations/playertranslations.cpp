#include "playertranslations.h"

#include "recording/qttranslation.h"

#include <QCoreApplication>
#include <QTranslator>

bool installPlayerTranslations()
{
    Q_INIT_RESOURCE(playertranslations);
    const bool qtFound = installQtBaseTranslation("ru");
    auto *own = new QTranslator(QCoreApplication::instance());
    if (own->load(QStringLiteral(":/translations/velmora_ru.qm")))
        QCoreApplication::installTranslator(own);
    return qtFound;
}
