// Where the program looks for its help: beside the executable first (the build tree, Windows),
// then where an installation under a prefix puts it, relative to the executable. The layouts
// are made here in a temporary folder.

#include "app/help_location.h"
#include "app/program_state.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The folders of the program and of its help relative to the prefix, as the build installs them.
const QString kInstalledBinDir = QStringLiteral(KVEL_INSTALL_BINDIR);
const QString kInstalledHelpDir = QStringLiteral(KVEL_HELP_INSTALL_DIR);

void writeFile(const QString& path, const QByteArray& bytes)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath())) << path.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

class HelpLocation : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir().mkpath(bin()));
    }
    QString prefix() const { return m_dir.filePath(QStringLiteral("prefix")); }
    QString bin() const { return prefix() + QLatin1Char('/') + kInstalledBinDir; }
    QString beside() const { return bin() + QLatin1Char('/') + app::kHelpFileName; }
    QString installed() const { return prefix() + QLatin1Char('/') + kInstalledHelpDir + QLatin1Char('/') + app::kHelpFileName; }

    QTemporaryDir m_dir;
};

TEST_F(HelpLocation, BesideTheExecutable)
{
    writeFile(beside(), "<html>beside</html>");
    EXPECT_EQ(app::helpFilePath(bin()), QDir::cleanPath(beside()));
}

TEST_F(HelpLocation, InstalledUnderThePrefix)
{
    writeFile(installed(), "<html>installed</html>");
    const QString found = app::helpFilePath(bin());
    // A plain path, without "bin/..", naming the installed file itself.
    EXPECT_EQ(found, QDir::cleanPath(installed()));
    EXPECT_FALSE(found.contains(QStringLiteral("..")));
    EXPECT_EQ(QFileInfo(found).canonicalFilePath(), QFileInfo(installed()).canonicalFilePath());
}

TEST_F(HelpLocation, BesideWinsOverInstalled)
{
    writeFile(beside(), "<html>beside</html>");
    writeFile(installed(), "<html>installed</html>");
    EXPECT_EQ(app::helpFilePath(bin()), QDir::cleanPath(beside()));
}

TEST_F(HelpLocation, MovedPrefixStillFindsIt)
{
    writeFile(installed(), "<html>installed</html>");
    const QString moved = m_dir.filePath(QStringLiteral("elsewhere/opt/kvel"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(moved).absolutePath()));
    ASSERT_TRUE(QDir().rename(prefix(), moved));
    const QString found = app::helpFilePath(moved + QLatin1Char('/') + kInstalledBinDir);
    EXPECT_EQ(found, QDir::cleanPath(moved + QLatin1Char('/') + kInstalledHelpDir + QLatin1Char('/') + app::kHelpFileName));
    EXPECT_TRUE(QFileInfo(found).isFile());
}

TEST_F(HelpLocation, NowhereNamesThePlaceBesideTheExecutable)
{
    // No file at all, and a folder of the help's name beside the program: neither counts.
    EXPECT_EQ(app::helpFilePath(bin()), QDir::cleanPath(beside()));
    ASSERT_TRUE(QDir().mkpath(beside()));
    ASSERT_TRUE(QDir().mkpath(installed()));
    EXPECT_EQ(app::helpFilePath(bin()), QDir::cleanPath(beside()));
}

TEST_F(HelpLocation, HelpOfAnotherLayoutIsNotPicked)
{
    // A help document one folder off (share/kvel beside bin instead of under the prefix)
    // is not where an installation puts it.
    writeFile(bin() + QLatin1Char('/') + kInstalledHelpDir + QLatin1Char('/') + app::kHelpFileName, "<html/>");
    EXPECT_EQ(app::helpFilePath(bin()), QDir::cleanPath(beside()));
}

} // namespace
