// Tree outline: a short text form of a view tree for reading in a terminal and for
// comparing in tests. One node per line, indented two spaces per level, its own
// attributes in brackets and its modifiers after it in the order applied:
//
//   VStack(alignment: center) .padding(all) .foregroundColor(white) .background
//     Text "Kadenzo" [font: caption]
//     Text "4/4" .opacity(0.5) .font(caption2)
//     Image("background") [resizable] .aspectRatio(fill) .overlay(Material thin)
//     .background:
//       ZStack(alignment: center)
//
// A Text shows the string displayed, in quotes (with \" \\ \n \t \r, and \u{XX} for
// other control characters and the direction controls, so that it stays on its line
// and reads as stored). Stacks always show their alignment; other arguments appear
// when they differ from the platform's default. A modifier's view argument that fits
// on one line is written inside the modifier (`.overlay(Color cyan.opacity(0.6))`); a
// larger one follows the node's children as a block headed `.background:` or
// `.overlay:`, in modifier order. Numbers are written in their shortest form; infinity
// as "infinity".
#pragma once

#include <string>
#include <string_view>

#include "platform/ui/localizer.h"
#include "platform/ui/view.h"

namespace ui {

// `text` in double quotes as the outline shows a Text: '"' and '\\' escaped, and the
// rest as withControlsEscaped() writes it, so that it stays on one line.
std::string outlineQuoted(std::string_view text);

// `text` with every character that would act on a terminal instead of being shown
// written as an escape: \n, \t and \r, other control characters (C0, DEL, C1 and NEL),
// the line and paragraph separators and the direction controls and marks as \u{XX}
// (their code point in hex), and a byte that is not UTF-8 as \x{XX}.
std::string withControlsEscaped(std::string_view text);

// The outline, each line ended by '\n'. `localizer` fills the texts.
std::string outline(const View& view, const Localizer& localizer = {});

}  // namespace ui
