// Backslash escapes: the one-letter escapes `\"`, `\\`, `\n`, `\t` and `\r`, in one
// table that serves both directions. The strings-table reader turns the letter after
// a backslash into its character; the outline writer turns the character back into
// backslash and letter. Longer escapes (the reader's \uXXXX, the outline's \u{XX})
// are each side's own.
#pragma once

#include <optional>

namespace ui {

struct BackslashEscape {
  char letter;     // what follows the backslash
  char character;  // what it stands for
};

inline constexpr BackslashEscape kBackslashEscapes[] = {
    {'"', '"'}, {'\\', '\\'}, {'n', '\n'}, {'t', '\t'}, {'r', '\r'},
};

// The character `\letter` stands for, or none when it is no one-letter escape.
constexpr std::optional<char> unescaped(char letter) {
  for (const BackslashEscape& escape : kBackslashEscapes) {
    if (escape.letter == letter) return escape.character;
  }
  return std::nullopt;
}

// The letter that, after a backslash, writes `character`, or none when the character
// has no one-letter escape.
constexpr std::optional<char> escapeLetter(char character) {
  for (const BackslashEscape& escape : kBackslashEscapes) {
    if (escape.character == character) return escape.letter;
  }
  return std::nullopt;
}

}  // namespace ui
