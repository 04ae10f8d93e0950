// widget-host's gallery as a user makes it: the installed host writes every picture
// and an index.html, which is parsed strictly here and opened in a real headless
// Chromium to see that each picture loads.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <csignal>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gallery_page.h"
#include "golden/golden.h"
#include "installed_host.h"
#include "picture_checks.h"
#include "support/files.h"

namespace {

namespace fs = std::filesystem;
using namespace tul::testing;

constexpr const char* kChromium = "/usr/bin/chromium";

std::set<std::string> namesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// Checks a written gallery: its page as the golden file has it (each picture once,
// labelled, in rows by state), well-formed, and exactly its pictures beside it (and
// `others`), each decoding at its size.
void expectGallery(const fs::path& folder, const std::string& format, int scale, std::set<std::string> others = {}) {
  const std::string html = readFile(folder / "index.html");
  // One golden for both formats: the page names its format and scale, and nothing else
  // in it differs.
  expectGolden("widget-host-gallery.html",
               std::regex_replace(std::regex_replace(html, std::regex("\\." + format + "\""), ".FORMAT\""),
                                  std::regex(format + " at scale \\d"), "FORMAT at scale N"));
  if (!kHaveXmlParser) return;
  XmlElement page;
  ASSERT_TRUE(parseXML(html, page));
  std::set<std::string> pictures;
  for (const XmlElement* image : page.all("img")) pictures.insert(image->attribute("src"));
  EXPECT_EQ(pictures.size(), 33U);
  others.insert("index.html");
  others.insert(pictures.begin(), pictures.end());
  EXPECT_EQ(namesIn(folder), others);
  for (const std::string& name : pictures) EXPECT_TRUE(isPicture(folder / name, surfaceOf(name), scale));
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
  std::set<std::string> left = namesIn(folder);  // the PNG pictures and the notes
  left.erase("index.html");
  const RunResult refused = host.run({"gallery", "--output", folder.string()});
  EXPECT_EQ(refused.exitCode, 73) << refused.err;
  const RunResult forced = host.run({"gallery", "--output", folder.string(), "--format", "svg", "--force"});
  ASSERT_EQ(forced.exitCode, 0) << forced.err;
  expectGallery(folder, "svg", 3, left);
  EXPECT_EQ(readFile(folder / "notes.txt"), "mine");
}

std::string picturesLoadedInChromium(const fs::path& page);

// The matrix: every phone, text size and language asked for, one row each; the rows
// in which something does not fit are marked and list it, stderr says it per picture,
// and --strict fails once all is written.
TEST(WidgetHostGallery, TheMatrixDrawsEveryVariantAndMarksWhatDoesNotFit) {
  TUL_SKIP_WITHOUT_XML_PARSER();
  const Host host;
  const fs::path folder = host.folder() / "matrix";
  const RunResult made =
      host.run({"gallery", "--matrix", "--output", folder.string(), "--scale", "1", "--device", "375", "--device",
                "393", "--text-size", "large", "--text-size", "AX5", "--locale", "ar", "--locale", "en", "--strict"});
  EXPECT_EQ(made.exitCode, 79) << made.err;
  XmlElement page;
  ASSERT_TRUE(parseXML(readFile(folder / "index.html"), page));
  std::vector<std::string> rows;
  for (const XmlElement* section : page.all("section")) {
    rows.push_back(section->all("h2").at(0)->text + (section->attribute("class") == "misfit" ? " !" : ""));
  }
  // A phone without an island shows the widget and the lock screen only.
  EXPECT_EQ(rows, (std::vector<std::string>{"ar, 375-point phone, large", "ar, 375-point phone, AX5 !",
                                            "ar, 393-point phone, large", "ar, 393-point phone, AX5 !",
                                            "en, 375-point phone, large", "en, 375-point phone, AX5 !",
                                            "en, 393-point phone, large", "en, 393-point phone, AX5 !"}));
  EXPECT_EQ(page.all("img").size(), 44U);
  EXPECT_EQ(namesIn(folder).size(), 45U);
  EXPECT_TRUE(fs::exists(folder / "ar-393-AX5-compact.png"));
  EXPECT_FALSE(fs::exists(folder / "ar-375-AX5-compact.png"));
  // Each problem listed on the page is said on standard error too.
  std::size_t listed = 0;
  for (const XmlElement* list : page.all("ul")) listed += list->all("li").size();
  std::size_t said = 0;
  for (std::size_t at = made.err.find(folder.string()); at != std::string::npos;
       at = made.err.find(folder.string(), at + 1)) {
    ++said;
  }
  EXPECT_GT(listed, 0U);
  EXPECT_EQ(said, listed) << made.err;
  if (fs::exists(kChromium)) {
    EXPECT_EQ(picturesLoadedInChromium(folder / "index.html"), "44 of 44");
  }
}

// Ended by SIGTERM while it writes, as soon as its first temporary file appears, the
// gallery leaves no temporary file behind, and the folder holds one gallery whole: the
// old one, or the new one beside the old pictures.
TEST(WidgetHostGallery, EndedWhileWritingLeavesOneGalleryAndNoTemporaryFile) {
  const Host host;
  const fs::path folder = host.folder() / "gallery";
  ASSERT_EQ(host.run({"gallery", "--output", folder.string()}).exitCode, 0);
  const std::set<std::string> before = namesIn(folder);
  const int watch = ::inotify_init1(IN_CLOEXEC);
  ASSERT_GE(::inotify_add_watch(watch, folder.c_str(), IN_CREATE), 0);
  auto gallery = ChildProcess::start({installedHost().string(), "--preferences", host.preferences().string(), "gallery",
                                      "--output", folder.string(), "--format", "svg", "--force"});
  ASSERT_TRUE(gallery) << gallery.error();
  alignas(inotify_event) char events[4096];
  for (bool staging = false; !staging;) {
    const ssize_t got = ::read(watch, events, sizeof events);
    ASSERT_GT(got, 0);
    for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      staging = staging || event->name[0] == '.';
      at += sizeof(inotify_event) + event->len;
    }
  }
  gallery->kill(SIGTERM);
  // On a busy machine the gallery may be whole before the signal is sent.
  const std::optional<int> status = gallery->wait();
  EXPECT_TRUE(status == 128 + SIGTERM || status == 0) << status.value_or(-1);
  ::close(watch);
  std::set<std::string> after = namesIn(folder);
  std::set<std::string> both = before;  // the new gallery beside the old pictures
  for (const std::string& name : before) both.insert(std::regex_replace(name, std::regex("\\.png$"), ".svg"));
  std::string temporary;
  for (const std::string& name : after) temporary += name.starts_with('.') ? name + " " : "";
  EXPECT_EQ(temporary, "");
  EXPECT_TRUE(after == before || after == both) << after.size() << " files";
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
  EXPECT_EQ(picturesLoadedInChromium(folder / "index.html"), "33 of 33");
  // A picture that is not there counts as not loaded, so the count can tell.
  fs::remove(folder / "paused-expanded.svg");
  EXPECT_EQ(picturesLoadedInChromium(folder / "index.html"), "32 of 33");
}

// Every label, link and what does not fit is escaped: each page stays well-formed with the page's own
// script only, and is as tests/golden/gallery-page-escaped.html has it.
TEST(GalleryPageGolden, EscapesEveryLabelAndLink) {
  TUL_SKIP_WITHOUT_XML_PARSER();
  std::string pages;
  for (const std::string text : {"Tom & \"Jerry\"", "<script>alert('x')</script>", "</figcaption></figure><h2>",
                                 "it's &amp; not", "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x8E\xB5"}) {
    const host::GalleryPage page{
        text, text, {host::GalleryRow{text, text, {host::GalleryFigure{text, text + ".png", 62.33, 36.67, {text}}}}}};
    pages += host::galleryPageHTML(page);
    XmlElement root;
    ASSERT_TRUE(parseXML(host::galleryPageHTML(page), root)) << text;
    EXPECT_EQ(root.all("figcaption").at(0)->text, text);
    EXPECT_EQ(root.all("script").size(), 1U) << text;
  }
  expectGolden("gallery-page-escaped.html", pages);
  EXPECT_EQ(host::relativeLink("a b&c/\xC3\xA9.png"), "a%20b%26c/%C3%A9.png");
}

}  // namespace
