#include "gallery.h"

#include <algorithm>
#include <iostream>
#include <system_error>
#include <vector>

#include "gallery_page.h"
#include "output_files.h"
#include "parallel_drawing.h"
#include "platform/activitykit/activity_store.h"
#include "platform/foundation/data.h"
#include "platform/ui/layout_surface.h"
#include "quoted_text.h"

namespace host {

namespace fs = std::filesystem;

namespace {

// Whether the platform has a store of activities (the gallery does not make one).
bool activitiesStored() {
  std::error_code error;
  return fs::exists(activitykit::ActivityStore::defaultPath(), error);
}

// A row for every activity in the platform's store, as it stands now (none when there
// is no store).
std::expected<GalleryContent, HostError> addStoredActivities(ExtensionSession& session, const Drawing& drawing,
                                                             GalleryContent content) {
  if (!activitiesStored()) return content;
  const fs::path file = activitykit::ActivityStore::defaultPath();
  auto store = activitykit::ActivityStore::open(file);
  if (!store) return std::unexpected(HostError{ExitCode::noInput, store.error().message});
  auto records = store->all();
  if (!records) return std::unexpected(HostError{ExitCode::ioError, records.error().message});
  const foundation::Date now = foundation::Date::now();
  for (const activitykit::ActivityRecord& record : *records) {
    const auto phase = activitykit::phaseAt(record, now);
    const std::string id = record.id.uuidString();
    Json params = {{"attributesType", record.attributesType},
                   {"attributes", foundation::base64Encoded(record.attributes)},
                   {"state", foundation::base64Encoded(record.state)},
                   {"presentation", "all"}};
    if (phase == activitykit::ActivityPhase::stale) params["isStale"] = true;
    auto result = session.request("activity", params, RecordSources{"activity " + id, "activity " + id});
    if (!result) return std::unexpected(result.error());
    auto pictures =
        drawPresentationsAsShown(phase == activitykit::ActivityPhase::stale ? markedStale(*result) : *result, drawing);
    if (!pictures) return std::unexpected(pictures.error());
    GalleryRow row{"Activity " + id + " (" + std::string(activitykit::name(phase)) + ")", "state " + record.state, {}};
    for (NamedPicture& named : *pictures) {
      addPicture(content, row, "activity-" + id + "-" + named.name, spaced(named.name), std::move(named.picture),
                 name(drawing.style.format));
    }
    content.page.rows.push_back(std::move(row));
  }
  return content;
}

// The pictures of one answer, or why it has none: the extension's failure to answer,
// or an answer that breaks the protocol.
using AnswerPictures = std::expected<std::vector<PictureToDraw>, HostError>;

// About how long a picture on `surface` takes to draw, against the others: the widget
// and the lock screen are large platters over a blurred picture, the island's shapes
// small. The longest are drawn first, so that the last to be drawn are short.
int drawingWeight(ui::Surface surface) {
  switch (surface) {
    case ui::Surface::smallWidget:
    case ui::Surface::lockScreen: return 3;
    case ui::Surface::islandExpanded: return 2;
    default: return 1;
  }
}

// Each picture of every answer drawn on `threads` threads, one picture a job; the
// results by answer, in the answers' order. An answer without pictures gets its error
// back. The widget's and the lock screen's pictures come first, the longest first,
// then the island's (whose small shapes use fonts of their own sizes), the longest
// last: one thread draws from each end, the longest first, so that both cores stay
// busy to the end and each set's fonts are loaded mostly on one thread.
std::vector<std::expected<std::vector<NamedPicture>, HostError>> drawAll(const std::vector<AnswerPictures>& answers,
                                                                         const Drawing& drawing, unsigned threads) {
  struct Place {
    std::size_t answer;
    std::size_t picture;
  };
  std::vector<Place> order;
  for (std::size_t a = 0; a < answers.size(); ++a) {
    if (!answers[a]) continue;
    for (std::size_t p = 0; p < answers[a]->size(); ++p) order.push_back({a, p});
  }
  const auto surface = [&](const Place& place) { return (*answers[place.answer])[place.picture].surface; };
  const auto frontFirst = [&](const Place& a, const Place& b) {
    const bool islandA = ui::isIsland(surface(a));
    const bool islandB = ui::isIsland(surface(b));
    if (islandA != islandB) return islandB;
    const int weightA = drawingWeight(surface(a));
    const int weightB = drawingWeight(surface(b));
    return islandA ? weightA < weightB : weightA > weightB;
  };
  std::stable_sort(order.begin(), order.end(), frontFirst);

  std::vector<PictureJob> jobs;
  jobs.reserve(order.size());
  for (const Place& place : order) {
    const PictureToDraw& picture = (*answers[place.answer])[place.picture];
    jobs.emplace_back([&picture, &drawing](bool sideBySide) -> std::expected<std::vector<NamedPicture>, HostError> {
      Drawing side = drawing;
      side.sideBySide = drawing.sideBySide || sideBySide;
      auto drawn = drawPicture(picture, side);
      if (!drawn) return std::unexpected(drawn.error());
      std::vector<NamedPicture> one;
      one.push_back(std::move(*drawn));
      return one;
    });
  }
  auto drawn = drawInParallel(jobs, threads);

  // Back in the answers' order: each answer's pictures, or its first failure.
  std::vector<std::vector<std::expected<std::vector<NamedPicture>, HostError>*>> byAnswer(answers.size());
  for (std::size_t a = 0; a < answers.size(); ++a) {
    if (answers[a]) byAnswer[a].resize(answers[a]->size());
  }
  for (std::size_t j = 0; j < order.size(); ++j) byAnswer[order[j].answer][order[j].picture] = &drawn[j];
  std::vector<std::expected<std::vector<NamedPicture>, HostError>> out;
  for (std::size_t a = 0; a < answers.size(); ++a) {
    if (!answers[a]) {
      out.emplace_back(std::unexpected(answers[a].error()));
      continue;
    }
    std::vector<NamedPicture> named;
    const auto failed = std::find_if(byAnswer[a].begin(), byAnswer[a].end(), [](const auto* one) { return !*one; });
    if (failed != byAnswer[a].end()) {
      out.emplace_back(std::unexpected((**failed).error()));
      continue;
    }
    for (auto* one : byAnswer[a]) named.push_back(std::move((*one)->front()));
    out.emplace_back(std::move(named));
  }
  return out;
}

}  // namespace

std::expected<GalleryContent, HostError> drawGallery(ExtensionSession& session, const Drawing& drawing,
                                                     const std::optional<std::string>& locale, unsigned threads,
                                                     bool lastRequests) {
  const PictureStyle& style = drawing.style;
  const std::string_view extension = name(style.format);
  GalleryContent content;
  content.page.title = "Widget gallery";
  content.page.about = std::string(kGalleryWidgetKind) + ", " + std::string(kGalleryWidgetFamily) + "; " +
                       std::string(extension) + " at scale " + std::to_string(style.scale) + "; activity attributes " +
                       std::string(kGalleryAttributes);

  // Every answer is asked for first, and then all their pictures are drawn together.
  // The requests that store nothing (the placeholder, the snapshot and each activity
  // state) are posted at once, and the renderer is loaded, if it is not yet, while the
  // extension answers them. The timeline, which stores the default preset when none
  // can be read, is asked only once the renderer is ready, so that a gallery that
  // cannot be drawn leaves the store as it was. A failure is the first in this order:
  // the widget's answers, their pictures, then each activity state's answer and
  // pictures; after a state the extension could not answer, no later state is used.
  Json widgetParams = {{"kind", kGalleryWidgetKind}, {"family", kGalleryWidgetFamily}};
  if (locale) widgetParams["context"] = {{"locale", *locale}};
  session.post("placeholder", widgetParams);
  session.post("snapshot", widgetParams);
  for (const GalleryState& state : kGalleryStates) {
    Json params = {{"attributes", foundation::base64Encoded(std::string(kGalleryAttributes))},
                   {"state", foundation::base64Encoded(std::string(state.state))},
                   {"presentation", "all"}};
    if (locale) params["locale"] = *locale;
    session.post("activity", params);
  }
  if (auto loaded = drawing.renderer.ready(); !loaded) return std::unexpected(loaded.error());
  if (lastRequests) session.endRequests();
  session.post("timeline", widgetParams);  // answered while the others' answers are read
  std::vector<std::expected<Json, HostError>> early;
  for (std::size_t i = 0; i < 2 + std::size(kGalleryStates); ++i) early.push_back(session.nextAnswer());

  constexpr const char* kWidgetMethods[] = {"placeholder", "snapshot", "timeline"};
  const std::size_t widgetAnswers = std::size(kWidgetMethods);
  std::vector<AnswerPictures> answers;
  for (std::size_t i = 0; i < 2; ++i) {
    if (!early[i]) return std::unexpected(early[i].error());
    answers.push_back(entryPictures(*early[i]));
  }
  std::vector<AnswerPictures> states;
  for (std::size_t i = 2; i < early.size(); ++i) {
    states.push_back(early[i] ? presentationPictures(*early[i], style, true) : std::unexpected(early[i].error()));
    if (!early[i]) break;
  }
  // An extension that failed on a state, and so ended the session before the
  // timeline's answer, failed on that state: its failure is the gallery's, as when
  // the timeline was asked first.
  const bool endedBefore = !session.usable();
  auto timeline = session.nextAnswer();
  if (!timeline) {
    if (endedBefore && !states.back()) {
      HostError error = states.back().error();
      error.message = "the " + std::string(kGalleryStates[states.size() - 1].name) + " state: " + error.message;
      return std::unexpected(std::move(error));
    }
    return std::unexpected(timeline.error());
  }
  answers.push_back(entryPictures(*timeline));
  for (AnswerPictures& state : states) answers.push_back(std::move(state));
  auto drawn = drawAll(answers, drawing, threads);

  GalleryRow widget{
      "Home-screen widget", "placeholder and snapshot show the default preset; the timeline, the stored one", {}};
  for (std::size_t i = 0; i < widgetAnswers; ++i) {
    if (!drawn[i]) return std::unexpected(drawn[i].error());
    const std::string method = kWidgetMethods[i];
    // A timeline of several entries shows each, numbered.
    const bool only = drawn[i]->size() == 1;
    for (NamedPicture& named : *drawn[i]) {
      addPicture(content, widget, "widget-" + method + (only ? "" : "-" + named.name),
                 method + (only ? "" : " " + named.name), std::move(named.picture), extension);
    }
  }
  content.page.rows.push_back(std::move(widget));

  for (std::size_t i = widgetAnswers; i < drawn.size(); ++i) {
    const GalleryState& state = kGalleryStates[i - widgetAnswers];
    if (!drawn[i]) {
      HostError error = drawn[i].error();
      error.message = "the " + std::string(state.name) + " state: " + error.message;
      return std::unexpected(std::move(error));
    }
    GalleryRow row{std::string(state.title), "state " + std::string(state.state), {}};
    for (NamedPicture& named : *drawn[i]) {
      addPicture(content, row, std::string(state.name) + "-" + named.name, spaced(named.name), std::move(named.picture),
                 extension);
    }
    content.page.rows.push_back(std::move(row));
  }
  return content;
}

namespace {

HostError folderError(const fs::path& folder, const std::string& what) {
  return HostError{ExitCode::cannotCreate, "the gallery folder " + inQuotes(folder.string()) + " " + what};
}

// Whether `folder` exists. Fails when it is something else than a folder, or holds
// anything and `overwrite` is refuse.
std::expected<bool, HostError> checkFolder(const fs::path& folder, foundation::Overwrite overwrite) {
  std::error_code error;
  const fs::file_status status = fs::status(folder, error);
  if (!fs::exists(status)) return false;
  if (!fs::is_directory(status)) return std::unexpected(folderError(folder, "is not a folder"));
  const bool empty = fs::is_empty(folder, error);
  if (error) return std::unexpected(folderError(folder, "cannot be read: " + error.message()));
  if (!empty && overwrite == foundation::Overwrite::refuse) {
    return std::unexpected(folderError(folder, "is not empty (use --force to write the gallery into it)"));
  }
  return true;
}

}  // namespace

std::string spaced(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c == '-') c = ' ';
  }
  return out;
}

void addPicture(GalleryContent& content, GalleryRow& row, const std::string& stem, std::string label, Picture picture,
                std::string_view extension) {
  const std::string file = stem + "." + std::string(extension);
  row.figures.push_back(GalleryFigure{std::move(label), file, picture.width, picture.height, picture.problems});
  content.files.push_back(OutputFile{file, std::move(picture.bytes)});
  content.problems.push_back(WrittenPicture{file, std::move(picture.problems)});
  content.outlines.push_back(OutputFile{stem + ".txt", std::move(picture.outline)});
}

std::expected<std::string, HostError> galleryCommand(const ExtensionOptions& extension, const GalleryOptions& options,
                                                     const PictureRenderer& renderer) {
  return writeGallery(extension, GalleryFolder{options.folder, options.overwrite, options.strict},
                      [&](ExtensionSession& session) -> std::expected<GalleryContent, HostError> {
                        const Drawing drawing{renderer, options.style, extension.executable.parent_path()};
                        // Without stored activities the gallery's own requests are the last.
                        const bool stored = activitiesStored();
                        auto content = drawGallery(session, drawing, options.locale, 0, !stored);
                        if (!content || !stored) return content;
                        return addStoredActivities(session, drawing, std::move(*content));
                      });
}

std::expected<std::string, HostError> writeGallery(
    const ExtensionOptions& extension, const GalleryFolder& options,
    const std::function<std::expected<GalleryContent, HostError>(ExtensionSession&)>& draw) {
  std::error_code error;
  const fs::path folder = fs::absolute(options.folder, error).lexically_normal();
  if (error) return std::unexpected(folderError(options.folder, "has no absolute path: " + error.message()));
  // Checked before the extension is asked, so that a refusal comes at once, and again
  // before writing.
  if (auto usable = checkFolder(folder, options.overwrite); !usable) return std::unexpected(usable.error());

  auto session = ExtensionSession::start(extension);
  if (!session) return std::unexpected(session.error());
  auto content = draw(*session);
  if (!content) return std::unexpected(content.error());
  if (auto finished = session->finish(); !finished) return std::unexpected(finished.error());

  auto exists = checkFolder(folder, options.overwrite);
  if (!exists) return std::unexpected(exists.error());
  const bool made = !*exists;
  if (made) {
    fs::create_directories(folder, error);
    if (error) return std::unexpected(folderError(folder, "cannot be made: " + error.message()));
  }
  std::vector<OutputFile> files = std::move(content->files);
  for (OutputFile& file : files) file.path = folder / file.path;
  files.push_back(OutputFile{folder / "index.html", galleryPageHTML(content->page)});
  if (auto written = writeOutputFiles(files, options.overwrite); !written) {
    if (made) fs::remove(folder, error);  // only if empty again
    return std::unexpected(written.error());
  }
  for (WrittenPicture& picture : content->problems) picture.file = folder / picture.file;
  if (auto fits = reportProblems(content->problems, options.strict); !fits) {
    std::cout << (folder / "index.html").string() << std::endl;  // written all the same
    return std::unexpected(fits.error());
  }
  return (folder / "index.html").string() + "\n";
}

}  // namespace host
