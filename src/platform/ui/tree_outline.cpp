#include "platform/ui/tree_outline.h"

#include <charconv>
#include <cmath>

#include "platform/ui/overloaded.h"

namespace ui {
namespace {

std::string number(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "infinity" : "-infinity";
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, end);
}

std::string inQuotes(std::string_view text) { return outlineQuoted(text); }

std::string colorText(const Color& color) {
  std::string out(name(color.name()));
  if (color.opacity() != 1) out += ".opacity(" + number(color.opacity()) + ")";
  return out;
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
      out += "." + std::string(name(modifier)) + ":\n";
      block(*content, depth + 2, out);
    }
  }

 private:
  static const View* viewArgument(const Modifier& modifier) {
    if (const auto* background = std::get_if<BackgroundModifier>(&modifier)) return &*background->content;
    if (const auto* overlay = std::get_if<OverlayModifier>(&modifier)) return &*overlay->content;
    return nullptr;
  }

  static bool fitsOnOneLine(const View& view) {
    if (!view.children().empty()) return false;
    for (const Modifier& modifier : view.modifiers()) {
      const View* content = viewArgument(modifier);
      if (content != nullptr && !fitsOnOneLine(*content)) return false;
    }
    return true;
  }

  // The node, its own attributes and its modifiers.
  std::string line(const View& view) const {
    std::string out = std::visit([&](const auto& node) { return summary(node); }, view.node());
    for (const Modifier& modifier : view.modifiers()) out += " " + this->modifier(modifier);
    return out;
  }

  static std::string summary(const nodes::VStack& stack) {
    std::string out = "VStack(alignment: " + std::string(name(stack.alignment));
    if (stack.spacing) out += ", spacing: " + number(*stack.spacing);
    return out + ")";
  }
  static std::string summary(const nodes::HStack& stack) {
    std::string out = "HStack(alignment: " + std::string(name(stack.alignment));
    if (stack.spacing) out += ", spacing: " + number(*stack.spacing);
    return out + ")";
  }
  static std::string summary(const nodes::ZStack& stack) {
    return "ZStack(alignment: " + std::string(name(stack.alignment)) + ")";
  }
  static std::string summary(const nodes::Spacer& spacer) {
    return spacer.minLength ? "Spacer(minLength: " + number(*spacer.minLength) + ")" : "Spacer";
  }
  static std::string summary(const nodes::Button&) { return "Button"; }
  static std::string summary(const nodes::Conditional& choice) {
    return choice.branch ? "Conditional(branch: true)" : "Conditional(branch: false)";
  }
  static std::string summary(const nodes::Empty&) { return "Empty"; }
  static std::string summary(const Color& color) { return "Color " + colorText(color); }
  static std::string summary(const Material& material) { return "Material " + std::string(name(material)); }

  std::string summary(const Text& text) const {
    std::string out = "Text " + inQuotes(localizer_.resolve(
                                    text.key(), text.tableName().value_or(std::string(Bundle::kDefaultTable))));
    std::string attributes;
    auto add = [&](const std::string& attribute) {
      attributes += attributes.empty() ? "" : ", ";
      attributes += attribute;
    };
    if (text.tableName()) add("tableName: " + inQuotes(*text.tableName()));
    if (text.font()) add("font: " + std::string(name(*text.font())));
    if (text.fontWeight()) add("fontWeight: " + std::string(name(*text.fontWeight())));
    if (!attributes.empty()) out += " [" + attributes + "]";
    return out;
  }

  static std::string summary(const Image& image) {
    std::string out =
        std::visit(Overloaded{
                       [](const SystemName& symbol) { return "Image(systemName: " + inQuotes(symbol.name) + ")"; },
                       [](const NamedImage& asset) {
                         std::string text = "Image(" + inQuotes(asset.name);
                         if (asset.bundle) text += ", bundle: " + inQuotes(asset.bundle->path().string());
                         return text + ")";
                       },
                   },
                   image.source());
    if (const auto& resizing = image.resizing()) {
      if (*resizing == Resizing{}) {
        out += " [resizable]";
      } else {
        const EdgeInsets& insets = resizing->capInsets;
        out += " [resizable(capInsets: (" + number(insets.top) + ", " + number(insets.leading) + ", " +
               number(insets.bottom) + ", " + number(insets.trailing) +
               "), resizingMode: " + std::string(name(resizing->resizingMode)) + ")]";
      }
    }
    return out;
  }

  std::string modifier(const Modifier& modifier) const {
    const std::string head = "." + std::string(name(modifier));
    return std::visit(Overloaded{
                          [&](const FontModifier& m) { return head + "(" + std::string(name(m.font)) + ")"; },
                          [&](const ForegroundColorModifier& m) { return head + "(" + colorText(m.color) + ")"; },
                          [&](const OpacityModifier& m) { return head + "(" + number(m.opacity) + ")"; },
                          [&](const PaddingModifier& m) {
                            std::string arguments = name(m.edges);
                            if (m.length) arguments += ", " + number(*m.length);
                            return head + "(" + arguments + ")";
                          },
                          [&](const FrameModifier& m) {
                            const FrameOptions& o = m.options;
                            std::string arguments;
                            auto add = [&](const char* label, const std::optional<double>& value) {
                              if (!value) return;
                              arguments += arguments.empty() ? "" : ", ";
                              arguments += std::string(label) + ": " + number(*value);
                            };
                            add("minWidth", o.minWidth);
                            add("idealWidth", o.idealWidth);
                            add("maxWidth", o.maxWidth);
                            add("minHeight", o.minHeight);
                            add("idealHeight", o.idealHeight);
                            add("maxHeight", o.maxHeight);
                            if (o.alignment != Alignment::center) {
                              arguments += arguments.empty() ? "" : ", ";
                              arguments += "alignment: " + std::string(name(o.alignment));
                            }
                            return head + "(" + arguments + ")";
                          },
                          [&](const BackgroundModifier& m) {
                            std::string extra;
                            if (m.alignment != Alignment::center)
                              extra = "alignment: " + std::string(name(m.alignment));
                            return withContent(head, *m.content, extra);
                          },
                          [&](const OverlayModifier& m) {
                            std::string extra;
                            if (m.ignoresSafeAreaEdges != EdgeSet::all) {
                              extra = "ignoresSafeAreaEdges: " + name(m.ignoresSafeAreaEdges);
                            }
                            return withContent(head, *m.content, extra);
                          },
                          [&](const AspectRatioModifier& m) {
                            std::string arguments = m.ratio ? number(*m.ratio) + ", " : "";
                            return head + "(" + arguments + std::string(name(m.contentMode)) + ")";
                          },
                          [&](const ButtonStyleModifier&) { return head + "(plain)"; },
                      },
                      modifier);
  }

  // A modifier with a view argument: the view inside when it fits on one line; else
  // only the other arguments, the view following as a block.
  std::string withContent(const std::string& head, const View& content, const std::string& extra) const {
    std::string arguments = fitsOnOneLine(content) ? line(content) : "";
    if (!extra.empty()) arguments += (arguments.empty() ? "" : ", ") + extra;
    return arguments.empty() ? head : head + "(" + arguments + ")";
  }

  const Localizer& localizer_;
};

}  // namespace

std::string outline(const View& view, const Localizer& localizer) {
  std::string out;
  Writer(localizer).block(view, 0, out);
  return out;
}

std::string outlineQuoted(std::string_view text) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          out += "\\u{";
          out += kHex[byte >> 4];
          out += kHex[byte & 0xF];
          out += '}';
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

}  // namespace ui
