// widget-host's gallery as a user makes it: the installed host writes every picture
// and an index.html, which is parsed strictly here and opened in a real headless
// Chromium to see that each picture loads.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "gallery_page.h"
#include "installed_host.h"
#include "picture_checks.h"
#include "support/files.h"

namespace {

namespace fs = std::filesystem;
using namespace tul::testing;

constexpr const char* kChromium = "/usr/bin/chromium";

const std::vector<std::string> kStates = {"playing", "paused", "automated", "no-melody-name", "long-name"};
const std::map<std::string, ui::Surface> kPresentations = {
    {"lock-screen", ui::Surface::lockScreen},
    {"expanded", ui::Surface::islandExpanded},
    {"compact-leading", ui::Surface::islandCompactLeading},
    {"compact-trailing", ui::Surface::islandCompactTrailing},
    {"minimal", ui::Surface::islandMinimal},
};

// Every picture of a gallery by file name, with the surface it shows.
std::map<std::string, ui::Surface> galleryPictures(const std::string& extension) {
  std::map<std::string, ui::Surface> pictures;
  for (const char* entry : {"placeholder", "snapshot", "timeline"}) {
    pictures.emplace(std::string("widget-") + entry + "." + extension, ui::Surface::smallWidget);
  }
  for (const std::string& state : kStates) {
    for (const auto& [presentation, surface] : kPresentations) {
      pictures.emplace(state + "-" + presentation + "." + extension, surface);
    }
  }
  return pictures;
}

std::set<std::string> namesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

std::vector<std::string> texts(const std::vector<const XmlElement*>& elements) {
  std::vector<std::string> out;
  for (const XmlElement* element : elements) out.push_back(element->text);
  return out;
}

// Checks a written gallery: exactly its files, each picture decoding at its size,
// and a page that shows each once, labelled, in rows by state.
void expectGallery(const fs::path& folder, const std::string& extension, int scale,
                   const std::set<std::string>& others = {}) {
  const auto pictures = galleryPictures(extension);
  std::set<std::string> expected = others;
  expected.insert("index.html");
  for (const auto& [name, surface] : pictures) expected.insert(name);
  EXPECT_EQ(namesIn(folder), expected);
  if (extension == "png") {
    for (const auto& [name, surface] : pictures) {
      PixelSize size;
      ASSERT_TRUE(decodePNG(folder / name, size));
      EXPECT_TRUE(fitsSurface(size, surface, scale)) << name;
    }
  }
  if (!kHaveXmlParser) return;
  XmlElement page;
  ASSERT_TRUE(parseXML(readFile(folder / "index.html"), page));
  EXPECT_EQ(page.name, "html");
  std::set<std::string> shown;
  for (const XmlElement* image : page.all("img")) {
    const std::string source = image->attribute("src");
    EXPECT_TRUE(pictures.contains(source)) << source;  // relative, and one of ours
    EXPECT_TRUE(fs::is_regular_file(folder / source)) << source;
    EXPECT_TRUE(shown.insert(source).second) << source << " shown twice";
    EXPECT_FALSE(image->attribute("alt").empty()) << source;
  }
  EXPECT_EQ(shown.size(), pictures.size());
  const auto sections = page.all("section");
  ASSERT_EQ(sections.size(), 1 + kStates.size());
  EXPECT_EQ(texts(page.all("h2")), (std::vector<std::string>{"Home-screen widget", "Playing", "Paused", "Automated",
                                                             "No melody name", "A long name"}));
  EXPECT_EQ(texts(sections[0]->all("figcaption")), (std::vector<std::string>{"placeholder", "snapshot", "timeline"}));
  for (std::size_t i = 1; i < sections.size(); ++i) {
    EXPECT_EQ(texts(sections[i]->all("figcaption")),
              (std::vector<std::string>{"lock screen", "expanded", "compact leading", "compact trailing", "minimal"}))
        << "row " << i;
  }
}

TEST(WidgetHostGallery, WritesEveryPictureAndAPageThatShowsThemLabelled) {
  const Host host;
  const fs::path folder = host.folder() / "new" / "gallery";  // made, with its parent
  const RunResult made = host.run({"gallery", "--output", folder.string(), "--scale", "2"});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  EXPECT_EQ(made.out, (folder / "index.html").string() + "\n");
  expectGallery(folder, "png", 2);

  // Once more, as SVG, over it: --force replaces the gallery's own files and leaves
  // every other file alone.
  writeFile(folder / "notes.txt", "mine");
  const RunResult refused = host.run({"gallery", "--output", folder.string()});
  EXPECT_EQ(refused.exitCode, 73) << refused.err;
  const RunResult forced = host.run({"gallery", "--output", folder.string(), "--format", "svg", "--force"});
  ASSERT_EQ(forced.exitCode, 0) << forced.err;
  std::set<std::string> left = {"notes.txt"};
  for (const auto& [name, surface] : galleryPictures("png")) left.insert(name);
  expectGallery(folder, "svg", 3, left);
  EXPECT_EQ(readFile(folder / "notes.txt"), "mine");
}

// The page as headless Chromium has it once loaded: how many pictures it loaded, as
// the page's own check wrote it on <body>.
std::string picturesLoadedInChromium(const fs::path& page) {
  const TempFolder profile("widget-host-chromium");
  const RunResult browser =
      tul::testing::run({kChromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                         "--disable-background-networking", "--disable-component-update", "--disable-sync",
                         "--disable-dev-shm-usage", "--user-data-dir=" + profile.path().string(),
                         "--virtual-time-budget=5000", "--dump-dom", "file://" + page.string()},
                        "", {{"HOME", profile.path().string()}}, std::chrono::seconds(60), ProcessGroup::own);
  EXPECT_EQ(browser.exitCode, 0) << browser.err;
  const std::string marker = "data-pictures-loaded=\"";
  const auto at = browser.out.find(marker);
  if (at == std::string::npos) return "no count in the page: " + browser.out.substr(0, 300);
  const auto start = at + marker.size();
  return browser.out.substr(start, browser.out.find('"', start) - start);
}

TEST(WidgetHostGallery, EveryPictureLoadsInChromium) {
  if (!fs::exists(kChromium)) {
    GTEST_SKIP() << kChromium << " is missing; scripts/install-deps.sh --test installs it";
  }
  const Host host;
  const fs::path folder = host.folder() / "svg";
  const RunResult made = host.run({"gallery", "--output", folder.string(), "--format", "svg"});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  EXPECT_EQ(picturesLoadedInChromium(folder / "index.html"), "28 of 28");
  // A picture that is not there counts as not loaded, so the count can tell.
  fs::remove(folder / "paused-expanded.svg");
  EXPECT_EQ(picturesLoadedInChromium(folder / "index.html"), "27 of 28");
}

TEST(GalleryPage, EscapesEveryLabelAndLink) {
  TUL_SKIP_WITHOUT_XML_PARSER();
  const std::vector<std::string> hostile = {
      "Tom & \"Jerry\"",
      "<script>alert('x')</script>",
      "</figcaption></figure><h2>",
      "it's &amp; not",
      "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x8E\xB5",
  };
  for (const std::string& text : hostile) {
    const host::GalleryPage page{
        text, text, {host::GalleryRow{text, text, {host::GalleryFigure{text, text + ".png", 62.33, 36.67}}}}};
    XmlElement root;
    ASSERT_TRUE(parseXML(host::galleryPageHTML(page), root)) << text;
    ASSERT_EQ(root.all("h1").size(), 1U) << text;
    EXPECT_EQ(root.all("h1")[0]->text, text);
    EXPECT_EQ(root.all("title")[0]->text, text);
    ASSERT_EQ(root.all("h2").size(), 1U) << text;
    EXPECT_EQ(root.all("h2")[0]->text, text);
    ASSERT_EQ(root.all("figcaption").size(), 1U) << text;
    EXPECT_EQ(root.all("figcaption")[0]->text, text);
    EXPECT_EQ(root.all("script").size(), 1U) << text;  // the page's own only
    const XmlElement* image = root.all("img").at(0);
    EXPECT_EQ(image->attribute("alt"), text + ", " + text);
    EXPECT_EQ(image->attribute("style"), "width: 62.33px; height: 36.67px");
    const std::string link = image->attribute("src");
    EXPECT_EQ(link.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~/%"),
              std::string::npos)
        << link;
  }
  EXPECT_EQ(host::relativeLink("a b&c/\xC3\xA9.png"), "a%20b%26c/%C3%A9.png");
}

}  // namespace
