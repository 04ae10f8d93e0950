// Widget commands: the commands that ask the extension (widgets, placeholder,
// snapshot, timeline, activity). Each starts the extension, sends one request, reads
// the answer, closes the extension's input and reaps it, and only then shows the
// result, so that a failure at any step gives one error and no output
// (extension_session.h says which).
//
// The result shows as text or JSON on standard output, or, for the commands that
// answer with views and --format png or svg, as pictures of what the phone shows,
// written where output_files.h says; the command then prints the files it wrote.
#pragma once

#include <expected>
#include <optional>
#include <string>

#include "extension_session.h"
#include "host_error.h"
#include "output_files.h"
#include "output_format.h"
#include "picture_renderer.h"

namespace host {

// `placeholder`, `snapshot` or `timeline` for one widget kind and family.
struct EntryRequest {
  std::string method;  // "placeholder", "snapshot" or "timeline"
  std::string kind = "com.lumaro.TulWidget";
  std::string family = "systemSmall";
  bool preview = false;
  std::optional<std::string> locale;
};

// `activity`: coded attributes and state read from files ("-": standard input).
struct ActivityRequest {
  std::string attributesFile;
  std::string stateFile;
  std::string presentation = "all";
  std::optional<std::string> attributesType;
  std::optional<std::string> locale;
};

// `activity` for coded records in hand (a stored activity's), named by `sources` in
// messages; its presentations are built stale when `isStale`.
struct CodedActivity {
  std::string attributes;
  std::string state;
  RecordSources sources;
  std::string presentation = "all";
  std::optional<std::string> attributesType;
  std::optional<std::string> locale;
  bool isStale = false;
};

std::expected<std::string, HostError> widgetsCommand(const ExtensionOptions& extension,
                                                     const std::optional<std::string>& locale, OutputFormat format);

// `pictures` and `renderer` are used for png and svg only, which need a renderer
// (without one they fail as an internal fault).
std::expected<std::string, HostError> entriesCommand(const ExtensionOptions& extension, const EntryRequest& request,
                                                     OutputFormat format, const PictureOutput& pictures = {},
                                                     const PictureRenderer* renderer = nullptr);

std::expected<std::string, HostError> activityCommand(const ExtensionOptions& extension, const ActivityRequest& request,
                                                      OutputFormat format, const PictureOutput& pictures = {},
                                                      const PictureRenderer* renderer = nullptr);

std::expected<std::string, HostError> codedActivityCommand(const ExtensionOptions& extension,
                                                           const CodedActivity& activity, OutputFormat format,
                                                           const PictureOutput& pictures = {},
                                                           const PictureRenderer* renderer = nullptr);

}  // namespace host
