// Text: a localizable text view, the platform's `Text(_:tableName:bundle:comment:)`
// made from a LocalizedStringKey. What it shows is found when the tree is rendered:
// the key is looked up in the string table of the rendering bundle and its values are
// put into the text found (see Localizer).
//
// `font(_:)` and `fontWeight(_:)` called on a Text return a Text and belong to that
// text alone; they are stored on it, apart from the modifier list that every other
// modifier call builds (a `.font(_:)` on any other view, or on a text after another
// modifier, is a modifier for everything inside). A plain, comparable value.
#pragma once

#include <optional>
#include <string>

#include "platform/ui/font.h"
#include "platform/ui/localized_string_key.h"
#include "platform/ui/schema.h"
#include "platform/ui/view_modifiers.h"

namespace ui {

class Text : public ViewModifiers<Text> {
 public:
  // `tableName` absent: the default table. `comment` is a note for translators and
  // changes nothing on screen.
  explicit Text(LocalizedStringKey key, std::optional<std::string> tableName = std::nullopt,
                std::optional<std::string> comment = std::nullopt)
      : key_(std::move(key)), tableName_(std::move(tableName)), comment_(std::move(comment)) {}

  // This text with its own font. On a temporary the text is reused, not copied.
  Text font(Font font) const& { return Text(*this).font(font); }
  Text font(Font font) && {
    font_ = font;
    return std::move(*this);
  }
  // This text with its own font weight.
  Text fontWeight(Font::Weight weight) const& { return Text(*this).fontWeight(weight); }
  Text fontWeight(Font::Weight weight) && {
    fontWeight_ = weight;
    return std::move(*this);
  }
  // This text with the string it shows already known: a tree read back from its JSON
  // form keeps what the process that built it showed (see tree_json_reader.h). The
  // layout and the outline show that string instead of looking the key up; the JSON
  // writer still looks the key up.
  Text showing(std::string shown) const& { return Text(*this).showing(std::move(shown)); }
  Text showing(std::string shown) && {
    shown_ = std::move(shown);
    return std::move(*this);
  }

  const LocalizedStringKey& key() const { return key_; }
  const std::optional<std::string>& tableName() const { return tableName_; }
  const std::optional<std::string>& comment() const { return comment_; }
  const std::optional<Font>& font() const { return font_; }
  const std::optional<Font::Weight>& fontWeight() const { return fontWeight_; }
  const std::optional<std::string>& shown() const { return shown_; }

  friend bool operator==(const Text&, const Text&) = default;

 private:
  LocalizedStringKey key_;
  std::optional<std::string> tableName_;
  std::optional<std::string> comment_;
  std::optional<Font> font_;
  std::optional<Font::Weight> fontWeight_;
  std::optional<std::string> shown_;
};

// Its key, arguments and shown text have forms of their own (tree_json.cpp,
// tree_json_reader.cpp, tree_outline.cpp).
constexpr auto schema(std::type_identity<Text>) { return Schema("Text"); }

}  // namespace ui
