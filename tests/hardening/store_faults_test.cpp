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
#include <map>
#include <random>

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

// Stores `json` as the shared preset from a process of its own that then quits, as the
// host app does: the suite file is left whole, its log checkpointed and removed.
void storeAsHostApp(const std::string& json) {
  ASSERT_EQ(testing::run({TUL_PRESET_PROBE, "store-data", json}).exitCode, 0) << "the host app could not store";
}

// The bytes of a sound suite that holds host preset 7 with a long member the extension
// ignores, so that the file spans several pages (the value runs over overflow pages).
std::string cleanSuite() {
  testing::TempPreferences prefs;
  std::string json = hostPresetJson(kStoredPreset);
  json.pop_back();
  storeAsHostApp(json + R"(,"notes":")" + std::string(12000, 'n') + "\"}");
  return readFile(prefs.suiteFile(std::string(kSharedSuiteName)));
}

// What a fresh extension process got from MiniMelody::loadShared(): "stored" (host
// preset 7), "default", "other" (some other whole preset) or "a crash"; with " without
// a handle" when it could not open the suite first. `prepare` runs there first (to lose
// privileges or to limit file sizes) and may skip the load by returning a reason.
std::string loadInFreshProcess(const std::function<std::string()>& prepare = {}) {
  const ChildOutcome outcome = runForked([&]() -> std::string {
    if (auto problem = prepare ? prepare() : ""; !problem.empty()) return problem;
    const bool handle = foundation::UserDefaults::make(kSharedSuiteName).has_value();
    const MiniMelody melody = MiniMelody::loadShared();
    return std::string(melody == hostPreset(kStoredPreset) ? "stored"
                       : isDefaultPreset(melody)           ? "default"
                                                           : "other") +
           (handle ? "" : " without a handle");
  });
  return outcome.exited() ? outcome.report : "a crash";
}

// The bytes of a file, or a marker when there is none, for before/after comparisons.
std::string contentsOf(const fs::path& path) {
  std::error_code error;
  if (fs::is_directory(path, error)) return "(a folder)";
  return fs::exists(path, error) ? readFile(path) : "(no file)";
}

void runSQL(const fs::path& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

// Whether the suite file now holds a whole default preset under the shared key.
bool holdsDefault(const fs::path& file) {
  const auto stored = readRawData(file, kSharedPresetKey);
  return stored && holdsDefaultPreset(foundation::dataFromString(*stored));
}

// What a load must do with a damaged file.
enum class Expect {
  refused,   // the suite gives no handle: the default, and the file stays as it was
  stuck,     // a handle that can neither read the value nor write: likewise
  readable,  // the damage spares the preset: it is returned, and the file stays as it was
  replaced,  // a usable suite whose value cannot be read: the default, stored over it
};

TEST(StoreFaults, DamagedTruncatedOrForeignFilesGiveTheDefaultAndStayAsTheyWere) {
  const std::string clean = cleanSuite();
  ASSERT_GE(clean.size(), 4u * 4096) << "the suite should span several pages";
  const auto patched = [&](std::size_t at, std::string bytes) {
    return std::string(clean).replace(at, bytes.size(), bytes);
  };
  // Inside the value's overflow pages, past their next-page pointers: the database
  // stays sound, the preset's JSON does not.
  const std::size_t inText = clean.find(std::string(64, 'n'));
  ASSERT_NE(inText, std::string::npos);
  // The file's bytes ("(a folder)" for a folder in its place), or SQL run on a new
  // file; and bytes for a log beside it.
  const struct {
    const char* what;
    std::string bytes;
    Expect expect;
    const char* sql = nullptr;
    std::string wal = {};
  } cases[] = {
      {"a text file", "group.com.quenova.tul: bpm=120\n", Expect::refused},
      {"the database header and garbage", std::string("SQLite format 3", 16) + std::string(9000, '\x01'),
       Expect::refused},
      {"1 byte", clean.substr(0, 1), Expect::refused},
      {"99 bytes (a cut header)", clean.substr(0, 99), Expect::refused},
      {"all but the last page", clean.substr(0, clean.size() - 4096), Expect::refused},
      {"all but the last byte", clean.substr(0, clean.size() - 1), Expect::stuck},
      {"the table's page scribbled over", patched(4096 + 8, std::string(56, '\xEE')), Expect::refused},
      {"the stored text scribbled over", patched(inText, std::string(32, '\xFF')), Expect::replaced},
      {"an entries table of another shape", "", Expect::refused,
       "CREATE TABLE entries (key TEXT PRIMARY KEY NOT NULL, value BLOB);"
       "INSERT INTO entries VALUES ('miniMelody', x'00');"},
      {"entries without a unique key", "", Expect::refused,
       "CREATE TABLE entries (key TEXT, kind TEXT, value BLOB);"
       "INSERT INTO entries VALUES ('miniMelody', 'data', x'00');"},
      {"a folder in the file's place", "(a folder)", Expect::refused},
      {"a garbage log beside a sound file", clean, Expect::readable, nullptr, std::string(5000, '\x5A')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempPreferences prefs;
    const fs::path file = prefs.suiteFile(std::string(kSharedSuiteName));
    fs::create_directories(file.parent_path());
    if (c.sql) {
      runSQL(file, c.sql);
    } else if (c.bytes == "(a folder)") {
      fs::create_directories(file / "inside");
    } else {
      writeFile(file, c.bytes);
    }
    if (!c.wal.empty()) writeFile(file.string() + "-wal", c.wal);
    const std::string before = contentsOf(file);
    for (int attempt = 0; attempt < 2; ++attempt) {
      EXPECT_EQ(loadInFreshProcess(), c.expect == Expect::readable  ? "stored"
                                      : c.expect == Expect::refused ? "default without a handle"
                                                                    : "default");
      if (c.expect == Expect::replaced) {
        EXPECT_TRUE(holdsDefault(file)) << "the default was not stored over the unreadable value";
      } else {
        EXPECT_EQ(contentsOf(file), before) << "a refused suite, or a load of a readable one, changed the file";
      }
    }
  }
}

TEST(StoreFaults, RandomByteDamageNeverCrashesALoadOrDamagesASuiteItRefuses) {
  const std::string clean = cleanSuite();
  const long rounds = countFromEnvironment("TUL_CORRUPTION_ROUNDS", 300);
  const unsigned seed = hardeningSeed();
  RecordProperty("seed", std::to_string(seed));
  std::mt19937 random(seed);
  // Most of the structure sits in the first pages; damage lands there half the time.
  std::uniform_int_distribution<std::size_t> early(0, 3 * 4096 - 1);
  std::uniform_int_distribution<std::size_t> anywhere(0, clean.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> count(1, 8);
  std::map<std::string, long> outcomes;
  for (long round = 0; round < rounds; ++round) {
    testing::TempPreferences prefs;
    const fs::path file = prefs.suiteFile(std::string(kSharedSuiteName));
    std::string damaged = clean;
    for (int i = count(random); i > 0; --i) {
      damaged[random() % 2 == 0 ? early(random) : anywhere(random)] = static_cast<char>(byte(random));
    }
    writeFile(file, damaged);
    const std::string loaded = loadInFreshProcess();
    const std::string where = "round " + std::to_string(round) + ", seed " + std::to_string(seed);
    ASSERT_NE(loaded, "a crash") << where;
    const bool unchanged = contentsOf(file) == damaged;
    ++outcomes[loaded + (unchanged ? ", the file untouched" : ", the default stored")];
    if (!loaded.starts_with("default")) {
      EXPECT_TRUE(unchanged) << where << ": a readable suite changed";
      // SQLite keeps no checksums: damage inside the stored JSON that leaves it a
      // valid preset (a digit of the tempo, a letter of the name) reads as that preset.
      const auto stored = readRawData(file, kSharedPresetKey);
      EXPECT_TRUE(stored && presetIn(foundation::dataFromString(*stored)))
          << where << ": the load gave a preset the suite does not hold";
    } else if (!unchanged) {
      EXPECT_TRUE(holdsDefault(file)) << where << ": a suite changed but does not hold the default";
    }
  }
  std::printf("seed %u, %ld damaged suites:\n", seed, rounds);
  for (const auto& [outcome, times] : outcomes) std::printf("  %ld times %s\n", times, outcome.c_str());
}

// Drops to an unprivileged user when running as root (root ignores permissions).
std::string loseRoot() {
  if (::geteuid() != 0) return "";
  if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) return "cannot drop privileges";
  return "";
}

// A process that may not grow any file past a few KiB: it cannot make the suite's
// shared-memory index, let alone write. SIGXFSZ would end it; ignored, writes fail
// with EFBIG instead, as they fail with ENOSPC on a full disk.
std::string limitFileSizes() {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{8 * 1024, 8 * 1024};
  return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 ? std::string() : std::string("setrlimit failed");
}

TEST(StoreFaults, FoldersAndFilesThatCannotBeWrittenOrGrownGiveTheDefaultAndStayAsTheyWere) {
  using Prefs = testing::TempPreferences;
  const auto sealed = fs::perms::all & ~(fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write);
  const auto sealFolder = [&](const Prefs& p) { fs::permissions(p.folder(), sealed); };
  const auto sealFile = [&](fs::perms perms) {
    return [perms](const Prefs& p) {
      fs::permissions(p.folder(), fs::perms::all);
      fs::permissions(p.suiteFile(std::string(kSharedSuiteName)), perms);
    };
  };
  const std::string preset = hostPresetJson(kStoredPreset);
  // `lock` (permissions, for an unprivileged process) or else a file size limit; what
  // the host app stored first, if anything; what a load gives under the fault (a suite
  // that may be read but not written is read, and the default is then not stored);
  // what a load gives once the fault is gone.
  const struct {
    const char* what;
    std::string stored;
    std::function<void(const Prefs&)> lock;
    const char* during;
    const char* later;
  } cases[] = {
      {"a sealed folder holding a preset", preset, sealFolder, "stored", "stored"},
      {"a sealed folder holding an unreadable value", "{\"broken\": 1}", sealFolder, "default", "default"},
      {"a read-only file holding an unreadable value", "{\"broken\": 2}",
       sealFile(fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read), "default", "default"},
      {"a file that cannot even be read", preset, sealFile(fs::perms::owner_read | fs::perms::owner_write),
       "default without a handle", "stored"},
      {"no preferences folder, and none can be made", "",
       [&](const Prefs& p) {
         fs::remove_all(p.folder());
         fs::permissions(p.root(), sealed);
       },
       "default without a handle", "default"},
      {"limited: no suite yet", "", nullptr, "default without a handle", "default"},
      {"limited: a suite holding a preset", preset, nullptr, "default without a handle", "stored"},
      {"limited: a suite holding an unreadable value", "{\"broken\": 3}", nullptr, "default without a handle",
       "default"},
  };
  const auto listing = [](const fs::path& folder) {
    return std::vector<fs::directory_entry>(fs::directory_iterator(folder), fs::directory_iterator());
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Prefs prefs;
    if (!c.stored.empty()) storeAsHostApp(c.stored);
    const fs::path file = prefs.suiteFile(std::string(kSharedSuiteName));
    const std::string before = contentsOf(file);
    if (c.lock) c.lock(prefs);
    // The unprivileged child must be able to reach the folder.
    fs::permissions(prefs.root(), fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    const auto listedBefore = listing(prefs.root());
    EXPECT_EQ(loadInFreshProcess(c.lock ? loseRoot : limitFileSizes), c.during);
    EXPECT_TRUE(!c.lock || listing(prefs.root()) == listedBefore) << "a file appeared or went away";
    fs::permissions(prefs.root(), fs::perms::owner_all, fs::perm_options::add);
    if (fs::exists(prefs.folder())) fs::permissions(prefs.folder(), fs::perms::owner_all, fs::perm_options::add);
    if (fs::exists(file)) fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE((!c.lock && c.stored.empty()) || contentsOf(file) == before) << "the suite file changed";
    // Without the fault the suite serves as before: the preset, or the default stored.
    EXPECT_EQ(loadInFreshProcess(), c.later);
    EXPECT_TRUE(c.later != std::string("default") || holdsDefault(file)) << "the default was not stored";
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

// Fills the file system that holds `folder` until a write fails for want of space. A
// tmpfs counts its space in whole pages, so a page-sized write that fails leaves none.
void fill(const fs::path& folder) {
  std::ofstream filler(folder / "filler", std::ios::binary);
  const std::string page(4096, 'f');
  while (filler.write(page.data(), static_cast<std::streamsize>(page.size())) && filler.flush()) {
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
      const char* whenFull;
      const char* whenFreed;
    } cases[] = {
        {"no suite yet", std::nullopt, "default without a handle", "default"},
        {"a suite holding a preset", hostPresetData(kStoredPreset), "stored", "stored"},
        {"a suite holding an unreadable value", brokenData(4), "default", "default"},
    };
    std::string report;
    for (const auto& c : cases) {
      for (const auto& entry : fs::directory_iterator(prefs.folder())) fs::remove_all(entry.path());
      std::optional<foundation::UserDefaults> host;
      if (c.stored) {
        host = foundation::UserDefaults::make(kSharedSuiteName);
        if (!host || !host->set(foundation::PropertyValue{*c.stored}, kSharedPresetKey)) return "cannot prepare";
      }
      const auto valueBefore = readRawData(file, kSharedPresetKey);
      fill(prefs.folder());
      // (A write of other bytes: SQLite leaves a page whose content does not change alone.)
      if (host && host->set(foundation::PropertyValue{hostPresetData(999)}, kSharedPresetKey)) {
        return std::string(c.what) + ": the disk is not full for the store";
      }
      const auto expect = [&](bool held, const std::string& what) {
        if (!held) report += std::string(c.what) + ": " + what + "; ";
      };
      const std::string full = loadInFreshProcess();
      expect(full == c.whenFull, "on a full disk got " + full);
      expect(readRawData(file, kSharedPresetKey) == valueBefore, "the stored value changed on a full disk");
      fs::remove(prefs.folder() / "filler");
      const std::string freed = loadInFreshProcess();
      expect(freed == c.whenFreed, "with space again got " + freed);
      expect(freed != "default" || holdsDefault(file), "with space again the default was not stored");
    }
    return report;
  });
  if (outcome.report.starts_with("skip: ")) GTEST_SKIP() << outcome.report.substr(6);
  EXPECT_TRUE(outcome.clean()) << outcome.describe();
}

}  // namespace
}  // namespace tul::hardening
