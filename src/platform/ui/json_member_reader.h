// JSON member reader: the checked reads of one JSON object's members that the tree's
// reader is made of (tree_json_reader.cpp): each names what is wrong and where, as a
// JSON path ("$.children[2].alignment"), and keeps the first failure. For
// nlohmann::json and nlohmann::ordered_json alike.
#pragma once

#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/schema.h"
#include "platform/ui/tree_json_reader.h"

namespace ui {

template <typename Json>
class JSONMemberReader {
 public:
  const std::optional<TreeJSONError>& error() const { return error_; }

 protected:
  std::nullopt_t fail(const std::string& path, std::string message) {
    if (!error_) error_ = TreeJSONError{path, std::move(message)};
    return std::nullopt;
  }

  static std::string kind(const Json& json) {
    if (json.is_object()) return "an object";
    if (json.is_array()) return "an array";
    if (json.is_string()) return "a string";
    if (json.is_boolean()) return "a boolean";
    if (json.is_null()) return "null";
    if (json.is_number()) return "a number";
    return "a binary value";
  }

  // Whether `json` has no members but `names` and those `alsoKnown` accepts.
  template <typename Known>
  bool only(const Json& json, const std::string& path, std::initializer_list<std::string_view> names,
            const Known& alsoKnown) {
    for (auto it = json.begin(); it != json.end(); ++it) {
      const std::string& key = it.key();
      bool known = alsoKnown(key);
      for (std::string_view name : names) known = known || name == key;
      if (!known) return fail(path + "." + key, "unexpected member"), false;
    }
    return true;
  }
  bool only(const Json& json, const std::string& path, std::initializer_list<std::string_view> names) {
    return only(json, path, names, [](std::string_view) { return false; });
  }

  const Json* member(const Json& json, const std::string& path, std::string_view key) {
    const auto it = json.find(std::string(key));
    if (it == json.end()) {
      fail(path + "." + std::string(key), "missing");
      return nullptr;
    }
    return &*it;
  }

  std::optional<std::string> string(const Json& json, const std::string& path, std::string_view key) {
    const Json* value = member(json, path, key);
    if (value == nullptr) return std::nullopt;
    if (!value->is_string()) return fail(path + "." + std::string(key), "expected a string, found " + kind(*value));
    return value->template get<std::string>();
  }

  const Json* array(const Json& json, const std::string& path, std::string_view key) {
    const Json* value = member(json, path, key);
    if (value == nullptr) return nullptr;
    if (!value->is_array()) {
      fail(path + "." + std::string(key), "expected an array, found " + kind(*value));
      return nullptr;
    }
    return value;
  }

  template <NamedValue T>
  std::optional<T> lookUp(const std::string& text, const std::string& path) {
    if (const std::optional<T> value = byName<T>(text)) return value;
    std::string names;
    for (const auto& entry : Names<T>::table) names += (names.empty() ? "" : ", ") + std::string(entry.name);
    if constexpr (requires { Names<T>::what; }) {
      return fail(path, "unknown " + std::string(Names<T>::what) + " \"" + text + "\" (expected " + names + ")");
    }
    return fail(path, "unknown name \"" + text + "\" (expected one of " + names + ")");
  }

  template <NamedValue T>
  std::optional<T> named(const Json& json, const std::string& path, std::string_view key) {
    const auto text = string(json, path, key);
    return text ? lookUp<T>(*text, path + "." + std::string(key)) : std::nullopt;
  }

  std::optional<std::string> optionalString(const Json& json, const std::string& path, std::string_view key, bool& ok) {
    if (!json.contains(std::string(key))) return std::nullopt;
    auto value = string(json, path, key);
    ok = ok && value.has_value();
    return value;
  }

  // A number as toJSON writes it: a JSON number, or "infinity", "-infinity", "nan".
  std::optional<double> number(const Json& value, const std::string& path) {
    if (value.is_number()) return value.template get<double>();
    if (value.is_string()) {
      const auto& text = value.template get_ref<const std::string&>();
      if (text == "infinity") return std::numeric_limits<double>::infinity();
      if (text == "-infinity") return -std::numeric_limits<double>::infinity();
      if (text == "nan") return std::numeric_limits<double>::quiet_NaN();
      return fail(path, "expected a number, \"infinity\", \"-infinity\" or \"nan\", found \"" + text + "\"");
    }
    return fail(path, "expected a number, found " + kind(value));
  }

  bool opacity(const Json& json, const std::string& path, std::string_view key, double& slot) {
    const Json* value = member(json, path, key);
    if (value == nullptr) return false;
    const std::string at = path + "." + std::string(key);
    const auto read = number(*value, at);
    if (!read) return false;
    if (!(*read >= 0 && *read <= 1)) return fail(at, "an opacity must lie within 0...1"), false;
    slot = *read;
    return true;
  }

 private:
  std::optional<TreeJSONError> error_;
};

}  // namespace ui
