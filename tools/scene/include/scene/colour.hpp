#pragma once

#include <cstdint>

namespace scene
{

// One pixel of an "rgb8" image.
struct Rgb
{
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
};

// Pure colours, painted flat: the colour test model finds exactly these.
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kMagenta{255, 0, 255};
constexpr Rgb kCyan{0, 255, 255};

// Neutral colours of floor, walls and unlabelled furniture: no channel
// outweighs the other two, so no colour test fires on them.
constexpr Rgb kFloorGrey{128, 128, 124};
constexpr Rgb kWallGrey{200, 198, 192};
constexpr Rgb kBrown{110, 86, 62};

}  // namespace scene
