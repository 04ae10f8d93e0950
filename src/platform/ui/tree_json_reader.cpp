#include "platform/ui/tree_json_reader.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/ui/json_member_reader.h"

namespace ui {
namespace {

// "a, b or c": the names of the alternatives of `Variant`, from their schemas.
template <typename Variant>
std::string alternativeNames() {
  std::string out;
  constexpr std::size_t kCount = std::variant_size_v<Variant>;
  std::size_t index = 0;
  anyAlternative<Variant>([&]<typename T>(std::type_identity<T>) {
    out += index == 0 ? "" : index + 1 == kCount ? " or " : ", ";
    out += schemaOf<T>().name;
    ++index;
    return false;
  });
  return out;
}

template <typename Json>
class Reader : JSONMemberReader<Json> {
  using Base = JSONMemberReader<Json>;
  using Base::array, Base::fail, Base::kind, Base::member, Base::number, Base::only, Base::opacity,
      Base::optionalString, Base::string;

 public:
  using Base::error;

  std::optional<View> view(const Json& json, const std::string& path, int depth) {
    if (depth > kMaxTreeDepth) {
      return fail(path, "views nest deeper than " + std::to_string(kMaxTreeDepth) + " levels");
    }
    if (!json.is_object()) return fail(path, "expected a view object, found " + kind(json));
    const auto type = string(json, path, "type");
    if (!type) return std::nullopt;
    std::optional<View> read;
    const bool known = anyAlternative<View::Node>([&]<typename T>(std::type_identity<T>) {
      if (schemaOf<T>().name != *type) return false;
      read = node<T>(json, path, depth);
      return true;
    });
    if (!known) {
      return fail(path + ".type",
                  "unknown view type \"" + *type + "\" (expected " + alternativeNames<View::Node>() + ")");
    }
    if (!read) return std::nullopt;
    return modifiers(std::move(*read), json, path, depth);
  }

 private:
  // Whether `json` has no members but `names` and those of T's fields (a colour's
  // also holds "opacity").
  template <typename T>
  bool onlyMembersOf(const Json& json, const std::string& path, std::initializer_list<std::string_view> names) {
    return only(json, path, names, [](std::string_view key) {
      bool known = false;
      schemaOf<T>().forEach([&](const auto& field) {
        using Value = std::remove_cvref_t<decltype(field.of(std::declval<T&>()))>;
        known = known || key == field.json.text() || (std::is_same_v<Value, Color> && key == "opacity");
      });
      return known;
    });
  }

  std::optional<std::vector<View>> children(const Json& json, const std::string& path, int depth) {
    const Json* list = array(json, path, "children");
    if (list == nullptr) return std::nullopt;
    std::vector<View> out;
    out.reserve(list->size());
    for (std::size_t i = 0; i < list->size(); ++i) {
      auto child = view((*list)[i], path + ".children[" + std::to_string(i) + "]", depth + 1);
      if (!child) return std::nullopt;
      out.push_back(std::move(*child));
    }
    return out;
  }

  // ---- One field's value, by its type; false after a failure.

  template <typename F>
  bool read(const F& field, const Json& json, const std::string& path, int, double& slot) {
    if (field.form == Form::opacity) return opacity(json, path, field.json.text(), slot);
    const Json* value = member(json, path, field.json.text());
    const auto read = value ? number(*value, path + "." + std::string(field.json.text())) : std::nullopt;
    if (read) slot = *read;
    return read.has_value();
  }
  template <typename F>
  bool read(const F& field, const Json& json, const std::string& path, int, std::optional<double>& slot) {
    const Json* value = member(json, path, field.json.text());
    if (value == nullptr) return false;
    if (value->is_null()) return true;
    slot = number(*value, path + "." + std::string(field.json.text()));
    return slot.has_value();
  }
  template <typename F>
  bool read(const F& field, const Json& json, const std::string& path, int, bool& slot) {
    const Json* value = member(json, path, field.json.text());
    if (value == nullptr) return false;
    if (!value->is_boolean()) {
      return fail(path + "." + std::string(field.json.text()), "expected a boolean, found " + kind(*value)), false;
    }
    slot = value->template get<bool>();
    return true;
  }
  template <typename F, NamedValue T>
  bool read(const F& field, const Json& json, const std::string& path, int, T& slot) {
    const auto value = this->template named<T>(json, path, field.json.text());
    if (value) slot = *value;
    return value.has_value();
  }
  template <typename F>
  bool read(const F& field, const Json& json, const std::string& path, int, EdgeSet& slot) {
    const std::string_view key = field.json.text();
    const Json* list = array(json, path, key);
    if (list == nullptr) return false;
    for (std::size_t i = 0; i < list->size(); ++i) {
      const std::string at = path + "." + std::string(key) + "[" + std::to_string(i) + "]";
      const Json& value = (*list)[i];
      if (!value.is_string()) return fail(at, "expected an edge name, found " + kind(value)), false;
      const auto& text = value.template get_ref<const std::string&>();
      const auto edge = this->template lookUp<Edge>(text, at);
      if (!edge) return false;
      if (slot.contains(*edge)) return fail(at, "edge \"" + text + "\" listed twice"), false;
      slot = slot | EdgeSet::only(*edge);
    }
    return true;
  }
  template <typename F>
  bool read(const F& field, const Json& json, const std::string& path, int depth, Color& slot) {
    Color::Name color{};
    double alpha = 1;
    if (!read(field, json, path, depth, color) || !opacity(json, path, "opacity", alpha)) return false;
    slot = Color(color, alpha);
    return true;
  }
  template <typename F>
  bool read(const F& field, const Json& json, const std::string& path, int depth, Box<View>& slot) {
    if (field.form == Form::children) {
      auto label = children(json, path, depth);
      if (!label) return false;
      if (label->size() != 1) {
        return fail(path + ".children",
                    "a Button has exactly one child, its label; found " + std::to_string(label->size())),
               false;
      }
      slot = std::move(label->front());
      return true;
    }
    const Json* content = member(json, path, field.json.text());
    auto read = content ? view(*content, path + "." + std::string(field.json.text()), depth + 1) : std::nullopt;
    if (read) slot = std::move(*read);
    return read.has_value();
  }
  template <typename F>
  bool read(const F&, const Json& json, const std::string& path, int depth, std::vector<View>& slot) {
    auto content = children(json, path, depth);
    if (content) slot = std::move(*content);
    return content.has_value();
  }

  // A node or modifier made of its schema's fields, read in order.
  template <typename T>
  bool fields(const Json& json, const std::string& path, int depth, T& value) {
    return schemaOf<T>().all([&](const auto& field) { return read(field, json, path, depth, field.of(value)); });
  }

  template <typename T>
  std::optional<View> node(const Json& json, const std::string& path, int depth) {
    if constexpr (std::is_same_v<T, Text>) {
      return text(json, path);
    } else if constexpr (std::is_same_v<T, Image>) {
      return image(json, path);
    } else {
      if (!onlyMembersOf<T>(json, path, {"type", "modifiers"})) return std::nullopt;
      T value{};
      if (!fields(json, path, depth, value)) return std::nullopt;
      return View(std::move(value));
    }
  }

  std::optional<View> modifiers(View node, const Json& json, const std::string& path, int depth) {
    const Json* list = array(json, path, "modifiers");
    if (list == nullptr) return std::nullopt;
    for (std::size_t i = 0; i < list->size(); ++i) {
      auto applied = modifier((*list)[i], path + ".modifiers[" + std::to_string(i) + "]", depth);
      if (!applied) return std::nullopt;
      node = std::move(node).modified(std::move(*applied));
    }
    return node;
  }

  std::optional<Modifier> modifier(const Json& json, const std::string& path, int depth) {
    if (!json.is_object()) return fail(path, "expected a modifier object, found " + kind(json));
    const auto name = string(json, path, "name");
    if (!name) return std::nullopt;
    std::optional<Modifier> out;
    const bool known = anyAlternative<Modifier>([&]<typename M>(std::type_identity<M>) {
      if (schemaOf<M>().name != *name) return false;
      M value{};
      if (onlyMembersOf<M>(json, path, {"name"}) && fields(json, path, depth, value)) {
        out = std::move(value);
      }
      return true;
    });
    if (!known) {
      return fail(path + ".name", "unknown modifier \"" + *name + "\" (expected " + alternativeNames<Modifier>() + ")");
    }
    return out;
  }

  std::optional<View> text(const Json& json, const std::string& path);
  std::optional<View> image(const Json& json, const std::string& path);
};

template <typename Json>
std::optional<View> Reader<Json>::text(const Json& json, const std::string& path) {
  if (!only(json, path,
            {"type", "modifiers", "text", "key", "arguments", "tableName", "comment", "font", "fontWeight"})) {
    return std::nullopt;
  }
  const auto shown = string(json, path, "text");
  const auto key = string(json, path, "key");
  const Json* list = key && shown ? array(json, path, "arguments") : nullptr;
  if (list == nullptr) return std::nullopt;
  std::vector<FormatArgument> arguments;
  for (std::size_t i = 0; i < list->size(); ++i) {
    const Json& value = (*list)[i];
    const std::string at = path + ".arguments[" + std::to_string(i) + "]";
    if (value.is_string()) {
      arguments.emplace_back(value.template get<std::string>());
    } else if (value.is_number_integer() && (value.is_number_unsigned() ? value.template get<std::uint64_t>() <=
                                                                              static_cast<std::uint64_t>(INT64_MAX)
                                                                        : true)) {
      arguments.emplace_back(value.template get<std::int64_t>());
    } else {
      return fail(at, "expected a string or a 64-bit integer, found " + kind(value));
    }
  }
  std::optional<LocalizedStringKey> localized = LocalizedStringKey::rebuilt(*key, arguments);
  if (!localized) {
    return fail(path + ".key", "the key \"" + *key + "\" is not made of its " + std::to_string(arguments.size()) +
                                   " arguments' placeholders and literal text");
  }
  bool ok = true;
  auto tableName = optionalString(json, path, "tableName", ok);
  auto comment = optionalString(json, path, "comment", ok);
  if (!ok) return std::nullopt;
  Text out(std::move(*localized), std::move(tableName), std::move(comment));
  if (json.contains("font")) {
    const auto font = this->template named<Font>(json, path, "font");
    if (!font) return std::nullopt;
    out = out.font(*font);
  }
  if (json.contains("fontWeight")) {
    const auto weight = this->template named<Font::Weight>(json, path, "fontWeight");
    if (!weight) return std::nullopt;
    out = out.fontWeight(*weight);
  }
  return View(out.showing(*shown));
}

template <typename Json>
std::optional<View> Reader<Json>::image(const Json& json, const std::string& path) {
  const bool symbol = json.contains("systemName");
  if (!(symbol ? only(json, path, {"type", "modifiers", "systemName", "resizable"})
               : only(json, path, {"type", "modifiers", "name", "bundle", "resizable"}))) {
    return std::nullopt;
  }
  std::optional<Image> out;
  if (symbol) {
    const auto name = string(json, path, "systemName");
    if (!name) return std::nullopt;
    out = Image::systemName(*name);
  } else {
    const auto name = string(json, path, "name");
    const Json* bundle = name ? member(json, path, "bundle") : nullptr;
    if (bundle == nullptr) return std::nullopt;
    if (bundle->is_null()) {
      out = Image(*name, std::nullopt);
    } else if (bundle->is_string()) {
      out = Image(*name, Bundle(bundle->template get<std::string>()));
    } else {
      return fail(path + ".bundle", "expected a bundle folder or null, found " + kind(*bundle));
    }
  }
  const Json* resizable = member(json, path, "resizable");
  if (resizable == nullptr) return std::nullopt;
  if (resizable->is_null()) return View(*out);
  const std::string at = path + ".resizable";
  if (!resizable->is_object()) return fail(at, "expected null or an object, found " + kind(*resizable));
  for (auto it = resizable->begin(); it != resizable->end(); ++it) {
    if (it.key() != "capInsets" && it.key() != "resizingMode") return fail(at + "." + it.key(), "unexpected member");
  }
  const Json* caps = member(*resizable, at, "capInsets");
  if (caps == nullptr) return std::nullopt;
  if (!caps->is_object()) return fail(at + ".capInsets", "expected an object, found " + kind(*caps));
  EdgeInsets insets;
  const std::string capsAt = at + ".capInsets";
  for (auto it = caps->begin(); it != caps->end(); ++it) {
    bool known = false;
    for (const auto& edge : Names<Edge>::table) known = known || edge.name == it.key();
    if (!known) return fail(capsAt + "." + it.key(), "unexpected member");
  }
  for (const auto& [edgeName, slot] : {std::pair{"top", &insets.top}, std::pair{"leading", &insets.leading},
                                       std::pair{"bottom", &insets.bottom}, std::pair{"trailing", &insets.trailing}}) {
    const Json* value = member(*caps, capsAt, edgeName);
    if (value == nullptr) return std::nullopt;
    const auto length = number(*value, capsAt + "." + edgeName);
    if (!length) return std::nullopt;
    *slot = *length;
  }
  const auto mode = this->template named<ResizingMode>(*resizable, at, "resizingMode");
  if (!mode) return std::nullopt;
  return View(out->resizable(insets, *mode));
}

template <typename Json>
std::expected<View, TreeJSONError> read(const Json& tree) {
  Reader<Json> reader;
  std::optional<View> view = reader.view(tree, "$", 1);
  if (!view) {
    if (reader.error()) return std::unexpected(*reader.error());
    return std::unexpected(TreeJSONError{"$", "cannot be read"});
  }
  return std::move(*view);
}

}  // namespace

std::expected<View, TreeJSONError> fromJSON(const nlohmann::json& tree) { return read(tree); }
std::expected<View, TreeJSONError> fromJSON(const nlohmann::ordered_json& tree) { return read(tree); }

}  // namespace ui
