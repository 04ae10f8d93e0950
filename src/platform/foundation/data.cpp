#include "platform/foundation/data.h"

#include <array>

namespace foundation {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> kDecode = [] {
  std::array<int, 256> table{};
  table.fill(-1);
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
  return table;
}();

}  // namespace

std::string base64Encoded(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  const auto at = [&](std::size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[k])); };
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned group = (at(i) << 16) | (at(i + 1) << 8) | at(i + 2);
    for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(group >> shift) & 0x3F];
  }
  if (const std::size_t rest = bytes.size() - i; rest > 0) {
    const unsigned group = (at(i) << 16) | (rest == 2 ? at(i + 1) << 8 : 0u);
    out += kAlphabet[(group >> 18) & 0x3F];
    out += kAlphabet[(group >> 12) & 0x3F];
    out += rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
    out += '=';
  }
  return out;
}

std::optional<Data> dataFromBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::size_t padding = 0;
  if (!text.empty() && text.back() == '=') padding = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;
  Data out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    unsigned group = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      int value = kDecode[static_cast<unsigned char>(c)];
      if (c == '=' && last && k >= 4 - padding) value = 0;
      if (value < 0) return std::nullopt;
      group = (group << 6) | static_cast<unsigned>(value);
    }
    out.push_back(static_cast<std::uint8_t>(group >> 16));
    if (!(last && padding == 2)) out.push_back(static_cast<std::uint8_t>((group >> 8) & 0xFF));
    if (!(last && padding >= 1)) out.push_back(static_cast<std::uint8_t>(group & 0xFF));
  }
  return out;
}

}  // namespace foundation
