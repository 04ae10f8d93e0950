// Picture options: what a picture command or the gallery is told on its command line
// about the pictures (--output, --scale, --force, and the variant drawn: --device and
// --text-size; --strict), declared once for every such command, and read into a
// PictureOutput.
#pragma once

#include <CLI/CLI.hpp>
#include <expected>
#include <string>
#include <vector>

#include "host_error.h"
#include "output_files.h"
#include "output_format.h"
#include "platform/ui/variant.h"

namespace host {

struct PictureOptions {
  std::string output;
  int scale = 0;  // 0: not given
  bool force = false;
  std::string device;    // empty: not given
  std::string textSize;  // empty: not given
  bool strict = false;
  // The gallery's: each may be given several times, for --matrix.
  std::vector<std::string> devices;
  std::vector<std::string> textSizes;

  bool any() const { return !output.empty() || scale != 0 || force || !device.empty() || !textSize.empty() || strict; }
};

// Declares --device and --text-size on `command`, checked against the names the
// platform knows. The picture options and the live page share them.
void addVariantOptions(CLI::App& command, std::string& device, std::string& textSize);
void addVariantOptions(CLI::App& command, std::vector<std::string>& devices, std::vector<std::string>& textSizes);

// The variant those options name (empty: the default), in the direction of `locale`.
ui::Variant variantOf(const std::string& device, const std::string& textSize, const std::string& locale);

// Declares the options on `command`; for the gallery, --output names a folder and is
// required.
void addPictureOptions(CLI::App& command, PictureOptions& options, bool gallery);

// The options as given, with the defaults for those left out. `locale` is the texts'
// language, whose direction the pictures follow.
PictureOutput pictureOutput(const PictureOptions& options, const std::string& locale = "");

// The picture options of a command that shows text, JSON or pictures: --output is
// needed for pictures, and none of them means anything for text. With JSON, --device,
// --text-size and --strict ask for what does not fit (problemsInJSON).
std::expected<PictureOutput, HostError> checkedPictureOutput(const PictureOptions& options, OutputFormat format,
                                                             const std::string& locale = "");

}  // namespace host
