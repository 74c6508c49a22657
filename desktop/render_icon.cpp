// kvel-render-icon SVG SIZE PNG: draws the program's icon as a square PNG of SIZE pixels.
// The PNG icons in desktop/icons/ are made with it (the target kvel-icons); the installation
// tests check that they still show the SVG.
#include "desktop/icon_render.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QTextStream err(stderr);
    bool sizeOk = false;
    const int size = args.size() == 4 ? args[2].toInt(&sizeOk) : 0;
    if (!sizeOk || size <= 0) {
        err << "usage: kvel-render-icon SVG SIZE PNG\n";
        return 2;
    }
    const QImage image = desktop::renderIcon(args[1], size);
    if (image.isNull()) {
        err << "kvel-render-icon: cannot read " << args[1] << " as SVG\n";
        return 1;
    }
    if (!image.save(args[3], "PNG")) {
        err << "kvel-render-icon: cannot write " << args[3] << "\n";
        return 1;
    }
    return 0;
}
