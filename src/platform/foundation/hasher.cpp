#include "platform/foundation/hasher.h"

#include <xxhash.h>

#include <bit>
#include <new>

#include "platform/foundation/canonical_text.h"

namespace foundation {

struct Hasher::State {
  XXH3_state_t* xxh;

  explicit State(std::uint64_t seed) : xxh(XXH3_createState()) {
    if (xxh == nullptr) throw std::bad_alloc();
    XXH3_64bits_reset_withSeed(xxh, seed);
  }
  ~State() { XXH3_freeState(xxh); }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  void update(const void* bytes, std::size_t length) { XXH3_64bits_update(xxh, bytes, length); }
};

Hasher::Hasher(std::uint64_t seed) : state_(std::make_unique<State>(seed)) {}
Hasher::~Hasher() = default;
Hasher::Hasher(Hasher&&) noexcept = default;
Hasher& Hasher::operator=(Hasher&&) noexcept = default;

void Hasher::combineBytes(std::span<const std::uint8_t> bytes) { state_->update(bytes.data(), bytes.size()); }

void Hasher::combine(std::uint8_t byte) { state_->update(&byte, 1); }

void Hasher::combine(std::int64_t word) { combine(std::bit_cast<std::uint64_t>(word)); }

void Hasher::combine(std::uint64_t word) {
  // Little-endian whatever the host, so a value hashes alike on every machine.
  std::uint8_t bytes[8];
  for (std::size_t i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(word >> (8 * i));
  state_->update(bytes, sizeof bytes);
}

void Hasher::combineText(std::string_view utf8) {
  const std::string canonical = nfc(utf8);
  state_->update(canonical.data(), canonical.size());
  combine(static_cast<std::uint64_t>(canonical.size()));
}

// XXH3's digest reads the state without changing it, so feeding may go on afterwards.
std::int64_t Hasher::finalize() const { return std::bit_cast<std::int64_t>(XXH3_64bits_digest(state_->xxh)); }

}  // namespace foundation
