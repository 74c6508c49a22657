#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace xls::detail {

// A growing array of trivially copyable values that grows with realloc. A sheet's cells run
// to megabytes; a vector that doubles copies them into new memory at every step and so
// touches about twice their size, while realloc can often extend the block where it lies or,
// for large blocks, move its pages without copying them.
template <typename T>
class PodArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    PodArray() = default;
    ~PodArray() { std::free(m_data); }
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
        if (capacity < needed)
            capacity = needed;
        void* moved = std::realloc(m_data, capacity * sizeof(T));
        if (!moved)
            throw std::bad_alloc();
        m_data = static_cast<T*>(moved);
        m_capacity = capacity;
    }

    T* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

} // namespace xls::detail
