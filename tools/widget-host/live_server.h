// LiveServer: the live host's web page and its interfaces, on cpp-httplib.
//
//   GET  /               the page (live_page.h), carrying the run's token
//   GET  /api/timeline   the timeline shown now, as `widget-host --format json timeline`
//   GET  /api/status     the extension's process, its last answer and any failure
//   GET  /events         server-sent events: timeline, pictures, activity, preferences,
//                        extension, status (live_host.h); a new subscriber first gets
//                        the status, the pictures, the timeline and each activity shown
//   GET  /pictures/H.png a picture, at an address that changes with its content
//   POST /api/reload     reload timelines ({"kind": K} optional)
//   POST /api/preset     store the body as the host app stores a preset
//
// Nobody else gets in: a Host header other than the listening address or localhost
// with its port is refused (403), as is an Origin other than the page's own; a POST
// must carry the token in X-Widget-Host-Token (403); no CORS headers are sent. A body
// over the store's value limit is refused (413) from its Content-Length, before it is
// read. Reads and writes time out, and connections and event subscribers are bounded
// (503 beyond).
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "host_error.h"
#include "live_host.h"

namespace httplib {
class Server;
}

namespace host {

class LiveServer {
 public:
  static constexpr int kMaxConnections = 16;
  static constexpr int kMaxSubscribers = 8;

  LiveServer(LiveHost& host, std::string token);
  ~LiveServer();

  // Binds `address`:`port` (0: a free port); returns the port.
  std::expected<int, HostError> bind(const std::string& address, int port);
  // Serves until stop().
  void run();
  void stop();
  // Sends `event` to every subscriber.
  void publish(const LiveEvent& event);

 private:
  struct Subscriber {
    std::deque<std::string> queued;
  };
  void routes();

  LiveHost& host_;
  std::string token_;
  std::string address_;
  int port_ = 0;
  std::unique_ptr<httplib::Server> server_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::set<Subscriber*> subscribers_;
  bool stopping_ = false;
  std::atomic<int> connections_{0};
};

}  // namespace host
