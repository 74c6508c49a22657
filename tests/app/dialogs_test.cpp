// The About dialog, the help document and its window, and the general error handler.

#include "widget_test_support.h"
#include "window_access.h"

#include "app/about_dialog.h"
#include "app/error_report.h"
#include "app/help_outline.h"
#include "app/help_window.h"
#include "app/main_window.h"
#include "store/store_error.h"

#include <QCollator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTreeWidget>

#include <new>
#include <set>
#include <stdexcept>

using namespace kvel_test;


namespace {

QTextDocument* loadHelpDocument(QObject* parent)
{
    QFile file(QStringLiteral(KVEL_HELP_SOURCE));
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    auto* document = new QTextDocument(parent);
    document->setHtml(QString::fromUtf8(file.readAll()));
    return document;
}

int countItems(QTreeWidgetItem* item)
{
    int count = 1;
    for (int i = 0; i < item->childCount(); ++i)
        count += countItems(item->child(i));
    return count;
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { kvel_test::clearProgramSettings(); }

    void aboutDialog();
    void helpNamesEveryCommand();
    void helpLinksResolve();
    void helpExplainsPortChoice();
    void helpWindowContents();
    void helpWindowIndex();
    void helpWindowRefusesMissingFile();
    void errorBox_data();
    void errorBox();
    void commandWithoutError();
};

void DialogsTest::aboutDialog()
{
    app::AboutDialog about;
    QCOMPARE(about.objectName(), QStringLiteral("Tform6"));
    QCOMPARE(about.windowTitle(), QStringLiteral("О программе"));
    QCOMPARE(about.size(), QSize(515, 151));
    QCOMPARE(about.windowFlags() & Qt::WindowType_Mask, Qt::Tool);

    auto* title = about.findChild<QLabel*>("Label1");
    auto* purpose = about.findChild<QLabel*>("Label2");
    auto* version = about.findChild<QLabel*>("Label3");
    QVERIFY(title && purpose && version);
    QCOMPARE(title->text(), QStringLiteral("ВРТ - ТК5"));
    QVERIFY(title->font().bold());
    QVERIFY(title->font().pointSizeF() > purpose->font().pointSizeF());
    QCOMPARE(purpose->text(), QStringLiteral("Программа для передачи данных с приборов ВРТ-ТК5"));

    QString shown;
    QTimer::singleShot(0, &about, [&] {
        shown = version->text();
        about.findChild<QPushButton*>("Button1")->click();
    });
    QCOMPARE(about.findChild<QPushButton*>("Button1")->text(), QStringLiteral("Ок"));
    QCOMPARE(about.exec(), int(QDialog::Accepted));
    QCOMPARE(shown, QStringLiteral("Версия 1.0.0.1"));
}

void DialogsTest::helpNamesEveryCommand()
{
    QTextDocument* document = loadHelpDocument(this);
    QVERIFY(document);
    const QString text = document->toPlainText();
    const std::vector<app::HelpTopic> topics = app::readHelpOutline(*document).contents;

    app::ProgramState state;
    app::MainWindow window(state);
    QList<QAction*> commands = (&menuOf(window, "gridMenu"))->actions();
    for (QAction* menu : window.menuBar()->actions())
        commands += menu->menu()->actions();
    int checked = 0;
    for (QAction* command : commands) {
        if (command->isSeparator())
            continue;
        // Every menu command has a heading of its own or is at least described.
        QVERIFY2(text.contains(command->text()), qPrintable(command->text()));
        ++checked;
    }
    QVERIFY(checked > 20);
    for (QAction* menu : window.menuBar()->actions()) {
        const QString heading = QStringLiteral("Меню «%1»").arg(menu->text());
        QVERIFY2(std::any_of(topics.begin(), topics.end(),
                             [&](const app::HelpTopic& t) { return t.title == heading; }),
                 qPrintable(heading));
    }
}

void DialogsTest::helpLinksResolve()
{
    QTextDocument* document = loadHelpDocument(this);
    QVERIFY(document);
    const std::vector<QString> anchors = app::documentAnchors(*document);
    const std::set<QString> known(anchors.begin(), anchors.end());
    QCOMPARE(known.size(), anchors.size()); // no anchor defined twice

    int links = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QString href = it.fragment().charFormat().anchorHref();
            if (!href.startsWith('#'))
                continue;
            QVERIFY2(known.count(href.mid(1)), qPrintable(href));
            ++links;
        }
    }
    QVERIFY(links > 0);

    const app::HelpOutline outline = app::readHelpOutline(*document);
    QVERIFY(outline.index.size() > 10);
    for (const app::HelpTopic& topic : outline.contents)
        QVERIFY2(!topic.anchor.isEmpty(), qPrintable(topic.title + " has no anchor"));
    QCollator collator{QLocale(QLocale::Russian, QLocale::Russia)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    for (std::size_t i = 1; i < outline.index.size(); ++i)
        QVERIFY2(collator.compare(outline.index[i - 1].term, outline.index[i].term) <= 0,
                 qPrintable(outline.index[i].term));
}

void DialogsTest::helpExplainsPortChoice()
{
    QTextDocument* document = loadHelpDocument(this);
    QVERIFY(document);
    const QString text = document->toPlainText();
    for (const char* word : {"COM1", "COM2", "/dev/ttyS0", "/dev/ttyS1", "[1.0]", "KVEL"})
        QVERIFY2(text.contains(QLatin1String(word)), word);
}

void DialogsTest::helpWindowContents()
{
    app::HelpWindow help;
    QVERIFY(help.load(QStringLiteral(KVEL_HELP_SOURCE)));
    QTextDocument* document = loadHelpDocument(this);
    const app::HelpOutline outline = app::readHelpOutline(*document);

    auto* contents = help.findChild<QTreeWidget*>("HelpContents");
    int items = 0;
    for (int i = 0; i < contents->topLevelItemCount(); ++i)
        items += countItems(contents->topLevelItem(i));
    QCOMPARE(items, int(outline.contents.size()));
    // Sections sit under the document's title, sub-sections under their section.
    QCOMPARE(contents->topLevelItemCount(), 1);
    QVERIFY(contents->topLevelItem(0)->childCount() > 5);

    // Choosing a heading shows its section.
    auto* browser = help.findChild<QTextBrowser*>("HelpBrowser");
    for (const app::HelpTopic& topic : {outline.contents[2], outline.contents.back()}) {
        const QList<QTreeWidgetItem*> found =
            contents->findItems(topic.title, Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        emit contents->itemClicked(found[0], 0);
        QCOMPARE(browser->source().fragment(), topic.anchor);
    }
}

void DialogsTest::helpWindowIndex()
{
    app::HelpWindow help;
    QVERIFY(help.load(QStringLiteral(KVEL_HELP_SOURCE)));
    QTextDocument* document = loadHelpDocument(this);
    const app::HelpOutline outline = app::readHelpOutline(*document);

    auto* index = help.findChild<QListWidget*>("HelpIndex");
    auto* filter = help.findChild<QLineEdit*>("HelpIndexFilter");
    auto* browser = help.findChild<QTextBrowser*>("HelpBrowser");
    QCOMPARE(index->count(), int(outline.index.size()));

    // Typing the first letters moves to the first matching term; Enter shows its topic.
    const app::HelpIndexEntry& wanted = outline.index[outline.index.size() / 2];
    filter->setFocus();
    for (const QChar letter : wanted.term.left(4).toLower())
        QTest::sendKeyEvent(QTest::Click, filter, Qt::Key_unknown, QString(letter), Qt::NoModifier);
    QVERIFY(index->currentItem());
    QVERIFY(index->currentItem()->text().startsWith(wanted.term.left(4), Qt::CaseInsensitive));
    QVERIFY(index->currentRow() <= index->row(index->findItems(wanted.term, Qt::MatchExactly)[0]));
    const int row = index->currentRow();
    QTest::keyClick(filter, Qt::Key_Return);
    QCOMPARE(browser->source().fragment(), outline.index[std::size_t(row)].anchor);
}

void DialogsTest::helpWindowRefusesMissingFile()
{
    QTemporaryDir dir;
    app::HelpWindow help;
    QVERIFY(!help.load(dir.filePath("kvel.html")));
    QVERIFY(!help.load(dir.path())); // a folder is no document
}

void DialogsTest::errorBox_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");
    // kind: 0 store error, 1 other std::exception, 2 out of memory, 3 not an exception.
    QTest::newRow("store: damaged") << 0 << "Таблица повреждена: неверная длина записи";
    QTest::newRow("store: locked") << 0 << "Таблица занята другой программой";
    QTest::newRow("other exception") << 1 << "vector::_M_range_check";
    QTest::newRow("out of memory") << 2 << "";
    QTest::newRow("not an exception") << 3 << "";
}

void DialogsTest::errorBox()
{
    QFETCH(int, kind);
    QFETCH(QString, message);
    QWidget parent;
    kvel_test::ModalAnswerer answerer({QMessageBox::Ok});
    bool reachedEnd = false;
    const bool ok = app::runCommand(&parent, [&] {
        switch (kind) {
        case 0: throw store::StoreError(store::StoreError::Code::Damaged, message.toStdString());
        case 1: throw std::out_of_range(message.toStdString());
        case 2: throw std::bad_alloc();
        default: throw 42;
        }
        reachedEnd = true;
    });
    QVERIFY(!ok);
    QVERIFY(!reachedEnd);
    QCOMPARE(answerer.boxes().size(), std::size_t(1));
    const kvel_test::SeenBox& box = answerer.boxes()[0];
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.title, QStringLiteral("Ошибка"));
    QCOMPARE(box.buttons, QMessageBox::Ok);
    // The layer's own Russian message as it stands; anything else in a Russian sentence
    // that still carries the technical text for whoever has to mend it.
    if (kind == 0)
        QCOMPARE(box.text, message);
    else
        QVERIFY(box.text.contains(QRegularExpression("[А-Яа-я]{4}")));
    if (kind == 1)
        QVERIFY(box.text.contains(message));
}

void DialogsTest::commandWithoutError()
{
    kvel_test::ModalAnswerer answerer;
    int runs = 0;
    QVERIFY(app::runCommand(nullptr, [&] { ++runs; }));
    QCOMPARE(runs, 1);
    QVERIFY(answerer.boxes().empty());
}

KVEL_WIDGET_TEST_MAIN(DialogsTest)
#include "dialogs_test.moc"

