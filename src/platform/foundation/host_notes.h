// Host notes: what the code answering one host request wants the widget host to know
// besides the answer itself, such as why a stored value was not used and the default
// was shown instead. The platform's server clears the notes before it asks a provider
// and sends what was noted with the answer (docs/protocol.md, "notes").
//
// Notes are kept per thread, so that requests served on different threads never mix.
#pragma once

#include <string>
#include <vector>

namespace foundation {

// Adds one line (no trailing newline) to this thread's notes.
void noteForHost(std::string note);

// This thread's notes, in order, leaving none.
std::vector<std::string> takeHostNotes();

}  // namespace foundation
