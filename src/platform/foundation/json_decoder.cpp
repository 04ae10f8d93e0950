#include "platform/foundation/json_decoder.h"

#include <simdjson.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "platform/foundation/in_double_quotes.h"

namespace foundation {

namespace {

constexpr std::size_t kMaxDepth = 512;
// A parser keeps its buffers at the size of the largest document it has seen; after
// one larger than this, the thread's parser gives the memory back.
constexpr std::size_t kKeptCapacity = 256 * 1024;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

static_assert(sizeof(element) <= 16 && alignof(element) <= 8, "JSONValueRef storage too small");
static_assert(std::is_trivially_copyable_v<element>);

// One line: `kind`, the coding path when there is one, and the reason, e.g.
//   keyNotFound at "id": no value for key "id"
std::string describedError(std::string_view kind, const std::vector<std::string>& codingPath, std::string_view reason) {
  std::string out(kind);
  if (!codingPath.empty()) {
    out += " at ";
    for (std::size_t i = 0; i < codingPath.size(); ++i) {
      if (i > 0) out += '.';
      out += inDoubleQuotes(codingPath[i]);
    }
  }
  out += ": ";
  out += reason;
  return out;
}

DecodingError typeMismatch(std::vector<std::string> path, std::string_view expected, std::string_view found) {
  return {DecodingError::Kind::typeMismatch, std::move(path),
          "expected to decode " + std::string(expected) + " but found " + std::string(found) + " instead"};
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

// The raw text of the value of the member at `position` in the document's top object
// (keyed containers exist only over the top value). Used only when the parser read an
// integral number with a fraction or an exponent: the DOM keeps no number text. The
// member is found by its place, not its name, so a name written with escapes or given
// twice leads to the member the DOM read. A second parse, but only on this rare path.
std::optional<std::string> memberNumberText(std::string_view source, std::uint32_t position) {
  thread_local simdjson::ondemand::parser parser;
  const simdjson::padded_string padded(source);
  const auto find = [&]() -> std::optional<std::string> {
    simdjson::ondemand::document document;
    simdjson::ondemand::object obj;
    if (parser.iterate(padded).get(document) != simdjson::SUCCESS ||
        document.get_object().get(obj) != simdjson::SUCCESS) {
      return std::nullopt;
    }
    std::uint32_t index = 0;
    for (auto result : obj) {
      simdjson::ondemand::field field;
      if (std::move(result).get(field) != simdjson::SUCCESS) return std::nullopt;
      if (index++ == position) return std::string(field.value().raw_json_token());
    }
    return std::nullopt;
  };
  auto text = find();
  if (parser.capacity() > kKeptCapacity) parser = simdjson::ondemand::parser{};
  return text;
}

}  // namespace

struct JSONDecoderAccess {
  using Kind = JSONMemberRef::Kind;

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

  // Records `value`, the member at `position` in its object, in `member`.
  [[gnu::always_inline]] static void setFound(JSONMemberRef& member, const element& value, std::uint32_t position) {
    // The kinds records read most are tested first. Every kind sets `extra_`, so that
    // the member's first word is made in a register whole: set on some paths only, it
    // was kept on the stack in half and read back whole, which waits for the store.
    const element_type type = value.type();
    member.extra_ = 0;
    if (type == element_type::INT64) {
      member.kind_ = Kind::int64;
      member.int64_ = value.get_int64().value_unsafe();
    } else if (type == element_type::STRING) {
      const std::string_view text = value.get_string().value_unsafe();
      member.kind_ = Kind::string;
      member.text_ = text.data();
      member.extra_ = static_cast<std::uint32_t>(text.size());  // a document is below 4 GiB
    } else if (type == element_type::BOOL) {
      member.kind_ = Kind::boolean;
      member.boolean_ = value.get_bool().value_unsafe();
    } else if (type == element_type::DOUBLE) {
      member.kind_ = Kind::number;
      member.number_ = value.get_double().value_unsafe();
      member.extra_ = position;
    } else if (type == element_type::UINT64) {
      member.kind_ = Kind::uint64;
      member.uint64_ = value.get_uint64().value_unsafe();
    } else if (type == element_type::NULL_VALUE) {
      member.kind_ = Kind::null;
    } else if (type == element_type::ARRAY) {
      member.kind_ = Kind::array;
    } else {
      member.kind_ = Kind::object;
    }
  }
  static void setMissing(JSONMemberRef& member) { member.kind_ = Kind::missing; }

  static const char* foundKindName(const JSONMemberRef& member) {
    switch (member.kind_) {
      case Kind::array: return "an array";
      case Kind::object: return "a dictionary";
      case Kind::int64:
      case Kind::uint64:
      case Kind::number: return "a number";
      case Kind::string: return "a string";
      case Kind::boolean: return "a bool";
      case Kind::null: return "null";
      case Kind::missing: break;
    }
    return "nothing";
  }
};

std::string DecodingError::description() const { return describedError(kindName(kind), codingPath, debugDescription); }

std::string EncodingError::description() const { return describedError("invalidValue", codingPath, debugDescription); }

const char* kindName(DecodingError::Kind kind) {
  switch (kind) {
    case DecodingError::Kind::keyNotFound: return "keyNotFound";
    case DecodingError::Kind::valueNotFound: return "valueNotFound";
    case DecodingError::Kind::typeMismatch: return "typeMismatch";
    case DecodingError::Kind::dataCorrupted: return "dataCorrupted";
  }
  return "unknown";
}

bool Decoder::isObject() const { return JSONDecoderAccess::elementOf(value_).type() == element_type::OBJECT; }

DecodingError Decoder::notAnObject() const {
  JSONMemberRef found;
  JSONDecoderAccess::setFound(found, JSONDecoderAccess::elementOf(value_), 0);
  return typeMismatch(path_, "a dictionary", JSONDecoderAccess::foundKindName(found));
}

std::vector<std::string> KeyedDecodingContainerCore::pathTo(std::string_view key) const {
  std::vector<std::string> path = path_;
  path.emplace_back(key);
  return path;
}

namespace {

template <typename Word>
Word loadWord(const char* bytes) {
  Word word;
  std::memcpy(&word, bytes, sizeof(Word));
  return word;
}

// Whether two member names are equal. Names are short, so they are compared in place a
// few overlapping words at a time, with a branch per size class rather than per byte
// and no call to memcmp; no byte outside either name is read.
[[gnu::always_inline]] inline bool sameName(std::string_view a, std::string_view b) {
  const std::size_t size = a.size();
  if (size != b.size()) return false;
  const char* x = a.data();
  const char* y = b.data();
  if (size >= 8) {
    for (std::size_t i = 8; i + 8 < size; i += 8) {  // the middle of a name longer than 16
      if (loadWord<std::uint64_t>(x + i) != loadWord<std::uint64_t>(y + i)) return false;
    }
    return (static_cast<int>(loadWord<std::uint64_t>(x) == loadWord<std::uint64_t>(y)) &
            static_cast<int>(loadWord<std::uint64_t>(x + size - 8) == loadWord<std::uint64_t>(y + size - 8))) != 0;
  }
  if (size >= 4) {
    return (static_cast<int>(loadWord<std::uint32_t>(x) == loadWord<std::uint32_t>(y)) &
            static_cast<int>(loadWord<std::uint32_t>(x + size - 4) == loadWord<std::uint32_t>(y + size - 4))) != 0;
  }
  if (size == 0) return true;
  // One to three bytes: the first, middle and last cover them all.
  return ((x[0] == y[0]) & (x[size / 2] == y[size / 2]) & (x[size - 1] == y[size - 1])) != 0;
}

// The container's value as an object; Decoder::container() made sure it is one.
object objectOf(const JSONValueRef& ref) {
  object obj;
  if (JSONDecoderAccess::elementOf(ref).get(obj) != simdjson::SUCCESS) return object{};
  return obj;
}

}  // namespace

void KeyedDecodingContainerCore::findMembers(std::span<const std::string_view> names,
                                             std::span<JSONMemberRef> members) const {
  const std::size_t count = names.size();
  const object obj = objectOf(object_);
  const auto end = obj.end();
  auto field = obj.begin();
  // Members are usually written in field order (the encoder writes them so): while they
  // are, each name is compared once, with the member in its place.
  std::size_t position = 0;
  while (position < count && field != end && sameName(names[position], field.key())) {
    // Read into a local and stored after the step to the next member, so that the step
    // reuses the value's kind instead of reading the tape again after the store.
    JSONMemberRef found;
    JSONDecoderAccess::setFound(found, field.value(), static_cast<std::uint32_t>(position));
    ++field;
    members[position++] = found;
  }
  // Any other order: one bit per name still to find (at most 64 names, checked by
  // KeyedDecodingContainer), and the name after the last match is tried first.
  std::uint64_t unfound = 0;
  if (position < count) {
    unfound = count == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
    unfound &= ~((std::uint64_t{1} << position) - 1);
  }
  std::size_t next = position;
  for (; unfound != 0 && field != end; ++field, ++position) {
    const std::string_view name = field.key();
    std::size_t match = next;
    if (match >= count || !sameName(names[match], name)) {
      match = 0;
      while (match < count && !sameName(names[match], name)) ++match;
      if (match == count) continue;  // a member the record does not read
    }
    next = match + 1;
    const std::uint64_t bit = std::uint64_t{1} << match;
    if ((unfound & bit) == 0) continue;  // a name given again: its first occurrence counts
    unfound &= ~bit;
    JSONDecoderAccess::setFound(members[match], field.value(), static_cast<std::uint32_t>(position));
  }
  for (; unfound != 0; unfound &= unfound - 1) {
    JSONDecoderAccess::setMissing(members[static_cast<std::size_t>(std::countr_zero(unfound))]);
  }
}

std::optional<DecodingError> KeyedDecodingContainerCore::absence(std::string_view key, const JSONMemberRef& member,
                                                                 std::string_view expected) const {
  if (member.kind_ == JSONMemberRef::Kind::missing) {
    return DecodingError{DecodingError::Kind::keyNotFound, pathTo(key),
                         "no value associated with key " + inDoubleQuotes(key)};
  }
  if (member.kind_ == JSONMemberRef::Kind::null) {
    return DecodingError{DecodingError::Kind::valueNotFound, pathTo(key),
                         "expected " + std::string(expected) + " value but found null instead"};
  }
  return std::nullopt;
}

std::expected<std::int64_t, DecodingError> KeyedDecodingContainerCore::decodeInt64(std::string_view key,
                                                                                   const JSONMemberRef& member) const {
  if (auto error = absence(key, member, "Int64")) return std::unexpected(std::move(*error));
  switch (member.kind_) {
    case JSONMemberRef::Kind::int64: return member.int64_;
    case JSONMemberRef::Kind::uint64:
      return std::unexpected(DecodingError{DecodingError::Kind::dataCorrupted, pathTo(key),
                                           "number " + std::to_string(member.uint64_) + " does not fit in Int64"});
    case JSONMemberRef::Kind::number: {
      // A fraction or an exponent: accept it only when its exact value is an integer
      // (1.0, 1e2). A non-integral double can never be one; an integral one may still
      // come from text that was rounded (9007199254740993.0, 1.0000000000000000001),
      // so the text itself decides.
      const double number = member.number_;
      const std::uint32_t position = member.extra_;
      std::optional<std::string> text;
      std::optional<std::int64_t> exact;
      if (std::isfinite(number) && std::trunc(number) == number) {
        text = memberNumberText(decoder_->source(), position);
        if (text) exact = exactInt64(*text);
      }
      if (!exact) {
        if (!text) text = memberNumberText(decoder_->source(), position);
        std::string shown = "number";
        if (text) shown += " " + *text;
        return std::unexpected(DecodingError{DecodingError::Kind::dataCorrupted, pathTo(key),
                                             shown + " is not exactly representable in Int64"});
      }
      return *exact;
    }
    default: return std::unexpected(typeMismatch(pathTo(key), "Int64", JSONDecoderAccess::foundKindName(member)));
  }
}

std::expected<bool, DecodingError> KeyedDecodingContainerCore::decodeBool(std::string_view key,
                                                                          const JSONMemberRef& member) const {
  if (auto error = absence(key, member, "Bool")) return std::unexpected(std::move(*error));
  if (const bool* value = member.boolean()) return *value;
  return std::unexpected(typeMismatch(pathTo(key), "Bool", JSONDecoderAccess::foundKindName(member)));
}

std::expected<std::string, DecodingError> KeyedDecodingContainerCore::decodeString(std::string_view key,
                                                                                   const JSONMemberRef& member) const {
  if (auto error = absence(key, member, "String")) return std::unexpected(std::move(*error));
  if (auto text = member.string()) return std::string(*text);
  return std::unexpected(typeMismatch(pathTo(key), "String", JSONDecoderAccess::foundKindName(member)));
}

std::expected<std::optional<std::string>, DecodingError> KeyedDecodingContainerCore::decodeStringIfPresent(
    std::string_view key, const JSONMemberRef& member) const {
  if (!member.found() || member.kind_ == JSONMemberRef::Kind::null) return std::optional<std::string>{};
  if (auto text = member.string()) return std::optional<std::string>(std::string(*text));
  return std::unexpected(typeMismatch(pathTo(key), "String", JSONDecoderAccess::foundKindName(member)));
}

std::expected<UUID, DecodingError> KeyedDecodingContainerCore::decodeUUID(std::string_view key,
                                                                          const JSONMemberRef& member) const {
  // Read as the platform reads a UUID: a string first, then its text form.
  if (auto error = absence(key, member, "String")) return std::unexpected(std::move(*error));
  const auto text = member.string();
  if (!text) return std::unexpected(typeMismatch(pathTo(key), "String", JSONDecoderAccess::foundKindName(member)));
  if (auto id = UUID::parse(*text)) return *id;
  return std::unexpected(DecodingError{DecodingError::Kind::dataCorrupted, pathTo(key),
                                       "attempted to decode UUID from invalid UUID string"});
}

struct JSONDecoder::Document::OwnParser {
  simdjson::dom::parser parser;
};

namespace {

// This thread's parser, reused by every decode on the thread (never reallocated for a
// document that fits), and whether a decode holds it.
thread_local simdjson::dom::parser sharedParser;
thread_local bool sharedParserBusy = false;

// Takes this thread's parser when no decode on the thread holds it.
bool claimSharedParser() {
  if (sharedParserBusy) return false;
  sharedParserBusy = true;
  return true;
}

// Parses and validates `json` (a leading byte-order mark skipped) on `parser`: a decoder
// over its top value, or dataCorrupted naming why the text is not valid JSON.
std::expected<Decoder, DecodingError> parseDocument(simdjson::dom::parser& parser, std::string_view json) {
  if (json.starts_with(kByteOrderMark)) json.remove_prefix(kByteOrderMark.size());
  if (parser.max_depth() != kMaxDepth || parser.capacity() < json.size()) {
    if (parser.allocate(std::max(json.size(), parser.capacity()), kMaxDepth) != simdjson::SUCCESS) {
      return std::unexpected(
          DecodingError{DecodingError::Kind::dataCorrupted, {}, "the given data was not valid JSON: out of memory"});
    }
  }
  element root;
  auto error = parser.parse(json.data(), json.size(), true).get(root);
  if (error != simdjson::SUCCESS) {
    std::string reason =
        error == simdjson::DEPTH_ERROR ? "nesting deeper than 512 levels" : std::string(simdjson::error_message(error));
    return std::unexpected(
        DecodingError{DecodingError::Kind::dataCorrupted, {}, "the given data was not valid JSON: " + reason});
  }
  return JSONDecoderAccess::makeDecoder(json, root);
}

}  // namespace

JSONDecoder::Document::Document(std::string_view json)
    : usingShared_(claimSharedParser()),
      ownParser_(usingShared_ ? nullptr : std::make_unique<OwnParser>()),
      decoder_(parseDocument(usingShared_ ? sharedParser : ownParser_->parser, json)) {}

JSONDecoder::Document::~Document() {
  if (!usingShared_) return;
  if (sharedParser.capacity() > kKeptCapacity) sharedParser = simdjson::dom::parser{};
  sharedParserBusy = false;
}

}  // namespace foundation
