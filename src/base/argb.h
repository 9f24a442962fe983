#pragma once
#include <cstdint>

namespace lumvo {
// A colour as 0xAARRGGBB, straight (not premultiplied) alpha.
using Argb = std::uint32_t;
}  // namespace lumvo
