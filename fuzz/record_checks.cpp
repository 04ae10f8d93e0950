// Checks for the keyed records read from outside: the shared preset and the Live
// Activity's attributes and state.

#include "activity/tul_widget_attributes.h"
#include "input_checks.h"
#include "platform/foundation/canonical_text.h"
#include "platform/foundation/hasher.h"
#include "platform/foundation/json_decoder.h"
#include "platform/foundation/json_encoder.h"
#include "preset/mini_melody.h"

namespace tul::fuzzing {
namespace {

using foundation::DecodingError;

CheckResult checkError(const DecodingError& error, std::string_view record) {
  const std::string_view kind = foundation::kindName(error.kind);
  if (kind == "unknown") return std::string(record) + ": a decoding error of no known kind";
  if (error.debugDescription.empty()) return std::string(record) + ": a " + std::string(kind) + " error with no reason";
  if (!error.description().starts_with(kind)) return std::string(record) + ": description does not start with its kind";
  return std::nullopt;
}

// Decodes `input` as T; a decoded value must encode, decode back equal with an equal
// hash, and stay equal (and hash alike) after `canonical` rewrites its texts to their
// NFC forms.
template <typename T, typename Canonical>
CheckResult checkRecord(std::string_view input, std::string_view record, Canonical canonical) {
  const auto fail = [&](const std::string& what) { return CheckResult(std::string(record) + ": " + what); };
  const foundation::JSONDecoder decoder;
  const auto decoded = decoder.decode<T>(input);
  if (!decoded) return checkError(decoded.error(), record);
  const auto encoded = foundation::JSONEncoder().encodeToString(*decoded);
  if (!encoded) return fail("a decoded value does not encode: " + encoded.error().description());
  const auto again = decoder.decode<T>(std::string_view(*encoded));
  if (!again) return fail("its own encoding does not decode: " + again.error().description() + " in " + *encoded);
  if (!(*again == *decoded)) return fail("the encoding does not decode to an equal value: " + *encoded);
  if (foundation::hashValue(*again) != foundation::hashValue(*decoded)) return fail("equal values hash differently");
  T normalized = *decoded;
  canonical(normalized);
  if (!(normalized == *decoded)) return fail("a value differs from its NFC form");
  if (foundation::hashValue(normalized) != foundation::hashValue(*decoded)) {
    return fail("a value and its NFC form hash differently");
  }
  return std::nullopt;
}

}  // namespace

CheckResult checkPresetJson(std::string_view input) {
  return checkRecord<MiniMelody>(input, "MiniMelody", [](MiniMelody& melody) {
    melody.subdivision = foundation::nfc(melody.subdivision);
    melody.acc = foundation::nfc(melody.acc);
    melody.name = foundation::nfc(melody.name);
  });
}

CheckResult checkActivityRecords(std::string_view input) {
  if (auto failure = checkRecord<TulWidgetAttributes::ContentState>(
          input, "ContentState", [](TulWidgetAttributes::ContentState& state) {
            if (state.melodyName) state.melodyName = foundation::nfc(*state.melodyName);
          })) {
    return failure;
  }
  // The attributes have no equality or hash of their own: compare their one member.
  const foundation::JSONDecoder decoder;
  const auto attributes = decoder.decode<TulWidgetAttributes>(input);
  if (!attributes) return checkError(attributes.error(), "TulWidgetAttributes");
  const auto encoded = foundation::JSONEncoder().encodeToString(*attributes);
  if (!encoded) return "TulWidgetAttributes: a decoded value does not encode: " + encoded.error().description();
  const auto again = decoder.decode<TulWidgetAttributes>(std::string_view(*encoded));
  if (!again || again->name != attributes->name) {
    return "TulWidgetAttributes: the encoding does not decode to the same name: " + *encoded;
  }
  return std::nullopt;
}

}  // namespace tul::fuzzing
