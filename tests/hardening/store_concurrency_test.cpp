// Concurrency of the shared store: the host app writing presets (and now and then an
// unreadable value) while extension processes serve timeline requests that load the
// preset, and store the default when they cannot read it.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "hardening_support.h"
#include "host_presets.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace tul::hardening {
namespace {

using Json = nlohmann::json;
using namespace std::chrono_literals;

void collectTexts(const Json& node, std::set<std::string>& texts) {
  if (node.is_object()) {
    if (node.value("type", "") == "Text" && node.contains("text")) texts.insert(node["text"].get<std::string>());
    for (const auto& [name, member] : node.items()) collectTexts(member, texts);
  } else if (node.is_array()) {
    for (const auto& item : node) collectTexts(item, texts);
  }
}

// What one extension process saw.
struct ExtensionLog {
  long requests = 0;
  long hostPresets = 0;
  long defaults = 0;
  std::vector<std::string> failures;
};

// Sends timeline requests one after the other until `stop`, checking that each answer
// shows a whole preset: the default, or host preset k with its own tempo, with k
// never going back.
void serveTimelines(testing::ChildProcess& extension, const std::atomic<bool>& stop, ExtensionLog& log) {
  std::int64_t newest = 0;
  const auto fail = [&](std::string what) {
    if (log.failures.size() < 10) log.failures.push_back(std::move(what));
  };
  while (!stop.load()) {
    const long id = ++log.requests;
    const std::string request = R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
                                R"(,"method":"timeline","params":{"kind":"com.lumaro.TulWidget"}})"
                                "\n";
    if (!extension.write(request)) return fail("the extension stopped reading requests");
    const auto line = extension.readLine(30s);
    if (!line) return fail("the extension did not answer request " + std::to_string(id));
    const Json answer = Json::parse(*line, nullptr, false);
    if (!answer.is_object() || answer.value("id", -1L) != id || !answer.contains("result")) {
      fail("request " + std::to_string(id) + " failed: " + *line);
      continue;
    }
    std::set<std::string> texts;
    collectTexts(answer["result"]["entries"], texts);
    const auto host = texts.lower_bound("Host ");
    const auto k = host != texts.end() && host->starts_with("Host ")
                       ? std::optional<std::int64_t>(std::stoll(host->substr(5)))
                       : std::nullopt;
    if (k) {
      if (!texts.contains(std::to_string(bpmFor(*k)))) fail("a torn preset: " + *line);
      if (*k < newest) fail("host preset " + std::to_string(*k) + " after " + std::to_string(newest));
      newest = std::max(newest, *k);
      ++log.hostPresets;
    } else if (texts.contains("120") && texts.contains("Allegro")) {
      ++log.defaults;
    } else {
      fail("neither the default nor a host preset: " + *line);
    }
  }
}

TEST(StoreConcurrency, HostWritesSurviveExtensionsServingTimelinesAtTheSameTime) {
  testing::TempPreferences prefs;
  const long rounds = countFromEnvironment("TUL_CONCURRENCY_ROUNDS", 2000);
  constexpr std::size_t kExtensions = 2;
  const unsigned seed = hardeningSeed();
  RecordProperty("seed", std::to_string(seed));

  std::atomic<bool> stop = false;
  std::vector<testing::ChildProcess> extensions;
  std::vector<ExtensionLog> logs(kExtensions);
  std::vector<std::thread> servers;
  for (std::size_t i = 0; i < kExtensions; ++i) {
    extensions.push_back(testing::ChildProcess::start({TUL_EXTENSION_EXECUTABLE}).value());
  }
  for (std::size_t i = 0; i < kExtensions; ++i)
    servers.emplace_back([&, i] { serveTimelines(extensions[i], stop, logs[i]); });

  auto host =
      testing::ChildProcess::start({TUL_STORE_WRITER, "race", std::to_string(rounds), std::to_string(seed)}).value();
  const std::string summary = host.readToEnd(240s);
  const auto hostStatus = host.wait(10s);
  stop = true;
  for (auto& server : servers) server.join();
  for (auto& extension : extensions) {
    extension.closeInput();
    EXPECT_EQ(extension.wait(10s), 0) << "an extension did not end cleanly when its input closed";
  }

  std::printf("seed %u: host %s", seed, summary.c_str());
  EXPECT_EQ(hostStatus, 0) << "the host app lost a write or could not write: " << summary;
  for (std::size_t i = 0; i < kExtensions; ++i) {
    const auto& log = logs[i];
    std::printf("extension %zu: %ld timeline requests, %ld host presets, %ld defaults\n", i, log.requests,
                log.hostPresets, log.defaults);
    EXPECT_TRUE(log.failures.empty()) << "extension " << i << ": " << log.failures.front();
    EXPECT_GT(log.hostPresets, 0) << "extension " << i << " never saw a host preset";
  }
  const auto stored = readRawRow(prefs.suiteFile(std::string(kSharedSuiteName)), std::string(kSharedPresetKey));
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->bytes, hostPresetJson(rounds)) << "the host app's last write is not what the suite holds";
}

}  // namespace
}  // namespace tul::hardening
