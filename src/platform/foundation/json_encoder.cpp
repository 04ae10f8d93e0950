#include "platform/foundation/json_encoder.h"

#include <nlohmann/json.hpp>

#include "platform/foundation/canonical_text.h"

namespace foundation {

struct Encoder::State {
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
};

Encoder::Encoder() : state_(std::make_unique<State>()) {}
Encoder::~Encoder() = default;

KeyedEncodingContainerCore Encoder::keyedContainer() { return KeyedEncodingContainerCore(this); }

std::expected<std::string, EncodingError> Encoder::finish() const {
  try {
    return state_->object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::strict);
  } catch (const nlohmann::json::exception& error) {
    return std::unexpected(EncodingError{EncodingError::Kind::invalidValue, {}, error.what()});
  }
}

std::expected<void, EncodingError> KeyedEncodingContainerCore::encode(std::int64_t value, std::string_view key) {
  encoder_->state_->object[std::string(key)] = value;
  return {};
}

std::expected<void, EncodingError> KeyedEncodingContainerCore::encode(bool value, std::string_view key) {
  encoder_->state_->object[std::string(key)] = value;
  return {};
}

std::expected<void, EncodingError> KeyedEncodingContainerCore::encode(std::string_view value, std::string_view key) {
  if (!isValidUTF8(value)) {
    return std::unexpected(
        EncodingError{EncodingError::Kind::invalidValue, {std::string(key)}, "the text is not valid UTF-8"});
  }
  encoder_->state_->object[std::string(key)] = std::string(value);
  return {};
}

}  // namespace foundation
