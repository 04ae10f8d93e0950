// The suite and the output files as other programs leave them: a FIFO where a file
// should be, values another SQLite client stored, a suite that another process holds
// locked or that may only be read, suites moved by export and import, answers that do
// not read back, and a gallery replaced on a disk that fills up. Everything runs
// through the installed widget-host and extension, on real files; what each command
// said is kept whole in the golden files tests/golden/widget-host-special-files.txt
// and widget-host-locked-and-read-only.txt.
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "golden/golden.h"
#include "installed_host.h"

namespace {

namespace fs = std::filesystem;
using namespace tul::testing;

fs::path suiteFile(const Host& host) { return host.preferences() / "group.com.quenova.tul.sqlite"; }

// Runs SQL on a suite file as another SQLite client would; gives the open handle, which
// keeps whatever lock the SQL took until it is closed.
std::unique_ptr<sqlite3, int (*)(sqlite3*)> runSQL(const fs::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  return {db, sqlite3_close};
}

TEST(SpecialFilesGolden, SuitesAndOutputsAsOtherProgramsLeaveThem) {
  const Host host;
  fs::create_directories(host.preferences());
  ASSERT_EQ(::mkfifo(suiteFile(host).c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((host.folder() / "fifo.png").c_str(), 0600), 0);
  std::string shown =
      transcript(host, {"defaults read group.com.quenova.tul", "defaults write group.com.quenova.tul tempo --int 72",
                        "timeline", "placeholder --format png --output $DIR/fifo.png --force",
                        // The longest name a folder takes: its temporary name must fit too.
                        "placeholder --format svg --output $DIR/" + std::string(251, 'n') + ".svg"});
  EXPECT_TRUE(fs::is_fifo(suiteFile(host)) && fs::is_fifo(host.folder() / "fifo.png"));
  fs::remove(suiteFile(host));

  // A NaN never equals itself, and a preset far over the store's limit cannot be
  // shown: both give way to the default, which is stored in their place.
  shown += transcript(host, {"defaults write group.com.quenova.tul miniMelody --float nan", "timeline",
                             "defaults read-type group.com.quenova.tul miniMelody"});
  runSQL(suiteFile(host),
         "UPDATE entries SET value = CAST(replace(replace(CAST(value AS TEXT), '\"bpm\":120', '\"bpm\":99'), "
         "'\"Let it be\"', '\"' || printf('%.*c', 5000000, 'n') || '\"') AS BLOB) WHERE key = 'miniMelody'");
  shown += transcript(host, {"timeline"});
  const auto small = runSQL(suiteFile(host), "SELECT 1");
  sqlite3_stmt* length = nullptr;
  sqlite3_prepare_v2(small.get(), "SELECT length(value) FROM entries WHERE key = 'miniMelody'", -1, &length, nullptr);
  ASSERT_EQ(sqlite3_step(length), SQLITE_ROW);
  EXPECT_LT(sqlite3_column_int(length, 0), 1000) << "the default was not stored";
  sqlite3_finalize(length);

  // Moved whole by export and import; neither overwrites a file or takes in one that is
  // no suite.
  host.file("text.txt", "not a suite");
  shown += transcript(
      host,
      {"defaults write group.com.quenova.tul tempo --int 72", "defaults export group.com.quenova.tul $DIR/copy.sqlite",
       "defaults delete group.com.quenova.tul", "defaults import group.com.quenova.tul $DIR/copy.sqlite",
       "defaults read group.com.quenova.tul tempo", "defaults export group.com.quenova.tul $DIR/copy.sqlite",
       "defaults import group.com.quenova.tul $DIR/text.txt",
       "defaults import group.com.quenova.tul $DIR/none.sqlite"});
  EXPECT_EQ(readFile(host.folder() / "text.txt"), "not a suite");

  // Every format refuses an answer whose view does not read back.
  shown += transcript(
      host, {"placeholder --format text --extension $STAND_IN/stand_in_unreadable_tree",
             "placeholder --format json --extension $STAND_IN/stand_in_unreadable_tree", "timeline --preferences ''"});
  expectGolden("widget-host-special-files.txt", shown);

  // Answers that cannot be written (a full device) end the extension with a failure.
  const std::string extension = (installedBundle() / "TulWidgetExtension").string();
  const std::string request = R"(echo '{"jsonrpc":"2.0","id":1,"method":"widgets","params":{}}' | ')" + extension;
  EXPECT_NE(run({"/bin/sh", "-c", request + "' >/dev/full"}).exitCode, 0);
  EXPECT_EQ(run({"/bin/sh", "-c", request + "' >/dev/null"}).exitCode, 0);
}

// A suite held locked by another process says so once the wait for it runs out; one
// that may be read but not written (here on a read-only mount) shows its preset, and
// writes say why not.
TEST(SpecialFilesGolden, LockedAndReadOnlySuites) {
  const Host host;
  const fs::path preferences = host.preferences();
  fs::create_directories(preferences);
  if (::mount(preferences.c_str(), preferences.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "cannot mount the preferences folder read-only here (" << std::strerror(errno) << ")";
  }
  const std::unique_ptr<const fs::path, void (*)(const fs::path*)> unmount(
      &preferences, [](const fs::path* mounted) { ::umount2(mounted->c_str(), MNT_DETACH); });
  host.file("preset.json", R"({"isPlaylingList":false,"poly1":4,"poly2":1,"polyBar":1,"bars":4,"bpm":66,"note":4,)"
                           R"("beat":3,"subdivision":"0","acc":"2000","name":"Kept","rythmMode":0,)"
                           R"("id":"3AFBD376-5AEC-4704-9518-98A648685F20"})");
  std::string shown =
      transcript(host, {"defaults write group.com.quenova.tul miniMelody --data-file $DIR/preset.json"});
  {
    const auto holder = runSQL(suiteFile(host),
                               "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; DELETE FROM entries WHERE 0; COMMIT");
    shown += transcript(host, {"defaults read group.com.quenova.tul tempo"});
  }
  ASSERT_EQ(::mount(nullptr, preferences.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0)
      << std::strerror(errno);
  shown += transcript(host, {"defaults read-type group.com.quenova.tul miniMelody",
                             "defaults write group.com.quenova.tul tempo --int 80", "timeline"});
  expectGolden("widget-host-locked-and-read-only.txt", shown);
}

// The size and a hash of each file in `folder`, by name.
std::map<std::string, std::pair<std::size_t, std::size_t>> filesIn(const fs::path& folder) {
  std::map<std::string, std::pair<std::size_t, std::size_t>> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string bytes = readFile(entry.path());
    files[entry.path().filename()] = {bytes.size(), std::hash<std::string>{}(bytes)};
  }
  return files;
}

// A gallery replaced on a disk with room for the old gallery but not the new one fails
// whole: the old gallery stays as it was, with no new or temporary file beside it.
TEST(SpecialFiles, AGalleryThatCannotBeWrittenWholeLeavesTheOldOne) {
  const Host host;
  const fs::path disk = host.folder() / "disk";
  fs::create_directories(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64m") != 0) {
    GTEST_SKIP() << "cannot mount a small file system here (" << std::strerror(errno) << ")";
  }
  const std::unique_ptr<const fs::path, void (*)(const fs::path*)> unmount(
      &disk, [](const fs::path* mounted) { ::umount2(mounted->c_str(), MNT_DETACH); });
  const fs::path gallery = disk / "gallery";
  ASSERT_EQ(host.run({"gallery", "--output", gallery.string(), "--scale", "2"}).exitCode, 0);
  const auto before = filesIn(gallery);
  std::size_t pages = 0;
  for (const auto& [name, file] : before) pages += file.first / 4096 + 1;
  // Room for the old gallery and a little; the new one, at scale 3, needs twice that.
  const std::string size = "size=" + std::to_string((pages + 64) * 4096);
  ASSERT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", MS_REMOUNT, size.c_str()), 0) << std::strerror(errno);

  const RunResult forced = host.run({"gallery", "--output", gallery.string(), "--scale", "3", "--force"});
  EXPECT_EQ(forced.exitCode, 73) << forced.err;
  EXPECT_EQ(filesIn(gallery), before);
}

}  // namespace
