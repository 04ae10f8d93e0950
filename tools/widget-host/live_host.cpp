#include "live_host.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <utility>

#include "answer_pictures.h"
#include "gallery.h"
#include "platform/activitykit/activity_store.h"
#include "platform/foundation/data.h"
#include "platform/foundation/date.h"
#include "platform/foundation/hasher.h"
#include "platform/foundation/user_defaults.h"

namespace host {

namespace {

constexpr auto kWatchInterval = std::chrono::milliseconds(40);

// Whether the process `pid` has ended (it is gone, or a zombie waiting to be reaped).
bool processEnded(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  const std::string text{std::istreambuf_iterator<char>(stat), std::istreambuf_iterator<char>()};
  const auto close = text.rfind(')');
  if (close == std::string::npos || close + 2 >= text.size()) return true;
  return text[close + 2] == 'Z' || text[close + 2] == 'X';
}

std::string addressOf(const NamedPicture& named) {
  foundation::Hasher hasher;
  hasher.combineText(named.picture.bytes);
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hasher.finalize()));
  return "/pictures/" + std::string(hex) + ".png";
}

}  // namespace

LiveHost::LiveHost(LiveOptions options, const PictureRenderer* renderer, std::string noPictures, Listener listener)
    : options_(std::move(options)),
      renderer_(renderer),
      noPictures_(std::move(noPictures)),
      listener_(std::move(listener)),
      activities_(activitykit::ActivityStore::defaultPath()) {}

LiveHost::~LiveHost() { stop(); }

void LiveHost::start() {
  {
    std::lock_guard lock(mutex_);
    seenValue_ = storedValue();
  }
  (void)reload("the live host started");
  refreshActivities();
  watcher_ = std::thread([this] { watchLoop(); });
}

void LiveHost::stop() {
  {
    std::lock_guard lock(watchMutex_);
    stopping_ = true;
  }
  watchWake_.notify_all();
  if (watcher_.joinable()) watcher_.join();
  std::lock_guard lock(mutex_);
  if (session_) {
    (void)session_->finish();
    session_.reset();
  }
}

std::optional<foundation::PropertyValue> LiveHost::storedValue() const {
  auto defaults = foundation::UserDefaults::make(kHostAppSuite);
  if (!defaults) return std::nullopt;
  return defaults->object(kPresetKey);
}

void LiveHost::announce(std::string name, Json data, std::string reason) {
  listener_(LiveEvent{std::move(name), std::move(data), std::move(reason), foundation::Date::now().iso8601()});
}

std::expected<void, HostError> LiveHost::ensureExtension() {
  if (session_ && session_->running()) return {};
  const auto now = std::chrono::steady_clock::now();
  while (!starts_.empty() && now - starts_.front() > std::chrono::minutes(1)) starts_.pop_front();
  if (starts_.size() >= static_cast<std::size_t>(kMaxStartsPerMinute)) {
    const auto wait =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::minutes(1) - (now - starts_.front()));
    HostError error{ExitCode::unavailable, "the extension was started " + std::to_string(starts_.size()) +
                                               " times in the last minute; the next start is in " +
                                               std::to_string(wait.count() + 1) + " s"};
    lastFailure_ = error.message;
    announce("extension", {{"what", "not restarted"}, {"why", error.message}}, "restarts held back");
    return std::unexpected(error);
  }
  starts_.push_back(now);
  auto session = ExtensionSession::start(options_.extension);
  if (!session) {
    extensionFailed(session.error());
    return std::unexpected(session.error());
  }
  session_.emplace(std::move(*session));
  announce("extension", {{"what", starts_.size() == 1 ? "started" : "restarted"}, {"pid", session_->pid()}},
           "extension started");
  return {};
}

void LiveHost::extensionFailed(const HostError& error) {
  lastFailure_ = error.message;
  if (session_ && !session_->running()) session_.reset();
  announce("extension", {{"what", "failed"}, {"why", error.message}}, "extension failed");
  announce("status", statusLocked(), "status");
}

std::expected<Json, HostError> LiveHost::reload(const std::string& reason) {
  std::lock_guard lock(mutex_);
  if (auto ready = ensureExtension(); !ready) {
    announce("status", statusLocked(), "status");
    return std::unexpected(ready.error());
  }
  Json context = Json::object();
  if (options_.locale) context["locale"] = *options_.locale;
  Json params = {{"kind", options_.kind}, {"family", options_.family}};
  if (!context.empty()) params["context"] = context;
  auto timeline = session_->request("timeline", params);
  if (!timeline) {
    if (timeline.error().code == ExitCode::unavailable) extensionFailed(timeline.error());
    return std::unexpected(timeline.error());
  }
  if (activity_.is_null() && session_->running()) {
    Json activityParams = {{"attributes", foundation::base64Encoded(std::string(kGalleryAttributes))},
                           {"state", foundation::base64Encoded(std::string(kGalleryStates[0].state))},
                           {"presentation", "all"}};
    if (options_.locale) activityParams["locale"] = *options_.locale;
    if (auto activity = session_->request("activity", activityParams)) activity_ = std::move(*activity);
  }
  timeline_ = *timeline;
  shownValue_ = storedValue();
  seenValue_ = shownValue_;
  lastAnswer_ = foundation::Date::now().iso8601() + ": timeline (" + reason + ")";
  lastFailure_.clear();
  drawPictures(timeline_);
  announce("timeline", timeline_, reason);
  announce("pictures", pictureAddresses_, reason);
  announce("status", statusLocked(), "status");
  return timeline_;
}

void LiveHost::drawPictures(const Json& timeline) {
  if (renderer_ == nullptr) return;
  const Drawing drawing{*renderer_, PictureStyle{ImageFormat::png, 2, options_.variant},
                        options_.extension.executable.parent_path()};
  std::map<std::string, std::string> pictures;
  Json addresses = Json::object();
  const auto keep = [&](std::expected<std::vector<NamedPicture>, HostError> drawn, const std::string& prefix) {
    if (!drawn) {
      lastFailure_ = drawn.error().message;
      return;
    }
    for (NamedPicture& named : *drawn) {
      const std::string address = addressOf(named);
      addresses[prefix + named.name] = address;
      pictures[address] = std::move(named.picture.bytes);
    }
  };
  keep(drawEntries(timeline, drawing), "widget-");
  // The sample activity does not change, so its pictures are drawn once and kept.
  if (!activity_.is_null() && activityPictures_.empty()) {
    auto drawn = drawPresentationsAsShown(activity_, drawing);
    if (drawn) {
      activityPictures_ = std::move(*drawn);
    } else {
      lastFailure_ = drawn.error().message;
    }
  }
  for (const NamedPicture& named : activityPictures_) {
    const std::string address = addressOf(named);
    addresses[named.name] = address;
    pictures[address] = named.picture.bytes;
  }
  previousPictures_ = std::move(pictures_);
  pictures_ = std::move(pictures);
  pictureAddresses_ = std::move(addresses);
}

Json LiveHost::timeline() const {
  std::lock_guard lock(mutex_);
  return timeline_;
}

Json LiveHost::pictureAddresses() const {
  std::lock_guard lock(mutex_);
  return pictureAddresses_;
}

std::optional<std::string> LiveHost::picture(const std::string& address) const {
  std::lock_guard lock(mutex_);
  for (const auto* set : {&pictures_, &previousPictures_}) {
    if (const auto found = set->find(address); found != set->end()) return found->second;
  }
  for (const auto& [id, shown] : shownActivities_) {
    for (const auto* set : {&shown.pictures, &shown.previous}) {
      if (const auto found = set->find(address); found != set->end()) return found->second;
    }
  }
  return std::nullopt;
}

Json LiveHost::status() const {
  std::lock_guard lock(mutex_);
  return statusLocked();
}

Json LiveHost::statusLocked() const {
  Json status = {{"kind", options_.kind},
                 {"pid", session_ && session_->running() ? Json(session_->pid()) : Json(nullptr)},
                 {"lastAnswer", lastAnswer_},
                 {"failure", lastFailure_},
                 {"stale", shownValue_ != seenValue_},
                 {"reloadOnChange", options_.reloadOnChange},
                 {"notes", timeline_.is_object() ? timeline_.value("notes", Json::array()) : Json::array()}};
  if (renderer_ == nullptr) status["noPictures"] = noPictures_;
  return status;
}

void LiveHost::checkExtensionAlive() {
  std::lock_guard lock(mutex_);
  if (!session_ || !session_->running() || !processEnded(session_->pid())) return;
  const auto ended = session_->finish();
  session_.reset();
  extensionFailed(ended ? HostError{ExitCode::unavailable, "the extension exited"} : ended.error());
  if (auto restarted = ensureExtension(); restarted) announce("status", statusLocked(), "status");
}

std::vector<Json> LiveHost::activities() const {
  std::lock_guard lock(mutex_);
  std::vector<Json> events;
  for (const auto& [id, shown] : shownActivities_) events.push_back(shown.event);
  std::ranges::sort(events, {}, [](const Json& event) { return event.value("startedAt", std::string()); });
  return events;
}

// The activity's pictures drawn as it stands (marked when stale), kept in `pictures`;
// their addresses, or why they could not be drawn.
Json LiveHost::drawActivity(const LiveActivities::Change& change, std::map<std::string, std::string>& pictures) {
  const activitykit::ActivityRecord& record = change.record;
  const std::string source = "activity " + record.id.uuidString();
  Json params = {{"attributesType", record.attributesType},
                 {"attributes", foundation::base64Encoded(record.attributes)},
                 {"state", foundation::base64Encoded(record.state)},
                 {"presentation", "all"}};
  if (options_.locale) params["locale"] = *options_.locale;
  const bool stale = change.phase == activitykit::ActivityPhase::stale;
  if (stale) params["isStale"] = true;
  if (auto ready = ensureExtension(); !ready) return {{"failure", ready.error().message}};
  auto result = session_->request("activity", params, RecordSources{source, source});
  if (!result) {
    if (result.error().code == ExitCode::unavailable) extensionFailed(result.error());
    return {{"failure", result.error().message}};
  }
  const Drawing drawing{*renderer_, PictureStyle{ImageFormat::png, 2, options_.variant},
                        options_.extension.executable.parent_path()};
  auto drawn = drawPresentationsAsShown(stale ? markedStale(*result) : *result, drawing);
  if (!drawn) return {{"failure", drawn.error().message}};
  Json addresses = Json::object();
  for (NamedPicture& named : *drawn) {
    const std::string address = addressOf(named);
    addresses[named.name] = address;
    pictures[address] = std::move(named.picture.bytes);
  }
  return {{"pictures", std::move(addresses)}};
}

// Announces each activity that changed since the last look (the store re-read only
// when it was written, live_activities.h).
void LiveHost::refreshActivities() {
  std::lock_guard lock(mutex_);
  const std::string failure = activities_.failure();
  for (const LiveActivities::Change& change : activities_.update(foundation::Date::now())) {
    const activitykit::ActivityRecord& record = change.record;
    const std::string id = record.id.uuidString();
    Json event = {{"id", id},
                  {"state", std::string(activitykit::name(change.phase))},
                  {"startedAt", record.startedAt.iso8601()},
                  {"contentTimestamp", record.contentTimestamp.iso8601()}};
    if (record.staleDate) event["staleDate"] = record.staleDate->iso8601();
    if (record.endedAt) event["endedAt"] = record.endedAt->iso8601();
    if (const auto dismissal = activitykit::dismissalAt(record)) event["dismissalDate"] = dismissal->iso8601();
    if (change.phase == activitykit::ActivityPhase::dismissed) {
      shownActivities_.erase(id);
      event["pictures"] = Json::object();
      announce("activity", std::move(event), change.reason);
      continue;
    }
    ShownActivity& shown = shownActivities_[id];
    if (renderer_ != nullptr) {
      std::map<std::string, std::string> pictures;
      event.update(drawActivity(change, pictures));
      shown.previous = std::exchange(shown.pictures, std::move(pictures));
    }
    shown.event = event;
    announce("activity", std::move(event), change.reason);
  }
  if (activities_.failure() != failure && !activities_.failure().empty()) {
    lastFailure_ = activities_.failure();
    announce("status", statusLocked(), "status");
  }
}

void LiveHost::watchLoop() {
  std::unique_lock wait(watchMutex_);
  for (;;) {
    // Woken by the tick, or sooner at the next date an activity changes by the clock.
    auto wake = std::chrono::steady_clock::now() + kWatchInterval;
    {
      std::lock_guard lock(mutex_);
      if (const auto next = activities_.nextDate()) {
        const auto left = next->timePoint() - foundation::Date::now().timePoint();
        wake = std::min(wake, std::chrono::steady_clock::now() +
                                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(left));
      }
    }
    if (watchWake_.wait_until(wait, wake, [this] { return stopping_; })) return;
    wait.unlock();
    refreshActivities();
    checkExtensionAlive();
    bool changed = false;
    {
      std::lock_guard lock(mutex_);
      auto value = storedValue();
      if (value != seenValue_) {
        seenValue_ = std::move(value);
        changed = true;
        const Json data = {
            {"stale", shownValue_ != seenValue_},
            {"stored", seenValue_ ? Json(std::string(foundation::kindName(seenValue_->kind()))) : Json(nullptr)}};
        announce("preferences", data, "the stored preset changed");
        announce("status", statusLocked(), "status");
      }
    }
    if (changed && options_.reloadOnChange) (void)reload("the stored preset changed");
    wait.lock();
  }
}

}  // namespace host
