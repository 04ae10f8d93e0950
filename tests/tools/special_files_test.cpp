// The suite and the output files as other programs leave them: a FIFO where a file
// should be, values another SQLite client stored, a suite this user may only read, one
// held locked, and a gallery replaced on a disk that fills up. Everything runs through
// the installed widget-host and extension, on real files.
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "installed_host.h"

namespace {

namespace fs = std::filesystem;
using namespace tul::testing;

fs::path suiteFile(const Host& host) { return host.preferences() / (std::string(kSuite) + ".sqlite"); }

// Runs SQL on the suite file as another SQLite client would, outside the host's rules.
void runSQL(const fs::path& file, const std::string& sql, sqlite3** keepOpen = nullptr) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  if (keepOpen != nullptr) {
    *keepOpen = db;
  } else {
    sqlite3_close(db);
  }
}

bool showsTempo(const RunResult& timeline, const std::string& tempo) {
  return timeline.exitCode == 0 && timeline.out.find("Text \"" + tempo + "\"") != std::string::npos;
}

TEST(SpecialFiles, AFifoIsRefusedAtOnceAndNeverReplaced) {
  const Host host;
  fs::create_directories(host.preferences());
  ASSERT_EQ(::mkfifo(suiteFile(host).c_str(), 0600), 0);
  expectErrors(host, {{"read", {"defaults", "read", kSuite}, 66, "it is not a regular file"},
                      {"write", {"defaults", "write", kSuite, kKey, "--string", "x"}, 66, "it is not a regular file"}});
  // The extension cannot open the suite either, and shows the default preset.
  const RunResult timeline = host.run({"timeline"});
  EXPECT_TRUE(showsTempo(timeline, "120")) << timeline.out << timeline.err;

  const fs::path fifo = host.folder() / "picture.png";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  expectErrors(host, {{"force",
                       {"placeholder", "--format", "png", "--output", fifo.string(), "--force"},
                       73,
                       "is not a regular file"}});
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(fs::is_fifo(suiteFile(host)));
}

// A NaN never equals itself, and a value far over the store's limit cannot be shown:
// both give way to the default, which is then stored.
TEST(SpecialFiles, UnusableStoredValuesAreReplacedByTheDefault) {
  const Host host;
  ASSERT_EQ(host.run({"defaults", "write", kSuite, kKey, "--float", "nan"}).exitCode, 0);
  EXPECT_TRUE(showsTempo(host.run({"timeline"}), "120"));
  EXPECT_EQ(host.storedPreset()["name"], "Let it be");

  // 5 MB of name in an otherwise good preset, as another program might store it.
  Host::Json preset = host.storedPreset();
  preset["name"] = std::string(5 << 20, 'n');
  preset["bpm"] = 99;
  runSQL(suiteFile(host), "UPDATE entries SET value = CAST('" + preset.dump() + "' AS BLOB) WHERE key = 'miniMelody'");
  const RunResult timeline = host.run({"timeline"});
  EXPECT_TRUE(showsTempo(timeline, "120")) << timeline.err;
  EXPECT_EQ(host.storedPreset()["name"], "Let it be");
}

// A suite this user may read but not write, and one another process holds locked.
TEST(SpecialFiles, ReadOnlyAndLockedSuitesSayWhatTheyAre) {
  const Host host;
  ASSERT_EQ(host.run({"timeline"}).exitCode, 0);  // stores the default
  Host::Json preset = host.storedPreset();
  preset["bpm"] = 72;
  const auto file = host.file("preset.json", preset.dump());
  ASSERT_EQ(host.run({"defaults", "write", kSuite, kKey, "--data-file", file.string()}).exitCode, 0);
  const fs::path prefix = installedHost().parent_path().parent_path();
  std::vector<std::string> asReader;
  if (::geteuid() == 0) {
    // Root may write anything: the reader is another user, who may enter the folders
    // and read the file but write neither.
    for (fs::path p = host.preferences(); p != p.root_path(); p = p.parent_path()) {
      fs::permissions(p, fs::perms::others_exec, fs::perm_options::add);
    }
    for (fs::path p = prefix; p != p.root_path(); p = p.parent_path()) {
      fs::permissions(p, fs::perms::others_exec | fs::perms::others_read, fs::perm_options::add);
    }
    fs::permissions(suiteFile(host), fs::perms::others_read, fs::perm_options::add);
    if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv to run as another user";
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
  const RunResult read = runAsReader({"defaults", "read", kSuite});
  EXPECT_EQ(read.exitCode, 0) << read.err;
  EXPECT_TRUE(showsTempo(runAsReader({"timeline"}), "72"));
  const RunResult write = runAsReader({"defaults", "write", kSuite, "tempo", "--int", "80"});
  EXPECT_EQ(write.exitCode, 74) << write.err;
  EXPECT_NE(write.err.find("the suite is read-only"), std::string::npos) << write.err;
  fs::permissions(host.preferences(), fs::perms::owner_all, fs::perm_options::add);

  // An exclusive lock that outlasts the busy timeout.
  sqlite3* holder = nullptr;
  runSQL(suiteFile(host), "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE;", &holder);
  expectErrors(host, {{"locked", {"defaults", "read", kSuite}, 66, "it is locked by another process"}});
  sqlite3_close(holder);
  EXPECT_EQ(host.storedPreset(), preset);
}

// Every byte of a folder's regular files, by name.
std::map<std::string, std::string> filesIn(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) files[entry.path().filename()] = readFile(entry.path());
  return files;
}

// A gallery replaced on a disk with room for one gallery but not two fails whole: the
// old gallery stays as it was, with no new or temporary file beside it.
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
  for (const auto& [name, content] : before) pages += content.size() / 4096 + 1;
  // Room for the old gallery and a little; the new one, at scale 3, needs twice that.
  const std::string size = "size=" + std::to_string((pages + 64) * 4096);
  ASSERT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", MS_REMOUNT, size.c_str()), 0) << std::strerror(errno);

  const RunResult forced = host.run({"gallery", "--output", gallery.string(), "--scale", "3", "--force"});
  EXPECT_EQ(forced.exitCode, 73) << forced.err;
  EXPECT_EQ(filesIn(gallery), before);
}

}  // namespace

namespace {

// An answer whose view does not read back is refused in every format alike.
TEST(SpecialFiles, EveryFormatRefusesAViewThatDoesNotReadBack) {
  const Host host;
  for (const char* format : {"text", "json"}) {
    expectErrors(host, {{format,
                         {"placeholder", "--format", format, "--extension", standIn("unreadable-tree").string()},
                         69,
                         "placeholder: the extension's view for entry 1 does not read back: $.type: "}});
  }
}

}  // namespace

namespace {

// Answers that cannot be written (a full device) end the extension with a failure.
TEST(SpecialFiles, TheExtensionFailsWhenItsAnswersCannotBeWritten) {
  const std::string extension = (installedBundle() / "TulWidgetExtension").string();
  const std::string request = R"({"jsonrpc":"2.0","id":1,"method":"widgets","params":{}})";
  const RunResult full = run({"/bin/sh", "-c", "echo '" + request + "' | '" + extension + "' >/dev/full"});
  EXPECT_NE(full.exitCode, 0) << full.err;
  const RunResult fine = run({"/bin/sh", "-c", "echo '" + request + "' | '" + extension + "' >/dev/null"});
  EXPECT_EQ(fine.exitCode, 0) << fine.err;
}

}  // namespace

namespace {

// A suite moved through export and import comes back whole; neither step overwrites a
// file or takes in one that is no suite.
TEST(SpecialFiles, ExportAndImportMoveASuiteWhole) {
  const Host host;
  ASSERT_EQ(host.run({"defaults", "write", kSuite, "tempo", "--int", "72"}).exitCode, 0);
  const std::string before = host.run({"defaults", "read", kSuite}).out;
  const std::string copy = (host.folder() / "copy.sqlite").string();
  ASSERT_EQ(host.run({"defaults", "export", kSuite, copy}).exitCode, 0);
  ASSERT_EQ(host.run({"defaults", "delete", kSuite}).exitCode, 0);
  ASSERT_EQ(host.run({"defaults", "write", kSuite, "other", "--string", "x"}).exitCode, 0);
  const RunResult imported = host.run({"defaults", "import", kSuite, copy});
  ASSERT_EQ(imported.exitCode, 0) << imported.err;
  EXPECT_EQ(host.run({"defaults", "read", kSuite}).out, before);

  const std::string text = host.file("text.txt", "not a suite").string();
  expectErrors(host, {{"existing", {"defaults", "export", kSuite, copy}, 73, "already exists"},
                      {"no suite", {"defaults", "import", kSuite, text}, 65, "not a readable preferences database"},
                      {"missing", {"defaults", "import", kSuite, copy + ".none"}, 66, "no file"}});
  EXPECT_EQ(readFile(text), "not a suite");
  EXPECT_EQ(host.run({"defaults", "read", kSuite}).out, before);
}

}  // namespace
