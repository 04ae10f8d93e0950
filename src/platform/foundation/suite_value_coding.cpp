#include "platform/foundation/suite_value_coding.h"

#include <bit>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <utility>

#include "platform/foundation/canonical_text.h"
#include "platform/foundation/data.h"
#include "platform/foundation/sqlite_statement.h"

namespace foundation::suite {
namespace {

using Json = nlohmann::json;

constexpr int kMaxNesting = 256;

std::optional<PropertyKind> kindNamed(std::string_view name) {
  for (int i = 0; i <= static_cast<int>(PropertyKind::dictionary); ++i) {
    const auto kind = static_cast<PropertyKind>(i);
    if (kindName(kind) == name) return kind;
  }
  return std::nullopt;
}

std::int64_t microsecondsOf(const Date& date) { return date.timePoint().time_since_epoch().count(); }

Date dateFromMicroseconds(std::int64_t micros) { return Date(Date::TimePoint(std::chrono::microseconds(micros))); }

// The JSON form of a nested value; on failure `problem` says what and where.
std::optional<Json> toJson(const PropertyValue& value, std::string& path, int depth, std::string& problem) {
  if (depth > kMaxNesting) {
    problem = "values nest deeper than " + std::to_string(kMaxNesting) + " levels at " + path;
    return std::nullopt;
  }
  const std::string tag(kindName(value.kind()));
  if (const auto* data = value.getIf<Data>()) return Json{{tag, base64Encoded(stringView(*data))}};
  if (const auto* text = value.getIf<std::string>()) {
    if (!isValidUTF8(*text)) {
      problem = "the string at " + path + " is not valid UTF-8";
      return std::nullopt;
    }
    return Json{{tag, *text}};
  }
  if (const auto* integer = value.getIf<std::int64_t>()) return Json{{tag, *integer}};
  if (const auto* real = value.getIf<double>()) {
    if (std::isnan(*real)) return Json{{tag, "nan"}};
    if (std::isinf(*real)) return Json{{tag, *real > 0 ? "inf" : "-inf"}};
    return Json{{tag, *real}};
  }
  if (const auto* flag = value.getIf<bool>()) return Json{{tag, *flag}};
  if (const auto* date = value.getIf<Date>()) return Json{{tag, microsecondsOf(*date)}};
  if (const auto* array = value.getIf<PropertyValue::Array>()) {
    Json items = Json::array();
    const std::size_t pathLength = path.size();
    for (std::size_t i = 0; i < array->size(); ++i) {
      path += '[';
      path += std::to_string(i);
      path += ']';
      auto item = toJson((*array)[i], path, depth + 1, problem);
      if (!item) return std::nullopt;
      path.resize(pathLength);
      items.push_back(std::move(*item));
    }
    return Json{{tag, std::move(items)}};
  }
  const auto& dictionary = std::get<PropertyValue::Dictionary>(value.storage);
  Json members = Json::object();
  const std::size_t pathLength = path.size();
  for (const auto& [key, member] : dictionary) {
    if (!isValidUTF8(key)) {
      problem = "a dictionary key at " + path + " is not valid UTF-8";
      return std::nullopt;
    }
    path += "[\"" + key + "\"]";
    auto item = toJson(member, path, depth + 1, problem);
    if (!item) return std::nullopt;
    path.resize(pathLength);
    members[key] = std::move(*item);
  }
  return Json{{tag, std::move(members)}};
}

std::optional<PropertyValue> fromJson(const Json& json, int depth) {
  if (depth > kMaxNesting || !json.is_object() || json.size() != 1) return std::nullopt;
  const auto member = json.begin();
  const Json& body = member.value();
  const auto kind = kindNamed(member.key());
  if (!kind) return std::nullopt;
  switch (*kind) {
    case PropertyKind::data: {
      if (!body.is_string()) return std::nullopt;
      auto data = dataFromBase64(body.get_ref<const std::string&>());
      if (!data) return std::nullopt;
      return PropertyValue{std::move(*data)};
    }
    case PropertyKind::string:
      if (!body.is_string()) return std::nullopt;
      return PropertyValue{body.get<std::string>()};
    case PropertyKind::integer:
    case PropertyKind::date: {
      std::int64_t number = 0;
      if (body.is_number_integer() && !body.is_number_unsigned()) {
        number = body.get<std::int64_t>();
      } else if (body.is_number_unsigned() &&
                 body.get<std::uint64_t>() <= std::uint64_t{std::numeric_limits<std::int64_t>::max()}) {
        number = static_cast<std::int64_t>(body.get<std::uint64_t>());
      } else {
        return std::nullopt;
      }
      if (*kind == PropertyKind::date) return PropertyValue{dateFromMicroseconds(number)};
      return PropertyValue{number};
    }
    case PropertyKind::real:
      if (body.is_number()) return PropertyValue{body.get<double>()};
      if (body == "nan") return PropertyValue{std::numeric_limits<double>::quiet_NaN()};
      if (body == "inf") return PropertyValue{std::numeric_limits<double>::infinity()};
      if (body == "-inf") return PropertyValue{-std::numeric_limits<double>::infinity()};
      return std::nullopt;
    case PropertyKind::boolean:
      if (!body.is_boolean()) return std::nullopt;
      return PropertyValue{body.get<bool>()};
    case PropertyKind::array: {
      if (!body.is_array()) return std::nullopt;
      PropertyValue::Array items;
      items.reserve(body.size());
      for (const auto& item : body) {
        auto value = fromJson(item, depth + 1);
        if (!value) return std::nullopt;
        items.push_back(std::move(*value));
      }
      return PropertyValue{std::move(items)};
    }
    case PropertyKind::dictionary: {
      if (!body.is_object()) return std::nullopt;
      PropertyValue::Dictionary members;
      for (const auto& [key, item] : body.items()) {
        auto value = fromJson(item, depth + 1);
        if (!value) return std::nullopt;
        members.emplace(key, std::move(*value));
      }
      return PropertyValue{std::move(members)};
    }
  }
  return std::nullopt;
}

}  // namespace

std::expected<Encoded, std::string> encode(const PropertyValue& value) {
  Encoded out;
  switch (value.kind()) {
    case PropertyKind::data:
      out.column = Encoded::Column::blob;
      out.bytes = stringView(std::get<Data>(value.storage));
      return out;
    case PropertyKind::string:
      out.column = Encoded::Column::text;
      out.bytes = std::get<std::string>(value.storage);
      if (!isValidUTF8(out.bytes)) return std::unexpected(std::string("the string is not valid UTF-8"));
      return out;
    case PropertyKind::integer: out.integer = std::get<std::int64_t>(value.storage); return out;
    case PropertyKind::real:
      out.column = Encoded::Column::real;
      out.real = std::get<double>(value.storage);
      return out;
    case PropertyKind::boolean: out.integer = std::get<bool>(value.storage) ? 1 : 0; return out;
    case PropertyKind::date: out.integer = microsecondsOf(std::get<Date>(value.storage)); return out;
    case PropertyKind::array:
    case PropertyKind::dictionary: {
      std::string path = "the top";
      std::string problem;
      auto json = toJson(value, path, 0, problem);
      if (!json) return std::unexpected(problem);
      try {
        out.json = json->dump();
      } catch (const Json::exception& error) {
        return std::unexpected(std::string("the value cannot be written as JSON: ") + error.what());
      }
      out.column = Encoded::Column::text;
      out.bytes = out.json;
      return out;
    }
  }
  return std::unexpected(std::string("the value has an unknown kind"));
}

int bindEncoded(sqlite3_stmt* statement, int index, const Encoded& value) {
  switch (value.column) {
    case Encoded::Column::integer: return sqlite3_bind_int64(statement, index, value.integer);
    case Encoded::Column::real: return sqlite3_bind_double(statement, index, value.real);
    case Encoded::Column::text: return bindText(statement, index, value.bytes);
    case Encoded::Column::blob:
      return sqlite3_bind_blob64(statement, index, nonNull(value.bytes), value.bytes.size(), nullptr);
  }
  return SQLITE_MISUSE;
}

bool sameStoredForm(const PropertyValue& a, const PropertyValue& b) {
  if (a.kind() != b.kind()) return false;
  const auto left = encode(a);
  const auto right = encode(b);
  if (!left || !right) return false;
  if (left->column != right->column) return false;
  switch (left->column) {
    case Encoded::Column::integer: return left->integer == right->integer;
    case Encoded::Column::real:
      return (std::isnan(left->real) && std::isnan(right->real)) ||
             std::bit_cast<std::uint64_t>(left->real) == std::bit_cast<std::uint64_t>(right->real);
    case Encoded::Column::text:
    case Encoded::Column::blob: return left->bytes == right->bytes;
  }
  return false;
}

std::optional<PropertyValue> decodeRow(sqlite3_stmt* statement, int kindColumn, int valueColumn) {
  const auto* kindText = sqlite3_column_text(statement, kindColumn);
  if (kindText == nullptr) return std::nullopt;
  const auto kind = kindNamed(reinterpret_cast<const char*>(kindText));
  if (!kind) return std::nullopt;

  const int type = sqlite3_column_type(statement, valueColumn);
  const auto bytes = [&] {
    // column_blob before column_bytes, as SQLite asks; an empty value may give null.
    const void* pointer = sqlite3_column_blob(statement, valueColumn);
    const int length = sqlite3_column_bytes(statement, valueColumn);
    return pointer == nullptr ? std::string_view()
                              : std::string_view(static_cast<const char*>(pointer), static_cast<std::size_t>(length));
  };
  switch (*kind) {
    case PropertyKind::data:
      if (type != SQLITE_BLOB) return std::nullopt;
      return PropertyValue{dataFromString(bytes())};
    case PropertyKind::string:
      if (type != SQLITE_TEXT) return std::nullopt;
      return PropertyValue{std::string(bytes())};
    case PropertyKind::integer:
      if (type != SQLITE_INTEGER) return std::nullopt;
      return PropertyValue{std::int64_t{sqlite3_column_int64(statement, valueColumn)}};
    case PropertyKind::real:
      if (type == SQLITE_NULL) return PropertyValue{std::numeric_limits<double>::quiet_NaN()};
      if (type != SQLITE_FLOAT) return std::nullopt;
      return PropertyValue{sqlite3_column_double(statement, valueColumn)};
    case PropertyKind::boolean: {
      if (type != SQLITE_INTEGER) return std::nullopt;
      const auto flag = sqlite3_column_int64(statement, valueColumn);
      if (flag != 0 && flag != 1) return std::nullopt;
      return PropertyValue{flag == 1};
    }
    case PropertyKind::date:
      if (type != SQLITE_INTEGER) return std::nullopt;
      return PropertyValue{dateFromMicroseconds(sqlite3_column_int64(statement, valueColumn))};
    case PropertyKind::array:
    case PropertyKind::dictionary: {
      if (type != SQLITE_TEXT) return std::nullopt;
      const Json json = Json::parse(bytes(), nullptr, /*allow_exceptions=*/false);
      if (json.is_discarded()) return std::nullopt;
      auto value = fromJson(json, 0);
      if (!value || value->kind() != *kind) return std::nullopt;
      return value;
    }
  }
  return std::nullopt;
}

}  // namespace foundation::suite
