#include "output_files.h"

#include <optional>
#include <system_error>

#include "platform/foundation/held_signals.h"
#include "quoted_text.h"

namespace host {

namespace fs = std::filesystem;

namespace {

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
  std::vector<foundation::StagedFile> staged;
  staged.reserve(files.size());
  for (const OutputFile& file : files) {
    if (held.arrived()) return std::unexpected(interrupted());
    auto written = foundation::StagedFile::write(file.path, file.bytes);
    if (!written) return std::unexpected(cannotCreate(written.error()));
    staged.push_back(std::move(*written));
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
