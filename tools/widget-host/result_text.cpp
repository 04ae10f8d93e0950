#include "result_text.h"

#include <string_view>

#include "tree_outline_json.h"

namespace host {

namespace {

const Json* member(const Json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

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

std::string viewBlock(const Json& holder, std::size_t indent) {
  const Json* view = member(holder, "view");
  if (view == nullptr) return std::string(indent, ' ') + "(no view)\n";
  return outlineFromJSON(*view, indent);
}

std::string presentationText(const Json& presentation) {
  std::string out = shown(presentation, "presentation") + ":\n";
  if (const Json* regions = member(presentation, "regions")) {
    for (const Json& region : listOrEmpty(regions)) {
      out += "  region " + shown(region, "position") + ", priority " + shown(region, "priority") + ":\n";
      out += viewBlock(region, 4);
    }
    return out;
  }
  return out + viewBlock(presentation, 2);
}

}  // namespace

std::string widgetsText(const Json& result) {
  std::string out;
  for (const Json& widget : listOrEmpty(member(result, "widgets"))) {
    const std::string type = shown(widget, "type");
    if (type == "static") {
      out += "static widget " + shown(widget, "kind") + "\n";
      out += "  display name: " + shown(widget, "displayName") + "\n";
      out += "  description: " + shown(widget, "description") + "\n";
      std::string families;
      for (const Json& family : listOrEmpty(member(widget, "families"))) {
        families +=
            (families.empty() ? "" : ", ") + (family.is_string() ? family.get<std::string>() : std::string("?"));
      }
      out += "  families: " + (families.empty() ? std::string("none") : families) + "\n";
    } else if (type == "activity") {
      out += "activity widget for " + shown(widget, "attributesType") + "\n";
    } else {
      out += type + " widget\n";
    }
  }
  return out.empty() ? "no widgets declared\n" : out;
}

std::string entriesText(const Json& result) {
  std::string out = "kind: " + shown(result, "kind") + "\nfamily: " + shown(result, "family") + "\n";
  if (member(result, "policy") != nullptr) {
    out += "policy: " + shown(result, "policy");
    if (member(result, "policyDate") != nullptr) out += " " + shown(result, "policyDate");
    out += "\n";
  }
  if (const Json* entry = member(result, "entry")) {
    out += "entry at " + shown(*entry, "date") + ":\n" + viewBlock(*entry, 2);
  }
  if (const Json* entries = member(result, "entries")) {
    const Json& list = listOrEmpty(entries);
    std::size_t number = 0;
    for (const Json& entry : list) {
      out += "entry " + std::to_string(++number) + " of " + std::to_string(list.size()) + " at " +
             shown(entry, "date") + ":\n" + viewBlock(entry, 2);
    }
    if (list.empty()) out += "no entries\n";
  }
  return out;
}

std::string activityText(const Json& result) {
  if (const Json* presentations = member(result, "presentations")) {
    std::string out;
    for (const Json& presentation : listOrEmpty(presentations)) out += presentationText(presentation);
    return out;
  }
  return presentationText(result);
}

}  // namespace host
