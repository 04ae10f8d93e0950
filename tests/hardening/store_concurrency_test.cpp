// Concurrency of the shared store: the host app writing presets (and now and then an
// unreadable value) while extension processes serve timeline requests that load the
// preset, and store the default when they cannot read it.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <thread>

#include "hardening_support.h"
#include "host_presets.h"
#include "platform/foundation/user_defaults.h"
#include "support/child_process.h"
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

// The host app during the test, in a process of its own: `rounds` writes, mostly
// presets and every third a broken value, with short random pauses. Before each write
// it checks that what it wrote last is still there: a preset untouched, a broken value
// untouched or replaced by a whole default. Prints one summary line; reports what was
// lost, and ends with status 2 when a write failed.
std::string runHost(std::int64_t rounds, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> pauseMicroseconds(0, 400);
  std::int64_t replacedByDefault = 0;
  std::string lost;
  std::optional<foundation::Data> last;
  bool lastWasBroken = false;
  const auto suite = [] {
    auto defaults = foundation::UserDefaults::make(kSharedSuiteName);
    if (!defaults) std::_Exit(2);
    return *defaults;
  };
  const auto checkLast = [&](std::int64_t round) {
    const auto now = suite().object(kSharedPresetKey);
    const auto* data = now ? now->getIf<foundation::Data>() : nullptr;
    if (!last || (data && *data == *last)) return;
    if (lastWasBroken && data && holdsDefaultPreset(*data)) {
      ++replacedByDefault;
      return;
    }
    lost += "before round " + std::to_string(round) + " the value written last is gone: " +
            (data ? std::string(foundation::stringView(*data)) : "(no data value)") + "\n";
  };
  for (std::int64_t round = 1; round <= rounds; ++round) {
    checkLast(round);
    // Every third write is unreadable, and the last one never is.
    lastWasBroken = round % 3 == 0 && round != rounds;
    last = lastWasBroken ? brokenData(round) : hostPresetData(round);
    if (!suite().set(foundation::PropertyValue{*last}, kSharedPresetKey)) std::_Exit(2);
    std::this_thread::sleep_for(std::chrono::microseconds(pauseMicroseconds(random)));
  }
  checkLast(rounds + 1);
  std::printf("host: %lld writes, %lld unreadable ones replaced by a default\n", static_cast<long long>(rounds),
              static_cast<long long>(replacedByDefault));
  return lost;
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
  extensions.reserve(kExtensions);  // the servers hold on to their extension
  for (std::size_t i = 0; i < kExtensions; ++i) {
    extensions.push_back(testing::ChildProcess::start({TUL_EXTENSION_EXECUTABLE}).value());
    servers.emplace_back([&, i] { serveTimelines(extensions[i], stop, logs[i]); });
  }

  const ChildOutcome host = runForked([&] { return runHost(rounds, seed); });
  stop = true;
  for (auto& server : servers) server.join();
  for (auto& extension : extensions) {
    extension.closeInput();
    EXPECT_EQ(extension.wait(10s), 0) << "an extension did not end cleanly when its input closed";
  }
  std::printf("seed %u\n", seed);
  EXPECT_TRUE(host.clean()) << "the host app lost a write or could not write: " << host.describe();
  for (std::size_t i = 0; i < kExtensions; ++i) {
    const auto& log = logs[i];
    std::printf("extension %zu: %ld timeline requests, %ld host presets, %ld defaults\n", i, log.requests,
                log.hostPresets, log.defaults);
    EXPECT_TRUE(log.failures.empty()) << "extension " << i << ": " << log.failures.front();
    EXPECT_GT(log.hostPresets, 0) << "extension " << i << " never saw a host preset";
  }
  const auto stored = readRawData(prefs.suiteFile(std::string(kSharedSuiteName)), kSharedPresetKey);
  ASSERT_TRUE(stored);
  EXPECT_EQ(*stored, hostPresetJson(rounds)) << "the host app's last write is not what the suite holds";
}

}  // namespace
}  // namespace tul::hardening
