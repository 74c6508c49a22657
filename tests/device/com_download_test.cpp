// The download through a Windows serial port, with the real dialog over the real driver (the
// Win32 communications API). Under Wine, scripts/test-windows points COM1 at the instrument
// emulator's pseudo-terminal; on a Windows machine, any port with an instrument or the
// emulator behind a null-modem pair will do. The environment names the port and what the
// instrument holds: KVEL_TEST_COM ("\\.\COM1"), KVEL_TEST_RECORDS, KVEL_TEST_SEED and
// KVEL_TEST_SERIAL, the emulator's --records, --seed and --serial.

#include "device/download_dialog.h"
#include "device/download_results.h"
#include "device/port_names.h"
#include "device/serial_port_driver.h"
#include "tests/device/session_test_support.h"
#include "tools/emulator/penetrometer_records.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

using device::DownloadDialog;

// Far beyond a download of a few dozen tests at line speed; only a hang reaches it.
constexpr int kHangGuardMs = 60000;

int environmentNumber(const char* name)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : -1;
}

TEST(ComDownload, DownloadsTheInstrumentsMemoryThroughTheSystemsPort)
{
    const QString com = qEnvironmentVariable("KVEL_TEST_COM");
    const int records = environmentNumber("KVEL_TEST_RECORDS");
    const int seed = environmentNumber("KVEL_TEST_SEED");
    const int serial = environmentNumber("KVEL_TEST_SERIAL");
    if (com.isEmpty() || records < 0 || seed < 0 || serial < 0)
        GTEST_SKIP() << "KVEL_TEST_COM, KVEL_TEST_RECORDS, KVEL_TEST_SEED and KVEL_TEST_SERIAL name no instrument";
    ASSERT_EQ(com, QStringLiteral(R"(\\.\COM1)")) << "the dialog asks COM1 first";

    auto results = std::make_unique<device::DownloadResults>();
    results->flash_image.fill(0xEE);
    DownloadDialog dialog(*results);
    QStringList errors;
    QObject::connect(&dialog, &DownloadDialog::errorOccurred, [&](const QString& text) { errors << text; });
    QTimer::singleShot(kHangGuardMs, &dialog, [&] { dialog.done(-1); });
    const int result = dialog.exec();

    EXPECT_EQ(result, int(DownloadDialog::ResultOk)) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(results->dev_type, 4);
    EXPECT_EQ(results->dev_serial, serial);
    const std::vector<std::uint8_t> image = device_test::imageOf(instrument::penetrometerMemory(std::uint16_t(records), std::uint32_t(seed)));
    ASSERT_EQ(results->image_length, image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), results->flash_image.begin()));
    const auto* count = dialog.findChild<QLabel*>(QStringLiteral("CountValue"));
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->text(), QString::number(records));
    const auto* port = dialog.findChild<device::SerialPortDriver*>(QStringLiteral("DownloadPort"));
    ASSERT_NE(port, nullptr);
    EXPECT_FALSE(port->isOpen());
}

} // namespace
