// Layout leaves: the elements of views that hold no other view (internal to layout).
// A text is set through the TextMeasurer (layout_text.h); a symbol takes the box its
// font gives it (layout_symbol.h); a picture keeps its pixel size unless resizable,
// when it takes what it is offered; colours and materials fill what they are offered
// (kUnproposedFill square when nothing is); a spacer grows along its stack's axis from
// its minimum length (kDefaultSpacerLength unless given) and takes nothing across it;
// Empty takes no space.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/layout_element.h"
#include "platform/ui/layout_symbol.h"
#include "platform/ui/text_measurer.h"

namespace ui::elements {

// Colours and materials offered nothing take this square, as the platform's shapes do.
inline constexpr double kUnproposedFill = 10;

// `shown` must be sanitized already (sanitizedText).
std::unique_ptr<Element> textElement(std::string shown, ResolvedFont font, Color color, TextMeasurer& measurer);
std::unique_ptr<Element> symbolElement(std::string name, SymbolBox box, ResolvedFont font, Color color);
std::unique_ptr<Element> pictureElement(PlacedPicture picture);
// A colour or a material; `type` is the view's type in the result ("Color", "Material").
std::unique_ptr<Element> fillElement(std::string type, PlacedContent content);
// `axis`: that of the stack holding the spacer, if any.
std::unique_ptr<Element> spacerElement(std::optional<Axis> axis, double minLength);
std::unique_ptr<Element> emptyElement();

}  // namespace ui::elements
