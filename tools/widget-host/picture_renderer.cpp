#include "picture_renderer.h"

#include <dlfcn.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace host {

namespace fs = std::filesystem;

namespace {

HostError unusable(const fs::path& module, const std::string& why) {
  return HostError{ExitCode::unavailable, "cannot load the renderer module " + module.string() + ": " + why};
}

// The dynamic loader's reason, without the module's path it starts with (the message
// names the module already).
std::string loaderError(const fs::path& module) {
  const char* error = ::dlerror();
  if (error == nullptr) return "no reason given";
  std::string_view reason = error;
  const std::string prefix = module.string() + ": ";
  if (reason.starts_with(prefix)) reason.remove_prefix(prefix.size());
  return std::string(reason);
}

}  // namespace

fs::path renderModulePath(const ShippedFileSearch& search) {
  if (search.hostFolder.empty()) return {};
  if (search.runsFromBuildTree()) return search.buildFile;
  return (search.hostFolder / search.installedRelative).lexically_normal();
}

PictureRenderer::Loaded PictureRenderer::loadModule(const fs::path& module) {
  if (module.empty()) {
    return std::unexpected(
        HostError{ExitCode::unavailable, "cannot find the renderer module: the host's own folder is unknown"});
  }
  // The module is linked to bind every symbol it uses as it loads (`-z now`), so that a
  // library missing underneath it, or one that lacks a function the module calls, fails
  // here, with the loader's reason, and not in the middle of a drawing. Its libraries
  // bind lazily, as in any program: binding all of theirs at once (RTLD_NOW) looked up
  // some 2,600 symbols that a picture never calls. The module's symbols stay its own
  // (RTLD_LOCAL). It is never unloaded.
  void* handle = ::dlopen(module.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (handle == nullptr) return std::unexpected(unusable(module, loaderError(module)));
  const auto refuse = [&](const std::string& why) {
    ::dlclose(handle);
    return std::unexpected(unusable(module, why));
  };
  ::dlerror();
  void* entry = ::dlsym(handle, TUL_RENDER_MODULE_ENTRY);
  if (entry == nullptr) {
    return refuse(loaderError(module) + " (not a renderer module of interface version " +
                  std::to_string(kTulRenderModuleVersion) + ")");
  }
  const TulRenderModule* table = reinterpret_cast<TulRenderModuleEntry>(entry)();
  if (table == nullptr || table->version != kTulRenderModuleVersion || table->draw == nullptr ||
      table->release == nullptr || table->compare == nullptr || table->releaseComparison == nullptr) {
    return refuse("its entry point " + std::string(TUL_RENDER_MODULE_ENTRY) + " does not give interface version " +
                  std::to_string(kTulRenderModuleVersion));
  }
  return table;
}

struct PictureRenderer::Module {
  explicit Module(fs::path where) : path(std::move(where)) {}
  fs::path path;
  std::once_flag once;
  Loaded outcome = std::unexpected(HostError{ExitCode::internal, "the renderer module was never loaded"});
};

const PictureRenderer::Loaded& PictureRenderer::loaded() const {
  std::call_once(module_->once, [this] { module_->outcome = loadModule(module_->path); });
  return module_->outcome;
}

std::expected<PictureRenderer, HostError> PictureRenderer::load(const fs::path& module) {
  PictureRenderer renderer(std::make_shared<Module>(module));
  if (auto ready = renderer.ready(); !ready) return std::unexpected(ready.error());
  return renderer;
}

PictureRenderer PictureRenderer::loadOnFirstUse(const fs::path& module) {
  return PictureRenderer(std::make_shared<Module>(module));
}

std::expected<void, HostError> PictureRenderer::ready() const {
  if (const Loaded& module = loaded(); !module) return std::unexpected(module.error());
  return {};
}

std::expected<Picture, DrawFailure> PictureRenderer::draw(ui::Surface surface, std::string_view treeJSON,
                                                          const fs::path& assets, ImageFormat format, int scale,
                                                          ui::Variant variant, bool sideBySide) const {
  const Loaded& outcome = loaded();
  if (!outcome) return std::unexpected(DrawFailure{DrawFailure::Kind::failed, outcome.error().message});
  const TulRenderModule* module = *outcome;
  const std::string surfaceName(ui::name(surface));
  const std::string deviceName(ui::name(variant.device));
  const std::string textSizeName(ui::name(variant.textSize));
  const TulRenderRequest request{surfaceName.c_str(),
                                 treeJSON.data(),
                                 treeJSON.size(),
                                 assets.c_str(),
                                 format == ImageFormat::png ? kTulRenderPNG : kTulRenderSVG,
                                 scale,
                                 deviceName.c_str(),
                                 textSizeName.c_str(),
                                 variant.direction == ui::LayoutDirection::rightToLeft ? 1 : 0,
                                 sideBySide ? 1 : 0};
  const auto release = [module](TulRenderResult* result) { module->release(result); };
  const std::unique_ptr<TulRenderResult, decltype(release)> result(module->draw(&request), release);
  if (result == nullptr) {
    return std::unexpected(DrawFailure{DrawFailure::Kind::failed, "the renderer module gave no result"});
  }
  std::string bytes(result->bytes, result->size);
  switch (result->status) {
    case kTulRenderDrawn: {
      std::vector<std::string> problems;
      const std::string_view listed(result->problems == nullptr ? "" : result->problems, result->problemsSize);
      for (std::size_t at = 0; at < listed.size();) {
        const std::size_t end = std::min(listed.find('\n', at), listed.size());
        problems.emplace_back(listed.substr(at, end - at));
        at = end + 1;
      }
      return Picture{result->width, result->height, std::move(bytes), std::move(problems), {}};
    }
    case kTulRenderUnreadable: return std::unexpected(DrawFailure{DrawFailure::Kind::unreadable, std::move(bytes)});
    default: return std::unexpected(DrawFailure{DrawFailure::Kind::failed, std::move(bytes)});
  }
}

std::expected<PictureComparison, std::string> PictureRenderer::compare(std::string_view expected,
                                                                       std::string_view actual, int threshold) const {
  const Loaded& outcome = loaded();
  if (!outcome) return std::unexpected(outcome.error().message);
  const TulRenderModule* module = *outcome;
  const TulCompareRequest request{expected.data(), expected.size(), actual.data(), actual.size(), threshold};
  const auto release = [module](TulCompareResult* result) { module->releaseComparison(result); };
  const std::unique_ptr<TulCompareResult, decltype(release)> result(module->compare(&request), release);
  if (result == nullptr) return std::unexpected(std::string("the renderer module gave no result"));
  std::string bytes(result->bytes, result->size);
  if (result->status != kTulRenderDrawn) return std::unexpected(std::move(bytes));
  return PictureComparison{result->width,     result->height, result->sizesDiffer == 1,
                           result->differing, result->total,  std::move(bytes)};
}

}  // namespace host
