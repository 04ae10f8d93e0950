// The live host's commands on widget-host's command line: `serve` (the page),
// `watch` (the terminal) and `reload` (the host app's call to reload timelines).
// They run in widget-host-live, a program installed beside the drawing module, which
// widget-host becomes (exec) once their options are read: it links the HTTP library,
// which widget-host's own commands never load.
#pragma once

#include <CLI/CLI.hpp>
#include <expected>
#include <filesystem>
#include <functional>
#include <string>

#include "extension_session.h"
#include "host_error.h"

namespace host {

struct LiveCommandHooks {
  std::function<std::expected<ExtensionOptions, HostError>()> extension;
  std::function<std::filesystem::path()> moduleFolder;  // where widget-host-live lies
  std::function<void(std::string name, std::function<std::expected<std::string, HostError>()> run)> choose;
};

// Gives `command`, one of serve, watch and reload, its options and its action.
void addLiveCommand(CLI::App& command, LiveCommandHooks hooks);

}  // namespace host
