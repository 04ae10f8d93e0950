#include "usage_message.h"

#include <cctype>
#include <cstddef>

#include "platform/ui/tree_outline.h"
#include "quoted_text.h"

namespace host {

namespace {

// Whether `name` is an option that takes a value, of `level` or of a command above it
// (whose options may follow a subcommand's name).
bool takesValue(const CLI::App& level, const std::string& name) {
  for (const CLI::App* at = &level; at != nullptr; at = at->get_parent()) {
    if (const CLI::Option* option = at->get_option_no_throw(name)) return option->get_type_size_max() > 0;
  }
  return false;
}

std::string names(const CLI::App& app) {
  std::string list;
  for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
    list += (list.empty() ? "" : ", ") + command->get_name();
  }
  return list;
}

}  // namespace

std::string oneLine(std::string text) {
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) {
    text.replace(at, 1, at + 1 == text.size() ? "" : "; ");
  }
  return ui::withControlsEscaped(text);
}

const CLI::App* subcommandNamed(const CLI::App& level, const std::string& name) {
  const auto named = level.get_subcommands([&](const CLI::App* each) { return each->check_name(name); });
  return named.empty() ? nullptr : named.front();
}

std::vector<std::string> commandWords(const CLI::App& app, int argc, char** argv) {
  std::vector<std::string> words;
  const CLI::App* level = &app;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--") break;
    if (argument.size() > 1 && argument.front() == '-') {
      if (argument.find('=') == std::string::npos && takesValue(*level, argument)) ++i;
      continue;
    }
    words.push_back(argument);
    if (const CLI::App* command = subcommandNamed(*level, argument)) level = command;
  }
  return words;
}

std::string usageMessage(CLI::App& app, const CLI::ParseError& error, const std::vector<std::string>& words) {
  std::string path;
  const CLI::App* level = &app;
  std::size_t word = 0;
  for (;;) {
    const auto selected = level->get_subcommands();
    if (selected.empty()) break;
    level = selected.front();
    path += (path.empty() ? "" : " ") + level->get_name();
    ++word;
  }
  // Only a missing or unexpected word at a level that wants a command is about the
  // command; any other error (a bad --timeout) says what it says.
  const bool aboutCommand = dynamic_cast<const CLI::RequiredError*>(&error) != nullptr ||
                            dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr;
  const bool expectsCommand = aboutCommand && level->get_require_subcommand_min() > 0;
  std::string message;
  if (expectsCommand && word < words.size()) {
    message = "unknown command " + inQuotes(words[word]) + " (commands: " + names(*level) + ")";
  } else if (expectsCommand) {
    message = "a command is needed (commands: " + names(*level) + ")";
  } else {
    message = oneLine(error.what());
    if (message.size() > 1 && std::isupper(static_cast<unsigned char>(message[0])) &&
        std::islower(static_cast<unsigned char>(message[1]))) {
      message[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(message[0])));
    }
  }
  return (path.empty() ? "" : path + ": ") + message + "; see widget-host " + (path.empty() ? "" : path + " ") +
         "--help";
}

}  // namespace host
