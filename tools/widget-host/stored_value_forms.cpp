#include "stored_value_forms.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "hex.h"
#include "quoted_text.h"

namespace host {

namespace {

using foundation::PropertyValue;

constexpr std::size_t kHexBytesPerLine = 32;

std::string realText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "infinity" : "-infinity";
  std::array<char, 32> buffer{};
  const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), end);
}

std::string count(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Replaces bytes that are not UTF-8 so the string can be held by a JSON value.
std::string validUTF8(const std::string& text) {
  const std::string dumped = Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
  return Json::parse(dumped).get<std::string>();
}

void dataLines(const foundation::Data& data, std::size_t indent, std::string& out) {
  const std::string_view bytes = foundation::stringView(data);
  const std::string pad(indent + 2, ' ');
  if (!bytes.empty() && Json::accept(bytes)) {
    std::string_view rest = bytes;
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.remove_suffix(1);
    // A JSON text that spans lines keeps to the outline's indentation.
    std::string shown;
    for (const char c : rest) {
      if (c == '\r') continue;  // would send the terminal's cursor back over the line
      shown += c;
      if (c == '\n') shown += pad + "      ";
    }
    out += pad + "text: " + shown + "\n";
  }
  if (bytes.empty()) return;
  out += pad + "hex:\n";
  for (std::size_t at = 0; at < bytes.size(); at += kHexBytesPerLine) {
    out += pad + "  " + hexDigits(bytes.substr(at, kHexBytesPerLine)) + "\n";
  }
}

}  // namespace

Json valueJSON(const PropertyValue& value) {
  Json out = {{"type", std::string(foundation::kindName(value.kind()))}};
  if (const auto* data = value.getIf<foundation::Data>()) {
    out["value"] = hexDigits(foundation::stringView(*data));
  } else if (const auto* text = value.getIf<std::string>()) {
    out["value"] = validUTF8(*text);
  } else if (const auto* integer = value.getIf<std::int64_t>()) {
    out["value"] = *integer;
  } else if (const auto* real = value.getIf<double>()) {
    out["value"] = std::isfinite(*real) ? Json(*real) : Json(realText(*real));
  } else if (const auto* flag = value.getIf<bool>()) {
    out["value"] = *flag;
  } else if (const auto* date = value.getIf<foundation::Date>()) {
    out["value"] = date->iso8601();
  } else if (const auto* array = value.getIf<PropertyValue::Array>()) {
    Json items = Json::array();
    for (const auto& item : *array) items.push_back(valueJSON(item));
    out["value"] = std::move(items);
  } else if (const auto* dictionary = value.getIf<PropertyValue::Dictionary>()) {
    Json members = Json::object();
    for (const auto& [key, member] : *dictionary) members[validUTF8(key)] = valueJSON(member);
    out["value"] = std::move(members);
  }
  return out;
}

std::string valueText(const PropertyValue& value, std::size_t indent) {
  const std::string kind(foundation::kindName(value.kind()));
  if (const auto* data = value.getIf<foundation::Data>()) {
    std::string out = kind + ", " + count(data->size(), "byte", "bytes") + "\n";
    dataLines(*data, indent, out);
    return out;
  }
  if (const auto* text = value.getIf<std::string>()) return kind + " " + inQuotes(*text) + "\n";
  if (const auto* integer = value.getIf<std::int64_t>()) return kind + " " + std::to_string(*integer) + "\n";
  if (const auto* real = value.getIf<double>()) return kind + " " + realText(*real) + "\n";
  if (const auto* flag = value.getIf<bool>()) return kind + (*flag ? " true\n" : " false\n");
  if (const auto* date = value.getIf<foundation::Date>()) return kind + " " + date->iso8601() + "\n";
  const std::string pad(indent + 2, ' ');
  if (const auto* array = value.getIf<PropertyValue::Array>()) {
    std::string out = kind + ", " + count(array->size(), "item", "items") + "\n";
    for (std::size_t i = 0; i < array->size(); ++i) {
      out += pad + "[" + std::to_string(i) + "]: " + valueText((*array)[i], indent + 2);
    }
    return out;
  }
  const auto& dictionary = std::get<PropertyValue::Dictionary>(value.storage);
  std::string out = kind + ", " + count(dictionary.size(), "key", "keys") + "\n";
  for (const auto& [key, member] : dictionary) out += pad + keyText(key) + ": " + valueText(member, indent + 2);
  return out;
}

std::string keyText(const std::string& key) {
  bool plain = !key.empty();
  for (const char c : key) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '"' || c == ':') plain = false;
  }
  return plain ? key : inQuotes(key);
}

}  // namespace host
