// Canonical text: equality of Unicode texts by canonical equivalence, as the
// platform's string type compares them.
//
// Two UTF-8 texts are equal when their NFC forms are equal; identical bytes are
// equal at once without normalising. Bytes that are not valid UTF-8 compare by
// their bytes. Thread-safe: no shared state.
#pragma once

#include <string>
#include <string_view>

namespace foundation {

// The NFC form of `utf8`; invalid UTF-8 is returned unchanged.
std::string nfc(std::string_view utf8);

bool canonicallyEqual(std::string_view a, std::string_view b);

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool isValidUTF8(std::string_view text);

}  // namespace foundation
