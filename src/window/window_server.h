// The import window as a local web page: an HTTP server on 127.0.0.1 that serves the page, its
// small JSON API and the events the page follows.
//
//   GET  /                   the page (and /window.css, /window.js)
//   GET  /api/state          the window's snapshot (see WindowSession::State)
//   GET  /api/events         server-sent events: state, progress, dialog, closed; at most
//                            kMaxEventStreams at once, one more is refused (503)
//   POST /api/toggle         {"row": n}                 GRID_IMPORT selection
//   POST /api/mode           {"value": 0|1}             CBO_ELABORA
//   POST /api/field          {"control": "TXT_...", "value": "..."}
//   POST /api/import, /api/nuovo, /api/esci            the buttons
//   POST /api/save           {"name": "..."}            save the selections as a named set
//   POST /api/answer         {"dialog": id, "button": n}
//
// POST bodies are JSON (Content-Type application/json, 415 otherwise) of at most
// kMaxBodyBytes (413).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace zodadovez::window {

struct ServerOptions {
  std::string erp;  // sqlite:PATH or sqlserver:CONNECTION-STRING
  int company = 1;
  int port = 8765;  // 0: any free port
};

// Each event stream holds one of the server's workers for as long as it is open: the bound
// leaves workers free for the requests of the pages, however many streams are asked for.
inline constexpr int kMaxEventStreams = 8;
inline constexpr std::size_t kMaxBodyBytes = 1 << 20;

// What decides whether a request comes from the window's own page.
struct RequestSource {
  std::string remote_address;
  std::string host;                       // the Host header
  std::optional<std::string> origin;      // the Origin header, when sent
  std::optional<std::string> fetch_site;  // Sec-Fetch-Site, when sent
  bool api = false;                       // a path below /api/
};

// Whether a request may reach the window: it must come from 127.0.0.1, name this server as
// 127.0.0.1:<port> or localhost:<port> in its Host header (a page of another site whose name
// was made to point here names that site), and carry either no Origin or the page's own. The
// API also wants no Sec-Fetch-Site but "same-origin": a browser says so of every request a
// page of another site makes here, an <img> or a <script> included, which sends no Origin.
bool RequestAllowed(const RequestSource& request, int port);

// True for the media type application/json, with or without parameters ("; charset=utf-8").
bool IsJsonMediaType(const std::string& content_type);

class WindowServer {
 public:
  explicit WindowServer(ServerOptions options);
  // Stops serving and closes the window as Stop() does.
  ~WindowServer();
  WindowServer(const WindowServer&) = delete;
  WindowServer& operator=(const WindowServer&) = delete;

  // Opens the window and starts serving on 127.0.0.1. Throws Error naming the port when it
  // cannot be bound, another program (another window, say) listening there already.
  void Start();
  int port() const;
  std::string url() const;
  // Blocks until the window closes (CMD_ESCI, or Stop()), lets the open pages hear it, and
  // stops serving.
  void Wait();
  // Asks the window to close (Ctrl-C): see WindowSession::RequestClose. Returns at once; any
  // thread.
  void Stop();
  // True while an import is queued or running.
  bool importing() const;
  // The window's anomaly flag when it closed.
  bool anomaly() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zodadovez::window
