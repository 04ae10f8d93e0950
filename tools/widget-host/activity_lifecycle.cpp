#include "activity_lifecycle.h"

#include <cmath>
#include <iostream>

#include "input_file.h"
#include "platform/activitykit/activity_store.h"
#include "platform/foundation/data.h"
#include "push_payload.h"
#include "quoted_text.h"
#include "widget_commands.h"

namespace host {

namespace {

using activitykit::ActivityRecord;
using activitykit::ActivityStore;
using foundation::Date;

constexpr std::string_view kDefaultAttributesType = "TulWidgetAttributes";

std::string jsonOutput(const Json& json) { return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n"; }

HostError storeError(const activitykit::StoreError& error) {
  switch (error.kind) {
    case activitykit::StoreError::Kind::notFound: return HostError{ExitCode::noInput, error.message};
    case activitykit::StoreError::Kind::cannotOpen: return HostError{ExitCode::noInput, error.message};
    case activitykit::StoreError::Kind::failed: return HostError{ExitCode::ioError, error.message};
  }
  return HostError{ExitCode::internal, error.message};
}

std::expected<ActivityStore, HostError> openStore() {
  auto store = ActivityStore::open(ActivityStore::defaultPath());
  if (!store) return std::unexpected(storeError(store.error()));
  return std::move(*store);
}

std::expected<Date, HostError> dateOption(std::string_view option, const std::string& text) {
  if (auto date = Date::parseISO8601(text)) return *date;
  return std::unexpected(HostError{ExitCode::usage, std::string(option) + ": " + inQuotes(text) +
                                                        " is not an ISO 8601 date such as 2026-12-07T09:00:00Z"});
}

std::expected<std::optional<Date>, HostError> optionalDate(std::string_view option,
                                                           const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  auto date = dateOption(option, *text);
  if (!date) return std::unexpected(date.error());
  return std::optional<Date>(*date);
}

std::expected<Date, HostError> clock(const LifecycleOptions& options) {
  return options.now ? dateOption("--now", *options.now) : Date::now();
}

std::expected<foundation::UUID, HostError> activityId(const std::string& text) {
  if (auto id = foundation::UUID::parse(text)) return *id;
  return std::unexpected(HostError{ExitCode::usage, inQuotes(text) + " is not an activity identifier (a UUID)"});
}

// A coded record read from `file`, refused past the size limit.
std::expected<std::string, HostError> codedRecord(const std::string& file, std::string_view what) {
  auto bytes = readInputFile(file, std::string(what) + " file", ExtensionSession::kMaxRequestBytes);
  if (!bytes) return std::unexpected(bytes.error());
  if (auto problem = activitykit::sizeProblem(std::string(what) + " in " + inQuotes(file), bytes->size())) {
    return std::unexpected(HostError{ExitCode::dataError, *problem + "; nothing was changed"});
  }
  return bytes;
}

}  // namespace

// Has the extension decode both records and say how long its encoder writes them;
// refuses records that do not decode or grow past the limit.
std::expected<void, HostError> checkRecords(const ExtensionOptions& extension, const std::string& attributesType,
                                            const std::string& attributes, const std::string& state,
                                            const RecordSources& sources) {
  const Json params = {{"attributesType", attributesType},
                       {"attributes", foundation::base64Encoded(attributes)},
                       {"state", foundation::base64Encoded(state)},
                       {"presentation", "lock-screen"},
                       {"encodedSizes", true}};
  auto result = callExtension(extension, "activity", params, sources);
  if (!result) return std::unexpected(result.error());
  const Json* sizes = member(*result, "encodedSizes");
  for (const auto& [record, source] : {std::pair{"attributes", sources.attributes}, {"state", sources.state}}) {
    const Json* size = sizes ? member(*sizes, record) : nullptr;
    if (size == nullptr || !size->is_number()) {
      return std::unexpected(HostError{ExitCode::unavailable, "the extension did not say how long it encodes the " +
                                                                  std::string(record) + " (\"encodedSizes\")"});
    }
    const double bytes = size->get<double>();
    if (auto problem = activitykit::sizeProblem(
            std::string(record) + " from " + inQuotes(source) + " as the extension's encoder writes it",
            bytes < 1e15 ? static_cast<std::size_t>(bytes) : SIZE_MAX)) {
      return std::unexpected(HostError{ExitCode::dataError, *problem + "; nothing was changed"});
    }
  }
  return {};
}

// Applies `change` to the stored activity and reports it.
LifecycleResult changeActivity(const foundation::UUID& id, OutputFormat format,
                               const std::function<activitykit::ChangeResult(const ActivityRecord&)>& change,
                               std::string_view verb) {
  auto store = openStore();
  if (!store) return std::unexpected(store.error());
  auto result = store->modify(id, change);
  if (!result) return std::unexpected(storeError(result.error()));
  const std::string text = id.uuidString();
  if (!*result) {
    std::cerr << "widget-host: activity " << verb << ": ignored: " << result->error().reason << std::endl;
    if (format == OutputFormat::json) {
      return jsonOutput(Json{{"id", text}, {"applied", false}, {"reason", result->error().reason}});
    }
    return std::string();
  }
  if (format == OutputFormat::json) return jsonOutput(Json{{"id", text}, {"applied", true}});
  return text + "\n";
}

// Checks the records and stores a new activity started at `now`.
LifecycleResult startActivity(const ExtensionOptions& extension, ActivityRecord record, const RecordSources& sources,
                              OutputFormat format) {
  if (auto checked = checkRecords(extension, record.attributesType, record.attributes, record.state, sources);
      !checked) {
    return std::unexpected(checked.error());
  }
  record.id = foundation::UUID::random();
  auto store = openStore();
  if (!store) return std::unexpected(store.error());
  if (auto inserted = store->insert(record); !inserted) return std::unexpected(storeError(inserted.error()));
  const std::string id = record.id.uuidString();
  return format == OutputFormat::json ? jsonOutput(Json{{"id", id}, {"applied", true}}) : id + "\n";
}

LifecycleResult activityStart(const ExtensionOptions& extension, const LifecycleOptions& options, OutputFormat format) {
  auto now = clock(options);
  if (!now) return std::unexpected(now.error());
  auto staleDate = optionalDate("--stale-date", options.staleDate);
  if (!staleDate) return std::unexpected(staleDate.error());
  if (options.relevanceScore && !std::isfinite(*options.relevanceScore)) {
    return std::unexpected(HostError{ExitCode::usage, "--relevance-score must be a finite number"});
  }
  if (options.attributesFile == "-" && options.stateFile == "-") {
    return std::unexpected(HostError{ExitCode::usage, "only one of --attributes and --state can be standard input"});
  }
  auto attributes = codedRecord(options.attributesFile, "attributes");
  if (!attributes) return std::unexpected(attributes.error());
  auto state = codedRecord(options.stateFile, "state");
  if (!state) return std::unexpected(state.error());
  ActivityRecord record;
  record.attributesType = options.attributesType.value_or(std::string(kDefaultAttributesType));
  record.attributes = std::move(*attributes);
  record.state = std::move(*state);
  record.startedAt = *now;
  record.contentTimestamp = *now;
  record.staleDate = *staleDate;
  record.relevanceScore = options.relevanceScore;
  return startActivity(extension, std::move(record), {options.attributesFile, options.stateFile}, format);
}

// Checks a new coded state against the stored activity's attributes.
std::expected<void, HostError> checkNewState(const ExtensionOptions& extension, const foundation::UUID& id,
                                             const std::string& state, const std::string& source) {
  auto store = openStore();
  if (!store) return std::unexpected(store.error());
  auto record = store->find(id);
  if (!record) return std::unexpected(storeError(record.error()));
  return checkRecords(extension, record->attributesType, record->attributes, state,
                      {"activity " + id.uuidString(), source});
}

// The parts of an update or end: the activity, the clock, its content change.
struct ChangeInput {
  foundation::UUID id = foundation::UUID::fromBytes({});
  Date now;
  activitykit::ContentChange change;
};

std::expected<ChangeInput, HostError> changeInput(const ExtensionOptions& extension, const LifecycleOptions& options) {
  auto id = activityId(options.id);
  if (!id) return std::unexpected(id.error());
  auto now = clock(options);
  if (!now) return std::unexpected(now.error());
  auto timestamp = optionalDate("--timestamp", options.timestamp);
  if (!timestamp) return std::unexpected(timestamp.error());
  auto staleDate = optionalDate("--stale-date", options.staleDate);
  if (!staleDate) return std::unexpected(staleDate.error());
  ChangeInput input{*id, *now, {std::nullopt, timestamp->value_or(*now), *staleDate}};
  if (options.stateFile.empty()) return input;
  auto state = codedRecord(options.stateFile, "state");
  if (!state) return std::unexpected(state.error());
  if (auto checked = checkNewState(extension, *id, *state, options.stateFile); !checked) {
    return std::unexpected(checked.error());
  }
  input.change.state = std::move(*state);
  return input;
}

LifecycleResult activityUpdate(const ExtensionOptions& extension, const LifecycleOptions& options,
                               OutputFormat format) {
  auto input = changeInput(extension, options);
  if (!input) return std::unexpected(input.error());
  return changeActivity(
      input->id, format,
      [&](const ActivityRecord& record) { return activitykit::applyUpdate(record, input->change, input->now); },
      "update");
}

LifecycleResult activityEnd(const ExtensionOptions& extension, const LifecycleOptions& options, OutputFormat format) {
  const auto policy = activitykit::parseDismissalPolicy(options.dismissalPolicy.value_or("default"));
  if (!policy) {
    return std::unexpected(HostError{ExitCode::usage, "--dismissal-policy: " + inQuotes(*options.dismissalPolicy) +
                                                          " is not default, immediate or after:DATE"});
  }
  auto input = changeInput(extension, options);
  if (!input) return std::unexpected(input.error());
  return changeActivity(
      input->id, format,
      [&](const ActivityRecord& record) { return activitykit::applyEnd(record, input->change, *policy, input->now); },
      "end");
}

LifecycleResult activityList(const LifecycleOptions& options, OutputFormat format) {
  auto now = clock(options);
  if (!now) return std::unexpected(now.error());
  auto store = openStore();
  if (!store) return std::unexpected(store.error());
  auto records = store->all();
  if (!records) return std::unexpected(storeError(records.error()));
  Json list = Json::array();
  std::string text;
  for (const ActivityRecord& stored : *records) {
    const ActivityRecord record = activitykit::settled(stored, *now);
    const auto phase = activitykit::phaseAt(record, *now);
    Json entry = {{"id", record.id.uuidString()},
                  {"state", activitykit::name(phase)},
                  {"attributesType", record.attributesType},
                  {"startedAt", record.startedAt.iso8601()},
                  {"contentTimestamp", record.contentTimestamp.iso8601()}};
    if (record.staleDate) entry["staleDate"] = record.staleDate->iso8601();
    if (record.relevanceScore) entry["relevanceScore"] = *record.relevanceScore;
    if (record.endedAt) entry["endedAt"] = record.endedAt->iso8601();
    if (const auto dismissal = activitykit::dismissalAt(record)) entry["dismissalDate"] = dismissal->iso8601();
    entry["attributes"] = record.attributes;
    entry["contentState"] = record.state;
    text += record.id.uuidString() + " " + std::string(activitykit::name(phase)) + "\n";
    for (auto it = entry.begin(); it != entry.end(); ++it) {
      if (it.key() == "id" || it.key() == "state") continue;
      text += "  " + it.key() + ": " + (it->is_string() ? it->get<std::string>() : it->dump()) + "\n";
    }
    list.push_back(std::move(entry));
  }
  return format == OutputFormat::json ? jsonOutput(Json{{"activities", std::move(list)}}) : text;
}

LifecycleResult activityShow(const ExtensionOptions& extension, const LifecycleOptions& options, OutputFormat format,
                             const PictureOutput& pictures, const PictureRenderer* renderer) {
  auto id = activityId(options.id);
  if (!id) return std::unexpected(id.error());
  auto now = clock(options);
  if (!now) return std::unexpected(now.error());
  auto store = openStore();
  if (!store) return std::unexpected(store.error());
  auto record = store->find(*id);
  if (!record) return std::unexpected(storeError(record.error()));
  const auto phase = activitykit::phaseAt(*record, *now);
  const bool stale = phase == activitykit::ActivityPhase::stale;
  const std::string source = "activity " + options.id;
  auto shown = codedActivityCommand(extension,
                                    CodedActivity{record->attributes, record->state, RecordSources{source, source},
                                                  options.presentation, record->attributesType, options.locale, stale},
                                    format, pictures, renderer);
  if (!shown || format == OutputFormat::json) return shown;
  if (imageFormat(format)) {
    if (phase != activitykit::ActivityPhase::active) {
      std::cerr << "widget-host: activity show: the pictures show an activity that is " << activitykit::name(phase)
                << std::endl;
    }
    return shown;
  }
  return "activity " + record->id.uuidString() + " (" + std::string(activitykit::name(phase)) + ")\n" + *shown;
}

LifecycleResult activityPush(const ExtensionOptions& extension, const LifecycleOptions& options, OutputFormat format) {
  auto now = clock(options);
  if (!now) return std::unexpected(now.error());
  auto bytes = readInputFile(options.payloadFile, "push payload file", ExtensionSession::kMaxRequestBytes);
  if (!bytes) return std::unexpected(bytes.error());
  auto payload = readPushPayload(*bytes);
  if (!payload) {
    return std::unexpected(HostError{ExitCode::dataError, payload.error() + " (" + options.payloadFile + ")"});
  }
  const bool starts = payload->event == PushEvent::start;
  if (options.id.empty() != starts) {
    return std::unexpected(HostError{ExitCode::usage, starts
                                                          ? "a start payload makes a new activity: activity push FILE"
                                                          : "an update or end payload is for one activity: "
                                                            "activity push ID FILE"});
  }
  const std::string source = options.payloadFile + " (aps.content-state)";
  if (starts) {
    ActivityRecord record;
    record.attributesType = *payload->attributesType;
    record.attributes = *payload->attributes;
    record.state = *payload->contentState;
    record.startedAt = *now;
    record.contentTimestamp = payload->timestamp;
    record.staleDate = payload->staleDate;
    record.relevanceScore = payload->relevanceScore;
    return startActivity(extension, std::move(record), {options.payloadFile + " (aps.attributes)", source}, format);
  }
  auto id = activityId(options.id);
  if (!id) return std::unexpected(id.error());
  if (payload->contentState) {
    if (auto checked = checkNewState(extension, *id, *payload->contentState, source); !checked) {
      return std::unexpected(checked.error());
    }
  }
  const activitykit::ContentChange change{payload->contentState, payload->timestamp, payload->staleDate};
  if (payload->event == PushEvent::update) {
    return changeActivity(
        *id, format, [&](const ActivityRecord& record) { return activitykit::applyUpdate(record, change, *now); },
        "push");
  }
  activitykit::DismissalPolicy policy;
  if (payload->dismissalDate) policy = {activitykit::DismissalKind::after, payload->dismissalDate};
  return changeActivity(
      *id, format, [&](const ActivityRecord& record) { return activitykit::applyEnd(record, change, policy, *now); },
      "push");
}

}  // namespace host
