// Data: a byte sequence, the platform's `Data`.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace foundation {

using Data = std::vector<std::uint8_t>;

inline Data dataFromString(std::string_view text) { return Data(text.begin(), text.end()); }

inline std::string_view stringView(const Data& data) {
  return {reinterpret_cast<const char*>(data.data()), data.size()};
}

}  // namespace foundation
