#include "activity_command_line.h"

#include <memory>

#include "activity_lifecycle.h"
#include "platform/activitykit/activity_store.h"

namespace host {

void addActivityLifecycleCommands(CLI::App& activity, const ActivityCommandSetting& setting,
                                  std::optional<Command>& chosen) {
  // One set of option values for whichever subcommand is parsed.
  auto options = std::make_shared<LifecycleOptions>();
  const auto optional = [](CLI::App& command, const std::string& name, std::optional<std::string>& into,
                           const std::string& about, const std::string& type) {
    command
        .add_option_function<std::string>(
            name, [&into](const std::string& text) { into = text; }, about)
        ->type_name(type);
  };
  const auto withClock = [&](CLI::App& command) {
    optional(command, "--now", options->now, "The platform's clock (default: the system clock)", "DATE");
  };
  const auto run = [&chosen, setting, options](const std::string& name, bool pictures, auto body) {
    chosen = Command{"activity " + name, [setting, options, body] { return body(setting, *options); }, pictures};
  };

  // The commands that change an activity; the extension decodes their records.
  const auto changing = [run](
                            const std::string& name,
                            LifecycleResult (*change)(const ExtensionOptions&, const LifecycleOptions&, OutputFormat)) {
    run(name, false, [change](const ActivityCommandSetting& s, const LifecycleOptions& o) -> LifecycleResult {
      auto extension = s.extension();
      if (!extension) return std::unexpected(extension.error());
      return change(*extension, o, s.format());
    });
  };

  auto* start = activity.add_subcommand("start", "Start a Live Activity and print its identifier");
  start->add_option("--attributes", options->attributesFile, "File holding the coded attributes")
      ->type_name("FILE")
      ->required();
  start->add_option("--state", options->stateFile, "File holding the coded content state")
      ->type_name("FILE")
      ->required();
  optional(*start, "--stale-date", options->staleDate, "When its content becomes stale", "DATE");
  optional(*start, "--attributes-type", options->attributesType, "The attributes type", "TYPE");
  start->add_option_function<double>(
      "--relevance-score", [options](double score) { options->relevanceScore = score; }, "Its relevance score");
  withClock(*start);
  start->callback([changing] { changing("start", activityStart); });

  auto* update = activity.add_subcommand("update", "Replace an activity's content");
  update->add_option("ID", options->id, "The activity's identifier")->required();
  update->add_option("--state", options->stateFile, "File holding the coded content state")
      ->type_name("FILE")
      ->required();
  optional(*update, "--timestamp", options->timestamp, "When the content was made (default: now)", "DATE");
  optional(*update, "--stale-date", options->staleDate, "When the new content becomes stale", "DATE");
  withClock(*update);
  update->callback([changing] { changing("update", activityUpdate); });

  auto* end = activity.add_subcommand("end", "End an activity");
  end->add_option("ID", options->id, "The activity's identifier")->required();
  end->add_option("--state", options->stateFile, "File holding its final coded content state")->type_name("FILE");
  optional(*end, "--timestamp", options->timestamp, "When the final content was made (default: now)", "DATE");
  optional(*end, "--dismissal-policy", options->dismissalPolicy,
           "When it leaves the lock screen: default (4 hours after the end), immediate, or after:DATE (at most 4 "
           "hours after the end)",
           "POLICY");
  withClock(*end);
  end->callback([changing] { changing("end", activityEnd); });

  auto* push = activity.add_subcommand(
      "push", "Apply a push server's payload: activity push FILE starts, activity push ID FILE updates or ends");
  push->add_option_function<std::vector<std::string>>(
          "ARGUMENTS",
          [options](const std::vector<std::string>& words) {
            options->id = words.size() == 2 ? words[0] : "";
            options->payloadFile = words.back();
          },
          "[ID] FILE")
      ->expected(1, 2)
      ->required();
  withClock(*push);
  push->callback([changing] { changing("push", activityPush); });

  auto* list = activity.add_subcommand("list", "Every stored activity with its state, dates and content");
  withClock(*list);
  list->callback([run] {
    run("list", false,
        [](const ActivityCommandSetting& s, const LifecycleOptions& o) { return activityList(o, s.format()); });
  });

  auto* show = activity.add_subcommand("show", "An activity's presentations, as `activity` shows them");
  show->add_option("ID", options->id, "The activity's identifier")->required();
  show->add_option("--presentation", options->presentation, "Which presentation to show")
      ->check(CLI::IsMember({"lock-screen", "expanded", "compact-leading", "compact-trailing", "minimal", "all"}))
      ->capture_default_str();
  optional(*show, "--locale", options->locale, "The language of the texts (default en)", "LOCALE");
  addPictureOptions(*show, setting.pictures, false);
  withClock(*show);
  show->callback([run] {
    run("show", true, [](const ActivityCommandSetting& s, const LifecycleOptions& o) -> LifecycleResult {
      auto output = checkedPictureOutput(s.pictures, s.format(), o.locale.value_or(""));
      if (!output) return std::unexpected(output.error());
      auto extension = s.extension();
      if (!extension) return std::unexpected(extension.error());
      const auto renderer = s.renderer(output->problemsInJSON);
      return activityShow(*extension, o, s.format(), *output, renderer ? &*renderer : nullptr);
    });
  });
}

}  // namespace host
