#include "platform/foundation/user_defaults.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace foundation {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A folder of its own for one test, removed with everything in it afterwards.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "user-defaults-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code error;
    // A test may have locked a folder; open everything up again so that it can go.
    for (auto it = fs::recursive_directory_iterator(path_, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
      if (it->is_directory()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs `body` in a forked child and gives its exit status (-1 when it did not exit).
// The child leaves through _exit so that nothing of the parent's state is torn down twice.
int runInChild(const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) {
    int status = 98;
    try {
      status = body();
    } catch (...) {
      status = 99;
    }
    _exit(status);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Runs SQL on a file through a connection of its own, outside UserDefaults.
void runSQL(const fs::path& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

PropertyValue value(PropertyValue::Storage storage) { return PropertyValue{std::move(storage)}; }

Date at(std::int64_t microseconds) { return Date(Date::TimePoint(std::chrono::microseconds(microseconds))); }

TEST(UserDefaults, EveryKindRoundTripsWithItsKind) {
  TempFolder folder;
  auto writer = UserDefaults::make("group.test.kinds", folder.path());
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
  const struct {
    std::string key;
    PropertyValue stored;
  } cases[] = {
      {"data", value(Data{0, 0, 7, 255})},
      {"emptyData", value(Data{})},
      {"string", value("Tempo \u2669 = 120"s)},
      {"emptyString", value(""s)},
      {"stringWithNul", value("a\0b"s)},
      {"integerMin", value(std::numeric_limits<std::int64_t>::min())},
      {"integerMax", value(std::numeric_limits<std::int64_t>::max())},
      {"one", value(std::int64_t{1})},
      {"oneReal", value(1.0)},
      {"true", value(true)},
      {"negativeZero", value(-0.0)},
      {"tiny", value(std::numeric_limits<double>::denorm_min())},
      {"infinity", value(-std::numeric_limits<double>::infinity())},
      {"date", value(at(1796544014123456))},
      {"array", value(mixed)},
      {"dictionary", value(PropertyValue::Dictionary{{"inner", value(mixed)},
                                                     {"", value(1.0 / 3.0)},
                                                     {"nan-free", value(std::numeric_limits<double>::infinity())}})},
      {"", value("the empty key"s)},
  };
  for (const auto& c : cases) ASSERT_TRUE(writer->set(c.stored, c.key)) << c.key;

  auto reader = UserDefaults::make("group.test.kinds", folder.path());
  ASSERT_TRUE(reader);
  for (const auto& c : cases) {
    const auto read = reader->object(c.key);
    ASSERT_TRUE(read) << c.key;
    EXPECT_EQ(read->kind(), c.stored.kind()) << c.key;
    EXPECT_EQ(*read, c.stored) << c.key;
  }
  EXPECT_TRUE(std::signbit(*reader->object("negativeZero")->getIf<double>()));

  // NaN never equals itself, so it is checked on its own, at the top and nested.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  ASSERT_TRUE(writer->set(value(nan), "nan"));
  ASSERT_TRUE(writer->set(value(PropertyValue::Array{value(nan)}), "nanInside"));
  EXPECT_TRUE(std::isnan(*reader->object("nan")->getIf<double>()));
  EXPECT_TRUE(std::isnan(*reader->object("nanInside")->getIf<PropertyValue::Array>()->at(0).getIf<double>()));
  EXPECT_FALSE(reader->object("missing"));
}

TEST(UserDefaults, RowsThatDoNotHoldTheirKindReadAsNone) {
  TempFolder folder;
  auto defaults = UserDefaults::make("suite", folder.path());
  ASSERT_TRUE(defaults);
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += R"({"array":[)";
  const struct {
    std::string key;
    std::string valueSQL;
  } cases[] = {
      {"unknownKind", "('unknownKind', 'float', 1.5)"},
      {"integerAsText", "('integerAsText', 'integer', '12')"},
      {"booleanTwo", "('booleanTwo', 'boolean', 2)"},
      {"dataAsText", "('dataAsText', 'data', 'abc')"},
      {"notJSON", "('notJSON', 'array', '[1,')"},
      {"untagged", "('untagged', 'array', '[1, 2]')"},
      {"kindMismatch", R"(('kindMismatch', 'array', '{"dictionary":{}}'))"},
      {"badBase64", R"(('badBase64', 'array', '{"array":[{"data":"A=B="}]}'))"},
      {"hugeInteger", R"(('hugeInteger', 'array', '{"array":[{"integer":9223372036854775808}]}'))"},
      {"tooDeep", "('tooDeep', 'array', '" + deep + "')"},
  };
  for (const auto& c : cases) {
    runSQL(folder.path() / "suite.sqlite", ("INSERT INTO entries VALUES " + c.valueSQL).c_str());
    EXPECT_FALSE(defaults->object(c.key)) << c.key;
    EXPECT_TRUE(defaults->setIfUnchanged(PropertyValue{true}, c.key, std::nullopt).value_or(false)) << c.key;
    EXPECT_EQ(defaults->object(c.key), PropertyValue{true}) << c.key;
  }
}

TEST(UserDefaults, KeysAreListedSortedAndRemoved) {
  TempFolder folder;
  auto defaults = UserDefaults::make("suite", folder.path());
  ASSERT_TRUE(defaults);
  for (const char* key : {"tempo", "Beat", "accent", "beat"}) ASSERT_TRUE(defaults->set(value(true), key));
  EXPECT_EQ(defaults->keys(), (std::vector<std::string>{"Beat", "accent", "beat", "tempo"}));
  ASSERT_TRUE(defaults->removeObject("beat"));
  ASSERT_TRUE(defaults->removeObject("never-there"));
  EXPECT_FALSE(defaults->object("beat"));
  EXPECT_EQ(defaults->keys(), (std::vector<std::string>{"Beat", "accent", "tempo"}));
  ASSERT_TRUE(defaults->removeAll());
  EXPECT_TRUE(defaults->keys().empty());
}

TEST(UserDefaults, AnotherProcessSeesWritesBothWays) {
  TempFolder folder;
  auto parent = UserDefaults::make("shared", folder.path());
  ASSERT_TRUE(parent);
  ASSERT_TRUE(parent->set(value("from the parent"s), "parent"));

  const int status = runInChild([&] {
    auto child = UserDefaults::make("shared", folder.path());
    if (!child) return 1;
    if (child->object("parent") != value("from the parent"s)) return 2;
    return child->set(value(std::int64_t{42}), "child") ? 0 : 3;
  });
  ASSERT_EQ(status, 0);
  EXPECT_EQ(parent->object("child"), value(std::int64_t{42}));  // nothing stale cached
}

// Processes and threads incrementing one counter with setIfUnchanged lose no update.
TEST(UserDefaults, ConcurrentIncrementsAreNotLost) {
  TempFolder folder;
  constexpr int kRounds = 100;
  const auto increment = [&](int rounds) {
    auto defaults = UserDefaults::make("counter", folder.path());
    if (!defaults) return false;
    for (int done = 0; done < rounds;) {
      const auto current = defaults->object("count");
      const std::int64_t next = current ? *current->getIf<std::int64_t>() + 1 : 1;
      const auto wrote = defaults->setIfUnchanged(value(next), "count", current);
      if (!wrote) return false;
      if (*wrote) ++done;
    }
    return true;
  };
  ASSERT_TRUE(UserDefaults::make("counter", folder.path()));  // the file exists before both start
  const pid_t child = fork();
  if (child == 0) _exit(increment(kRounds) ? 0 : 1);
  std::vector<std::thread> threads;
  std::atomic<int> failures = 0;
  for (int i = 0; i < 2; ++i) {
    threads.emplace_back([&] {
      if (!increment(kRounds)) ++failures;
    });
  }
  for (auto& thread : threads) thread.join();
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(UserDefaults::make("counter", folder.path())->object("count"), value(std::int64_t{3 * kRounds}));
}

TEST(UserDefaults, SetIfUnchangedWritesOnlyOverTheExpectedValue) {
  TempFolder folder;
  auto defaults = UserDefaults::make("suite", folder.path());
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

TEST(UserDefaults, OversizedAndUnstorableValuesAreRefusedAndTheOldValueKept) {
  TempFolder folder;
  auto defaults = UserDefaults::make("group.sizes", folder.path());
  ASSERT_TRUE(defaults);
  constexpr std::size_t kLimit = UserDefaults::kMaxValueBytes;
  ASSERT_TRUE(defaults->set(value(Data(kLimit, 1)), "big"));  // exactly the limit is allowed
  ASSERT_TRUE(defaults->set(value("old"s), "key"));

  PropertyValue deep = value(std::int64_t{0});
  for (int i = 0; i < 300; ++i) deep = value(PropertyValue::Array{deep});
  const struct {
    PropertyValue refused;
    DefaultsError::Code code;
    std::string mentions;
  } cases[] = {
      {value(Data(kLimit + 1, 0)), DefaultsError::Code::valueTooLarge, "4194305"},
      {value(std::string(kLimit + 1, 'x')), DefaultsError::Code::valueTooLarge, "4194305"},
      // 3 MiB of data is 4 MiB of base64 once inside an array.
      {value(PropertyValue::Array{value(Data(3 * 1024 * 1024 + 3, 0))}), DefaultsError::Code::valueTooLarge, "bytes"},
      {value("bad \xC3("s), DefaultsError::Code::unsupportedValue, "UTF-8"},
      {value(PropertyValue::Dictionary{{"k", value(PropertyValue::Array{value("\xFF"s)})}}),
       DefaultsError::Code::unsupportedValue, "[\"k\"][0]"},
      {value(PropertyValue::Dictionary{{"\xFF", value(true)}}), DefaultsError::Code::unsupportedValue, "key"},
      {deep, DefaultsError::Code::unsupportedValue, "deeper"},
  };
  for (const auto& c : cases) {
    const auto result = defaults->set(c.refused, "key");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, c.code) << result.error().message;
    EXPECT_NE(result.error().message.find("group.sizes"), std::string::npos) << result.error().message;
    EXPECT_NE(result.error().message.find("\"key\""), std::string::npos) << result.error().message;
    EXPECT_NE(result.error().message.find(c.mentions), std::string::npos) << result.error().message;
    EXPECT_FALSE(defaults->setIfUnchanged(c.refused, "key", value("old"s)));
    EXPECT_EQ(defaults->object("key"), value("old"s));
  }

  for (const std::string& key : {"\xC3("s, std::string(1025, 'k')}) {
    const auto result = defaults->set(value(true), key);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, DefaultsError::Code::invalidKey) << result.error().message;
    EXPECT_EQ(defaults->removeObject(key).error().code, DefaultsError::Code::invalidKey);
  }
}

TEST(UserDefaults, FilesThatAreNotSuitesGiveNoHandleAndStayUntouched) {
  TempFolder folder;
  std::string header = "SQLite format 3"s + '\0';
  const struct {
    std::string suite;
    std::function<void(const fs::path&)> make;
  } cases[] = {
      {"text", [](const fs::path& p) { writeFile(p, "hello"); }},
      {"json", [](const fs::path& p) { writeFile(p, R"({"tempo": 120})"); }},
      {"page", [](const fs::path& p) { writeFile(p, std::string(4096, '\x5A')); }},
      {"header", [&](const fs::path& p) { writeFile(p, header + std::string(8192 - header.size(), '\x01')); }},
      {"foreign",
       [](const fs::path& p) { runSQL(p, "CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('mine');"); }},
      {"damaged",
       [](const fs::path& p) {
         // A real suite table whose second page (the table's b-tree) is then scribbled over.
         runSQL(p,
                "CREATE TABLE entries (key TEXT PRIMARY KEY NOT NULL, kind TEXT NOT NULL, value BLOB);"
                "INSERT INTO entries VALUES ('a', 'string', 'x'), ('b', 'string', 'y');");
         std::string bytes = readFile(p);
         ASSERT_GE(bytes.size(), 3u * 4096);
         for (std::size_t i = 4096 + 8; i < 4096 + 64; ++i) bytes[i] = '\xEE';
         writeFile(p, bytes);
       }},
  };
  for (const auto& c : cases) {
    const fs::path path = folder.path() / (c.suite + ".sqlite");
    c.make(path);
    const std::string before = readFile(path);
    EXPECT_FALSE(UserDefaults::make(c.suite, folder.path())) << c.suite;
    EXPECT_EQ(readFile(path), before) << c.suite;
    EXPECT_FALSE(fs::exists(path.string() + "-wal")) << c.suite;
  }
}

TEST(UserDefaults, RemovedSuiteFileIsNoticedByTheNextHandle) {
  TempFolder folder;
  const fs::path path = folder.path() / "suite.sqlite";
  auto first = UserDefaults::make("suite", folder.path());
  ASSERT_TRUE(first);
  ASSERT_TRUE(first->set(value("before"s), "key"));

  fs::remove(path);  // as a user deleting the file would: the -wal and -shm stay behind
  auto second = UserDefaults::make("suite", folder.path());
  ASSERT_TRUE(second);
  EXPECT_TRUE(fs::exists(path));
  EXPECT_FALSE(second->object("key"));
  ASSERT_TRUE(second->set(value("after"s), "key"));
  // The earlier handle no longer writes into the removed file.
  const auto stale = first->set(value("lost"s), "key");
  ASSERT_FALSE(stale);
  EXPECT_EQ(stale.error().code, DefaultsError::Code::storageFailed);
  EXPECT_NE(stale.error().message.find("removed or replaced"), std::string::npos) << stale.error().message;
  EXPECT_EQ(second->object("key"), value("after"s));

  // Replaced by another suite's file: the next handle reads the new file.
  auto other = UserDefaults::make("other", folder.path());
  ASSERT_TRUE(other);
  ASSERT_TRUE(other->set(value("replacement"s), "key"));
  for (const char* suffix : {"", "-wal", "-shm"}) {
    fs::remove(path.string() + suffix);
    fs::copy_file(folder.path() / ("other.sqlite"s + suffix), path.string() + suffix);
  }
  auto third = UserDefaults::make("suite", folder.path());
  ASSERT_TRUE(third);
  EXPECT_EQ(third->object("key"), value("replacement"s));
}

// A suite file made elsewhere with one string under "key", to put in place of another.
fs::path suiteFileHolding(const fs::path& folder, const std::string& text) {
  const fs::path made = folder / "made";
  fs::create_directories(made);
  auto maker = UserDefaults::make("maker", made);
  if (!maker || !maker->set(PropertyValue{text}, "key")) throw std::runtime_error("cannot make a suite file");
  // A checkpoint, so that the file holds the value without its -wal.
  runSQL(made / "maker.sqlite", "PRAGMA wal_checkpoint(TRUNCATE);");
  const fs::path copy = folder / ("copy-" + text + ".sqlite");
  fs::copy_file(made / "maker.sqlite", copy);
  return copy;
}

TEST(UserDefaults, FileRenamedOverOrFolderMovedIsNoticedByTheNextHandle) {
  TempFolder root;
  const fs::path folder = root.path() / "preferences";
  const fs::path path = folder / "suite.sqlite";
  // A process that keeps making handles on a suite has its folder watched instead of
  // looking the path up every time: each change below follows enough handles for that.
  const auto keepUsing = [&] {
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(UserDefaults::make("suite", folder));
  };
  ASSERT_TRUE(UserDefaults::make("suite", folder)->set(value("first"s), "key"));
  keepUsing();
  // Its -wal stays beside it and would be read into any file of that name: emptied
  // first, as a tool that replaces a database file has to.
  runSQL(path, "PRAGMA wal_checkpoint(TRUNCATE);");

  // Replaced in one step, as a tool restoring a backup would.
  fs::rename(suiteFileHolding(root.path(), "renamed over"), path);
  EXPECT_EQ(UserDefaults::make("suite", folder)->object("key"), value("renamed over"s));
  keepUsing();

  // The folder moved away and a new one made in its place.
  fs::rename(folder, root.path() / "moved");
  fs::create_directories(folder);
  fs::rename(suiteFileHolding(root.path(), "new folder"), path);
  EXPECT_EQ(UserDefaults::make("suite", folder)->object("key"), value("new folder"s));
  keepUsing();

  // A forked child that opens the suite and replaces it must not take the notice of
  // the change away from this process.
  const int status = runInChild([&] {
    if (!UserDefaults::make("suite", folder)) return 1;
    fs::rename(suiteFileHolding(root.path(), "from child"), path);
    return UserDefaults::make("suite", folder)->object("key") == value("from child"s) ? 0 : 2;
  });
  ASSERT_EQ(status, 0);
  EXPECT_EQ(UserDefaults::make("suite", folder)->object("key"), value("from child"s));
}

TEST(UserDefaults, BadSuiteNamesAreRefused) {
  TempFolder folder;
  for (const std::string& name : {""s, "."s, ".."s, "a/b"s, "/abs"s, "nul\0inside"s, std::string(241, 's')}) {
    EXPECT_FALSE(UserDefaults::make(name, folder.path())) << name;
  }
  EXPECT_TRUE(fs::is_empty(folder.path()));
  EXPECT_TRUE(UserDefaults::make("group.com.example.ok", folder.path()));
  auto longest = UserDefaults::make(std::string(240, 's'), folder.path());
  ASSERT_TRUE(longest);
  EXPECT_TRUE(longest->set(PropertyValue{true}, "key"));
}

TEST(UserDefaults, PreferencesFolderFollowsTheEnvironment) {
  // Restores the variables this test changes.
  struct Saved {
    std::string name;
    std::optional<std::string> value;
  };
  std::vector<Saved> saved;
  for (const char* name : {"WIDGET_PLATFORM_PREFERENCES", "XDG_DATA_HOME", "HOME"}) {
    const char* current = std::getenv(name);
    saved.push_back({name, current ? std::optional<std::string>(current) : std::nullopt});
  }
  const struct {
    const char* preferences;
    const char* xdg;
    const char* home;
    fs::path folder;
  } cases[] = {
      {"/p", "/x", "/h", "/p"},
      {nullptr, "/x", "/h", "/x/widget-platform/preferences"},
      {"", "relative", "/h", "/h/.local/share/widget-platform/preferences"},
      {nullptr, nullptr, "/h", "/h/.local/share/widget-platform/preferences"},
  };
  const auto put = [](const char* name, const char* text) {
    if (text) {
      setenv(name, text, 1);
    } else {
      unsetenv(name);
    }
  };
  for (const auto& c : cases) {
    put("WIDGET_PLATFORM_PREFERENCES", c.preferences);
    put("XDG_DATA_HOME", c.xdg);
    put("HOME", c.home);
    EXPECT_EQ(UserDefaults::preferencesFolder(), c.folder);
    EXPECT_EQ(UserDefaults::suitePath("group.a"), c.folder / "group.a.sqlite");
  }

  TempFolder folder;
  put("WIDGET_PLATFORM_PREFERENCES", (folder.path() / "made" / "here").c_str());
  EXPECT_TRUE(UserDefaults::make("group.a"));
  EXPECT_TRUE(fs::exists(folder.path() / "made" / "here" / "group.a.sqlite"));
  for (const auto& s : saved) put(s.name.c_str(), s.value ? s.value->c_str() : nullptr);
}

TEST(UserDefaults, FolderOrFileThatCannotBeWrittenGivesNoHandle) {
  TempFolder folder;
  constexpr const char* kSuiteTable =
      "CREATE TABLE entries (key TEXT PRIMARY KEY NOT NULL, kind TEXT NOT NULL, value BLOB);";
  const fs::path locked = folder.path() / "locked";
  fs::create_directory(locked);
  runSQL(locked / "existing.sqlite", kSuiteTable);
  const std::string before = readFile(locked / "existing.sqlite");
  // A read-only suite file already in WAL mode, in a folder anyone may write.
  const fs::path open = folder.path() / "open";
  fs::create_directory(open);
  fs::permissions(open, fs::perms::all);
  runSQL(open / "readonly.sqlite", ("PRAGMA journal_mode = WAL;"s + kSuiteTable).c_str());
  fs::permissions(open / "readonly.sqlite", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string readOnlyBefore = readFile(open / "readonly.sqlite");
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(folder.path(), fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);

  // Root ignores permissions, so as root the checks run as an unprivileged user.
  constexpr int kCannotDropPrivileges = 77;
  const int status = runInChild([&] {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
      return kCannotDropPrivileges;
    }
    int failed = 0;
    if (UserDefaults::make("fresh", locked)) failed |= 1;
    if (UserDefaults::make("fresh", locked / "sub")) failed |= 2;
    if (UserDefaults::make("existing", locked)) failed |= 4;
    if (UserDefaults::make("readonly", open)) failed |= 8;
    return failed;
  });
  if (status == kCannotDropPrivileges) GTEST_SKIP() << "running as root and cannot drop privileges";
  EXPECT_EQ(status, 0);
  EXPECT_EQ(readFile(locked / "existing.sqlite"), before);
  EXPECT_FALSE(fs::exists(locked / "fresh.sqlite"));
  EXPECT_EQ(readFile(open / "readonly.sqlite"), readOnlyBefore);
}

TEST(UserDefaults, FullDiskFailsTheWriteAndKeepsTheOldValue) {
  TempFolder folder;
  auto defaults = UserDefaults::make("suite", folder.path());
  ASSERT_TRUE(defaults);
  ASSERT_TRUE(defaults->set(value("old"s), "key"));

  // A child whose files may not grow past 1 MiB stands in for a full disk.
  const int status = runInChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024 * 1024, 1024 * 1024};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
    auto child = UserDefaults::make("suite", folder.path());
    if (!child) return 11;
    const auto result = child->set(value(Data(3 * 1024 * 1024, 7)), "key");
    if (result) return 12;
    if (result.error().code != DefaultsError::Code::storageFailed) return 13;
    if (result.error().message.find("\"suite\"") == std::string::npos) return 14;
    const auto grew = child->setIfUnchanged(value(Data(3 * 1024 * 1024, 7)), "key", value("old"s));
    if (grew || grew.error().code != DefaultsError::Code::storageFailed) return 15;
    return child->object("key") == value("old"s) ? 0 : 16;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(defaults->object("key"), value("old"s));
  ASSERT_TRUE(defaults->set(value("new"s), "key"));
  EXPECT_EQ(UserDefaults::make("suite", folder.path())->object("key"), value("new"s));
}

}  // namespace
}  // namespace foundation
