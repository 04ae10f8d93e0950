#include "json_rpc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace host {
namespace {

TEST(JsonRpc, RequestIsOneLineWhateverTheParamsHold) {
  const Json params = {{"name", "two\nlines"}, {"bytes", std::string("\xFF\xFE", 2)}, {"n", 1}};
  const std::string line = requestLine(7, "activity", params);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  const Json request = Json::parse(line);
  EXPECT_EQ(request["params"]["name"], "two\nlines");
  EXPECT_EQ(request["params"]["bytes"], "\xEF\xBF\xBD\xEF\xBF\xBD");  // replaced, not thrown on

  EXPECT_FALSE(Json::parse(requestLine(1, "widgets", nullptr)).contains("params"));
}

TEST(JsonRpc, ReadsTheAnswerToItsRequestAndRefusesAnythingElse) {
  struct Case {
    const char* name;
    std::string line;
    bool accepted;
    std::string detail;  // the result's "ok", the error's message, or part of the refusal
  };
  const std::string deep = std::string(600, '[') + std::string(600, ']');
  const std::vector<Case> cases = {
      {"result", R"({"jsonrpc":"2.0","result":{"ok":"yes"},"id":1})", true, "yes"},
      {"error with data", R"({"jsonrpc":"2.0","error":{"code":-32001,"message":"m","data":{"record":"state"}},"id":1})",
       true, "m"},
      {"error for an unreadable id", R"({"jsonrpc":"2.0","error":{"code":-32700,"message":"not JSON"},"id":null})",
       true, "not JSON"},
      {"result for id null", R"({"jsonrpc":"2.0","result":{},"id":null})", false, "does not answer request 1"},
      {"another request's answer", R"({"jsonrpc":"2.0","result":{},"id":2})", false, "does not answer request 1"},
      {"id as text", R"({"jsonrpc":"2.0","result":{},"id":"1"})", false, "does not answer request 1"},
      {"not JSON", "hello", false, "is not JSON: \"hello\""},
      {"cut off", R"({"jsonrpc":"2.0","res)", false, "is not JSON"},
      {"not an object", "[1,2]", false, "is not a JSON-RPC answer object"},
      {"no version", R"({"result":{},"id":1})", false, "lacks \"jsonrpc\": \"2.0\""},
      {"both result and error", R"({"jsonrpc":"2.0","result":{},"error":{"code":1,"message":"m"},"id":1})", false,
       "exactly one"},
      {"neither", R"({"jsonrpc":"2.0","id":1})", false, "exactly one"},
      {"error without code", R"({"jsonrpc":"2.0","error":{"message":"m"},"id":1})", false, "integer \"code\""},
      {"nested too deep", R"({"jsonrpc":"2.0","id":1,"result":)" + deep + "}", false, "nests deeper than 512"},
  };
  for (const auto& c : cases) {
    const auto answer = readAnswer(c.line, 1);
    ASSERT_EQ(answer.has_value(), c.accepted) << c.name;
    if (!answer) {
      EXPECT_EQ(answer.error().code, ExitCode::unavailable) << c.name;
      EXPECT_NE(answer.error().message.find(c.detail), std::string::npos) << c.name << ": " << answer.error().message;
    } else if (answer->error) {
      EXPECT_EQ(answer->error->message, c.detail) << c.name;
    } else {
      EXPECT_EQ(answer->result["ok"], c.detail) << c.name;
    }
  }
  // Brackets inside strings are not nesting.
  const std::string quoted = R"({"jsonrpc":"2.0","id":1,"result":{"ok":")" + deep + R"("}})";
  ASSERT_TRUE(readAnswer(quoted, 1).has_value());
}

}  // namespace
}  // namespace host
