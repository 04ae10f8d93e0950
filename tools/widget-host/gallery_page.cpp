#include "gallery_page.h"

#include <cstdio>

namespace host {

namespace {

constexpr std::string_view kStyle = R"(
body { margin: 24px; font: 13px/1.4 Inter, system-ui, sans-serif; background: #d8dde4; color: #1c1c1e; }
h1 { font-size: 22px; margin: 0 0 4px; }
h2 { font-size: 16px; margin: 0 0 2px; }
p.about { margin: 0 0 12px; color: #4a4f57; font-family: ui-monospace, monospace; font-size: 12px;
          overflow-wrap: anywhere; }
section { margin: 0 0 28px; }
div.row { display: flex; flex-wrap: wrap; align-items: flex-end; gap: 20px; }
figure { margin: 0; display: flex; flex-direction: column; align-items: center; gap: 6px; }
figcaption { color: #3a3f47; }
figure.misfit img { outline: 3px solid #d70015; outline-offset: 2px; }
ul.problems { margin: 8px 0 0; padding-left: 18px; color: #a0000f; font-family: ui-monospace, monospace;
              font-size: 12px; overflow-wrap: anywhere; }
)";

// Counts the pictures the browser loaded; written without '<' and '&', so that the
// page stays well-formed XML.
constexpr std::string_view kLoadCheck = R"(
window.addEventListener("load", function () {
  var images = document.images;
  var loaded = 0;
  for (var i = 0; i !== images.length; i += 1) {
    if (images[i].complete) {
      if (images[i].naturalWidth !== 0) loaded += 1;
    }
  }
  document.body.setAttribute("data-pictures-loaded", loaded + " of " + images.length);
});
)";

// A length in CSS pixels, as short as it can be: "170", "62.33".
std::string cssPixels(double points) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f", points);
  std::string text = buffer;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text + "px";
}

}  // namespace

std::string htmlEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string relativeLink(std::string_view file) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string out;
  for (const char c : file) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

std::string galleryPageHTML(const GalleryPage& page) {
  std::string out;
  out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n";
  out += "<title>" + htmlEscaped(page.title) + "</title>\n";
  out += "<style>" + std::string(kStyle) + "</style>\n</head>\n<body>\n";
  out += "<h1>" + htmlEscaped(page.title) + "</h1>\n";
  out += "<p class=\"about\">" + htmlEscaped(page.about) + "</p>\n";
  for (const GalleryRow& row : page.rows) {
    std::string problems;
    for (const GalleryFigure& figure : row.figures) {
      for (const std::string& problem : figure.problems) {
        problems += "<li>" + htmlEscaped(figure.label + ": " + problem) + "</li>\n";
      }
    }
    out += problems.empty() ? "<section>\n" : "<section class=\"misfit\">\n";
    out += "<h2>" + htmlEscaped(row.title) + "</h2>\n";
    if (!row.about.empty()) out += "<p class=\"about\">" + htmlEscaped(row.about) + "</p>\n";
    out += "<div class=\"row\">\n";
    for (const GalleryFigure& figure : row.figures) {
      out += figure.problems.empty() ? "<figure>" : "<figure class=\"misfit\">";
      out += "<img src=\"" + htmlEscaped(relativeLink(figure.file)) + "\" alt=\"" +
             htmlEscaped(row.title + ", " + figure.label) + "\" style=\"width: " + cssPixels(figure.width) +
             "; height: " + cssPixels(figure.height) + "\"/><figcaption>" + htmlEscaped(figure.label) +
             "</figcaption></figure>\n";
    }
    out += "</div>\n";
    if (!problems.empty()) out += "<ul class=\"problems\">\n" + problems + "</ul>\n";
    out += "</section>\n";
  }
  out += "<script>" + std::string(kLoadCheck) + "</script>\n</body>\n</html>\n";
  return out;
}

}  // namespace host
