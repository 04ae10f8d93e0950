#include "defaults_commands.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <vector>

#include "hex.h"
#include "input_file.h"
#include "json_rpc.h"
#include "platform/foundation/user_defaults.h"
#include "quoted_text.h"
#include "stored_value_forms.h"

namespace host {

namespace {

namespace fs = std::filesystem;
using foundation::PropertyValue;
using foundation::UserDefaults;

// The platform's rules for a suite name, checked here so that a bad name is reported
// as such rather than as a suite that cannot be opened.
std::optional<std::string> suiteNameProblem(const std::string& suite) {
  if (suite.empty()) return "it is empty";
  if (suite.size() > 240) return "it is longer than 240 bytes";
  if (suite == "." || suite == "..") return "it is \".\" or \"..\"";
  if (suite.find('/') != std::string::npos) return "it holds '/'";
  if (suite.find('\0') != std::string::npos) return "it holds a NUL byte";
  return std::nullopt;
}

std::string suiteText(const std::string& suite) { return "suite " + inQuotes(suite); }

std::expected<void, HostError> checkSuiteName(const std::string& suite) {
  if (auto problem = suiteNameProblem(suite)) {
    return std::unexpected(HostError{ExitCode::usage, "bad suite name " + inQuotes(suite) + ": " + *problem});
  }
  return {};
}

// Why `suite` could not be opened, for reading (a missing suite is not made) or for
// writing. A file that is not a regular file is missing input either way; other
// failures to open for writing are failures to write.
HostError cannotOpen(const std::string& suite, foundation::SuiteOpenFailure failure, bool forWriting) {
  const std::string file = UserDefaults::suitePath(suite).string();
  const std::string reason(foundation::describe(failure));
  if (forWriting && failure != foundation::SuiteOpenFailure::notRegularFile) {
    return HostError{ExitCode::ioError, "cannot open or create " + suiteText(suite) + " at " + file + ": " + reason};
  }
  return HostError{ExitCode::noInput, "cannot open " + suiteText(suite) + " (" + file + "): " + reason};
}

// A handle on a suite that exists; never creates one.
std::expected<UserDefaults, HostError> openExisting(const std::string& suite) {
  if (auto checked = checkSuiteName(suite); !checked) return std::unexpected(checked.error());
  const fs::path file = UserDefaults::suitePath(suite);
  std::error_code error;
  if (!fs::exists(file, error)) {
    return std::unexpected(HostError{ExitCode::noInput, "no " + suiteText(suite) + " (no file " + file.string() + ")"});
  }
  auto defaults = UserDefaults::open(suite);
  if (!defaults) return std::unexpected(cannotOpen(suite, defaults.error(), false));
  return std::move(*defaults);
}

bool holdsKey(const UserDefaults& defaults, const std::string& key) {
  const auto keys = defaults.keys();
  return std::binary_search(keys.begin(), keys.end(), key);
}

std::expected<PropertyValue, HostError> readValue(const UserDefaults& defaults, const std::string& key) {
  if (auto value = defaults.object(key)) return std::move(*value);
  if (!holdsKey(defaults, key)) {
    return std::unexpected(
        HostError{ExitCode::noInput, "no key " + inQuotes(key) + " in " + suiteText(defaults.suiteName())});
  }
  return std::unexpected(HostError{ExitCode::dataError, "the value under key " + inQuotes(key) + " in " +
                                                            suiteText(defaults.suiteName()) +
                                                            " cannot be read: its stored form is damaged"});
}

std::string jsonOutput(const Json& json) { return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n"; }

HostError defaultsFailure(const foundation::DefaultsError& error) {
  using Code = foundation::DefaultsError::Code;
  switch (error.code) {
    case Code::invalidKey: return HostError{ExitCode::usage, error.message};
    case Code::valueTooLarge:
    case Code::unsupportedValue: return HostError{ExitCode::dataError, error.message};
    case Code::storageFailed: return HostError{ExitCode::ioError, error.message};
  }
  return HostError{ExitCode::internal, error.message};
}

HostError badValue(const std::string& option, const std::string& text, const std::string& reason) {
  return HostError{ExitCode::usage, option + ": " + inQuotes(text) + " " + reason};
}

template <typename Number>
std::optional<Number> parseWhole(const std::string& text) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace

std::expected<std::string, HostError> defaultsRead(const std::string& suite, const std::optional<std::string>& key,
                                                   OutputFormat format) {
  auto defaults = openExisting(suite);
  if (!defaults) return std::unexpected(defaults.error());
  if (key) {
    auto value = readValue(*defaults, *key);
    if (!value) return std::unexpected(value.error());
    return format == OutputFormat::json ? jsonOutput(valueJSON(*value)) : valueText(*value);
  }
  const auto keys = defaults->keys();
  Json values = Json::object();
  std::string text = suiteText(suite) + " (" + UserDefaults::suitePath(suite).string() +
                     "): " + std::to_string(keys.size()) + (keys.size() == 1 ? " key\n" : " keys\n");
  for (const std::string& each : keys) {
    auto value = readValue(*defaults, each);
    if (!value) {
      // One damaged value does not hide the others.
      values[each] = nullptr;
      text += keyText(each) + ": (cannot be read)\n";
      continue;
    }
    values[each] = valueJSON(*value);
    text += keyText(each) + ": " + valueText(*value);
  }
  if (format == OutputFormat::json) return jsonOutput(Json{{"suite", suite}, {"values", std::move(values)}});
  return text;
}

std::expected<std::string, HostError> defaultsReadType(const std::string& suite, const std::string& key,
                                                       OutputFormat format) {
  auto defaults = openExisting(suite);
  if (!defaults) return std::unexpected(defaults.error());
  auto value = readValue(*defaults, key);
  if (!value) return std::unexpected(value.error());
  const std::string kind(foundation::kindName(value->kind()));
  return format == OutputFormat::json ? jsonOutput(Json{{"type", kind}}) : kind + "\n";
}

std::expected<PropertyValue, HostError> valueToWrite(const WriteValueOptions& options) {
  const int given = int{options.dataHex.has_value()} + int{options.dataFile.has_value()} +
                    int{options.string.has_value()} + int{options.integer.has_value()} + int{options.real.has_value()} +
                    int{options.boolean.has_value()};
  if (given != 1) {
    return std::unexpected(
        HostError{ExitCode::usage, std::string(given == 0 ? "no value given" : "several values given") +
                                       ": give exactly one of --data, --data-file, --string, "
                                       "--int, --float, --bool"});
  }
  if (options.dataHex) {
    auto bytes = bytesFromHex(*options.dataHex);
    if (!bytes) return std::unexpected(HostError{ExitCode::usage, "--data: " + bytes.error()});
    return PropertyValue{foundation::dataFromString(*bytes)};
  }
  if (options.dataFile) {
    auto bytes = readInputFile(*options.dataFile, "data file", UserDefaults::kMaxValueBytes);
    if (!bytes) return std::unexpected(bytes.error());
    return PropertyValue{foundation::dataFromString(*bytes)};
  }
  if (options.string) return PropertyValue{*options.string};
  if (options.integer) {
    auto number = parseWhole<std::int64_t>(*options.integer);
    if (!number)
      return std::unexpected(badValue("--int", *options.integer, "is not a whole number from -2^63 to 2^63-1"));
    return PropertyValue{*number};
  }
  if (options.real) {
    auto number = parseWhole<double>(*options.real);
    if (!number) return std::unexpected(badValue("--float", *options.real, "is not a number"));
    return PropertyValue{*number};
  }
  if (*options.boolean == "true") return PropertyValue{true};
  if (*options.boolean == "false") return PropertyValue{false};
  return std::unexpected(badValue("--bool", *options.boolean, "is neither true nor false"));
}

std::expected<std::string, HostError> defaultsWrite(const std::string& suite, const std::string& key,
                                                    const PropertyValue& value, OutputFormat format) {
  if (auto checked = checkSuiteName(suite); !checked) return std::unexpected(checked.error());
  auto defaults = UserDefaults::open(suite);
  if (!defaults) return std::unexpected(cannotOpen(suite, defaults.error(), true));
  if (auto written = defaults->set(value, key); !written) return std::unexpected(defaultsFailure(written.error()));
  if (format == OutputFormat::json) {
    return jsonOutput(Json{{"suite", suite}, {"key", key}, {"type", std::string(foundation::kindName(value.kind()))}});
  }
  return std::string();
}

std::expected<std::string, HostError> defaultsDelete(const std::string& suite, const std::optional<std::string>& key,
                                                     OutputFormat format) {
  auto defaults = openExisting(suite);
  if (!defaults) return std::unexpected(defaults.error());
  std::vector<std::string> deleted;
  if (key) {
    if (!holdsKey(*defaults, *key)) {
      return std::unexpected(HostError{ExitCode::noInput, "no key " + inQuotes(*key) + " in " + suiteText(suite)});
    }
    if (auto removed = defaults->removeObject(*key); !removed) return std::unexpected(defaultsFailure(removed.error()));
    deleted.push_back(*key);
  } else {
    deleted = defaults->keys();
    if (auto removed = defaults->removeAll(); !removed) return std::unexpected(defaultsFailure(removed.error()));
  }
  if (format == OutputFormat::json) return jsonOutput(Json{{"suite", suite}, {"deleted", deleted}});
  return std::string();
}

}  // namespace host

namespace host {

std::expected<std::string, HostError> defaultsExport(const std::string& suite, const std::filesystem::path& file) {
  auto defaults = openExisting(suite);
  if (!defaults) return std::unexpected(defaults.error());
  std::error_code error;
  if (fs::exists(fs::symlink_status(file, error))) {
    return std::unexpected(HostError{ExitCode::cannotCreate,
                                     "the output " + inQuotes(file.string()) + " already exists; name a new file"});
  }
  if (auto exported = defaults->exportTo(file); !exported) {
    return std::unexpected(HostError{ExitCode::cannotCreate, exported.error().message});
  }
  return std::string();
}

std::expected<std::string, HostError> defaultsImport(const std::string& suite, const std::filesystem::path& file) {
  if (auto checked = checkSuiteName(suite); !checked) return std::unexpected(checked.error());
  std::error_code error;
  if (!fs::exists(file, error)) {
    return std::unexpected(HostError{ExitCode::noInput, "no file " + inQuotes(file.string()) + " to import"});
  }
  auto defaults = UserDefaults::open(suite);
  if (!defaults) return std::unexpected(cannotOpen(suite, defaults.error(), true));
  if (auto imported = defaults->importFrom(file); !imported) return std::unexpected(defaultsFailure(imported.error()));
  return std::string();
}

}  // namespace host
