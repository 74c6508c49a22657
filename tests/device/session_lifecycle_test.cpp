// The download session's life: start, port time-outs, cancel, close, restarts, and the
// protocol's decoding operations.

#include "tests/device/session_test_support.h"

#include "tools/emulator/instrument_frames.h"

namespace device_test {
namespace {

using State = DownloadSession::State;

const QString kCom1 = QStringLiteral(R"(\\.\COM1)");
const QString kCom2 = QStringLiteral(R"(\\.\COM2)");
const char* const kNotFound =
    "Прибор не обнаружен! Проверте правильность подключения согласно инструкции!";

TEST_F(SessionTest, StartOpensTheFirstPortAsksForIdentificationAndStartsTheTimeOut)
{
    const Actions expected = {
        act(Kind::SetPortName, 0, kCom1),
        act(Kind::SetProgress, 0),
        act(Kind::SetCountText),
        act(Kind::SetDeviceText),
        act(Kind::SetVersionText),
        text(Kind::SetStatus, "Ожидание готовности прибора ..."),
        text(Kind::SetCaption, "Прием данных"),
        act(Kind::OpenPort),
        send('V'),
        act(Kind::StartTimer, 3000),
    };
    EXPECT_EQ(start(), expected);
    EXPECT_EQ(session.state(), State::WaitingFirstPort);
    EXPECT_EQ(session.phase(), DownloadSession::Phase::V);
}

TEST_F(SessionTest, TimeOutsTryTheSecondPortOnceThenGiveUp)
{
    start();
    const auto firstSpan = session.timeout();
    const Actions first(firstSpan.begin(), firstSpan.end());
    const Actions toSecond = {
        act(Kind::StopTimer),
        act(Kind::ClosePort),
        act(Kind::SetPortName, 0, kCom2),
        act(Kind::OpenPort),
        act(Kind::SetProgress, 0),
        send('V'),
        act(Kind::StartTimer, 3000),
    };
    EXPECT_EQ(first, toSecond);
    EXPECT_EQ(session.state(), State::WaitingSecondPort);

    const auto span = session.timeout();
    const Actions second(span.begin(), span.end());
    const Actions giveUp = {
        act(Kind::StopTimer),
        act(Kind::ClosePort),
        act(Kind::SetPortName, 0, kCom1),
        act(Kind::SetProgress, 0),
        // The message as it always was, and where the instrument was looked for.
        act(Kind::ShowError, 0, QString::fromUtf8(kNotFound) + QStringLiteral("\nОпрошены порты: COM1, COM2")),
        act(Kind::Finish, DownloadSession::ResultCancel),
    };
    EXPECT_EQ(second, giveUp);
    EXPECT_EQ(session.state(), State::NotFound);
    EXPECT_EQ(session.portName(), kCom1);
}

TEST_F(SessionTest, NoTimeOutOnceTheFrameHasStarted)
{
    // Covers a time-out that was already queued when the S stopped the timer, and the
    // instrument falling silent mid-frame: neither ends the download.
    start();
    const Actions stop = feed("S0");
    EXPECT_EQ(stop, Actions{act(Kind::StopTimer)});
    EXPECT_EQ(session.state(), State::Identifying);
    EXPECT_TRUE(session.timeout().empty());
    EXPECT_TRUE(session.active());
}

TEST_F(SessionTest, CancelClosesThePortAndEndsWithCancelInEveryActiveState)
{
    struct Case {
        const char* name;
        std::function<void(SessionHarness&)> reach;
        State state;
    };
    const std::vector<Case> cases = {
        {"waiting, first port", [](SessionHarness& t) { t.start(); }, State::WaitingFirstPort},
        {"waiting, second port", [](SessionHarness& t) { t.start(); t.session.timeout(); },
         State::WaitingSecondPort},
        {"identifying", [](SessionHarness& t) { t.start(); t.feed("S01"); }, State::Identifying},
        {"restarted", [](SessionHarness& t) { t.start(); t.feed("Z"); }, State::Restarted},
        {"receiving", [](SessionHarness& t) { t.startAndIdentify(); t.feed("S1000"); },
         State::Receiving},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionHarness t;
        c.reach(t);
        ASSERT_EQ(t.session.state(), c.state);
        const auto span = t.session.cancel();
        const Actions expected = {
            act(Kind::ClosePort),
            act(Kind::SetProgress, 0),
            act(Kind::Finish, DownloadSession::ResultCancel),
        };
        EXPECT_EQ(Actions(span.begin(), span.end()), expected);
        EXPECT_EQ(t.session.state(), State::Cancelled);
        EXPECT_EQ(t.session.receivedCount(), 0u);
    }
}

TEST_F(SessionTest, AFinishedSessionIgnoresLateEvents)
{
    start();
    session.cancel();
    const std::string frame = instrument::identificationFrame({});
    EXPECT_TRUE(session.receive(frame.data(), frame.size()).empty());
    EXPECT_TRUE(session.timeout().empty());
    EXPECT_TRUE(session.cancel().empty());
    EXPECT_EQ(session.state(), State::Cancelled);
}

TEST_F(SessionTest, ClosingTheDialogStopsTheTimerAndNeverLeavesThePortOpen)
{
    start();
    const auto whileActive = session.close();
    EXPECT_EQ(Actions(whileActive.begin(), whileActive.end()),
              (Actions{act(Kind::StopTimer), act(Kind::ClosePort)}));
    EXPECT_FALSE(session.active());

    const auto afterEnd = session.close();
    EXPECT_EQ(Actions(afterEnd.begin(), afterEnd.end()), Actions{act(Kind::StopTimer)});
}

TEST_F(SessionTest, EveryStartIsAFreshDownload)
{
    start();
    feed("junk S0");
    session.cancel();
    start();
    EXPECT_EQ(session.state(), State::WaitingFirstPort);
    EXPECT_EQ(session.receivedCount(), 0u);
    EXPECT_TRUE(session.timerRunning());
    EXPECT_EQ(finishOf(feed(instrument::identificationFrame({}))), std::nullopt);
    EXPECT_EQ(session.state(), State::Receiving);
}

TEST_F(SessionTest, DecodingOperationsFollowTheNibbleArithmetic)
{
    // No marker among these, so they simply stay in the buffer of the waiting phase.
    start();
    feed("7:" "4321" "87654321" "503081" "AB");
    EXPECT_EQ(session.pairToByte(0), 0xA7);
    EXPECT_EQ(session.quadToWord(2), 0x1234);
    EXPECT_EQ(session.octetToDword(6), 0x12345678u);
    EXPECT_EQ(session.versionText(14), "24.03.05");
    // Characters outside '0'..'?' are not refused; ('B' − 48) × 16 + ('A' − 48) = 305 ≡ 49.
    EXPECT_EQ(session.pairToByte(20), 49);
}

TEST_F(SessionTest, FindCharLooksOnlyAtCharactersOfThisPhase)
{
    start();
    feed("abcSdefP");
    session.cancel();
    start();
    feed("xy");
    // The old S and P still lie in the buffer, beyond the two characters received now.
    EXPECT_EQ(session.findChar('S'), std::nullopt);
    EXPECT_EQ(session.findChar('P'), std::nullopt);
    EXPECT_EQ(session.findChar('y'), 1u);
    EXPECT_EQ(session.findChar('x', 1), std::nullopt);
}

TEST_F(SessionTest, ChecksumExampleFrameDecodesToItsSixBytes)
{
    // Four '0' characters sum to 0x31 + 0x32 + 0x33 + 0x34 = 0xCA, sent as ":<000000".
    ASSERT_EQ(instrument::makeFrame("0000"), "S0000:<000000P");
    startAndIdentify();
    const Actions actions = feed("S0000:<000000P");
    EXPECT_EQ(finishOf(actions), DownloadSession::ResultOk);
    const std::vector<std::uint8_t> image(results->flash_image.begin(), results->flash_image.begin() + 6);
    EXPECT_EQ(image, (std::vector<std::uint8_t>{0x00, 0x00, 0xCA, 0x00, 0x00, 0x00}));
    EXPECT_EQ(results->image_length, 6u);
}

} // namespace
} // namespace device_test
