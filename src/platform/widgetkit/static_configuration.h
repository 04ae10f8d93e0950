// StaticConfiguration: a widget configuration without user-editable options: its kind,
// the timeline provider that supplies entries, the content builder that turns each
// entry into a view, and what the gallery shows (name, description, families).
//
// A plain value. The modifier calls return a configured copy, as the platform's
// configuration modifiers do. A configuration with no family list supports every
// family.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/localized_string_key.h"
#include "platform/widgetkit/timeline_provider.h"
#include "platform/widgetkit/view_content.h"
#include "platform/widgetkit/widget_family.h"

namespace widgetkit {

template <TimelineProvider Provider, typename Content>
  requires std::invocable<const Content&, const typename Provider::Entry&> &&
           ViewContent<std::invoke_result_t<const Content&, const typename Provider::Entry&>>
class StaticConfiguration {
 public:
  using Entry = typename Provider::Entry;

  StaticConfiguration(std::string kind, Provider provider, Content content)
      : kind_(std::move(kind)), provider_(std::move(provider)), content_(std::move(content)) {}

  StaticConfiguration configurationDisplayName(ui::LocalizedStringKey name) const {
    StaticConfiguration copy = *this;
    copy.displayName_ = std::move(name);
    return copy;
  }
  StaticConfiguration description(ui::LocalizedStringKey text) const {
    StaticConfiguration copy = *this;
    copy.description_ = std::move(text);
    return copy;
  }
  StaticConfiguration supportedFamilies(std::vector<WidgetFamily> families) const {
    StaticConfiguration copy = *this;
    copy.families_ = std::move(families);
    return copy;
  }

  const std::string& kind() const { return kind_; }
  const Provider& provider() const { return provider_; }
  const Content& content() const { return content_; }
  const std::optional<ui::LocalizedStringKey>& displayName() const { return displayName_; }
  const std::optional<ui::LocalizedStringKey>& descriptionText() const { return description_; }
  std::vector<WidgetFamily> families() const {
    if (families_) return *families_;
    return {kAllWidgetFamilies.begin(), kAllWidgetFamilies.end()};
  }
  // Whether a family list was declared at all.
  bool declaresFamilies() const { return families_.has_value(); }

 private:
  std::string kind_;
  Provider provider_;
  Content content_;
  std::optional<ui::LocalizedStringKey> displayName_;
  std::optional<ui::LocalizedStringKey> description_;
  std::optional<std::vector<WidgetFamily>> families_;
};

}  // namespace widgetkit
