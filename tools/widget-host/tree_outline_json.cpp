#include "tree_outline_json.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <string_view>

#include "quoted_text.h"

namespace host {

namespace {

using Json = nlohmann::ordered_json;

// The member `key` of `object`, or null when `object` is not an object or lacks it.
const Json* member(const Json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

std::string text(const Json& object, std::string_view key, std::string_view fallback = "?") {
  const Json* value = member(object, key);
  return value != nullptr && value->is_string() ? value->get<std::string>() : std::string(fallback);
}

bool isNull(const Json& object, std::string_view key) {
  const Json* value = member(object, key);
  return value == nullptr || value->is_null();
}

// A number in its shortest form, as ui::outline writes it; the strings that stand for
// numbers JSON cannot hold ("infinity", "nan") as they are.
std::string number(const Json* value) {
  std::array<char, 32> buffer{};
  char* const first = buffer.data();
  char* const last = first + buffer.size();
  if (value == nullptr) return "?";
  if (value->is_number_unsigned())
    return std::string(first, std::to_chars(first, last, value->get<std::uint64_t>()).ptr);
  if (value->is_number_integer()) return std::string(first, std::to_chars(first, last, value->get<std::int64_t>()).ptr);
  if (value->is_number_float()) return std::string(first, std::to_chars(first, last, value->get<double>()).ptr);
  if (value->is_string()) return value->get<std::string>();
  return "?";
}

std::string number(const Json& object, std::string_view key) { return number(member(object, key)); }

bool isNumber(const Json& object, std::string_view key, double expected) {
  const Json* value = member(object, key);
  return value != nullptr && value->is_number() && value->get<double>() == expected;
}

std::string colorText(const Json& object) {
  std::string out = text(object, "color");
  if (!isNumber(object, "opacity", 1)) out += ".opacity(" + number(object, "opacity") + ")";
  return out;
}

// The name of a set of edges given as a list of edge names, as ui::name(EdgeSet) gives
// it: "all", "horizontal", "vertical", a single edge, "none", or edges joined by '+'.
std::string edgeSetName(const Json* edges) {
  static constexpr std::array<std::string_view, 4> kEdges = {"top", "leading", "bottom", "trailing"};
  unsigned bits = 0;
  if (edges != nullptr && edges->is_array()) {
    for (const Json& edge : *edges) {
      for (std::size_t i = 0; i < kEdges.size(); ++i) {
        if (edge.is_string() && edge.get_ref<const std::string&>() == kEdges[i]) bits |= 1U << i;
      }
    }
  }
  if (bits == 0xF) return "all";
  if (bits == 0xA) return "horizontal";
  if (bits == 0x5) return "vertical";
  if (bits == 0) return "none";
  std::string joined;
  for (std::size_t i = 0; i < kEdges.size(); ++i) {
    if ((bits & (1U << i)) == 0) continue;
    if (!joined.empty()) joined += '+';
    joined += kEdges[i];
  }
  return joined;
}

const Json* modifierContent(const Json& modifier) {
  const std::string name = text(modifier, "name");
  if (name != "background" && name != "overlay") return nullptr;
  return member(modifier, "content");
}

const Json* listMember(const Json& view, std::string_view key) {
  const Json* list = member(view, key);
  return list != nullptr && list->is_array() ? list : nullptr;
}

bool fitsOnOneLine(const Json& view, std::size_t depth) {
  if (depth > kMaxOutlineDepth) return true;
  if (const Json* children = listMember(view, "children"); children != nullptr && !children->empty()) return false;
  if (const Json* modifiers = listMember(view, "modifiers")) {
    for (const Json& modifier : *modifiers) {
      const Json* content = modifierContent(modifier);
      if (content != nullptr && !fitsOnOneLine(*content, depth + 1)) return false;
    }
  }
  return true;
}

std::string summary(const Json& view) {
  const std::string type = text(view, "type");
  if (type == "VStack" || type == "HStack") {
    std::string out = type + "(alignment: " + text(view, "alignment");
    if (!isNull(view, "spacing")) out += ", spacing: " + number(view, "spacing");
    return out + ")";
  }
  if (type == "ZStack") return "ZStack(alignment: " + text(view, "alignment") + ")";
  if (type == "Spacer")
    return isNull(view, "minLength") ? "Spacer" : "Spacer(minLength: " + number(view, "minLength") + ")";
  if (type == "Conditional") {
    const Json* branch = member(view, "branch");
    return std::string("Conditional(branch: ") +
           (branch != nullptr && branch->is_boolean() ? (branch->get<bool>() ? "true" : "false") : "?") + ")";
  }
  if (type == "Color") return "Color " + colorText(view);
  if (type == "Material") return "Material " + text(view, "material");
  if (type == "Text") {
    std::string out = "Text " + inQuotes(text(view, "text"));
    std::string attributes;
    const auto add = [&](const std::string& attribute) {
      attributes += attributes.empty() ? "" : ", ";
      attributes += attribute;
    };
    if (!isNull(view, "tableName")) add("tableName: " + inQuotes(text(view, "tableName")));
    if (!isNull(view, "font")) add("font: " + text(view, "font"));
    if (!isNull(view, "fontWeight")) add("fontWeight: " + text(view, "fontWeight"));
    if (!attributes.empty()) out += " [" + attributes + "]";
    return out;
  }
  if (type == "Image") {
    std::string out;
    if (!isNull(view, "systemName")) {
      out = "Image(systemName: " + inQuotes(text(view, "systemName")) + ")";
    } else {
      out = "Image(" + inQuotes(text(view, "name"));
      if (!isNull(view, "bundle")) out += ", bundle: " + inQuotes(text(view, "bundle"));
      out += ")";
    }
    if (const Json* resizable = member(view, "resizable"); resizable != nullptr && !resizable->is_null()) {
      const Json* insets = member(*resizable, "capInsets");
      const Json noInsets = Json::object();
      const Json& edges = insets != nullptr ? *insets : noInsets;
      const bool plain = isNumber(edges, "top", 0) && isNumber(edges, "leading", 0) && isNumber(edges, "bottom", 0) &&
                         isNumber(edges, "trailing", 0) && text(*resizable, "resizingMode") == "stretch";
      if (plain) {
        out += " [resizable]";
      } else {
        out += " [resizable(capInsets: (" + number(edges, "top") + ", " + number(edges, "leading") + ", " +
               number(edges, "bottom") + ", " + number(edges, "trailing") +
               "), resizingMode: " + text(*resizable, "resizingMode") + ")]";
      }
    }
    return out;
  }
  // Button, Empty, and kinds this host does not know: the name alone.
  return type;
}

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}

  void block(const Json& view, std::size_t depth, std::size_t indent) {
    out_.append(indent, ' ');
    if (depth > kMaxOutlineDepth) {
      out_ += "...\n";
      return;
    }
    out_ += line(view, depth);
    out_ += '\n';
    if (const Json* children = listMember(view, "children")) {
      for (const Json& child : *children) block(child, depth + 1, indent + 2);
    }
    if (const Json* modifiers = listMember(view, "modifiers")) {
      for (const Json& modifier : *modifiers) {
        const Json* content = modifierContent(modifier);
        if (content == nullptr || fitsOnOneLine(*content, depth + 1)) continue;
        out_.append(indent + 2, ' ');
        out_ += "." + text(modifier, "name") + ":\n";
        block(*content, depth + 2, indent + 4);
      }
    }
  }

 private:
  // The node, its own attributes and its modifiers.
  std::string line(const Json& view, std::size_t depth) const {
    if (depth > kMaxOutlineDepth) return "...";
    if (!view.is_object()) {
      std::string shown = view.dump(-1, ' ', false, Json::error_handler_t::replace);
      if (shown.size() > 40) shown = shown.substr(0, 40) + "...";
      return "? (not a view: " + shown + ")";
    }
    std::string out = summary(view);
    if (const Json* modifiers = listMember(view, "modifiers")) {
      for (const Json& modifier : *modifiers) out += " " + this->modifier(modifier, depth);
    }
    return out;
  }

  std::string modifier(const Json& modifier, std::size_t depth) const {
    const std::string name = text(modifier, "name");
    const std::string head = "." + name;
    if (name == "font") return head + "(" + text(modifier, "font") + ")";
    if (name == "foregroundColor") return head + "(" + colorText(modifier) + ")";
    if (name == "opacity") return head + "(" + number(modifier, "opacity") + ")";
    if (name == "padding") {
      std::string arguments = edgeSetName(member(modifier, "edges"));
      if (!isNull(modifier, "length")) arguments += ", " + number(modifier, "length");
      return head + "(" + arguments + ")";
    }
    if (name == "frame") {
      std::string arguments;
      for (const char* limit : {"minWidth", "idealWidth", "maxWidth", "minHeight", "idealHeight", "maxHeight"}) {
        if (isNull(modifier, limit)) continue;
        arguments += arguments.empty() ? "" : ", ";
        arguments += std::string(limit) + ": " + number(modifier, limit);
      }
      if (const std::string alignment = text(modifier, "alignment", "center"); alignment != "center") {
        arguments += arguments.empty() ? "" : ", ";
        arguments += "alignment: " + alignment;
      }
      return head + "(" + arguments + ")";
    }
    if (name == "background") {
      const std::string alignment = text(modifier, "alignment", "center");
      return withContent(head, modifier, alignment != "center" ? "alignment: " + alignment : "", depth);
    }
    if (name == "overlay") {
      const std::string edges = edgeSetName(member(modifier, "ignoresSafeAreaEdges"));
      return withContent(head, modifier, edges != "all" ? "ignoresSafeAreaEdges: " + edges : "", depth);
    }
    if (name == "aspectRatio") {
      const std::string ratio = isNull(modifier, "ratio") ? "" : number(modifier, "ratio") + ", ";
      return head + "(" + ratio + text(modifier, "contentMode") + ")";
    }
    if (name == "buttonStyle") return head + "(" + text(modifier, "style") + ")";
    return head;
  }

  // A modifier with a view argument: the view inside when it fits on one line; else
  // only the other arguments, the view following as a block.
  std::string withContent(const std::string& head, const Json& modifier, const std::string& extra,
                          std::size_t depth) const {
    const Json* content = member(modifier, "content");
    std::string arguments = content != nullptr && fitsOnOneLine(*content, depth + 1) ? line(*content, depth + 1) : "";
    if (!extra.empty()) arguments += (arguments.empty() ? "" : ", ") + extra;
    return arguments.empty() ? head : head + "(" + arguments + ")";
  }

  std::string& out_;
};

}  // namespace

std::string outlineFromJSON(const nlohmann::ordered_json& view, std::size_t indent) {
  std::string out;
  Writer(out).block(view, 0, indent);
  return out;
}

}  // namespace host
