#include "serverimages.h"

#include <QtGlobal>

void initServerImages()
{
    Q_INIT_RESOURCE(serverimages);
}
