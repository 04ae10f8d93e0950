// Widget commands: the commands that ask the extension (widgets, placeholder,
// snapshot, timeline, activity). Each starts the extension, sends one request, reads
// the answer, closes the extension's input and reaps it, and only then formats the
// result, so that a failure at any step gives one error and no output.
//
// The extension's refusals become errors that say what and where: a record that does
// not decode names the record, its file, the failure's kind, coding path and reason
// (exit code dataError); bad params such as an undeclared family are a usage error;
// any other error answer means the extension is unusable (unavailable).
#pragma once

#include <chrono>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>

#include "host_error.h"
#include "output_format.h"

namespace host {

struct ExtensionOptions {
  std::filesystem::path executable;
  std::chrono::milliseconds timeLimit{10'000};
};

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

std::expected<std::string, HostError> widgetsCommand(const ExtensionOptions& extension,
                                                     const std::optional<std::string>& locale, OutputFormat format);

std::expected<std::string, HostError> entriesCommand(const ExtensionOptions& extension, const EntryRequest& request,
                                                     OutputFormat format);

std::expected<std::string, HostError> activityCommand(const ExtensionOptions& extension, const ActivityRequest& request,
                                                      OutputFormat format);

}  // namespace host
