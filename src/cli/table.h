// Plain-text tables and the progress bar of the command line.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "module/engine/import_run.h"

namespace zodadovez::cli {

// Prints rows under a header, each column as wide as its widest cell (in characters).
// Columns listed in `right` are aligned to the right (numbers).
void PrintTable(std::FILE* out, const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows,
                const std::vector<bool>& right = {});

// Shows a run's progress on standard error, labelled with the configuration and the phase: a
// bar on a terminal, otherwise a line every few seconds (a log file or a scheduler's mail).
class ProgressView : public RunObserver {
 public:
  ProgressView();
  ~ProgressView() override;
  void OnProgress(const RunProgress& progress) override;
  // Ends the bar's line.
  void Finish();

 private:
  bool terminal_;
  bool drawn_ = false;
  int last_permille_ = -1;
  std::chrono::steady_clock::time_point next_line_{};
};

}  // namespace zodadovez::cli
