// Hasher: the platform's standard seeded, streaming hasher (seeded XXH3, 64 bits).
//
// Values feed bytes, 64-bit words and texts into one hasher in a fixed order, then
// `finalize()` yields the hash. Texts are fed in their NFC form, so canonically
// equivalent texts hash alike. Hash values are for in-process use only: never store
// or exchange them. A Hasher is a move-only value; it is not shared between threads.
#pragma once

#include <concepts>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace foundation {

class Hasher {
 public:
  explicit Hasher(std::uint64_t seed = 0);
  ~Hasher();
  Hasher(Hasher&&) noexcept;
  Hasher& operator=(Hasher&&) noexcept;
  Hasher(const Hasher&) = delete;
  Hasher& operator=(const Hasher&) = delete;

  void combineBytes(std::span<const std::uint8_t> bytes);
  void combine(std::uint8_t byte);
  void combine(bool flag) { combine(static_cast<std::uint8_t>(flag ? 1 : 0)); }
  // One 64-bit word, as its two's-complement bit pattern (little-endian bytes).
  void combine(std::int64_t word);
  void combine(std::uint64_t word);
  // A text by its canonical (NFC) content, followed by its length so that
  // consecutive texts cannot run into each other.
  void combineText(std::string_view utf8);

  // The hash of everything fed so far; the hasher may go on being fed afterwards.
  std::int64_t finalize() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A value that feeds itself into a hasher (the platform's `hash(into:)`).
template <typename T>
concept Hashable = requires(const T& value, Hasher& hasher) {
  { value.hash(hasher) } -> std::same_as<void>;
};

// The value's hash under seed 0 (the platform's `hashValue`).
template <Hashable T>
std::int64_t hashValue(const T& value) {
  Hasher hasher(0);
  value.hash(hasher);
  return hasher.finalize();
}

// The value's hash under the caller's seed.
template <Hashable T>
std::int64_t hashValue(const T& value, std::int64_t seed) {
  Hasher hasher(static_cast<std::uint64_t>(seed));
  value.hash(hasher);
  return hasher.finalize();
}

}  // namespace foundation
