#include "platform/ui/localized_string_key.h"

#include <utility>

namespace ui {

void LocalizedStringKey::StringInterpolation::appendLiteral(std::string_view literal) {
  plainKey_ += literal;
  for (char c : literal) {
    escapedKey_ += c;
    if (c == '%') escapedKey_ += '%';
  }
}

void LocalizedStringKey::StringInterpolation::appendInterpolation(std::int64_t value, std::string_view specifier) {
  escapedKey_ += specifier;
  arguments_.emplace_back(value);
}

void LocalizedStringKey::StringInterpolation::appendInterpolation(std::string value) {
  escapedKey_ += "%@";
  arguments_.emplace_back(std::move(value));
}

LocalizedStringKey::LocalizedStringKey(StringInterpolation interpolation)
    : key_(interpolation.arguments_.empty() ? std::move(interpolation.plainKey_)
                                            : std::move(interpolation.escapedKey_)),
      arguments_(std::move(interpolation.arguments_)) {}

LocalizedStringKey LocalizedStringKey::interpolated(std::initializer_list<Segment> segments) {
  StringInterpolation interpolation;
  for (const Segment& segment : segments) {
    if (const auto* literal = std::get_if<std::string>(&segment)) {
      interpolation.appendLiteral(*literal);
      continue;
    }
    const Arg& arg = std::get<Arg>(segment);
    if (const auto* integer = std::get_if<std::int64_t>(&arg.value)) {
      interpolation.appendInterpolation(*integer, arg.specifier);
    } else {
      // A string value always enters the key as "%@".
      interpolation.appendInterpolation(std::get<std::string>(arg.value));
    }
  }
  return LocalizedStringKey(std::move(interpolation));
}

}  // namespace ui
