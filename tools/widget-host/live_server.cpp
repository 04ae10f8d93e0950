#include "live_server.h"

#include <httplib.h>

#include <charconv>

#include "live_page.h"
#include "platform/foundation/data.h"
#include "platform/foundation/user_defaults.h"

namespace host {

namespace {

using httplib::Request;
using httplib::Response;
using Handled = httplib::Server::HandlerResponse;

// Whether the connection this thread serves is one over the bound.
thread_local bool overloaded = false;

// The server's threads: kMaxConnections serve, a few more answer 503 to any
// connection beyond them, so that a crowd is turned away at once, not queued.
class BoundedPool : public httplib::TaskQueue {
 public:
  explicit BoundedPool(std::atomic<int>& active) : pool_(LiveServer::kMaxConnections + 4), active_(active) {}
  void enqueue(std::function<void()> task) override {
    pool_.enqueue([this, task = std::move(task)] {
      overloaded = ++active_ > LiveServer::kMaxConnections;
      task();
      --active_;
    });
  }
  void shutdown() override { pool_.shutdown(); }

 private:
  httplib::ThreadPool pool_;
  std::atomic<int>& active_;
};

std::string eventText(const LiveEvent& event) {
  return "event: " + event.name + "\ndata: " + event.data.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n\n";
}

void answerJson(Response& response, const Json& json, int status = 200) {
  response.status = status;
  response.set_content(json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n", "application/json");
}

void refuse(Response& response, int status, const std::string& why) {
  response.status = status;
  response.set_header("Connection", "close");
  response.set_content(why + "\n", "text/plain; charset=utf-8");
}

}  // namespace

LiveServer::LiveServer(LiveHost& host, std::string token)
    : host_(host), token_(std::move(token)), server_(std::make_unique<httplib::Server>()) {
  server_->new_task_queue = [this] { return new BoundedPool(connections_); };
  server_->set_read_timeout(5, 0);
  server_->set_write_timeout(5, 0);
  server_->set_keep_alive_timeout(5);
  server_->set_keep_alive_max_count(100);
  server_->set_payload_max_length(foundation::UserDefaults::kMaxValueBytes);
  routes();
}

LiveServer::~LiveServer() { stop(); }

std::expected<int, HostError> LiveServer::bind(const std::string& address, int port) {
  address_ = address;
  port_ = port == 0 ? server_->bind_to_any_port(address) : (server_->bind_to_port(address, port) ? port : -1);
  if (port_ <= 0) {
    return std::unexpected(HostError{ExitCode::unavailable, "cannot listen on " + address + ":" + std::to_string(port) +
                                                                " (in use, or not an address of this machine)"});
  }
  return port_;
}

void LiveServer::run() { server_->listen_after_bind(); }

void LiveServer::stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
  }
  wake_.notify_all();
  server_->stop();
}

void LiveServer::publish(const LiveEvent& event) {
  const std::string text = eventText(event);
  {
    std::lock_guard lock(mutex_);
    for (Subscriber* subscriber : subscribers_) {
      // A subscriber that reads nothing keeps only the newest events.
      if (subscriber->queued.size() >= 256) subscriber->queued.pop_front();
      subscriber->queued.push_back(text);
    }
  }
  wake_.notify_all();
}

void LiveServer::routes() {
  server_->set_pre_routing_handler([this](const Request& request, Response& response) {
    if (overloaded) return refuse(response, 503, "too many connections"), Handled::Handled;
    // Put together by appending, which GCC 12's -Wrestrict does not misread.
    std::string port = ":";
    port += std::to_string(port_);
    const std::string host = request.get_header_value("Host");
    if (host != address_ + port && host != "localhost" + port) {
      return refuse(response, 403, "this host answers only to " + address_ + port + " and localhost" + port),
             Handled::Handled;
    }
    if (request.has_header("Origin") && request.get_header_value("Origin") != "http://" + host) {
      return refuse(response, 403, "requests from other sites are refused"), Handled::Handled;
    }
    if (request.method != "GET" && request.method != "HEAD" &&
        request.get_header_value("X-Widget-Host-Token") != token_) {
      return refuse(response, 403, "a change needs this run's token in X-Widget-Host-Token"), Handled::Handled;
    }
    const std::string length = request.get_header_value("Content-Length");
    std::size_t bytes = 0;
    if (!length.empty() && (std::from_chars(length.data(), length.data() + length.size(), bytes).ec != std::errc() ||
                            bytes > foundation::UserDefaults::kMaxValueBytes)) {
      return refuse(response, 413,
                    "a body of " + length + " bytes is over the store's limit of " +
                        std::to_string(foundation::UserDefaults::kMaxValueBytes) + " bytes"),
             Handled::Handled;
    }
    response.set_header("Cache-Control", "no-store");
    return Handled::Unhandled;
  });

  server_->Get("/", [this](const Request&, Response& response) {
    response.set_header("Content-Security-Policy",
                        "default-src 'self'; script-src 'unsafe-inline' 'self'; "
                        "style-src 'unsafe-inline'; frame-ancestors 'none'");
    response.set_content(livePage(token_), "text/html; charset=utf-8");
  });
  server_->Get("/api/timeline", [this](const Request&, Response& response) {
    const Json timeline = host_.timeline();
    if (timeline.is_null()) return answerJson(response, {{"error", host_.status()["failure"]}}, 503);
    answerJson(response, timeline);
  });
  server_->Get("/api/status", [this](const Request&, Response& response) { answerJson(response, host_.status()); });
  server_->Get(R"(/pictures/[0-9a-f]{16}\.png)", [this](const Request& request, Response& response) {
    const auto picture = host_.picture(request.path);
    if (!picture) return refuse(response, 404, "no picture at " + request.path);
    response.set_header("Cache-Control", "max-age=31536000, immutable");
    response.set_content(*picture, "image/png");
  });
  server_->Post("/api/reload", [this](const Request& request, Response& response) {
    const Json body = request.body.empty() ? Json::object() : Json::parse(request.body, nullptr, false);
    if (!body.is_object()) return refuse(response, 400, "the body is not a JSON object");
    const Json kind = body.value("kind", Json(host_.kind()));
    if (kind != Json(host_.kind())) {
      return answerJson(response, {{"ignored", "this live host shows " + host_.kind() + ", not " + kind.dump()}});
    }
    auto reloaded = host_.reload(body.value("reason", std::string("reload requested")));
    if (!reloaded) return answerJson(response, {{"error", reloaded.error().message}}, 502);
    answerJson(response, {{"reloaded", true}});
  });
  server_->Post("/api/preset", [](const Request& request, Response& response) {
    auto defaults = foundation::UserDefaults::make(kHostAppSuite);
    if (!defaults) return answerJson(response, {{"error", std::string("cannot open the suite ") + kHostAppSuite}}, 500);
    auto stored = defaults->set(foundation::PropertyValue{foundation::dataFromString(request.body)}, kPresetKey);
    if (!stored) return answerJson(response, {{"error", stored.error().message}}, 500);
    Json answer = {{"stored", true}, {"bytes", request.body.size()}};
    if (!Json::accept(request.body))
      answer["warning"] = "the stored bytes are not JSON: the widget will show the default";
    answerJson(response, answer);
  });

  server_->Get("/events", [this](const Request&, Response& response) {
    auto subscriber = std::make_shared<Subscriber>();
    {
      std::lock_guard lock(mutex_);
      if (stopping_ || subscribers_.size() >= kMaxSubscribers) {
        return refuse(response, 503, "too many event subscribers (at most " + std::to_string(kMaxSubscribers) + ")");
      }
      subscribers_.insert(subscriber.get());
    }
    // What is shown now, read without this lock (the host announces while it holds its
    // own, and publishing takes this one) and put before any event queued meanwhile,
    // which is as new as it or newer.
    const std::string now;
    std::deque<std::string> first{eventText({"status", host_.status(), "", now}),
                                  eventText({"pictures", host_.pictureAddresses(), "", now})};
    if (Json timeline = host_.timeline(); !timeline.is_null()) {
      first.push_back(eventText({"timeline", std::move(timeline), "", now}));
    }
    for (Json& activity : host_.activities()) first.push_back(eventText({"activity", std::move(activity), "", now}));
    {
      std::lock_guard lock(mutex_);
      subscriber->queued.insert(subscriber->queued.begin(), first.begin(), first.end());
    }
    response.set_chunked_content_provider(
        "text/event-stream",
        [this, subscriber](std::size_t, httplib::DataSink& sink) {
          std::unique_lock lock(mutex_);
          wake_.wait_for(lock, std::chrono::seconds(15), [&] { return stopping_ || !subscriber->queued.empty(); });
          if (stopping_) return false;
          std::string text = subscriber->queued.empty() ? ": still here\n\n" : "";
          for (; !subscriber->queued.empty(); subscriber->queued.pop_front()) text += subscriber->queued.front();
          lock.unlock();
          return sink.write(text.data(), text.size());
        },
        [this, subscriber](bool) {
          std::lock_guard lock(mutex_);
          subscribers_.erase(subscriber.get());
        });
  });
}

}  // namespace host
