#include "platform/ui/tree_outline.h"

#include <utf8proc.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "platform/ui/backslash_escape.h"
#include "platform/ui/string_format.h"

namespace ui {
namespace {

std::string number(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "infinity" : "-infinity";
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, end);
}

void join(std::string& list, std::string_view item, std::string_view separator = ", ") {
  if (!list.empty()) list += separator;
  list += item;
}

// The view argument of a modifier (a background's, an overlay's), or null.
const View* viewArgument(const Modifier& modifier) {
  return std::visit(
      [](const auto& arguments) {
        const View* content = nullptr;
        schemaOf<std::remove_cvref_t<decltype(arguments)>>().forEach([&](const auto& field) {
          if constexpr (std::is_same_v<std::remove_cvref_t<decltype(field.of(arguments))>, Box<View>>) {
            content = &*field.of(arguments);
          }
        });
        return content;
      },
      modifier);
}

bool fitsOnOneLine(const View& view) {
  if (!view.children().empty()) return false;
  for (const Modifier& modifier : view.modifiers()) {
    const View* content = viewArgument(modifier);
    if (content != nullptr && !fitsOnOneLine(*content)) return false;
  }
  return true;
}

class Writer {
 public:
  explicit Writer(const Localizer& localizer) : localizer_(localizer) {}

  void block(const View& view, int depth, std::string& out) const {
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += line(view);
    out += '\n';
    for (const View& child : view.children()) block(child, depth + 1, out);
    for (const Modifier& modifier : view.modifiers()) {
      const View* content = viewArgument(modifier);
      if (content == nullptr || fitsOnOneLine(*content)) continue;
      out.append(static_cast<std::size_t>(depth + 1) * 2, ' ');
      out += '.';
      out += name(modifier);
      out += ":\n";
      block(*content, depth + 2, out);
    }
  }

 private:
  // The node, its own attributes and its modifiers.
  std::string line(const View& view) const {
    std::string out = std::visit([&](const auto& node) { return summary(node); }, view.node());
    for (const Modifier& modifier : view.modifiers()) {
      out += " .";
      out += name(modifier);
      out += std::visit([&](const auto& arguments) { return this->arguments(arguments); }, modifier);
    }
    return out;
  }

  // A field's value as the outline shows it; empty when it is not shown.
  static std::string shown(double value) { return number(value); }
  static std::string shown(const std::optional<double>& value) { return value ? number(*value) : ""; }
  static std::string shown(bool value) { return value ? "true" : "false"; }
  template <NamedValue T>
  static std::string shown(const T& value) {
    return std::string(name(value));
  }
  static std::string shown(EdgeSet edges) { return name(edges); }
  static std::string shown(const Color& color) {
    std::string out(name(color.name()));
    if (color.opacity() != 1) out += concatenated({".opacity(", number(color.opacity()), ")"});
    return out;
  }
  std::string shown(const Box<View>& content) const { return fitsOnOneLine(*content) ? line(*content) : ""; }
  static std::string shown(const std::vector<View>&) { return ""; }

  // The fields of `value` shown alone (`positional`) or labelled, in schema order,
  // without view arguments.
  template <typename T>
  std::string fields(const T& value, bool positional) const {
    std::string out;
    schemaOf<T>().forEach([&](const auto& field) {
      const auto& member = field.of(value);
      if constexpr (std::is_same_v<std::remove_cvref_t<decltype(member)>, Box<View>>) return;  // see arguments()
      if (field.show == Show::hidden || (field.show == Show::positional) != positional) return;
      if (field.isDefault(member)) return;
      const std::string text = shown(member);
      if (text.empty()) return;
      join(out, positional ? text : std::string(field.json.text()) + ": " + text);
    });
    return out;
  }

  // A node: its name, values shown alone after a space, labelled ones in parentheses.
  template <typename T>
  std::string summary(const T& node) const {
    std::string out(schemaOf<T>().name);
    if (const std::string values = fields(node, true); !values.empty()) out += " " + values;
    if (const std::string labelled = fields(node, false); !labelled.empty()) out += "(" + labelled + ")";
    return out;
  }

  std::string summary(const Text& text) const {
    std::string out = "Text ";
    out += outlineQuoted(
        text.shown() ? *text.shown()
                     : localizer_.resolve(text.key(), text.tableName().value_or(std::string(Bundle::kDefaultTable))));
    std::string attributes;
    if (text.tableName()) join(attributes, concatenated({"tableName: ", outlineQuoted(*text.tableName())}));
    if (text.font()) join(attributes, concatenated({"font: ", shown(*text.font())}));
    if (text.fontWeight()) join(attributes, concatenated({"fontWeight: ", shown(*text.fontWeight())}));
    if (!attributes.empty()) out += " [" + attributes + "]";
    return out;
  }

  static std::string summary(const Image& image) {
    std::string out = "Image(";
    if (const auto* symbol = std::get_if<SystemName>(&image.source())) {
      out += "systemName: ";
      out += outlineQuoted(symbol->name);
    } else {
      const NamedImage& asset = std::get<NamedImage>(image.source());
      out += outlineQuoted(asset.name);
      if (asset.bundle) {
        out += ", bundle: ";
        out += outlineQuoted(asset.bundle->path().string());
      }
    }
    out += ')';
    if (const auto& resizing = image.resizing()) {
      if (*resizing == Resizing{}) {
        out += " [resizable]";
      } else {
        const EdgeInsets& insets = resizing->capInsets;
        std::string caps;
        for (double inset : {insets.top, insets.leading, insets.bottom, insets.trailing}) join(caps, number(inset));
        out +=
            concatenated({" [resizable(capInsets: (", caps, "), resizingMode: ", shown(resizing->resizingMode), ")]"});
      }
    }
    return out;
  }

  // A modifier's arguments in parentheses: its view argument first (when it fits on
  // one line), then its values, then its labelled arguments. A modifier with a view
  // argument and nothing to show has no parentheses.
  template <typename M>
  std::string arguments(const M& modifier) const {
    std::string out;
    bool holdsView = false;
    schemaOf<M>().forEach([&](const auto& field) {
      if constexpr (std::is_same_v<std::remove_cvref_t<decltype(field.of(modifier))>, Box<View>>) {
        holdsView = true;
        join(out, shown(field.of(modifier)));
      }
    });
    if (const std::string values = fields(modifier, true); !values.empty()) join(out, values);
    if (const std::string labelled = fields(modifier, false); !labelled.empty()) join(out, labelled);
    return out.empty() && holdsView ? "" : "(" + out + ")";
  }

  const Localizer& localizer_;
};

}  // namespace

std::string outline(const View& view, const Localizer& localizer) {
  std::string out;
  Writer(localizer).block(view, 0, out);
  return out;
}

namespace {

// Whether the character `c` acts on how a terminal or a text view shows what follows
// rather than being shown itself: control characters (C0, DEL and C1, NEL among them),
// the line and paragraph separators, and the marks and controls that change the
// direction of text.
bool actsOnDisplay(utf8proc_int32_t c) {
  switch (utf8proc_category(c)) {
    case UTF8PROC_CATEGORY_CC:
    case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP: return true;
    default: break;
  }
  switch (utf8proc_get_property(c)->bidi_class) {
    case UTF8PROC_BIDI_CLASS_LRE:
    case UTF8PROC_BIDI_CLASS_LRO:
    case UTF8PROC_BIDI_CLASS_RLE:
    case UTF8PROC_BIDI_CLASS_RLO:
    case UTF8PROC_BIDI_CLASS_PDF:
    case UTF8PROC_BIDI_CLASS_LRI:
    case UTF8PROC_BIDI_CLASS_RLI:
    case UTF8PROC_BIDI_CLASS_FSI:
    case UTF8PROC_BIDI_CLASS_PDI: return true;
    default: break;
  }
  return c == 0x200E || c == 0x200F || c == 0x061C;  // left-to-right, right-to-left and Arabic letter marks
}

void appendHex(std::string& out, std::uint32_t value) {
  constexpr char kHex[] = "0123456789ABCDEF";
  int digits = 2;
  while (digits < 8 && (value >> (4 * digits)) != 0) digits += 2;
  for (int digit = digits - 1; digit >= 0; --digit) out += kHex[(value >> (4 * digit)) & 0xF];
}

}  // namespace

std::string withControlsEscaped(std::string_view text) {
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (const std::optional<char> letter = escapeLetter(text[at]); letter && *letter != '"' && *letter != '\\') {
      out += '\\';
      out += *letter;
      ++at;
      continue;
    }
    if (byte < 0x80 && byte >= 0x20 && byte != 0x7F) {
      out += text[at++];
      continue;
    }
    utf8proc_int32_t c = 0;
    const utf8proc_ssize_t length = utf8proc_iterate(bytes + at, static_cast<utf8proc_ssize_t>(text.size() - at), &c);
    if (length <= 0) {  // a byte that is no UTF-8: shown by its value, never raw
      out += "\\x{";
      appendHex(out, byte);
      out += '}';
      ++at;
    } else if (actsOnDisplay(c)) {
      out += "\\u{";
      appendHex(out, static_cast<std::uint32_t>(c));
      out += '}';
      at += static_cast<std::size_t>(length);
    } else {
      out.append(text, at, static_cast<std::size_t>(length));
      at += static_cast<std::size_t>(length);
    }
  }
  return out;
}

std::string outlineQuoted(std::string_view text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t plain = std::min(text.find_first_of("\"\\", at), text.size());
    out += withControlsEscaped(text.substr(at, plain - at));
    if (plain == text.size()) break;
    out += '\\';
    out += text[plain];
    at = plain + 1;
  }
  out += '"';
  return out;
}

}  // namespace ui
