#include "xls/biff_palette.h"

#include <algorithm>

namespace xls::biff {

namespace {

// Builds 0x00BBGGRR from its parts.
constexpr std::uint32_t rgb(unsigned r, unsigned g, unsigned b) { return r | (g << 8) | (b << 16); }

// The default BIFF8 palette, indexes 8..63.
constexpr std::array<std::uint32_t, kPaletteColors> kDefaultPalette = {
    rgb(0, 0, 0),       rgb(255, 255, 255), rgb(255, 0, 0),     rgb(0, 255, 0),
    rgb(0, 0, 255),     rgb(255, 255, 0),   rgb(255, 0, 255),   rgb(0, 255, 255),
    rgb(128, 0, 0),     rgb(0, 128, 0),     rgb(0, 0, 128),     rgb(128, 128, 0),
    rgb(128, 0, 128),   rgb(0, 128, 128),   rgb(192, 192, 192), rgb(128, 128, 128),
    rgb(153, 153, 255), rgb(153, 51, 102),  rgb(255, 255, 204), rgb(204, 255, 255),
    rgb(102, 0, 102),   rgb(255, 128, 128), rgb(0, 102, 204),   rgb(204, 204, 255),
    rgb(0, 0, 128),     rgb(255, 0, 255),   rgb(255, 255, 0),   rgb(0, 255, 255),
    rgb(128, 0, 128),   rgb(128, 0, 0),     rgb(0, 128, 128),   rgb(0, 0, 255),
    rgb(0, 204, 255),   rgb(204, 255, 255), rgb(204, 255, 204), rgb(255, 255, 153),
    rgb(153, 204, 255), rgb(255, 153, 204), rgb(204, 153, 255), rgb(255, 204, 153),
    rgb(51, 102, 255),  rgb(51, 204, 204),  rgb(153, 204, 0),   rgb(255, 204, 0),
    rgb(255, 153, 0),   rgb(255, 102, 0),   rgb(102, 102, 153), rgb(150, 150, 150),
    rgb(0, 51, 102),    rgb(51, 153, 102),  rgb(0, 51, 0),      rgb(51, 51, 0),
    rgb(153, 51, 0),    rgb(153, 51, 102),  rgb(51, 51, 153),   rgb(51, 51, 51),
};

// The sixteen standard colours that are never replaced in the palette.
constexpr std::array<std::uint32_t, 16> kProtected = {
    rgb(255, 255, 255), rgb(0, 0, 0),     rgb(192, 192, 192), rgb(128, 128, 128),
    rgb(255, 0, 0),     rgb(128, 0, 0),   rgb(255, 255, 0),   rgb(128, 128, 0),
    rgb(0, 255, 0),     rgb(0, 128, 0),   rgb(0, 255, 255),   rgb(0, 128, 128),
    rgb(0, 0, 255),     rgb(0, 0, 128),   rgb(255, 0, 255),   rgb(128, 0, 128),
};

constexpr std::uint32_t kSystemColorFlag = 0x80000000u;
constexpr std::uint32_t kColorWindow = 5;      // window background
constexpr std::uint32_t kColorBtnFace = 15;    // button face
constexpr std::uint32_t kColorBtnHighlight = 20;

} // namespace

// Starts a save: the default colours, nothing used, nothing changed.
void Palette::reset()
{
    m_colors = kDefaultPalette;
    m_used.clear();
    m_changed = false;
}

// A system colour's value on a standard desktop.
std::uint32_t Palette::resolveSystemColor(std::uint32_t color) noexcept
{
    if (!(color & kSystemColorFlag))
        return color;
    switch (color & 0x00FFFFFFu) {
    case kColorWindow:
    case kColorBtnHighlight:
        return rgb(255, 255, 255);
    case kColorBtnFace:
        return rgb(192, 192, 192);
    default:
        return rgb(0, 0, 0);
    }
}

// The palette index written for a colour.
unsigned Palette::colorIndex(std::uint32_t color)
{
    color = resolveSystemColor(color) & 0x00FFFFFFu;
    if (std::find(m_used.begin(), m_used.end(), color) == m_used.end())
        m_used.push_back(color);

    const auto held = std::find(m_colors.begin(), m_colors.end(), color);
    if (held != m_colors.end())
        return kPaletteFirstIndex + static_cast<unsigned>(held - m_colors.begin());

    for (std::size_t i = 0; i < m_colors.size(); ++i) {
        const std::uint32_t c = m_colors[i];
        const bool isProtected = std::find(kProtected.begin(), kProtected.end(), c) != kProtected.end();
        const bool isUsed = std::find(m_used.begin(), m_used.end(), c) != m_used.end();
        if (!isProtected && !isUsed) {
            m_colors[i] = color;
            m_changed = true;
            return kPaletteFirstIndex + static_cast<unsigned>(i);
        }
    }
    return kPaletteFirstIndex;
}

} // namespace xls::biff
