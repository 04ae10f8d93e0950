// Test support for pictures and pages as the widget host writes them: a PNG decoded
// by cairo, and XML (SVG, the gallery's page) parsed strictly by libxml2, whose
// elements can then be looked at. Without libxml2 (scripts/install-deps.sh --test
// installs it) the XML checks are skipped, saying so.
#pragma once

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/layout_surface.h"
#include "support/files.h"

#ifdef TUL_HAVE_LIBXML2
#include <libxml/parser.h>
#include <libxml/tree.h>
#endif

namespace tul::testing {

struct PixelSize {
  int width = 0;
  int height = 0;
};

// The pixel size of the PNG at `path`, or a failure saying why it does not decode.
inline ::testing::AssertionResult decodePNG(const std::filesystem::path& path, PixelSize& size) {
  cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
  const cairo_status_t status = cairo_surface_status(surface);
  if (status == CAIRO_STATUS_SUCCESS) {
    size = PixelSize{cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface)};
  }
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    return ::testing::AssertionFailure() << path << " does not decode: " << cairo_status_to_string(status);
  }
  return ::testing::AssertionSuccess();
}

// Whether `size` is that of `surface` at `scale`: each side its points times the
// scale, rounded, within the surface's range where the side follows the content.
inline ::testing::AssertionResult fitsSurface(PixelSize size, ui::Surface surface, int scale) {
  const ui::SurfaceGeometry shape = ui::geometry(surface);
  const auto pixels = [scale](double points) { return static_cast<int>(std::lround(points * scale)); };
  const bool width = size.width >= pixels(shape.minWidth) && size.width <= pixels(shape.maxWidth);
  const bool height = size.height >= pixels(shape.minHeight) && size.height <= pixels(shape.maxHeight);
  if (width && height) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << size.width << " x " << size.height << " pixels is not " << ui::name(surface)
                                       << " at scale " << scale << " (" << pixels(shape.minWidth) << "..."
                                       << pixels(shape.maxWidth) << " x " << pixels(shape.minHeight) << "..."
                                       << pixels(shape.maxHeight) << ")";
}

// One element of a parsed document: its name, attributes and text, and its children.
struct XmlElement {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;  // all text inside it, children's included
  std::vector<XmlElement> children;

  std::string attribute(const std::string& key) const {
    for (const auto& [each, value] : attributes) {
      if (each == key) return value;
    }
    return {};
  }
  // Every element named `wanted` in this subtree, in document order.
  std::vector<const XmlElement*> all(const std::string& wanted) const {
    std::vector<const XmlElement*> out;
    if (name == wanted) out.push_back(this);
    for (const XmlElement& child : children) std::ranges::copy(child.all(wanted), std::back_inserter(out));
    return out;
  }
};

inline constexpr bool kHaveXmlParser =
#ifdef TUL_HAVE_LIBXML2
    true;
#else
    false;
#endif

#define TUL_SKIP_WITHOUT_XML_PARSER()                                                                  \
  if (!::tul::testing::kHaveXmlParser) {                                                               \
    GTEST_SKIP() << "built without libxml2 (libxml2-dev); scripts/install-deps.sh --test installs it"; \
  }

#ifdef TUL_HAVE_LIBXML2
inline XmlElement elementFrom(const xmlNode* node) {
  XmlElement element;
  element.name = reinterpret_cast<const char*>(node->name);
  for (const xmlAttr* attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
    xmlChar* value = xmlNodeGetContent(reinterpret_cast<const xmlNode*>(attribute));
    element.attributes.emplace_back(reinterpret_cast<const char*>(attribute->name),
                                    value == nullptr ? "" : reinterpret_cast<const char*>(value));
    xmlFree(value);
  }
  xmlChar* text = xmlNodeGetContent(node);
  element.text = text == nullptr ? "" : reinterpret_cast<const char*>(text);
  xmlFree(text);
  for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (child->type == XML_ELEMENT_NODE) element.children.push_back(elementFrom(child));
  }
  return element;
}
#endif

// `text` parsed as well-formed XML, no network, into its root element; a failure
// with libxml2's reason when it is not well-formed.
inline ::testing::AssertionResult parseXML(const std::string& text, XmlElement& root) {
#ifdef TUL_HAVE_LIBXML2
  std::string reason;
  xmlSetStructuredErrorFunc(&reason, [](void* sink, xmlErrorPtr error) {
    if (error != nullptr && error->message != nullptr && static_cast<std::string*>(sink)->empty()) {
      *static_cast<std::string*>(sink) = "line " + std::to_string(error->line) + ": " + error->message;
    }
  });
  xmlDocPtr document = xmlReadMemory(text.data(), static_cast<int>(text.size()), "document.xml", nullptr,
                                     XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  if (document == nullptr) return ::testing::AssertionFailure() << "not well-formed XML: " << reason;
  root = elementFrom(xmlDocGetRootElement(document));
  xmlFreeDoc(document);
  return ::testing::AssertionSuccess();
#else
  (void)text;
  (void)root;
  return ::testing::AssertionFailure() << "built without libxml2";
#endif
}

// Whether `file` is a picture of `surface` at `scale`: a PNG that decodes, or
// well-formed SVG whose width and height are the pixels.
inline ::testing::AssertionResult isPicture(const std::filesystem::path& file, ui::Surface surface, int scale) {
  PixelSize size;
  if (file.extension() == ".png") {
    if (auto decoded = decodePNG(file, size); !decoded) return decoded;
  } else {
    if (!kHaveXmlParser) return ::testing::AssertionSuccess();
    XmlElement root;
    if (auto parsed = parseXML(readFile(file), root); !parsed) return parsed;
    if (root.name != "svg") return ::testing::AssertionFailure() << file << ": the root is <" << root.name << ">";
    size = PixelSize{std::stoi(root.attribute("width")), std::stoi(root.attribute("height"))};  // "340px"
  }
  return fitsSurface(size, surface, scale) << " (" << file.filename() << ")";
}

// The surface a picture shows, by its name: "<anything>-<presentation>.<format>" for
// a presentation of the Live Activity, else the widget.
inline ui::Surface surfaceOf(const std::string& name) {
  for (const auto& [presentation, surface] : {std::pair{"-lock-screen.", ui::Surface::lockScreen},
                                              {"-expanded.", ui::Surface::islandExpanded},
                                              {"-compact-leading.", ui::Surface::islandCompactLeading},
                                              {"-compact-trailing.", ui::Surface::islandCompactTrailing},
                                              {"-minimal.", ui::Surface::islandMinimal},
                                              {"-compact.", ui::Surface::islandCompact}}) {
    if (name.find(presentation) != std::string::npos) return surface;
  }
  return ui::Surface::smallWidget;
}

}  // namespace tul::testing
