#include "platform/foundation/suite_registry.h"

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <system_error>

#include "platform/foundation/current_process.h"
#include "platform/foundation/folder_watch.h"
#include "platform/foundation/preferences_location.h"

namespace foundation::suite {
namespace {

namespace fs = std::filesystem;

// How many times a look-up stats the path of an open suite file before the file's
// folder is watched instead.
constexpr unsigned kLookupsBeforeWatching = 8;

// An open connection and what the registry knows of its file.
struct Entry {
  std::shared_ptr<Connection> connection;
  std::string fileName;
  // The watch on the file's folder, or -1 when there is none; while there is one, the
  // path is looked up again only after an event for it.
  int watch = -1;
  bool watchTried = false;
  unsigned lookups = 0;  // of the path, before the folder is watched
  bool mayHaveChanged = true;
};

struct Registry {
  std::mutex mutex;
  std::map<std::string, Entry, std::less<>> entries;  // by suite file path
  // The last suite path resolved from an absolute folder, which resolves the same way
  // every time: resolving it again took more than the rest of a look-up's common case.
  std::string lastFolder;
  std::string lastSuite;
  std::string lastPath;
  FolderWatch folderWatch;

  // Marks the entries that the folder events queued since the last look may concern.
  // When the events cannot be read, every entry is marked and no longer watched.
  void noticeChanges() {
    auto mark = [this](const FolderWatch::Event& event) {
      for (auto& [path, entry] : entries) {
        if (!event.overflow && entry.watch != event.watch) continue;
        if (event.overflow || event.name.empty() || event.name == entry.fileName) entry.mayHaveChanged = true;
        if (event.watchEnded) entry.watch = -1;
      }
    };
    if (folderWatch.readEvents(mark)) return;
    for (auto& [path, entry] : entries) {
      entry.watch = -1;
      entry.mayHaveChanged = true;
    }
  }
};

Registry& registry() {
  static Registry instance;
  return instance;
}

}  // namespace

std::expected<std::shared_ptr<Connection>, SuiteOpenFailure> connectionFor(std::string_view suiteName,
                                                                           std::string_view folder) {
  Registry& shared = registry();
  const std::lock_guard lock(shared.mutex);
  const bool absolute = folder.front() == '/';
  if (!absolute || folder != shared.lastFolder || suiteName != shared.lastSuite) {
    std::error_code error;
    const fs::path path =
        fs::absolute(fs::path(folder) / (std::string(suiteName) + std::string(kSuiteFileExtension)), error);
    if (error) return std::unexpected(SuiteOpenFailure::cannotCreate);
    // A relative folder resolves against the working directory, which may change: only
    // an absolute one is kept.
    shared.lastFolder = absolute ? folder : std::string_view();
    shared.lastSuite = suiteName;
    shared.lastPath = path.lexically_normal().native();
  }
  const std::string& path = shared.lastPath;

  // The common case, an open connection to an unchanged file, costs a read of the
  // folder events that finds none (or one stat where the folder is not watched): the
  // folder is made and checked only when a connection must be opened.
  const auto found = shared.entries.find(path);
  if (found != shared.entries.end()) {
    Entry& cached = found->second;
    // A connection opened by the parent of a fork is merely dropped (see ~Connection).
    if (cached.connection->owner() == currentProcess()) {
      if (!cached.watchTried && ++cached.lookups > kLookupsBeforeWatching) {
        cached.watchTried = true;
        cached.watch = shared.folderWatch.watchFolderOf(path);
        cached.mayHaveChanged = true;  // looked up once more below, now that the watch is in place
      }
      shared.noticeChanges();
      if (cached.watch >= 0 && !cached.mayHaveChanged) return cached.connection;
      struct stat info {};
      if (::stat(path.c_str(), &info) == 0 && cached.connection->isFile(info)) {
        cached.mayHaveChanged = false;
        return cached.connection;
      }
      cached.connection->retire();
    }
    shared.entries.erase(found);
  }
  std::error_code error;
  const fs::path folderPath = fs::path(path).parent_path();
  fs::create_directories(folderPath, error);
  if (error || !fs::is_directory(folderPath, error)) return std::unexpected(SuiteOpenFailure::cannotCreate);
  auto connection = Connection::open(path, suiteName);
  if (!connection) return connection;
  shared.entries.emplace(path, Entry{*connection, fs::path(path).filename().native()});
  return connection;
}

}  // namespace foundation::suite
