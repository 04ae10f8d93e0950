// The command line of the activity life cycle: `activity start`, `update`, `end`,
// `list`, `show` and `push`, declared under the `activity` command
// (activity_lifecycle.h does the work).
#pragma once

#include <CLI/CLI.hpp>
#include <expected>
#include <functional>
#include <optional>

#include "command.h"
#include "extension_session.h"
#include "output_format.h"
#include "picture_options.h"
#include "picture_renderer.h"

namespace host {

// What the life-cycle commands need of the rest of the command line, read when they
// run: the extension, the output format, and the renderer when drawing.
struct ActivityCommandSetting {
  std::function<std::expected<ExtensionOptions, HostError>()> extension;
  std::function<OutputFormat()> format;
  std::function<std::optional<PictureRenderer>(bool laysOut)> renderer;  // laysOut: for JSON with problems
  PictureOptions& pictures;
};

// Declares the subcommands on `activity`; the one parsed is put in `chosen`. The
// setting must outlive the parse and the command's run.
void addActivityLifecycleCommands(CLI::App& activity, const ActivityCommandSetting& setting,
                                  std::optional<Command>& chosen);

}  // namespace host
