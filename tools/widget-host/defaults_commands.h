// Defaults commands: `widget-host defaults read | read-type | write | delete`, through
// which a user or a script stands in for the host app on the preferences suites. They
// use the platform's UserDefaults directly, in the folder the environment selects
// (WIDGET_PLATFORM_PREFERENCES, else $XDG_DATA_HOME/widget-platform/preferences, else
// ~/.local/share/widget-platform/preferences), the same folder the extension uses.
//
// Promises: reading and deleting never create a suite; a suite without a file, or a
// key it does not hold, is an error (noInput). A write replaces one value atomically
// or changes nothing. Each command returns its whole output, or an error and no
// output.
#pragma once

#include <expected>
#include <filesystem>
#include <optional>
#include <string>

#include "host_error.h"
#include "output_format.h"
#include "platform/foundation/property_value.h"

namespace host {

// `defaults read SUITE [KEY]`: one value with its kind, or every key and value.
std::expected<std::string, HostError> defaultsRead(const std::string& suite, const std::optional<std::string>& key,
                                                   OutputFormat format);

// `defaults read-type SUITE KEY`: the kind of the value ("data", "string", ...).
std::expected<std::string, HostError> defaultsReadType(const std::string& suite, const std::string& key,
                                                       OutputFormat format);

// The value of `defaults write` as the command line gives it: exactly one member set.
struct WriteValueOptions {
  std::optional<std::string> dataHex;   // --data HEX
  std::optional<std::string> dataFile;  // --data-file FILE ("-": standard input)
  std::optional<std::string> string;    // --string TEXT
  std::optional<std::string> integer;   // --int N
  std::optional<std::string> real;      // --float X
  std::optional<std::string> boolean;   // --bool true|false
};

// The value to store. Fails with `usage` when not exactly one is given or the text
// does not read as its kind, and as readInputFile() does for --data-file.
std::expected<foundation::PropertyValue, HostError> valueToWrite(const WriteValueOptions& options);

// `defaults write SUITE KEY ...`: stores `value`, creating the suite when needed.
std::expected<std::string, HostError> defaultsWrite(const std::string& suite, const std::string& key,
                                                    const foundation::PropertyValue& value, OutputFormat format);

// `defaults delete SUITE [KEY]`: removes one key, or every key of the suite.
std::expected<std::string, HostError> defaultsDelete(const std::string& suite, const std::optional<std::string>& key,
                                                     OutputFormat format);

// `defaults export SUITE FILE`: writes a consistent copy of the whole suite to the new
// file FILE, safe while other processes use the suite.
std::expected<std::string, HostError> defaultsExport(const std::string& suite, const std::filesystem::path& file);

// `defaults import SUITE FILE`: replaces the whole suite (made when missing) with the
// suite file FILE, in one step that other processes see whole.
std::expected<std::string, HostError> defaultsImport(const std::string& suite, const std::filesystem::path& file);

}  // namespace host
