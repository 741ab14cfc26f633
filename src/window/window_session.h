// The import window served to a page. The window lives on a thread of its own, as a screen
// window lives on its user-interface thread: the page's requests become actions queued to that
// thread, what the window shows is kept as a snapshot that any thread may read, and a message
// box holds the window's thread until the page answers it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zodadovez {
class FRMZEV_ZODADOVEZ;
}

namespace zodadovez::window {

struct SessionOptions {
  std::string erp;  // sqlite:PATH or sqlserver:CONNECTION-STRING
  int company = 1;
};

// The outcome of a page request: an HTTP status and a JSON body ({"ok": true} or
// {"error": "..."}).
struct Reply {
  int status = 200;
  nlohmann::json body;
};

// A server-sent event: "state" (the whole snapshot), "progress" (PBAR), "dialog" (the open
// message box, or null when it closed) or "closed" (the window unloaded).
struct Event {
  std::string name;
  std::string data;  // JSON on one line
};

// What one event stream has sent so far.
struct EventCursor {
  std::uint64_t state = 0;
  std::uint64_t progress = 0;
  std::uint64_t dialog = 0;
  bool closed = false;
  std::chrono::steady_clock::time_point next_progress{};
};

class WindowSession {
 public:
  // Starts the window's thread, which opens the window (load and first activation). The
  // connection is the window's own: a failure to open it is reported as the window reports
  // any error, in a message box.
  explicit WindowSession(SessionOptions options);
  // Closes the window as RequestClose does and waits for its thread.
  ~WindowSession();
  WindowSession(const WindowSession&) = delete;
  WindowSession& operator=(const WindowSession&) = delete;

  // The snapshot: {"window": WindowJson, "dialog", "saved_sets", "focus", "busy", "importing",
  // "closed", "version"}, and "error" when the window's thread failed.
  nlohmann::json State() const;

  // The page's requests. Each is checked against what the window shows now and queued to the
  // window's thread (202), or refused: 409 while an import is queued or running, or when the
  // control is disabled; 400 for a bad argument; 410 once the window is closed.
  Reply ToggleSelection(std::int64_t row);
  Reply ChangeMode(int mode);
  Reply EditField(const std::string& control, const std::string& value);
  Reply Import();
  Reply Nuovo();
  Reply Esci();
  // Saves the current selections as the parameter set `name` (the host's QDX_ELABPARAMS1).
  Reply SaveSelections(const std::string& name);
  // Answers the open message box `dialog` with `button` (200), or 409 when that box is not open.
  Reply Answer(std::int64_t dialog, int button);

  // Waits up to `timeout` for news that `cursor` has not seen and returns it, most urgent
  // first; progress at most once per `progress_interval` for each cursor. Nothing on timeout.
  std::optional<Event> NextEvent(EventCursor& cursor, std::chrono::milliseconds timeout,
                                 std::chrono::milliseconds progress_interval);

  // Closing from outside (Ctrl-C): no further requests, the open and every later message box
  // get their default answer, the action in progress ends, then the window unloads.
  // Returns at once.
  void RequestClose();
  // Blocks until the window has unloaded (CMD_ESCI or RequestClose).
  void WaitUntilClosed();
  bool closed() const;
  // True while an import is queued or running.
  bool importing() const;
  // The window's anomaly flag, as it stood when the window closed.
  bool anomaly() const;

 private:
  class PageView;
  struct Action {
    std::function<void(FRMZEV_ZODADOVEZ&)> run;
    bool import = false;
  };
  struct Dialog {
    std::int64_t id = 0;
    std::string text;
    int style = 0;
    std::string title;
  };
  // What the request checks read, copied from the window at each publication.
  struct Enabled {
    bool mode = false;
    bool ranges = false;
    bool import = false;
    bool nuovo = false;
    bool esci = false;
    std::size_t configurations = 0;
  };

  // REQUIRES: mutex_ is held.
  nlohmann::json StateLocked() const;
  // REQUIRES: mutex_ is held. The refusal shared by every request, or nothing.
  std::optional<Reply> Refusal() const;
  Reply Enqueue(Action action);

  // The window's thread.
  void Main();
  // Window thread: copies what the window shows into the snapshot.
  void Publish(FRMZEV_ZODADOVEZ& w);
  void PublishProgress(FRMZEV_ZODADOVEZ& w);
  // Window thread: the window's message box, shown on the page.
  int Ask(FRMZEV_ZODADOVEZ& w, const std::string& text, int style, const std::string& title);
  // Window thread: the names of the company's saved parameter sets, into the snapshot.
  void RefreshSavedSets(FRMZEV_ZODADOVEZ& w);

  const SessionOptions options_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;  // the snapshot changed; also wakes the window's thread
  std::deque<Action> queue_;
  nlohmann::json window_json_ = nlohmann::json::object();
  nlohmann::json progress_json_;
  Enabled enabled_;
  std::vector<std::string> saved_sets_;
  std::optional<Dialog> dialog_;
  std::optional<int> answer_;
  std::int64_t dialog_count_ = 0;
  std::string focus_;
  std::int64_t focus_count_ = 0;
  bool busy_ = false;
  bool importing_ = false;
  bool closing_ = false;
  bool closed_ = false;
  bool anomaly_ = false;
  std::uint64_t state_version_ = 0;
  std::uint64_t progress_version_ = 0;
  std::uint64_t dialog_version_ = 0;

  std::string failure_;  // what stopped the window's thread, when it did not close normally

  // Window thread only.
  std::string published_focus_;

  std::thread thread_;  // last: started once everything above exists
};

}  // namespace zodadovez::window
