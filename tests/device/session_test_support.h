#pragma once

#include "device/download_session.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace device {

// gtest prints actions as "Send V", "ShowError Ошибка передачи данных!", …
std::string describe(const SessionAction& action);
inline void PrintTo(const SessionAction& action, std::ostream* out) { *out << describe(action); }

} // namespace device

namespace device_test {

using device::DownloadSession;
using device::SessionAction;
using Kind = SessionAction::Kind;
using Actions = std::vector<SessionAction>;

SessionAction act(Kind kind, int value = 0, const QString& text = {});
SessionAction send(char c);
SessionAction text(Kind kind, const char* utf8);

// The values of all actions of one kind, in order.
std::vector<int> valuesOf(const Actions& actions, Kind kind);
std::vector<QString> textsOf(const Actions& actions, Kind kind);
std::optional<int> finishOf(const Actions& actions);

// A session over its own results, with helpers that feed characters in chunks of a given
// size and collect every action.
struct SessionHarness {
    static constexpr std::size_t kWhole = std::size_t(-1);

    Actions start();
    Actions feed(std::string_view chars, std::size_t chunk = kWhole);
    // start(), then a good identification; ready for the data frame.
    Actions startAndIdentify();

    std::unique_ptr<device::DownloadResults> results = std::make_unique<device::DownloadResults>();
    DownloadSession session{*results};
};

class SessionTest : public testing::Test, public SessionHarness {};

// Memory bytes with the checksum bytes of their frame appended, as flash_image holds them.
std::vector<std::uint8_t> imageOf(const std::vector<std::uint8_t>& memory);

} // namespace device_test
