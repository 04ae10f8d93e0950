// Benchmarks of the two steps that read the shared preset.
//
// Decoding its JSON with JSONDecoder, against
//   - the common alternative: nlohmann::json parses the text, then the 13 members are
//     read into a MiniMelody by the same member rules (exact names, no nulls, integers
//     that are exactly integers, booleans only true/false, texts only strings, the
//     same UUID and rhythm-mode checks);
//   - the floor: a bare simdjson DOM parse of the same bytes with a reused parser.
// nlohmann keeps the last of two members of the same name, has no depth limit and keeps
// no number text, so the alternative skips three of the document-wide checks that
// JSONDecoder makes: it is, if anything, faster than a faithful copy would be.
//
// MiniMelody::loadShared() with the preset stored, against the floor: a prepared
// `SELECT value FROM entries WHERE key = ?` on an open connection to the same file.
#include <benchmark/benchmark.h>
#include <simdjson.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <expected>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>

#include "bench_preset.h"
#include "preset/mini_melody.h"
#include "support/temp_folder.h"

namespace {

using Json = nlohmann::json;
using tul::MiniMelody;

// ---- The alternative: nlohmann::json with the member rules of JSONDecoder.

std::expected<const Json*, std::string> requiredMember(const Json& object, const char* key) {
  const auto member = object.find(key);
  if (member == object.end()) return std::unexpected(std::string("keyNotFound: ") + key);
  if (member->is_null()) return std::unexpected(std::string("valueNotFound: ") + key);
  return &*member;
}

std::expected<std::int64_t, std::string> integerMember(const Json& object, const char* key) {
  auto member = requiredMember(object, key);
  if (!member) return std::unexpected(member.error());
  const Json& value = **member;
  if (value.is_number_unsigned()) {
    const auto magnitude = value.get<std::uint64_t>();
    if (magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return std::unexpected(std::string("dataCorrupted: ") + key + " does not fit in Int64");
    }
    return static_cast<std::int64_t>(magnitude);
  }
  if (value.is_number_integer()) return value.get<std::int64_t>();
  if (value.is_number_float()) {
    // 1.0 and 1e2 are integers; without the number's text, only values a double holds
    // exactly can be told apart from ones that were rounded.
    constexpr double kExactLimit = 9007199254740992.0;  // 2^53
    const double number = value.get<double>();
    if (std::isfinite(number) && std::trunc(number) == number && std::abs(number) <= kExactLimit) {
      return static_cast<std::int64_t>(number);
    }
    return std::unexpected(std::string("dataCorrupted: ") + key + " is not exactly representable in Int64");
  }
  return std::unexpected(std::string("typeMismatch: ") + key + " is not a number");
}

std::expected<bool, std::string> boolMember(const Json& object, const char* key) {
  auto member = requiredMember(object, key);
  if (!member) return std::unexpected(member.error());
  if (!(*member)->is_boolean()) return std::unexpected(std::string("typeMismatch: ") + key + " is not a bool");
  return (*member)->get<bool>();
}

std::expected<std::string, std::string> stringMember(const Json& object, const char* key) {
  auto member = requiredMember(object, key);
  if (!member) return std::unexpected(member.error());
  if (!(*member)->is_string()) return std::unexpected(std::string("typeMismatch: ") + key + " is not a string");
  return (*member)->get<std::string>();
}

std::expected<MiniMelody, std::string> decodeWithNlohmann(std::string_view text) {
  const Json document = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded()) return std::unexpected(std::string("dataCorrupted: not valid JSON"));
  if (!document.is_object()) return std::unexpected(std::string("typeMismatch: not a dictionary"));

  auto isPlaylingList = boolMember(document, "isPlaylingList");
  if (!isPlaylingList) return std::unexpected(isPlaylingList.error());
  constexpr const char* kNumberKeys[7] = {"poly1", "poly2", "polyBar", "bars", "bpm", "note", "beat"};
  std::int64_t numbers[7] = {};
  for (int i = 0; i < 7; ++i) {
    auto number = integerMember(document, kNumberKeys[i]);
    if (!number) return std::unexpected(number.error());
    numbers[i] = *number;
  }
  auto subdivision = stringMember(document, "subdivision");
  if (!subdivision) return std::unexpected(subdivision.error());
  auto acc = stringMember(document, "acc");
  if (!acc) return std::unexpected(acc.error());
  auto name = stringMember(document, "name");
  if (!name) return std::unexpected(name.error());
  auto modeRaw = integerMember(document, "rythmMode");
  if (!modeRaw) return std::unexpected(modeRaw.error());
  const auto mode = tul::rhythmModeFromRawValue(*modeRaw);
  if (!mode) return std::unexpected(std::string("dataCorrupted: rythmMode"));
  auto idText = stringMember(document, "id");
  if (!idText) return std::unexpected(idText.error());
  const auto id = foundation::UUID::parse(*idText);
  if (!id) return std::unexpected(std::string("dataCorrupted: id"));
  return MiniMelody{*isPlaylingList,
                    numbers[0],
                    numbers[1],
                    numbers[2],
                    numbers[3],
                    numbers[4],
                    numbers[5],
                    numbers[6],
                    std::move(*subdivision),
                    std::move(*acc),
                    std::move(*name),
                    *mode,
                    *id};
}

// ---- The stored preset and the floor's statement.

// The floor's connection and statement, opened once like the store's own.
struct PreparedRead {
  sqlite3* db = nullptr;
  sqlite3_stmt* select = nullptr;

  PreparedRead() = default;
  PreparedRead(PreparedRead&& other) noexcept
      : db(std::exchange(other.db, nullptr)), select(std::exchange(other.select, nullptr)) {}
  PreparedRead& operator=(PreparedRead&&) = delete;
  ~PreparedRead() {
    sqlite3_finalize(select);
    sqlite3_close(db);
  }
};

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "preset_bench: %s\n", message.c_str());
  std::exit(1);
}

struct Fixture {
  tul::testing::TempPreferences preferences;
  PreparedRead read;
  Fixture();
};

// Stores the preset and checks that every contender produces it before anything is
// timed; a contender that does not ends the program.
Fixture::Fixture() {
  if (auto stored = bench::storePresetIn(preferences.folder()); !stored) fail(stored.error());
  const std::string& text = bench::benchPresetJSON();
  const auto decoded = foundation::JSONDecoder().decode<MiniMelody>(text);
  if (!decoded || *decoded != bench::benchPreset()) fail("JSONDecoder does not decode the preset");
  const auto alternative = decodeWithNlohmann(text);
  if (!alternative) fail("the nlohmann decode fails: " + alternative.error());
  if (*alternative != bench::benchPreset()) fail("the nlohmann decode gives another record");
  if (MiniMelody::loadShared() != bench::benchPreset()) fail("loadShared() did not return the stored preset");

  const std::string path = preferences.suiteFile(tul::kSharedSuiteName).string();
  if (sqlite3_open_v2(path.c_str(), &read.db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v3(read.db, "SELECT value FROM entries WHERE key = ?", -1, SQLITE_PREPARE_PERSISTENT,
                         &read.select, nullptr) != SQLITE_OK) {
    fail("cannot prepare the floor's SELECT on " + path);
  }
}

// Made on first use, removed (the preferences folder with it) when the program ends.
const Fixture& fixture() {
  static const Fixture instance;
  return instance;
}

// ---- Decoding.

void decodeJSONDecoder(benchmark::State& state) {
  fixture();
  const std::string& text = bench::benchPresetJSON();
  const foundation::JSONDecoder decoder;
  for (auto _ : state) {
    auto melody = decoder.decode<MiniMelody>(text);
    benchmark::DoNotOptimize(melody);
  }
}

void decodeNlohmannSameRules(benchmark::State& state) {
  fixture();
  const std::string& text = bench::benchPresetJSON();
  for (auto _ : state) {
    auto melody = decodeWithNlohmann(text);
    benchmark::DoNotOptimize(melody);
  }
}

void decodeNlohmannParseOnly(benchmark::State& state) {
  fixture();
  const std::string& text = bench::benchPresetJSON();
  for (auto _ : state) {
    Json document = Json::parse(text.begin(), text.end(), nullptr, false);
    benchmark::DoNotOptimize(document);
  }
}

void decodeSimdjsonFloor(benchmark::State& state) {
  fixture();
  const std::string& text = bench::benchPresetJSON();
  simdjson::dom::parser parser;
  for (auto _ : state) {
    simdjson::dom::element root;
    auto error = parser.parse(text.data(), text.size()).get(root);
    benchmark::DoNotOptimize(error);
    benchmark::DoNotOptimize(root);
  }
}

// ---- Loading from the shared suite.

void loadShared(benchmark::State& state) {
  fixture();
  for (auto _ : state) {
    MiniMelody melody = MiniMelody::loadShared();
    benchmark::DoNotOptimize(melody);
  }
}

void loadSharedPreparedSelectFloor(benchmark::State& state) {
  sqlite3_stmt* select = fixture().read.select;
  const std::string_view key = tul::kSharedPresetKey;
  for (auto _ : state) {
    sqlite3_bind_text(select, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    if (sqlite3_step(select) != SQLITE_ROW) {
      state.SkipWithError("the floor's SELECT found no row");
      break;
    }
    const void* bytes = sqlite3_column_blob(select, 0);
    const int size = sqlite3_column_bytes(select, 0);
    benchmark::DoNotOptimize(bytes);
    benchmark::DoNotOptimize(size);
    sqlite3_reset(select);
  }
}

}  // namespace

BENCHMARK(decodeJSONDecoder)->Name("decode/JSONDecoder");
BENCHMARK(decodeNlohmannSameRules)->Name("decode/nlohmann_same_rules");
BENCHMARK(decodeNlohmannParseOnly)->Name("decode/nlohmann_parse_only");
BENCHMARK(decodeSimdjsonFloor)->Name("decode/simdjson_parse_floor");
BENCHMARK(loadShared)->Name("load/loadShared");
BENCHMARK(loadSharedPreparedSelectFloor)->Name("load/prepared_select_floor");

BENCHMARK_MAIN();
