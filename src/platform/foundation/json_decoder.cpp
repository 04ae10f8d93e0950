#include "platform/foundation/json_decoder.h"

#include <simdjson.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace foundation {

namespace {

constexpr std::size_t kMaxDepth = 512;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

static_assert(sizeof(element) <= 16 && alignof(element) <= 8, "JSONValueRef storage too small");
static_assert(std::is_trivially_copyable_v<element>);

std::string quoteKey(std::string_view key) {
  std::string out;
  out.reserve(key.size() + 2);
  out += '"';
  out += key;
  out += '"';
  return out;
}

const char* foundKindName(element_type type) {
  switch (type) {
    case element_type::ARRAY: return "an array";
    case element_type::OBJECT: return "a dictionary";
    case element_type::INT64:
    case element_type::UINT64:
    case element_type::DOUBLE: return "a number";
    case element_type::STRING: return "a string";
    case element_type::BOOL: return "a bool";
    case element_type::NULL_VALUE: return "null";
  }
  return "an unknown value";
}

DecodingError typeMismatch(std::vector<std::string> path, std::string_view expected, element_type found) {
  return {DecodingError::Kind::typeMismatch, std::move(path),
          "expected to decode " + std::string(expected) + " but found " + foundKindName(found) + " instead"};
}

// The exact value of a JSON number text, if it is an integer that fits 64 bits.
// Works on the decimal digits, never through a double, so nothing is rounded.
std::optional<std::int64_t> exactInt64(std::string_view text) {
  std::size_t i = 0;
  const bool negative = i < text.size() && text[i] == '-';
  if (negative) ++i;
  std::string digits;
  long long exponent = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) digits += text[i];
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      digits += text[i];
      --exponent;
    }
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      value = std::min(value * 10 + (text[i] - '0'), 1'000'000'000LL);  // saturate: far past any int64
    }
    exponent += negativeExponent ? -value : value;
  }
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
  if (i != text.size()) return std::nullopt;

  const auto firstNonZero = digits.find_first_not_of('0');
  if (firstNonZero == std::string::npos) return 0;  // zero, "-0" included
  digits.erase(0, firstNonZero);
  if (exponent < 0) {
    const auto drop = static_cast<unsigned long long>(-exponent);
    if (drop >= digits.size()) return std::nullopt;  // a nonzero value below one
    if (digits.find_first_not_of('0', digits.size() - drop) != std::string::npos) return std::nullopt;
    digits.resize(digits.size() - drop);
  } else if (exponent > 0) {
    if (digits.size() + static_cast<unsigned long long>(exponent) > 19) return std::nullopt;
    digits.append(static_cast<std::size_t>(exponent), '0');
  }
  if (digits.size() > 19) return std::nullopt;
  std::uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
  if (ec != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  const auto limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (!negative) {
    if (magnitude > limit) return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
  }
  if (magnitude > limit + 1) return std::nullopt;
  if (magnitude == limit + 1) return std::numeric_limits<std::int64_t>::min();
  return -static_cast<std::int64_t>(magnitude);
}

// The raw text of the number at `path` (a chain of object keys from the top).
// Used only when the parser read a number with a fraction or exponent.
std::optional<std::string> rawNumberText(std::string_view source, const std::vector<std::string>& path) {
  thread_local simdjson::ondemand::parser parser;
  simdjson::padded_string padded(source);
  auto document = parser.iterate(padded);
  if (document.error()) return std::nullopt;
  simdjson::ondemand::value value;
  if (document.get_value().get(value)) return std::nullopt;
  for (const auto& key : path) {
    simdjson::ondemand::object obj;
    if (value.get_object().get(obj)) return std::nullopt;
    if (obj.find_field_unordered(key).get(value)) return std::nullopt;
  }
  std::string_view token = value.raw_json_token();
  return std::string(token);
}

}  // namespace

struct JSONDecoderAccess {
  static JSONValueRef store(const element& e) {
    JSONValueRef ref;
    std::memcpy(ref.storage_.data(), static_cast<const void*>(&e), sizeof(element));
    return ref;
  }
  static element elementOf(const JSONValueRef& ref) {
    element e;
    std::memcpy(static_cast<void*>(&e), ref.storage_.data(), sizeof(element));
    return e;
  }
  static Decoder makeDecoder(std::string_view source, const element& e) { return Decoder(source, store(e), {}); }
};

std::string DecodingError::description() const {
  std::string out = kindName(kind);
  if (!codingPath.empty()) {
    out += " at ";
    for (std::size_t i = 0; i < codingPath.size(); ++i) {
      if (i > 0) out += '.';
      out += quoteKey(codingPath[i]);
    }
  }
  out += ": ";
  out += debugDescription;
  return out;
}

std::string EncodingError::description() const {
  std::string out = "invalidValue";
  if (!codingPath.empty()) {
    out += " at ";
    for (std::size_t i = 0; i < codingPath.size(); ++i) {
      if (i > 0) out += '.';
      out += quoteKey(codingPath[i]);
    }
  }
  out += ": ";
  out += debugDescription;
  return out;
}

const char* kindName(DecodingError::Kind kind) {
  switch (kind) {
    case DecodingError::Kind::keyNotFound: return "keyNotFound";
    case DecodingError::Kind::valueNotFound: return "valueNotFound";
    case DecodingError::Kind::typeMismatch: return "typeMismatch";
    case DecodingError::Kind::dataCorrupted: return "dataCorrupted";
  }
  return "unknown";
}

std::expected<KeyedDecodingContainerCore, DecodingError> Decoder::keyedContainer() const {
  const element e = JSONDecoderAccess::elementOf(value_);
  if (e.type() != element_type::OBJECT) return std::unexpected(typeMismatch(path_, "a dictionary", e.type()));
  return KeyedDecodingContainerCore(this, value_, path_);
}

std::vector<std::string> KeyedDecodingContainerCore::pathTo(std::string_view key) const {
  std::vector<std::string> path = path_;
  path.emplace_back(key);
  return path;
}

namespace {

// The member under `key` (its first occurrence), or keyNotFound / valueNotFound.
// `path()` makes the coding path for an error and is called only on failure: making it
// for every member read cost an allocation per member, about 40 % of a whole decode.
template <typename MakePath>
std::expected<element, DecodingError> requiredMember(const object& obj, std::string_view key,
                                                     std::string_view expected, const MakePath& path) {
  element member;
  if (obj.at_key(key).get(member) != simdjson::SUCCESS) {
    return std::unexpected(DecodingError{DecodingError::Kind::keyNotFound, path(),
                                         "no value associated with key " + quoteKey(key)});
  }
  if (member.type() == element_type::NULL_VALUE) {
    return std::unexpected(DecodingError{DecodingError::Kind::valueNotFound, path(),
                                         "expected " + std::string(expected) + " value but found null instead"});
  }
  return member;
}

object objectOf(const JSONValueRef& ref) {
  object obj;
  if (JSONDecoderAccess::elementOf(ref).get(obj) != simdjson::SUCCESS) return object{};  // checked by keyedContainer()
  return obj;
}

}  // namespace

bool KeyedDecodingContainerCore::contains(std::string_view key) const {
  element member;
  return objectOf(object_).at_key(key).get(member) == simdjson::SUCCESS;
}

std::expected<std::int64_t, DecodingError> KeyedDecodingContainerCore::decodeInt64(std::string_view key) const {
  auto member = requiredMember(objectOf(object_), key, "Int64", [&] { return pathTo(key); });
  if (!member) return std::unexpected(std::move(member.error()));
  switch (member->type()) {
    case element_type::INT64: return member->get_int64().value_unsafe();
    case element_type::UINT64:
      return std::unexpected(DecodingError{DecodingError::Kind::dataCorrupted, pathTo(key),
                                           "number " + std::to_string(member->get_uint64().value_unsafe()) +
                                               " does not fit in Int64"});
    case element_type::DOUBLE: {
      // A fraction or an exponent: accept it only when its exact value is an integer
      // (1.0, 1e2). A non-integral double can never be one; an integral one may still
      // come from text that was rounded, so the text itself decides.
      const double value = member->get_double().value_unsafe();
      std::optional<std::int64_t> exact;
      if (std::isfinite(value) && std::trunc(value) == value) {
        if (auto text = rawNumberText(decoder_->source(), pathTo(key))) exact = exactInt64(*text);
      }
      if (!exact) {
        std::string shown = "number";
        if (auto text = rawNumberText(decoder_->source(), pathTo(key))) shown += " " + *text;
        return std::unexpected(DecodingError{DecodingError::Kind::dataCorrupted, pathTo(key),
                                             shown + " is not exactly representable in Int64"});
      }
      return *exact;
    }
    default: return std::unexpected(typeMismatch(pathTo(key), "Int64", member->type()));
  }
}

std::expected<bool, DecodingError> KeyedDecodingContainerCore::decodeBool(std::string_view key) const {
  auto member = requiredMember(objectOf(object_), key, "Bool", [&] { return pathTo(key); });
  if (!member) return std::unexpected(std::move(member.error()));
  if (member->type() != element_type::BOOL) return std::unexpected(typeMismatch(pathTo(key), "Bool", member->type()));
  return member->get_bool().value_unsafe();
}

std::expected<std::string, DecodingError> KeyedDecodingContainerCore::decodeString(std::string_view key) const {
  auto member = requiredMember(objectOf(object_), key, "String", [&] { return pathTo(key); });
  if (!member) return std::unexpected(std::move(member.error()));
  if (member->type() != element_type::STRING) {
    return std::unexpected(typeMismatch(pathTo(key), "String", member->type()));
  }
  return std::string(member->get_string().value_unsafe());
}

std::expected<std::optional<std::string>, DecodingError> KeyedDecodingContainerCore::decodeStringIfPresent(
    std::string_view key) const {
  element member;
  if (objectOf(object_).at_key(key).get(member) != simdjson::SUCCESS) return std::optional<std::string>{};
  if (member.type() == element_type::NULL_VALUE) return std::optional<std::string>{};
  if (member.type() != element_type::STRING) return std::unexpected(typeMismatch(pathTo(key), "String", member.type()));
  return std::optional<std::string>(std::string(member.get_string().value_unsafe()));
}

std::expected<void, DecodingError> JSONDecoder::withDocumentImpl(std::string_view json,
                                                                 void (*call)(void*, const Decoder&), void* context) {
  if (json.starts_with(kByteOrderMark)) json.remove_prefix(kByteOrderMark.size());

  // One parser per thread, reused: its buffers grow once and stay. A decode that
  // starts while another is running on the same thread gets a parser of its own.
  thread_local simdjson::dom::parser sharedParser;
  thread_local bool sharedParserBusy = false;
  std::optional<simdjson::dom::parser> ownParser;
  simdjson::dom::parser* parser = &sharedParser;
  if (sharedParserBusy) parser = &ownParser.emplace();
  const bool usingShared = parser == &sharedParser;
  if (usingShared) sharedParserBusy = true;
  struct Release {
    bool active;
    ~Release() {
      if (active) sharedParserBusy = false;
    }
  } release{usingShared};

  if (parser->max_depth() != kMaxDepth || parser->capacity() < json.size()) {
    if (parser->allocate(std::max(json.size(), parser->capacity()), kMaxDepth) != simdjson::SUCCESS) {
      return std::unexpected(DecodingError{DecodingError::Kind::dataCorrupted, {},
                                           "the given data was not valid JSON: out of memory"});
    }
  }
  element root;
  auto error = parser->parse(json.data(), json.size(), true).get(root);
  if (error != simdjson::SUCCESS) {
    std::string reason = error == simdjson::DEPTH_ERROR ? "nesting deeper than 512 levels"
                                                        : std::string(simdjson::error_message(error));
    return std::unexpected(DecodingError{DecodingError::Kind::dataCorrupted, {},
                                         "the given data was not valid JSON: " + reason});
  }
  call(context, JSONDecoderAccess::makeDecoder(json, root));
  // A parser keeps its buffers at the size of the largest document it has seen;
  // after an unusually large one, give the memory back.
  constexpr std::size_t kKeptCapacity = 256 * 1024;
  if (usingShared && parser->capacity() > kKeptCapacity) sharedParser = simdjson::dom::parser{};
  return {};
}

}  // namespace foundation
