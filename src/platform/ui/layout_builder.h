// Layout builder: turns a view tree into its elements (internal to layout). Each view
// becomes a Chain: its node's element (layout_leaves.h, layout_stack.h) wrapped in one
// element per modifier (layout_modifiers.h), a Conditional's modifiers applied to each
// of its views after their own. Texts are resolved to the string they show, fonts and
// colours to those in effect, image assets to their file and pixel size.
//
// The first view that cannot be laid out (an unknown symbol, a missing or unreadable
// image, a tree nested too deeply) is remembered as error(), named by its path from
// the root; building goes on with an Empty in its place, and the caller gives up.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/ui/layout.h"
#include "platform/ui/layout_element.h"
#include "platform/ui/layout_stack.h"
#include "platform/ui/view.h"

namespace ui::elements {

// Views and modifiers along one path; bounds the recursion of every pass.
inline constexpr int kMaxNesting = 4096;

// A modifier with where it was written, for error messages.
struct ModifierRef {
  const Modifier* modifier;
  std::string path;
};

class Builder {
 public:
  explicit Builder(const LayoutContext& context) : context_(context) {}

  const std::optional<LayoutError>& error() const { return error_; }

  // The chain for `view` at `path`, in the environment `outside` it; `extra` are
  // modifiers of enclosing conditionals, applied after the view's own. `depth` counts
  // views from the root, `nesting` views and modifiers; `axis` is the stack the view
  // is a child of, if any.
  Chain chain(const View& view, const Environment& outside, const std::vector<ModifierRef>& extra,
              const std::string& path, int depth, int nesting, std::optional<Axis> axis);

 private:
  void fail(LayoutError::Kind kind, const std::string& path, std::string message);
  std::vector<Slot> slots(std::span<const View> children, const Environment& environment,
                          const std::vector<ModifierRef>& extra, const std::string& path, int depth, int nesting,
                          std::optional<Axis> axis);
  std::unique_ptr<Element> node(const View& view, const Environment& environment, const std::string& path, int depth,
                                int nesting, std::optional<Axis> axis);
  std::unique_ptr<Element> image(const Image& image, const Environment& environment, const std::string& path);

  const LayoutContext& context_;
  std::optional<LayoutError> error_;
};

}  // namespace ui::elements
