// ViewContent: what a configuration's content builder may return: a ui::View, or a
// view type of the app whose `body()` yields one. The host renders `toView(content)`.
#pragma once

#include <concepts>

#include "platform/ui/view.h"

namespace widgetkit {

template <typename T>
concept ViewContent = std::convertible_to<T, ui::View> || requires(const T& view) {
  { view.body() } -> std::convertible_to<ui::View>;
};

template <ViewContent T>
ui::View toView(const T& content) {
  if constexpr (std::convertible_to<T, ui::View>) {
    return content;
  } else {
    return content.body();
  }
}

}  // namespace widgetkit
