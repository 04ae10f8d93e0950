// Faults under the shared store: suite files that are damaged, cut short or not
// databases at all; folders and files the extension may not write; a full disk. Each
// load runs in a fresh process, as the extension's would. Whatever the fault, the load
// gives a whole preset (the default when the suite cannot be used), nothing crashes,
// and nothing on disk is damaged or removed.

#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <random>

#include "forked_child.h"
#include "hardening_support.h"
#include "host_presets.h"
#include "platform/foundation/user_defaults.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace tul::hardening {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::writeFile;

constexpr std::int64_t kStoredPreset = 7;

// Host preset 7 with a long member the extension ignores, so that the suite file
// spans several pages (the value runs over overflow pages).
std::string longHostPresetJson() {
  std::string json = hostPresetJson(kStoredPreset);
  json.pop_back();
  return json + R"(,"notes":")" + std::string(12000, 'n') + "\"}";
}

// Stores `json` as the shared preset from a process of its own that then quits, as the
// host app does: the suite file is left whole, its log checkpointed and removed.
void storeAsHostApp(const std::string& json) {
  const auto result = testing::run({TUL_PRESET_PROBE, "store-data", json});
  ASSERT_EQ(result.exitCode, 0) << "the host app could not store its preset";
}

// What a fresh extension process got from MiniMelody::loadShared().
enum class Loaded { storedPreset, defaultPreset, other, crashed };

const char* name(Loaded loaded) {
  switch (loaded) {
    case Loaded::storedPreset: return "the stored preset";
    case Loaded::defaultPreset: return "the default";
    case Loaded::other: return "some other preset";
    case Loaded::crashed: return "a crash";
  }
  return "?";
}

// Loads the shared preset in a forked child; `prepare` runs there first (to lose
// privileges or to limit file sizes) and may skip the load by returning a reason.
Loaded loadInFreshProcess(const std::function<std::string()>& prepare = {}) {
  const ChildOutcome outcome = runForked([&]() -> std::string {
    if (prepare) {
      if (auto problem = prepare(); !problem.empty()) return problem;
    }
    const MiniMelody melody = MiniMelody::loadShared();
    if (melody == hostPreset(kStoredPreset)) return "stored";
    if (isDefaultPreset(melody)) return "default";
    return "other";
  });
  if (!outcome.exited) return Loaded::crashed;
  if (outcome.report == "stored") return Loaded::storedPreset;
  if (outcome.report == "default") return Loaded::defaultPreset;
  return Loaded::other;
}

// Whether a fresh process (after `prepare`, as for loadInFreshProcess) gets a handle on
// the shared suite.
bool opensInFreshProcess(const std::function<std::string()>& prepare = {}) {
  return runForked([&]() -> std::string {
           if (auto problem = prepare ? prepare() : ""; !problem.empty()) return problem;
           return foundation::UserDefaults::make(kSharedSuiteName) ? "" : "no handle";
         })
      .clean();
}

// The bytes of a file, or a marker when there is none, for before/after comparisons.
std::string contentsOf(const fs::path& path) {
  std::error_code error;
  if (fs::is_directory(path, error)) return "(a folder)";
  if (!fs::exists(path, error)) return "(no file)";
  return readFile(path);
}

void runSQL(const fs::path& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

// Whether the suite file now holds a whole default preset under the shared key.
bool holdsDefault(const fs::path& file) {
  const auto row = readRawRow(file, std::string(kSharedPresetKey));
  if (!row || row->kind != "data") return false;
  const auto melody = presetIn(foundation::dataFromString(row->bytes));
  return melody && isDefaultPreset(*melody);
}

// What a load must do with a damaged file.
enum class Expect {
  refused,   // the suite gives no handle: the default, and the file stays as it was
  stuck,     // a handle that can neither read the value nor write: likewise
  readable,  // the damage spares the preset: it is returned, and the file stays as it was
  replaced,  // a usable suite whose value cannot be read: the default, stored over it
};

TEST(StoreFaults, DamagedTruncatedOrForeignFilesGiveTheDefaultAndStayAsTheyWere) {
  std::string clean;
  {
    testing::TempPreferences prefs;
    storeAsHostApp(longHostPresetJson());
    clean = readFile(prefs.suiteFile(std::string(kSharedSuiteName)));
  }
  ASSERT_GE(clean.size(), 4u * 4096) << "the suite should span several pages";
  const auto truncated = [&](std::size_t size) { return clean.substr(0, size); };
  const auto patched = [&](std::size_t at, std::string bytes) {
    std::string out = clean;
    out.replace(at, bytes.size(), bytes);
    return out;
  };
  const std::size_t lastPage = clean.size() - 4096;

  const struct {
    const char* what;
    std::function<void(const fs::path&)> make;
    Expect expect;
  } cases[] = {
      {"a text file", [](const fs::path& p) { writeFile(p, "group.com.quenova.tul: bpm=120\n"); }, Expect::refused},
      {"zeros", [](const fs::path& p) { writeFile(p, std::string(8192, '\0')); }, Expect::refused},
      {"a picture", [](const fs::path& p) { writeFile(p, "\x89PNG\r\n\x1a\n" + std::string(3000, '\x42')); },
       Expect::refused},
      {"the database header and garbage",
       [](const fs::path& p) { writeFile(p, std::string("SQLite format 3", 16) + std::string(9000, '\x01')); },
       Expect::refused},
      {"1 byte", [&](const fs::path& p) { writeFile(p, truncated(1)); }, Expect::refused},
      {"99 bytes (a cut header)", [&](const fs::path& p) { writeFile(p, truncated(99)); }, Expect::refused},
      {"100 bytes (the header alone)", [&](const fs::path& p) { writeFile(p, truncated(100)); }, Expect::refused},
      {"half of the first page", [&](const fs::path& p) { writeFile(p, truncated(2048)); }, Expect::refused},
      {"the first page alone", [&](const fs::path& p) { writeFile(p, truncated(4096)); }, Expect::refused},
      {"two pages", [&](const fs::path& p) { writeFile(p, truncated(8192)); }, Expect::refused},
      {"all but the last page", [&](const fs::path& p) { writeFile(p, truncated(lastPage)); }, Expect::refused},
      {"all but the last byte", [&](const fs::path& p) { writeFile(p, truncated(clean.size() - 1)); }, Expect::stuck},
      {"a page size that is no power of two", [&](const fs::path& p) { writeFile(p, patched(16, "\x03\x00")); },
       Expect::refused},
      {"the table's page scribbled over",
       [&](const fs::path& p) { writeFile(p, patched(4096 + 8, std::string(56, '\xEE'))); }, Expect::refused},
      {"the schema's page scribbled over",
       [&](const fs::path& p) { writeFile(p, patched(100, std::string(40, '\xEE'))); }, Expect::refused},
      {"the stored text scribbled over",
       [&](const fs::path& p) {
         // Inside the value's overflow pages, past their next-page pointers: the
         // database stays sound, the preset's JSON does not.
         const std::size_t at = clean.find(std::string(64, 'n'));
         ASSERT_NE(at, std::string::npos);
         writeFile(p, patched(at, std::string(32, '\xFF')));
       },
       Expect::replaced},
      {"someone else's database",
       [](const fs::path& p) { runSQL(p, "CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('mine');"); },
       Expect::refused},
      {"an entries table of another shape",
       [](const fs::path& p) {
         runSQL(p,
                "CREATE TABLE entries (key TEXT PRIMARY KEY NOT NULL, value BLOB);"
                "INSERT INTO entries VALUES ('miniMelody', x'00');");
       },
       Expect::refused},
      {"entries without a unique key",
       [](const fs::path& p) {
         runSQL(p,
                "CREATE TABLE entries (key TEXT, kind TEXT, value BLOB);"
                "INSERT INTO entries VALUES ('miniMelody', 'data', x'00');");
       },
       Expect::refused},
      {"entries as a view",
       [](const fs::path& p) {
         runSQL(p, "CREATE VIEW entries AS SELECT 'miniMelody' AS key, 'data' AS kind, 1 AS value;");
       },
       Expect::refused},
      {"a folder in the file's place", [](const fs::path& p) { fs::create_directories(p / "inside"); },
       Expect::refused},
      {"a garbage log beside a sound file",
       [&](const fs::path& p) {
         writeFile(p, clean);
         writeFile(p.string() + "-wal", std::string(5000, '\x5A'));
       },
       Expect::readable},
      {"a sound file", [&](const fs::path& p) { writeFile(p, clean); }, Expect::readable},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempPreferences prefs;
    const fs::path file = prefs.suiteFile(std::string(kSharedSuiteName));
    fs::create_directories(file.parent_path());
    c.make(file);
    const std::string before = contentsOf(file);
    for (int attempt = 0; attempt < 2; ++attempt) {
      const Loaded loaded = loadInFreshProcess();
      switch (c.expect) {
        case Expect::refused:
          EXPECT_FALSE(opensInFreshProcess()) << "a suite that cannot be used gave a handle";
          [[fallthrough]];
        case Expect::stuck:
          EXPECT_EQ(loaded, Loaded::defaultPreset) << "got " << name(loaded);
          EXPECT_EQ(contentsOf(file), before) << "a refused suite file changed";
          break;
        case Expect::readable:
          EXPECT_EQ(loaded, Loaded::storedPreset) << "got " << name(loaded);
          EXPECT_EQ(contentsOf(file), before) << "a load of a readable preset changed the file";
          break;
        case Expect::replaced:
          EXPECT_EQ(loaded, Loaded::defaultPreset) << "got " << name(loaded);
          EXPECT_TRUE(holdsDefault(file)) << "the default was not stored over the unreadable value";
          break;
      }
    }
  }
}

TEST(StoreFaults, RandomByteDamageNeverCrashesALoadOrDamagesASuiteItRefuses) {
  std::string clean;
  {
    testing::TempPreferences prefs;
    storeAsHostApp(longHostPresetJson());
    clean = readFile(prefs.suiteFile(std::string(kSharedSuiteName)));
  }
  const long rounds = countFromEnvironment("TUL_CORRUPTION_ROUNDS", 300);
  const unsigned seed = hardeningSeed();
  RecordProperty("seed", std::to_string(seed));
  std::mt19937 random(seed);
  // Most of the structure sits in the first pages; damage lands there half the time.
  std::uniform_int_distribution<std::size_t> early(0, 3 * 4096 - 1);
  std::uniform_int_distribution<std::size_t> anywhere(0, clean.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> count(1, 8);
  long refused = 0;
  long readable = 0;
  long altered = 0;
  long replaced = 0;
  for (long round = 0; round < rounds; ++round) {
    testing::TempPreferences prefs;
    const fs::path file = prefs.suiteFile(std::string(kSharedSuiteName));
    std::string damaged = clean;
    for (int i = count(random); i > 0; --i) {
      damaged[random() % 2 == 0 ? early(random) : anywhere(random)] = static_cast<char>(byte(random));
    }
    writeFile(file, damaged);
    const Loaded loaded = loadInFreshProcess();
    const std::string where = "round " + std::to_string(round) + ", seed " + std::to_string(seed);
    ASSERT_NE(loaded, Loaded::crashed) << where;
    const bool unchanged = contentsOf(file) == damaged;
    if (loaded == Loaded::storedPreset) {
      ++readable;
      EXPECT_TRUE(unchanged) << where << ": a readable suite changed";
    } else if (loaded == Loaded::other) {
      // SQLite keeps no checksums: damage inside the stored JSON that leaves it a
      // valid preset (a digit of the tempo, a letter of the name) reads as that preset.
      ++altered;
      EXPECT_TRUE(unchanged) << where << ": a readable suite changed";
      const auto row = readRawRow(file, std::string(kSharedPresetKey));
      EXPECT_TRUE(row && presetIn(foundation::dataFromString(row->bytes)))
          << where << ": the load gave a preset the suite does not hold";
    } else if (unchanged) {
      ++refused;
    } else {
      ++replaced;
      EXPECT_TRUE(holdsDefault(file)) << where << ": a suite changed but does not hold the default";
    }
  }
  std::printf(
      "seed %u: %ld damaged suites: %ld refused untouched, %ld still readable, %ld readable as another "
      "whole preset, %ld given the default\n",
      seed, rounds, refused, readable, altered, replaced);
}

// Drops to an unprivileged user when running as root (root ignores permissions).
std::string loseRoot() {
  if (::geteuid() != 0) return "";
  if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) return "cannot drop privileges";
  return "";
}

TEST(StoreFaults, FoldersAndFilesThatCannotBeWrittenGiveTheDefaultAndStayAsTheyWere) {
  const auto sealed = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec;
  const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  const struct {
    const char* what;
    std::string stored;  // what the host app stored first, if anything
    std::function<void(const testing::TempPreferences&)> lock;
  } cases[] = {
      {"a folder that cannot be written, holding a preset", hostPresetJson(kStoredPreset),
       [&](const testing::TempPreferences& p) { fs::permissions(p.folder(), sealed); }},
      {"a folder that cannot be written, holding an unreadable value", "{\"broken\": 1}",
       [&](const testing::TempPreferences& p) { fs::permissions(p.folder(), sealed); }},
      {"a file that cannot be written, holding an unreadable value", "{\"broken\": 2}",
       [&](const testing::TempPreferences& p) {
         fs::permissions(p.folder(), fs::perms::all);
         fs::permissions(p.suiteFile(std::string(kSharedSuiteName)), readOnly);
       }},
      {"a file that cannot even be read", hostPresetJson(kStoredPreset),
       [&](const testing::TempPreferences& p) {
         fs::permissions(p.folder(), fs::perms::all);
         fs::permissions(p.suiteFile(std::string(kSharedSuiteName)), fs::perms::owner_read | fs::perms::owner_write);
       }},
      {"no preferences folder, and none can be made", "",
       [&](const testing::TempPreferences& p) {
         fs::remove_all(p.folder());
         fs::permissions(p.root(), sealed);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempPreferences prefs;
    if (!c.stored.empty()) storeAsHostApp(c.stored);
    const fs::path file = prefs.suiteFile(std::string(kSharedSuiteName));
    const std::string before = contentsOf(file);
    c.lock(prefs);
    // The unprivileged child must be able to reach the folder.
    fs::permissions(prefs.root(), fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);

    std::vector<fs::path> listedBefore;
    for (const auto& entry : fs::directory_iterator(prefs.root())) listedBefore.push_back(entry.path());
    const Loaded loaded = loadInFreshProcess(loseRoot);
    EXPECT_EQ(loaded, Loaded::defaultPreset) << "got " << name(loaded);
    EXPECT_FALSE(opensInFreshProcess(loseRoot)) << "a suite that cannot be written gave a handle";
    EXPECT_EQ(contentsOf(file), before);
    std::vector<fs::path> listedAfter;
    for (const auto& entry : fs::directory_iterator(prefs.root())) listedAfter.push_back(entry.path());
    EXPECT_EQ(listedAfter, listedBefore) << "a file appeared or went away";

    // With the permissions back, the suite serves as before.
    fs::permissions(prefs.root(), fs::perms::owner_all, fs::perm_options::add);
    if (fs::exists(prefs.folder())) fs::permissions(prefs.folder(), fs::perms::owner_all, fs::perm_options::add);
    if (fs::exists(file)) fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    const Loaded later = loadInFreshProcess();
    EXPECT_EQ(later,
              c.stored.starts_with("{\"broken") || c.stored.empty() ? Loaded::defaultPreset : Loaded::storedPreset);
  }
}

TEST(StoreFaults, AFileSizeLimitGivesTheDefaultAndDamagesNothing) {
  // A process that may not grow any file past a few KiB: it cannot make the suite's
  // shared-memory index, let alone write. SIGXFSZ would end it; ignored, writes fail
  // with EFBIG instead, as they fail with ENOSPC on a full disk.
  const auto limited = [] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{8 * 1024, 8 * 1024};
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 ? std::string() : std::string("setrlimit failed");
  };
  const struct {
    const char* what;
    std::string stored;
    Loaded whenLimited;
    Loaded later;
  } cases[] = {
      {"no suite yet", "", Loaded::defaultPreset, Loaded::defaultPreset},
      {"a suite holding a preset", hostPresetJson(kStoredPreset), Loaded::defaultPreset, Loaded::storedPreset},
      {"a suite holding an unreadable value", "{\"broken\": 3}", Loaded::defaultPreset, Loaded::defaultPreset},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempPreferences prefs;
    if (!c.stored.empty()) storeAsHostApp(c.stored);
    const fs::path file = prefs.suiteFile(std::string(kSharedSuiteName));
    const std::string before = contentsOf(file);
    const Loaded loaded = loadInFreshProcess(limited);
    EXPECT_EQ(loaded, c.whenLimited) << "got " << name(loaded);
    if (!c.stored.empty()) {
      EXPECT_EQ(contentsOf(file), before);
    }
    // Without the limit the suite serves as before: the preset, or the default stored.
    const Loaded later = loadInFreshProcess();
    EXPECT_EQ(later, c.later) << "got " << name(later);
    if (later == Loaded::defaultPreset) {
      EXPECT_TRUE(holdsDefault(file));
    }
  }
}

// Runs `body` in a child with a mount namespace of its own, in which `folder` is a
// tmpfs of `bytes` bytes. Gives "skip: ..." when the system allows no such mount.
ChildOutcome onTinyFileSystem(const fs::path& folder, std::size_t bytes, const std::function<std::string()>& body) {
  return runForked([&]() -> std::string {
    if (::unshare(CLONE_NEWNS) != 0) return "skip: no mount namespace (" + std::string(std::strerror(errno)) + ")";
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return "skip: mounts cannot be made private";
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      return "skip: cannot mount a tmpfs (" + std::string(std::strerror(errno)) + ")";
    }
    return body();
  });
}

// Fills the file system that holds `folder` until a write fails for want of space.
void fill(const fs::path& folder) {
  std::ofstream filler(folder / "filler", std::ios::binary);
  const std::string block(4096, 'f');
  while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
  }
  filler.clear();
  while (filler.put('f') && filler.flush()) {
  }
}

TEST(StoreFaults, AFullDiskGivesAWholePresetAndDamagesNothing) {
  testing::TempPreferences prefs;
  fs::create_directories(prefs.folder());
  const fs::path file = prefs.suiteFile(std::string(kSharedSuiteName));
  // Everything happens in the child, inside its own mount of a 512 KiB tmpfs over the
  // preferences folder. The host app keeps the suite open there (as it does while it
  // runs), so the extension can open it even when no byte is free, and its fallback
  // write is what meets the full disk.
  const ChildOutcome outcome = onTinyFileSystem(prefs.folder(), 512 * 1024, [&]() -> std::string {
    const struct {
      const char* what;
      std::optional<foundation::Data> stored;
      Loaded whenFull;
      Loaded whenFreed;
    } cases[] = {
        {"no suite yet", std::nullopt, Loaded::defaultPreset, Loaded::defaultPreset},
        {"a suite holding a preset", hostPresetData(kStoredPreset), Loaded::storedPreset, Loaded::storedPreset},
        {"a suite holding an unreadable value", brokenData(4), Loaded::defaultPreset, Loaded::defaultPreset},
    };
    std::string report;
    for (const auto& c : cases) {
      for (const auto& entry : fs::directory_iterator(prefs.folder())) fs::remove_all(entry.path());
      std::optional<foundation::UserDefaults> host;
      if (c.stored) {
        host = foundation::UserDefaults::make(kSharedSuiteName);
        if (!host || !host->set(foundation::PropertyValue{*c.stored}, kSharedPresetKey)) return "cannot prepare";
      }
      const auto valueBefore = readRawRow(file, std::string(kSharedPresetKey));
      fill(prefs.folder());
      // (A write of other bytes: SQLite leaves a page whose content does not change alone.)
      if (host && host->set(foundation::PropertyValue{hostPresetData(999)}, kSharedPresetKey)) {
        return std::string(c.what) + ": the disk is not full for the store";
      }
      const Loaded full = loadInFreshProcess();
      if (full != c.whenFull) report += std::string(c.what) + ": on a full disk got " + name(full) + "; ";
      if (readRawRow(file, std::string(kSharedPresetKey)) != valueBefore) {
        report += std::string(c.what) + ": the stored value changed on a full disk; ";
      }
      fs::remove(prefs.folder() / "filler");
      const Loaded freed = loadInFreshProcess();
      if (freed != c.whenFreed) report += std::string(c.what) + ": with space again got " + name(freed) + "; ";
      if (freed == Loaded::defaultPreset && !holdsDefault(file)) {
        report += std::string(c.what) + ": with space again the default was not stored; ";
      }
    }
    return report;
  });
  if (outcome.report.starts_with("skip: ")) GTEST_SKIP() << outcome.report.substr(6);
  EXPECT_TRUE(outcome.clean()) << outcome.describe();
}

}  // namespace
}  // namespace tul::hardening
