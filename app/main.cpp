#include "app/shell.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // Without them the standard buttons would follow the system's language; the program's
    // own texts are Russian, so the buttons are too.
    app::installRussianTranslations(application);

    app::Shell shell;
    shell.start();
    return QApplication::exec();
}
