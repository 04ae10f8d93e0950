// widget-host as a user runs it: the installed host and the installed extension, each
// test with its own preferences folder. What each command line prints, on which stream
// and with which exit status, is kept in full in tests/golden/widget-host-*.txt.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "golden/golden.h"
#include "installed_host.h"

namespace {

namespace fs = std::filesystem;
using namespace tul::testing;

const std::string kActivity = "activity --attributes $DIR/attributes.json --state ";

// A host whose folder holds the records the command lines name.
Host hostWithRecords() {
  Host host;
  host.file("preset.json",
            R"({"isPlaylingList":true,"poly1":4,"poly2":1,"polyBar":1,"bars":4,"bpm":72,"note":4,"beat":3,)"
            R"("subdivision":"0","acc":"2000","name":"Evening set","rythmMode":0,)"
            R"("id":"3AFBD376-5AEC-4704-9518-98A648685F20"})");
  host.file("manual.json", R"({"tempo":96,"beat":3,"note":4,"melodyName":null,"isPlaying":true})");
  host.file("broken.json", "{\"tempo\":");
  return host;
}

// The default is stored on the first run, and a stored preset shows on the timeline;
// every presentation alone and all of them together, from files and from standard
// input; text and JSON. Which stored values are used and the trees themselves the
// layers below test.
TEST(WidgetHostGolden, ShowsWhatTheExtensionAnswers) {
  const Host host = hostWithRecords();
  const std::string state = kActivity + "$DIR/state.json";
  std::string shown = transcript(host, {"timeline", "placeholder"});
  const std::string stored = host.run({"defaults", "read", kSuite, kKey}).out;  // the default, with an id of its own
  EXPECT_NE(stored.find(R"(,"name":"Let it be",)"), std::string::npos) << stored;
  expectGolden("widget-host-commands.txt",
               shown + transcript(host, {"defaults write group.com.quenova.tul miniMelody --data-file $DIR/preset.json",
                                         "timeline",
                                         "timeline --format json",
                                         "--format json snapshot --locale de",
                                         "widgets --format json",
                                         "widgets",
                                         state + " --presentation lock-screen",
                                         state + " --presentation expanded",
                                         state + " --presentation compact-leading",
                                         state + " --presentation compact-trailing",
                                         state + " --presentation minimal",
                                         state,
                                         {"--format json " + kActivity + "-", kState}}));
}

// Each way a command line can be wrong is one line on standard error with its status,
// and loses nothing: a missing suite is not made, a file that is no database is kept.
TEST(WidgetHostGolden, BadInputGivesOneLineAndItsExitStatus) {
  const Host host = hostWithRecords();
  const auto broken = host.file("preferences/broken.sqlite", "not a database, but someone's file");
  ASSERT_EQ(host.run({"defaults", "write", kSuite, "present", "--bool", "true"}).exitCode, 0);
  expectGolden("widget-host-errors.txt",
               transcript(host, {"render",
                                 "",
                                 "defaults copy",
                                 "timeline --colour",
                                 "--format gif widgets",
                                 "--timeout -1 widgets",
                                 "activity --state $DIR/state.json",
                                 kActivity + "$DIR/state.json --presentation island",
                                 "activity --attributes - --state -",
                                 kActivity + "$DIR/preferences/nowhere.json",
                                 "activity --attributes $DIR --state $DIR/state.json",
                                 "snapshot --family systemLarge",
                                 "timeline --kind com.other",
                                 kActivity + "$DIR/manual.json",
                                 kActivity + "$DIR/broken.json",
                                 {"activity --attributes - --state $DIR/state.json", "{}"},
                                 "defaults read no.such.suite",
                                 "defaults write a/b k --int 1",
                                 "defaults write group.com.quenova.tul k",
                                 "defaults write group.com.quenova.tul k --int 1 --string a",
                                 "defaults write group.com.quenova.tul k --data 0g",
                                 "defaults write group.com.quenova.tul k --int 12.5",
                                 "defaults write group.com.quenova.tul k --bool yes",
                                 "defaults write group.com.quenova.tul k --data-file $DIR/nowhere.json",
                                 "defaults read group.com.quenova.tul absent",
                                 "defaults read-type group.com.quenova.tul absent",
                                 "defaults delete group.com.quenova.tul absent",
                                 "defaults read broken",
                                 "defaults write broken k --int 1"}));
  EXPECT_FALSE(fs::exists(host.preferences() / "no.such.suite.sqlite"));
  EXPECT_EQ(readFile(broken), "not a database, but someone's file");
}

// Each kind of value is written and read back as text, as JSON and by type; data
// comes from standard input byte for byte; keys are listed and deleted.
TEST(WidgetHostGolden, DefaultsKeepEachKind) {
  const Host host;
  const std::string suite = "defaults read group.com.quenova.tul value";
  std::vector<Line> lines;
  for (const std::string value :
       {"--data 00FFab", "--data ''", "--data 7b2261223a5b312c325d7d", "--string two\nlines\t\"quoted\"",
        "--int=-9223372036854775808", "--float 0.1", "--float=-inf", "--bool false"}) {
    lines.emplace_back("defaults write group.com.quenova.tul value --format json " + value);
    lines.emplace_back("defaults read-type group.com.quenova.tul value");
    lines.emplace_back(suite + " --format json");
    lines.emplace_back(suite);
  }
  lines.emplace_back("defaults write group.com.quenova.tul raw --data-file -", std::string("\x00\xFF\n\x7F", 4));
  lines.insert(lines.end(),
               {"defaults read group.com.quenova.tul raw --format json",
                "defaults read group.com.quenova.tul --format json", "defaults delete group.com.quenova.tul raw",
                "defaults delete group.com.quenova.tul --format json", "defaults read group.com.quenova.tul"});
  expectGolden("widget-host-defaults.txt", transcript(host, lines));
}

// Where the host finds its extension, and one line and status 69 for each way an
// extension can fail; that the child is ended and reaped the extension process's own
// tests check.
TEST(WidgetHostGolden, FindsTheExtensionAndNamesOneThatFails) {
  const Host host;
  fs::create_directories(host.folder() / "lonely/bin");
  fs::copy_file(installedHost(), host.folder() / "lonely/bin/widget-host");
  ::chmod(host.file("not-executable", "#!/bin/sh\n").c_str(), 0644);
  expectGolden("widget-host-extensions.txt",
               transcript(host, {"widgets", "--extension $LIB/tul-widget/TulWidgetExtension.appex/ widgets",
                                 "widgets --extension $LIB/tul-widget/TulWidgetExtension.appex/TulWidgetExtension",
                                 "$BUILD_HOST widgets", "$DIR/lonely/bin/widget-host widgets",
                                 "--extension /nonexistent/X.appex widgets",
                                 "--extension $STAND_IN/stand_in_hang --timeout 1 widgets",
                                 "--extension $STAND_IN/stand_in_crash --timeout 1 widgets",
                                 "--extension $STAND_IN/stand_in_garbage --timeout 1 widgets",
                                 "--extension $STAND_IN/stand_in_loud_error --timeout 1 widgets",
                                 "--extension $STAND_IN/stand_in_deep --timeout 1 widgets",
                                 "--extension $STAND_IN/stand_in_partial --timeout 1 widgets",
                                 // A good answer counts for nothing once the exit failed.
                                 "--extension $STAND_IN/stand_in_fails_after_answer timeline",
                                 "--extension $STAND_IN/stand_in_fails_after_answer timeline --format png "
                                 "--output $DIR/never.png --scale 1",
                                 // The gallery asks ahead: the failure is still the first state's.
                                 "--extension $STAND_IN/stand_in_crash_on_activity gallery --output $DIR/never",
                                 "--extension $DIR/not-executable --timeout 1 widgets"}));
}

}  // namespace
