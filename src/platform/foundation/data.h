// Data: a byte sequence, the platform's `Data`, with its base64 text form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

using Data = std::vector<std::uint8_t>;

inline Data dataFromString(std::string_view text) { return Data(text.begin(), text.end()); }

inline std::string_view stringView(const Data& data) {
  return {reinterpret_cast<const char*>(data.data()), data.size()};
}

// The standard base64 form (RFC 4648, with '=' padding), as `base64EncodedString()`.
std::string base64Encoded(std::string_view bytes);

// The bytes of a standard base64 text, as `Data(base64Encoded:)`: none when the text
// holds anything but the alphabet, or its padding or length is wrong.
std::optional<Data> dataFromBase64(std::string_view text);

}  // namespace foundation
