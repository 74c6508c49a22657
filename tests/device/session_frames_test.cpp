// The download session over identification and data frames as the instrument sends them,
// split every way a serial line may split them.

#include "tests/device/session_test_support.h"

#include "tools/emulator/instrument_frames.h"
#include "tools/emulator/penetrometer_records.h"

#include <algorithm>

namespace device_test {
namespace {

using State = DownloadSession::State;
using instrument::Identification;

const char* const kTransferError = "Ошибка передачи данных!";
const char* const kWrongDevice = "Вы подключили не тот прибор !";
const char* const kNoData = "Нет данных для передачи!";

std::vector<QString> errorsOf(const Actions& actions)
{
    return textsOf(actions, Kind::ShowError);
}

std::vector<QString> one(const char* utf8)
{
    return {QString::fromUtf8(utf8)};
}

TEST_F(SessionTest, ADownloadGivesTheSameResultHoweverTheLineSplitsIt)
{
    const Identification id{4, 4321, {5, 3, 24}, {}};
    const std::vector<std::uint8_t> memory = instrument::penetrometerMemory(12, 7);
    const std::string idFrame = instrument::identificationFrame(id);
    const std::string dataFrame = instrument::dataFrame(memory);
    const std::vector<std::uint8_t> expectedImage = imageOf(memory);

    // 44 characters are what 50 ms bring at 9600 baud; 1 puts S and P in chunks of their own;
    // 9 and 10 end chunks right at and after the data frame's two words.
    for (const std::size_t chunk : {kWhole, std::size_t(1), std::size_t(9), std::size_t(10),
                                    std::size_t(44), std::size_t(4096)}) {
        SCOPED_TRACE(chunk);
        SessionHarness t;
        t.start();
        const Actions idActions = t.feed(idFrame, chunk);
        EXPECT_EQ(finishOf(idActions), std::nullopt);
        EXPECT_EQ(valuesOf(idActions, Kind::Send), std::vector<int>{'N'});
        EXPECT_EQ(textsOf(idActions, Kind::SetDeviceText), std::vector<QString>{"ВРТ-ТК5"});
        EXPECT_EQ(textsOf(idActions, Kind::SetVersionText), std::vector<QString>{"24.03.05"});
        EXPECT_EQ(textsOf(idActions, Kind::SetStatus),
                  std::vector<QString>{"Идет прием информации ..."});

        const Actions dataActions = t.feed(dataFrame, chunk);
        EXPECT_EQ(finishOf(dataActions), DownloadSession::ResultOk);
        EXPECT_EQ(errorsOf(dataActions), std::vector<QString>{});
        EXPECT_EQ(textsOf(dataActions, Kind::SetCountText), std::vector<QString>{"12"});
        const std::vector<int> progress = valuesOf(dataActions, Kind::SetProgress);
        ASSERT_FALSE(progress.empty());
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_EQ(progress.back(), 100);

        EXPECT_EQ(t.session.state(), State::Done);
        EXPECT_EQ(t.results->dev_type, 4);
        EXPECT_EQ(t.results->dev_serial, 4321);
        EXPECT_EQ(t.results->fw_version, "24.03.05");
        // (P − 1) / 2 bytes: W1, W2 and the memory, then the checksum in the last four.
        ASSERT_EQ(t.results->image_length, (dataFrame.size() - 2) / 2);
        EXPECT_TRUE(std::equal(expectedImage.begin(), expectedImage.end(),
                               t.results->flash_image.begin(),
                               t.results->flash_image.begin() + t.results->image_length));
    }
}

TEST_F(SessionTest, IdentificationFramesAreCheckedBeforeTheMemoryIsAsked)
{
    struct Case {
        const char* name;
        std::string frame;
        const char* error;      // nullptr: accepted
        int devType;            // what the results hold afterwards
        const char* version;
    };
    std::string noType = instrument::identificationFrame({20, 77, {5, 3, 24}, {}});
    const std::vector<Case> cases = {
        {"device type 4", instrument::identificationFrame({4, 77, {5, 3, 24}, {}}), nullptr, 4, "24.03.05"},
        {"device type 5", instrument::identificationFrame({5, 77, {5, 3, 24}, {}}), kWrongDevice, 5, "24.03.05"},
        {"type character 'D'", noType, kWrongDevice, 20, "24.03.05"},
        {"extra characters covered by the checksum",
         instrument::identificationFrame({4, 77, {1, 2, 3}, "0123456789:;<=>?"}), nullptr, 4, "03.02.01"},
        {"version byte 0", instrument::identificationFrame({4, 77, {0, 0, 0}, {}}), nullptr, 4, "00.00.00"},
        {"version bytes of three digits",
         instrument::identificationFrame({4, 77, {255, 100, 124}, {}}), nullptr, 4, "124.100.255"},
        {"line noise before the S",
         "\r\n\x01~" + instrument::identificationFrame({4, 77, {5, 3, 24}, {}}), nullptr, 4, "24.03.05"},
        {"bad checksum", instrument::identificationFrame({4, 77, {5, 3, 24}, {}}, true),
         kTransferError, 0, ""},
        {"no room for its fields (good checksum)", instrument::makeFrame("00400000"),
         kTransferError, 0, ""},
        {"P before the S", "P" + instrument::identificationFrame({4, 77, {5, 3, 24}, {}}),
         kTransferError, 0, ""},
    };
    for (const Case& c : cases) {
        for (const std::size_t chunk : {kWhole, std::size_t(3)}) {
            SCOPED_TRACE(std::string(c.name) + ", chunk " + std::to_string(chunk));
            SessionHarness t;
            t.start();
            const Actions actions = t.feed(c.frame, chunk);
            if (c.error) {
                EXPECT_EQ(errorsOf(actions), one(c.error));
                EXPECT_EQ(finishOf(actions), DownloadSession::ResultCancel);
                EXPECT_EQ(valuesOf(actions, Kind::Send), std::vector<int>{});
                const auto close = std::find(actions.begin(), actions.end(), act(Kind::ClosePort));
                const auto error = std::find_if(actions.begin(), actions.end(),
                    [](const SessionAction& a) { return a.kind == Kind::ShowError; });
                EXPECT_LT(close, error) << "the port must be closed before the message";
            } else {
                EXPECT_EQ(errorsOf(actions), std::vector<QString>{});
                EXPECT_EQ(valuesOf(actions, Kind::Send), std::vector<int>{'N'});
                EXPECT_EQ(t.session.state(), State::Receiving);
            }
            EXPECT_EQ(t.results->dev_type, c.devType);
            EXPECT_EQ(t.results->fw_version, QString::fromUtf8(c.version));
            if (c.devType != 0) {
                EXPECT_EQ(t.results->dev_serial, 77);
            }
        }
    }
}

TEST_F(SessionTest, DataFramesThatCannotBeKeptLeaveTheImageAsItWas)
{
    std::string wrongCharacter = instrument::dataFrame(instrument::penetrometerMemory(3, 1));
    wrongCharacter[40] = wrongCharacter[40] == '0' ? '1' : '0';
    std::string oddContents(instrument::dataFrame(instrument::penetrometerMemory(3, 1)));
    oddContents = instrument::makeFrame(oddContents.substr(1, oddContents.size() - 10) + "0");
    const std::vector<std::uint8_t> tooLarge(65533, 0x11);  // with the checksum 65,537 bytes

    struct Case {
        const char* name;
        std::string frame;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"one wrong character", wrongCharacter, kTransferError},
        {"bad checksum", instrument::dataFrame(instrument::penetrometerMemory(3, 1), true), kTransferError},
        {"odd number of characters (good checksum)", oddContents, kTransferError},
        {"image of 65,537 bytes", instrument::dataFrame(tooLarge), kTransferError},
        {"P before the S", "P" + instrument::dataFrame(instrument::penetrometerMemory(3, 1)), kTransferError},
        {"end within the words", "S0000P", kTransferError},
        {"W1 + W2 = 0", instrument::dataFrame(std::vector<std::uint8_t>(4, 0)), kNoData},
    };
    for (const Case& c : cases) {
        for (const std::size_t chunk : {kWhole, std::size_t(44)}) {
            SCOPED_TRACE(std::string(c.name) + ", chunk " + std::to_string(chunk));
            SessionHarness t;
            t.results->flash_image.fill(0xEE);
            t.results->image_length = 1234;
            t.startAndIdentify();
            const Actions actions = t.feed(c.frame, chunk);
            EXPECT_EQ(errorsOf(actions), one(c.error));
            EXPECT_EQ(finishOf(actions), DownloadSession::ResultCancel);
            EXPECT_EQ(valuesOf(actions, Kind::ClosePort).size(), 1u);
            EXPECT_TRUE(std::all_of(t.results->flash_image.begin(), t.results->flash_image.end(),
                                    [](std::uint8_t b) { return b == 0xEE; }));
            EXPECT_EQ(t.results->image_length, 1234u);
        }
    }
}

TEST_F(SessionTest, TheLargestImageIsAcceptedAndOneByteMoreIsRefusedBeforeItsEnd)
{
    // 65,532 bytes of memory and 4 of checksum fill the image exactly.
    std::vector<std::uint8_t> memory(65532, 0x5A);
    memory[0] = 0x10;
    const std::string fits = instrument::dataFrame(memory);
    startAndIdentify();
    EXPECT_EQ(finishOf(feed(fits, 4096)), DownloadSession::ResultOk);
    EXPECT_EQ(results->image_length, 65536u);

    // Without its P: refused as soon as it holds more characters than an image can.
    memory.push_back(0x5A);
    const std::string tooLong = instrument::dataFrame(memory);
    startAndIdentify();
    const Actions actions = feed(std::string_view(tooLong).substr(0, 1 + 2 * 65536 + 1));
    EXPECT_EQ(errorsOf(actions), one(kTransferError));
    EXPECT_EQ(session.state(), State::BadFrame);
}

TEST_F(SessionTest, NoDataIsReportedAsSoonAsBothWordsAndOneMoreCharacterHaveCome)
{
    startAndIdentify();
    EXPECT_TRUE(feed("S00000000").empty());
    const Actions actions = feed("1");
    EXPECT_EQ(errorsOf(actions), one(kNoData));
    EXPECT_EQ(finishOf(actions), DownloadSession::ResultCancel);
    EXPECT_EQ(session.state(), State::NoData);
}

TEST_F(SessionTest, AWaitingPhaseRefusesMoreCharactersThanItsBuffer)
{
    for (const std::size_t extra : {0u, 1u}) {
        SCOPED_TRACE(extra);
        SessionHarness t;
        t.start();
        const std::string noise(DownloadSession::kReceiveBufferSize + extra, '.');
        const Actions actions = t.feed(noise, 4096);
        if (extra == 0) {
            EXPECT_TRUE(actions.empty());
            EXPECT_TRUE(t.session.active());
        } else {
            EXPECT_EQ(errorsOf(actions), one(kTransferError));
            // The time-out was still running: it must not fire behind the message.
            EXPECT_EQ(actions.front(), act(Kind::StopTimer));
        }
    }
}

TEST_F(SessionTest, StaleMarkersOfAnEarlierTransferAreNeverTakenForNewOnes)
{
    // A long first download leaves S and P characters all over the buffer.
    startAndIdentify();
    ASSERT_EQ(finishOf(feed(instrument::dataFrame(instrument::penetrometerMemory(40, 3)))),
              DownloadSession::ResultOk);
    const std::vector<std::uint8_t> first(results->flash_image.begin(),
                                          results->flash_image.begin() + results->image_length);

    // The next identification arrives in pieces; before its own P nothing may be checked.
    start();
    const std::string id = instrument::identificationFrame({});
    EXPECT_EQ(feed(std::string_view(id).substr(0, 10)), Actions{act(Kind::StopTimer)});
    feed(std::string_view(id).substr(10));
    ASSERT_EQ(session.state(), State::Receiving);

    // Noise before the data frame: the identification's S at index 0 is stale now.
    EXPECT_TRUE(feed("..........::").empty());

    const std::vector<std::uint8_t> memory = instrument::penetrometerMemory(2, 9);
    ASSERT_EQ(finishOf(feed(instrument::dataFrame(memory), 5)), DownloadSession::ResultOk);
    const std::vector<std::uint8_t> second = imageOf(memory);
    ASSERT_EQ(results->image_length, second.size());
    EXPECT_TRUE(std::equal(second.begin(), second.end(), results->flash_image.begin()));
    // What lies beyond the new image is the old download's, untouched.
    EXPECT_TRUE(std::equal(first.begin() + long(second.size()), first.end(),
                           results->flash_image.begin() + long(second.size())));
}

TEST_F(SessionTest, ARestartDiscardsThePhaseAndChecksTheIdentificationAgain)
{
    const std::string dataFrame = instrument::dataFrame(instrument::penetrometerMemory(5, 2));
    startAndIdentify();
    feed(std::string_view(dataFrame).substr(0, 100));
    // The rest of the chunk after the Z is dropped.
    EXPECT_EQ(feed("0123Z45S"), Actions{send('V')});
    EXPECT_EQ(session.state(), State::Restarted);
    EXPECT_EQ(session.phase(), DownloadSession::Phase::V);
    EXPECT_EQ(session.receivedCount(), 0u);
    EXPECT_FALSE(session.timerRunning());

    // Another instrument answers now, after some noise (its S lies elsewhere than the data
    // frame's did): it is refused like the first one would have been.
    const Actions again = feed("..." + instrument::identificationFrame({5, 1, {1, 1, 1}, {}}));
    EXPECT_EQ(errorsOf(again), one(kWrongDevice));
}

TEST_F(SessionTest, AMarkerBeforeARestartDoesNotCountAfterIt)
{
    // A whole identification and a Z in one chunk: its P must not get the next
    // identification checked when that one's first piece arrives.
    start();
    const std::string id = instrument::identificationFrame({});
    EXPECT_EQ(feed(id + "Z"), (Actions{act(Kind::StopTimer), send('V')}));
    EXPECT_TRUE(feed(std::string_view(id).substr(0, 12)).empty());
    const Actions rest = feed(std::string_view(id).substr(12));
    EXPECT_EQ(errorsOf(rest), std::vector<QString>{});
    EXPECT_EQ(session.state(), State::Receiving);
}

TEST_F(SessionTest, ARestartWhileWaitingStopsTheTimeOut)
{
    start();
    EXPECT_EQ(feed("Z"), (Actions{act(Kind::StopTimer), send('V')}));
    EXPECT_TRUE(session.timeout().empty());
    EXPECT_EQ(session.state(), State::Restarted);
}

TEST_F(SessionTest, ProgressIsTheShareOfTheFrameReceived)
{
    const std::string frame = instrument::dataFrame(instrument::penetrometerMemory(20, 5));
    startAndIdentify();
    std::size_t fed = 0;
    int last = 0;
    while (fed < frame.size()) {
        const std::size_t n = std::min<std::size_t>(44, frame.size() - fed);
        const Actions actions = feed(std::string_view(frame).substr(fed, n));
        fed += n;
        for (const int value : valuesOf(actions, Kind::SetProgress)) {
            if (fed < frame.size()) {
                EXPECT_EQ(std::size_t(value), fed * 100 / frame.size()) << "after " << fed;
            }
            last = value;
        }
    }
    EXPECT_EQ(last, 100);
}

TEST_F(SessionTest, ProgressNeverReachesTheEndBeforeThePEvenWhenTheCountUnderstates)
{
    // W1 says one record, but far more characters come.
    std::vector<std::uint8_t> memory = instrument::penetrometerMemory(30, 5);
    memory[0] = 1;
    memory[1] = 0;
    const std::string frame = instrument::dataFrame(memory);
    startAndIdentify();
    const Actions before = feed(std::string_view(frame).substr(0, frame.size() - 1), 44);
    const std::vector<int> progress = valuesOf(before, Kind::SetProgress);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(*std::max_element(progress.begin(), progress.end()), 99);
    EXPECT_EQ(valuesOf(feed("P"), Kind::SetProgress), std::vector<int>{100});
}

} // namespace
} // namespace device_test
