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

std::optional<LocalizedStringKey> LocalizedStringKey::rebuilt(std::string_view key,
                                                              std::span<const FormatArgument> arguments) {
  if (arguments.empty()) return LocalizedStringKey(std::string(key));
  LocalizedStringKey::StringInterpolation interpolation;
  std::string literal;
  std::size_t next = 0;
  for (std::size_t i = 0; i < key.size();) {
    if (key[i] != '%') {
      literal += key[i++];
      continue;
    }
    if (i + 1 < key.size() && key[i + 1] == '%') {
      literal += '%';
      i += 2;
      continue;
    }
    if (next >= arguments.size()) return std::nullopt;
    interpolation.appendLiteral(literal);
    literal.clear();
    if (const auto* text = std::get_if<std::string>(&arguments[next])) {
      if (key.substr(i, 2) != "%@") return std::nullopt;
      interpolation.appendInterpolation(*text);
      i += 2;
    } else {
      // %[N$][flags][width][.precision][length]conversion
      std::size_t end = i + 1;
      const auto digits = [&] {
        while (end < key.size() && key[end] >= '0' && key[end] <= '9') ++end;
      };
      const std::size_t positionStart = end;
      digits();
      if (end < key.size() && key[end] == '$' && end > positionStart) {
        ++end;
      } else {
        end = positionStart;
      }
      while (end < key.size() && std::string_view("-+ #0'").find(key[end]) != std::string_view::npos) ++end;
      digits();
      if (end < key.size() && key[end] == '.') {
        ++end;
        digits();
      }
      for (std::string_view length : {"hh", "ll", "h", "l", "q", "j", "z", "t"}) {
        if (key.substr(end, length.size()) == length) {
          end += length.size();
          break;
        }
      }
      if (end >= key.size() || std::string_view("diouxXc").find(key[end]) == std::string_view::npos)
        return std::nullopt;
      ++end;
      interpolation.appendInterpolation(std::get<std::int64_t>(arguments[next]), key.substr(i, end - i));
      i = end;
    }
    ++next;
  }
  if (next != arguments.size()) return std::nullopt;
  interpolation.appendLiteral(literal);
  LocalizedStringKey made(std::move(interpolation));
  if (made.key() != key) return std::nullopt;
  return made;
}

}  // namespace ui
