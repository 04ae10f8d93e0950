#include "widget_commands.h"

#include <iostream>
#include <optional>
#include <vector>

#include "answer_pictures.h"
#include "input_file.h"
#include "platform/foundation/data.h"
#include "result_text.h"

namespace host {

namespace {

std::string jsonOutput(const Json& json) { return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n"; }

// How to draw the answer of `extension` in `format`; none for text and JSON. Its
// bundle holds the images that its views name.
std::expected<std::optional<Drawing>, HostError> drawingFor(const ExtensionOptions& extension, OutputFormat format,
                                                            const PictureOutput& pictures,
                                                            const PictureRenderer* renderer) {
  const auto image = imageFormat(format);
  if (!image) return std::nullopt;
  if (renderer == nullptr) return std::unexpected(HostError{ExitCode::internal, "no renderer to draw with"});
  return Drawing{*renderer, PictureStyle{*image, pictures.scale, pictures.variant}, extension.executable.parent_path()};
}

// Writes drawn pictures: one to the output path, several to suffixed paths. Returns
// the list of files written.
std::expected<std::string, HostError> writePictures(std::expected<std::vector<NamedPicture>, HostError> pictures,
                                                    const PictureOutput& output) {
  if (!pictures) return std::unexpected(pictures.error());
  std::vector<OutputFile> files;
  std::vector<WrittenPicture> written;
  for (NamedPicture& named : *pictures) {
    const auto path = pictures->size() == 1 ? output.path : suffixedPath(output.path, named.name);
    files.push_back(OutputFile{path, std::move(named.picture.bytes)});
    written.push_back(WrittenPicture{path, std::move(named.picture.problems)});
  }
  if (auto placed = writeOutputFiles(files, output.overwrite); !placed) return std::unexpected(placed.error());
  if (auto fits = reportProblems(written, output.strict); !fits) {
    std::cout << writtenFilesText(files) << std::flush;  // they were written all the same
    return std::unexpected(fits.error());
  }
  return writtenFilesText(files);
}

template <typename Forms>
std::expected<std::string, HostError> withProblems(Json result, const Forms& forms, const ExtensionOptions& extension) {
  if (forms.renderer == nullptr) return std::unexpected(HostError{ExitCode::internal, "no renderer to lay out with"});
  if (auto ready = forms.renderer->ready(); !ready) return std::unexpected(ready.error());
  // Laid out as for a PNG at scale 1: what does not fit does not depend on the scale.
  const Drawing drawing{*forms.renderer, PictureStyle{ImageFormat::png, 1, forms.pictures.variant},
                        extension.executable.parent_path()};
  auto pictures = forms.draw(result, drawing);
  if (!pictures) return std::unexpected(pictures.error());
  Json problems = Json::array();
  for (const NamedPicture& named : *pictures) {
    for (const std::string& problem : named.picture.problems) {
      const std::size_t split = problem.find(": ");
      problems.push_back({{"picture", named.name},
                          {"path", problem.substr(0, split)},
                          {"missing", split == std::string::npos ? "" : problem.substr(split + 2)}});
    }
  }
  const bool fits = problems.empty();
  result["problems"] = std::move(problems);
  std::string shown = jsonOutput(result);
  if (fits || !forms.pictures.strict) return shown;
  std::cout << shown << std::flush;  // shown all the same
  return std::unexpected(HostError{ExitCode::doesNotFit,
                                   std::to_string(result["problems"].size()) +
                                       (result["problems"].size() == 1 ? " view does not fit" : " views do not fit") +
                                       " (--strict)"});
}

// One call to the extension: its method, its parameters, and the files its records
// were read from (for messages about them).
struct Call {
  std::string method;
  Json params;
  std::optional<RecordSources> sources;
};

// The `activity` request for coded records.
Call activityCall(const CodedActivity& activity) {
  Json params = {{"attributes", foundation::base64Encoded(activity.attributes)},
                 {"state", foundation::base64Encoded(activity.state)},
                 {"presentation", activity.presentation}};
  if (activity.attributesType) params["attributesType"] = *activity.attributesType;
  if (activity.locale) params["locale"] = *activity.locale;
  if (activity.isStale) params["isStale"] = true;
  return Call{"activity", std::move(params), activity.sources};
}

// How a command that can draw shows the answer: drawn by `draw` (its pictures written
// to the output) in a picture format, else as JSON or as `text` gives it.
struct AnswerForms {
  OutputFormat format;
  const PictureOutput& pictures;
  const PictureRenderer* renderer;
  std::expected<std::vector<NamedPicture>, HostError> (*draw)(const Json& result, const Drawing& drawing);
  std::expected<std::string, HostError> (*text)(const Json& result);
};

// Makes the call `makeCall()` gives (after checking that the answer can be drawn, if
// it is to be) and shows its answer in `forms`.
template <typename MakeCall>
std::expected<std::string, HostError> drawnCommand(const ExtensionOptions& extension, const AnswerForms& forms,
                                                   MakeCall makeCall) {
  const auto drawing = drawingFor(extension, forms.format, forms.pictures, forms.renderer);
  if (!drawing) return std::unexpected(drawing.error());
  auto call = makeCall();
  if (!call) return std::unexpected(call.error());
  // The answer is drawn, or read back, while the extension exits; it is written or
  // shown only once that exit was clean. The renderer is loaded while the extension
  // starts; the extension is asked only once it has loaded.
  if (*drawing) {
    return writePictures(
        callExtension(
            extension, call->method, call->params, call->sources,
            [&](Json& result) { return forms.draw(result, **drawing); }, [&] { return (*drawing)->renderer.ready(); }),
        forms.pictures);
  }
  // The text reads every view back, and refuses an answer whose views do not; JSON is
  // held to the same check, though it shows the answer as it came.
  struct ReadBack {
    Json result;
    std::string text;
  };
  // JSON with its layout problems needs the renderer too, loaded before the ask.
  const auto renderer = [&]() -> std::expected<void, HostError> {
    if (forms.renderer == nullptr) return {};
    return forms.renderer->ready();
  };
  auto read = callExtension(
      extension, call->method, call->params, call->sources,
      [&](Json& result) -> std::expected<ReadBack, HostError> {
        auto text = forms.text(result);
        if (!text) return std::unexpected(text.error());
        return ReadBack{std::move(result), std::move(*text)};
      },
      renderer);
  if (!read) return std::unexpected(read.error());
  if (forms.format != OutputFormat::json) return std::move(read->text);
  if (!forms.pictures.problemsInJSON) return jsonOutput(read->result);
  return withProblems(std::move(read->result), forms, extension);
}

}  // namespace

std::expected<std::string, HostError> widgetsCommand(const ExtensionOptions& extension,
                                                     const std::optional<std::string>& locale, OutputFormat format) {
  Json params = Json::object();
  if (locale) params["locale"] = *locale;
  auto result = callExtension(extension, "widgets", params);
  if (!result) return std::unexpected(result.error());
  return format == OutputFormat::json ? jsonOutput(*result) : widgetsText(*result);
}

std::expected<std::string, HostError> entriesCommand(const ExtensionOptions& extension, const EntryRequest& request,
                                                     OutputFormat format, const PictureOutput& pictures,
                                                     const PictureRenderer* renderer) {
  const auto call = [&]() -> std::expected<Call, HostError> {
    Json context = Json::object();
    if (request.preview) context["isPreview"] = true;
    if (request.locale) context["locale"] = *request.locale;
    Json params = {{"kind", request.kind}, {"family", request.family}};
    if (!context.empty()) params["context"] = std::move(context);
    return Call{request.method, std::move(params), std::nullopt};
  };
  return drawnCommand(extension, AnswerForms{format, pictures, renderer, drawEntries, entriesText}, call);
}

std::expected<std::string, HostError> activityCommand(const ExtensionOptions& extension, const ActivityRequest& request,
                                                      OutputFormat format, const PictureOutput& pictures,
                                                      const PictureRenderer* renderer) {
  const auto call = [&]() -> std::expected<Call, HostError> {
    if (request.attributesFile == "-" && request.stateFile == "-") {
      return std::unexpected(HostError{ExitCode::usage, "only one of --attributes and --state can be standard input"});
    }
    constexpr std::size_t kMaxRecordBytes = ExtensionSession::kMaxRequestBytes;
    auto attributes = readInputFile(request.attributesFile, "attributes file", kMaxRecordBytes);
    if (!attributes) return std::unexpected(attributes.error());
    auto state = readInputFile(request.stateFile, "state file", kMaxRecordBytes);
    if (!state) return std::unexpected(state.error());
    return activityCall(CodedActivity{std::move(*attributes), std::move(*state),
                                      RecordSources{request.attributesFile, request.stateFile}, request.presentation,
                                      request.attributesType, request.locale, false});
  };
  return drawnCommand(extension, AnswerForms{format, pictures, renderer, drawPresentations, activityText}, call);
}

std::expected<std::string, HostError> codedActivityCommand(const ExtensionOptions& extension,
                                                           const CodedActivity& activity, OutputFormat format,
                                                           const PictureOutput& pictures,
                                                           const PictureRenderer* renderer) {
  const auto call = [&]() -> std::expected<Call, HostError> { return activityCall(activity); };
  const auto draw = activity.isStale ? drawStalePresentations : drawPresentations;
  return drawnCommand(extension, AnswerForms{format, pictures, renderer, draw, activityText}, call);
}

}  // namespace host
