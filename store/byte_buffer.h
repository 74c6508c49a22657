#pragma once

#include <cstddef>
#include <string_view>

namespace store {

// The bytes of a table's records. A std::string would do, but it fills every byte with zeros
// before the file is read over them, and a 100,000-row table is 46 MB: the fill costs as much
// as the read. This buffer hands out room that is not filled, so the file is read once into
// its final place. It grows with realloc, which can extend a large block without copying it
// (Linux moves the pages rather than the bytes), so appending rows to a big table does not
// briefly hold it twice.
class ByteBuffer {
public:
    ByteBuffer() = default;
    ~ByteBuffer();
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;

    std::size_t size() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }
    char* data() noexcept { return m_data; }
    const char* data() const noexcept { return m_data; }
    char& operator[](std::size_t i) noexcept { return m_data[i]; }
    char operator[](std::size_t i) const noexcept { return m_data[i]; }
    operator std::string_view() const noexcept { return {m_data, m_size}; }

    // Room for `capacity` bytes without another allocation; std::bad_alloc when there is none.
    void reserve(std::size_t capacity);
    // Makes the buffer `size` bytes long. Bytes beyond the old size are not initialised: the
    // caller writes them before reading them.
    void resizeForOverwrite(std::size_t size);
    void append(std::string_view bytes);
    // Puts `bytes` over the bytes at `at`; the range must lie inside the buffer.
    void overwrite(std::size_t at, std::string_view bytes) noexcept;

private:
    char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

} // namespace store
