// The download dialog end to end: the real dialog over the real driver, against the
// instrument emulator on pseudo-terminals. The tests take the place of the shell that shows
// the dialog's errors.

#include "device/download_dialog.h"
#include "device/port_names.h"
#include "device/serial_port_driver.h"
#include "tests/device/emulator_process.h"
#include "tests/device/pty_support.h"
#include "tests/device/session_test_support.h"
#include "tests/device/settings_support.h"
#include "tools/emulator/penetrometer_records.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <vector>

namespace device_test {
namespace {

using device::DownloadDialog;
using device::SerialPortDriver;

const QString kNowhere = QStringLiteral("/nonexistent/kvel-tty");
const QString kCom1 = QStringLiteral(R"(\\.\COM1)");
const QString kCom2 = QStringLiteral(R"(\\.\COM2)");
const QString kTransferError = QStringLiteral("Ошибка передачи данных!");
const QString kWrongDevice = QStringLiteral("Вы подключили не тот прибор !");
const QString kNoData = QStringLiteral("Нет данных для передачи!");
const QString kNotFound =
    QStringLiteral("Прибор не обнаружен! Проверте правильность подключения согласно инструкции!");
// Far beyond the longest run (two port time-outs); only a hang reaches it.
constexpr int kHangGuardMs = 30000;

// What the user saw while an error was on the screen.
struct ErrorSeen {
    QString text;
    bool dialogOpen = false;
    bool portOpen = true;

    bool operator==(const ErrorSeen&) const = default;
};

void PrintTo(const ErrorSeen& e, std::ostream* os)
{
    *os << '"' << e.text.toStdString() << '"'
        << (e.dialogOpen ? " over the open dialog" : " with no dialog")
        << (e.portOpen ? ", port open" : ", port closed");
}

// An error as it must be shown: over the dialog, the port already given up.
ErrorSeen shownOverTheDialog(const QString& text)
{
    return {text, true, false};
}

struct Outcome {
    int result = -1;
    std::vector<ErrorSeen> errors;
};

const char kErrorBoxName[] = "errorBox";

class DownloadDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        results->flash_image.fill(0xEE);
        results->image_length = 0;
    }

    // Shows the dialog modally until it ends. Every error is noted and, as the shell does,
    // held on the screen in a modal window over the dialog until the answering timer closes
    // it, so that the dialog meets the nested event loop of a real message box; `during`
    // runs every 20 ms while the dialog itself is the active window.
    Outcome run(const std::function<void()>& during = {})
    {
        Outcome outcome;
        QObject receiver; // ends the connection with this run
        QObject::connect(&dialog, &DownloadDialog::errorOccurred, &receiver, [&](const QString& text) {
            outcome.errors.push_back({text, dialog.isVisible(), port()->isOpen()});
            QDialog box(&dialog);
            box.setObjectName(QLatin1String(kErrorBoxName));
            box.exec();
        }, Qt::DirectConnection);
        QTimer answer;
        answer.setInterval(20);
        QObject::connect(&answer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal->objectName() == QLatin1String(kErrorBoxName)) {
                static_cast<QDialog*>(modal)->accept();
            } else if (modal == &dialog && during) {
                during();
            }
        });
        answer.start();
        QTimer::singleShot(kHangGuardMs, &dialog, [this] { dialog.done(-1); });
        outcome.result = dialog.exec();
        return outcome;
    }

    QString text(const char* objectName) const
    {
        const auto* label = dialog.findChild<QLabel*>(QLatin1String(objectName));
        return label ? label->text() : QStringLiteral("<no %1>").arg(QLatin1String(objectName));
    }

    int progress() const
    {
        return dialog.findChild<QProgressBar*>(QStringLiteral("DownloadProgress"))->value();
    }

    SerialPortDriver* port() const
    {
        return dialog.findChild<SerialPortDriver*>(QStringLiteral("DownloadPort"));
    }

    bool imageUntouched() const
    {
        return std::all_of(results->flash_image.begin(), results->flash_image.end(),
                           [](std::uint8_t b) { return b == 0xEE; });
    }

    bool imageHolds(const std::vector<std::uint8_t>& image) const
    {
        return results->image_length == image.size()
            && std::equal(image.begin(), image.end(), results->flash_image.begin());
    }

    std::unique_ptr<device::DownloadResults> results = std::make_unique<device::DownloadResults>();
    DownloadDialog dialog{*results};
};

TEST_F(DownloadDialogTest, DownloadsTheMemoryAndIsReadyForTheNextDownload)
{
    // At line speed, in chunks of random size, with noise on the line and a longer
    // identification than usual.
    EmulatorProcess first({"--records", "25", "--seed", "3", "--serial", "4321", "--version",
                           "24.03.05", "--pace", "--random-chunks", "--noise", "5", "--extra-id", "6"});
    ASSERT_TRUE(first.started());
    pointPort(1, first.path());
    pointPort(2, kNowhere);

    const Outcome outcome = run();
    EXPECT_EQ(outcome.result, DownloadDialog::ResultOk);
    EXPECT_EQ(outcome.errors, std::vector<ErrorSeen>());
    EXPECT_EQ(results->dev_type, 4);
    EXPECT_EQ(results->dev_serial, 4321);
    EXPECT_EQ(results->fw_version, "24.03.05");
    const std::vector<std::uint8_t> firstImage = imageOf(instrument::penetrometerMemory(25, 3));
    EXPECT_TRUE(imageHolds(firstImage));
    EXPECT_EQ(dialog.windowTitle(), "Прием данных");
    EXPECT_EQ(text("StatusText"), "Идет прием информации ...");
    EXPECT_EQ(text("DeviceValue"), "ВРТ-ТК5");
    EXPECT_EQ(text("VersionValue"), "24.03.05");
    EXPECT_EQ(text("CountValue"), "25");
    EXPECT_EQ(progress(), 100);
    EXPECT_FALSE(port()->isOpen());
    EXPECT_EQ(first.count("received V"), 1);
    EXPECT_EQ(first.count("received N"), 1);

    // The same dialog, another instrument with less in memory: the new image, and beyond it
    // the old one's bytes as they were.
    EmulatorProcess second({"--records", "3", "--seed", "8", "--serial", "7"});
    ASSERT_TRUE(second.started());
    pointPort(1, second.path());
    EXPECT_EQ(run().result, DownloadDialog::ResultOk);
    const std::vector<std::uint8_t> secondImage = imageOf(instrument::penetrometerMemory(3, 8));
    EXPECT_TRUE(imageHolds(secondImage));
    EXPECT_TRUE(std::equal(firstImage.begin() + long(secondImage.size()), firstImage.end(),
                           results->flash_image.begin() + long(secondImage.size())));
    EXPECT_EQ(results->dev_serial, 7);
    EXPECT_EQ(text("CountValue"), "3");
}

TEST_F(DownloadDialogTest, FindsAnInstrumentOnTheSecondPortAfterTheFirstStaysSilent)
{
    EmulatorProcess silent({"--silent"});
    EmulatorProcess instrument({"--records", "4"});
    ASSERT_TRUE(silent.started() && instrument.started());
    pointPort(1, silent.path());
    pointPort(2, instrument.path());

    const Outcome outcome = run();
    EXPECT_EQ(outcome.result, DownloadDialog::ResultOk);
    EXPECT_EQ(outcome.errors, std::vector<ErrorSeen>());
    EXPECT_EQ(port()->portName(), kCom2);
    EXPECT_EQ(silent.count("received"), 1) << "one identification request on the first port";
    EXPECT_EQ(instrument.count("received V"), 1);
    EXPECT_EQ(instrument.count("received N"), 1);
    EXPECT_TRUE(imageHolds(imageOf(instrument::penetrometerMemory(4, 1))));
}

TEST_F(DownloadDialogTest, ReportsAMissingInstrumentAfterTryingBothPorts)
{
    // Silence on the first port, no device at all behind the second.
    EmulatorProcess silent({"--silent"});
    ASSERT_TRUE(silent.started());
    pointPort(1, silent.path());
    pointPort(2, kNowhere);

    const Outcome outcome = run();
    EXPECT_EQ(outcome.result, DownloadDialog::ResultCancel);
    EXPECT_EQ(outcome.errors, std::vector{shownOverTheDialog(
                                  kNotFound + QStringLiteral("\nОпрошены порты: COM1 (%1), COM2 (%2)")
                                                  .arg(silent.path(), kNowhere))});
    EXPECT_EQ(port()->portName(), kCom1);
    EXPECT_FALSE(port()->isOpen());
    EXPECT_EQ(silent.count("received V"), 1);
    EXPECT_TRUE(imageUntouched());
}

TEST_F(DownloadDialogTest, RefusesWhatCannotBeKept)
{
    struct Case {
        const char* name;
        QStringList arguments;
        QString message;
        int devType;     // what the results hold afterwards
        int devSerial;
    };
    const Case cases[] = {
        {"wrong instrument", {"--wrong-type", "--serial", "99"}, kWrongDevice, 5, 99},
        {"bad identification checksum", {"--bad-id-checksum", "--serial", "99"}, kTransferError, 0, 0},
        {"bad data checksum", {"--bad-data-checksum", "--serial", "99", "--random-chunks"},
         kTransferError, 4, 99},
        {"no data", {"--no-data", "--serial", "99"}, kNoData, 4, 99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        results->dev_type = 0;
        results->dev_serial = 0;
        EmulatorProcess instrument(c.arguments);
        ASSERT_TRUE(instrument.started());
        pointPort(1, instrument.path());
        pointPort(2, kNowhere);

        const Outcome outcome = run();
        EXPECT_EQ(outcome.result, DownloadDialog::ResultCancel);
        EXPECT_EQ(outcome.errors, std::vector{shownOverTheDialog(c.message)});
        EXPECT_FALSE(port()->isOpen());
        EXPECT_TRUE(imageUntouched());
        EXPECT_EQ(results->dev_type, c.devType);
        EXPECT_EQ(results->dev_serial, c.devSerial);
    }
}

TEST_F(DownloadDialogTest, StartsOverWhenTheInstrumentRestartsMidTransfer)
{
    EmulatorProcess instrument({"--restart", "--records", "10", "--seed", "4"});
    ASSERT_TRUE(instrument.started());
    pointPort(1, instrument.path());
    pointPort(2, kNowhere);

    const Outcome outcome = run();
    EXPECT_EQ(outcome.result, DownloadDialog::ResultOk);
    EXPECT_EQ(outcome.errors, std::vector<ErrorSeen>());
    EXPECT_EQ(instrument.count("sent Z"), 1);
    EXPECT_EQ(instrument.count("received V"), 2) << "the identification is asked again";
    EXPECT_EQ(instrument.count("received N"), 2);
    EXPECT_TRUE(imageHolds(imageOf(instrument::penetrometerMemory(10, 4))));
}

TEST_F(DownloadDialogTest, TheUserCanStopATransferWithTheButtonOrEscape)
{
    const std::pair<const char*, std::function<void(DownloadDialog&)>> ways[] = {
        {"Отмена", [](DownloadDialog& d) {
             d.findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
         }},
        {"Escape", [](DownloadDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.first);
        const auto& stop = way.second;
        EmulatorProcess instrument({"--pace", "--records", "60"});
        ASSERT_TRUE(instrument.started());
        pointPort(1, instrument.path());
        pointPort(2, kNowhere);

        bool stopped = false;
        const Outcome outcome = run([&] {
            if (!stopped && progress() > 0) {
                stopped = true;
                stop(dialog);
            }
        });
        EXPECT_TRUE(stopped);
        EXPECT_EQ(outcome.result, DownloadDialog::ResultCancel);
        EXPECT_EQ(outcome.errors, std::vector<ErrorSeen>());
        EXPECT_FALSE(port()->isOpen());
        EXPECT_EQ(progress(), 0);
        EXPECT_TRUE(imageUntouched());
    }
}

TEST_F(DownloadDialogTest, StaysResponsiveWhenTheInstrumentVanishesMidTransfer)
{
    EmulatorProcess instrument({"--pace", "--records", "60"});
    ASSERT_TRUE(instrument.started());
    pointPort(1, instrument.path());
    pointPort(2, kNowhere);

    bool pulled = false;
    bool portClosed = false;
    const Outcome outcome = run([&] {
        if (!pulled && progress() > 0) {
            pulled = true;
            instrument.kill();
        } else if (pulled && !portClosed && !port()->isOpen()) {
            // The driver noticed; the dialog waits for the user, as after any silence.
            portClosed = true;
            dialog.findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
        }
    });
    EXPECT_TRUE(portClosed);
    EXPECT_EQ(outcome.result, DownloadDialog::ResultCancel);
    EXPECT_EQ(outcome.errors, std::vector<ErrorSeen>());
    EXPECT_TRUE(imageUntouched());
}

TEST_F(DownloadDialogTest, ShowsThePortAndAsksForNoOtherPortsWithoutTheSearch)
{
    EmulatorProcess instrument({"--records", "2"});
    ASSERT_TRUE(instrument.started());
    pointPort(1, instrument.path());
    pointPort(2, kNowhere);
    int asked = 0;
    dialog.setPortLister([&] {
        ++asked;
        return std::vector<device::PresentPort>();
    });

    EXPECT_EQ(run().result, DownloadDialog::ResultOk);
    EXPECT_EQ(asked, 0);
    const auto* portText = dialog.findChild<QLabel*>(QStringLiteral("PortText"));
    ASSERT_TRUE(portText);
    EXPECT_EQ(portText->text(), QStringLiteral("Порт: COM1 (%1)").arg(instrument.path()));
    EXPECT_FALSE(portText->accessibleName().isEmpty());
}

// Downloads with "Искать прибор на всех портах" on; the ports present are the test's
// pseudo-terminals, which the system would not list as serial ports.
class SearchAllPortsTest : public DownloadDialogTest {
protected:
    void SetUp() override
    {
        DownloadDialogTest::SetUp();
        settings::open()->setValue(device::kSearchAllPortsKey, true);
        dialog.setPortLister([this] { return present; });
    }

    void TearDown() override { settings::open()->remove(device::kSearchAllPortsKey); }

    void addPresent(const QString& path)
    {
        present.push_back({path, QDir(path).dirName(), {}, {}, {}});
    }

    // Runs a download, noting every port the dialog names while it runs.
    Outcome runNotingPorts(std::vector<QString>& shown)
    {
        return run([&] {
            const QString now = text("PortText");
            if (shown.empty() || shown.back() != now)
                shown.push_back(now);
        });
    }

    std::vector<device::PresentPort> present;
};

TEST_F(SearchAllPortsTest, FindsTheInstrumentOnAThirdPortAfterComOneAndTwoStaySilent)
{
    Pty com1Line;
    Pty com2Line;
    EmulatorProcess instrument({"--records", "6", "--seed", "5", "--pace"});
    ASSERT_TRUE(instrument.started());
    pointPort(1, com1Line.path());
    pointPort(2, com2Line.path());
    // COM1's device is listed among the ports present, too: it is asked once all the same.
    addPresent(com1Line.path());
    addPresent(instrument.path());

    std::vector<QString> shown;
    const Outcome outcome = runNotingPorts(shown);
    EXPECT_EQ(outcome.result, DownloadDialog::ResultOk);
    EXPECT_EQ(outcome.errors, std::vector<ErrorSeen>());
    EXPECT_TRUE(imageHolds(imageOf(instrument::penetrometerMemory(6, 5))));
    EXPECT_EQ(results->dev_type, 4);
    EXPECT_EQ(port()->portName(), instrument.path());
    EXPECT_FALSE(port()->isOpen());
    // One request on each silent line, one identification and one memory request on the
    // instrument's.
    EXPECT_EQ(com1Line.readAvailable(), "V");
    EXPECT_EQ(com2Line.readAvailable(), "V");
    EXPECT_EQ(instrument.count("received V"), 1);
    EXPECT_EQ(instrument.count("received N"), 1);
    EXPECT_EQ(shown, (std::vector<QString>{
                         QStringLiteral("Порт: COM1 (%1)").arg(com1Line.path()),
                         QStringLiteral("Порт: COM2 (%1)").arg(com2Line.path()),
                         QStringLiteral("Порт: %1").arg(instrument.path()),
                     }));
}

TEST_F(SearchAllPortsTest, NamesThePortsItTriedWhenNoneAnswers)
{
    Pty com1Line;
    Pty further;
    pointPort(1, com1Line.path());
    pointPort(2, kNowhere);
    addPresent(further.path());

    std::vector<QString> shown;
    const Outcome outcome = runNotingPorts(shown);
    EXPECT_EQ(outcome.result, DownloadDialog::ResultCancel);
    EXPECT_EQ(shown, (std::vector<QString>{
                         QStringLiteral("Порт: COM1 (%1)").arg(com1Line.path()),
                         QStringLiteral("Порт: COM2 (%1)").arg(kNowhere),
                         QStringLiteral("Порт: %1").arg(further.path()),
                     }));
    const QString expected = kNotFound + QStringLiteral("\nОпрошены порты: COM1 (%1), COM2 (%2), %3")
                                             .arg(com1Line.path(), kNowhere, further.path());
    EXPECT_EQ(outcome.errors, std::vector{shownOverTheDialog(expected)});
    EXPECT_EQ(com1Line.readAvailable(), "V");
    EXPECT_EQ(further.readAvailable(), "V");
    EXPECT_EQ(port()->portName(), kCom1);
    EXPECT_FALSE(port()->isOpen());
    EXPECT_TRUE(imageUntouched());
    // Back on the first port, as the next download begins.
    EXPECT_EQ(text("PortText"), QStringLiteral("Порт: COM1 (%1)").arg(com1Line.path()));
}

} // namespace
} // namespace device_test
