#include "platform/ui/text_measurer.h"

#include <cstdint>

namespace ui {
namespace {

// Advances in ems, roughly those of a humanist sans-serif at regular weight.
double advance(char32_t c) {
  if (c == U' ') return 0.28;
  if (c == U'.' || c == U',' || c == U':' || c == U';' || c == U'!' || c == U'\'' || c == U'|') return 0.26;
  if (c == U'i' || c == U'j' || c == U'l' || c == U'I') return 0.25;
  if (c == U'/' || c == U'(' || c == U')' || c == U'-' || c == U'f' || c == U't' || c == U'r') return 0.36;
  if (c >= U'0' && c <= U'9') return 0.6;
  if (c == U'm' || c == U'w' || c == U'M' || c == U'W') return 0.85;
  if (c >= U'A' && c <= U'Z') return 0.68;
  if (c == U'\u2026') return 0.9;  // the ellipsis
  if (c < 0x80) return 0.55;
  if (c >= 0x0300 && c <= 0x036F) return 0;  // combining marks
  if (c >= 0x1100 && c <= 0x11FF) return 1.0;
  if (c >= 0x2E80 && c <= 0xFFEF) return 1.0;  // CJK and full-width forms
  if (c >= 0x1F000) return 1.1;                // emoji
  return 0.6;
}

}  // namespace

FontMetrics ApproximateTextMeasurer::metrics(const ResolvedFont& font) {
  return FontMetrics{font.size * 0.97, font.size * 0.24};
}

double ApproximateTextMeasurer::width(std::string_view utf8, const ResolvedFont& font) {
  // Bolder weights run a little wider: +1.5 % per hundred above regular.
  const double weightFactor = 1.0 + 0.015 * (font.weight - 400) / 100.0;
  double ems = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<std::uint8_t>(utf8[i]);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (i + length > utf8.size()) length = utf8.size() - i;
    char32_t c = length == 1 ? lead : static_cast<char32_t>(lead & (0x7FU >> length));
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<std::uint8_t>(utf8[i + k]) & 0x3F);
    ems += advance(c);
    i += length;
  }
  return ems * font.size * weightFactor;
}

}  // namespace ui
