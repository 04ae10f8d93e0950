#include "gallery_command.h"

#include <memory>
#include <vector>

#include "gallery.h"
#include "gallery_matrix.h"
#include "picture_options.h"

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
  auto renderer = hooks.renderer();
  if (!renderer) return std::unexpected(renderer.error());
  const std::string locale = options.locales.empty() ? "" : options.locales.front();
  const PictureOutput output = pictureOutput(pictures, locale);
  const GalleryFolder where{output.path, output.overwrite, output.strict};
  if (options.matrix) {
    return matrixCommand(*extension,
                         MatrixOptions{where, *format, output.scale, valuesNamed<ui::Device>(pictures.devices),
                                       valuesNamed<ui::ContentSizeCategory>(pictures.textSizes), options.locales, 0},
                         *renderer);
  }
  GalleryOptions gallery{output.path, PictureStyle{*format, output.scale, output.variant}, output.overwrite,
                         output.strict, std::nullopt};
  if (!locale.empty()) gallery.locale = locale;
  return galleryCommand(*extension, gallery, *renderer);
}

}  // namespace

void addGalleryCommand(CLI::App& app, GalleryCommandHooks hooks) {
  auto options = std::make_shared<GalleryCommandOptions>();
  auto* gallery = app.add_subcommand(
      "gallery",
      "Pictures (PNG, or SVG with --format svg) of the widget's placeholder, snapshot and timeline and of every Live "
      "Activity presentation for several states, in one folder with an index.html that shows them side by side");
  addPictureOptions(*gallery, options->pictures, true);
  gallery->add_option("--locale", options->locales, "The language of the texts (default en)");
  gallery->add_flag("--matrix", options->matrix,
                    "Every phone, text size and language (or those given with --device, --text-size and --locale, "
                    "each as often as wanted), one row each, marking what does not fit");
  gallery->callback(
      [options, hooks = std::move(hooks)] { hooks.choose([options, &hooks] { return run(*options, hooks); }); });
}

}  // namespace host
