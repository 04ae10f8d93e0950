// What widget-host says of a command line it cannot run: the words that name the
// command, and one line for a parse error that names the command it concerns.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace host {

// A message as one line that is safe to put on a terminal: its lines joined by "; ",
// and what else would act on the terminal (an extension's message may hold an ESC)
// written as escapes.
std::string oneLine(std::string text);

// The subcommand of `level` named `name`, or none.
const CLI::App* subcommandNamed(const CLI::App& level, const std::string& name);

// The words of the command line that are not options or option values: the command
// and its subcommands first. Whether an option takes a value is what `app` says of
// it, at the command reached so far; an option it does not know is taken for a flag.
std::vector<std::string> commandWords(const CLI::App& app, int argc, char** argv);

// One line for a parse error, naming the command it concerns; an unknown command or
// subcommand is named as such. `words` are the line's commandWords.
std::string usageMessage(CLI::App& app, const CLI::ParseError& error, const std::vector<std::string>& words);

}  // namespace host
