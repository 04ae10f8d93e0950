// The live host's update path, measured from the outside: a real `widget-host serve`
// on its own preferences folder; for each update this process stores a new preset as
// the host app does and asks for a reload (POST /api/reload with the run's token),
// and times until the `timeline` event arrives on /events (its pictures are drawn
// before it is sent). The floor is the same work in one process: a warm timeline
// request to the extension and a warm drawing of the same tree. Also the serving
// process's resident size over the second tenth of the updates and over the last.
// Writes its figures as JSON for bench_report.
#include <httplib.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "answer_pictures.h"
#include "bench_preset.h"
#include "extension_session.h"
#include "large_blocks.h"
#include "picture_renderer.h"
#include "proc_status.h"
#include "runtime_file.h"
#include "sample_summary.h"
#include "support/child_process.h"
#include "support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::microseconds;
using bench::summary;

// Counts the `timeline` events that arrive on /events.
class TimelineEvents {
 public:
  explicit TimelineEvents(int port)
      : client_("127.0.0.1", port), thread_([this] {
          client_.set_read_timeout(120);
          client_.Get("/events", [this](const char* data, std::size_t size) {
            std::lock_guard lock(mutex_);
            buffer_.append(data, size);
            for (std::size_t at; (at = buffer_.find("event: timeline\n")) != std::string::npos;) {
              buffer_.erase(0, at + 16);
              ++count_;
            }
            if (buffer_.size() > 16) buffer_.erase(0, buffer_.size() - 16);
            changed_.notify_all();
            return !stopping_;
          });
        }) {}
  ~TimelineEvents() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    client_.stop();
    thread_.join();
  }

  std::size_t count() {
    std::lock_guard lock(mutex_);
    return count_;
  }
  bool waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return count_ >= count; });
  }

 private:
  httplib::Client client_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string buffer_;
  std::size_t count_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

int fail(const std::string& message) {
  std::cerr << "live_driver: " << message << std::endl;
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Measures the live host's update path against its in-process floor"};
  std::string host;
  std::string extension;
  std::string renderModule;
  std::string out;
  int updates = 300;
  app.add_option("--host", host, "widget-host")->required();
  app.add_option("--extension", extension, "the extension's executable")->required();
  app.add_option("--render-module", renderModule, "widget-host-render.so")->required();
  app.add_option("--updates", updates, "how many updates")->check(CLI::Range(10, 100000));
  app.add_option("--out", out, "the JSON file to write")->required();
  CLI11_PARSE(app, argc, argv);
  // The floor draws with the heap the live host draws with.
  host::keepLargeBlocksInHeap();

  const tul::testing::TempFolder preferences("live-driver");
  if (auto stored = bench::storePresetIn(preferences.path()); !stored) return fail(stored.error());
  auto serving =
      tul::testing::ChildProcess::start({host, "--extension", extension, "serve", "--port", "0"}, {{}, true});
  if (!serving) return fail(serving.error());
  if (!serving->readLine()) return fail("widget-host serve printed no address: " + serving->errorOutput());
  auto file = host::runtimeFilePath(preferences.path());
  if (!file) return fail(file.error().message);
  auto address = host::readRuntimeFile(*file);
  if (!address) return fail(address.error().message);

  std::vector<double> live;
  // The resident size, sampled every `every` updates. It moves by a megabyte or so from
  // one sample to the next (the drawing threads' heaps), so growth is judged on the
  // median of the samples over the second tenth of the updates (after the first
  // tenth has warmed every cache) and over the last tenth.
  const int every = std::max(1, updates / 200);
  std::vector<double> earlyKiB;
  std::vector<double> lateKiB;
  {
    TimelineEvents events(address->port);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // subscribed
    httplib::Client client(address->host, address->port);
    const httplib::Headers token{{"X-Widget-Host-Token", address->token}};
    tul::MiniMelody melody = bench::benchPreset();
    for (int i = 0; i < updates; ++i) {
      const std::size_t seen = events.count();
      melody.bpm = 40 + i % 160;
      const auto start = Clock::now();
      melody.saveShared();
      const auto reloaded = client.Post("/api/reload", token, "{}", "application/json");
      if (!reloaded || reloaded->status != 200) return fail("the reload was refused");
      if (!events.waitFor(seen + 1)) return fail("no timeline event after a reload");
      live.push_back(microseconds(Clock::now() - start));
      if (i % every != 0) continue;
      const bool inEarly = i >= updates / 10 && i < 2 * (updates / 10);
      const bool inLate = i >= updates - updates / 10;
      if (!inEarly && !inLate) continue;
      if (const auto status = bench::readMemoryStatus(serving->pid())) {
        (inEarly ? earlyKiB : lateKiB).push_back(static_cast<double>(status->residentKiB));
      }
    }
  }
  serving->kill(SIGTERM);
  serving->wait();

  // The floor: the same timeline request and drawing, warm, in this process.
  auto session = host::ExtensionSession::start(host::ExtensionOptions{extension});
  if (!session) return fail(session.error().message);
  auto renderer = host::PictureRenderer::load(renderModule);
  if (!renderer) return fail(renderer.error().message);
  const host::Drawing drawing{*renderer, host::PictureStyle{host::ImageFormat::png, 2, {}},
                              std::filesystem::path(extension).parent_path()};
  const host::Json params = {{"kind", "com.lumaro.TulWidget"}, {"family", "systemSmall"}};
  // A few hundred are enough for its median and tail; the updates run longer for memory.
  std::vector<double> floor;
  for (int i = 0; i < std::min(updates, 500); ++i) {
    const auto start = Clock::now();
    auto timeline = session->request("timeline", params);
    if (!timeline) return fail(timeline.error().message);
    auto pictures = host::drawEntries(*timeline, drawing);
    if (!pictures) return fail(pictures.error().message);
    floor.push_back(microseconds(Clock::now() - start));
  }
  (void)session->finish();

  nlohmann::json figures = {{"updates", updates}, {"live", summary(live)}, {"floor", summary(floor)}};
  if (!earlyKiB.empty() && !lateKiB.empty()) {
    figures["rss_kib"] = {{"early", bench::median(earlyKiB)},
                          {"late", bench::median(lateKiB)},
                          {"samples", {earlyKiB.size(), lateKiB.size()}}};
  }
  std::ofstream(out) << figures.dump(2) << "\n";
  std::cout << figures.dump(2) << std::endl;
  return 0;
}
