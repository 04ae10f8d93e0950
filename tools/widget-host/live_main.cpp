// widget-host-live: the live host that `widget-host serve`, `watch` and `reload`
// become once widget-host has read their options and found the extension (see
// live_commands.h). Its exit statuses are widget-host's (host_error.h).
#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <thread>

#include "large_blocks.h"
#include "live_host.h"
#include "live_server.h"
#include "picture_options.h"
#include "platform/foundation/user_defaults.h"
#include "platform/ui/tree_outline.h"
#include "result_text.h"
#include "runtime_file.h"
#include "shipped_file.h"

namespace {

using namespace host;

int fail(const std::string& mode, const HostError& error) {
  std::cerr << "widget-host: " << mode << ": " << error.message << std::endl;
  return static_cast<int>(error.code);
}

struct Arguments {
  std::string mode;
  LiveOptions live;
  std::string locale;
  std::string device;
  std::string textSize;
  std::int64_t timeoutMilliseconds = 10'000;
  int port = 0;
  std::string bind = "127.0.0.1";
};

// `widget-host reload`: asks the live host of this preferences folder to reload.
int reload(const Arguments& arguments) {
  auto file = runtimeFilePath(foundation::UserDefaults::preferencesFolder());
  if (!file) return fail("reload", file.error());
  auto address = readRuntimeFile(*file);
  if (!address) return fail("reload", address.error());
  httplib::Client client(address->host, address->port);
  client.set_connection_timeout(5);
  client.set_read_timeout(arguments.timeoutMilliseconds / 1000 + 5);
  const Json body = {{"kind", arguments.live.kind}, {"reason", "widget-host reload"}};
  auto answer = client.Post("/api/reload", {{"X-Widget-Host-Token", address->token}}, body.dump(), "application/json");
  if (!answer) {
    return fail("reload", {ExitCode::unavailable, "the live host at " + address->url +
                                                      " does not answer: " + httplib::to_string(answer.error())});
  }
  const Json result = Json::parse(answer->body, nullptr, false);
  if (answer->status == 200 && result.is_object() && result.contains("ignored")) {
    std::cerr << "widget-host: reload: ignored: " << result["ignored"].get<std::string>() << std::endl;
    return 0;
  }
  if (answer->status != 200) {
    const std::string why = result.is_object() ? result.value("error", answer->body) : answer->body;
    return fail("reload", {ExitCode::unavailable, "the live host could not reload: " + why});
  }
  return 0;
}

// `serve` and `watch`: a live host until SIGINT or SIGTERM.
int live(Arguments arguments) {
  sigset_t endings;
  sigemptyset(&endings);
  sigaddset(&endings, SIGINT);
  sigaddset(&endings, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &endings, nullptr);  // every thread made below inherits it
  ::signal(SIGPIPE, SIG_IGN);

  arguments.live.extension.timeLimit = std::chrono::milliseconds(arguments.timeoutMilliseconds);
  if (!arguments.locale.empty()) arguments.live.locale = arguments.locale;
  arguments.live.variant = variantOf(arguments.device, arguments.textSize, arguments.locale);
  const bool watching = arguments.mode == "watch";
  if (watching) arguments.bind = "127.0.0.1";

  auto file = runtimeFilePath(foundation::UserDefaults::preferencesFolder());
  if (!file) return fail(arguments.mode, file.error());
  std::string noPictures;
  std::optional<PictureRenderer> renderer;
  if (!watching) {
    auto loaded = PictureRenderer::load(runningExecutableFolder() / "widget-host-render.so");
    if (loaded)
      renderer.emplace(std::move(*loaded));
    else
      noPictures = loaded.error().message;
  }

  LiveServer* server = nullptr;
  LiveHost host(arguments.live, renderer ? &*renderer : nullptr, noPictures, [&](const LiveEvent& event) {
    if (server != nullptr) server->publish(event);
    if (!watching) return;
    if (event.name == "timeline") {
      auto text = entriesText(event.data);
      std::cout << "--- " << event.time << " " << event.reason << "\n"
                << (text ? *text : text.error().message + "\n") << std::flush;
      for (const Json& note : event.data.value("notes", Json::array()))
        std::cout << "note: " << ui::withControlsEscaped(note.get<std::string>()) << "\n";
      std::cout << std::flush;
    } else if (event.name == "activity") {
      std::cout << event.time << " " << event.reason << ": activity " << event.data.value("id", std::string()) << " "
                << event.data.value("state", std::string()) << std::endl;
    } else if (event.name == "preferences") {
      std::cerr << "widget-host: watch: " << event.time
                << " the stored preset changed; the timeline stays until timelines are reloaded" << std::endl;
    } else if (event.name == "extension") {
      std::cerr << "widget-host: watch: " << event.time << " extension " << event.data.dump() << std::endl;
    }
  });
  const std::string token = newToken();
  LiveServer liveServer(host, token);
  auto port = liveServer.bind(arguments.bind, arguments.port);
  if (!port) return fail(arguments.mode, port.error());
  server = &liveServer;
  const std::string url = "http://" + arguments.bind + ":" + std::to_string(*port) + "/";
  if (auto written = writeRuntimeFile(*file, LiveAddress{url, arguments.bind, *port, token, ::getpid()}); !written) {
    return fail(arguments.mode, written.error());
  }
  if (arguments.bind != "127.0.0.1" && arguments.bind != "::1") {
    std::cerr << "widget-host: serve: warning: listening on " << arguments.bind
              << ", which other machines may reach; the token and the Host check still apply" << std::endl;
  }
  host.start();
  std::thread serving([&] { liveServer.run(); });
  if (!watching) std::cout << url << std::endl;

  int signal = 0;
  sigwait(&endings, &signal);
  liveServer.stop();
  serving.join();
  host.stop();
  std::error_code ignored;
  std::filesystem::remove(*file, ignored);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  host::keepLargeBlocksInHeap();
  CLI::App app{"The live widget host (run by widget-host serve, watch and reload)", "widget-host-live"};
  Arguments arguments;
  std::string extension;
  app.add_option("mode", arguments.mode)->required()->check(CLI::IsMember({"serve", "watch", "reload"}));
  app.add_option("--extension", extension);
  app.add_option("--timeout-ms", arguments.timeoutMilliseconds);
  app.add_option("--kind", arguments.live.kind);
  app.add_option("--family", arguments.live.family);
  app.add_option("--locale", arguments.locale);
  addVariantOptions(app, arguments.device, arguments.textSize);
  app.add_option("--port", arguments.port);
  app.add_option("--bind", arguments.bind);
  app.add_flag("--reload-on-change", arguments.live.reloadOnChange);
  CLI11_PARSE(app, argc, argv);
  arguments.live.extension.executable = extension;
  try {
    return arguments.mode == "reload" ? reload(arguments) : live(std::move(arguments));
  } catch (const std::exception& error) {
    return fail(arguments.mode, {ExitCode::internal, error.what()});
  }
}
