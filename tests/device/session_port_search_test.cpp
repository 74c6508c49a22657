// The download session going through a list of ports: each port once, in order, with one
// request and its own time-out; an instrument found on any of them; and what the user reads
// when none answers.

#include "tests/device/session_test_support.h"

#include "tools/emulator/instrument_frames.h"
#include "tools/emulator/penetrometer_records.h"

#include <QStringList>

#include <algorithm>

namespace device_test {
namespace {

using State = DownloadSession::State;
using device::PortSearch;

const QString kCom1 = QStringLiteral(R"(\\.\COM1)");
const QString kCom2 = QStringLiteral(R"(\\.\COM2)");
const QString kNotFound =
    QStringLiteral("Прибор не обнаружен! Проверте правильность подключения согласно инструкции!");

// The usual two ports, shown with devices as the dialog shows them, then `others`.
PortSearch searchOf(bool allPorts, std::initializer_list<const char*> others = {})
{
    PortSearch search{{{kCom1, QStringLiteral("COM1 (/dev/ttyS0)")},
                       {kCom2, QStringLiteral("COM2 (/dev/ttyUSB3)")}},
                      allPorts};
    for (const char* other : others)
        search.ports.push_back({QString::fromUtf8(other), QString::fromUtf8(other)});
    return search;
}

Actions collect(DownloadSession::Actions span)
{
    return Actions(span.begin(), span.end());
}

std::vector<QString> namesOf(const PortSearch& search)
{
    std::vector<QString> names;
    for (const PortSearch::Port& port : search.ports)
        names.push_back(port.name);
    return names;
}

TEST(SessionPortSearch, TriesEveryPortOnceInOrderThenGivesUpOnTheFirst)
{
    struct Case {
        const char* name;
        PortSearch search;
    };
    const Case cases[] = {
        {"one port", PortSearch{{{kCom2, QStringLiteral("COM2")}}, false}},
        {"the usual two", PortSearch::usual()},
        {"search, nothing else present", searchOf(true)},
        {"search, two more", searchOf(true, {"/dev/ttyUSB0", "/dev/ttyACM1"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionHarness t;
        t.session.setPortSearch(c.search);
        const std::vector<QString> names = namesOf(c.search);

        Actions all = t.start();
        EXPECT_EQ(t.session.state(), State::WaitingFirstPort);
        for (std::size_t tried = 1; tried < names.size(); ++tried) {
            EXPECT_EQ(t.session.portsTried().size(), tried);
            const Actions next = collect(t.session.timeout());
            // The port before is closed before the next one is named and opened.
            const Actions opening = {
                act(Kind::StopTimer),
                act(Kind::ClosePort),
                act(Kind::SetPortName, 0, names[tried]),
                act(Kind::OpenPort),
                act(Kind::SetProgress, 0),
                send('V'),
                act(Kind::StartTimer, 3000),
            };
            EXPECT_EQ(next, opening);
            EXPECT_EQ(t.session.state(), tried == 1 ? State::WaitingSecondPort : State::WaitingFurtherPort);
            EXPECT_EQ(t.session.portName(), names[tried]);
            EXPECT_TRUE(t.session.timerRunning());
            all.insert(all.end(), next.begin(), next.end());
        }
        const Actions last = collect(t.session.timeout());
        all.insert(all.end(), last.begin(), last.end());

        std::vector<QString> named = names;
        named.push_back(names.front());
        EXPECT_EQ(textsOf(all, Kind::SetPortName), named);
        EXPECT_EQ(valuesOf(all, Kind::Send), std::vector<int>(names.size(), 'V'));
        EXPECT_EQ(valuesOf(all, Kind::StartTimer), std::vector<int>(names.size(), 3000));
        EXPECT_EQ(std::count(all.begin(), all.end(), act(Kind::OpenPort)), long(names.size()));
        EXPECT_EQ(std::count(all.begin(), all.end(), act(Kind::ClosePort)), long(names.size()));
        EXPECT_EQ(finishOf(last), DownloadSession::ResultCancel);
        EXPECT_EQ(t.session.state(), State::NotFound);
        EXPECT_EQ(t.session.portName(), names.front());
        EXPECT_EQ(t.session.portsTried().size(), names.size());
        EXPECT_FALSE(t.session.timerRunning());
    }
}

TEST(SessionPortSearch, NotFoundNamesThePortsTried)
{
    struct Case {
        const char* name;
        PortSearch search;
        QString secondLine;
    };
    const Case cases[] = {
        {"no search, the usual two", PortSearch::usual(), QStringLiteral("Опрошены порты: COM1, COM2")},
        {"no search, devices shown", searchOf(false),
         QStringLiteral("Опрошены порты: COM1 (/dev/ttyS0), COM2 (/dev/ttyUSB3)")},
        {"search, nothing else present", searchOf(true),
         QStringLiteral("Опрошены порты: COM1 (/dev/ttyS0), COM2 (/dev/ttyUSB3)")},
        {"search, two more", searchOf(true, {"/dev/ttyUSB0", "/dev/ttyACM1"}),
         QStringLiteral("Опрошены порты: COM1 (/dev/ttyS0), COM2 (/dev/ttyUSB3), /dev/ttyUSB0, "
                        "/dev/ttyACM1")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionHarness t;
        t.session.setPortSearch(c.search);
        t.start();
        Actions last;
        while (t.session.active())
            last = collect(t.session.timeout());
        const std::vector<QString> errors = textsOf(last, Kind::ShowError);
        ASSERT_EQ(errors.size(), 1u);
        const QStringList lines = errors.front().split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 2);
        // The first line is the message as it always was, byte for byte.
        EXPECT_EQ(lines.front().toUtf8(), kNotFound.toUtf8());
        EXPECT_EQ(lines.back(), c.secondLine);
    }
}

TEST(SessionPortSearch, WithoutTheSearchTheSessionActsAsWithTheUsualTwoPorts)
{
    // The dialog always hands in a search; with the search off, only how the ports are shown
    // (the not-found message's second line) may differ from a session left with its own two
    // ports.
    const auto firstLines = [](Actions actions) {
        for (auto& a : actions)
            if (a.kind == Kind::ShowError)
                a.text = a.text.section(QLatin1Char('\n'), 0, 0);
        return actions;
    };
    const auto script = [&firstLines](SessionHarness& t) {
        Actions all = t.start();
        for (int i = 0; i < 2; ++i) {
            const Actions next = collect(t.session.timeout());
            all.insert(all.end(), next.begin(), next.end());
        }
        const Actions again = t.start();
        all.insert(all.end(), again.begin(), again.end());
        const Actions moved = collect(t.session.timeout());
        all.insert(all.end(), moved.begin(), moved.end());
        const Actions id = t.feed(instrument::identificationFrame({}));
        all.insert(all.end(), id.begin(), id.end());
        return firstLines(all);
    };
    SessionHarness usual;
    SessionHarness given;
    given.session.setPortSearch(searchOf(false));
    EXPECT_EQ(script(given), script(usual));
    EXPECT_EQ(given.session.state(), usual.session.state());
}

TEST(SessionPortSearch, AnInstrumentOnAFurtherPortIsDownloaded)
{
    SessionHarness t;
    t.session.setPortSearch(searchOf(true, {"/dev/ttyUSB0", "/dev/ttyUSB1"}));
    t.start();
    t.session.timeout();
    t.session.timeout();
    ASSERT_EQ(t.session.state(), State::WaitingFurtherPort);
    EXPECT_EQ(t.session.portName(), "/dev/ttyUSB0");

    // The S stops the port time-out here as on the first two ports.
    EXPECT_EQ(t.feed("S"), Actions{act(Kind::StopTimer)});
    EXPECT_TRUE(t.session.timeout().empty());
    t.session.cancel();

    t.start();
    t.session.timeout();
    t.session.timeout();
    const std::vector<std::uint8_t> memory = instrument::penetrometerMemory(5, 2);
    EXPECT_EQ(finishOf(t.feed(instrument::identificationFrame({}))), std::nullopt);
    EXPECT_EQ(t.session.state(), State::Receiving);
    EXPECT_EQ(finishOf(t.feed(instrument::dataFrame(memory), 44)), DownloadSession::ResultOk);
    EXPECT_EQ(t.session.portName(), "/dev/ttyUSB0");
    EXPECT_EQ(t.session.portsTried().size(), 3u);
    const std::vector<std::uint8_t> image = imageOf(memory);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), t.results->flash_image.begin()));
}

TEST(SessionPortSearch, CancelAndRestartWorkOnAFurtherPort)
{
    const PortSearch search = searchOf(true, {"/dev/ttyUSB0"});
    {
        SessionHarness t;
        t.session.setPortSearch(search);
        t.start();
        t.session.timeout();
        t.session.timeout();
        const Actions expected = {
            act(Kind::ClosePort),
            act(Kind::SetProgress, 0),
            act(Kind::Finish, DownloadSession::ResultCancel),
        };
        EXPECT_EQ(collect(t.session.cancel()), expected);
        EXPECT_EQ(t.session.state(), State::Cancelled);
    }
    {
        SessionHarness t;
        t.session.setPortSearch(search);
        t.start();
        t.session.timeout();
        t.session.timeout();
        EXPECT_EQ(t.feed("Z"), (Actions{act(Kind::StopTimer), send('V')}));
        EXPECT_EQ(t.session.state(), State::Restarted);
        // No time-out after a Z: the search does not move on to another port.
        EXPECT_TRUE(t.session.timeout().empty());
        EXPECT_EQ(t.session.portName(), "/dev/ttyUSB0");
    }
}

TEST(SessionPortSearch, ADownloadKeepsThePortsItStartedWith)
{
    SessionHarness t;
    t.start();
    const PortSearch wider = searchOf(true, {"/dev/ttyUSB0"});
    t.session.setPortSearch(wider);
    EXPECT_EQ(t.session.portSearch(), wider);
    t.session.timeout();
    t.session.timeout();
    EXPECT_EQ(t.session.state(), State::NotFound) << "the running download had two ports";

    t.start();
    EXPECT_EQ(t.session.shownPortName(kCom1), "COM1 (/dev/ttyS0)");
    EXPECT_EQ(t.session.shownPortName("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(t.session.shownPortName("/dev/unknown"), "/dev/unknown");
    t.session.timeout();
    t.session.timeout();
    EXPECT_EQ(t.session.state(), State::WaitingFurtherPort);

    // No ports at all means the usual two.
    t.session.setPortSearch({});
    EXPECT_EQ(t.session.portSearch(), PortSearch::usual());
}

} // namespace
} // namespace device_test
