#include "app/resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must stand outside any namespace.
static void initAppResources()
{
    Q_INIT_RESOURCE(app);
}

namespace app {

void loadResources()
{
    static const bool loaded = (initAppResources(), true);
    (void)loaded;
}

} // namespace app
