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

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using namespace tul::testing;

const std::string kPreset =
    R"({"isPlaylingList":true,"poly1":4,"poly2":1,"polyBar":1,"bars":4,"bpm":72,"note":4,"beat":3,)"
    R"("subdivision":"0","acc":"2000","name":"Evening set","rythmMode":0,"id":"3AFBD376-5AEC-4704-9518-98A648685F20"})";

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

// The default is stored on the first run; a stored preset shows on the timeline. Which
// stored values are used, and that placeholders show the default, the layers below test.
TEST(WidgetHost, FirstRunStoresTheDefaultThenShowsTheStoredPreset) {
  const Host host;
  const RunResult first = host.run({"timeline"});
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(first.out.rfind("kind: com.lumaro.TulWidget\nfamily: systemSmall\npolicy: never\nentry 1 of 1 at ", 0), 0U)
      << first.out;
  EXPECT_EQ(middleOf(first.out), middleShowing(false, "120", "Allegro"));
  const Json stored = host.storedPreset();
  EXPECT_EQ(stored["name"], "Let it be");
  EXPECT_EQ(stored.size(), 13U);

  const auto preset = host.file("preset.json", kPreset);
  const RunResult write = host.run({"defaults", "write", kSuite, kKey, "--data-file", preset.string()});
  ASSERT_EQ(write.exitCode, 0) << write.err;
  EXPECT_EQ(write.out, "");
  const RunResult timeline = host.run({"timeline"});
  EXPECT_EQ(middleOf(timeline.out), middleShowing(true, "72", "Evening set ")) << timeline.err;
  EXPECT_EQ(host.run({"placeholder"}).out.rfind("kind: com.lumaro.TulWidget\nfamily: systemSmall\nentry at ", 0), 0U);
}

// Every presentation alone and all of them together, from files and from standard
// input; the trees themselves the activity's own tests check.
TEST(WidgetHost, ShowsEachActivityPresentationFromAStateFile) {
  const Host host;
  const auto attributes = host.file("attributes.json", kAttributes).string();
  const auto state = host.file("state.json", kState).string();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"lock-screen", "lock-screen:\n  HStack(alignment: center) .padding(horizontal)\n"},  // how it starts
      {"expanded",
       "expanded:\n  region leading, priority 0:\n    Text \"96\"\n  region trailing, priority 0:\n    Text \"3/4\"\n"
       "  region center, priority 0:\n    Text \"Kadenzo\" [font: caption2]\n"
       "  region bottom, priority 0:\n    Text \"Waltz\"\n"},
      {"compact-leading", "compact-leading:\n  Text \"96\"\n"},
      {"compact-trailing", "compact-trailing:\n  Text \"3/4\"\n"},
      {"minimal", "minimal:\n  Text \"96\"\n"},
  };
  std::string all;
  for (const auto& [presentation, text] : cases) {
    const RunResult shown =
        host.run({"activity", "--attributes", attributes, "--state", state, "--presentation", presentation});
    ASSERT_EQ(shown.exitCode, 0) << presentation << ": " << shown.err;
    EXPECT_EQ(shown.out.substr(0, text.size()), text);
    all += shown.out;
  }
  EXPECT_EQ(host.run({"activity", "--attributes", attributes, "--state", state}).out, all);
  const RunResult json = host.run({"--format", "json", "activity", "--attributes", attributes, "--state", "-"}, kState);
  ASSERT_EQ(json.exitCode, 0) << json.err;
  const Json presentations = Json::parse(json.out)["presentations"];
  ASSERT_EQ(presentations.size(), 5U);
  EXPECT_EQ(presentations[4]["presentation"], "minimal");
  EXPECT_EQ(presentations[1]["regions"][2], Json::parse(R"({"position":"center","priority":0,"view":{"type":"Text",
      "text":"Kadenzo","key":"Kadenzo","arguments":[],"font":"caption2","modifiers":[]}})"));
}

TEST(WidgetHost, JsonFormatGivesTheProtocolsResult) {
  const Host host;
  const RunResult timeline = host.run({"timeline", "--format", "json"});
  ASSERT_EQ(timeline.exitCode, 0) << timeline.err;
  const Json result = Json::parse(timeline.out);
  EXPECT_EQ(result["policy"], "never");
  ASSERT_EQ(result["entries"].size(), 1U);
  EXPECT_EQ(result["entries"][0]["view"]["children"][2]["children"][1]["text"], "Allegro");
  const Json snapshot = Json::parse(host.run({"--format", "json", "snapshot", "--locale", "de"}).out);
  EXPECT_FALSE(snapshot.contains("policy"));
  EXPECT_EQ(snapshot["entry"]["view"]["type"], "VStack");

  const RunResult widgets = host.run({"widgets", "--format", "json"});
  ASSERT_EQ(widgets.exitCode, 0) << widgets.err;
  EXPECT_EQ(Json::parse(widgets.out)["widgets"][1],
            Json::parse(R"({"type":"activity","attributesType":"TulWidgetAttributes"})"));
  EXPECT_EQ(host.run({"widgets"}).out,
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
  expectErrors(
      host,
      {
          {"unknown command", {"render"}, 64, "unknown command \"render\" (commands: widgets,"},
          {"no command", {}, 64, "a command is needed"},
          {"unknown defaults command", {"defaults", "copy"}, 64, "defaults: unknown command \"copy\""},
          {"unknown option",
           {"timeline", "--colour"},
           64,
           "timeline: the following argument was not expected: --colour"},
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
          {"bad hex",
           {"defaults", "write", kSuite, "k", "--data", "0g"},
           64,
           "--data: 'g' at offset 1 is not a hex digit"},
          {"bad integer",
           {"defaults", "write", kSuite, "k", "--int", "12.5"},
           64,
           "--int: \"12.5\" is not a whole number"},
          {"bad boolean", {"defaults", "write", kSuite, "k", "--bool", "yes"}, 64, "is neither true nor false"},
          {"missing data file",
           {"defaults", "write", kSuite, "k", "--data-file", missing},
           66,
           "cannot read the data file"},
      },
      [](const ErrorCase& c) { return std::string(c.name).find("standard input") != std::string::npos ? "{}" : ""; });
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
  const auto broken = host.file("preferences/broken.sqlite", "not a database, but someone's file");
  expectOneLineError(host.run({"defaults", "read", "broken"}), 66, "not a readable preferences database", "read");
  expectOneLineError(host.run({"defaults", "write", "broken", "k", "--int", "1"}), 74,
                     "cannot open or create suite \"broken\"", "write");
  EXPECT_EQ(readFile(broken), "not a database, but someone's file");
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
    const RunResult result = tul::testing::run(command);
    if (c.exitCode == 0) {
      EXPECT_EQ(result.exitCode, 0) << c.name << ": " << result.err;
      EXPECT_NE(result.out.find(c.part), std::string::npos) << c.name << ": " << result.out;
    } else {
      expectOneLineError(result, c.exitCode, c.part, c.name);
    }
  }
}

// One line and status 69 for each way an extension can fail; the messages in full, and
// that the child is ended and reaped, the extension process's own tests check.
TEST(WidgetHost, NamesAnExtensionThatFails) {
  const Host host;
  const auto script = host.file("not-executable", "#!/bin/sh\n");
  ::chmod(script.c_str(), 0644);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {standIn("hang").string(), "did not answer within 1 second; it was ended"},
      {standIn("crash").string(), "crashed (signal 11, SIGSEGV) before answering"},
      {standIn("garbage").string(), "the extension's answer is not JSON: \"this is not JSON\""},
      {standIn("deep").string(), "nests deeper than 512 levels"},
      {standIn("partial").string(), "exited with status 0 in the middle of an answer (24 bytes without a line end)"},
      {script.string(), "not executable"},
  };
  for (const auto& [extension, message] : cases) {
    const RunResult result = host.run({"--extension", extension, "--timeout", "1", "widgets"});
    expectOneLineError(result, 69, "widget-host: widgets: ", extension);
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
  }
}

}  // namespace
