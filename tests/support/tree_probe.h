// Test support: reads what a view tree shows, from its JSON form: the displayed texts
// and the symbols, in tree order (children before a node's modifier views).
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace tul::testing {

inline void collectShown(const nlohmann::ordered_json& node, std::vector<std::string>& out) {
  if (!node.is_object()) return;
  const std::string type = node.value("type", "");
  if (type == "Text") out.push_back(node["text"].get<std::string>());
  if (type == "Image")
    out.push_back(node.contains("systemName") ? "symbol:" + node["systemName"].get<std::string>()
                                              : "image:" + node["name"].get<std::string>());
  if (node.contains("children")) {
    for (const auto& child : node["children"]) collectShown(child, out);
  }
  for (const auto& modifier : node["modifiers"]) {
    if (modifier.contains("content")) collectShown(modifier["content"], out);
  }
}

// The displayed texts ("120") and images ("symbol:play.fill", "image:background").
inline std::vector<std::string> shown(const nlohmann::ordered_json& tree) {
  std::vector<std::string> out;
  collectShown(tree, out);
  return out;
}

}  // namespace tul::testing
