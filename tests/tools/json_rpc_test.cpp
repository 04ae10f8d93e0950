// The host side of the protocol: request lines, and answers read strictly.
#include "json_rpc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden/golden.h"

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

// Each line read as the answer to request 1: the result, the error it carries, or why
// it is refused, as tests/golden/json-rpc-answers.txt has them.
TEST(JsonRpcGolden, ReadsTheAnswerToItsRequestAndRefusesAnythingElse) {
  const std::string deep = std::string(600, '[') + std::string(600, ']');
  std::string shown;
  for (const std::string& line : {
           std::string(R"({"jsonrpc":"2.0","result":{"ok":"yes"},"id":1})"),
           std::string(R"({"jsonrpc":"2.0","error":{"code":-32001,"message":"m","data":{"record":"state"}},"id":1})"),
           std::string(R"({"jsonrpc":"2.0","error":{"code":-32700,"message":"not JSON"},"id":null})"),
           std::string(R"({"jsonrpc":"2.0","result":{},"id":null})"),
           std::string(R"({"jsonrpc":"2.0","result":{},"id":2})"),
           std::string(R"({"jsonrpc":"2.0","result":{},"id":"1"})"), std::string("hello"),
           std::string(R"({"jsonrpc":"2.0","res)"), std::string("[1,2]"), std::string(R"({"result":{},"id":1})"),
           std::string(R"({"jsonrpc":"2.0","result":{},"error":{"code":1,"message":"m"},"id":1})"),
           std::string(R"({"jsonrpc":"2.0","id":1})"),
           std::string(R"({"jsonrpc":"2.0","error":{"message":"m"},"id":1})"),
           R"({"jsonrpc":"2.0","id":1,"result":)" + deep + "}",
           R"({"jsonrpc":"2.0","id":1,"result":{"ok":")" + deep + R"("}})",  // brackets in a string do not nest
       }) {
    const auto answer = readAnswer(line, 1);
    shown += line.substr(0, 80) + "\n  ";
    if (!answer) {
      shown += "refused (" + std::to_string(static_cast<int>(answer.error().code)) + "): " + answer.error().message;
    } else if (answer->error) {
      shown += "error " + std::to_string(answer->error->code) + ": " + answer->error->message;
    } else {
      shown += "result " + answer->result.dump();
    }
    shown += "\n";
  }
  tul::testing::expectGolden("json-rpc-answers.txt", shown);
}

}  // namespace
}  // namespace host
