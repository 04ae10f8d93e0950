#include "platform/render/platform_colors.h"

namespace render {
namespace {

constexpr Rgba hex(unsigned value) {
  return Rgba{static_cast<double>((value >> 16) & 0xFFU) / 255.0, static_cast<double>((value >> 8) & 0xFFU) / 255.0,
              static_cast<double>(value & 0xFFU) / 255.0, 1.0};
}

}  // namespace

Rgba rgba(const ui::Color& color) {
  Rgba out;
  switch (color.name()) {
    case ui::Color::Name::clear: return Rgba{0, 0, 0, 0};
    case ui::Color::Name::black: out = hex(0x000000); break;
    case ui::Color::Name::white: out = hex(0xFFFFFF); break;
    case ui::Color::Name::gray: out = hex(0x8E8E93); break;
    case ui::Color::Name::red: out = hex(0xFF3B30); break;
    case ui::Color::Name::orange: out = hex(0xFF9500); break;
    case ui::Color::Name::yellow: out = hex(0xFFCC00); break;
    case ui::Color::Name::green: out = hex(0x34C759); break;
    case ui::Color::Name::blue: out = hex(0x007AFF); break;
    case ui::Color::Name::cyan: out = hex(0x32ADE6); break;
    case ui::Color::Name::primary: out = hex(0xFFFFFF); break;
  }
  out.alpha = color.opacity();
  return out;
}

}  // namespace render
