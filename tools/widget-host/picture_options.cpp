#include "picture_options.h"

#include <iterator>
#include <vector>

#include "platform/ui/names.h"
#include "platform/ui/variant.h"

namespace host {
namespace {

// Every name of `T`, for the options' checks and help.
template <typename T>
std::vector<std::string> namesOf() {
  std::vector<std::string> names;
  for (const auto& entry : ui::Names<T>::table) names.emplace_back(entry.name);
  return names;
}

template <typename Target>
void declareVariantOptions(CLI::App& command, Target& device, Target& textSize) {
  command.add_option("--device", device, "The phone, by its screen width in points (default 430)")
      ->type_name("430|393|375")
      ->check(CLI::IsMember(namesOf<ui::Device>()));
  command.add_option("--text-size", textSize, "The text size the phone's user chose (default large)")
      ->type_name("SIZE")
      ->check(CLI::IsMember(namesOf<ui::ContentSizeCategory>()));
}

}  // namespace

void addVariantOptions(CLI::App& command, std::string& device, std::string& textSize) {
  declareVariantOptions(command, device, textSize);
}

void addVariantOptions(CLI::App& command, std::vector<std::string>& devices, std::vector<std::string>& textSizes) {
  declareVariantOptions(command, devices, textSizes);
}

ui::Variant variantOf(const std::string& device, const std::string& textSize, const std::string& locale) {
  return ui::Variant{device.empty() ? ui::Device::width430 : *ui::byName<ui::Device>(device),
                     textSize.empty() ? ui::ContentSizeCategory::large : *ui::byName<ui::ContentSizeCategory>(textSize),
                     ui::directionOf(locale)};
}

void addPictureOptions(CLI::App& command, PictureOptions& options, bool gallery) {
  auto* output = command.add_option(
      "--output", options.output,
      gallery ? "The folder to write the gallery into (made when missing)"
              : "With --format png or svg: the file to write (several pictures: one file each, suffixed)");
  output->type_name(gallery ? "DIR" : "FILE");
  output->check(CLI::Validator(
      [](std::string& path) -> std::string {
        if (path.empty()) return "an empty path";
        if (path == "-") return "pictures are written to files, not to standard output";
        return {};
      },
      "PATH"));
  if (gallery) output->required();
  command.add_option("--scale", options.scale, "Pixels per point, as on phones (default 3)")
      ->type_name("1|2|3")
      ->check(CLI::IsMember(std::vector<int>(std::begin(kScales), std::end(kScales))));
  command.add_flag("--force", options.force,
                   gallery ? "Write into a folder that is not empty, replacing the gallery's own files"
                           : "Replace output files that exist");
  if (gallery) {
    addVariantOptions(command, options.devices, options.textSizes);
  } else {
    addVariantOptions(command, options.device, options.textSize);
  }
  command.add_flag("--strict", options.strict,
                   "Exit with status " + std::to_string(static_cast<int>(ExitCode::doesNotFit)) +
                       " when a text is cut short or a view lies outside its surface (the pictures are still written)");
}

PictureOutput pictureOutput(const PictureOptions& options, const std::string& locale) {
  const ui::Variant variant = variantOf(options.device, options.textSize, locale);
  return PictureOutput{options.output, options.scale == 0 ? kDefaultScale : options.scale,
                       options.force ? foundation::Overwrite::replace : foundation::Overwrite::refuse, variant,
                       options.strict};
}

std::expected<PictureOutput, HostError> checkedPictureOutput(const PictureOptions& options, OutputFormat format,
                                                             const std::string& locale) {
  if (imageFormat(format)) {
    if (options.output.empty()) {
      return std::unexpected(HostError{ExitCode::usage, "--format " + std::string(name(*imageFormat(format))) +
                                                            " writes a file: give --output FILE"});
    }
  } else if (!options.output.empty() || options.scale != 0 || options.force) {
    return std::unexpected(HostError{ExitCode::usage, "--output, --scale and --force go with --format png or svg"});
  } else if (options.any() && format != OutputFormat::json) {
    return std::unexpected(
        HostError{ExitCode::usage, "--device, --text-size and --strict go with --format png, svg or json"});
  }
  PictureOutput output = pictureOutput(options, locale);
  output.problemsInJSON = format == OutputFormat::json && options.any();
  return output;
}

}  // namespace host
