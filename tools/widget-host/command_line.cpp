#include "command_line.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <expected>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "activity_command_line.h"
#include "command.h"
#include "defaults_commands.h"
#include "extension_locator.h"
#include "gallery_command.h"
#include "host_error.h"
#include "live_commands.h"
#include "output_files.h"
#include "output_format.h"
#include "picture_options.h"
#include "picture_renderer.h"
#include "platform/foundation/preferences_location.h"
#include "usage_message.h"
#include "widget_commands.h"

namespace host {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPresentations[] = {"lock-screen",      "expanded", "compact-leading",
                                          "compact-trailing", "minimal",  "all"};

// widget-host's commands, in the order its help lists them, with what the help says of each.
constexpr std::pair<const char*, const char*> kCommands[] = {
    {"widgets", "What the extension's bundle declares"},
    {"placeholder", "The placeholder entry shown while the widget is prepared"},
    {"snapshot", "A snapshot entry, as for the widget gallery"},
    {"timeline", "The widget's timeline: what the home screen shows"},
    {"activity", "The Live Activity's presentations for coded attributes and state"},
    {"gallery",
     "Pictures (PNG, or SVG with --format svg) of the widget's placeholder, snapshot and timeline and of every Live "
     "Activity presentation for several states, in one folder with an index.html that shows them side by side"},
    {"defaults", "Read and write preferences suites, as the host app does"},
    {"serve", "A live host with a local web page that follows the stored preset"},
    {"watch", "A live host that prints the timeline's outline after each reload"},
    {"reload", "Ask the live host of this preferences folder to reload its timelines"},
};

// The options every command takes, before or after the command's name.
struct GlobalOptions {
  std::string format = "text";
  std::string extension;
  double timeoutSeconds = 10;
  std::string preferences;
};

OutputFormat formatNamed(const std::string& name) {
  for (const auto& [each, format] : kOutputFormatNames) {
    if (each == name) return format;
  }
  return OutputFormat::text;  // the option's check admits only the names above
}

std::vector<std::string> formatNames() {
  std::vector<std::string> names;
  for (const auto& entry : kOutputFormatNames) names.emplace_back(entry.first);
  return names;
}

ShippedFileSearch defaultSearch() {
  return ShippedFileSearch{runningExecutableFolder(), fs::path(TUL_HOST_INSTALLED_EXTENSION),
                           fs::path(TUL_HOST_BUILD_FOLDER), fs::path(TUL_HOST_BUILD_EXTENSION)};
}

// The drawing module, loaded only by the commands that draw, once they have started
// the extension (which starts meanwhile) and before they ask it anything.
fs::path renderModule() {
  return renderModulePath(ShippedFileSearch{runningExecutableFolder(), fs::path(TUL_HOST_INSTALLED_RENDER_MODULE),
                                            fs::path(TUL_HOST_BUILD_FOLDER), fs::path(TUL_HOST_BUILD_RENDER_MODULE)});
}
PictureRenderer loadRenderer() { return PictureRenderer::loadOnFirstUse(renderModule()); }

int fail(const std::string& command, const HostError& error) {
  std::cerr << "widget-host: " << (command.empty() ? "" : command + ": ") << oneLine(error.message) << std::endl;
  return static_cast<int>(error.code);
}

}  // namespace

int runCommandLine(int argc, char** argv) {
  CLI::App app{
      "Stands in for the phone's widget host: starts the widget extension, asks it for entries and Live Activity "
      "presentations and shows them as text, JSON or pictures, and reads and writes preferences suites as the host "
      "app does.",
      "widget-host"};
  app.fallthrough();
  app.require_subcommand(1);

  GlobalOptions global;
  auto* formatOption =
      app.add_option("--format", global.format,
                     "How to show results: text (an outline), json, or pictures of what the phone shows: png or svg "
                     "(with --output)");
  formatOption->type_name("FORMAT")->check(CLI::IsMember(formatNames()))->capture_default_str();
  app.add_option("--extension", global.extension,
                 "The extension to start: its executable or its .appex folder (default: the installed one)")
      ->type_name("PATH");
  app.add_option("--timeout", global.timeoutSeconds, "Seconds to wait for each answer of the extension")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            double seconds = 0;
            const char* end = text.data() + text.size();
            const auto [stop, error] = std::from_chars(text.data(), end, seconds);
            if (error == std::errc() && stop == end && seconds >= 0.001 && seconds <= 86400) return {};
            return "\"" + text + "\" is not a number of seconds from 0.001 to 86400";
          },
          "SECONDS"))
      ->capture_default_str();
  app.add_option("--preferences", global.preferences,
                 std::string("The folder of the preferences suites, for this tool and the extension (default: $") +
                     foundation::kPreferencesVariable + ", else $XDG_DATA_HOME/widget-platform/preferences)")
      ->type_name("DIR")
      ->check(CLI::Validator(
          [](const std::string& text) -> std::string {
            return text.empty() ? "an empty name is no folder; leave the option out for the default" : "";
          },
          "DIR"));

  // Every command is listed, for the help and for the messages that name the commands;
  // only the one the line names gets its options and its action (every one, when it
  // names none). Making the options of them all is most of this program's own work in
  // a cold start, more than any one command's. The callbacks run during the parse,
  // after the blocks that make the commands: what they use by reference lives in this
  // function's scope, and what a block makes (an option, a command) they copy.
  for (const auto& [name, about] : kCommands) app.add_subcommand(name, about);
  const std::vector<std::string> words = commandWords(app, argc, argv);
  const std::string named = words.empty() || subcommandNamed(app, words.front()) == nullptr ? "" : words.front();
  const auto made = [&](const char* name) {
    return named.empty() || named == name ? app.get_subcommand(name) : nullptr;
  };

  std::optional<Command> chosen;
  const auto extensionOptions = [&]() -> std::expected<ExtensionOptions, HostError> {
    std::optional<fs::path> requested;
    if (!global.extension.empty()) requested = fs::path(global.extension);
    auto executable = locateExtension(requested, defaultSearch());
    if (!executable) return std::unexpected(executable.error());
    const auto milliseconds = static_cast<std::int64_t>(std::ceil(global.timeoutSeconds * 1000.0));
    return ExtensionOptions{*executable, std::chrono::milliseconds(milliseconds)};
  };
  const auto format = [&] { return formatNamed(global.format); };
  // The renderer for --format png or svg; none for text and JSON, which never load it.
  // It is loaded once the extension has been started, before the extension is asked
  // anything (and the command fails as loading it failed).
  const auto rendererIfDrawing = [&](bool laysOut) -> std::optional<PictureRenderer> {
    if (!imageFormat(format()) && !laysOut) return std::nullopt;
    return loadRenderer();
  };

  // widgets
  std::string widgetsLocale;
  if (CLI::App* widgets = made("widgets")) {
    widgets->add_option("--locale", widgetsLocale, "The language of names and descriptions (default en)");
    widgets->callback([&] {
      chosen = Command{"widgets", [&]() -> std::expected<std::string, HostError> {
                         auto extension = extensionOptions();
                         if (!extension) return std::unexpected(extension.error());
                         std::optional<std::string> locale;
                         if (!widgetsLocale.empty()) locale = widgetsLocale;
                         return widgetsCommand(*extension, locale, format());
                       }};
    });
  }

  // The gallery and the recorded pictures share what they need.
  const GalleryCommandHooks galleryHooks{
      extensionOptions, loadRenderer,
      [&, formatOption]() -> std::expected<ImageFormat, HostError> {
        // The gallery is pictures: PNG unless --format says svg.
        const auto image = imageFormat(formatOption->count() > 0 ? format() : OutputFormat::png);
        if (!image) return std::unexpected(HostError{ExitCode::usage, "the gallery is pictures: --format png or svg"});
        return *image;
      },
      [&](std::string name, std::function<std::expected<std::string, HostError>()> run) {
        chosen = Command{std::move(name), std::move(run), true};
      }};

  // placeholder, snapshot, timeline
  PictureOptions pictures;
  // A command that may draw checks its picture output and finds the extension, then
  // runs with them and (only when drawing) the renderer.
  const auto drawingCommand = [&](const std::string& locale, auto run) {
    return [&, run]() -> std::expected<std::string, HostError> {
      auto output = checkedPictureOutput(pictures, format(), locale);
      if (!output) return std::unexpected(output.error());
      auto extension = extensionOptions();
      if (!extension) return std::unexpected(extension.error());
      const auto renderer = rendererIfDrawing(output->problemsInJSON);
      return run(*extension, *output, renderer ? &*renderer : nullptr);
    };
  };
  EntryRequest entry;
  std::string entryLocale;
  for (const char* method : {"placeholder", "snapshot", "timeline"}) {
    CLI::App* command = made(method);
    if (command == nullptr) continue;
    const std::string name = method;
    command->add_option("--kind", entry.kind, "The widget kind")->capture_default_str();
    command->add_option("--family", entry.family, "The widget family")->capture_default_str();
    command->add_option("--locale", entryLocale, "The language of the texts (default en)");
    if (name == "snapshot") command->add_flag("--preview", entry.preview, "Ask in preview mode");
    addPictureOptions(*command, pictures, false);
    if (name == "snapshot") addSnapshotCommands(*command, galleryHooks);
    command->callback([&, name, command] {
      if (!command->get_subcommands().empty()) return;  // record or verify, chosen by their own
      entry.method = name;
      chosen = Command{name,
                       drawingCommand(entryLocale,
                                      [&](const auto& extension, const auto& output, auto* renderer) {
                                        if (!entryLocale.empty()) entry.locale = entryLocale;
                                        return entriesCommand(extension, entry, format(), output, renderer);
                                      }),
                       true};
    });
  }

  // activity
  ActivityRequest activity;
  std::string activityType;
  std::string activityLocale;
  if (CLI::App* activityCommandLine = made("activity")) {
    activityCommandLine
        ->add_option("--attributes", activity.attributesFile,
                     "File holding the coded attributes (- for standard input)")
        ->type_name("FILE");
    activityCommandLine
        ->add_option("--state", activity.stateFile, "File holding the coded content state (- for standard input)")
        ->type_name("FILE");
    activityCommandLine->add_option("--presentation", activity.presentation, "Which presentation to show")
        ->check(CLI::IsMember(std::vector<std::string>(std::begin(kPresentations), std::end(kPresentations))))
        ->capture_default_str();
    activityCommandLine->add_option("--attributes-type", activityType,
                                    "The attributes type (needed only when the bundle declares several activities)");
    activityCommandLine->add_option("--locale", activityLocale, "The language of the texts (default en)");
    addPictureOptions(*activityCommandLine, pictures, false);
    addActivityLifecycleCommands(*activityCommandLine, {extensionOptions, format, rendererIfDrawing, pictures}, chosen);
    activityCommandLine->callback([&, activityCommandLine] {
      if (!activityCommandLine->get_subcommands().empty()) return;  // start, update, ...: chosen there
      for (const char* required : {"--attributes", "--state"}) {
        if (activityCommandLine->get_option(required)->count() == 0) throw CLI::RequiredError(required);
      }
      chosen = Command{"activity",
                       drawingCommand(activityLocale,
                                      [&](const auto& extension, const auto& output, auto* renderer) {
                                        if (!activityType.empty()) activity.attributesType = activityType;
                                        if (!activityLocale.empty()) activity.locale = activityLocale;
                                        return activityCommand(extension, activity, format(), output, renderer);
                                      }),
                       true};
    });
  }

  // gallery
  if (CLI::App* gallery = made("gallery")) addGalleryCommand(*gallery, galleryHooks);

  // defaults
  std::string suite;
  std::string key;
  WriteValueOptions value;
  std::string dataHex, dataFile, stringValue, integerValue, realValue, booleanValue;
  std::string transferFile;
  if (CLI::App* defaults = made("defaults")) {
    defaults->require_subcommand(1);

    auto* read = defaults->add_subcommand("read", "Show one value with its kind, or every key of the suite");
    read->add_option("SUITE", suite, "The suite's name, e.g. group.com.quenova.tul")->required();
    auto* readKey = read->add_option("KEY", key, "The key (default: all keys)");
    read->callback([&, readKey] {
      chosen = Command{"defaults read", [&, readKey] {
                         std::optional<std::string> which;
                         if (readKey->count() > 0) which = key;
                         return defaultsRead(suite, which, format());
                       }};
    });

    auto* readType = defaults->add_subcommand("read-type", "Show the kind of one value");
    readType->add_option("SUITE", suite, "The suite's name")->required();
    readType->add_option("KEY", key, "The key")->required();
    readType->callback([&] {
      chosen = Command{"defaults read-type", [&] { return defaultsReadType(suite, key, format()); }};
    });

    auto* write = defaults->add_subcommand("write", "Store one value, replacing what the key held");
    write->add_option("SUITE", suite, "The suite's name")->required();
    write->add_option("KEY", key, "The key")->required();
    auto* dataHexOption = write->add_option("--data", dataHex, "Data given as hex digits")->type_name("HEX");
    auto* dataFileOption =
        write->add_option("--data-file", dataFile, "Data: the bytes of a file (- for standard input)")
            ->type_name("FILE");
    auto* stringOption = write->add_option("--string", stringValue, "A string")->type_name("TEXT");
    auto* integerOption = write->add_option("--int", integerValue, "An integer")->type_name("N");
    auto* realOption = write->add_option("--float", realValue, "A real number")->type_name("X");
    auto* booleanOption = write->add_option("--bool", booleanValue, "A boolean")->type_name("true|false");
    write->callback([&, dataHexOption, dataFileOption, stringOption, integerOption, realOption, booleanOption] {
      const auto given = [](CLI::Option* option, const std::string& text) {
        return option->count() > 0 ? std::optional<std::string>(text) : std::nullopt;
      };
      value = WriteValueOptions{given(dataHexOption, dataHex),    given(dataFileOption, dataFile),
                                given(stringOption, stringValue), given(integerOption, integerValue),
                                given(realOption, realValue),     given(booleanOption, booleanValue)};
      chosen = Command{"defaults write", [&]() -> std::expected<std::string, HostError> {
                         auto stored = valueToWrite(value);
                         if (!stored) return std::unexpected(stored.error());
                         return defaultsWrite(suite, key, *stored, format());
                       }};
    });

    auto* remove = defaults->add_subcommand("delete", "Remove one key, or every key of the suite");
    remove->add_option("SUITE", suite, "The suite's name")->required();
    auto* removeKey = remove->add_option("KEY", key, "The key (default: all keys)");
    remove->callback([&, removeKey] {
      chosen = Command{"defaults delete", [&, removeKey] {
                         std::optional<std::string> which;
                         if (removeKey->count() > 0) which = key;
                         return defaultsDelete(suite, which, format());
                       }};
    });

    auto* exportCommand = defaults->add_subcommand(
        "export", "Copy the whole suite to a new file, safely while it is in use (never copy a suite's file itself)");
    exportCommand->add_option("SUITE", suite, "The suite's name")->required();
    exportCommand->add_option("FILE", transferFile, "The new file")->required();
    exportCommand->callback([&] {
      chosen = Command{"defaults export", [&] { return defaultsExport(suite, transferFile); }};
    });
    auto* importCommand =
        defaults->add_subcommand("import", "Replace the whole suite with a file that defaults export wrote");
    importCommand->add_option("SUITE", suite, "The suite's name")->required();
    importCommand->add_option("FILE", transferFile, "The file to import")->required();
    importCommand->callback([&] {
      chosen = Command{"defaults import", [&] { return defaultsImport(suite, transferFile); }};
    });
  }
  const LiveCommandHooks liveHooks{extensionOptions, [] { return renderModule().parent_path(); },
                                   [&](std::string name, auto run) {
                                     chosen = Command{std::move(name), std::move(run)};
                                   }};
  for (const char* mode : {"serve", "watch", "reload"}) {
    if (CLI::App* command = made(mode)) addLiveCommand(*command, liveHooks);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help, std::cout, std::cerr);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help, std::cout, std::cerr);
  } catch (const CLI::ParseError& error) {
    return fail("", HostError{ExitCode::usage, usageMessage(app, error, commandWords(app, argc, argv))});
  }
  if (!chosen) return fail("", HostError{ExitCode::usage, "no command given; see widget-host --help"});
  if (!chosen->makesPictures && imageFormat(format())) {
    return fail(chosen->name, HostError{ExitCode::usage, "--format " + global.format +
                                                             " makes pictures, which only placeholder, snapshot, "
                                                             "timeline, activity and gallery do"});
  }

  if (!global.preferences.empty()) {
    // Both this process and the extension it starts read the variable.
    std::error_code error;
    const fs::path folder = fs::absolute(global.preferences, error);
    ::setenv(foundation::kPreferencesVariable, (error ? fs::path(global.preferences) : folder).c_str(), 1);
  }

  auto output = chosen->run();
  if (!output) return fail(chosen->name, output.error());
  // Talking to the extension ignored SIGPIPE; for our own output, a reader that goes
  // away (`widget-host timeline | head`) ends us quietly, as it does any filter.
  std::signal(SIGPIPE, SIG_DFL);
  std::cout << *output << std::flush;
  if (!std::cout) {
    return fail(chosen->name, HostError{ExitCode::ioError, "cannot write the output"});
  }
  return 0;
}

}  // namespace host
