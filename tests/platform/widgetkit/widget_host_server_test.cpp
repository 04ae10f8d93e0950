#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "platform/foundation/data.h"
#include "platform/widgetkit/widget_host_server.h"

namespace widgetkit_test_keys {
enum class BadgeKeys { label };
enum class BadgeStateKeys { level };
}  // namespace widgetkit_test_keys

template <>
struct foundation::CodingKeyNames<widgetkit_test_keys::BadgeKeys> {
  static constexpr std::array<std::string_view, 1> names = {"label"};
};
template <>
struct foundation::CodingKeyNames<widgetkit_test_keys::BadgeStateKeys> {
  static constexpr std::array<std::string_view, 1> names = {"level"};
};

namespace widgetkit {
namespace {

using Json = nlohmann::json;

// A small widget and activity of the test's own, so the server is tested apart from the app.
struct CountEntry {
  foundation::Date date;
  std::int64_t count;
};

struct CountProvider {
  using Entry = CountEntry;
  CountEntry placeholder(const TimelineProviderContext&) const { return {foundation::Date::now(), 0}; }
  void getSnapshot(const TimelineProviderContext& context, const std::function<void(CountEntry)>& done) const {
    done({foundation::Date::now(), context.isPreview ? -1 : 1});
  }
  void getTimeline(const TimelineProviderContext& context, const std::function<void(Timeline<CountEntry>)>& done) const {
    done(Timeline<CountEntry>({{foundation::Date::now(), static_cast<std::int64_t>(context.displaySize.width)}},
                              TimelineReloadPolicy::never()));
  }
};

struct CountWidget {
  auto body() const {
    return StaticConfiguration("test.count", CountProvider(),
                               [](const CountEntry& entry) {
                                 return ui::View(ui::Text(ui::LocalizedStringKey::interpolated(
                                     {"count ", ui::Arg::integer(entry.count), ""})));
                               })
        .configurationDisplayName("Counter")
        .supportedFamilies({WidgetFamily::systemSmall, WidgetFamily::systemMedium});
  }
};

struct Badge {
  static constexpr std::string_view typeName = "Badge";
  using CodingKeys = widgetkit_test_keys::BadgeKeys;
  struct ContentState {
    using CodingKeys = widgetkit_test_keys::BadgeStateKeys;
    std::int64_t level;
    static std::expected<ContentState, foundation::DecodingError> decode(const foundation::Decoder& d) {
      auto c = d.container<CodingKeys>();
      if (!c) return std::unexpected(c.error());
      auto level = c->decodeInt64(CodingKeys::level);
      if (!level) return std::unexpected(level.error());
      return ContentState{*level};
    }
    std::expected<void, foundation::EncodingError> encode(foundation::Encoder& e) const {
      return e.container<CodingKeys>().encode(level, CodingKeys::level);
    }
    friend bool operator==(const ContentState&, const ContentState&) = default;
    void hash(foundation::Hasher& h) const { h.combine(level); }
  };
  std::string label;
  static std::expected<Badge, foundation::DecodingError> decode(const foundation::Decoder& d) {
    auto c = d.container<CodingKeys>();
    if (!c) return std::unexpected(c.error());
    auto label = c->decodeString(CodingKeys::label);
    if (!label) return std::unexpected(label.error());
    return Badge{*label};
  }
  std::expected<void, foundation::EncodingError> encode(foundation::Encoder& e) const {
    return e.container<CodingKeys>().encode(label, CodingKeys::label);
  }
};

struct BadgeActivity {
  auto body() const {
    using Context = ActivityViewContext<Badge>;
    const auto level = [](const Context& c) {
      return ui::View(ui::Text(ui::LocalizedStringKey::interpolated({"", ui::Arg::integer(c.state.level), ""})));
    };
    return ActivityConfiguration(forAttributes<Badge>, level, [level](const Context& c) {
      return DynamicIsland(
          [c, level] {
            return std::vector<DynamicIslandExpandedRegion>{{DynamicIslandExpandedRegionPosition::leading, 2,
                                                             [&] { return level(c); }}};
          },
          [c, level] { return level(c); }, [c, level] { return level(c); }, [c, level] { return level(c); });
    });
  }
};

struct TestBundle {
  std::tuple<CountWidget, BadgeActivity> body() const { return {}; }
};

class WidgetHostServerTest : public ::testing::Test {
 protected:
  WidgetHostServer server{bundleWidgets(TestBundle{}), ui::Bundle("/nonexistent")};

  Json call(const std::string& line) {
    auto answer = server.handleLine(line);
    EXPECT_TRUE(answer) << line;
    return answer ? Json::parse(*answer) : Json();
  }
  Json request(const std::string& method, const Json& params) {
    return call(Json{{"jsonrpc", "2.0"}, {"id", 7}, {"method", method}, {"params", params}}.dump());
  }
};

TEST_F(WidgetHostServerTest, DescribesTheBundle) {
  const auto answer = call(R"({"jsonrpc":"2.0","id":"a","method":"widgets"})");
  EXPECT_EQ(answer["id"], "a");
  EXPECT_EQ(answer["result"]["widgets"], Json::parse(R"([
    {"type":"static","kind":"test.count","displayName":"Counter","description":null,
     "families":["systemSmall","systemMedium"]},
    {"type":"activity","attributesType":"Badge"}])"));
}

TEST_F(WidgetHostServerTest, EntriesCarryDatesViewsAndPolicy) {
  auto timeline = request("timeline", {{"kind", "test.count"}, {"context", {{"displaySize", {{"width", 329}, {"height", 155}}}}}});
  ASSERT_TRUE(timeline.contains("result")) << timeline;
  EXPECT_EQ(timeline["result"]["policy"], "never");
  EXPECT_EQ(timeline["result"]["family"], "systemSmall");
  ASSERT_EQ(timeline["result"]["entries"].size(), 1u);
  EXPECT_EQ(timeline["result"]["entries"][0]["view"]["text"], "count 329");
  EXPECT_TRUE(foundation::Date::parseISO8601(timeline["result"]["entries"][0]["date"].get<std::string>()));

  auto preview = request("snapshot", {{"kind", "test.count"}, {"family", "systemMedium"}, {"context", {{"isPreview", true}}}});
  EXPECT_EQ(preview["result"]["entry"]["view"]["text"], "count -1");
  EXPECT_EQ(preview["result"]["family"], "systemMedium");
  EXPECT_EQ(request("placeholder", {{"kind", "test.count"}})["result"]["entry"]["view"]["text"], "count 0");
}

TEST_F(WidgetHostServerTest, ActivityPresentationsFromCodedBytes) {
  const Json params = {{"attributes", foundation::base64Encoded(R"({"label":"x"})")},
                       {"state", foundation::base64Encoded(R"({"level":5})")}};
  auto all = request("activity", params);
  ASSERT_TRUE(all.contains("result")) << all;
  ASSERT_EQ(all["result"]["presentations"].size(), 5u);
  EXPECT_EQ(all["result"]["presentations"][0]["presentation"], "lock-screen");
  EXPECT_EQ(all["result"]["presentations"][1]["regions"][0],
            Json::parse(R"({"position":"leading","priority":2,"view":{"type":"Text","text":"5","key":"%lld",
                            "arguments":[5],"modifiers":[]}})"));
  Json one = params;
  one["presentation"] = "minimal";
  EXPECT_EQ(request("activity", one)["result"]["presentation"], "minimal");
}

TEST_F(WidgetHostServerTest, EveryFaultGetsAnErrorNamingIt) {
  const Json goodActivity = {{"attributes", foundation::base64Encoded(R"({"label":"x"})")},
                             {"state", foundation::base64Encoded(R"({"level":5})")}};
  Json badState = goodActivity;
  badState["state"] = foundation::base64Encoded(R"({"levl":5})");
  Json notBase64 = goodActivity;
  notBase64["state"] = "***";
  Json badPresentation = goodActivity;
  badPresentation["presentation"] = "sideways";
  const struct {
    std::string line;
    int code;
    std::string inMessage;
  } cases[] = {
      {"{not json", -32700, "not JSON"},
      {"[1,2]", -32600, "expected an object"},
      {R"({"id":1,"method":"widgets"})", -32600, "jsonrpc"},
      {R"({"jsonrpc":"1.0","id":1,"method":"widgets"})", -32600, "jsonrpc"},
      {R"({"jsonrpc":"2.0","id":1,"method":5})", -32600, "method"},
      {R"({"jsonrpc":"2.0","id":{},"method":"widgets"})", -32600, "id"},
      {R"({"jsonrpc":"2.0","id":1,"method":"dance"})", -32601, "dance"},
      {R"({"jsonrpc":"2.0","id":1,"method":"timeline","params":[]})", -32602, "params"},
      {R"({"jsonrpc":"2.0","id":1,"method":"timeline","params":{}})", -32602, "kind"},
      {R"({"jsonrpc":"2.0","id":1,"method":"timeline","params":{"kind":"nope"}})", -32602, "nope"},
      {R"({"jsonrpc":"2.0","id":1,"method":"timeline","params":{"kind":"test.count","family":"systemLarge"}})",
       -32602, "systemLarge"},
      {R"({"jsonrpc":"2.0","id":1,"method":"timeline","params":{"kind":"test.count","family":"huge"}})", -32602,
       "unknown family"},
      {R"({"jsonrpc":"2.0","id":1,"method":"timeline","params":{"kind":"test.count","context":{"isPreview":1}}})",
       -32602, "isPreview"},
      {Json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", "activity"}, {"params", badState}}.dump(), -32001,
       "keyNotFound at \"level\""},
      {Json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", "activity"}, {"params", notBase64}}.dump(), -32602, "base64"},
      {Json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", "activity"}, {"params", badPresentation}}.dump(), -32602,
       "sideways"},
  };
  for (const auto& c : cases) {
    const auto answer = call(c.line);
    ASSERT_TRUE(answer.contains("error")) << c.line;
    EXPECT_EQ(answer["error"]["code"], c.code) << c.line;
    EXPECT_NE(answer["error"]["message"].get<std::string>().find(c.inMessage), std::string::npos)
        << c.line << " -> " << answer["error"]["message"];
  }
  EXPECT_FALSE(server.handleLine(R"({"jsonrpc":"2.0","method":"widgets"})")) << "notifications get no answer";
  EXPECT_FALSE(server.handleLine("   ")) << "blank lines are ignored";
}

TEST_F(WidgetHostServerTest, ServesOverPipesRefusingOversizedLines) {
  int toServer[2];
  int fromServer[2];
  ASSERT_EQ(::pipe(toServer), 0);
  ASSERT_EQ(::pipe(fromServer), 0);
  std::thread serving([&] {
    EXPECT_EQ(server.serve(toServer[0], fromServer[1]), 0);
    ::close(fromServer[1]);
  });
  std::thread writing([&] {
    const std::string huge = R"({"jsonrpc":"2.0","id":1,"method":")" +
                             std::string(WidgetHostServer::kMaxLineBytes, 'x') + "\"}\n";
    const std::string input = huge + R"({"jsonrpc":"2.0","id":2,"method":"widgets"})" "\n" +
                              R"({"jsonrpc":"2.0","method":"widgets"})" "\n" +
                              R"({"jsonrpc":"2.0","id":3,"method":"widgets"})";  // no final newline
    std::string_view rest = input;
    while (!rest.empty()) {
      const ssize_t n = ::write(toServer[1], rest.data(), rest.size());
      ASSERT_GT(n, 0);
      rest.remove_prefix(static_cast<std::size_t>(n));
    }
    ::close(toServer[1]);
  });
  std::string output;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = ::read(fromServer[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<std::size_t>(n));
  writing.join();
  serving.join();
  ::close(toServer[0]);
  ::close(fromServer[0]);

  std::vector<Json> answers;
  for (std::size_t start = 0; start < output.size();) {
    const auto end = output.find('\n', start);
    answers.push_back(Json::parse(output.substr(start, end - start)));
    start = end + 1;
  }
  ASSERT_EQ(answers.size(), 3u) << output;
  EXPECT_EQ(answers[0]["error"]["code"], -32600);
  EXPECT_TRUE(answers[0]["id"].is_null());
  EXPECT_EQ(answers[1]["id"], 2);
  EXPECT_EQ(answers[2]["id"], 3);
}

}  // namespace
}  // namespace widgetkit
