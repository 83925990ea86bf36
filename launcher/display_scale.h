#pragma once

#include <Qt>

#include <string_view>

namespace vorn {

// How Qt rounds the display's scale factor for this desktop. Fractional factors pass through
// only where the system states one on purpose (the Windows display setting, an X desktop's
// Xft.dpi); an X server that only knows its screen's millimetres gets whole factors, since its
// rounding of them (100 dpi on Xvfb, 96.05 on a 2560 px screen) would otherwise scale and blur
// the whole window by a few percent.
[[nodiscard]] Qt::HighDpiScaleFactorRoundingPolicy displayScaleRounding();

// The Xft.dpi value of an X resource database text, or 0 when it holds none.
[[nodiscard]] int xftDpiFromResources(std::string_view resources);

} // namespace vorn
