// The gallery on widget-host's command line: `gallery --output DIR` (gallery.h) and
// `gallery --matrix` (gallery_matrix.h), with the picture options; --device,
// --text-size and --locale may be given several times for the matrix. And the
// gallery's pictures recorded and checked: `snapshot record DIR` and `snapshot verify
// DIR` (snapshot_command.h).
#pragma once

#include <CLI/CLI.hpp>
#include <expected>
#include <functional>
#include <string>

#include "extension_session.h"
#include "host_error.h"
#include "output_format.h"
#include "picture_renderer.h"

namespace host {

struct GalleryCommandHooks {
  std::function<std::expected<ExtensionOptions, HostError>()> extension;
  std::function<PictureRenderer()> renderer;                      // loaded on first use: see picture_renderer.h
  std::function<std::expected<ImageFormat, HostError>()> format;  // the pictures' format, as --format says
  std::function<void(std::string name, std::function<std::expected<std::string, HostError>()> run)> choose;
};

// Gives the `gallery` command its options and its action.
void addGalleryCommand(CLI::App& gallery, GalleryCommandHooks hooks);

// Adds `record` and `verify` under the `snapshot` command.
void addSnapshotCommands(CLI::App& snapshot, GalleryCommandHooks hooks);

}  // namespace host
