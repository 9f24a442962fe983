#pragma once
// Writes 32-bit BGRA pixels as an opaque PNG file through WIC. COM must be initialised.
#include <cstdint>
#include <string>

namespace standin {

bool writePng(const std::wstring& path, const std::uint8_t* bgra, int width, int height, int rowPitch);

}  // namespace standin
