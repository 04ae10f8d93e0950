// The suite and the output files as other programs leave them: a FIFO where a file
// should be, values another SQLite client stored, a suite that this user may only read, suites moved by export and import, answers that do not read back, and
// a gallery replaced on a disk that fills up. Everything runs through the installed
// widget-host and extension, on real files; what each command said is kept whole in
// tests/golden/widget-host-special-files.txt.
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
                        "timeline", "placeholder --format png --output $DIR/fifo.png --force"});
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

// A suite this user may read but not write: its preset shows, and writes say why not.
TEST(SpecialFiles, AReadOnlySuiteIsReadAndRefusesWrites) {
  const Host host;
  ASSERT_EQ(host.run({"defaults", "write", "group.com.quenova.tul", "tempo", "--int", "72"}).exitCode, 0);
  std::vector<std::string> asReader;
  if (::geteuid() == 0) {
    // Root may write anything: the reader is another user, who may enter the folders
    // and read the file but write neither.
    if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv to run as another user";
    for (const fs::path& start : {host.preferences(), installedPrefix()}) {
      for (fs::path p = start; p != p.root_path(); p = p.parent_path()) {
        fs::permissions(p, fs::perms::others_exec | fs::perms::others_read, fs::perm_options::add);
      }
    }
    fs::permissions(suiteFile(host), fs::perms::others_read, fs::perm_options::add);
    asReader = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  } else {
    fs::permissions(suiteFile(host), fs::perms::owner_write, fs::perm_options::remove);
    fs::permissions(host.preferences(), fs::perms::owner_write, fs::perm_options::remove);
  }
  const auto runAsReader = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {installedHost().string(), "--preferences", host.preferences().string()});
    arguments.insert(arguments.begin(), asReader.begin(), asReader.end());
    return run(arguments);
  };
  const RunResult read = runAsReader({"defaults", "read", "group.com.quenova.tul", "tempo"});
  EXPECT_EQ(read.exitCode, 0) << read.err;
  EXPECT_EQ(read.out, "integer 72\n");
  const RunResult write = runAsReader({"defaults", "write", "group.com.quenova.tul", "tempo", "--int", "80"});
  EXPECT_EQ(write.exitCode, 74) << write.err;
  EXPECT_NE(write.err.find("the suite is read-only"), std::string::npos) << write.err;
  fs::permissions(host.preferences(), fs::perms::owner_all, fs::perm_options::add);
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
