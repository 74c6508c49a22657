// The limits of K and E: which rows fall short, what the settings keep, how they are written,
// and what the document announces.

#include "document/limits.h"
#include "document/measurement_document.h"

#include "store_test_support.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using document::Limits;
using store::Field;
using store::test::Blank;
using store::test::Cells;

// Rows with K (P7 for the penetrometer, K for the press) and E (U); a blank value is Blank.
Cells penetrometer(double n, store::test::Cell k, store::test::Cell e)
{
    return {{Field::N, n}, {Field::NB_TYPE, double(store::kPenetrometerKind)}, {Field::P7, k}, {Field::U, e}};
}
Cells press(double n, store::test::Cell k, store::test::Cell e)
{
    return {{Field::N, n}, {Field::NB_TYPE, double(store::kPressKind)}, {Field::K, k}, {Field::U, e},
            {Field::P7, 5.0}}; // a press row's P7 is not its K
}

TEST(Limits, RowsBelowAMinimumFail)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("t.db"));
    store::test::createTable(file, {
                                       penetrometer(1, 0.90, 25.0),     // K low
                                       penetrometer(2, 0.98, 15.0),     // E low
                                       penetrometer(3, 0.95, 20.0),     // both exactly at the limit
                                       penetrometer(4, Blank{}, Blank{}), // nothing to judge
                                       press(5, 0.0, 30.0),             // K low (its K field, whole numbers)
                                       press(6, 1.00, 30.0),            // fine, although P7 = 5
                                   });
    store::MeasurementTable table;
    table.open(file);
    struct Case {
        const char* name;
        Limits limits;
        std::vector<bool> fails; // by record
    };
    const Case cases[] = {
        {"none", {}, {false, false, false, false, false, false}},
        {"K only", {0.95, std::nullopt}, {true, false, false, false, true, false}},
        {"E only", {std::nullopt, 20.0}, {false, true, false, false, false, false}},
        {"both", {0.95, 20.0}, {true, true, false, false, true, false}},
        {"K above everything", {2.0, std::nullopt}, {true, true, true, false, true, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int failing = 0;
        for (std::uint32_t rec = 0; rec < c.fails.size(); ++rec) {
            EXPECT_EQ(document::failsLimits(c.limits, table, rec), c.fails[rec]) << "record " << rec;
            failing += c.fails[rec] ? 1 : 0;
        }
        // Over the view: every kind here, then the penetrometer rows only.
        EXPECT_EQ(document::failingRows(c.limits, table), failing);
        table.table().setFilter(store::kindFilter(store::kPenetrometerKind));
        EXPECT_EQ(document::failingRows(c.limits, table),
                  std::count(c.fails.begin(), c.fails.begin() + 4, true));
        table.table().setFilter(std::string());
    }
}

TEST(Limits, SettingsKeepWhatIsSetAndReadPastJunk)
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    const Limits cases[] = {{}, {0.95, std::nullopt}, {std::nullopt, 12.5}, {0.1 + 0.2, 1e-3}};
    for (const Limits& limits : cases) {
        document::writeLimits(settings, limits);
        EXPECT_EQ(document::readLimits(settings), limits);
    }
    document::writeLimits(settings, {});
    EXPECT_FALSE(settings.contains(QStringLiteral("Limit_K")));
    settings.setValue(QStringLiteral("Limit_K"), QStringLiteral("много"));
    settings.setValue(QStringLiteral("Limit_E"), QStringLiteral("7"));
    EXPECT_EQ(document::readLimits(settings), (Limits{std::nullopt, 7.0}));

    // Typed into the file by hand: only a finite number is a limit.
    struct Junk {
        const char* stored;
        std::optional<double> read;
    };
    for (const Junk& j : std::initializer_list<Junk>{{"nan", std::nullopt}, {"NaN", std::nullopt},
                                                     {"inf", std::nullopt}, {"-inf", std::nullopt},
                                                     {"1e999", std::nullopt}, {"0x1p3", std::nullopt},
                                                     {" 0.95 ", 0.95}, {"0,95", 0.95}, {"1e1", 10.0}}) {
        SCOPED_TRACE(j.stored);
        settings.setValue(QStringLiteral("Limit_K"), QString::fromLatin1(j.stored));
        const Limits read = document::readLimits(settings);
        EXPECT_EQ(read.minK, j.read);
        // Nothing that is no limit shows up in what the files and footers say of the limits.
        if (!j.read) {
            EXPECT_FALSE(document::limitsText(read).contains(QStringLiteral("nan"), Qt::CaseInsensitive));
            EXPECT_FALSE(document::limitsText(read).contains(QStringLiteral("inf"), Qt::CaseInsensitive));
        }
    }
}

TEST(Limits, TextNamesWhatIsSet)
{
    QLocale::setDefault(QLocale(QLocale::Russian));
    EXPECT_EQ(document::limitsText({}), QString());
    EXPECT_EQ(document::limitsText({0.95, std::nullopt}), QStringLiteral("K ≥ 0,95"));
    EXPECT_EQ(document::limitsText({0.95, 20.0}), QStringLiteral("K ≥ 0,95; E ≥ 20 МПа"));
    QLocale::setDefault(QLocale::c());
}

TEST(Limits, TheDocumentAnnouncesOnlyAChange)
{
    document::MeasurementDocument doc;
    QSignalSpy spy(&doc, &document::MeasurementDocument::limitsChanged);
    doc.setLimits({0.9, std::nullopt});
    doc.setLimits({0.9, std::nullopt});
    doc.setLimits({});
    EXPECT_EQ(spy.count(), 2);
    EXPECT_FALSE(doc.limits().any());
    EXPECT_EQ(doc.failingRows(), 0); // no table open
}

} // namespace
