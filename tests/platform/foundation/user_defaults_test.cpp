// UserDefaults through real suite files. Files the store must refuse or leave alone
// (damaged, foreign, read-only, a full disk) are the hardening store-faults suite's.
#include "platform/foundation/user_defaults.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <limits>
#include <thread>

#include "platform/foundation/preferences_location.h"
#include "support/temp_folder.h"

namespace foundation {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Code = DefaultsError::Code;

// Runs SQL on a file through a connection of its own, outside UserDefaults.
void runSQL(const fs::path& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

PropertyValue value(PropertyValue::Storage storage) { return PropertyValue{std::move(storage)}; }

Date at(std::int64_t microseconds) { return Date(Date::TimePoint(std::chrono::microseconds(microseconds))); }

// A suite file made elsewhere holding `text` under "key", to put in place of another.
fs::path suiteFileHolding(const fs::path& folder, const std::string& text) {
  const fs::path made = folder / "made";
  auto maker = UserDefaults::make("maker", made);
  if (!maker || !maker->set(PropertyValue{text}, "key")) throw std::runtime_error("cannot make a suite file");
  runSQL(made / "maker.sqlite", "PRAGMA wal_checkpoint(TRUNCATE);");  // the value in the file, not its -wal
  const fs::path copy = folder / ("copy-" + text + ".sqlite");
  fs::copy_file(made / "maker.sqlite", copy);
  return copy;
}

TEST(UserDefaults, EveryKindRoundTripsWithItsKind) {
  tul::testing::TempPreferences prefs;
  auto writer = UserDefaults::make("group.test.kinds");
  ASSERT_TRUE(writer);
  const PropertyValue::Array mixed{
      value(Data{0, 1, 255}),
      value("é\0x"s),
      value(std::int64_t{-3}),
      value(2.5),
      value(false),
      value(at(-1)),
      value(PropertyValue::Array{}),
      value(PropertyValue::Dictionary{{"deeper", value(PropertyValue::Array{value(true)})}})};
  const std::pair<std::string, PropertyValue> cases[] = {
      {"data", value(Data{0, 0, 7, 255})},
      {"emptyData", value(Data{})},
      {"string", value("Tempo \u2669 = 120"s)},
      {"emptyString", value(""s)},
      {"stringWithNul", value("a\0b"s)},
      {"integerMin", value(std::numeric_limits<std::int64_t>::min())},
      {"integerMax", value(std::numeric_limits<std::int64_t>::max())},
      {"oneReal", value(1.0)},
      {"true", value(true)},
      {"negativeZero", value(-0.0)},
      {"tiny", value(std::numeric_limits<double>::denorm_min())},
      {"infinity", value(-std::numeric_limits<double>::infinity())},
      {"date", value(at(1796544014123456))},
      {"array", value(mixed)},
      {"dictionary", value(PropertyValue::Dictionary{{"inner", value(mixed)}, {"", value(1.0 / 3.0)}})},
      {"", value("the empty key"s)},
  };
  for (const auto& [key, stored] : cases) ASSERT_TRUE(writer->set(stored, key)) << key;
  auto reader = UserDefaults::make("group.test.kinds");
  for (const auto& [key, stored] : cases) EXPECT_EQ(reader->object(key), stored) << key;

  // NaN never equals itself, so it is checked on its own, at the top and nested.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  ASSERT_TRUE(writer->set(value(nan), "nan"));
  ASSERT_TRUE(writer->set(value(PropertyValue::Array{value(nan)}), "nanInside"));
  EXPECT_TRUE(std::isnan(*reader->object("nan")->getIf<double>()));
  EXPECT_TRUE(std::isnan(*reader->object("nanInside")->getIf<PropertyValue::Array>()->at(0).getIf<double>()));
  EXPECT_TRUE(std::signbit(*reader->object("negativeZero")->getIf<double>()));
  EXPECT_FALSE(reader->object("missing"));

  // Listing keys in order, removing one and removing all are in widget-host's defaults
  // golden.
}

TEST(UserDefaults, RowsThatDoNotHoldTheirKindReadAsNone) {
  tul::testing::TempPreferences prefs;
  auto defaults = UserDefaults::make("suite");
  ASSERT_TRUE(defaults);
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += R"({"array":[)";
  const std::pair<std::string, std::string> rows[] = {
      {"unknownKind", "'float', 1.5"},
      {"integerAsText", "'integer', '12'"},
      {"booleanTwo", "'boolean', 2"},
      {"dataAsText", "'data', 'abc'"},
      {"notJSON", "'array', '[1,'"},
      {"untagged", "'array', '[1, 2]'"},
      {"kindMismatch", R"('array', '{"dictionary":{}}')"},
      {"badBase64", R"('array', '{"array":[{"data":"A=B="}]}')"},
      {"hugeInteger", R"('array', '{"array":[{"integer":9223372036854775808}]}')"},
      {"tooDeep", "'array', '" + deep + "'"},
  };
  for (const auto& [key, row] : rows) {
    runSQL(prefs.suiteFile("suite"), "INSERT INTO entries VALUES ('" + key + "', " + row + ")");
    EXPECT_FALSE(defaults->object(key)) << key;
    EXPECT_TRUE(defaults->setIfUnchanged(value(true), key, std::nullopt).value_or(false)) << key;
    EXPECT_EQ(defaults->object(key), value(true)) << key;
  }
}

// A value read again and again is given back from memory while nobody commits to the
// suite; every commit by another connection, whichever key it touches, and a log that
// starts over after a checkpoint must be seen by the next read.
TEST(UserDefaults, ReadsSeeEveryCommitOfAnotherConnection) {
  tul::testing::TempPreferences prefs;
  auto defaults = UserDefaults::make("suite");
  ASSERT_TRUE(defaults);
  ASSERT_TRUE(defaults->set(value("first"s), "first") && defaults->set(value("other"s), "other") &&
              defaults->set(value("first"s), "key"));
  const fs::path file = prefs.suiteFile("suite");
  // Each of these commits rewrites the same one page.
  const auto copy = [&](const std::string& from) {
    runSQL(file, "UPDATE entries SET value = (SELECT value FROM entries WHERE key = '" + from + "') WHERE key = 'key'");
  };
  const auto checkpoint = [&] { runSQL(file, "PRAGMA wal_checkpoint(TRUNCATE)"); };
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(defaults->object("key"), value("first"s));
    EXPECT_EQ(defaults->object("key"), value("first"s));
    copy("other");
    EXPECT_EQ(defaults->object("key"), value("other"s)) << round;
    // After a checkpoint that empties the log, the next commit starts it over: here each
    // value is read from a log of one frame.
    checkpoint();
    copy("first");
    EXPECT_EQ(defaults->object("key"), value("first"s)) << round;
    checkpoint();
    copy("other");
    EXPECT_EQ(defaults->object("key"), value("other"s)) << round;
    copy("first");
  }
  runSQL(file, "DELETE FROM entries WHERE key = 'key'");
  EXPECT_FALSE(defaults->object("key"));
  EXPECT_FALSE(defaults->object("key"));
  ASSERT_TRUE(defaults->set(value("first"s), "key"));
  // A commit to another key moves the suite on as well: the value is read again, and
  // is what it was.
  EXPECT_EQ(defaults->object("key"), value("first"s));
  runSQL(file, "UPDATE entries SET kind = kind WHERE key = 'other'");
  EXPECT_EQ(defaults->object("key"), value("first"s));
}

TEST(UserDefaults, SetIfUnchangedWritesOnlyOverTheExpectedValue) {
  tul::testing::TempPreferences prefs;
  auto defaults = UserDefaults::make("suite");
  ASSERT_TRUE(defaults);
  const struct {
    std::optional<PropertyValue> expected;
    PropertyValue next;
    bool writes;
  } steps[] = {
      {value(std::int64_t{1}), value(std::int64_t{2}), false},  // nothing stored yet
      {std::nullopt, value(std::int64_t{1}), true},
      {std::nullopt, value(std::int64_t{5}), false},  // something is stored now
      {value(true), value(std::int64_t{5}), false},   // same number, other kind
      {value(1.0), value(std::int64_t{5}), false},
      {value(std::int64_t{1}), value(PropertyValue::Array{value("x"s)}), true},
      {value(PropertyValue::Array{value("y"s)}), value(false), false},
      {value(PropertyValue::Array{value("x"s)}), value(false), true},
  };
  std::optional<PropertyValue> stored;
  for (const auto& step : steps) {
    const auto wrote = defaults->setIfUnchanged(step.next, "key", step.expected);
    ASSERT_TRUE(wrote) << wrote.error().message;
    EXPECT_EQ(*wrote, step.writes);
    if (step.writes) stored = step.next;
    EXPECT_EQ(defaults->object("key"), stored);
  }
}

// A process and two threads incrementing one counter with setIfUnchanged lose no update.
TEST(UserDefaults, ConcurrentIncrementsAreNotLost) {
  tul::testing::TempPreferences prefs;
  constexpr int kRounds = 100;
  const auto increment = [&] {
    auto defaults = UserDefaults::make("counter");
    for (int done = 0; defaults && done < kRounds;) {
      const auto current = defaults->object("count");
      const auto wrote =
          defaults->setIfUnchanged(value(current ? *current->getIf<std::int64_t>() + 1 : 1), "count", current);
      if (!wrote) return false;
      done += *wrote ? 1 : 0;
    }
    return defaults.has_value();
  };
  ASSERT_TRUE(UserDefaults::make("counter"));  // the file exists before both start
  // The child is forked before any thread starts: a fork while another thread holds a
  // lock (the allocator's, the connection registry's) would leave the child stuck.
  const pid_t child = fork();
  if (child == 0) _exit(increment() ? 0 : 1);
  std::atomic<int> failures = 0;
  std::vector<std::thread> threads;
  for (int i = 0; i < 2; ++i) threads.emplace_back([&] { failures += !increment(); });
  for (auto& thread : threads) thread.join();
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(UserDefaults::make("counter")->object("count"), value(std::int64_t{3 * kRounds}));
}

// Two connections opening a new suite at once (SQLite locks between connections of one
// process as between processes): the first to switch the file to its write-ahead log
// holds the write lock while the other asks for it. The other waits for the first, as
// for any write, instead of being refused.
TEST(UserDefaults, OpeningANewSuiteWaitsForAnotherConnectionSettingItUp) {
  tul::testing::TempPreferences prefs;
  const fs::path file = prefs.suiteFile("new");
  fs::create_directories(file.parent_path());
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
  // Like every connection of ours, it waits for a lock: its COMMIT may come while the
  // opener holds a read lock for a moment between its tries, and would fail at once.
  sqlite3_busy_timeout(other, 5000);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(other);
  std::thread finish([other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  });
  auto opened = UserDefaults::open("new");
  finish.join();
  sqlite3_close(other);
  ASSERT_TRUE(opened) << "opening failed: " << static_cast<int>(opened.error());
  EXPECT_TRUE(opened->set(value("written"s), "key"));
  EXPECT_EQ(opened->object("key"), value("written"s));
}

TEST(UserDefaults, RefusedWritesSayWhyAndKeepTheOldValue) {
  tul::testing::TempPreferences prefs;
  auto defaults = UserDefaults::make("group.sizes");
  ASSERT_TRUE(defaults);
  constexpr std::size_t kLimit = UserDefaults::kMaxValueBytes;
  ASSERT_TRUE(defaults->set(value(Data(kLimit, 1)), "big"));  // exactly the limit is allowed
  ASSERT_TRUE(defaults->set(value("old"s), "key"));
  PropertyValue deep = value(std::int64_t{0});
  for (int i = 0; i < 300; ++i) deep = value(PropertyValue::Array{deep});
  const struct {
    PropertyValue refused;
    std::string key;
    Code code;
    std::string mentions;
  } cases[] = {
      {value(Data(kLimit + 1, 0)), "key", Code::valueTooLarge, "4194305"},
      {value(std::string(kLimit + 1, 'x')), "key", Code::valueTooLarge, "4194305"},
      // 3 MiB of data is 4 MiB of base64 once inside an array.
      {value(PropertyValue::Array{value(Data(3 * 1024 * 1024 + 3, 0))}), "key", Code::valueTooLarge, "bytes"},
      {value("bad \xC3("s), "key", Code::unsupportedValue, "UTF-8"},
      {value(PropertyValue::Dictionary{{"k", value(PropertyValue::Array{value("\xFF"s)})}}), "key",
       Code::unsupportedValue, "[\"k\"][0]"},
      {value(PropertyValue::Dictionary{{"\xFF", value(true)}}), "key", Code::unsupportedValue, "dictionary key"},
      {deep, "key", Code::unsupportedValue, "deeper"},
      {value(true), "\xC3(", Code::invalidKey, "UTF-8"},
      {value(true), std::string(1025, 'k'), Code::invalidKey, "1025"},
  };
  for (const auto& c : cases) {
    const auto set = defaults->set(c.refused, c.key);
    const auto compareAndSet = defaults->setIfUnchanged(c.refused, c.key, value("old"s));
    for (const DefaultsError* error :
         {set ? nullptr : &set.error(), compareAndSet ? nullptr : &compareAndSet.error()}) {
      ASSERT_TRUE(error) << c.mentions;
      EXPECT_EQ(error->code, c.code) << error->message;
      for (const std::string& part : {"group.sizes"s, c.mentions}) {
        EXPECT_NE(error->message.find(part), std::string::npos) << error->message;
      }
    }
    EXPECT_EQ(defaults->object("key"), value("old"s));
  }
  EXPECT_EQ(defaults->removeObject("\xC3(").error().code, Code::invalidKey);
}

TEST(UserDefaults, RetiredHandleFailsEveryMethodCleanly) {
  tul::testing::TempPreferences prefs;
  auto retired = UserDefaults::make("suite");
  ASSERT_TRUE(retired && retired->set(value("old"s), "key"));
  runSQL(prefs.suiteFile("suite"), "PRAGMA wal_checkpoint(TRUNCATE);");  // no -wal to read into the new file
  fs::rename(suiteFileHolding(prefs.root(), "new"), prefs.suiteFile("suite"));
  auto fresh = UserDefaults::make("suite");  // notices the replaced file
  ASSERT_TRUE(fresh);

  const auto refused = [](const auto& result) -> std::string {
    if (result) return "succeeded";
    const std::string& message = result.error().message;
    if (result.error().code != Code::storageFailed) return "failed with another code: " + message;
    const bool says = message.find("\"suite\"") != std::string::npos && message.find("replaced") != std::string::npos;
    return says ? "" : "does not say the file was replaced: " + message;
  };
  const std::pair<const char*, std::function<std::string()>> methods[] = {
      {"object", [&] { return retired->object("key") ? "gave a value" : ""; }},
      {"keys", [&] { return retired->keys().empty() ? "" : "listed keys"; }},
      {"set", [&] { return refused(retired->set(value(true), "key")); }},
      {"setIfUnchanged", [&] { return refused(retired->setIfUnchanged(value(true), "key", value("old"s))); }},
      {"removeObject", [&] { return refused(retired->removeObject("key")); }},
      {"removeAll", [&] { return refused(retired->removeAll()); }},
  };
  for (const auto& [method, call] : methods) EXPECT_EQ(call(), "") << method;
  EXPECT_EQ(fresh->object("key"), value("new"s)) << "a retired handle reached the new file";
  EXPECT_EQ(fresh->keys(), std::vector<std::string>{"key"});
}

TEST(UserDefaults, RemovedRenamedOverOrMovedSuiteFileIsNoticedByTheNextHandle) {
  tul::testing::TempPreferences prefs;
  const fs::path& folder = prefs.folder();
  const fs::path path = prefs.suiteFile("suite");
  // A process that keeps making handles on a suite has its folder watched instead of
  // looking the path up every time: each change below follows enough handles for that.
  const auto keepUsing = [&] {
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(UserDefaults::make("suite"));
  };
  ASSERT_TRUE(UserDefaults::make("suite")->set(value("first"s), "key"));
  fs::remove(path);  // as a user deleting the file would: the -wal and -shm stay behind
  EXPECT_FALSE(UserDefaults::make("suite")->object("key"));
  EXPECT_TRUE(fs::exists(path));
  ASSERT_TRUE(UserDefaults::make("suite")->set(value("second"s), "key"));
  keepUsing();
  runSQL(path, "PRAGMA wal_checkpoint(TRUNCATE);");  // as a tool replacing a database file must

  fs::rename(suiteFileHolding(prefs.root(), "renamed over"), path);  // as restoring a backup would
  EXPECT_EQ(UserDefaults::make("suite")->object("key"), value("renamed over"s));
  keepUsing();

  fs::rename(folder, prefs.root() / "moved");  // the folder moved away and a new one made
  fs::create_directories(folder);
  fs::rename(suiteFileHolding(prefs.root(), "new folder"), path);
  EXPECT_EQ(UserDefaults::make("suite")->object("key"), value("new folder"s));
  keepUsing();

  // A forked child that opens the suite and replaces it must not take the notice of
  // the change away from this process.
  const pid_t child = fork();
  if (child == 0) {
    if (!UserDefaults::make("suite")) _exit(1);
    fs::rename(suiteFileHolding(prefs.root(), "from child"), path);
    _exit(UserDefaults::make("suite")->object("key") == value("from child"s) ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(UserDefaults::make("suite")->object("key"), value("from child"s));
}

TEST(UserDefaults, SuiteNamesAndTheFolderTheEnvironmentSelects) {
  tul::testing::TempPreferences prefs;
  for (const std::string& name : {""s, "."s, ".."s, "a/b"s, "/abs"s, "nul\0inside"s, std::string(241, 's')}) {
    EXPECT_FALSE(UserDefaults::make(name, prefs.root())) << name;
  }
  auto longest = UserDefaults::make(std::string(240, 's'));
  ASSERT_TRUE(longest && longest->set(value(true), "key"));
  EXPECT_TRUE(fs::exists(prefs.suiteFile(std::string(240, 's'))));

  // Each test runs in a process of its own: the variables changed here need no restoring.
  const auto put = [](const char* name, const char* text) { text ? setenv(name, text, 1) : unsetenv(name); };
  const struct {
    const char* preferences;
    const char* xdg;
    fs::path folder;
  } cases[] = {
      {"/p", "/x", "/p"},
      {nullptr, "/x", "/x/widget-platform/preferences"},
      {"", "relative", "/h/.local/share/widget-platform/preferences"},
      {nullptr, nullptr, "/h/.local/share/widget-platform/preferences"},
  };
  for (const auto& c : cases) {
    put(kPreferencesVariable, c.preferences);
    put("XDG_DATA_HOME", c.xdg);
    put("HOME", "/h");
    EXPECT_EQ(UserDefaults::preferencesFolder(), c.folder);
    EXPECT_EQ(UserDefaults::suitePath("group.a"), c.folder / "group.a.sqlite");
  }
}

}  // namespace
}  // namespace foundation
