#include "platform/render/shaped_line.h"

#include <hb-ot.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <utility>

namespace render {
namespace {

// Whether a layout would treat `text` in a way of its own: a tab (set at tab stops),
// a character that ends a paragraph or forces a line break, or bytes that are not
// UTF-8 (pango's itemizer requires it).
bool needsLayout(std::string_view text) {
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return true;
  if (text.find_first_of("\t\n\v\f\r") != std::string_view::npos) return true;
  for (const std::string_view separator : {"\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"}) {  // NEL, LS, PS
    if (text.find(separator) != std::string_view::npos) return true;
  }
  return false;
}

struct Run {
  PangoItem* item;
  PangoGlyphString* glyphs;
};

// A language's tag: what pango_language_to_string() gives, without its C cast.
const char* languageTag(PangoLanguage* language) { return reinterpret_cast<const char*>(language); }

hb_script_t scriptOf(const PangoItem* item) {
  return static_cast<hb_script_t>(g_unicode_script_to_iso15924(static_cast<GUnicodeScript>(item->analysis.script)));
}

// Where `item`'s font puts the baseline `tag` (the font's own, else harfbuzz's
// estimate), in pango units.
hb_position_t baselineOf(const PangoItem* item, hb_ot_layout_baseline_tag_t tag) {
  const hb_script_t script = scriptOf(item);
  const hb_language_t language = hb_language_from_string(languageTag(item->analysis.language), -1);
  hb_tag_t scripts[HB_OT_MAX_TAGS_PER_SCRIPT];
  hb_tag_t languages[HB_OT_MAX_TAGS_PER_LANGUAGE];
  unsigned scriptCount = HB_OT_MAX_TAGS_PER_SCRIPT;
  unsigned languageCount = HB_OT_MAX_TAGS_PER_LANGUAGE;
  hb_ot_tags_from_script_and_language(script, language, &scriptCount, scripts, &languageCount, languages);
  hb_position_t position = 0;
  hb_ot_layout_get_baseline_with_fallback(pango_font_get_hb_font(item->analysis.font), tag, HB_DIRECTION_LTR,
                                          scripts[scriptCount - 1],
                                          languageCount > 0 ? languages[languageCount - 1] : HB_TAG_NONE, &position);
  return position;
}

void freeRun(gpointer data) {
  auto* run = static_cast<Run*>(data);
  pango_glyph_string_free(run->glyphs);
  pango_item_free(run->item);
  delete run;
}

}  // namespace

std::optional<ShapedLine> ShapedLine::shape(PangoContext* context, std::string_view utf8,
                                            const PangoFontDescription* font) {
  // Pango ends a text at its first NUL; a NUL draws as nothing, so it is left out.
  std::string text(utf8);
  std::erase(text, '\0');
  if (needsLayout(text)) return std::nullopt;
  const int length = static_cast<int>(text.size());

  // As a layout itemizes its one paragraph: the font as an attribute over the whole
  // text, the direction of its first strong character (else the context's).
  PangoAttrList* attributes = pango_attr_list_new();
  pango_attr_list_insert(attributes, pango_attr_font_desc_new(font));
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  PangoDirection direction = pango_find_base_dir(text.c_str(), length);
  G_GNUC_END_IGNORE_DEPRECATIONS
  if (direction == PANGO_DIRECTION_NEUTRAL) direction = pango_context_get_base_dir(context);
  GList* logical = pango_itemize_with_base_dir(context, direction, text.c_str(), 0, length, attributes, nullptr);
  pango_attr_list_unref(attributes);
  GList* visual = pango_reorder_items(logical);
  g_list_free(logical);  // the items themselves are in `visual`

  const PangoShapeFlags flags =
      pango_context_get_round_glyph_positions(context) ? PANGO_SHAPE_ROUND_POSITIONS : PANGO_SHAPE_NONE;
  for (GList* node = visual; node != nullptr; node = node->next) {
    auto* item = static_cast<PangoItem*>(node->data);
    PangoGlyphString* glyphs = pango_glyph_string_new();
    pango_shape_item(item, text.c_str(), length, nullptr, glyphs, flags);
    node->data = new Run{item, glyphs};
  }
  return ShapedLine(std::move(text), visual);
}

ShapedLine::ShapedLine(ShapedLine&& other) noexcept
    : text_(std::move(other.text_)), runs_(std::exchange(other.runs_, nullptr)) {}

ShapedLine& ShapedLine::operator=(ShapedLine&& other) noexcept {
  if (this != &other) {
    g_list_free_full(runs_, freeRun);
    text_ = std::move(other.text_);
    runs_ = std::exchange(other.runs_, nullptr);
  }
  return *this;
}

ShapedLine::~ShapedLine() { g_list_free_full(runs_, freeRun); }

int ShapedLine::width() const {
  int width = 0;
  for (GList* node = runs_; node != nullptr; node = node->next) {
    width += pango_glyph_string_get_width(static_cast<const Run*>(node->data)->glyphs);
  }
  return width;
}

int ShapedLine::unknownGlyphs() const {
  int count = 0;
  for (GList* node = runs_; node != nullptr; node = node->next) {
    const PangoGlyphString* glyphs = static_cast<const Run*>(node->data)->glyphs;
    count += static_cast<int>(std::count_if(glyphs->glyphs, glyphs->glyphs + glyphs->num_glyphs, [](const auto& glyph) {
      return (glyph.glyph & PANGO_GLYPH_UNKNOWN_FLAG) != 0;
    }));
  }
  return count;
}

void ShapedLine::draw(cairo_t* cr, double x, double baseline) const {
  // Every run sits on the baseline its script's text hangs from in the logically first
  // run's font, as a layout aligns them (a Latin run amid Japanese sits on the
  // ideographic baseline, not its own). Worked out here, not when shaping: measuring
  // never needs it.
  const PangoItem* first = nullptr;
  for (GList* node = runs_; node != nullptr; node = node->next) {
    const PangoItem* item = static_cast<const Run*>(node->data)->item;
    if (item->analysis.font != nullptr && (first == nullptr || item->offset < first->offset)) first = item;
  }
  const hb_ot_layout_baseline_tag_t tag = first == nullptr
                                              ? hb_ot_layout_baseline_tag_t{}
                                              : hb_ot_layout_get_horizontal_baseline_tag_for_script(scriptOf(first));
  const hb_position_t lineBaseline = first == nullptr ? 0 : baselineOf(first, tag);

  // Each run where a layout's line puts it: after the runs before it, its offset summed
  // in pango units.
  int offset = 0;
  for (GList* node = runs_; node != nullptr; node = node->next) {
    const auto* run = static_cast<const Run*>(node->data);
    const int rise = run->item->analysis.font == nullptr ? 0 : lineBaseline - baselineOf(run->item, tag);
    PangoGlyphItem glyphs{};
    glyphs.item = run->item;
    glyphs.glyphs = run->glyphs;
    cairo_move_to(cr, x + static_cast<double>(offset) / PANGO_SCALE,
                  baseline - static_cast<double>(rise) / PANGO_SCALE);
    pango_cairo_show_glyph_item(cr, text_.c_str(), &glyphs);
    offset += pango_glyph_string_get_width(run->glyphs);
  }
}

}  // namespace render
