// The import window as a local web page: an HTTP server on 127.0.0.1 that serves the page, its
// small JSON API and the events the page follows.
//
//   GET  /                   the page (and /window.css, /window.js)
//   GET  /api/state          the window's snapshot (see WindowSession::State)
//   GET  /api/events         server-sent events: state, progress, dialog, closed
//   POST /api/toggle         {"row": n}                 GRID_IMPORT selection
//   POST /api/mode           {"value": 0|1}             CBO_ELABORA
//   POST /api/field          {"control": "TXT_...", "value": "..."}
//   POST /api/import, /api/nuovo, /api/esci            the buttons
//   POST /api/save           {"name": "..."}            save the selections as a named set
//   POST /api/answer         {"dialog": id, "button": n}
#pragma once

#include <memory>
#include <string>

namespace zodadovez::window {

struct ServerOptions {
  std::string erp;  // sqlite:PATH or sqlserver:CONNECTION-STRING
  int company = 1;
  int port = 8765;  // 0: any free port
};

// Whether a request may reach the window: it must come from 127.0.0.1, name this server as
// 127.0.0.1:<port> or localhost:<port> in its Host header (a page of another site whose name
// was made to point here names that site), and carry either no Origin or the page's own.
bool RequestAllowed(const std::string& remote_address, const std::string& host,
                    const std::string* origin, int port);

class WindowServer {
 public:
  explicit WindowServer(ServerOptions options);
  // Stops serving and closes the window as Stop() does.
  ~WindowServer();
  WindowServer(const WindowServer&) = delete;
  WindowServer& operator=(const WindowServer&) = delete;

  // Opens the window and starts serving on 127.0.0.1. Throws Error when the port cannot be
  // bound.
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
