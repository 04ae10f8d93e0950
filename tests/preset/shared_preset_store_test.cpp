// MiniMelody's side of the shared suite: the pinned default, which stored values it
// reads or replaces, and the compare-and-set that keeps a host write made in between.
// Damaged, foreign and read-only suites are the hardening store-faults suite's.
#include "preset/shared_preset_store.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/foundation/json_decoder.h"
#include "platform/foundation/user_defaults.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace tul {
namespace {

using foundation::PropertyValue;
using foundation::UserDefaults;

constexpr const char* kHostPreset =
    R"({"isPlaylingList":true,"poly1":3,"poly2":2,"polyBar":1,"bars":8,"bpm":72,"note":8,"beat":6,)"
    R"("subdivision":"1","acc":"1000","name":"Host tune","rythmMode":2,"id":"11111111-2222-4333-8444-555555555555"})";

class SharedPresetStore : public ::testing::Test {
 protected:
  testing::TempPreferences prefs;

  UserDefaults suite() { return *UserDefaults::make(kSharedSuiteName); }
  void storeValue(PropertyValue value) { ASSERT_TRUE(suite().set(value, kSharedPresetKey)); }
  std::optional<PropertyValue> storedValue() { return suite().object(kSharedPresetKey); }
  std::optional<MiniMelody> storedMelody() {
    auto value = storedValue();
    if (!value || !value->getIf<foundation::Data>()) return std::nullopt;
    auto melody = foundation::JSONDecoder().decode<MiniMelody>(*value->getIf<foundation::Data>());
    return melody ? std::optional(*melody) : std::nullopt;
  }
  // The bytes of the suite's database and its write-ahead log: what a write changes.
  std::string suiteBytes() {
    auto file = prefs.suiteFile(std::string(kSharedSuiteName));
    return testing::readFile(file) + "|" + testing::readFile(file.string() + "-wal");
  }
  static testing::RunResult probe(std::vector<std::string> args) {
    args.insert(args.begin(), TUL_PRESET_PROBE);
    return testing::run(args);
  }
};

// The default is pinned whole, as the host app reads it: a data blob holding exactly
// these bytes, with the id this process drew.
TEST_F(SharedPresetStore, NothingStoredGivesTheDefaultAndStoresItExactly) {
  const MiniMelody first = MiniMelody::loadShared();
  EXPECT_EQ(first, MiniMelody::defaultMelody());
  const std::string stored =
      R"({"isPlaylingList":false,"poly1":4,"poly2":1,"polyBar":1,"bars":4,"bpm":120,"note":4,"beat":4,)"
      R"("subdivision":"0","acc":"2000","name":"Let it be","rythmMode":0,"id":")" +
      first.id.uuidString() + "\"}";
  EXPECT_EQ(storedValue(), PropertyValue{foundation::dataFromString(stored)});

  const std::string before = suiteBytes();
  const MiniMelody second = MiniMelody::loadShared();
  EXPECT_EQ(second, first);
  EXPECT_EQ(suiteBytes(), before) << "a successful load writes nothing";
}

// A rhythm mode that does not exist is MiniMelody's coding test's; a readable default
// keeps the id it was stored with like any readable preset.
TEST_F(SharedPresetStore, UnreadableValuesAreReplacedByTheDefault) {
  auto noId = nlohmann::ordered_json::parse(kHostPreset);
  noId.erase("id");
  const PropertyValue unreadable[] = {
      {std::string(kHostPreset)},                       // valid JSON, but text rather than data
      {std::int64_t{42}},                               // a number
      {foundation::dataFromString("{}")},               // data that lacks every member
      {foundation::dataFromString("not json at all")},  // data that is not JSON
      {foundation::dataFromString(noId.dump())},        // a preset without its id
  };
  for (const auto& value : unreadable) {
    storeValue(value);
    EXPECT_EQ(MiniMelody::loadShared(), MiniMelody::defaultMelody());
    EXPECT_EQ(storedMelody(), MiniMelody::defaultMelody());
  }
}

TEST_F(SharedPresetStore, ReadablePresetIsReturnedAndLeftUntouched) {
  auto withExtra = nlohmann::ordered_json::parse(kHostPreset);
  withExtra["addedByANewerApp"] = {1, 2, 3};
  storeValue({foundation::dataFromString(withExtra.dump())});
  const std::string before = suiteBytes();
  const MiniMelody melody = MiniMelody::loadShared();
  EXPECT_EQ(melody, *foundation::JSONDecoder().decode<MiniMelody>(std::string_view(kHostPreset)));
  EXPECT_EQ(melody.name, "Host tune");
  EXPECT_EQ(suiteBytes(), before);
  EXPECT_EQ(storedValue(), PropertyValue{foundation::dataFromString(withExtra.dump())});
}

TEST_F(SharedPresetStore, HostWriteBetweenReadAndFallbackSurvives) {
  storeValue({foundation::dataFromString("undecodable")});
  const auto observed = shared_store::read();
  ASSERT_TRUE(observed.opened);

  // The host app stores a preset from its own process after the extension's read.
  ASSERT_EQ(probe({"store-data", kHostPreset}).exitCode, 0);

  EXPECT_FALSE(shared_store::storeIfUnchanged(MiniMelody::defaultMelody(), observed.value));
  EXPECT_EQ(storedValue(), PropertyValue{foundation::dataFromString(kHostPreset)});
  EXPECT_EQ(MiniMelody::loadShared().name, "Host tune");

  // With nothing in between, the fallback write goes through.
  storeValue({foundation::dataFromString("undecodable")});
  const auto again = shared_store::read();
  EXPECT_TRUE(shared_store::storeIfUnchanged(MiniMelody::defaultMelody(), again.value));
  EXPECT_EQ(storedMelody(), MiniMelody::defaultMelody());
}

TEST_F(SharedPresetStore, SaveSharedReplacesTheValue) {
  storeValue({foundation::dataFromString(kHostPreset)});
  MiniMelody melody = MiniMelody::defaultMelody();
  melody.bpm = 200;
  melody.saveShared();
  EXPECT_EQ(storedMelody(), melody);
}

}  // namespace
}  // namespace tul
