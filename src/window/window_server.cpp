// The HTTP routes of the import window's page.
#include "window/window_server.h"

#include <fmt/format.h>
#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "module/common/errors.h"
#include "window/page_assets.h"
#include "window/window_session.h"

namespace zodadovez::window {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

constexpr const char* kListenAddress = "127.0.0.1";
// Each open page holds one event stream and a few keep-alive connections; a worker serves one
// connection at a time, and the event streams never take more than half of them.
constexpr std::size_t kWorkers = 2 * kMaxEventStreams;
// How long an event stream waits for news before it looks at the server again, how often it
// sends progress, and after how many quiet waits it sends a comment to keep the connection.
constexpr auto kEventWait = 1000ms;
constexpr auto kProgressInterval = 100ms;
constexpr int kQuietWaitsBeforeComment = 15;
// How long the open pages get to hear that the window closed before the server stops.
constexpr auto kClosingGrace = 2000ms;

std::string Dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

void SendJson(httplib::Response& res, int status, const json& body) {
  res.status = status;
  res.set_content(Dump(body), "application/json; charset=utf-8");
}

void SendReply(httplib::Response& res, const Reply& reply) {
  SendJson(res, reply.status, reply.body);
}

std::optional<std::string> Header(const httplib::Request& req, const char* name) {
  if (!req.has_header(name)) return std::nullopt;
  return req.get_header_value(name);
}

// cpp-httplib sets SO_REUSEPORT on its sockets where the system has it, which lets a second
// server bind a port that a first one listens on, each then getting part of the connections.
// SO_REUSEADDR alone still lets the window start again at once on the port it just left.
void ListenAlone(socket_t sock) {
  int yes = 1;
  setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
}

}  // namespace

bool RequestAllowed(const RequestSource& request, int port) {
  if (request.remote_address != kListenAddress) return false;
  std::string numeric = fmt::format("127.0.0.1:{}", port);
  std::string named = fmt::format("localhost:{}", port);
  if (request.host != numeric && request.host != named) return false;
  // A page of this server sends its own origin, which names the host it was loaded from.
  if (request.origin && *request.origin != "http://" + request.host) return false;
  // The page itself may be opened from anywhere (a bookmark, a link); it only shows.
  return !request.api || !request.fetch_site || *request.fetch_site == "same-origin";
}

bool IsJsonMediaType(const std::string& content_type) {
  std::string_view type(content_type);
  type = type.substr(0, type.find(';'));
  while (!type.empty() && (type.front() == ' ' || type.front() == '\t')) type.remove_prefix(1);
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) type.remove_suffix(1);
  constexpr std::string_view kJson = "application/json";
  return std::equal(type.begin(), type.end(), kJson.begin(), kJson.end(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == b;
  });
}

class WindowServer::Impl {
 public:
  explicit Impl(ServerOptions options) : options_(std::move(options)) {}

  void Start();
  void Wait();
  void Stop() {
    if (session_) session_->RequestClose();
  }

  ServerOptions options_;
  int port_ = 0;
  std::unique_ptr<WindowSession> session_;
  httplib::Server http_;
  std::thread listener_;
  bool waited_ = false;

  std::mutex streams_mutex_;
  std::condition_variable streams_changed_;
  int streams_ = 0;

 private:
  void Routes();
  // Parses a POST body; sends the refusal itself and returns nothing when it is not JSON.
  std::optional<json> Body(const httplib::Request& req, httplib::Response& res);
  void Post(const std::string& path, std::function<Reply(WindowSession&, const json&)> handler);
  void Events(const httplib::Request& req, httplib::Response& res);
};

void WindowServer::Impl::Start() {
  http_.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
  // Short keep-alive: a page keeps a connection or two, and a stop waits for them.
  http_.set_keep_alive_timeout(1);
  http_.set_socket_options(ListenAlone);
  // A longer body is refused (413) as it comes in, never held in memory.
  http_.set_payload_max_length(kMaxBodyBytes);
  Routes();
  if (options_.port == 0) {
    port_ = http_.bind_to_any_port(kListenAddress);
    if (port_ <= 0) throw Error("cannot listen on 127.0.0.1: no free port");
  } else {
    if (!http_.bind_to_port(kListenAddress, options_.port)) {
      throw Error(fmt::format(
          "cannot listen on 127.0.0.1:{}: the port is in use (another window?) or not allowed; "
          "choose another with --port",
          options_.port));
    }
    port_ = options_.port;
  }
  session_ = std::make_unique<WindowSession>(SessionOptions{options_.erp, options_.company});
  listener_ = std::thread([this] { http_.listen_after_bind(); });
}

void WindowServer::Impl::Wait() {
  if (waited_ || !session_) return;
  waited_ = true;
  session_->WaitUntilClosed();
  {
    std::unique_lock<std::mutex> lock(streams_mutex_);
    streams_changed_.wait_for(lock, kClosingGrace, [&] { return streams_ == 0; });
  }
  http_.stop();
  if (listener_.joinable()) listener_.join();
}

std::optional<json> WindowServer::Impl::Body(const httplib::Request& req, httplib::Response& res) {
  if (!IsJsonMediaType(req.get_header_value("Content-Type"))) {
    SendJson(res, 415, {{"error", "Richiesta non in formato JSON."}});
    return std::nullopt;
  }
  json body = json::parse(req.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) {
    SendJson(res, 400, {{"error", "Richiesta non valida."}});
    return std::nullopt;
  }
  return body;
}

void WindowServer::Impl::Post(const std::string& path,
                              std::function<Reply(WindowSession&, const json&)> handler) {
  http_.Post(path, [this, handler](const httplib::Request& req, httplib::Response& res) {
    std::optional<json> body = Body(req, res);
    if (!body) return;
    try {
      SendReply(res, handler(*session_, *body));
    } catch (const json::exception&) {
      SendJson(res, 400, {{"error", "Richiesta non valida."}});
    }
  });
}

void WindowServer::Impl::Events(const httplib::Request& req, httplib::Response& res) {
  // An EventSource asks for events; an <img> or a <script> pointed here asks for something else.
  if (req.get_header_value("Accept").find("text/event-stream") == std::string::npos) {
    SendJson(res, 406,
             {{"error", "Gli eventi della finestra si leggono solo come text/event-stream."}});
    return;
  }
  {
    std::lock_guard<std::mutex> lock(streams_mutex_);
    if (streams_ >= kMaxEventStreams) {
      res.set_header("Retry-After", "10");
      SendJson(res, 503,
               {{"error", fmt::format("Troppe pagine aperte su questa finestra (al massimo {}): "
                                      "chiudere le altre schede; questa si ricollega da sola.",
                                      kMaxEventStreams)}});
      return;
    }
    ++streams_;
  }
  auto cursor = std::make_shared<EventCursor>();
  auto quiet = std::make_shared<int>(0);
  res.set_chunked_content_provider(
      "text/event-stream",
      [this, cursor, quiet](std::size_t, httplib::DataSink& sink) {
        std::optional<Event> event = session_->NextEvent(*cursor, kEventWait, kProgressInterval);
        std::string text;
        if (event) {
          text = "event: " + event->name + "\ndata: " + event->data + "\n\n";
          *quiet = 0;
        } else if (++*quiet >= kQuietWaitsBeforeComment) {
          text = ":\n\n";
          *quiet = 0;
        }
        if (!text.empty() && !sink.write(text.data(), text.size())) return false;
        if (event && event->name == "closed") sink.done();
        return true;
      },
      [this](bool) {
        std::lock_guard<std::mutex> lock(streams_mutex_);
        --streams_;
        streams_changed_.notify_all();
      });
}

void WindowServer::Impl::Routes() {
  http_.set_default_headers({
      {"Cache-Control", "no-store"},
      {"X-Content-Type-Options", "nosniff"},
      {"Referrer-Policy", "no-referrer"},
      {"Content-Security-Policy",
       "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'; base-uri 'none'; "
       "form-action 'none'"},
  });
  http_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    RequestSource source{req.remote_addr, req.get_header_value("Host"), Header(req, "Origin"),
                         Header(req, "Sec-Fetch-Site"), req.path.rfind("/api/", 0) == 0};
    if (!RequestAllowed(source, port_)) {
      SendJson(res, 403,
               {{"error", "Richiesta rifiutata: la finestra risponde solo alla sua pagina."}});
      return httplib::Server::HandlerResponse::Handled;
    }
    // cpp-httplib bounds a body by its Content-Length only: one sent in chunks would be read
    // whole, however long. The page's requests always give their length. The body is left
    // unread, so the connection ends with the answer.
    if (req.has_header("Transfer-Encoding")) {
      res.set_header("Connection", "close");
      SendJson(res, 411, {{"error", "Richiesta senza lunghezza (Content-Length): rifiutata."}});
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  http_.Get("/", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(kPageHtml, "text/html; charset=utf-8");
  });
  http_.Get("/window.css", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(kPageCss, "text/css; charset=utf-8");
  });
  http_.Get("/window.js", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(kPageJs, "text/javascript; charset=utf-8");
  });
  http_.Get("/favicon.ico",
            [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
  http_.Get("/api/state", [this](const httplib::Request&, httplib::Response& res) {
    SendJson(res, 200, session_->State());
  });
  http_.Get("/api/events",
            [this](const httplib::Request& req, httplib::Response& res) { Events(req, res); });

  Post("/api/toggle", [](WindowSession& s, const json& b) {
    return s.ToggleSelection(b.at("row").get<std::int64_t>());
  });
  Post("/api/mode",
       [](WindowSession& s, const json& b) { return s.ChangeMode(b.at("value").get<int>()); });
  Post("/api/field", [](WindowSession& s, const json& b) {
    return s.EditField(b.at("control").get<std::string>(), b.at("value").get<std::string>());
  });
  Post("/api/import", [](WindowSession& s, const json&) { return s.Import(); });
  Post("/api/nuovo", [](WindowSession& s, const json&) { return s.Nuovo(); });
  Post("/api/esci", [](WindowSession& s, const json&) { return s.Esci(); });
  Post("/api/save", [](WindowSession& s, const json& b) {
    return s.SaveSelections(b.at("name").get<std::string>());
  });
  Post("/api/answer", [](WindowSession& s, const json& b) {
    return s.Answer(b.at("dialog").get<std::int64_t>(), b.at("button").get<int>());
  });
}

WindowServer::WindowServer(ServerOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

WindowServer::~WindowServer() {
  impl_->Stop();
  impl_->Wait();
  if (impl_->listener_.joinable()) {
    impl_->http_.stop();
    impl_->listener_.join();
  }
}

void WindowServer::Start() { impl_->Start(); }
int WindowServer::port() const { return impl_->port_; }
std::string WindowServer::url() const { return fmt::format("http://127.0.0.1:{}/", impl_->port_); }
void WindowServer::Wait() { impl_->Wait(); }
void WindowServer::Stop() { impl_->Stop(); }
bool WindowServer::importing() const { return impl_->session_ && impl_->session_->importing(); }
bool WindowServer::anomaly() const { return impl_->session_ && impl_->session_->anomaly(); }

}  // namespace zodadovez::window
