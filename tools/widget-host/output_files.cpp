#include "output_files.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <optional>
#include <system_error>

#include "platform/foundation/held_signals.h"
#include "platform/foundation/helper_thread.h"
#include "quoted_text.h"

namespace host {

namespace fs = std::filesystem;

namespace {

// How many files are written to disk at once.
constexpr std::size_t kStagingThreads = 4;

HostError cannotCreate(const std::string& message) { return HostError{ExitCode::cannotCreate, message}; }

bool occupied(const fs::path& path) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(path, error);
  return fs::exists(status) || status.type() == fs::file_type::symlink;  // a dangling link counts
}

// Why `path` cannot take a new file; none if it can, as far as can be told before writing.
std::optional<HostError> unusableTarget(const fs::path& path, foundation::Overwrite overwrite) {
  std::error_code error;
  const fs::file_type type = fs::symlink_status(path, error).type();
  if (type == fs::file_type::directory) {
    return cannotCreate("the output " + inQuotes(path.string()) + " is a folder; name a file");
  }
  const bool exists = type != fs::file_type::none && type != fs::file_type::not_found;
  if (overwrite == foundation::Overwrite::refuse && exists) {
    return cannotCreate("the output " + inQuotes(path.string()) + " already exists (use --force to replace it)");
  }
  if (exists && type != fs::file_type::regular && type != fs::file_type::symlink) {
    return cannotCreate("the output " + inQuotes(path.string()) +
                        " is not a regular file (--force replaces regular files only)");
  }
  return std::nullopt;
}

// Runs `each` for 0 to count - 1 on up to kStagingThreads threads (this one among
// them), until one returns false or a held signal arrives.
void onStagingThreads(std::size_t count, const foundation::HeldSignals& held,
                      const std::function<bool(std::size_t)>& each) {
  std::atomic<std::size_t> next{0};
  std::atomic<bool> stop{false};
  const auto work = [&] {
    for (std::size_t i = next++; i < count && !stop.load(); i = next++) {
      if (held.arrived() || !each(i)) {
        stop = true;
        return;
      }
    }
  };
  std::deque<foundation::HelperThread> helpers;
  const std::size_t threads = std::min(kStagingThreads, count);
  try {
    for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
  } catch (const std::system_error&) {
    // Fewer threads: those there do the work.
  }
  work();
}

}  // namespace

fs::path suffixedPath(const fs::path& path, std::string_view suffix) {
  fs::path out = path;
  out.replace_filename(path.stem().string() + "-" + std::string(suffix) + path.extension().string());
  return out;
}

std::expected<void, HostError> writeOutputFiles(const std::vector<OutputFile>& files, foundation::Overwrite overwrite) {
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (auto unusable = unusableTarget(files[i].path, overwrite)) return std::unexpected(*unusable);
    for (std::size_t k = 0; k < i; ++k) {
      if (files[k].path == files[i].path) {
        return std::unexpected(HostError{ExitCode::internal, inQuotes(files[i].path.string()) + " is named twice"});
      }
    }
  }
  // Every new file is written beside its target first: a failure there (a full disk)
  // removes the new files and leaves every old one as it was. SIGINT and SIGTERM wait
  // meanwhile; one that comes stops the writing the same way, and is then delivered
  // (declared first, `held` ends last, after the staged files are gone).
  const foundation::HeldSignals held;
  const auto interrupted = [] { return cannotCreate("interrupted; no file was written"); };
  // Staged by a few threads at once: each file is written with its write-back started,
  // and once all are written each is synced to disk, again by a few threads at once, so
  // that the disk takes the set's data together and the syncs, waiting on the disk
  // together, take about as long as one. The threads, made while the signals are held,
  // hold them too. The first failure, in the files' order, is the one reported; all
  // staged files go.
  std::vector<std::optional<std::expected<foundation::StagedFile, std::string>>> written(files.size());
  onStagingThreads(files.size(), held, [&](std::size_t i) {
    written[i].emplace(foundation::StagedFile::write(files[i].path, files[i].bytes, foundation::Flush::started));
    return written[i]->has_value();
  });
  std::vector<foundation::StagedFile> staged;
  staged.reserve(files.size());
  std::optional<HostError> failure;
  for (auto& file : written) {
    if (!file) continue;  // not reached: a failure or a signal stopped the staging
    if (*file) {
      staged.push_back(std::move(**file));
    } else if (!failure) {
      failure = cannotCreate(file->error());
    }
  }
  if (failure) return std::unexpected(*failure);
  if (held.arrived() || staged.size() != files.size()) return std::unexpected(interrupted());
  std::vector<std::optional<std::string>> unflushed(staged.size());
  onStagingThreads(staged.size(), held, [&](std::size_t i) {
    auto flushed = staged[i].flush();
    if (!flushed) unflushed[i] = flushed.error();
    return flushed.has_value();
  });
  for (const auto& error : unflushed) {
    if (error) return std::unexpected(cannotCreate(*error));
  }
  if (held.arrived()) return std::unexpected(interrupted());
  std::vector<fs::path> created;
  for (foundation::StagedFile& file : staged) {
    const bool existed = occupied(file.target());
    if (auto placed = file.commit(overwrite); !placed) {
      std::error_code ignored;
      for (const fs::path& path : created) fs::remove(path, ignored);
      return std::unexpected(cannotCreate(placed.error()));
    }
    if (!existed) created.push_back(file.target());
  }
  return {};
}

std::string writtenFilesText(const std::vector<OutputFile>& files) {
  std::string out;
  for (const OutputFile& file : files) out += file.path.string() + "\n";
  return out;
}

}  // namespace host
