#include "result_text.h"

#include <string_view>

#include "json_rpc.h"
#include "platform/ui/string_format.h"
#include "platform/ui/tree_json_reader.h"
#include "platform/ui/tree_outline.h"

namespace host {

namespace {

// A scalar member as text: strings as they are, other values as JSON, "?" when absent.
std::string shown(const Json& object, std::string_view key) {
  const Json* value = member(object, key);
  if (value == nullptr) return "?";
  if (value->is_string()) return value->get<std::string>();
  return value->dump(-1, ' ', false, Json::error_handler_t::replace);
}

const Json& listOrEmpty(const Json* value) {
  static const Json kEmpty = Json::array();
  return value != nullptr && value->is_array() ? *value : kEmpty;
}

// The outline of `holder["view"]`, each line indented by `indent`; `what` names the
// view in the error when it does not read back.
std::expected<std::string, HostError> viewBlock(const Json& holder, std::size_t indent, const std::string& what) {
  const Json* view = member(holder, "view");
  if (view == nullptr) return std::string(indent, ' ') + "(no view)\n";
  const auto tree = ui::fromJSON(*view);
  if (!tree) {
    return std::unexpected(HostError{
        ExitCode::unavailable, "the extension's view for " + what + " does not read back: " + tree.error().describe()});
  }
  const std::string outline = ui::outline(*tree);
  std::string out;
  for (std::size_t at = 0; at < outline.size();) {
    const std::size_t end = outline.find('\n', at) + 1;
    out.append(indent, ' ');
    out.append(outline, at, end - at);
    at = end;
  }
  return out;
}

std::expected<std::string, HostError> presentationText(const Json& presentation) {
  const std::string name = shown(presentation, "presentation");
  std::string out = name + ":\n";
  const Json* regions = member(presentation, "regions");
  if (regions == nullptr) {
    auto block = viewBlock(presentation, 2, "the " + name + " presentation");
    if (!block) return block;
    return out + *block;
  }
  for (const Json& region : listOrEmpty(regions)) {
    const std::string position = shown(region, "position");
    out += ui::concatenated({"  region ", position, ", priority ", shown(region, "priority"), ":\n"});
    auto block = viewBlock(region, 4, "region " + position + " of the " + name + " presentation");
    if (!block) return block;
    out += *block;
  }
  return out;
}

}  // namespace

std::string widgetsText(const Json& result) {
  std::string out;
  for (const Json& widget : listOrEmpty(member(result, "widgets"))) {
    const std::string type = shown(widget, "type");
    if (type == "static") {
      out += ui::concatenated({"static widget ", shown(widget, "kind"), "\n"});
      out += ui::concatenated({"  display name: ", shown(widget, "displayName"), "\n"});
      out += ui::concatenated({"  description: ", shown(widget, "description"), "\n"});
      std::string families;
      for (const Json& family : listOrEmpty(member(widget, "families"))) {
        families +=
            (families.empty() ? "" : ", ") + (family.is_string() ? family.get<std::string>() : std::string("?"));
      }
      out += ui::concatenated({"  families: ", (families.empty() ? std::string("none") : families), "\n"});
    } else if (type == "activity") {
      out += ui::concatenated({"activity widget for ", shown(widget, "attributesType"), "\n"});
    } else {
      out += ui::concatenated({type, " widget\n"});
    }
  }
  return out.empty() ? "no widgets declared\n" : out;
}

std::expected<std::string, HostError> entriesText(const Json& result) {
  std::string out = "kind: ";
  out += shown(result, "kind");
  out += "\nfamily: ";
  out += shown(result, "family");
  out += '\n';
  if (member(result, "policy") != nullptr) {
    out += ui::concatenated({"policy: ", shown(result, "policy")});
    if (member(result, "policyDate") != nullptr) out += ui::concatenated({" ", shown(result, "policyDate")});
    out += "\n";
  }
  if (const Json* entry = member(result, "entry")) {
    auto block = viewBlock(*entry, 2, "entry 1");
    if (!block) return block;
    out += ui::concatenated({"entry at ", shown(*entry, "date"), ":\n", *block});
  }
  if (const Json* entries = member(result, "entries")) {
    const Json& list = listOrEmpty(entries);
    std::size_t number = 0;
    for (const Json& entry : list) {
      const std::string counted = std::to_string(++number);
      auto block = viewBlock(entry, 2, "entry " + counted);
      if (!block) return block;
      out += ui::concatenated(
          {"entry ", counted, " of ", std::to_string(list.size()), " at ", shown(entry, "date"), ":\n", *block});
    }
    if (list.empty()) out += "no entries\n";
  }
  return out;
}

std::expected<std::string, HostError> activityText(const Json& result) {
  const Json* presentations = member(result, "presentations");
  if (presentations == nullptr) return presentationText(result);
  std::string out;
  for (const Json& presentation : listOrEmpty(presentations)) {
    auto text = presentationText(presentation);
    if (!text) return text;
    out += *text;
  }
  return out;
}

}  // namespace host
