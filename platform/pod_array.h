#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace platform {

// A growing array of trivially copyable values for the program's big buffers: a table's
// records (tens of megabytes) and a sheet's cells. It differs from std::vector in two ways
// that matter at that size:
// - room can be handed out unfilled (resizeForOverwrite), so a file is read once into its
//   final place instead of over a fill of zeros;
// - it grows with realloc, which extends a block where it lies or, for large blocks, moves
//   its pages instead of copying the bytes, so growing never holds the data twice.
template <typename T>
class PodArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    PodArray() = default;
    ~PodArray() { std::free(m_data); }
    PodArray(PodArray&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
          m_capacity(std::exchange(other.m_capacity, 0))
    {
    }
    PodArray& operator=(PodArray&& other) noexcept
    {
        if (this != &other) {
            std::free(m_data);
            m_data = std::exchange(other.m_data, nullptr);
            m_size = std::exchange(other.m_size, 0);
            m_capacity = std::exchange(other.m_capacity, 0);
        }
        return *this;
    }
    PodArray(const PodArray&) = delete;
    PodArray& operator=(const PodArray&) = delete;

    std::size_t size() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }
    T* data() noexcept { return m_data; }
    const T* data() const noexcept { return m_data; }
    T* begin() noexcept { return m_data; }
    T* end() noexcept { return m_data + m_size; }
    const T* begin() const noexcept { return m_data; }
    const T* end() const noexcept { return m_data + m_size; }
    T& operator[](std::size_t i) noexcept { return m_data[i]; }
    const T& operator[](std::size_t i) const noexcept { return m_data[i]; }

    // Room for `capacity` values without another allocation; std::bad_alloc when there is none.
    void reserve(std::size_t capacity)
    {
        if (capacity <= m_capacity)
            return;
        void* grown = std::realloc(m_data, capacity * sizeof(T));
        if (!grown)
            throw std::bad_alloc();
        m_data = static_cast<T*>(grown);
        m_capacity = capacity;
        adviseLargePages();
    }
    // Makes the array `size` values long. Values beyond the old size are not initialised: the
    // caller writes them before reading them.
    void resizeForOverwrite(std::size_t size)
    {
        reserve(size);
        m_size = size;
    }
    void clear() noexcept { m_size = 0; }

    void push_back(const T& value)
    {
        if (m_size == m_capacity)
            grow(m_size + 1);
        m_data[m_size++] = value;
    }
    // Appends `count` values from `first`.
    void append(const T* first, std::size_t count)
    {
        if (count == 0)
            return;
        if (m_size + count > m_capacity)
            grow(m_size + count);
        std::memcpy(m_data + m_size, first, count * sizeof(T));
        m_size += count;
    }
    // Inserts `value` before index `at` (at most size()).
    void insert(std::size_t at, const T& value)
    {
        if (m_size == m_capacity)
            grow(m_size + 1);
        std::memmove(m_data + at + 1, m_data + at, (m_size - at) * sizeof(T));
        m_data[at] = value;
        ++m_size;
    }
    // Removes the value at index `at`.
    void erase(std::size_t at) noexcept
    {
        std::memmove(m_data + at, m_data + at + 1, (m_size - at - 1) * sizeof(T));
        --m_size;
    }

private:
    void grow(std::size_t needed)
    {
        constexpr std::size_t kFirstCapacity = 256;
        std::size_t capacity = m_capacity ? m_capacity * 2 : kFirstCapacity;
        reserve(capacity < needed ? needed : capacity);
    }

    // A big block is filled in one go: large pages spare the kernel thousands of page faults.
    void adviseLargePages() noexcept
    {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        constexpr std::size_t kLarge = std::size_t(8) << 20;
        const std::size_t bytes = m_capacity * sizeof(T);
        if (bytes < kLarge)
            return;
        const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        const auto start = reinterpret_cast<std::uintptr_t>(m_data);
        const auto from = (start + page - 1) & ~(page - 1);
        const auto to = (start + bytes) & ~(page - 1);
        if (to > from)
            ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE); // advice only
#endif
    }

    T* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

} // namespace platform
