#include "playerimages.h"

#include <QtGlobal>

// The resource is compiled into the static UI library, which does not
// register it by itself.
void initPlayerImages()
{
    Q_INIT_RESOURCE(playerimages);
}
