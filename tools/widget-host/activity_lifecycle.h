// Activity life cycle: `activity start|update|end|list|show|push`, the host app's side
// of a Live Activity run by the platform (platform/activitykit): each command checks
// the coded records through the extension (they decode, and are at most 4,096 bytes
// as given and as the extension's own encoder writes them again), then changes the
// shared activity store in one transaction, or shows what the store holds.
//
// The clock is `--now` when given, else the system's. An update or end that the
// platform's rules ignore is no failure: the command prints nothing on standard
// output (text) or `"applied": false` with the reason (JSON), says why on standard
// error, and succeeds.
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

struct LifecycleOptions {
  std::string id;
  std::string attributesFile;
  std::string stateFile;  // empty: none given
  std::string payloadFile;
  std::optional<std::string> now;
  std::optional<std::string> staleDate;
  std::optional<std::string> timestamp;
  std::optional<std::string> dismissalPolicy;
  std::optional<double> relevanceScore;
  std::optional<std::string> attributesType;
  std::string presentation = "all";
  std::optional<std::string> locale;
};

using LifecycleResult = std::expected<std::string, HostError>;

LifecycleResult activityStart(const ExtensionOptions& extension, const LifecycleOptions& options, OutputFormat format);
LifecycleResult activityUpdate(const ExtensionOptions& extension, const LifecycleOptions& options, OutputFormat format);
LifecycleResult activityEnd(const ExtensionOptions& extension, const LifecycleOptions& options, OutputFormat format);
// `activity push FILE` (no `id`: a start payload) or `activity push ID FILE` (an update
// or end payload), push_payload.h.
LifecycleResult activityPush(const ExtensionOptions& extension, const LifecycleOptions& options, OutputFormat format);
LifecycleResult activityList(const LifecycleOptions& options, OutputFormat format);
LifecycleResult activityShow(const ExtensionOptions& extension, const LifecycleOptions& options, OutputFormat format,
                             const PictureOutput& pictures, const PictureRenderer* renderer);

}  // namespace host
