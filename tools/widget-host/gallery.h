// Gallery: every picture of the widget and the Live Activity in one folder, with an
// index.html that shows them side by side (gallery_page.h).
//
// One extension process answers every request: the placeholder, the snapshot and the
// timeline of the home-screen widget (the timeline reads the stored preset, as on the
// phone), and all five activity presentations for each of kGalleryStates, with the
// attributes kGalleryAttributes. Files:
//   widget-placeholder.png  widget-snapshot.png  widget-timeline.png
//     (widget-timeline-1.png, ... for a timeline of several entries)
//   <state>-<presentation>.png, e.g. playing-lock-screen.png, long-name-minimal.png
//   index.html
// (.svg for --format svg).
//
// Every picture is drawn before anything is written, so a failure writes nothing.
// The folder is made when missing. One that exists and holds anything is refused
// unless --force; with --force the gallery's own files are replaced and every other
// file is left alone. index.html is written last.
#pragma once

#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "answer_pictures.h"
#include "extension_session.h"
#include "gallery_page.h"
#include "host_error.h"
#include "output_files.h"
#include "picture_renderer.h"
#include "platform/foundation/atomic_file.h"

namespace host {

// One activity state the gallery shows, as the host app would code it.
struct GalleryState {
  std::string_view name;   // in file names: "no-melody-name"
  std::string_view title;  // on the page: "No melody name"
  std::string_view state;  // the coded ContentState
};

inline constexpr std::string_view kGalleryWidgetKind = "com.lumaro.TulWidget";
inline constexpr std::string_view kGalleryWidgetFamily = "systemSmall";
inline constexpr std::string_view kGalleryAttributes = R"({"name":"Practice"})";

inline constexpr GalleryState kGalleryStates[] = {
    {"playing", "Playing",
     R"({"tempo":120,"beat":4,"note":4,"melodyName":"Evening set","isPlaying":true,"isAutomated":false})"},
    {"paused", "Paused",
     R"({"tempo":120,"beat":4,"note":4,"melodyName":"Evening set","isPlaying":false,"isAutomated":false})"},
    {"automated", "Automated",
     R"({"tempo":120,"beat":4,"note":4,"melodyName":"Evening set","isPlaying":true,"isAutomated":true})"},
    {"no-melody-name", "No melody name", R"({"tempo":120,"beat":4,"note":4,"isPlaying":true,"isAutomated":false})"},
    {"long-name", "A long name",
     R"({"tempo":120,"beat":4,"note":4,"melodyName":"A very long melody name that cannot fit on one line",)"
     R"("isPlaying":true,"isAutomated":false})"},
};

// A gallery's pictures and page as they will be written, relative to its folder.
struct GalleryContent {
  std::vector<OutputFile> files;
  std::vector<WrittenPicture> problems;  // each picture's, by its file name
  std::vector<OutputFile> outlines;      // each picture's tree, outlined: "<stem>.txt"
  GalleryPage page;
};

// The gallery's pictures and page (see above), drawn from the extension's answers on
// `threads` threads (0: one per core). The renderer is loaded, if it is not yet, while
// the extension answers the requests that store nothing; when it cannot be loaded,
// its failure is returned and the timeline (which may store the default preset) is
// not asked. With `lastRequests`, no request may follow: the extension exits while the
// pictures are drawn.
std::expected<GalleryContent, HostError> drawGallery(ExtensionSession& session, const Drawing& drawing,
                                                     const std::optional<std::string>& locale, unsigned threads = 0,
                                                     bool lastRequests = false);

// A name of file names ("compact-leading") as a label ("compact leading").
std::string spaced(std::string_view name);

// Adds `picture` to the files as "<stem>.<extension>" and to `row` with `label`.
void addPicture(GalleryContent& content, GalleryRow& row, const std::string& stem, std::string label, Picture picture,
                std::string_view extension);

// Where and how a gallery is written.
struct GalleryFolder {
  std::filesystem::path folder;
  foundation::Overwrite overwrite = foundation::Overwrite::refuse;  // --force: replace
  bool strict = false;  // --strict: a picture with something that does not fit fails the command
};

// Checks the folder, starts the extension, has `draw` ask and draw everything (loading
// the renderer, if it is not yet loaded, before anything that stores is asked), and
// only then writes the pictures and index.html
// (nothing when drawing fails) and reports what does not fit. Returns the absolute
// path of index.html and a line end.
std::expected<std::string, HostError> writeGallery(
    const ExtensionOptions& extension, const GalleryFolder& where,
    const std::function<std::expected<GalleryContent, HostError>(ExtensionSession&)>& draw);

struct GalleryOptions {
  std::filesystem::path folder;
  PictureStyle style;
  foundation::Overwrite overwrite = foundation::Overwrite::refuse;  // --force: replace
  bool strict = false;                // --strict: a picture with something that does not fit fails the command
  std::optional<std::string> locale;  // the texts' language; none: the extension's default
};

// Writes the gallery, drawn with `renderer`; returns the absolute path of its
// index.html and a line end. Fails with cannotCreate for a folder that cannot be used
// or written, and as the extension's requests and the drawing fail
// (extension_session.h, answer_pictures.h).
std::expected<std::string, HostError> galleryCommand(const ExtensionOptions& extension, const GalleryOptions& options,
                                                     const PictureRenderer& renderer);

}  // namespace host
