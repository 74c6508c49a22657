#include "app/resources.h"

#include <QString>
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

QIcon programIcon(const char* name)
{
    loadResources();
    QIcon icon;
    for (const int size : {16, 24, 32, 48})
        icon.addFile(QStringLiteral(":/kvel/icons/%1-%2.png").arg(QLatin1String(name)).arg(size), QSize(size, size));
    return icon;
}

} // namespace app
