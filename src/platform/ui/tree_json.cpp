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
    out_.key("modifiers");
    out_.beginArray();
    for (const Modifier& modifier : view.modifiers()) {
      out_.beginObject();
      out_.plainMember("name", name(modifier));
      std::visit([&](const auto& arguments) { parameters(arguments); }, modifier);
      out_.endObject();
    }
    out_.endArray();
    out_.endObject();
  }

 private:
  // The members of a node or modifier, as its schema lists them.
  template <typename T>
  void parameters(const T& value) const {
    schemaOf<T>().forEach([&](const auto& field) { member(field, field.of(value)); });
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

  template <typename F>
  void member(const F& field, double value) const {
    number(field.json, value);
  }
  template <typename F>
  void member(const F& field, const std::optional<double>& value) const {
    if (value) {
      number(field.json, *value);
    } else {
      out_.key(field.json);
      out_.null();
    }
  }
  template <typename F>
  void member(const F& field, bool value) const {
    out_.key(field.json);
    out_.boolean(value);
  }
  template <typename F, NamedValue T>
  void member(const F& field, const T& value) const {
    out_.plainMember(field.json, name(value));
  }
  // The edges of the set, in the order top, leading, bottom, trailing.
  template <typename F>
  void member(const F& field, EdgeSet set) const {
    out_.key(field.json);
    out_.beginArray();
    for (Edge edge : kAllEdges) {
      if (set.contains(edge)) out_.plainString(name(edge));
    }
    out_.endArray();
  }
  // Its name, then "opacity".
  template <typename F>
  void member(const F& field, const Color& color) const {
    out_.plainMember(field.json, name(color.name()));
    number("opacity", color.opacity());
  }
  template <typename F>
  void member(const F& field, const Box<View>& content) const {
    out_.key(field.json);
    if (field.form == Form::children) out_.beginArray();
    view(*content);
    if (field.form == Form::children) out_.endArray();
  }
  template <typename F>
  void member(const F& field, const std::vector<View>& views) const {
    out_.key(field.json);
    out_.beginArray();
    for (const View& child : views) view(child);
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
