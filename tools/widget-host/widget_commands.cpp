#include "widget_commands.h"

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
  return Drawing{*renderer, PictureStyle{*image, pictures.scale}, extension.executable.parent_path()};
}

// Writes drawn pictures: one to the output path, several to suffixed paths. Returns
// the list of files written.
std::expected<std::string, HostError> writePictures(std::expected<std::vector<NamedPicture>, HostError> pictures,
                                                    const PictureOutput& output) {
  if (!pictures) return std::unexpected(pictures.error());
  std::vector<OutputFile> files;
  for (NamedPicture& named : *pictures) {
    const auto path = pictures->size() == 1 ? output.path : suffixedPath(output.path, named.name);
    files.push_back(OutputFile{path, std::move(named.picture.bytes)});
  }
  if (auto written = writeOutputFiles(files, output.overwrite); !written) return std::unexpected(written.error());
  return writtenFilesText(files);
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
  const auto drawing = drawingFor(extension, format, pictures, renderer);
  if (!drawing) return std::unexpected(drawing.error());
  Json context = Json::object();
  if (request.preview) context["isPreview"] = true;
  if (request.locale) context["locale"] = *request.locale;
  Json params = {{"kind", request.kind}, {"family", request.family}};
  if (!context.empty()) params["context"] = std::move(context);
  auto result = callExtension(extension, request.method, params);
  if (!result) return std::unexpected(result.error());
  if (*drawing) return writePictures(drawEntries(*result, **drawing), pictures);
  return format == OutputFormat::json ? jsonOutput(*result) : entriesText(*result);
}

std::expected<std::string, HostError> activityCommand(const ExtensionOptions& extension, const ActivityRequest& request,
                                                      OutputFormat format, const PictureOutput& pictures,
                                                      const PictureRenderer* renderer) {
  const auto drawing = drawingFor(extension, format, pictures, renderer);
  if (!drawing) return std::unexpected(drawing.error());
  if (request.attributesFile == "-" && request.stateFile == "-") {
    return std::unexpected(HostError{ExitCode::usage, "only one of --attributes and --state can be standard input"});
  }
  constexpr std::size_t kMaxRecordBytes = ExtensionSession::kMaxRequestBytes;
  auto attributes = readInputFile(request.attributesFile, "attributes file", kMaxRecordBytes);
  if (!attributes) return std::unexpected(attributes.error());
  auto state = readInputFile(request.stateFile, "state file", kMaxRecordBytes);
  if (!state) return std::unexpected(state.error());
  Json params = {{"attributes", foundation::base64Encoded(*attributes)},
                 {"state", foundation::base64Encoded(*state)},
                 {"presentation", request.presentation}};
  if (request.attributesType) params["attributesType"] = *request.attributesType;
  if (request.locale) params["locale"] = *request.locale;
  auto result = callExtension(extension, "activity", params, RecordSources{request.attributesFile, request.stateFile});
  if (!result) return std::unexpected(result.error());
  if (*drawing) return writePictures(drawPresentations(*result, **drawing), pictures);
  return format == OutputFormat::json ? jsonOutput(*result) : activityText(*result);
}

}  // namespace host
