// JSONDecoder: reads a record from JSON text the way the platform's `JSONDecoder` does
// in its default settings, through keyed containers.
//
// A decodable record T provides
//   static std::expected<T, DecodingError> decode(const Decoder& decoder);
// which asks for a keyed container and reads its members by key in field order,
// returning the first failure (recordOf, below, makes the record or picks that
// failure). Reading rules that hold for every record:
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
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/coding_error.h"
#include "platform/foundation/coding_key.h"
#include "platform/foundation/uuid.h"

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

// One of a keyed container's keys as found in the object: missing, or the kind and
// value of its first occurrence. Numbers, booleans and strings are read out when the
// container is made, so that a read of the common case is a check and a copy. A string
// refers into the decoder's parse and lives only as long as the decode call.
class JSONMemberRef {
 public:
  JSONMemberRef() = default;  // left unset: KeyedDecodingContainerCore::findMembers sets every slot

  bool found() const { return kind_ != Kind::missing; }
  const std::int64_t* int64() const { return kind_ == Kind::int64 ? &int64_ : nullptr; }
  const bool* boolean() const { return kind_ == Kind::boolean ? &boolean_ : nullptr; }
  std::optional<std::string_view> string() const {
    if (kind_ != Kind::string) return std::nullopt;
    return std::string_view(text_, extra_);
  }

 private:
  friend class KeyedDecodingContainerCore;
  friend struct JSONDecoderAccess;
  enum class Kind : std::uint8_t { missing, null, int64, uint64, number, boolean, string, array, object };

  Kind kind_;
  std::uint32_t extra_;  // string: its length; number: the member's place in the object
  union {
    std::int64_t int64_;
    std::uint64_t uint64_;
    double number_;  // a number with a fraction or an exponent
    bool boolean_;
    const char* text_;
  };
};

// The key-type-free core of a keyed container: finds the members, and reads the ones
// whose value is not the plain kind asked for (errors, and integers such as 1.0).
class KeyedDecodingContainerCore {
 public:
  // For each of `names` (at most 64), the first member of the object with exactly that
  // name. One pass over the object, so that a read afterwards never searches it.
  void findMembers(std::span<const std::string_view> names, std::span<JSONMemberRef> members) const;

  std::expected<std::int64_t, DecodingError> decodeInt64(std::string_view key, const JSONMemberRef& member) const;
  std::expected<bool, DecodingError> decodeBool(std::string_view key, const JSONMemberRef& member) const;
  std::expected<std::string, DecodingError> decodeString(std::string_view key, const JSONMemberRef& member) const;
  std::expected<std::optional<std::string>, DecodingError> decodeStringIfPresent(std::string_view key,
                                                                                 const JSONMemberRef& member) const;
  std::expected<UUID, DecodingError> decodeUUID(std::string_view key, const JSONMemberRef& member) const;

  const std::vector<std::string>& codingPath() const { return path_; }

 private:
  friend class Decoder;
  KeyedDecodingContainerCore(const Decoder* decoder, JSONValueRef object, std::vector<std::string> path)
      : decoder_(decoder), object_(object), path_(std::move(path)) {}

  // Made only for an error: a success never pays for the path.
  std::vector<std::string> pathTo(std::string_view key) const;
  // keyNotFound for a missing member, valueNotFound for a null one.
  std::optional<DecodingError> absence(std::string_view key, const JSONMemberRef& member,
                                       std::string_view expected) const;

  const Decoder* decoder_;
  JSONValueRef object_;
  std::vector<std::string> path_;
};

// A keyed container over the record's own coding keys. It finds all of them when it
// is made; a read of a member holding the kind asked for is then inline.
template <CodingKey Key>
class KeyedDecodingContainer {
  static_assert(CodingKeyNames<Key>::names.size() <= 64, "a keyed container reads at most 64 members");

 public:
  explicit KeyedDecodingContainer(KeyedDecodingContainerCore core) : core_(std::move(core)) {
    core_.findMembers(kNames, members_);
  }

  bool contains(Key key) const { return member(key).found(); }

  std::expected<std::int64_t, DecodingError> decodeInt64(Key key) const {
    if (const std::int64_t* value = member(key).int64()) return *value;
    return core_.decodeInt64(stringValue(key), member(key));
  }
  std::expected<bool, DecodingError> decodeBool(Key key) const {
    if (const bool* value = member(key).boolean()) return *value;
    return core_.decodeBool(stringValue(key), member(key));
  }
  std::expected<std::string, DecodingError> decodeString(Key key) const {
    if (auto text = member(key).string()) return std::expected<std::string, DecodingError>(std::in_place, *text);
    return core_.decodeString(stringValue(key), member(key));
  }
  // Absent when the member is missing or null; fails when it holds anything but a string.
  std::expected<std::optional<std::string>, DecodingError> decodeStringIfPresent(Key key) const {
    return core_.decodeStringIfPresent(stringValue(key), member(key));
  }
  // A UUID in its 36-character text form, read without a copy of the text; any other
  // string is dataCorrupted, as the platform's UUID decoding reports it.
  std::expected<UUID, DecodingError> decodeUUID(Key key) const {
    if (auto text = member(key).string()) {
      if (auto id = UUID::parse(*text)) return *id;
    }
    return core_.decodeUUID(stringValue(key), member(key));
  }

  const std::vector<std::string>& codingPath() const { return core_.codingPath(); }

 private:
  static constexpr const auto& kNames = CodingKeyNames<Key>::names;
  const JSONMemberRef& member(Key key) const { return members_[static_cast<std::size_t>(key)]; }

  KeyedDecodingContainerCore core_;
  std::array<JSONMemberRef, kNames.size()> members_;
};

// What a record's decode function receives: one value of the document.
class Decoder {
 public:
  // A keyed container over the value, or typeMismatch when it is not a JSON object.
  template <CodingKey Key>
  std::expected<KeyedDecodingContainer<Key>, DecodingError> container() const {
    if (!isObject()) return std::unexpected(notAnObject());
    // Made in place: the container holds a slot per key and is not copied again.
    return std::expected<KeyedDecodingContainer<Key>, DecodingError>(std::in_place,
                                                                     KeyedDecodingContainerCore(this, value_, path_));
  }

  const std::vector<std::string>& codingPath() const { return path_; }

  // The document's text (without a byte-order mark), for exact number reading.
  std::string_view source() const { return source_; }

 private:
  friend struct JSONDecoderAccess;
  Decoder(std::string_view source, JSONValueRef value, std::vector<std::string> path)
      : source_(source), value_(value), path_(std::move(path)) {}

  bool isObject() const;
  DecodingError notAnObject() const;  // typeMismatch naming what the value is

  std::string_view source_;
  JSONValueRef value_;
  std::vector<std::string> path_;
};

// The record `T{values...}` made of the values that `reads` (one per member, in
// field order) hold, or the first of their failures. Every read has been made by the
// time this is called; a failure only makes the reads after it moot.
template <typename T, typename... Values>
std::expected<T, DecodingError> recordOf(std::expected<Values, DecodingError>... reads) {
  const DecodingError* failure = nullptr;
  const auto keepFirstFailure = [&failure](const auto& read) {
    if (failure == nullptr && !read) failure = &read.error();
  };
  (keepFirstFailure(reads), ...);
  if (failure != nullptr) return std::unexpected(*failure);
  return T{std::move(*reads)...};
}

template <typename T>
concept Decodable = requires(const Decoder& decoder) {
  { T::decode(decoder) } -> std::same_as<std::expected<T, DecodingError>>;
};

class JSONDecoder {
 public:
  template <Decodable T>
  std::expected<T, DecodingError> decode(std::string_view json) const {
    const Document document(json);
    if (!document.decoder()) return std::unexpected(document.decoder().error());
    return T::decode(*document.decoder());
  }

  template <Decodable T>
  std::expected<T, DecodingError> decode(std::span<const std::uint8_t> data) const {
    return decode<T>(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  }

 private:
  // The parse of one document, held while a record is decoded from it. It uses this
  // thread's parser, whose buffers grow once and stay; a decode that starts while
  // another runs on the same thread gets a parser of its own.
  class Document {
   public:
    explicit Document(std::string_view json);
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // A decoder over the top value, or dataCorrupted when the text is not valid JSON.
    const std::expected<Decoder, DecodingError>& decoder() const { return decoder_; }

   private:
    struct OwnParser;
    bool usingShared_;
    std::unique_ptr<OwnParser> ownParser_;
    std::expected<Decoder, DecodingError> decoder_;
  };
};

}  // namespace foundation
