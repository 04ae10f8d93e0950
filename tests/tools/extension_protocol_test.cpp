// The installed extension, spoken to directly through its pipes: every kind of bad
// line gets its error answer, and the same process goes on answering afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extension_process.h"
#include "json_rpc.h"
#include "process_run.h"

namespace host {
namespace {

using namespace std::chrono_literals;
using tul::testing::installedPrefix;
using tul::testing::TempFolder;

TEST(ExtensionProtocol, AnswersEveryBadLineAndGoesOnServing) {
  TempFolder preferences;
  ::setenv("WIDGET_PLATFORM_PREFERENCES", preferences.path().c_str(), 1);
  auto process = ExtensionProcess::start(
      installedPrefix() / TUL_INSTALL_LIBDIR / "tul-widget/TulWidgetExtension.appex/TulWidgetExtension", 10s);
  ASSERT_TRUE(process.has_value()) << process.error().message;

  struct Case {
    const char* name;
    std::string line;                  // without its '\n'
    std::optional<std::int64_t> code;  // none: no answer expected
    Json id;
  };
  const std::string huge =
      R"({"jsonrpc":"2.0","id":5,"method":"widgets","params":{"pad":")" + std::string(1024 * 1024, 'x') + "\"}}";
  const std::vector<Case> cases = {
      {"not JSON", "{\"jsonrpc\":", kParseErrorCode, nullptr},
      {"bytes that are not UTF-8", std::string("{\"a\":\"\xFF\"}"), kParseErrorCode, nullptr},
      {"not an object", "[1,2,3]", kInvalidRequestCode, nullptr},
      {"no version", R"({"id":1,"method":"widgets"})", kInvalidRequestCode, 1},
      {"method not a string", R"({"jsonrpc":"2.0","id":2,"method":7})", kInvalidRequestCode, 2},
      {"id an object", R"({"jsonrpc":"2.0","id":{},"method":"widgets"})", kInvalidRequestCode, nullptr},
      {"unknown method", R"({"jsonrpc":"2.0","id":3,"method":"render"})", kMethodNotFoundCode, 3},
      {"params not an object", R"({"jsonrpc":"2.0","id":4,"method":"widgets","params":[1]})", kInvalidParamsCode, 4},
      {"a line over 1 MiB", huge, kInvalidRequestCode, nullptr},
      {"undeclared family",
       R"({"jsonrpc":"2.0","id":"f","method":"timeline","params":{"kind":"com.lumaro.TulWidget","family":"systemLarge"}})",
       kInvalidParamsCode, "f"},
      {"unknown kind", R"({"jsonrpc":"2.0","id":6,"method":"snapshot","params":{"kind":"com.other"}})",
       kInvalidParamsCode, 6},
      {"bytes that are not base64",
       R"({"jsonrpc":"2.0","id":7,"method":"activity","params":{"attributes":"%%%","state":"e30="}})",
       kInvalidParamsCode, 7},
      {"state missing a member",
       R"({"jsonrpc":"2.0","id":8,"method":"activity","params":{"attributes":"eyJuYW1lIjoiUCJ9","state":"e30="}})",
       kUndecodableRecordCode, 8},
      {"a notification", R"({"jsonrpc":"2.0","method":"render"})", std::nullopt, nullptr},
      {"a blank line", "   ", std::nullopt, nullptr},
  };
  std::int64_t next = 100;
  for (const auto& c : cases) {
    // The bad line and a good request in one write: the answers must come in order.
    const std::int64_t probe = ++next;
    ASSERT_TRUE(process->send(c.line + "\n" + requestLine(probe, "widgets", nullptr) + "\n")) << c.name;
    if (c.code) {
      auto line = process->receiveLine();
      ASSERT_TRUE(line.has_value()) << c.name << ": " << line.error().message;
      const Json answer = Json::parse(*line);
      EXPECT_EQ(answer["error"]["code"], *c.code) << c.name << ": " << *line;
      EXPECT_EQ(answer["id"], c.id) << c.name;
      EXPECT_TRUE(answer["error"]["message"].is_string()) << c.name;
    }
    auto line = process->receiveLine();
    ASSERT_TRUE(line.has_value()) << c.name << ": " << line.error().message;
    auto answer = readAnswer(*line, probe);
    ASSERT_TRUE(answer.has_value()) << c.name << ": " << answer.error().message;
    EXPECT_EQ(answer->result["widgets"].size(), 2U) << c.name;
  }
  EXPECT_TRUE(process->finish().has_value());
  ::unsetenv("WIDGET_PLATFORM_PREFERENCES");
}

}  // namespace
}  // namespace host
