// kvel-render-icon SVG SIZE OUT: draws an SVG picture as a PNG of SIZE (a number for a square,
// or WIDTHxHEIGHT), or as a Windows icon when OUT ends in .ico and SIZE lists the square sizes
// it holds ("16,32,48,256"). The program's PNG pictures and its Windows icon are made with it
// (the target kvel-icons); the tests check that they still show their SVG.
#include "desktop/icon_render.h"

#include <QGuiApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

namespace {

QSize sizeOf(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^([1-9][0-9]{0,3})(?:x([1-9][0-9]{0,3}))?$)"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return {};
    const int width = m.captured(1).toInt();
    return QSize(width, m.captured(2).isEmpty() ? width : m.captured(2).toInt());
}

} // namespace

int main(int argc, char* argv[])
{
    // Text in a picture (the splash) needs the fonts of a GUI application; no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    QTextStream err(stderr);
    if (args.size() != 4) {
        err << "usage: kvel-render-icon SVG SIZE|WIDTHxHEIGHT|SIZE,SIZE,... OUT\n";
        return 2;
    }
    const QString& svg = args[1];
    const QString& out = args[3];
    const bool ico = out.endsWith(QStringLiteral(".ico"), Qt::CaseInsensitive);
    QList<QImage> images;
    for (const QString& part : args[2].split(QLatin1Char(','))) {
        const QSize size = sizeOf(part);
        if (size.isEmpty() || (!ico && !images.isEmpty())) {
            err << "kvel-render-icon: " << args[2] << " is not a size\n";
            return 2;
        }
        const QImage image = desktop::renderPicture(svg, size);
        if (image.isNull()) {
            err << "kvel-render-icon: cannot read " << svg << " as SVG\n";
            return 1;
        }
        images << image;
    }
    bool written = false;
    if (ico) {
        const QByteArray bytes = desktop::icoFile(images);
        QFile file(out);
        written = !bytes.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
    } else {
        written = images.front().save(out, "PNG");
    }
    if (!written) {
        err << "kvel-render-icon: cannot write " << out << "\n";
        return 1;
    }
    return 0;
}
