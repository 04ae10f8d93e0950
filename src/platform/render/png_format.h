// The parts of the PNG file format that both our writer and our reader spell: the
// signature, and the header's values for 8-bit RGB and RGBA pictures.
#pragma once

#include <cstdint>
#include <string_view>

namespace render::png {

inline constexpr std::string_view kSignature("\x89PNG\r\n\x1A\n", 8);
inline constexpr std::uint8_t kBitDepth = 8;
inline constexpr std::uint8_t kColourTypeRGB = 2;
inline constexpr std::uint8_t kColourTypeRGBA = 6;
inline constexpr std::uint8_t kNoRowFilter = 0;

}  // namespace render::png
