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
#include "support/files.h"

namespace {

namespace fs = std::filesystem;
using namespace tul::testing;

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

// Whether `file` is a picture of `surface` at `scale`: a PNG that decodes, or
// well-formed SVG whose width and height are the pixels.
::testing::AssertionResult isPicture(const fs::path& file, ui::Surface surface, int scale) {
  PixelSize size;
  if (file.extension() == ".png") {
    if (auto decoded = decodePNG(file, size); !decoded) return decoded;
  } else {
    if (!kHaveXmlParser) return ::testing::AssertionSuccess();
    XmlElement root;
    if (auto parsed = parseXML(readFile(file), root); !parsed) return parsed;
    if (root.name != "svg") return ::testing::AssertionFailure() << file << ": the root is <" << root.name << ">";
    size = PixelSize{std::stoi(root.attribute("width")), std::stoi(root.attribute("height"))};  // "340px"
  }
  return fitsSurface(size, surface, scale) << " (" << file.filename() << ")";
}

// Each command once, each scale once, both formats; a command that draws several
// pictures names one file each after --output.
TEST(WidgetHostPictures, EachCommandDrawsItsSurfaces) {
  const Host host;
  const auto attributes = host.file("attributes.json", kAttributes).string();
  const auto state = host.file("state.json", kState).string();
  const std::vector<std::string> activity = {"activity", "--attributes", attributes, "--state", state};
  struct Case {
    std::vector<std::string> command;
    std::string output;        // its file name
    std::optional<int> scale;  // none: the default, 3
    Expected files;            // by suffix
  };
  const std::vector<Case> cases = {
      {{"placeholder"}, "placeholder.png", 1, {{"", ui::Surface::smallWidget}}},
      {{"snapshot", "--preview"}, "snapshot.svg", 2, {{"", ui::Surface::smallWidget}}},
      {{"timeline"}, "timeline.png", std::nullopt, {{"", ui::Surface::smallWidget}}},
      {activity, "activity.png", 2, kEveryPresentation},
      {joined(activity, {"--presentation", "compact-leading"}),
       "compact.svg",
       3,
       {{"", ui::Surface::islandCompactLeading}}},
      {{"timeline", "--extension", standIn("two-entries").string()},
       "entries.png",
       1,
       {{"-1", ui::Surface::smallWidget}, {"-2", ui::Surface::smallWidget}}},
  };
  for (const Case& c : cases) {
    const fs::path output = host.folder() / c.output;
    std::vector<std::string> command =
        joined(c.command, {"--format", output.extension().string().substr(1), "--output", output.string()});
    if (c.scale) command = joined(command, {"--scale", std::to_string(*c.scale)});
    const RunResult result = host.run(command);
    ASSERT_EQ(result.exitCode, 0) << c.output << ": " << result.err;
    std::string listed;
    for (const auto& [suffix, surface] : c.files) {
      const fs::path file = host.folder() / (output.stem().string() + suffix + output.extension().string());
      listed += file.string() + "\n";
      EXPECT_TRUE(isPicture(file, surface, c.scale.value_or(3)));
    }
    EXPECT_EQ(result.out, listed) << c.output;
    if (c.files.size() > 1) {
      EXPECT_FALSE(fs::exists(output)) << c.output;
    }
  }
  // The published size: the widget is 170 points square, 510 pixels at scale 3.
  PixelSize size;
  ASSERT_TRUE(decodePNG(host.folder() / "timeline.png", size));
  EXPECT_EQ(size.width, 510);
  EXPECT_EQ(size.height, 510);
}

TEST(WidgetHostPictures, RefusesWhatWouldLoseOrLeaveFiles) {
  const Host host;
  const auto attributes = host.file("attributes.json", kAttributes).string();
  const auto state = host.file("state.json", kState).string();
  const fs::path out = host.folder() / "out";
  fs::create_directories(out / "a-folder");
  writeFile(out / "taken.png", "someone's picture");
  writeFile(out / "set-minimal.png", "someone else's");
  writeFile(out / "gallery/notes.txt", "keep me");
  const auto at = [&](const std::string& name) { return (out / name).string(); };
  const std::vector<std::string> activity = {"activity", "--attributes", attributes, "--state", state};
  expectErrors(
      host,
      {
          {"no --output",
           {"timeline", "--format", "png"},
           64,
           "timeline: --format png writes a file: give --output FILE"},
          {"--output for text", {"timeline", "--output", at("x.png")}, 64, "--output, --scale and --force go with"},
          {"--scale for json", {"snapshot", "--format", "json", "--scale", "2"}, 64, "go with --format png or svg"},
          {"scale 4", {"timeline", "--format", "png", "--output", at("x.png"), "--scale", "4"}, 64, "4 not in {1,2,3}"},
          {"scale 2.5", {"timeline", "--format", "png", "--output", at("x.png"), "--scale", "2.5"}, 64, "--scale"},
          {"standard output", {"timeline", "--format", "png", "--output", "-"}, 64, "not to standard output"},
          {"pictures of widgets",
           {"widgets", "--format", "png"},
           64,
           "widgets: --format png makes pictures, which only"},
          {"pictures of a suite",
           {"--format", "svg", "defaults", "read", "s"},
           64,
           "defaults read: --format svg makes"},
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
      });
  // Nothing was written, replaced or left half-done (no temporary files either).
  EXPECT_EQ(namesIn(out), (std::vector<std::string>{"a-folder", "gallery", "set-minimal.png", "taken.png"}));
  EXPECT_EQ(namesIn(out / "gallery"), std::vector<std::string>{"notes.txt"});
  EXPECT_EQ(readFile(out / "taken.png"), "someone's picture");
  EXPECT_EQ(readFile(out / "set-minimal.png"), "someone else's");

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
      {installedHost(), false},
      {installedRenderModule(), true},
      {installedBundle() / "TulWidgetExtension", false},
  };
  for (const Case& c : cases) {
    const RunResult libraries = tul::testing::run({"/usr/bin/ldd", c.program.string()});
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
  fs::copy_file(installedHost(), prefix / "bin/widget-host");
  const fs::path module = prefix.path() / TUL_INSTALL_LIBDIR / "tul-widget/widget-host-render.so";
  fs::create_directories(module.parent_path());
  const fs::path out = host.folder() / "out";
  fs::create_directories(out);
  const auto run = [&](const std::vector<std::string>& command) {
    return tul::testing::run(joined({(prefix / "bin/widget-host").string(), "--preferences",
                                     host.preferences().string(), "--extension", installedBundle().string()},
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
  // Each module is tried with one of the picture commands, in turn.
  for (std::size_t i = 0; i < modules.size(); ++i) {
    const Module& m = modules[i];
    fs::remove(module);
    if (m.copiedFrom) {
      fs::copy_file(*m.copiedFrom, module);
    } else if (!m.contents.empty()) {
      writeFile(module, m.contents);
    }
    const RunResult text = run({"timeline"});
    EXPECT_EQ(text.exitCode, 0) << m.name << ": " << text.err;
    EXPECT_NE(text.out.find("kind: com.lumaro.TulWidget"), std::string::npos) << m.name << ": " << text.out;
    const auto& [command, arguments] = pictures[i % pictures.size()];
    const std::string what = std::string(m.name) + ", " + command;
    const RunResult result = run(arguments);
    expectOneLineError(result, 69, command + ": cannot load the renderer module " + module.string() + ": ", what);
    EXPECT_NE(result.err.find(m.reason), std::string::npos) << what << ": " << result.err;
    EXPECT_TRUE(fs::is_empty(out)) << m.name;
  }
  const RunResult json = run({"--format", "json", "placeholder"});
  EXPECT_EQ(json.exitCode, 0) << json.err;

  // The host in the build tree draws with the build tree's module.
  const fs::path widget = out / "build-tree.png";
  const RunResult built = tul::testing::run({TUL_BUILD_TREE_HOST, "--preferences", host.preferences().string(),
                                             "timeline", "--format", "png", "--output", widget.string()});
  ASSERT_EQ(built.exitCode, 0) << built.err;
  PixelSize size;
  EXPECT_TRUE(decodePNG(widget, size));
}

}  // namespace
