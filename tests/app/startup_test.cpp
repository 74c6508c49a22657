// Start-up: the splash closes itself before the main window appears, and the standard
// buttons speak Russian.

#include "widget_test_support.h"
#include "window_access.h"

#include "app/main_window.h"
#include "app/shell.h"
#include "app/splash_window.h"

#include "store/measurement_table.h"

#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTabWidget>

using namespace kvel_test;


using namespace std::chrono_literals;

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void init() { kvel_test::clearProgramSettings(); }

    void splashLooks();
    void splashClosesItself();
    void splashIgnoresEscape();
    void mainWindowAppearsAfterSplash();
    void aTableNamedAtStartIsOpened();
    void standardButtonsSpeakRussian();
};

void StartupTest::splashLooks()
{
    app::SplashWindow splash;
    QCOMPARE(splash.objectName(), QStringLiteral("splashWindow"));
    QCOMPARE(splash.size(), QSize(400, 77));
    QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);

    auto* timer = splash.findChild<QTimer*>("splashTimer");
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 3000);
    QVERIFY(timer->isSingleShot());
    QVERIFY(!timer->isActive()); // started only when the splash is shown

    auto* picture = splash.findChild<QLabel*>("Image1");
    QVERIFY(picture);
    const QPixmap pixmap = picture->pixmap();
    QCOMPARE(pixmap.deviceIndependentSize().toSize(), QSize(400, 78));
    // A picture, not an empty rectangle: it has more than a handful of colours.
    const QImage image = pixmap.toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    QVERIFY(colours.size() > 20);
}

void StartupTest::splashClosesItself()
{
    app::SplashWindow splash(10ms);
    QCOMPARE(splash.exec(), int(QDialog::Accepted));
    QVERIFY(!splash.isVisible());
}

void StartupTest::splashIgnoresEscape()
{
    app::SplashWindow splash(50ms);
    bool visibleAfterEscape = false;
    QTimer::singleShot(0, &splash, [&] {
        QTest::keyClick(&splash, Qt::Key_Escape);
        visibleAfterEscape = splash.isVisible();
    });
    QCOMPARE(splash.exec(), int(QDialog::Accepted));
    QVERIFY(visibleAfterEscape);
}

void StartupTest::mainWindowAppearsAfterSplash()
{
    app::Shell shell(app::StartupOptions{20ms, {}});
    QString modalDuringSplash;
    bool mainWindowExisted = false;
    bool mainWindowVisible = true;
    QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modalDuringSplash = modal->objectName();
        mainWindowExisted = shell.mainWindow() != nullptr;
        mainWindowVisible = shell.mainWindow() && shell.mainWindow()->isVisible();
    });
    shell.start();

    QCOMPARE(modalDuringSplash, QStringLiteral("splashWindow"));
    QVERIFY(mainWindowExisted);
    QVERIFY(!mainWindowVisible);

    app::MainWindow* window = shell.mainWindow();
    QVERIFY(window->isVisible());
    QVERIFY(window->windowState() & Qt::WindowMaximized);
    QCOMPARE(window->windowTitle(), QStringLiteral("ВРТ - ТК5"));
    QVERIFY(window->findChild<QTabWidget*>("kindTabs")->isHidden());
    QCOMPARE(window->centralWidget()->palette().color(QPalette::Window),
             QApplication::palette().color(QPalette::Dark));
    QCOMPARE(shell.state().title, QStringLiteral("ВРТ  - ТК5"));
    // The splash is gone for good, not merely hidden.
    for (QWidget* widget : QApplication::allWidgets())
        QVERIFY(widget->objectName() != QStringLiteral("splashWindow"));
}

// "kvel site.db": the window comes up as usual, then the table opens as "Открыть" opens it,
// and its folder becomes the data folder.
void StartupTest::aTableNamedAtStartIsOpened()
{
    QTemporaryDir dir;
    const QString table = dir.filePath(QStringLiteral("site.db"));
    store::MeasurementTable::create(table);
    app::StartupOptions options{20ms, {}};
    options.tableToOpen = table;
    app::Shell shell(options);
    shell.start();
    app::MainWindow* window = shell.mainWindow();
    QVERIFY(window->isVisible());
    QVERIFY(documentOf(*window).isOpen());
    QCOMPARE(documentOf(*window).path(), table);
    QCOMPARE(window->windowTitle(), QStringLiteral("site - ВРТ - ТК5"));
    QCOMPARE(tableFilesOf(*window).dataFolder(), QDir::toNativeSeparators(dir.path()));
}

void StartupTest::standardButtonsSpeakRussian()
{
    QVERIFY(app::installRussianTranslations(*QCoreApplication::instance()));
    QMessageBox box(QMessageBox::Question, "ВРТ - ТК5", "?", QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.button(QMessageBox::Yes)->text().remove('&'), QStringLiteral("Да"));
    QCOMPARE(box.button(QMessageBox::No)->text().remove('&'), QStringLiteral("Нет"));
}

KVEL_WIDGET_TEST_MAIN(StartupTest)
#include "startup_test.moc"

