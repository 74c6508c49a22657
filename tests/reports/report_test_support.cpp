#include "report_test_support.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace reports::test {
namespace {

QString run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QStringLiteral("<%1 failed: %2>").arg(program, QString::fromLocal8Bit(process.readAllStandardError()));
    return QString::fromUtf8(process.readAllStandardOutput());
}

Cells withKind(int kind, int n, double serial, const QString& date, Cells extra)
{
    Cells cells = {
        {store::Field::N, static_cast<double>(n)},
        {store::Field::DATE, date},
        {store::Field::TIME, QStringLiteral("10:%1").arg(n % 60, 2, 10, QLatin1Char('0'))},
        {store::Field::DEV_TYPE, 4.0},
        {store::Field::SERIAL, serial},
        {store::Field::NB_TYPE, static_cast<double>(kind)},
    };
    for (auto& cell : extra) {
        // A later value for the same field replaces the default.
        std::erase_if(cells, [&](const auto& c) { return c.first == cell.first; });
        cells.push_back(cell);
    }
    return cells;
}

} // namespace

Cells penetrometerRow(int n, double serial, const QString& date, Cells extra)
{
    return withKind(store::kPenetrometerKind, n, serial, date, std::move(extra));
}

Cells pressRow(int n, double serial, const QString& date, Cells extra)
{
    return withKind(store::kPressKind, n, serial, date, std::move(extra));
}

QString pdfText(const QString& pdf, int page)
{
    QStringList args{QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8")};
    if (page > 0)
        args << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l") << QString::number(page);
    args << pdf << QStringLiteral("-");
    return run(QStringLiteral("pdftotext"), args);
}

QString pdfTextIn(const QString& pdf, int page, double left, double top, double width, double height)
{
    // At 96 dots per inch pdftotext's crop box is in the design's own unit.
    const auto n = [](double v) { return QString::number(qRound(v)); };
    return run(QStringLiteral("pdftotext"),
               {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-f"), QString::number(page),
                QStringLiteral("-l"), QString::number(page), QStringLiteral("-x"), n(left),
                QStringLiteral("-y"), n(top), QStringLiteral("-W"), n(width), QStringLiteral("-H"),
                n(height), pdf, QStringLiteral("-")});
}

int pdfPageCount(const QString& pdf)
{
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    const auto match = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QString simplified(const QString& text) { return text.simplified(); }

bool popplerAvailable()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

} // namespace reports::test
