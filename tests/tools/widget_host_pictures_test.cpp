// widget-host's pictures as a user makes them: the installed host draws what the
// installed extension answers and writes PNG and SVG files, which are decoded and
// parsed again here.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "installed_host.h"
#include "picture_checks.h"
#include "process_run.h"

namespace {

namespace fs = std::filesystem;
using tul::testing::decodePNG;
using tul::testing::expectOneLineError;
using tul::testing::fitsSurface;
using tul::testing::Host;
using tul::testing::PixelSize;
using tul::testing::RunResult;
using tul::testing::standIn;
using tul::testing::TempFolder;
using tul::testing::XmlElement;

const std::string kAttributes = R"({"name":"Practice"})";
const std::string kState =
    R"({"tempo":96,"beat":3,"note":4,"melodyName":"Waltz","isPlaying":true,"isAutomated":false})";

// The files a command should write: a suffix of the output's name ("" for the output
// itself) and the surface drawn there.
using Expected = std::vector<std::pair<std::string, ui::Surface>>;

const Expected kEveryPresentation = {{"-lock-screen", ui::Surface::lockScreen},
                                     {"-expanded", ui::Surface::islandExpanded},
                                     {"-compact-leading", ui::Surface::islandCompactLeading},
                                     {"-compact-trailing", ui::Surface::islandCompactTrailing},
                                     {"-minimal", ui::Surface::islandMinimal}};

std::vector<std::string> joined(std::vector<std::string> head, const std::vector<std::string>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// A renderer module the host must refuse (stand_in_render_module.cpp).
fs::path standInModule(std::string behaviour) {
  std::replace(behaviour.begin(), behaviour.end(), '-', '_');
  return fs::path(TUL_STAND_IN_DIR) / ("stand_in_render_" + behaviour + ".so");
}

std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(WidgetHostPictures, EachCommandDrawsItsSurfaceAtEachScale) {
  const Host host;
  const auto attributes = host.file("attributes.json", kAttributes).string();
  const auto state = host.file("state.json", kState).string();
  const std::vector<std::string> activity = {"activity", "--attributes", attributes, "--state", state};
  struct Case {
    std::string name;
    std::vector<std::string> command;
    Expected files;
  };
  const std::vector<Case> cases = {
      {"placeholder", {"placeholder"}, {{"", ui::Surface::smallWidget}}},
      {"snapshot", {"snapshot", "--preview"}, {{"", ui::Surface::smallWidget}}},
      {"timeline", {"timeline"}, {{"", ui::Surface::smallWidget}}},
      {"activity", activity, kEveryPresentation},
      {"compact", joined(activity, {"--presentation", "compact-leading"}), {{"", ui::Surface::islandCompactLeading}}},
  };
  const fs::path folder = host.folder() / "pictures";
  fs::create_directories(folder);
  for (const int scale : {1, 2, 3}) {
    for (const Case& c : cases) {
      const std::string what = c.name + " at scale " + std::to_string(scale);
      const fs::path output = folder / (c.name + "@" + std::to_string(scale) + ".png");
      const RunResult result = host.run(
          joined(c.command, {"--format", "png", "--output", output.string(), "--scale", std::to_string(scale)}));
      ASSERT_EQ(result.exitCode, 0) << what << ": " << result.err;
      std::string listed;
      for (const auto& [suffix, surface] : c.files) {
        const fs::path file = folder / (output.stem().string() + suffix + ".png");
        listed += file.string() + "\n";
        PixelSize size;
        ASSERT_TRUE(decodePNG(file, size)) << what;
        EXPECT_TRUE(fitsSurface(size, surface, scale)) << what << ", " << file.filename();
      }
      EXPECT_EQ(result.out, listed) << what;
    }
  }

  // Without --scale: 3, as on current phones; the widget is 170 points square.
  const fs::path widget = folder / "widget.png";
  ASSERT_EQ(host.run({"timeline", "--format", "png", "--output", widget.string()}).exitCode, 0);
  PixelSize size;
  ASSERT_TRUE(decodePNG(widget, size));
  EXPECT_EQ(size.width, 510);
  EXPECT_EQ(size.height, 510);

  // A timeline of several entries: one file each, numbered.
  const fs::path entries = folder / "entries.png";
  const RunResult several = host.run({"timeline", "--format", "png", "--output", entries.string(), "--extension",
                                      standIn("two-entries").string(), "--scale", "1"});
  ASSERT_EQ(several.exitCode, 0) << several.err;
  EXPECT_EQ(several.out, (folder / "entries-1.png").string() + "\n" + (folder / "entries-2.png").string() + "\n");
  for (const char* file : {"entries-1.png", "entries-2.png"}) {
    ASSERT_TRUE(decodePNG(folder / file, size)) << file;
    EXPECT_TRUE(fitsSurface(size, ui::Surface::smallWidget, 1)) << file;
  }
  EXPECT_FALSE(fs::exists(entries));
}

TEST(WidgetHostPictures, SVGIsWellFormedAndSizedInPixels) {
  TUL_SKIP_WITHOUT_XML_PARSER();
  const Host host;
  const auto attributes = host.file("attributes.json", kAttributes).string();
  const auto state = host.file("state.json", kState).string();
  struct Case {
    std::vector<std::string> command;
    int scale;
    Expected files;
  };
  const std::vector<Case> cases = {
      {{"timeline"}, 2, {{"", ui::Surface::smallWidget}}},
      {{"activity", "--attributes", attributes, "--state", state}, 1, kEveryPresentation},
  };
  for (const Case& c : cases) {
    const fs::path output = host.folder() / (c.command.front() + ".svg");
    const RunResult result = host.run(
        joined(c.command, {"--format", "svg", "--output", output.string(), "--scale", std::to_string(c.scale)}));
    ASSERT_EQ(result.exitCode, 0) << c.command.front() << ": " << result.err;
    for (const auto& [suffix, surface] : c.files) {
      const fs::path file = host.folder() / (output.stem().string() + suffix + ".svg");
      XmlElement root;
      ASSERT_TRUE(tul::testing::parseXML(tul::testing::readBytes(file), root)) << file;
      EXPECT_EQ(root.name, "svg") << file;
      // "340px" or "340": whole pixels at the scale.
      const PixelSize size{std::stoi(root.attribute("width")), std::stoi(root.attribute("height"))};
      EXPECT_TRUE(fitsSurface(size, surface, c.scale)) << file;
    }
  }
}

TEST(WidgetHostPictures, RefusesWhatWouldLoseOrLeaveFiles) {
  const Host host;
  const auto attributes = host.file("attributes.json", kAttributes).string();
  const auto state = host.file("state.json", kState).string();
  const fs::path out = host.folder() / "out";
  fs::create_directories(out / "a-folder");
  tul::testing::writeBytes(out / "taken.png", "someone's picture");
  tul::testing::writeBytes(out / "set-minimal.png", "someone else's");
  tul::testing::writeBytes(out / "gallery/notes.txt", "keep me");
  const auto at = [&](const std::string& name) { return (out / name).string(); };
  const std::vector<std::string> activity = {"activity", "--attributes", attributes, "--state", state};
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    int exitCode;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"no --output", {"timeline", "--format", "png"}, 64, "timeline: --format png writes a file: give --output FILE"},
      {"--output for text", {"timeline", "--output", at("x.png")}, 64, "--output, --scale and --force go with"},
      {"--scale for json", {"snapshot", "--format", "json", "--scale", "2"}, 64, "go with --format png or svg"},
      {"scale 4", {"timeline", "--format", "png", "--output", at("x.png"), "--scale", "4"}, 64, "4 not in {1,2,3}"},
      {"scale 2.5", {"timeline", "--format", "png", "--output", at("x.png"), "--scale", "2.5"}, 64, "--scale"},
      {"standard output", {"timeline", "--format", "png", "--output", "-"}, 64, "not to standard output"},
      {"pictures of widgets", {"widgets", "--format", "png"}, 64, "widgets: --format png makes pictures, which only"},
      {"pictures of a suite", {"--format", "svg", "defaults", "read", "s"}, 64, "defaults read: --format svg makes"},
      {"an existing file",
       {"timeline", "--format", "png", "--output", at("taken.png")},
       73,
       "timeline: the output \"" + at("taken.png") + "\" already exists (use --force to replace it)"},
      {"one file of a set exists", joined(activity, {"--format", "png", "--output", at("set.png")}), 73,
       "\"" + at("set-minimal.png") + "\" already exists"},
      {"a folder", {"timeline", "--format", "svg", "--output", at("a-folder")}, 73, "is a folder; name a file"},
      {"a missing folder",
       {"timeline", "--format", "svg", "--output", at("nowhere/x.svg")},
       73,
       "No such file or directory"},
      {"gallery without a folder", {"gallery"}, 64, "gallery: --output is required"},
      {"gallery as text", {"gallery", "--output", at("g"), "--format", "text"}, 64, "--format png or svg"},
      {"gallery into a folder in use",
       {"gallery", "--output", at("gallery")},
       73,
       "the gallery folder \"" + at("gallery") + "\" is not empty (use --force to write the gallery into it)"},
      {"gallery over a file", {"gallery", "--output", at("taken.png")}, 73, "is not a folder"},
  };
  for (const Case& c : cases) expectOneLineError(host.run(c.arguments), c.exitCode, c.message, c.name);
  // Nothing was written, replaced or left half-done (no temporary files either).
  EXPECT_EQ(namesIn(out), (std::vector<std::string>{"a-folder", "gallery", "set-minimal.png", "taken.png"}));
  EXPECT_EQ(namesIn(out / "gallery"), std::vector<std::string>{"notes.txt"});
  EXPECT_EQ(tul::testing::readBytes(out / "taken.png"), "someone's picture");
  EXPECT_EQ(tul::testing::readBytes(out / "set-minimal.png"), "someone else's");

  // --force replaces, with the whole new picture.
  const RunResult forced = host.run({"timeline", "--format", "png", "--output", at("taken.png"), "--force"});
  ASSERT_EQ(forced.exitCode, 0) << forced.err;
  EXPECT_EQ(forced.out, at("taken.png") + "\n");
  PixelSize size;
  EXPECT_TRUE(decodePNG(out / "taken.png", size));
}

TEST(WidgetHostPictures, AnAnswerThatCannotBeDrawnIsNamedAndWritesNothing) {
  const Host host;
  struct Case {
    std::string behaviour;
    std::vector<std::string> command;
    int exitCode;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"missing-image",
       {"placeholder", "--format", "png"},
       76,
       "placeholder: cannot draw entry 1: cannot lay out the view: "},
      {"missing-image", {"snapshot", "--format", "svg"}, 76, "\"nowhere\""},
      {"missing-image", {"gallery"}, 76, "gallery: cannot draw entry 1"},
      {"unreadable-tree",
       {"placeholder", "--format", "png"},
       69,
       "placeholder: the extension's view for entry 1 does not read back: $.type: "},
  };
  for (const Case& c : cases) {
    const std::string what = c.behaviour + " " + c.command.front();
    const fs::path output = host.folder() / "out" / c.command.front();
    fs::create_directories(output.parent_path());
    const RunResult result =
        host.run(joined(c.command, {"--extension", standIn(c.behaviour).string(), "--output", output.string()}));
    expectOneLineError(result, c.exitCode, c.message, what);
    EXPECT_FALSE(fs::exists(output)) << what;
    EXPECT_TRUE(fs::is_empty(output.parent_path())) << what;
  }
}

// Layout and drawing are the host's work, done by its renderer module: the module
// links cairo and pango, the host itself and the extension neither, so that whatever
// does not draw starts without them.
TEST(WidgetHostPictures, OnlyTheRendererModuleLinksCairo) {
  struct Case {
    fs::path program;
    bool drawing;
  };
  const std::vector<Case> cases = {
      {tul::testing::installedHost(), false},
      {tul::testing::installedRenderModule(), true},
      {tul::testing::installedBundle() / "TulWidgetExtension", false},
  };
  for (const Case& c : cases) {
    const RunResult libraries = tul::testing::runProgram({"/usr/bin/ldd", c.program.string()});
    ASSERT_EQ(libraries.exitCode, 0) << c.program << ": " << libraries.err;
    for (const char* library : {"libcairo.so", "libpango-1.0.so"}) {
      EXPECT_EQ(libraries.out.find(library) != std::string::npos, c.drawing) << c.program << ", " << library;
    }
  }
}

// A host installed without a usable renderer module still shows text and JSON; each
// command that draws fails before it starts the extension, naming the module's path
// and the loader's reason, and writes nothing.
TEST(WidgetHostPictures, WithoutAUsableRendererModuleOnlyPicturesFail) {
  const Host host;
  const auto attributes = host.file("attributes.json", kAttributes).string();
  const auto state = host.file("state.json", kState).string();
  const TempFolder prefix("widget-host-without-module");
  fs::create_directories(prefix / "bin");
  fs::copy_file(tul::testing::installedHost(), prefix / "bin/widget-host");
  const fs::path module = prefix.path() / TUL_INSTALL_LIBDIR / "tul-widget/widget-host-render.so";
  fs::create_directories(module.parent_path());
  const fs::path out = host.folder() / "out";
  fs::create_directories(out);
  const auto run = [&](const std::vector<std::string>& command) {
    return tul::testing::runProgram(
        joined({(prefix / "bin/widget-host").string(), "--preferences", host.preferences().string(), "--extension",
                tul::testing::installedBundle().string()},
               command));
  };

  struct Module {
    const char* name;
    std::optional<fs::path> copiedFrom;  // none: no file
    std::string contents;                // written when not copied and not empty
    std::string reason;                  // of the loader, or of the host
  };
  const std::vector<Module> modules = {
      {"missing", std::nullopt, "", "No such file or directory"},
      {"not a shared object", std::nullopt, std::string(512, '#'), "invalid ELF header"},
      {"a module without the entry point", standInModule("no-entry"), "", "undefined symbol: tul_render_module_v1"},
      {"a module of another version", standInModule("other-version"), "",
       "tul_render_module_v1 does not give interface version 1"},
  };
  const std::vector<std::pair<std::string, std::vector<std::string>>> pictures = {
      {"timeline", {"timeline", "--format", "png", "--output", (out / "widget.png").string()}},
      {"activity",
       {"activity", "--attributes", attributes, "--state", state, "--format", "svg", "--output",
        (out / "activity.svg").string()}},
      {"gallery", {"gallery", "--output", (out / "gallery").string()}},
  };
  for (const Module& m : modules) {
    fs::remove(module);
    if (m.copiedFrom) {
      fs::copy_file(*m.copiedFrom, module);
    } else if (!m.contents.empty()) {
      tul::testing::writeBytes(module, m.contents);
    }
    const RunResult text = run({"timeline"});
    EXPECT_EQ(text.exitCode, 0) << m.name << ": " << text.err;
    EXPECT_NE(text.out.find("kind: com.lumaro.TulWidget"), std::string::npos) << m.name << ": " << text.out;
    const RunResult json = run({"--format", "json", "placeholder"});
    EXPECT_EQ(json.exitCode, 0) << m.name << ": " << json.err;
    for (const auto& [command, arguments] : pictures) {
      const std::string what = std::string(m.name) + ", " + command;
      const RunResult result = run(arguments);
      expectOneLineError(result, 69, command + ": cannot load the renderer module " + module.string() + ": ", what);
      EXPECT_NE(result.err.find(m.reason), std::string::npos) << what << ": " << result.err;
    }
    EXPECT_TRUE(fs::is_empty(out)) << m.name;
  }

  // The host in the build tree draws with the build tree's module.
  const fs::path widget = out / "build-tree.png";
  const RunResult built = tul::testing::runProgram(
      {TUL_BUILD_TREE_HOST, "--preferences", host.preferences().string(), "timeline", "--format", "png", "--output",
       widget.string()});
  ASSERT_EQ(built.exitCode, 0) << built.err;
  PixelSize size;
  EXPECT_TRUE(decodePNG(widget, size));
}

}  // namespace
