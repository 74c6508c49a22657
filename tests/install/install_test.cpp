// The program installed as a desktop program: `cmake --install` of this build into a prefix
// in a temporary folder, then what a desktop and a software centre see there. The menu entry
// and the software centre's entry go through the freedesktop validators (desktop-file-utils,
// appstream), the file type of the tables through the installed shared-mime-info data, the
// help through the program's own lookup, and the uninstall through the build's uninstall
// script. The build's own install_manifest.txt is put back as it was after each installation.

#include "app/help_location.h"
#include "desktop/icon_render.h"
#include "store/dbf_table.h"
#include "store/measurement_table.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMimeDatabase>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>

// Readable values in failure messages.
void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

const QString kCmake = QStringLiteral(KVEL_CMAKE);
const QString kBuildDir = QStringLiteral(KVEL_BUILD_DIR);
const QString kSourceDir = QStringLiteral(KVEL_SOURCE_DIR);
const QString kAppId = QStringLiteral(KVEL_APP_ID);
const QString kVersion = QStringLiteral(KVEL_VERSION);
const QString kBinDir = QStringLiteral(KVEL_INSTALL_BINDIR);
const QString kDataDir = QStringLiteral(KVEL_INSTALL_DATADIR);
const QString kWindowPartName = QStringLiteral(KVEL_WINDOW_PART_NAME);
const QString kWindowPart = QStringLiteral(KVEL_WINDOW_PART_INSTALL_DIR) + QLatin1Char('/') + kWindowPartName;
const QStringList kIconSizes = QStringLiteral(KVEL_ICON_SIZES).split(QLatin1Char(','));
const QString kTableType = QStringLiteral("application/x-kvel-table");

const QString kHelpSource = kSourceDir + QStringLiteral("/docs/help/kvel.html");
const QString kSvgSource = kSourceDir + QStringLiteral("/app/resources/icons/kvel.svg");
const QString kDesktopSource = kSourceDir + QStringLiteral("/desktop/") + kAppId + QStringLiteral(".desktop");

// Drawn afresh from its SVG, a stored picture must be the same: a PNG left behind after an
// edit of the SVG (or drawn from another file) differs in far more than edge pixels.
void expectSamePicture(const QImage& stored, const QImage& fresh)
{
    ASSERT_FALSE(stored.isNull());
    ASSERT_FALSE(fresh.isNull());
    ASSERT_EQ(stored.size(), fresh.size());
    const QImage a = stored.convertToFormat(QImage::Format_ARGB32);
    const QImage b = fresh.convertToFormat(QImage::Format_ARGB32);
    const int w = a.width();
    const int h = a.height();
    double total = 0;
    int far = 0;
    for (int y = 0; y < h; ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const int d[] = {std::abs(qRed(pa[x]) - qRed(pb[x])), std::abs(qGreen(pa[x]) - qGreen(pb[x])),
                             std::abs(qBlue(pa[x]) - qBlue(pb[x])), std::abs(qAlpha(pa[x]) - qAlpha(pb[x]))};
            total += d[0] + d[1] + d[2] + d[3];
            if (std::max({d[0], d[1], d[2], d[3]}) > 32)
                ++far;
        }
    }
    const double pixels = double(w) * h;
    EXPECT_LT(total / (pixels * 4), 1.0);
    EXPECT_LT(far, pixels / 100);
    // Transparent where the SVG draws nothing (its corners), opaque where it draws (its middle).
    EXPECT_EQ(qAlpha(a.pixel(0, 0)), qAlpha(b.pixel(0, 0)));
    EXPECT_EQ(qAlpha(a.pixel(w / 2, h / 2)), qAlpha(b.pixel(w / 2, h / 2)));
}

// The images of a Windows icon file made of PNG entries, in the order of its directory; empty
// when the directory is not sound (entries outside the file, a size that disagrees).
QList<QImage> icoImages(const QByteArray& ico)
{
    const auto u16 = [&](qsizetype at) { return quint16(quint8(ico[at]) | quint8(ico[at + 1]) << 8); };
    const auto u32 = [&](qsizetype at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
    if (ico.size() < 6 || u16(0) != 0 || u16(2) != 1)
        return {};
    const int count = u16(4);
    QList<QImage> images;
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = 6 + 16 * i;
        if (entry + 16 > ico.size())
            return {};
        const quint32 size = u32(entry + 8);
        const quint32 offset = u32(entry + 12);
        if (qsizetype(offset) + qsizetype(size) > ico.size())
            return {};
        QImage image = QImage::fromData(ico.mid(offset, size), "PNG");
        const int side = quint8(ico[entry]) == 0 ? 256 : quint8(ico[entry]);
        if (image.isNull() || image.width() != side)
            return {};
        images << image;
    }
    return images;
}

// Every file an installation puts under its prefix, relative to it.
QStringList expectedFiles()
{
    QStringList files = {
        kBinDir + QStringLiteral("/kvel"),
        kWindowPart,
        kDataDir + QStringLiteral("/kvel/kvel.html"),
        kDataDir + QStringLiteral("/applications/") + kAppId + QStringLiteral(".desktop"),
        kDataDir + QStringLiteral("/metainfo/") + kAppId + QStringLiteral(".metainfo.xml"),
        kDataDir + QStringLiteral("/icons/hicolor/scalable/apps/") + kAppId + QStringLiteral(".svg"),
        kDataDir + QStringLiteral("/mime/packages/") + kAppId + QStringLiteral(".xml"),
    };
    for (const QString& size : kIconSizes)
        files << kDataDir + QStringLiteral("/icons/hicolor/%1x%1/apps/").arg(size) + kAppId + QStringLiteral(".png");
    return files;
}

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    QString out; // standard output and error together
};

Outcome run(const QString& program, const QStringList& arguments, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Outcome result;
    result.finished = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAll());
    return result;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A validator the tests need: on the machines that run the suite for real (CI) its absence is
// a failure, elsewhere the test is skipped and says what to install.
std::optional<QString> tool(const QString& name)
{
    const QString path = QStandardPaths::findExecutable(name);
    if (!path.isEmpty())
        return path;
    return std::nullopt;
}

#define REQUIRE_TOOL(var, name, package)                                                     \
    const std::optional<QString> var = tool(QStringLiteral(name));                           \
    if (!var) {                                                                              \
        if (!qEnvironmentVariableIsEmpty("CI"))                                              \
            FAIL() << name " is missing: install the package " package " (scripts/setup)";   \
        GTEST_SKIP() << name " is missing: install the package " package " (scripts/setup)"; \
    }

// One `cmake --install` of this build. The build's install_manifest.txt (which lists what the
// user's own installation put where, for the uninstall) is kept as it was; the manifest of
// this installation is copied beside the prefix.
struct Installation {
    QString prefix;      // as given to cmake --install
    QString root;        // where the files are: DESTDIR + prefix
    QString manifest;    // the copy of this installation's manifest
    QStringList entries; // its lines
    Outcome install;
};

Installation installInto(const QString& folder, const QString& prefix, const QString& destdir = {})
{
    Installation result;
    result.prefix = prefix;
    result.root = QDir::cleanPath(destdir + prefix);
    result.manifest = folder + QStringLiteral("/install_manifest.txt");

    const QString buildManifest = kBuildDir + QStringLiteral("/install_manifest.txt");
    const bool hadManifest = QFileInfo::exists(buildManifest);
    const QByteArray ownManifest = readAll(buildManifest);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DESTDIR"));
    if (!destdir.isEmpty())
        env.insert(QStringLiteral("DESTDIR"), destdir);
    result.install = run(kCmake, {QStringLiteral("--install"), kBuildDir, QStringLiteral("--prefix"), prefix}, env);

    const QByteArray written = readAll(buildManifest);
    writeAll(result.manifest, written);
    if (hadManifest)
        writeAll(buildManifest, ownManifest);
    else
        QFile::remove(buildManifest);
    for (const QByteArray& line : written.split('\n'))
        if (!line.isEmpty())
            result.entries << QString::fromUtf8(line);
    return result;
}

Outcome uninstall(const Installation& installation, const QString& destdir = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DESTDIR"));
    if (!destdir.isEmpty())
        env.insert(QStringLiteral("DESTDIR"), destdir);
    return run(kCmake, {QStringLiteral("-DKVEL_INSTALL_MANIFEST=") + installation.manifest, QStringLiteral("-P"),
                        kBuildDir + QStringLiteral("/cmake_uninstall.cmake")},
               env);
}

// The [Desktop Entry] group of a .desktop file, key (with locale) → value.
QHash<QString, QString> desktopEntry(const QString& path)
{
    QHash<QString, QString> keys;
    bool inGroup = false;
    for (const QString& line : QString::fromUtf8(readAll(path)).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (inGroup && eq > 0 && !line.startsWith(QLatin1Char('#')))
            keys.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return keys;
}

QStringList listValue(const QString& value)
{
    QStringList items = value.split(QLatin1Char(';'));
    items.removeAll(QString());
    return items;
}

// The elements named `element` anywhere in an XML file: their text, their language and the
// value of `attribute` when asked for it.
struct XmlElement {
    QString text;
    QString attribute;
    QString lang;
};

QList<XmlElement> xmlElements(const QString& path, const QString& element, const QString& attribute = {})
{
    QList<XmlElement> found;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return found;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != element)
            continue;
        XmlElement e;
        if (!attribute.isEmpty())
            e.attribute = xml.attributes().value(attribute).toString();
        e.lang = xml.attributes().value(QStringLiteral("xml:lang")).toString();
        e.text = xml.readElementText(QXmlStreamReader::IncludeChildElements).simplified();
        found << e;
    }
    EXPECT_FALSE(xml.hasError()) << path.toStdString() << ": " << xml.errorString().toStdString();
    return found;
}

// The shared installation of most tests, made once.
class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(s_dir->isValid());
        // The file types seen by this process: the installed prefix's first, then the system's
        // (for the types ours derive from), never the user's own.
        const QString home = s_dir->filePath(QStringLiteral("data-home"));
        QDir().mkpath(home);
        const QString prefix = s_dir->filePath(QStringLiteral("prefix"));
        QString system = qEnvironmentVariable("XDG_DATA_DIRS");
        if (system.isEmpty())
            system = QStringLiteral("/usr/local/share:/usr/share");
        qputenv("XDG_DATA_HOME", home.toUtf8());
        qputenv("XDG_DATA_DIRS", (prefix + QLatin1Char('/') + kDataDir + QLatin1Char(':') + system).toUtf8());
        s_installation = std::make_unique<Installation>(installInto(s_dir->path(), prefix));
    }
    static void TearDownTestSuite()
    {
        s_installation.reset();
        s_dir.reset();
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_installation->install.finished);
        ASSERT_EQ(s_installation->install.exitCode, 0) << s_installation->install.out.toStdString();
    }

    static const Installation& installation() { return *s_installation; }
    static QString installed(const QString& relative) { return s_installation->root + QLatin1Char('/') + relative; }
    static QString desktopFile() { return installed(kDataDir + QStringLiteral("/applications/") + kAppId + QStringLiteral(".desktop")); }
    static QString metainfoFile() { return installed(kDataDir + QStringLiteral("/metainfo/") + kAppId + QStringLiteral(".metainfo.xml")); }
    static QString scratch(const QString& name) { return s_dir->filePath(name); }

    static inline std::unique_ptr<QTemporaryDir> s_dir;
    static inline std::unique_ptr<Installation> s_installation;
};

TEST_F(Installed, PutsEveryFileInPlaceAndNothingElse)
{
    QStringList expected;
    for (const QString& file : expectedFiles()) {
        const QString path = installed(file);
        EXPECT_TRUE(QFileInfo(path).isFile()) << file.toStdString();
        expected << QDir::cleanPath(path);
    }
    QStringList listed;
    for (const QString& entry : installation().entries)
        listed << QDir::cleanPath(entry);
    expected.sort();
    listed.sort();
    // The manifest is what the uninstall removes: exactly these files, all under the prefix.
    EXPECT_EQ(listed, expected) << installation().install.out.toStdString();
}

TEST_F(Installed, ProgramRunsFromThePrefix)
{
    const QString program = installed(kBinDir + QStringLiteral("/kvel"));
    ASSERT_TRUE(QFileInfo(program).isExecutable());
    const Outcome version = run(program, {QStringLiteral("--version")});
    ASSERT_TRUE(version.finished);
    EXPECT_EQ(version.exitCode, 0) << version.out.toStdString();
    EXPECT_TRUE(version.out.contains(kVersion)) << version.out.toStdString();
}

// The program runs batch work on Qt's core alone and loads its window part for the rest: the
// installed program finds the part in the prefix, and a lone copy of the program still does
// what needs no part and says what is missing for the rest.
TEST_F(Installed, ProgramLoadsItsWindowPartFromThePrefix)
{
    const QString table = scratch(QStringLiteral("report.db"));
    {
        store::MeasurementTable::create(table);
        store::MeasurementTable t;
        t.open(table);
        t.table().append();
        t.setReal(store::Field::N, 1);
        t.setReal(store::Field::NB_TYPE, store::kPenetrometerKind);
        t.setText(store::Field::DATE, QStringLiteral("05.03.2024"));
        t.table().post();
    }
    const QString program = installed(kBinDir + QStringLiteral("/kvel"));
    const QString pdf = scratch(QStringLiteral("report.pdf"));
    const Outcome printed = run(program, {QStringLiteral("--print-pdf"), table, pdf});
    ASSERT_TRUE(printed.finished);
    EXPECT_EQ(printed.exitCode, 0) << printed.out.toStdString();
    EXPECT_TRUE(readAll(pdf).startsWith("%PDF-"));

    const QString lone = scratch(QStringLiteral("lone"));
    ASSERT_TRUE(QDir().mkpath(lone));
    ASSERT_TRUE(QFile::copy(program, lone + QStringLiteral("/kvel")));
    const Outcome version = run(lone + QStringLiteral("/kvel"), {QStringLiteral("--version")});
    ASSERT_TRUE(version.finished);
    EXPECT_EQ(version.exitCode, 0) << version.out.toStdString();
    const Outcome csv = run(lone + QStringLiteral("/kvel"),
                            {QStringLiteral("--export-csv"), table, scratch(QStringLiteral("lone.csv"))});
    EXPECT_EQ(csv.exitCode, 0) << csv.out.toStdString();
    const QString lonePdf = scratch(QStringLiteral("lone.pdf"));
    const Outcome refused = run(lone + QStringLiteral("/kvel"), {QStringLiteral("--print-pdf"), table, lonePdf});
    ASSERT_TRUE(refused.finished);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.contains(QStringLiteral("Не удалось загрузить часть программы «%1»").arg(kWindowPartName)))
        << refused.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(lonePdf));
}

TEST_F(Installed, ProgramFindsItsInstalledHelp)
{
    const QString help = installed(kDataDir + QStringLiteral("/kvel/kvel.html"));
    ASSERT_EQ(readAll(help), readAll(kHelpSource));
    // Nothing lies beside the installed program, so the lookup has to reach the prefix's
    // share folder.
    const QString bin = installed(kBinDir);
    EXPECT_FALSE(QFileInfo::exists(bin + QStringLiteral("/kvel.html")));
    const QString found = app::helpFilePath(bin);
    EXPECT_TRUE(QFileInfo(found).isFile()) << found.toStdString();
    EXPECT_EQ(QFileInfo(found).canonicalFilePath(), QFileInfo(help).canonicalFilePath()) << found.toStdString();
}

TEST_F(Installed, DesktopEntryPassesTheValidator)
{
    REQUIRE_TOOL(validator, "desktop-file-validate", "desktop-file-utils");
    const Outcome check = run(*validator, {desktopFile()});
    ASSERT_TRUE(check.finished);
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString();
    // Hints count too: a clean entry says nothing.
    EXPECT_EQ(check.out.trimmed(), QString()) << check.out.toStdString();
}

TEST_F(Installed, DesktopEntryStartsTheInstalledProgramWithItsIcon)
{
    EXPECT_EQ(readAll(desktopFile()), readAll(kDesktopSource));
    const QHash<QString, QString> entry = desktopEntry(desktopFile());
    EXPECT_EQ(entry.value(QStringLiteral("Type")), QStringLiteral("Application"));
    EXPECT_EQ(entry.value(QStringLiteral("Terminal")), QStringLiteral("false"));
    for (const char* key : {"Name", "Name[ru]", "GenericName", "GenericName[ru]", "Comment", "Comment[ru]"})
        EXPECT_FALSE(entry.value(QString::fromLatin1(key)).isEmpty()) << key;
    EXPECT_NE(entry.value(QStringLiteral("Name")), entry.value(QStringLiteral("Name[ru]")));

    // Exec names the installed program (found on PATH, so by its bare name) and hands it one file.
    const QStringList exec = entry.value(QStringLiteral("Exec")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    ASSERT_EQ(exec.size(), 2);
    EXPECT_TRUE(QFileInfo(installed(kBinDir + QLatin1Char('/') + exec[0])).isExecutable()) << exec[0].toStdString();
    EXPECT_EQ(exec[1], QStringLiteral("%f"));

    // The icon by its theme name: installed in every size under that name.
    const QString icon = entry.value(QStringLiteral("Icon"));
    EXPECT_EQ(icon, kAppId);
    EXPECT_TRUE(QFileInfo::exists(installed(kDataDir + QStringLiteral("/icons/hicolor/scalable/apps/") + icon + QStringLiteral(".svg"))));
    for (const QString& size : kIconSizes)
        EXPECT_TRUE(QFileInfo::exists(installed(kDataDir + QStringLiteral("/icons/hicolor/%1x%1/apps/").arg(size) + icon + QStringLiteral(".png"))))
            << size.toStdString();

    // Every file type it claims is known once installed (ours from the installed package).
    const QStringList types = listValue(entry.value(QStringLiteral("MimeType")));
    EXPECT_TRUE(types.contains(kTableType));
    QMimeDatabase mime;
    for (const QString& type : types)
        EXPECT_TRUE(mime.mimeTypeForName(type).isValid()) << type.toStdString();
}

TEST_F(Installed, MetainfoPassesTheValidator)
{
    REQUIRE_TOOL(appstream, "appstreamcli", "appstream");
    const Outcome check = run(*appstream, {QStringLiteral("validate"), QStringLiteral("--no-net"), QStringLiteral("--pedantic"),
                                       QStringLiteral("--strict"), metainfoFile()});
    ASSERT_TRUE(check.finished);
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString();
    // Pedantic, and still no remark of any kind.
    EXPECT_FALSE(check.out.contains(QRegularExpression(QStringLiteral("^[EWIP]: "), QRegularExpression::MultilineOption)))
        << check.out.toStdString();

    // The whole installed tree as a software centre reads it: the entry together with the
    // desktop file it launches.
    const Outcome tree = run(*appstream, {QStringLiteral("validate-tree"), QStringLiteral("--no-net"), QStringLiteral("--pedantic"),
                                      QStringLiteral("--strict"), installation().root});
    ASSERT_TRUE(tree.finished);
    EXPECT_EQ(tree.exitCode, 0) << tree.out.toStdString();
}

TEST_F(Installed, MetainfoNamesThisProgramAndRelease)
{
    const QString file = metainfoFile();
    const QList<XmlElement> ids = xmlElements(file, QStringLiteral("id"));
    ASSERT_EQ(ids.size(), 1);
    EXPECT_EQ(ids[0].text, kAppId);

    // The launchable is the installed desktop file.
    const QList<XmlElement> launchables = xmlElements(file, QStringLiteral("launchable"), QStringLiteral("type"));
    ASSERT_EQ(launchables.size(), 1);
    EXPECT_EQ(launchables[0].attribute, QStringLiteral("desktop-id"));
    EXPECT_EQ(installed(kDataDir + QStringLiteral("/applications/") + launchables[0].text), desktopFile());

    // The release is this build's version.
    const QList<XmlElement> releases = xmlElements(file, QStringLiteral("release"), QStringLiteral("version"));
    ASSERT_FALSE(releases.isEmpty());
    EXPECT_EQ(releases[0].attribute, kVersion);

    // Names and summaries in both languages.
    for (const QString& element : {QStringLiteral("name"), QStringLiteral("summary")}) {
        QSet<QString> langs;
        for (const XmlElement& e : xmlElements(file, element))
            if (!e.text.isEmpty())
                langs.insert(e.lang);
        EXPECT_TRUE(langs.contains(QString())) << element.toStdString();
        EXPECT_TRUE(langs.contains(QStringLiteral("ru"))) << element.toStdString();
    }

    // What it provides is what was installed and what the desktop entry claims.
    const QList<XmlElement> binaries = xmlElements(file, QStringLiteral("binary"));
    ASSERT_FALSE(binaries.isEmpty());
    for (const XmlElement& b : binaries)
        EXPECT_TRUE(QFileInfo(installed(kBinDir + QLatin1Char('/') + b.text)).isExecutable()) << b.text.toStdString();
    const QStringList claimed = listValue(desktopEntry(desktopFile()).value(QStringLiteral("MimeType")));
    for (const XmlElement& m : xmlElements(file, QStringLiteral("mediatype")))
        EXPECT_TRUE(claimed.contains(m.text)) << m.text.toStdString();
}

TEST_F(Installed, IconsShowTheProgramsSvg)
{
    EXPECT_EQ(readAll(installed(kDataDir + QStringLiteral("/icons/hicolor/scalable/apps/") + kAppId + QStringLiteral(".svg"))),
              readAll(kSvgSource));
    for (const QString& sizeText : kIconSizes) {
        SCOPED_TRACE(sizeText.toStdString());
        const int size = sizeText.toInt();
        const QImage png(installed(kDataDir + QStringLiteral("/icons/hicolor/%1x%1/apps/").arg(sizeText) + kAppId + QStringLiteral(".png")),
                         "PNG");
        ASSERT_FALSE(png.isNull());
        EXPECT_EQ(png.size(), QSize(size, size));
        EXPECT_TRUE(png.hasAlphaChannel());

        expectSamePicture(png, desktop::renderIcon(kSvgSource, size));
    }
}

// The program's pictures are stored as PNG (and kvel.exe's icon as .ico), because Windows has
// no SVG renderer for them; each must still show its SVG (`--target kvel-icons` draws them).
TEST(StoredPictures, ShowTheirSvg)
{
    // The splash's text needs the fonts of a GUI application.
    static int argc = 1;
    static char name[] = "install_test";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QGuiApplication> gui;
    if (!QCoreApplication::instance())
        gui = std::make_unique<QGuiApplication>(argc, argv);
    const QString resources = kSourceDir + QStringLiteral("/app/resources/");
    for (const QString& icon : QStringLiteral(KVEL_PROGRAM_ICONS).split(QLatin1Char(','))) {
        for (const QString& sizeText : QStringLiteral(KVEL_PROGRAM_ICON_SIZES).split(QLatin1Char(','))) {
            SCOPED_TRACE((icon + QLatin1Char('-') + sizeText).toStdString());
            const QString svg = resources + QStringLiteral("icons/") + icon + QStringLiteral(".svg");
            expectSamePicture(QImage(resources + QStringLiteral("icons/%1-%2.png").arg(icon, sizeText)),
                              desktop::renderIcon(svg, sizeText.toInt()));
        }
    }
    for (const auto& [file, size] : {std::pair{QStringLiteral("splash.png"), QSize(400, 78)},
                                     std::pair{QStringLiteral("splash@2x.png"), QSize(800, 156)}}) {
        SCOPED_TRACE(file.toStdString());
        expectSamePicture(QImage(resources + file), desktop::renderPicture(resources + QStringLiteral("splash.svg"), size));
    }

    QFile ico(resources + QStringLiteral("kvel.ico"));
    ASSERT_TRUE(ico.open(QIODevice::ReadOnly));
    const QList<QImage> images = icoImages(ico.readAll());
    ASSERT_EQ(images.size(), 5);
    for (const QImage& image : images) {
        SCOPED_TRACE(image.width());
        expectSamePicture(image, desktop::renderIcon(resources + QStringLiteral("icons/kvel.svg"), image.width()));
    }
    // The writer refuses what an icon cannot hold instead of writing a broken directory.
    EXPECT_TRUE(desktop::icoFile({QImage(300, 300, QImage::Format_ARGB32)}).isEmpty());
    EXPECT_TRUE(desktop::icoFile({}).isEmpty());
}

TEST_F(Installed, TablesAreRecognisedByTheirContents)
{
    REQUIRE_TOOL(updater, "update-mime-database", "shared-mime-info");
    ASSERT_TRUE(QFileInfo::exists(installed(kDataDir + QStringLiteral("/mime/mime.cache"))))
        << "the installation did not refresh the file types: " << installation().install.out.toStdString();
    QMimeDatabase mime;
    ASSERT_TRUE(mime.mimeTypeForName(kTableType).isValid());

    // A table as the program writes it, under the usual name.
    const QString table = scratch(QStringLiteral("site.db"));
    store::MeasurementTable::create(table);
    const QMimeType ours = mime.mimeTypeForFile(table);
    EXPECT_EQ(ours.name(), kTableType);
    EXPECT_TRUE(ours.inherits(QStringLiteral("application/x-dbf")));

    // The same fields written by another dBase writer.
    const QString python = QStringLiteral("/usr/bin/python3");
    if (QFileInfo(python).isExecutable()) {
        const QString other = scratch(QStringLiteral("other-writer.db"));
        const Outcome written = run(python, {QStringLiteral("-c"), QStringLiteral(
            "import dbf, os, sys\n"
            "t = dbf.Table(sys.argv[1], 'N N(18,9); DATE C(10); TIME C(8); P N(18,9)', dbf_type='db3', codepage='cp1251')\n"
            "t.open(dbf.READ_WRITE); t.append({'n': 1, 'date': '01.03.2024'}); name = t.filename; t.close()\n"
            "os.replace(name, sys.argv[1]) if name != sys.argv[1] else None\n"), other});
        ASSERT_TRUE(written.finished);
        if (written.exitCode == 0) {
            EXPECT_EQ(mime.mimeTypeForFile(other).name(), kTableType);
        } else if (!qEnvironmentVariableIsEmpty("CI")) {
            ADD_FAILURE() << "python3-dbf could not write a table: " << written.out.toStdString();
        }
    }

    // Other files named *.db are not claimed: a dBase table of other fields, an SQLite
    // database, a file of zeros.
    const QString foreign = scratch(QStringLiteral("addresses.db"));
    store::DbfTable::create(foreign, {{"NAME", store::FieldType::Character, 20, 0}, {"DATE", store::FieldType::Character, 10, 0}});
    EXPECT_NE(mime.mimeTypeForFile(foreign).name(), kTableType);

    QByteArray sqliteBytes("SQLite format 3", 16);
    sqliteBytes.append(QByteArray(4096 - sqliteBytes.size(), '\0'));
    const QString sqlite = scratch(QStringLiteral("cache.db"));
    ASSERT_TRUE(writeAll(sqlite, sqliteBytes));
    EXPECT_NE(mime.mimeTypeForFile(sqlite).name(), kTableType);

    const QString zeros = scratch(QStringLiteral("zeros.db"));
    ASSERT_TRUE(writeAll(zeros, QByteArray(4096, '\0')));
    EXPECT_NE(mime.mimeTypeForFile(zeros).name(), kTableType);
}

// The uninstall removes what the installation listed, refreshes the file types, and leaves
// whatever else lies in the prefix.
TEST(Uninstall, RemovesTheInstalledFilesOnly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Installation installation = installInto(dir.path(), dir.filePath(QStringLiteral("prefix")));
    ASSERT_TRUE(installation.install.finished);
    ASSERT_EQ(installation.install.exitCode, 0) << installation.install.out.toStdString();
    ASSERT_FALSE(installation.entries.isEmpty());
    for (const QString& file : installation.entries)
        ASSERT_TRUE(QFileInfo::exists(file)) << file.toStdString();

    const QString userFile = installation.root + QLatin1Char('/') + kDataDir + QStringLiteral("/kvel/notes.txt");
    ASSERT_TRUE(writeAll(userFile, "kept"));
    const QString typeCache = installation.root + QLatin1Char('/') + kDataDir + QStringLiteral("/mime/") + kTableType + QStringLiteral(".xml");
    const bool refreshes = !QStandardPaths::findExecutable(QStringLiteral("update-mime-database")).isEmpty();
    if (refreshes) {
        EXPECT_TRUE(QFileInfo::exists(typeCache));
    }

    const Outcome removed = uninstall(installation);
    ASSERT_TRUE(removed.finished);
    EXPECT_EQ(removed.exitCode, 0) << removed.out.toStdString();
    for (const QString& file : installation.entries)
        EXPECT_FALSE(QFileInfo::exists(file)) << file.toStdString();
    EXPECT_EQ(readAll(userFile), QByteArray("kept"));
    if (refreshes) {
        EXPECT_FALSE(QFileInfo::exists(typeCache)) << "the file types still name the uninstalled type";
    }

    // Again, with nothing left to remove: still no error.
    const Outcome again = uninstall(installation);
    ASSERT_TRUE(again.finished);
    EXPECT_EQ(again.exitCode, 0) << again.out.toStdString();
}

TEST(Uninstall, FailsWithoutAManifest)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Installation none;
    none.manifest = dir.filePath(QStringLiteral("install_manifest.txt"));
    const Outcome removed = uninstall(none);
    ASSERT_TRUE(removed.finished);
    EXPECT_NE(removed.exitCode, 0);
    EXPECT_TRUE(removed.out.contains(QStringLiteral("install_manifest.txt"))) << removed.out.toStdString();
}

// A package build installs into a staging folder: the files land under DESTDIR, the manifest
// names them as they will be on the target system, and the desktop's caches are left to the
// package manager.
TEST(StagedInstall, PutsFilesUnderDestdirAndLeavesTheCaches)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString stage = dir.filePath(QStringLiteral("stage"));
    const QString prefix = QStringLiteral("/opt/kvel-staged-test");
    const Installation installation = installInto(dir.path(), prefix, stage);
    ASSERT_TRUE(installation.install.finished);
    ASSERT_EQ(installation.install.exitCode, 0) << installation.install.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(prefix));

    QStringList expected;
    for (const QString& file : expectedFiles()) {
        EXPECT_TRUE(QFileInfo(stage + prefix + QLatin1Char('/') + file).isFile()) << file.toStdString();
        expected << prefix + QLatin1Char('/') + file;
    }
    QStringList listed = installation.entries;
    expected.sort();
    listed.sort();
    EXPECT_EQ(listed, expected);

    // Only the installed files are in the staging folder: no generated caches.
    QStringList staged;
    QDirIterator it(stage, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        staged << it.next().mid(stage.size());
    staged.sort();
    EXPECT_EQ(staged, expected);

    const Outcome removed = uninstall(installation, stage);
    ASSERT_TRUE(removed.finished);
    EXPECT_EQ(removed.exitCode, 0) << removed.out.toStdString();
    for (const QString& file : expected)
        EXPECT_FALSE(QFileInfo::exists(stage + file)) << file.toStdString();
}

} // namespace
