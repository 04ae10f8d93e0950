// Extension location: which extension executable the host starts, and where it looked.
//
// The default is the installed bundle beside the installed host (its place relative to
// the host's own folder is fixed when the project is configured), and, only for the
// host that runs from the build tree, the build tree's bundle. Either way the host
// never searches PATH or the working folder.
#pragma once

#include <expected>
#include <filesystem>
#include <optional>

#include "host_error.h"
#include "shipped_file.h"

namespace host {

// The absolute path of the executable to start. `requested` (from --extension) is an
// executable or a bundle folder "<Name>.appex" holding "<Name>". Fails (exit code
// `unavailable`) when there is no such file, naming the places looked at.
std::expected<std::filesystem::path, HostError> locateExtension(const std::optional<std::filesystem::path>& requested,
                                                                const ShippedFileSearch& search);

}  // namespace host
