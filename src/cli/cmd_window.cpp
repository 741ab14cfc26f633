// zodadovez window: the import window as a local web page.
#include <fmt/format.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <thread>

#include "cli/commands.h"
#include "host/data/backend.h"
#include "module/common/errors.h"
#include "window/window_server.h"

namespace zodadovez::cli {
namespace {

// Ctrl-C (or SIGTERM) asks the window to close: an import in progress runs to its end first.
// A second one stops the command at once.
void WatchSignals(const sigset_t& signals, window::WindowServer& server,
                  const std::atomic<bool>& done) {
  bool asked = false;
  timespec wait{0, 200'000'000};
  while (!done) {
    if (sigtimedwait(&signals, nullptr, &wait) < 0) continue;
    if (asked) {
      fmt::print(stderr, "\nStopped.\n");
      std::_Exit(130);
    }
    asked = true;
    if (server.importing()) {
      fmt::print(stderr,
                 "\nAn import is running: the window closes when it ends (Ctrl-C again stops "
                 "at once).\n");
    } else {
      fmt::print(stderr, "\nClosing the window.\n");
    }
    server.Stop();
  }
}

}  // namespace

int RunWindow(const WindowCommand& command) {
  // The window would report a connection it cannot open in a message box; the command says it
  // before serving anything.
  Connect(command.erp);

  // Signals go to the watcher alone: block them before any thread starts.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  window::WindowServer server({command.erp, command.company, command.port});
  server.Start();
  fmt::print("The import window of company {} is at {}\nEsci closes it; so does Ctrl-C here.\n",
             command.company, server.url());
  std::fflush(stdout);

  std::atomic<bool> done{false};
  std::thread watcher([&] { WatchSignals(signals, server, done); });
  server.Wait();
  done = true;
  watcher.join();
  fmt::print("The import window is closed.\n");
  return server.anomaly() ? kExitAnomalies : kExitOk;
}

}  // namespace zodadovez::cli
