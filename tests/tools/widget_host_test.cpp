// widget-host as a user runs it: the installed host and the installed extension, each
// test with its own preferences folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "hex.h"
#include "installed_host.h"
#include "process_run.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using tul::testing::EnvironmentChanges;
using tul::testing::expectOneLineError;
using tul::testing::Host;
using tul::testing::installedBundle;
using tul::testing::installedHost;
using tul::testing::installedPrefix;
using tul::testing::kKey;
using tul::testing::kSuite;
using tul::testing::RunResult;
using tul::testing::standIn;
using tul::testing::TempFolder;
using tul::testing::writeBytes;

std::string presetJSON(bool isPlaylist, const std::string& name, int bpm, const std::string& extra = "") {
  return std::string(R"({"isPlaylingList":)") + (isPlaylist ? "true" : "false") +
         R"(,"poly1":4,"poly2":1,"polyBar":1,"bars":4,"bpm":)" + std::to_string(bpm) +
         R"(,"note":4,"beat":3,"subdivision":"0","acc":"2000","name":")" + name +
         R"(","rythmMode":0,"id":"3AFBD376-5AEC-4704-9518-98A648685F20")" + extra + "}";
}

const std::string kAttributes = R"({"name":"Practice"})";
const std::string kState =
    R"({"tempo":96,"beat":3,"note":4,"melodyName":"Waltz","isPlaying":true,"isAutomated":false})";

// The two texts under the product title: the tempo and the name or marking.
std::string middleOf(const std::string& outline) {
  const auto start = outline.find("Conditional");
  return start == std::string::npos ? std::string() : outline.substr(start, outline.find("Spacer", start) - start);
}

std::string middleShowing(bool branch, const std::string& tempo, const std::string& second) {
  return std::string("Conditional(branch: ") + (branch ? "true" : "false") + ")\n      Text \"" + tempo +
         "\" [font: largeTitle, fontWeight: heavy]\n      Text \"" + second + "\"\n    ";
}

TEST(WidgetHost, FirstRunStoresTheDefaultAndShowsIt) {
  const Host host;
  const RunResult timeline = host.run({"timeline"});
  ASSERT_EQ(timeline.exitCode, 0) << timeline.err;
  EXPECT_EQ(timeline.out.rfind("kind: com.lumaro.TulWidget\nfamily: systemSmall\npolicy: never\nentry 1 of 1 at ", 0),
            0U)
      << timeline.out;
  EXPECT_EQ(middleOf(timeline.out), middleShowing(false, "120", "Allegro"));
  EXPECT_TRUE(fs::exists(host.preferences() / (std::string(kSuite) + ".sqlite")));

  const Json stored = host.storedPreset();
  EXPECT_EQ(stored["bpm"], 120);
  EXPECT_EQ(stored["name"], "Let it be");
  EXPECT_EQ(stored.size(), 13U);
}

TEST(WidgetHost, StoredPresetShowsOnTheTimelineOnly) {
  const Host host;
  const auto preset = host.file("preset.json", presetJSON(true, "Evening set", 72));
  const RunResult write = host.run({"defaults", "write", kSuite, kKey, "--data-file", preset.string()});
  ASSERT_EQ(write.exitCode, 0) << write.err;
  EXPECT_EQ(write.out, "");

  const RunResult timeline = host.run({"timeline"});
  ASSERT_EQ(timeline.exitCode, 0) << timeline.err;
  EXPECT_EQ(middleOf(timeline.out), middleShowing(true, "72", "Evening set "));
  // The placeholder and the snapshot always show the default preset.
  const std::vector<std::vector<std::string>> defaultOnly = {{"placeholder"}, {"snapshot"}, {"snapshot", "--preview"}};
  for (const auto& command : defaultOnly) {
    const RunResult shown = host.run(command);
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(shown.out.rfind("kind: com.lumaro.TulWidget\nfamily: systemSmall\nentry at ", 0), 0U) << shown.out;
    EXPECT_EQ(middleOf(shown.out), middleShowing(false, "120", "Allegro")) << command.back();
  }
  EXPECT_EQ(host.storedPreset()["name"], "Evening set");  // none of them wrote
}

TEST(WidgetHost, StoredValuesTheExtensionCannotUseAndOneItCan) {
  struct Case {
    const char* name;
    std::vector<std::string> value;  // the `defaults write` value options
    std::string middle;
    bool keptAsIs;  // else replaced by the default
  };
  const std::vector<Case> cases = {
      {"a text value", {"--string", presetJSON(true, "As text", 80)}, middleShowing(false, "120", "Allegro"), false},
      {"a value that does not decode",
       {"--data", host::hexDigits(R"({"bpm":"fast"})")},
       middleShowing(false, "120", "Allegro"),
       false},
      {"bytes that are not JSON", {"--data", "ff00"}, middleShowing(false, "120", "Allegro"), false},
      {"an integer", {"--int", "90"}, middleShowing(false, "120", "Allegro"), false},
      {"a preset with an extra member",
       {"--data", host::hexDigits(presetJSON(false, "Extra", 60, R"(,"color":"red")"))},
       middleShowing(false, "60", "Adagio"),
       true},
  };
  for (const auto& c : cases) {
    const Host host;
    std::vector<std::string> write = {"defaults", "write", kSuite, kKey};
    write.insert(write.end(), c.value.begin(), c.value.end());
    ASSERT_EQ(host.run(write).exitCode, 0) << c.name;
    const RunResult before = host.run({"defaults", "read", kSuite, kKey, "--format", "json"});

    const RunResult timeline = host.run({"timeline"});
    ASSERT_EQ(timeline.exitCode, 0) << c.name << ": " << timeline.err;
    EXPECT_EQ(middleOf(timeline.out), c.middle) << c.name;

    const RunResult after = host.run({"defaults", "read", kSuite, kKey, "--format", "json"});
    if (c.keptAsIs) {
      EXPECT_EQ(after.out, before.out) << c.name;  // byte for byte
    } else {
      EXPECT_EQ(host.storedPreset()["name"], "Let it be") << c.name;
    }
  }
}

TEST(WidgetHost, ShowsEachActivityPresentationFromAStateFile) {
  const Host host;
  const auto attributes = host.file("attributes.json", kAttributes);
  const auto state = host.file("state.json", kState);
  struct Case {
    std::string presentation;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"lock-screen",
       "lock-screen:\n"
       "  HStack(alignment: center) .padding(horizontal)\n"
       "    VStack(alignment: center)\n"
       "      Conditional(branch: false)\n"
       "        Text \"3/4\" .opacity(0.5) .font(caption2)\n"
       "        Text \"96\" [font: title]\n"
       "    Spacer\n"
       "    VStack(alignment: center)\n"
       "      Text \"Kadenzo\" [font: caption2] .opacity(0.5)\n"
       "      Conditional(branch: true)\n"
       "        Text \"Waltz\"\n"
       "    Spacer\n"
       "    Button .buttonStyle(plain)\n"
       "      HStack(alignment: center) .font(title) .padding(all)\n"
       "        Conditional(branch: true)\n"
       "          Image(systemName: \"pause.fill\")\n"},
      {"expanded",
       "expanded:\n"
       "  region leading, priority 0:\n    Text \"96\"\n"
       "  region trailing, priority 0:\n    Text \"3/4\"\n"
       "  region center, priority 0:\n    Text \"Kadenzo\" [font: caption2]\n"
       "  region bottom, priority 0:\n    Text \"Waltz\"\n"},
      {"compact-leading", "compact-leading:\n  Text \"96\"\n"},
      {"compact-trailing", "compact-trailing:\n  Text \"3/4\"\n"},
      {"minimal", "minimal:\n  Text \"96\"\n"},
  };
  std::string all;
  for (const auto& c : cases) {
    const RunResult shown = host.run(
        {"activity", "--attributes", attributes.string(), "--state", state.string(), "--presentation", c.presentation});
    ASSERT_EQ(shown.exitCode, 0) << c.presentation << ": " << shown.err;
    EXPECT_EQ(shown.out, c.text);
    all += c.text;

    // The state on standard input, answered as JSON.
    const RunResult json = host.run({"activity", "--attributes", attributes.string(), "--state", "-", "--presentation",
                                     c.presentation, "--format", "json"},
                                    kState);
    ASSERT_EQ(json.exitCode, 0) << c.presentation << ": " << json.err;
    const Json result = Json::parse(json.out);
    EXPECT_EQ(result["presentation"], c.presentation);
    EXPECT_EQ(result.contains("regions"), c.presentation == "expanded");
    EXPECT_EQ(result.contains("view"), c.presentation != "expanded");
  }
  const RunResult every = host.run({"activity", "--attributes", attributes.string(), "--state", state.string()});
  ASSERT_EQ(every.exitCode, 0) << every.err;
  EXPECT_EQ(every.out, all);
  const RunResult everyJson =
      host.run({"--format", "json", "activity", "--attributes", attributes.string(), "--state", state.string()});
  const Json presentations = Json::parse(everyJson.out)["presentations"];
  ASSERT_EQ(presentations.size(), 5U);
  EXPECT_EQ(presentations[1]["regions"][2], Json::parse(R"({"position":"center","priority":0,"view":{"type":"Text",
      "text":"Kadenzo","key":"Kadenzo","arguments":[],"font":"caption2","modifiers":[]}})"));
}

TEST(WidgetHost, JsonFormatGivesTheProtocolsResult) {
  const Host host;
  const RunResult timeline = host.run({"timeline", "--format", "json"});
  ASSERT_EQ(timeline.exitCode, 0) << timeline.err;
  const Json result = Json::parse(timeline.out);
  EXPECT_EQ(result["kind"], "com.lumaro.TulWidget");
  EXPECT_EQ(result["family"], "systemSmall");
  EXPECT_EQ(result["policy"], "never");
  ASSERT_EQ(result["entries"].size(), 1U);
  EXPECT_EQ(result["entries"][0]["date"].get<std::string>().size(), std::string("2026-12-06T08:00:14.123Z").size());
  EXPECT_EQ(result["entries"][0]["view"]["type"], "VStack");
  EXPECT_EQ(result["entries"][0]["view"]["children"][2]["children"][1]["text"], "Allegro");

  const RunResult snapshot = host.run({"--format", "json", "snapshot", "--locale", "de"});
  ASSERT_EQ(snapshot.exitCode, 0) << snapshot.err;
  const Json entry = Json::parse(snapshot.out);
  EXPECT_FALSE(entry.contains("policy"));
  EXPECT_EQ(entry["entry"]["view"]["type"], "VStack");

  const RunResult widgets = host.run({"widgets", "--format", "json"});
  ASSERT_EQ(widgets.exitCode, 0) << widgets.err;
  EXPECT_EQ(Json::parse(widgets.out)["widgets"][1],
            Json::parse(R"({"type":"activity","attributesType":"TulWidgetAttributes"})"));
  const RunResult widgetsText = host.run({"widgets"});
  EXPECT_EQ(widgetsText.out,
            "static widget com.lumaro.TulWidget\n  display name: Kadenzo\n  description: Practice with Kadenzo\n"
            "  families: systemSmall\nactivity widget for TulWidgetAttributes\n");
}

TEST(WidgetHost, BadInputGivesOneLineAndItsExitStatus) {
  const Host host;
  const auto attributes = host.file("attributes.json", kAttributes);
  const auto state = host.file("state.json", kState);
  const auto noAutomation =
      host.file("manual.json", R"({"tempo":96,"beat":3,"note":4,"melodyName":null,"isPlaying":true})");
  const auto notJson = host.file("broken.json", "{\"tempo\":");
  const auto missing = (host.preferences() / "nowhere.json").string();
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    int exitCode;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"unknown command", {"render"}, 64, "unknown command \"render\" (commands: widgets,"},
      {"no command", {}, 64, "a command is needed"},
      {"unknown defaults command", {"defaults", "copy"}, 64, "defaults: unknown command \"copy\""},
      {"unknown option", {"timeline", "--colour"}, 64, "timeline: the following argument was not expected: --colour"},
      {"unknown format", {"--format", "gif", "widgets"}, 64, "--format: gif not in {text,json,png,svg}"},
      {"bad time limit", {"--timeout", "-1", "widgets"}, 64, "\"-1\" is not a number of seconds"},
      {"missing required option", {"activity", "--state", state.string()}, 64, "--attributes is required"},
      {"unknown presentation",
       {"activity", "--attributes", attributes.string(), "--state", state.string(), "--presentation", "island"},
       64,
       "--presentation: island not in"},
      {"both records on standard input",
       {"activity", "--attributes", "-", "--state", "-"},
       64,
       "only one of --attributes and --state can be standard input"},
      {"missing file",
       {"activity", "--attributes", attributes.string(), "--state", missing},
       66,
       "activity: cannot read the state file \"" + missing + "\": No such file or directory"},
      {"a folder for a file",
       {"activity", "--attributes", host.preferences().parent_path().string(), "--state", state.string()},
       66,
       "Is a directory"},
      {"undeclared family",
       {"snapshot", "--family", "systemLarge"},
       64,
       "snapshot: the extension refused the request: widget \"com.lumaro.TulWidget\" does not support family "
       "\"systemLarge\" (it declares: systemSmall)"},
      {"unknown kind", {"timeline", "--kind", "com.other"}, 64, "unknown widget kind \"com.other\""},
      {"state missing isAutomated",
       {"activity", "--attributes", attributes.string(), "--state", noAutomation.string()},
       65,
       "activity: the coded state from \"" + noAutomation.string() +
           "\" does not decode: keyNotFound at \"isAutomated\": "},
      {"state that is not JSON",
       {"activity", "--attributes", attributes.string(), "--state", notJson.string()},
       65,
       "does not decode: dataCorrupted"},
      {"attributes on standard input that do not decode",
       {"activity", "--attributes", "-", "--state", state.string()},
       65,
       "the coded attributes from standard input do not decode: keyNotFound at \"name\""},
      {"missing suite", {"defaults", "read", "no.such.suite"}, 66, "defaults read: no suite \"no.such.suite\""},
      {"bad suite name", {"defaults", "write", "a/b", "k", "--int", "1"}, 64, "bad suite name \"a/b\""},
      {"no value to write", {"defaults", "write", kSuite, "k"}, 64, "give exactly one of --data"},
      {"two values to write",
       {"defaults", "write", kSuite, "k", "--int", "1", "--string", "a"},
       64,
       "several values given"},
      {"bad hex", {"defaults", "write", kSuite, "k", "--data", "0g"}, 64, "--data: 'g' at offset 1 is not a hex digit"},
      {"bad integer", {"defaults", "write", kSuite, "k", "--int", "12.5"}, 64, "--int: \"12.5\" is not a whole number"},
      {"bad boolean", {"defaults", "write", kSuite, "k", "--bool", "yes"}, 64, "is neither true nor false"},
      {"missing data file",
       {"defaults", "write", kSuite, "k", "--data-file", missing},
       66,
       "cannot read the data file"},
  };
  for (const auto& c : cases) {
    const std::string input = std::string(c.name).find("standard input") != std::string::npos ? "{}" : "";
    expectOneLineError(host.run(c.arguments, input), c.exitCode, c.message, c.name);
  }
  // Keys: a missing key reads and deletes as an error, and nothing was created.
  ASSERT_EQ(host.run({"defaults", "write", kSuite, "present", "--bool", "true"}).exitCode, 0);
  const std::vector<std::vector<std::string>> absentKey = {
      {"read", kSuite, "absent"}, {"read-type", kSuite, "absent"}, {"delete", kSuite, "absent"}};
  for (const auto& command : absentKey) {
    std::vector<std::string> arguments = {"defaults"};
    arguments.insert(arguments.end(), command.begin(), command.end());
    expectOneLineError(host.run(arguments), 66, "no key \"absent\" in suite \"group.com.quenova.tul\"", command[0]);
  }
  EXPECT_FALSE(fs::exists(host.preferences() / "no.such.suite.sqlite"));

  // A suite file that is not a database is reported, and never written over.
  const auto broken = host.preferences() / "broken.sqlite";
  writeBytes(broken, "not a database, but someone's file");
  expectOneLineError(host.run({"defaults", "read", "broken"}), 66, "not a readable preferences database", "read");
  expectOneLineError(host.run({"defaults", "write", "broken", "k", "--int", "1"}), 74,
                     "cannot open or create suite \"broken\"", "write");
  EXPECT_EQ(tul::testing::readBytes(broken), "not a database, but someone's file");
}

TEST(WidgetHost, DefaultsKeepEachKind) {
  const Host host;
  struct Case {
    std::vector<std::string> value;
    std::string type;
    Json json;
    std::string text;
  };
  const std::vector<Case> cases = {
      {{"--data", "00FFab"}, "data", "00ffab", "data, 3 bytes\n  hex:\n    00ffab\n"},
      {{"--data", ""}, "data", "", "data, 0 bytes\n"},
      {{"--data", host::hexDigits(R"({"a":[1,2]})")},
       "data",
       host::hexDigits(R"({"a":[1,2]})"),
       "data, 11 bytes\n  text: {\"a\":[1,2]}\n  hex:\n    7b2261223a5b312c325d7d\n"},
      {{"--string", "two\nlines \"quoted\""},
       "string",
       "two\nlines \"quoted\"",
       "string \"two\\nlines \\\"quoted\\\"\"\n"},
      {{"--int=-9223372036854775808"}, "integer", INT64_MIN, "integer -9223372036854775808\n"},
      {{"--float", "0.1"}, "real", 0.1, "real 0.1\n"},
      {{"--float=-inf"}, "real", "-infinity", "real -infinity\n"},
      {{"--bool", "false"}, "boolean", false, "boolean false\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> write = {"defaults", "write", kSuite, "value", "--format", "json"};
    write.insert(write.end(), c.value.begin(), c.value.end());
    const RunResult written = host.run(write);
    ASSERT_EQ(written.exitCode, 0) << c.type << ": " << written.err;
    EXPECT_EQ(Json::parse(written.out)["type"], c.type);

    const RunResult type = host.run({"defaults", "read-type", kSuite, "value"});
    EXPECT_EQ(type.out, c.type + "\n");
    const RunResult json = host.run({"defaults", "read", kSuite, "value", "--format", "json"});
    EXPECT_EQ(Json::parse(json.out), (Json{{"type", c.type}, {"value", c.json}}));
    const RunResult text = host.run({"defaults", "read", kSuite, "value"});
    EXPECT_EQ(text.out, c.text);
  }
  // Data from standard input, byte for byte, including bytes JSON text cannot hold.
  const std::string bytes("\x00\xFF\n\x7F", 4);
  ASSERT_EQ(host.run({"defaults", "write", kSuite, "raw", "--data-file", "-"}, bytes).exitCode, 0);
  EXPECT_EQ(Json::parse(host.run({"defaults", "read", kSuite, "raw", "--format", "json"}).out)["value"], "00ff0a7f");

  // Listing and deleting.
  const RunResult listed = host.run({"defaults", "read", kSuite, "--format", "json"});
  EXPECT_EQ(Json::parse(listed.out)["values"].size(), 2U);
  ASSERT_EQ(host.run({"defaults", "delete", kSuite, "raw"}).exitCode, 0);
  const RunResult deleted = host.run({"defaults", "delete", kSuite, "--format", "json"});
  EXPECT_EQ(Json::parse(deleted.out), Json::parse(R"({"suite":"group.com.quenova.tul","deleted":["value"]})"));
  EXPECT_EQ(host.run({"defaults", "read", kSuite}).out,
            "suite \"group.com.quenova.tul\" (" + (host.preferences() / "group.com.quenova.tul.sqlite").string() +
                "): 0 keys\n");
}

TEST(WidgetHost, SuitesLiveWhereTheEnvironmentSays) {
  const TempFolder data;
  const EnvironmentChanges xdgOnly = {{"WIDGET_PLATFORM_PREFERENCES", std::nullopt},
                                      {"XDG_DATA_HOME", data.path().string()}};
  const std::string host = installedHost().string();
  const RunResult timeline = tul::testing::runProgram({host, "timeline"}, "", xdgOnly);
  ASSERT_EQ(timeline.exitCode, 0) << timeline.err;
  EXPECT_TRUE(fs::exists(data / "widget-platform/preferences/group.com.quenova.tul.sqlite"));
  const RunResult read = tul::testing::runProgram({host, "defaults", "read-type", kSuite, kKey}, "", xdgOnly);
  EXPECT_EQ(read.out, "data\n") << read.err;

  // --preferences wins over both, for the host and for the extension.
  const TempFolder other;
  const RunResult moved =
      tul::testing::runProgram({host, "--preferences", other.path().string(), "timeline"}, "", xdgOnly);
  ASSERT_EQ(moved.exitCode, 0) << moved.err;
  EXPECT_TRUE(fs::exists(other / "group.com.quenova.tul.sqlite"));
}

TEST(WidgetHost, FindsTheExtensionItWasInstalledWith) {
  const Host host;
  const fs::path bundle = installedBundle();
  const TempFolder lonely;
  fs::create_directories(lonely / "bin");
  fs::copy_file(installedHost(), lonely / "bin/widget-host");
  struct Case {
    const char* name;
    std::vector<std::string> command;
    int exitCode;
    std::string part;  // of the output, or of the error
  };
  const std::vector<Case> cases = {
      {"installed host", {installedHost().string(), "widgets"}, 0, "static widget com.lumaro.TulWidget"},
      {"bundle folder given",
       {installedHost().string(), "--extension", bundle.string() + "/", "widgets"},
       0,
       "static widget"},
      {"executable given",
       {installedHost().string(), "widgets", "--extension", (bundle / "TulWidgetExtension").string()},
       0,
       "static widget"},
      {"build tree host", {TUL_BUILD_TREE_HOST, "widgets"}, 0, "static widget"},
      {"a host without its extension",
       {(lonely / "bin/widget-host").string(), "widgets"},
       69,
       "widgets: no extension found (looked at " + (lonely / "lib").string()},
      {"nothing at the given path",
       {installedHost().string(), "--extension", "/nonexistent/X.appex", "widgets"},
       69,
       "no extension executable at /nonexistent/X.appex"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> command = c.command;
    command.insert(command.begin() + 1, {"--preferences", host.preferences().string()});
    const RunResult result = tul::testing::runProgram(command);
    if (c.exitCode == 0) {
      EXPECT_EQ(result.exitCode, 0) << c.name << ": " << result.err;
      EXPECT_NE(result.out.find(c.part), std::string::npos) << c.name << ": " << result.out;
    } else {
      expectOneLineError(result, c.exitCode, c.part, c.name);
    }
  }
}

TEST(WidgetHost, NamesAnExtensionThatFailsAndEndsIt) {
  const Host host;
  const TempFolder folder;
  writeBytes(folder / "not-executable", "#!/bin/sh\n");
  ::chmod((folder / "not-executable").c_str(), 0644);
  struct Case {
    std::string extension;
    std::string message;
  };
  const std::vector<Case> cases = {
      {standIn("hang").string(), "did not answer within 1 second; it was ended"},
      {standIn("stubborn").string(), "did not answer within 1 second; it was ended"},
      {standIn("crash").string(), "crashed (signal 11, SIGSEGV) before answering"},
      {standIn("exit3").string(), "exited with status 3 before answering"},
      {standIn("close-output").string(), "closed its output before answering; it was ended"},
      {standIn("linger").string(), "did not exit within 1 second after its input closed; it was ended"},
      {standIn("garbage").string(), "the extension's answer is not JSON: \"this is not JSON\""},
      {standIn("wrong-id").string(), "does not answer request 1"},
      {standIn("deep").string(), "nests deeper than 512 levels"},
      {standIn("partial").string(), "exited with status 0 in the middle of an answer (24 bytes without a line end)"},
      {standIn("endless").string(), "the extension at " + standIn("endless").string()},
      {(folder / "not-executable").string(), "not executable"},
  };
  for (const auto& c : cases) {
    const TempFolder pidFolder;
    const auto pidFile = pidFolder / "pid";
    std::vector<std::string> arguments = {installedHost().string(),
                                          "--preferences",
                                          host.preferences().string(),
                                          "--extension",
                                          c.extension,
                                          "--timeout",
                                          "1",
                                          "widgets"};
    const RunResult result = tul::testing::runProgram(arguments, "", {{"STAND_IN_PID_FILE", pidFile.string()}});
    expectOneLineError(result, 69, c.message, c.extension);
    EXPECT_NE(result.err.find("widget-host: widgets: "), std::string::npos) << result.err;
    // The stand-in is gone: not running, not even left for someone else to reap.
    if (fs::exists(pidFile)) {
      const std::string pid = std::to_string(std::stoi(tul::testing::readBytes(pidFile)));
      EXPECT_FALSE(fs::exists("/proc/" + pid)) << c.extension << " left process " << pid;
    }
  }
}

}  // namespace
