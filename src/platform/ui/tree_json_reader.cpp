#include "platform/ui/tree_json_reader.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

namespace ui {
namespace {

template <typename T>
struct Named {
  std::string_view name;
  T value;
};

constexpr std::array<Named<HorizontalAlignment>, 3> kHorizontal = {{
    {"leading", HorizontalAlignment::leading},
    {"center", HorizontalAlignment::center},
    {"trailing", HorizontalAlignment::trailing},
}};
constexpr std::array<Named<VerticalAlignment>, 3> kVertical = {{
    {"top", VerticalAlignment::top},
    {"center", VerticalAlignment::center},
    {"bottom", VerticalAlignment::bottom},
}};
constexpr std::array<Named<Alignment>, 9> kAlignments = {{
    {"topLeading", Alignment::topLeading},
    {"top", Alignment::top},
    {"topTrailing", Alignment::topTrailing},
    {"leading", Alignment::leading},
    {"center", Alignment::center},
    {"trailing", Alignment::trailing},
    {"bottomLeading", Alignment::bottomLeading},
    {"bottom", Alignment::bottom},
    {"bottomTrailing", Alignment::bottomTrailing},
}};
constexpr std::array<Named<Edge>, 4> kEdges = {{
    {"top", Edge::top},
    {"leading", Edge::leading},
    {"bottom", Edge::bottom},
    {"trailing", Edge::trailing},
}};
constexpr std::array<Named<Color::Name>, 11> kColors = {{
    {"clear", Color::Name::clear},
    {"black", Color::Name::black},
    {"white", Color::Name::white},
    {"gray", Color::Name::gray},
    {"red", Color::Name::red},
    {"orange", Color::Name::orange},
    {"yellow", Color::Name::yellow},
    {"green", Color::Name::green},
    {"blue", Color::Name::blue},
    {"cyan", Color::Name::cyan},
    {"primary", Color::Name::primary},
}};
constexpr std::array<Named<Material>, 5> kMaterials = {{
    {"ultraThin", Material::ultraThin},
    {"thin", Material::thin},
    {"regular", Material::regular},
    {"thick", Material::thick},
    {"ultraThick", Material::ultraThick},
}};
constexpr std::array<Named<Font>, 11> kFonts = {{
    {"largeTitle", Font::largeTitle},
    {"title", Font::title},
    {"title2", Font::title2},
    {"title3", Font::title3},
    {"headline", Font::headline},
    {"subheadline", Font::subheadline},
    {"body", Font::body},
    {"callout", Font::callout},
    {"footnote", Font::footnote},
    {"caption", Font::caption},
    {"caption2", Font::caption2},
}};
constexpr std::array<Named<Font::Weight>, 9> kWeights = {{
    {"ultraLight", Font::Weight::ultraLight},
    {"thin", Font::Weight::thin},
    {"light", Font::Weight::light},
    {"regular", Font::Weight::regular},
    {"medium", Font::Weight::medium},
    {"semibold", Font::Weight::semibold},
    {"bold", Font::Weight::bold},
    {"heavy", Font::Weight::heavy},
    {"black", Font::Weight::black},
}};
constexpr std::array<Named<ContentMode>, 2> kContentModes = {{
    {"fit", ContentMode::fit},
    {"fill", ContentMode::fill},
}};
constexpr std::array<Named<ResizingMode>, 2> kResizingModes = {{
    {"tile", ResizingMode::tile},
    {"stretch", ResizingMode::stretch},
}};

template <typename T, std::size_t N>
std::string namesOf(const std::array<Named<T>, N>& table) {
  std::string out;
  for (const auto& entry : table) {
    if (!out.empty()) out += ", ";
    out += entry.name;
  }
  return out;
}

// Splits a key with arguments back into the interpolation that made it: literal
// text with '%' doubled, and one placeholder per argument.
std::optional<LocalizedStringKey> keyWithArguments(std::string_view key, std::span<const FormatArgument> arguments) {
  LocalizedStringKey::StringInterpolation interpolation;
  std::string literal;
  std::size_t next = 0;
  for (std::size_t i = 0; i < key.size();) {
    if (key[i] != '%') {
      literal += key[i++];
      continue;
    }
    if (i + 1 < key.size() && key[i + 1] == '%') {
      literal += '%';
      i += 2;
      continue;
    }
    if (next >= arguments.size()) return std::nullopt;
    interpolation.appendLiteral(literal);
    literal.clear();
    if (const auto* text = std::get_if<std::string>(&arguments[next])) {
      if (key.substr(i, 2) != "%@") return std::nullopt;
      interpolation.appendInterpolation(*text);
      i += 2;
    } else {
      // %[N$][flags][width][.precision][length]conversion
      std::size_t end = i + 1;
      const auto digits = [&] {
        while (end < key.size() && key[end] >= '0' && key[end] <= '9') ++end;
      };
      const std::size_t positionStart = end;
      digits();
      if (end < key.size() && key[end] == '$' && end > positionStart) {
        ++end;
      } else {
        end = positionStart;
      }
      while (end < key.size() && std::string_view("-+ #0'").find(key[end]) != std::string_view::npos) ++end;
      digits();
      if (end < key.size() && key[end] == '.') {
        ++end;
        digits();
      }
      for (std::string_view length : {"hh", "ll", "h", "l", "q", "j", "z", "t"}) {
        if (key.substr(end, length.size()) == length) {
          end += length.size();
          break;
        }
      }
      if (end >= key.size() || std::string_view("diouxXc").find(key[end]) == std::string_view::npos)
        return std::nullopt;
      ++end;
      interpolation.appendInterpolation(std::get<std::int64_t>(arguments[next]), key.substr(i, end - i));
      i = end;
    }
    ++next;
  }
  if (next != arguments.size()) return std::nullopt;
  interpolation.appendLiteral(literal);
  LocalizedStringKey rebuilt(std::move(interpolation));
  if (rebuilt.key() != key) return std::nullopt;
  return rebuilt;
}

template <typename Json>
class Reader {
 public:
  std::optional<View> view(const Json& json, const std::string& path, int depth) {
    if (depth > kMaxTreeDepth) {
      return fail(path, "views nest deeper than " + std::to_string(kMaxTreeDepth) + " levels");
    }
    if (!json.is_object()) return fail(path, "expected a view object, found " + kind(json));
    const auto type = string(json, path, "type");
    if (!type) return std::nullopt;

    std::optional<View> node;
    if (*type == "VStack") {
      node = stack<nodes::VStack>(json, path, depth, kHorizontal);
    } else if (*type == "HStack") {
      node = stack<nodes::HStack>(json, path, depth, kVertical);
    } else if (*type == "ZStack") {
      node = zStack(json, path, depth);
    } else if (*type == "Spacer") {
      node = spacer(json, path);
    } else if (*type == "Text") {
      node = text(json, path);
    } else if (*type == "Image") {
      node = image(json, path);
    } else if (*type == "Button") {
      node = button(json, path, depth);
    } else if (*type == "Conditional") {
      node = conditional(json, path, depth);
    } else if (*type == "Empty") {
      if (only(json, path, {})) node = View(nodes::Empty{});
    } else if (*type == "Color") {
      node = color(json, path);
    } else if (*type == "Material") {
      if (only(json, path, {"material"})) {
        if (auto material = named(json, path, "material", kMaterials)) node = View(*material);
      }
    } else {
      return fail(path + ".type", "unknown view type \"" + *type +
                                      "\" (expected VStack, HStack, ZStack, Spacer, Text, Image, Button, "
                                      "Conditional, Empty, Color or Material)");
    }
    if (!node) return std::nullopt;
    return modifiers(std::move(*node), json, path, depth);
  }

  const std::optional<TreeJSONError>& error() const { return error_; }

 private:
  using Members = std::initializer_list<std::string_view>;

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

  // Whether `json` has no members but "type", "modifiers", "children" (when
  // `children`) and `allowed`.
  bool only(const Json& json, const std::string& path, Members allowed, bool children = false) {
    for (auto it = json.begin(); it != json.end(); ++it) {
      const std::string& key = it.key();
      if (key == "type" || key == "modifiers" || (children && key == "children")) continue;
      bool known = false;
      for (std::string_view name : allowed) known = known || name == key;
      if (!known) {
        fail(path + "." + key, "unexpected member");
        return false;
      }
    }
    return true;
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

  std::optional<std::string> optionalString(const Json& json, const std::string& path, std::string_view key, bool& ok) {
    if (!json.contains(std::string(key))) return std::nullopt;
    auto value = string(json, path, key);
    ok = ok && value.has_value();
    return value;
  }

  template <typename T, std::size_t N>
  std::optional<T> named(const Json& json, const std::string& path, std::string_view key,
                         const std::array<Named<T>, N>& table) {
    const auto text = string(json, path, key);
    if (!text) return std::nullopt;
    return lookUp(*text, path + "." + std::string(key), table);
  }

  template <typename T, std::size_t N>
  std::optional<T> lookUp(const std::string& text, const std::string& path, const std::array<Named<T>, N>& table) {
    for (const auto& entry : table) {
      if (entry.name == text) return entry.value;
    }
    return fail(path, "unknown name \"" + text + "\" (expected one of " + namesOf(table) + ")");
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

  // A number or null, in `slot`; false on failure.
  bool optionalNumber(const Json& json, const std::string& path, std::string_view key, std::optional<double>& slot) {
    const Json* value = member(json, path, key);
    if (value == nullptr) return false;
    if (value->is_null()) {
      slot = std::nullopt;
      return true;
    }
    const auto read = number(*value, path + "." + std::string(key));
    slot = read;
    return read.has_value();
  }

  std::optional<double> opacity(const Json& json, const std::string& path, std::string_view key) {
    const Json* value = member(json, path, key);
    if (value == nullptr) return std::nullopt;
    const std::string at = path + "." + std::string(key);
    const auto read = number(*value, at);
    if (!read) return std::nullopt;
    if (!(*read >= 0 && *read <= 1)) return fail(at, "an opacity must lie within 0...1");
    return read;
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

  template <typename Node, typename Table>
  std::optional<View> stack(const Json& json, const std::string& path, int depth, const Table& alignments) {
    if (!only(json, path, {"alignment", "spacing"}, true)) return std::nullopt;
    const auto alignment = named(json, path, "alignment", alignments);
    if (!alignment) return std::nullopt;
    std::optional<double> spacing;
    if (!optionalNumber(json, path, "spacing", spacing)) return std::nullopt;
    auto content = children(json, path, depth);
    if (!content) return std::nullopt;
    return View(Node{*alignment, spacing, std::move(*content)});
  }

  std::optional<View> zStack(const Json& json, const std::string& path, int depth) {
    if (!only(json, path, {"alignment"}, true)) return std::nullopt;
    const auto alignment = named(json, path, "alignment", kAlignments);
    if (!alignment) return std::nullopt;
    auto content = children(json, path, depth);
    if (!content) return std::nullopt;
    return View(nodes::ZStack{*alignment, std::move(*content)});
  }

  std::optional<View> spacer(const Json& json, const std::string& path) {
    if (!only(json, path, {"minLength"})) return std::nullopt;
    std::optional<double> minLength;
    if (!optionalNumber(json, path, "minLength", minLength)) return std::nullopt;
    return View(nodes::Spacer{minLength});
  }

  std::optional<View> text(const Json& json, const std::string& path) {
    if (!only(json, path, {"text", "key", "arguments", "tableName", "comment", "font", "fontWeight"})) {
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
    std::optional<LocalizedStringKey> localized;
    if (arguments.empty()) {
      localized = LocalizedStringKey(*key);
    } else {
      localized = keyWithArguments(*key, arguments);
      if (!localized) {
        return fail(path + ".key", "the key \"" + *key + "\" is not made of its " + std::to_string(arguments.size()) +
                                       " arguments' placeholders and literal text");
      }
    }
    bool ok = true;
    auto tableName = optionalString(json, path, "tableName", ok);
    auto comment = optionalString(json, path, "comment", ok);
    if (!ok) return std::nullopt;
    Text out(std::move(*localized), std::move(tableName), std::move(comment));
    if (json.contains("font")) {
      const auto font = named(json, path, "font", kFonts);
      if (!font) return std::nullopt;
      out = out.font(*font);
    }
    if (json.contains("fontWeight")) {
      const auto weight = named(json, path, "fontWeight", kWeights);
      if (!weight) return std::nullopt;
      out = out.fontWeight(*weight);
    }
    return View(out.showing(*shown));
  }

  std::optional<View> image(const Json& json, const std::string& path) {
    const bool symbol = json.contains("systemName");
    if (!only(json, path, symbol ? Members{"systemName", "resizable"} : Members{"name", "bundle", "resizable"})) {
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
      for (const auto& edge : kEdges) known = known || edge.name == it.key();
      if (!known) return fail(capsAt + "." + it.key(), "unexpected member");
    }
    for (const auto& [edgeName, slot] :
         {std::pair{"top", &insets.top}, std::pair{"leading", &insets.leading}, std::pair{"bottom", &insets.bottom},
          std::pair{"trailing", &insets.trailing}}) {
      const Json* value = member(*caps, capsAt, edgeName);
      if (value == nullptr) return std::nullopt;
      const auto length = number(*value, capsAt + "." + edgeName);
      if (!length) return std::nullopt;
      *slot = *length;
    }
    const auto mode = named(*resizable, at, "resizingMode", kResizingModes);
    if (!mode) return std::nullopt;
    return View(out->resizable(insets, *mode));
  }

  std::optional<View> button(const Json& json, const std::string& path, int depth) {
    if (!only(json, path, {}, true)) return std::nullopt;
    auto label = children(json, path, depth);
    if (!label) return std::nullopt;
    if (label->size() != 1) {
      return fail(path + ".children",
                  "a Button has exactly one child, its label; found " + std::to_string(label->size()));
    }
    return View(nodes::Button{[] {}, std::move(label->front())});
  }

  std::optional<View> conditional(const Json& json, const std::string& path, int depth) {
    if (!only(json, path, {"branch"}, true)) return std::nullopt;
    const Json* branch = member(json, path, "branch");
    if (branch == nullptr) return std::nullopt;
    if (!branch->is_boolean()) return fail(path + ".branch", "expected a boolean, found " + kind(*branch));
    auto content = children(json, path, depth);
    if (!content) return std::nullopt;
    return View(nodes::Conditional{branch->template get<bool>(), std::move(*content)});
  }

  std::optional<View> color(const Json& json, const std::string& path) {
    if (!only(json, path, {"color", "opacity"})) return std::nullopt;
    const auto name = named(json, path, "color", kColors);
    const auto alpha = name ? opacity(json, path, "opacity") : std::nullopt;
    if (!alpha) return std::nullopt;
    return View(Color(*name, *alpha));
  }

  std::optional<EdgeSet> edges(const Json& json, const std::string& path, std::string_view key) {
    const Json* list = array(json, path, key);
    if (list == nullptr) return std::nullopt;
    EdgeSet out;
    for (std::size_t i = 0; i < list->size(); ++i) {
      const std::string at = path + "." + std::string(key) + "[" + std::to_string(i) + "]";
      const Json& value = (*list)[i];
      if (!value.is_string()) return fail(at, "expected an edge name, found " + kind(value));
      const auto edge = lookUp(value.template get<std::string>(), at, kEdges);
      if (!edge) return std::nullopt;
      const EdgeSet single = *edge == Edge::top       ? EdgeSet::top
                             : *edge == Edge::leading ? EdgeSet::leading
                             : *edge == Edge::bottom  ? EdgeSet::bottom
                                                      : EdgeSet::trailing;
      if (out.contains(*edge)) return fail(at, "edge \"" + value.template get<std::string>() + "\" listed twice");
      out = out | single;
    }
    return out;
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

  bool fields(const Json& json, const std::string& path, Members allowed) {
    for (auto it = json.begin(); it != json.end(); ++it) {
      bool known = it.key() == "name";
      for (std::string_view name : allowed) known = known || name == it.key();
      if (!known) {
        fail(path + "." + it.key(), "unexpected member");
        return false;
      }
    }
    return true;
  }

  std::optional<Modifier> modifier(const Json& json, const std::string& path, int depth) {
    if (!json.is_object()) return fail(path, "expected a modifier object, found " + kind(json));
    const auto name = string(json, path, "name");
    if (!name) return std::nullopt;
    if (*name == "font") {
      if (!fields(json, path, {"font"})) return std::nullopt;
      const auto font = named(json, path, "font", kFonts);
      if (!font) return std::nullopt;
      return FontModifier{*font};
    }
    if (*name == "foregroundColor") {
      if (!fields(json, path, {"color", "opacity"})) return std::nullopt;
      const auto color = named(json, path, "color", kColors);
      const auto alpha = color ? opacity(json, path, "opacity") : std::nullopt;
      if (!alpha) return std::nullopt;
      return ForegroundColorModifier{Color(*color, *alpha)};
    }
    if (*name == "opacity") {
      if (!fields(json, path, {"opacity"})) return std::nullopt;
      const auto alpha = opacity(json, path, "opacity");
      if (!alpha) return std::nullopt;
      return OpacityModifier{*alpha};
    }
    if (*name == "padding") {
      if (!fields(json, path, {"edges", "length"})) return std::nullopt;
      const auto set = edges(json, path, "edges");
      if (!set) return std::nullopt;
      std::optional<double> length;
      if (!optionalNumber(json, path, "length", length)) return std::nullopt;
      return PaddingModifier{*set, length};
    }
    if (*name == "frame") {
      if (!fields(json, path,
                  {"minWidth", "idealWidth", "maxWidth", "minHeight", "idealHeight", "maxHeight", "alignment"})) {
        return std::nullopt;
      }
      FrameOptions options;
      for (const auto& [key, slot] :
           {std::pair{"minWidth", &options.minWidth}, std::pair{"idealWidth", &options.idealWidth},
            std::pair{"maxWidth", &options.maxWidth}, std::pair{"minHeight", &options.minHeight},
            std::pair{"idealHeight", &options.idealHeight}, std::pair{"maxHeight", &options.maxHeight}}) {
        if (!optionalNumber(json, path, key, *slot)) return std::nullopt;
      }
      const auto alignment = named(json, path, "alignment", kAlignments);
      if (!alignment) return std::nullopt;
      options.alignment = *alignment;
      return FrameModifier{options};
    }
    if (*name == "background" || *name == "overlay") {
      const bool background = *name == "background";
      if (!fields(json, path, {background ? "alignment" : "ignoresSafeAreaEdges", "content"})) return std::nullopt;
      std::optional<Alignment> alignment;
      std::optional<EdgeSet> ignored;
      if (background) {
        alignment = named(json, path, "alignment", kAlignments);
        if (!alignment) return std::nullopt;
      } else {
        ignored = edges(json, path, "ignoresSafeAreaEdges");
        if (!ignored) return std::nullopt;
      }
      const Json* content = member(json, path, "content");
      if (content == nullptr) return std::nullopt;
      auto read = view(*content, path + ".content", depth + 1);
      if (!read) return std::nullopt;
      if (background) return BackgroundModifier{std::move(*read), *alignment};
      return OverlayModifier{std::move(*read), *ignored};
    }
    if (*name == "aspectRatio") {
      if (!fields(json, path, {"ratio", "contentMode"})) return std::nullopt;
      std::optional<double> ratio;
      if (!optionalNumber(json, path, "ratio", ratio)) return std::nullopt;
      const auto mode = named(json, path, "contentMode", kContentModes);
      if (!mode) return std::nullopt;
      return AspectRatioModifier{ratio, *mode};
    }
    if (*name == "buttonStyle") {
      if (!fields(json, path, {"style"})) return std::nullopt;
      const auto style = string(json, path, "style");
      if (!style) return std::nullopt;
      if (*style != "plain") return fail(path + ".style", "unknown button style \"" + *style + "\" (expected plain)");
      return ButtonStyleModifier{PlainButtonStyle{}};
    }
    return fail(path + ".name", "unknown modifier \"" + *name +
                                    "\" (expected font, foregroundColor, opacity, padding, frame, background, "
                                    "overlay, aspectRatio or buttonStyle)");
  }

  std::optional<TreeJSONError> error_;
};

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
