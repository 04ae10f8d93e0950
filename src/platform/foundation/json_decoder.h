// JSONDecoder: reads a record from JSON text the way the platform's `JSONDecoder` does
// in its default settings, through keyed containers.
//
// A decodable record T provides
//   static std::expected<T, DecodingError> decode(const Decoder& decoder);
// which asks for a keyed container and reads its members by key in field order,
// returning the first failure. Reading rules that hold for every record:
// - The whole document is validated, also inside members the record never reads:
//   invalid UTF-8, lone surrogate escapes, trailing content, trailing commas and
//   nesting deeper than 512 fail. A UTF-8 byte-order mark before the text is skipped.
// - Member names match exactly; when a name occurs twice, the first occurrence counts.
// - An integer member takes a number whose value is exactly an integer that fits 64
//   bits (120, -0, 1.0, 1e2); 1.5, 9223372036854775808 and anything that would need
//   rounding fail.
// - A boolean member takes only true or false; a text member only a JSON string.
// Thread-safe: each thread parses with its own reusable parser.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/foundation/coding_error.h"
#include "platform/foundation/coding_key.h"

namespace foundation {

class Decoder;

// A parsed JSON value inside the document being decoded. Opaque: it refers into
// the decoder's parse and lives only as long as the decode call.
class JSONValueRef {
 public:
  JSONValueRef() = default;

 private:
  friend class Decoder;
  friend class KeyedDecodingContainerCore;
  friend struct JSONDecoderAccess;
  alignas(8) std::array<std::byte, 16> storage_{};
};

// The key-type-free core of a keyed container: members by name.
class KeyedDecodingContainerCore {
 public:
  bool contains(std::string_view key) const;
  std::expected<std::int64_t, DecodingError> decodeInt64(std::string_view key) const;
  std::expected<bool, DecodingError> decodeBool(std::string_view key) const;
  std::expected<std::string, DecodingError> decodeString(std::string_view key) const;
  // Absent when the member is missing or null; fails when it holds anything but a string.
  std::expected<std::optional<std::string>, DecodingError> decodeStringIfPresent(std::string_view key) const;

  const std::vector<std::string>& codingPath() const { return path_; }

 private:
  friend class Decoder;
  KeyedDecodingContainerCore(const Decoder* decoder, JSONValueRef object, std::vector<std::string> path)
      : decoder_(decoder), object_(object), path_(std::move(path)) {}

  std::vector<std::string> pathTo(std::string_view key) const;

  const Decoder* decoder_;
  JSONValueRef object_;
  std::vector<std::string> path_;
};

// A keyed container over the record's own coding keys.
template <CodingKey Key>
class KeyedDecodingContainer {
 public:
  explicit KeyedDecodingContainer(KeyedDecodingContainerCore core) : core_(std::move(core)) {}

  bool contains(Key key) const { return core_.contains(stringValue(key)); }
  std::expected<std::int64_t, DecodingError> decodeInt64(Key key) const { return core_.decodeInt64(stringValue(key)); }
  std::expected<bool, DecodingError> decodeBool(Key key) const { return core_.decodeBool(stringValue(key)); }
  std::expected<std::string, DecodingError> decodeString(Key key) const { return core_.decodeString(stringValue(key)); }
  std::expected<std::optional<std::string>, DecodingError> decodeStringIfPresent(Key key) const {
    return core_.decodeStringIfPresent(stringValue(key));
  }

  const std::vector<std::string>& codingPath() const { return core_.codingPath(); }

 private:
  KeyedDecodingContainerCore core_;
};

// What a record's decode function receives: one value of the document.
class Decoder {
 public:
  // A keyed container over the value, or typeMismatch when it is not a JSON object.
  template <CodingKey Key>
  std::expected<KeyedDecodingContainer<Key>, DecodingError> container() const {
    auto core = keyedContainer();
    if (!core) return std::unexpected(std::move(core.error()));
    return KeyedDecodingContainer<Key>(std::move(*core));
  }

  std::expected<KeyedDecodingContainerCore, DecodingError> keyedContainer() const;

  const std::vector<std::string>& codingPath() const { return path_; }

  // The document's text (without a byte-order mark), for exact number reading.
  std::string_view source() const { return source_; }

 private:
  friend struct JSONDecoderAccess;
  Decoder(std::string_view source, JSONValueRef value, std::vector<std::string> path)
      : source_(source), value_(value), path_(std::move(path)) {}

  std::string_view source_;
  JSONValueRef value_;
  std::vector<std::string> path_;
};

template <typename T>
concept Decodable = requires(const Decoder& decoder) {
  { T::decode(decoder) } -> std::same_as<std::expected<T, DecodingError>>;
};

class JSONDecoder {
 public:
  template <Decodable T>
  std::expected<T, DecodingError> decode(std::string_view json) const {
    std::expected<T, DecodingError> result = std::unexpected(DecodingError{});
    auto parsed = withDocument(json, [&](const Decoder& decoder) { result = T::decode(decoder); });
    if (!parsed) return std::unexpected(std::move(parsed.error()));
    return result;
  }

  template <Decodable T>
  std::expected<T, DecodingError> decode(std::span<const std::uint8_t> data) const {
    return decode<T>(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  }

 private:
  // Parses and validates `json`, then calls `use` with a decoder over its top value.
  template <typename F>
  static std::expected<void, DecodingError> withDocument(std::string_view json, F&& use) {
    using Function = std::remove_reference_t<F>;
    struct Thunk {
      static void call(void* f, const Decoder& d) { (*static_cast<Function*>(f))(d); }
    };
    return withDocumentImpl(json, &Thunk::call, static_cast<void*>(&use));
  }
  static std::expected<void, DecodingError> withDocumentImpl(std::string_view json,
                                                             void (*call)(void*, const Decoder&), void* context);
};

}  // namespace foundation
