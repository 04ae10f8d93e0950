// widget-host's pictures as a user makes them: the installed host draws what the
// installed extension answers and writes PNG and SVG files, which are decoded and
// parsed again here. What each command line prints is kept in full in
// tests/golden/widget-host-pictures-*.txt.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "golden/golden.h"
#include "installed_host.h"
#include "picture_checks.h"
#include "support/files.h"

namespace {

namespace fs = std::filesystem;
using namespace tul::testing;
using ui::Surface;

const std::string kActivity = "activity --attributes $DIR/attributes.json --state $DIR/state.json";

std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Each command once, at one scale each, both formats; a command that draws several
// pictures names one file each after --output (the transcript lists them).
TEST(WidgetHostPicturesGolden, EachCommandDrawsItsSurfaces) {
  const Host host;
  const std::vector<std::pair<std::string, int>> commands = {
      {"placeholder --format png --output $DIR/placeholder.png --scale 1", 1},
      {"snapshot --preview --format svg --output $DIR/snapshot.svg --scale 2", 2},
      {"timeline --format png --output $DIR/timeline.png", 3},
      {kActivity + " --format png --output $DIR/activity.png --scale 2", 2},
      {kActivity + " --presentation compact-leading --format svg --output $DIR/one-compact-leading.svg --scale 3", 3},
      {"timeline --extension $STAND_IN/stand_in_two_entries --format png --output $DIR/entries.png --scale 1", 1},
  };
  std::string shown;
  for (const auto& [line, scale] : commands) {
    const std::string one = transcript(host, {line});
    for (const std::string& listed : split(one, '\n')) {
      if (!listed.starts_with("$DIR/")) continue;  // each picture it wrote is listed
      EXPECT_TRUE(isPicture(host.folder() / listed.substr(5), surfaceOf(listed), scale));
    }
    shown += one;
  }
  expectGolden("widget-host-pictures.txt", shown);
  EXPECT_FALSE(fs::exists(host.folder() / "activity.png"));
  EXPECT_FALSE(fs::exists(host.folder() / "entries.png"));
  // The published size: the widget is 170 points square, 510 pixels at scale 3.
  PixelSize size;
  ASSERT_TRUE(decodePNG(host.folder() / "timeline.png", size));
  EXPECT_EQ(size.width, 510);
  EXPECT_EQ(size.height, 510);
}

// What would lose or leave files is refused, as is an answer that cannot be drawn:
// nothing is written, replaced or left half-done (no temporary files either).
TEST(WidgetHostPicturesGolden, RefusesWhatWouldLoseOrLeaveFiles) {
  const Host host;
  const fs::path out = host.folder() / "out";
  fs::create_directories(out / "a-folder");
  writeFile(out / "taken.png", "someone's picture");
  writeFile(out / "set-minimal.png", "someone else's");
  writeFile(out / "gallery/notes.txt", "keep me");
  std::string shown = transcript(
      host,
      {"timeline --format png", "timeline --output $DIR/out/x.png", "snapshot --format json --scale 2",
       "timeline --format png --output $DIR/out/x.png --scale 4",
       "timeline --format png --output $DIR/out/x.png --scale 2.5", "timeline --format png --output -",
       "widgets --format png", "--format svg defaults read s", "timeline --format png --output $DIR/out/taken.png",
       kActivity + " --format png --output $DIR/out/set.png", "timeline --format svg --output $DIR/out/a-folder",
       "timeline --format svg --output $DIR/out/nowhere/x.svg", "gallery", "gallery --output $DIR/out/g --format text",
       "gallery --output $DIR/out/gallery", "gallery --output $DIR/out/taken.png",
       "placeholder --format png --extension $STAND_IN/stand_in_missing_image --output $DIR/out/p.png",
       "gallery --extension $STAND_IN/stand_in_missing_image --output $DIR/out/drawn",
       "placeholder --format png --extension $STAND_IN/stand_in_unreadable_tree --output $DIR/out/p.png"});
  EXPECT_EQ(namesIn(out), (std::vector<std::string>{"a-folder", "gallery", "set-minimal.png", "taken.png"}));
  EXPECT_TRUE(fs::is_empty(out / "a-folder"));
  EXPECT_EQ(namesIn(out / "gallery"), std::vector<std::string>{"notes.txt"});
  EXPECT_EQ(readFile(out / "taken.png"), "someone's picture");
  EXPECT_EQ(readFile(out / "set-minimal.png"), "someone else's");
  // --force replaces, with the whole new picture.
  shown += transcript(host, {"timeline --format png --output $DIR/out/taken.png --force"});
  expectGolden("widget-host-pictures-refused.txt", shown);
  EXPECT_TRUE(isPicture(out / "taken.png", Surface::smallWidget, 3));
}

// Pictures for another phone, text size and language; and what does not fit, said on
// standard error for each picture and with --strict a failure, the pictures written
// all the same.
TEST(WidgetHostPicturesGolden, PhonesTextSizesLanguagesAndWhatDoesNotFit) {
  const Host host;
  host.file("named.json", R"({"tempo":96,"beat":3,"note":4,"melodyName":"Evening waltz practice",)"
                          R"("isPlaying":true,"isAutomated":false})");
  const std::string named = "activity --attributes $DIR/attributes.json --state $DIR/named.json --format png";
  const std::string shown =
      transcript(host, {"timeline --format png --output $DIR/393.png --device 393",
                        kActivity + " --format png --output $DIR/375.png --device 375 --scale 1",
                        named + " --presentation lock-screen --output $DIR/large.png --strict",
                        named + " --presentation lock-screen --output $DIR/ax5.png --text-size AX5 --strict",
                        "activity --attributes $DIR/attributes.json --state $DIR/named.json --presentation minimal "
                        "--format json --text-size AX5 --strict",
                        "timeline --device 375",
                        kActivity + " --presentation lock-screen --locale ar --format svg --output $DIR/ar.svg",
                        "timeline --format png --output $DIR/x.png --device 12", "timeline --text-size huge",
                        "gallery --output $DIR/g --device 393 --device 375"});
  expectGolden("widget-host-pictures-variants.txt", shown);
  EXPECT_TRUE(isPicture(host.folder() / "ax5.png", Surface::lockScreen, 3));
  PixelSize size;
  ASSERT_TRUE(decodePNG(host.folder() / "393.png", size));
  EXPECT_EQ(size.width, 474);  // 158 points at scale 3
}

// Layout and drawing are the host's work, done by its renderer module: the module
// links cairo and pango, the host itself and the extension neither, so that whatever
// does not draw starts without them.
// A picture's bytes depend on its input only: a user's font configuration (here one
// that emboldens every face) and font cache change nothing.
TEST(WidgetHostPictures, TheSameBytesWhateverTheUsersFontConfiguration) {
  const Host host;
  const auto draw = [&](const std::string& name, const EnvironmentChanges& changes) {
    const fs::path out = host.folder() / name;
    const RunResult made = run({installedHost().string(), "--preferences", host.preferences().string(), "timeline",
                                "--format", "png", "--output", out.string()},
                               "", changes);
    EXPECT_EQ(made.exitCode, 0) << made.err;
    return readFile(out);
  };
  const fs::path home =
      host.file("home/.config/fontconfig/fonts.conf",
                R"(<?xml version="1.0"?><fontconfig><match target="font">)"
                R"(<edit name="embolden" mode="assign"><bool>true</bool></edit></match></fontconfig>)")
          .parent_path()
          .parent_path()
          .parent_path();
  const std::string plain = draw("plain.png", {});
  EXPECT_TRUE(plain == draw("mine.png", {{"HOME", home.string()},
                                         {"XDG_CONFIG_HOME", std::nullopt},
                                         {"XDG_CACHE_HOME", (home / "cache").string()}}));
}

TEST(WidgetHostPictures, OnlyTheRendererModuleLinksCairo) {
  const std::vector<std::pair<fs::path, bool>> cases = {
      {installedHost(), false},
      {installedPrefix() / TUL_INSTALL_LIBDIR / "tul-widget/widget-host-render.so", true},
      {installedBundle() / "TulWidgetExtension", false},
  };
  for (const auto& [program, drawing] : cases) {
    const RunResult libraries = tul::testing::run({"/usr/bin/ldd", program.string()});
    ASSERT_EQ(libraries.exitCode, 0) << program << ": " << libraries.err;
    for (const char* library : {"libcairo.so", "libpango-1.0.so"}) {
      EXPECT_EQ(libraries.out.find(library) != std::string::npos, drawing) << program << ", " << library;
    }
  }
}

// A host installed without a usable renderer module still shows text and JSON; each
// command that draws fails before it asks the extension anything (which would have
// stored the default preset), naming the module's path and the loader's reason, and
// writes nothing. The host in the build tree draws with the build tree's module.
TEST(WidgetHostPicturesGolden, WithoutAUsableRendererModuleOnlyPicturesFail) {
  const Host host;
  fs::create_directories(host.folder() / "prefix/bin");
  fs::copy_file(installedHost(), host.folder() / "prefix/bin/widget-host");
  const fs::path module = host.folder() / "prefix" / TUL_INSTALL_LIBDIR / "tul-widget/widget-host-render.so";
  fs::create_directories(module.parent_path());
  fs::create_directories(host.folder() / "out");
  const std::string prefixHost = "$DIR/prefix/bin/widget-host --extension $LIB/tul-widget/TulWidgetExtension.appex ";
  const auto standInModule = [](const char* name) { return fs::path(TUL_STAND_IN_DIR) / name; };
  const std::vector<std::pair<std::function<void()>, std::string>> modules = {
      {[] {}, "timeline --format png --output $DIR/out/widget.png"},
      {[&] { writeFile(module, std::string(512, '#')); }, kActivity + " --format svg --output $DIR/out/activity.svg"},
      {[&] { fs::copy_file(standInModule("stand_in_render_no_entry.so"), module); }, "gallery --output $DIR/out/g"},
      {[&] { fs::copy_file(standInModule("stand_in_render_other_version.so"), module); },
       "timeline --format png --output $DIR/out/widget.png"},
  };
  writeFile(module, "#");
  const RunResult unasked =
      run({(host.folder() / "prefix/bin/widget-host").string(), "--preferences", host.preferences().string(),
           "--extension", (installedPrefix() / TUL_INSTALL_LIBDIR / "tul-widget/TulWidgetExtension.appex").string(),
           "timeline", "--format", "png", "--output", (host.folder() / "out/widget.png").string()});
  EXPECT_EQ(unasked.exitCode, 69) << unasked.err;
  EXPECT_FALSE(fs::exists(host.preferences() / (std::string(kSuite) + ".sqlite")));
  std::string shown;
  for (const auto& [install, picture] : modules) {
    fs::remove(module);
    install();
    shown += transcript(host, {prefixHost + "timeline", prefixHost + picture});
    EXPECT_TRUE(fs::is_empty(host.folder() / "out")) << picture;
  }
  shown += transcript(host, {prefixHost + "--format json placeholder",
                             "$BUILD_HOST timeline --format png --output $DIR/out/build-tree.png"});
  expectGolden("widget-host-pictures-without-module.txt", shown);
  EXPECT_TRUE(isPicture(host.folder() / "out/build-tree.png", Surface::smallWidget, 3));
}

}  // namespace
