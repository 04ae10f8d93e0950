// JSONEncoder: writes a record as compact JSON the way the platform's `JSONEncoder`
// does in its default settings, through keyed containers.
//
// An encodable record T provides
//   std::expected<void, EncodingError> encode(Encoder& encoder) const;
// which asks for a keyed container and writes its members in field order. The output
// is compact, members appear in the order written, strings are escaped (control
// characters included) and must be valid UTF-8: a text that is not fails the encode
// with invalidValue naming the member. Thread-safe: no shared state.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/coding_error.h"
#include "platform/foundation/coding_key.h"
#include "platform/foundation/data.h"

namespace foundation {

class Encoder;

class KeyedEncodingContainerCore {
 public:
  std::expected<void, EncodingError> encode(std::int64_t value, std::string_view key);
  std::expected<void, EncodingError> encode(bool value, std::string_view key);
  std::expected<void, EncodingError> encode(std::string_view value, std::string_view key);

 private:
  friend class Encoder;
  explicit KeyedEncodingContainerCore(Encoder* encoder) : encoder_(encoder) {}
  Encoder* encoder_;
};

template <CodingKey Key>
class KeyedEncodingContainer {
 public:
  explicit KeyedEncodingContainer(KeyedEncodingContainerCore core) : core_(core) {}

  std::expected<void, EncodingError> encode(std::int64_t value, Key key) { return core_.encode(value, stringValue(key)); }
  std::expected<void, EncodingError> encode(bool value, Key key) { return core_.encode(value, stringValue(key)); }
  std::expected<void, EncodingError> encode(std::string_view value, Key key) {
    return core_.encode(value, stringValue(key));
  }
  std::expected<void, EncodingError> encode(const std::string& value, Key key) {
    return core_.encode(std::string_view(value), stringValue(key));
  }
  std::expected<void, EncodingError> encode(const char* value, Key key) = delete;  // would pick bool
  // Writes the member only when the value is present (never a null).
  std::expected<void, EncodingError> encodeIfPresent(const std::optional<std::string>& value, Key key) {
    if (!value) return {};
    return core_.encode(std::string_view(*value), stringValue(key));
  }

 private:
  KeyedEncodingContainerCore core_;
};

// What a record's encode function receives: the place for one top-level object.
class Encoder {
 public:
  Encoder();
  ~Encoder();
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  template <CodingKey Key>
  KeyedEncodingContainer<Key> container() {
    return KeyedEncodingContainer<Key>(keyedContainer());
  }
  KeyedEncodingContainerCore keyedContainer();

  // The compact JSON text of what was written.
  std::expected<std::string, EncodingError> finish() const;

 private:
  friend class KeyedEncodingContainerCore;
  struct State;
  std::unique_ptr<State> state_;
};

template <typename T>
concept Encodable = requires(const T& value, Encoder& encoder) {
  { value.encode(encoder) } -> std::same_as<std::expected<void, EncodingError>>;
};

class JSONEncoder {
 public:
  template <Encodable T>
  std::expected<Data, EncodingError> encode(const T& value) const {
    auto text = encodeToString(value);
    if (!text) return std::unexpected(std::move(text.error()));
    return Data(text->begin(), text->end());
  }

  template <Encodable T>
  std::expected<std::string, EncodingError> encodeToString(const T& value) const {
    Encoder encoder;
    if (auto written = value.encode(encoder); !written) return std::unexpected(std::move(written.error()));
    return encoder.finish();
  }
};

}  // namespace foundation
