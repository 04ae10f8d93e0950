#include "snapshot_command.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>
#include <vector>

#include "output_files.h"
#include "quoted_text.h"

namespace host {

namespace fs = std::filesystem;

namespace {

std::expected<GalleryContent, HostError> drawn(ExtensionSession& session, const ExtensionOptions& extension,
                                               const SnapshotOptions& options, const PictureRenderer& renderer) {
  return drawGallery(session, Drawing{renderer, options.style, extension.executable.parent_path()}, options.locale, 0,
                     true);
}

// The recorded file, or none when it is missing.
std::optional<std::string> recorded(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return std::move(bytes).str();
}

std::string percent(double fraction) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g%%", fraction * 100);
  return text;
}

std::string replaced(std::string name, std::string_view extension, std::string_view with) {
  return name.substr(0, name.size() - extension.size()) + std::string(with);
}

}  // namespace

std::expected<std::string, HostError> recordSnapshots(const ExtensionOptions& extension, const SnapshotOptions& options,
                                                      const PictureRenderer& renderer) {
  return writeGallery(extension, GalleryFolder{options.folder, options.overwrite, false},
                      [&](ExtensionSession& session) -> std::expected<GalleryContent, HostError> {
                        auto content = drawn(session, extension, options, renderer);
                        if (!content) return content;
                        for (OutputFile& outline : content->outlines) content->files.push_back(std::move(outline));
                        content->outlines.clear();
                        content->problems.clear();  // recorded as drawn; what does not fit is the gallery's to say
                        return content;
                      });
}

std::expected<std::string, HostError> verifySnapshots(const ExtensionOptions& extension, const SnapshotOptions& options,
                                                      const PictureRenderer& renderer) {
  std::error_code error;
  const fs::path folder = fs::absolute(options.folder, error).lexically_normal();
  if (error || !fs::is_directory(folder, error)) {
    return std::unexpected(HostError{
        ExitCode::noInput, "no recorded pictures in " + inQuotes(options.folder.string()) + ": not a folder"});
  }
  const fs::path mismatches = options.mismatches.empty() ? fs::path(folder.string() + "-mismatches")
                                                         : fs::absolute(options.mismatches, error).lexically_normal();
  auto session = ExtensionSession::start(extension);
  if (!session) return std::unexpected(session.error());
  if (auto loaded = renderer.ready(); !loaded) {
    static_cast<void>(session->finish());
    return std::unexpected(loaded.error());
  }
  auto content = drawn(*session, extension, options, renderer);
  if (!content) return std::unexpected(content.error());
  if (auto finished = session->finish(); !finished) return std::unexpected(finished.error());

  const std::string_view png = ".png";
  std::vector<std::string> lines;
  std::vector<OutputFile> evidence;
  std::set<std::string> drawnNames;
  std::size_t differing = 0;
  for (std::size_t i = 0; i < content->files.size(); ++i) {
    const OutputFile& picture = content->files[i];
    const std::string name = picture.path.string();
    const OutputFile& outline = content->outlines[i];
    drawnNames.insert(name);
    drawnNames.insert(outline.path.string());
    std::vector<std::string> why;
    const auto expected = recorded(folder / name);
    if (!expected) {
      why.emplace_back("not recorded");
    } else {
      auto compared = renderer.compare(*expected, picture.bytes, options.tolerance.threshold);
      if (!compared) {
        why.push_back("cannot compare: " + compared.error());
      } else if (compared->sizesDiffer) {
        why.push_back("the new picture's size differs from the recorded one's (" + std::to_string(compared->width) +
                      " x " + std::to_string(compared->height) + " pixels)");
      } else if (const double share = static_cast<double>(compared->differing) / static_cast<double>(compared->total);
                 share > options.tolerance.fraction) {
        why.push_back(percent(share) + " of the pixels differ (" + std::to_string(compared->differing) + "; at most " +
                      percent(options.tolerance.fraction) + ")");
        evidence.push_back(OutputFile{mismatches / replaced(name, png, ".difference.png"), compared->difference});
      }
    }
    const auto expectedOutline = recorded(folder / outline.path);
    if (!expectedOutline) {
      why.emplace_back("no recorded outline");
    } else if (*expectedOutline != outline.bytes) {
      why.emplace_back("the outline differs");
      evidence.push_back(OutputFile{mismatches / replaced(name, png, ".expected.txt"), *expectedOutline});
      evidence.push_back(OutputFile{mismatches / replaced(name, png, ".actual.txt"), outline.bytes});
    }
    if (why.empty()) continue;
    ++differing;
    if (expected) evidence.push_back(OutputFile{mismatches / replaced(name, png, ".expected.png"), *expected});
    evidence.push_back(OutputFile{mismatches / replaced(name, png, ".actual.png"), picture.bytes});
    std::string line = name + ":";
    for (const std::string& reason : why) line += (line.back() == ':' ? " " : "; ") + reason;
    lines.push_back(line);
  }
  // A recorded picture that is no longer drawn differs too.
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with(png) && !drawnNames.contains(name)) {
      ++differing;
      lines.push_back(name + ": recorded, but no longer drawn");
    }
  }
  const std::size_t total = content->files.size();
  if (differing == 0) return std::to_string(total) + " pictures match " + folder.string() + "\n";

  fs::create_directories(mismatches, error);
  if (error) {
    return std::unexpected(HostError{ExitCode::cannotCreate, "the mismatches folder " + inQuotes(mismatches.string()) +
                                                                 " cannot be made: " + error.message()});
  }
  if (auto written = writeOutputFiles(evidence, foundation::Overwrite::replace); !written) {
    return std::unexpected(written.error());
  }
  std::string report;
  for (const std::string& line : lines) report += line + "\n";
  std::fputs(report.c_str(), stdout);
  std::fflush(stdout);
  return std::unexpected(
      HostError{ExitCode::picturesDiffer, std::to_string(differing) + " of " + std::to_string(total) +
                                              " pictures differ from those recorded; see " + mismatches.string()});
}

}  // namespace host
