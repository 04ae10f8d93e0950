#include "platform/ui/tree_json.h"

#include <cmath>

#include "platform/ui/overloaded.h"

namespace ui {
namespace {

using Json = nlohmann::ordered_json;

Json number(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "infinity" : "-infinity";
  return value;
}

Json number(const std::optional<double>& value) { return value ? number(*value) : Json(nullptr); }

Json edges(EdgeSet set) {
  Json list = Json::array();
  for (Edge edge : kAllEdges) {
    if (set.contains(edge)) list.push_back(name(edge));
  }
  return list;
}

Json insets(const EdgeInsets& insets) {
  return Json{{"top", number(insets.top)},
              {"leading", number(insets.leading)},
              {"bottom", number(insets.bottom)},
              {"trailing", number(insets.trailing)}};
}

// An object with room for `members` members. Growing an ordered_json object copies the
// members already in it, subtrees included (its key is const, so it cannot be moved), so
// room is made before the first member goes in.
Json object(std::size_t members) {
  Json out = Json::object();
  out.get_ref<Json::object_t&>().reserve(members);
  return out;
}

class Writer {
 public:
  explicit Writer(const Localizer& localizer) : localizer_(localizer) {}

  Json view(const View& view) const {
    Json out = object(8);
    out["type"] = typeName(view.node());
    std::visit([&](const auto& node) { parameters(node, out); }, view.node());
    if (isContainer(view.node())) {
      Json children = Json::array();
      for (const View& child : view.children()) children.push_back(this->view(child));
      out["children"] = std::move(children);
    }
    Json modifiers = Json::array();
    for (const Modifier& modifier : view.modifiers()) modifiers.push_back(this->modifier(modifier));
    out["modifiers"] = std::move(modifiers);
    return out;
  }

 private:
  static bool isContainer(const View::Node& node) {
    return std::holds_alternative<nodes::VStack>(node) || std::holds_alternative<nodes::HStack>(node) ||
           std::holds_alternative<nodes::ZStack>(node) || std::holds_alternative<nodes::Button>(node) ||
           std::holds_alternative<nodes::Conditional>(node);
  }

  void parameters(const nodes::VStack& stack, Json& out) const {
    out["alignment"] = name(stack.alignment);
    out["spacing"] = number(stack.spacing);
  }
  void parameters(const nodes::HStack& stack, Json& out) const {
    out["alignment"] = name(stack.alignment);
    out["spacing"] = number(stack.spacing);
  }
  void parameters(const nodes::ZStack& stack, Json& out) const { out["alignment"] = name(stack.alignment); }
  void parameters(const nodes::Spacer& spacer, Json& out) const { out["minLength"] = number(spacer.minLength); }
  void parameters(const nodes::Button&, Json&) const {}
  void parameters(const nodes::Conditional& choice, Json& out) const { out["branch"] = choice.branch; }
  void parameters(const nodes::Empty&, Json&) const {}
  void parameters(const Material& material, Json& out) const { out["material"] = name(material); }

  void parameters(const Color& color, Json& out) const {
    out["color"] = name(color.name());
    out["opacity"] = number(color.opacity());
  }

  void parameters(const Text& text, Json& out) const {
    out["text"] = localizer_.resolve(text.key(), text.tableName().value_or(std::string(Bundle::kDefaultTable)));
    out["key"] = text.key().key();
    Json arguments = Json::array();
    for (const FormatArgument& argument : text.key().arguments()) {
      std::visit([&](const auto& value) { arguments.push_back(value); }, argument);
    }
    out["arguments"] = std::move(arguments);
    if (text.tableName()) out["tableName"] = *text.tableName();
    if (text.comment()) out["comment"] = *text.comment();
    if (text.font()) out["font"] = name(*text.font());
    if (text.fontWeight()) out["fontWeight"] = name(*text.fontWeight());
  }

  void parameters(const Image& image, Json& out) const {
    std::visit(Overloaded{
                   [&](const SystemName& symbol) { out["systemName"] = symbol.name; },
                   [&](const NamedImage& asset) {
                     out["name"] = asset.name;
                     out["bundle"] = asset.bundle ? Json(asset.bundle->path().string()) : Json(nullptr);
                   },
               },
               image.source());
    if (const auto& resizing = image.resizing()) {
      out["resizable"] =
          Json{{"capInsets", insets(resizing->capInsets)}, {"resizingMode", name(resizing->resizingMode)}};
    } else {
      out["resizable"] = nullptr;
    }
  }

  Json modifier(const Modifier& modifier) const {
    Json out = object(8);
    out["name"] = name(modifier);
    std::visit(Overloaded{
                   [&](const FontModifier& m) { out["font"] = name(m.font); },
                   [&](const ForegroundColorModifier& m) {
                     out["color"] = name(m.color.name());
                     out["opacity"] = number(m.color.opacity());
                   },
                   [&](const OpacityModifier& m) { out["opacity"] = number(m.opacity); },
                   [&](const PaddingModifier& m) {
                     out["edges"] = edges(m.edges);
                     out["length"] = number(m.length);
                   },
                   [&](const FrameModifier& m) {
                     const FrameOptions& o = m.options;
                     out["minWidth"] = number(o.minWidth);
                     out["idealWidth"] = number(o.idealWidth);
                     out["maxWidth"] = number(o.maxWidth);
                     out["minHeight"] = number(o.minHeight);
                     out["idealHeight"] = number(o.idealHeight);
                     out["maxHeight"] = number(o.maxHeight);
                     out["alignment"] = name(o.alignment);
                   },
                   [&](const BackgroundModifier& m) {
                     out["alignment"] = name(m.alignment);
                     out["content"] = view(*m.content);
                   },
                   [&](const OverlayModifier& m) {
                     out["ignoresSafeAreaEdges"] = edges(m.ignoresSafeAreaEdges);
                     out["content"] = view(*m.content);
                   },
                   [&](const AspectRatioModifier& m) {
                     out["ratio"] = number(m.ratio);
                     out["contentMode"] = name(m.contentMode);
                   },
                   [&](const ButtonStyleModifier&) { out["style"] = "plain"; },
               },
               modifier);
    return out;
  }

  const Localizer& localizer_;
};

}  // namespace

nlohmann::ordered_json toJSON(const View& view, const Localizer& localizer) { return Writer(localizer).view(view); }

}  // namespace ui
