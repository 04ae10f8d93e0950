// PictureRenderer: widget-host's drawing stack, which lives in a module of its own
// (widget-host-render.so, render_module_abi.h) and is loaded with dlopen() only when a
// command draws. Text and JSON commands never load it, so they start with the dozen
// libraries the host needs rather than the forty-odd of cairo, pango and fontconfig.
//
// The module is found beside the host, as the extension is (shipped_file.h): the
// installed host loads the installed module, whose place relative to the host's own
// folder is fixed when the project is configured; the host that runs from the build
// tree loads the build tree's module. Nothing else is searched (no LD_LIBRARY_PATH,
// no working folder).
//
// A renderer is a handle, cheap to copy: the module stays loaded until the process
// exits. It may be loaded only when first needed, so that a command can start the
// extension first and load the module (forty-odd libraries) while the extension
// starts; copies share the one load. draw() may be called from any thread.
#pragma once

#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host_error.h"
#include "output_format.h"
#include "platform/ui/layout_surface.h"
#include "platform/ui/variant.h"
#include "render_module_abi.h"
#include "shipped_file.h"

namespace host {

// The module this host loads: the build tree's for the host in its build folder, else
// the installed one beside the host. Empty when the host's own folder is unknown.
std::filesystem::path renderModulePath(const ShippedFileSearch& search);

// A drawn view: its size in points (as laid out on the phone), its encoded file, and
// what of it does not fit ("PATH: WHAT IS MISSING", platform/ui/layout_problems.h).
struct Picture {
  double width = 0;
  double height = 0;
  std::string bytes;
  std::vector<std::string> problems;
  std::string outline;  // the tree drawn, as the host outlines it (set by answer_pictures.h)
};

// How a picture differs from the one expected: pixels whose colour differs by more
// than the threshold, and a picture that shows them (none when the sizes differ).
struct PictureComparison {
  int width = 0;  // the expected picture's, in pixels
  int height = 0;
  bool sizesDiffer = false;
  std::int64_t differing = 0;
  std::int64_t total = 0;
  std::string difference;  // PNG
};

// Why a view was not drawn: its JSON does not read back as a view tree (unreadable:
// the extension broke the protocol), or it cannot be laid out or drawn (failed).
struct DrawFailure {
  enum class Kind { unreadable, failed };
  Kind kind;
  std::string message;
};

class PictureRenderer {
 public:
  // Loads the module at `module`. Fails with `unavailable`, naming the module's path
  // and the dynamic loader's reason (a missing file, not a shared object, a missing
  // library, a module of another interface version).
  static std::expected<PictureRenderer, HostError> load(const std::filesystem::path& module);

  // The same module, loaded by the first call that needs it: ready(), draw() or
  // compare(), on whichever thread makes it (the others wait for it).
  static PictureRenderer loadOnFirstUse(const std::filesystem::path& module);

  // Loads the module if it is not loaded yet; fails as load() does.
  std::expected<void, HostError> ready() const;

  // Lays `treeJSON` out on `surface` of the variant's phone, at its text size, and
  // draws it at `scale` pixels per point. The tree is the JSON text of a view tree, or
  // for Surface::islandExpanded of the array of its regions; named images are read
  // from the bundle folder `assets`. A picture drawn `sideBySide` with others keeps
  // to the calling thread; otherwise the module may use every processor for it.
  std::expected<Picture, DrawFailure> draw(ui::Surface surface, std::string_view treeJSON,
                                           const std::filesystem::path& assets, ImageFormat format, int scale,
                                           ui::Variant variant = {}, bool sideBySide = false) const;

  // Compares two PNG pictures; fails, saying why, when one does not decode.
  std::expected<PictureComparison, std::string> compare(std::string_view expected, std::string_view actual,
                                                        int threshold) const;

 private:
  using Loaded = std::expected<const TulRenderModule*, HostError>;
  struct Module;  // the module's path, and the outcome of loading it, once loaded
  explicit PictureRenderer(std::shared_ptr<Module> module) : module_(std::move(module)) {}
  static Loaded loadModule(const std::filesystem::path& module);
  const Loaded& loaded() const;

  std::shared_ptr<Module> module_;
};

}  // namespace host
