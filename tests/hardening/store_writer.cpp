// A writer of the shared suite in a process of its own, for the hardening tests.
// It stands in for the host app (which stores presets) or for an extension (which
// falls back to the default after an unreadable value). It finds the suite through
// WIDGET_PLATFORM_PREFERENCES, as the extension does.
//
//   store_writer presets FIRST
//       Stores host presets FIRST, FIRST+1, ... until killed, printing "k" after each
//       write has returned.
//   store_writer fallbacks FIRST
//       Until killed: stores broken value k and prints "b k", then loads as the
//       extension does (which stores the default over it) and prints "d k".
//   store_writer race ROUNDS SEED
//       The host app during the concurrency test: ROUNDS writes, mostly presets and
//       every third a broken value, with short random pauses. Before each write it
//       checks that what it wrote last is still there: a preset untouched, a broken
//       value untouched or replaced by a whole default. Prints one summary line;
//       exits 0 when nothing was lost, 1 when something was, 2 when a write failed.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "host_presets.h"
#include "platform/foundation/user_defaults.h"

namespace {

using foundation::PropertyValue;
using foundation::UserDefaults;
using namespace tul::hardening;

// One line on standard output at once, unbuffered, so that a kill loses no printed line.
void say(const std::string& line) {
  const std::string text = line + "\n";
  if (::write(STDOUT_FILENO, text.data(), text.size()) < 0) std::_Exit(4);
}

UserDefaults suite() {
  auto defaults = UserDefaults::make(tul::kSharedSuiteName);
  if (!defaults) {
    std::fprintf(stderr, "store_writer: cannot open the shared suite\n");
    std::_Exit(2);
  }
  return *defaults;
}

void store(const foundation::Data& data) {
  auto written = suite().set(PropertyValue{data}, tul::kSharedPresetKey);
  if (!written) {
    std::fprintf(stderr, "store_writer: %s\n", written.error().message.c_str());
    std::_Exit(2);
  }
}

[[noreturn]] void writePresets(std::int64_t k) {
  for (;; ++k) {
    store(hostPresetData(k));
    say(std::to_string(k));
  }
}

[[noreturn]] void writeFallbacks(std::int64_t k) {
  for (;; ++k) {
    store(brokenData(k));
    say("b " + std::to_string(k));
    (void)tul::MiniMelody::loadShared();
    say("d " + std::to_string(k));
  }
}

int race(std::int64_t rounds, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> pauseMicroseconds(0, 400);
  std::int64_t replacedByDefault = 0;
  std::int64_t lost = 0;
  std::optional<foundation::Data> last;
  bool lastWasBroken = false;
  const auto checkLast = [&](std::int64_t round) {
    const auto now = suite().object(tul::kSharedPresetKey);
    const auto* data = now ? now->getIf<foundation::Data>() : nullptr;
    if (!last || (data && *data == *last)) return;
    if (lastWasBroken && data && holdsDefaultPreset(*data)) {
      ++replacedByDefault;
      return;
    }
    ++lost;
    std::fprintf(stderr, "store_writer: before round %lld the value written last is gone: %s\n",
                 static_cast<long long>(round),
                 data ? std::string(foundation::stringView(*data)).c_str() : "(no data value)");
  };
  for (std::int64_t round = 1; round <= rounds; ++round) {
    checkLast(round);
    // Every third write is unreadable, and the last one never is.
    lastWasBroken = round % 3 == 0 && round != rounds;
    last = lastWasBroken ? brokenData(round) : hostPresetData(round);
    store(*last);
    std::this_thread::sleep_for(std::chrono::microseconds(pauseMicroseconds(random)));
  }
  checkLast(rounds + 1);
  std::printf("writes=%lld replacedByDefault=%lld lost=%lld\n", static_cast<long long>(rounds),
              static_cast<long long>(replacedByDefault), static_cast<long long>(lost));
  return lost == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "presets") == 0) writePresets(std::atoll(argv[2]));
  if (argc == 3 && std::strcmp(argv[1], "fallbacks") == 0) writeFallbacks(std::atoll(argv[2]));
  if (argc == 4 && std::strcmp(argv[1], "race") == 0) {
    return race(std::atoll(argv[2]), static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)));
  }
  std::fprintf(stderr, "usage: store_writer presets FIRST | fallbacks FIRST | race ROUNDS SEED\n");
  return 64;
}
