// kvel-emulator: plays the penetrometer ВРТ-ТК5 on a pseudo-terminal (on Windows, on a serial
// port given with --port, one end of a null-modem pair), so that the program can be tried and
// tested without an instrument. It prints the device path to use, then answers V with an
// identification frame and N with a data frame, until it is stopped. Log lines go to stderr.

#include "tools/emulator/instrument_frames.h"
#include "tools/emulator/penetrometer_records.h"

#include <getopt.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// 9600 baud with 8 data bits, no parity and 2 stop bits: 11 bits a character.
constexpr auto kCharTime = std::chrono::duration<double>(11.0 / 9600.0);
// A listener that takes nothing for this long has gone away: the rest of the frame is dropped.
constexpr auto kStallLimit = 1s;
constexpr std::size_t kMaxRandomChunk = 64;
constexpr int kMaxRandomPauseMs = 20;
constexpr std::size_t kLargestImage = 65536;

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int) { g_stop = 1; }

struct Options {
    instrument::Identification id;
    int records = 30;
    std::uint32_t seed = 1;
    std::string imageFile;
    std::string linkPath;
    std::string port;
    bool badIdChecksum = false;
    bool badDataChecksum = false;
    bool noData = false;
    bool silent = false;
    bool restart = false;
    int noise = 0;
    int extraId = 0;
    bool randomChunks = false;
    bool pace = false;
};

void usage(std::FILE* to)
{
    std::fputs(
        "Usage: kvel-emulator [options]\n"
        "Plays the penetrometer on a pseudo-terminal and prints its device path.\n"
        "\n"
        "  --records N          generated penetrometer records in memory (default 30)\n"
        "  --seed N             seed of the generated records (default 1)\n"
        "  --image FILE         send the memory in FILE (record count first) instead\n"
        "  --type N             device type in the identification (default 4)\n"
        "  --wrong-type         the same as --type 5\n"
        "  --serial N           serial number (default 1)\n"
        "  --version A.B.C      firmware version as the program shows it (default 24.03.05)\n"
        "  --bad-id-checksum    identification frame with a wrong checksum\n"
        "  --bad-data-checksum  data frame with a wrong checksum\n"
        "  --no-data            data frame announcing nothing (W1 + W2 = 0)\n"
        "  --silent             never answer\n"
        "  --restart            send Z in the middle of the first data frame\n"
        "  --noise N            N characters of line noise before every frame\n"
        "  --extra-id N         N extra characters in the identification frame\n"
        "  --random-chunks      write in chunks of random size with short pauses\n"
        "  --pace               keep to the real line speed (9600 baud, 8N2)\n"
        "  --link PATH          also make PATH a symbolic link to the device (not on Windows)\n"
        "  --port NAME          on Windows: the serial port to answer on (\\\\.\\COM2)\n"
        "  --help               this text\n",
        to);
}

bool parseNumber(const char* text, long low, long high, long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

bool parseVersion(const char* text, instrument::Identification& id)
{
    unsigned a = 0, b = 0, c = 0;
    char tail = 0;
    if (std::sscanf(text, "%u.%u.%u%c", &a, &b, &c, &tail) != 3 || a > 255 || b > 255 || c > 255)
        return false;
    // Shown as V3.V2.V1: the first group is the last byte sent.
    id.version[0] = std::uint8_t(c);
    id.version[1] = std::uint8_t(b);
    id.version[2] = std::uint8_t(a);
    return true;
}

std::optional<Options> parseOptions(int argc, char** argv)
{
    enum {
        kRecords = 1000, kSeed, kImage, kType, kWrongType, kSerial, kVersion, kBadId, kBadData,
        kNoData, kSilent, kRestart, kNoise, kExtraId, kRandomChunks, kPace, kLink, kPort, kHelp,
    };
    static const option longOptions[] = {
        {"records", required_argument, nullptr, kRecords},
        {"seed", required_argument, nullptr, kSeed},
        {"image", required_argument, nullptr, kImage},
        {"type", required_argument, nullptr, kType},
        {"wrong-type", no_argument, nullptr, kWrongType},
        {"serial", required_argument, nullptr, kSerial},
        {"version", required_argument, nullptr, kVersion},
        {"bad-id-checksum", no_argument, nullptr, kBadId},
        {"bad-data-checksum", no_argument, nullptr, kBadData},
        {"no-data", no_argument, nullptr, kNoData},
        {"silent", no_argument, nullptr, kSilent},
        {"restart", no_argument, nullptr, kRestart},
        {"noise", required_argument, nullptr, kNoise},
        {"extra-id", required_argument, nullptr, kExtraId},
        {"random-chunks", no_argument, nullptr, kRandomChunks},
        {"pace", no_argument, nullptr, kPace},
        {"link", required_argument, nullptr, kLink},
        {"port", required_argument, nullptr, kPort},
        {"help", no_argument, nullptr, kHelp},
        {nullptr, 0, nullptr, 0},
    };
    Options options;
    long value = 0;
    for (;;) {
        const int opt = getopt_long(argc, argv, "", longOptions, nullptr);
        if (opt == -1)
            break;
        switch (opt) {
        case kRecords:
            if (!parseNumber(optarg, 0, 65535, value))
                return std::nullopt;
            options.records = int(value);
            break;
        case kSeed:
            if (!parseNumber(optarg, 0, 0xFFFFFFFFL, value))
                return std::nullopt;
            options.seed = std::uint32_t(value);
            break;
        case kImage: options.imageFile = optarg; break;
        case kType:
            if (!parseNumber(optarg, 0, 255, value))
                return std::nullopt;
            options.id.deviceType = std::uint8_t(value);
            break;
        case kWrongType: options.id.deviceType = 5; break;
        case kSerial:
            if (!parseNumber(optarg, 0, 65535, value))
                return std::nullopt;
            options.id.serial = std::uint16_t(value);
            break;
        case kVersion:
            if (!parseVersion(optarg, options.id))
                return std::nullopt;
            break;
        case kBadId: options.badIdChecksum = true; break;
        case kBadData: options.badDataChecksum = true; break;
        case kNoData: options.noData = true; break;
        case kSilent: options.silent = true; break;
        case kRestart: options.restart = true; break;
        case kNoise:
            if (!parseNumber(optarg, 0, 100000, value))
                return std::nullopt;
            options.noise = int(value);
            break;
        case kExtraId:
            if (!parseNumber(optarg, 0, 100000, value))
                return std::nullopt;
            options.extraId = int(value);
            break;
        case kRandomChunks: options.randomChunks = true; break;
        case kPace: options.pace = true; break;
        case kLink: options.linkPath = optarg; break;
        case kPort: options.port = optarg; break;
        case kHelp:
            usage(stdout);
            std::exit(0);
        default:
            return std::nullopt;
        }
    }
    if (optind != argc)
        return std::nullopt;
#ifdef _WIN32
    // Windows has no pseudo-terminals: the emulator answers on a port of the system.
    if (options.port.empty() || !options.linkPath.empty())
        return std::nullopt;
#else
    if (!options.port.empty())
        return std::nullopt;
#endif
    return options;
}

// The emulator's end of the line: the master of a pseudo-terminal, or on Windows a serial port.
class Line {
public:
#ifdef _WIN32
    explicit Line(HANDLE port) : m_port(port) {}
#else
    explicit Line(int master) : m_master(master) {}
#endif

    // Waits up to timeoutMs for characters; how many were read into `buffer`, 0 for none.
    std::size_t read(char* buffer, std::size_t size, int timeoutMs)
    {
#ifdef _WIN32
        const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            DWORD got = 0;
            if (!::ReadFile(m_port, buffer, DWORD(size), &got, nullptr))
                return 0;
            if (got > 0 || Clock::now() >= until)
                return got;
            std::this_thread::sleep_for(5ms);
        }
#else
        pollfd fd{m_master, POLLIN, 0};
        if (::poll(&fd, 1, timeoutMs) <= 0 || !(fd.revents & POLLIN))
            return 0;
        const ssize_t got = ::read(m_master, buffer, size);
        return got > 0 ? std::size_t(got) : 0;
#endif
    }

    // How many characters the line took now; -1 when it failed for good.
    long write(const char* data, std::size_t size)
    {
#ifdef _WIN32
        DWORD written = 0;
        if (!::WriteFile(m_port, data, DWORD(size), &written, nullptr) && written == 0)
            return ::GetLastError() == ERROR_TIMEOUT ? 0 : -1;
        return long(written);
#else
        const ssize_t written = ::write(m_master, data, size);
        if (written < 0)
            return errno == EAGAIN || errno == EINTR ? 0 : -1;
        return long(written);
#endif
    }

    // Waits a little for room to write.
    void waitForRoom()
    {
#ifdef _WIN32
        std::this_thread::sleep_for(10ms);
#else
        pollfd fd{m_master, POLLOUT, 0};
        ::poll(&fd, 1, 50);
#endif
    }

private:
#ifdef _WIN32
    HANDLE m_port;
#else
    int m_master;
#endif
};

class Emulator {
public:
    Emulator(Options options, Line line) : m_options(std::move(options)), m_line(line),
        m_random(m_options.seed)
    {
        for (int i = 0; i < m_options.extraId; ++i)
            m_options.id.extra += char('0' + randomBetween(0, 15));
    }

    bool loadMemory()
    {
        if (m_options.noData) {
            m_memory.assign(4, 0);  // W1 = 0 and W2 = 0
            return true;
        }
        if (m_options.imageFile.empty()) {
            m_memory = instrument::penetrometerMemory(std::uint16_t(m_options.records), m_options.seed);
            return true;
        }
        std::ifstream in(m_options.imageFile, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "kvel-emulator: cannot read %s\n", m_options.imageFile.c_str());
            return false;
        }
        m_memory.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        // With the four checksum bytes the program keeps at most 65,536 bytes; a larger
        // memory is sent anyway, to see the program refuse it.
        if (m_memory.size() + 4 > kLargestImage)
            std::fprintf(stderr, "kvel-emulator: warning: %zu bytes of memory exceed what the "
                         "program accepts\n", m_memory.size());
        return true;
    }

    void run()
    {
        std::string pending;
        while (!g_stop) {
            if (pending.empty() && !readCommands(pending, 200))
                continue;
            const char command = pending.front();
            pending.erase(0, 1);
            std::fprintf(stderr, "kvel-emulator: received %c\n", command);
            if (m_options.silent)
                continue;
            if (command == 'V')
                sendIdentification(pending);
            else if (command == 'N')
                sendMemory(pending);
        }
    }

private:
    int randomBetween(int low, int high)
    {
        return std::uniform_int_distribution<int>(low, high)(m_random);
    }

    // Waits up to timeoutMs for characters from the program and appends them. False when
    // nothing came.
    bool readCommands(std::string& pending, int timeoutMs)
    {
        char buffer[256];
        const std::size_t got = m_line.read(buffer, sizeof buffer, timeoutMs);
        if (got == 0)
            return false;
        pending.append(buffer, got);
        return true;
    }

    std::string noise()
    {
        // Anything but the three markers S, P and Z.
        std::string chars;
        while (int(chars.size()) < m_options.noise) {
            const char c = char(randomBetween(0, 255));
            if (c != 'S' && c != 'P' && c != 'Z')
                chars += c;
        }
        return chars;
    }

    void sendIdentification(std::string& pending)
    {
        const std::string frame = noise()
            + instrument::identificationFrame(m_options.id, m_options.badIdChecksum);
        if (send(frame, pending))
            std::fprintf(stderr, "kvel-emulator: sent identification (%zu characters)\n", frame.size());
    }

    void sendMemory(std::string& pending)
    {
        const std::string frame = noise()
            + instrument::dataFrame(m_memory, m_options.badDataChecksum);
        if (m_options.restart && !m_restarted) {
            // The instrument starts over half-way: the program must discard what it has and
            // ask again from V.
            m_restarted = true;
            const std::string half = frame.substr(0, frame.size() / 2) + 'Z';
            if (send(half, pending))
                std::fprintf(stderr, "kvel-emulator: sent Z after %zu characters\n", half.size() - 1);
            return;
        }
        if (send(frame, pending))
            std::fprintf(stderr, "kvel-emulator: sent data frame (%zu characters)\n", frame.size());
    }

    // Writes the characters as the options say (paced, in random chunks). A command from the
    // program in the middle means it has given up on this frame: the rest is dropped and the
    // command is left in `pending`. So is the rest of a frame that nobody reads.
    bool send(const std::string& chars, std::string& pending)
    {
        const auto begin = Clock::now();
        std::size_t sent = 0;
        while (sent < chars.size() && !g_stop) {
            std::size_t chunk = chars.size() - sent;
            if (m_options.randomChunks)
                chunk = std::min<std::size_t>(chunk, std::size_t(randomBetween(1, int(kMaxRandomChunk))));
            if (m_options.pace) {
                const auto due = std::size_t((Clock::now() - begin) / kCharTime) + 1;
                if (due <= sent) {
                    std::this_thread::sleep_for(2ms);
                    continue;
                }
                chunk = std::min(chunk, due - sent);
            }
            if (!writeAll(chars.data() + sent, chunk)) {
                std::fprintf(stderr, "kvel-emulator: nobody reads; frame dropped after %zu characters\n", sent);
                return false;
            }
            sent += chunk;
            if (readCommands(pending, 0)) {
                std::fprintf(stderr, "kvel-emulator: interrupted after %zu characters\n", sent);
                return false;
            }
            if (m_options.randomChunks)
                std::this_thread::sleep_for(std::chrono::milliseconds(randomBetween(0, kMaxRandomPauseMs)));
        }
        return sent == chars.size();
    }

    bool writeAll(const char* data, std::size_t size)
    {
        auto lastProgress = Clock::now();
        while (size > 0) {
            const long written = m_line.write(data, size);
            if (written > 0) {
                data += written;
                size -= std::size_t(written);
                lastProgress = Clock::now();
                continue;
            }
            if (written < 0)
                return false;
            if (Clock::now() - lastProgress > kStallLimit || g_stop)
                return false;
            m_line.waitForRoom();
        }
        return true;
    }

    Options m_options;
    Line m_line;
    std::mt19937 m_random;
    std::vector<std::uint8_t> m_memory;
    bool m_restarted = false;
};

} // namespace

#ifdef _WIN32
// The port set as the instrument's line is (9600 baud, 8 data bits, no parity, 2 stop bits, no
// handshake), with reads that return at once and writes that wait a little.
HANDLE openPort(const std::string& name)
{
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, nullptr, 0);
    std::wstring wide(std::size_t(length > 0 ? length : 1), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, wide.data(), length);
    HANDLE port = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return port;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ::GetCommState(port, &dcb);
    dcb.BaudRate = CBR_9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    ::SetCommState(port, &dcb);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = 50;
    ::SetCommTimeouts(port, &timeouts);
    return port;
}

BOOL WINAPI onConsoleEvent(DWORD)
{
    g_stop = 1;
    return TRUE;
}
#endif

int main(int argc, char** argv)
{
    std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        usage(stderr);
        return 2;
    }

#ifdef _WIN32
    HANDLE port = openPort(options->port);
    if (port == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "kvel-emulator: cannot open %s (error %lu)\n", options->port.c_str(), ::GetLastError());
        return 1;
    }
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    Emulator emulator(*options, Line(port));
    if (!emulator.loadMemory())
        return 1;
    std::printf("%s\n", options->port.c_str());
    std::fflush(stdout);
    emulator.run();
    ::CloseHandle(port);
    return 0;
#else
    int master = -1;
    int slave = -1;
    char path[256] = {};
    if (::openpty(&master, &slave, path, nullptr, nullptr) != 0) {
        std::perror("kvel-emulator: openpty");
        return 1;
    }
    // Raw line until the program sets its own; and the emulator keeps the device open
    // itself, so that the program may close and reopen it without the line hanging up.
    termios raw{};
    if (::tcgetattr(slave, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    Emulator emulator(*options, Line(master));
    if (!emulator.loadMemory())
        return 1;
    if (!options->linkPath.empty()) {
        // Only an old link of ours is replaced, never a file.
        struct stat old{};
        if (::lstat(options->linkPath.c_str(), &old) == 0 && S_ISLNK(old.st_mode))
            ::unlink(options->linkPath.c_str());
        if (::symlink(path, options->linkPath.c_str()) != 0) {
            std::perror("kvel-emulator: symlink");
            return 1;
        }
    }

    std::printf("%s\n", path);
    std::fflush(stdout);
    emulator.run();

    if (!options->linkPath.empty())
        ::unlink(options->linkPath.c_str());
    ::close(slave);
    ::close(master);
    return 0;
#endif
}
