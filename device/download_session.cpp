#include "device/download_session.h"

#include <QtGlobal>

#include <cstring>

namespace device {

namespace {

using Kind = SessionAction::Kind;

const QString kCaption = QStringLiteral("Прием данных");
const QString kWaitingText = QStringLiteral("Ожидание готовности прибора ...");
const QString kReceivingText = QStringLiteral("Идет прием информации ...");
const QString kDeviceName = QStringLiteral("ВРТ-ТК5");
const QString kTransferError = QStringLiteral("Ошибка передачи данных!");
const QString kWrongDevice = QStringLiteral("Вы подключили не тот прибор !");
const QString kNoData = QStringLiteral("Нет данных для передачи!");
const QString kNotFound = QStringLiteral(
    "Прибор не обнаружен! Проверте правильность подключения согласно инструкции!");
const QString kPortsTried = QStringLiteral("Опрошены порты: ");

constexpr char kStartMarker = 'S';
constexpr char kEndMarker = 'P';
constexpr char kRestartMarker = 'Z';
constexpr char kIdentify = 'V';
constexpr char kSendMemory = 'N';

// Every character of a frame carries one nibble as '0' + nibble.
constexpr unsigned kNibbleBase = 0x30;

// Identification frame, positions counted from the S.
constexpr std::size_t kIdTypePos = 3;
constexpr std::size_t kIdVersionPos = 5;
constexpr std::size_t kIdSerialPos = 11;
// The fixed fields end at position 14; with the 8 checksum characters the P cannot come
// before position 23. A shorter frame would have its fields read from its own checksum, the
// P, or characters that never arrived.
constexpr std::size_t kIdMinEndPos = 23;

// Data frame: S, W1 (4 characters), W2 (4), memory bytes (2 each), checksum (8), P.
constexpr std::size_t kW1Pos = 1;
constexpr std::size_t kW2Pos = 5;
constexpr std::size_t kWordsEnd = 9;
constexpr std::size_t kChecksumChars = 8;
// A frame carries its image between the S and the P, two characters a byte; more than this
// would not fit into flash_image.
constexpr std::size_t kMaxImageChars = 2 * kFlashImageSize;

// W1 is the record count of a penetrometer image, the only instrument we accept; with 29
// bytes a record the frame's length is known once W1 has arrived: the S, the count word, the
// records, the checksum and the P.
constexpr std::size_t kRecordBytes = 29;
std::size_t expectedFrameLength(std::uint16_t recordCount)
{
    return 1 + 2 * (2 + kRecordBytes * recordCount) + kChecksumChars + 1;
}

} // namespace

const QString DownloadSession::kCom1 = QStringLiteral(R"(\\.\COM1)");
const QString DownloadSession::kCom2 = QStringLiteral(R"(\\.\COM2)");

PortSearch PortSearch::usual()
{
    return {{{DownloadSession::kCom1, QStringLiteral("COM1")},
             {DownloadSession::kCom2, QStringLiteral("COM2")}},
            false};
}

DownloadSession::DownloadSession(DownloadResults& results)
    : m_results(results), m_buffer(new char[kReceiveBufferSize])
{
    // Enough for the longest answer to one event, so that no event ever allocates.
    m_actions.reserve(16);
}

bool DownloadSession::active() const noexcept
{
    switch (m_state) {
    case State::WaitingFirstPort:
    case State::WaitingSecondPort:
    case State::WaitingFurtherPort:
    case State::Identifying:
    case State::Restarted:
    case State::Receiving:
        return true;
    default:
        return false;
    }
}

void DownloadSession::setPortSearch(PortSearch search)
{
    if (search.ports.empty())
        search.ports = PortSearch::usual().ports;
    m_nextSearch = std::move(search);
}

QString DownloadSession::shownPortName(const QString& name) const
{
    for (const PortSearch::Port& port : m_search.ports)
        if (port.name == name)
            return port.shown;
    return name;
}

std::span<const PortSearch::Port> DownloadSession::portsTried() const noexcept
{
    return std::span(m_search.ports).first(m_portsTried);
}

void DownloadSession::add(Kind kind, int value, const QString& text)
{
    m_actions.push_back(SessionAction{kind, value, text});
}

void DownloadSession::stopTimer()
{
    if (m_timerRunning) {
        m_timerRunning = false;
        add(Kind::StopTimer);
    }
}

void DownloadSession::clearMarkers() noexcept
{
    m_start.reset();
    m_end.reset();
}

void DownloadSession::restartPhase() noexcept
{
    m_received = 0;
    clearMarkers();
    m_progress = false;
}

void DownloadSession::fail(State state, const QString& message)
{
    stopTimer();
    add(Kind::ClosePort);
    add(Kind::ShowError, 0, message);
    clearMarkers();
    add(Kind::Finish, ResultCancel);
    m_state = state;
}

auto DownloadSession::start() -> Actions
{
    m_actions.clear();
    m_search = m_nextSearch;
    m_portIndex = 0;
    m_portsTried = 1;
    m_portName = m_search.ports.front().name;
    add(Kind::SetPortName, 0, m_portName);
    restartPhase();
    m_shownProgress = 0;
    add(Kind::SetProgress, 0);
    add(Kind::SetCountText, 0, QString());
    add(Kind::SetDeviceText, 0, QString());
    add(Kind::SetVersionText, 0, QString());
    add(Kind::SetStatus, 0, kWaitingText);
    add(Kind::SetCaption, 0, kCaption);
    add(Kind::OpenPort);
    m_phase = Phase::V;
    add(Kind::Send, kIdentify);
    m_timerRunning = true;
    add(Kind::StartTimer, int(kPortTimeout.count()));
    m_state = State::WaitingFirstPort;
    return m_actions;
}

auto DownloadSession::receive(const char* data, std::size_t size) -> Actions
{
    m_actions.clear();
    if (!active() || size == 0)
        return m_actions;

    // A Z means the instrument started over: whatever this phase brought, the rest of this
    // chunk included, is void, and so are both markers (a P from before the Z must not get
    // the next identification checked before its own P has come).
    if (std::memchr(data, kRestartMarker, size)) {
        stopTimer();
        restartPhase();
        m_phase = Phase::V;
        m_state = State::Restarted;
        add(Kind::Send, kIdentify);
        return m_actions;
    }

    if (size > kReceiveBufferSize - m_received) {
        fail(State::BadFrame, kTransferError);
        return m_actions;
    }
    const std::size_t from = m_received;
    std::memcpy(m_buffer.get() + from, data, size);
    m_received += size;

    // Only the new characters are searched: the older ones held no marker, or the marker's
    // place is already known.
    if (!m_start) {
        m_start = findChar(kStartMarker, from);
        if (m_start) {
            stopTimer();
            if (m_phase == Phase::V)
                m_state = State::Identifying;
        }
    }
    if (!m_end)
        m_end = findChar(kEndMarker, from);

    if (m_phase == Phase::V) {
        if (m_end)
            checkIdentification();
        return m_actions;
    }

    if (m_start && !m_progress && m_received > *m_start + kWordsEnd) {
        readDataWords();
        if (!active())
            return m_actions;
    }
    if (m_end) {
        finishDataFrame();
        return m_actions;
    }
    if (m_progress)
        updateProgress();
    // No P yet, and already more characters than an image can hold: the frame can only end
    // in a refusal, so refuse it now instead of filling the buffer.
    if (m_start && m_received - *m_start - 1 > kMaxImageChars)
        fail(State::BadFrame, kTransferError);
    return m_actions;
}

void DownloadSession::checkIdentification()
{
    if (!checkFrame() || *m_end - *m_start < kIdMinEndPos) {
        fail(State::BadFrame, kTransferError);
        return;
    }
    const std::size_t s = *m_start;
    // Stored before the type is tested: a rejected instrument leaves its values behind.
    m_results.dev_type = std::uint8_t(unsigned(std::uint8_t(m_buffer[s + kIdTypePos])) - kNibbleBase);
    m_results.fw_version = versionText(s + kIdVersionPos);
    m_results.dev_serial = quadToWord(s + kIdSerialPos);
    if (m_results.dev_type != kAcceptedDeviceType) {
        fail(State::WrongInstrument, kWrongDevice);
        return;
    }
    add(Kind::SetDeviceText, 0, kDeviceName);
    add(Kind::SetVersionText, 0, m_results.fw_version);
    m_phase = Phase::N;
    add(Kind::SetStatus, 0, kReceivingText);
    add(Kind::Send, kSendMemory);
    // What followed the P in this chunk belongs to no frame the instrument was asked for.
    restartPhase();
    m_state = State::Receiving;
}

void DownloadSession::readDataWords()
{
    const std::size_t s = *m_start;
    const std::uint16_t w1 = quadToWord(s + kW1Pos);
    const std::uint16_t w2 = quadToWord(s + kW2Pos);
    m_announced = std::uint32_t(w1) + w2;
    if (m_announced == 0) {
        fail(State::NoData, kNoData);
        return;
    }
    m_progress = true;
    m_expectedLength = expectedFrameLength(w1);
    add(Kind::SetCountText, 0, QString::number(w1));
}

void DownloadSession::updateProgress()
{
    // Characters of the frame so far against its expected length; 100 only once the P is
    // here, however far the count runs ahead of what W1 announced.
    const std::size_t got = m_received - *m_start;
    const int percent = int(std::min<std::size_t>(99, got * 100 / m_expectedLength));
    if (percent != m_shownProgress) {
        m_shownProgress = percent;
        add(Kind::SetProgress, percent);
    }
}

void DownloadSession::finishDataFrame()
{
    stopTimer();
    add(Kind::ClosePort);
    add(Kind::SetProgress, 100);
    m_shownProgress = 100;
    const bool good = checkFrame();
    const std::size_t s = m_start.value_or(0);
    const std::size_t p = *m_end;
    clearMarkers();
    // A good checksum is not enough: the characters must pair up into bytes (an odd count
    // would decode the P itself), and the bytes must fit into the image.
    const std::size_t imageChars = good ? p - s - 1 : 0;
    if (!good || imageChars % 2 != 0 || imageChars > kMaxImageChars) {
        add(Kind::ShowError, 0, kTransferError);
        add(Kind::Finish, ResultCancel);
        m_state = State::BadFrame;
        return;
    }
    const std::size_t length = imageChars / 2;
    for (std::size_t i = 0; i < length; ++i)
        m_results.flash_image[i] = pairToByte(s + 1 + 2 * i);
    m_results.image_length = length;
    add(Kind::Finish, ResultOk);
    m_state = State::Done;
}

auto DownloadSession::timeout() -> Actions
{
    m_actions.clear();
    // A time-out that was already on its way when the S stopped the timer changes nothing.
    if (!active() || !m_timerRunning)
        return m_actions;
    stopTimer();
    add(Kind::ClosePort);
    restartPhase();
    m_phase = Phase::V;
    if (m_portIndex + 1 < m_search.ports.size()) {
        tryPort(m_portIndex + 1);
    } else {
        // Back to the first port, as a new download would begin.
        m_portIndex = 0;
        m_portName = m_search.ports.front().name;
        add(Kind::SetPortName, 0, m_portName);
        m_shownProgress = 0;
        add(Kind::SetProgress, 0);
        add(Kind::ShowError, 0, notFoundMessage());
        add(Kind::Finish, ResultCancel);
        m_state = State::NotFound;
    }
    return m_actions;
}

void DownloadSession::tryPort(std::size_t index)
{
    m_portIndex = index;
    m_portsTried = index + 1;
    m_portName = m_search.ports[index].name;
    add(Kind::SetPortName, 0, m_portName);
    add(Kind::OpenPort);
    m_shownProgress = 0;
    add(Kind::SetProgress, 0);
    add(Kind::Send, kIdentify);
    m_timerRunning = true;
    add(Kind::StartTimer, int(kPortTimeout.count()));
    m_state = index == 1 ? State::WaitingSecondPort : State::WaitingFurtherPort;
}

QString DownloadSession::notFoundMessage() const
{
    // The first line stays word for word the message that users and the help know; the
    // second says where the instrument was looked for, which a user with an adapter on some
    // other port needs to know.
    QString message = kNotFound + QLatin1Char('\n') + kPortsTried;
    for (std::size_t i = 0; i < m_portsTried; ++i) {
        if (i > 0)
            message += QStringLiteral(", ");
        message += m_search.ports[i].shown;
    }
    return message;
}

auto DownloadSession::cancel() -> Actions
{
    m_actions.clear();
    if (!active())
        return m_actions;
    add(Kind::ClosePort);
    restartPhase();
    m_shownProgress = 0;
    add(Kind::SetProgress, 0);
    add(Kind::Finish, ResultCancel);
    m_state = State::Cancelled;
    return m_actions;
}

auto DownloadSession::close() -> Actions
{
    m_actions.clear();
    m_timerRunning = false;
    add(Kind::StopTimer);
    // The dialog closed while the conversation was still going on (it was destroyed, or
    // closed by other means than its button): the port must not stay open behind it.
    if (active()) {
        add(Kind::ClosePort);
        restartPhase();
        m_state = State::Cancelled;
    }
    return m_actions;
}

std::optional<std::size_t> DownloadSession::findChar(char c, std::size_t from) const noexcept
{
    if (from >= m_received)
        return std::nullopt;
    const void* hit = std::memchr(m_buffer.get() + from, c, m_received - from);
    if (!hit)
        return std::nullopt;
    return std::size_t(static_cast<const char*>(hit) - m_buffer.get());
}

void DownloadSession::requireReceived(std::size_t index, std::size_t width) const
{
    // Decoding a character that this phase did not receive would read a stale byte of an
    // older transfer (or past the buffer): a fault in this class, never the instrument's.
    if (index > m_received || width > m_received - index)
        qFatal("DownloadSession: decoding characters %zu..%zu, only %zu received", index,
               index + width, m_received);
}

std::uint8_t DownloadSession::pairToByte(std::size_t index) const
{
    requireReceived(index, 2);
    const auto c0 = unsigned(std::uint8_t(m_buffer[index]));
    const auto c1 = unsigned(std::uint8_t(m_buffer[index + 1]));
    // Plain modular arithmetic: characters outside '0'..'?' are not refused, they only make
    // a wrong value (and then a wrong checksum).
    return std::uint8_t((c1 - kNibbleBase) * 16 + (c0 - kNibbleBase));
}

std::uint16_t DownloadSession::quadToWord(std::size_t index) const
{
    requireReceived(index, 4);
    unsigned value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = value * 16 + (unsigned(std::uint8_t(m_buffer[index + i])) - kNibbleBase);
    return std::uint16_t(value);
}

std::uint32_t DownloadSession::octetToDword(std::size_t index) const
{
    return std::uint32_t(quadToWord(index)) + 65536u * quadToWord(index + 4);
}

bool DownloadSession::checkFrame() const noexcept
{
    if (!m_start || !m_end || *m_end < *m_start + 1 + kChecksumChars)
        return false;
    const std::size_t s = *m_start;
    const std::size_t p = *m_end;
    const std::uint32_t expected = octetToDword(p - kChecksumChars);
    std::uint32_t sum = 0;
    const std::size_t count = p - kChecksumChars - 1 - s;
    const char* chars = m_buffer.get() + s + 1;
    for (std::size_t k = 1; k <= count; ++k)
        sum += std::uint32_t(std::uint8_t(chars[k - 1])) ^ std::uint32_t(k & 0xFFFF);
    return sum == expected;
}

QString DownloadSession::versionText(std::size_t index) const
{
    QString text;
    for (std::size_t at : {index + 4, index + 2, index}) {
        const unsigned byte = pairToByte(at);
        if (!text.isEmpty())
            text += QLatin1Char('.');
        if (byte < 10)
            text += QLatin1Char('0');
        text += QString::number(byte);
    }
    return text;
}

} // namespace device
