// The widget protocol's methods with a widget of the test's own, whose views show the
// context they were built for: what only a provider can see (the context's members,
// the family) arrives as it was sent. The faults, the framing and the app's own
// widgets are tested through the real extension (tests/hardening, tests/tools).
#include "platform/widgetkit/widget_host_server.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace widgetkit {
namespace {

using Json = nlohmann::json;

struct ContextEntry {
  foundation::Date date;
  std::string shown;
};

// Each entry shows "<family> <width>x<height> <preview|final> <locale>".
struct ContextProvider {
  using Entry = ContextEntry;
  static ContextEntry show(const TimelineProviderContext& c) {
    return {foundation::Date::now(), std::string(familyName(c.family)) + " " +
                                         std::to_string(static_cast<int>(c.displaySize.width)) + "x" +
                                         std::to_string(static_cast<int>(c.displaySize.height)) +
                                         (c.isPreview ? " preview " : " final ") + c.locale};
  }
  ContextEntry placeholder(const TimelineProviderContext& c) const { return show(c); }
  void getSnapshot(const TimelineProviderContext& c, const std::function<void(ContextEntry)>& done) const {
    done(show(c));
  }
  void getTimeline(const TimelineProviderContext& c, const std::function<void(Timeline<ContextEntry>)>& done) const {
    done(Timeline<ContextEntry>({show(c)}, TimelineReloadPolicy::never()));
  }
};

struct ContextWidget {
  auto body() const {
    return StaticConfiguration(
               "test.context", ContextProvider(),
               [](const ContextEntry& e) {
                 return ui::View(ui::Text(ui::LocalizedStringKey::interpolated({"", ui::Arg::string(e.shown), ""})));
               })
        .configurationDisplayName("Context")
        .supportedFamilies({WidgetFamily::systemSmall, WidgetFamily::systemMedium});
  }
};

struct TestBundle {
  std::tuple<ContextWidget> body() const { return {}; }
};

TEST(WidgetHostServer, ParamsReachTheProviderAsSent) {
  const WidgetHostServer server{bundleWidgets(TestBundle{}), ui::Bundle("/nonexistent")};
  const auto call = [&](const std::string& method, const Json& params) {
    const auto answer =
        server.handleLine(Json{{"jsonrpc", "2.0"}, {"id", 7}, {"method", method}, {"params", params}}.dump());
    EXPECT_TRUE(answer) << method;
    return answer ? Json::parse(*answer)["result"] : Json();
  };
  EXPECT_EQ(call("widgets", Json::object())["widgets"], Json::parse(R"([{"type":"static","kind":"test.context",
    "displayName":"Context","description":null,"families":["systemSmall","systemMedium"]}])"));

  const Json context = {{"displaySize", {{"width", 329}, {"height", 155}}}, {"isPreview", true}, {"locale", "de"}};
  const auto timeline = call("timeline", {{"kind", "test.context"}, {"family", "systemMedium"}, {"context", context}});
  EXPECT_EQ(timeline["family"], "systemMedium");
  EXPECT_EQ(timeline["policy"], "never");
  ASSERT_EQ(timeline["entries"].size(), 1u) << timeline;
  EXPECT_EQ(timeline["entries"][0]["view"]["text"], "systemMedium 329x155 preview de");
  EXPECT_TRUE(foundation::Date::parseISO8601(timeline["entries"][0]["date"].get<std::string>()));
  EXPECT_EQ(call("snapshot", {{"kind", "test.context"}})["entry"]["view"]["text"], "systemSmall 170x170 final en");
  EXPECT_EQ(
      call("placeholder", {{"kind", "test.context"}, {"context", {{"isPreview", true}}}})["entry"]["view"]["text"],
      "systemSmall 170x170 preview en");
}

}  // namespace
}  // namespace widgetkit
