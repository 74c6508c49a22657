#pragma once

#include "platform/pod_array.h"

#include <cstddef>
#include <string_view>

namespace store {

// The bytes of a table's records. A std::string would do, but it fills every byte with zeros
// before the file is read over them, and a 100,000-row table is 46 MB: the fill costs as much
// as the read. This buffer hands out room that is not filled, so the file is read once into
// its final place, and it grows without holding a big table twice.
class ByteBuffer : public platform::PodArray<char> {
public:
    operator std::string_view() const noexcept { return {data(), size()}; }

    void append(std::string_view bytes) { PodArray::append(bytes.data(), bytes.size()); }
    // Puts `bytes` over the bytes at `at`; the range must lie inside the buffer.
    void overwrite(std::size_t at, std::string_view bytes) noexcept
    {
        if (!bytes.empty())
            std::memcpy(data() + at, bytes.data(), bytes.size());
    }
};

} // namespace store
