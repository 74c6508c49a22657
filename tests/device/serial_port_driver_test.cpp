// The serial port driver: its settings, and its behaviour on a real (pseudo-)terminal.

#include "device/port_names.h"
#include "device/serial_port_driver.h"
#include "tests/device/pty_support.h"

#include <gtest/gtest.h>

#include <thread>

namespace device_test {
namespace {

using namespace device;
using namespace std::chrono_literals;

const QString kCom1 = QStringLiteral(R"(\\.\COM1)");

TEST(SerialPortDriver, StartsWithItsDocumentedDefaults)
{
    const SerialPortDriver d;
    EXPECT_EQ(d.port(), PortId::Com2);
    EXPECT_EQ(d.portName(), QStringLiteral(R"(\\.\COM2)"));
    EXPECT_EQ(d.baudRate(), BaudRateName::B9600);
    EXPECT_EQ(d.baudRateValue(), 9600u);
    EXPECT_EQ(d.dataBits(), DataBitsKind::Bits8);
    EXPECT_EQ(d.stopBits(), StopBitsKind::One);
    EXPECT_EQ(d.parity(), ParityKind::None);
    EXPECT_EQ(d.inBufSize(), 2048u);
    EXPECT_EQ(d.outBufSize(), 2048u);
    EXPECT_EQ(d.pollingDelay(), 50);
    EXPECT_TRUE(d.enableDTROnOpen());
    EXPECT_FALSE(d.checkLineStatus());
    EXPECT_FALSE(d.onReceiveData());
    EXPECT_FALSE(d.isOpen());
}

TEST(SerialPortDriver, ClampsSizesAndThePollingDelay)
{
    struct Case {
        const char* name;
        void (SerialPortDriver::*set)(std::uint32_t);
        std::uint32_t (SerialPortDriver::*get)() const;
        std::uint32_t given, kept;
    };
    const Case cases[] = {
        {"inBufSize 100", &SerialPortDriver::setInBufSize, &SerialPortDriver::inBufSize, 100, 128},
        {"inBufSize 10000", &SerialPortDriver::setInBufSize, &SerialPortDriver::inBufSize, 10000, 8192},
        {"inBufSize 4096", &SerialPortDriver::setInBufSize, &SerialPortDriver::inBufSize, 4096, 4096},
        {"outBufSize 0", &SerialPortDriver::setOutBufSize, &SerialPortDriver::outBufSize, 0, 128},
        {"outBufSize 9000", &SerialPortDriver::setOutBufSize, &SerialPortDriver::outBufSize, 9000, 8192},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SerialPortDriver d;
        (d.*c.set)(c.given);
        EXPECT_EQ((d.*c.get)(), c.kept);
    }
    for (const auto& [given, kept] : {std::pair{0, 5}, {3, 5}, {5, 5}, {80, 80}}) {
        SCOPED_TRACE(given);
        SerialPortDriver d;
        d.setPollingDelay(std::uint16_t(given));
        EXPECT_EQ(d.pollingDelay(), kept);
    }
}

TEST(SerialPortDriver, SpeedNamesAndValuesFollowEachOther)
{
    SerialPortDriver d;
    d.setBaudRateValue(4800);
    EXPECT_EQ(d.baudRate(), BaudRateName::Custom);
    EXPECT_EQ(d.baudRateValue(), 4800u);
    d.setBaudRate(BaudRateName::B57600);
    EXPECT_EQ(d.baudRateValue(), 57600u);
    d.setBaudRate(BaudRateName::Custom);
    EXPECT_EQ(d.baudRateValue(), 57600u) << "Custom keeps the speed it has";

    const std::pair<BaudRateName, std::uint32_t> names[] = {
        {BaudRateName::B110, 110}, {BaudRateName::B300, 300}, {BaudRateName::B600, 600},
        {BaudRateName::B1200, 1200}, {BaudRateName::B2400, 2400}, {BaudRateName::B4800, 4800},
        {BaudRateName::B9600, 9600}, {BaudRateName::B14400, 14400}, {BaudRateName::B19200, 19200},
        {BaudRateName::B38400, 38400}, {BaudRateName::B56000, 56000}, {BaudRateName::B57600, 57600},
        {BaudRateName::B115200, 115200}, {BaudRateName::B128000, 128000},
        {BaudRateName::B256000, 256000},
    };
    for (const auto& [name, speed] : names) {
        d.setBaudRate(name);
        EXPECT_EQ(d.baudRateValue(), speed);
    }
}

TEST(SerialPortDriver, PortNumbersAndNamesFollowEachOther)
{
    SerialPortDriver d;
    d.setPort(PortId::Com3);
    EXPECT_EQ(d.portName(), QStringLiteral(R"(\\.\COM3)"));
    d.setPort(PortId::Com16);
    EXPECT_EQ(d.portName(), QStringLiteral(R"(\\.\COM16)"));
    d.setPortName(kCom1);
    EXPECT_EQ(d.port(), PortId::Custom);
    d.setPort(PortId::Custom);
    EXPECT_EQ(d.portName(), kCom1);
}

#ifndef Q_OS_WIN
TEST(SerialPortDriver, ComNamesMapToTheSettingsOrToTheBuiltInPorts)
{
    pointPort(1, QStringLiteral("/dev/pts/77"));
    const std::pair<const char*, const char*> cases[] = {
        {R"(\\.\COM1)", "/dev/pts/77"},
        {R"(\\.\COM2)", "/dev/ttyS1"},
        {R"(\\.\com12)", "/dev/ttyS11"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {R"(\\.\COM0)", R"(\\.\COM0)"},
        {R"(\\.\COM1x)", R"(\\.\COM1x)"},
    };
    for (const auto& [name, path] : cases)
        EXPECT_EQ(devicePathForPort(QString::fromLatin1(name)), QString::fromLatin1(path)) << name;
}
#endif

TEST(SerialPortDriver, AClosedPortDoesNothing)
{
    SerialPortDriver d;
    d.setPortName(QStringLiteral("/nonexistent/kvel-port"));
    EXPECT_FALSE(d.openPort());
    EXPECT_FALSE(d.isOpen());
    d.closePort();
    EXPECT_FALSE(d.isOpen());
    EXPECT_EQ(d.writeData("abc", 3, 100), 0u);
    EXPECT_FALSE(d.writeChar('V'));
    EXPECT_FALSE(d.purgePort(true, true));
    EXPECT_FALSE(d.applyPortSettings());
    EXPECT_FALSE(d.modemLines());
    EXPECT_EQ(d.outputRoom(), 65535);
}

// The driver as the download dialog sets it up, opened on a pty.
class OpenDriver : public testing::Test {
protected:
    void SetUp() override
    {
        driver.setPortName(pty.path());
        driver.setStopBits(StopBitsKind::Two);
        driver.setEnableDTROnOpen(false);
        driver.setPollingDelay(5);
        ASSERT_TRUE(driver.openPort());
    }

    Pty pty;
    SerialPortDriver driver;
};

TEST_F(OpenDriver, AppliesTheLineSettingsAndReappliesAChangeAtOnce)
{
    Pty::Line line = pty.line();
    EXPECT_EQ(line.baud, 9600u);
    EXPECT_EQ(line.dataBits, 8);
    EXPECT_TRUE(line.twoStopBits);
    EXPECT_FALSE(line.parity);
    EXPECT_FALSE(line.rtsCts);
    EXPECT_FALSE(line.xonXoff);

    // (A pseudo-terminal keeps 8 data bits without parity whatever it is told, so the
    // change is one of speed and stop bits.)
    driver.setBaudRate(BaudRateName::B19200);
    driver.setStopBits(StopBitsKind::One);
    line = pty.line();
    EXPECT_EQ(line.baud, 19200u);
    EXPECT_FALSE(line.twoStopBits);
}

TEST_F(OpenDriver, IgnoresPortAndBufferChangesWhileOpen)
{
    driver.setPortName(QStringLiteral("/dev/null"));
    driver.setPort(PortId::Com5);
    driver.setInBufSize(4096);
    driver.setOutBufSize(4096);
    EXPECT_EQ(driver.portName(), pty.path());
    EXPECT_EQ(driver.port(), PortId::Custom);
    EXPECT_EQ(driver.inBufSize(), 2048u);
    EXPECT_EQ(driver.outBufSize(), 2048u);
    EXPECT_TRUE(driver.openPort()) << "opening an open port is no failure";
}

TEST_F(OpenDriver, DeliversEveryCharacterInOrderInBatchesOfAtMostTheBufferSize)
{
    driver.closePort();
    driver.setInBufSize(128);
    ASSERT_TRUE(driver.openPort());
    std::string received;
    std::size_t largest = 0;
    driver.setOnReceiveData([&](SerialPortDriver* sender, const char* data, std::size_t size) {
        EXPECT_EQ(sender, &driver);
        received.append(data, size);
        largest = std::max(largest, size);
    });
    std::string sent;
    for (int i = 0; i < 3000; ++i)
        sent += char('0' + i % 64);
    pty.write(sent.substr(0, 1000));
    pty.write(sent.substr(1000));
    ASSERT_TRUE(waitUntil([&] { return received.size() >= sent.size(); }));
    EXPECT_EQ(received, sent);
    EXPECT_LE(largest, 128u);
}

TEST_F(OpenDriver, AHandlerThatClosesThePortEndsAllDeliveries)
{
    driver.closePort();
    driver.setInBufSize(128);
    ASSERT_TRUE(driver.openPort());
    int deliveries = 0;
    driver.setOnReceiveData([&](SerialPortDriver* sender, const char*, std::size_t) {
        ++deliveries;
        sender->closePort();
    });
    pty.write(std::string(1000, 'x'));
    ASSERT_TRUE(waitUntil([&] { return deliveries > 0; }));
    spinEventLoop(100ms);
    EXPECT_EQ(deliveries, 1);
    EXPECT_FALSE(driver.isOpen());
}

TEST_F(OpenDriver, CharactersWithoutAHandlerOrPurgedAreDropped)
{
    // Polls by hand, so that nothing is delivered behind the test's back.
    driver.setPollingDelay(60000);
    std::string received;
    auto receive = [&](SerialPortDriver*, const char* data, std::size_t size) {
        received.append(data, size);
    };
    // Characters reach the line a moment after they are written; then the event loop lets
    // the port take them in, ready for the next poll.
    auto handOver = [&](const std::string& chars) {
        pty.write(chars);
        for (int i = 0; i < 2000 && pty.waitingForDriver() < chars.size(); ++i)
            std::this_thread::sleep_for(1ms);
        return waitUntil([&] { return pty.waitingForDriver() == 0; });
    };

    ASSERT_TRUE(handOver("dropped"));
    driver.pollTick();
    driver.setOnReceiveData(receive);
    ASSERT_TRUE(handOver("purged"));
    EXPECT_TRUE(driver.purgePort(true, false));
    ASSERT_TRUE(handOver("kept"));
    driver.pollTick();
    EXPECT_EQ(received, "kept");
}

TEST_F(OpenDriver, WritesCommandCharacters)
{
    EXPECT_TRUE(driver.writeChar('V'));
    EXPECT_TRUE(driver.writeChar('N'));
    std::string got;
    ASSERT_TRUE(waitUntil([&] { got += pty.readAvailable(); return got.size() >= 2; }));
    EXPECT_EQ(got, "VN");
    EXPECT_EQ(driver.outputRoom(), driver.outBufSize());
}

TEST_F(OpenDriver, AWriteThatMakesNoProgressGivesUpAfterTheTimeOut)
{
    // Nobody reads the line: the device's buffer fills, then the driver's queue, then the
    // write gives up and says how much it placed.
    driver.closePort();
    driver.setOutBufSize(128);
    ASSERT_TRUE(driver.openPort());
    const std::string big(1 << 20, 'a');
    const std::size_t written = driver.writeData(big.data(), big.size(), 50);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
    EXPECT_EQ(driver.outputRoom(), 0);
}

TEST_F(OpenDriver, AWriteThatKeepsMovingIsNeverCutShort)
{
    // A reader that takes a little at a time: the whole write lasts far longer than the
    // time-out, but no pause without progress does.
    std::string pattern;
    for (std::size_t i = 0; i < (std::size_t(1) << 19); ++i)
        pattern += char('0' + i % 61);
    std::string got;
    std::thread reader([&] {
        char buffer[4096];
        const auto giveUp = std::chrono::steady_clock::now() + 20s;
        while (got.size() < pattern.size() && std::chrono::steady_clock::now() < giveUp) {
            const ssize_t n = ::read(pty.master(), buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, std::size_t(n));
            std::this_thread::sleep_for(5ms);
        }
    });
    const std::size_t written = driver.writeData(pattern.data(), pattern.size(), 200);
    EXPECT_EQ(written, pattern.size());
    // The last queued characters reach the line through the event loop.
    waitUntil([&] { return driver.outputRoom() == driver.outBufSize(); });
    reader.join();
    EXPECT_EQ(got.size(), pattern.size());
    EXPECT_TRUE(got == pattern);
}

TEST_F(OpenDriver, CheckLineStatusStopsWritesWhenNoModemLineIsActive)
{
    // A pseudo-terminal has no modem lines at all.
    EXPECT_FALSE(driver.modemLines());
    driver.setCheckLineStatus(true);
    EXPECT_FALSE(driver.writeChar('V'));
    driver.setCheckLineStatus(false);
    EXPECT_TRUE(driver.writeChar('V'));
}

TEST_F(OpenDriver, APortThatVanishesIsClosedWithoutHangingTheProgram)
{
    int deliveries = 0;
    driver.setOnReceiveData([&](SerialPortDriver*, const char*, std::size_t) { ++deliveries; });
    pty.write("x");
    ASSERT_TRUE(waitUntil([&] { return deliveries == 1; }));
    pty.hangUp();
    ASSERT_TRUE(waitUntil([&] { return !driver.isOpen(); }));
    EXPECT_FALSE(driver.writeChar('V'));
    // It can be opened again once there is something to open.
    Pty another;
    driver.setPortName(another.path());
    EXPECT_TRUE(driver.openPort());
}

} // namespace
} // namespace device_test
