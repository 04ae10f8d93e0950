#include "live_commands.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "picture_options.h"
#include "quoted_text.h"

namespace host {

namespace {

struct LiveCommandOptions {
  std::string kind = "com.lumaro.TulWidget";
  std::string family = "systemSmall";
  std::string locale;
  int port = 0;
  std::string bind = "127.0.0.1";
  bool reloadOnChange = false;
  std::string device;    // empty: the default phone
  std::string textSize;  // empty: the default text size
};

// Becomes widget-host-live with `arguments`; returns only when that fails.
HostError becomeLiveHost(const std::filesystem::path& program, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), program.string());
  std::vector<char*> argv;
  for (std::string& each : arguments) argv.push_back(each.data());
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  return HostError{ExitCode::unavailable,
                   "cannot start the live host " + inQuotes(program.string()) + ": " + std::strerror(errno)};
}

}  // namespace

void addLiveCommand(CLI::App& command, LiveCommandHooks hooks) {
  auto options = std::make_shared<LiveCommandOptions>();
  const auto shared = std::make_shared<LiveCommandHooks>(std::move(hooks));
  const std::string mode = command.get_name();
  const auto run = [options, shared, mode]() -> std::expected<std::string, HostError> {
    std::vector<std::string> arguments{mode, "--kind", options->kind};
    if (mode != "reload") {
      auto extension = shared->extension();
      if (!extension) return std::unexpected(extension.error());
      arguments.insert(arguments.end(), {"--extension", extension->executable.string(), "--timeout-ms",
                                         std::to_string(extension->timeLimit.count()), "--family", options->family,
                                         "--port", std::to_string(options->port), "--bind", options->bind});
      if (!options->locale.empty()) arguments.insert(arguments.end(), {"--locale", options->locale});
      if (options->reloadOnChange) arguments.emplace_back("--reload-on-change");
      if (!options->device.empty()) arguments.insert(arguments.end(), {"--device", options->device});
      if (!options->textSize.empty()) arguments.insert(arguments.end(), {"--text-size", options->textSize});
    }
    return std::unexpected(becomeLiveHost(shared->moduleFolder() / "widget-host-live", arguments));
  };
  command.add_option("--kind", options->kind, "The widget kind")->capture_default_str();
  if (mode != "reload") {
    command.add_option("--family", options->family, "The widget family")->capture_default_str();
    command.add_option("--locale", options->locale, "The language of the texts (default en)");
    command.add_flag("--reload-on-change", options->reloadOnChange, "Reload timelines at every change");
  }
  if (mode == "serve") {
    command.add_option("--port", options->port, "The port (0: a free one)")->check(CLI::Range(0, 65535));
    command.add_option("--bind", options->bind, "The address to listen on")->capture_default_str();
    addVariantOptions(command, options->device, options->textSize);
  }
  command.callback([shared, run, mode] { shared->choose(mode, run); });
}

}  // namespace host
