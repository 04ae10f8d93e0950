// Recorded pictures, through the installed host: the project's own gallery pictures
// are checked against those recorded under tests/golden/pictures (recorded again with
// TUL_UPDATE_GOLDENS=1), and verify names every kind of difference and writes what
// changed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "golden/golden.h"
#include "installed_host.h"
#include "picture_checks.h"
#include "support/files.h"

namespace {

namespace fs = std::filesystem;
using namespace tul::testing;

TEST(WidgetHostSnapshots, TheProjectsPicturesAreAsRecorded) {
  const Host host;
  const fs::path recorded = goldenFile("pictures");
  const char* update = std::getenv("TUL_UPDATE_GOLDENS");
  if (update != nullptr && std::string_view(update) == "1") {
    fs::remove_all(recorded);
    const RunResult made = host.run({"snapshot", "record", recorded.string(), "--scale", "1"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    return;
  }
  const RunResult checked = host.run({"snapshot", "verify", recorded.string(), "--scale", "1", "--mismatches",
                                      (host.folder() / "mismatches").string()});
  EXPECT_EQ(checked.exitCode, 0) << checked.out << checked.err;
}

TEST(WidgetHostSnapshots, VerifyNamesEveryDifferenceAndWritesWhatChanged) {
  const Host host;
  const fs::path folder = host.folder() / "recorded";
  const fs::path mismatches = host.folder() / "mismatches";
  ASSERT_EQ(host.run({"snapshot", "record", folder.string(), "--scale", "1"}).exitCode, 0);
  EXPECT_EQ(host.run({"snapshot", "record", folder.string(), "--scale", "1"}).exitCode, 73);  // not over it

  fs::remove(folder / "paused-minimal.png");
  writeFile(folder / "playing-minimal.txt", "another tree\n");
  fs::copy_file(folder / "playing-expanded.png", folder / "gone.png");
  fs::copy_file(folder / "playing-minimal.png", folder / "playing-lock-screen.png",
                fs::copy_options::overwrite_existing);
  const RunResult checked =
      host.run({"snapshot", "verify", folder.string(), "--scale", "1", "--mismatches", mismatches.string()});
  EXPECT_EQ(checked.exitCode, 80);
  EXPECT_EQ(checked.out,
            "playing-lock-screen.png: the new picture's size differs from the recorded one's (37 x 37 pixels)\n"
            "playing-minimal.png: the outline differs\n"
            "paused-minimal.png: not recorded\n"
            "gone.png: recorded, but no longer drawn\n");
  EXPECT_NE(checked.err.find("4 of 33 pictures differ from those recorded; see " + mismatches.string()),
            std::string::npos)
      << checked.err;
  EXPECT_EQ(readFile(mismatches / "playing-minimal.expected.txt"), "another tree\n");
  EXPECT_NE(readFile(mismatches / "playing-minimal.actual.txt").find("Text"), std::string::npos);
  EXPECT_TRUE(isPicture(mismatches / "paused-minimal.actual.png", ui::Surface::islandMinimal, 1));

  // A larger text size changes pixels, not trees: a difference picture for each.
  const RunResult larger = host.run({"snapshot", "verify", folder.string(), "--scale", "1", "--text-size", "xLarge",
                                     "--mismatches", mismatches.string()});
  EXPECT_EQ(larger.exitCode, 80);
  EXPECT_NE(larger.out.find("widget-timeline.png: "), std::string::npos) << larger.out;
  EXPECT_NE(larger.out.find("% of the pixels differ ("), std::string::npos) << larger.out;
  EXPECT_TRUE(isPicture(mismatches / "widget-timeline.difference.png", ui::Surface::smallWidget, 1));
  // Unless the tolerance allows it.
  const RunResult allowed = host.run({"snapshot", "verify", folder.string(), "--scale", "1", "--text-size", "xLarge",
                                      "--allowed-fraction", "1", "--mismatches", mismatches.string()});
  EXPECT_EQ(allowed.out.find("widget-timeline.png"), std::string::npos) << allowed.out;
}

}  // namespace
