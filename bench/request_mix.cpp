#include "request_mix.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

#include "activity/tul_widget_attributes.h"
#include "platform/foundation/data.h"
#include "platform/foundation/json_encoder.h"

namespace bench {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::size_t kMaxLineBytes = 1024 * 1024;

std::string line(const Json& request) { return request.dump() + "\n"; }

Json request(int id, std::string_view method, Json params) {
  Json out = {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}};
  if (!params.is_null()) out["params"] = std::move(params);
  return out;
}

Json widgetParams(std::string_view locale) {
  return {{"kind", "com.lumaro.TulWidget"},
          {"family", "systemSmall"},
          {"context", {{"displaySize", {{"width", 170}, {"height", 170}}}, {"isPreview", false}, {"locale", locale}}}};
}

std::string base64(std::string_view text) { return foundation::base64Encoded(text); }

std::string codedState(const tul::TulWidgetAttributes::ContentState& state) {
  return base64(*foundation::JSONEncoder().encodeToString(state));
}

Json activityParams(std::string attributes, std::string state, std::string_view presentation) {
  return {{"attributesType", "TulWidgetAttributes"},
          {"attributes", std::move(attributes)},
          {"state", std::move(state)},
          {"presentation", presentation},
          {"locale", "en"}};
}

}  // namespace

const std::string& timelineLine() {
  static const std::string text = line(request(1, "timeline", widgetParams("en")));
  return text;
}

std::vector<MixLine> mixCycle() {
  using State = tul::TulWidgetAttributes::ContentState;
  const std::string attributes =
      base64(*foundation::JSONEncoder().encodeToString(tul::TulWidgetAttributes{"Practice"}));
  const std::string playing = codedState(State{132, 3, 4, "Étude für Bossa", true, false});
  const std::string automated = codedState(State{96, 4, 4, std::nullopt, false, true});
  const std::string missingMember = base64(R"({"tempo":120,"beat":4,"note":4,"isPlaying":true})");
  const std::string mistyped = base64(R"({"tempo":"fast","beat":4,"note":4,"isPlaying":true,"isAutomated":false})");
  const std::string notJSON = base64("{\"name\":");
  // Real locales, so that every table lookup the mix causes is one a phone could cause.
  const char* locales[] = {"en", "de", "fr", "pt-BR", "ja", "es-419", "it", "nl", "sv", "zh-Hans"};

  std::vector<MixLine> mix;
  int id = 1;
  const auto add = [&](const Json& r, Expect expect) { mix.push_back({line(r), expect}); };
  for (const char* locale : locales) {
    add(request(id++, "timeline", widgetParams(locale)), Expect::result);
    add(request(id++, "placeholder", widgetParams(locale)), Expect::result);
    add(request(id++, "snapshot", widgetParams(locale)), Expect::result);
    add(request(id++, "widgets", {{"locale", locale}}), Expect::result);
  }
  add(request(id++, "activity", activityParams(attributes, playing, "all")), Expect::result);
  add(request(id++, "activity", activityParams(attributes, playing, "lock-screen")), Expect::result);
  add(request(id++, "activity", activityParams(attributes, automated, "expanded")), Expect::result);
  add(request(id++, "activity", activityParams(attributes, automated, "all")), Expect::result);
  add(request(id++, "activity", activityParams(attributes, missingMember, "all")), Expect::error);
  add(request(id++, "activity", activityParams(attributes, mistyped, "minimal")), Expect::error);
  add(request(id++, "activity", activityParams(notJSON, playing, "all")), Expect::error);
  add(request(id++, "activity", activityParams(attributes, "not base64!", "all")), Expect::error);
  add(request(id++, "activity", activityParams(attributes, playing, "sideways")), Expect::error);
  add(request(id++, "timeline", {{"kind", "com.example.Other"}}), Expect::error);
  add(request(id++, "timeline", {{"kind", "com.lumaro.TulWidget"}, {"family", "systemLarge"}}), Expect::error);
  add(request(id++, "reload", nullptr), Expect::error);
  mix.push_back({R"({"jsonrpc":"2.0","id":)"
                 "\n",
                 Expect::error});
  mix.push_back({"\xff\xfe not text at all\n", Expect::error});
  mix.push_back({R"({"id":7,"method":"timeline"})"
                 "\n",
                 Expect::error});
  mix.push_back({R"([1,2,3])"
                 "\n",
                 Expect::error});
  mix.push_back({R"({"jsonrpc":"2.0","method":"timeline","params":{"kind":"com.lumaro.TulWidget"}})"
                 "\n",
                 Expect::none});
  mix.push_back({"   \n", Expect::none});
  return mix;
}

std::vector<MixLine> limitLines() {
  const std::string head = R"({"jsonrpc":"2.0","id":99,"method":"widgets","params":{"locale":"en","padding":")";
  const std::string tail = R"("}})";
  const std::string padding(kMaxLineBytes - head.size() - tail.size() - 16, 'a');
  const std::string valid = head + padding + tail;
  return {{valid + "\n", Expect::result},
          {valid.substr(0, valid.size() - 1) + "\n", Expect::error},
          {std::string(kMaxLineBytes + 100, 'x') + "\n", Expect::error}};
}

}  // namespace bench
