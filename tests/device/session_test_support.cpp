#include "tests/device/session_test_support.h"

#include "tools/emulator/instrument_frames.h"

#include <algorithm>

namespace device {

std::string describe(const SessionAction& action)
{
    static const char* const names[] = {
        "SetPortName", "OpenPort", "ClosePort", "Send", "StartTimer", "StopTimer", "SetCaption",
        "SetStatus", "SetDeviceText", "SetVersionText", "SetCountText", "SetProgress",
        "ShowError", "Finish",
    };
    std::string out = names[int(action.kind)];
    switch (action.kind) {
    case SessionAction::Kind::Send:
        out += ' ';
        out += char(action.value);
        break;
    case SessionAction::Kind::StartTimer:
    case SessionAction::Kind::SetProgress:
    case SessionAction::Kind::Finish:
        out += ' ' + std::to_string(action.value);
        break;
    default:
        if (!action.text.isNull())
            out += " \"" + action.text.toStdString() + '"';
        break;
    }
    return out;
}

} // namespace device

namespace device_test {

SessionAction act(Kind kind, int value, const QString& text)
{
    return SessionAction{kind, value, text};
}

SessionAction send(char c)
{
    return act(Kind::Send, c);
}

SessionAction text(Kind kind, const char* utf8)
{
    return act(kind, 0, QString::fromUtf8(utf8));
}

std::vector<int> valuesOf(const Actions& actions, Kind kind)
{
    std::vector<int> values;
    for (const SessionAction& a : actions)
        if (a.kind == kind)
            values.push_back(a.value);
    return values;
}

std::vector<QString> textsOf(const Actions& actions, Kind kind)
{
    std::vector<QString> texts;
    for (const SessionAction& a : actions)
        if (a.kind == kind)
            texts.push_back(a.text);
    return texts;
}

std::optional<int> finishOf(const Actions& actions)
{
    const std::vector<int> finishes = valuesOf(actions, Kind::Finish);
    if (finishes.empty())
        return std::nullopt;
    EXPECT_EQ(finishes.size(), 1u) << "finished more than once";
    return finishes.back();
}

Actions SessionHarness::start()
{
    const auto span = session.start();
    return Actions(span.begin(), span.end());
}

Actions SessionHarness::feed(std::string_view chars, std::size_t chunk)
{
    Actions all;
    while (!chars.empty()) {
        const std::size_t n = std::min(chunk, chars.size());
        const auto span = session.receive(chars.data(), n);
        all.insert(all.end(), span.begin(), span.end());
        chars.remove_prefix(n);
    }
    return all;
}

Actions SessionHarness::startAndIdentify()
{
    start();
    Actions actions = feed(instrument::identificationFrame({}));
    EXPECT_EQ(session.state(), DownloadSession::State::Receiving);
    return actions;
}

std::vector<std::uint8_t> imageOf(const std::vector<std::uint8_t>& memory)
{
    std::string contents;
    for (const std::uint8_t b : memory)
        instrument::appendByte(contents, b);
    const std::uint32_t sum = instrument::frameChecksum(contents);
    std::vector<std::uint8_t> image = memory;
    for (int shift = 0; shift < 32; shift += 8)
        image.push_back(std::uint8_t(sum >> shift));
    return image;
}

} // namespace device_test
