#pragma once

#include "device/download_results.h"

#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace device {

// One thing the download dialog must do. The session decides, the dialog only executes the
// actions in the order given.
struct SessionAction {
    enum class Kind {
        SetPortName,    // text: the port to name before the next OpenPort
        OpenPort,
        ClosePort,
        Send,           // value: the command character to write
        StartTimer,     // value: the port time-out in ms
        StopTimer,
        SetCaption,     // text: the dialog's caption
        SetStatus,      // text: the status line
        SetDeviceText,  // text: value of "Тип прибора:"
        SetVersionText, // text: value of "Версия ПО:"
        SetCountText,   // text: value of "Количество записей:"
        SetProgress,    // value: 0 … 100
        ShowError,      // text: a modal error message; the port is already closed
        Finish,         // value: the dialog's modal result, ResultOk or ResultCancel
    };

    Kind kind;
    int value = 0;
    QString text;

    friend bool operator==(const SessionAction&, const SessionAction&) = default;
};

// The ports a download goes through, in order, each with one identification request and one
// port time-out. Usually "\\.\COM1", then "\\.\COM2"; with the search over all ports, every
// other port present follows them.
struct PortSearch {
    struct Port {
        QString name;  // what the driver opens: "\\.\COM1", "/dev/ttyUSB0"
        QString shown; // how the user knows it: "COM1 (/dev/ttyS0)", "/dev/ttyUSB0"

        friend bool operator==(const Port&, const Port&) = default;
    };

    std::vector<Port> ports;
    // The user asked for every port: the not-found message then says which ports were
    // tried, since the list is no longer the two everybody knows.
    bool allPorts = false;

    // "\\.\COM1", then "\\.\COM2", shown as "COM1" and "COM2".
    static PortSearch usual();

    friend bool operator==(const PortSearch&, const PortSearch&) = default;
};

// The conversation with the instrument, as a state machine over received characters and
// time-outs. It knows nothing of ports or widgets: every event returns the actions that the
// dialog carries out. All buffers are allocated once, so handling a chunk allocates nothing
// and costs time in proportion to the chunk (the marker positions are remembered, not
// searched again).
class DownloadSession {
public:
    using Actions = std::span<const SessionAction>;

    static constexpr int ResultOk = 1;
    static constexpr int ResultCancel = 2;
    static constexpr std::size_t kReceiveBufferSize = 262144;
    static constexpr std::chrono::milliseconds kPortTimeout{3000};
    static constexpr std::uint8_t kAcceptedDeviceType = 4;

    enum class Phase { V, N };

    // The dialog's states; the last six are endings.
    enum class State {
        Idle,              // never shown
        WaitingFirstPort,
        WaitingSecondPort,
        WaitingFurtherPort, // the third port of a search, or any after it
        Identifying,       // the identification frame's S has arrived
        Restarted,         // after a Z from the instrument
        Receiving,         // memory requested
        Done,
        BadFrame,
        WrongInstrument,
        NoData,
        NotFound,
        Cancelled,
    };

    explicit DownloadSession(DownloadResults& results);
    DownloadSession(const DownloadSession&) = delete;
    DownloadSession& operator=(const DownloadSession&) = delete;

    // The ports that the next start() goes through. An empty list means the usual two. A
    // download already running keeps the ports it started with.
    void setPortSearch(PortSearch search);
    const PortSearch& portSearch() const noexcept { return m_nextSearch; }

    // Events. The spans stay valid until the next event.
    Actions start();                            // the dialog is shown
    Actions receive(const char* data, std::size_t size); // a chunk of received characters
    Actions timeout();                          // the port time-out has passed
    Actions cancel();                           // the user pressed "Отмена"
    Actions close();                            // the dialog closes, for whatever reason

    State state() const noexcept { return m_state; }
    Phase phase() const noexcept { return m_phase; }
    bool active() const noexcept;
    const QString& portName() const noexcept { return m_portName; }
    // How the user knows a port of this download's search (the name itself for any other).
    QString shownPortName(const QString& name) const;
    // The ports of this download that were given their request, in order.
    std::span<const PortSearch::Port> portsTried() const noexcept;
    std::size_t receivedCount() const noexcept { return m_received; }
    bool timerRunning() const noexcept { return m_timerRunning; }

    // The protocol's operations over the characters received in this phase. The decoding
    // ones require index + width <= receivedCount(): they never look at stale characters.
    std::optional<std::size_t> findChar(char c, std::size_t from = 0) const noexcept;
    std::uint8_t pairToByte(std::size_t index) const;
    std::uint16_t quadToWord(std::size_t index) const;
    std::uint32_t octetToDword(std::size_t index) const;
    bool checkFrame() const noexcept;
    QString versionText(std::size_t index) const;

    static const QString kCom1;
    static const QString kCom2;

private:
    void add(SessionAction::Kind kind, int value = 0, const QString& text = {});
    void stopTimer();
    void clearMarkers() noexcept;
    void restartPhase() noexcept;
    void fail(State state, const QString& message);
    void checkIdentification();
    void readDataWords();
    void updateProgress();
    void finishDataFrame();
    void requireReceived(std::size_t index, std::size_t width) const;
    void tryPort(std::size_t index);
    QString notFoundMessage() const;

    DownloadResults& m_results;
    std::unique_ptr<char[]> m_buffer;   // kReceiveBufferSize characters, never cleared
    std::vector<SessionAction> m_actions;

    State m_state = State::Idle;
    Phase m_phase = Phase::V;
    QString m_portName = kCom1;
    bool m_timerRunning = false;

    PortSearch m_nextSearch = PortSearch::usual(); // for the next start()
    PortSearch m_search = PortSearch::usual();     // this download's
    std::size_t m_portIndex = 0;                   // the port being tried
    std::size_t m_portsTried = 0;

    // Characters received in this phase; the next chunk is written here, too.
    std::size_t m_received = 0;
    // The first S and the first P among them. Kept as positions, so that a chunk never
    // needs a search of what came before it.
    std::optional<std::size_t> m_start;
    std::optional<std::size_t> m_end;

    // Known once the data frame's two words have arrived.
    bool m_progress = false;
    std::uint32_t m_announced = 0;  // W1 + W2
    std::size_t m_expectedLength = 0;
    int m_shownProgress = 0;
};

} // namespace device
