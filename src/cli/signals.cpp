#include "cli/signals.h"

#include <signal.h>
#include <unistd.h>

namespace zodadovez::cli {
namespace {

std::atomic<bool> stop_requested{false};
struct sigaction previous_int;
struct sigaction previous_term;

void OnSignal(int) {
  if (stop_requested.exchange(true)) {
    // The second signal: nothing is half-written, so the process may end here.
    _exit(130);
  }
  static const char kNote[] =
      "\nzodadovez: stopping after the receipt in hand (signal again to stop at once)\n";
  // Only async-signal-safe calls here; a failed note changes nothing.
  [[maybe_unused]] ssize_t written = write(STDERR_FILENO, kNote, sizeof kNote - 1);
}

}  // namespace

StopSignals::StopSignals() {
  stop_requested.store(false);
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous_int);
  sigaction(SIGTERM, &action, &previous_term);
}

StopSignals::~StopSignals() {
  sigaction(SIGINT, &previous_int, nullptr);
  sigaction(SIGTERM, &previous_term, nullptr);
}

const std::atomic<bool>& StopSignals::flag() const { return stop_requested; }

}  // namespace zodadovez::cli
