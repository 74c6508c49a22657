// The port choice as the settings hold it, how it is shown, and the list of ports a download
// goes through.

#include "device/port_names.h"
#include "tests/device/settings_support.h"

#include <QDir>
#include <QFile>
#include <QSerialPortInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <set>
#include <vector>

namespace device {

void PrintTo(const PortSearch::Port& port, std::ostream* out)
{
    *out << '{' << port.name.toStdString() << ", " << port.shown.toStdString() << '}';
}

} // namespace device

namespace device_test {
namespace {

using device::PortChoice;
using device::PortSearch;
using device::PresentPort;

const QString kCom1 = QStringLiteral(R"(\\.\COM1)");
const QString kCom2 = QStringLiteral(R"(\\.\COM2)");

std::vector<PresentPort> presentAt(std::initializer_list<QString> locations)
{
    std::vector<PresentPort> ports;
    for (const QString& location : locations)
        ports.push_back({location, QDir(location).dirName(), {}, {}, {}});
    return ports;
}

class PortChoiceTest : public testing::Test {
protected:
    void SetUp() override { clearSettings(); }
    void TearDown() override { clearSettings(); }
};

TEST_F(PortChoiceTest, TheSearchTriesComPortsFirstThenEveryOtherDeviceOnce)
{
    struct Case {
        const char* name;
        PortChoice choice;
        std::vector<PresentPort> present;
        std::vector<PortSearch::Port> expected;
    };
    const PortSearch::Port com1{kCom1, "COM1 (/dev/ttyS0)"};
    const PortSearch::Port com2{kCom2, "COM2 (/dev/ttyS1)"};
    const PortSearch::Port usb0{"/dev/ttyUSB0", "/dev/ttyUSB0"};
    const PortSearch::Port acm0{"/dev/ttyACM0", "/dev/ttyACM0"};
    const std::vector<Case> cases = {
        {"search off: the present ports are not looked at", {{}, {}, false},
         presentAt({"/dev/ttyUSB0"}), {com1, com2}},
        {"the defaults of COM1 and COM2 are not tried twice", {{}, {}, true},
         presentAt({"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyS1", "/dev/ttyACM0"}),
         {com1, com2, usb0, acm0}},
        {"nor a mapped device, while the default becomes just another port",
         {"/dev/ttyUSB0", {}, true}, presentAt({"/dev/ttyS0", "/dev/ttyUSB0"}),
         {{kCom1, "COM1 (/dev/ttyUSB0)"}, com2, {"/dev/ttyS0", "/dev/ttyS0"}}},
        {"a port listed twice, or with no location, counts once or not at all", {{}, {}, true},
         presentAt({"/dev/ttyUSB0", "", "/dev/ttyUSB0", "/dev/./ttyACM0", "/dev/ttyACM0"}),
         {com1, com2, usb0, {"/dev/./ttyACM0", "/dev/./ttyACM0"}}},
        {"nothing else present", {{}, "/dev/ttyACM0", true}, presentAt({"/dev/ttyACM0"}),
         {com1, {kCom2, "COM2 (/dev/ttyACM0)"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PortSearch search = device::portSearch(c.choice, c.present);
        EXPECT_EQ(search.ports, c.expected);
        EXPECT_EQ(search.allPorts, c.choice.searchAllPorts);
    }
}

TEST_F(PortChoiceTest, ALinkToTheDeviceOfComOneIsTheSamePort)
{
    // /dev/serial/by-id/… names are links to the tty: a search must not ask the same
    // adapter twice. Plain files stand in for the devices.
    const QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid());
    const QString adapter = dev.filePath(QStringLiteral("ttyUSB0"));
    const QString other = dev.filePath(QStringLiteral("ttyUSB1"));
    const QString link = dev.filePath(QStringLiteral("usb-adapter-port0"));
    for (const QString& device : {adapter, other}) {
        QFile file(device);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::link(adapter, link));

    for (const auto& [com1, listed] : {std::pair{link, adapter}, std::pair{adapter, link}}) {
        SCOPED_TRACE(com1.toStdString());
        const PortSearch search =
            device::portSearch({com1, {}, true}, presentAt({listed, other}));
        std::vector<QString> names;
        for (const PortSearch::Port& port : search.ports)
            names.push_back(port.name);
        EXPECT_EQ(names, (std::vector<QString>{kCom1, kCom2, other}));
    }
}

TEST_F(PortChoiceTest, TheChoiceIsKeptInTheProgramsSettings)
{
    // A computer set up before the port dialog existed: COM1 edited by hand, no search value.
    settings::open()->setValue(QStringLiteral("COM1"), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(device::readPortChoice(), (PortChoice{"/dev/ttyUSB0", {}, false}));

    const PortChoice cases[] = {
        {"/dev/ttyACM0", "/dev/ttyUSB1", true},
        {{}, "/dev/ttyUSB1", false},
        {"/dev/ttyUSB0", {}, true},
        {{}, {}, false},
    };
    for (const PortChoice& choice : cases) {
        SCOPED_TRACE(choice.com1.toStdString() + " " + choice.com2.toStdString());
        device::writePortChoice(choice);
        EXPECT_EQ(device::readPortChoice(), choice);
        const std::map<QString, QString> stored = settingsSnapshot();
        // An empty device leaves no value behind: the built-in default applies again.
        EXPECT_EQ(stored.count(QStringLiteral("COM1")), choice.com1.isEmpty() ? 0u : 1u);
        EXPECT_EQ(stored.count(QStringLiteral("COM2")), choice.com2.isEmpty() ? 0u : 1u);
        EXPECT_EQ(stored.at(device::kSearchAllPortsKey), choice.searchAllPorts ? "true" : "false");
        // What the dialog shows is what the driver opens.
        EXPECT_EQ(device::comDevice(1, choice), device::devicePathForPort(kCom1));
        EXPECT_EQ(device::comDevice(2, choice), device::devicePathForPort(kCom2));
    }

    // Typed with stray blanks, kept without them.
    device::writePortChoice({QStringLiteral("  /dev/ttyUSB0 "), QStringLiteral(" "), false});
    EXPECT_EQ(device::readPortChoice(), (PortChoice{"/dev/ttyUSB0", {}, false}));
}

// A value edited by hand that is no boolean does not switch the search on.
TEST_F(PortChoiceTest, ASearchFlagThatIsNoBooleanIsUnset)
{
    struct Case {
        const char* stored;
        bool search;
    };
    for (const Case& c : std::initializer_list<Case>{{"true", true}, {"TRUE", true}, {"1", true}, {"false", false},
                                                     {"0", false}, {"notabool", false}, {"yes", false},
                                                     {"", false}, {"2", false}}) {
        SCOPED_TRACE(c.stored);
        settings::open()->setValue(device::kSearchAllPortsKey, QString::fromLatin1(c.stored));
        EXPECT_EQ(device::readPortChoice().searchAllPorts, c.search);
    }
}

TEST_F(PortChoiceTest, PortsAreShownAsTheUserKnowsThem)
{
    const PortChoice choice{"/dev/ttyUSB0", {}, true};
    const std::pair<QString, QString> cases[] = {
        {kCom1, "COM1 (/dev/ttyUSB0)"},
        {kCom2, "COM2 (/dev/ttyS1)"},
        {QStringLiteral(R"(\\.\com2)"), "COM2 (/dev/ttyS1)"},
        {QStringLiteral(R"(\\.\COM3)"), "COM3 (/dev/ttyS2)"},
        {QStringLiteral("/dev/ttyACM0"), "/dev/ttyACM0"},
    };
    for (const auto& [name, shown] : cases)
        EXPECT_EQ(device::portDisplayName(name, choice), shown) << name.toStdString();
}

TEST_F(PortChoiceTest, TheSummarySaysWhereTheProgramLooks)
{
    struct Case {
        PortChoice choice;
        QString summary;
    };
    const Case cases[] = {
        {{}, "Порт прибора: COM1 — /dev/ttyS0, COM2 — /dev/ttyS1"},
        {{"/dev/ttyUSB0", {}, false}, "Порт прибора: COM1 — /dev/ttyUSB0, COM2 — /dev/ttyS1"},
        {{{}, "/dev/ttyACM0", true},
         "Порт прибора: COM1 — /dev/ttyS0, COM2 — /dev/ttyACM0, поиск на всех портах"},
    };
    for (const Case& c : cases) {
        device::writePortChoice(c.choice);
        EXPECT_EQ(device::portChoiceSummary(), c.summary);
    }
}

TEST(PresentPorts, AreTheSystemsSerialPorts)
{
    // Whatever this computer has; often nothing at all.
    std::multiset<QString> expected;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        expected.insert(info.systemLocation());
    std::multiset<QString> listed;
    for (const PresentPort& port : device::presentPorts())
        listed.insert(port.systemLocation);
    EXPECT_EQ(listed, expected);
}

} // namespace
} // namespace device_test
