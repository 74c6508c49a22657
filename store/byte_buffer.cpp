#include "store/byte_buffer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace store {

ByteBuffer::~ByteBuffer() { std::free(m_data); }

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_capacity(std::exchange(other.m_capacity, 0))
{
}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept
{
    if (this != &other) {
        std::free(m_data);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
}

void ByteBuffer::reserve(std::size_t capacity)
{
    if (capacity <= m_capacity)
        return;
    void* grown = std::realloc(m_data, capacity);
    if (!grown)
        throw std::bad_alloc();
    m_data = static_cast<char*>(grown);
    m_capacity = capacity;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // A big table is read in one go: large pages spare the kernel thousands of page faults.
    constexpr std::size_t kLarge = std::size_t(8) << 20;
    if (capacity >= kLarge) {
        const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        const auto from = (reinterpret_cast<std::uintptr_t>(m_data) + page - 1) & ~(page - 1);
        const auto to = (reinterpret_cast<std::uintptr_t>(m_data) + capacity) & ~(page - 1);
        if (to > from)
            ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE); // advice only
    }
#endif
}

void ByteBuffer::resizeForOverwrite(std::size_t size)
{
    reserve(size);
    m_size = size;
}

void ByteBuffer::append(std::string_view bytes)
{
    if (bytes.empty())
        return;
    const std::size_t needed = m_size + bytes.size();
    if (needed > m_capacity)
        reserve(std::max(needed, m_capacity + m_capacity / 2)); // amortised, as a string grows
    std::memcpy(m_data + m_size, bytes.data(), bytes.size());
    m_size = needed;
}

void ByteBuffer::overwrite(std::size_t at, std::string_view bytes) noexcept
{
    if (!bytes.empty())
        std::memcpy(m_data + at, bytes.data(), bytes.size());
}

} // namespace store
