// Gallery page: the index.html of a gallery, a static page that shows the gallery's
// pictures side by side in labelled rows, each at its size in points (so a picture
// drawn at scale 3 shows sharp on a high-density screen).
//
// The page loads nothing but its pictures, by relative links: the folder can be moved
// or opened from disk. Every text and attribute is escaped. It is also well-formed
// XML (every element closed, the one script free of '<' and '&'), so that tests can
// parse it strictly. It needs no script to show the pictures; a small one marks on
// <body data-pictures-loaded="N of M"> how many of them the browser could load, for
// checks that open the page in a browser. A picture in which something does not fit
// is outlined (<figure class="misfit">), and its section lists what does not fit.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace host {

struct GalleryFigure {
  std::string label;  // what it shows ("lock screen")
  std::string file;   // relative to the page
  double width = 0;   // in points, the size it is shown at
  double height = 0;
  std::vector<std::string> problems;  // what does not fit in it ("PATH: WHAT IS MISSING"); marked on the page
};

struct GalleryRow {
  std::string title;  // "Playing"
  std::string about;  // a line under the title, e.g. the state shown
  std::vector<GalleryFigure> figures;
};

struct GalleryPage {
  std::string title;
  std::string about;
  std::vector<GalleryRow> rows;
};

// `text` with &, <, >, " and ' as character references: safe in text and in quoted
// attributes.
std::string htmlEscaped(std::string_view text);

// A relative link to `file`: bytes outside A-Z a-z 0-9 - . _ ~ / percent-encoded.
std::string relativeLink(std::string_view file);

std::string galleryPageHTML(const GalleryPage& page);

}  // namespace host
