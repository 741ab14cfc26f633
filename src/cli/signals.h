// An orderly stop of a command-line run on SIGINT or SIGTERM: the first signal asks the run to
// stop after the receipt in hand, the second ends the process at once. Each document is stored
// in its own transaction, so stopping at once leaves every document whole or absent.
#pragma once

#include <atomic>

namespace zodadovez::cli {

// Installs the handlers for the life of the returned guard and hands out the stop flag.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
  const std::atomic<bool>& flag() const;
};

}  // namespace zodadovez::cli
