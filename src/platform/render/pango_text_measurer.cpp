#include "platform/render/pango_text_measurer.h"

#include <fontconfig/fontconfig.h>
#include <hb.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>
#include <strings.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <cmath>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/foundation/helper_thread.h"
#include "platform/render/shaped_line.h"

namespace render {
namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* pointer) const {
    if (pointer != nullptr) Free(pointer);
  }
};

void unrefObject(void* object) { g_object_unref(object); }

using FontMap = std::unique_ptr<PangoFontMap, Deleter<void, unrefObject>>;
using Context = std::unique_ptr<PangoContext, Deleter<void, unrefObject>>;
using Layout = std::unique_ptr<PangoLayout, Deleter<void, unrefObject>>;
using Description = std::unique_ptr<PangoFontDescription, Deleter<PangoFontDescription, pango_font_description_free>>;
using FontOptions = std::unique_ptr<cairo_font_options_t, Deleter<cairo_font_options_t, cairo_font_options_destroy>>;

// Unhinted outlines and metrics: the same widths at every scale.
FontOptions unhintedOptions() {
  FontOptions options(cairo_font_options_create());
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
  return options;
}

// The only fonts the renderer sees: those of the Debian packages named here, Inter
// for Latin text and the faces its missing scripts fall back to (Arabic, Japanese).
// From a folder other packages share, only the files `only` matches are taken. The
// machine's and the user's font configuration (other fonts, aliases, substitutions,
// rendering settings) is left out, so that the same input draws the same bytes on every
// machine and for every user.
struct FontPackage {
  std::string_view package;
  std::string_view folder;
  std::string_view only = {};                    // a file name pattern; empty: every font in the folder
  std::array<std::string_view, 2> skipped = {};  // file name patterns left out (with no `only`)
};
// Nothing is drawn in italics or in Inter Display, so their 27 files are left out:
// each font match and fallback sort (made the first time a size of text is drawn)
// then weighs 13 faces instead of 40.
constexpr FontPackage kFontPackages[] = {
    {"fonts-inter", "/usr/share/fonts/opentype/inter", {}, {"InterDisplay-*", "*Italic.otf"}},
    {"fonts-noto-ui-core", "/usr/share/fonts/truetype/noto", "NotoSansArabicUI-*.ttf"},
    {"fonts-ipafont-gothic", "/usr/share/fonts/opentype/ipafont-gothic"},
};

// A font configuration of the renderer's own, holding just those folders. Their
// fontconfig cache is read from the system's cache folder (what fc-cache wrote when the
// packages were installed), else kept under $XDG_CACHE_HOME/widget-platform: scanning
// the fonts on every start would cost tens of milliseconds.
FcConfig* newFontConfig() {
  std::string xml = "<fontconfig>";
  std::string selected;
  for (const FontPackage& fonts : kFontPackages) {
    const std::string folder(fonts.folder);
    // A file that an <acceptfont> glob matches is taken even where a <rejectfont> glob
    // matches it too.
    const auto select = [&](const std::string& element, std::string_view files) {
      selected += "<" + element + "><glob>" + folder + "/" + std::string(files) + "</glob></" + element + ">";
    };
    xml += "<dir>" + folder + "</dir>";
    for (const std::string_view skipped : fonts.skipped) {
      if (!skipped.empty()) select("rejectfont", skipped);
    }
    if (fonts.only.empty()) continue;
    select("rejectfont", "*");
    select("acceptfont", fonts.only);
  }
  if (!selected.empty()) xml += "<selectfont>" + selected + "</selectfont>";
  xml += "<cachedir>/var/cache/fontconfig</cachedir><cachedir prefix=\"xdg\">widget-platform/fontconfig</cachedir>";
  xml += "</fontconfig>";
  FcConfig* config = FcConfigCreate();
  if (config == nullptr) return nullptr;
  if (!FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(xml.c_str()), FcTrue) ||
      !FcConfigBuildFonts(config)) {
    FcConfigDestroy(config);
    return nullptr;
  }
  return config;
}

// The configuration is built once per process and shared by every font map (each
// holds its own reference; fontconfig is safe to use from several threads). Building
// one per measurer cost time on every picture, and a long-lived process that draws
// (the live host) grew with each.
//
// It is also made the process's current configuration, before any font map exists.
// Pango initialises fontconfig's current configuration on a thread of its own when its
// first font map is made, and waits for that before it matches a font, although ours
// is the only configuration it uses: reading the machine's configuration (some sixty
// files) cost every first picture about 4 ms. With ours current, that initialisation
// finds a configuration and does nothing.
FcConfig* privateFontConfig() {
  static FcConfig* const shared = [] {
    FcConfig* config = newFontConfig();
    if (config != nullptr) FcConfigSetCurrent(config);
    return config;
  }();
  return shared;
}

Description describe(const ui::ResolvedFont& font) {
  Description description(pango_font_description_new());
  pango_font_description_set_family(description.get(), std::string(kFontFamily).c_str());
  pango_font_description_set_weight(description.get(), static_cast<PangoWeight>(font.weight));
  pango_font_description_set_style(description.get(), PANGO_STYLE_NORMAL);
  pango_font_description_set_absolute_size(description.get(), font.size * PANGO_SCALE);
  return description;
}

struct FontKey {
  double size;
  int weight;
  friend auto operator<=>(const FontKey&, const FontKey&) = default;
};

struct WidthKey {
  FontKey font;
  std::string text;
  friend auto operator<=>(const WidthKey&, const WidthKey&) = default;
};

// Widths kept per measurer. A layout asks for the same texts again as it proposes
// sizes and places what it measured, each a shaping of its own otherwise; a long-lived
// process that draws many texts starts the widths over when there are this many.
constexpr std::size_t kMostWidths = 4096;

// Whether this thread is the one drawAhead() started.
thread_local bool drawingAheadHere = false;

}  // namespace

struct PangoTextMeasurer::State {
  FontMap fontMap;
  // One context measures and draws: a text is shaped with the fonts it was measured
  // with, at the size it was laid out in, and cairo renders the glyphs at the
  // picture's scale. (A context that took the picture's scale would ask fontconfig
  // for a pattern of each font at that size too, matched anew on threads pango starts
  // and waits for, and load each face twice.)
  Context context;
  Layout layout;
  std::map<FontKey, Description> descriptions;
  std::map<FontKey, ui::FontMetrics> fontMetrics;
  std::map<WidthKey, double> widths;
  bool drewBefore = false;  // whether a line was drawn, or drawAhead() called
  std::atomic<bool> aheadRunning{false};  // set before `ahead` starts, cleared as it ends
  // What drawAhead() started. Declared last, so destroyed first: the pango objects
  // and the flag above outlive the thread that uses them.
  std::optional<foundation::HelperThread> ahead;

  // Every use of the fonts passes here: while drawAhead()'s thread runs, only it may
  // use them (checked in debug builds).
  const PangoFontDescription* description(const ui::ResolvedFont& font) {
    assert(drawingAheadHere || !ahead);
    const FontKey key{font.size, font.weight};
    auto it = descriptions.find(key);
    if (it == descriptions.end()) it = descriptions.emplace(key, describe(font)).first;
    return it->second.get();
  }
  ui::FontMetrics metrics(const ui::ResolvedFont& font);
  double width(std::string_view utf8, const ui::ResolvedFont& font);
  void drawLine(cairo_t* cr, std::string_view utf8, const ui::ResolvedFont& font, double x, double y);
};

namespace {

// The measurers no thread holds: the one prepareInBackground() makes, and those of
// threads that have ended. A thread's first picture takes one of them before it makes
// its own, so that a thread started after another (the next step of a gallery, the next
// drawing thread of a long-lived process) finds its fonts loaded and its font patterns
// matched: pango matches each pattern anew in every font map, on a thread it starts
// and waits for, and loads each face again. There are never more spares than threads
// that drew at once.
class SpareMeasurers {
 public:
  void prepare() {
    const std::lock_guard lock(mutex_);
    if (prepared_) return;
    prepared_ = true;
    try {
      preparing_ = std::async(std::launch::async, [this] {
        if (auto made = PangoTextMeasurer::create()) giveBack(std::move(*made));
      });
    } catch (const std::system_error&) {
      // No thread to spare: the first picture makes its measurer itself.
    }
  }

  std::expected<PangoTextMeasurer, RenderError> take() {
    std::unique_lock lock(mutex_);
    if (spares_.empty() && preparing_.valid()) {
      // Waiting costs less than making another: the two would wait for the same font
      // configuration and the same first face.
      const std::future<void> preparing = std::move(preparing_);
      lock.unlock();
      preparing.wait();
      lock.lock();
    }
    if (!spares_.empty()) {
      PangoTextMeasurer spare = std::move(spares_.back());
      spares_.pop_back();
      return spare;
    }
    lock.unlock();
    return PangoTextMeasurer::create();
  }

  void giveBack(PangoTextMeasurer measurer) {
    const std::lock_guard lock(mutex_);
    spares_.push_back(std::move(measurer));
  }

 private:
  std::mutex mutex_;
  bool prepared_ = false;
  // Declared after the spares, so destroyed first: at exit, a preparation nobody took is
  // waited for before anything it uses goes away.
  std::vector<PangoTextMeasurer> spares_;
  std::future<void> preparing_;
};

SpareMeasurers& spareMeasurers() {
  static SpareMeasurers spares;
  return spares;
}

// A thread's measurer, given back to the spares when the thread ends.
struct ThreadMeasurer {
  std::expected<PangoTextMeasurer, RenderError> measurer = spareMeasurers().take();
  ~ThreadMeasurer() {
    if (measurer) spareMeasurers().giveBack(std::move(*measurer));
  }
};

}  // namespace

std::expected<PangoTextMeasurer*, RenderError> PangoTextMeasurer::forThisThread() {
  thread_local ThreadMeasurer held;
  if (!held.measurer) return std::unexpected(held.measurer.error());
  return &*held.measurer;
}

void PangoTextMeasurer::prepareInBackground() { spareMeasurers().prepare(); }

PangoTextMeasurer::PangoTextMeasurer(std::unique_ptr<State> state) : state_(std::move(state)) {}
PangoTextMeasurer::PangoTextMeasurer(PangoTextMeasurer&&) noexcept = default;
PangoTextMeasurer& PangoTextMeasurer::operator=(PangoTextMeasurer&&) noexcept = default;
PangoTextMeasurer::~PangoTextMeasurer() = default;

namespace {
std::atomic<std::size_t> measurersMade{0};
}  // namespace

std::size_t PangoTextMeasurer::made() { return measurersMade.load(); }

std::expected<PangoTextMeasurer, RenderError> PangoTextMeasurer::create() {
  ++measurersMade;
  auto state = std::make_unique<State>();
  FcConfig* fonts = privateFontConfig();  // before the font map: see privateFontConfig()
  if (fonts == nullptr) {
    return std::unexpected(RenderError{RenderError::Kind::font, "cannot set up the renderer's font configuration"});
  }
  state->fontMap.reset(pango_cairo_font_map_new());
  if (!state->fontMap || !PANGO_IS_FC_FONT_MAP(state->fontMap.get())) {
    return std::unexpected(RenderError{RenderError::Kind::font, "pango has no fontconfig font map"});
  }
  pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(state->fontMap.get()), fonts);  // takes its own reference
  pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(state->fontMap.get()), 72);
  const FontOptions options = unhintedOptions();
  state->context.reset(pango_font_map_create_context(state->fontMap.get()));
  // One language, whatever the process's locale: the metrics a text is laid out with
  // and the runs it is shaped in then ask fontconfig for the same pattern, so a size of
  // text is matched once instead of twice (pango matches each new pattern on two
  // threads it starts and waits for, a few tenths of a millisecond). Runs of other
  // scripts still take their script's language.
  pango_context_set_language(state->context.get(), pango_language_from_string("en"));
  pango_cairo_context_set_font_options(state->context.get(), options.get());
  state->layout.reset(pango_layout_new(state->context.get()));

  // Pango falls back to another face silently; a picture in the wrong face is an error.
  const Description wanted = describe(ui::ResolvedFont{});
  PangoFont* font = pango_font_map_load_font(state->fontMap.get(), state->context.get(), wanted.get());
  bool found = false;
  if (font != nullptr) {
    const Description loaded(pango_font_describe(font));
    const char* family = pango_font_description_get_family(loaded.get());
    found = family != nullptr && ::strcasecmp(family, std::string(kFontFamily).c_str()) == 0;
    g_object_unref(font);
  }
  if (!found) {
    return std::unexpected(
        RenderError{RenderError::Kind::font, "the face \"" + std::string(kFontFamily) + "\" is not installed in " +
                                                 std::string(kFontPackages[0].folder) + " (Debian package " +
                                                 std::string(kFontPackages[0].package) + ")"});
  }
  return PangoTextMeasurer(std::move(state));
}

PangoTextMeasurer::State& PangoTextMeasurer::settled() {
  state_->ahead.reset();  // joins the thread drawing ahead, if one is
  return *state_;
}

ui::FontMetrics PangoTextMeasurer::metrics(const ui::ResolvedFont& font) { return settled().metrics(font); }

ui::FontMetrics PangoTextMeasurer::State::metrics(const ui::ResolvedFont& font) {
  const FontKey key{font.size, font.weight};
  if (const auto it = fontMetrics.find(key); it != fontMetrics.end()) return it->second;
  // The ascent and descent of the face the font loads, from harfbuzz's extents, which
  // is where pango takes them from too. pango_context_get_metrics() gives the same two
  // but also shapes a sample text for average character widths, which nothing here
  // reads: a millisecond and a half of a first picture, spent before it can be laid out.
  PangoFont* loaded = pango_font_map_load_font(fontMap.get(), context.get(), description(font));
  hb_font_t* shaped = loaded == nullptr ? nullptr : pango_font_get_hb_font(loaded);
  ui::FontMetrics out;
  if (shaped != nullptr) {
    hb_font_extents_t extents{};
    hb_font_get_extents_for_direction(shaped, HB_DIRECTION_LTR, &extents);
    out = ui::FontMetrics{static_cast<double>(extents.ascender) / PANGO_SCALE,
                          static_cast<double>(-extents.descender) / PANGO_SCALE};
  } else {
    PangoFontMetrics* found = pango_context_get_metrics(context.get(), description(font), nullptr);
    out = ui::FontMetrics{static_cast<double>(pango_font_metrics_get_ascent(found)) / PANGO_SCALE,
                          static_cast<double>(pango_font_metrics_get_descent(found)) / PANGO_SCALE};
    pango_font_metrics_unref(found);
  }
  if (loaded != nullptr) g_object_unref(loaded);
  fontMetrics.emplace(key, out);
  return out;
}

namespace {

// Pango ends a text at its first NUL whatever length it is given; a NUL draws as
// nothing, so the text is handed over without them and the rest is drawn whole.
void setText(PangoLayout* layout, std::string_view utf8) {
  if (utf8.find('\0') == std::string_view::npos) {
    pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
    return;
  }
  std::string text(utf8);
  std::erase(text, '\0');
  pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
}

}  // namespace

double PangoTextMeasurer::width(std::string_view utf8, const ui::ResolvedFont& font) {
  if (utf8.empty()) return 0;
  return settled().width(utf8, font);
}

double PangoTextMeasurer::State::width(std::string_view utf8, const ui::ResolvedFont& font) {
  WidthKey key{FontKey{font.size, font.weight}, std::string(utf8)};
  if (const auto it = widths.find(key); it != widths.end()) return it->second;
  double out = 0;
  if (const auto line = ShapedLine::shape(context.get(), utf8, description(font))) {
    out = static_cast<double>(line->width()) / PANGO_SCALE;
  } else {
    pango_layout_set_font_description(layout.get(), description(font));
    setText(layout.get(), utf8);
    PangoRectangle logical{};
    pango_layout_get_extents(layout.get(), nullptr, &logical);
    out = static_cast<double>(logical.width) / PANGO_SCALE;
  }
  if (widths.size() >= kMostWidths) widths.clear();
  widths.emplace(std::move(key), out);
  return out;
}

int PangoTextMeasurer::missingGlyphs(std::string_view utf8, const ui::ResolvedFont& font) {
  settled();
  if (const auto line = ShapedLine::shape(state_->context.get(), utf8, state_->description(font))) {
    return line->unknownGlyphs();
  }
  PangoLayout* layout = state_->layout.get();
  pango_layout_set_font_description(layout, state_->description(font));
  setText(layout, utf8);
  return pango_layout_get_unknown_glyphs_count(layout);
}

void PangoTextMeasurer::drawLine(cairo_t* cr, std::string_view utf8, const ui::ResolvedFont& font, double x, double y) {
  settled().drawLine(cr, utf8, font, x, y);
}

void PangoTextMeasurer::State::drawLine(cairo_t* cr, std::string_view utf8, const ui::ResolvedFont& font, double x,
                                        double y) {
  if (utf8.empty()) return;
  drewBefore = true;
  // The baseline lies the font's ascent below the top of the line box.
  const double baseline = y + metrics(font).ascent;
  if (const auto line = ShapedLine::shape(context.get(), utf8, description(font))) {
    line->draw(cr, x, baseline);
    return;
  }
  const Layout whole(pango_layout_new(context.get()));
  pango_layout_set_font_description(whole.get(), description(font));
  setText(whole.get(), utf8);
  // Placed so that its first line's baseline falls where a single line's would.
  cairo_move_to(cr, x, baseline - static_cast<double>(pango_layout_get_baseline(whole.get())) / PANGO_SCALE);
  pango_cairo_show_layout(cr, whole.get());
}

void PangoTextMeasurer::drawAhead(std::vector<Line> lines, double xScale, double yScale) {
  State& state = settled();
  // After a first drawing most of what the next one needs is in the caches already.
  if (lines.empty() || state.drewBefore) return;
  state.drewBefore = true;
  auto draw = [&state, lines = std::move(lines), xScale, yScale] {
    drawingAheadHere = true;
    // Each line at the top left of a scratch picture as large as the largest line:
    // where a line sits does not change its glyphs, and a glyph that falls outside a
    // picture is never rendered.
    try {
      double widest = 0;
      double tallest = 0;
      for (const Line& line : lines) {
        const ui::FontMetrics vertical = state.metrics(line.font);
        widest = std::max(widest, line.width);
        tallest = std::max(tallest, vertical.ascent + vertical.descent);
      }
      const auto pixels = [](double points, double scale) {
        constexpr int kLargest = 8192;  // pixels a side; a picture is far smaller
        return std::clamp(static_cast<int>(std::ceil(points * scale)) + 2, 1, kLargest);
      };
      const std::unique_ptr<cairo_surface_t, Deleter<cairo_surface_t, cairo_surface_destroy>> scratch(
          cairo_image_surface_create(CAIRO_FORMAT_A8, pixels(widest, xScale), pixels(tallest, yScale)));
      const std::unique_ptr<cairo_t, Deleter<cairo_t, cairo_destroy>> cr(cairo_create(scratch.get()));
      cairo_scale(cr.get(), xScale, yScale);
      for (const Line& line : lines) state.drawLine(cr.get(), line.text, line.font, 0, 0);
    } catch (const std::bad_alloc&) {
      // Out of memory: what was not drawn ahead is drawn cold, and fails there if it must.
    }
    state.aheadRunning.store(false, std::memory_order_release);
  };
  try {
    state.aheadRunning.store(true, std::memory_order_release);
    state.ahead.emplace(std::move(draw));
  } catch (const std::system_error&) {
    state.aheadRunning.store(false, std::memory_order_release);
    // No thread to spare: the lines are drawn cold, when they are drawn.
  }
}

bool PangoTextMeasurer::drawingAhead() const { return state_->aheadRunning.load(std::memory_order_acquire); }

}  // namespace render
