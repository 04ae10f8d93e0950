#include "platform/ui/tree_json.h"

#include <cmath>

#include "platform/ui/overloaded.h"

namespace ui {
namespace {

using foundation::JSONTextWriter;
using Name = JSONTextWriter::Name;

class Writer {
 public:
  Writer(JSONTextWriter& out, const Localizer& localizer) : out_(out), localizer_(localizer) {}

  void view(const View& view) const {
    out_.beginObject();
    out_.plainMember("type", typeName(view.node()));
    std::visit([&](const auto& node) { parameters(node); }, view.node());
    if (isContainer(view.node())) {
      out_.key("children");
      out_.beginArray();
      for (const View& child : view.children()) this->view(child);
      out_.endArray();
    }
    out_.key("modifiers");
    out_.beginArray();
    for (const Modifier& modifier : view.modifiers()) this->modifier(modifier);
    out_.endArray();
    out_.endObject();
  }

 private:
  static bool isContainer(const View::Node& node) {
    return std::holds_alternative<nodes::VStack>(node) || std::holds_alternative<nodes::HStack>(node) ||
           std::holds_alternative<nodes::ZStack>(node) || std::holds_alternative<nodes::Button>(node) ||
           std::holds_alternative<nodes::Conditional>(node);
  }

  // A number member: infinite and NaN values as strings, absent ones as null.
  void number(Name key, double value) const {
    out_.key(key);
    if (std::isnan(value)) {
      out_.string("nan");
    } else if (std::isinf(value)) {
      out_.string(value > 0 ? "infinity" : "-infinity");
    } else {
      out_.number(value);
    }
  }
  void number(Name key, const std::optional<double>& value) const {
    if (value) {
      number(key, *value);
    } else {
      out_.key(key);
      out_.null();
    }
  }

  void edges(Name key, EdgeSet set) const {
    out_.key(key);
    out_.beginArray();
    for (Edge edge : kAllEdges) {
      if (set.contains(edge)) out_.plainString(name(edge));
    }
    out_.endArray();
  }

  void insets(const EdgeInsets& insets) const {
    out_.beginObject();
    number("top", insets.top);
    number("leading", insets.leading);
    number("bottom", insets.bottom);
    number("trailing", insets.trailing);
    out_.endObject();
  }

  void parameters(const nodes::VStack& stack) const {
    out_.plainMember("alignment", name(stack.alignment));
    number("spacing", stack.spacing);
  }
  void parameters(const nodes::HStack& stack) const {
    out_.plainMember("alignment", name(stack.alignment));
    number("spacing", stack.spacing);
  }
  void parameters(const nodes::ZStack& stack) const { out_.plainMember("alignment", name(stack.alignment)); }
  void parameters(const nodes::Spacer& spacer) const { number("minLength", spacer.minLength); }
  void parameters(const nodes::Button&) const {}
  void parameters(const nodes::Conditional& choice) const {
    out_.key("branch");
    out_.boolean(choice.branch);
  }
  void parameters(const nodes::Empty&) const {}
  void parameters(const Material& material) const { out_.plainMember("material", name(material)); }

  void parameters(const Color& color) const {
    out_.plainMember("color", name(color.name()));
    number("opacity", color.opacity());
  }

  void parameters(const Text& text) const {
    out_.member("text", localizer_.resolve(text.key(), text.tableName() ? std::string_view(*text.tableName())
                                                                         : Bundle::kDefaultTable));
    out_.member("key", text.key().key());
    out_.key("arguments");
    out_.beginArray();
    for (const FormatArgument& argument : text.key().arguments()) {
      std::visit(Overloaded{
                     [&](std::int64_t value) { out_.integer(value); },
                     [&](const std::string& value) { out_.string(value); },
                 },
                 argument);
    }
    out_.endArray();
    if (text.tableName()) out_.member("tableName", *text.tableName());
    if (text.comment()) out_.member("comment", *text.comment());
    if (text.font()) out_.plainMember("font", name(*text.font()));
    if (text.fontWeight()) out_.plainMember("fontWeight", name(*text.fontWeight()));
  }

  void parameters(const Image& image) const {
    std::visit(Overloaded{
                   [&](const SystemName& symbol) { out_.member("systemName", symbol.name); },
                   [&](const NamedImage& asset) {
                     out_.member("name", asset.name);
                     out_.key("bundle");
                     if (asset.bundle) {
                       out_.string(asset.bundle->path().string());
                     } else {
                       out_.null();
                     }
                   },
               },
               image.source());
    out_.key("resizable");
    if (const auto& resizing = image.resizing()) {
      out_.beginObject();
      out_.key("capInsets");
      insets(resizing->capInsets);
      out_.plainMember("resizingMode", name(resizing->resizingMode));
      out_.endObject();
    } else {
      out_.null();
    }
  }

  void modifier(const Modifier& modifier) const {
    out_.beginObject();
    out_.plainMember("name", name(modifier));
    std::visit(Overloaded{
                   [&](const FontModifier& m) { out_.plainMember("font", name(m.font)); },
                   [&](const ForegroundColorModifier& m) {
                     out_.plainMember("color", name(m.color.name()));
                     number("opacity", m.color.opacity());
                   },
                   [&](const OpacityModifier& m) { number("opacity", m.opacity); },
                   [&](const PaddingModifier& m) {
                     edges("edges", m.edges);
                     number("length", m.length);
                   },
                   [&](const FrameModifier& m) {
                     const FrameOptions& o = m.options;
                     number("minWidth", o.minWidth);
                     number("idealWidth", o.idealWidth);
                     number("maxWidth", o.maxWidth);
                     number("minHeight", o.minHeight);
                     number("idealHeight", o.idealHeight);
                     number("maxHeight", o.maxHeight);
                     out_.plainMember("alignment", name(o.alignment));
                   },
                   [&](const BackgroundModifier& m) {
                     out_.plainMember("alignment", name(m.alignment));
                     out_.key("content");
                     view(*m.content);
                   },
                   [&](const OverlayModifier& m) {
                     edges("ignoresSafeAreaEdges", m.ignoresSafeAreaEdges);
                     out_.key("content");
                     view(*m.content);
                   },
                   [&](const AspectRatioModifier& m) {
                     number("ratio", m.ratio);
                     out_.plainMember("contentMode", name(m.contentMode));
                   },
                   [&](const ButtonStyleModifier&) { out_.plainMember("style", "plain"); },
               },
               modifier);
    out_.endObject();
  }

  JSONTextWriter& out_;
  const Localizer& localizer_;
};

}  // namespace

void writeJSON(foundation::JSONTextWriter& out, const View& view, const Localizer& localizer) {
  Writer(out, localizer).view(view);
}

std::string toJSONText(const View& view, const Localizer& localizer) {
  foundation::JSONTextWriter out;
  writeJSON(out, view, localizer);
  return std::string(out.text());
}

nlohmann::ordered_json toJSON(const View& view, const Localizer& localizer) {
  return nlohmann::ordered_json::parse(toJSONText(view, localizer));
}

}  // namespace ui
