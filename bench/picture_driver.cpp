// picture_driver: what drawing costs once the process is warm, for the pictures'
// figures. In one process, with a real extension and the real drawing module:
//   - the widget's timeline picture drawn again and again (the first drawing, which
//     loads the fonts, not counted): the warm time of one picture;
//   - the gallery's pictures drawn one at a time and on every core (drawGallery, as
//     `widget-host gallery` draws them; a first round not counted): the warm time of
//     the gallery's drawing, against which a cold `widget-host gallery` is measured.
//     With --append-serial, the one-at-a-time times are also appended to a file, so
//     that short runs made in each round of the cold gallery's timing pool theirs.
// Writes its figures as JSON for bench_report.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <vector>

#include "answer_pictures.h"
#include "extension_session.h"
#include "gallery.h"
#include "large_blocks.h"
#include "picture_renderer.h"
#include "sample_summary.h"

namespace {

using Clock = std::chrono::steady_clock;

int fail(const std::string& message) {
  std::cerr << "picture_driver: " << message << std::endl;
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  host::keepLargeBlocksInHeap();  // as widget-host does: the same drawing as its commands
  CLI::App app{"Measures warm drawing: one picture, and the gallery on one thread and on every core"};
  std::string extension;
  std::string renderModule;
  std::string out;
  std::string appendSerial;
  int pictures = 100;
  int galleries = 10;
  app.add_option("--extension", extension, "the extension's executable")->required();
  app.add_option("--render-module", renderModule, "widget-host-render.so")->required();
  app.add_option("--pictures", pictures, "how many timed drawings of one picture")->check(CLI::Range(1, 100000));
  app.add_option("--galleries", galleries, "how many timed drawings of the gallery")->check(CLI::Range(1, 1000));
  app.add_option("--out", out, "the JSON file to write")->required();
  app.add_option("--append-serial", appendSerial,
                 "a file to which each timed drawing of the gallery one picture at a time is appended, in "
                 "microseconds, one per line (so that runs spread over a benchmark's rounds pool theirs)");
  CLI11_PARSE(app, argc, argv);

  auto session = host::ExtensionSession::start(host::ExtensionOptions{extension});
  if (!session) return fail(session.error().message);
  auto renderer = host::PictureRenderer::load(renderModule);
  if (!renderer) return fail(renderer.error().message);
  // As the commands draw by default: PNG at scale 3.
  const host::Drawing drawing{*renderer, host::PictureStyle{host::ImageFormat::png, 3, {}},
                              std::filesystem::path(extension).parent_path()};

  auto timeline = session->request("timeline", {{"kind", "com.lumaro.TulWidget"}, {"family", "systemSmall"}});
  if (!timeline) return fail(timeline.error().message);
  std::vector<double> one;
  for (int i = 0; i <= pictures; ++i) {
    const auto start = Clock::now();
    auto drawn = host::drawEntries(*timeline, drawing);
    if (!drawn || drawn->size() != 1) return fail(drawn ? "the timeline is not one entry" : drawn.error().message);
    if (i > 0) one.push_back(bench::microseconds(Clock::now() - start));
  }

  std::size_t count = 0;
  const auto drawGalleries = [&](unsigned threads) -> std::expected<std::vector<double>, std::string> {
    std::vector<double> times;
    for (int i = 0; i <= galleries; ++i) {
      const auto start = Clock::now();
      auto content = host::drawGallery(*session, drawing, std::nullopt, threads);
      if (!content) return std::unexpected(content.error().message);
      if (i > 0) times.push_back(bench::microseconds(Clock::now() - start));
      count = content->problems.size();
    }
    return times;
  };
  const auto serial = drawGalleries(1);
  if (!serial) return fail(serial.error());
  const auto parallel = drawGalleries(0);
  if (!parallel) return fail(parallel.error());
  (void)session->finish();
  if (!appendSerial.empty()) {
    std::ofstream samples(appendSerial, std::ios::app);
    for (const double each : *serial) samples << each << "\n";
    if (!samples) return fail("cannot append to " + appendSerial);
  }

  const nlohmann::json figures = {{"picture_warm", bench::summary(one)},
                                  {"gallery_pictures", count},
                                  {"gallery_warm_one_thread", bench::summary(*serial)},
                                  {"gallery_warm_every_core", bench::summary(*parallel)}};
  std::ofstream(out) << figures.dump(2) << "\n";
  std::cout << figures.dump(2) << std::endl;
  return 0;
}
