// LiveHost: the widget host kept alive, as the phone's is. One warm extension serves
// every request; the timeline it last answered stays what the widget shows until
// timelines are reloaded; a change of the stored preset is noticed (within 100 ms)
// and announced, but reloads only with `reloadOnChange`.
//
// Promises:
// - Requests are serialised; any thread may call reload(), timeline(), status() and
//   picture().
// - An extension that crashes, hangs past its time limit or exits is reported (event
//   "extension", saying what and why, as the one-shot commands say it), and another is
//   started for the next request, at most kMaxStartsPerMinute times a minute.
// - The stored value read right after a reload is the one the timeline was made from,
//   so the extension's own write of its default does not count as a change and cannot
//   start a loop of reloads.
// - Pictures are drawn by the host's renderer and kept by the hash of their bytes
//   (the current and the previous set only).
// - Every activity of the platform's store is shown as it changes (live_activities.h:
//   the store is re-read when its folder sees a write, and the clock's changes come
//   from a timer set for the next one): event "activity" on each change, its pictures
//   marked when it is stale. While no activity is shown, a sample activity stands in
//   ("pictures": lock-screen, compact, minimal, expanded).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <expected>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "answer_pictures.h"
#include "extension_session.h"
#include "host_error.h"
#include "json_rpc.h"
#include "live_activities.h"
#include "picture_renderer.h"
#include "platform/foundation/property_value.h"

namespace host {

// Where the host app keeps the preset the widget shows.
inline constexpr const char* kHostAppSuite = "group.com.quenova.tul";
inline constexpr const char* kPresetKey = "miniMelody";

struct LiveOptions {
  ExtensionOptions extension;
  std::string kind = "com.lumaro.TulWidget";
  std::string family = "systemSmall";
  std::optional<std::string> locale;
  bool reloadOnChange = false;
  ui::Variant variant{};  // the phone, text size and direction the pictures are drawn for
};

// What the live host announces: "timeline" (data: the timeline result), "pictures"
// (data: picture name -> address), "activity", "preferences", "extension" and
// "status". An activity's data: {"id", "state": active|stale|ended|dismissed,
// "startedAt", "contentTimestamp", and when set "staleDate", "endedAt",
// "dismissalDate" (ISO 8601), "pictures": presentation name -> address (none once
// dismissed), and "failure" when its pictures could not be drawn}.
struct LiveEvent {
  std::string name;
  Json data;
  std::string reason;  // why it happened, for the terminal ("reload requested", ...)
  std::string time;    // ISO 8601, UTC
};

class LiveHost {
 public:
  static constexpr int kMaxStartsPerMinute = 5;
  using Listener = std::function<void(const LiveEvent&)>;

  // `renderer` may be null: then no pictures are drawn, and the status says why
  // (`noPictures`).
  LiveHost(LiveOptions options, const PictureRenderer* renderer, std::string noPictures, Listener listener);
  ~LiveHost();
  LiveHost(const LiveHost&) = delete;
  LiveHost& operator=(const LiveHost&) = delete;

  // Asks for the first timeline and starts watching the stored preset.
  void start();
  // Ends the watch and the extension (reaped).
  void stop();

  // Asks the extension for a new timeline and announces it.
  std::expected<Json, HostError> reload(const std::string& reason);

  const std::string& kind() const { return options_.kind; }
  Json timeline() const;  // null before the first answer
  Json status() const;
  Json pictureAddresses() const;
  // The "activity" event of each activity shown now, the earliest started first.
  std::vector<Json> activities() const;
  std::optional<std::string> picture(const std::string& address) const;

 private:
  std::expected<void, HostError> ensureExtension();
  void extensionFailed(const HostError& error);
  void drawPictures(const Json& timeline);
  void announce(std::string name, Json data, std::string reason);
  void watchLoop();
  void refreshActivities();
  Json drawActivity(const LiveActivities::Change& change, std::map<std::string, std::string>& pictures);
  void checkExtensionAlive();
  std::optional<foundation::PropertyValue> storedValue() const;
  Json statusLocked() const;

  LiveOptions options_;
  const PictureRenderer* renderer_;
  std::string noPictures_;
  Listener listener_;

  mutable std::mutex mutex_;
  std::optional<ExtensionSession> session_;
  std::deque<std::chrono::steady_clock::time_point> starts_;
  Json timeline_;
  Json activity_;
  std::string lastFailure_;
  std::string lastAnswer_;
  std::optional<foundation::PropertyValue> shownValue_;  // the value the timeline was made from
  std::optional<foundation::PropertyValue> seenValue_;   // the value last seen stored
  std::map<std::string, std::string> pictures_;          // address -> bytes
  std::map<std::string, std::string> previousPictures_;
  std::vector<NamedPicture> activityPictures_;  // drawn once: the sample activity does not change
  Json pictureAddresses_ = Json::object();
  LiveActivities activities_;
  struct ShownActivity {
    Json event;
    std::map<std::string, std::string> pictures;  // address -> bytes, the current and the previous set
    std::map<std::string, std::string> previous;
  };
  std::map<std::string, ShownActivity> shownActivities_;  // by identifier

  std::mutex watchMutex_;
  std::condition_variable watchWake_;
  bool stopping_ = false;
  std::thread watcher_;
};

}  // namespace host
