#include "gallery_command.h"

#include <memory>
#include <vector>

#include "gallery.h"
#include "gallery_matrix.h"
#include "picture_options.h"
#include "snapshot_command.h"

namespace host {

namespace {

struct GalleryCommandOptions {
  PictureOptions pictures;
  std::vector<std::string> locales;
  bool matrix = false;
};

template <typename T>
std::vector<T> valuesNamed(const std::vector<std::string>& names) {
  std::vector<T> values;
  for (const std::string& each : names) values.push_back(*ui::byName<T>(each));  // checked by the option
  return values;
}

std::expected<std::string, HostError> run(const GalleryCommandOptions& options, const GalleryCommandHooks& hooks) {
  PictureOptions pictures = options.pictures;
  if (!options.matrix) {
    if (pictures.devices.size() > 1 || pictures.textSizes.size() > 1 || options.locales.size() > 1) {
      return std::unexpected(HostError{ExitCode::usage, "several --device, --text-size or --locale go with --matrix"});
    }
    if (!pictures.devices.empty()) pictures.device = pictures.devices.front();
    if (!pictures.textSizes.empty()) pictures.textSize = pictures.textSizes.front();
  }
  auto format = hooks.format();
  if (!format) return std::unexpected(format.error());
  auto extension = hooks.extension();
  if (!extension) return std::unexpected(extension.error());
  const PictureRenderer renderer = hooks.renderer();
  const std::string locale = options.locales.empty() ? "" : options.locales.front();
  const PictureOutput output = pictureOutput(pictures, locale);
  const GalleryFolder where{output.path, output.overwrite, output.strict};
  if (options.matrix) {
    return matrixCommand(*extension,
                         MatrixOptions{where, *format, output.scale, valuesNamed<ui::Device>(pictures.devices),
                                       valuesNamed<ui::ContentSizeCategory>(pictures.textSizes), options.locales, 0},
                         renderer);
  }
  GalleryOptions gallery{output.path, PictureStyle{*format, output.scale, output.variant}, output.overwrite,
                         output.strict, std::nullopt};
  if (!locale.empty()) gallery.locale = locale;
  return galleryCommand(*extension, gallery, renderer);
}

}  // namespace

void addGalleryCommand(CLI::App& gallery, GalleryCommandHooks hooks) {
  auto options = std::make_shared<GalleryCommandOptions>();
  addPictureOptions(gallery, options->pictures, true);
  gallery.add_option("--locale", options->locales, "The language of the texts (default en)");
  gallery.add_flag("--matrix", options->matrix,
                   "Every phone, text size and language (or those given with --device, --text-size and --locale, "
                   "each as often as wanted), one row each, marking what does not fit");
  gallery.callback([options, hooks = std::move(hooks)] {
    hooks.choose("gallery", [options, &hooks] { return run(*options, hooks); });
  });
}

void addSnapshotCommands(CLI::App& snapshot, GalleryCommandHooks hooks) {
  struct Options {
    std::string folder;
    int scale = 2;
    std::string device;
    std::string textSize;
    std::string locale;
    bool force = false;
    SnapshotTolerance tolerance;
    std::string mismatches;
  };
  const auto options = std::make_shared<Options>();
  const auto shared = std::make_shared<GalleryCommandHooks>(std::move(hooks));
  for (const std::string mode : {"record", "verify"}) {
    auto* command = snapshot.add_subcommand(
        mode, mode == "record" ? "Record the gallery's pictures and their outlines in a folder"
                               : "Draw the recorded pictures again and compare them with those recorded");
    command->add_option("folder", options->folder, "The folder of recorded pictures")->required()->type_name("DIR");
    command->add_option("--scale", options->scale, "Pixels per point")
        ->check(CLI::IsMember(std::vector<int>(std::begin(kScales), std::end(kScales))))
        ->capture_default_str();
    addVariantOptions(*command, options->device, options->textSize);
    command->add_option("--locale", options->locale, "The language of the texts (default en)");
    if (mode == "record") {
      command->add_flag("--force", options->force, "Record into a folder that is not empty, replacing its pictures");
    } else {
      command
          ->add_option("--tolerance", options->tolerance.threshold,
                       "How much a pixel's colour may differ, per channel (0-255)")
          ->check(CLI::Range(0, 255))
          ->capture_default_str();
      command
          ->add_option("--allowed-fraction", options->tolerance.fraction,
                       "The fraction of a picture's pixels that may differ")
          ->check(CLI::Range(0.0, 1.0))
          ->capture_default_str();
      command
          ->add_option("--mismatches", options->mismatches,
                       "Where to write what differs (default: DIR-mismatches beside DIR)")
          ->type_name("DIR");
    }
    command->callback([options, shared, mode] {
      shared->choose("snapshot " + mode, [options, shared, mode]() -> std::expected<std::string, HostError> {
        auto extension = shared->extension();
        if (!extension) return std::unexpected(extension.error());
        const PictureRenderer renderer = shared->renderer();
        SnapshotOptions snapshots{options->folder,
                                  PictureStyle{ImageFormat::png, options->scale,
                                               variantOf(options->device, options->textSize, options->locale)},
                                  std::nullopt,
                                  options->force ? foundation::Overwrite::replace : foundation::Overwrite::refuse,
                                  options->tolerance,
                                  options->mismatches};
        if (!options->locale.empty()) snapshots.locale = options->locale;
        return mode == "record" ? recordSnapshots(*extension, snapshots, renderer)
                                : verifySnapshots(*extension, snapshots, renderer);
      });
    });
  }
}

}  // namespace host
