// The meters' two colours, as COLORREF values (0x00BBGGRR): a level at or
// above its threshold and a level below it. Everything that shows a level
// against a threshold uses them. No platform headers.
#pragma once

#include <cstdint>

constexpr std::uint32_t kMeterColorReached = 0x000080;  // dark red
constexpr std::uint32_t kMeterColorBelow = 0x008000;    // dark green
