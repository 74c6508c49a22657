#pragma once

// The colour palette of a workbook being written: palette indexes 8..63, starting from the
// default BIFF8 palette, adapted as colours are asked for.

#include <array>
#include <cstdint>
#include <vector>

namespace xls::biff {

inline constexpr unsigned kPaletteFirstIndex = 8;
inline constexpr unsigned kPaletteColors = 56;

class Palette {
public:
    Palette() { reset(); }

    // Back to the default palette, unchanged, with no colour used yet.
    void reset();
    // The palette index (8..63) of a colour 0x00BBGGRR, or of a system colour (top bit set),
    // replacing the first free entry when the palette does not hold it; 8 when none is free.
    unsigned colorIndex(std::uint32_t color);
    bool changed() const noexcept { return m_changed; }
    std::vector<std::uint32_t> colors() const { return {m_colors.begin(), m_colors.end()}; }

    // The value a system colour stands for. This program has no desktop scheme to ask: window
    // text and the other foreground colours are black, window backgrounds white.
    static std::uint32_t resolveSystemColor(std::uint32_t color) noexcept;

private:
    std::array<std::uint32_t, kPaletteColors> m_colors{};
    std::vector<std::uint32_t> m_used; // every colour asked for during this save
    bool m_changed = false;
};

} // namespace xls::biff
