// Fuzz target fuzz_download_session: the download protocol fed with arbitrary sequences of
// chunks, time-outs, cancels and restarts. The input is a little program:
//
//   0x00-0x3F  a chunk of the next (byte + 1) input bytes, as received
//   0x40       the port time-out          0x41  "Отмена"
//   0x42       the dialog shown again     0x43  the dialog closed
//   0x44 t s s k   a good identification of device type t, serial s s, in chunks of k % 64 + 1
//   0x45 n n k ... a good data frame of the next n n (little-endian) input bytes of memory
//   0x46 c n n n   n n n (little-endian) copies of the character c, in chunks of 4096
//   other      a chunk as for 0x00-0x3F, of (byte & 0x3F) + 1 bytes
//
// The good frames let the fuzzer past the checksums into the data phase; everything else is
// up to it. The session aborts on any read of characters it did not receive; this target
// also checks what every event answers and what a download leaves in the results.

#include "device/download_session.h"
#include "tools/emulator/instrument_frames.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using device::DownloadResults;
using device::DownloadSession;
using device::SessionAction;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

class Driver {
public:
    Driver(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    void run()
    {
        check(m_session.start());
        while (m_at < m_size) {
            const std::uint8_t op = m_data[m_at++];
            switch (op) {
            case 0x40: check(m_session.timeout()); break;
            case 0x41: check(m_session.cancel()); break;
            case 0x42: check(m_session.start()); break;
            case 0x43: check(m_session.close()); break;
            case 0x44: identification(); break;
            case 0x45: dataFrame(); break;
            case 0x46: run_of_characters(); break;
            default: chunk(std::size_t(op & 0x3F) + 1); break;
            }
        }
    }

private:
    std::uint8_t next()
    {
        return m_at < m_size ? m_data[m_at++] : 0;
    }

    // Little-endian, byte by byte in input order.
    std::size_t nextNumber(int bytes)
    {
        std::size_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= std::size_t(next()) << (8 * i);
        return value;
    }

    void chunk(std::size_t n)
    {
        n = std::min(n, m_size - m_at);
        if (n == 0)
            return;
        feed(reinterpret_cast<const char*>(m_data + m_at), n);
        m_at += n;
    }

    void feedInChunks(const std::string& chars, std::size_t piece)
    {
        for (std::size_t at = 0; at < chars.size(); at += piece)
            feed(chars.data() + at, std::min(piece, chars.size() - at));
    }

    void identification()
    {
        instrument::Identification id;
        id.deviceType = next();
        id.serial = std::uint16_t(nextNumber(2));
        feedInChunks(instrument::identificationFrame(id), std::size_t(next() % 64) + 1);
    }

    void dataFrame()
    {
        std::size_t n = nextNumber(2);
        const std::size_t piece = std::size_t(next() % 64) + 1;
        n = std::min(n, m_size - m_at);
        const std::vector<std::uint8_t> memory(m_data + m_at, m_data + m_at + n);
        m_at += n;
        feedInChunks(instrument::dataFrame(memory), piece);
    }

    void run_of_characters()
    {
        const char c = char(next());
        const std::size_t n = nextNumber(3) % 300000;
        feedInChunks(std::string(n, c), 4096);
    }

    void feed(const char* chars, std::size_t n)
    {
        check(m_session.receive(chars, n));
    }

    // A download changes flash_image only when it ends well, and then only its first
    // image_length bytes; what lies beyond is the older downloads'.
    void checkImage()
    {
        const std::size_t length = m_results->image_length;
        require(length <= device::kFlashImageSize);
        const std::uint8_t* now = m_results->flash_image.data();
        const std::size_t kept = m_session.state() == DownloadSession::State::Done ? length : 0;
        require(std::memcmp(m_before.get() + kept, now + kept, device::kFlashImageSize - kept) == 0);
        std::memcpy(m_before.get(), now, device::kFlashImageSize);
    }

    void check(DownloadSession::Actions actions)
    {
        int finishes = 0;
        for (const SessionAction& a : actions) {
            // Finish ends every answer; nothing may follow it.
            require(finishes == 0);
            switch (a.kind) {
            case SessionAction::Kind::SetProgress:
                require(a.value >= 0 && a.value <= 100);
                break;
            case SessionAction::Kind::Send:
                require(a.value == 'V' || a.value == 'N');
                break;
            case SessionAction::Kind::Finish:
                require(a.value == DownloadSession::ResultOk || a.value == DownloadSession::ResultCancel);
                ++finishes;
                break;
            case SessionAction::Kind::ShowError:
                require(!a.text.isEmpty());
                break;
            default:
                break;
            }
        }
        if (finishes) {
            require(!m_session.active());
            checkImage();
        }
        require(m_session.receivedCount() <= DownloadSession::kReceiveBufferSize);
    }

    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
    std::unique_ptr<DownloadResults> m_results = std::make_unique<DownloadResults>();
    // make_unique value-initialises: zero, as the results start.
    std::unique_ptr<std::uint8_t[]> m_before = std::make_unique<std::uint8_t[]>(device::kFlashImageSize);
    DownloadSession m_session{*m_results};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Driver(data, size).run();
    return 0;
}
